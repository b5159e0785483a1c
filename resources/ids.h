// Dialog and control identifiers, shared by the resource scripts, the user interface and the
// GUI test driver: one block per dialog. Plain #defines only, so that windres reads it too.
#pragma once

// ---- message box (built at run time, no resource) ----
// Its class is the dialog class; its buttons carry the command identifiers IDOK (1) … IDNO (7)
// of the button-set table, which are also the box's results.
#define MESSAGE_BOX_CLASS "#32770"

// ---- folder picker (the shell's folder-browse dialog) ----
#define PICKER_CLASS "#32770"
#define PICKER_OK IDOK
#define PICKER_CANCEL IDCANCEL

// ---- GUI test program (tests/e2e/boxapp) ----
// The owner window the test program creates for boxes and pickers that need one.
#define TEST_OWNER_CLASS "KestrelTestOwner"
#define TEST_OWNER_TITLE "KESTREL test owner"

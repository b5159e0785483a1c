// Simulated dialogs, for tests: a dialog is a window that holds controls by id; each control
// keeps its text and whether it is enabled, and answers the window messages that KESTREL's
// worker sends (WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH). The handles are HWNDs, so production
// code reaches them with SendDlgItemMessageA, GetDlgItem, SetDlgItemTextA, … unchanged.
#pragma once
#include "windows.h"
#include <string>

#ifndef ERROR_INVALID_WINDOW_HANDLE
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#endif
#ifndef ERROR_CONTROL_ID_NOT_FOUND
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#endif

// A new dialog without controls.
HWND SimCreateDialog();
// Adds the control `id` to `dialog` with its first text; returns its handle (null when the
// dialog is not a live dialog or already has a control with that id).
HWND SimAddControl(HWND dialog, int id, const char *text = "");
// Destroys a dialog and its controls; their handles become invalid.
void SimDestroyDialog(HWND dialog);

// What a control holds now, read without sending a message ("" when there is no such control).
std::string SimControlText(HWND dialog, int id);
// How many WM_SETTEXT messages the control has received since it was added.
int SimControlSetTextCount(HWND dialog, int id);

// Calls `hook(context, text)` right after each WM_SETTEXT the control receives (a null hook: none),
// so that a test can act at an exact point of a worker's progress, as a user pressing a button
// between two messages would.
typedef void (*SimSetTextHook)(void *context, const char *text);
void SimOnSetText(HWND dialog, int id, SimSetTextHook hook, void *context);

// A stand-in for the main dialog on both platforms: every control the copy run and the settings
// store talk to, with the ids, classes and combo-box styles of DIALOG_MAIN. On the simulation the
// controls are simulated; on Windows they are real controls in a hidden top-level window owned
// by the calling thread (so messages sent from that thread are handled at once).
#pragma once
#include <windows.h>
#include <string>
#include <vector>

HWND CreateTestMainDialog();
// Under Wine windows need an X display (the test command gives the win64 tests one); false when
// no window can be created, and tests that need the dialog skip.
bool WindowsCanBeCreated();
#define NEEDS_WINDOWS()                                                                            \
    do {                                                                                           \
        if (!WindowsCanBeCreated()) GTEST_SKIP() << "Wine: no X display, windows cannot be created"; \
    } while (0)
void DestroyTestMainDialog(HWND dialog);

// Control helpers through window messages (the same on both platforms).
void SetControlText(HWND dialog, int id, const std::string &text);
std::string ControlText(HWND dialog, int id);
std::vector<std::string> ComboItems(HWND dialog, int id);
int ControlCheck(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
// Has UM_CLOSEDIALOG been posted to the dialog? (Takes it off the queue on Windows.)
bool CloseDialogPosted(HWND dialog);

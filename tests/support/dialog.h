// A stand-in for the main dialog on both platforms: every control the copy run and the settings
// store talk to, with the ids, classes and combo-box styles of DIALOG_MAIN. On the simulation the
// controls are simulated; on Windows they are real controls in a hidden top-level window owned
// by the calling thread (so messages sent from that thread are handled at once).
#pragma once
#include <windows.h>
#include <string>
#include <vector>

HWND CreateTestMainDialog();
void DestroyTestMainDialog(HWND dialog);

// Control helpers through window messages (the same on both platforms).
void SetControlText(HWND dialog, int id, const std::string &text);
std::string ControlText(HWND dialog, int id);
std::vector<std::string> ComboItems(HWND dialog, int id);
int ControlCheck(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
// Has UM_CLOSEDIALOG been posted to the dialog? (Takes it off the queue on Windows.)
bool CloseDialogPosted(HWND dialog);

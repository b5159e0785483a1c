// Host build only: what the simulated message boxes recorded, and the results tests choose for
// them. Every ShowMessageBox (and so every ShowErrorBox, ShowWarningBox and ShowInformationBox)
// on the host build records one box and returns at once; boxes may be shown from any thread.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct RecordedMessageBox {
    HWND owner;
    std::string text; // as the box holds it (cut to 1023 bytes)
    std::string caption;
    UINT type;
};

// Forgets every recorded box and every chosen result.
void ResetMessageBoxRecord();

// The boxes shown since the last reset, oldest first.
std::vector<RecordedMessageBox> RecordedMessageBoxes();
size_t RecordedMessageBoxCount();

// The result the next box returns (queued: one call per box, oldest first). −1 makes the box
// fail as if it could not be created, with `lastError` as the last-error code. Without a chosen
// result a box returns the identifier of the button that has the focus (the first, IDOK for the
// OK box; the second with MB_DEFBUTTON2), or 2 when it has no button, as a user pressing Enter
// would.
void ChooseMessageBoxResult(int result, DWORD lastError = ERROR_NOT_ENOUGH_MEMORY);

// Host build only: the scripted shell of the simulated Windows. The folder picker returns the
// choice a test scripted and records how it was asked; the special folders have paths a test
// can set.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct RecordedFolderPicker {
    HWND owner;
    std::string title;
    bool hasInitialFolder;
    std::string initialFolder;
};

// Forgets the recorded pickers and the scripted choices; the desktop is C:\TEMP again (a folder
// that every fresh simulated machine has).
void ResetFolderPickerScript();

// The next picker returns this folder (queued, oldest first); null scripts a cancel. A picker with
// nothing scripted is cancelled.
void ScriptFolderChoice(const char *path);

std::vector<RecordedFolderPicker> RecordedFolderPickers();

// The path GetSpecialFolderPath gives for `folder`; null makes the folder one without a
// file-system path (GetSpecialFolderPath then returns 0x80000001).
void SetSpecialFolderPath(int folder, const char *path);

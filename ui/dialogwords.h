// The main dialog's word operations: the only way the MODE and CONF words reach or leave the
// dialog's controls, and the switch between its idle and running appearance. They talk to the
// controls through window messages only, so the copy worker may call them from its own thread.
#pragma once
#include <windows.h>
#include <atomic>

// The detected platform (0x00020000 and 0x00030005 decide which attribute choices exist). Start-up
// sets it; until then it is NT 5, where every choice exists.
extern LONG PlatformCode;

// The idle flag: 1 while no run is active (the start button shows the copy image), 0 while a run
// is active. Written by the dialog's initialisation and by SetInputsEnabled, from either thread.
extern std::atomic<int> g_idleFlag;

// The start button's two images; start-up loads them. Null images are not set on the button.
extern HICON g_copyButtonImage;
extern HICON g_stopButtonImage;

// Sets the 29 checkboxes from `mode`, one bit each (no masking: a bit of an unavailable choice
// checks its disabled box).
void ShowModeWord(HWND dialog, DWORD mode);
// The MODE word of the checked boxes, ANDed with the platform's mask.
DWORD ReadModeWord(HWND dialog);
// Sets the log level text from (conf AND 5) and the two option boxes from bits 1 and 3.
void ShowConfWord(HWND dialog, DWORD conf);
// The CONF word of the log level text and the two option boxes: bits 0–3 only.
DWORD ReadConfWord(HWND dialog);
// Enables (on) or disables every input of the dialog that the platform offers, enables the start
// button, puts the copy (on) or stop image on it and sets the idle flag to `on`.
void SetInputsEnabled(HWND dialog, BOOL on);

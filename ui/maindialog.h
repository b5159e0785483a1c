// The main dialog DIALOG_MAIN: its dialog procedure, its initialisation, its commands, the drop
// of files and folders from the shell, and the state that start-up hands it.
#pragma once
#include <windows.h>
#include <shellapi.h>

// Kept by start-up (step 5) for the dialog's initialisation: the command-line text as WinMain
// received it, and the module instance.
extern const char *g_commandLine;
extern HINSTANCE g_instance;
// 1 once the main window is being destroyed: the dialog, destroyed with it as its child, then
// leaves its parent alone.
extern int g_mainWindowGoing;

// Warning of a drop that holds a name too long for a path (259 bytes at most).
extern const char MSG_DROPPED_NAME_TOO_LONG[];

// Dialog procedure of DIALOG_MAIN (a modeless child of the main window).
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// WM_INITDIALOG: limits, unavailable boxes, the copy image, the histories, MODE and CONF, the
// command line, then the focus on the sources box.
void InitMainDialog(HWND dialog);

// The log-level button (1041): the level steps 0 → 5 → 1 → 4 → 0; the two boxes are kept.
void StepLogLevel(HWND dialog);

// Appends the dropped names to the sources box, each in double quotes, one space apart. 0, or -1
// when the drop was refused as a whole (a warning has been shown and the box is unchanged): the
// text would reach 4096 bytes, or a name is longer than 259 bytes. The drop handle is released
// on every path.
int AppendDroppedNames(HWND dialog, HDROP drop);

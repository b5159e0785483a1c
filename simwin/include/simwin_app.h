// Calls of the simulated Windows about the running program and its modal dialogs: the program
// file's path, ending a dialog, the keyboard focus, and what tests may ask about them.
#pragma once
#include "simwin_user.h"


// The simulated program file is "C:\KESTREL\kestrel.exe" unless a test sets another path.
// Like Windows XP and Wine, a path that does not fit fills all `size` bytes without a
// terminator, and the result is `size` (last error ERROR_INSUFFICIENT_BUFFER).
DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);
// Ends a modal dialog with `result` (recorded for SimDialogEnded); FALSE for a window that is not
// a live dialog.
BOOL EndDialog(HWND dialog, INT_PTR result);
// Gives `window` the keyboard focus; returns the window that had it.
HWND SetFocus(HWND window);
HWND GetFocus(void);

// ---- test API ----
// The path GetModuleFileNameA gives (null: the default again).
void SimSetModuleFileName(const char *path);
// Has EndDialog been called for `dialog` since its last SimForgetDialogEnd? The result in *result.
bool SimDialogEnded(HWND dialog, INT_PTR *result);
void SimForgetDialogEnd(HWND dialog);
// How many times SHChangeNotify was called, and the last event word it was given.
int SimShellNotifyCount();
LONG SimLastShellNotifyEvent();

#ifndef LOWORD
#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#endif

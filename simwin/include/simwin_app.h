// Calls of the simulated Windows about the running program and its modal dialogs: the program
// file's path, ending a dialog, the keyboard focus, and what tests may ask about them.
#pragma once
#include "simwin_user.h"


// The simulated program file is "C:\KESTREL\kestrel.exe" unless a test sets another path.
// Like Windows XP and Wine, a path that does not fit fills all `size` bytes without a
// terminator, and the result is `size` (last error ERROR_INSUFFICIENT_BUFFER).
DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);
// Run-time binding: "KERNEL32.DLL" and "ADVAPI32.DLL" (any case) are loaded, and GetProcAddress
// finds the simulation's own calls of the names that programs bind at run time, except the
// names SimHideExport has taken away (as on a platform that lacks them).
typedef INT_PTR (*FARPROC)(void);
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// Takes `name` out of the exports until SimReset (null: brings them all back).
void SimHideExport(const char *name);
// Ends a modal dialog with `result` (recorded for SimDialogEnded); FALSE for a window that is not
// a live dialog.
BOOL EndDialog(HWND dialog, INT_PTR result);
// Gives `window` the keyboard focus; returns the window that had it.
HWND SetFocus(HWND window);
HWND GetFocus(void);

// The version query. The simulated system is NT 5.1 unless a test sets another answer.
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
typedef struct {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
} OSVERSIONINFOA;
// Fails with ERROR_INVALID_PARAMETER unless the size field is sizeof(OSVERSIONINFOA) (148), or
// with the injected fault "GetVersionExA".
BOOL GetVersionExA(OSVERSIONINFOA *info);

// ---- test API ----
// The answer of GetVersionExA (null: NT 5.1 again).
void SimSetVersion(DWORD platformId, DWORD majorVersion);
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

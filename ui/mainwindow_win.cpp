// The program's entry and its main window: the start sequence of WinMain, the system menu's three
// commands, and the message loop.
#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include "cmdline.h"
#include "controls.h"
#include "copyworker.h"
#include "dialogwords.h"
#include "filetype.h"
#include "maindialog.h"
#include "msgbox.h"
#include "script.h"
#include "startup.h"

// Adds the three commands above a separator at the top of the system menu (the trial run first)
// and removes the items of a window that cannot be resized or maximised.
static void SetUpSystemMenu(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
    InsertMenuA(menu, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, IDM_REGISTER, MENU_REGISTER);
    InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, IDM_MKSCRIPT, MENU_MKSCRIPT);
    InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, IDM_TRIAL, MENU_TRIAL);
    DrawMenuBar(window);
}

// The shutdown-block reason exists from Vista on: the two calls are looked up in user32 so that
// the program still starts on the systems before it, where refusing the session's end is enough.
typedef BOOL(WINAPI *BlockReasonCreate)(HWND, LPCWSTR);
typedef BOOL(WINAPI *BlockReasonDestroy)(HWND);
// GetProcAddress's type goes through void (*)(void), the type that stands for any function.
typedef void (*AnyCall)(void);
static AnyCall User32Call(const char *name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<AnyCall>(GetProcAddress(user32, name)) : nullptr;
}
static void SetSessionBlockReason(HWND window) {
    BlockReasonCreate create = reinterpret_cast<BlockReasonCreate>(User32Call("ShutdownBlockReasonCreate"));
    WCHAR reason[256];
    if (create && MultiByteToWideChar(932, 0, MSG_WAITING_FOR_FILE, -1, reason, 256)) create(window, reason);
}
static void ClearSessionBlockReason(HWND window) {
    BlockReasonDestroy destroy = reinterpret_cast<BlockReasonDestroy>(User32Call("ShutdownBlockReasonDestroy"));
    if (destroy) destroy(window);
}

// A message of the loop, or of the wait below: the dialog's keys first.
static void HandleMessage(HWND dialog, MSG *message) {
    if (!IsDialogMessageA(dialog, message)) {
        TranslateMessage(message);
        DispatchMessageA(message);
    }
}

// One slice of the wait of WM_ENDSESSION: a message that arrives ends the wait early, and every
// message there is is handled, the worker's sent ones included (PeekMessageA calls them).
static void AnswerMessages(DWORD timeoutMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage((int)message.wParam); // for the message loop
            return;
        }
        HandleMessage(g_mainDialog, &message);
    }
}
// GetTickCount is a WINAPI call: on 32-bit its calling convention is not the plain one of the step.
static DWORD TickNow() { return GetTickCount(); }

static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetUpSystemMenu(window);
        return 0;
    case WM_DESTROY:
        g_mainWindowGoing = 1;
        PostQuitMessage(0);
        return 0;
    case WM_SETFOCUS:
        if (g_mainDialog) SetFocus(g_mainDialog);
        return 0;
    case WM_CLOSE:
        // A running copy is never cut off in the middle of a file: the run stops at its next
        // entry and the program ends after it. Nothing here waits for the worker.
        if (g_mainDialog && CloseWhenRunEnds(g_mainDialog)) return 0;
        break;
    case WM_INITMENUPOPUP:
        // The system menu is about to open: the trial run is greyed while a run is active.
        EnableMenuItem(GetSystemMenu(window, FALSE), IDM_TRIAL, TrialMenuFlags());
        break;
    case WM_QUERYENDSESSION:
        // Ending the session now would cut the file being copied: refused, and the run asked to
        // stop, until the walk has ended.
        if (g_mainDialog && !AllowSessionEnd(g_mainDialog)) {
            SetSessionBlockReason(window);
            return FALSE;
        }
        ClearSessionBlockReason(window);
        return TRUE;
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns: the file being copied is finished
        // first (the worker still gets its messages answered), for at most END_SESSION_WAIT_MS.
        if (wParam && g_mainDialog) {
            SessionWaitSteps steps = {TickNow, AnswerMessages};
            WaitForWalkToEnd(g_mainDialog, steps, END_SESSION_WAIT_MS);
        }
        ClearSessionBlockReason(window);
        return 0;
    case WM_SYSCOMMAND:
        if (wParam == IDM_REGISTER) {
            if (RegisterScriptFileType() < 0)
                ShowErrorBox(window, "%s", MSG_REGISTER_FAILED);
            else
                ShowInformationBox(window, "%s", MSG_REGISTERED);
            return 0;
        }
        if (wParam == IDM_TRIAL) {
            if (g_mainDialog) StartTrialRun(g_mainDialog); // refused while a run is active
            return 0;
        }
        if (wParam == IDM_MKSCRIPT) {
            DialogBoxParamA(g_instance, "DIALOG_MKSCRIPT", window, MkScriptDialogProc, 0);
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static HICON LoadIconImage(HINSTANCE instance, const char *name, int width, int height) {
    return (HICON)LoadImageA(instance, name, IMAGE_ICON, width, height, LR_DEFAULTCOLOR);
}

// The rich-edit library from the system folder only: opening a script from the shell makes the
// script's folder current, and a library of that name planted there must not run inside KESTREL.
// Systems that know the search flag look in the system folder by name; older ones refuse the
// flag (ERROR_INVALID_PARAMETER) and are given the full path instead.
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif
static HMODULE LoadRichEdit() {
    HMODULE module = LoadLibraryExA("RICHED32.DLL", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof "\\RICHED32.DLL" > MAX_PATH) return nullptr;
    strcat(path, "\\RICHED32.DLL");
    return LoadLibraryA(path);
}

static void InitCommonControlsStep() { InitCommonControls(); }

static int RegisterMainClass(HINSTANCE instance, HICON large, HICON small) {
    WNDCLASSEXA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = large;
    windowClass.hIconSm = small;
    windowClass.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(INT_PTR)(COLOR_INACTIVECAPTION + 1);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    return RegisterClassExA(&windowClass) != 0;
}

static HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExA(0, MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE, WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
}

static HWND CreateMainDialog(HINSTANCE instance, HWND window) {
    return CreateDialogParamA(instance, "DIALOG_MAIN", window, MainDialogProc, 0);
}

// The window's client area is the dialog: the dialog's rectangle grown by a caption's frame.
static void SizeAndShowMainWindow(HWND window, HWND dialog, int show) {
    RECT r;
    GetWindowRect(dialog, &r);
    AdjustWindowRectEx(&r, WS_CAPTION, FALSE, 0);
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(window, show);
}

// A /run start: the start button's command, taken by the message loop once the window is shown.
static void StartRunStep(HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDC_START));
}

// The command line after the program's name, from the wide command line in code page 932 with
// UNHOLDABLE_MARK for each character the code page cannot hold (the ANSI command line has a
// look-alike there: "café.rtf" would name cafe.rtf). Null when it cannot be made; the caller
// frees it with LocalFree.
static char *MarkedCommandLine() {
    LPCWSTR wide = GetCommandLineW();
    if (!wide) return nullptr;
    // The program's name as the runtime skips it: quoted up to the closing quote, else up to the
    // first blank; then the blanks after it.
    if (*wide == L'"') {
        for (wide++; *wide && *wide != L'"'; wide++) {
        }
        if (*wide) wide++;
    } else {
        while (*wide && *wide != L' ' && *wide != L'\t') wide++;
    }
    while (*wide == L' ' || *wide == L'\t') wide++;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    char *text = size > 0 ? (char *)LocalAlloc(LMEM_FIXED, (size_t)size) : nullptr;
    static const char MARK[2] = {UNHOLDABLE_MARK, 0};
    if (text && WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, text, size, MARK, nullptr) == 0) {
        LocalFree(text);
        return nullptr;
    }
    return text;
}

static MSG s_message;

static BOOL GetLoopMessage(int *quitCode) {
    BOOL got = GetMessageA(&s_message, nullptr, 0, 0);
    if (got == 0) *quitCode = (int)s_message.wParam;
    return got;
}

static void DispatchLoopMessage(HWND dialog) { HandleMessage(dialog, &s_message); }

static void DestroyWindowStep(HWND window) { DestroyWindow(window); }
static void DestroyIconStep(HICON icon) { DestroyIcon(icon); }
static void FreeLibraryStep(HMODULE module) { FreeLibrary(module); }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    StartSteps steps;
    steps.setMessageBoxInstance = SetMessageBoxInstance;
    steps.initCommonControls = InitCommonControlsStep;
    steps.loadRichEdit = LoadRichEdit;
    steps.migrateSettings = MigrateSettings;
    steps.loadIcon = LoadIconImage;
    steps.registerClass = RegisterMainClass;
    steps.createWindow = CreateMainWindow;
    steps.createDialog = CreateMainDialog;
    steps.sizeAndShow = SizeAndShowMainWindow;
    steps.startRun = StartRunStep;
    steps.getMessage = GetLoopMessage;
    steps.dispatchMessage = DispatchLoopMessage;
    steps.destroyWindow = DestroyWindowStep;
    steps.destroyIcon = DestroyIconStep;
    steps.freeLibrary = FreeLibraryStep;
    char *marked = MarkedCommandLine();
    int code = RunStartSequence(steps, instance, commandLine, show, marked);
    if (marked) LocalFree(marked);
    return code;
}

// The program's entry and its main window: the start sequence of WinMain, the system menu's two
// commands, and the message loop.
#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include "copyworker.h"
#include "dialogwords.h"
#include "filetype.h"
#include "maindialog.h"
#include "msgbox.h"
#include "script.h"
#include "startup.h"

static HICON s_mainIconLarge, s_mainIconSmall;

// Adds the two commands above a separator at the top of the system menu and removes the items
// of a window that cannot be resized or maximised.
static void SetUpSystemMenu(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
    InsertMenuA(menu, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, IDM_REGISTER, MENU_REGISTER);
    InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, IDM_MKSCRIPT, MENU_MKSCRIPT);
    DrawMenuBar(window);
}

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
    case WM_SYSCOMMAND:
        if (wParam == IDM_REGISTER) {
            if (RegisterScriptFileType() < 0)
                ShowErrorBox(window, "%s", MSG_REGISTER_FAILED);
            else
                ShowInformationBox(window, "%s", MSG_REGISTERED);
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

// The four icons, destroyed in the order large main, small main, copy button, stop button.
static void DestroyIcons() {
    HICON icons[] = {s_mainIconLarge, s_mainIconSmall, g_copyButtonImage, g_stopButtonImage};
    for (HICON icon : icons)
        if (icon) DestroyIcon(icon);
    s_mainIconLarge = s_mainIconSmall = g_copyButtonImage = g_stopButtonImage = nullptr;
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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    SetMessageBoxInstance(instance);
    InitCommonControls();
    HMODULE richEdit = LoadRichEdit();
    if (!richEdit) {
        ShowErrorBox(nullptr, "%s", MSG_RICHEDIT_LOAD_FAILED);
        return 0;
    }
    if (MigrateSettings() < 0) {
        ShowErrorBox(nullptr, "%s", MSG_REGISTRY_FAILED);
        FreeLibrary(richEdit);
        return 0;
    }
    PlatformCode = DetectPlatform();
    g_commandLine = commandLine ? commandLine : "";
    g_instance = instance;

    s_mainIconLarge = LoadIconImage(instance, "ICON1_MAIN", 32, 32);
    s_mainIconSmall = LoadIconImage(instance, "ICON1_MAIN", 16, 16);
    g_copyButtonImage = LoadIconImage(instance, "ICON2_COPYBUTTON", 64, 36);
    g_stopButtonImage = LoadIconImage(instance, "ICON3_STOPBUTTON", 64, 36);

    const char *failure = nullptr;
    HWND window = nullptr, dialog = nullptr;
    WNDCLASSEXA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = s_mainIconLarge;
    windowClass.hIconSm = s_mainIconSmall;
    windowClass.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(INT_PTR)(COLOR_INACTIVECAPTION + 1);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    if (!RegisterClassExA(&windowClass)) {
        failure = MSG_CLASS_FAILED;
    } else if (!(window = CreateWindowExA(0, MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE, WS_SYSMENU | WS_MINIMIZEBOX,
                                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                          nullptr, instance, nullptr))) {
        failure = MSG_WINDOW_FAILED;
    } else if (!(dialog = CreateDialogParamA(instance, "DIALOG_MAIN", window, MainDialogProc, 0))) {
        failure = MSG_DIALOG_FAILED;
    }
    if (failure) {
        ShowErrorBox(nullptr, "%s", failure);
        if (window) {
            g_mainWindowGoing = 1;
            DestroyWindow(window);
        }
        DestroyIcons();
        FreeLibrary(richEdit);
        return 0;
    }
    RECT r;
    GetWindowRect(dialog, &r);
    AdjustWindowRectEx(&r, WS_CAPTION, FALSE, 0);
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(window, show);

    MSG msg;
    msg.wParam = 0;
    for (;;) {
        // -1 is a failure of the loop itself, not a message: end as after WM_QUIT rather than spin.
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) break;
        if (got == -1) {
            msg.wParam = 0;
            break;
        }
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    DestroyIcons();
    FreeLibrary(richEdit);
    return (int)msg.wParam;
}

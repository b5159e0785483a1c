// The GUI test program: shows one message box or one folder picker, as its arguments ask, and
// exits with the box's result (or the picker's: 0 chosen, -1 cancelled).
//   kestrel_boxapp box KIND MESSAGE OWNER
//       KIND error | warning | information | plain (MB_OK, no icon) | yesnocancel (with the
//       question icon); MESSAGE a name of messages.h; OWNER none | shown | hidden | minimised |
//       gone (a window already destroyed: the box cannot be created, and the program exits with
//       0x10000 + the last-error code when the box returned -1)
//   kestrel_boxapp two
//       an error box ("japanese") on the main thread and, at the same time, an information box
//       ("tabs") on a second thread; exits with main result × 10 + second thread's result.
//   kestrel_boxapp picker INITIAL|- RESULTFILE
//       a picker on a shown owner; the chosen path is written to RESULTFILE.
#include <windows.h>
#include <cstdio>
#include <cstring>
#include "folder.h"
#include "ids.h"
#include "messages.h"
#include "msgbox.h"

// The owner stands at a fixed place so that the driver can check the box is centred on it.
static const int OWNER_X = 60, OWNER_Y = 40, OWNER_W = 560, OWNER_H = 400;

static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND MakeOwner(HINSTANCE instance, const char *how) {
    if (strcmp(how, "none") == 0) return nullptr;
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = TEST_OWNER_CLASS;
    RegisterClassA(&wc);
    HWND owner = CreateWindowExA(0, TEST_OWNER_CLASS, TEST_OWNER_TITLE, WS_OVERLAPPEDWINDOW, OWNER_X, OWNER_Y, OWNER_W,
                                 OWNER_H, nullptr, nullptr, instance, nullptr);
    if (!owner) return nullptr;
    if (strcmp(how, "shown") == 0) ShowWindow(owner, SW_SHOWNORMAL);
    if (strcmp(how, "minimised") == 0) ShowWindow(owner, SW_SHOWMINIMIZED);
    UpdateWindow(owner);
    // Let the owner's own messages settle before the box measures its placement.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    return owner;
}

static int ShowBox(HWND owner, const char *kind, const char *text) {
    if (strcmp(kind, "error") == 0) return ShowErrorBox(owner, "%s", text);
    if (strcmp(kind, "warning") == 0) return ShowWarningBox(owner, "%s", text);
    if (strcmp(kind, "information") == 0) return ShowInformationBox(owner, "%s", text);
    if (strcmp(kind, "plain") == 0) return ShowMessageBox(owner, text, "Plain", MB_OK);
    if (strcmp(kind, "yesnocancel") == 0) return ShowMessageBox(owner, text, "Question", MB_YESNOCANCEL | MB_ICONQUESTION);
    fprintf(stderr, "unknown box kind %s\n", kind);
    return 100;
}

static DWORD WINAPI SecondBox(LPVOID) { return (DWORD)ShowInformationBox(nullptr, "%s", BenchMessageText("tabs")); }

int main(int argc, char **argv) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    SetMessageBoxInstance(instance);
    if (argc == 5 && strcmp(argv[1], "box") == 0) {
        const char *text = BenchMessageText(argv[3]);
        if (!text) {
            fprintf(stderr, "unknown message %s\n", argv[3]);
            return 100;
        }
        bool gone = strcmp(argv[4], "gone") == 0;
        HWND owner = MakeOwner(instance, gone ? "hidden" : argv[4]);
        if (gone) DestroyWindow(owner);
        SetLastError(0);
        int result = ShowBox(owner, argv[2], text);
        if (gone) return result == -1 ? 0x10000 + (int)GetLastError() : result;
        if (owner) DestroyWindow(owner);
        return result;
    }
    if (argc == 2 && strcmp(argv[1], "two") == 0) {
        HANDLE thread = CreateThread(nullptr, 0, SecondBox, nullptr, 0, nullptr);
        if (!thread) return 100;
        int first = ShowErrorBox(nullptr, "%s", BenchMessageText("japanese"));
        DWORD second = 100;
        WaitForSingleObject(thread, INFINITE);
        GetExitCodeThread(thread, &second);
        CloseHandle(thread);
        return first * 10 + (int)second;
    }
    if (argc == 4 && strcmp(argv[1], "picker") == 0) {
        HWND owner = MakeOwner(instance, "shown");
        char path[MAX_PATH] = "";
        int result = BrowseForFolder(owner, "コピー先のフォルダ名", strcmp(argv[2], "-") ? argv[2] : "", path);
        FILE *f = fopen(argv[3], "wb");
        if (f) {
            fputs(result == 0 ? path : "", f);
            fclose(f);
        }
        if (owner) DestroyWindow(owner);
        return result;
    }
    fprintf(stderr, "usage: kestrel_boxapp box KIND MESSAGE OWNER | picker INITIAL RESULTFILE\n");
    return 100;
}

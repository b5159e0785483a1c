// The GUI bench's viewer program: fills the log and missing-files documents itself and shows
// KESTREL's viewers on them, modal to an owner window, as a copy run does at its end.
//   kestrel_viewerapp log sample
//       a log with records of every level (double-byte names, braces, a trail byte 0x5C)
//   kestrel_viewerapp log full
//       a log filled to its capacity, errors kept in its reserve after the ordinary records
//   kestrel_viewerapp check SOURCE DESTINATION
//       the missing-in-source check of the folder SOURCE (a full path) against its counterpart
//       in the folder DESTINATION, then the missing-files viewer and the log viewer
//   kestrel_viewerapp bench COUNT
//       opens the log viewer dialog on a full log COUNT times (the full-log warning left out),
//       closing it itself once it is shown with its last record, and prints the times (the whole
//       opening, and the streaming alone into a control of its own)
//   kestrel_viewerapp icon
//       opens the log viewer twice, closing it itself, and exits with 0 when the viewer's small
//       icon was destroyed with it each time (1 when it leaked, 2 when there was none)
// Exits with 0 after the viewers were closed, unless said otherwise.
#include <windows.h>
#include <richedit.h>
#include <cstdio>
#include <cstring>
#include <string>
#include "copylog.h"
#include "ids.h"
#include "missing.h"
#include "msgbox.h"
#include "patterns.h"
#include "viewers.h"

static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

static HWND MakeOwner(HINSTANCE instance) {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = TEST_OWNER_CLASS;
    RegisterClassA(&wc);
    HWND owner = CreateWindowExA(0, TEST_OWNER_CLASS, TEST_OWNER_TITLE, WS_OVERLAPPEDWINDOW, 20, 20, 640, 560,
                                 nullptr, nullptr, instance, nullptr);
    if (!owner) return nullptr;
    ShowWindow(owner, SW_SHOWNORMAL);
    UpdateWindow(owner);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    return owner;
}

// ---- documents ----

static void SampleLog() {
    ResetCopyLog();
    g_runConf = 0x1; // every level
    CopyLogRecord("data\\a{b}.txt", "コピーしました。", 1);
    CopyLogRecord("data\\ソース\\表.txt", "コピーしました。", 1);
    CopyLogRecord("data\\old.txt", "サイズが同じなのでコピーしません。", 0);
    CopyLogRecord("data\\locked.txt", "コピーできません。", 2);
    CopyLogRecord("data\\ro.txt", "属性を設定できません。", 3);
    CopyLogRecord("> >", "ユーザの指示によりコピーを停止しました。", 3);
}

// Fills the log to its capacity with numbered records, every fourth an error: all of them until
// the ordinary records no longer fit, then the errors alone until the reserve is full too.
// Returns the last record that fitted, as the viewer's plain text shows it.
static std::string FullLog() {
    ResetCopyLog();
    g_runConf = 0x1;
    char name[64];
    std::string last;
    for (int i = 0;; i++) {
        snprintf(name, sizeof name, "folder\\sub\\file%07d.txt", i);
        bool error = i % 4 == 0;
        DWORD before = g_copyLog.length;
        CopyLogRecord(name, "コピーしました。", error ? 2u : 1u);
        if (g_copyLog.length != before)
            last = std::string(error ? "X " : "O ") + name + " コピーしました。";
        else if (error)
            return last;
    }
}

// ---- closing the viewer itself (bench and icon modes) ----

static LARGE_INTEGER s_started, s_frequency;
static std::string s_lastRecord;
static double s_shownSeconds = -1;
static bool s_lastPresent = false;
static HICON s_viewerIcon;
static bool s_closing = false;

// The last non-empty line of the control's plain text.
static std::string LastLine(HWND control) {
    LRESULT lines = SendMessageA(control, EM_GETLINECOUNT, 0, 0);
    for (LRESULT line = lines - 1; line >= 0; line--) {
        char text[512];
        *(WORD *)text = (WORD)(sizeof text - 1);
        LRESULT n = SendMessageA(control, EM_GETLINE, (WPARAM)line, (LPARAM)text);
        if (n <= 0) continue;
        text[n] = 0;
        std::string s(text);
        while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
        if (!s.empty()) return s;
    }
    return "";
}

static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX && !s_closing && s_started.QuadPart != 0) {
        // The viewer's modal loop has nothing left to do: it is shown and painted.
        HWND viewer = (HWND)lParam;
        HWND control = GetDlgItem(viewer, IDC_LOG_VIEW);
        if (!control) {
            // A message box (the full-log warning): pressed as a user would.
            PostMessageA(viewer, WM_COMMAND, IDOK, 0);
            return 0;
        }
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        s_shownSeconds = (double)(now.QuadPart - s_started.QuadPart) / (double)s_frequency.QuadPart;
        s_lastPresent = s_lastRecord.empty() || LastLine(control) == s_lastRecord;
        s_viewerIcon = (HICON)SendMessageA(viewer, WM_GETICON, ICON_SMALL, 0);
        s_closing = true;
        PostMessageA(viewer, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Times ShowLogViewer, or the viewer dialog alone (without the full-log warning) when `alone`.
static void OpenAndCloseLogViewer(HWND owner, bool alone) {
    s_closing = false;
    s_viewerIcon = nullptr;
    QueryPerformanceCounter(&s_started);
    if (alone)
        OpenViewerDialog(owner, VIEWER_LOG);
    else
        ShowLogViewer(owner);
    s_started.QuadPart = 0;
}

static double StreamingSeconds(HWND owner) {
    HWND control = CreateWindowExA(0, "RICHEDIT", "", WS_CHILD | ES_MULTILINE, 0, 0, 600, 500, owner, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    if (!control) return -1;
    SendMessageA(control, EM_EXLIMITTEXT, 0, (LPARAM)LOG_DOCUMENT_CAPACITY);
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    StreamRtfIntoControl(control, &g_copyLog);
    QueryPerformanceCounter(&b);
    DestroyWindow(control);
    return (double)(b.QuadPart - a.QuadPart) / (double)s_frequency.QuadPart;
}

int main(int argc, char **argv) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    SetMessageBoxInstance(instance);
    QueryPerformanceFrequency(&s_frequency);
    if (!LoadLibraryA("RICHED32.DLL")) {
        fprintf(stderr, "RICHED32.DLL cannot be loaded\n");
        return 100;
    }
    HWND owner = MakeOwner(instance);
    if (!owner) return 101;
    if (argc == 3 && strcmp(argv[1], "log") == 0) {
        if (strcmp(argv[2], "full") == 0)
            FullLog();
        else
            SampleLog();
        ShowLogViewer(owner);
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "check") == 0) {
        ResetCopyLog();
        ResetMissingList();
        g_runConf = 0x1 | 0x8;
        std::string source = argv[2];
        char *name = FindLastSingleByteChar(&source[0], '\\');
        if (!name) return 102;
        std::string parent = source.substr(0, (size_t)(name - source.c_str()) + 1);
        std::string destination = std::string(argv[3]) + "\\";
        CheckMissingInSource(nullptr, name + 1, parent.c_str(), destination.c_str());
        ShowMissingViewer(owner);
        ShowLogViewer(owner);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "bench") == 0) {
        int count = atoi(argv[2]);
        for (int i = 0; i < count; i++) {
            s_lastRecord = FullLog();
            double streaming = StreamingSeconds(owner);
            s_lastRecord = FullLog();
            OpenAndCloseLogViewer(owner, true);
            printf("viewer-open %d: %.3f s shown with its last record%s; streaming alone %.3f s; %lu bytes\n", i + 1,
                   s_shownSeconds, s_lastPresent ? "" : " (LAST RECORD MISSING)", streaming,
                   (unsigned long)g_copyLog.length);
            fflush(stdout);
            if (!s_lastPresent) return 1;
        }
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "icon") == 0) {
        SampleLog();
        for (int i = 0; i < 2; i++) {
            OpenAndCloseLogViewer(owner, false);
            if (!s_viewerIcon) return 2;
            ICONINFO info;
            if (GetIconInfo(s_viewerIcon, &info)) {
                if (info.hbmColor) DeleteObject(info.hbmColor);
                if (info.hbmMask) DeleteObject(info.hbmMask);
                return 1;
            }
        }
        return 0;
    }
    fprintf(stderr, "unknown arguments\n");
    return 100;
}

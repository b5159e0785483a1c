// Simulated windows: dialogs with controls found by id, each holding its text and enabled state,
// reached through the window messages and calls of USER32.
#include "simwin_dialog.h"
#include <map>
#include <memory>
#include <mutex>
#include <string.h>

struct SimWindow {
    SimWindow *dialog = nullptr; // for a control: the dialog that holds it; null for a dialog
    int id = 0;                  // a control's id
    std::string text;
    bool enabled = true;
    int setTextCount = 0;
    SimSetTextHook setTextHook = nullptr;
    void *setTextContext = nullptr;
    std::map<int, SimWindow *> controls; // a dialog's controls by id
};

// Every live window, owned here. Messages come from the worker and the test thread alike, as the
// real windows' messages are carried out one at a time by the thread that owns the dialog.
static std::recursive_mutex g_windowLock;
static std::map<SimWindow *, std::unique_ptr<SimWindow>> g_windows;
#define WINDOW_LOCK std::lock_guard<std::recursive_mutex> windowGuard(g_windowLock)

static SimWindow *LiveWindow(HWND window) {
    auto it = g_windows.find(window);
    return it == g_windows.end() ? nullptr : it->second.get();
}

HWND SimCreateDialog() {
    WINDOW_LOCK;
    auto w = std::make_unique<SimWindow>();
    SimWindow *raw = w.get();
    g_windows[raw] = std::move(w);
    return raw;
}

HWND SimAddControl(HWND dialog, int id, const char *text) {
    WINDOW_LOCK;
    SimWindow *d = LiveWindow(dialog);
    if (!d || d->dialog || d->controls.count(id)) return nullptr;
    auto w = std::make_unique<SimWindow>();
    w->dialog = d;
    w->id = id;
    w->text = text ? text : "";
    SimWindow *raw = w.get();
    g_windows[raw] = std::move(w);
    d->controls[id] = raw;
    return raw;
}

void SimDestroyDialog(HWND dialog) {
    WINDOW_LOCK;
    SimWindow *d = LiveWindow(dialog);
    if (!d || d->dialog) return;
    for (auto &c : d->controls) g_windows.erase(c.second);
    g_windows.erase(d);
}

std::string SimControlText(HWND dialog, int id) {
    WINDOW_LOCK;
    SimWindow *c = GetDlgItem(dialog, id);
    return c ? c->text : "";
}

int SimControlSetTextCount(HWND dialog, int id) {
    WINDOW_LOCK;
    SimWindow *c = GetDlgItem(dialog, id);
    return c ? c->setTextCount : 0;
}

void SimOnSetText(HWND dialog, int id, SimSetTextHook hook, void *context) {
    WINDOW_LOCK;
    if (SimWindow *c = GetDlgItem(dialog, id)) {
        c->setTextHook = hook;
        c->setTextContext = context;
    }
}

// ---- USER32 ----

HWND GetDlgItem(HWND dialog, int id) {
    WINDOW_LOCK;
    SimWindow *d = LiveWindow(dialog);
    if (!d) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto it = d->controls.find(id);
    if (it == d->controls.end()) {
        SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
        return nullptr;
    }
    return it->second;
}

// Copies `text` into `buffer` of `size` bytes, cut so that it and its terminator fit and so that
// no double-byte character is split; returns the bytes copied.
static LRESULT CopyText(const std::string &text, char *buffer, size_t size) {
    if (size == 0 || !buffer) return 0;
    size_t n = 0;
    while (n < text.size()) {
        unsigned char b = (unsigned char)text[n];
        size_t step = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) && n + 1 < text.size() ? 2 : 1;
        if (n + step > size - 1) break;
        n += step;
    }
    memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return (LRESULT)n;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WINDOW_LOCK;
    SimWindow *w = LiveWindow(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (message) {
    case WM_SETTEXT:
        w->text = lParam ? (const char *)lParam : "";
        w->setTextCount++;
        if (w->setTextHook) w->setTextHook(w->setTextContext, w->text.c_str());
        return TRUE;
    case WM_GETTEXT:
        return CopyText(w->text, (char *)lParam, (size_t)wParam);
    case WM_GETTEXTLENGTH:
        return (LRESULT)w->text.size();
    default:
        return 0;
    }
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    WINDOW_LOCK;
    HWND control = GetDlgItem(dialog, id);
    if (!control) return 0;
    return SendMessageA(control, message, wParam, lParam);
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    WINDOW_LOCK;
    HWND control = GetDlgItem(dialog, id);
    if (!control) return FALSE;
    return (BOOL)SendMessageA(control, WM_SETTEXT, 0, (LPARAM)text);
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
    WINDOW_LOCK;
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        if (text && size > 0) text[0] = 0;
        return 0;
    }
    return (UINT)SendMessageA(control, WM_GETTEXT, (WPARAM)(size > 0 ? size : 0), (LPARAM)text);
}

BOOL EnableWindow(HWND window, BOOL enable) {
    WINDOW_LOCK;
    SimWindow *w = LiveWindow(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // The result says whether the window was disabled before.
    BOOL wasDisabled = !w->enabled;
    w->enabled = enable != FALSE;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
    WINDOW_LOCK;
    SimWindow *w = LiveWindow(window);
    return w && w->enabled;
}

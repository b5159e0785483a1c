// Simulated windows: dialogs with controls found by id, each holding its text and enabled state,
// check state, image and, for combo boxes, a list; reached through the window messages and calls
// of USER32. Messages posted to a window are kept for tests to read.
#include "simwin_dialog.h"
#include <map>
#include <memory>
#include <mutex>
#include <string.h>
#include <vector>

struct SimWindow {
    SimWindow *dialog = nullptr; // for a control: the dialog that holds it; null for a dialog
    int id = 0;                  // a control's id
    std::string text;
    bool enabled = true;
    int setTextCount = 0;
    SimSetTextHook setTextHook = nullptr;
    void *setTextContext = nullptr;
    std::map<int, SimWindow *> controls; // a dialog's controls by id
    int check = 0;                       // BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE
    LPARAM image = 0;                    // BM_SETIMAGE
    bool comboBox = false;
    bool upperCase = false;              // CBS_UPPERCASE: edit text and list items in upper case
    std::vector<std::string> items;      // a combo box's list
    int selection = -1;
    int textLimit = 0;                   // EM_LIMITTEXT / CB_LIMITTEXT (0: none)
    std::vector<SimPostedMessage> posted;
    std::map<UINT_PTR, UINT> timers; // running timers: id → interval
    SimWindow *parent = nullptr;     // a dialog's parent window (SimSetParent)
};

static SimMessageHook g_messageHook = nullptr;

void SimSetMessageHook(SimMessageHook hook) { g_messageHook = hook; }

// CBS_UPPERCASE converts the single-byte letters and, as the platform's upper-casing does, the
// double-byte letters that have an upper case (ｒ → Ｒ); a lone lead byte is left alone.
static std::string UpperText(const std::string &text) {
    std::string out = text;
    for (size_t i = 0; i < out.size(); i++) {
        unsigned char b = (unsigned char)out[i];
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            if (i + 1 < out.size() && out[i + 1]) CharUpperBuffA(&out[i], 2);
            i++;
            continue;
        }
        if (b >= 'a' && b <= 'z') out[i] = (char)(b - 'a' + 'A');
    }
    return out;
}

// Every live window, owned here. Messages come from the worker and the test thread alike, as the
// real windows' messages are carried out one at a time by the thread that owns the dialog.
static std::recursive_mutex g_windowLock;
static std::map<SimWindow *, std::unique_ptr<SimWindow>> g_windows;
#define WINDOW_LOCK std::lock_guard<std::recursive_mutex> windowGuard(g_windowLock)

static SimWindow *LiveWindow(HWND window) {
    auto it = g_windows.find(window);
    return it == g_windows.end() ? nullptr : it->second.get();
}

// The window a Win32 call was given, or null with ERROR_INVALID_WINDOW_HANDLE set.
static SimWindow *WindowOfCall(HWND window) {
    SimWindow *w = LiveWindow(window);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
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

HWND SimAddComboBox(HWND dialog, int id, bool upperCase) {
    WINDOW_LOCK;
    SimWindow *c = SimAddControl(dialog, id, "");
    if (c) {
        c->comboBox = true;
        c->upperCase = upperCase;
    }
    return c;
}

std::vector<std::string> SimComboItems(HWND dialog, int id) {
    WINDOW_LOCK;
    SimWindow *c = GetDlgItem(dialog, id);
    return c ? c->items : std::vector<std::string>();
}

int SimControlCheck(HWND dialog, int id) {
    WINDOW_LOCK;
    SimWindow *c = GetDlgItem(dialog, id);
    return c ? c->check : -1;
}

LPARAM SimControlImage(HWND dialog, int id) {
    WINDOW_LOCK;
    SimWindow *c = GetDlgItem(dialog, id);
    return c ? c->image : 0;
}

std::vector<SimPostedMessage> SimPostedMessages(HWND window) {
    WINDOW_LOCK;
    SimWindow *w = LiveWindow(window);
    return w ? w->posted : std::vector<SimPostedMessage>();
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WINDOW_LOCK;
    SimWindow *w = WindowOfCall(window);
    if (!w) return FALSE;
    w->posted.push_back({message, wParam, lParam});
    return TRUE;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC) {
    WINDOW_LOCK;
    SimWindow *w = WindowOfCall(window);
    if (!w) return 0;
    w->timers[id] = elapse;
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    WINDOW_LOCK;
    SimWindow *w = WindowOfCall(window);
    if (!w) return FALSE;
    return w->timers.erase(id) ? TRUE : FALSE;
}

HWND GetParent(HWND window) {
    WINDOW_LOCK;
    SimWindow *w = WindowOfCall(window);
    if (!w) return nullptr;
    return w->dialog ? w->dialog : w->parent;
}

void SimSetParent(HWND dialog, HWND parent) {
    WINDOW_LOCK;
    SimWindow *w = LiveWindow(dialog);
    if (w) w->parent = parent;
}

bool SimTimerRunning(HWND window, UINT_PTR id) {
    WINDOW_LOCK;
    SimWindow *w = LiveWindow(window);
    return w && w->timers.count(id) != 0;
}

BOOL IsWindow(HWND window) {
    WINDOW_LOCK;
    return LiveWindow(window) != nullptr;
}

BOOL DestroyWindow(HWND window) {
    WINDOW_LOCK;
    SimWindow *w = WindowOfCall(window);
    if (!w) return FALSE;
    if (w->dialog) {
        w->dialog->controls.erase(w->id);
        g_windows.erase(w);
    } else {
        SimDestroyDialog(window);
    }
    return TRUE;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    return SendDlgItemMessageA(dialog, id, BM_SETCHECK, check, 0) == 0 && GetDlgItem(dialog, id) != nullptr;
}

UINT IsDlgButtonChecked(HWND dialog, int id) { return (UINT)SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0); }

BOOL MessageBeep(UINT type) {
    (void)type;
    return TRUE;
}

// The combo-box messages; `handled` false for a message that combo boxes do not take.
static LRESULT ComboMessage(SimWindow *w, UINT message, WPARAM wParam, LPARAM lParam, bool *handled) {
    *handled = true;
    int count = (int)w->items.size();
    int index = (int)(INT_PTR)wParam;
    switch (message) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        std::string item = lParam ? (const char *)lParam : "";
        if (w->upperCase) item = UpperText(item);
        if (message == CB_ADDSTRING || index < 0 || index >= count) {
            if (message == CB_INSERTSTRING && index > count) return CB_ERR;
            w->items.push_back(item);
            return count;
        }
        w->items.insert(w->items.begin() + index, item);
        if (w->selection >= index) w->selection++;
        return index;
    }
    case CB_DELETESTRING:
        if (index < 0 || index >= count) return CB_ERR;
        w->items.erase(w->items.begin() + index);
        if (w->selection == index) w->selection = -1;
        else if (w->selection > index) w->selection--;
        return count - 1;
    case CB_RESETCONTENT:
        // The list and the edit field are both emptied.
        w->items.clear();
        w->selection = -1;
        w->text.clear();
        return CB_OKAY;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return w->selection;
    case CB_SETCURSEL:
        if (index < 0 || index >= count) {
            w->selection = -1;
            return CB_ERR;
        }
        w->selection = index;
        w->text = w->items[index];
        return index;
    case CB_GETLBTEXTLEN:
        if (index < 0 || index >= count) return CB_ERR;
        return (LRESULT)w->items[index].size();
    case CB_GETLBTEXT:
        // Like Windows, no buffer size: the caller's buffer must hold the whole item.
        if (index < 0 || index >= count || !lParam) return CB_ERR;
        memcpy((char *)lParam, w->items[index].c_str(), w->items[index].size() + 1);
        return (LRESULT)w->items[index].size();
    case CB_FINDSTRINGEXACT: {
        const char *wanted = (const char *)lParam;
        for (int i = 0; i < count; i++)
            if (wanted && strcasecmp(w->items[i].c_str(), wanted) == 0) return i;
        return CB_ERR;
    }
    case CB_LIMITTEXT:
        w->textLimit = (int)wParam;
        return TRUE;
    default:
        *handled = false;
        return 0;
    }
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
    SimWindow *d = WindowOfCall(dialog);
    if (!d) return nullptr;
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
    // A test's hook runs before the window lock is taken: a hook that holds the sending thread
    // must not hold every other thread's window calls too (the user-interface thread's SetTimer
    // right after it started the worker, for one).
    if (g_messageHook && IsWindow(window)) g_messageHook(window, message, wParam, lParam);
    WINDOW_LOCK;
    SimWindow *w = WindowOfCall(window);
    if (!w) return 0;
    if (w->comboBox) {
        bool handled;
        LRESULT result = ComboMessage(w, message, wParam, lParam, &handled);
        if (handled) return result;
    }
    switch (message) {
    case WM_SETTEXT:
        w->text = lParam ? (const char *)lParam : "";
        if (w->upperCase) w->text = UpperText(w->text);
        w->setTextCount++;
        if (w->setTextHook) w->setTextHook(w->setTextContext, w->text.c_str());
        return TRUE;
    case BM_SETCHECK:
        w->check = (int)wParam;
        return 0;
    case BM_GETCHECK:
        return w->check;
    case BM_SETIMAGE: {
        LPARAM previous = w->image;
        w->image = lParam;
        return previous;
    }
    case EM_LIMITTEXT:
        w->textLimit = (int)wParam;
        return 0;
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
    SimWindow *w = WindowOfCall(window);
    if (!w) return FALSE;
    // The result says whether the window was disabled before; a change reaches the window as
    // WM_ENABLE, as on Windows.
    BOOL wasDisabled = !w->enabled;
    if (w->enabled != (enable != FALSE) && g_messageHook) g_messageHook(window, WM_ENABLE, enable != FALSE, 0);
    w->enabled = enable != FALSE;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
    WINDOW_LOCK;
    SimWindow *w = LiveWindow(window);
    return w && w->enabled;
}

// The test stand-in for the main dialog.
#include "dialog.h"
#include "controls.h"
#include "tree.h"
#ifdef KESTREL_SIM
#include "simwin_dialog.h"
#endif

static const int COMBO_IDS[] = {IDC_DEST, IDC_TCF, IDC_TCD, IDC_TUF, IDC_TUD};

#ifdef KESTREL_SIM
HWND CreateTestMainDialog() {
    HWND dialog = SimCreateDialog();
    for (int id = 1001; id <= 1046; id++) {
        bool combo = false;
        for (int c : COMBO_IDS) combo = combo || c == id;
        if (combo)
            SimAddComboBox(dialog, id, true);
        else if (id != 1018 && id != 1028 && id != 1038)
            SimAddControl(dialog, id, id == IDC_LOG_LEVEL ? "ログレベル" : "");
    }
    return dialog;
}

void DestroyTestMainDialog(HWND dialog) { SimDestroyDialog(dialog); }

bool WindowsCanBeCreated() { return true; }

bool CloseDialogPosted(HWND dialog) {
    for (auto &m : SimPostedMessages(dialog))
        if (m.message == WM_USER + 1) return true;
    return false;
}
#else
HWND CreateTestMainDialog() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND dialog = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 600, 700, nullptr, nullptr, instance, nullptr);
    if (!dialog) return nullptr;
    for (int id = 1001; id <= 1046; id++) {
        const char *cls = "BUTTON";
        DWORD style = WS_CHILD | WS_VISIBLE;
        const char *caption = "";
        bool combo = false;
        for (int c : COMBO_IDS) combo = combo || c == id;
        if (id == 1018 || id == 1028 || id == 1038) continue;
        if (combo) {
            cls = "COMBOBOX";
            style |= CBS_DROPDOWN | CBS_UPPERCASE | WS_VSCROLL | CBS_AUTOHSCROLL;
        } else if (id == IDC_SOURCES) {
            cls = "EDIT";
            style |= ES_AUTOHSCROLL;
        } else if (id == IDC_LOG_LEVEL || id == IDC_PROGRESS) {
            cls = "STATIC";
            caption = id == IDC_LOG_LEVEL ? "ログレベル" : "";
        } else if (id == IDC_CLEAR_SOURCES || id == IDC_BROWSE_DEST || id == IDC_LOG_LEVEL_STEP || id == IDC_START) {
            style |= BS_PUSHBUTTON;
        } else {
            style |= BS_AUTOCHECKBOX;
        }
        HWND control = CreateWindowExA(0, cls, caption, style, 0, 0, 300, combo ? 200 : 20, dialog,
                                       (HMENU)(INT_PTR)id, instance, nullptr);
        if (!control) {
            DestroyWindow(dialog);
            return nullptr;
        }
    }
    SendDlgItemMessageA(dialog, IDC_SOURCES, EM_LIMITTEXT, 4095, 0);
    for (int c : COMBO_IDS) SendDlgItemMessageA(dialog, c, CB_LIMITTEXT, 259, 0);
    return dialog;
}

void DestroyTestMainDialog(HWND dialog) { DestroyWindow(dialog); }

bool WindowsCanBeCreated() {
    // Tried once: under Wine without an X display no window can be created at all.
    static int can = -1;
    if (can < 0) {
        HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
        can = probe != nullptr;
        if (probe) DestroyWindow(probe);
    }
    return can == 1;
}

bool CloseDialogPosted(HWND dialog) {
    MSG msg;
    return PeekMessageA(&msg, dialog, WM_USER + 1, WM_USER + 1, PM_REMOVE) != FALSE;
}
#endif

void SetControlText(HWND dialog, int id, const std::string &text) {
    SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, (LPARAM)text.c_str());
}

std::string ControlText(HWND dialog, int id) {
    char text[4200];
    text[0] = '\0';
    SendDlgItemMessageA(dialog, id, WM_GETTEXT, sizeof text, (LPARAM)text);
    return text;
}

std::vector<std::string> ComboItems(HWND dialog, int id) {
    std::vector<std::string> items;
    LRESULT count = SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        char item[1024];
        LRESULT length = SendDlgItemMessageA(dialog, id, CB_GETLBTEXTLEN, (WPARAM)i, 0);
        if (length < 0 || length >= (LRESULT)sizeof item) break;
        SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, (WPARAM)i, (LPARAM)item);
        items.push_back(item);
    }
    return items;
}

int ControlCheck(HWND dialog, int id) { return (int)SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0); }

bool ControlEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// The main dialog: initialisation, commands, drops, and the dialog procedure.
#include "maindialog.h"
#include "cmdline.h"
#include "controls.h"
#include "copyjob.h"
#include "copyworker.h"
#include "dialogwords.h"
#include "folder.h"
#include "msgbox.h"
#include "script.h"
#include "settings.h"
#include <cstring>
#include <initializer_list>

const char *g_commandLine = "";
HINSTANCE g_instance = nullptr;
int g_mainWindowGoing = 0;

const char MSG_DROPPED_NAME_TOO_LONG[] = "パス名が長すぎるフォルダやファイルがあります。";
static const char MSG_TOO_MANY_SOURCES[] = "コピーするフォルダやファイルが多すぎます。";

// The name of dropped entry `i` in code page 932, into `name` (MAX_PATH bytes); null, or the
// warning that refuses the drop. The ANSI call gives a name that the code page cannot hold in a
// substituted form ("café" as "cafe"), which would copy another folder or none: such a name is
// taken through the wide call and refused. Where the wide call is a stub, the ANSI one answers.
static const char *DroppedName(HDROP drop, UINT i, char *name) {
    WCHAR wide[MAX_PATH];
    UINT needed = DragQueryFileW(drop, i, nullptr, 0);
    if (needed == 0) {
        needed = DragQueryFileA(drop, i, nullptr, 0);
        // A name that does not fit a path buffer would come back cut: another path than the one
        // the user dropped.
        if (needed >= MAX_PATH || DragQueryFileA(drop, i, name, MAX_PATH) != needed) return MSG_DROPPED_NAME_TOO_LONG;
        return nullptr;
    }
    if (needed >= MAX_PATH || DragQueryFileW(drop, i, wide, MAX_PATH) != needed) return MSG_DROPPED_NAME_TOO_LONG;
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, name, MAX_PATH, nullptr, &usedDefault) == 0)
        return MSG_DROPPED_NAME_TOO_LONG; // more than 259 bytes in code page 932
    return usedDefault ? MSG_NAME_UNUSABLE : nullptr;
}
static const char BROWSE_TITLE[] = "コピー先のフォルダ名";

// The checkboxes that a platform class does not offer: below 0x00020000 all twelve, below
// 0x00030005 the first nine (encrypted, temporary, not indexed), from NT 5 none.
static const int NO_NT4_BOXES[] = {1010, 1014, 1015, 1020, 1024, 1025, 1030, 1034, 1035};
static const int NO_NT_BOXES[] = {1013, 1023, 1033};

void InitMainDialog(HWND dialog) {
    g_mainDialog = dialog;
    SendDlgItemMessageA(dialog, IDC_SOURCES, EM_LIMITTEXT, SOURCES_TEXT_LIMIT, 0);
    for (int id : {IDC_DEST, IDC_TCF, IDC_TCD, IDC_TUF, IDC_TUD})
        SendDlgItemMessageA(dialog, id, CB_LIMITTEXT, FIELD_TEXT_LIMIT, 0);
    if (PlatformCode < PLATFORM_NT5)
        for (int id : NO_NT4_BOXES) EnableWindow(GetDlgItem(dialog, id), FALSE);
    if (PlatformCode < 0x00020000)
        for (int id : NO_NT_BOXES) EnableWindow(GetDlgItem(dialog, id), FALSE);
    if (g_copyButtonImage) SendDlgItemMessageA(dialog, IDC_START, BM_SETIMAGE, IMAGE_ICON, (LPARAM)g_copyButtonImage);
    g_idleFlag = 1;
    for (HistoryList list : {HISTORY_DEST, HISTORY_TCF, HISTORY_TCD, HISTORY_TUF, HISTORY_TUD}) LoadHistory(dialog, list);
    LoadModeWord(dialog);
    LoadConfWord(dialog);
    ApplyCommandLine(dialog, g_commandLine ? g_commandLine : "");
    SetFocus(GetDlgItem(dialog, IDC_SOURCES));
}

void StepLogLevel(HWND dialog) {
    DWORD conf = ReadConfWord(dialog);
    ShowConfWord(dialog, (conf & ~(DWORD)CONF_LEVEL_MASK) | NextLogLevel(conf));
}

int AppendDroppedNames(HWND dialog, HDROP drop) {
    const size_t SIZE = SOURCES_TEXT_LIMIT + 1;
    char text[SOURCES_TEXT_LIMIT + 1];
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    text[0] = '\0';
    SendDlgItemMessageA(dialog, IDC_SOURCES, WM_GETTEXT, SIZE, (LPARAM)text);
    text[SIZE - 1] = '\0';
    size_t length = strlen(text);
    const char *warning = nullptr;
    for (UINT i = 0; i < count && !warning; i++) {
        char name[MAX_PATH];
        if ((warning = DroppedName(drop, i, name)) != nullptr) break;
        size_t nameLength = strlen(name);
        if (length + nameLength + 3 >= SIZE) {
            warning = MSG_TOO_MANY_SOURCES;
            break;
        }
        if (length) text[length++] = ' ';
        text[length++] = '"';
        memcpy(text + length, name, nameLength);
        length += nameLength;
        text[length++] = '"';
        text[length] = '\0';
    }
    DragFinish(drop);
    if (warning) {
        ShowWarningBox(dialog, "%s", warning);
        return -1;
    }
    SendDlgItemMessageA(dialog, IDC_SOURCES, WM_SETTEXT, 0, (LPARAM)text);
    return 0;
}

// The destination picker (1004): the chosen folder goes into 1003; the focus goes to 1046.
static void BrowseDestination(HWND dialog) {
    char path[MAX_PATH];
    if (BrowseForFolder(dialog, BROWSE_TITLE, "", path) == 0)
        SendDlgItemMessageA(dialog, IDC_DEST, WM_SETTEXT, 0, (LPARAM)path);
    SetFocus(GetDlgItem(dialog, IDC_START));
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        InitMainDialog(dialog);
        return 0; // the focus is set
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CLEAR_SOURCES:
            SendDlgItemMessageA(dialog, IDC_SOURCES, WM_SETTEXT, 0, (LPARAM) "");
            return 1;
        case IDC_BROWSE_DEST:
            BrowseDestination(dialog);
            return 1;
        case IDC_LOG_LEVEL_STEP:
            StepLogLevel(dialog);
            return 1;
        case IDC_START:
            PressStartButton(dialog);
            return 1;
        }
        return 0;
    case WM_DROPFILES:
        AppendDroppedNames(dialog, (HDROP)wParam);
        return 1;
    case WM_TIMER:
        if (wParam != PROGRESS_TIMER_ID) return 0;
        ShowRunProgress(dialog);
        return 1;
    case WM_DESTROY:
        KillTimer(dialog, PROGRESS_TIMER_ID);
        g_mainDialog = nullptr;
        // The main window may be the one going: it is then destroying this dialog as its child.
        if (!g_mainWindowGoing) {
            g_mainWindowGoing = 1;
            DestroyWindow(GetParent(dialog));
        }
        return 1;
    case UM_CLOSEDIALOG:
        DestroyWindow(dialog);
        return 1;
    }
    return 0;
}

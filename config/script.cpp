// Script files: the reader that fills the main dialog, the writer and the create-script dialog.
#include "script.h"
#include "controls.h"
#include "dialogwords.h"
#include "folder.h"
#include "msgbox.h"
#include "optionwords.h"
#include "patterns.h"
#include <cstdio>
#include <cstring>

HWND g_mainDialog = nullptr;

static const char OPEN_FAILED_MESSAGE[] = "スクリプトファイルを開けません。";
static const char INVALID_LINE_MESSAGE[] = "スクリプトファイルに不正なオプションがあります。";
static const char NO_NAME_MESSAGE[] = "スクリプトの名前を指定してください。";
static const char NAME_TOO_LONG_MESSAGE[] = "スクリプトの名前が長すぎます。";
static const char EXISTS_MESSAGE[] = "同名のスクリプトが存在します。";
static const char WRITE_FAILED_MESSAGE[] = "スクリプトファイルに書き込めません。";
static const char LINE_BREAK_MESSAGE[] = "改行を含む項目はスクリプトに書けません。";
static const char END_MARK_MESSAGE[] = "Ctrl+Zの文字を含む項目はスクリプトに書けません。";
static const char FIELD_TOO_LONG_MESSAGE[] = "長すぎる項目はスクリプトに書けません。";

// The source field is read with a 4096-byte buffer, the other text fields with 260 bytes.
static const int SOURCE_TEXT_SIZE = 4096;
static const int FIELD_TEXT_SIZE = 260;

enum KeyKind { KEY_TEXT, KEY_MODE, KEY_CONF };

struct ScriptKey {
    const char *name; // with its colon
    KeyKind kind;
    int control;      // for a text key
    int size;         // the buffer the field is read with: a value must be shorter
};

// In the order they are tried, which is also the order they are written.
static const ScriptKey KEYS[] = {
    {"SRC:", KEY_TEXT, IDC_SOURCES, SOURCE_TEXT_SIZE}, {"DEST:", KEY_TEXT, IDC_DEST, FIELD_TEXT_SIZE},
    {"TCD:", KEY_TEXT, IDC_TCD, FIELD_TEXT_SIZE},      {"TCF:", KEY_TEXT, IDC_TCF, FIELD_TEXT_SIZE},
    {"TUD:", KEY_TEXT, IDC_TUD, FIELD_TEXT_SIZE},      {"TUF:", KEY_TEXT, IDC_TUF, FIELD_TEXT_SIZE},
    {"MODE:", KEY_MODE, 0, 0},                         {"CONF:", KEY_CONF, 0, 0},
};

// ---- reading ----

static bool IsBlankLine(const char *line) {
    for (; *line; line++)
        if (*line != ' ' && *line != '\t') return false;
    return true;
}

int ReadScriptLine(TextFile *file, char *buffer, int size) {
    for (;;) {
        int length = 0;
        int result = ReadTextLine(file, buffer, size, &length);
        if (result != 1) return result;
        if (strlen(buffer) != (size_t)length) return SCRIPT_LINE_NOT_TEXT;
        if (buffer[0] != '#' && !IsBlankLine(buffer)) return 1;
    }
}

// Applies one key line; false for a line that is not one, or whose value does not fit its field.
static bool ApplyScriptLine(HWND dialog, const char *line) {
    for (const ScriptKey &key : KEYS) {
        if (!StartsWithName(line, key.name)) continue;
        const char *value = line + strlen(key.name);
        if (key.kind == KEY_MODE) {
            ShowModeWord(dialog, ReadHexWord(value));
        } else if (key.kind == KEY_CONF) {
            ShowConfWord(dialog, ReadHexWord(value));
        } else {
            if (strlen(value) >= (size_t)key.size) return false;
            SendDlgItemMessageA(dialog, key.control, WM_SETTEXT, 0, (LPARAM)value);
        }
        return true;
    }
    return false;
}

int ReadScriptFile(HWND dialog, const char *path) {
    TextFile *file = (TextFile *)LocalAlloc(LMEM_FIXED, sizeof(TextFile) + SCRIPT_LINE_SIZE);
    if (!file) {
        ShowWarningBox(dialog, "%s", OPEN_FAILED_MESSAGE);
        return -1;
    }
    char *line = (char *)(file + 1);
    int result = -1;
    if (OpenTextFile(file, path) != 0) {
        ShowWarningBox(dialog, "%s", OPEN_FAILED_MESSAGE);
        LocalFree(file);
        return -1;
    }
    for (;;) {
        int read = ReadScriptLine(file, line, SCRIPT_LINE_SIZE);
        if (read == 0) {
            result = 0;
            break;
        }
        // A read error in mid-file is not the end of the file.
        if (read == SCRIPT_LINE_READ_FAILED) {
            ShowWarningBox(dialog, "%s", OPEN_FAILED_MESSAGE);
            break;
        }
        if (read != 1 || !ApplyScriptLine(dialog, line)) {
            ShowErrorBox(dialog, "%s", INVALID_LINE_MESSAGE);
            break;
        }
    }
    CloseTextFile(file);
    LocalFree(file);
    return result;
}

// ---- writing ----

// The main dialog's settings as a script holds them.
struct ScriptSettings {
    char name[FIELD_TEXT_SIZE];
    // In the order of KEYS, each read with one byte more than its reader takes, so that a text
    // the reader could not take whole is seen (a control may hold more than its limit: Wine
    // counts the limit in characters, and WM_SETTEXT does not apply it).
    char texts[6][SOURCE_TEXT_SIZE + 1];
    DWORD mode;
    DWORD conf;
};

static bool HasLineBreak(const char *text) { return strchr(text, '\r') || strchr(text, '\n'); }

// The reader ends the file at Ctrl-Z: written, it would silently drop every line after it.
static bool HasEndMark(const char *text) { return strchr(text, TEXT_END_OF_FILE) != nullptr; }

// A name that gives no plain file on the desktop, or no whole script: a colon (a drive or a
// stream), a device name, a line break or Ctrl-Z (the header line holds the name).
static bool IsUnusableName(const char *name) {
    return FindSingleByteChar(name, ':') != nullptr || IsDeviceName(name) || HasLineBreak(name) || HasEndMark(name);
}

// Writes the ten lines. 0, or a failure of the text-file layer (last error set).
static int WriteScriptLines(TextFile *file, const ScriptSettings &s) {
    char line[SOURCE_TEXT_SIZE + 32];
    snprintf(line, sizeof line, "# KESTREL Script File %s\n\n", s.name);
    int result = WriteText(file, line);
    for (int i = 0; i < 6 && result == 0; i++) {
        snprintf(line, sizeof line, "%s%s\n", KEYS[i].name, s.texts[i]);
        result = WriteText(file, line);
    }
    snprintf(line, sizeof line, "MODE:%08X\nCONF:%08X\n", (unsigned)s.mode, (unsigned)s.conf);
    if (result == 0) result = WriteText(file, line);
    int closed = CloseTextFile(file);
    return result != 0 ? result : closed;
}

// The checks and the writing, with the settings read; 1 written, 0 refused (warning shown).
static int WriteScriptWith(HWND nameDialog, const ScriptSettings &s, TextFile *file) {
    if (s.name[0] == '\0') {
        ShowWarningBox(nameDialog, "%s", NO_NAME_MESSAGE);
        return 0;
    }
    char desktop[MAX_PATH];
    // Without the desktop's path there is no folder to write into.
    if (GetSpecialFolderPath(CSIDL_DESKTOP, desktop) != 0) {
        ShowWarningBox(nameDialog, "%s", OPEN_FAILED_MESSAGE);
        return 0;
    }
    if (strlen(desktop) + strlen(s.name) + 10 > MAX_PATH) {
        ShowWarningBox(nameDialog, "%s", NAME_TOO_LONG_MESSAGE);
        return 0;
    }
    char path[MAX_PATH + FIELD_TEXT_SIZE]; // the test above keeps it within MAX_PATH
    snprintf(path, sizeof path, "%s\\%s.kjb", desktop, s.name);
    if (IsUnusableName(s.name)) {
        ShowWarningBox(nameDialog, "%s", OPEN_FAILED_MESSAGE);
        return 0;
    }
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        ShowWarningBox(nameDialog, "%s", EXISTS_MESSAGE);
        return 0;
    }
    // A field holding a line break would become a line of its own; a longer one would be cut.
    for (int i = 0; i < 6; i++) {
        if (HasLineBreak(s.texts[i])) {
            ShowWarningBox(nameDialog, "%s", LINE_BREAK_MESSAGE);
            return 0;
        }
        if (HasEndMark(s.texts[i])) {
            ShowWarningBox(nameDialog, "%s", END_MARK_MESSAGE);
            return 0;
        }
        if (strlen(s.texts[i]) >= (size_t)KEYS[i].size) {
            ShowWarningBox(nameDialog, "%s", FIELD_TOO_LONG_MESSAGE);
            return 0;
        }
    }
    // Created exclusively: a file that appeared since the test above is never overwritten.
    if (CreateTextFile(file, path) != 0) {
        DWORD error = GetLastError();
        bool exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        ShowWarningBox(nameDialog, "%s", exists ? EXISTS_MESSAGE : OPEN_FAILED_MESSAGE);
        return 0;
    }
    if (WriteScriptLines(file, s) != 0) {
        DWORD error = GetLastError();
        DeleteFileA(path);
        SetLastError(error);
        ShowWarningBox(nameDialog, "%s", WRITE_FAILED_MESSAGE);
        return 0;
    }
    return 1;
}

int WriteScriptFile(HWND nameDialog) {
    // The settings and the file's buffer are too large for a dialog procedure's stack frame.
    struct Writing {
        ScriptSettings settings;
        TextFile file;
    };
    Writing *w = (Writing *)LocalAlloc(LMEM_FIXED, sizeof(Writing));
    if (!w) {
        ShowWarningBox(nameDialog, "%s", WRITE_FAILED_MESSAGE);
        return 0;
    }
    ScriptSettings *s = &w->settings;
    GetDlgItemTextA(nameDialog, IDC_SCRIPT_NAME, s->name, sizeof s->name);
    for (int i = 0; i < 6; i++) {
        s->texts[i][0] = '\0';
        SendDlgItemMessageA(g_mainDialog, KEYS[i].control, WM_GETTEXT, (WPARAM)KEYS[i].size + 1, (LPARAM)s->texts[i]);
    }
    s->mode = ReadModeWord(g_mainDialog);
    s->conf = ReadConfWord(g_mainDialog);
    int result = WriteScriptWith(nameDialog, *s, &w->file);
    LocalFree(w);
    return result;
}

// ---- the create-script dialog ----

INT_PTR CALLBACK MkScriptDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CenterWindow(dialog, nullptr);
        SendDlgItemMessageA(dialog, IDC_SCRIPT_NAME, EM_LIMITTEXT, FIELD_TEXT_SIZE, 0);
        SetDlgItemTextA(dialog, IDC_SCRIPT_NAME, "KESTREL");
        SetFocus(GetDlgItem(dialog, IDC_SCRIPT_NAME));
        return FALSE; // the focus is set
    }
    if (message == WM_COMMAND) {
        switch (LOWORD(wParam)) {
        case IDOK:
            if (WriteScriptFile(dialog) == 1) EndDialog(dialog, 0);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        }
    }
    return FALSE;
}

// The settings store in the current user's registry.
#include "settings.h"
#include "controls.h"
#include "copyjob.h"
#include "dialogwords.h"
#include "registry.h"
#include <cstdio>
#include <cstring>

static char g_settingsKeyPath[80] = SETTINGS_PARENT_KEY "\\" SETTINGS_KEY_NAME;
static char g_settingsKeyName[64] = SETTINGS_KEY_NAME;

void SetSettingsKeyName(const char *name) {
    if (!name || strlen(name) >= sizeof g_settingsKeyName) name = SETTINGS_KEY_NAME;
    strcpy(g_settingsKeyName, name);
    snprintf(g_settingsKeyPath, sizeof g_settingsKeyPath, "%s\\%s", SETTINGS_PARENT_KEY, g_settingsKeyName);
}

const char *SettingsKeyPath() { return g_settingsKeyPath; }

const HistoryListInfo HISTORY_LISTS[HISTORY_LIST_COUNT] = {
    {IDC_DEST, "Dest-%02d", DEFAULT_DEST},
    {IDC_TCF, "Pattern-%02d", DEFAULT_TCF},
    {IDC_TUF, "UnPattern-%02d", DEFAULT_TUF},
    {IDC_TCD, "DPattern-%02d", DEFAULT_TCD},
    {IDC_TUD, "DUnPattern-%02d", DEFAULT_TUD},
};

int EnsureSettingsKey() {
    LONG exists = RegistryKeyExists(HKEY_CURRENT_USER, g_settingsKeyPath);
    if (exists < 0) return -1;
    if (exists == 1) return 0;
    if (RegistryCreateKey(HKEY_CURRENT_USER, SETTINGS_PARENT_KEY, g_settingsKeyName) < 0) return -2;
    return 0;
}

// A 4-byte value of the settings key; false when it cannot be read.
static bool QueryWord(const char *name, DWORD *word) {
    DWORD value = 0, size = sizeof value, type;
    if (RegistryQueryValue(HKEY_CURRENT_USER, g_settingsKeyPath, name, &type, &value, &size) < 0) return false;
    *word = value;
    return true;
}

static bool SetWord(const char *name, DWORD word) {
    return RegistrySetValue(HKEY_CURRENT_USER, g_settingsKeyPath, name, REG_DWORD, &word, sizeof word) >= 0;
}

DWORD ReadSettingsVersion() {
    DWORD version;
    return QueryWord("Version", &version) ? version : 0;
}

int WriteSettingsVersion(DWORD version) { return SetWord("Version", version) ? 0 : -1; }

void LoadModeWord(HWND dialog) {
    DWORD mode;
    if (!QueryWord("Mode", &mode)) mode = MODE_DEFAULT;
    ShowModeWord(dialog, mode & PlatformModeMask(PlatformCode));
}

LONG SaveModeWord(HWND dialog) {
    DWORD mode = ReadModeWord(dialog);
    return SetWord("Mode", mode) ? (LONG)mode : -1;
}

void LoadConfWord(HWND dialog) {
    DWORD conf;
    if (!QueryWord("Configuration", &conf)) conf = CONF_DEFAULT;
    ShowConfWord(dialog, conf);
}

LONG SaveConfWord(HWND dialog) {
    DWORD conf = ReadConfWord(dialog);
    return SetWord("Configuration", conf) ? (LONG)conf : -1;
}

void LoadHistory(HWND dialog, HistoryList list) {
    const HistoryListInfo &info = HISTORY_LISTS[list];
    SendDlgItemMessageA(dialog, info.comboId, CB_RESETCONTENT, 0, 0);
    int loaded = 0;
    for (int i = 0; i < HISTORY_ENTRIES; i++) {
        char name[32];
        snprintf(name, sizeof name, info.valueFormat, i);
        char text[MAX_PATH + 1];
        DWORD size = MAX_PATH, type;
        if (RegistryQueryValue(HKEY_CURRENT_USER, g_settingsKeyPath, name, &type, text, &size) < 0) break;
        text[size < MAX_PATH ? size : MAX_PATH] = '\0'; // a stored text need not end in a zero
        SendDlgItemMessageA(dialog, info.comboId, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)text);
        loaded++;
    }
    if (loaded == 0)
        for (const char *const *d = info.defaults; *d; d++)
            SendDlgItemMessageA(dialog, info.comboId, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)*d);
    SendDlgItemMessageA(dialog, info.comboId, CB_SETCURSEL, 0, 0);
}

static bool SetText(const char *name, const char *text) {
    return RegistrySetValue(HKEY_CURRENT_USER, g_settingsKeyPath, name, REG_SZ, text, (DWORD)strlen(text) + 1) >= 0;
}

int SaveHistory(HWND dialog, HistoryList list) {
    const HistoryListInfo &info = HISTORY_LISTS[list];
    char used[MAX_PATH];
    used[0] = '\0';
    SendDlgItemMessageA(dialog, info.comboId, WM_GETTEXT, sizeof used, (LPARAM)used);
    used[MAX_PATH - 1] = '\0';
    char name[32];
    snprintf(name, sizeof name, info.valueFormat, 0);
    if (!SetText(name, used)) return -1;
    int next = 1;
    for (int j = 0; j < HISTORY_ENTRIES && next < HISTORY_ENTRIES; j++) {
        // CB_GETLBTEXT has no buffer size: an item too long for the buffer is left out rather than
        // let overrun it (items loaded from the store always fit).
        LRESULT length = SendDlgItemMessageA(dialog, info.comboId, CB_GETLBTEXTLEN, (WPARAM)j, 0);
        if (length == CB_ERR) break;
        if (length >= MAX_PATH) continue;
        char item[MAX_PATH];
        if (SendDlgItemMessageA(dialog, info.comboId, CB_GETLBTEXT, (WPARAM)j, (LPARAM)item) == CB_ERR) break;
        if (strcmp(item, used) == 0) continue;
        snprintf(name, sizeof name, info.valueFormat, next);
        if (!SetText(name, item)) return -1;
        next++;
    }
    return 0;
}

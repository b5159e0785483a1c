// The settings store: the MODE and CONF words, the five recently-used lists of the main dialog's
// combo boxes and the layout version, one value each directly under HKEY_CURRENT_USER\Software\KESTREL.
// Every operation opens, uses and closes the key; the store keeps nothing in memory.
#pragma once
#include <windows.h>

#define SETTINGS_VERSION 0x02710001u
#define SETTINGS_PARENT_KEY "Software"
#define SETTINGS_KEY_NAME "KESTREL"

// The settings key below HKEY_CURRENT_USER: "Software\\KESTREL". Tests that run against a real
// registry name a key of their own with SetSettingsKeyName (a name below "Software", at most 63
// bytes) so that they never touch the user's settings; null restores "KESTREL".
void SetSettingsKeyName(const char *name);
const char *SettingsKeyPath();

// The five history lists.
enum HistoryList { HISTORY_DEST, HISTORY_TCF, HISTORY_TUF, HISTORY_TCD, HISTORY_TUD, HISTORY_LIST_COUNT };
struct HistoryListInfo {
    int comboId;                  // the combo box of the main dialog
    const char *valueFormat;      // "Dest-%02d", …
    const char *const *defaults;  // shown when the store holds none; ends with a null entry
};
extern const HistoryListInfo HISTORY_LISTS[HISTORY_LIST_COUNT];

// 0 when the key exists or was created, -1 when its existence could not be tested, -2 when it
// could not be created.
int EnsureSettingsKey();
// The stored "Version", 0 when absent or unreadable.
DWORD ReadSettingsVersion();
// 0, or -1 when "Version" cannot be written.
int WriteSettingsVersion(DWORD version);

// Shows the stored "Mode" (0x16030180 when absent or unreadable), masked for the platform.
void LoadModeWord(HWND dialog);
// Writes the dialog's MODE word as "Mode"; returns the word, or -1 when it cannot be written.
LONG SaveModeWord(HWND dialog);
// Shows the stored "Configuration" (0 when absent or unreadable).
void LoadConfWord(HWND dialog);
// Writes the dialog's CONF word as "Configuration"; returns the word, or -1.
LONG SaveConfWord(HWND dialog);

// Fills the list's combo box from entries 00, 01, … up to the first gap (at most 20), or with the
// defaults when not even entry 00 can be read, and selects item 0.
void LoadHistory(HWND dialog, HistoryList list);
// Writes the combo box's edit text as entry 00 and the other list items, without the one equal to
// the edit text, as entries 01, … up to 19. 0, or -1 at the first write that fails.
int SaveHistory(HWND dialog, HistoryList list);

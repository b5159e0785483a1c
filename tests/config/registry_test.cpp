// The registry primitives and the settings store, against the simulated registry and Wine's.
#include "controls.h"
#include "copyjob.h"
#include "dialog.h"
#include "dialogwords.h"
#include "registry.h"
#include "settings.h"
#include "tree.h"
#include <cstring>

static const char TEST_KEY_NAME[] = "KESTREL-TEST";
static const char TEST_KEY[] = "Software\\KESTREL-TEST";

// Every test starts without the test key and leaves none behind; the store is pointed at it.
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef KESTREL_SIM
        SimReset();
#endif
        RegDeleteKeyA(HKEY_CURRENT_USER, TEST_KEY);
        SetSettingsKeyName(TEST_KEY_NAME);
        PlatformCode = PLATFORM_NT5;
    }
    void TearDown() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, TEST_KEY);
        SetSettingsKeyName(nullptr);
        PlatformCode = PLATFORM_NT5;
#ifdef KESTREL_SIM
        EXPECT_EQ(0, SimOpenRegistryKeys()) << "a registry key was left open";
#endif
    }
    void SetText(const char *name, const char *text) {
        ASSERT_EQ(0, RegistrySetValue(HKEY_CURRENT_USER, TEST_KEY, name, REG_SZ, text, (DWORD)strlen(text) + 1));
    }
    std::string Text(const char *name) {
        char text[400];
        DWORD size = sizeof text - 1;
        memset(text, 0, sizeof text);
        if (RegistryQueryValue(HKEY_CURRENT_USER, TEST_KEY, name, nullptr, text, &size) != 0) return "<absent>";
        return text;
    }
    DWORD Word(const char *name) {
        DWORD word = 0xdddddddd, size = 4;
        if (RegistryQueryValue(HKEY_CURRENT_USER, TEST_KEY, name, nullptr, &word, &size) != 0) return 0xdeadbeef;
        return word;
    }
};

TEST_F(RegistryTest, KeyExistsAndCreate) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, RegistryKeyExists(HKEY_CURRENT_USER, TEST_KEY));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(0, RegistryCreateKey(HKEY_CURRENT_USER, "Software", TEST_KEY_NAME));
    EXPECT_EQ(1, RegistryKeyExists(HKEY_CURRENT_USER, TEST_KEY));
    // A key that exists already is opened by the create call: success.
    EXPECT_EQ(0, RegistryCreateKey(HKEY_CURRENT_USER, "Software", TEST_KEY_NAME));
}

TEST_F(RegistryTest, CreateBelowMissingParentFailsAtOpen) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(REGCREATE_OPEN_PARENT_FAILED, RegistryCreateKey(HKEY_CURRENT_USER, TEST_KEY, "child"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST_F(RegistryTest, ValuesRoundTripAndFailures) {
    ASSERT_EQ(0, EnsureSettingsKey());
    DWORD word = 0x12345678;
    EXPECT_EQ(0, RegistrySetValue(HKEY_CURRENT_USER, TEST_KEY, "W", REG_DWORD, &word, 4));
    EXPECT_EQ(0x12345678u, Word("W"));
    SetText("S", "D:\\BAK");
    EXPECT_EQ("D:\\BAK", Text("S"));

    // Absent value: the value call fails and says why.
    DWORD data, size = 4;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(REGVALUE_CALL_FAILED, RegistryQueryValue(HKEY_CURRENT_USER, TEST_KEY, "none", nullptr, &data, &size));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    // A value larger than the buffer.
    char small[4];
    size = sizeof small;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(REGVALUE_CALL_FAILED, RegistryQueryValue(HKEY_CURRENT_USER, TEST_KEY, "S", nullptr, small, &size));
    EXPECT_EQ((DWORD)ERROR_MORE_DATA, GetLastError());
    // Absent key.
    size = 4;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(REGVALUE_OPEN_FAILED,
              RegistryQueryValue(HKEY_CURRENT_USER, "Software\\KESTREL-NONE", "W", nullptr, &data, &size));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(REGVALUE_OPEN_FAILED, RegistrySetValue(HKEY_CURRENT_USER, "Software\\KESTREL-NONE", "W", REG_DWORD, &word, 4));
    EXPECT_EQ(REGVALUE_OPEN_FAILED, RegistryDeleteValue(HKEY_CURRENT_USER, "Software\\KESTREL-NONE", "W"));
}

TEST_F(RegistryTest, DeleteValueOfAbsentValueSucceeds) {
    ASSERT_EQ(0, EnsureSettingsKey());
    EXPECT_EQ(0, RegistryDeleteValue(HKEY_CURRENT_USER, TEST_KEY, "Mode"));
    SetText("Mode", "x");
    EXPECT_EQ(0, RegistryDeleteValue(HKEY_CURRENT_USER, TEST_KEY, "Mode"));
    EXPECT_EQ("<absent>", Text("Mode"));
}

#ifdef KESTREL_SIM
// Every failing step of the primitives, on the simulated registry: the result names the step, the
// last error is the registry function's code, and no key is left open (checked in TearDown).
TEST_F(RegistryTest, FailingStepsCloseWhatTheyOpened) {
    ASSERT_EQ(0, EnsureSettingsKey());
    SimInjectFault("RegOpenKeyExA", nullptr, ERROR_ACCESS_DENIED);
    EXPECT_EQ(REGKEY_OPEN_FAILED, RegistryKeyExists(HKEY_CURRENT_USER, TEST_KEY));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    SimInjectFault("RegCloseKey", nullptr, ERROR_INVALID_HANDLE);
    EXPECT_EQ(REGKEY_CLOSE_FAILED, RegistryKeyExists(HKEY_CURRENT_USER, TEST_KEY));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());

    SimInjectFault("RegCreateKeyExA", nullptr, ERROR_ACCESS_DENIED);
    EXPECT_EQ(REGCREATE_CREATE_FAILED, RegistryCreateKey(HKEY_CURRENT_USER, TEST_KEY, "child"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(0, SimOpenRegistryKeys());
    SimInjectFault("RegCloseKey", nullptr, ERROR_BADKEY, SIM_FAULT_NTH, 1);
    EXPECT_EQ(REGCREATE_CLOSE_PARENT_FAILED, RegistryCreateKey(HKEY_CURRENT_USER, TEST_KEY, "child"));
    EXPECT_EQ((DWORD)ERROR_BADKEY, GetLastError());
    EXPECT_EQ(0, SimOpenRegistryKeys());
    SimInjectFault("RegCloseKey", nullptr, ERROR_BADKEY, SIM_FAULT_NTH, 2);
    EXPECT_EQ(REGCREATE_CLOSE_KEY_FAILED, RegistryCreateKey(HKEY_CURRENT_USER, TEST_KEY, "child"));
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL-TEST\\child");

    DWORD word = 7, size = 4;
    SimInjectFault("RegSetValueExA", nullptr, ERROR_CANTWRITE);
    EXPECT_EQ(REGVALUE_CALL_FAILED, RegistrySetValue(HKEY_CURRENT_USER, TEST_KEY, "W", REG_DWORD, &word, 4));
    EXPECT_EQ((DWORD)ERROR_CANTWRITE, GetLastError());
    SimInjectFault("RegCloseKey", nullptr, ERROR_BADKEY);
    EXPECT_EQ(REGVALUE_CLOSE_FAILED, RegistrySetValue(HKEY_CURRENT_USER, TEST_KEY, "W", REG_DWORD, &word, 4));
    SimInjectFault("RegQueryValueExA", nullptr, ERROR_CANTREAD);
    EXPECT_EQ(REGVALUE_CALL_FAILED, RegistryQueryValue(HKEY_CURRENT_USER, TEST_KEY, "W", nullptr, &word, &size));
    EXPECT_EQ((DWORD)ERROR_CANTREAD, GetLastError());
    SimInjectFault("RegCloseKey", nullptr, ERROR_BADKEY);
    EXPECT_EQ(REGVALUE_CLOSE_FAILED, RegistryQueryValue(HKEY_CURRENT_USER, TEST_KEY, "W", nullptr, &word, &size));
    SimInjectFault("RegDeleteValueA", nullptr, ERROR_ACCESS_DENIED);
    EXPECT_EQ(REGVALUE_CALL_FAILED, RegistryDeleteValue(HKEY_CURRENT_USER, TEST_KEY, "W"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(7u, Word("W")); // the failed delete left the value
    SimInjectFault("RegCloseKey", nullptr, ERROR_BADKEY);
    EXPECT_EQ(REGVALUE_CLOSE_FAILED, RegistryDeleteValue(HKEY_CURRENT_USER, TEST_KEY, "W"));
}

TEST_F(RegistryTest, EnsureSettingsKeyFailures) {
    SimInjectFault("RegOpenKeyExA", nullptr, ERROR_ACCESS_DENIED);
    EXPECT_EQ(-1, EnsureSettingsKey());
    SimInjectFault("RegCreateKeyExA", nullptr, ERROR_ACCESS_DENIED);
    EXPECT_EQ(-2, EnsureSettingsKey());
    EXPECT_EQ(0, RegistryKeyExists(HKEY_CURRENT_USER, TEST_KEY));
    EXPECT_EQ(0, EnsureSettingsKey());
    SimInjectFault("RegSetValueExA", nullptr, ERROR_CANTWRITE);
    EXPECT_EQ(-1, WriteSettingsVersion(SETTINGS_VERSION));
    EXPECT_EQ(0u, ReadSettingsVersion());
}
#endif

TEST_F(RegistryTest, VersionReadAndWrite) {
    EXPECT_EQ(0u, ReadSettingsVersion()); // no key at all
    ASSERT_EQ(0, EnsureSettingsKey());
    EXPECT_EQ(0, EnsureSettingsKey()); // existing key
    EXPECT_EQ(0u, ReadSettingsVersion());
    EXPECT_EQ(0, WriteSettingsVersion(SETTINGS_VERSION));
    EXPECT_EQ(0x02710001u, ReadSettingsVersion());
    EXPECT_EQ(0x02710001u, Word("Version"));
}

// ---- with the dialog ----

class SettingsTest : public RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        NEEDS_WINDOWS();
        ASSERT_EQ(0, EnsureSettingsKey());
        dialog = CreateTestMainDialog();
        ASSERT_NE(nullptr, dialog);
    }
    void TearDown() override {
        if (dialog) DestroyTestMainDialog(dialog);
        RegistryTest::TearDown();
    }
    // The MODE word the boxes show, without any mask.
    DWORD ShownMode() {
        PlatformCode = PLATFORM_NT5;
        return ReadModeWord(dialog);
    }
    HWND dialog = nullptr;
};

TEST_F(SettingsTest, EmptyStoreShowsDefaults) {
    for (int list = 0; list < HISTORY_LIST_COUNT; list++) LoadHistory(dialog, (HistoryList)list);
    LoadModeWord(dialog);
    LoadConfWord(dialog);
    EXPECT_EQ((std::vector<std::string>{"E:\\", "A:\\"}), ComboItems(dialog, IDC_DEST));
    EXPECT_EQ("E:\\", ControlText(dialog, IDC_DEST));
    EXPECT_EQ((std::vector<std::string>{"*", "*.TXT *.DOC", "*.H *.C *.CPP"}), ComboItems(dialog, IDC_TCF));
    EXPECT_EQ((std::vector<std::string>{"", "*.TMP", "$* _* ~*"}), ComboItems(dialog, IDC_TUF));
    EXPECT_EQ((std::vector<std::string>{"*", "\"MY *\""}), ComboItems(dialog, IDC_TCD));
    EXPECT_EQ((std::vector<std::string>{"", "_*", "$*", "_* $*"}), ComboItems(dialog, IDC_TUD));
    EXPECT_EQ("", ControlText(dialog, IDC_TUD));
    EXPECT_EQ(0x16030180u, ShownMode());
    EXPECT_EQ("ログにエラーとコピー完を表示する", ControlText(dialog, IDC_LOG_LEVEL));
    EXPECT_EQ(BST_UNCHECKED, ControlCheck(dialog, IDC_CLEAR_ARCHIVE));
    EXPECT_EQ(BST_UNCHECKED, ControlCheck(dialog, IDC_CHECK_MISSING));
    EXPECT_EQ(0u, ReadConfWord(dialog));
}

TEST_F(SettingsTest, StoredModeIsMaskedForTheOldestPlatforms) {
    DWORD all = 0xFFFFFFFF;
    ASSERT_EQ(0, RegistrySetValue(HKEY_CURRENT_USER, TEST_KEY, "Mode", REG_DWORD, &all, 4));
    PlatformCode = PLATFORM_WIN95;
    LoadModeWord(dialog);
    EXPECT_EQ(0x1E371B8Du, ShownMode());
    EXPECT_EQ(BST_UNCHECKED, ControlCheck(dialog, 1010)); // encrypted folders
    PlatformCode = PLATFORM_NT4;
    LoadModeWord(dialog);
    EXPECT_EQ(0x1E773B9Du, ShownMode());
}

TEST_F(SettingsTest, WordsSavedAndLoaded) {
    ShowModeWord(dialog, 0x0ABCDEF1);
    ShowConfWord(dialog, 0xF);
    EXPECT_EQ(0x0ABCDEF1, SaveModeWord(dialog));
    EXPECT_EQ(0xF, SaveConfWord(dialog));
    EXPECT_EQ(0x0ABCDEF1u, Word("Mode"));
    EXPECT_EQ(0xFu, Word("Configuration"));
    ShowModeWord(dialog, 0);
    ShowConfWord(dialog, 0);
    LoadModeWord(dialog);
    LoadConfWord(dialog);
    EXPECT_EQ(0x0ABCDEF1u, ShownMode());
    EXPECT_EQ(0xFu, ReadConfWord(dialog));
}

TEST_F(SettingsTest, HistoryStopsAtTheFirstGap) {
    SetText("Dest-00", "D:\\ONE");
    SetText("Dest-02", "D:\\THREE");
    LoadHistory(dialog, HISTORY_DEST);
    EXPECT_EQ((std::vector<std::string>{"D:\\ONE"}), ComboItems(dialog, IDC_DEST));
    EXPECT_EQ("D:\\ONE", ControlText(dialog, IDC_DEST));
}

TEST_F(SettingsTest, HistoryEntryTooLongEndsTheList) {
    SetText("Pattern-00", "*.A");
    SetText("Pattern-01", std::string(259, 'X').c_str()); // 260 bytes with its zero: fits
    SetText("Pattern-02", std::string(260, 'Y').c_str()); // 261 bytes: ends the list
    SetText("Pattern-03", "*.D");
    LoadHistory(dialog, HISTORY_TCF);
    auto items = ComboItems(dialog, IDC_TCF);
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(std::string(259, 'X'), items[1]);
}

TEST_F(SettingsTest, HistoryReadsAtMostTwentyAndShowsUpperCase) {
    for (int i = 0; i < 22; i++) {
        char name[32], text[32];
        snprintf(name, sizeof name, "DPattern-%02d", i);
        snprintf(text, sizeof text, "dir%02d*", i);
        SetText(name, text);
    }
    LoadHistory(dialog, HISTORY_TCD);
    auto items = ComboItems(dialog, IDC_TCD);
    ASSERT_EQ(20u, items.size());
    EXPECT_EQ("DIR00*", items[0]);
    EXPECT_EQ("DIR19*", items[19]);
}

TEST_F(SettingsTest, UsedTextMovesToTheFrontWithoutRepeat) {
    for (int i = 0; i < 6; i++) {
        char name[32], text[32];
        snprintf(name, sizeof name, "Dest-%02d", i);
        snprintf(text, sizeof text, "D:\\B%d", i);
        SetText(name, text);
    }
    LoadHistory(dialog, HISTORY_DEST);
    SetControlText(dialog, IDC_DEST, "d:\\b3"); // typed in lower case: the box holds upper case
    EXPECT_EQ("D:\\B3", ControlText(dialog, IDC_DEST));
    EXPECT_EQ(0, SaveHistory(dialog, HISTORY_DEST));
    const char *expected[] = {"D:\\B3", "D:\\B0", "D:\\B1", "D:\\B2", "D:\\B4", "D:\\B5"};
    for (int i = 0; i < 6; i++) {
        char name[32];
        snprintf(name, sizeof name, "Dest-%02d", i);
        EXPECT_EQ(expected[i], Text(name)) << name;
    }
    EXPECT_EQ("<absent>", Text("Dest-06"));
    LoadHistory(dialog, HISTORY_DEST);
    EXPECT_EQ(6u, ComboItems(dialog, IDC_DEST).size());
}

TEST_F(SettingsTest, NewTextOnAFullListDropsTheOldest) {
    for (int i = 0; i < 20; i++) {
        char name[32], text[32];
        snprintf(name, sizeof name, "Dest-%02d", i);
        snprintf(text, sizeof text, "D:\\B%02d", i);
        SetText(name, text);
    }
    LoadHistory(dialog, HISTORY_DEST);
    SetControlText(dialog, IDC_DEST, "D:\\NEW");
    EXPECT_EQ(0, SaveHistory(dialog, HISTORY_DEST));
    EXPECT_EQ("D:\\NEW", Text("Dest-00"));
    EXPECT_EQ("D:\\B00", Text("Dest-01"));
    EXPECT_EQ("D:\\B18", Text("Dest-19"));
    EXPECT_EQ("<absent>", Text("Dest-20"));
}

TEST_F(SettingsTest, EmptyPatternFieldIsStoredAsEmptyEntry) {
    LoadHistory(dialog, HISTORY_TUF);
    SetControlText(dialog, IDC_TUF, "*.BAK");
    EXPECT_EQ(0, SaveHistory(dialog, HISTORY_TUF));
    LoadHistory(dialog, HISTORY_TUF);
    SetControlText(dialog, IDC_TUF, "");
    EXPECT_EQ(0, SaveHistory(dialog, HISTORY_TUF));
    EXPECT_EQ("", Text("UnPattern-00"));
    LoadHistory(dialog, HISTORY_TUF);
    auto items = ComboItems(dialog, IDC_TUF);
    ASSERT_FALSE(items.empty());
    EXPECT_EQ("", items[0]);
    EXPECT_EQ("*.BAK", items[1]);
}

#ifdef KESTREL_SIM
TEST_F(SettingsTest, FailedWritesAreReported) {
    LoadHistory(dialog, HISTORY_DEST);
    SimInjectFault("RegSetValueExA", nullptr, ERROR_CANTWRITE);
    EXPECT_EQ(-1, SaveHistory(dialog, HISTORY_DEST));
    SimInjectFault("RegSetValueExA", nullptr, ERROR_CANTWRITE, SIM_FAULT_NTH, 2);
    EXPECT_EQ(-1, SaveHistory(dialog, HISTORY_DEST));
    EXPECT_EQ("E:\\", Text("Dest-00")); // written before the failure, and stays
    SimInjectFault("RegSetValueExA", nullptr, ERROR_CANTWRITE);
    EXPECT_EQ(-1, SaveModeWord(dialog));
    SimInjectFault("RegOpenKeyExA", nullptr, ERROR_ACCESS_DENIED);
    EXPECT_EQ(-1, SaveConfWord(dialog));
    // Reading failures fall back to the defaults without a word.
    SimInjectFault("RegQueryValueExA", nullptr, ERROR_CANTREAD, SIM_FAULT_EVERY);
    LoadHistory(dialog, HISTORY_DEST);
    EXPECT_EQ((std::vector<std::string>{"E:\\", "A:\\"}), ComboItems(dialog, IDC_DEST));
}
#endif

// ---- the dialog's word operations ----

TEST_F(SettingsTest, ConfWordLevelsAndBoxes) {
    const DWORD levels[] = {0, 5, 1, 4};
    const char *texts[] = {"ログにエラーとコピー完を表示する", "ログにエラーと未コピーを表示する",
                           "ログにすべてを表示する", "ログにエラーのみを表示する"};
    for (int i = 0; i < 4; i++) {
        ShowConfWord(dialog, levels[i] | 0xF0);
        EXPECT_EQ(texts[i], ControlText(dialog, IDC_LOG_LEVEL));
        EXPECT_EQ(levels[i], ReadConfWord(dialog));
        ShowConfWord(dialog, levels[i] | 2);
        EXPECT_EQ(levels[i] | 2, ReadConfWord(dialog));
        ShowConfWord(dialog, levels[i] | 8);
        EXPECT_EQ(levels[i] | 8, ReadConfWord(dialog));
    }
    SetControlText(dialog, IDC_LOG_LEVEL, "ログレベル");
    EXPECT_EQ(0u, ReadConfWord(dialog) & 5);
}

TEST_F(SettingsTest, ModeWordEveryBitHasItsBox) {
    for (int bit = 0; bit < 29; bit++) {
        ShowModeWord(dialog, 1u << bit);
        EXPECT_EQ(1u << bit, ShownMode()) << "bit " << bit;
    }
    ShowModeWord(dialog, 1u << 27);
    EXPECT_EQ(BST_CHECKED, ControlCheck(dialog, 1040));
    ShowModeWord(dialog, 1u << 28);
    EXPECT_EQ(BST_CHECKED, ControlCheck(dialog, 1039));
    ShowModeWord(dialog, 0xFFFFFFFF);
    EXPECT_EQ(0x1FFFFFFFu, ShownMode());
    PlatformCode = PLATFORM_WIN32S;
    EXPECT_EQ(0x1E371B8Du, ReadModeWord(dialog));
    EXPECT_EQ(BST_CHECKED, ControlCheck(dialog, 1010)); // shown unmasked, read masked
}

TEST_F(SettingsTest, InputsSwitchedButUnavailableBoxesUntouched) {
    PlatformCode = PLATFORM_WIN95;
    EnableWindow(GetDlgItem(dialog, 1010), FALSE);
    EnableWindow(GetDlgItem(dialog, 1023), FALSE);
    SetInputsEnabled(dialog, FALSE);
    EXPECT_EQ(0, g_idleFlag.load());
    EXPECT_FALSE(ControlEnabled(dialog, IDC_SOURCES));
    EXPECT_FALSE(ControlEnabled(dialog, 1044));
    EXPECT_TRUE(ControlEnabled(dialog, IDC_START));
    EXPECT_TRUE(ControlEnabled(dialog, IDC_PROGRESS));
    SetInputsEnabled(dialog, TRUE);
    EXPECT_EQ(1, g_idleFlag.load());
    EXPECT_TRUE(ControlEnabled(dialog, IDC_SOURCES));
    EXPECT_TRUE(ControlEnabled(dialog, 1009));
    EXPECT_FALSE(ControlEnabled(dialog, 1010));
    EXPECT_FALSE(ControlEnabled(dialog, 1023));
    PlatformCode = PLATFORM_NT4;
    SetInputsEnabled(dialog, TRUE);
    EXPECT_TRUE(ControlEnabled(dialog, 1023));
    EXPECT_FALSE(ControlEnabled(dialog, 1010));
}

// The main dialog and start-up pieces that every build can run: platform detection, the settings
// version check, the dialog's initialisation order, its commands, the log-level cycle, drops, the
// fields that do not fit their buffers, and closing during a run.
#include "../engine/copyrun_fixture.h"
#include "maindialog.h"
#include "registry.h"
#include "script.h"
#include "startup.h"
#include <cstring>
#include <map>
#include <thread>
#ifdef KESTREL_SIM
#include <shellapi.h>
#include "simwin_app.h"
#include "simwin_dialog.h"
#endif

// ---- DetectPlatform ----

TEST(DetectPlatformTest, MappingOfPlatformAndMajorVersion) {
    struct Row {
        DWORD platform, major;
        LONG code;
    } rows[] = {
        {0, 3, 0x00000001},          {0, 1, 0x00000001},          {1, 4, 0x00010003},
        {1, 5, (LONG)0x80000002},    {2, 3, 0x00030002},          {2, 4, 0x00030004},
        {2, 5, 0x00030005},          {2, 6, 0x00030005},          {2, 10, 0x00030005},
        {2, 2, (LONG)0x80000002},    {3, 5, (LONG)0x80000002},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.platform) + "/" + std::to_string(row.major));
        EXPECT_EQ(row.code, PlatformCodeOf(row.platform, row.major));
    }
}

TEST(DetectPlatformTest, TheRunningSystemGivesTheFullClass) {
    // XP (NT 5) and every later Windows, and Wine in any of its versions, offer every choice.
    EXPECT_EQ(0x00030005, DetectPlatform());
#ifdef KESTREL_SIM
    SimSetVersion(VER_PLATFORM_WIN32_NT, 10);
    EXPECT_EQ(0x00030005, DetectPlatform());
    SimSetVersion(VER_PLATFORM_WIN32_NT, 4);
    EXPECT_EQ(0x00030004, DetectPlatform());
    SimInjectFault("GetVersionExA", nullptr, ERROR_INVALID_PARAMETER);
    EXPECT_EQ((LONG)0x80000001, DetectPlatform());
    SimSetVersion(VER_PLATFORM_WIN32_NT, 5);
#endif
}

// ---- the settings version ----

class MigrationTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        SetSettingsKeyName("KESTREL-TEST");
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL-TEST");
    }
    void TearDown() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL-TEST");
        SetSettingsKeyName(nullptr);
        PlatformTest::TearDown();
    }
    void SetWord(const char *name, DWORD word) {
        ASSERT_EQ(0, RegistrySetValue(HKEY_CURRENT_USER, SettingsKeyPath(), name, REG_DWORD, &word, sizeof word));
    }
    bool Has(const char *name) {
        char data[300];
        DWORD size = sizeof data;
        return RegistryQueryValue(HKEY_CURRENT_USER, SettingsKeyPath(), name, nullptr, data, &size) == 0;
    }
};

TEST_F(MigrationTest, FirstRunCreatesTheKeyAndWritesTheVersion) {
    EXPECT_EQ(0, MigrateSettings());
    EXPECT_EQ(0x02710001u, ReadSettingsVersion());
    EXPECT_FALSE(Has("Mode"));
    EXPECT_FALSE(Has("Configuration"));
}

TEST_F(MigrationTest, OlderVersionLosesTheTwoWordsAndKeepsTheHistories) {
    ASSERT_EQ(0, EnsureSettingsKey());
    SetWord("Version", 0x02700000);
    SetWord("Mode", 0x12345678);
    SetWord("Configuration", 0xF);
    ASSERT_EQ(0, RegistrySetValue(HKEY_CURRENT_USER, SettingsKeyPath(), "Dest-00", REG_SZ, "D:\\BAK", 7));
    EXPECT_EQ(0, MigrateSettings());
    EXPECT_EQ(0x02710001u, ReadSettingsVersion());
    EXPECT_FALSE(Has("Mode"));
    EXPECT_FALSE(Has("Configuration"));
    EXPECT_TRUE(Has("Dest-00"));
}

TEST_F(MigrationTest, CurrentOrLaterVersionIsKept) {
    for (DWORD version : {0x02710001u, 0x02800000u}) {
        ASSERT_EQ(0, EnsureSettingsKey());
        SetWord("Version", version);
        SetWord("Mode", 0x1);
        EXPECT_EQ(0, MigrateSettings());
        EXPECT_EQ(version, ReadSettingsVersion());
        EXPECT_TRUE(Has("Mode"));
    }
}

#ifdef KESTREL_SIM
TEST_F(MigrationTest, VersionThatCannotBeWrittenFails) {
    SimInjectFault("RegSetValueExA", nullptr, ERROR_CANTWRITE);
    EXPECT_EQ(-1, MigrateSettings());
    SimClearFaults();
}
#endif

// ---- the dialog ----

class MainDialogTest : public CopyRunTest {
  protected:
    void SetUp() override {
        CopyRunTest::SetUp();
        g_commandLine = "";
        g_closeRequested = 0;
        g_workerActive = 0;
    }
    void TearDown() override {
        g_commandLine = "";
        g_closeRequested = 0;
        g_mainDialog = nullptr;
        PlatformCode = PLATFORM_NT5;
        CopyRunTest::TearDown();
    }
    LRESULT Command(int id) { return MainDialogProc(dialog, WM_COMMAND, (WPARAM)id, 0); }
};

TEST_F(MainDialogTest, LogLevelButtonCyclesThroughTheFourTextsAndKeepsTheBoxes) {
    ShowConfWord(dialog, CONF_CLEAR_ARCHIVE | CONF_CHECK_MISSING);
    const char *texts[] = {"ログにエラーと未コピーを表示する", "ログにすべてを表示する", "ログにエラーのみを表示する",
                           "ログにエラーとコピー完を表示する"};
    for (const char *text : texts) {
        EXPECT_EQ(1, Command(IDC_LOG_LEVEL_STEP));
        EXPECT_EQ(text, ControlText(dialog, IDC_LOG_LEVEL));
        EXPECT_EQ(BST_CHECKED, ControlCheck(dialog, IDC_CLEAR_ARCHIVE));
        EXPECT_EQ(BST_CHECKED, ControlCheck(dialog, IDC_CHECK_MISSING));
    }
}

TEST_F(MainDialogTest, ClearEmptiesTheSourcesOnlyAndOtherIdsAreNotHandled) {
    SetControlText(dialog, IDC_SOURCES, "C:\\A");
    SetControlText(dialog, IDC_DEST, "D:\\B");
    EXPECT_EQ(1, Command(IDC_CLEAR_SOURCES));
    EXPECT_EQ("", ControlText(dialog, IDC_SOURCES));
    EXPECT_EQ("D:\\B", ControlText(dialog, IDC_DEST));
    EXPECT_EQ(0, Command(IDC_SOURCES));
    EXPECT_EQ(0, Command(1047));
    // The notification code in the high word is not looked at.
    SetControlText(dialog, IDC_SOURCES, "C:\\A");
    EXPECT_EQ(1, MainDialogProc(dialog, WM_COMMAND, (WPARAM)((5u << 16) | IDC_CLEAR_SOURCES), 0));
    EXPECT_EQ("", ControlText(dialog, IDC_SOURCES));
}

// On NT 5 and every later system each attribute has its box: none is disabled at start-up, and
// the MODE word read back keeps all 29 bits.
TEST_F(MainDialogTest, NoBoxIsDisabledAtStartUpOnNt5AndLater) {
    const int boxes[] = {1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017,  // folders to copy
                         1019, 1020, 1021, 1022, 1023, 1024, 1025, 1026, 1027,  // files to copy
                         1029, 1030, 1031, 1032, 1033, 1034, 1035, 1036, 1037,  // may be overwritten
                         1039, 1040,                                            // date, size
                         1043, 1044};                                           // archive, missing check
    for (LONG code : {PLATFORM_NT5, 0x00030006, 0x00050001}) {
        SCOPED_TRACE(code);
        PlatformCode = code;
        EXPECT_EQ(0, MainDialogProc(dialog, WM_INITDIALOG, 0, 0));
        for (int id : boxes) EXPECT_TRUE(ControlEnabled(dialog, id)) << id;
        ShowModeWord(dialog, 0xFFFFFFFF);
        EXPECT_EQ(0x1FFFFFFFu, ReadModeWord(dialog));
    }
}

#ifdef KESTREL_SIM
// The messages the dialog's controls receive, as "id:message:wParam", in order.
static std::map<HWND, int> s_ids;
static std::vector<std::string> s_sent;
static void RecordSent(HWND window, UINT message, WPARAM wParam, LPARAM) {
    auto it = s_ids.find(window);
    if (it == s_ids.end()) return;
    const char *name = message == EM_LIMITTEXT   ? "limit"
                       : message == CB_LIMITTEXT ? "limit"
                       : message == WM_ENABLE    ? "enable"
                       : message == BM_SETIMAGE  ? "image"
                       : message == CB_RESETCONTENT ? "history"
                       : message == BM_SETCHECK  ? "check"
                       : message == WM_SETTEXT   ? "text"
                                                 : nullptr;
    if (name) s_sent.push_back(std::to_string(it->second) + ":" + name + ":" + std::to_string((long)wParam));
}

static std::vector<std::string> Matching(const std::vector<std::string> &all, const std::string &part) {
    std::vector<std::string> out;
    for (auto &s : all)
        if (s.find(part) != std::string::npos) out.push_back(s);
    return out;
}

TEST_F(MainDialogTest, InitialisationInItsOrder) {
    PlatformCode = PLATFORM_WIN95;
    HICON copyImage = (HICON)0x1234;
    g_copyButtonImage = copyImage;
    g_commandLine = "/dest C:\\FROM-COMMAND-LINE";
    s_ids.clear();
    s_sent.clear();
    for (int id = 1001; id <= 1046; id++)
        if (HWND w = GetDlgItem(dialog, id)) s_ids[w] = id;
    g_idleFlag = 0;
    SimSetMessageHook(RecordSent);
    EXPECT_EQ(0, MainDialogProc(dialog, WM_INITDIALOG, 0, 0));
    SimSetMessageHook(nullptr);
    g_copyButtonImage = nullptr;
    // Limits: 4095 on the sources, 259 on the five combo boxes in the order 1003, 1005 … 1008.
    EXPECT_EQ((std::vector<std::string>{"1001:limit:4095", "1003:limit:259", "1005:limit:259", "1006:limit:259",
                                        "1007:limit:259", "1008:limit:259"}),
              Matching(s_sent, ":limit:"));
    // The twelve boxes of the restricted class are disabled, and only they.
    std::vector<std::string> disabled = Matching(s_sent, ":enable:0");
    EXPECT_EQ(12u, disabled.size());
    for (int id : {1010, 1013, 1014, 1015, 1020, 1023, 1024, 1025, 1030, 1033, 1034, 1035})
        EXPECT_FALSE(ControlEnabled(dialog, id)) << id;
    EXPECT_TRUE(ControlEnabled(dialog, 1009));
    EXPECT_EQ(copyImage, (HICON)SimControlImage(dialog, IDC_START));
    EXPECT_EQ(1, g_idleFlag.load());
    EXPECT_EQ((std::vector<std::string>{"1003:history:0", "1005:history:0", "1006:history:0", "1007:history:0",
                                        "1008:history:0"}),
              Matching(s_sent, ":history:"));
    // Order of the steps: limits, disabling, image, histories, MODE, CONF, command line.
    auto at = [&](const std::string &entry) {
        return std::find(s_sent.begin(), s_sent.end(), entry) - s_sent.begin();
    };
    EXPECT_LT(at("1008:limit:259"), at(disabled.front()));
    EXPECT_LT(at(disabled.back()), at("1046:image:1"));
    EXPECT_LT(at("1046:image:1"), at("1003:history:0"));
    EXPECT_LT(at("1008:history:0"), at(Matching(s_sent, "1009:check:")[0]));
    EXPECT_LT(at(Matching(s_sent, "1039:check:")[0]), at("1042:text:0"));
    // The command line comes last and wins over the stored destination.
    EXPECT_EQ("C:\\FROM-COMMAND-LINE", ControlText(dialog, IDC_DEST));
    EXPECT_LT(at("1042:text:0"), at("1003:text:0"));
    EXPECT_EQ(GetDlgItem(dialog, IDC_SOURCES), GetFocus());
    EXPECT_EQ(dialog, g_mainDialog);
    // First start: the defaults of an empty store.
    EXPECT_EQ("ログにエラーとコピー完を表示する", ControlText(dialog, IDC_LOG_LEVEL));
    EXPECT_EQ(BST_UNCHECKED, ControlCheck(dialog, IDC_CLEAR_ARCHIVE));
    EXPECT_EQ(BST_UNCHECKED, ControlCheck(dialog, IDC_CHECK_MISSING));
}

TEST_F(MainDialogTest, UnavailableBoxesStayDisabledAfterARun) {
    PlatformCode = PLATFORM_NT4;
    MainDialogProc(dialog, WM_INITDIALOG, 0, 0);
    SetInputsEnabled(dialog, FALSE);
    SetInputsEnabled(dialog, TRUE);
    for (int id : {1010, 1014, 1015, 1020, 1024, 1025, 1030, 1034, 1035}) EXPECT_FALSE(ControlEnabled(dialog, id)) << id;
    for (int id : {1013, 1023, 1033, 1009, 1044}) EXPECT_TRUE(ControlEnabled(dialog, id)) << id;
}

// ---- drops ----

TEST_F(MainDialogTest, DroppedNamesAreQuotedAndAppended) {
    HDROP drop = SimMakeDrop({"C:\\A B\\x.txt", "C:\\c"});
    EXPECT_EQ(1, MainDialogProc(dialog, WM_DROPFILES, (WPARAM)drop, 0));
    EXPECT_EQ("\"C:\\A B\\x.txt\" \"C:\\c\"", ControlText(dialog, IDC_SOURCES));
    EXPECT_TRUE(SimDropFinished(drop));
    HDROP second = SimMakeDrop({"D:\\d"});
    EXPECT_EQ(0, AppendDroppedNames(dialog, second));
    EXPECT_EQ("\"C:\\A B\\x.txt\" \"C:\\c\" \"D:\\d\"", ControlText(dialog, IDC_SOURCES));
    EXPECT_EQ(0u, RecordedMessageBoxCount());
}

TEST_F(MainDialogTest, DropThatWouldReach4096BytesIsRefusedAsAWhole) {
    std::string typed(4000, 'a');
    SetControlText(dialog, IDC_SOURCES, typed);
    // 4000 + " \"" + 80 + "\"" = 4083 fits; the next name of 10 would make 4096.
    HDROP drop = SimMakeDrop({"C:\\" + std::string(77, 'n'), "C:\\1234567"});
    EXPECT_EQ(-1, AppendDroppedNames(dialog, drop));
    EXPECT_EQ(typed, ControlText(dialog, IDC_SOURCES));
    ASSERT_EQ(1u, RecordedMessageBoxCount());
    EXPECT_EQ("コピーするフォルダやファイルが多すぎます。", RecordedMessageBoxes()[0].text);
    EXPECT_EQ(dialog, RecordedMessageBoxes()[0].owner);
    EXPECT_TRUE(SimDropFinished(drop));
    // One byte less fits.
    ResetMessageBoxRecord();
    HDROP fits = SimMakeDrop({"C:\\" + std::string(77, 'n'), "C:\\123456"});
    EXPECT_EQ(0, AppendDroppedNames(dialog, fits));
    EXPECT_EQ(4095u, ControlText(dialog, IDC_SOURCES).size());
}

// The shell's ANSI name of a dropped "café" is "cafe", another folder or none: a name that code
// page 932 cannot hold refuses the drop, whose other names are not added either.
TEST_F(MainDialogTest, DroppedNameTheCodePageCannotHoldRefusesTheDrop) {
    SetControlText(dialog, IDC_SOURCES, "\"C:\\kept\"");
    for (const std::u16string &name : {std::u16string(u"C:\\caf\u00e9"), std::u16string(u"C:\\\U0001F600")}) {
        ResetMessageBoxRecord();
        HDROP drop = SimMakeWideDrop({u"C:\\plain", name});
        EXPECT_EQ(-1, AppendDroppedNames(dialog, drop));
        EXPECT_EQ("\"C:\\kept\"", ControlText(dialog, IDC_SOURCES));
        ASSERT_EQ(1u, RecordedMessageBoxCount());
        EXPECT_EQ("名前に扱えない文字があるフォルダやファイルがあります。", RecordedMessageBoxes()[0].text);
        EXPECT_TRUE(SimDropFinished(drop));
    }
    // Kanji and half-width kana are names of the code page.
    EXPECT_EQ(0, AppendDroppedNames(dialog, SimMakeWideDrop({u"C:\\\u6f22\uff76"})));
    EXPECT_EQ("\"C:\\kept\" \"C:\\漢ｶ\"", ControlText(dialog, IDC_SOURCES));
}

TEST_F(MainDialogTest, DroppedNameLongerThanAPathRefusesTheDrop) {
    SetControlText(dialog, IDC_SOURCES, "\"C:\\kept\"");
    std::string longName = "C:\\" + std::string(257, 'x'); // 260 bytes: one more than a path holds
    HDROP drop = SimMakeDrop({"C:\\short", longName});
    EXPECT_EQ(-1, AppendDroppedNames(dialog, drop));
    EXPECT_EQ("\"C:\\kept\"", ControlText(dialog, IDC_SOURCES));
    ASSERT_EQ(1u, RecordedMessageBoxCount());
    EXPECT_EQ("パス名が長すぎるフォルダやファイルがあります。", RecordedMessageBoxes()[0].text);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONEXCLAMATION), RecordedMessageBoxes()[0].type);
    EXPECT_TRUE(SimDropFinished(drop));
    // 259 bytes still fit.
    ResetMessageBoxRecord();
    HDROP fits = SimMakeDrop({longName.substr(0, 259)});
    EXPECT_EQ(0, AppendDroppedNames(dialog, fits));
    EXPECT_EQ("\"C:\\kept\" \"" + longName.substr(0, 259) + "\"", ControlText(dialog, IDC_SOURCES));
}

// ---- destruction ----

TEST_F(MainDialogTest, DestroyingTheDialogDestroysTheMainWindowOnce) {
    HWND mainWindow = SimCreateDialog(); // stands for the main window
    SimSetParent(dialog, mainWindow);
    g_mainWindowGoing = 0;
    EXPECT_EQ(1, MainDialogProc(dialog, WM_DESTROY, 0, 0));
    EXPECT_FALSE(IsWindow(mainWindow));
    // When the main window goes first, the dialog leaves it alone.
    HWND other = SimCreateDialog();
    SimSetParent(dialog, other);
    g_mainWindowGoing = 1;
    EXPECT_EQ(1, MainDialogProc(dialog, WM_DESTROY, 0, 0));
    EXPECT_TRUE(IsWindow(other));
    SimDestroyDialog(other);
    g_mainWindowGoing = 0;
}

TEST_F(MainDialogTest, CloseDialogMessageDestroysTheDialog) {
    EXPECT_EQ(1, MainDialogProc(dialog, UM_CLOSEDIALOG, 0, 0));
    EXPECT_FALSE(IsWindow(dialog));
    dialog = nullptr;
}
#endif

// ---- fields that do not fit their buffers ----

#ifdef KESTREL_SIM
// A text put in by a message is not bounded by the typing limits: a field that does not fit its
// reader's buffer refuses the run with that field's warning, and nothing is saved or copied.
TEST_F(MainDialogTest, FieldTooLongForItsBufferIsRefusedWithItsWarning) {
    Build("src\\a.txt\ndst\\\n");
    std::string kanji;
    for (int i = 0; i < 130; i++) kanji += "\x8A\xBF"; // 130 characters, 260 bytes
    std::string s = src + "a.txt";
    struct Case {
        int id;
        std::string text;
        const char *warning;
    } cases[] = {
        {IDC_SOURCES, std::string(4096, 'a'), "コピーするフォルダやファイルが多すぎます。"},
        {IDC_DEST, "C:\\" + kanji, "コピー先のフォルダ名が不正です。"},
        {IDC_TCD, kanji, "コピーするフォルダやファイルの種類（フォルダ）が長すぎます。"},
        {IDC_TCF, kanji, "コピーするファイルの種類（ファイル）が長すぎます。"},
        {IDC_TUD, kanji, "コピーしないファイルの種類（フォルダ）が長すぎます。"},
        {IDC_TUF, kanji, "コピーしないファイルの種類（ファイル）が長すぎます。"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.warning);
        ResetMessageBoxRecord();
        Fields(s, dst);
        SetControlText(dialog, c.id, c.text);
        ASSERT_EQ(c.text, ControlText(dialog, c.id)) << "the control holds the whole text";
        g_workerStarting = 1;
        CopyRunThread(dialog);
        auto boxes = RecordedMessageBoxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(c.warning, boxes[0].text);
        EXPECT_EQ((UINT)(MB_OK | MB_ICONEXCLAMATION), boxes[0].type);
        EXPECT_EQ(0, g_workerStarting.load());
        EXPECT_EQ("", ReadTree(dst));
        DWORD mode, size = 4;
        EXPECT_NE(0, RegistryQueryValue(HKEY_CURRENT_USER, SettingsKeyPath(), "Mode", nullptr, &mode, &size));
    }
    // The longest texts that fit are taken: 4095 bytes of sources, 259 of a pattern.
    ResetMessageBoxRecord();
    Fields(s, dst, "*", kanji.substr(0, 258) + "*");
    CopyRunThread(dialog);
    EXPECT_EQ(0u, RecordedMessageBoxCount());
}

// ---- closing during a run ----

// The main window is closed while the worker copies: the run stops at its next entry (the file
// being copied completes), shows no viewer, and the worker then closes the dialog.
TEST_F(MainDialogTest, ClosingDuringARunStopsItAndClosesAfterIt) {
    Build("src\\one.txt text=\"1\"\nsrc\\two.txt\nsrc\\three.txt\ndst\\\n");
    Fields("\"" + src + "one.txt\" \"" + src + "two.txt\" \"" + src + "three.txt\"", dst);
    struct Close {
        HWND dialog;
        std::atomic<int> deferred{-1};
        std::string label; // the progress line right after the close
    } close{dialog, {-1}, ""};
    g_progressLine.watch = [](void *context, const char *text) {
        Close *c = static_cast<Close *>(context);
        if (strcmp(text, "one.txt") != 0) return;
        c->deferred = CloseWhenRunEnds(c->dialog) ? 1 : 0;
        c->label = ControlText(c->dialog, IDC_PROGRESS);
    };
    g_progressLine.watchContext = &close;
    int shown = g_logViewerShown;
    EXPECT_FALSE(CloseWhenRunEnds(dialog)) << "no worker: the window closes at once";
    PressStartButton(dialog);
    for (int i = 0; i < 5000 && !(g_workerActive.load() == 0 && CloseDialogPosted(dialog)); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(1, close.deferred.load());
    EXPECT_EQ("現在のファイルのコピーが終わるまでお待ちください。", close.label) << "why the window stays";
    EXPECT_TRUE(CloseDialogPosted(dialog));
    EXPECT_EQ(0, g_workerActive.load());
    EXPECT_EQ(shown, g_logViewerShown.load()) << "no viewer for a user who has left";
    EXPECT_EQ((std::vector<std::string>{"O one.txt コピーしました。", "! > > ユーザの指示によりコピーを停止しました。"}),
              RunLogLines());
    EXPECT_EQ("one.txt attr= size=1 text=\"1\"\n", Dest());
    EXPECT_FALSE(ControlEnabled(dialog, IDC_START)) << "stopping until the program ends";
}
#endif

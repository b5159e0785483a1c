// The copy run's failure paths: every failure inside the walk is one record and the run goes on;
// validation failures are warnings; a settings failure is an error that closes the dialog; the
// start button's rules. Fault injection and recorded boxes are the simulation's.
#include "copyrun_fixture.h"
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <thread>
#include "patterns.h"
#include "registry.h"
#ifdef KESTREL_SIM
#include "simwin_dialog.h"

class CopyRunFailureTest : public CopyRunTest {
  protected:
    std::string S(const std::string &relative) { return src + relative; }
    std::string D(const std::string &relative) { return dst + relative; }
};

// ---- walk failures ----

TEST_F(CopyRunFailureTest, SourceAttributesUnreadable) {
    // A source item's attributes are read; an entry inside a folder has them from the listing.
    Build("src\\a.txt\nsrc\\b.txt\ndst\\\n");
    SimInjectFault("GetFileAttributesA", S("a.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((std::vector<std::string>{"X a.txt コピー元の属性を取得できません。", "O b.txt コピーしました。"}),
              Run("\"" + S("a.txt") + "\" \"" + S("b.txt") + "\"", dst));
}

TEST_F(CopyRunFailureTest, EntriesInsideAFolderAreJudgedByWhatTheListingSaid) {
    // The listing gave the source's attributes, size and time: they are not asked for again, and
    // the destination's come in one call. The time is the write time: each file was made now.
    Build("src\\d\\a.txt text=\"new\" time=1700000100\nsrc\\d\\b.txt text=\"new\" time=1700000000\n"
          "dst\\d\\a.txt text=\"old\" time=1700000000\ndst\\d\\b.txt text=\"old\" time=1700000000\n");
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_NOT_NEWER);
    SimInjectFault("GetFileAttributesA", S("d\\a.txt").c_str(), ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    SimInjectFault("stat", nullptr, ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    EXPECT_EQ((std::vector<std::string>{"  d すでに存在します。", "O d\\a.txt コピーしました。",
                                        "  d\\b.txt 日付が同じか古いためコピーしません。"}),
              Run(S("d"), dst));
    EXPECT_EQ(0, SimFaultsFired());
    SimClearFaults();
    // The destination's facts cannot be read: the same record as for a source item.
    SimInjectFault("GetFileAttributesExA", D("d\\a.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((std::vector<std::string>{"  d すでに存在します。", "X d\\a.txt コピー先の属性を取得できません。",
                                        "  d\\b.txt 日付が同じか古いためコピーしません。"}),
              Run(S("d"), dst));
    EXPECT_EQ(1, SimFaultsFired());
    SimClearFaults();
}

TEST_F(CopyRunFailureTest, SourceFolderCannotBeListed) {
    Build("src\\d\\a.txt attr=A\nsrc\\d\\ attr=A\ndst\\\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CLEAR_ARCHIVE);
    SimInjectFault("FindFirstFileW", S("d\\*").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((std::vector<std::string>{"O d フォルダを作成しました。", "X d コピー元にアクセスできません。"}),
              Run(S("d"), dst));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesA(S("d").c_str()));
}

TEST_F(CopyRunFailureTest, FolderListedAsEmptyStillHasItsArchiveCleared) {
    Build("src\\d\\a.txt attr=A\nsrc\\d\\ attr=A\ndst\\\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CLEAR_ARCHIVE);
    SimInjectFault("FindFirstFileW", S("d\\*").c_str(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ((std::vector<std::string>{"O d フォルダを作成しました。"}), Run(S("d"), dst));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(S("d").c_str()));
}

// Windows 95 and Win32s have the wide listing only as stubs: the walk and the check list through
// the ANSI calls instead, as before, to the end of each listing.
TEST_F(CopyRunFailureTest, APlatformWithoutTheWideListingUsesTheAnsiOne) {
    Build("src\\d\\a.txt text=\"a\"\nsrc\\d\\sub\\b.txt\ndst\\d\\old.txt\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CHECK_MISSING);
    SimInjectFault("FindFirstFileW", nullptr, ERROR_CALL_NOT_IMPLEMENTED, SIM_FAULT_EVERY);
    SimInjectFault("FindNextFileW", nullptr, ERROR_CALL_NOT_IMPLEMENTED, SIM_FAULT_EVERY);
    EXPECT_EQ(Sorted({"  d すでに存在します。", "O d\\a.txt コピーしました。", "O d\\sub フォルダを作成しました。",
                      "O d\\sub\\b.txt コピーしました。"}),
              Sorted(Run(S("d"), dst)));
    EXPECT_EQ((std::vector<std::string>{"F " + UpperDest() + "d\\old.txt"}), MissingLines());
    EXPECT_LT(3, SimFaultsFired());
    SimClearFaults();
}

// Windows 95 and Win32s have the wide calls only as stubs, and the first Windows 95 neither
// GetFileAttributesEx call: the walk and the check take the ANSI calls instead, and a file's facts
// come from a listing of its path.
TEST_F(CopyRunFailureTest, APlatformWithoutTheWideCallsUsesTheAnsiOnes) {
    Build("src\\d\\a.txt text=\"a\"\nsrc\\d\\sub\\b.txt\nsrc\\d\\kept.txt text=\"s\" time=1700000000\n"
          "dst\\d\\old.txt\ndst\\d\\kept.txt text=\"newer\" time=1700000000\n");
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_NOT_NEWER);
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CHECK_MISSING);
    SimSetWideStubs(true);
    SimHideExport("GetFileAttributesExW");
    SimHideExport("GetFileAttributesExA");
    SimCountCalls("FindFirstFileA", D("d\\kept.txt").c_str());
    EXPECT_EQ(Sorted({"  d すでに存在します。", "O d\\a.txt コピーしました。", "O d\\sub フォルダを作成しました。",
                      "O d\\sub\\b.txt コピーしました。", "  d\\kept.txt 日付が同じか古いためコピーしません。"}),
              Sorted(Run(S("d"), dst)));
    EXPECT_EQ((std::vector<std::string>{"F " + UpperDest() + "d\\old.txt"}), MissingLines());
    EXPECT_EQ(1, SimCallsCounted("FindFirstFileA", D("d\\kept.txt").c_str()));
    SimSetWideStubs(false);
    EXPECT_EQ("a", ReadWholeFile(D("d\\a.txt")));
    EXPECT_EQ("newer", ReadWholeFile(D("d\\kept.txt")));
    SimClearFaults();
}

TEST_F(CopyRunFailureTest, ListingBreaksOffHalfway) {
    Build("src\\d\\a.txt\nsrc\\d\\b.txt\nsrc\\d\\c.txt\ndst\\\n");
    SimInjectFault("FindNextFileW", S("d\\").c_str(), ERROR_NOT_READY, SIM_FAULT_NTH, 4);
    auto log = Run(S("d"), dst);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("X d コピー元にアクセスできません。", log.back());
}

TEST_F(CopyRunFailureTest, ArchiveCannotBeCleared) {
    Build("src\\a.txt attr=A\ndst\\\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CLEAR_ARCHIVE);
    SimInjectFault("SetFileAttributesA", S("a.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((std::vector<std::string>{"O a.txt コピーしました。", "! a.txt コピー元のアーカイブ属性を解除できません。"}),
              Run(S("a.txt"), dst));
}

// ---- folder decisions ----

TEST_F(CopyRunFailureTest, FolderDecisionsInTheirOrder) {
    // bare and old are hidden: their destinations do not carry that word yet, so it is set, and
    // setting it fails.
    Build("src\\unknown\\in.txt\nsrc\\denied\\in.txt\nsrc\\odd\\in.txt\nsrc\\nocreate\\in.txt\n"
          "src\\bare\\ attr=H\nsrc\\bare\\in.txt\nsrc\\old\\ attr=H\nsrc\\old\\in.txt\ndst\\odd\\\ndst\\old\\\n");
    SimSetRawAttributes(S("unknown").c_str(), FILE_ATTRIBUTE_DIRECTORY | 0x00010000);
    SimSetRawAttributes(D("odd").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE);
    SimInjectFault("GetFileAttributesA", D("denied").c_str(), ERROR_ACCESS_DENIED);
    SimInjectFault("CreateDirectoryA", D("nocreate").c_str(), ERROR_ACCESS_DENIED);
    SimInjectFault("SetFileAttributesA", D("bare").c_str(), ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    SimInjectFault("SetFileAttributesA", D("old").c_str(), ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    auto log = Run("\"" + S("unknown") + "\" \"" + S("denied") + "\" \"" + S("odd") + "\" \"" + S("nocreate") +
                       "\" \"" + S("bare") + "\" \"" + S("old") + "\"",
                   dst);
    EXPECT_EQ((std::vector<std::string>{"X unknown 未知の属性のためコピーできません。",
                                        "X denied コピー先の属性を取得できません。",
                                        "X odd コピー先が未知の属性のためコピーできません。",
                                        "X nocreate フォルダを作成できません。",
                                        "! bare フォルダを作成しました。（属性未設定）",
                                        "O bare\\in.txt コピーしました。",
                                        "! old すでに存在します。（属性未設定）",
                                        "O old\\in.txt コピーしました。"}),
              log);
    SimClearFaults();
}

// ---- file decisions ----

TEST_F(CopyRunFailureTest, FileDecisionsInTheirOrder) {
    Build("src\\unknown.txt\nsrc\\denied.txt\nsrc\\nostat.txt text=\"1\"\ndst\\nostat.txt\n"
          "src\\odd.txt\ndst\\odd.txt\nsrc\\ro.txt text=\"newer\"\ndst\\ro.txt text=\"old\" attr=R\nsrc\\nocopy.txt\nsrc\\bare.txt attr=H\n"
          "src\\deststat.txt text=\"older\"\ndst\\deststat.txt text=\"newer\"\nsrc\\long.txt\nsrc\\longcopy.txt\n");
    SimSetRawAttributes(S("unknown.txt").c_str(), FILE_ATTRIBUTE_ARCHIVE | 0x00000008);
    SimSetRawAttributes(D("odd.txt").c_str(), 0x00020000);
    SimInjectFault("GetFileAttributesExA", D("denied.txt").c_str(), ERROR_ACCESS_DENIED);
    SimInjectFault("GetFileAttributesExA", S("nostat.txt").c_str(), ERROR_ACCESS_DENIED);
    SimInjectFault("SetFileAttributesA", D("ro.txt").c_str(), ERROR_ACCESS_DENIED);
    SimInjectFault("CopyFileA", D("nocopy.txt").c_str(), ERROR_DISK_FULL);
    SimInjectFault("SetFileAttributesA", D("bare.txt").c_str(), ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    // The destination's facts cannot be read: neither test can be made, and the destination (here
    // the newer file) is not overwritten.
    SimInjectFault("GetFileAttributesExA", D("deststat.txt").c_str(), ERROR_SHARING_VIOLATION);
    // A call that finds its path too long says so, whichever call it is.
    SimInjectFault("GetFileAttributesExA", D("long.txt").c_str(), ERROR_FILENAME_EXCED_RANGE);
    SimInjectFault("CopyFileA", D("longcopy.txt").c_str(), ERROR_FILENAME_EXCED_RANGE);
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_SAME_SIZE);
    std::string sources;
    for (const char *name : {"unknown.txt", "denied.txt", "odd.txt", "nostat.txt", "ro.txt", "nocopy.txt", "bare.txt",
                             "deststat.txt", "long.txt", "longcopy.txt"})
        sources += "\"" + S(name) + "\" ";
    EXPECT_EQ((std::vector<std::string>{"X unknown.txt 未知の属性のためコピーできません。",
                                        "X denied.txt コピー先の属性を取得できません。",
                                        "X odd.txt コピー先が未知の属性のためコピーできません。",
                                        "X nostat.txt コピー元のファイル情報を取得できません。",
                                        "X ro.txt コピー先の属性を変更できないのでコピーできません。",
                                        "X nocopy.txt コピーできません。",
                                        "! bare.txt コピーしました。（属性未設定）",
                                        "X deststat.txt コピー先の属性を取得できません。",
                                        "X long.txt コピー先のパス名が長すぎるためコピーできません。",
                                        "X longcopy.txt コピー先のパス名が長すぎるためコピーできません。"}),
              Run(sources, dst));
    EXPECT_EQ("newer", ReadWholeFile(D("deststat.txt")));
    EXPECT_EQ("old", ReadWholeFile(D("ro.txt")));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, GetFileAttributesA(D("ro.txt").c_str()) & 0x7);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(D("nocopy.txt").c_str()));
    SimClearFaults();
}

TEST_F(CopyRunFailureTest, EntriesThatCarryTheirSourcesWordAreNotSetAgain) {
    // The created folder and the copy already have their sources' words: no attribute is set, so
    // a set that would fail cannot fail, and nothing is reported as left unset.
    Build("src\\d\\a.txt attr=HA\ndst\\\n");
    SimInjectFault("SetFileAttributesA", nullptr, ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    EXPECT_EQ((std::vector<std::string>{"O d フォルダを作成しました。", "O d\\a.txt コピーしました。"}), Run(S("d"), dst));
    EXPECT_EQ(0, SimFaultsFired());
    SimClearFaults();
    EXPECT_EQ("d\\ attr=\nd\\a.txt attr=HA size=0\n", Dest(0));
}

TEST_F(CopyRunFailureTest, SourceRecordsOfResolution) {
    Build("src\\a.txt\ndst\\\n");
    auto log = Run("C:\\ \"" + src + "\" " + src + "none.txt \"" + src + "a.txt\"", dst);
    EXPECT_EQ((std::vector<std::string>{"X C:\\ ルートフォルダは指定できません。", "X " + src + " パス名が不正です。",
                                        "X " + src + "none.txt パス名が不正です。", "O a.txt コピーしました。"}),
              log);
}

// ---- validation ----

struct ValidationCase {
    const char *sources, *dest, *tcd, *tcf, *tud, *tuf;
    const char *warning;
};

TEST_F(CopyRunFailureTest, EveryValidationWarning) {
    Build("src\\a.txt\ndst\\\nfile.txt\n");
    std::string s = S("a.txt"), d = dst, f = root + "file.txt";
    const ValidationCase cases[] = {
        {"\"C:\\a", "", "*", "*", "", "", "コピーするフォルダやファイル名の欄に不整合な引用符があります。"},
        {"  ", "", "*", "*", "", "", "コピーするフォルダやファイル名を入力してください。"},
        {s.c_str(), "", "*", "*", "", "", "コピー先のフォルダ名を入力してください。"},
        {s.c_str(), "Q:\\NONE", "*", "*", "", "", "コピー先のフォルダ名が不正です。"},
        {s.c_str(), f.c_str(), "*", "*", "", "", "コピー先にフォルダを指定してください。"},
        {s.c_str(), d.c_str(), "\"A", "*", "", "", "コピーするフォルダやファイルの種類（フォルダ）に不整合な引用符があります。"},
        {s.c_str(), d.c_str(), "*", "\"A", "", "", "コピーするファイルの種類（ファイル）に不整合な引用符があります。"},
        {s.c_str(), d.c_str(), "*", "*", "\"A", "", "コピーしないファイルの種類（フォルダ）に不整合な引用符があります。"},
        {s.c_str(), d.c_str(), "*", "*", "", "\"A", "コピーしないファイルの種類（ファイル）に不整合な引用符があります。"},
    };
    g_copyLog.length = 0; // a run that starts would reset the document
    for (const ValidationCase &c : cases) {
        SCOPED_TRACE(c.warning);
        ResetMessageBoxRecord();
        g_workerStarting = 1; // as the start button leaves it for its worker
        auto log = Run(c.sources, c.dest, c.tcd, c.tcf, c.tud, c.tuf);
        auto boxes = RecordedMessageBoxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(c.warning, boxes[0].text);
        EXPECT_EQ(dialog, boxes[0].owner);
        EXPECT_EQ((UINT)(MB_OK | MB_ICONEXCLAMATION), boxes[0].type);
        EXPECT_EQ(0u, g_copyLog.length); // nothing logged
        EXPECT_EQ(0, g_workerStarting.load());
        EXPECT_EQ(1, g_idleFlag.load());
        EXPECT_TRUE(ControlEnabled(dialog, IDC_SOURCES));
        DWORD mode, size = 4;
        EXPECT_NE(0, RegistryQueryValue(HKEY_CURRENT_USER, SettingsKeyPath(), "Mode", nullptr, &mode, &size));
    }
    EXPECT_EQ("", ReadTree(dst));
    ResetCopyLog();
}

// ---- settings failures ----

TEST_F(CopyRunFailureTest, RegistryFailureShowsTheErrorAndClosesTheDialog) {
    Build("src\\a.txt\ndst\\\n");
    // Mode, Configuration, then the first entry of each list: every one of them may fail.
    for (int n = 1; n <= 7; n++) {
        SCOPED_TRACE(n);
        SimClearFaults();
        ResetMessageBoxRecord();
        ResetCopyLog();
        DWORD logLength = g_copyLog.length;
        DestroyTestMainDialog(dialog);
        dialog = CreateTestMainDialog();
        for (int list = 0; list < HISTORY_LIST_COUNT; list++) LoadHistory(dialog, (HistoryList)list);
        ShowModeWord(dialog, MODE_ALL);
        ShowConfWord(dialog, CONF_LOG_ALL);
        SimInjectFault("RegSetValueExA", nullptr, ERROR_CANTWRITE, SIM_FAULT_NTH, n);
        g_workerStarting = 1;
        Run(S("a.txt"), dst);
        auto boxes = RecordedMessageBoxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("レジストリを設定できません。", boxes[0].text);
        EXPECT_EQ((UINT)(MB_OK | MB_ICONHAND), boxes[0].type);
        EXPECT_TRUE(CloseDialogPosted(dialog));
        EXPECT_EQ(logLength, g_copyLog.length);
        EXPECT_TRUE(ControlEnabled(dialog, IDC_SOURCES)); // never switched to running
        EXPECT_EQ(1, g_workerStarting.load());            // and no other run may start
        EXPECT_EQ("", ReadTree(dst));
    }
    g_workerStarting = 0;
}

// ---- the start button ----

TEST_F(CopyRunFailureTest, ThreadThatCannotStartEndsTheDialog) {
    SimInjectFault("_beginthread", nullptr, ERROR_NOT_ENOUGH_MEMORY);
    PressStartButton(dialog);
    auto boxes = RecordedMessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("スレッドを起動できません。", boxes[0].text);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONHAND), boxes[0].type);
    EXPECT_FALSE(IsWindow(dialog));
    dialog = nullptr;
}

// The worker is held while it reads the sources field, before it has switched the dialog.
static std::atomic<int> s_sourceReads{0};
static std::atomic<int> s_release{0};
static HWND s_heldDialog;
static void HoldFirstRead(HWND window, UINT message, WPARAM, LPARAM) {
    if (message != WM_GETTEXT || window != GetDlgItem(s_heldDialog, IDC_SOURCES)) return;
    s_sourceReads++;
    while (!s_release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

static bool WaitFor(const std::function<bool()> &done) {
    for (int i = 0; i < 5000; i++) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST_F(CopyRunFailureTest, SecondPressBeforeTheRunSwitchesStartsNothing) {
    Build("src\\a.txt\ndst\\\n");
    Fields(S("a.txt"), dst);
    int shown = g_logViewerShown;
    s_sourceReads = 0;
    s_release = 0;
    s_heldDialog = dialog;
    SimSetMessageHook(HoldFirstRead);
    PressStartButton(dialog);
    ASSERT_TRUE(WaitFor([] { return s_sourceReads.load() == 1; }));
    EXPECT_EQ(1, g_idleFlag.load()); // still idle: this is the gap
    PressStartButton(dialog);        // must not start a second worker
    PressStartButton(dialog);
    s_release = 1;
    ASSERT_TRUE(WaitFor([&] { return g_logViewerShown.load() == shown + 1 && g_idleFlag.load() == 1; }));
    SimSetMessageHook(nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(1, s_sourceReads.load());
    EXPECT_EQ(shown + 1, g_logViewerShown.load());
    EXPECT_EQ((std::vector<std::string>{"O a.txt コピーしました。"}), RunLogLines());
    // After the run a press starts the next one.
    PressStartButton(dialog);
    ASSERT_TRUE(WaitFor([&] { return g_logViewerShown.load() == shown + 2 && g_idleFlag.load() == 1; }));
}

// The idle flag as it was when the start button was enabled again.
static std::atomic<int> s_idleWhenStartEnabled{-1};
static HWND s_startButton = nullptr;
static void WatchStartEnabled(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (window == s_startButton && message == WM_ENABLE && wParam) s_idleWhenStartEnabled = g_idleFlag.load();
}

TEST_F(CopyRunFailureTest, StartButtonComesBackOnlyWhenTheDialogIsIdle) {
    // A stop press disables the button; at the end of the run a press that comes as soon as the
    // button is enabled again must be taken as a start, not as a stop that disables it for good.
    SetInputsEnabled(dialog, FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_START), FALSE);
    s_startButton = GetDlgItem(dialog, IDC_START);
    s_idleWhenStartEnabled = -1;
    SimSetMessageHook(WatchStartEnabled);
    SetInputsEnabled(dialog, TRUE);
    SimSetMessageHook(nullptr);
    EXPECT_EQ(1, s_idleWhenStartEnabled.load());
    EXPECT_TRUE(IsWindowEnabled(s_startButton));
}

TEST_F(CopyRunFailureTest, RefusedRunLetsTheNextPressStart) {
    Build("src\\a.txt\ndst\\\n");
    Fields("", dst);
    PressStartButton(dialog);
    ASSERT_TRUE(WaitFor([] { return RecordedMessageBoxCount() == 1 && g_workerStarting.load() == 0; }));
    Fields(S("a.txt"), dst);
    int shown = g_logViewerShown;
    PressStartButton(dialog);
    ASSERT_TRUE(WaitFor([&] { return g_logViewerShown.load() == shown + 1 && g_idleFlag.load() == 1; }));
    EXPECT_EQ("a.txt attr= size=0\n", Dest());
}
#endif

// ---- stopping (both platforms) ----

static HWND s_stopDialog;
static std::string s_stopAt;   // the button is pressed once, when the progress line shows this text
static bool s_stopOnPrefix;    // ... or, when set, a text that starts with it
// The worker publishes each entry on the progress line as it reaches it; a press of the stop
// button right then is a user's press between two entries.
static void PressStopWhenShown(void *, const char *text) {
    if (s_stopAt.empty()) return;
    if (s_stopOnPrefix ? strncmp(text, s_stopAt.c_str(), s_stopAt.size()) != 0 : s_stopAt != text) return;
    s_stopAt.clear();
    PressStartButton(s_stopDialog);
}
static void WatchProgress(HWND) { g_progressLine.watch = PressStopWhenShown; }

TEST_F(CopyRunTest, StopRecordsOnceAndSkipsTheRest) {
    Build("src\\one.txt text=\"1\"\nsrc\\two\\a.txt\nsrc\\two\\b.txt\ndst\\\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CHECK_MISSING);
    s_stopDialog = dialog;
    s_stopAt = "one.txt";
    WatchProgress(dialog);
    int missingShown = g_missingViewerShown, logShown = g_logViewerShown;
    // The worker switched the dialog to running before the walk, as a real run does.
    auto log = Run("\"" + src + "one.txt\" \"" + src + "two\"", dst);
    s_stopAt.clear();
    // The entry being copied completes; nothing after it is visited.
    EXPECT_EQ((std::vector<std::string>{"O one.txt コピーしました。", "! > > ユーザの指示によりコピーを停止しました。"}),
              log);
    EXPECT_EQ("one.txt attr= size=1 text=\"1\"\n", Dest());
    EXPECT_EQ(missingShown, g_missingViewerShown.load());
    EXPECT_EQ(logShown + 1, g_logViewerShown.load());
    EXPECT_TRUE(ControlEnabled(dialog, IDC_START)); // enabled again at the end
    EXPECT_EQ(1, g_idleFlag.load());
}

// A stop pressed while the walk is deep inside the first of two sources: the entry being handled
// completes, nothing after it is visited (not its siblings, not the rest of its parent folders, not
// the second source), there is exactly one stop record, and no archive attribute is cleared beyond
// the files visited (the folders were not enumerated to their end).
TEST_F(CopyRunTest, StopInsideAFolderEndsTheWalkThere) {
    Build("src\\one\\ attr=A\nsrc\\one\\a.txt attr=A\nsrc\\one\\deep\\ attr=A\nsrc\\one\\deep\\b1.txt attr=A\n"
          "src\\one\\deep\\b2.txt attr=A\nsrc\\one\\deep\\b3.txt attr=A\nsrc\\one\\z.txt attr=A\n"
          "src\\two\\ attr=A\nsrc\\two\\c.txt attr=A\ndst\\\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CLEAR_ARCHIVE);
    s_stopDialog = dialog;
    s_stopAt = "one\\deep\\"; // the first file of deep that the listing gives
    s_stopOnPrefix = true;
    WatchProgress(dialog);
    int missingShown = g_missingViewerShown;
    auto log = Run("\"" + src + "one\" \"" + src + "two\"", dst);
    s_stopAt.clear();
    s_stopOnPrefix = false;
    const std::string STOP = "! > > ユーザの指示によりコピーを停止しました。";
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(STOP, log.back());
    EXPECT_EQ(1, std::count(log.begin(), log.end(), STOP));
    const std::string &stoppedAt = log[log.size() - 2];
    EXPECT_EQ(0u, stoppedAt.find("O one\\deep\\b")) << stoppedAt;
    for (size_t i = 0; i + 2 < log.size(); i++) {
        EXPECT_EQ(0u, log[i].find("O one")) << log[i];
        EXPECT_EQ(std::string::npos, log[i].find("one\\deep\\")) << log[i]; // one file of deep only
    }
    // What the destination holds is exactly what the records say was made; the archive attribute
    // is gone from the files visited only.
    for (const char *entry : {"one", "one\\a.txt", "one\\deep", "one\\deep\\b1.txt", "one\\deep\\b2.txt",
                              "one\\deep\\b3.txt", "one\\z.txt", "two", "two\\c.txt"}) {
        SCOPED_TRACE(entry);
        bool recorded = false;
        for (auto &line : log) recorded |= line.compare(0, strlen(entry) + 3, std::string("O ") + entry + " ") == 0;
        EXPECT_EQ(recorded, GetFileAttributesA((dst + entry).c_str()) != INVALID_FILE_ATTRIBUTES);
        if (ON_SIMULATION) {
            bool file = strchr(entry, '.') != nullptr;
            EXPECT_EQ(recorded && file, !(GetFileAttributesA((src + entry).c_str()) & FILE_ATTRIBUTE_ARCHIVE));
        }
    }
    EXPECT_EQ(missingShown, g_missingViewerShown.load());
}

TEST_F(CopyRunTest, MissingViewerShownAfterACompleteRun) {
    Build("src\\d\\a.txt\ndst\\d\\gone.txt\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CHECK_MISSING);
    int missingShown = g_missingViewerShown, logShown = g_logViewerShown;
    Run(src + "d", dst);
    EXPECT_EQ(missingShown + 1, g_missingViewerShown.load());
    EXPECT_EQ(logShown + 1, g_logViewerShown.load());
    std::string missing(g_missingList.text, g_missingList.length);
    EXPECT_NE(std::string::npos, missing.find("gone.txt"));
}

TEST_F(CopyRunTest, HistoryReloadedWithTheUsedTextsFirst) {
    Build("src\\a.txt\ndst\\\n");
    Run(src + "a.txt", dst, "*", "*.txt *");
    std::string upper = dst;
    UpcaseAscii(&upper[0]);
    auto dests = ComboItems(dialog, IDC_DEST);
    ASSERT_EQ(3u, dests.size());
    EXPECT_EQ(upper, dests[0]);
    EXPECT_EQ("E:\\", dests[1]);
    auto tcf = ComboItems(dialog, IDC_TCF);
    ASSERT_FALSE(tcf.empty());
    EXPECT_EQ("*.TXT *", tcf[0]);
    EXPECT_EQ(upper, ControlText(dialog, IDC_DEST));
}

#ifdef KESTREL_SIM
// For N = 1, 2, … the Nth file-system call of a run fails. Every run ends, each entry keeps at most
// its one decision record (plus a listing or archive record), and what the destination holds is either
// absent or a whole copy of its source: nothing is lost or half-done.
TEST_F(CopyRunFailureTest, SweepOfFailingFileSystemCalls) {
    const char *tree = "src\\d\\a.txt text=\"alpha\" attr=A\n"
                       "src\\d\\b.txt text=\"beta\" attr=RA\n"
                       "src\\d\\sub\\c.txt text=\"gamma\" attr=HA\n"
                       "src\\d\\sub\\deep\\\n"
                       "dst\\d\\b.txt text=\"old\" attr=R\n";
    int n = 1;
    for (; n < 400; n++) {
        SCOPED_TRACE(n);
        SimReset();
        ASSERT_EQ("", BuildTree(root, tree));
        ASSERT_EQ(0, EnsureSettingsKey());
        DestroyTestMainDialog(dialog);
        dialog = CreateTestMainDialog();
        ShowModeWord(dialog, MODE_ALL);
        ShowConfWord(dialog, CONF_LOG_ALL | CONF_CLEAR_ARCHIVE);
        ResetMessageBoxRecord();
        SimInjectFault("*", nullptr, ERROR_ACCESS_DENIED, SIM_FAULT_NTH, n);
        auto log = Run(src + "d", dst);
        bool fired = SimFaultsFired() > 0;
        SimClearFaults();
        // Only the destination's test before the walk can fail with a box: a warning.
        for (auto &box : RecordedMessageBoxes()) EXPECT_EQ("コピー先のフォルダ名が不正です。", box.text);
        std::map<std::string, int> decisions;
        for (auto &line : log) {
            // A folder whose listing fails, and an entry whose archive cannot be cleared, add one
            // record to their decision.
            if (line.find("アーカイブ属性") != std::string::npos) continue;
            if (line.find("コピー元にアクセスできません。") != std::string::npos) continue;
            std::string name = line.substr(2, line.find(' ', 2) - 2);
            EXPECT_EQ(1, ++decisions[name]) << line;
        }
        for (const char *file : {"d\\a.txt", "d\\sub\\c.txt"}) {
            DWORD a = GetFileAttributesA((dst + file).c_str());
            if (a != INVALID_FILE_ATTRIBUTES) {
                EXPECT_EQ(ReadWholeFile(src + file), ReadWholeFile(dst + file)) << file;
            }
        }
        std::string b = ReadWholeFile(dst + "d\\b.txt");
        EXPECT_TRUE(b == "old" || b == "beta" || b == "<cannot open>") << b;
        EXPECT_EQ("alpha", ReadWholeFile(src + "d\\a.txt"));
        if (!fired) break;
    }
    EXPECT_LT(n, 400) << "the sweep did not reach a run without a fault";
    // The run without a fault copied everything.
    EXPECT_EQ("beta", ReadWholeFile(dst + "d\\b.txt"));
    EXPECT_EQ("gamma", ReadWholeFile(dst + "d\\sub\\c.txt"));
}

// The same with memory: every LocalAlloc of a run may fail; the run ends with a record, a box or
// nothing copied, never with a crash.
// The missing-in-source check is part of the run here: it too ends with a record.
TEST_F(CopyRunFailureTest, SweepOfFailingAllocations) {
    Build("src\\d\\a.txt text=\"alpha\"\nsrc\\d\\sub\\c.txt text=\"gamma\"\ndst\\d\\old\\gone.txt\n");
    int n = 1;
    for (; n < 200; n++) {
        SCOPED_TRACE(n);
        ResetMessageBoxRecord();
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL-TEST");
        ASSERT_EQ(0, EnsureSettingsKey());
        ShowConfWord(dialog, CONF_LOG_ALL | CONF_CHECK_MISSING);
        SimInjectFault("LocalAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY, SIM_FAULT_NTH, n);
        Run(src + "d", dst);
        bool fired = SimFaultsFired() > 0;
        SimClearFaults();
        for (auto &box : RecordedMessageBoxes()) EXPECT_EQ("スレッドを起動できません。", box.text);
        std::string a = ReadWholeFile(dst + "d\\a.txt");
        EXPECT_TRUE(a == "<cannot open>" || a == "alpha") << a;
        if (!fired) break;
    }
    EXPECT_LT(n, 200);
    EXPECT_EQ("gamma", ReadWholeFile(dst + "d\\sub\\c.txt"));
    EXPECT_EQ((std::vector<std::string>{"F " + UpperDest() + "d\\old\\gone.txt", "D " + UpperDest() + "d\\old"}),
              MissingLines());
}
#endif

// ---- the start button on both platforms: a real worker thread ----

// Presses the start button again whenever the worker reads the sources field, that is after the
// first press and before the worker has switched the dialog to running.
static HWND s_pressDialog;
static std::atomic<int> s_sourcesRead{0};
static void PressAgainWhileValidating() {
    s_sourcesRead++;
    PressStartButton(s_pressDialog);
    PressStartButton(s_pressDialog);
}

#ifdef KESTREL_SIM
static void PressAgainHook(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_GETTEXT && window == GetDlgItem(s_pressDialog, IDC_SOURCES)) PressAgainWhileValidating();
}
static void WatchSourcesRead(HWND) { SimSetMessageHook(PressAgainHook); }
static void StopWatchingSourcesRead(HWND) { SimSetMessageHook(nullptr); }
static void PumpMessages() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
#else
static WNDPROC s_sourcesProc;
static LRESULT CALLBACK SourcesProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXT) PressAgainWhileValidating();
    return CallWindowProcA(s_sourcesProc, window, message, wParam, lParam);
}
static void WatchSourcesRead(HWND dialog) {
    s_sourcesProc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(dialog, IDC_SOURCES), GWLP_WNDPROC, (LONG_PTR)SourcesProc);
}
static void StopWatchingSourcesRead(HWND dialog) {
    SetWindowLongPtrA(GetDlgItem(dialog, IDC_SOURCES), GWLP_WNDPROC, (LONG_PTR)s_sourcesProc);
}
// The worker's messages to the dialog are carried out by this thread, which owns the dialog.
static void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Sleep(1);
}
#endif

// Pumps until `done` holds (at most about 10 s).
template <typename F> static bool PumpUntil(F done) {
    for (int i = 0; i < 10000; i++) {
        if (done()) return true;
        PumpMessages();
    }
    return false;
}

TEST_F(CopyRunTest, PressesBeforeTheRunSwitchesStartNoSecondWorker) {
    Build("src\\a.txt text=\"a\"\ndst\\\n");
    Fields(src + "a.txt", dst);
    int shown = g_logViewerShown;
    s_pressDialog = dialog;
    s_sourcesRead = 0;
    WatchSourcesRead(dialog);
    PressStartButton(dialog);
    ASSERT_TRUE(PumpUntil([&] {
        return g_logViewerShown.load() == shown + 1 && g_idleFlag.load() == 1 && g_workerStarting.load() == 0;
    }));
    StopWatchingSourcesRead(dialog);
    for (int i = 0; i < 50; i++) PumpMessages(); // a second worker would show itself now
    EXPECT_EQ(1, s_sourcesRead.load());
    EXPECT_EQ(shown + 1, g_logViewerShown.load());
    EXPECT_EQ((std::vector<std::string>{"O a.txt コピーしました。"}), RunLogLines());
    EXPECT_EQ("a.txt attr= size=1 text=\"a\"\n", Dest());
    EXPECT_TRUE(ControlEnabled(dialog, IDC_SOURCES));
}

// ---- a hard end in the middle of a copy ----
#ifdef KESTREL_SIM

// A hard end of the process (a crash, a power loss, "End task") while a file is copied never
// leaves under its name something that the next run takes as up to date, by the date test, the
// size test or both, even a part at the source's full length: the next run copies the file. A
// large file's name holds the old file or the new one, never a part; an ordinary failure of its
// copy leaves nothing behind. Simulation only: Wine cannot end the process in the middle of a call.
TEST_F(CopyRunFailureTest, AHardEndNeverLeavesAPartThatLooksUpToDate) {
    const DWORD SIZE = MODE_SKIP_SAME_SIZE, DATE = MODE_SKIP_NOT_NEWER;
    const struct {
        const char *file;    // the source (BuildTree's line), newer than any old copy
        bool old;            // the destination holds an old copy
        DWORD tests;
        DWORD endAfter;      // bytes written when the process ends; ~0u: the copy fails instead
        bool fullLength;
    } ROWS[] = {
        {"size=2048", false, DATE, 1000, false},
        {"size=2048", false, SIZE, 1000, true},
        {"size=2048", true, SIZE | DATE, 0, true},
        {"size=1048577", true, DATE, 4096, true},
        {"size=1048577", false, SIZE, 4096, true},
        {"size=1048577", true, SIZE | DATE, 65536, false},
        {"size=1048577", true, SIZE | DATE, ~0u, false},
    };
    int i = 0;
    for (const auto &row : ROWS) {
        std::string at = "r" + std::to_string(++i) + "\\";
        SCOPED_TRACE(at);
        src = root + at + "src\\";
        dst = root + at + "dst\\";
        Build((at + "src\\d\\f.bin time=1700000100 " + row.file + "\n" + at +
               (row.old ? "dst\\d\\f.bin text=\"old\" time=1700000000\n" : "dst\\d\\\n")).c_str());
        ShowModeWord(dialog, MODE_ALL | row.tests);
        bool large = strstr(row.file, "1048577") != nullptr;
        std::string written = D(large ? "d\\" TEMPORARY_NAME : "d\\f.bin");
        if (row.endAfter == ~0u)
            SimInjectFault("CopyFileA", written.c_str(), ERROR_DISK_FULL);
        else
            SimInjectHardEnd(written.c_str(), row.endAfter, row.fullLength);
        std::vector<std::string> first = Run(S("d"), dst);
        SimClearFaults();
        if (large) {
            EXPECT_EQ(row.old ? "old" : "<cannot open>", ReadWholeFile(D("d\\f.bin"))) << "the name holds a part";
            if (row.endAfter == ~0u) {
                EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(written.c_str())) << "the failed copy stays";
                EXPECT_EQ("X d\\f.bin コピーできません。", first.back());
            }
        }
        std::vector<std::string> again = Run(S("d"), dst);
        EXPECT_EQ("O d\\f.bin コピーしました。", again.back());
        EXPECT_EQ(ReadWholeFile(S("d\\f.bin")), ReadWholeFile(D("d\\f.bin")));
        if (large) {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(written.c_str())) << "put in place";
        }
    }
}
#endif

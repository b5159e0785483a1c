// A /run start: its exit code over the run's counts, the log file's place, the file replaced only
// once the new one is complete, and whole /run starts on the test main dialog (every box a
// record, the log file written, the program closed by itself).
#include "../engine/copyrun_fixture.h"
#include "cmdline.h"
#include "scheduled.h"
#include "sim_api.h"
#include <cstring>
#include <functional>
#include <thread>
#ifdef KESTREL_SIM
#include "simwin_dialog.h"
#endif

TEST(ScheduledExitCode, FirstThatApplies) {
    static const struct {
        bool ran, stopped;
        RunCounts counts; // copied, bytes, folders created, refused, errors, warnings
        bool logWritten;
        int code;
    } rows[] = {
        {false, false, {0, 0, 0, 0, 0, 0}, true, 16},    // refused, failed start-up, no place for the log
        {false, true, {0, 0, 0, 0, 2, 1}, false, 16},    // nothing ran, whatever else
        {true, true, {5, 500, 1, 0, 3, 4}, false, 3},     // stopped, whatever it recorded
        {true, false, {5, 500, 1, 2, 1, 5}, true, 2},     // an error record
        {true, false, {5, 500, 1, 0, 0, 0}, false, 2},    // the log file could not be written at the end
        {true, false, {5, 500, 1, 0, 0, 7}, true, 1},     // warnings, no error
        {true, false, {1234, 5ull << 40, 3, 9, 0, 0}, true, 0}, // copied, created, refused by conditions
    };
    for (auto &row : rows) {
        RunOutcome outcome = {row.ran, row.stopped, row.counts, row.logWritten};
        EXPECT_EQ(row.code, ScheduledExitCode(outcome)) << &row - rows;
    }
}

TEST(ScheduledLogFile, MissingDocumentBesideTheLog) {
    std::string longest = "C:\\" + std::string(248, 'a'); // 251 bytes: "-missing" makes 259
    const struct {
        std::string log, missing;
    } rows[] = {
        {"C:\\logs\\nightly.rtf", "C:\\logs\\nightly-missing.rtf"},
        {"C:\\logs\\nightly", "C:\\logs\\nightly-missing"},
        {"C:\\log.d\\nightly", "C:\\log.d\\nightly-missing"},
        {"C:\\logs\\a.b.rtf", "C:\\logs\\a.b-missing.rtf"},
        // ソ is 0x83 0x5C: its trail byte is no separator, so the extension is ".ソb".
        {"C:\\logs\\a.ソb", "C:\\logs\\a-missing.ソb"},
        {longest, longest + "-missing"},
    };
    for (auto &row : rows) {
        char missing[MAX_PATH];
        memset(missing, 0xdd, sizeof missing);
        EXPECT_EQ(0, MissingDocumentPath(row.log.c_str(), missing)) << row.log;
        EXPECT_EQ(row.missing, missing);
    }
    char missing[MAX_PATH];
    EXPECT_EQ((int)0x80000001, MissingDocumentPath((longest + "b").c_str(), missing));
}

// The place is checked before anything runs; a check leaves nothing behind.
TEST_F(PlatformTest, LogPlaceIsCheckedBeforeTheRun) {
    ASSERT_EQ("", BuildTree(root, "sub\\\nold.rtf text=\"old\"\nro.rtf attr=R\n"));
    static const struct {
        const char *name;
        int result;
    } rows[] = {
        {"new.rtf", 0},
        {"old.rtf", 0},
        {"sub", (int)0x80000002},        // a folder has the name
        {"ro.rtf", (int)0x80000002},     // a read-only file would refuse the move
        {"none\\x.rtf", (int)0x80000003}, // no such folder
        {"NUL.rtf", (int)0x80000001},    // a device in every folder
    };
    for (auto &row : rows) {
        EXPECT_EQ(row.result, CheckLogPlace((root + row.name).c_str())) << row.name;
    }
    std::string tooLong = root + std::string(MAX_PATH - 4 - root.size(), 'x'); // 256 bytes: ".tmp" overflows
    EXPECT_EQ((int)0x80000004, CheckLogPlace(tooLong.c_str()));
    EXPECT_EQ("old.rtf attr= size=3 text=\"old\"\nro.rtf attr=R size=0\nsub\\ attr=\n", ReadTree(root, FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(PlatformTest, LogPlaceWhereNothingCanBeCreated) {
    SIMULATION_ONLY("needs a folder that refuses new files");
    SimInjectFault("CreateFileA", (root + "x.rtf.tmp").c_str(), ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    EXPECT_EQ((int)0x80000005, CheckLogPlace((root + "x.rtf").c_str()));
}

// Every failure leaves the old file as it was and no temporary file; success replaces it whole.
TEST_F(PlatformTest, LogFileIsReplacedOnlyOnceTheNewOneIsComplete) {
    SIMULATION_ONLY("needs injected write, flush, close and move failures");
    std::string log = root + "night.rtf", temporary = log + ".tmp";
    static const struct {
        const char *op; // null: no fault
        bool onTemporary;
        int result;
    } rows[] = {
        {"CreateFileA", true, (int)0x80000002}, {"WriteFile", true, (int)0x80000003},
        {"short write", true, (int)0x80000003}, {"FlushFileBuffers", true, (int)0x80000004},
        {"CloseHandle", true, (int)0x80000004}, {"MoveFileExW", false, (int)0x80000005},
        {nullptr, false, 0},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.op ? row.op : "no fault");
        ASSERT_TRUE(WriteWholeFile(log, "last night"));
        std::string at = row.onTemporary ? temporary : log;
        if (row.op && strcmp(row.op, "short write") == 0)
            SimInjectShortWrite(at.c_str(), 3);
        else if (row.op)
            SimInjectFault(row.op, at.c_str(), ERROR_DISK_FULL);
        EXPECT_EQ(row.result, ReplaceFileWhole(log.c_str(), "tonight's log", 13));
        SimClearFaults();
        EXPECT_EQ(row.result == 0 ? "tonight's log" : "last night", ReadWholeFile(log));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(temporary.c_str()));
    }
}

#ifdef KESTREL_SIM
// Whole /run starts on the test main dialog: the worker is started as the start button starts it
// (on Windows its messages would need this thread's message loop; the GUI bench shows these under
// Wine).
class ScheduledRunTest : public CopyRunTest {
  protected:
    void SetUp() override {
        CopyRunTest::SetUp();
        ResetScheduledStart();
        g_closeRequested = 0;
        log = root + "night.rtf";
    }
    void TearDown() override {
        ResetScheduledStart();
        CopyRunTest::TearDown();
    }
    // A /run start of `line` on the dialog's fields; its exit code.
    int Start(const std::string &line) {
        posted = SimPostedMessages(dialog).size();
        EXPECT_TRUE(BeginScheduledStart(line.c_str()));
        if (!ScheduledStartRefused()) {
            PressStartButton(dialog);
            for (int i = 0; i < 5000 && g_workerActive.load(); i++)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_EQ(0, g_workerActive.load());
        }
        return FinishScheduledStart();
    }
    // The records of a log file written by the start; the summary's time is left out.
    static std::vector<std::string> FileLines(const std::string &path) {
        std::string text = ReadWholeFile(path);
        EXPECT_EQ('}', text.empty() ? 0 : text.back()) << path << ": the document is closed";
        LogDocument document = {&text[0], (DWORD)text.size(), (DWORD)text.size(), 0};
        std::vector<std::string> lines = DocumentLines(document);
        if (!lines.empty()) lines.back() = lines.back().substr(0, lines.back().find("、経過時間"));
        return lines;
    }
    // The summary record of files of 0 bytes, without its time.
    static std::string Summary(int copied, int errors, int warnings) {
        return "! > > コピー " + std::to_string(copied) + " 件（0 バイト）、フォルダ作成 0 件、未コピー 0 件、エラー " +
               std::to_string(errors) + " 件、警告 " + std::to_string(warnings) + " 件";
    }
    int ClosesPosted() {
        int closes = 0;
        auto messages = SimPostedMessages(dialog);
        for (size_t i = posted; i < messages.size(); i++) closes += messages[i].message == UM_CLOSEDIALOG;
        return closes;
    }
    std::string log;
    size_t posted = 0;
};

TEST_F(ScheduledRunTest, EachEndHasItsLogAndExitCode) {
    Build("src\\a.txt attr=H\nsrc\\b.txt\ndst\\\n");
    std::string srcA = "\"" + src + "a.txt\"";
    struct Row {
        const char *name;
        std::string sources;
        DWORD conf;
        std::function<void()> arrange;
        int code;
        bool copied;
        std::vector<std::string> lines; // of the log file; {"last night"}: the old file is kept
    } rows[] = {
        {"copies", srcA, CONF_LOG_ALL, [] {}, 0, true, {"O a.txt コピーしました。", Summary(1, 0, 0)}},
        {"error", "\"" + root + "none\"", CONF_LOG_ALL, [] {}, 2, false, {"X " + root + "none パス名が不正です。", Summary(0, 1, 0)}},
        {"warning", srcA, CONF_LOG_ALL,
         [&] { SimInjectFault("SetFileAttributesA", (dst + "a.txt").c_str(), ERROR_ACCESS_DENIED, SIM_FAULT_EVERY); }, 1, true,
         {"! a.txt コピーしました。（属性未設定）", Summary(1, 0, 1)}},
        {"stopped", srcA + " \"" + src + "b.txt\"", CONF_LOG_ALL,
         [&] {
             g_progressLine.watch = [](void *d, const char *) { PressStartButton((HWND)d); };
             g_progressLine.watchContext = dialog;
         },
         3, true, {"O a.txt コピーしました。", "! > > ユーザの指示によりコピーを停止しました。", Summary(1, 0, 0)}},
        {"refused job", "", CONF_LOG_ALL, [] {}, 16, false, {"X > > コピーするフォルダやファイル名を入力してください。", Summary(0, 0, 0)}},
        {"settings", srcA, CONF_LOG_ALL,
         [] { SimInjectFault("RegSetValueExA", nullptr, ERROR_CANTWRITE, SIM_FAULT_EVERY); }, 16, false,
         {"X > > レジストリを設定できません。", Summary(0, 0, 0)}},
        {"log lost at the end", srcA, CONF_LOG_ALL,
         [&] { SimInjectFault("MoveFileExW", log.c_str(), ERROR_ACCESS_DENIED); }, 2, true, {"last night"}},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.name);
        ResetScheduledStart();
        // A /run start's worker leaves the dialog disabled, and one whose settings could not be
        // saved leaves starting at 1: the program is ending.
        g_workerStarting = 0;
        SetInputsEnabled(dialog, TRUE);
        ASSERT_TRUE(DeleteFileA((dst + "a.txt").c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
        ASSERT_TRUE(WriteWholeFile(log, "last night"));
        Fields(row.sources, dst);
        ShowConfWord(dialog, row.conf);
        ResetMessageBoxRecord();
        int viewers = g_logViewerShown;
        row.arrange();
        EXPECT_EQ(row.code, Start("/run /log " + log));
        SimClearFaults();
        g_progressLine.watch = nullptr;
        if (row.lines[0] == "last night") {
            EXPECT_EQ("last night", ReadWholeFile(log));
        } else {
            EXPECT_EQ(row.lines, FileLines(log));
        }
        EXPECT_EQ(0u, RecordedMessageBoxes().size()) << "no box waits for a person";
        EXPECT_EQ(viewers, g_logViewerShown.load()) << "no viewer either";
        EXPECT_EQ(1, ClosesPosted()) << "the program ends by itself";
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((log + ".tmp").c_str()));
        EXPECT_EQ(row.copied, GetFileAttributesA((dst + "a.txt").c_str()) != INVALID_FILE_ATTRIBUTES);
    }
}

// With the missing-in-source check the list goes beside the log; a full log is a level-3 record
// that changes nothing of the exit code.
TEST_F(ScheduledRunTest, MissingListBesideTheLogAndAFullLog) {
    Build("src\\d\\a.txt\ndst\\d\\old.txt\n");
    Fields("\"" + src + "d\"", dst);
    ShowConfWord(dialog, CONF_CHECK_MISSING);
    EXPECT_EQ(0, Start("/run /log " + log));
    std::string missing = root + "night-missing.rtf";
    EXPECT_EQ(missing, ScheduledMissingPath());
    EXPECT_EQ((std::vector<std::string>{"F " + UpperDest() + "d\\old.txt"}), FileLines(missing));

    ResetScheduledStart();
    EXPECT_TRUE(BeginScheduledStart(("/run /log " + log).c_str()));
    ScheduledWalkBegins();
    ResetCopyLog();
    g_copyLog.full = 1;
    ScheduledWalkEnded(false, false);
    EXPECT_EQ(0, FinishScheduledStart());
    std::vector<std::string> lines = FileLines(log);
    ASSERT_LE(2u, lines.size());
    EXPECT_EQ("! > > ログが多すぎて全部表示できません。", lines[lines.size() - 2]);
    EXPECT_EQ(Summary(0, 0, 0), lines.back()) << "the full log's record is no warning";
}

// A log-off during a /run start: the wait for the file being copied lasts until the log is
// written, and the log shows the stop.
TEST_F(ScheduledRunTest, SessionEndWaitsForTheLogFile) {
    Build("src\\one.txt\nsrc\\two.txt\ndst\\\n");
    Fields("\"" + src + "one.txt\" \"" + src + "two.txt\"", dst);
    EXPECT_TRUE(BeginScheduledStart(("/run /log " + log).c_str()));
    static std::atomic<int> atOne;
    atOne = 0;
    g_progressLine.watch = [](void *, const char *text) {
        if (strcmp(text, "one.txt") == 0) atOne = 1;
        for (DWORD start = GetTickCount(); atOne == 1 && GetTickCount() - start < 10000;) std::this_thread::yield();
    };
    PressStartButton(dialog);
    for (DWORD start = GetTickCount(); !atOne && GetTickCount() - start < 10000;) std::this_thread::yield();
    SessionWaitSteps steps = {GetTickCount, [](DWORD ms) { atOne = 2, Sleep(ms); }};
    EXPECT_TRUE(WaitForWalkToEnd(dialog, steps, END_SESSION_WAIT_MS));
    EXPECT_EQ((std::vector<std::string>{"O one.txt コピーしました。", "! > > ユーザの指示によりコピーを停止しました。",
                                        Summary(1, 0, 0)}),
              FileLines(log));
    EXPECT_EQ(3, FinishScheduledStart());
}
#endif

// The start sequence of WinMain with each platform call recorded: the order of the steps, the
// message of each failing step, what is released after it and in which order, the exit code,
// and the message loop's end.
#ifdef KESTREL_SIM
#include <gtest/gtest.h>
#include "dialogwords.h"
#include "maindialog.h"
#include "../engine/log_lines.h"
#include "msgbox.h"
#include "msgbox_record.h"
#include "scheduled.h"
#include "startup.h"
#include "tree.h"
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum FailingStep { NONE, RICHEDIT, SETTINGS, CLASS, WINDOW, DIALOG };

std::vector<std::string> s_calls;
FailingStep s_failing;
int s_failingIcon;             // 1–4: that icon load fails; 0: none
std::vector<BOOL> s_loop;      // GetMessageA's results, in turn
int s_quitWParam;              // WM_QUIT's wParam when the loop gets 0
std::string s_commandLineSeen; // the command line as the dialog found it at its creation
const char *s_dialogWarns;     // a warning the dialog shows while it is made (null: none)
HINSTANCE s_instanceSeen;

HINSTANCE const INSTANCE = (HINSTANCE)(uintptr_t)0x400000;
HMODULE const RICHEDIT_MODULE = (HMODULE)(uintptr_t)0x7000;
HWND const WINDOW_HANDLE = (HWND)(uintptr_t)0x2000;
HWND const DIALOG_HANDLE = (HWND)(uintptr_t)0x3000;

std::string IconName(HICON icon) {
    static const char *names[] = {"?", "large", "small", "copy", "stop"};
    uintptr_t n = (uintptr_t)icon;
    return n >= 1 && n <= 4 ? names[n] : "?";
}

void FakeSetMessageBoxInstance(HINSTANCE instance) {
    s_calls.push_back(instance == INSTANCE ? "SetMessageBoxInstance" : "SetMessageBoxInstance(other)");
}
void FakeInitCommonControls() { s_calls.push_back("InitCommonControls"); }
HMODULE FakeLoadRichEdit() {
    s_calls.push_back("LoadRichEdit");
    return s_failing == RICHEDIT ? nullptr : RICHEDIT_MODULE;
}
int FakeMigrateSettings() {
    s_calls.push_back("MigrateSettings");
    return s_failing == SETTINGS ? -1 : 0;
}
HICON FakeLoadIcon(HINSTANCE, const char *name, int width, int height) {
    s_calls.push_back(std::string("LoadIcon ") + name + " " + std::to_string(width) + "x" + std::to_string(height));
    int n = (int)std::count_if(s_calls.begin(), s_calls.end(),
                               [](const std::string &c) { return c.compare(0, 9, "LoadIcon ") == 0; });
    return n == s_failingIcon ? nullptr : (HICON)(uintptr_t)n;
}
int FakeRegisterClass(HINSTANCE, HICON large, HICON small) {
    s_calls.push_back("RegisterClass " + IconName(large) + " " + IconName(small));
    return s_failing != CLASS;
}
HWND FakeCreateWindow(HINSTANCE) {
    s_calls.push_back("CreateWindow");
    return s_failing == WINDOW ? nullptr : WINDOW_HANDLE;
}
HWND FakeCreateDialog(HINSTANCE, HWND parent) {
    s_calls.push_back(parent == WINDOW_HANDLE ? "CreateDialog" : "CreateDialog(no parent)");
    s_commandLineSeen = g_commandLine ? g_commandLine : "(none)";
    s_instanceSeen = g_instance;
    if (s_dialogWarns) ShowWarningBox(nullptr, "%s", s_dialogWarns);
    return s_failing == DIALOG ? nullptr : DIALOG_HANDLE;
}
void FakeSizeAndShow(HWND window, HWND dialog, int show) {
    s_calls.push_back(window == WINDOW_HANDLE && dialog == DIALOG_HANDLE ? "SizeAndShow " + std::to_string(show)
                                                                          : "SizeAndShow(other)");
}
void FakeStartRun(HWND dialog) { s_calls.push_back(dialog == DIALOG_HANDLE ? "StartRun" : "StartRun(other)"); }
BOOL FakeGetMessage(int *quitCode) {
    s_calls.push_back("GetMessage");
    if (s_calls.size() > 100) return 0; // a loop that never ends fails the test, not the run
    BOOL got = s_loop.empty() ? 0 : s_loop.front();
    if (!s_loop.empty()) s_loop.erase(s_loop.begin());
    if (got == 0) *quitCode = s_quitWParam;
    return got;
}
void FakeDispatchMessage(HWND dialog) { s_calls.push_back(dialog == DIALOG_HANDLE ? "Dispatch" : "Dispatch(other)"); }
void FakeDestroyWindow(HWND window) {
    s_calls.push_back(window == WINDOW_HANDLE && g_mainWindowGoing ? "DestroyWindow" : "DestroyWindow(other)");
}
void FakeDestroyIcon(HICON icon) { s_calls.push_back("DestroyIcon " + IconName(icon)); }
void FakeFreeLibrary(HMODULE module) {
    s_calls.push_back(module == RICHEDIT_MODULE ? "FreeLibrary" : "FreeLibrary(other)");
}

const StartSteps FAKE_STEPS = {FakeSetMessageBoxInstance, FakeInitCommonControls, FakeLoadRichEdit,
                               FakeMigrateSettings,       FakeLoadIcon,           FakeRegisterClass,
                               FakeCreateWindow,          FakeCreateDialog,       FakeSizeAndShow,
                               FakeStartRun,              FakeGetMessage,            FakeDispatchMessage,    FakeDestroyWindow,
                               FakeDestroyIcon,           FakeFreeLibrary};

class StartSequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_calls.clear();
        s_failing = NONE;
        s_failingIcon = 0;
        s_loop.clear();
        s_quitWParam = 0;
        s_commandLineSeen.clear();
        s_instanceSeen = nullptr;
        s_dialogWarns = nullptr;
        ResetMessageBoxRecord();
        ResetScheduledStart();
        savedCommandLine = g_commandLine;
        savedInstance = g_instance;
        savedPlatform = PlatformCode;
        savedGoing = g_mainWindowGoing;
    }
    void TearDown() override {
        g_commandLine = savedCommandLine;
        g_instance = savedInstance;
        PlatformCode = savedPlatform;
        g_mainWindowGoing = savedGoing;
        ResetMessageBoxRecord();
        ResetScheduledStart();
    }
    int Run() { return RunStartSequence(FAKE_STEPS, INSTANCE, "/dest D:\\bak C:\\data", 5); }

    const char *savedCommandLine;
    HINSTANCE savedInstance;
    LONG savedPlatform;
    int savedGoing;
};

const std::vector<std::string> UP_TO_MIGRATION = {"SetMessageBoxInstance", "InitCommonControls", "LoadRichEdit",
                                                  "MigrateSettings"};
const std::vector<std::string> ICON_LOADS = {"LoadIcon ICON1_MAIN 32x32", "LoadIcon ICON1_MAIN 16x16",
                                             "LoadIcon ICON2_COPYBUTTON 64x36", "LoadIcon ICON3_STOPBUTTON 64x36"};
const std::vector<std::string> ICONS_AND_LIBRARY = {"DestroyIcon large", "DestroyIcon small", "DestroyIcon copy",
                                                    "DestroyIcon stop", "FreeLibrary"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace

TEST_F(StartSequenceTest, EachFailingStepShowsItsMessageReleasesWhatCameBeforeAndEndsWithZero) {
    struct Row {
        FailingStep step;
        const char *message;
        std::vector<std::string> calls;
    } rows[] = {
        {RICHEDIT, "RICHED32.DLL をロードできません。",
         {"SetMessageBoxInstance", "InitCommonControls", "LoadRichEdit"}},
        {SETTINGS, "レジストリに登録できません。", Join({UP_TO_MIGRATION, {"FreeLibrary"}})},
        {CLASS, "ウィンドウクラスを登録できません。",
         Join({UP_TO_MIGRATION, ICON_LOADS, {"RegisterClass large small"}, ICONS_AND_LIBRARY})},
        {WINDOW, "ウィンドウを作成できません。",
         Join({UP_TO_MIGRATION, ICON_LOADS, {"RegisterClass large small", "CreateWindow"}, ICONS_AND_LIBRARY})},
        {DIALOG, "ダイアログを作成できません。",
         Join({UP_TO_MIGRATION, ICON_LOADS, {"RegisterClass large small", "CreateWindow", "CreateDialog"},
               {"DestroyWindow"}, ICONS_AND_LIBRARY})},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.message);
        SetUp();
        s_failing = row.step;
        EXPECT_EQ(0, Run());
        EXPECT_EQ(row.calls, s_calls);
        std::vector<RecordedMessageBox> boxes = RecordedMessageBoxes();
        ASSERT_EQ(1u, boxes.size()) << "one message, and only the failing step's";
        EXPECT_EQ(row.message, boxes[0].text);
        EXPECT_EQ("Error", boxes[0].caption);
        EXPECT_EQ(nullptr, boxes[0].owner);
        EXPECT_EQ((UINT)MB_ICONHAND, boxes[0].type & 0xF0u);
        TearDown();
    }
}

TEST_F(StartSequenceTest, AStartThatSucceedsRunsTheLoopAndReturnsTheQuitCode) {
    s_loop = {1, 1, 0};
    EXPECT_EQ(0, Run());
    EXPECT_EQ(Join({UP_TO_MIGRATION, ICON_LOADS,
                    {"RegisterClass large small", "CreateWindow", "CreateDialog", "SizeAndShow 5", "GetMessage",
                     "Dispatch", "GetMessage", "Dispatch", "GetMessage"},
                    ICONS_AND_LIBRARY}),
              s_calls);
    EXPECT_EQ(0u, RecordedMessageBoxCount());
    // The dialog initialises itself from the command line and instance kept in step 5.
    EXPECT_EQ("/dest D:\\bak C:\\data", s_commandLineSeen);
    EXPECT_EQ(INSTANCE, s_instanceSeen);
    EXPECT_EQ(DetectPlatform(), PlatformCode);
    EXPECT_EQ(nullptr, g_copyButtonImage) << "the icons are gone after the end";

    SetUp();
    s_quitWParam = 3; // WM_QUIT's wParam is the exit code, whatever it is
    EXPECT_EQ(3, Run());
}

TEST_F(StartSequenceTest, AFailedGetMessageEndsTheLoopWithTheNormalCleanUpAndZero) {
    s_loop = {1, -1, 1, 1};
    s_quitWParam = 7; // never used: no WM_QUIT arrived
    EXPECT_EQ(0, Run());
    EXPECT_EQ(Join({UP_TO_MIGRATION, ICON_LOADS,
                    {"RegisterClass large small", "CreateWindow", "CreateDialog", "SizeAndShow 5", "GetMessage",
                     "Dispatch", "GetMessage"},
                    ICONS_AND_LIBRARY}),
              s_calls);
    EXPECT_EQ(0u, RecordedMessageBoxCount());
}

TEST_F(StartSequenceTest, AnIconThatDoesNotLoadIsNotReportedNorDestroyed) {
    s_failingIcon = 3;
    s_failing = WINDOW;
    EXPECT_EQ(0, Run());
    EXPECT_EQ(Join({UP_TO_MIGRATION, ICON_LOADS, {"RegisterClass large small", "CreateWindow"},
                    {"DestroyIcon large", "DestroyIcon small", "DestroyIcon stop", "FreeLibrary"}}),
              s_calls);
    std::vector<RecordedMessageBox> boxes = RecordedMessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("ウィンドウを作成できません。", boxes[0].text);
}

// A /run start: no step shows a box (each becomes a record of the log file), a refused line or
// log place ends it before anything else, a command line refused while the dialog is made ends it
// before the window is shown, and otherwise the job is started once the window is shown.
TEST_F(StartSequenceTest, ARunStartShowsNoBoxAndEndsWithItsOwnCode) {
    SimReset();
    const std::string LOG = "C:\\TEMP\\start.rtf";
    struct Row {
        std::string line;
        FailingStep step;
        const char *dialogWarns;
        std::vector<std::string> calls;
        const char *record; // the log file's first line; null: no log file
    } rows[] = {
        {"/run /log " + LOG, NONE, nullptr,
         Join({UP_TO_MIGRATION, ICON_LOADS,
               {"RegisterClass large small", "CreateWindow", "CreateDialog", "SizeAndShow 5", "StartRun",
                "GetMessage", "Dispatch", "GetMessage"},
               ICONS_AND_LIBRARY}),
         "! > > コピー 0 件（0 バイト）、フォルダ作成 0 件、未コピー 0 件、エラー 0 件、警告 0 件"},
        {"\"C:\\My Data /run", NONE, nullptr, {"SetMessageBoxInstance"}, "X > > 引数に不整合な引用符があります。"},
        {"/run /log C:\\none\\x.rtf", NONE, nullptr, {"SetMessageBoxInstance"}, nullptr},
        {"/run", RICHEDIT, nullptr, {"SetMessageBoxInstance", "InitCommonControls", "LoadRichEdit"},
         "X > > RICHED32.DLL をロードできません。"},
        {"/run", NONE, "スクリプトファイルを開けません。",
         Join({UP_TO_MIGRATION, ICON_LOADS, {"RegisterClass large small", "CreateWindow", "CreateDialog"},
               {"DestroyWindow"}, ICONS_AND_LIBRARY}),
         "X > > スクリプトファイルを開けません。"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        SetUp();
        s_failing = row.step;
        s_dialogWarns = row.dialogWarns;
        s_loop = {1, 0};
        EXPECT_EQ(16, RunStartSequence(FAKE_STEPS, INSTANCE, row.line.c_str(), 5)) << "nothing ran";
        EXPECT_EQ(row.calls, s_calls);
        EXPECT_EQ(0u, RecordedMessageBoxCount());
        bool written = GetFileAttributesA(ScheduledLogPath()) != INVALID_FILE_ATTRIBUTES;
        EXPECT_EQ(row.record != nullptr, written);
        if (row.record && written) {
            std::string text = ReadWholeFile(ScheduledLogPath());
            LogDocument document = {&text[0], (DWORD)text.size(), (DWORD)text.size(), 0};
            std::vector<std::string> lines = DocumentLines(document);
            EXPECT_EQ(row.record, lines.empty() ? "" : lines[0].substr(0, strlen(row.record)));
            DeleteFileA(ScheduledLogPath());
        }
        TearDown();
    }
}
#endif

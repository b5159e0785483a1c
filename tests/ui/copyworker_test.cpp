// The copy worker's side of the progress line: the worker never writes the label per entry; at the
// end of a run the label shows the last entry reached (after the copies so far) and is then
// emptied; the dialog's timer shows the latest entry and ends itself once the worker has ended.
#include "../engine/copyrun_fixture.h"
#include <cstring>
#include <thread>
#ifdef KESTREL_SIM
#include "simwin_dialog.h"
#endif

static std::vector<std::string> s_labelTexts;

#ifdef KESTREL_SIM
static void RecordLabel(void *, const char *text) { s_labelTexts.push_back(text); }
static void WatchLabel(HWND dialog) { SimOnSetText(dialog, IDC_PROGRESS, RecordLabel, nullptr); }
static void StopWatchingLabel(HWND dialog) { SimOnSetText(dialog, IDC_PROGRESS, nullptr, nullptr); }
#else
static WNDPROC s_labelProc;
static LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam) s_labelTexts.push_back((const char *)lParam);
    return CallWindowProcA(s_labelProc, window, message, wParam, lParam);
}
static void WatchLabel(HWND dialog) {
    s_labelProc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(dialog, IDC_PROGRESS), GWLP_WNDPROC, (LONG_PTR)LabelProc);
}
static void StopWatchingLabel(HWND dialog) {
    SetWindowLongPtrA(GetDlgItem(dialog, IDC_PROGRESS), GWLP_WNDPROC, (LONG_PTR)s_labelProc);
}
#endif

TEST_F(CopyRunTest, LabelIsWrittenTwicePerRunNotPerEntry) {
    std::string layout;
    for (int i = 0; i < 40; i++) layout += "src\\d\\f" + std::to_string(100 + i) + ".txt\n";
    layout += "dst\\\n";
    Build(layout.c_str());
    s_labelTexts.clear();
    WatchLabel(dialog);
    auto log = Run(src + "d", dst);
    StopWatchingLabel(dialog);
    EXPECT_EQ(41u, log.size());
    // The walk published 41 entries; the label got the last one, after the 40 copies and their
    // size, and then the empty text.
    ASSERT_EQ(2u, s_labelTexts.size());
    EXPECT_EQ(0u, s_labelTexts[0].rfind("40 件 0 B  d\\f1", 0)) << s_labelTexts[0];
    EXPECT_EQ("", s_labelTexts[1]);
    EXPECT_EQ("", ControlText(dialog, IDC_PROGRESS));
}

TEST_F(CopyRunTest, StoppedRunShowsWhereItStoppedThenEmptiesTheLine) {
    Build("src\\one.txt\nsrc\\two.txt\ndst\\\n");
    struct Stop {
        HWND dialog;
    } stop{dialog};
    g_progressLine.watch = [](void *context, const char *text) {
        if (strcmp(text, "one.txt") == 0) PressStartButton(static_cast<Stop *>(context)->dialog);
    };
    g_progressLine.watchContext = &stop;
    s_labelTexts.clear();
    WatchLabel(dialog);
    auto log = Run("\"" + src + "one.txt\" \"" + src + "two.txt\"", dst);
    StopWatchingLabel(dialog);
    EXPECT_EQ((std::vector<std::string>{"O one.txt コピーしました。", "! > > ユーザの指示によりコピーを停止しました。"}), log);
    EXPECT_EQ((std::vector<std::string>{"1 件 0 B  one.txt", ""}), s_labelTexts);
}

#ifdef KESTREL_SIM
TEST_F(CopyRunTest, TimerShowsTheLatestEntryAndEndsAfterTheWorker) {
    g_workerActive = 1;
    SetTimer(dialog, PROGRESS_TIMER_ID, PROGRESS_INTERVAL_MS, nullptr);
    PublishProgress(&g_progressLine, "a\\b");
    PublishProgress(&g_progressLine, "a\\c");
    ShowRunProgress(dialog);
    EXPECT_EQ("0 件 0 B  a\\c", ControlText(dialog, IDC_PROGRESS));
    EXPECT_TRUE(SimTimerRunning(dialog, PROGRESS_TIMER_ID));
    int writes = SimControlSetTextCount(dialog, IDC_PROGRESS);
    ShowRunProgress(dialog); // nothing new: the label is left alone
    EXPECT_EQ(writes, SimControlSetTextCount(dialog, IDC_PROGRESS));
    g_workerActive = 0;
    ShowRunProgress(dialog);
    EXPECT_FALSE(SimTimerRunning(dialog, PROGRESS_TIMER_ID));
}

TEST_F(CopyRunTest, StartButtonStartsTheProgressTimer) {
    Build("src\\a.txt\ndst\\\n");
    Fields(src + "a.txt", dst);
    int shown = g_logViewerShown;
    PressStartButton(dialog);
    EXPECT_TRUE(SimTimerRunning(dialog, PROGRESS_TIMER_ID));
    for (int i = 0; i < 5000 && !(g_logViewerShown.load() == shown + 1 && g_workerActive.load() == 0); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(0, g_workerActive.load());
    ShowRunProgress(dialog);
    EXPECT_FALSE(SimTimerRunning(dialog, PROGRESS_TIMER_ID));
    EXPECT_EQ("", ControlText(dialog, IDC_PROGRESS));
}
#endif

// ---- the trial run of the system menu ----

static const char TRIAL_RECORD[] = "! > > 確認のみの実行です。コピー元もコピー先も変更しません。";

#ifdef KESTREL_SIM
// The command starts the worker as the start button does; while that run is active the menu item
// is greyed and the command neither starts a second worker nor stops the running one.
TEST_F(CopyRunTest, TrialCommandStartsATrialAndIsRefusedWhileARunIsActive) {
    Build("src\\a.txt\nsrc\\b.txt\ndst\\\n");
    Fields("\"" + src + "a.txt\" \"" + src + "b.txt\"", dst);
    EXPECT_EQ((UINT)MF_ENABLED, TrialMenuFlags());
    struct During {
        HWND dialog;
        std::atomic<int> taken{-1};
        UINT flags = 0;
    } during{dialog};
    g_progressLine.watch = [](void *context, const char *text) {
        During *d = static_cast<During *>(context);
        if (strcmp(text, "a.txt") == 0) d->flags = TrialMenuFlags(), d->taken = StartTrialRun(d->dialog);
    };
    g_progressLine.watchContext = &during;
    int shown = g_logViewerShown;
    ASSERT_TRUE(StartTrialRun(dialog));
    EXPECT_TRUE(SimTimerRunning(dialog, PROGRESS_TIMER_ID));
    for (int i = 0; i < 5000 && !(g_logViewerShown.load() == shown + 1 && g_idleFlag.load() == 1); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(0, during.taken.load());
    EXPECT_EQ((UINT)MF_GRAYED, during.flags);
    EXPECT_EQ((std::vector<std::string>{TRIAL_RECORD, "O a.txt コピーします。（確認のみ）", "O b.txt コピーします。（確認のみ）"}),
              RunLogLines());
    EXPECT_EQ("", Dest());
    EXPECT_EQ((UINT)MF_ENABLED, TrialMenuFlags());
}
#endif

// ---- the end of a worker, the end of the session ----

class WorkerEndTest : public CopyRunTest {
  protected:
    static void Reset() {
        g_workerEndingHook = nullptr, g_closeRequested = 0, g_workerActive = 0, g_walkActive = 0, g_waitingForFile = 0;
    }
    void SetUp() override { CopyRunTest::SetUp(), Reset(); }
    void TearDown() override { Reset(), CopyRunTest::TearDown(); }
    // How many UM_CLOSEDIALOG were posted to the dialog since the last call.
    int ClosesPosted() {
        int closes = 0;
#ifdef KESTREL_SIM
        for (auto &m : SimPostedMessages(dialog)) closes += m.message == UM_CLOSEDIALOG;
        closes -= closesSeen;
        closesSeen += closes;
#else
        while (CloseDialogPosted(dialog)) closes++;
#endif
        return closes;
    }
    int closesSeen = 0;
};

// A close at the worker's last moment (after its last message, before it is marked ended) ends
// the program, once, also when it comes twice; a close after the end closes the window at once
// and leaves no flag behind.
TEST_F(WorkerEndTest, CloseAtTheWorkersLastMomentIsTakenOnce) {
    Build("src\\a.txt\ndst\\\n");
    static int closes;
    for (int times : {1, 2, 0}) {
        bool atLastMoment = times > 0;
        SCOPED_TRACE(times);
        closes = times;
        void (*close)(void *) = [](void *d) {
            for (int i = 0; i < closes; i++) EXPECT_TRUE(CloseWhenRunEnds((HWND)d));
        };
        g_workerEndingHook = atLastMoment ? close : nullptr;
        g_workerEndingContext = dialog;
        g_workerActive = 1;
        Run(src + "a.txt", dst);
        if (!atLastMoment) {
            EXPECT_FALSE(CloseWhenRunEnds(dialog));
        }
        EXPECT_EQ(atLastMoment ? 1 : 0, ClosesPosted());
        EXPECT_EQ(!atLastMoment, ControlEnabled(dialog, IDC_SOURCES)) << "enabled again only when not closing";
        EXPECT_EQ(0, g_closeRequested.load()) << "nothing left to stop the next run";
    }
}

// While a close or the session's end waits for the file being copied, the progress line says so.
static const char WAITING_TEXT[] = "現在のファイルのコピーが終わるまでお待ちください。";

TEST_F(WorkerEndTest, SessionEndIsRefusedOnlyWhileTheWalkRuns) {
    struct Row {
        int workerActive, walkActive;
        bool allowed;
    } rows[] = {{0, 0, true}, {1, 0, true} /* validating or showing the viewers */, {1, 1, false}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.workerActive * 10 + row.walkActive);
        g_stopRequest = 0;
        EnableWindow(GetDlgItem(dialog, IDC_START), TRUE);
        SetDlgItemTextA(dialog, IDC_PROGRESS, "data\\big.bin");
        g_workerActive = row.workerActive;
        g_walkActive = row.walkActive;
        EXPECT_EQ(row.allowed, AllowSessionEnd(dialog));
        EXPECT_EQ(row.allowed ? 0 : 1, g_stopRequest.load());
        EXPECT_EQ(row.allowed, ControlEnabled(dialog, IDC_START));
        EXPECT_EQ(row.allowed ? "data\\big.bin" : WAITING_TEXT, ControlText(dialog, IDC_PROGRESS));
        EXPECT_EQ(0, g_closeRequested.load()) << "refused is not ended: the log viewer still comes";
    }
}

// The wait of WM_ENDSESSION on a clock of its own: it ends with the walk, or at the limit, also
// across the tick counter's wrap, and never asks for a slice longer than the time that is left.
static const DWORD CLOCK_START = 0xFFFFFFF0u; // wraps 16 ms in
static DWORD s_clock, s_walkEndsAt, s_longestSlice;
static int s_slices;
static DWORD FakeNow() { return s_clock; }
static void FakeAnswer(DWORD ms) {
    s_slices++;
    s_longestSlice = ms > s_longestSlice ? ms : s_longestSlice;
    s_clock += ms == 20 ? 7 : ms; // a message cuts the first slices short
    if (s_clock - CLOCK_START >= s_walkEndsAt) g_walkActive = 0;
}
TEST_F(WorkerEndTest, SessionEndWaitsForTheWalkAtMostTheLimit) {
    struct Row {
        int walkActive;
        DWORD walkEndsAt, limit;
        bool ended;
        int slices;
    } rows[] = {{0, 0, 100, true, 0}, {1, 30, 100, true, 5}, {1, 1000, 100, false, 13}, {1, 1000, 3, false, 1}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.walkEndsAt);
        s_clock = CLOCK_START, s_walkEndsAt = row.walkEndsAt, s_longestSlice = 0, s_slices = 0;
        g_workerActive = 1, g_walkActive = row.walkActive, g_stopRequest = 0;
        SessionWaitSteps steps = {FakeNow, FakeAnswer};
        EXPECT_EQ(row.ended, WaitForWalkToEnd(dialog, steps, row.limit));
        EXPECT_EQ(row.slices, s_slices);
        EXPECT_LE(s_longestSlice, row.limit < 20 ? row.limit : 20u);
        if (!row.ended) {
            EXPECT_EQ(row.limit, s_clock - CLOCK_START) << "waited to the limit, no longer";
        }
        EXPECT_EQ(1, g_stopRequest.load());
        EXPECT_EQ(1, g_closeRequested.load()) << "the worker closes the program when it ends";
        g_closeRequested = 0;
    }
}

#ifdef KESTREL_SIM
// Started workers (on Windows the worker's messages would need this thread's message loop; the GUI
// bench shows these under Wine).
static void WaitForWorker() {
    for (int i = 0; i < 5000 && g_workerActive.load(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(0, g_workerActive.load());
}

// A run started after a stopped run, or after a close request that was never taken, runs to its
// end: the start button clears both requests.
TEST_F(WorkerEndTest, RunAfterAStopOrALeftOverCloseRunsToItsEnd) {
    Build("src\\one.txt\nsrc\\two.txt\ndst\\\n");
    Fields("\"" + src + "one.txt\" \"" + src + "two.txt\"", dst);
    g_progressLine.watch = [](void *d, const char *text) {
        if (strcmp(text, "one.txt") == 0) PressStartButton((HWND)d);
    };
    g_progressLine.watchContext = dialog;
    PressStartButton(dialog);
    WaitForWorker();
    ASSERT_EQ("! > > ユーザの指示によりコピーを停止しました。", RunLogLines().back());
    g_progressLine.watch = nullptr;
    for (int leftOverClose : {0, 1}) {
        SCOPED_TRACE(leftOverClose);
        g_closeRequested = leftOverClose;
        int shown = g_logViewerShown;
        PressStartButton(dialog);
        WaitForWorker();
        EXPECT_EQ(Sorted({"O one.txt コピーしました。", "O two.txt コピーしました。"}), Sorted(RunLogLines()));
        EXPECT_EQ(shown + 1, g_logViewerShown.load());
        EXPECT_EQ(0, ClosesPosted());
    }
}

// WM_ENDSESSION while a file is being copied: the file completes, nothing after it is copied, no
// viewer is shown, and the wait returns once the walk has ended; the worker then closes the program.
TEST_F(WorkerEndTest, SessionEndWaitsForTheFileBeingCopied) {
    Build("src\\one.txt text=\"1\"\nsrc\\two.txt\ndst\\\n");
    Fields("\"" + src + "one.txt\" \"" + src + "two.txt\"", dst);
    static std::atomic<int> atOne, released;
    atOne = 0, released = 0;
    g_progressLine.watch = [](void *, const char *text) {
        if (strcmp(text, "one.txt") != 0) return;
        atOne = 1;
        // The worker is about to copy one.txt; held for 10 s at most, so a failing test ends.
        for (DWORD start = GetTickCount(); !released && GetTickCount() - start < 10000;) std::this_thread::yield();
    };
    int shown = g_logViewerShown;
    PressStartButton(dialog);
    for (DWORD start = GetTickCount(); !atOne && GetTickCount() - start < 10000;) std::this_thread::yield();
    ASSERT_EQ(1, atOne.load()) << "the walk never reached one.txt";
    EXPECT_FALSE(AllowSessionEnd(dialog));
    ShowRunProgress(dialog); // the timer, with one.txt published: the waiting text stays
    EXPECT_EQ(WAITING_TEXT, ControlText(dialog, IDC_PROGRESS));
    SessionWaitSteps steps = {GetTickCount, [](DWORD ms) { released = 1, Sleep(ms); }};
    EXPECT_TRUE(WaitForWalkToEnd(dialog, steps, END_SESSION_WAIT_MS));
    EXPECT_EQ(0, g_walkActive.load());
    WaitForWorker();
    EXPECT_EQ((std::vector<std::string>{"O one.txt コピーしました。", "! > > ユーザの指示によりコピーを停止しました。"}),
              RunLogLines());
    EXPECT_EQ("one.txt attr= size=1 text=\"1\"\n", Dest());
    EXPECT_EQ(shown, g_logViewerShown.load());
    EXPECT_EQ(1, ClosesPosted());
}
#endif

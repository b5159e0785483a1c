// The copy worker's side of the progress line: the worker never writes the label per entry; at the
// end of a run the label shows the last entry reached and is then emptied; the dialog's timer
// shows the latest entry and ends itself once the worker has ended.
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
    // The walk published 41 entries; the label got the last one and then the empty text.
    ASSERT_EQ(2u, s_labelTexts.size());
    EXPECT_EQ(0u, s_labelTexts[0].rfind("d\\f1", 0)) << s_labelTexts[0];
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
    EXPECT_EQ((std::vector<std::string>{"one.txt", ""}), s_labelTexts);
}

#ifdef KESTREL_SIM
TEST_F(CopyRunTest, TimerShowsTheLatestEntryAndEndsAfterTheWorker) {
    g_workerActive = 1;
    SetTimer(dialog, PROGRESS_TIMER_ID, PROGRESS_INTERVAL_MS, nullptr);
    PublishProgress(&g_progressLine, "a\\b");
    PublishProgress(&g_progressLine, "a\\c");
    ShowRunProgress(dialog);
    EXPECT_EQ("a\\c", ControlText(dialog, IDC_PROGRESS));
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

// The worker takes the trial flag once: its run records what it would do and changes nothing;
// the next run is a real one again.
TEST_F(CopyRunTest, TrialFlagMakesOneRunATrialThatChangesNothing) {
    Build("src\\d\\a.txt text=\"new\"\ndst\\\n");
    g_trialRun = 1;
    EXPECT_EQ((std::vector<std::string>{TRIAL_RECORD, "O d フォルダを作成します。（確認のみ）",
                                        "O d\\a.txt コピーします。（確認のみ）"}),
              Run(src + "d", dst));
    EXPECT_EQ(0, g_trialRun.load());
    EXPECT_EQ("", Dest());
    EXPECT_EQ((std::vector<std::string>{"O d フォルダを作成しました。", "O d\\a.txt コピーしました。"}), Run(src + "d", dst));
}

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

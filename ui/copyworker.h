// The copy worker: the thread that the start button starts with the main dialog as its argument.
// It reads the dialog into a copy job, validates it, saves the settings, switches the dialog to
// its running appearance, runs the job (copyrun.h), and at its end shows the viewers, reloads the
// history lists and switches the dialog back. Also the start button's start/stop rules and the
// display of the progress line.
#pragma once
#include <windows.h>
#include <atomic>
#include "progress.h"

// Validation warnings, the settings error and the thread-start error.
extern const char MSG_SOURCES_UNBALANCED[];
extern const char MSG_SOURCES_EMPTY[];
extern const char MSG_DEST_EMPTY[];
extern const char MSG_DEST_INVALID[];
extern const char MSG_DEST_NOT_FOLDER[];
extern const char MSG_TCD_UNBALANCED[];
extern const char MSG_TCF_UNBALANCED[];
extern const char MSG_TUD_UNBALANCED[];
extern const char MSG_TUF_UNBALANCED[];
// A field whose text does not fit its reader's buffer.
extern const char MSG_SOURCES_TOO_LONG[];
extern const char MSG_TCD_TOO_LONG[];
extern const char MSG_TCF_TOO_LONG[];
extern const char MSG_TUD_TOO_LONG[];
extern const char MSG_TUF_TOO_LONG[];
extern const char MSG_REGISTRY_SAVE_FAILED[];
extern const char MSG_THREAD_START_FAILED[];
// While a close or the session's end waits for the file being copied: the progress line's text,
// and the reason the session's end is refused (shown by the system from Vista on).
extern const char MSG_WAITING_FOR_FILE[];

// UM_CLOSEDIALOG: makes the main dialog destroy itself (the program ends).
#define UM_CLOSEDIALOG (WM_USER + 1)

// While a worker is active the dialog shows the progress line's latest text on this timer, at
// most once per interval: the worker never waits for the user-interface thread per entry.
#define PROGRESS_TIMER_ID 1045
#define PROGRESS_INTERVAL_MS 50

// 1 from the moment the start button starts a worker until that worker has either refused the
// inputs, failed to save the settings, or switched the dialog to its running appearance; a press
// of the start button in that interval starts nothing.
extern std::atomic<int> g_workerStarting;
// 1 from the moment the start button starts a worker until the worker ends (viewers included).
extern std::atomic<int> g_workerActive;
// 1 once the user closed the main window while a worker was active: the run stops at its next
// entry, shows no viewer, and the worker then closes the dialog (and with it the program). Back
// to 0 once the close is posted, and when the start button starts a worker.
extern std::atomic<int> g_closeRequested;
// 1 from the moment a close or the session's end waits for the file being copied until the start
// button starts the next worker: the progress line then reads MSG_WAITING_FOR_FILE, and the
// progress timer leaves it.
extern std::atomic<int> g_waitingForFile;
// The main window is to close (user-interface thread). While a worker is active: asks the run to
// stop, disables the start button, arranges for the program to end when the worker ends, and
// returns true (the caller then leaves the window open); while the walk runs, the progress line
// says why the window stays. Otherwise false: close at once.
// UM_CLOSEDIALOG is posted exactly once, whichever of this and the worker's end comes first.
bool CloseWhenRunEnds(HWND dialog);
// Called on the worker's thread after its last message to the dialog, right before it marks
// itself ended (null: nobody); tests set it before a run starts, to act at that moment.
extern void (*g_workerEndingHook)(void *context);
extern void *g_workerEndingContext;

// 1 while the worker walks the sources: from just before its first entry until its walk has
// returned. Only then can a file be half-copied.
extern std::atomic<int> g_walkActive;

// The session is to end (WM_QUERYENDSESSION, user-interface thread). While the walk runs: asks the
// run to stop, as the stop button does (the file being copied completes, the log viewer shows the
// stop), says so on the progress line, and returns false: the session must not end now.
// Otherwise true.
bool AllowSessionEnd(HWND dialog);

// The longest WM_ENDSESSION waits for the file being copied (ms): as long as the system waits by
// default for a program to end at log-off before it offers to end it (WaitToKillAppTimeout, 20 s).
#define END_SESSION_WAIT_MS 20000
// The wait answers messages in slices of at most this many ms, looking at the walk between them.
#define SESSION_WAIT_SLICE_MS 20
// The platform calls of the wait. The main window fills them with GetTickCount and a wait for
// messages that handles every message there is; the host tests with stand-ins.
struct SessionWaitSteps {
    DWORD (*now)();                         // milliseconds, wrapping at 2^32
    void (*answerMessages)(DWORD timeoutMs); // waits at most that long for messages, handles them
};
// The session ends (WM_ENDSESSION with TRUE, user-interface thread), and the process may end as
// soon as this returns. While a worker is active: arranges for it to stop and close the program as
// closing the window does (no viewer). Then, while the walk runs, answers messages (the worker
// reaches the dialog through sent messages) until the walk has returned, so that the file being
// copied is complete, or until `limit` ms have passed. True when the walk is not running on return.
bool WaitForWalkToEnd(HWND dialog, const SessionWaitSteps &steps, DWORD limit);
// The progress line of the run: the walk publishes into it, the dialog shows it.
extern ProgressLine g_progressLine;

// The start button (1046) was pressed. Idle: clear the stop request and start one worker; when the
// thread cannot be started, show "スレッドを起動できません。" and destroy the dialog. Running: set
// the stop request and disable the button.
void PressStartButton(HWND dialog);

// 1 when the next worker is to make a trial run: set by the user-interface thread before it starts
// the worker, taken (and cleared) by the worker once, first thing, into its job's trial flag.
extern std::atomic<int> g_trialRun;
// The trial-run command of the system menu is taken: no run is active (no worker starting,
// running or showing its viewers) and the dialog is idle.
bool TrialRunAvailable();
// EnableMenuItem's flags for the command, by command: enabled while TrialRunAvailable, else greyed.
UINT TrialMenuFlags();
// The trial-run command (user-interface thread). When available: starts a worker exactly as the
// start button does, its job marked as a trial, and returns true. Otherwise does nothing: false.
bool StartTrialRun(HWND dialog);

// The worker: `dialog` is the main dialog. Ends when it returns.
void CopyRunThread(void *dialog);

// The progress timer fired (user-interface thread): shows the line's latest text in 1045 when it
// changed, and ends the timer once no worker is active.
void ShowRunProgress(HWND dialog);

// The copy worker: reading and validating the job, saving the settings, the run with the dialog
// in its running appearance, the viewers at its end; the start button's rules.
#include "copyworker.h"
#include "controls.h"
#include "copylog.h"
#include "copyrun.h"
#include "dialogwords.h"
#include "msgbox.h"
#include "patterns.h"
#include "runstate.h"
#include "scheduled.h"
#include "settings.h"
#include "viewers.h"
#include <process.h>
#include <cstring>

const char MSG_SOURCES_UNBALANCED[] = "コピーするフォルダやファイル名の欄に不整合な引用符があります。";
const char MSG_SOURCES_EMPTY[] = "コピーするフォルダやファイル名を入力してください。";
const char MSG_DEST_EMPTY[] = "コピー先のフォルダ名を入力してください。";
const char MSG_DEST_INVALID[] = "コピー先のフォルダ名が不正です。";
const char MSG_DEST_NOT_FOLDER[] = "コピー先にフォルダを指定してください。";
const char MSG_TCD_UNBALANCED[] = "コピーするフォルダやファイルの種類（フォルダ）に不整合な引用符があります。";
const char MSG_TCF_UNBALANCED[] = "コピーするファイルの種類（ファイル）に不整合な引用符があります。";
const char MSG_TUD_UNBALANCED[] = "コピーしないファイルの種類（フォルダ）に不整合な引用符があります。";
const char MSG_TUF_UNBALANCED[] = "コピーしないファイルの種類（ファイル）に不整合な引用符があります。";
const char MSG_SOURCES_TOO_LONG[] = "コピーするフォルダやファイルが多すぎます。";
const char MSG_TCD_TOO_LONG[] = "コピーするフォルダやファイルの種類（フォルダ）が長すぎます。";
const char MSG_TCF_TOO_LONG[] = "コピーするファイルの種類（ファイル）が長すぎます。";
const char MSG_TUD_TOO_LONG[] = "コピーしないファイルの種類（フォルダ）が長すぎます。";
const char MSG_TUF_TOO_LONG[] = "コピーしないファイルの種類（ファイル）が長すぎます。";
const char MSG_REGISTRY_SAVE_FAILED[] = "レジストリを設定できません。";
const char MSG_THREAD_START_FAILED[] = "スレッドを起動できません。";
const char MSG_WAITING_FOR_FILE[] = "現在のファイルのコピーが終わるまでお待ちください。";

std::atomic<int> g_workerStarting{0};
std::atomic<int> g_workerActive{0};
std::atomic<int> g_closeRequested{0};
std::atomic<int> g_trialRun{0};
std::atomic<int> g_walkActive{0};
std::atomic<int> g_waitingForFile{0};
void (*g_workerEndingHook)(void *context) = nullptr;
void *g_workerEndingContext = nullptr;
ProgressLine g_progressLine;

// The run stops before its next entry; the button stays disabled until the run has ended.
static void RequestStop(HWND dialog) {
    g_stopRequest = 1;
    EnableWindow(GetDlgItem(dialog, IDC_START), FALSE);
}

// ---- start button ----

void PressStartButton(HWND dialog) {
    if (g_idleFlag) {
        // A worker that is still validating or saving has not switched the dialog yet: the idle
        // flag still reads 1, and a second worker must not start.
        if (g_workerStarting.exchange(1)) return;
        g_stopRequest = 0;
        g_closeRequested = 0;
        g_waitingForFile = 0;
        g_workerActive = 1;
        MarkRunStart();
        uintptr_t thread = _beginthread(CopyRunThread, 0, dialog);
        if (thread == (uintptr_t)-1) {
            g_workerActive = 0;
            g_workerStarting = 0;
            ShowErrorBox(dialog, "%s", MSG_THREAD_START_FAILED);
            DestroyWindow(dialog);
            return;
        }
        SetTimer(dialog, PROGRESS_TIMER_ID, PROGRESS_INTERVAL_MS, nullptr);
        return;
    }
    RequestStop(dialog);
}

// ---- the progress line ----

// Takes the line's latest entry, when there is a new one, and shows it after the counts so far.
// The walk only publishes the entry's name: the counts are read and the text is composed here,
// at the reader's pace.
static void ShowLatestProgress(HWND dialog) {
    char name[PROGRESS_TEXT_SIZE], text[PROGRESS_TEXT_SIZE + 64];
    if (!TakeProgress(&g_progressLine, name, sizeof name)) return;
    RunCounts counts = CurrentRunCounts();
    FormatProgressLine(text, sizeof text, counts.copied, counts.bytes, name);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, WM_SETTEXT, 0, (LPARAM)text);
}

void ShowRunProgress(HWND dialog) {
    if (!g_waitingForFile) ShowLatestProgress(dialog);
    if (!g_workerActive) KillTimer(dialog, PROGRESS_TIMER_ID);
}

// The end of the walk (worker): the entry the walk reached last is shown even when the timer has
// not come round to it (a stopped run shows where it stopped), then the line is emptied. Two
// messages per run, none per entry.
static void EndProgress(HWND dialog) {
    char text[PROGRESS_TEXT_SIZE];
    ShowLatestProgress(dialog);
    PublishProgress(&g_progressLine, "");
    TakeProgress(&g_progressLine, text, sizeof text);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, WM_SETTEXT, 0, (LPARAM) "");
}

// ---- reading the job ----

static bool EndsInSeparator(const char *text) {
    size_t length = strlen(text);
    const char *separator = FindLastSingleByteChar(text, '\\');
    return length && separator == text + length - 1;
}

// Reads a control's text into `text` (`size` bytes), always terminated. False when the text does
// not fit: a text put in by a message, a script or the command line is not bounded by the typing
// limits (and Wine counts those in characters, not bytes), and a cut text is another path or
// pattern, possibly ending in half a character. The text is read with two bytes to spare, so
// a control that cuts at a character boundary still shows a text that is too long.
static bool ReadControlText(HWND dialog, int id, char *text, int size) {
    char read[SOURCES_TEXT_LIMIT + 3];
    read[0] = '\0';
    SendDlgItemMessageA(dialog, id, WM_GETTEXT, (WPARAM)(size + 2), (LPARAM)read);
    read[size + 1] = '\0';
    size_t length = strlen(read);
    if (length > (size_t)size - 1) {
        text[0] = '\0';
        return false;
    }
    memcpy(text, read, length + 1);
    return true;
}

// Splits a field into `list`. False when it cannot be split; `*noMemory` tells an allocation
// failure from unbalanced quotes.
static bool SplitField(char *text, WordList *list, bool *noMemory) {
    list->count = 0;
    list->words = nullptr;
    int result = SplitWords(text, &list->count, &list->words);
    if (result == SPLIT_NO_MEMORY) *noMemory = true;
    return result >= 0;
}

// Makes the destination (ending in "\\") a full path, once per run: the missing-files list names
// every entry by it, and DelDest.bat, written from that list and run from the desktop, must not
// delete relative to another folder. A destination that cannot be made full stays as typed; the
// batch file then refuses its relative names.
static void ResolveDestination(char *dest) {
    char full[MAX_PATH];
    char *filePart;
    DWORD length = GetFullPathNameA(dest, MAX_PATH, full, &filePart);
    // GetFullPathNameA returns the size it needs instead of 0 when the full path does not fit.
    if (length == 0 || length + 1 >= MAX_PATH) return;
    strcpy(dest, full);
    if (!EndsInSeparator(dest)) strcat(dest, "\\");
}

// Reads, splits and validates the job. Shows the warning of the first failing step and returns
// false; the lists built so far are released.
static bool ReadCopyJob(HWND dialog, CopyJob *job) {
    memset(job, 0, sizeof *job);
    const char *warning = nullptr;
    DWORD destAttributes;
    bool noMemory = false;
    if (!ReadControlText(dialog, IDC_SOURCES, job->sources, sizeof job->sources))
        warning = MSG_SOURCES_TOO_LONG;
    else if (!SplitField(job->sources, &job->sourceList, &noMemory))
        warning = MSG_SOURCES_UNBALANCED;
    else if (job->sourceList.count == 0)
        warning = MSG_SOURCES_EMPTY;
    else if (!ReadControlText(dialog, IDC_DEST, job->dest, MAX_PATH))
        warning = MSG_DEST_INVALID;
    else if (!job->dest[0])
        warning = MSG_DEST_EMPTY;
    else if ((destAttributes = GetFileAttributesA(job->dest)) == INVALID_FILE_ATTRIBUTES)
        warning = MSG_DEST_INVALID;
    else if (!(destAttributes & FILE_ATTRIBUTE_DIRECTORY))
        warning = MSG_DEST_NOT_FOLDER;
    if (!warning) {
        if (!EndsInSeparator(job->dest)) strcat(job->dest, "\\");
        ResolveDestination(job->dest);
        if (!ReadControlText(dialog, IDC_TCD, job->tcd, sizeof job->tcd))
            warning = MSG_TCD_TOO_LONG;
        else if (!SplitField(job->tcd, &job->tcdList, &noMemory))
            warning = MSG_TCD_UNBALANCED;
        else if (!ReadControlText(dialog, IDC_TCF, job->tcf, sizeof job->tcf))
            warning = MSG_TCF_TOO_LONG;
        else if (!SplitField(job->tcf, &job->tcfList, &noMemory))
            warning = MSG_TCF_UNBALANCED;
        else if (!ReadControlText(dialog, IDC_TUD, job->tud, sizeof job->tud))
            warning = MSG_TUD_TOO_LONG;
        else if (!SplitField(job->tud, &job->tudList, &noMemory))
            warning = MSG_TUD_UNBALANCED;
        else if (!ReadControlText(dialog, IDC_TUF, job->tuf, sizeof job->tuf))
            warning = MSG_TUF_TOO_LONG;
        else if (!SplitField(job->tuf, &job->tufList, &noMemory))
            warning = MSG_TUF_UNBALANCED;
    }
    if (!warning) return true;
    if (noMemory)
        // Not the user's input: the worker could not get the memory to begin its work.
        ShowErrorBox(dialog, "%s", MSG_THREAD_START_FAILED);
    else
        ShowWarningBox(dialog, "%s", warning);
    ReleaseCopyJob(job);
    return false;
}

// The five history lists in the order the run saves and reloads them.
static const HistoryList HISTORY_ORDER[] = {HISTORY_DEST, HISTORY_TCD, HISTORY_TCF, HISTORY_TUD, HISTORY_TUF};

// Saves MODE, CONF and the five lists; false at the first failure.
static bool SaveRunSettings(HWND dialog, CopyJob *job) {
    LONG mode = SaveModeWord(dialog);
    if (mode < 0) return false;
    LONG conf = SaveConfWord(dialog);
    if (conf < 0) return false;
    job->mode = (DWORD)mode;
    job->conf = (DWORD)conf;
    for (HistoryList list : HISTORY_ORDER)
        if (SaveHistory(dialog, list) < 0) return false;
    return true;
}

// ---- the worker ----

// A close request, taken by whichever side sees it first with the worker ended: exactly one of
// the worker's end and CloseWhenRunEnds posts UM_CLOSEDIALOG, in every order of the two, and the
// flag is 0 again afterwards.
static bool TakeCloseRequest() { return g_closeRequested.exchange(0) != 0; }

// The worker ends: the start button may start the next one, or, when the user closed the main
// window meanwhile, the program ends now. One step: the worker is marked ended before the close
// request is read, so a close that arrives at any moment is either seen here or sees the worker
// ended. Returns true when the program is to end.
static bool EndWorker(HWND dialog) {
    // A /run start ends with its worker, its log file written first.
    bool scheduled = ScheduledStartActive();
    if (scheduled) FinishScheduledStart();
    if (g_workerEndingHook) g_workerEndingHook(g_workerEndingContext);
    // Active first: a press is taken only once starting reads 0, and it sets active again.
    g_workerActive = 0;
    g_workerStarting = 0;
    if (!TakeCloseRequest() && !scheduled) return false;
    PostMessageA(dialog, UM_CLOSEDIALOG, 0, 0);
    return true;
}

// A close or the session's end waits for the file being copied (user-interface thread): the
// progress line says so at once, instead of the name of the file, which may take a while.
static void ShowWaitingForFile(HWND dialog) {
    if (!g_walkActive || g_waitingForFile.exchange(1)) return;
    SetDlgItemTextA(dialog, IDC_PROGRESS, MSG_WAITING_FOR_FILE);
}

bool CloseWhenRunEnds(HWND dialog) {
    if (!g_workerActive) return false;
    g_closeRequested = 1;
    RequestStop(dialog);
    ShowWaitingForFile(dialog);
    // The worker may have ended between the test above and the request: then nobody else will.
    if (!g_workerActive && TakeCloseRequest()) PostMessageA(dialog, UM_CLOSEDIALOG, 0, 0);
    return true;
}

// ---- the end of the session ----

bool AllowSessionEnd(HWND dialog) {
    if (!g_walkActive && !ScheduledLogPending()) return true;
    RequestStop(dialog);
    ShowWaitingForFile(dialog);
    return false;
}

bool WaitForWalkToEnd(HWND dialog, const SessionWaitSteps &steps, DWORD limit) {
    // The stop is asked for before the walk is looked at, and the walk marks itself active before
    // it looks at the stop: either the walk is seen here or it stops before its first entry.
    CloseWhenRunEnds(dialog);
    DWORD start = steps.now();
    // A /run start's log file is written after the walk, by the worker: it is waited for too.
    while (g_walkActive || ScheduledLogPending()) {
        DWORD spent = steps.now() - start; // unsigned: right across the counter's wrap
        if (spent >= limit) return false;
        DWORD wait = limit - spent;
        steps.answerMessages(wait < SESSION_WAIT_SLICE_MS ? wait : SESSION_WAIT_SLICE_MS);
    }
    return true;
}

void CopyRunThread(void *argument) {
    HWND dialog = (HWND)argument;
    // Taken at once, before any way out: a worker that ends early leaves no trial to the next run.
    bool trial = g_trialRun.exchange(0) != 0;
    // The job is large (the sources field alone takes 4 KiB): it lives in memory of its own.
    CopyJob *job = (CopyJob *)LocalAlloc(LMEM_FIXED, sizeof(CopyJob));
    if (!job) {
        ShowErrorBox(dialog, "%s", MSG_THREAD_START_FAILED);
        EndWorker(dialog);
        return;
    }
    if (!ReadCopyJob(dialog, job)) {
        LocalFree(job);
        EndWorker(dialog);
        return;
    }
    job->trial = trial;
    if (!SaveRunSettings(dialog, job)) {
        ShowErrorBox(dialog, "%s", MSG_REGISTRY_SAVE_FAILED);
        ReleaseCopyJob(job);
        LocalFree(job);
        if (ScheduledStartActive()) FinishScheduledStart();
        PostMessageA(dialog, UM_CLOSEDIALOG, 0, 0);
        // g_workerStarting stays 1: the dialog is going away and no run may start.
        g_workerActive = 0;
        return;
    }
    SetInputsEnabled(dialog, FALSE);
    g_workerStarting = 0;
    // Active before the stop request is read: see WaitForWalkToEnd.
    g_walkActive = 1;
    if (g_closeRequested) g_stopRequest = 1; // closed while the settings were being saved
    ScheduledWalkBegins();
    bool stopped = RunCopySources(job, &g_progressLine) < 0;
    bool checkRan = !stopped && (job->conf & CONF_CHECK_MISSING);
    ScheduledWalkEnded(stopped, checkRan);
    // After every record of the run, the missing-in-source check's too; a /run start writes it
    // at its end, after the records of its boxes.
    if (!ScheduledStartActive()) CopyLogSummary(job->trial);
    g_walkActive = 0;
    EndProgress(dialog);
    if (!g_closeRequested && !ScheduledStartActive()) {
        // Closing asked for a stop: the viewers are not shown to a user who has left. A /run
        // start writes them to files instead (EndWorker).
        if (checkRan) ShowMissingViewer(dialog);
        ShowLogViewer(dialog);
    }
    for (HistoryList list : HISTORY_ORDER) LoadHistory(dialog, list);
    ReleaseCopyJob(job);
    LocalFree(job);
    if (!EndWorker(dialog)) SetInputsEnabled(dialog, TRUE);
}

// ---- the trial run (the system menu's command) ----

bool TrialRunAvailable() { return g_idleFlag && !g_workerActive && !g_workerStarting; }

UINT TrialMenuFlags() { return MF_BYCOMMAND | (TrialRunAvailable() ? MF_ENABLED : MF_GRAYED); }

bool StartTrialRun(HWND dialog) {
    if (!TrialRunAvailable()) return false;
    // Only this thread starts workers, and none is active: the start button's press below starts
    // one, and that worker takes the flag.
    g_trialRun = 1;
    PressStartButton(dialog);
    return true;
}

// A scheduled start (/run): the exit code, the log file's place and its replacement, the boxes
// that become records, and the end of the start.
#include "scheduled.h"
#include "cmdline.h"
#include "copylog.h"
#include "copyworker.h"
#include "filesystem.h"
#include "folder.h"
#include "msgbox.h"
#include "patterns.h"
#include "textfile.h"
#include "viewers.h"
#include <atomic>
#include <cstring>

int ScheduledExitCode(const RunOutcome &outcome) {
    if (!outcome.ran) return EXIT_NOT_RUN;
    if (outcome.stopped) return EXIT_STOPPED;
    if (outcome.counts.errors > 0 || !outcome.logWritten) return EXIT_ERRORS;
    if (outcome.counts.warnings > 0) return EXIT_WARNINGS;
    return EXIT_CLEAN;
}

// ---- the log file ----

int MissingDocumentPath(const char *logPath, char *missingPath) {
    static const char SUFFIX[] = "-missing";
    // The extension is the last single-byte "." of the file's name: a dot of a folder's name, or
    // a 0x5C trail byte taken for a separator, must not move it.
    const char *separator = FindLastSingleByteChar(logPath, '\\');
    const char *name = separator ? separator + 1 : logPath;
    const char *dot = FindLastSingleByteChar(name, '.');
    size_t stem = dot ? (size_t)(dot - logPath) : strlen(logPath);
    size_t length = strlen(logPath);
    if (length + sizeof SUFFIX > MAX_PATH) return (int)0x80000001;
    memcpy(missingPath, logPath, stem);
    memcpy(missingPath + stem, SUFFIX, sizeof SUFFIX - 1);
    memcpy(missingPath + stem + sizeof SUFFIX - 1, logPath + stem, length - stem + 1);
    return 0;
}

int TemporaryPathBeside(const char *path, char *temporary) {
    static const char SUFFIX[] = ".tmp";
    size_t length = strlen(path);
    if (length + sizeof SUFFIX > MAX_PATH) return (int)0x80000001;
    memcpy(temporary, path, length);
    memcpy(temporary + length, SUFFIX, sizeof SUFFIX);
    return 0;
}

static HANDLE CreateTemporaryFile(const char *temporary) {
    // A temporary file left by a run that was cut off is ours: it is replaced.
    return CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int CheckLogPlace(const char *path) {
    if (IsDeviceName(path)) return (int)0x80000001;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return (int)0x80000002;
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return (int)0x80000003;
    }
    char temporary[MAX_PATH];
    if (TemporaryPathBeside(path, temporary) < 0) return (int)0x80000004;
    HANDLE file = CreateTemporaryFile(temporary);
    if (file == INVALID_HANDLE_VALUE) return (int)0x80000005;
    CloseHandle(file);
    DeleteFileA(temporary);
    return 0;
}

// Writes all `size` bytes in one call; a write that takes fewer without saying why is a full disk.
static bool WriteWhole(HANDLE file, const char *bytes, DWORD size) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, size, &written, nullptr)) return false;
    if (written == size) return true;
    SetLastError(ERROR_DISK_FULL);
    return false;
}

int ReplaceFileWhole(const char *path, const char *bytes, DWORD size) {
    char temporary[MAX_PATH];
    if (TemporaryPathBeside(path, temporary) < 0) return (int)0x80000001;
    HANDLE file = CreateTemporaryFile(temporary);
    if (file == INVALID_HANDLE_VALUE) return (int)0x80000002;
    int result = 0;
    if (!WriteWhole(file, bytes, size))
        result = (int)0x80000003;
    else if (!FlushFileBuffers(file))
        result = (int)0x80000004;
    if (!CloseHandle(file) && result == 0) result = (int)0x80000004;
    WidePath wideTemporary, widePath;
    if (result == 0 && !(ToWidePath(temporary, &wideTemporary) && ToWidePath(path, &widePath) &&
                         REAL_DISK.replaceFile(wideTemporary.text, widePath.text, TRUE)))
        result = (int)0x80000005;
    if (result < 0) {
        DWORD error = GetLastError();
        DeleteFileA(temporary);
        SetLastError(error);
    }
    return result;
}

// Writes a document, closed with its brace, as the whole content of `path`.
static bool WriteDocument(const char *path, LogDocument *document) {
    if (!path[0]) return false;
    CloseRtfDocument(document);
    return ReplaceFileWhole(path, document->text, document->length) == 0;
}

// ---- the state of the start ----

static std::atomic<int> s_active{0};
static std::atomic<int> s_refused{0};
static std::atomic<int> s_walkBegan{0};
static std::atomic<int> s_stopped{0};
static std::atomic<int> s_checkRan{0};
static std::atomic<int> s_finishClaimed{0};
static std::atomic<int> s_finishDone{0};
static int s_exitCode = EXIT_NOT_RUN;
static char s_logPath[MAX_PATH];
static char s_missingPath[MAX_PATH];

// The records of the boxes, kept until the end of the start: a box may come from either thread,
// the log document is written by one at a time. Boxes beyond the last slot are not kept.
struct BoxRecord {
    unsigned level;
    char text[MESSAGE_TEXT_MAX + 1];
};
static const int BOX_RECORDS = 8;
static BoxRecord s_boxRecords[BOX_RECORDS];
static int s_boxRecordCount;
static std::atomic_flag s_boxLock = ATOMIC_FLAG_INIT;

static void KeepBoxRecord(unsigned level, const char *text) {
    while (s_boxLock.test_and_set(std::memory_order_acquire)) Sleep(0);
    if (s_boxRecordCount < BOX_RECORDS) {
        BoxRecord &record = s_boxRecords[s_boxRecordCount++];
        record.level = level;
        CopyMessageText(record.text, text);
    }
    s_boxLock.clear(std::memory_order_release);
}

// The message boxes of a /run start: nobody is there to close them.
static bool RecordBox(const char *text, UINT type) {
    bool information = MessageBoxIconValue(type) == MB_ICONASTERISK;
    if (!information && !s_walkBegan) s_refused = 1;
    KeepBoxRecord(information ? LOG_LEVEL_WARNING : LOG_LEVEL_ERROR, text);
    return true;
}

// The default log file: on the desktop, named as the viewer's save command names it.
static bool DefaultLogPath(char *path) {
    char name[64];
    ComposeSavedName(VIEWER_LOG, RunStartTime(), name, sizeof name);
    return DesktopFilePath(name, path);
}

// The /log value made full against the current folder.
static bool FullLogPath(const char *value, char *path) {
    char *filePart;
    DWORD length = GetFullPathNameA(value, MAX_PATH, path, &filePart);
    // GetFullPathNameA returns the size it needs instead of 0 when the path does not fit; a path
    // ending in a separator names no file.
    return length > 0 && length < MAX_PATH && filePart != nullptr;
}

bool BeginScheduledStart(const char *text) {
    RunWords words;
    ReadRunWords(text, &words);
    if (!words.run) return false;
    s_active = 1;
    g_boxRecorder = RecordBox;
    MarkRunStart();
    // A /log value that names no file is refused like a missing one; a refused line's log goes to
    // the default place, since its /log cannot be trusted.
    const char *refusal = words.refusal;
    if (!refusal && words.log && !FullLogPath(words.logPath, s_logPath)) refusal = MSG_LOG_MISSING;
    if ((refusal || !words.log) && !DefaultLogPath(s_logPath)) s_logPath[0] = '\0';
    if (refusal) {
        KeepBoxRecord(LOG_LEVEL_ERROR, refusal);
        s_refused = 1;
    }
    if (!s_logPath[0] || CheckLogPlace(s_logPath) < 0) s_refused = 1;
    if (!s_logPath[0] || MissingDocumentPath(s_logPath, s_missingPath) < 0) s_missingPath[0] = '\0';
    return true;
}

bool ScheduledStartActive() { return s_active != 0; }
bool ScheduledStartRefused() { return s_active && s_refused; }

void ScheduledWalkBegins() {
    if (s_active) s_walkBegan = 1;
}

void ScheduledWalkEnded(bool stopped, bool checkRan) {
    if (!s_active) return;
    s_stopped = stopped;
    s_checkRan = checkRan;
}

int FinishScheduledStart() {
    if (s_finishClaimed.exchange(1)) {
        // The other caller writes the log: its code once it is done (a log of 8 MiB takes a
        // moment; after 30 s the process is ending anyway).
        for (int i = 0; i < 3000 && !s_finishDone; i++) Sleep(10);
        return s_exitCode;
    }
    bool ran = s_walkBegan && !s_refused;
    // A start that never ran has a log of its own records alone.
    if (!s_walkBegan) ResetCopyLog();
    if (ran && g_copyLog.full) KeepBoxRecord(LOG_LEVEL_WARNING, MSG_LOG_FULL);
    if (ran && s_checkRan && g_missingList.full) KeepBoxRecord(LOG_LEVEL_WARNING, MSG_MISSING_FULL);
    while (s_boxLock.test_and_set(std::memory_order_acquire)) Sleep(0);
    for (int i = 0; i < s_boxRecordCount; i++) CopyLogNote(s_boxRecords[i].text, s_boxRecords[i].level);
    s_boxRecordCount = 0;
    s_boxLock.clear(std::memory_order_release);
    CopyLogSummary(false); // a trial run is never a /run start
    RunOutcome outcome = {ran, s_stopped != 0, CurrentRunCounts(), false};
    bool logWritten = WriteDocument(s_logPath, &g_copyLog);
    bool missingWritten = !(ran && s_checkRan) || WriteDocument(s_missingPath, &g_missingList);
    outcome.logWritten = logWritten && missingWritten;
    s_exitCode = ScheduledExitCode(outcome);
    s_finishDone = 1;
    return s_exitCode;
}

bool ScheduledLogPending() { return s_active && g_workerActive && !s_finishDone; }

const char *ScheduledLogPath() { return s_logPath; }
const char *ScheduledMissingPath() { return s_missingPath; }

void ResetScheduledStart() {
    s_active = s_refused = s_walkBegan = s_stopped = s_checkRan = s_finishClaimed = s_finishDone = 0;
    s_exitCode = EXIT_NOT_RUN;
    s_logPath[0] = s_missingPath[0] = '\0';
    s_boxRecordCount = 0;
    g_boxRecorder = nullptr;
}

// A scheduled start (/run): the job runs as the start button runs it once the main window is
// shown, nothing waits for a person (every box becomes a record of the log), and the program ends
// by itself, leaving its log in a file and an exit code that says how the run went.
#pragma once
#include <windows.h>
#include "runstats.h"

// ---- the exit code ----

// Exit codes of a /run start, the first that applies.
#define EXIT_NOT_RUN 16 // nothing was run: a refusal, a failed start-up step, no place for the log
#define EXIT_STOPPED 3  // the run was stopped (the stop button, the session's end)
#define EXIT_ERRORS 2   // error records, or the log file could not be written at the end
#define EXIT_WARNINGS 1 // warnings and no error
#define EXIT_CLEAN 0    // no error and no warning

// How a /run start went: what became of the run, its summary's counts and its files.
struct RunOutcome {
    bool ran;        // the walk began (the job was read, validated and its settings saved)
    bool stopped;     // the walk was stopped
    RunCounts counts; // the summary's counts: only エラー and 警告 decide
    bool logWritten;  // the log file, and the missing-files document when the check ran, are written
};
int ScheduledExitCode(const RunOutcome &outcome);

// ---- the log file ----

// The missing-files document beside the log file: "-missing" before the extension of the log
// file's name ("nightly.rtf" gives "nightly-missing.rtf", "nightly" gives "nightly-missing").
// 0, or 0x80000001 when that path would not fit in MAX_PATH bytes.
int MissingDocumentPath(const char *logPath, char *missingPath);

// The temporary file beside `path` that a replacement is written to first: the path with ".tmp"
// appended. 0, or 0x80000001 when it would not fit in MAX_PATH bytes.
int TemporaryPathBeside(const char *path, char *temporary);

// Can a log file be written at `path` (a full path)? 0 when its temporary file could be created
// (and was deleted again) and the name can then be replaced. Otherwise, before anything runs:
// 0x80000001 a device name (CON, NUL, …); 0x80000002 a folder or a read-only file has the name;
// 0x80000003 the folder cannot be reached; 0x80000004 the temporary path is too long;
// 0x80000005 nothing can be created in the folder.
int CheckLogPlace(const char *path);

// Writes `size` bytes as the whole content of `path`: first into the temporary file beside it,
// flushed and closed, then moved over `path`, so that a failure never leaves half a file and
// never loses the file that was there (the file-system layer's replaceFile: where the platform
// cannot move over a file, the old one is deleted just before the move). 0, or (the temporary
// file deleted again, `path` as it was): 0x80000001 the temporary path is too long; 0x80000002 it
// cannot be created; 0x80000003 a write failed; 0x80000004 the flush or the close failed;
// 0x80000005 it cannot be moved over `path`.
int ReplaceFileWhole(const char *path, const char *bytes, DWORD size);

// ---- the start ----

// Reads the command line's run words (ReadRunWords on `text`) before any step of the start that
// can show a box. False: no /run, nothing changes. True: this is a /run start; from now on every
// message box becomes a record "> >" of the log (errors and warnings at level 2, information at
// level 3) written before the summary; the run's start is marked (MarkRunStart) and the log
// file's path decided (the /log value made full against the current folder, or
// KestrelLog-YYYYMMDD-HHMMSS.rtf of that moment on the desktop when there is none or the line is
// refused) and its place checked. A refused line or a log place that cannot be written refuses
// the start.
bool BeginScheduledStart(const char *text);
// This process is a /run start.
bool ScheduledStartActive();
// The start is refused: the line or the log's place was, or an error or warning box came before
// the walk began. The run must not start; the program ends with EXIT_NOT_RUN.
bool ScheduledStartRefused();
// The worker is about to walk the sources (its job is read, valid, and its settings saved).
void ScheduledWalkBegins();
// The walk has returned: stopped or not, and whether the missing-in-source check ran.
void ScheduledWalkEnded(bool stopped, bool checkRan);
// The end of a /run start, once: the full-log warnings (level 3) and the records of the boxes
// go into the log, counted nowhere (after a reset when nothing ran: a refused start's log holds
// only its own records and a summary of zeros), then the summary; the log document is written to
// the log file, and the missing-files
// document beside it when the check ran. Returns the exit code. The worker calls it at its end,
// the start sequence when the start ends without a worker; a second call returns the first's
// code (waiting for it to be done).
int FinishScheduledStart();
// A worker is active and the log file is not written yet: the end of the session waits for it.
bool ScheduledLogPending();

// The paths decided at the start ("" when none could be).
const char *ScheduledLogPath();
const char *ScheduledMissingPath();
// Forget the start (tests): not a /run start, boxes shown again.
void ResetScheduledStart();

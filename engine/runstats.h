// How a copy run went: the counts of its summary record, taken from the log's records whatever
// the log level keeps, the moment the user started it, and the texts made of them (the summary
// record and the counts on the progress line).
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

// The counts of one run. A trial run counts what it would copy and create.
struct RunCounts {
    DWORD copied;   // files copied (a copy whose attributes could not be set included)
    uint64_t bytes; // their sizes
    DWORD folders;  // folders created (an existing destination folder is counted nowhere)
    DWORD refused;  // files and folders a condition refused: pattern, category, permission, size, date
    DWORD errors;   // level-2 records, those of the missing-in-source check included
    DWORD warnings; // level-3 records other than the stop, trial and summary records
};

// The counts so far. Written only by the worker (through the log); the user-interface thread may
// read them at any moment for the progress line: each count is read whole, not all at one instant.
RunCounts CurrentRunCounts();
// Zero counts: the log document's reset does it at the start of every run.
void ResetRunCounts();
// The log's side: one record of `level` with `message` was made (kept in the document or not).
void CountLogRecord(unsigned level, const char *message);
// The walk's side: the file it is about to copy has `size` bytes. Its copy record (the next
// record, whichever way the copy goes) adds them to the bytes; any other record drops them.
void NoteFileToCopy(int64_t size);

// The user started a run: the press of the start button or the trial command (user-interface
// thread, before the worker starts). The summary's time counts from here, and the names of saved
// logs take this local time.
void MarkRunStart();
// Whole seconds since MarkRunStart.
DWORD SecondsSinceRunStart();
// The local time of MarkRunStart.
SYSTEMTIME RunStartTime();

// `count` in decimal, its digits grouped by threes with commas ("5,050"), into `out`: 14 bytes
// hold any 32-bit count, 27 any 64-bit one.
void FormatCount(uint64_t count, char *out);

// The summary record's message into `out` (`size` bytes, always terminated):
//   コピー %s 件（%s バイト）、フォルダ作成 %s 件、未コピー %s 件、エラー %s 件、警告 %s 件、経過時間 %s
// every count with thousands separators ("1,234"), the time as H:MM:SS ("0:03:07"), and for a
// trial run "（確認のみ）" after it. Returns the message's length.
size_t FormatRunSummary(char *out, size_t size, const RunCounts &counts, DWORD seconds, bool trial);
// The progress line: "<files> 件 <size>  <name>", for example "1,234 件 56.7 MB  data\sub\a.txt";
// the size in B below 1,024 bytes, else in KB, MB, GB or TB (of 1,024) with one decimal, cut
// down, never rounded up. An empty name gives an empty line (nothing is being visited). Longer
// lines are cut at a character boundary.
void FormatProgressLine(char *out, size_t size, DWORD copied, uint64_t bytes, const char *name);

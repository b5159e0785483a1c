// The copy run: the depth-first walk of every source of a job, with one log record per visited
// entry and the current entry on the progress line. The worker that reads the job from the main
// dialog and shows the viewers is the user interface's (copyworker.h).
#pragma once
#include <windows.h>
#include "copyjob.h"
#include "progress.h"

// Messages of the walk.
extern const char MSG_RUN_STOPPED[];
extern const char MSG_SOURCE_IS_DEST_FOLDER[]; // the walk reached the destination folder itself
extern const char MSG_SOURCE_IS_DEST[];        // an entry would be copied onto itself
// A trial run: its first record ("> >", level 3), and what it records where the real run creates
// a folder or copies a file (level 1).
extern const char MSG_TRIAL_RUN[];
extern const char MSG_TRIAL_FOLDER_CREATED[];
extern const char MSG_TRIAL_COPIED[];

// The run of a validated job whose settings are saved: resets the two log documents, then, source
// by source, resolves the source, walks it and, when the job's CONF asks for it, checks what the
// destination has that the source lacks. The current entry goes to `progress` (may be null), every
// decision to the log. A stop request ends the loop with the record "> >" "ユーザの指示により
// コピーを停止しました。". -1 when the run was stopped, 0 when every source was visited.
int RunCopySources(const CopyJob *job, ProgressLine *progress);

// What a folder's listing says of one of its entries: its attribute word, its size and its
// last-write time in whole seconds since 1970 (rounded down, as the file status reports it). The
// walk takes an entry's facts from the listing that found it instead of asking for them again.
struct ListedEntry {
    DWORD attributes;
    int64_t size;
    int64_t written;
};
ListedEntry ListedFacts(const WIN32_FIND_DATAA &found);
// A file time in whole seconds since 1970, rounded down.
int64_t SecondsSince1970(const FILETIME &time);

// One visited entry: relative path, the folder that holds the source item (ending in "\\") and the
// destination (ending in "\\"); `listed` is what the listing said of an entry inside a source
// folder (null for a source item, whose facts are read). Negative when the stop request was found
// set; 0 otherwise, whatever happened to the entry.
int WalkEntry(ProgressLine *progress, DWORD mode, const WordList &tcd, const WordList &tcf, const WordList &tud,
              const WordList &tuf, const char *relative, const char *sourceBase, const char *destBase,
              const ListedEntry *listed = nullptr);

// The decision for a source folder: 1 the folder exists at the destination (descend), 0 refused,
// -1 a destination problem. Writes exactly one record. A folder that would be the destination
// folder itself, or whose source folder is the destination, is refused (level 2) after the
// selection tests.
// `source` is the folder's source path: a source or destination path that is too long for the
// platform is refused before anything is tried.
int EnterFolder(DWORD mode, const WordList &tcd, const WordList &tud, DWORD attributes, const char *destBase,
                const char *relative, const char *source);

// The decision for a source file and, when it is to be copied, the copy. Writes exactly one record
// and returns its level (0-3). `listed`: the file's facts from its folder's listing, or null.
int CopyOneFile(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                const char *sourceBase, const char *destBase, const ListedEntry *listed = nullptr);


// The copy run: the depth-first walk of every source of a job, with one log record per visited
// entry and the current entry on the progress line. The worker that reads the job from the main
// dialog and shows the viewers is the user interface's (copyworker.h).
#pragma once
#include <windows.h>
#include "copyjob.h"
#include "progress.h"
#include "filesystem.h"

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

// Where an entry lies in a folder that this run has just created, the walk passes that folder's
// attribute word down (`madeFolder`): nothing there can exist yet, so nothing is looked up, and a
// copy never replaces anything. INVALID_FILE_ATTRIBUTES: the folder was there before;
// MADE_WORD_UNKNOWN: created, but its word could not be set.
#define MADE_WORD_UNKNOWN 0u

// One visited entry: relative path, the folder that holds the source item (ending in "\\") and the
// destination (ending in "\\"); `listed` is what the listing said of an entry inside a source
// folder (null for a source item, whose facts are read). Negative when the stop request was found
// set; 0 otherwise, whatever happened to the entry.
int WalkEntry(ProgressLine *progress, DWORD mode, const WordList &tcd, const WordList &tcf, const WordList &tud,
              const WordList &tuf, const char *relative, const char *sourceBase, const char *destBase,
              const ListedEntry *listed = nullptr, DWORD madeFolder = INVALID_FILE_ATTRIBUTES);

// The decision for a source folder: 1 the folder exists at the destination (descend), 2 it was
// created (descend; `*madeWord` gets the word it was given, see MADE_WORD_UNKNOWN), 0 refused,
// -1 a destination problem. Writes exactly one record. A folder that would be the destination
// folder itself, or whose source folder is the destination, is refused (level 2) after the
// selection tests.
// `source` is the folder's source path: a source or destination path that is too long for the
// platform is refused before anything is tried.
int EnterFolder(DWORD mode, const WordList &tcd, const WordList &tud, DWORD attributes, const char *destBase,
                const char *relative, const char *source, DWORD madeFolder = INVALID_FILE_ATTRIBUTES,
                DWORD *madeWord = nullptr);

// The decision for a source file and, when it is to be copied, the copy. Writes exactly one record
// and returns its level (0-3). `listed`: the file's facts from its folder's listing, or null.
int CopyOneFile(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                const char *sourceBase, const char *destBase, const ListedEntry *listed = nullptr,
                DWORD madeFolder = INVALID_FILE_ATTRIBUTES);


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
// The records of a copy and of a created folder (level 1, or 3 without the attributes set) and
// of an existing destination folder (level 0), which the run's summary counts by their message.
extern const char MSG_COPIED[];
extern const char MSG_COPIED_NO_ATTRIBUTES[];
extern const char MSG_FOLDER_CREATED[];
extern const char MSG_FOLDER_CREATED_NO_ATTRIBUTES[];
extern const char MSG_FOLDER_EXISTS[];

// The run of a validated job whose settings are saved: resets the two log documents, then, source
// by source, resolves the source, walks it and, when the job's CONF asks for it, checks what the
// destination has that the source lacks. The current entry goes to `progress` (may be null), every
// decision to the log. A stop request ends the loop with the record "> >" "ユーザの指示により
// コピーを停止しました。". -1 when the run was stopped, 0 when every source was visited.
int RunCopySources(const CopyJob *job, ProgressLine *progress);

// The walk keeps every name as the platform lists it (UTF-16): an entry whose name code page 932
// lacks is copied like any other; its records show it by its true name, and the patterns see it
// with "?" for each character the code page lacks (filesystem.h).
// Where an entry lies in a folder that this run has just created, the walk passes that folder's
// attribute word down (`madeFolder`): nothing there can exist yet, so nothing is looked up, and a
// copy never replaces anything. INVALID_FILE_ATTRIBUTES: the folder was there before;
// MADE_WORD_UNKNOWN: created, but its word could not be set.
#define MADE_WORD_UNKNOWN 0u



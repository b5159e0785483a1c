// The copy run: the worker that reads the main dialog into a copy job, validates it, saves the
// settings, walks every source depth-first and records one log record per visited entry, and the
// start/stop rules of the start button that starts it.
#pragma once
#include <windows.h>
#include <atomic>
#include "copyjob.h"

// Messages of the run (validation warnings, the settings error, walk records).
extern const char MSG_SOURCES_UNBALANCED[];
extern const char MSG_SOURCES_EMPTY[];
extern const char MSG_DEST_EMPTY[];
extern const char MSG_DEST_INVALID[];
extern const char MSG_DEST_NOT_FOLDER[];
extern const char MSG_TCD_UNBALANCED[];
extern const char MSG_TCF_UNBALANCED[];
extern const char MSG_TUD_UNBALANCED[];
extern const char MSG_TUF_UNBALANCED[];
extern const char MSG_REGISTRY_SAVE_FAILED[];
extern const char MSG_THREAD_START_FAILED[];
extern const char MSG_RUN_STOPPED[];
extern const char MSG_SOURCE_IS_DEST_FOLDER[]; // the walk reached the destination folder itself
extern const char MSG_SOURCE_IS_DEST[];        // an entry would be copied onto itself

// UM_CLOSEDIALOG: makes the main dialog destroy itself (the program ends).
#ifndef UM_CLOSEDIALOG
#define UM_CLOSEDIALOG (WM_USER + 1)
#endif

// 1 from the moment the start button starts a worker until that worker has either refused the
// inputs, failed to save the settings, or switched the dialog to its running appearance; a press
// of the start button in that interval starts nothing.
extern std::atomic<int> g_workerStarting;

// The start button (1046) was pressed. Idle: clear the stop request and start one worker; when the
// thread cannot be started, show "スレッドを起動できません。" and destroy the dialog. Running: set
// the stop request and disable the button.
void PressStartButton(HWND dialog);

// The worker: `dialog` is the main dialog. Ends when it returns.
void CopyRunThread(void *dialog);

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
int WalkEntry(HWND dialog, DWORD mode, const WordList &tcd, const WordList &tcf, const WordList &tud,
              const WordList &tuf, const char *relative, const char *sourceBase, const char *destBase,
              const ListedEntry *listed = nullptr);

// The decision for a source folder: 1 the folder exists at the destination (descend), 0 refused,
// -1 a destination problem. Writes exactly one record. A folder that would be the destination
// folder itself, or whose source folder is the destination, is refused (level 2) after the
// selection tests.
int EnterFolder(DWORD mode, const WordList &tcd, const WordList &tud, DWORD attributes, const char *destBase,
                const char *relative);

// The decision for a source file and, when it is to be copied, the copy. Writes exactly one record
// and returns its level (0-3). `listed`: the file's facts from its folder's listing, or null.
int CopyOneFile(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                const char *sourceBase, const char *destBase, const ListedEntry *listed = nullptr);

// ASCII-case-insensitive comparison of two full paths; double-byte characters compare exactly.
bool SamePath(const char *a, const char *b);

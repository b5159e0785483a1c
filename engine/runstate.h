// State of a copy run that the user-interface thread and the copy worker share.
#pragma once
#include <atomic>

// The stop request: 0 while a run may go on, 1 once the user has pressed the button to stop it.
// The user-interface thread clears it just before it starts a worker and sets it when the button
// is pressed during a run; the worker (the copy walk and the missing-in-source check) reads it
// once per visited entry, so a stop takes effect between two entries.
extern std::atomic<int> g_stopRequest;

// ---- the data of one run ----
// Everything the walk and the missing-in-source check keep for the length of a run, in one
// record that ResetCopyRun sets up when a run starts. Only the worker of a run uses it.
#include "filesystem.h"
#include <stddef.h>

struct CopyRunData {
    // The disk as the run sees it: the real disk, or the trial run's view of it.
    const FileSystem *fs;
    const char *folderCreated; // the record where a folder is created
    const char *copied;        // the record where a file is copied
    // Paths over the platform's ordinary limit reach the disk (LongPathsReached): nothing is
    // refused for its length.
    bool longPaths;
    // Where the walk of the current source item comes from and goes to: full paths with every
    // component's name as stored on disk, each ending in "\\" (empty when it could not be made).
    char sourceStored[MAX_PATH + 2];
    char destinationStored[MAX_PATH + 2];
    // The two above name the same folder: every file of this source item would be copied onto
    // itself. Worked out once per source item, not once per file.
    bool sourceIsDestination;
    // The current source item was created or copied at the destination by this run: what it holds
    // there came from the source, and the missing-in-source check has nothing to look at.
    bool itemMade;
    // The missing-in-source check: the parent folders of the other sources copied into the same
    // destination folder as the one being checked (each ending in "\\", UTF-16), and the longest in units.
    const WCHAR *const *otherParents;
    int otherCount;
    size_t otherLongest;
};
extern CopyRunData g_run;

// Sets up the record for a new run (a trial run when `trial`), and empties the trial view.
void ResetCopyRun(bool trial);

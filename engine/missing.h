// The missing-in-source check: after a source has been copied, list every file and folder that
// exists in the destination's counterpart of that source but not at the same place in the source.
#pragma once
#include <windows.h>
#include "progress.h"
#include "copyjob.h"

// Checks the destination entry `destination` + `relative` against the source entry `sourceParent`
// + `relative` and, for a folder, everything below it, depth first: the lines of a folder's
// contents come before the folder's own line. A destination entry without a source entry of the
// same name (of either kind) gets one line in the missing-files document, "F <full path>" for a
// file or "D <full path>" for a folder. `sourceParent` and `destination` end in "\\"; `relative`
// is for the first call the source's name as stored. Each failure writes one log record (level
// 2, named by the relative path) and the check goes on with the entry's siblings. Each checked
// entry puts the note "コピー元に無いファイルの確認中" on `progress` (may be null).
// A folder gets its line only when everything in it got one (an entry that could not be checked
// keeps its folder). Returns 1 when the entry's line was written, 0 when it was checked and is
// present in the source or could not be checked (recorded), -1 when the stop request was found
// set (on entry to any call of the walk).
int CheckMissingInSource(ProgressLine *progress, const char *relative, const char *sourceParent, const char *destination);

// The check as the copy run makes it after the source `sources.words[index]`, resolved to
// `sourceParent` + `name`. Every source of the same name is copied into `destination` + `name`,
// so the check runs only for the first of them, and a destination entry counts as present when
// any of them has it. Returns as CheckMissingInSource (0 without checking for a later source).
int CheckMissingForSource(ProgressLine *progress, const WordList &sources, int index, const char *name,
                          const char *sourceParent, const char *destination);

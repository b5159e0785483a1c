// The missing-in-source check: a depth-first walk of a source's counterpart in the destination
// that lists what the source lacks.
#include "missing.h"
#include "copyjob.h"
#include "copylog.h"
#include "filesystem.h"
#include "paths.h"
#include "patterns.h"
#include "runstate.h"
#include <string.h>

static const char MSG_NO_DEST_ACCESS[] = "コピー先にアクセスできません。";
static const char MSG_CHECKING[] = "コピー元に無いファイルの確認中";

// What one check keeps: the source folder and the destination folder it compares, each ending in
// "\\", in UTF-16, and the destination as code page 932 text for the list's lines.
struct CheckBases {
    ProgressLine *progress;
    const WCHAR *source;
    size_t sourceUnits;
    const WCHAR *dest;
    size_t destUnits;
    const char *destText;
};

// Does any source copied into this destination folder have the entry (of either kind)? The names
// are compared by the platform, as it compares names: without regard to case, never through a
// substitute. 1 yes, 0 no; -1 when an answer could not be read. `path` has room for the longest
// parent and the entry.
static int SourceHas(WCHAR *path, const CheckBases &bases, const EntryNames &entry) {
    for (int i = -1; i < g_run.otherCount; i++) {
        const WCHAR *parent = i < 0 ? bases.source : g_run.otherParents[i];
        size_t parentUnits = i < 0 ? bases.sourceUnits : WideLength(parent);
        memcpy(path, parent, parentUnits * sizeof(WCHAR));
        memcpy(path + parentUnits, entry.wide, entry.units * sizeof(WCHAR));
        path[parentUnits + entry.units] = 0;
        if (!g_run.longPaths && parentUnits + entry.units + 1 > MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return -1;
        }
        if (g_run.fs->attributes(path) != INVALID_FILE_ATTRIBUTES) return 1;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return -1;
    }
    return 0;
}

static int CheckEntry(const CheckBases &bases, const EntryNames &entry);

// Checks every entry of the destination folder `entry`, whose path `pattern` holds with room for
// "\\*". 1 when every entry got its line; 0 when one did not (or the listing failed: recorded);
// -1 when stopped. `*entries`: how many entries it holds.
static int CheckChildren(const CheckBases &bases, const EntryNames &entry, WCHAR *pattern, size_t units, int *entries) {
    pattern[units] = '\\';
    pattern[units + 1] = '*';
    pattern[units + 2] = 0;
    FolderListing listing;
    if (!ListFirstEntry(pattern, &listing)) {
        // Only a folder without even "." and ".." (a root) lists nothing: it counts as empty.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return 1;
        CopyLogRecord(entry.shown, TooLongOr(MSG_NO_DEST_ACCESS, MSG_CHECK_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        return 0;
    }
    ChildNames names;
    if (!BeginChildNames(&names, entry)) {
        CloseListing(&listing);
        CopyLogRecord(entry.shown, MSG_NO_DEST_ACCESS, LOG_LEVEL_ERROR);
        return 0;
    }
    int result = 1;
    for (;;) {
        if (TakeChildName(&names, listing)) {
            (*entries)++;
            int checked = g_stopRequest.load() ? -1 : 0;
            if (checked == 0 && ListedNameUnusable(listing)) {
                // The ANSI listing's substitute names another entry or none: it is neither
                // compared nor offered for deletion, and it keeps its folder.
                CopyLogRecord(names.child.shown, MSG_CHECK_NAME_UNUSABLE, LOG_LEVEL_ERROR);
            } else if (checked == 0) {
                checked = CheckEntry(bases, names.child);
            }
            if (checked < 0) {
                result = -1;
                break;
            }
            if (checked == 0) result = 0;
        }
        if (!ListNextEntry(&listing)) {
            if (GetLastError() != ERROR_NO_MORE_FILES) {
                CopyLogRecord(entry.shown, MSG_NO_DEST_ACCESS, LOG_LEVEL_ERROR);
                result = 0;
            }
            break;
        }
    }
    CloseListing(&listing);
    EndChildNames(&names);
    return result;
}

// One destination entry and, for a folder, everything below it: as CheckMissingInSource.
static int CheckEntry(const CheckBases &bases, const EntryNames &entry) {
    if (g_stopRequest.load()) return -1;
    // One block: the destination path (with room for "\\*"), the path of a source counterpart,
    // and the missing-list line "F " + destination + the shown path.
    size_t destUnits = bases.destUnits + entry.units;
    size_t parentUnits = bases.sourceUnits > g_run.otherLongest ? bases.sourceUnits : g_run.otherLongest;
    size_t sourceUnits = parentUnits + entry.units + 1;
    size_t destTextLength = strlen(bases.destText), shownLength = strlen(entry.shown);
    char *block = (char *)LocalAlloc(LMEM_FIXED, (destUnits + 3 + sourceUnits) * sizeof(WCHAR) + 2 + destTextLength +
                                                      shownLength + 1);
    if (!block) {
        // No memory to look at this entry: one record, as for an entry that cannot be reached.
        CopyLogRecord(entry.shown, MSG_NO_DEST_ACCESS, LOG_LEVEL_ERROR);
        return 0;
    }
    WCHAR *destination = (WCHAR *)block, *sourcePath = destination + destUnits + 3;
    char *line = (char *)(sourcePath + sourceUnits);
    memcpy(destination, bases.dest, bases.destUnits * sizeof(WCHAR));
    memcpy(destination + bases.destUnits, entry.wide, entry.units * sizeof(WCHAR));
    destination[destUnits] = 0;
    memcpy(line + 2, bases.destText, destTextLength);
    memcpy(line + 2 + destTextLength, entry.shown, shownLength + 1);

    // Where long paths cannot reach the disk, a path too long for the platform's calls cannot be
    // looked at, on either side.
    bool tooLong = !g_run.longPaths && destUnits + 1 > MAX_PATH;
    DWORD attributes = tooLong ? INVALID_FILE_ATTRIBUTES : g_run.fs->attributes(destination);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (tooLong) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        CopyLogRecord(entry.shown, TooLongOr(MSG_DEST_ATTRIBUTES_FAILED, MSG_CHECK_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        LocalFree(block);
        return 0;
    }
    PublishProgress(bases.progress, MSG_CHECKING);

    bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A folder is offered for removal only when everything in it is offered too: the batch's
    // rmdir of a folder that keeps an entry it could not list would fail.
    int entries = 0;
    int everythingListed = folder ? CheckChildren(bases, entry, destination, destUnits, &entries) : 1;
    if (everythingListed < 0) {
        LocalFree(block);
        return -1;
    }
    // A file's line, or a folder's line after the lines of its contents. Existence only: a source
    // entry of the other kind (a file where the destination has a folder) counts as present.
    int has = SourceHas(sourcePath, bases, entry);
    int listed = 0;
    if (has < 0) {
        CopyLogRecord(entry.shown, TooLongOr(MSG_SOURCE_ATTRIBUTES_FAILED, MSG_CHECK_PATH_TOO_LONG), LOG_LEVEL_ERROR);
    } else if (has == 0 && everythingListed) {
        line[0] = folder ? 'D' : 'F';
        line[1] = ' ';
        MissingListLine(folder ? 1 : 0, line);
        listed = 1;
    }
    // A source's own destination folder (its relative path is the source's name) of which every
    // entry is offered: the source was empty or could not be read.
    if (folder && entries > 0 && everythingListed && entry.item)
        NoteFolderOfferedWhole(line + 2);
    LocalFree(block);
    return listed;
}

int CheckMissingInSource(ProgressLine *progress, const char *relative, const char *sourceParent, const char *destination) {
    WidePath source, dest, name;
    if (!ToWidePath(sourceParent, &source) || !ToWidePath(destination, &dest) || !ToWidePath(relative, &name)) {
        CopyLogRecord(relative, MSG_CHECK_PATH_TOO_LONG, LOG_LEVEL_ERROR);
        return 0;
    }
    CheckBases bases = {progress, source.text, WideLength(source.text), dest.text, WideLength(dest.text), destination};
    return CheckEntry(bases, {name.text, WideLength(name.text), relative, relative, !FindSingleByteChar(relative, '\\')});
}

int CheckMissingForSource(ProgressLine *progress, const WordList &sources, int index, const char *name,
                          const char *sourceParent, const char *destination) {
    // Every source of the same name is copied into destination + name. The check runs once, for
    // the first of them, and an entry counts as present when any of them has it: the second
    // source must not offer for deletion what the first has just copied.
    char parent[MAX_PATH];
    WidePath *parents = nullptr;
    const WCHAR **others = nullptr;
    int count = 0;
    size_t longest = 0;
    if (sources.count > 1) {
        parents = (WidePath *)LocalAlloc(LMEM_FIXED, (size_t)sources.count * sizeof(WidePath));
        others = parents ? (const WCHAR **)LocalAlloc(LMEM_FIXED, (size_t)sources.count * sizeof(WCHAR *)) : nullptr;
        if (!others) {
            if (parents) LocalFree(parents);
            CopyLogRecord(name, MSG_NO_DEST_ACCESS, LOG_LEVEL_ERROR);
            return 0;
        }
    }
    bool first = true;
    for (int i = 0; i < sources.count && first; i++) {
        char otherName[MAX_PATH];
        if (i == index || ResolveSourceQuietly(sources.words[i], parent, otherName) < 0) continue;
        if (!SamePath(otherName, name)) continue;
        if (i < index) first = false;
        if (!ToWidePath(parent, &parents[count])) continue;
        size_t length = WideLength(parents[count].text);
        if (length > longest) longest = length;
        others[count] = parents[count].text;
        count++;
    }
    int result = 0;
    if (first) {
        g_run.otherParents = others;
        g_run.otherCount = count;
        g_run.otherLongest = longest;
        result = CheckMissingInSource(progress, name, sourceParent, destination) < 0 ? -1 : 0;
        g_run.otherParents = nullptr;
        g_run.otherCount = 0;
        g_run.otherLongest = 0;
    }
    if (others) LocalFree(others);
    if (parents) LocalFree(parents);
    return result;
}

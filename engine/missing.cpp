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

// Does any source copied into this destination folder have the entry `relative` (of either kind)?
// 1 yes, 0 no; -1 when an answer could not be read. `path` has room for the longest parent and
// `relative`.
static int SourceHas(char *path, const char *sourceParent, const char *relative) {
    for (int i = -1; i < g_run.otherCount; i++) {
        strcpy(path, i < 0 ? sourceParent : g_run.otherParents[i]);
        strcat(path, relative);
        WidePath wide;
        if (!PathFitsPlatform(path, MAX_PATH) || !ToWidePath(path, &wide)) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return -1;
        }
        if (g_run.fs->attributes(wide.text) != INVALID_FILE_ATTRIBUTES) return 1;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return -1;
    }
    return 0;
}

int CheckMissingInSource(ProgressLine *progress, const char *relative, const char *sourceParent, const char *destination) {
    if (g_stopRequest.load()) return -1;

    // One buffer per call, in three parts: the missing-list line "F " + destination + relative
    // (whose text after the kind letter is the destination path), the path of a source
    // counterpart or the destination's search pattern, and a child's relative path.
    size_t relativeLength = strlen(relative), destinationLength = strlen(destination);
    size_t parentLength = strlen(sourceParent);
    if (parentLength < g_run.otherLongest) parentLength = g_run.otherLongest;
    size_t lineRoom = 2 + destinationLength + relativeLength + 1;
    size_t pathRoom = (parentLength > destinationLength ? parentLength : destinationLength) + relativeLength + 3;
    size_t childRoom = relativeLength + 1 + MAX_PATH;
    char *line = (char *)LocalAlloc(LMEM_FIXED, lineRoom + pathRoom + childRoom);
    if (!line) {
        // No memory to look at this entry: one record, as for an entry that cannot be reached.
        CopyLogRecord(relative, MSG_NO_DEST_ACCESS, LOG_LEVEL_ERROR);
        return 0;
    }
    char *destinationPath = line + 2, *path = line + lineRoom, *child = path + pathRoom;
    memcpy(destinationPath, destination, destinationLength);
    memcpy(destinationPath + destinationLength, relative, relativeLength + 1);

    // A path too long for the platform's calls cannot be looked at, on either side.
    if (!PathFitsPlatform(destinationPath, MAX_PATH)) {
        CopyLogRecord(relative, MSG_CHECK_PATH_TOO_LONG, LOG_LEVEL_ERROR);
        LocalFree(line);
        return 0;
    }
    WidePath wide;
    DWORD attributes = ToWidePath(destinationPath, &wide) ? g_run.fs->attributes(wide.text) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CopyLogRecord(relative, TooLongOr(MSG_DEST_ATTRIBUTES_FAILED, MSG_CHECK_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        LocalFree(line);
        return 0;
    }
    PublishProgress(progress, MSG_CHECKING);

    bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A folder is offered for removal only when everything in it is offered too: the batch's
    // rmdir of a folder that keeps an entry it could not list would fail.
    bool everythingListed = true;
    int entries = 0;
    if (folder) {
        memcpy(path, destinationPath, destinationLength + relativeLength);
        memcpy(path + destinationLength + relativeLength, "\\*", 3);
        FolderListing listing;
        if (!ListFirstEntry(path, &listing)) {
            // Only a folder without even "." and ".." (a root) lists nothing: it counts as empty.
            if (GetLastError() != ERROR_FILE_NOT_FOUND) {
                CopyLogRecord(relative, TooLongOr(MSG_NO_DEST_ACCESS, MSG_CHECK_PATH_TOO_LONG), LOG_LEVEL_ERROR);
                LocalFree(line);
                return 0;
            }
        } else {
            memcpy(child, relative, relativeLength);
            child[relativeLength] = '\\';
            for (;;) {
                const char *name = listing.entry.cFileName;
                if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0) {
                    entries++;
                    strcpy(child + relativeLength + 1, name);
                    int checked;
                    if (listing.name != NAME_EXACT) {
                        // Its substitute names another entry or none: it is neither compared nor
                        // offered for deletion, and it keeps its folder.
                        checked = g_stopRequest.load() ? -1 : 0;
                        if (checked == 0)
                            CopyLogRecord(child,
                                          listing.name == NAME_TOO_LONG ? MSG_CHECK_PATH_TOO_LONG
                                                                        : MSG_CHECK_NAME_UNUSABLE,
                                          LOG_LEVEL_ERROR);
                    } else {
                        checked = CheckMissingInSource(progress, child, sourceParent, destination);
                    }
                    if (checked < 0) {
                        // A stop ends the whole walk; the listing is closed on the way out.
                        CloseListing(&listing);
                        LocalFree(line);
                        return -1;
                    }
                    if (checked == 0) everythingListed = false;
                }
                if (!ListNextEntry(&listing)) {
                    DWORD error = GetLastError();
                    CloseListing(&listing);
                    if (error != ERROR_NO_MORE_FILES) {
                        CopyLogRecord(relative, MSG_NO_DEST_ACCESS, LOG_LEVEL_ERROR);
                        LocalFree(line);
                        return 0;
                    }
                    break;
                }
            }
        }
    }
    // A file's line, or a folder's line after the lines of its contents. Existence only: a source
    // entry of the other kind (a file where the destination has a folder) counts as present.
    int has = SourceHas(path, sourceParent, relative);
    int listed = 0;
    if (has < 0) {
        CopyLogRecord(relative, TooLongOr(MSG_SOURCE_ATTRIBUTES_FAILED, MSG_CHECK_PATH_TOO_LONG), LOG_LEVEL_ERROR);
    } else if (has == 0 && everythingListed) {
        line[0] = folder ? 'D' : 'F';
        line[1] = ' ';
        MissingListLine(folder ? 1 : 0, line);
        listed = 1;
    }
    // A source's own destination folder (its relative path is the source's name) of which every
    // entry is offered: the source was empty or could not be read.
    if (folder && entries > 0 && everythingListed && !FindSingleByteChar(relative, '\\'))
        NoteFolderOfferedWhole(destinationPath);
    LocalFree(line);
    return listed;
}

int CheckMissingForSource(ProgressLine *progress, const WordList &sources, int index, const char *name,
                          const char *sourceParent, const char *destination) {
    // Every source of the same name is copied into destination + name. The check runs once, for
    // the first of them, and an entry counts as present when any of them has it: the second
    // source must not offer for deletion what the first has just copied.
    char (*parents)[MAX_PATH] = nullptr;
    const char **others = nullptr;
    int count = 0;
    size_t longest = 0;
    if (sources.count > 1) {
        parents = (char(*)[MAX_PATH])LocalAlloc(LMEM_FIXED, (size_t)sources.count * MAX_PATH);
        others = parents ? (const char **)LocalAlloc(LMEM_FIXED, (size_t)sources.count * sizeof(char *)) : nullptr;
        if (!others) {
            if (parents) LocalFree(parents);
            CopyLogRecord(name, MSG_NO_DEST_ACCESS, LOG_LEVEL_ERROR);
            return 0;
        }
    }
    bool first = true;
    for (int i = 0; i < sources.count && first; i++) {
        char otherName[MAX_PATH];
        if (i == index || ResolveSourceQuietly(sources.words[i], parents[count], otherName) < 0) continue;
        if (!SamePath(otherName, name)) continue;
        if (i < index) first = false;
        size_t length = strlen(parents[count]);
        if (length > longest) longest = length;
        others[count] = parents[count];
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

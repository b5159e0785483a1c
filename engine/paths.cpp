// Path primitives and the resolution of source words. Every search for '\\' or ':' is among
// single-byte characters only.
#include "paths.h"
#include "copyjob.h"
#include "copylog.h"
#include "filesystem.h"
#include "patterns.h"
#include <string.h>

static const char MSG_INVALID_PATH[] = "パス名が不正です。";
static const char MSG_ROOT_FOLDER[] = "ルートフォルダは指定できません。";

// A failure passed on from an operation called at `site`: the inner code moves up one hex digit
// and the caller's site number takes the lowest one.
static int NestFailure(int inner, int site) {
    return (int)(0x80000000u + (((unsigned)inner & 0xFFFFFFu) << 4) + (unsigned)site);
}

int SplitPathRoot(const char *path, char *root, char *rest) {
    size_t length = path ? strlen(path) : 0;
    if (length == 0 || length >= MAX_PATH) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SPLIT_PATH_BAD_LENGTH;
    }
    char classes[MAX_PATH];
    ByteClasses(path, classes);
    auto isSingle = [&](size_t i, char ch) { return i < length && classes[i] == BYTE_CLASS_SINGLE && path[i] == ch; };

    if (isSingle(0, '\\') && isSingle(1, '\\')) {
        // \\server\share: the two leading backslashes are single bytes, so the scans below start
        // at character boundaries.
        const char *serverEnd = FindSingleByteChar(path + 2, '\\');
        if (!serverEnd) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return SPLIT_PATH_NO_SHARE;
        }
        const char *shareEnd = FindSingleByteChar(serverEnd + 1, '\\');
        size_t rootLength = shareEnd ? (size_t)(shareEnd - path) : length;
        memcpy(root, path, rootLength);
        root[rootLength] = 0;
        strcpy(rest, path + rootLength);
        return PATH_KIND_NETWORK;
    }
    if (isSingle(0, '\\')) {
        root[0] = 0;
        strcpy(rest, path);
        return PATH_KIND_ROOTED;
    }
    if (isSingle(1, ':')) {
        // The byte before the colon is not checked to be a letter.
        memcpy(root, path, 2);
        root[2] = 0;
        strcpy(rest, path + 2);
        return PATH_KIND_DRIVE;
    }
    root[0] = 0;
    strcpy(rest, path);
    return PATH_KIND_RELATIVE;
}

int IsRootFolder(const char *path) {
    char full[MAX_PATH];
    char *filePart = nullptr;
    DWORD n = FullPathName(path, MAX_PATH, full, &filePart);
    if (n == 0 || n >= MAX_PATH) {
        // The full path call returns the size it needs instead of 0 when the full path does not fit
        // the buffer, and then writes nothing into it.
        if (n != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return ROOT_FULL_PATH_FAILED;
    }
    char root[MAX_PATH], rest[MAX_PATH];
    int kind = SplitPathRoot(full, root, rest);
    if (kind < 0) return NestFailure(kind, 2);
    switch (kind) {
    case PATH_KIND_NETWORK:
        return (rest[0] == 0 || strcmp(rest, "\\") == 0) ? 1 : 0;
    case PATH_KIND_DRIVE:
    case PATH_KIND_ROOTED:
        return strcmp(rest, "\\") == 0 ? 1 : 0;
    default:
        return 0;
    }
}

int CanonicalizePath(const char *path, char *out) {
    char root[MAX_PATH], rest[MAX_PATH];
    int kind = SplitPathRoot(path, root, rest);
    if (kind < 0) return NestFailure(kind, 1);
    UpcaseAscii(root);

    // The result is built in `built` and copied out only when complete. Before each look-up it
    // also serves as the query: the output so far followed by the component as written.
    char built[MAX_PATH];
    size_t length = strlen(root);
    memcpy(built, root, length + 1);
    const char *component = rest;
    for (;;) {
        const char *separator = FindSingleByteChar(component, '\\');
        size_t componentLength = separator ? (size_t)(separator - component) : strlen(component);
        if (length + componentLength >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return CANON_TOO_LONG;
        }
        memcpy(built + length, component, componentLength);
        built[length + componentLength] = 0;
        bool keepAsWritten = componentLength == 0 || strcmp(built + length, ".") == 0 ||
                             strcmp(built + length, "..") == 0;
        if (keepAsWritten) {
            length += componentLength;
        } else {
            // A name that code page 932 cannot hold has no spelling to put into the path: its
            // substitute would name another entry.
            FolderListing listing;
            if (!ListFirstEntry(built, &listing)) return CANON_NOT_FOUND;
            CloseListing(&listing);
            if (listing.name != NAME_EXACT) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return CANON_NOT_FOUND;
            }
            const WIN32_FIND_DATAA &found = listing.entry;
            size_t nameLength = strlen(found.cFileName);
            // A long name may be longer than the short name that was written.
            if (length + nameLength >= MAX_PATH) {
                SetLastError(ERROR_FILENAME_EXCED_RANGE);
                return CANON_TOO_LONG;
            }
            memcpy(built + length, found.cFileName, nameLength + 1);
            length += nameLength;
        }
        if (!separator) break;
        if (length + 1 >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return CANON_TOO_LONG;
        }
        built[length++] = '\\';
        built[length] = 0;
        component = separator + 1;
    }
    memcpy(out, built, length + 1);
    return 0;
}

int FindEntryName(const char *path, char *name, DWORD *attributes) {
    FolderListing listing;
    if (!ListFirstEntry(path, &listing)) return -1;
    CloseListing(&listing);
    strcpy(name, listing.entry.cFileName);
    if (attributes) *attributes = listing.entry.dwFileAttributes;
    if (listing.name == NAME_NOT_IN_CODE_PAGE) return FIND_NAME_UNUSABLE;
    if (listing.name == NAME_TOO_LONG) return FIND_NAME_TOO_LONG;
    return 0;
}

bool PathFitsPlatform(const char *path, int limit) {
    // A UTF-16 unit takes at least one byte.
    if (strlen(path) < (size_t)limit) return true;
    int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    return units > 0 && units <= limit;
}

const char *TooLongOr(const char *message, const char *tooLong) {
    return GetLastError() == ERROR_FILENAME_EXCED_RANGE ? tooLong : message;
}

const char *UnusableNameMessage(int name, DWORD attributes) {
    if (name == NAME_TOO_LONG) return MSG_SOURCE_PATH_TOO_LONG;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? MSG_FOLDER_NAME_UNUSABLE : MSG_FILE_NAME_UNUSABLE;
}

bool SamePath(const char *a, const char *b) {
    for (;;) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (IsLeadByteValue(x)) {
            // A double-byte character compares exactly, trail byte included.
            if (x != y || a[1] != b[1]) return false;
            if (!a[1]) return true;
            a += 2;
            b += 2;
            continue;
        }
        if (x >= 'a' && x <= 'z') x = (unsigned char)(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = (unsigned char)(y - 'a' + 'A');
        if (x != y) return false;
        if (!x) return true;
        a++;
        b++;
    }
}

// ResolveSource and ResolveSourceQuietly: the same steps, with or without the log record.
static int Resolve(const char *word, char *parent, char *name, bool record) {
    auto refuse = [&](int result, const char *message) {
        if (record) CopyLogRecord(word, message, LOG_LEVEL_ERROR);
        return result;
    };
    char full[MAX_PATH];
    char *filePart = nullptr;
    DWORD n = FullPathName(word, MAX_PATH, full, &filePart);
    if (n == 0) return refuse(RESOLVE_FULL_PATH_FAILED, MSG_INVALID_PATH);
    // The size needed came back: the full path does not fit, and nothing was written.
    if (n >= MAX_PATH) return refuse(RESOLVE_FULL_PATH_TOO_LONG, MSG_INVALID_PATH);
    int root = IsRootFolder(full);
    if (root < 0) return refuse(RESOLVE_ROOT_TEST_FAILED, MSG_INVALID_PATH);
    if (root == 1) return refuse(RESOLVE_ROOT_FOLDER, MSG_ROOT_FOLDER);
    if (!filePart || !*filePart) return refuse(RESOLVE_NO_NAME, MSG_INVALID_PATH);
    char found[MAX_PATH];
    DWORD attributes = 0;
    int entry = FindEntryName(full, found, &attributes);
    // The entry that the word finds has no name that the walk could open: it is not copied under
    // a substitute (a dropped folder "😀" reads as "??", which finds something else or nothing).
    if (entry == FIND_NAME_UNUSABLE)
        return refuse(RESOLVE_NAME_UNUSABLE, UnusableNameMessage(NAME_NOT_IN_CODE_PAGE, attributes));
    if (entry == FIND_NAME_TOO_LONG) return refuse(RESOLVE_NAME_TOO_LONG, UnusableNameMessage(NAME_TOO_LONG, attributes));
    if (entry < 0) return refuse(RESOLVE_NOT_FOUND, MSG_INVALID_PATH);
    // A wildcard word such as Data\* or Data\?? can find the folder itself (".") or its parent
    // (".."): walking that would copy the folder's contents into the destination's root, or the
    // parent of what the user named.
    if (strcmp(found, ".") == 0 || strcmp(found, "..") == 0) return refuse(RESOLVE_DOT_NAME, MSG_INVALID_PATH);
    size_t parentLength = (size_t)(filePart - full);
    memcpy(parent, full, parentLength);
    parent[parentLength] = 0;
    strcpy(name, found);
    return 0;
}

int ResolveSource(const char *word, char *parent, char *name) { return Resolve(word, parent, name, true); }

int ResolveSourceQuietly(const char *word, char *parent, char *name) { return Resolve(word, parent, name, false); }

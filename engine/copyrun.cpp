// The copy run: the depth-first walk of every source, one log record per visited entry, the
// current entry on the progress line, and the missing-in-source check after each source.
#include "copyrun.h"
#include "attributes.h"
#include "copylog.h"
#include "missing.h"
#include "paths.h"
#include "patterns.h"
#include "runstate.h"
#include <sys/stat.h>
#include <cstring>

const char MSG_RUN_STOPPED[] = "ユーザの指示によりコピーを停止しました。";
const char MSG_SOURCE_IS_DEST_FOLDER[] = "コピー先のフォルダなのでコピーしません。";
const char MSG_SOURCE_IS_DEST[] = "コピー元とコピー先が同じなのでコピーしません。";
const char MSG_TRIAL_RUN[] = "確認のみの実行です。コピー元もコピー先も変更しません。";
const char MSG_TRIAL_FOLDER_CREATED[] = "フォルダを作成します。（確認のみ）";
const char MSG_TRIAL_COPIED[] = "コピーします。（確認のみ）";

static const char MSG_SOURCE_ACCESS_FAILED[] = "コピー元にアクセスできません。";
static const char MSG_ARCHIVE_NOT_CLEARED[] = "コピー元のアーカイブ属性を解除できません。";
static const char MSG_DEST_HAS_FILE[] = "コピー先に同名のファイルがあるためコピーできません。";
static const char MSG_DEST_HAS_FOLDER[] = "コピー先に同名のフォルダがあるのでコピーできません。";
static const char MSG_FOLDER_CREATED[] = "フォルダを作成しました。";
static const char MSG_FOLDER_CREATED_NO_ATTRIBUTES[] = "フォルダを作成しました。（属性未設定）";
static const char MSG_FOLDER_EXISTS[] = "すでに存在します。";
static const char MSG_FOLDER_EXISTS_NO_ATTRIBUTES[] = "すでに存在します。（属性未設定）";
static const char MSG_FOLDER_NOT_CREATED[] = "フォルダを作成できません。";
static const char MSG_DEST_STATUS_FAILED[] = "コピー先のファイル情報を取得できません。";
static const char MSG_SOURCE_STATUS_FAILED[] = "コピー元のファイル情報を取得できません。";
static const char MSG_SAME_SIZE[] = "サイズが同じためコピーしません。";
static const char MSG_NOT_NEWER[] = "日付が同じか古いためコピーしません。";
static const char MSG_DEST_ATTRIBUTES_NOT_CHANGED[] = "コピー先の属性を変更できないのでコピーできません。";
static const char MSG_COPY_FAILED[] = "コピーできません。";
static const char MSG_COPIED[] = "コピーしました。";
static const char MSG_COPIED_NO_ATTRIBUTES[] = "コピーしました。（属性未設定）";

static bool EndsInSeparator(const char *text);

// Where the walk of the current source item comes from and goes to: full paths with every
// component's name as stored on disk, each ending in "\\" (empty when it could not be made).
// Comparing these, not the paths as written, recognises one folder written with a short 8.3
// name or in another case: the walk never descends into the destination folder and never copies
// an entry onto itself. Made again at the top of each source item's walk; only the worker uses them.
static char s_sourceStored[MAX_PATH + 2];
static char s_destinationStored[MAX_PATH + 2];
// The two above name the same folder: every file of this source item would be copied onto itself.
// Worked out once per source item, not once per file.
static bool s_sourceIsDestination;

// The full path of `path` with the names as stored, ending in "\\", into `out` (MAX_PATH + 2
// bytes); when a name cannot be looked up, the full path as written; empty when there is none.
static void StoredFolderPath(const char *path, char *out) {
    out[0] = '\0';
    if (strlen(path) >= MAX_PATH) return;
    char full[MAX_PATH];
    char *filePart;
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, &filePart);
    if (length == 0 || length >= MAX_PATH) return;
    if (CanonicalizePath(full, out) < 0) strcpy(out, full);
    if (!EndsInSeparator(out)) strcat(out, "\\");
}

// ---- helpers ----

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

// The name tested against the patterns: the part after the last single-byte backslash.
static const char *LastName(const char *path) {
    const char *separator = FindLastSingleByteChar(path, '\\');
    return separator ? separator + 1 : path;
}

static bool EndsInSeparator(const char *text) {
    size_t length = strlen(text);
    const char *separator = FindLastSingleByteChar(text, '\\');
    return length && separator == text + length - 1;
}

// base + relative in a new buffer (LocalFree), or null.
static char *JoinPath(const char *base, const char *relative) {
    size_t b = strlen(base), r = strlen(relative);
    char *path = (char *)LocalAlloc(LMEM_FIXED, b + r + 1);
    if (!path) return nullptr;
    memcpy(path, base, b);
    memcpy(path + b, relative, r + 1);
    return path;
}

// A file's 64-bit size from the two halves the platform reports.
static int64_t WholeSize(DWORD high, DWORD low) { return (int64_t)(((uint64_t)high << 32) | low); }

// ---- the decisions ----

// Writes one record and returns its level.
static int Record(const char *name, const char *message, int level) {
    CopyLogRecord(name, message, (unsigned)level);
    return level;
}

// The message when handling source base + `relative` would copy an entry onto itself or, for a
// folder, copy the destination folder into itself; null when it would not. Asked only of an entry
// that the selection tests let through, so a folder the user excludes keeps its own record.
static const char *CyclicCopy(const char *relative, bool folder) {
    if (!s_sourceStored[0] || !s_destinationStored[0]) return nullptr;
    if (s_sourceIsDestination) return MSG_SOURCE_IS_DEST;
    if (!folder) return nullptr;
    size_t base = strlen(s_sourceStored), length = strlen(relative);
    if (base + length + 1 != strlen(s_destinationStored)) return nullptr;
    char path[MAX_PATH + 2];
    memcpy(path, s_sourceStored, base);
    memcpy(path + base, relative, length);
    memcpy(path + base + length, "\\", 2);
    return SamePath(path, s_destinationStored) ? MSG_SOURCE_IS_DEST_FOLDER : nullptr;
}

int EnterFolder(DWORD mode, const WordList &tcd, const WordList &tud, DWORD attributes, const char *destBase,
                const char *relative) {
    Selection selection = SelectFolder(LastName(relative), attributes, mode, tcd, tud);
    if (selection.result != SELECTED) {
        CopyLogRecord(relative, selection.message, (unsigned)selection.level);
        return 0;
    }
    if (const char *cyclic = CyclicCopy(relative, true)) {
        CopyLogRecord(relative, cyclic, LOG_LEVEL_ERROR);
        return 0;
    }
    char *destination = JoinPath(destBase, relative);
    if (!destination) {
        CopyLogRecord(relative, MSG_FOLDER_NOT_CREATED, LOG_LEVEL_ERROR);
        return -1;
    }
    int result;
    DWORD existing = GetFileAttributesA(destination);
    if (existing == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_FILE_NOT_FOUND) {
        CopyLogRecord(relative, MSG_DEST_ATTRIBUTES_FAILED, LOG_LEVEL_ERROR);
        result = -1;
    } else if (existing != INVALID_FILE_ATTRIBUTES && (existing & UNKNOWN_ATTRIBUTE_MASK)) {
        CopyLogRecord(relative, MSG_DEST_UNKNOWN_ATTRIBUTE, LOG_LEVEL_ERROR);
        result = -1;
    } else if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY)) {
        CopyLogRecord(relative, MSG_DEST_HAS_FILE, LOG_LEVEL_ERROR);
        result = -1;
    } else if (CreateDirectoryA(destination, nullptr)) {
        if (TransferAttributes(destination, attributes) < 0)
            CopyLogRecord(relative, MSG_FOLDER_CREATED_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
        else
            CopyLogRecord(relative, MSG_FOLDER_CREATED, LOG_LEVEL_DONE);
        result = 1;
    } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (TransferAttributes(destination, attributes) < 0)
            CopyLogRecord(relative, MSG_FOLDER_EXISTS_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
        else
            CopyLogRecord(relative, MSG_FOLDER_EXISTS, LOG_LEVEL_NOT_COPIED);
        result = 1;
    } else {
        CopyLogRecord(relative, MSG_FOLDER_NOT_CREATED, LOG_LEVEL_ERROR);
        result = -1;
    }
    LocalFree(destination);
    return result;
}

// The decision for a file whose source and destination paths are known; one record, whose level
// is returned.
static int DecideAndCopy(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                         const char *source, const char *destination, const ListedEntry *listed) {
    Selection selection = SelectFile(LastName(source), attributes, mode, tcf, tuf);
    if (selection.result != SELECTED) return Record(relative, selection.message, selection.level);
    if (const char *cyclic = CyclicCopy(relative, false)) return Record(relative, cyclic, LOG_LEVEL_ERROR);
    // A listed source's size and time are known: the destination's attributes, size and time come
    // in one call, and both times are made whole seconds by the same rule. A source item's facts
    // are read as the file status reports them, for both sides.
    DWORD existing;
    ListedEntry destFacts = {};
    if (listed) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(destination, GetFileExInfoStandard, &data)) {
            existing = data.dwFileAttributes;
            destFacts.size = WholeSize(data.nFileSizeHigh, data.nFileSizeLow);
            destFacts.written = SecondsSince1970(data.ftLastWriteTime);
        } else {
            existing = INVALID_FILE_ATTRIBUTES;
        }
    } else {
        existing = GetFileAttributesA(destination);
    }
    bool protectionRemoved = false;
    if (existing == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return Record(relative, MSG_DEST_ATTRIBUTES_FAILED, LOG_LEVEL_ERROR);
    } else {
        if (existing & UNKNOWN_ATTRIBUTE_MASK) return Record(relative, MSG_DEST_UNKNOWN_ATTRIBUTE, LOG_LEVEL_ERROR);
        if (existing & FILE_ATTRIBUTE_DIRECTORY) return Record(relative, MSG_DEST_HAS_FOLDER, LOG_LEVEL_ERROR);
        Selection judged = JudgeDestinationFile(existing, mode);
        if (judged.result != SELECTED) return Record(relative, judged.message, judged.level);
        // Size and time: the whole 64-bit size and the whole time in seconds, so that files that
        // differ only above 4 GiB, or dates after 2038, are judged correctly. The source must be at
        // least 2 seconds newer (file systems that keep times in 2-second steps). Without the
        // destination's status neither test can be made, and copying anyway could put an older
        // file over a newer one.
        if (mode & (MODE_SKIP_SAME_SIZE | MODE_SKIP_NOT_NEWER)) {
            ListedEntry sourceFacts;
            if (listed) {
                sourceFacts = *listed;
            } else {
                struct _stat64 destStatus, sourceStatus;
                if (_stat64(destination, &destStatus) != 0)
                    return Record(relative, MSG_DEST_STATUS_FAILED, LOG_LEVEL_ERROR);
                if (_stat64(source, &sourceStatus) != 0)
                    return Record(relative, MSG_SOURCE_STATUS_FAILED, LOG_LEVEL_ERROR);
                destFacts = {existing, (int64_t)destStatus.st_size, (int64_t)destStatus.st_mtime};
                sourceFacts = {attributes, (int64_t)sourceStatus.st_size, (int64_t)sourceStatus.st_mtime};
            }
            if ((mode & MODE_SKIP_SAME_SIZE) && sourceFacts.size == destFacts.size)
                return Record(relative, MSG_SAME_SIZE, LOG_LEVEL_NOT_COPIED);
            if ((mode & MODE_SKIP_NOT_NEWER) && sourceFacts.written <= destFacts.written + 1)
                return Record(relative, MSG_NOT_NEWER, LOG_LEVEL_NOT_COPIED);
        }
        if (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
            if (!SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL))
                return Record(relative, MSG_DEST_ATTRIBUTES_NOT_CHANGED, LOG_LEVEL_ERROR);
            protectionRemoved = true;
        }
    }
    if (!CopyFileA(source, destination, FALSE)) {
        // The old file stays: it gets back the protection that was taken off for the copy.
        if (protectionRemoved) SetFileAttributesA(destination, existing);
        return Record(relative, MSG_COPY_FAILED, LOG_LEVEL_ERROR);
    }
    if (TransferAttributes(destination, attributes) < 0) return Record(relative, MSG_COPIED_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
    return Record(relative, MSG_COPIED, LOG_LEVEL_DONE);
}

int CopyOneFile(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                const char *sourceBase, const char *destBase, const ListedEntry *listed) {
    char *source = JoinPath(sourceBase, relative);
    char *destination = source ? JoinPath(destBase, relative) : nullptr;
    int level = destination ? DecideAndCopy(mode, attributes, tcf, tuf, relative, source, destination, listed)
                            : Record(relative, MSG_COPY_FAILED, LOG_LEVEL_ERROR);
    if (destination) LocalFree(destination);
    if (source) LocalFree(source);
    return level;
}

// ---- the walk ----

int64_t SecondsSince1970(const FILETIME &time) {
    const int64_t EPOCH = 116444736000000000LL, TICKS = 10000000LL; // 1601 to 1970; ticks per second
    int64_t ticks = (int64_t)(((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime) - EPOCH;
    return ticks >= 0 ? ticks / TICKS : -((-ticks + TICKS - 1) / TICKS);
}

ListedEntry ListedFacts(const WIN32_FIND_DATAA &found) {
    return {found.dwFileAttributes, WholeSize(found.nFileSizeHigh, found.nFileSizeLow),
            SecondsSince1970(found.ftLastWriteTime)};
}

int WalkEntry(ProgressLine *progress, DWORD mode, const WordList &tcd, const WordList &tcf, const WordList &tud,
              const WordList &tuf, const char *relative, const char *sourceBase, const char *destBase,
              const ListedEntry *listed) {
    if (g_stopRequest) return -1;
    if (!FindSingleByteChar(relative, '\\')) {
        // A source item: the top of a walk. The current folder may have changed since the last one.
        StoredFolderPath(sourceBase, s_sourceStored);
        StoredFolderPath(destBase, s_destinationStored);
        s_sourceIsDestination = SamePath(s_sourceStored, s_destinationStored);
    }
    size_t relativeLength = strlen(relative), baseLength = strlen(sourceBase);
    // One work buffer per visit: the source path, then the search pattern, then each child's
    // relative path (a child name has at most 259 bytes).
    char *work = (char *)LocalAlloc(LMEM_FIXED, relativeLength + baseLength + 300);
    if (!work) {
        CopyLogRecord(relative, MSG_SOURCE_ACCESS_FAILED, LOG_LEVEL_ERROR);
        return 0;
    }
    memcpy(work, sourceBase, baseLength);
    memcpy(work + baseLength, relative, relativeLength + 1);
    // An entry found by its folder's listing has its attribute word already; a source item's is read.
    DWORD attributes = listed ? listed->attributes : GetFileAttributesA(work);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CopyLogRecord(relative, MSG_SOURCE_ATTRIBUTES_FAILED, LOG_LEVEL_ERROR);
        LocalFree(work);
        return 0;
    }
    PublishProgress(progress, relative);

    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (EnterFolder(mode, tcd, tud, attributes, destBase, relative) != 1) {
            LocalFree(work);
            return 0;
        }
        memcpy(work + baseLength + relativeLength, "\\*", 3);
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(work, &found);
        if (find == INVALID_HANDLE_VALUE) {
            // Nothing listed: the buffer is the source path again, for the archive clearing below.
            work[baseLength + relativeLength] = '\0';
            if (GetLastError() != ERROR_FILE_NOT_FOUND) {
                CopyLogRecord(relative, MSG_SOURCE_ACCESS_FAILED, LOG_LEVEL_ERROR);
                LocalFree(work);
                return 0;
            }
        } else {
            memcpy(work, relative, relativeLength);
            work[relativeLength] = '\\';
            char *childName = work + relativeLength + 1;
            for (;;) {
                if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) {
                    strcpy(childName, found.cFileName);
                    ListedEntry child = ListedFacts(found);
                    if (WalkEntry(progress, mode, tcd, tcf, tud, tuf, work, sourceBase, destBase, &child) < 0) {
                        FindClose(find);
                        LocalFree(work);
                        return -1;
                    }
                }
                if (!FindNextFileA(find, &found)) break;
            }
            if (GetLastError() != ERROR_NO_MORE_FILES) {
                CopyLogRecord(relative, MSG_SOURCE_ACCESS_FAILED, LOG_LEVEL_ERROR);
                FindClose(find);
                LocalFree(work);
                return 0;
            }
            FindClose(find);
            // The work buffer held the children's paths: make it the source path again.
            memcpy(work, sourceBase, baseLength);
            memcpy(work + baseLength, relative, relativeLength + 1);
        }
    } else if (CopyOneFile(mode, attributes, tcf, tuf, relative, sourceBase, destBase, listed) > LOG_LEVEL_DONE) {
        // A file that was not copied for a fault (or copied without its attributes) keeps its
        // archive attribute: it has not been backed up, and the next archive-driven run must see it.
        LocalFree(work);
        return 0;
    }
    if (g_runConf & CONF_CLEAR_ARCHIVE) {
        if (!SetFileAttributesA(work, attributes & ~(DWORD)FILE_ATTRIBUTE_ARCHIVE))
            CopyLogRecord(relative, MSG_ARCHIVE_NOT_CLEARED, LOG_LEVEL_WARNING);
    }
    LocalFree(work);
    return 0;
}

// ---- the run ----

int RunCopySources(const CopyJob *job, ProgressLine *progress) {
    g_runConf = job->conf;
    ResetCopyLog();
    ResetMissingList();
    bool stopped = false;
    for (int i = 0; i < job->sourceList.count && !stopped; i++) {
        char parent[MAX_PATH], name[MAX_PATH];
        if (ResolveSource(job->sourceList.words[i], parent, name) < 0) continue;
        if (WalkEntry(progress, job->mode, job->tcdList, job->tcfList, job->tudList, job->tufList, name, parent,
                      job->dest) < 0)
            stopped = true;
        else if ((job->conf & CONF_CHECK_MISSING) &&
                 CheckMissingForSource(progress, job->sourceList, i, name, parent, job->dest) < 0)
            stopped = true;
        if (stopped) CopyLogRecord("> >", MSG_RUN_STOPPED, LOG_LEVEL_WARNING);
    }
    return stopped ? -1 : 0;
}

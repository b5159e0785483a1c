// The copy run: the depth-first walk of a job's sources with one log record per visited entry.
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
static const char MSG_SAME_SIZE[] = "サイズが同じためコピーしません。";
static const char MSG_NOT_NEWER[] = "日付が同じか古いためコピーしません。";
static const char MSG_DEST_ATTRIBUTES_NOT_CHANGED[] = "コピー先の属性を変更できないのでコピーできません。";
static const char MSG_COPY_FAILED[] = "コピーできません。";
static const char MSG_COPIED[] = "コピーしました。";
static const char MSG_COPIED_NO_ATTRIBUTES[] = "コピーしました。（属性未設定）";

static bool EndsInSeparator(const char *text);

// The full path of the destination base that the walk was last given, ending in "\\" (empty
// when it could not be made): the walk never descends into it and never copies an entry onto
// itself. Only the worker uses them; the full path is made again only when the base changes.
static char s_destinationBase[MAX_PATH + 2];
static char s_destinationFull[MAX_PATH + 2];

static const char *DestinationFull(const char *destBase) {
    if (strcmp(destBase, s_destinationBase) == 0) return s_destinationFull;
    s_destinationFull[0] = '\0';
    s_destinationBase[0] = '\0';
    if (strlen(destBase) > MAX_PATH) return s_destinationFull;
    char *filePart;
    DWORD length = GetFullPathNameA(destBase, MAX_PATH, s_destinationFull, &filePart);
    if (length == 0 || length >= MAX_PATH) {
        s_destinationFull[0] = '\0';
    } else if (!EndsInSeparator(s_destinationFull)) {
        strcat(s_destinationFull, "\\");
    }
    strcpy(s_destinationBase, destBase);
    return s_destinationFull;
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

// ---- the decisions ----

int EnterFolder(DWORD mode, const WordList &tcd, const WordList &tud, DWORD attributes, const char *destBase,
                const char *relative) {
    Selection selection = SelectFolder(LastName(relative), attributes, mode, tcd, tud);
    if (selection.result != SELECTED) {
        CopyLogRecord(relative, selection.message, (unsigned)selection.level);
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

// The decision for a file whose source and destination paths are known; one record.
static void DecideAndCopy(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                          const char *source, const char *destination) {
    Selection selection = SelectFile(LastName(source), attributes, mode, tcf, tuf);
    if (selection.result != SELECTED) {
        CopyLogRecord(relative, selection.message, (unsigned)selection.level);
        return;
    }
    DWORD existing = GetFileAttributesA(destination);
    if (existing == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            CopyLogRecord(relative, MSG_DEST_ATTRIBUTES_FAILED, LOG_LEVEL_ERROR);
            return;
        }
    } else {
        if (existing & UNKNOWN_ATTRIBUTE_MASK) {
            CopyLogRecord(relative, MSG_DEST_UNKNOWN_ATTRIBUTE, LOG_LEVEL_ERROR);
            return;
        }
        if (existing & FILE_ATTRIBUTE_DIRECTORY) {
            CopyLogRecord(relative, MSG_DEST_HAS_FOLDER, LOG_LEVEL_ERROR);
            return;
        }
        Selection judged = JudgeDestinationFile(existing, mode);
        if (judged.result != SELECTED) {
            CopyLogRecord(relative, judged.message, (unsigned)judged.level);
            return;
        }
        // Size and time: the whole 64-bit size and the whole time in seconds, so that files that
        // differ only above 4 GiB, or dates after 2038, are judged correctly. The source must be at
        // least 2 seconds newer (file systems that keep times in 2-second steps).
        struct _stat64 destStatus, sourceStatus;
        if (_stat64(destination, &destStatus) == 0) {
            if (_stat64(source, &sourceStatus) != 0) {
                CopyLogRecord(relative, MSG_DEST_STATUS_FAILED, LOG_LEVEL_ERROR);
                return;
            }
            if ((mode & MODE_SKIP_SAME_SIZE) && (int64_t)sourceStatus.st_size == (int64_t)destStatus.st_size) {
                CopyLogRecord(relative, MSG_SAME_SIZE, LOG_LEVEL_NOT_COPIED);
                return;
            }
            if ((mode & MODE_SKIP_NOT_NEWER) && (int64_t)sourceStatus.st_mtime <= (int64_t)destStatus.st_mtime + 1) {
                CopyLogRecord(relative, MSG_NOT_NEWER, LOG_LEVEL_NOT_COPIED);
                return;
            }
        }
        if (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
            if (!SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL)) {
                CopyLogRecord(relative, MSG_DEST_ATTRIBUTES_NOT_CHANGED, LOG_LEVEL_ERROR);
                return;
            }
        }
    }
    if (!CopyFileA(source, destination, FALSE)) {
        CopyLogRecord(relative, MSG_COPY_FAILED, LOG_LEVEL_ERROR);
        return;
    }
    if (TransferAttributes(destination, attributes) < 0)
        CopyLogRecord(relative, MSG_COPIED_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
    else
        CopyLogRecord(relative, MSG_COPIED, LOG_LEVEL_DONE);
}

void CopyOneFile(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                 const char *sourceBase, const char *destBase) {
    char *source = JoinPath(sourceBase, relative);
    char *destination = source ? JoinPath(destBase, relative) : nullptr;
    if (!destination)
        CopyLogRecord(relative, MSG_COPY_FAILED, LOG_LEVEL_ERROR);
    else
        DecideAndCopy(mode, attributes, tcf, tuf, relative, source, destination);
    if (destination) LocalFree(destination);
    if (source) LocalFree(source);
}

// ---- the walk ----

// Is source base + relative the destination folder itself? (s_destinationFull ends in "\\".)
static bool IsDestinationFolder(const char *sourcePath, const char *destinationFull) {
    size_t length = strlen(sourcePath);
    if (!destinationFull[0] || strlen(destinationFull) != length + 1) return false;
    char folder[MAX_PATH + 2];
    memcpy(folder, destinationFull, length);
    folder[length] = '\0';
    return SamePath(sourcePath, folder);
}

int WalkEntry(ProgressLine *progress, DWORD mode, const WordList &tcd, const WordList &tcf, const WordList &tud,
              const WordList &tuf, const char *relative, const char *sourceBase, const char *destBase) {
    if (g_stopRequest) return -1;
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
    DWORD attributes = GetFileAttributesA(work);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CopyLogRecord(relative, MSG_SOURCE_ATTRIBUTES_FAILED, LOG_LEVEL_ERROR);
        LocalFree(work);
        return 0;
    }
    PublishProgress(progress, relative);

    // An entry whose destination path is its own source path is neither entered nor copied, and
    // none of its attributes changes.
    const char *destinationFull = DestinationFull(destBase);
    if (destinationFull[0] && SamePath(sourceBase, destinationFull)) {
        CopyLogRecord(relative, MSG_SOURCE_IS_DEST, LOG_LEVEL_ERROR);
        LocalFree(work);
        return 0;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // The destination folder inside a source: copying it would copy the copy, level after level.
        if (IsDestinationFolder(work, destinationFull)) {
            CopyLogRecord(relative, MSG_SOURCE_IS_DEST_FOLDER, LOG_LEVEL_ERROR);
            LocalFree(work);
            return 0;
        }
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
                    if (WalkEntry(progress, mode, tcd, tcf, tud, tuf, work, sourceBase, destBase) < 0) {
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
    } else {
        CopyOneFile(mode, attributes, tcf, tuf, relative, sourceBase, destBase);
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
    s_destinationBase[0] = '\0'; // the current folder may have changed since the last run
    s_destinationFull[0] = '\0';
    bool stopped = false;
    for (int i = 0; i < job->sourceList.count && !stopped; i++) {
        char parent[MAX_PATH], name[MAX_PATH];
        if (ResolveSource(job->sourceList.words[i], parent, name) < 0) continue;
        if (WalkEntry(progress, job->mode, job->tcdList, job->tcfList, job->tudList, job->tufList, name, parent,
                      job->dest) < 0)
            stopped = true;
        else if ((job->conf & CONF_CHECK_MISSING) && CheckMissingInSource(progress, name, parent, job->dest) < 0)
            stopped = true;
        if (stopped) CopyLogRecord("> >", MSG_RUN_STOPPED, LOG_LEVEL_WARNING);
    }
    return stopped ? -1 : 0;
}

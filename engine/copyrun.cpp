// The copy run: the depth-first walk of every source, one log record per visited entry, the
// current entry on the progress line, and the missing-in-source check after each source.
#include "copyrun.h"
#include "attributes.h"
#include "copylog.h"
#include "listing.h"
#include "missing.h"
#include "paths.h"
#include "patterns.h"
#include "runstate.h"
#include <sys/stat.h>
#include <cstring>
#include <map>
#include <string>

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

// ---- what the run does to the disk ----

// Every change the walk makes to the disk goes through one of these tables: the real run's calls,
// or the trial run's, which change nothing and report success. The walk never calls the platform
// to change anything by itself, so a trial run cannot change the disk on any of its paths, the
// failure paths included. Chosen once per run; only the worker uses it.
struct DiskChanges {
    BOOL (*createFolder)(const char *path);
    BOOL (*copyFile)(const char *source, const char *destination);
    BOOL (*setAttributes)(const char *path, DWORD attributes);
    LONG (*transferAttributes)(const char *path, DWORD attributes);
    const char *folderCreated; // the record where a folder is created
    const char *copied;        // the record where a file is copied
};

static BOOL CreateFolder(const char *path) { return CreateDirectoryA(path, nullptr); }
static BOOL CopyOver(const char *source, const char *destination) { return CopyFileA(source, destination, FALSE); }
// The platform's own calls are WINAPI (stdcall on 32-bit Windows): each goes through a plain function.
static BOOL SetAttributes(const char *path, DWORD attributes) { return SetFileAttributesA(path, attributes); }
static const DiskChanges REAL_RUN = {CreateFolder, CopyOver, SetAttributes, TransferAttributes,
                                     MSG_FOLDER_CREATED, MSG_COPIED};

static BOOL CreateNothing(const char *) { return TRUE; }
static BOOL CopyNothing(const char *, const char *) { return TRUE; }
static BOOL SetNothing(const char *, DWORD) { return TRUE; }
static LONG TransferNothing(const char *, DWORD) { return 0; }
static const DiskChanges TRIAL_RUN = {CreateNothing, CopyNothing, SetNothing, TransferNothing,
                                      MSG_TRIAL_FOLDER_CREATED, MSG_TRIAL_COPIED};

static const DiskChanges *s_disk = &REAL_RUN;

// What a trial run would have made at the destination, by full path with ASCII letters in upper
// case: the facts that the real run's folder or copy would have. The real run judges later
// entries (the second of two sources of one name, everything below a new folder) against what it
// made; the trial run judges them against this. Only the worker uses it; emptied with every run.
static std::map<std::string, ListedEntry> s_made;
// In a trial run, the source item being walked would be created or copied at the destination.
static bool s_itemMade;

static std::string MadeKey(const char *path) {
    std::string key = path;
    UpcaseAscii(&key[0]);
    return key;
}

// In a trial run, what the destination entry `path` would be after what the real run would have
// made: true with `facts` (attributes INVALID_FILE_ATTRIBUTES: absent, below a folder the run would
// have made); false when the disk answers.
static bool MadeByTrial(const char *path, ListedEntry *facts) {
    if (s_made.empty()) return false;
    std::string key = MadeKey(path);
    auto found = s_made.find(key);
    if (found != s_made.end()) {
        *facts = found->second;
        return true;
    }
    for (;;) {
        char *separator = (char *)FindLastSingleByteChar(&key[0], '\\');
        if (!separator) return false;
        *separator = '\0';
        key.resize((size_t)(separator - &key[0]));
        if (s_made.count(key)) {
            *facts = {INVALID_FILE_ATTRIBUTES, 0, 0};
            return true;
        }
    }
}

// The destination entry's facts as the run finds them: from what a trial run would have made, or
// from the disk (`withStatus`: size and time too, in one call). Absent or unreadable:
// INVALID_FILE_ATTRIBUTES with the last error. `*fromTrial` tells where the answer came from.
static ListedEntry DestinationFacts(const char *destination, bool withStatus, bool *fromTrial) {
    ListedEntry facts = {INVALID_FILE_ATTRIBUTES, 0, 0};
    *fromTrial = MadeByTrial(destination, &facts);
    if (*fromTrial) {
        if (facts.attributes == INVALID_FILE_ATTRIBUTES) SetLastError(ERROR_FILE_NOT_FOUND);
        return facts;
    }
    if (!withStatus) {
        facts.attributes = GetFileAttributesA(destination);
        return facts;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(destination, GetFileExInfoStandard, &data))
        facts = {data.dwFileAttributes, WholeSize(data.nFileSizeHigh, data.nFileSizeLow),
                 SecondsSince1970(data.ftLastWriteTime)};
    return facts;
}

// An entry's attribute word, size and time as the file status reports them; false when it cannot
// be read.
static bool StatusFacts(const char *path, DWORD attributes, ListedEntry *facts) {
    struct _stat64 status;
    if (_stat64(path, &status) != 0) return false;
    *facts = {attributes, (int64_t)status.st_size, (int64_t)status.st_mtime};
    return true;
}

// A trial run records what the real run would have made at `destination`.
static void RecordMade(const char *destination, const char *relative, const ListedEntry &facts) {
    if (s_disk == &REAL_RUN) return;
    s_made[MadeKey(destination)] = facts;
    if (!FindSingleByteChar(relative, '\\')) s_itemMade = true;
}

// ---- the decisions ----

// Writes one record and returns its level.
static int Record(const char *name, const char *message, int level) {
    CopyLogRecord(name, message, (unsigned)level);
    return level;
}

// The message when the source or destination path of an entry is too long for the calls that
// handling it takes (null when both fit): decided once, before anything is tried, so that no
// entry is left half done (a file copied without its attributes, a folder made but not entered).
// A folder is listed with its path and "\\*", and CreateDirectoryA takes 248 units.
static const char *PathTooLong(const char *source, const char *destination, bool folder) {
    size_t sourceLength = strlen(source);
    if (folder ? sourceLength + 2 >= MAX_PATH && !PathFitsPlatform((std::string(source) + "\\*").c_str(), MAX_PATH)
               : !PathFitsPlatform(source, MAX_PATH))
        return MSG_SOURCE_PATH_TOO_LONG;
    if (!PathFitsPlatform(destination, folder ? CREATE_FOLDER_PATH_LIMIT : MAX_PATH)) return MSG_DEST_PATH_TOO_LONG;
    return nullptr;
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

// A folder that exists at the destination (or appeared there): it gets the source's attributes.
static int FolderExists(const char *relative, const char *destination, DWORD attributes) {
    if (s_disk->transferAttributes(destination, attributes) < 0)
        CopyLogRecord(relative, MSG_FOLDER_EXISTS_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
    else
        CopyLogRecord(relative, MSG_FOLDER_EXISTS, LOG_LEVEL_NOT_COPIED);
    return 1;
}

int EnterFolder(DWORD mode, const WordList &tcd, const WordList &tud, DWORD attributes, const char *destBase,
                const char *relative, const char *source) {
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
    if (const char *tooLong = PathTooLong(source, destination, true)) {
        CopyLogRecord(relative, tooLong, LOG_LEVEL_ERROR);
        LocalFree(destination);
        return -1;
    }
    int result;
    bool fromTrial;
    DWORD existing = DestinationFacts(destination, false, &fromTrial).attributes;
    if (existing == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_FILE_NOT_FOUND) {
        CopyLogRecord(relative, TooLongOr(MSG_DEST_ATTRIBUTES_FAILED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        result = -1;
    } else if (existing != INVALID_FILE_ATTRIBUTES && (existing & UNKNOWN_ATTRIBUTE_MASK)) {
        CopyLogRecord(relative, MSG_DEST_UNKNOWN_ATTRIBUTE, LOG_LEVEL_ERROR);
        result = -1;
    } else if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY)) {
        CopyLogRecord(relative, MSG_DEST_HAS_FILE, LOG_LEVEL_ERROR);
        result = -1;
    } else if (existing != INVALID_FILE_ATTRIBUTES) {
        result = FolderExists(relative, destination, attributes);
    } else if (s_disk->createFolder(destination)) {
        if (s_disk->transferAttributes(destination, attributes) < 0)
            CopyLogRecord(relative, MSG_FOLDER_CREATED_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
        else
            CopyLogRecord(relative, s_disk->folderCreated, LOG_LEVEL_DONE);
        RecordMade(destination, relative, {attributes, 0, 0});
        result = 1;
    } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Made by someone else since it was looked at.
        result = FolderExists(relative, destination, attributes);
    } else {
        CopyLogRecord(relative, TooLongOr(MSG_FOLDER_NOT_CREATED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR);
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
    if (const char *tooLong = PathTooLong(source, destination, false)) return Record(relative, tooLong, LOG_LEVEL_ERROR);
    // A listed source's size and time are known: the destination's attributes, size and time come
    // in one call, and both times are made whole seconds by the same rule. A source item's facts
    // are read as the file status reports them, for both sides.
    bool fromTrial;
    ListedEntry destFacts = DestinationFacts(destination, listed != nullptr, &fromTrial);
    DWORD existing = destFacts.attributes;
    bool protectionRemoved = false;
    if (existing == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            return Record(relative, TooLongOr(MSG_DEST_ATTRIBUTES_FAILED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR);
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
            // The copy that a trial run would have made has its facts already; its source's
            // are read as for any source item.
            ListedEntry sourceFacts;
            if (listed)
                sourceFacts = *listed;
            else if (!fromTrial && !StatusFacts(destination, existing, &destFacts))
                return Record(relative, MSG_DEST_STATUS_FAILED, LOG_LEVEL_ERROR);
            else if (!StatusFacts(source, attributes, &sourceFacts))
                return Record(relative, MSG_SOURCE_STATUS_FAILED, LOG_LEVEL_ERROR);
            if ((mode & MODE_SKIP_SAME_SIZE) && sourceFacts.size == destFacts.size)
                return Record(relative, MSG_SAME_SIZE, LOG_LEVEL_NOT_COPIED);
            if ((mode & MODE_SKIP_NOT_NEWER) && sourceFacts.written <= destFacts.written + 1)
                return Record(relative, MSG_NOT_NEWER, LOG_LEVEL_NOT_COPIED);
        }
        if (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
            if (!s_disk->setAttributes(destination, FILE_ATTRIBUTE_NORMAL))
                return Record(relative, MSG_DEST_ATTRIBUTES_NOT_CHANGED, LOG_LEVEL_ERROR);
            protectionRemoved = true;
        }
    }
    if (!s_disk->copyFile(source, destination)) {
        const char *message = TooLongOr(MSG_COPY_FAILED, MSG_DEST_PATH_TOO_LONG);
        // The old file stays: it gets back the protection that was taken off for the copy.
        if (protectionRemoved) s_disk->setAttributes(destination, existing);
        return Record(relative, message, LOG_LEVEL_ERROR);
    }
    if (s_disk != &REAL_RUN) {
        // The copy keeps its source's size and time, and gets its attribute word.
        ListedEntry copy = {attributes, 0, 0};
        if (listed)
            copy = *listed;
        else
            StatusFacts(source, attributes, &copy);
        RecordMade(destination, relative, copy);
    }
    if (s_disk->transferAttributes(destination, attributes) < 0)
        return Record(relative, MSG_COPIED_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
    return Record(relative, s_disk->copied, LOG_LEVEL_DONE);
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

// Visits every entry of the entered folder source base + `relative`, whose source path `work`
// holds (with room for a child's relative path). 1: visited to the end; 0: the listing failed
// (recorded); -1: a stop was requested. The buffer is the source path again on return.
static int WalkChildren(ProgressLine *progress, DWORD mode, const WordList &tcd, const WordList &tcf,
                        const WordList &tud, const WordList &tuf, const char *relative, const char *sourceBase,
                        const char *destBase, char *work) {
    size_t relativeLength = strlen(relative), baseLength = strlen(sourceBase);
    memcpy(work + baseLength + relativeLength, "\\*", 3);
    FolderListing listing;
    bool listed = ListFirstEntry(work, &listing);
    DWORD error = listed ? 0 : GetLastError();
    work[baseLength + relativeLength] = '\0';
    if (!listed) {
        // Nothing listed is an empty folder.
        if (error == ERROR_FILE_NOT_FOUND) return 1;
        CopyLogRecord(relative, TooLongOr(MSG_SOURCE_ACCESS_FAILED, MSG_SOURCE_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        return 0;
    }
    memcpy(work, relative, relativeLength);
    work[relativeLength] = '\\';
    char *childName = work + relativeLength + 1;
    int result = 1;
    for (;;) {
        const char *name = listing.entry.cFileName;
        if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0) {
            strcpy(childName, name);
            if (listing.name != NAME_EXACT) {
                // Never opened, copied or cleared under a substitute, which may be another entry.
                if (g_stopRequest) {
                    result = -1;
                    break;
                }
                CopyLogRecord(work, UnusableNameMessage(listing.name, listing.entry.dwFileAttributes), LOG_LEVEL_ERROR);
            } else {
                ListedEntry child = ListedFacts(listing.entry);
                if (WalkEntry(progress, mode, tcd, tcf, tud, tuf, work, sourceBase, destBase, &child) < 0) {
                    result = -1;
                    break;
                }
            }
        }
        if (!ListNextEntry(&listing)) {
            if (GetLastError() != ERROR_NO_MORE_FILES) {
                CopyLogRecord(relative, MSG_SOURCE_ACCESS_FAILED, LOG_LEVEL_ERROR);
                result = 0;
            }
            break;
        }
    }
    CloseListing(&listing);
    memcpy(work, sourceBase, baseLength);
    memcpy(work + baseLength, relative, relativeLength + 1);
    return result;
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
        s_itemMade = false;
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
        CopyLogRecord(relative, TooLongOr(MSG_SOURCE_ATTRIBUTES_FAILED, MSG_SOURCE_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        LocalFree(work);
        return 0;
    }
    PublishProgress(progress, relative);

    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (EnterFolder(mode, tcd, tud, attributes, destBase, relative, work) != 1) {
            LocalFree(work);
            return 0;
        }
        int walked = WalkChildren(progress, mode, tcd, tcf, tud, tuf, relative, sourceBase, destBase, work);
        if (walked <= 0) {
            LocalFree(work);
            return walked;
        }
    } else if (CopyOneFile(mode, attributes, tcf, tuf, relative, sourceBase, destBase, listed) > LOG_LEVEL_DONE) {
        // A file that was not copied for a fault (or copied without its attributes) keeps its
        // archive attribute: it has not been backed up, and the next archive-driven run must see it.
        LocalFree(work);
        return 0;
    }
    if (g_runConf & CONF_CLEAR_ARCHIVE) {
        if (!s_disk->setAttributes(work, attributes & ~(DWORD)FILE_ATTRIBUTE_ARCHIVE))
            CopyLogRecord(relative, MSG_ARCHIVE_NOT_CLEARED, LOG_LEVEL_WARNING);
    }
    LocalFree(work);
    return 0;
}

// ---- the run ----

int RunCopySources(const CopyJob *job, ProgressLine *progress) {
    g_runConf = job->conf;
    s_disk = job->trial ? &TRIAL_RUN : &REAL_RUN;
    s_made.clear();
    ResetCopyLog();
    ResetMissingList();
    if (job->trial) CopyLogRecord("> >", MSG_TRIAL_RUN, LOG_LEVEL_WARNING);
    bool stopped = false;
    for (int i = 0; i < job->sourceList.count && !stopped; i++) {
        char parent[MAX_PATH], name[MAX_PATH];
        if (ResolveSource(job->sourceList.words[i], parent, name) < 0) continue;
        if (WalkEntry(progress, job->mode, job->tcdList, job->tcfList, job->tudList, job->tufList, name, parent,
                      job->dest) < 0) {
            stopped = true;
        } else if (job->conf & CONF_CHECK_MISSING) {
            // What the real run has just created or copied holds only what the source has: its
            // check lists nothing there. A trial run, which made nothing, has nothing to look at.
            if (s_itemMade)
                stopped = g_stopRequest != 0;
            else
                stopped = CheckMissingForSource(progress, job->sourceList, i, name, parent, job->dest) < 0;
        }
        if (stopped) CopyLogRecord("> >", MSG_RUN_STOPPED, LOG_LEVEL_WARNING);
    }
    s_disk = &REAL_RUN;
    s_made.clear();
    s_itemMade = false;
    return stopped ? -1 : 0;
}

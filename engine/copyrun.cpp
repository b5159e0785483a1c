// The copy run: the depth-first walk of every source, one log record per visited entry, the
// current entry on the progress line, and the missing-in-source check after each source.
#include "copyrun.h"
#include "attributes.h"
#include "copylog.h"
#include "filesystem.h"
#include "missing.h"
#include "paths.h"
#include "patterns.h"
#include "runstate.h"
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
static const char MSG_SOURCE_STATUS_FAILED[] = "コピー元のファイル情報を取得できません。";
static const char MSG_SAME_SIZE[] = "サイズが同じためコピーしません。";
static const char MSG_NOT_NEWER[] = "日付が同じか古いためコピーしません。";
static const char MSG_DEST_ATTRIBUTES_NOT_CHANGED[] = "コピー先の属性を変更できないのでコピーできません。";
static const char MSG_COPY_FAILED[] = "コピーできません。";
static const char MSG_COPIED[] = "コピーしました。";
static const char MSG_COPIED_NO_ATTRIBUTES[] = "コピーしました。（属性未設定）";

static bool EndsInSeparator(const char *text);

CopyRunData g_run = {&REAL_DISK, MSG_FOLDER_CREATED, MSG_COPIED, "", "", false, false, nullptr, 0, 0};

void ResetCopyRun(bool trial) {
    ResetTrialView();
    BindPlatformCalls();
    g_run = {trial ? &TRIAL_VIEW : &REAL_DISK,
             trial ? MSG_TRIAL_FOLDER_CREATED : MSG_FOLDER_CREATED,
             trial ? MSG_TRIAL_COPIED : MSG_COPIED,
             "",
             "",
             false,
             false,
             nullptr,
             0,
             0};
}

// The full path of `path` with the names as stored, ending in "\\", into `out` (MAX_PATH + 2
// bytes); when a name cannot be looked up, the full path as written; empty when there is none.
// Comparing these, not the paths as written, recognises one folder written with a short 8.3
// name or in another case: the walk never descends into the destination folder and never copies
// an entry onto itself.
static void StoredFolderPath(const char *path, char *out) {
    out[0] = '\0';
    if (strlen(path) >= MAX_PATH) return;
    char full[MAX_PATH];
    char *filePart;
    DWORD length = FullPathName(path, MAX_PATH, full, &filePart);
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

// A source item (no backslash in its relative path) was created or copied at the destination.
static void NoteMade(const char *relative) {
    if (!FindSingleByteChar(relative, '\\')) g_run.itemMade = true;
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
// A folder is listed with its path and "\\*" (two more units), and CreateDirectory takes 248 units.
static const char *PathTooLong(const char *source, const char *destination, bool folder) {
    if (!PathFitsPlatform(source, folder ? MAX_PATH - 2 : MAX_PATH)) return MSG_SOURCE_PATH_TOO_LONG;
    if (!PathFitsPlatform(destination, folder ? CREATE_FOLDER_PATH_LIMIT : MAX_PATH)) return MSG_DEST_PATH_TOO_LONG;
    return nullptr;
}

// The message when handling source base + `relative` would copy an entry onto itself or, for a
// folder, copy the destination folder into itself; null when it would not. Asked only of an entry
// that the selection tests let through, so a folder the user excludes keeps its own record.
static const char *CyclicCopy(const char *relative, bool folder) {
    if (!g_run.sourceStored[0] || !g_run.destinationStored[0]) return nullptr;
    if (g_run.sourceIsDestination) return MSG_SOURCE_IS_DEST;
    if (!folder) return nullptr;
    size_t base = strlen(g_run.sourceStored), length = strlen(relative);
    if (base + length + 1 != strlen(g_run.destinationStored)) return nullptr;
    char path[MAX_PATH + 2];
    memcpy(path, g_run.sourceStored, base);
    memcpy(path + base, relative, length);
    memcpy(path + base + length, "\\", 2);
    return SamePath(path, g_run.destinationStored) ? MSG_SOURCE_IS_DEST_FOLDER : nullptr;
}

// A folder that exists at the destination (or appeared there): it gets the source's attributes.
static int FolderExists(const char *relative, const WCHAR *destination, DWORD attributes) {
    if (TransferAttributes(g_run.fs, destination, attributes) < 0)
        CopyLogRecord(relative, MSG_FOLDER_EXISTS_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
    else
        CopyLogRecord(relative, MSG_FOLDER_EXISTS, LOG_LEVEL_NOT_COPIED);
    return 1;
}

// The folder was created and has its source's word: descend, knowing that it holds nothing.
static int FolderCreated(const char *relative, const WCHAR *destination, DWORD attributes, DWORD *madeWord) {
    if (TransferAttributes(g_run.fs, destination, attributes) < 0) {
        CopyLogRecord(relative, MSG_FOLDER_CREATED_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
        *madeWord = MADE_WORD_UNKNOWN;
    } else {
        CopyLogRecord(relative, g_run.folderCreated, LOG_LEVEL_DONE);
        *madeWord = attributes;
    }
    NoteMade(relative);
    return 2;
}

int EnterFolder(DWORD mode, const WordList &tcd, const WordList &tud, DWORD attributes, const char *destBase,
                const char *relative, const char *source, DWORD madeFolder, DWORD *madeWord) {
    DWORD unusedWord;
    if (!madeWord) madeWord = &unusedWord;
    *madeWord = INVALID_FILE_ATTRIBUTES;
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
    const char *tooLong = PathTooLong(source, destination, true);
    WidePath wide;
    if (!tooLong && !ToWidePath(destination, &wide)) tooLong = MSG_DEST_PATH_TOO_LONG;
    LocalFree(destination);
    if (tooLong) {
        CopyLogRecord(relative, tooLong, LOG_LEVEL_ERROR);
        return -1;
    }
    // Below a folder this run has just created, nothing is there to look up.
    DWORD existing = madeFolder != INVALID_FILE_ATTRIBUTES ? INVALID_FILE_ATTRIBUTES : g_run.fs->attributes(wide.text);
    if (existing == INVALID_FILE_ATTRIBUTES && madeFolder == INVALID_FILE_ATTRIBUTES &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
        CopyLogRecord(relative, TooLongOr(MSG_DEST_ATTRIBUTES_FAILED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        return -1;
    }
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & UNKNOWN_ATTRIBUTE_MASK)) {
        CopyLogRecord(relative, MSG_DEST_UNKNOWN_ATTRIBUTE, LOG_LEVEL_ERROR);
        return -1;
    }
    if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY)) {
        CopyLogRecord(relative, MSG_DEST_HAS_FILE, LOG_LEVEL_ERROR);
        return -1;
    }
    if (existing != INVALID_FILE_ATTRIBUTES) return FolderExists(relative, wide.text, attributes);
    if (g_run.fs->createFolder(wide.text)) return FolderCreated(relative, wide.text, attributes, madeWord);
    // Made by someone else since it was looked at, or a second name for a folder made just now
    // (an 8.3 alias, or a name that differs in case only): decided as after a look-up.
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return madeFolder != INVALID_FILE_ATTRIBUTES
                   ? EnterFolder(mode, tcd, tud, attributes, destBase, relative, source, INVALID_FILE_ATTRIBUTES, madeWord)
                   : FolderExists(relative, wide.text, attributes);
    CopyLogRecord(relative, TooLongOr(MSG_FOLDER_NOT_CREATED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR);
    return -1;
}

// The word a copy carries when it is known without reading it: a file copied into a folder this
// run created with the word `madeFolder`, from a source that has the archive attribute and
// neither compression nor encryption, in a folder that passes none of those on. The copy then
// carries exactly its source's word. INVALID_FILE_ATTRIBUTES when it has to be read.
static DWORD KnownCopyWord(DWORD madeFolder, DWORD attributes) {
    const DWORD inherited = FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (madeFolder == INVALID_FILE_ATTRIBUTES || madeFolder == MADE_WORD_UNKNOWN || (madeFolder & inherited)) 
        return INVALID_FILE_ATTRIBUTES;
    if (!(attributes & FILE_ATTRIBUTE_ARCHIVE) || (attributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED)))
        return INVALID_FILE_ATTRIBUTES;
    return attributes;
}

static const DWORD PROTECTION = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The temporary name in the folder of `destination` into `out`; false when that path does not fit.
static bool TemporaryBeside(const WCHAR *destination, WidePath *out) {
    size_t folder = 0;
    for (size_t i = 0; destination[i]; i++)
        if (destination[i] == '\\') folder = i + 1;
    const char name[] = TEMPORARY_NAME;
    if (folder + sizeof name > MAX_PATH) return false;
    memcpy(out->text, destination, folder * sizeof(WCHAR));
    for (size_t i = 0; i < sizeof name; i++) out->text[folder + i] = (WCHAR)name[i];
    return true;
}

// A copy made (under its own or the temporary name) gets its source's attributes: the level of
// the copy's record (a warning when they could not be set).
static int TransferToCopy(const WCHAR *copy, DWORD attributes, DWORD madeFolder) {
    DWORD copyWord = KnownCopyWord(madeFolder, attributes);
    LONG transferred = copyWord == INVALID_FILE_ATTRIBUTES ? TransferAttributes(g_run.fs, copy, attributes)
                                                            : TransferKnownAttributes(g_run.fs, copy, attributes, copyWord);
    return transferred < 0 ? LOG_LEVEL_WARNING : LOG_LEVEL_DONE;
}

// The record of a copy put in place, at the level TransferToCopy gave.
static int CopiedRecord(const char *relative, int level) {
    NoteMade(relative);
    return Record(relative, level == LOG_LEVEL_DONE ? g_run.copied : MSG_COPIED_NO_ATTRIBUTES, level);
}

static int DecideAndCopy(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                         const char *source, const char *destination, const ListedEntry *listed, DWORD madeFolder);

// A large file: copied into the temporary name beside its destination, given its attributes there
// and then put in place; any failure deletes the temporary copy and leaves the destination as it
// was (its protection, taken off just before the replacement, given back).
static int CopyThroughTemporary(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf,
                                const char *relative, const char *source, const char *destination,
                                const ListedEntry *listed, DWORD madeFolder, const WCHAR *wideSource,
                                const WCHAR *wideDestination, const WCHAR *temporary, DWORD existing) {
    const FileSystem *fs = g_run.fs;
    if (!fs->copyFile(wideSource, temporary, FALSE)) {
        const char *message = TooLongOr(MSG_COPY_FAILED, MSG_DEST_PATH_TOO_LONG);
        fs->deleteFile(temporary);
        return Record(relative, message, LOG_LEVEL_ERROR);
    }
    int level = TransferToCopy(temporary, attributes, madeFolder);
    bool protectionRemoved = existing != INVALID_FILE_ATTRIBUTES && (existing & PROTECTION);
    if (protectionRemoved && !fs->setAttributes(wideDestination, FILE_ATTRIBUTE_NORMAL)) {
        fs->deleteFile(temporary);
        return Record(relative, MSG_DEST_ATTRIBUTES_NOT_CHANGED, LOG_LEVEL_ERROR);
    }
    bool absent = madeFolder != INVALID_FILE_ATTRIBUTES;
    if (!fs->replaceFile(temporary, wideDestination, !absent)) {
        DWORD error = GetLastError();
        if (protectionRemoved) fs->setAttributes(wideDestination, existing);
        fs->deleteFile(temporary);
        if (absent && error == ERROR_ALREADY_EXISTS)
            return DecideAndCopy(mode, attributes, tcf, tuf, relative, source, destination, listed,
                                 INVALID_FILE_ATTRIBUTES);
        SetLastError(error);
        return Record(relative, TooLongOr(MSG_COPY_FAILED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR);
    }
    return CopiedRecord(relative, level);
}

// The decision for a file whose source and destination paths are known; one record, whose level
// is returned. `madeFolder`: the word of the destination folder when this run has just created
// it (nothing in it to look up), INVALID_FILE_ATTRIBUTES otherwise.
static int DecideAndCopy(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                         const char *source, const char *destination, const ListedEntry *listed,
                         DWORD madeFolder) {
    Selection selection = SelectFile(LastName(source), attributes, mode, tcf, tuf);
    if (selection.result != SELECTED) return Record(relative, selection.message, selection.level);
    if (const char *cyclic = CyclicCopy(relative, false)) return Record(relative, cyclic, LOG_LEVEL_ERROR);
    if (const char *tooLong = PathTooLong(source, destination, false)) return Record(relative, tooLong, LOG_LEVEL_ERROR);
    WidePath wideSource, wideDestination;
    if (!ToWidePath(source, &wideSource)) return Record(relative, MSG_SOURCE_PATH_TOO_LONG, LOG_LEVEL_ERROR);
    if (!ToWidePath(destination, &wideDestination)) return Record(relative, MSG_DEST_PATH_TOO_LONG, LOG_LEVEL_ERROR);
    const FileSystem *fs = g_run.fs;
    bool absent = madeFolder != INVALID_FILE_ATTRIBUTES;
    // A listed source's facts are known; a source item's are read when they are needed.
    ListedEntry sourceFacts = listed ? *listed : ListedEntry{attributes, 0, 0};
    bool known = listed != nullptr;
    DWORD existing = INVALID_FILE_ATTRIBUTES;
    if (!absent) {
        // The destination's attributes, size and time come in one call.
        ListedEntry destFacts;
        if (!fs->facts(wideDestination.text, &destFacts)) {
            if (GetLastError() != ERROR_FILE_NOT_FOUND)
                return Record(relative, TooLongOr(MSG_DEST_ATTRIBUTES_FAILED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        } else {
            existing = destFacts.attributes;
            if (existing & UNKNOWN_ATTRIBUTE_MASK) return Record(relative, MSG_DEST_UNKNOWN_ATTRIBUTE, LOG_LEVEL_ERROR);
            if (existing & FILE_ATTRIBUTE_DIRECTORY) return Record(relative, MSG_DEST_HAS_FOLDER, LOG_LEVEL_ERROR);
            Selection judged = JudgeDestinationFile(existing, mode);
            if (judged.result != SELECTED) return Record(relative, judged.message, judged.level);
            // Size and time: the whole 64-bit size and the whole time in seconds, so that files
            // that differ only above 4 GiB, or dates after 2038, are judged correctly. The source
            // must be at least 2 seconds newer (file systems that keep times in 2-second steps).
            // Without the source's facts neither test can be made, and copying anyway could put
            // an older file over a newer one. A copy that a hard end left incomplete (dated
            // PART_WRITTEN) is never up to date.
            if ((mode & (MODE_SKIP_SAME_SIZE | MODE_SKIP_NOT_NEWER)) && destFacts.written != PART_WRITTEN) {
                if (!known && !fs->facts(wideSource.text, &sourceFacts))
                    return Record(relative, MSG_SOURCE_STATUS_FAILED, LOG_LEVEL_ERROR);
                known = true;
                if ((mode & MODE_SKIP_SAME_SIZE) && sourceFacts.size == destFacts.size)
                    return Record(relative, MSG_SAME_SIZE, LOG_LEVEL_NOT_COPIED);
                if ((mode & MODE_SKIP_NOT_NEWER) && sourceFacts.written <= destFacts.written + 1)
                    return Record(relative, MSG_NOT_NEWER, LOG_LEVEL_NOT_COPIED);
            }
        }
    }
    // A large file goes into the temporary name first, so that its own name never holds a part.
    // (A source item whose facts cannot be read here is copied directly; the copy will say.)
    if (!known && !fs->facts(wideSource.text, &sourceFacts)) sourceFacts.size = 0;
    NoteFileToCopy(sourceFacts.size);
    WidePath temporary;
    if (sourceFacts.size >= LARGE_FILE_BYTES && TemporaryBeside(wideDestination.text, &temporary))
        return CopyThroughTemporary(mode, attributes, tcf, tuf, relative, source, destination, listed, madeFolder,
                                    wideSource.text, wideDestination.text, temporary.text, existing);
    bool protectionRemoved = false;
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & PROTECTION)) {
        if (!fs->setAttributes(wideDestination.text, FILE_ATTRIBUTE_NORMAL))
            return Record(relative, MSG_DEST_ATTRIBUTES_NOT_CHANGED, LOG_LEVEL_ERROR);
        protectionRemoved = true;
    }
    // Where nothing was looked up, the copy never replaces anything: a source folder can hold
    // names that the destination takes as one (a.txt and A.txt, or an 8.3 alias), and the second
    // one is decided as after a look-up.
    if (!fs->copyFile(wideSource.text, wideDestination.text, absent)) {
        if (absent && GetLastError() == ERROR_FILE_EXISTS)
            return DecideAndCopy(mode, attributes, tcf, tuf, relative, source, destination, listed,
                                 INVALID_FILE_ATTRIBUTES);
        const char *message = TooLongOr(MSG_COPY_FAILED, MSG_DEST_PATH_TOO_LONG);
        // The old file stays: it gets back the protection that was taken off for the copy.
        if (protectionRemoved) fs->setAttributes(wideDestination.text, existing);
        return Record(relative, message, LOG_LEVEL_ERROR);
    }
    return CopiedRecord(relative, TransferToCopy(wideDestination.text, attributes, madeFolder));
}

int CopyOneFile(DWORD mode, DWORD attributes, const WordList &tcf, const WordList &tuf, const char *relative,
                const char *sourceBase, const char *destBase, const ListedEntry *listed, DWORD madeFolder) {
    char *source = JoinPath(sourceBase, relative);
    char *destination = source ? JoinPath(destBase, relative) : nullptr;
    int level = destination
                    ? DecideAndCopy(mode, attributes, tcf, tuf, relative, source, destination, listed, madeFolder)
                    : Record(relative, MSG_COPY_FAILED, LOG_LEVEL_ERROR);
    if (destination) LocalFree(destination);
    if (source) LocalFree(source);
    return level;
}

// ---- the walk ----

// Visits every entry of the entered folder source base + `relative`, whose source path `work`
// holds (with room for a child's relative path). 1: visited to the end; 0: the listing failed
// (recorded); -1: a stop was requested. The buffer is the source path again on return.
// `madeWord`: the destination folder's word when this run has just created it.
static int WalkChildren(ProgressLine *progress, DWORD mode, const WordList &tcd, const WordList &tcf,
                        const WordList &tud, const WordList &tuf, const char *relative, const char *sourceBase,
                        const char *destBase, char *work, DWORD madeWord) {
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
                if (WalkEntry(progress, mode, tcd, tcf, tud, tuf, work, sourceBase, destBase, &child, madeWord) < 0) {
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
              const ListedEntry *listed, DWORD madeFolder) {
    if (g_stopRequest) return -1;
    if (!FindSingleByteChar(relative, '\\')) {
        // A source item: the top of a walk. The current folder may have changed since the last one.
        StoredFolderPath(sourceBase, g_run.sourceStored);
        StoredFolderPath(destBase, g_run.destinationStored);
        g_run.sourceIsDestination = SamePath(g_run.sourceStored, g_run.destinationStored);
        g_run.itemMade = false;
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
    WidePath wide;
    bool widened = ToWidePath(work, &wide);
    DWORD attributes = listed ? listed->attributes : widened ? g_run.fs->attributes(wide.text) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CopyLogRecord(relative, TooLongOr(MSG_SOURCE_ATTRIBUTES_FAILED, MSG_SOURCE_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        LocalFree(work);
        return 0;
    }
    PublishProgress(progress, relative);

    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        DWORD madeWord;
        if (EnterFolder(mode, tcd, tud, attributes, destBase, relative, work, madeFolder, &madeWord) <= 0) {
            LocalFree(work);
            return 0;
        }
        int walked = WalkChildren(progress, mode, tcd, tcf, tud, tuf, relative, sourceBase, destBase, work, madeWord);
        if (walked <= 0) {
            LocalFree(work);
            return walked;
        }
    } else if (CopyOneFile(mode, attributes, tcf, tuf, relative, sourceBase, destBase, listed, madeFolder) >
               LOG_LEVEL_DONE) {
        // A file that was not copied for a fault (or copied without its attributes) keeps its
        // archive attribute: it has not been backed up, and the next archive-driven run must see it.
        LocalFree(work);
        return 0;
    }
    if (g_runConf & CONF_CLEAR_ARCHIVE) {
        if (!widened || !g_run.fs->setAttributes(wide.text, attributes & ~(DWORD)FILE_ATTRIBUTE_ARCHIVE))
            CopyLogRecord(relative, MSG_ARCHIVE_NOT_CLEARED, LOG_LEVEL_WARNING);
    }
    LocalFree(work);
    return 0;
}

// ---- the run ----

int RunCopySources(const CopyJob *job, ProgressLine *progress) {
    g_runConf = job->conf;
    ResetCopyRun(job->trial);
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
            // What the run has just created or copied holds only what the source has: its check
            // lists nothing there (and a trial run, which made nothing, has nothing to look at).
            if (g_run.itemMade)
                stopped = g_stopRequest != 0;
            else
                stopped = CheckMissingForSource(progress, job->sourceList, i, name, parent, job->dest) < 0;
        }
        if (stopped) CopyLogRecord("> >", MSG_RUN_STOPPED, LOG_LEVEL_WARNING);
    }
    ResetCopyRun(false);
    return stopped ? -1 : 0;
}

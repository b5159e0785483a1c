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
const char MSG_FOLDER_CREATED[] = "フォルダを作成しました。";
const char MSG_FOLDER_CREATED_NO_ATTRIBUTES[] = "フォルダを作成しました。（属性未設定）";
const char MSG_FOLDER_EXISTS[] = "すでに存在します。";
static const char MSG_FOLDER_EXISTS_NO_ATTRIBUTES[] = "すでに存在します。（属性未設定）";
static const char MSG_FOLDER_NOT_CREATED[] = "フォルダを作成できません。";
static const char MSG_SOURCE_STATUS_FAILED[] = "コピー元のファイル情報を取得できません。";
static const char MSG_SAME_SIZE[] = "サイズが同じためコピーしません。";
static const char MSG_NOT_NEWER[] = "日付が同じか古いためコピーしません。";
static const char MSG_DEST_ATTRIBUTES_NOT_CHANGED[] = "コピー先の属性を変更できないのでコピーできません。";
static const char MSG_COPY_FAILED[] = "コピーできません。";
const char MSG_COPIED[] = "コピーしました。";
const char MSG_COPIED_NO_ATTRIBUTES[] = "コピーしました。（属性未設定）";

static bool EndsInSeparator(const char *text);

CopyRunData g_run = {&REAL_DISK, MSG_FOLDER_CREATED, MSG_COPIED, false, "", "", false, false, nullptr, 0, 0};

void ResetCopyRun(bool trial) {
    ResetTrialView();
    BindPlatformCalls();
    g_run = {trial ? &TRIAL_VIEW : &REAL_DISK,
             trial ? MSG_TRIAL_FOLDER_CREATED : MSG_FOLDER_CREATED,
             trial ? MSG_TRIAL_COPIED : MSG_COPIED,
             LongPathsReached(),
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

// ---- the walk's names and paths ----

// What the walk of one source item keeps: the rules, and the two folders it goes from and to.
// Names are kept in UTF-16 as the platform lists them; the bases end in "\\".
struct Walk {
    ProgressLine *progress;
    DWORD mode;
    const WordList *tcd, *tcf, *tud, *tuf;
    const WCHAR *sourceBase;
    size_t sourceUnits;
    const WCHAR *destBase;
    size_t destUnits;
};

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

// base + relative at `out`, terminated.
static void JoinWide(WCHAR *out, const WCHAR *base, size_t baseUnits, const WCHAR *relative, size_t units) {
    memcpy(out, base, baseUnits * sizeof(WCHAR));
    memcpy(out + baseUnits, relative, units * sizeof(WCHAR));
    out[baseUnits + units] = 0;
}

// A source item (no backslash in its relative path) was created or copied at the destination.
static void NoteMade(const EntryNames &entry) {
    if (entry.item) g_run.itemMade = true;
}

// ---- the decisions ----

// Writes one record and returns its level.
static int Record(const EntryNames &entry, const char *message, int level) {
    CopyLogRecord(entry.shown, message, (unsigned)level);
    return level;
}

// Writes one record and returns `result`: a folder's decision that does not descend.
static int Refused(const EntryNames &entry, const char *message, int level, int result) {
    Record(entry, message, level);
    return result;
}

// The message when the source or destination path of an entry (`sourceUnits`, `destUnits` UTF-16
// units) is too long for the calls that handling it takes (null when both fit): decided once,
// before anything is tried, so that no entry is left half done (a file copied without its
// attributes, a folder made but not entered). A folder is listed with its path and "\\*" (two more
// units), and CreateDirectory takes 248 units. Only where long paths cannot reach the disk.
static const char *PathTooLong(size_t sourceUnits, size_t destUnits, bool folder) {
    if (g_run.longPaths) return nullptr;
    if (sourceUnits + 1 > (folder ? MAX_PATH - 2 : MAX_PATH)) return MSG_SOURCE_PATH_TOO_LONG;
    if (destUnits + 1 > (folder ? CREATE_FOLDER_PATH_LIMIT : MAX_PATH)) return MSG_DEST_PATH_TOO_LONG;
    return nullptr;
}

// The message when handling the entry would copy it onto itself or, for a folder, copy the
// destination folder into itself; null when it would not. Asked only of an entry that the
// selection tests let through, so a folder the user excludes keeps its own record. (The
// destination folder's path is code page 932 text: a name shown with escapes is never it.)
static const char *CyclicCopy(const EntryNames &entry, bool folder) {
    if (!g_run.sourceStored[0] || !g_run.destinationStored[0]) return nullptr;
    if (g_run.sourceIsDestination) return MSG_SOURCE_IS_DEST;
    if (!folder) return nullptr;
    size_t base = strlen(g_run.sourceStored), length = strlen(entry.shown);
    if (base + length + 1 != strlen(g_run.destinationStored)) return nullptr;
    char path[MAX_PATH + 2];
    memcpy(path, g_run.sourceStored, base);
    memcpy(path + base, entry.shown, length);
    memcpy(path + base + length, "\\", 2);
    return SamePath(path, g_run.destinationStored) ? MSG_SOURCE_IS_DEST_FOLDER : nullptr;
}

// A folder that exists at the destination (or appeared there): it gets the source's attributes.
static int FolderExists(const EntryNames &entry, const WCHAR *destination, DWORD attributes) {
    if (TransferAttributes(g_run.fs, destination, attributes) < 0)
        Record(entry, MSG_FOLDER_EXISTS_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
    else
        Record(entry, MSG_FOLDER_EXISTS, LOG_LEVEL_NOT_COPIED);
    return 1;
}

// The folder was created and has its source's word: descend, knowing that it holds nothing.
static int FolderCreated(const EntryNames &entry, const WCHAR *destination, DWORD attributes, DWORD *madeWord) {
    if (TransferAttributes(g_run.fs, destination, attributes) < 0) {
        Record(entry, MSG_FOLDER_CREATED_NO_ATTRIBUTES, LOG_LEVEL_WARNING);
        *madeWord = MADE_WORD_UNKNOWN;
    } else {
        Record(entry, g_run.folderCreated, LOG_LEVEL_DONE);
        *madeWord = attributes;
    }
    NoteMade(entry);
    return 2;
}

// The decision for a source folder: 1 the folder exists at the destination (descend), 2 it was
// created (descend; `*madeWord` gets the word it was given, see MADE_WORD_UNKNOWN), 0 refused,
// -1 a destination problem. Writes exactly one record. `madeFolder`: see WalkEntry.
static int EnterFolder(const Walk &walk, const EntryNames &entry, DWORD attributes, size_t sourceUnits,
                       const WCHAR *destination, size_t destUnits, DWORD madeFolder, DWORD *madeWord) {
    *madeWord = INVALID_FILE_ATTRIBUTES;
    Selection selection = SelectFolder(LastName(entry.pattern), attributes, walk.mode, *walk.tcd, *walk.tud);
    if (selection.result != SELECTED) return Refused(entry, selection.message, selection.level, 0);
    if (const char *cyclic = CyclicCopy(entry, true)) return Refused(entry, cyclic, LOG_LEVEL_ERROR, 0);
    if (const char *tooLong = PathTooLong(sourceUnits, destUnits, true)) return Refused(entry, tooLong, LOG_LEVEL_ERROR, -1);
    // Below a folder this run has just created, nothing is there to look up.
    DWORD existing = madeFolder != INVALID_FILE_ATTRIBUTES ? INVALID_FILE_ATTRIBUTES : g_run.fs->attributes(destination);
    if (existing == INVALID_FILE_ATTRIBUTES && madeFolder == INVALID_FILE_ATTRIBUTES &&
        GetLastError() != ERROR_FILE_NOT_FOUND)
        return Refused(entry, TooLongOr(MSG_DEST_ATTRIBUTES_FAILED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR, -1);
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & UNKNOWN_ATTRIBUTE_MASK))
        return Refused(entry, MSG_DEST_UNKNOWN_ATTRIBUTE, LOG_LEVEL_ERROR, -1);
    if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY))
        return Refused(entry, MSG_DEST_HAS_FILE, LOG_LEVEL_ERROR, -1);
    if (existing != INVALID_FILE_ATTRIBUTES) return FolderExists(entry, destination, attributes);
    if (g_run.fs->createFolder(destination)) return FolderCreated(entry, destination, attributes, madeWord);
    // Made by someone else since it was looked at, or a second name for a folder made just now
    // (an 8.3 alias, or a name that differs in case only): decided as after a look-up.
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return madeFolder != INVALID_FILE_ATTRIBUTES
                   ? EnterFolder(walk, entry, attributes, sourceUnits, destination, destUnits, INVALID_FILE_ATTRIBUTES,
                                 madeWord)
                   : FolderExists(entry, destination, attributes);
    return Refused(entry, TooLongOr(MSG_FOLDER_NOT_CREATED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR, -1);
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

// The temporary name in the folder of `destination`, in memory of its own (LocalFree); null when
// that path does not fit the platform or there is no memory for it.
static WCHAR *TemporaryBeside(const WCHAR *destination) {
    size_t folder = 0;
    for (size_t i = 0; destination[i]; i++)
        if (destination[i] == '\\') folder = i + 1;
    const char name[] = TEMPORARY_NAME;
    if (!g_run.longPaths && folder + sizeof name > MAX_PATH) return nullptr;
    WCHAR *temporary = (WCHAR *)LocalAlloc(LMEM_FIXED, (folder + sizeof name) * sizeof(WCHAR));
    if (!temporary) return nullptr;
    memcpy(temporary, destination, folder * sizeof(WCHAR));
    for (size_t i = 0; i < sizeof name; i++) temporary[folder + i] = (WCHAR)name[i];
    return temporary;
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
static int CopiedRecord(const EntryNames &entry, int level) {
    NoteMade(entry);
    return Record(entry, level == LOG_LEVEL_DONE ? g_run.copied : MSG_COPIED_NO_ATTRIBUTES, level);
}

// A file to decide: its names, its paths and what is known of it.
struct FileToCopy {
    const EntryNames &entry;
    DWORD attributes;
    const WCHAR *source;
    size_t sourceUnits;
    const WCHAR *destination;
    size_t destUnits;
    const ListedEntry *listed; // the facts from its folder's listing, or null
};

static int DecideAndCopy(const Walk &walk, const FileToCopy &file, DWORD madeFolder);

// A large file: copied into the temporary name beside its destination, given its attributes there
// and then put in place; any failure deletes the temporary copy and leaves the destination as it
// was (its protection, taken off just before the replacement, given back).
static int CopyThroughTemporary(const Walk &walk, const FileToCopy &file, DWORD madeFolder, const WCHAR *temporary,
                                DWORD existing) {
    const FileSystem *fs = g_run.fs;
    if (!fs->copyFile(file.source, temporary, FALSE)) {
        const char *message = TooLongOr(MSG_COPY_FAILED, MSG_DEST_PATH_TOO_LONG);
        fs->deleteFile(temporary);
        return Record(file.entry, message, LOG_LEVEL_ERROR);
    }
    int level = TransferToCopy(temporary, file.attributes, madeFolder);
    bool protectionRemoved = existing != INVALID_FILE_ATTRIBUTES && (existing & PROTECTION);
    if (protectionRemoved && !fs->setAttributes(file.destination, FILE_ATTRIBUTE_NORMAL)) {
        fs->deleteFile(temporary);
        return Record(file.entry, MSG_DEST_ATTRIBUTES_NOT_CHANGED, LOG_LEVEL_ERROR);
    }
    bool absent = madeFolder != INVALID_FILE_ATTRIBUTES;
    if (!fs->replaceFile(temporary, file.destination, !absent)) {
        DWORD error = GetLastError();
        if (protectionRemoved) fs->setAttributes(file.destination, existing);
        fs->deleteFile(temporary);
        if (absent && error == ERROR_ALREADY_EXISTS) return DecideAndCopy(walk, file, INVALID_FILE_ATTRIBUTES);
        SetLastError(error);
        return Record(file.entry, TooLongOr(MSG_COPY_FAILED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR);
    }
    return CopiedRecord(file.entry, level);
}

// The decision for a file and, when it is to be copied, the copy: one record, whose level is
// returned. `madeFolder`: the word of the destination folder when this run has just created it
// (nothing in it to look up), INVALID_FILE_ATTRIBUTES otherwise.
static int DecideAndCopy(const Walk &walk, const FileToCopy &file, DWORD madeFolder) {
    const EntryNames &entry = file.entry;
    DWORD mode = walk.mode;
    Selection selection = SelectFile(LastName(entry.pattern), file.attributes, mode, *walk.tcf, *walk.tuf);
    if (selection.result != SELECTED) return Record(entry, selection.message, selection.level);
    if (const char *cyclic = CyclicCopy(entry, false)) return Record(entry, cyclic, LOG_LEVEL_ERROR);
    if (const char *tooLong = PathTooLong(file.sourceUnits, file.destUnits, false))
        return Record(entry, tooLong, LOG_LEVEL_ERROR);
    const FileSystem *fs = g_run.fs;
    bool absent = madeFolder != INVALID_FILE_ATTRIBUTES;
    // A listed source's facts are known; a source item's are read when they are needed.
    ListedEntry sourceFacts = file.listed ? *file.listed : ListedEntry{file.attributes, 0, 0};
    bool known = file.listed != nullptr;
    DWORD existing = INVALID_FILE_ATTRIBUTES;
    if (!absent) {
        // The destination's attributes, size and time come in one call.
        ListedEntry destFacts;
        if (!fs->facts(file.destination, &destFacts)) {
            if (GetLastError() != ERROR_FILE_NOT_FOUND)
                return Record(entry, TooLongOr(MSG_DEST_ATTRIBUTES_FAILED, MSG_DEST_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        } else {
            existing = destFacts.attributes;
            if (existing & UNKNOWN_ATTRIBUTE_MASK) return Record(entry, MSG_DEST_UNKNOWN_ATTRIBUTE, LOG_LEVEL_ERROR);
            if (existing & FILE_ATTRIBUTE_DIRECTORY) return Record(entry, MSG_DEST_HAS_FOLDER, LOG_LEVEL_ERROR);
            Selection judged = JudgeDestinationFile(existing, mode);
            if (judged.result != SELECTED) return Record(entry, judged.message, judged.level);
            // Size and time: the whole 64-bit size and the whole time in seconds, so that files
            // that differ only above 4 GiB, or dates after 2038, are judged correctly. The source
            // must be at least 2 seconds newer (file systems that keep times in 2-second steps).
            // Without the source's facts neither test can be made, and copying anyway could put
            // an older file over a newer one. A copy that a hard end left incomplete (dated
            // PART_WRITTEN) is never up to date.
            if ((mode & (MODE_SKIP_SAME_SIZE | MODE_SKIP_NOT_NEWER)) && destFacts.written != PART_WRITTEN) {
                if (!known && !fs->facts(file.source, &sourceFacts))
                    return Record(entry, MSG_SOURCE_STATUS_FAILED, LOG_LEVEL_ERROR);
                known = true;
                if ((mode & MODE_SKIP_SAME_SIZE) && sourceFacts.size == destFacts.size)
                    return Record(entry, MSG_SAME_SIZE, LOG_LEVEL_NOT_COPIED);
                if ((mode & MODE_SKIP_NOT_NEWER) && sourceFacts.written <= destFacts.written + 1)
                    return Record(entry, MSG_NOT_NEWER, LOG_LEVEL_NOT_COPIED);
            }
        }
    }
    // A large file goes into the temporary name first, so that its own name never holds a part.
    // (A source item whose facts cannot be read here is copied directly; the copy will say.)
    if (!known && !fs->facts(file.source, &sourceFacts)) sourceFacts.size = 0;
    NoteFileToCopy(sourceFacts.size);
    if (sourceFacts.size >= LARGE_FILE_BYTES) {
        if (WCHAR *temporary = TemporaryBeside(file.destination)) {
            int level = CopyThroughTemporary(walk, file, madeFolder, temporary, existing);
            LocalFree(temporary);
            return level;
        }
    }
    bool protectionRemoved = false;
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & PROTECTION)) {
        if (!fs->setAttributes(file.destination, FILE_ATTRIBUTE_NORMAL))
            return Record(entry, MSG_DEST_ATTRIBUTES_NOT_CHANGED, LOG_LEVEL_ERROR);
        protectionRemoved = true;
    }
    // Where nothing was looked up, the copy never replaces anything: a source folder can hold
    // names that the destination takes as one (a.txt and A.txt, or an 8.3 alias), and the second
    // one is decided as after a look-up.
    if (!fs->copyFile(file.source, file.destination, absent)) {
        if (absent && GetLastError() == ERROR_FILE_EXISTS) return DecideAndCopy(walk, file, INVALID_FILE_ATTRIBUTES);
        const char *message = TooLongOr(MSG_COPY_FAILED, MSG_DEST_PATH_TOO_LONG);
        // The old file stays: it gets back the protection that was taken off for the copy.
        if (protectionRemoved) fs->setAttributes(file.destination, existing);
        return Record(entry, message, LOG_LEVEL_ERROR);
    }
    return CopiedRecord(entry, TransferToCopy(file.destination, file.attributes, madeFolder));
}

// ---- the walk ----

static int WalkEntry(const Walk &walk, const EntryNames &entry, const ListedEntry *listed, DWORD madeFolder);

// Visits every entry of the entered folder `entry`, whose source path `source` (`sourceUnits`
// units) has room for "\\*". 1: visited to the end; 0: the listing failed (recorded); -1: a stop
// was requested. `madeWord`: the destination folder's word when this run has just created it.
static int WalkChildren(const Walk &walk, const EntryNames &entry, WCHAR *source, size_t sourceUnits, DWORD madeWord) {
    source[sourceUnits] = '\\';
    source[sourceUnits + 1] = '*';
    source[sourceUnits + 2] = 0;
    FolderListing listing;
    bool listed = ListFirstEntry(source, &listing);
    DWORD error = listed ? 0 : GetLastError();
    source[sourceUnits] = 0;
    if (!listed) {
        // Nothing listed is an empty folder.
        if (error == ERROR_FILE_NOT_FOUND) return 1;
        SetLastError(error);
        Record(entry, TooLongOr(MSG_SOURCE_ACCESS_FAILED, MSG_SOURCE_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        return 0;
    }
    ChildNames names;
    if (!BeginChildNames(&names, entry)) {
        CloseListing(&listing);
        Record(entry, MSG_SOURCE_ACCESS_FAILED, LOG_LEVEL_ERROR);
        return 0;
    }
    int result = 1;
    for (;;) {
        if (TakeChildName(&names, listing)) {
            if (g_stopRequest) {
                result = -1;
                break;
            }
            if (ListedNameUnusable(listing)) {
                // Never opened, copied or cleared under a substitute, which may be another entry.
                Record(names.child, UnusableNameMessage(listing.name, listing.entry.dwFileAttributes), LOG_LEVEL_ERROR);
            } else {
                ListedEntry facts = ListedFacts(listing.entry);
                if (WalkEntry(walk, names.child, &facts, madeWord) < 0) {
                    result = -1;
                    break;
                }
            }
        }
        if (!ListNextEntry(&listing)) {
            if (GetLastError() != ERROR_NO_MORE_FILES) {
                Record(entry, MSG_SOURCE_ACCESS_FAILED, LOG_LEVEL_ERROR);
                result = 0;
            }
            break;
        }
    }
    CloseListing(&listing);
    EndChildNames(&names);
    return result;
}

// One visited entry. `listed` is what the listing said of an entry inside a source folder (null
// for a source item, whose facts are read); `madeFolder` the word of its destination folder when
// this run has just created that folder (nothing there to look up; a copy never replaces
// anything), INVALID_FILE_ATTRIBUTES otherwise. Negative when the stop request was found set; 0
// otherwise, whatever happened to the entry.
static int WalkEntry(const Walk &walk, const EntryNames &entry, const ListedEntry *listed, DWORD madeFolder) {
    if (g_stopRequest) return -1;
    // The entry's source path (with room for "\\*") and destination path, in one block.
    size_t sourceUnits = walk.sourceUnits + entry.units, destUnits = walk.destUnits + entry.units;
    WCHAR *source = (WCHAR *)LocalAlloc(LMEM_FIXED, (sourceUnits + 3 + destUnits + 1) * sizeof(WCHAR));
    if (!source) {
        Record(entry, MSG_SOURCE_ACCESS_FAILED, LOG_LEVEL_ERROR);
        return 0;
    }
    WCHAR *destination = source + sourceUnits + 3;
    JoinWide(source, walk.sourceBase, walk.sourceUnits, entry.wide, entry.units);
    JoinWide(destination, walk.destBase, walk.destUnits, entry.wide, entry.units);
    // An entry found by its folder's listing has its attribute word already; a source item's is read.
    DWORD attributes = listed ? listed->attributes : g_run.fs->attributes(source);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Record(entry, TooLongOr(MSG_SOURCE_ATTRIBUTES_FAILED, MSG_SOURCE_PATH_TOO_LONG), LOG_LEVEL_ERROR);
        LocalFree(source);
        return 0;
    }
    PublishProgress(walk.progress, entry.pattern);

    int walked = 0;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        DWORD madeWord;
        if (EnterFolder(walk, entry, attributes, sourceUnits, destination, destUnits, madeFolder, &madeWord) > 0)
            walked = WalkChildren(walk, entry, source, sourceUnits, madeWord);
    } else {
        FileToCopy file = {entry, attributes, source, sourceUnits, destination, destUnits, listed};
        // A file that was not copied for a fault (or copied without its attributes) keeps its
        // archive attribute: it has not been backed up, and the next archive-driven run must see it.
        walked = DecideAndCopy(walk, file, madeFolder) <= LOG_LEVEL_DONE ? 1 : 0;
    }
    if (walked > 0 && (g_runConf & CONF_CLEAR_ARCHIVE)) {
        if (!g_run.fs->setAttributes(source, attributes & ~(DWORD)FILE_ATTRIBUTE_ARCHIVE))
            Record(entry, MSG_ARCHIVE_NOT_CLEARED, LOG_LEVEL_WARNING);
    }
    LocalFree(source);
    return walked < 0 ? -1 : 0;
}

// Walks one source item: `name` in the folder `parent` (ending in "\\"), into `dest`; all three
// code page 932 text. Negative when stopped.
static int WalkSourceItem(const CopyJob *job, ProgressLine *progress, const char *parent, const char *name) {
    // The current folder may have changed since the last item.
    StoredFolderPath(parent, g_run.sourceStored);
    StoredFolderPath(job->dest, g_run.destinationStored);
    g_run.sourceIsDestination = SamePath(g_run.sourceStored, g_run.destinationStored);
    g_run.itemMade = false;
    WidePath sourceBase, destBase, wideName;
    if (!ToWidePath(parent, &sourceBase) || !ToWidePath(job->dest, &destBase) || !ToWidePath(name, &wideName)) {
        CopyLogRecord(name, MSG_SOURCE_PATH_TOO_LONG, LOG_LEVEL_ERROR);
        return 0;
    }
    Walk walk = {progress,        job->mode,       &job->tcdList,          &job->tcfList,  &job->tudList,
                 &job->tufList,   sourceBase.text, WideLength(sourceBase.text), destBase.text, WideLength(destBase.text)};
    EntryNames item = {wideName.text, WideLength(wideName.text), name, name, true};
    return WalkEntry(walk, item, nullptr, INVALID_FILE_ATTRIBUTES);
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
        if (WalkSourceItem(job, progress, parent, name) < 0) {
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

// The file-system layer: the real disk, the trial run's view of it, and folder listings.
#include "filesystem.h"
#include "paths.h"
#include "patterns.h"
#include <stdio.h>
#include <string.h>

#ifndef FSCTL_SET_COMPRESSION
#define FSCTL_SET_COMPRESSION 0x0009C040
#endif

// ---- paths ----

bool ToWidePath(const char *path, WidePath *out) {
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, out->text, WIDE_PATH_UNITS) > 0) return true;
    out->text[0] = 0;
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
}

// The code page 932 form of `units` units of `text` at `out` when every one of them has its exact
// form: its length, or 0.
static size_t ExactForm(const WCHAR *text, size_t units, char *out) {
    BOOL usedDefault = FALSE;
    int length = units ? WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, (int)units, out, (int)(2 * units),
                                             nullptr, &usedDefault)
                       : 0;
    return length > 0 && !usedDefault ? (size_t)length : 0;
}

// The pattern form (`shown` false) or the shown form of a text. The whole text is converted at
// once where it is exact (the common case), each unit on its own otherwise.
static size_t CodePageForm(const WCHAR *text, size_t units, char *out, bool shown) {
    size_t length = ExactForm(text, units, out);
    if (length > 0) units = 0; // exact: nothing more to do
    for (size_t i = 0; i < units; i++) {
        size_t n = ExactForm(text + i, 1, out + length);
        if (n == 0 && shown) {
            n = (size_t)snprintf(out + length, SHOWN_UNIT_BYTES + 1, "%c\\u%d?", SHOWN_UNIT, (int)(short)text[i]);
        } else if (n == 0) {
            // A surrogate pair is one character: one "?".
            out[length] = '?';
            n = 1;
            if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                i++;
        }
        length += n;
    }
    out[length] = '\0';
    return length;
}

size_t PatternForm(const WCHAR *text, size_t units, char *out) { return CodePageForm(text, units, out, false); }
size_t ShownForm(const WCHAR *text, size_t units, char *out) { return CodePageForm(text, units, out, true); }

// The code page 932 form of a path for the ANSI calls, where the wide calls are stubs. Every path
// the run passes came from code page 932, so the form is exact.
struct AnsiPath {
    char text[2 * WIDE_PATH_UNITS];
};
static bool ToAnsiPath(const WCHAR *path, AnsiPath *out) {
    if (WideCharToMultiByte(CP_ACP, 0, path, -1, out->text, sizeof out->text, nullptr, nullptr) > 0) return true;
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
}

// A wide call that failed for being a stub: the ANSI call is taken instead.
static bool WideIsStub() { return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED; }

// A path as the wide calls take it whatever its length: as it is when it has fewer than `limit`
// units (MAX_PATH for most calls, CREATE_FOLDER_PATH_LIMIT for CreateDirectoryW); otherwise its
// full path after "\\?\" ("\\?\UNC\server\share\..." for a network path), in memory of its own.
// Where that cannot be made the path stays as it is, and the call fails as too long.
struct LongPath {
    const WCHAR *text;
    WCHAR *made;
    explicit LongPath(const WCHAR *path, size_t limit = MAX_PATH) : text(path), made(nullptr) {
        static const WCHAR PREFIX[] = {'\\', '\\', '?', '\\', 'U', 'N', 'C', '\\'};
        if (WideLength(path) < limit || (path[0] == '\\' && path[1] == '\\' && path[2] == '?' && path[3] == '\\')) return;
        // The full path goes in at offset 6; a network path's "\\\\" is then overwritten by "C\\".
        DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr);
        if (size == 0 || !(made = (WCHAR *)LocalAlloc(LMEM_FIXED, (size + 8) * sizeof(WCHAR)))) return;
        WCHAR *full = made + 6;
        DWORD length = GetFullPathNameW(path, size, full, nullptr);
        if (length == 0 || length >= size) {
            LocalFree(made);
            made = nullptr;
            return;
        }
        if (full[0] == '\\' && full[1] == '\\') {
            memcpy(made, PREFIX, sizeof PREFIX);
        } else {
            memmove(made + 4, full, (length + 1) * sizeof(WCHAR));
            memcpy(made, PREFIX, 4 * sizeof(WCHAR));
        }
        text = made;
    }
    ~LongPath() {
        if (made) LocalFree(made);
    }
    LongPath(const LongPath &) = delete;
    LongPath &operator=(const LongPath &) = delete;
};

int64_t SecondsSince1970(const FILETIME &time) {
    const int64_t EPOCH = 116444736000000000LL, TICKS = 10000000LL; // 1601 to 1970; ticks per second
    int64_t ticks = (int64_t)(((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime) - EPOCH;
    return ticks >= 0 ? ticks / TICKS : -((-ticks + TICKS - 1) / TICKS);
}

size_t WideLength(const WCHAR *text) {
    size_t length = 0;
    while (text[length]) length++;
    return length;
}

static int64_t WholeSize(DWORD high, DWORD low) { return (int64_t)(((uint64_t)high << 32) | low); }

ListedEntry ListedFacts(const WIN32_FIND_DATAA &found) {
    return {found.dwFileAttributes, WholeSize(found.nFileSizeHigh, found.nFileSizeLow),
            SecondsSince1970(found.ftLastWriteTime)};
}

// ---- calls bound at run time ----

typedef BOOL(WINAPI *AttributesExWCall)(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
typedef BOOL(WINAPI *AttributesExACall)(LPCSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
typedef BOOL(WINAPI *CopyExWCall)(LPCWSTR, LPCWSTR, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD);
typedef BOOL(WINAPI *MoveExWCall)(LPCWSTR, LPCWSTR, DWORD);
typedef BOOL(WINAPI *EncryptWCall)(LPCWSTR);
typedef BOOL(WINAPI *DecryptWCall)(LPCWSTR, DWORD);

static struct {
    bool bound;
    AttributesExWCall attributesExW;
    AttributesExACall attributesExA;
    CopyExWCall copyExW;
    MoveExWCall moveExW;
    EncryptWCall encryptW;
    DecryptWCall decryptW;
    bool longPaths;
} s_calls;

// GetProcAddress's type goes through void (*)(void), the type that stands for any function.
typedef void (*AnyCall)(void);
static AnyCall Bound(const char *module, const char *name) {
    HMODULE handle = GetModuleHandleA(module);
    return handle ? reinterpret_cast<AnyCall>(GetProcAddress(handle, name)) : nullptr;
}

void BindPlatformCalls() {
    s_calls.attributesExW = reinterpret_cast<AttributesExWCall>(Bound("KERNEL32.DLL", "GetFileAttributesExW"));
    s_calls.attributesExA = reinterpret_cast<AttributesExACall>(Bound("KERNEL32.DLL", "GetFileAttributesExA"));
    s_calls.copyExW = reinterpret_cast<CopyExWCall>(Bound("KERNEL32.DLL", "CopyFileExW"));
    s_calls.moveExW = reinterpret_cast<MoveExWCall>(Bound("KERNEL32.DLL", "MoveFileExW"));
#ifdef KESTREL_ENCRYPTION
    s_calls.encryptW = reinterpret_cast<EncryptWCall>(Bound("ADVAPI32.DLL", "EncryptFileW"));
    s_calls.decryptW = reinterpret_cast<DecryptWCall>(Bound("ADVAPI32.DLL", "DecryptFileW"));
#endif
    // Where the wide calls are stubs, no path longer than the platform's limit can be reached.
    const WCHAR dot[] = {'.', 0};
    s_calls.longPaths = !(GetFileAttributesW(dot) == INVALID_FILE_ATTRIBUTES && WideIsStub());
    s_calls.bound = true;
}

static void BindOnce() {
    if (!s_calls.bound) BindPlatformCalls();
}

bool LongPathsReached() {
    BindOnce();
    return s_calls.longPaths;
}

// ---- the real disk ----

static DWORD RealAttributes(const WCHAR *path) {
    DWORD attributes = GetFileAttributesW(LongPath(path).text);
    if (attributes != INVALID_FILE_ATTRIBUTES || !WideIsStub()) return attributes;
    AnsiPath ansi;
    return ToAnsiPath(path, &ansi) ? GetFileAttributesA(ansi.text) : INVALID_FILE_ATTRIBUTES;
}

static BOOL RealFacts(const WCHAR *path, ListedEntry *facts) {
    BindOnce();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (s_calls.attributesExW && s_calls.attributesExW(LongPath(path).text, GetFileExInfoStandard, &data)) {
        *facts = {data.dwFileAttributes, WholeSize(data.nFileSizeHigh, data.nFileSizeLow),
                  SecondsSince1970(data.ftLastWriteTime)};
        return TRUE;
    }
    if (s_calls.attributesExW && !WideIsStub()) return FALSE;
    AnsiPath ansi;
    if (!ToAnsiPath(path, &ansi)) return FALSE;
    if (s_calls.attributesExA) {
        if (!s_calls.attributesExA(ansi.text, GetFileExInfoStandard, &data)) return FALSE;
        *facts = {data.dwFileAttributes, WholeSize(data.nFileSizeHigh, data.nFileSizeLow),
                  SecondsSince1970(data.ftLastWriteTime)};
        return TRUE;
    }
    // The first Windows 95 has neither: a listing of the path itself gives the same facts.
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(ansi.text, &found);
    if (find == INVALID_HANDLE_VALUE) return FALSE;
    FindClose(find);
    *facts = ListedFacts(found);
    return TRUE;
}

static BOOL RealSetAttributes(const WCHAR *path, DWORD attributes) {
    if (SetFileAttributesW(LongPath(path).text, attributes)) return TRUE;
    if (!WideIsStub()) return FALSE;
    AnsiPath ansi;
    return ToAnsiPath(path, &ansi) && SetFileAttributesA(ansi.text, attributes);
}

static BOOL RealCreateFolder(const WCHAR *path) {
    if (CreateDirectoryW(LongPath(path, CREATE_FOLDER_PATH_LIMIT).text, nullptr)) return TRUE;
    if (!WideIsStub()) return FALSE;
    AnsiPath ansi;
    return ToAnsiPath(path, &ansi) && CreateDirectoryA(ansi.text, nullptr);
}

// Called by the platform's copy once the destination is open, before any data: the copy is dated
// PART_WRITTEN until the copy, complete, gets its source's time. The file system keeps a time set
// through a handle (it no longer updates it for writes through that handle), so a hard end
// leaves the part dated older than its source.
static DWORD CALLBACK DatePart(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD stream, DWORD reason,
                               HANDLE, HANDLE destination, LPVOID) {
    if (reason == CALLBACK_STREAM_SWITCH && stream == 1) {
        const uint64_t ticks = (uint64_t)PART_WRITTEN * 10000000u + 116444736000000000u;
        FILETIME part = {(DWORD)ticks, (DWORD)(ticks >> 32)};
        SetFileTime(destination, nullptr, nullptr, &part);
    }
    return PROGRESS_CONTINUE;
}

static BOOL RealCopyFile(const WCHAR *source, const WCHAR *destination, BOOL failIfExists) {
    BindOnce();
    LongPath from(source), to(destination);
    if (s_calls.copyExW) {
        if (s_calls.copyExW(from.text, to.text, DatePart, nullptr, nullptr, failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0))
            return TRUE;
    } else if (CopyFileW(from.text, to.text, failIfExists)) {
        return TRUE;
    }
    if (!WideIsStub()) return FALSE;
    AnsiPath ansiSource, ansiDestination;
    return ToAnsiPath(source, &ansiSource) && ToAnsiPath(destination, &ansiDestination) &&
           CopyFileA(ansiSource.text, ansiDestination.text, failIfExists);
}

static BOOL RealDeleteFile(const WCHAR *path) {
    LongPath entry(path);
    if (DeleteFileW(entry.text)) return TRUE;
    // A read-only file is deleted once it is read-only no more.
    if (!WideIsStub())
        return GetLastError() == ERROR_ACCESS_DENIED && SetFileAttributesW(entry.text, FILE_ATTRIBUTE_NORMAL) &&
               DeleteFileW(entry.text);
    AnsiPath ansi;
    if (!ToAnsiPath(path, &ansi)) return FALSE;
    if (DeleteFileA(ansi.text)) return TRUE;
    return GetLastError() == ERROR_ACCESS_DENIED && SetFileAttributesA(ansi.text, FILE_ATTRIBUTE_NORMAL) &&
           DeleteFileA(ansi.text);
}

static BOOL RealMoveFile(const WCHAR *from, const WCHAR *to) {
    if (MoveFileW(LongPath(from).text, LongPath(to).text)) return TRUE;
    if (!WideIsStub()) return FALSE;
    AnsiPath ansiFrom, ansiTo;
    return ToAnsiPath(from, &ansiFrom) && ToAnsiPath(to, &ansiTo) && MoveFileA(ansiFrom.text, ansiTo.text);
}

static BOOL RealReplaceFile(const WCHAR *temporary, const WCHAR *destination, BOOL replace) {
    BindOnce();
    if (s_calls.moveExW) {
        if (s_calls.moveExW(LongPath(temporary).text, LongPath(destination).text,
                            replace ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : 0))
            return TRUE;
        if (!WideIsStub()) return FALSE;
    }
    if (!replace) return RealMoveFile(temporary, destination);
    // No move over a file here: for a moment the name holds nothing, never a part.
    if (!RealDeleteFile(destination) && GetLastError() != ERROR_FILE_NOT_FOUND) return FALSE;
    return RealMoveFile(temporary, destination);
}

static HANDLE OpenUnshared(const WCHAR *path, DWORD flags) {
    HANDLE entry = CreateFileW(LongPath(path).text, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    if (entry != INVALID_HANDLE_VALUE || !WideIsStub()) return entry;
    AnsiPath ansi;
    if (!ToAnsiPath(path, &ansi)) return INVALID_HANDLE_VALUE;
    return CreateFileA(ansi.text, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

static LONG RealSetCompression(const WCHAR *path, WORD format) {
    DWORD attributes = RealAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return COMPRESSION_READ_ATTRIBUTES_FAILED;
    // A folder opens only with backup semantics.
    DWORD flags = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_FLAG_BACKUP_SEMANTICS : 0;
    HANDLE entry = OpenUnshared(path, flags);
    if (entry == INVALID_HANDLE_VALUE) return COMPRESSION_OPEN_FAILED;
    USHORT state = format;
    DWORD returned = 0;
    if (!DeviceIoControl(entry, FSCTL_SET_COMPRESSION, &state, sizeof state, nullptr, 0, &returned, nullptr)) {
        // Closing the handle may change the last error: keep the control call's.
        DWORD error = GetLastError();
        CloseHandle(entry);
        SetLastError(error);
        return COMPRESSION_CONTROL_FAILED;
    }
    CloseHandle(entry);
    return 0;
}

static BOOL RealEncrypt(const WCHAR *path) {
    BindOnce();
    return s_calls.encryptW ? s_calls.encryptW(LongPath(path).text) : TRUE;
}

static BOOL RealDecrypt(const WCHAR *path) {
    BindOnce();
    return s_calls.decryptW ? s_calls.decryptW(LongPath(path).text, 0) : TRUE;
}

const FileSystem REAL_DISK = {RealAttributes,     RealFacts,      RealSetAttributes, RealCreateFolder,
                              RealCopyFile,       RealReplaceFile, RealDeleteFile,   RealSetCompression,
                              RealEncrypt,        RealDecrypt};

DWORD FullPathName(const char *path, DWORD size, char *buffer, char **filePart) {
    WidePath wide, full;
    if (!ToWidePath(path, &wide)) return 0;
    WCHAR *wideFilePart = nullptr;
    DWORD length = GetFullPathNameW(wide.text, WIDE_PATH_UNITS, full.text, &wideFilePart);
    if (length == 0 && WideIsStub()) return GetFullPathNameA(path, size, buffer, filePart);
    if (length == 0) return 0;
    if (length >= WIDE_PATH_UNITS) return 2 * length;
    int bytes = WideCharToMultiByte(CP_ACP, 0, full.text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return 0;
    // Too small a buffer: the size needed comes back, nothing is written.
    if ((DWORD)bytes > size) return (DWORD)bytes;
    WideCharToMultiByte(CP_ACP, 0, full.text, -1, buffer, (int)size, nullptr, nullptr);
    if (filePart) {
        int before = wideFilePart && *wideFilePart
                         ? WideCharToMultiByte(CP_ACP, 0, full.text, (int)(wideFilePart - full.text), nullptr, 0,
                                               nullptr, nullptr)
                         : -1;
        *filePart = before >= 0 ? buffer + before : nullptr;
    }
    return (DWORD)bytes - 1;
}

// ---- the trial run's view ----

// What the trial would have made, by full path with ASCII letters in upper case. A hash table of
// entries from LocalAlloc, so that the allocation failures a test injects reach it too.
struct MadeEntry {
    MadeEntry *next;
    DWORD hash;
    ListedEntry facts;
    WCHAR key[1]; // the path as given, terminated
};
static struct {
    MadeEntry **buckets;
    DWORD bucketCount; // a power of two, or 0
    DWORD count;
} s_made;

static WCHAR KeyUnit(WCHAR unit) { return unit >= 'a' && unit <= 'z' ? (WCHAR)(unit - 'a' + 'A') : unit; }

static DWORD HashOf(const WCHAR *path, size_t length) {
    DWORD hash = 2166136261u;
    for (size_t i = 0; i < length; i++) hash = (hash ^ KeyUnit(path[i])) * 16777619u;
    return hash;
}

// The entry of the first `length` units of `path`, or null.
static MadeEntry *FindMade(const WCHAR *path, size_t length) {
    if (!s_made.count) return nullptr;
    DWORD hash = HashOf(path, length);
    for (MadeEntry *entry = s_made.buckets[hash & (s_made.bucketCount - 1)]; entry; entry = entry->next) {
        if (entry->hash != hash) continue;
        size_t i = 0;
        while (i < length && entry->key[i] && KeyUnit(entry->key[i]) == KeyUnit(path[i])) i++;
        if (i == length && !entry->key[i]) return entry;
    }
    return nullptr;
}

// Twice the buckets once the table holds as many entries as buckets; a table that cannot grow
// keeps working with longer chains.
static void GrowMade() {
    DWORD count = s_made.bucketCount ? 2 * s_made.bucketCount : 1024;
    MadeEntry **buckets = (MadeEntry **)LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, count * sizeof(MadeEntry *));
    if (!buckets) return;
    for (DWORD b = 0; b < s_made.bucketCount; b++) {
        for (MadeEntry *entry = s_made.buckets[b], *next; entry; entry = next) {
            next = entry->next;
            entry->next = buckets[entry->hash & (count - 1)];
            buckets[entry->hash & (count - 1)] = entry;
        }
    }
    if (s_made.buckets) LocalFree(s_made.buckets);
    s_made.buckets = buckets;
    s_made.bucketCount = count;
}

static BOOL RecordMade(const WCHAR *path, const ListedEntry &facts) {
    size_t length = WideLength(path);
    if (MadeEntry *entry = FindMade(path, length)) {
        entry->facts = facts;
        return TRUE;
    }
    if (s_made.count >= s_made.bucketCount) GrowMade();
    MadeEntry *entry = s_made.bucketCount ? (MadeEntry *)LocalAlloc(LMEM_FIXED, sizeof(MadeEntry) + length * sizeof(WCHAR))
                                          : nullptr;
    if (!entry) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    entry->hash = HashOf(path, length);
    entry->facts = facts;
    memcpy(entry->key, path, (length + 1) * sizeof(WCHAR));
    entry->next = s_made.buckets[entry->hash & (s_made.bucketCount - 1)];
    s_made.buckets[entry->hash & (s_made.bucketCount - 1)] = entry;
    s_made.count++;
    return TRUE;
}

void ResetTrialView() {
    for (DWORD b = 0; b < s_made.bucketCount; b++) {
        for (MadeEntry *entry = s_made.buckets[b], *next; entry; entry = next) {
            next = entry->next;
            LocalFree(entry);
        }
    }
    if (s_made.buckets) LocalFree(s_made.buckets);
    s_made.buckets = nullptr;
    s_made.bucketCount = 0;
    s_made.count = 0;
}

// What the view says of `path`: 1 with `facts` when the trial made it, 0 (ERROR_FILE_NOT_FOUND)
// when it lies in a folder the trial made but is not there, -1 when the disk answers.
static int TrialLookup(const WCHAR *path, ListedEntry *facts) {
    size_t length = WideLength(path);
    if (MadeEntry *entry = FindMade(path, length)) {
        *facts = entry->facts;
        if (facts->attributes != INVALID_FILE_ATTRIBUTES) return 1;
        SetLastError(ERROR_FILE_NOT_FOUND); // made, then put in another place
        return 0;
    }
    size_t parent = length;
    while (parent > 0 && path[parent - 1] != '\\') parent--;
    if (parent > 1 && FindMade(path, parent - 1)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    return -1;
}

static DWORD TrialAttributes(const WCHAR *path) {
    ListedEntry facts;
    int known = TrialLookup(path, &facts);
    return known < 0 ? RealAttributes(path) : known ? facts.attributes : INVALID_FILE_ATTRIBUTES;
}

static BOOL TrialFacts(const WCHAR *path, ListedEntry *facts) {
    int known = TrialLookup(path, facts);
    return known < 0 ? RealFacts(path, facts) : known;
}

static BOOL TrialSetAttributes(const WCHAR *path, DWORD attributes) {
    if (MadeEntry *entry = FindMade(path, WideLength(path))) entry->facts.attributes = attributes;
    return TRUE;
}

static BOOL TrialCreateFolder(const WCHAR *path) {
    if (TrialAttributes(path) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    return RecordMade(path, {FILE_ATTRIBUTE_DIRECTORY, 0, 0});
}

static BOOL TrialCopyFile(const WCHAR *source, const WCHAR *destination, BOOL failIfExists) {
    if (failIfExists && TrialAttributes(destination) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_EXISTS);
        return FALSE;
    }
    // The copy keeps its source's size and time.
    ListedEntry facts;
    return TrialFacts(source, &facts) && RecordMade(destination, facts);
}

static BOOL TrialReplaceFile(const WCHAR *temporary, const WCHAR *destination, BOOL replace) {
    if (!replace && TrialAttributes(destination) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    ListedEntry facts;
    if (!TrialFacts(temporary, &facts) || !RecordMade(destination, facts)) return FALSE;
    return RecordMade(temporary, {INVALID_FILE_ATTRIBUTES, 0, 0});
}

static BOOL TrialDeleteFile(const WCHAR *path) {
    if (MadeEntry *entry = FindMade(path, WideLength(path))) entry->facts.attributes = INVALID_FILE_ATTRIBUTES;
    return TRUE;
}

static LONG TrialSetCompression(const WCHAR *, WORD) { return 0; }
static BOOL TrialEncryption(const WCHAR *) { return TRUE; }

const FileSystem TRIAL_VIEW = {TrialAttributes,     TrialFacts,       TrialSetAttributes, TrialCreateFolder,
                               TrialCopyFile,       TrialReplaceFile, TrialDeleteFile,    TrialSetCompression,
                               TrialEncryption,     TrialEncryption};

// ---- folder listings ----

// The entry of a wide listing in code page 932 form. A character the code page lacks is never
// replaced by a look-alike (WC_NO_BEST_FIT_CHARS): "é" would name the file "e".
static void TakeWideEntry(const WIN32_FIND_DATAW &found, FolderListing *listing) {
    WIN32_FIND_DATAA &entry = listing->entry;
    entry.dwFileAttributes = found.dwFileAttributes;
    entry.ftCreationTime = found.ftCreationTime;
    entry.ftLastAccessTime = found.ftLastAccessTime;
    entry.ftLastWriteTime = found.ftLastWriteTime;
    entry.nFileSizeHigh = found.nFileSizeHigh;
    entry.nFileSizeLow = found.nFileSizeLow;
    entry.cAlternateFileName[0] = '\0';
    memcpy(listing->wideName, found.cFileName, sizeof listing->wideName);
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, found.cFileName, -1, entry.cFileName, MAX_PATH,
                                     nullptr, &usedDefault);
    if (length > 0) {
        listing->name = usedDefault ? NAME_NOT_IN_CODE_PAGE : NAME_EXACT;
        return;
    }
    // 255 UTF-16 units can take 510 bytes: the name is shown cut at a character's end.
    char whole[2 * MAX_PATH + 2];
    length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, found.cFileName, -1, whole, sizeof whole, nullptr,
                                 &usedDefault);
    if (length <= 0) whole[0] = '\0';
    size_t cut = 0;
    while (whole[cut]) {
        size_t step = IsLeadByteValue((unsigned char)whole[cut]) && whole[cut + 1] ? 2 : 1;
        if (cut + step > MAX_PATH - 1) break;
        cut += step;
    }
    memcpy(entry.cFileName, whole, cut);
    entry.cFileName[cut] = '\0';
    listing->name = NAME_TOO_LONG;
}

// An entry of the ANSI listing: a "?" (never a trail byte, never in a name) stands for a
// character the code page lacks; any other name is exact as far as the platform knows.
static void TakeAnsiEntry(FolderListing *listing) {
    listing->name = strchr(listing->entry.cFileName, '?') ? NAME_NOT_IN_CODE_PAGE : NAME_EXACT;
    if (MultiByteToWideChar(CP_ACP, 0, listing->entry.cFileName, -1, listing->wideName, MAX_PATH) == 0)
        listing->wideName[0] = 0;
}

bool ListFirstEntry(const WCHAR *pattern, FolderListing *listing) {
    listing->find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(LongPath(pattern).text, &found);
    if (find != INVALID_HANDLE_VALUE) {
        listing->find = find;
        listing->wide = true;
        TakeWideEntry(found, listing);
        return true;
    }
    if (!WideIsStub()) return false;
    AnsiPath ansi;
    if (WideLength(pattern) >= MAX_PATH || !ToAnsiPath(pattern, &ansi)) {
        // The pattern itself does not fit the platform's paths.
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    find = FindFirstFileA(ansi.text, &listing->entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    listing->find = find;
    listing->wide = false;
    TakeAnsiEntry(listing);
    return true;
}

bool ListFirstEntry(const char *pattern, FolderListing *listing) {
    WidePath wide;
    if (!ToWidePath(pattern, &wide)) {
        listing->find = INVALID_HANDLE_VALUE;
        return false;
    }
    return ListFirstEntry(wide.text, listing);
}

bool ListNextEntry(FolderListing *listing) {
    if (!listing->wide) {
        if (!FindNextFileA(listing->find, &listing->entry)) return false;
        TakeAnsiEntry(listing);
        return true;
    }
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(listing->find, &found)) return false;
    TakeWideEntry(found, listing);
    return true;
}

void CloseListing(FolderListing *listing) {
    if (listing->find != INVALID_HANDLE_VALUE) FindClose(listing->find);
    listing->find = INVALID_HANDLE_VALUE;
}

// ---- the names of a folder's entries ----

bool BeginChildNames(ChildNames *names, const EntryNames &folder) {
    size_t shownLength = strlen(folder.shown), patternLength = strlen(folder.pattern);
    size_t wideSize = (folder.units + 1 + MAX_PATH) * sizeof(WCHAR);
    size_t shownSize = shownLength + 1 + SHOWN_UNIT_BYTES * MAX_PATH + 1;
    names->block = (char *)LocalAlloc(LMEM_FIXED, wideSize + shownSize + patternLength + 1 + 2 * MAX_PATH + 1);
    if (!names->block) return false;
    names->wide = (WCHAR *)names->block;
    names->shown = names->block + wideSize;
    names->pattern = names->shown + shownSize;
    memcpy(names->wide, folder.wide, folder.units * sizeof(WCHAR));
    memcpy(names->shown, folder.shown, shownLength);
    memcpy(names->pattern, folder.pattern, patternLength);
    names->wide[folder.units] = '\\';
    names->shown[shownLength] = names->pattern[patternLength] = '\\';
    names->wideAt = folder.units + 1;
    names->shownAt = shownLength + 1;
    names->patternAt = patternLength + 1;
    names->child = {names->wide, 0, names->shown, names->shown, false};
    return true;
}

bool TakeChildName(ChildNames *names, const FolderListing &listing) {
    const WCHAR *name = listing.wideName;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) return false;
    size_t units = WideLength(name);
    memcpy(names->wide + names->wideAt, name, (units + 1) * sizeof(WCHAR));
    names->child.units = names->wideAt + units;
    if (listing.name == NAME_EXACT || !listing.wide) {
        strcpy(names->shown + names->shownAt, listing.entry.cFileName);
        names->child.pattern = names->shown;
    } else {
        // A name the code page lacks, or too long for its code page form: both forms are made
        // from the name as listed.
        ShownForm(name, units, names->shown + names->shownAt);
        PatternForm(name, units, names->pattern + names->patternAt);
        names->child.pattern = names->pattern;
    }
    return true;
}

void EndChildNames(ChildNames *names) { LocalFree(names->block); }

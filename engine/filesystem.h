// The file-system layer: every call that the copy run, the attribute transfer and the missing
// check make to the disk goes through here, and nothing else in engine/ calls the platform's file
// functions. Paths are UTF-16. The calls that Windows 95 or NT 3.51 lack are bound at run time,
// and where the wide calls are stubs (the Windows 95 family, Win32s) each operation takes the
// ANSI call instead, on the path converted back to code page 932.
#pragma once
#include <windows.h>
#include <stdint.h>

// ---- paths at the layer's edge ----

// A code page 932 path in UTF-16, for paths that fit the platform's ordinary limit.
#define WIDE_PATH_UNITS (2 * MAX_PATH)
struct WidePath {
    WCHAR text[WIDE_PATH_UNITS];
};
// False (ERROR_FILENAME_EXCED_RANGE, `out` empty) when the path does not fit.
bool ToWidePath(const char *path, WidePath *out);

// ---- names the user reads ----

// The walk and the missing check keep every name as the platform lists it, in UTF-16, and show it
// in code page 932 in two forms. The pattern form, which the patterns and the progress line see,
// has one "?" for each character the code page lacks (a surrogate pair is one character), never a
// look-alike: "café.txt" is "caf?.txt". The shown form, which log records and missing-files lines
// carry, has each such UTF-16 unit as SHOWN_UNIT followed by the RTF escape "\\uN?" (N the unit
// as a signed 16-bit number); the documents write the escape, so that the viewer shows the name
// as it is on disk. No name holds SHOWN_UNIT and it is never a trail byte.
#define SHOWN_UNIT '\x01'
#define SHOWN_UNIT_BYTES 10 // the longest shown form of one unit: SHOWN_UNIT "\\u-32768?"
// The pattern form of `units` units of `text` into `out` (2 * units + 1 bytes): its length.
size_t PatternForm(const WCHAR *text, size_t units, char *out);
// The shown form into `out` (SHOWN_UNIT_BYTES * units + 1 bytes): its length.
size_t ShownForm(const WCHAR *text, size_t units, char *out);
// The number of units before the terminator.
size_t WideLength(const WCHAR *text);

// An entry's path relative to where a walk began, in its three forms.
struct EntryNames {
    const WCHAR *wide; // what the file-system layer gets
    size_t units;
    const char *shown;   // what records and list lines show
    const char *pattern; // what the patterns and the progress line see
    bool item;           // the walk's first entry (no backslash in its path)
};

// ---- facts of an entry ----

// An entry's attribute word, its size and its last-write time in whole seconds since 1970
// (rounded down).
struct ListedEntry {
    DWORD attributes;
    int64_t size;
    int64_t written;
};
// A file time in whole seconds since 1970, rounded down.
int64_t SecondsSince1970(const FILETIME &time);

// ---- folder listings ----

// What a listing says of an entry's name. The ANSI listing gives a name the code page lacks in a
// substituted form ("café.txt" as "cafe.txt", "😀.txt" as "??.txt"), which opens another entry or
// none; the wide listing tells such names apart.
enum ListedName {
    NAME_EXACT = 0,         // entry.cFileName is the name
    NAME_NOT_IN_CODE_PAGE,  // characters the code page lacks; entry.cFileName shows them as "?" (from
                            // the ANSI listing: the platform's "?", and wideName is no name at all)
    NAME_TOO_LONG           // its code page form does not fit 259 bytes; entry.cFileName is cut
};

struct FolderListing {
    HANDLE find;
    bool wide;              // listed with the wide calls
    WIN32_FIND_DATAA entry; // the current entry: its facts, and its name in code page 932
    ListedName name;
    WCHAR wideName[MAX_PATH]; // the current entry's name as listed (from the ANSI listing: converted)
};

// Starts listing `pattern` (a folder followed by "\\*", or a path): true with the first entry in
// `listing`; false with the platform's last-error code (ERROR_FILE_NOT_FOUND when nothing
// matches, ERROR_FILENAME_EXCED_RANGE when the pattern does not fit), and nothing to close.
bool ListFirstEntry(const char *pattern, FolderListing *listing);
bool ListFirstEntry(const WCHAR *pattern, FolderListing *listing);
// The next entry: false at the end (ERROR_NO_MORE_FILES) or on a failure (another code).
bool ListNextEntry(FolderListing *listing);
void CloseListing(FolderListing *listing);
// What the listing says of its current entry.
ListedEntry ListedFacts(const WIN32_FIND_DATAA &found);
// The ANSI listing's substitute for a name the code page lacks: no name to open.
inline bool ListedNameUnusable(const FolderListing &listing) { return !listing.wide && listing.name != NAME_EXACT; }

// The relative paths of a folder's entries, made in one block as its listing gives them: the
// folder's path, a backslash, and room for the longest name in each form.
struct ChildNames {
    EntryNames child; // the current entry
    char *block;
    WCHAR *wide;
    char *shown, *pattern;
    size_t wideAt, shownAt, patternAt; // where the name goes in each form
};
// False (nothing to end) when there is no memory for the block.
bool BeginChildNames(ChildNames *names, const EntryNames &folder);
// The listing's current entry as `names->child`; false for "." and "..". The names of the ANSI
// listing are taken as they are (see ListedNameUnusable).
bool TakeChildName(ChildNames *names, const FolderListing &listing);
void EndChildNames(ChildNames *names);

// The full path of a code page 932 path, as GetFullPathNameA gives it: its length, the size
// needed (nothing written) when `size` is too small, or 0 with the platform's error.
DWORD FullPathName(const char *path, DWORD size, char *buffer, char **filePart);

// ---- the two faces ----

// The operations whose answer a trial run sees differently: each reads or changes one entry.
// Every result is the platform's: FALSE or INVALID_FILE_ATTRIBUTES with the last error.
struct FileSystem {
    DWORD (*attributes)(const WCHAR *path);
    // Attributes, size and time in one call.
    BOOL (*facts)(const WCHAR *path, ListedEntry *facts);
    BOOL (*setAttributes)(const WCHAR *path, DWORD attributes);
    BOOL (*createFolder)(const WCHAR *path);
    // The copy keeps its source's data, time and attributes; with `failIfExists` an existing
    // destination is never touched (ERROR_FILE_EXISTS).
    // A hard end during the copy leaves a part dated PART_WRITTEN (where the platform can copy
    // with a progress routine), which no size or date test takes as up to date.
    BOOL (*copyFile)(const WCHAR *source, const WCHAR *destination, BOOL failIfExists);
    // Puts the complete file `temporary` in the place of `destination` in one step: replacing an
    // existing destination only when `replace` (otherwise ERROR_ALREADY_EXISTS). Where the
    // platform cannot move over a file (the Windows 95 family), the destination is deleted first.
    BOOL (*replaceFile)(const WCHAR *temporary, const WCHAR *destination, BOOL replace);
    // Deletes a file, read-only or not.
    BOOL (*deleteFile)(const WCHAR *path);
    // Opens the entry without sharing and sets its NTFS compression: 0 or a SetCompression failure.
    LONG (*setCompression)(const WCHAR *path, WORD format);
    // Where the platform has no file encryption, both report success and change nothing.
    BOOL (*encrypt)(const WCHAR *path);
    BOOL (*decrypt)(const WCHAR *path);
};

// The last-write time, in seconds since 1970, of a copy that is not yet complete
// (1980-01-02 00:00:00 UTC, in range for FAT in every time zone, and older than any source).
#define PART_WRITTEN 315619200

// The disk as it is.
extern const FileSystem REAL_DISK;
// A trial run's view: reads answer from what the trial would have made (an entry below a folder
// it would have created is absent), and otherwise from the disk; every change is recorded in that
// view, changes nothing on disk and succeeds, unless the view cannot grow (ERROR_NOT_ENOUGH_MEMORY).
extern const FileSystem TRIAL_VIEW;
// Empties the trial view (its memory comes from LocalAlloc and goes back here).
void ResetTrialView();

// Files of at least this size are copied into TEMPORARY_NAME in the destination's folder, given
// their attributes there and then put in place, so that the name never holds a part of them.
#define LARGE_FILE_BYTES 0x100000
#define TEMPORARY_NAME "~KESTREL.TMP"

// Binds the calls that some platforms lack (GetFileAttributesEx, CopyFileEx, MoveFileEx and, in
// kestrel-nt, the encryption calls) again. Done when a run starts.
void BindPlatformCalls();
// Paths of any length reach the disk (up to the platform's 32,767 units): every operation and
// listing gives a path over the ordinary limit to the wide calls in its "\\?\" form. False where
// the wide calls are stubs (the Windows 95 family, Win32s): there the limits of the ANSI calls
// hold (MAX_PATH, and 248 units for a new folder). As bound by BindPlatformCalls.
bool LongPathsReached();

// Results of SetCompression.
#define COMPRESSION_READ_ATTRIBUTES_FAILED ((LONG)0x80000001)
#define COMPRESSION_OPEN_FAILED ((LONG)0x80000002)   // e.g. another program holds the entry open
#define COMPRESSION_CONTROL_FAILED ((LONG)0x80000003) // the file system refused the change

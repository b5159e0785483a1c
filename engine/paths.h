// Path primitives (root and kind of a path, root folders, names as stored on disk) and the
// resolution of one source word into the folder and entry name that a copy run walks. All of
// them look for '\\' and ':' only among single-byte characters of code page 932, so the trail
// byte 0x5C of a double-byte character is never a separator.
#pragma once
#include <windows.h>

// Path kinds, from the leading bytes of a path.
#define PATH_KIND_NETWORK 1  // \\server\share or \\server\share\...; root "\\server\share"
#define PATH_KIND_DRIVE 2    // second byte ':'; root the first two bytes ("X:")
#define PATH_KIND_ROOTED 3   // one leading '\'; root empty, rest the whole path
#define PATH_KIND_RELATIVE 4 // anything else; root empty, rest the whole path

// SplitPathRoot failures (last error ERROR_INVALID_PARAMETER).
#define SPLIT_PATH_BAD_LENGTH ((int)0x80000001) // empty, or 260 bytes or longer
#define SPLIT_PATH_NO_SHARE ((int)0x80000002)   // "\\server" without a backslash after the server

// Splits `path` into its root and the rest; returns the path kind (1-4) or a failure. `root` and
// `rest` are 260-byte buffers; on failure they are left untouched. A network rest is empty or
// starts with its backslash.
int SplitPathRoot(const char *path, char *root, char *rest);

// IsRootFolder failures. A failure of SplitPathRoot on the full path nests its code:
// 0x80000000 + ((inner & 0xFFFFFF) << 4) + this site.
#define ROOT_FULL_PATH_FAILED ((int)0x80000001) // GetFullPathNameA failed, or the full path does
                                                // not fit 260 bytes (ERROR_FILENAME_EXCED_RANGE)
#define ROOT_SPLIT_BAD_LENGTH ((int)0x80000012)
#define ROOT_SPLIT_NO_SHARE ((int)0x80000022)

// 1 when the full path of `path` is a root folder ("X:\", "\\server\share", "\\server\share\"),
// 0 when it is not, or a failure (negative).
int IsRootFolder(const char *path);

// CanonicalizePath failures.
#define CANON_NOT_FOUND ((int)0x80000002)      // a component was not found (FindFirstFileA's error)
#define CANON_TOO_LONG ((int)0x80000003)       // the result would not fit 260 bytes
                                               // (ERROR_FILENAME_EXCED_RANGE)
#define CANON_SPLIT_BAD_LENGTH ((int)0x80000011)
#define CANON_SPLIT_NO_SHARE ((int)0x80000021)

// Rewrites `path` into `out` (260 bytes) with the root upper-cased and every component as its name
// is stored on disk (case, long name for a short 8.3 name, first match for wildcards). Empty
// components, "." and ".." are kept as written, so the result keeps the path's shape: a relative
// path stays relative, a trailing backslash stays. Returns 0 or a failure; on failure `out` is
// left unchanged.
int CanonicalizePath(const char *path, char *out);

// Puts into `name` (260 bytes) the name, as stored, of the first entry that a listing of `path`
// finds, and its attribute word into `*attributes` (when not null). Returns 0, or -1 when nothing
// is found; FIND_NAME_UNUSABLE when the name has characters that code page 932 cannot hold
// (`name` shows them as "?"), FIND_NAME_TOO_LONG when its code page form does not fit.
#define FIND_NAME_UNUSABLE (-2)
#define FIND_NAME_TOO_LONG (-3)
int FindEntryName(const char *path, char *name, DWORD *attributes = nullptr);

// Does `path` fit a platform call that takes at most `limit` UTF-16 units, its terminator
// included? The ANSI calls convert a path to UTF-16 first, so the limit counts characters, not
// bytes: MAX_PATH for most calls, 248 for CreateDirectoryA. A path whose bytes fit needs no count.
#define CREATE_FOLDER_PATH_LIMIT 248
bool PathFitsPlatform(const char *path, int limit);

// The message of a failed call: `tooLong` when the call failed because its path was too long for
// the platform (ERROR_FILENAME_EXCED_RANGE), `message` otherwise. A record names the cause.
const char *TooLongOr(const char *message, const char *tooLong);

// The copy walk's message for a source entry whose name a listing gave as unusable (`name`, a
// ListedName other than NAME_EXACT; `attributes` the entry's word).
const char *UnusableNameMessage(int name, DWORD attributes);

// ASCII-case-insensitive comparison of two full paths; double-byte characters compare exactly.
bool SamePath(const char *a, const char *b);

// ResolveSource refusals. Each has written one log record, level 2, named by the word as typed.
#define RESOLVE_FULL_PATH_FAILED ((int)0x80000001) // "パス名が不正です。"
#define RESOLVE_FULL_PATH_TOO_LONG ((int)0x80000002) // "パス名が不正です。"
#define RESOLVE_ROOT_TEST_FAILED ((int)0x80000003) // "パス名が不正です。"
#define RESOLVE_ROOT_FOLDER ((int)0x80000004)      // "ルートフォルダは指定できません。"
#define RESOLVE_NO_NAME ((int)0x80000005)          // "パス名が不正です。" (ends in a backslash)
#define RESOLVE_NOT_FOUND ((int)0x80000006)        // "パス名が不正です。"
#define RESOLVE_DOT_NAME ((int)0x80000007)         // "パス名が不正です。" (a wildcard found "." or "..")
#define RESOLVE_NAME_UNUSABLE ((int)0x80000008)    // the name has characters code page 932 lacks
#define RESOLVE_NAME_TOO_LONG ((int)0x80000009)    // its code page form does not fit 259 bytes

// One source word of a copy run, as split from the sources field: on success returns 0 with
// `parent` (260 bytes) holding the full path of its folder, ending in "\\", and `name` (260
// bytes) the entry's name as stored on disk; the walk starts at parent + name. Otherwise writes
// one log record and returns a refusal (negative); the run goes on with the next word.
int ResolveSource(const char *word, char *parent, char *name);

// The same resolution without the log record, for comparing one source with the others.
int ResolveSourceQuietly(const char *word, char *parent, char *name);

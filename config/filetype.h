// Registration of the script file type (.kjb → KESTRELScript) in HKEY_CLASSES_ROOT, so that
// opening a script in the shell starts KESTREL with /script and the script's path.
#pragma once
#include <windows.h>

// RegisterScriptFileType: 0 on success (the shell has been told that associations changed),
// otherwise a failure code (negative as a signed 32-bit value):
#define REGISTER_NO_PROGRAM_PATH ((int)0x80000001) // the program's path cannot be had in 260 bytes
// ((WriteFileTypeEntries's code & 0xFFFFFF) << 4) | 0x80000002 when writing the entries failed.
#define REGISTER_ENTRIES_FAILED ((int)0x80000002)
int RegisterScriptFileType();

// WriteFileTypeEntries step codes. A step whose registry primitive failed carries the primitive's
// code: ((primitive & 0xFFFFFF) << 4) | step.
#define FILETYPE_CREATE_EXTENSION ((int)0x80000001)
#define FILETYPE_SET_EXTENSION ((int)0x80000002)
#define FILETYPE_OTHER_OWNER ((int)0x80000003)  // the extension's value names another type (or
                                                // does not fit 256 bytes); nothing is written
#define FILETYPE_CREATE_TYPE ((int)0x80000004)
#define FILETYPE_SET_TYPE ((int)0x80000005)
#define FILETYPE_CREATE_ICON ((int)0x80000006)
#define FILETYPE_SET_ICON ((int)0x80000007)
#define FILETYPE_CREATE_SHELL ((int)0x80000008)
#define FILETYPE_CREATE_OPEN ((int)0x80000009)
#define FILETYPE_CREATE_COMMAND ((int)0x8000000A)
#define FILETYPE_SET_COMMAND ((int)0x8000000B)
#define FILETYPE_READ_EXTENSION ((int)0x8000000C) // the extension's value exists but cannot be read;
                                                  // nothing is written
#define FILETYPE_NAME_TOO_LONG ((int)0x8000000D)  // a key path or the icon value does not fit

// Writes, under HKEY_CLASSES_ROOT, `extension` → `typeName` (only when the extension has no
// value yet: a value naming another type stops everything), the type's description, its icon
// ("iconFile,iconIndex") and its open command, in that order; what was written before a failing
// step stays. 0 or a step code. `typeName` is a registry key name (at most 255 bytes).
int WriteFileTypeEntries(const char *extension, const char *typeName, const char *typeDescription,
                         const char *iconFile, int iconIndex, const char *openCommand);

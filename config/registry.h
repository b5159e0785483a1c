// The five registry primitives on which all of KESTREL's registry work is built. They are the
// only code that calls the platform's Reg* functions. Every key is opened with KEY_ALL_ACCESS and
// closed again before the call returns; nothing is cached. After a failure the thread's last
// error holds the registry function's error code.
#pragma once
#include <windows.h>

// RegistryKeyExists: 1 the key exists, 0 it does not (ERROR_FILE_NOT_FOUND), or a failure.
#define REGKEY_OPEN_FAILED ((LONG)0x80000001)  // RegOpenKeyExA failed otherwise
#define REGKEY_CLOSE_FAILED ((LONG)0x80000002) // the key was found but could not be closed
LONG RegistryKeyExists(HKEY root, const char *path);

// RegistryCreateKey: creates `name` below the existing key `parentPath`; a key that already exists
// counts as created. 0 or a failure.
#define REGCREATE_OPEN_PARENT_FAILED ((LONG)0x80000001)
#define REGCREATE_CREATE_FAILED ((LONG)0x80000002)
#define REGCREATE_CLOSE_PARENT_FAILED ((LONG)0x80000003)
#define REGCREATE_CLOSE_KEY_FAILED ((LONG)0x80000004)
LONG RegistryCreateKey(HKEY root, const char *parentPath, const char *name);

// The value calls share their failure sites: the key cannot be opened, the value call itself
// failed, the key cannot be closed. Each returns 0 on success.
#define REGVALUE_OPEN_FAILED ((LONG)0x80000001)
#define REGVALUE_CALL_FAILED ((LONG)0x80000002)
#define REGVALUE_CLOSE_FAILED ((LONG)0x80000003)

// Reads value `name` of key `path` into `data`; `*size` gives the buffer's size in bytes and
// receives the value's size. A value larger than the buffer fails (ERROR_MORE_DATA). `type` may
// be null.
LONG RegistryQueryValue(HKEY root, const char *path, const char *name, DWORD *type, void *data, DWORD *size);
// Writes value `name` of key `path` with the given type and `size` bytes of `data`.
LONG RegistrySetValue(HKEY root, const char *path, const char *name, DWORD type, const void *data, DWORD size);
// Removes value `name` of key `path`; a value that is not there counts as removed.
LONG RegistryDeleteValue(HKEY root, const char *path, const char *name);

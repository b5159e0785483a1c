// The registry primitives: open, act, close, and report the failing step.
#include "registry.h"

LONG RegistryKeyExists(HKEY root, const char *path) {
    HKEY key;
    LONG error = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (error == ERROR_FILE_NOT_FOUND) {
        SetLastError((DWORD)error);
        return 0;
    }
    if (error != ERROR_SUCCESS) {
        SetLastError((DWORD)error);
        return REGKEY_OPEN_FAILED;
    }
    error = RegCloseKey(key);
    if (error != ERROR_SUCCESS) {
        SetLastError((DWORD)error);
        return REGKEY_CLOSE_FAILED;
    }
    return 1;
}

LONG RegistryCreateKey(HKEY root, const char *parentPath, const char *name) {
    HKEY parent, key;
    LONG error = RegOpenKeyExA(root, parentPath, 0, KEY_ALL_ACCESS, &parent);
    if (error != ERROR_SUCCESS) {
        SetLastError((DWORD)error);
        return REGCREATE_OPEN_PARENT_FAILED;
    }
    char emptyClass[1] = "";
    DWORD disposition;
    error = RegCreateKeyExA(parent, name, 0, emptyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition);
    if (error != ERROR_SUCCESS) {
        RegCloseKey(parent);
        SetLastError((DWORD)error);
        return REGCREATE_CREATE_FAILED;
    }
    error = RegCloseKey(parent);
    if (error != ERROR_SUCCESS) {
        RegCloseKey(key);
        SetLastError((DWORD)error);
        return REGCREATE_CLOSE_PARENT_FAILED;
    }
    error = RegCloseKey(key);
    if (error != ERROR_SUCCESS) {
        SetLastError((DWORD)error);
        return REGCREATE_CLOSE_KEY_FAILED;
    }
    return 0;
}

// Opens the key, makes one value call on it and closes it again. A failing step returns its own
// code and leaves the registry's error code as the last error.
template <typename ValueCall> static LONG WithOpenKey(HKEY root, const char *path, ValueCall call) {
    HKEY key;
    LONG error = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (error != ERROR_SUCCESS) {
        SetLastError((DWORD)error);
        return REGVALUE_OPEN_FAILED;
    }
    error = call(key);
    if (error != ERROR_SUCCESS) {
        RegCloseKey(key);
        SetLastError((DWORD)error);
        return REGVALUE_CALL_FAILED;
    }
    error = RegCloseKey(key);
    if (error != ERROR_SUCCESS) {
        SetLastError((DWORD)error);
        return REGVALUE_CLOSE_FAILED;
    }
    return 0;
}

LONG RegistryQueryValue(HKEY root, const char *path, const char *name, DWORD *type, void *data, DWORD *size) {
    return WithOpenKey(root, path, [&](HKEY key) { return RegQueryValueExA(key, name, nullptr, type, (BYTE *)data, size); });
}

LONG RegistrySetValue(HKEY root, const char *path, const char *name, DWORD type, const void *data, DWORD size) {
    return WithOpenKey(root, path, [&](HKEY key) { return RegSetValueExA(key, name, 0, type, (const BYTE *)data, size); });
}

LONG RegistryDeleteValue(HKEY root, const char *path, const char *name) {
    return WithOpenKey(root, path, [&](HKEY key) {
        // A value that is not there is already deleted.
        LONG error = RegDeleteValueA(key, name);
        return error == ERROR_FILE_NOT_FOUND ? (LONG)ERROR_SUCCESS : error;
    });
}

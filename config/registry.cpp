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

LONG RegistryQueryValue(HKEY root, const char *path, const char *name, DWORD *type, void *data, DWORD *size) {
    HKEY key;
    LONG error = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (error != ERROR_SUCCESS) {
        SetLastError((DWORD)error);
        return REGVALUE_OPEN_FAILED;
    }
    error = RegQueryValueExA(key, name, nullptr, type, (BYTE *)data, size);
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

LONG RegistrySetValue(HKEY root, const char *path, const char *name, DWORD type, const void *data, DWORD size) {
    HKEY key;
    LONG error = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (error != ERROR_SUCCESS) {
        SetLastError((DWORD)error);
        return REGVALUE_OPEN_FAILED;
    }
    error = RegSetValueExA(key, name, 0, type, (const BYTE *)data, size);
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

LONG RegistryDeleteValue(HKEY root, const char *path, const char *name) {
    HKEY key;
    LONG error = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (error != ERROR_SUCCESS) {
        SetLastError((DWORD)error);
        return REGVALUE_OPEN_FAILED;
    }
    error = RegDeleteValueA(key, name);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) {
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

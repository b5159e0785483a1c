// The script file-type registration: the six entries under HKEY_CLASSES_ROOT.
#include "filetype.h"
#include "registry.h"
#include <cstdio>
#include <cstring>
#include <shlobj.h>

// A failure code that names the failing step (lowest digit) and the code of what it called.
static int Nest(LONG inner, int step) { return (int)((((DWORD)inner & 0xFFFFFF) << 4) | (DWORD)step); }

static LONG SetDefaultText(const char *path, const char *text) {
    return RegistrySetValue(HKEY_CLASSES_ROOT, path, nullptr, REG_SZ, text, (DWORD)strlen(text) + 1);
}

// Does the stored value name `typeName`? A string stored without its terminator is compared by
// the size the registry returned.
static bool NamesType(DWORD type, const char *value, DWORD size, const char *typeName) {
    if (type != REG_SZ) return false;
    if (size > 0 && value[size - 1] == '\0') size--;
    return size == strlen(typeName) && memcmp(value, typeName, size) == 0;
}

int WriteFileTypeEntries(const char *extension, const char *typeName, const char *typeDescription,
                         const char *iconFile, int iconIndex, const char *openCommand) {
    char icon[MAX_PATH + 16], iconKey[300], shellKey[300], openKey[300], commandKey[300];
    int iconLength = snprintf(icon, sizeof icon, "%s,%d", iconFile, iconIndex);
    if (iconLength < 0 || iconLength >= (int)sizeof icon || strlen(typeName) > 255) return FILETYPE_NAME_TOO_LONG;
    snprintf(iconKey, sizeof iconKey, "%s\\DefaultIcon", typeName);
    snprintf(shellKey, sizeof shellKey, "%s\\shell", typeName);
    snprintf(openKey, sizeof openKey, "%s\\shell\\open", typeName);
    snprintf(commandKey, sizeof commandKey, "%s\\shell\\open\\command", typeName);

    // Only an absent value is ours to write: a value that exists, readable or not, belongs to
    // whoever wrote it unless it names our type.
    char value[256];
    DWORD size = sizeof value, type = REG_NONE;
    LONG query = RegistryQueryValue(HKEY_CLASSES_ROOT, extension, nullptr, &type, value, &size);
    DWORD error = GetLastError();
    bool absent = (query == REGVALUE_OPEN_FAILED || query == REGVALUE_CALL_FAILED) && error == ERROR_FILE_NOT_FOUND;
    bool tooLong = query == REGVALUE_CALL_FAILED && error == ERROR_MORE_DATA;
    if (query != 0 && !absent && !tooLong) return Nest(query, FILETYPE_READ_EXTENSION);
    if (!absent && (tooLong || !NamesType(type, value, size, typeName))) return FILETYPE_OTHER_OWNER;
    LONG r;
    if (absent) {
        if ((r = RegistryCreateKey(HKEY_CLASSES_ROOT, "", extension)) != 0) return Nest(r, FILETYPE_CREATE_EXTENSION);
        if ((r = SetDefaultText(extension, typeName)) != 0) return Nest(r, FILETYPE_SET_EXTENSION);
    }
    if ((r = RegistryCreateKey(HKEY_CLASSES_ROOT, "", typeName)) != 0) return Nest(r, FILETYPE_CREATE_TYPE);
    if ((r = SetDefaultText(typeName, typeDescription)) != 0) return Nest(r, FILETYPE_SET_TYPE);
    if ((r = RegistryCreateKey(HKEY_CLASSES_ROOT, typeName, "DefaultIcon")) != 0) return Nest(r, FILETYPE_CREATE_ICON);
    if ((r = SetDefaultText(iconKey, icon)) != 0) return Nest(r, FILETYPE_SET_ICON);
    if ((r = RegistryCreateKey(HKEY_CLASSES_ROOT, typeName, "shell")) != 0) return Nest(r, FILETYPE_CREATE_SHELL);
    if ((r = RegistryCreateKey(HKEY_CLASSES_ROOT, shellKey, "open")) != 0) return Nest(r, FILETYPE_CREATE_OPEN);
    if ((r = RegistryCreateKey(HKEY_CLASSES_ROOT, openKey, "command")) != 0) return Nest(r, FILETYPE_CREATE_COMMAND);
    if ((r = SetDefaultText(commandKey, openCommand)) != 0) return Nest(r, FILETYPE_SET_COMMAND);
    return 0;
}

int RegisterScriptFileType() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A path cut to fit the buffer would register a program that does not exist.
    if (length == 0 || length >= sizeof path) return REGISTER_NO_PROGRAM_PATH;
    char command[MAX_PATH + 32];
    snprintf(command, sizeof command, "\"%s\" /script \"%%1\"", path);
    int written = WriteFileTypeEntries(".kjb", "KESTRELScript", "KESTREL Script", path, 0, command);
    if (written != 0) return Nest(written, REGISTER_ENTRIES_FAILED);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return 0;
}

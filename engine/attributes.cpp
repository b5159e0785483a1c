// Attribute transfer: compression and encryption brought into line, then the attribute word.
#include "attributes.h"

#ifndef FSCTL_SET_COMPRESSION
#define FSCTL_SET_COMPRESSION 0x0009C040
#endif

LONG SetCompression(const char *path, WORD format) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return (LONG)0x80000001;
    // A folder opens only with backup semantics.
    DWORD flags = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_FLAG_BACKUP_SEMANTICS : 0;
    HANDLE entry = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    if (entry == INVALID_HANDLE_VALUE) return (LONG)0x80000002;
    USHORT state = format;
    DWORD returned = 0;
    if (!DeviceIoControl(entry, FSCTL_SET_COMPRESSION, &state, sizeof state, nullptr, 0, &returned, nullptr)) {
        // Closing the handle may change the last error: keep the control call's.
        DWORD error = GetLastError();
        CloseHandle(entry);
        SetLastError(error);
        return (LONG)0x80000003;
    }
    CloseHandle(entry);
    return 0;
}

LONG TransferAttributes(const char *path, DWORD attributes) {
    DWORD current = GetFileAttributesA(path);
    const DWORD readonlySystem = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
    // A failed read gives 0xFFFFFFFF, which claims every state at once: going on from it would
    // skip the encryption or compression the source asks for and still report success. It fails
    // here, with the read's error code, as the clearing of read-only and system would for a
    // missing entry.
    if (current & readonlySystem) {
        // Read-only and system entries refuse the compression and encryption changes.
        if (current == INVALID_FILE_ATTRIBUTES || !SetFileAttributesA(path, attributes & ~readonlySystem))
            return (LONG)0x80000001;
    }
    bool compressed = (current & FILE_ATTRIBUTE_COMPRESSED) != 0;
#ifdef KESTREL_ENCRYPTION
    bool encrypted = (current & FILE_ATTRIBUTE_ENCRYPTED) != 0;
#endif
    if (attributes & FILE_ATTRIBUTE_ENCRYPTED) {
        if (compressed && SetCompression(path, COMPRESSION_FORMAT_NONE) < 0) return (LONG)0x80000002;
#ifdef KESTREL_ENCRYPTION
        if (!encrypted && !EncryptFileA(path)) return (LONG)0x80000003;
#endif
    } else if (attributes & FILE_ATTRIBUTE_COMPRESSED) {
#ifdef KESTREL_ENCRYPTION
        if (encrypted && !DecryptFileA(path, 0)) return (LONG)0x80000004;
#endif
        if (!compressed && SetCompression(path, COMPRESSION_FORMAT_DEFAULT) < 0) return (LONG)0x80000005;
    } else {
#ifdef KESTREL_ENCRYPTION
        if (encrypted && !DecryptFileA(path, 0)) return (LONG)0x80000006;
#endif
        if (compressed && SetCompression(path, COMPRESSION_FORMAT_NONE) < 0) return (LONG)0x80000007;
    }
    if (!SetFileAttributesA(path, attributes)) return (LONG)0x80000008;
    return 0;
}

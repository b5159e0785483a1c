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
    // Whether a step below has changed the entry since `current` was read.
    bool changed = false;
    // A failed read gives 0xFFFFFFFF, which claims every state at once: going on from it would
    // skip the encryption or compression the source asks for and still report success. It fails
    // here, with the read's error code, as the clearing of read-only and system would for a
    // missing entry.
    if (current & readonlySystem) {
        // Read-only and system entries refuse the compression and encryption changes.
        if (current == INVALID_FILE_ATTRIBUTES || !SetFileAttributesA(path, attributes & ~readonlySystem))
            return (LONG)0x80000001;
        changed = true;
    }
    bool compressed = (current & FILE_ATTRIBUTE_COMPRESSED) != 0;
#ifdef KESTREL_ENCRYPTION
    bool encrypted = (current & FILE_ATTRIBUTE_ENCRYPTED) != 0;
#endif
    if (attributes & FILE_ATTRIBUTE_ENCRYPTED) {
        if (compressed) {
            if (SetCompression(path, COMPRESSION_FORMAT_NONE) < 0) return (LONG)0x80000002;
            changed = true;
        }
#ifdef KESTREL_ENCRYPTION
        if (!encrypted) {
            if (!EncryptFileA(path)) return (LONG)0x80000003;
            changed = true;
        }
#endif
    } else if (attributes & FILE_ATTRIBUTE_COMPRESSED) {
#ifdef KESTREL_ENCRYPTION
        if (encrypted) {
            if (!DecryptFileA(path, 0)) return (LONG)0x80000004;
            changed = true;
        }
#endif
        if (!compressed) {
            if (SetCompression(path, COMPRESSION_FORMAT_DEFAULT) < 0) return (LONG)0x80000005;
            changed = true;
        }
    } else {
#ifdef KESTREL_ENCRYPTION
        if (encrypted) {
            if (!DecryptFileA(path, 0)) return (LONG)0x80000006;
            changed = true;
        }
#endif
        if (compressed) {
            if (SetCompression(path, COMPRESSION_FORMAT_NONE) < 0) return (LONG)0x80000007;
            changed = true;
        }
    }
    // An entry that already carries exactly the source's word, untouched by the steps above, is
    // left as it is: a copy usually takes its source's attributes along, and setting them again
    // would only cost the platform a round trip.
    if (!changed && current == attributes) return 0;
    if (!SetFileAttributesA(path, attributes)) return (LONG)0x80000008;
    return 0;
}

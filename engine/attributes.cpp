// Attribute transfer: compression and encryption brought into line, then the attribute word.
#include "attributes.h"

LONG SetCompression(const char *path, WORD format) {
    WidePath wide;
    if (!ToWidePath(path, &wide)) return COMPRESSION_READ_ATTRIBUTES_FAILED;
    return REAL_DISK.setCompression(wide.text, format);
}

LONG TransferAttributes(const char *path, DWORD attributes) {
    WidePath wide;
    if (!ToWidePath(path, &wide)) return TRANSFER_CLEAR_READONLY_FAILED;
    return TransferAttributes(&REAL_DISK, wide.text, attributes);
}

LONG TransferAttributes(const FileSystem *fs, const WCHAR *path, DWORD attributes) {
    return TransferKnownAttributes(fs, path, attributes, fs->attributes(path));
}

LONG TransferKnownAttributes(const FileSystem *fs, const WCHAR *path, DWORD attributes, DWORD current) {
    const DWORD readonlySystem = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
    // Whether a step below has changed the entry since `current` was read.
    bool changed = false;
    // A failed read gives 0xFFFFFFFF, which claims every state at once: going on from it would
    // skip the encryption or compression the source asks for and still report success. It fails
    // here, with the read's error code, as the clearing of read-only and system would for a
    // missing entry.
    if (current & readonlySystem) {
        // Read-only and system entries refuse the compression and encryption changes.
        if (current == INVALID_FILE_ATTRIBUTES || !fs->setAttributes(path, attributes & ~readonlySystem))
            return TRANSFER_CLEAR_READONLY_FAILED;
        changed = true;
    }
    bool compressed = (current & FILE_ATTRIBUTE_COMPRESSED) != 0;
#ifdef KESTREL_ENCRYPTION
    bool encrypted = (current & FILE_ATTRIBUTE_ENCRYPTED) != 0;
#endif
    if (attributes & FILE_ATTRIBUTE_ENCRYPTED) {
        if (compressed) {
            if (fs->setCompression(path, COMPRESSION_FORMAT_NONE) < 0) return TRANSFER_DECOMPRESS_FOR_ENCRYPTION_FAILED;
            changed = true;
        }
#ifdef KESTREL_ENCRYPTION
        if (!encrypted) {
            if (!fs->encrypt(path)) return TRANSFER_ENCRYPT_FAILED;
            changed = true;
        }
#endif
    } else if (attributes & FILE_ATTRIBUTE_COMPRESSED) {
#ifdef KESTREL_ENCRYPTION
        if (encrypted) {
            if (!fs->decrypt(path)) return TRANSFER_DECRYPT_FOR_COMPRESSION_FAILED;
            changed = true;
        }
#endif
        if (!compressed) {
            if (fs->setCompression(path, COMPRESSION_FORMAT_DEFAULT) < 0) return TRANSFER_COMPRESS_FAILED;
            changed = true;
        }
    } else {
#ifdef KESTREL_ENCRYPTION
        if (encrypted) {
            if (!fs->decrypt(path)) return TRANSFER_DECRYPT_FAILED;
            changed = true;
        }
#endif
        if (compressed) {
            if (fs->setCompression(path, COMPRESSION_FORMAT_NONE) < 0) return TRANSFER_DECOMPRESS_FAILED;
            changed = true;
        }
    }
    // An entry that already carries exactly the source's word, untouched by the steps above, is
    // left as it is: a copy usually takes its source's attributes along, and setting them again
    // would only cost the platform a round trip.
    if (!changed && current == attributes) return 0;
    if (!fs->setAttributes(path, attributes)) return TRANSFER_SET_ATTRIBUTES_FAILED;
    return 0;
}

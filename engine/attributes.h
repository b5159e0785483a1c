// Attribute transfer: gives a created folder or copied file the attribute word of its source,
// NTFS compression and (in kestrel-nt) file encryption included.
#pragma once
#include <windows.h>
#include "filesystem.h"

// Results of TransferAttributes: 0, or the step that failed (negative as signed 32-bit). Every
// failure returns at once and nothing is undone: steps already done stay done. The platform's
// error code stays the thread's last error.
#define TRANSFER_CLEAR_READONLY_FAILED ((LONG)0x80000001) // reading the destination's word, or removing
                                                         // read-only and system first
#define TRANSFER_DECOMPRESS_FOR_ENCRYPTION_FAILED ((LONG)0x80000002) // removing compression before encrypting
#define TRANSFER_ENCRYPT_FAILED ((LONG)0x80000003)        // kestrel-nt only
#define TRANSFER_DECRYPT_FOR_COMPRESSION_FAILED ((LONG)0x80000004) // kestrel-nt only
#define TRANSFER_COMPRESS_FAILED ((LONG)0x80000005)
#define TRANSFER_DECRYPT_FAILED ((LONG)0x80000006)        // kestrel-nt only
#define TRANSFER_DECOMPRESS_FAILED ((LONG)0x80000007)
#define TRANSFER_SET_ATTRIBUTES_FAILED ((LONG)0x80000008) // setting the source's attribute word

// Brings the compression and encryption of the entry at `path` into line with `attributes` (the
// source's word), encryption first, then sets the word itself. A source both encrypted and
// compressed is treated as encrypted. Built without encryption (kestrel), the encryption steps
// are left out: an encrypted source only has the destination's compression removed. The entry is
// read and changed through `fs`, the current run's face of the file system.
LONG TransferAttributes(const FileSystem *fs, const WCHAR *path, DWORD attributes);
// The same when the entry's word is known to be `current` (a copy just made), without reading it.
LONG TransferKnownAttributes(const FileSystem *fs, const WCHAR *path, DWORD attributes, DWORD current);
// The same on the real disk for a code page 932 path.
LONG TransferAttributes(const char *path, DWORD attributes);

// Sets the NTFS compression of a file or folder on the real disk: `format` 0
// (COMPRESSION_FORMAT_NONE) removes it, 1 (COMPRESSION_FORMAT_DEFAULT) compresses. The entry is
// opened without sharing. A refused control call leaves its error code as the thread's last
// error. Results: 0 or COMPRESSION_* (filesystem.h).
LONG SetCompression(const char *path, WORD format);

// NTFS compression and encryption of the simulated Windows: the file-system control that sets
// compression, and file encryption (EncryptFileA, DecryptFileA).
#pragma once
#include "simwin_types.h"
#include "simwin_fs.h"

#define ERROR_FILE_READ_ONLY 6009L

#define FSCTL_SET_COMPRESSION 0x0009C040
#define COMPRESSION_FORMAT_NONE 0
#define COMPRESSION_FORMAT_DEFAULT 1
#define COMPRESSION_FORMAT_LZNT1 2
typedef unsigned short USHORT;

// FSCTL_SET_COMPRESSION on a file or folder handle from CreateFileA (folders opened with
// FILE_FLAG_BACKUP_SEMANTICS) that has both read and write access; the input is the 2-byte
// format. Any other control code fails with ERROR_INVALID_FUNCTION.
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped);

// Encryption needs the entry to itself: an open handle on it fails the call with
// ERROR_SHARING_VIOLATION. A read-only file fails with ERROR_FILE_READ_ONLY, a system file with
// ERROR_ACCESS_DENIED. Encrypting a compressed entry decompresses it first; encrypting an
// encrypted entry, or decrypting one that is not, succeeds and changes nothing.
BOOL EncryptFileA(LPCSTR path);
BOOL DecryptFileA(LPCSTR path, DWORD reserved);
BOOL EncryptFileW(LPCWSTR path);
BOOL DecryptFileW(LPCWSTR path, DWORD reserved);

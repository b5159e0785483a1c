// NTFS compression and encryption states of the simulated Windows.
#include "sim_internal.h"
#include <cstring>

// Any open handle other than an enumeration keeps encryption away from an entry.
static bool OpenElsewhere(SimNode *node) {
    for (auto &h : Sim().handles)
        if (h->node == node && (h->kind == SIM_HANDLE_FILE || h->kind == SIM_HANDLE_HOLD)) return true;
    return false;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID, DWORD, LPDWORD returned,
                     LPOVERLAPPED overlapped) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(device, SIM_HANDLE_FILE);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    std::string path = SimPathOf(h->node);
    if (SimFaultFires("DeviceIoControl", path.c_str())) return FALSE;
    // Without an overlapped structure Windows writes the byte count; there must be a place for it.
    if (!returned && !overlapped) return SimFail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (returned) *returned = 0;
    if (code != FSCTL_SET_COMPRESSION) return SimFail<BOOL>(ERROR_INVALID_FUNCTION, FALSE);
    // The control code asks for read and write data access on the handle.
    if ((h->access & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE))
        return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (!in || inSize < sizeof(USHORT)) return SimFail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    USHORT format;
    memcpy(&format, in, sizeof format);
    if (format > COMPRESSION_FORMAT_LZNT1) return SimFail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    // NTFS keeps compression and encryption apart: an encrypted stream's compression is not set.
    if (h->node->attributes & FILE_ATTRIBUTE_ENCRYPTED) return SimFail<BOOL>(ERROR_INVALID_FUNCTION, FALSE);
    if (format == COMPRESSION_FORMAT_NONE)
        h->node->attributes &= ~(DWORD)FILE_ATTRIBUTE_COMPRESSED;
    else
        h->node->attributes |= FILE_ATTRIBUTE_COMPRESSED;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// What EncryptFileA and DecryptFileA check before they change an entry; 0 when it may change.
static DWORD EncryptionRefusal(SimNode *node) {
    if (!node->parent) return ERROR_ACCESS_DENIED; // a volume's root
    if (!node->IsFolder() && (node->attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_FILE_READ_ONLY;
    if (node->attributes & FILE_ATTRIBUTE_SYSTEM) return ERROR_ACCESS_DENIED;
    if (OpenElsewhere(node)) return ERROR_SHARING_VIOLATION;
    return 0;
}

BOOL EncryptFileA(LPCSTR path) {
    SIM_LOCK;
    if (SimFaultFires("EncryptFileA", path)) return FALSE;
    SimLookup l = SimFind(path);
    if (!l.node) return SimFail(l.error, FALSE);
    if (DWORD e = EncryptionRefusal(l.node)) return SimFail<BOOL>(e, FALSE);
    l.node->attributes = (l.node->attributes & ~(DWORD)FILE_ATTRIBUTE_COMPRESSED) | FILE_ATTRIBUTE_ENCRYPTED;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL DecryptFileA(LPCSTR path, DWORD reserved) {
    SIM_LOCK;
    if (SimFaultFires("DecryptFileA", path)) return FALSE;
    if (reserved != 0) return SimFail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    SimLookup l = SimFind(path);
    if (!l.node) return SimFail(l.error, FALSE);
    if (DWORD e = EncryptionRefusal(l.node)) return SimFail<BOOL>(e, FALSE);
    l.node->attributes &= ~(DWORD)FILE_ATTRIBUTE_ENCRYPTED;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

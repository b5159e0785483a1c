// Import-table patching for call counts (see callcount.h).
#include "callcount.h"
#include <windows.h>
#include <sys/stat.h>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

struct Counted {
    const char *name;
    void *wrapper;
    void *original;
    std::atomic<long> calls;
};

enum {
    C_GetFileAttributesA, C_SetFileAttributesA, C_CreateDirectoryA, C_CopyFileA, C_FindFirstFileA,
    C_FindNextFileA, C_FindClose, C_GetFullPathNameA, C_CreateFileA, C_DeviceIoControl, C_stat64,
    C_SendDlgItemMessageA, C_SendMessageA, C_PostMessageA, C_GetDlgItem, C_LocalAlloc, C_LocalFree,
    C_GetFileAttributesW, C_GetFileAttributesExA, C_CreateDirectoryW, C_CopyFileW, C_FindFirstFileW, C_FindNextFileW,
    C_GetFileAttributesExW, C_SetFileAttributesW, C_CreateFileW, C_GetFullPathNameW, C_MoveFileExW, C_CopyFileExW,
    C_GetProcAddress, C_COUNT
};

Counted g_counted[C_COUNT];

template <typename F> F Original(int i) {
    g_counted[i].calls++;
    return (F)g_counted[i].original;
}

DWORD WINAPI W_GetFileAttributesA(LPCSTR p) {
    return Original<decltype(&GetFileAttributesA)>(C_GetFileAttributesA)(p);
}
BOOL WINAPI W_SetFileAttributesA(LPCSTR p, DWORD a) {
    return Original<decltype(&SetFileAttributesA)>(C_SetFileAttributesA)(p, a);
}
BOOL WINAPI W_CreateDirectoryA(LPCSTR p, LPSECURITY_ATTRIBUTES s) {
    return Original<decltype(&CreateDirectoryA)>(C_CreateDirectoryA)(p, s);
}
BOOL WINAPI W_CopyFileA(LPCSTR a, LPCSTR b, BOOL f) { return Original<decltype(&CopyFileA)>(C_CopyFileA)(a, b, f); }
HANDLE WINAPI W_FindFirstFileA(LPCSTR p, LPWIN32_FIND_DATAA d) {
    return Original<decltype(&FindFirstFileA)>(C_FindFirstFileA)(p, d);
}
BOOL WINAPI W_FindNextFileA(HANDLE h, LPWIN32_FIND_DATAA d) {
    return Original<decltype(&FindNextFileA)>(C_FindNextFileA)(h, d);
}
BOOL WINAPI W_FindClose(HANDLE h) { return Original<decltype(&FindClose)>(C_FindClose)(h); }
DWORD WINAPI W_GetFullPathNameA(LPCSTR p, DWORD n, LPSTR b, LPSTR *f) {
    return Original<decltype(&GetFullPathNameA)>(C_GetFullPathNameA)(p, n, b, f);
}
HANDLE WINAPI W_CreateFileA(LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD f, HANDLE t) {
    return Original<decltype(&CreateFileA)>(C_CreateFileA)(p, a, s, sa, c, f, t);
}
BOOL WINAPI W_DeviceIoControl(HANDLE h, DWORD c, LPVOID i, DWORD in, LPVOID o, DWORD on, LPDWORD r, LPOVERLAPPED ov) {
    return Original<decltype(&DeviceIoControl)>(C_DeviceIoControl)(h, c, i, in, o, on, r, ov);
}
int __cdecl W_stat64(const char *p, struct _stat64 *s) {
    return Original<int(__cdecl *)(const char *, struct _stat64 *)>(C_stat64)(p, s);
}
LRESULT WINAPI W_SendDlgItemMessageA(HWND d, int id, UINT m, WPARAM w, LPARAM l) {
    return Original<decltype(&SendDlgItemMessageA)>(C_SendDlgItemMessageA)(d, id, m, w, l);
}
LRESULT WINAPI W_SendMessageA(HWND h, UINT m, WPARAM w, LPARAM l) {
    return Original<decltype(&SendMessageA)>(C_SendMessageA)(h, m, w, l);
}
BOOL WINAPI W_PostMessageA(HWND h, UINT m, WPARAM w, LPARAM l) {
    return Original<decltype(&PostMessageA)>(C_PostMessageA)(h, m, w, l);
}
HWND WINAPI W_GetDlgItem(HWND d, int id) { return Original<decltype(&GetDlgItem)>(C_GetDlgItem)(d, id); }
HLOCAL WINAPI W_LocalAlloc(UINT f, SIZE_T n) { return Original<decltype(&LocalAlloc)>(C_LocalAlloc)(f, n); }
HLOCAL WINAPI W_LocalFree(HLOCAL h) { return Original<decltype(&LocalFree)>(C_LocalFree)(h); }
BOOL WINAPI W_GetFileAttributesExA(LPCSTR p, GET_FILEEX_INFO_LEVELS l, LPVOID d) {
    return Original<decltype(&GetFileAttributesExA)>(C_GetFileAttributesExA)(p, l, d);
}
DWORD WINAPI W_GetFileAttributesW(LPCWSTR p) {
    return Original<decltype(&GetFileAttributesW)>(C_GetFileAttributesW)(p);
}
BOOL WINAPI W_CreateDirectoryW(LPCWSTR p, LPSECURITY_ATTRIBUTES s) {
    return Original<decltype(&CreateDirectoryW)>(C_CreateDirectoryW)(p, s);
}
BOOL WINAPI W_CopyFileW(LPCWSTR a, LPCWSTR b, BOOL f) { return Original<decltype(&CopyFileW)>(C_CopyFileW)(a, b, f); }
HANDLE WINAPI W_FindFirstFileW(LPCWSTR p, LPWIN32_FIND_DATAW d) {
    return Original<decltype(&FindFirstFileW)>(C_FindFirstFileW)(p, d);
}
BOOL WINAPI W_FindNextFileW(HANDLE h, LPWIN32_FIND_DATAW d) {
    return Original<decltype(&FindNextFileW)>(C_FindNextFileW)(h, d);
}

BOOL WINAPI W_GetFileAttributesExW(LPCWSTR p, GET_FILEEX_INFO_LEVELS l, LPVOID d) {
    return Original<decltype(&GetFileAttributesExW)>(C_GetFileAttributesExW)(p, l, d);
}
BOOL WINAPI W_SetFileAttributesW(LPCWSTR p, DWORD a) {
    return Original<decltype(&SetFileAttributesW)>(C_SetFileAttributesW)(p, a);
}
HANDLE WINAPI W_CreateFileW(LPCWSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD f, HANDLE t) {
    return Original<decltype(&CreateFileW)>(C_CreateFileW)(p, a, s, sa, c, f, t);
}
DWORD WINAPI W_GetFullPathNameW(LPCWSTR p, DWORD n, LPWSTR b, LPWSTR *f) {
    return Original<decltype(&GetFullPathNameW)>(C_GetFullPathNameW)(p, n, b, f);
}
BOOL WINAPI W_MoveFileExW(LPCWSTR a, LPCWSTR b, DWORD f) {
    return Original<decltype(&MoveFileExW)>(C_MoveFileExW)(a, b, f);
}
BOOL WINAPI W_CopyFileExW(LPCWSTR a, LPCWSTR b, LPPROGRESS_ROUTINE r, LPVOID d, LPBOOL c, DWORD f) {
    return Original<decltype(&CopyFileExW)>(C_CopyFileExW)(a, b, r, d, c, f);
}
// Calls bound at run time are counted too: the program asks for them by name, and gets the
// counting wrapper of a listed call instead.
FARPROC WINAPI W_GetProcAddress(HMODULE m, LPCSTR name) {
    FARPROC found = Original<decltype(&GetProcAddress)>(C_GetProcAddress)(m, name);
    if (!found || IS_INTRESOURCE(name)) return found;
    for (Counted &c : g_counted) {
        if (!c.name || strcmp(c.name, name) != 0 || &c == &g_counted[C_GetProcAddress]) continue;
        c.original = (void *)found;
        return (FARPROC)c.wrapper;
    }
    return found;
}

void Set(int i, const char *name, void *wrapper) {
    g_counted[i].name = name;
    g_counted[i].wrapper = wrapper;
}

} // namespace

void StartCountingCalls() {
    Set(C_GetFileAttributesA, "GetFileAttributesA", (void *)W_GetFileAttributesA);
    Set(C_SetFileAttributesA, "SetFileAttributesA", (void *)W_SetFileAttributesA);
    Set(C_CreateDirectoryA, "CreateDirectoryA", (void *)W_CreateDirectoryA);
    Set(C_CopyFileA, "CopyFileA", (void *)W_CopyFileA);
    Set(C_FindFirstFileA, "FindFirstFileA", (void *)W_FindFirstFileA);
    Set(C_FindNextFileA, "FindNextFileA", (void *)W_FindNextFileA);
    Set(C_FindClose, "FindClose", (void *)W_FindClose);
    Set(C_GetFullPathNameA, "GetFullPathNameA", (void *)W_GetFullPathNameA);
    Set(C_CreateFileA, "CreateFileA", (void *)W_CreateFileA);
    Set(C_DeviceIoControl, "DeviceIoControl", (void *)W_DeviceIoControl);
    Set(C_stat64, "_stat64", (void *)W_stat64);
    Set(C_SendDlgItemMessageA, "SendDlgItemMessageA", (void *)W_SendDlgItemMessageA);
    Set(C_SendMessageA, "SendMessageA", (void *)W_SendMessageA);
    Set(C_PostMessageA, "PostMessageA", (void *)W_PostMessageA);
    Set(C_GetDlgItem, "GetDlgItem", (void *)W_GetDlgItem);
    Set(C_LocalAlloc, "LocalAlloc", (void *)W_LocalAlloc);
    Set(C_LocalFree, "LocalFree", (void *)W_LocalFree);
    Set(C_GetFileAttributesW, "GetFileAttributesW", (void *)W_GetFileAttributesW);
    Set(C_GetFileAttributesExA, "GetFileAttributesExA", (void *)W_GetFileAttributesExA);
    Set(C_CreateDirectoryW, "CreateDirectoryW", (void *)W_CreateDirectoryW);
    Set(C_CopyFileW, "CopyFileW", (void *)W_CopyFileW);
    Set(C_FindFirstFileW, "FindFirstFileW", (void *)W_FindFirstFileW);
    Set(C_FindNextFileW, "FindNextFileW", (void *)W_FindNextFileW);
    Set(C_GetFileAttributesExW, "GetFileAttributesExW", (void *)W_GetFileAttributesExW);
    Set(C_SetFileAttributesW, "SetFileAttributesW", (void *)W_SetFileAttributesW);
    Set(C_CreateFileW, "CreateFileW", (void *)W_CreateFileW);
    Set(C_GetFullPathNameW, "GetFullPathNameW", (void *)W_GetFullPathNameW);
    Set(C_MoveFileExW, "MoveFileExW", (void *)W_MoveFileExW);
    Set(C_CopyFileExW, "CopyFileExW", (void *)W_CopyFileExW);
    Set(C_GetProcAddress, "GetProcAddress", (void *)W_GetProcAddress);

    BYTE *base = (BYTE *)GetModuleHandleA(nullptr);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress); d->Name; d++) {
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + d->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char *name = (const char *)((IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))->Name;
            for (Counted &c : g_counted) {
                if (!c.name || strcmp(c.name, name) != 0) continue;
                DWORD old;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
                c.original = (void *)slots->u1.Function;
                slots->u1.Function = (ULONG_PTR)c.wrapper;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            }
        }
    }
}

void PrintCallCounts() {
    for (Counted &c : g_counted)
        if (c.name && c.calls) printf("calls %s %ld\n", c.name, c.calls.load());
    fflush(stdout);
}

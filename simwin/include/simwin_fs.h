// File-system calls of the simulated Windows, and the C runtime's file status.
#pragma once
#include "simwin_types.h"
#include "simwin_text.h"
#include <ctime>

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel } GET_FILEEX_INFO_LEVELS;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define DELETE 0x00010000u
#define FILE_READ_ATTRIBUTES 0x0080
#define FILE_WRITE_ATTRIBUTES 0x0100
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

DWORD GetFileAttributesA(LPCSTR path);
// The attributes, size and times of an entry in one call (only GetFileExInfoStandard).
BOOL GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information);
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data);
BOOL FindClose(HANDLE find);
// The same listing with names in UTF-16: an entry whose name code page 932 cannot hold (planted
// with SimAddWideEntry) shows its true name here, and its substitute through the ANSI calls.
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
// The wide forms of the calls that tests use to make and remove such entries; each behaves as
// its ANSI form on the path (and fails where that form's fault is injected).
DWORD GetFileAttributesW(LPCWSTR path);
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryW(LPCWSTR path);
BOOL DeleteFileW(LPCWSTR path);
// The wide file calls fail with ERROR_CALL_NOT_IMPLEMENTED, as on the Windows 95 family and
// Win32s, until SimReset or SimSetWideStubs(false).
void SimSetWideStubs(bool stubs);
BOOL GetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information);
BOOL CopyFileW(LPCWSTR source, LPCWSTR dest, BOOL failIfExists);
#define PROGRESS_CONTINUE 0
#define CALLBACK_CHUNK_FINISHED 0x00000000
#define CALLBACK_STREAM_SWITCH 0x00000001
#define COPY_FILE_FAIL_IF_EXISTS 0x00000001
typedef DWORD (*LPPROGRESS_ROUTINE)(LARGE_INTEGER total, LARGE_INTEGER transferred, LARGE_INTEGER streamSize,
                                    LARGE_INTEGER streamTransferred, DWORD stream, DWORD reason, HANDLE source,
                                    HANDLE destination, LPVOID data);
BOOL CopyFileExW(LPCWSTR source, LPCWSTR dest, LPPROGRESS_ROUTINE progress, LPVOID data, LPBOOL cancel, DWORD flags);
// A hard end of the process (a crash, a power loss, "End task") in the middle of the copy of
// `path` (CopyFileExW): the part holds `bytes` of the data, at the source's full length when
// `fullLength` (Windows may set it before it writes), and every file-system call after it fails
// with ERROR_PROCESS_ABORTED until SimClearFaults, so that nothing the program would do next
// reaches the disk.
#define SIM_HARD_END "hard end"
#define SIM_HARD_END_FULL_LENGTH 0x80000000u
void SimInjectHardEnd(const char *path, DWORD bytes, bool fullLength);
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_WRITE_THROUGH 0x00000008
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR newName, DWORD flags);
BOOL MoveFileW(LPCWSTR existing, LPCWSTR newName);
BOOL MoveFileA(LPCSTR existing, LPCSTR newName);
DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR *filePart);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR path);
BOOL CopyFileA(LPCSTR source, LPCSTR dest, BOOL failIfExists);
BOOL DeleteFileA(LPCSTR path);
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR *filePart);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
DWORD GetTempPathA(DWORD size, LPSTR buffer);
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
// Nothing is cached in the simulation: TRUE for an open file (faults: "FlushFileBuffers").
BOOL FlushFileBuffers(HANDLE file);
#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003
// A file opened by CreateFileA is a disk file; a DOS device name opens a character device.
DWORD GetFileType(HANDLE file);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
BOOL GetFileTime(HANDLE file, LPFILETIME created, LPFILETIME accessed, LPFILETIME written);
BOOL SetFileTime(HANDLE file, const FILETIME *created, const FILETIME *accessed, const FILETIME *written);

// The C runtime's file status with 64-bit size and time, as MinGW's msvcrt provides it. The
// host's <sys/stat.h> defines st_mtime and its kin as macros naming st_mtim.tv_sec, so the
// structure is laid out to answer to those macros.
#include <sys/stat.h>
struct SimStatTime {
    int64_t tv_sec;
};
struct _stat64 {
    unsigned int st_dev;
    unsigned short st_ino;
    unsigned short st_mode;
    short st_nlink;
    unsigned int st_rdev;
    int64_t st_size;
    SimStatTime st_atim;
    SimStatTime st_mtim;
    SimStatTime st_ctim;
};
int _stat64(const char *path, struct _stat64 *st);

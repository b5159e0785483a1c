// The text-file layer: buffered reading and writing with the line-end translation of text mode.
#include "textfile.h"
#include "optionwords.h"
#include "patterns.h"
#include <cstring>

static void StartTextFile(TextFile *file, HANDLE handle, bool writing) {
    file->handle = handle;
    file->writing = writing;
    file->held = 0;
    file->position = 0;
    file->atEnd = false;
    file->failed = false;
    file->error = 0;
}

// Keeps only disk files: a device or pipe would block a reader or swallow what is written.
static int KeepDiskFile(TextFile *file, HANDLE handle, bool writing) {
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        SetLastError(ERROR_INVALID_NAME);
        return TEXT_NOT_DISK_FILE;
    }
    StartTextFile(file, handle, writing);
    return 0;
}

static bool IsPathSeparator(const char *p) { return *p == '\\' || *p == '/'; }

// Do the first `length` bytes of `name` spell `device` (ASCII case ignored)?
static bool IsNamed(const char *name, size_t length, const char *device) {
    return length == strlen(device) && StartsWithName(name, device);
}

bool IsDeviceName(const char *path) {
    // The last component, found among single-byte characters only.
    const char *name = path;
    for (const char *p = path; *p; p++) {
        if (IsLeadByteValue((unsigned char)*p) && p[1]) {
            p++;
            continue;
        }
        if (IsPathSeparator(p) || (*p == ':' && p == path + 1)) name = p + 1;
    }
    size_t length = 0;
    while (name[length] && name[length] != '.' && name[length] != ':') length++;
    while (length > 0 && name[length - 1] == ' ') length--;
    static const char *const DEVICES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char *device : DEVICES)
        if (IsNamed(name, length, device)) return true;
    // COM1–COM9 and LPT1–LPT9.
    return length == 4 && (StartsWithName(name, "COM") || StartsWithName(name, "LPT")) && name[3] >= '1' && name[3] <= '9';
}

int OpenTextFile(TextFile *file, const char *path) {
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return TEXT_OPEN_FAILED;
    return KeepDiskFile(file, handle, false);
}

int CreateTextFile(TextFile *file, const char *path) {
    if (IsDeviceName(path)) {
        SetLastError(ERROR_INVALID_NAME);
        return TEXT_NOT_DISK_FILE;
    }
    HANDLE handle =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return TEXT_OPEN_FAILED;
    return KeepDiskFile(file, handle, true);
}

// The next byte without taking it: 0–255, -1 at the end of the file, -2 when reading failed.
static int PeekByte(TextFile *file) {
    if (file->failed) return -2;
    if (file->position == file->held) {
        if (file->atEnd) return -1;
        DWORD got = 0;
        if (!ReadFile(file->handle, file->buffer, TEXT_FILE_BUFFER, &got, nullptr)) {
            file->failed = true;
            file->error = GetLastError();
            return -2;
        }
        file->held = got;
        file->position = 0;
        if (got == 0) {
            file->atEnd = true;
            return -1;
        }
    }
    // Text-mode input ends the file at Ctrl-Z, as old editors ended their files; what follows
    // is never read. 0x1A is never a trail byte.
    if (file->buffer[file->position] == TEXT_END_OF_FILE) {
        file->atEnd = true;
        file->held = file->position;
        return -1;
    }
    return (unsigned char)file->buffer[file->position];
}

// The next byte of the text: CR LF reads as LF.
static int NextTextByte(TextFile *file) {
    int c = PeekByte(file);
    if (c < 0) return c;
    file->position++;
    if (c == '\r') {
        int next = PeekByte(file);
        if (next == -2) return -2;
        if (next == '\n') {
            file->position++;
            return '\n';
        }
    }
    return c;
}

int ReadTextLine(TextFile *file, char *line, int size, int *length) {
    int n = 0;
    bool tooLong = false;
    for (;;) {
        int c = NextTextByte(file);
        if (c == -2) {
            SetLastError(file->error);
            return TEXT_LINE_READ_FAILED;
        }
        if (c == -1) {
            if (n == 0 && !tooLong) return 0;
            break;
        }
        if (c == '\n') break;
        if (n < size - 1)
            line[n++] = (char)c;
        else
            tooLong = true;
    }
    line[tooLong ? 0 : n] = '\0';
    *length = tooLong ? 0 : n;
    return tooLong ? TEXT_LINE_TOO_LONG : 1;
}

// Writes the buffered bytes. A disk file takes all of them or reports a failure; a write that
// reports success with fewer bytes (none, or some) is taken for a full disk, not tried again.
static bool FlushText(TextFile *file) {
    if (file->failed) return false;
    DWORD written = 0;
    if (!WriteFile(file->handle, file->buffer, file->held, &written, nullptr)) {
        file->failed = true;
        file->error = GetLastError();
        return false;
    }
    if (written != file->held) {
        file->failed = true;
        file->error = ERROR_DISK_FULL;
        return false;
    }
    file->held = 0;
    return true;
}

static bool PutByte(TextFile *file, char c) {
    if (file->held == TEXT_FILE_BUFFER && !FlushText(file)) return false;
    file->buffer[file->held++] = c;
    return true;
}

int WriteText(TextFile *file, const char *text) {
    for (const char *p = text; *p && !file->failed; p++)
        if ((*p == '\n' && !PutByte(file, '\r')) || !PutByte(file, *p)) break;
    if (file->failed) {
        SetLastError(file->error);
        return TEXT_WRITE_FAILED;
    }
    return 0;
}

int WriteBytes(TextFile *file, const char *bytes, size_t size) {
    while (size > 0 && !file->failed) {
        if (file->held == TEXT_FILE_BUFFER && !FlushText(file)) break;
        DWORD n = TEXT_FILE_BUFFER - file->held;
        if (n > size) n = (DWORD)size;
        memcpy(file->buffer + file->held, bytes, n);
        file->held += n;
        bytes += n;
        size -= n;
    }
    if (file->failed) {
        SetLastError(file->error);
        return TEXT_WRITE_FAILED;
    }
    return 0;
}

int CloseTextFile(TextFile *file) {
    bool written = !file->writing || file->held == 0 || FlushText(file);
    bool failed = file->writing && file->failed;
    DWORD error = file->error;
    BOOL closed = CloseHandle(file->handle);
    file->handle = INVALID_HANDLE_VALUE;
    if (!written || failed) {
        SetLastError(error);
        return TEXT_CLOSE_WRITE_FAILED;
    }
    if (!closed) return TEXT_CLOSE_FAILED;
    return 0;
}

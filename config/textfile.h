// A small text-file layer on CreateFileA, ReadFile and WriteFile, for the files KESTREL reads and
// writes as text (script files, the deletion batch file; a saved log goes through it untranslated):
// lines end in CR LF or LF when read and Ctrl-Z ends the file, a line feed is written as CR LF,
// and every failure of the platform is seen by the caller.
#pragma once
#include <windows.h>

// Bytes buffered between the file and the caller.
const DWORD TEXT_FILE_BUFFER = 4096;
// Ctrl-Z: where text-mode reading ends a file.
const char TEXT_END_OF_FILE = 0x1A;

// One open text file. Owned by the caller (it may live on the stack); the handle is released by
// CloseTextFile, which must be called for every file that was opened successfully.
struct TextFile {
    HANDLE handle;
    bool writing;   // created by CreateTextFile
    DWORD held;     // bytes in buffer (reading: read ahead; writing: not yet written)
    DWORD position; // reading: the next byte of buffer to hand out
    bool atEnd;     // reading: ReadFile has reported the end of the file
    bool failed;    // a read or write failed; the file's later calls fail too
    DWORD error;    // the platform's error code of that failure
    char buffer[TEXT_FILE_BUFFER];
};

// Opening failures (the last error is the platform's, or ERROR_INVALID_NAME for a name that is
// not a disk file).
#define TEXT_OPEN_FAILED ((int)0x80000001)   // CreateFileA failed (for CREATE_NEW: ERROR_FILE_EXISTS
                                             // when the name is taken)
#define TEXT_NOT_DISK_FILE ((int)0x80000002) // a device (CON, NUL, COM1, …), pipe or console

// Opens an existing file for reading (others may read and write it meanwhile). 0 or a failure.
int OpenTextFile(TextFile *file, const char *path);
// Creates a new file for writing; a name that exists already is never opened or overwritten
// (TEXT_OPEN_FAILED, ERROR_FILE_EXISTS). A device name is refused before anything is opened.
// 0 or a failure.
int CreateTextFile(TextFile *file, const char *path);

// ReadTextLine results besides 1 (a line) and 0 (the end of the file: nothing more to read).
#define TEXT_LINE_TOO_LONG ((int)0x80000001)  // the line has more than size - 1 bytes; it is
                                              // skipped up to its end and nothing is returned
#define TEXT_LINE_READ_FAILED ((int)0x80000002) // ReadFile failed (last error set); not the end

// Reads the next line into `line` (`size` bytes, at least 2) without its line feed: CR LF and LF
// end a line, a CR without LF is an ordinary byte. The last line of a file needs no line feed.
// A Ctrl-Z byte (TEXT_END_OF_FILE) ends the file, as in the runtime's text mode: the bytes before
// it on its line are the last line, nothing after it is read.
// `*length` receives the line's length; the line is terminated, and may itself hold zero bytes.
int ReadTextLine(TextFile *file, char *line, int size, int *length);

// Appends `text`, each line feed written as CR LF. 0, or TEXT_WRITE_FAILED (now or for an
// earlier write; the last error says why: a write that took fewer bytes than it was given and
// reported no error gives ERROR_DISK_FULL).
#define TEXT_WRITE_FAILED ((int)0x80000001)
int WriteText(TextFile *file, const char *text);
// Appends `size` bytes as they are, without the line-end translation (an RTF document); results
// as WriteText's.
int WriteBytes(TextFile *file, const char *bytes, size_t size);

// Writes what is buffered and closes the file. 0, or a failure (the handle is released anyway):
#define TEXT_CLOSE_WRITE_FAILED ((int)0x80000001) // a write failed, now or earlier
#define TEXT_CLOSE_FAILED ((int)0x80000002)       // CloseHandle failed
int CloseTextFile(TextFile *file);

// Is the last component of `path` a device name of the platform (CON, PRN, AUX, NUL, COM1–COM9,
// LPT1–LPT9, CONIN$, CONOUT$, with or without an extension, ASCII case ignored)? Such a name
// opens the device in every folder.
bool IsDeviceName(const char *path);

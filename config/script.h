// Script files (.kjb): reading one into the main dialog, and the create-script dialog that writes
// the dialog's current settings to a script on the desktop.
#pragma once
#include <windows.h>
#include "textfile.h"

// The main dialog, kept by start-up for the create-script dialog (null until it exists).
extern HWND g_mainDialog;

// Reads the script file at `path` into the dialog's controls, line by line, each line applied as
// it is read. 0 when the whole file was read, -1 on a failure (a message has then been shown,
// owner the dialog, and the lines before the failure stay applied): the file cannot be opened, is
// not a disk file, or cannot be read to its end: warning "スクリプトファイルを開けません。"; a line
// that is no key line, does not fit the line buffer, holds a zero byte, or has a value too long
// for its field (SRC 4096 bytes or more, the other texts 260 or more): error
// "スクリプトファイルに不正なオプションがあります。".
int ReadScriptFile(HWND dialog, const char *path);

// The line buffer's size: the longest line read is 4127 bytes.
const int SCRIPT_LINE_SIZE = 4128;

// Reads the next line that is neither a comment (first byte '#') nor blank (empty, or spaces and
// tabs only) into `buffer` (`size` bytes) without its line end. 1 with a line, 0 at the end of
// the file, or a failure:
#define SCRIPT_LINE_TOO_LONG TEXT_LINE_TOO_LONG       // more than size - 1 bytes
#define SCRIPT_LINE_READ_FAILED TEXT_LINE_READ_FAILED // the file could not be read (last error set)
#define SCRIPT_LINE_NOT_TEXT ((int)0x80000003)        // the line holds a zero byte
int ReadScriptLine(TextFile *file, char *buffer, int size);

// Writes the main dialog's settings (through g_mainDialog) to a new script named by the field
// IDC_SCRIPT_NAME of `nameDialog`, on the desktop. 1 when the script was written; 0 when it was
// not (a warning owned by `nameDialog` has been shown, and nothing it created is left behind).
int WriteScriptFile(HWND nameDialog);

// Dialog procedure of DIALOG_MKSCRIPT; opened with DialogBoxParamA, owner the main window.
INT_PTR CALLBACK MkScriptDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

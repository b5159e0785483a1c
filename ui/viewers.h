// The log and missing-files viewers that a copy run shows at its end, modal to the main dialog,
// the deletion batch file DelDest.bat written from the missing-files viewer, and each viewer's
// document saved to the desktop. The stream callback, the batch-file text, the saved file and the
// frame's minimum size are plain code that every build runs; the viewer windows themselves need
// the rich-edit control (viewers_win.cpp).
#pragma once
#include <windows.h>
#include <atomic>
#include "controls.h"
#include "copylog.h"

// ---- viewers ----

// Each warns first when its document is full ("ログが多すぎて全部表示できません。" /
// "コピー元に無いファイルが多すぎて全部表示できません。"), then shows the viewer modally with
// `dialog` as owner and returns when the user has closed it. Called by the copy run's worker
// after its walk: the missing-files viewer first (only when the check ran and the run was not
// stopped), then the log viewer.
void ShowMissingViewer(HWND dialog);
void ShowLogViewer(HWND dialog);
extern const char MSG_LOG_FULL[];     // "ログが多すぎて全部表示できません。"
extern const char MSG_MISSING_FULL[]; // "コピー元に無いファイルが多すぎて全部表示できません。"

// How many times each viewer has been asked for since the process started (tests read them).
extern std::atomic<int> g_missingViewerShown;
extern std::atomic<int> g_logViewerShown;

// Opens one viewer dialog modally on `owner` with `document` and returns when it is closed
// (viewers_win.cpp: DIALOG_LOG / DIALOG_SYNC; the host build records the request). Returns the
// dialog's result, or -1 when the dialog could not be created.
enum ViewerKind { VIEWER_LOG, VIEWER_MISSING };
INT_PTR OpenViewerDialog(HWND owner, ViewerKind kind);

// ---- streaming a document into a rich-edit control ----

// Appends the closing brace to the document's open RTF text, once: a document already closed is
// left as it is. The room for the brace was kept free by every append.
void CloseRtfDocument(LogDocument *document);

// What the stream callback reads from: the start of the text, the position reached and the bytes
// that remain.
struct RtfStreamState {
    const char *text;
    DWORD position;
    DWORD remaining;
};

// The EM_STREAMIN read callback (EDITSTREAMCALLBACK): copies min(requested, remaining) bytes
// from the position on into `buffer`, advances, and reports the count in *copied; 0 bytes once
// nothing remains, which ends the stream. Always reports success (0).
DWORD CALLBACK ReadRtfStream(DWORD_PTR cookie, LPBYTE buffer, LONG requested, LONG *copied);

// Closes the document with its brace, loads all of it into the rich-edit control as RTF
// (EM_STREAMIN, SF_RTF) and puts the caret at the start. Windows only.
void StreamRtfIntoControl(HWND control, LogDocument *document);

// ---- the viewer frame ----

// The smallest viewer frame, in pixels.
#define VIEWER_MIN_WIDTH 400
#define VIEWER_MIN_HEIGHT 300

// WM_SIZING: keeps the dragged frame at least VIEWER_MIN_WIDTH × VIEWER_MIN_HEIGHT by moving the
// dragged edge (`edge` is WMSZ_LEFT … WMSZ_BOTTOMRIGHT; a corner moves both of its edges).
void KeepViewerMinimumSize(int edge, LONG &left, LONG &top, LONG &right, LONG &bottom);

// ---- the deletion batch file ----

// Warnings of the batch file, each shown in a warning box on the missing-files viewer.
extern const char MSG_BATCH_PATH_TOO_LONG[];  // "バッチファイルのフルパス名が長すぎます。"
extern const char MSG_BATCH_EXISTS[];         // "同名のバッチファイルが存在します。"
extern const char MSG_BATCH_CANNOT_OPEN[];    // "バッチファイルを開けません。"
extern const char MSG_BATCH_CANNOT_WRITE[];   // a write or the close failed; the file was deleted
extern const char MSG_BATCH_PARTIAL_LEFT[];   // … and the partial file could not be deleted
extern const char MSG_BATCH_NOT_FULL_PATH[];  // a listed name is not a full path; nothing written
// The question before a batch file that deletes everything a source's destination folder holds
// (a format with the folder, %s), and the information after writing (formats with counts, %s):
// the batch's count, and the count of entries left out as a third line when there are any.
extern const char MSG_BATCH_DELETES_WHOLE_FOLDER[];
extern const char MSG_BATCH_WRITTEN[];
extern const char MSG_BATCH_WRITTEN_LEFT_OUT[];

// What a batch text holds: the entries it deletes (files and folders) and those left out.
struct BatchCounts {
    unsigned deleted;
    unsigned leftOut;
};

// The batch file's text for the missing-files list's lines (`length` bytes), with line
// feeds (the file is written in text mode, each line feed as CR LF): the header
// "REM KESTREL Delete Destination BAT File" and an empty line, the line
// "setlocal DisableDelayedExpansion", then for each line of the text that begins with "D " or
// "F " and has a name after it:
//   a file:   del /F /A "name"          (deleted whatever its attributes)
//   a folder: attrib -H -S -R "name"    (its attributes cleared, so that rmdir can remove it)
//             rmdir "name"
// Lines of the text end at CR, LF or CR LF; other lines are skipped.
// Each single-byte "%" of a name is written "%%", so that cmd.exe takes the name as it is (it
// expands percent signs even inside quotes); "!" stays as it is, because the setlocal line turns
// delayed expansion off whatever the user's setting (and a caret would then stay in the name).
// A name holding "*" or "?", or with a part ending in a space or a dot, would be taken by cmd.exe
// for a wildcard or another name, and a name with a character code page 932 lacks (an escape
// after SHOWN_UNIT) or a path of MAX_PATH units or more cannot be named safely: its entry is left
// out, a remark line that names nothing stands in its place, and it is counted as left out.
// `out` receives the text (not terminated) when it is not null; *size is the text's length
// either way (measure first, then compose into a buffer of that size). *counts (when not null)
// receives what the text deletes and leaves out.
// Returns 0; 0x80000001 when a listed name is not a full path below a root ("X:\…" or
// "\\server\share\…"): the destination itself was not one, and cmd.exe would delete every
// entry relative to wherever the batch file is run. Then no text is made (and the counts are 0).
// 0x80000002 when there was no memory for the list of entries left out (nothing made either).
int ComposeDeleteBatch(const char *text, size_t length, char *out, size_t *size, BatchCounts *counts);

// Writes DelDest.bat on the desktop from the missing-files list's lines. When the run's
// list offers everything a source's destination folder holds (g_missingWholeFolder), it first
// asks on `owner` with the confirmation box (focus on "いいえ"), and anything but "はい" writes
// nothing. Returns 1 when the file was written whole, after an information box with where it
// went, how many entries it deletes and how many were left out; 0 when it was not: the user said
// no, or a warning box on `owner` said why: a listed name is not a full path, the desktop folder
// cannot be found or its path is too long, something named DelDest.bat is already there (never
// overwritten, also when it appears just before the file is created), the file cannot be
// created, or a write or the close failed (the partial file is deleted again).
int WriteDeleteBatch(HWND owner, const char *text);

// The missing-files viewer's command IDM_MAKEBATCH: writes the batch file from the lines the
// missing-files document holds as the check composed them (MissingListText), never from the
// viewer's text, whose ANSI form would give a look-alike ("cafe.txt" for "café.txt"). Returns
// WriteDeleteBatch's result.
int MakeBatchFromList(HWND viewer);

// ---- saving a viewer's document ----

// Messages of the command: the information (a format with the file's name) and the warnings.
extern const char MSG_SAVED[];             // "デスクトップに保存しました。\n%s"
extern const char MSG_SAVE_EXISTS[];       // "同名のファイルが存在します。"
extern const char MSG_SAVE_FAILED[];       // "ファイルを保存できません。"
extern const char MSG_SAVE_PARTIAL_LEFT[]; // a format with the name: the partial file could not be deleted

// `name` on the desktop, into `path` (MAX_PATH bytes): false when the desktop's path cannot be had
// or the whole path does not fit.
bool DesktopFilePath(const char *name, char *path);
// The saved document's name for the run that started at `time` (local):
// "KestrelLog-YYYYMMDD-HHMMSS.rtf" or "KestrelMissing-YYYYMMDD-HHMMSS.rtf".
void ComposeSavedName(ViewerKind kind, const SYSTEMTIME &time, char *name, size_t size);

// Both viewers' command IDM_SAVELOG: writes the document the viewer shows, the program's own RTF
// with its colours and closing brace (not the control's text, which loses characters), to the
// desktop under ComposeSavedName of the run's start, and tells the user the name. Never over an
// existing file (a second save of one run is refused); a file that cannot be written whole is
// deleted again. 1 when written; 0 after a warning box on `owner` that says why.
int SaveViewerDocument(HWND owner, ViewerKind kind);

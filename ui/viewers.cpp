// The viewers' entry points and their plain arithmetic, which every build runs: the full-document
// warnings, the RTF stream callback, the frame's minimum size, the deletion batch file and the
// saved document.
#include "viewers.h"
#include "filesystem.h"
#include "folder.h"
#include "msgbox.h"
#include "patterns.h"
#include "textfile.h"
#include <stdio.h>
#include <string.h>

std::atomic<int> g_missingViewerShown{0};
std::atomic<int> g_logViewerShown{0};

const char MSG_LOG_FULL[] = "ログが多すぎて全部表示できません。";
const char MSG_MISSING_FULL[] = "コピー元に無いファイルが多すぎて全部表示できません。";

const char MSG_BATCH_PATH_TOO_LONG[] = "バッチファイルのフルパス名が長すぎます。";
const char MSG_BATCH_EXISTS[] = "同名のバッチファイルが存在します。";
const char MSG_BATCH_CANNOT_OPEN[] = "バッチファイルを開けません。";
const char MSG_BATCH_CANNOT_WRITE[] = "バッチファイルを書き込めません。";
const char MSG_BATCH_PARTIAL_LEFT[] =
    "バッチファイルを書き込めません。\n書きかけのDelDest.batが残っています。実行せずに削除してください。";
const char MSG_BATCH_NOT_FULL_PATH[] = "コピー先のフルパス名が分からないため、バッチファイルを作成できません。";
const char MSG_BATCH_DELETES_WHOLE_FOLDER[] =
    "コピー先の %s の中身がすべて削除の対象になっています。\n"
    "コピー元のフォルダが空か、ドライブが接続されていない可能性があります。\n"
    "バッチファイルを作成しますか？";
const char MSG_BATCH_WRITTEN[] = "デスクトップに DelDest.bat を作成しました。\n"
                                 "このバッチファイルはフォルダとファイルを %s 件削除します。";
const char MSG_BATCH_WRITTEN_LEFT_OUT[] = "\nバッチファイルで扱えない名前やパスの %s 件は含めていません。";

// ---- viewers ----

// The warning comes once, before the viewer opens; the viewer then shows what fitted.
static void ShowViewer(HWND dialog, ViewerKind kind, const LogDocument &document, const char *fullWarning) {
    if (document.full) ShowWarningBox(dialog, "%s", fullWarning);
    OpenViewerDialog(dialog, kind);
}

void ShowMissingViewer(HWND dialog) {
    g_missingViewerShown++;
    ShowViewer(dialog, VIEWER_MISSING, g_missingList, MSG_MISSING_FULL);
}

void ShowLogViewer(HWND dialog) {
    g_logViewerShown++;
    ShowViewer(dialog, VIEWER_LOG, g_copyLog, MSG_LOG_FULL);
}

// ---- streaming ----

// An open document never ends in "}": the prologue ends in "\fs18 " and every record in "\par"
// and a line feed, while an escaped brace inside a record is followed by the record's end. So a
// document that ends in "}" has been closed already, and showing it again adds nothing.
void CloseRtfDocument(LogDocument *document) {
    DWORD length = document->length;
    if (length > 0 && document->text[length - 1] == '}') return;
    // Every append kept room for the brace and the terminator.
    if (length + 2 > document->capacity) return;
    document->text[length] = '}';
    document->text[length + 1] = '\0';
    document->length = length + 1;
}

DWORD CALLBACK ReadRtfStream(DWORD_PTR cookie, LPBYTE buffer, LONG requested, LONG *copied) {
    RtfStreamState *state = (RtfStreamState *)cookie;
    DWORD count = requested > 0 ? (DWORD)requested : 0;
    if (count > state->remaining) count = state->remaining;
    memcpy(buffer, state->text + state->position, count);
    state->position += count;
    state->remaining -= count;
    *copied = (LONG)count;
    return 0;
}

// ---- the frame ----

void KeepViewerMinimumSize(int edge, LONG &left, LONG &top, LONG &right, LONG &bottom) {
    bool leftEdge = edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT;
    bool rightEdge = edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT;
    bool topEdge = edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT;
    bool bottomEdge = edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT;
    if (right - left < VIEWER_MIN_WIDTH) {
        if (leftEdge) left = right - VIEWER_MIN_WIDTH;
        if (rightEdge) right = left + VIEWER_MIN_WIDTH;
    }
    if (bottom - top < VIEWER_MIN_HEIGHT) {
        if (topEdge) top = bottom - VIEWER_MIN_HEIGHT;
        if (bottomEdge) bottom = top + VIEWER_MIN_HEIGHT;
    }
}

// ---- the batch file's text ----

static const char BATCH_HEADER[] = "REM KESTREL Delete Destination BAT File\n\n"
                                   "setlocal DisableDelayedExpansion\n";

// The second byte of a double-byte character in code page 932; a lead byte followed by anything
// else stands alone, as cmd.exe reads it.
static bool IsTrailByteValue(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

static bool IsAsciiLetter(unsigned char b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }

// Where the entry's own part of a name begins: after "X:\" or after "\\server\share\" (0 when the
// name is not a full path). Server and share end at single-byte backslashes only.
static size_t FullPathRootLength(const unsigned char *name, size_t n) {
    if (n >= 3 && IsAsciiLetter(name[0]) && name[1] == ':' && name[2] == '\\') return 3;
    if (n < 2 || name[0] != '\\' || name[1] != '\\') return 0;
    size_t i = 2;
    for (int part = 0; part < 2; part++) {
        size_t start = i;
        while (i < n && name[i] != '\\') i += IsLeadByteValue(name[i]) && i + 1 < n ? 2 : 1;
        if (i == start || i >= n) return 0; // an empty server or share, or nothing after the share
        i++;
    }
    return i;
}

// Judges one listed name: 0 when a batch line can name it as it is, 0x80000001 when it is not a
// full path below a root, 0x80000002 when cmd.exe would take it for another name or cannot take
// it: a name with a character code page 932 lacks (shown as an escape after SHOWN_UNIT, a control
// byte; cmd.exe reads batch files in the OEM code page), or a path of MAX_PATH units or more
// (cmd.exe's del and rmdir take those unevenly across Windows versions).
static int CheckBatchName(const unsigned char *name, size_t n) {
    size_t root = FullPathRootLength(name, n);
    if (root == 0 || root >= n) return (int)0x80000001;
    if (memchr(name, SHOWN_UNIT, n)) return (int)0x80000002;
    unsigned char previous = 0;
    size_t units = 0;
    for (size_t i = 0; i < n; i++, units++) {
        unsigned char b = name[i];
        if (IsLeadByteValue(b) && i + 1 < n && IsTrailByteValue(name[i + 1])) {
            i++; // a double-byte character: its trail byte is never one of the bytes below
            previous = 0;
            continue;
        }
        // cmd.exe and the file system drop a trailing space or dot of a part ("old." names
        // "old"), and "*" and "?" are wildcards: such a line would delete another entry.
        bool partEnds = b == '\\' && i > root;
        if (b == '*' || b == '?' || (partEnds && (previous == ' ' || previous == '.'))) return (int)0x80000002;
        previous = b;
    }
    return previous == ' ' || previous == '.' || units >= MAX_PATH ? (int)0x80000002 : 0;
}

// Puts `text` at out + *total (when out is not null) and counts it.
static void PutBatchText(const char *text, size_t n, char *out, size_t *total) {
    if (out) memcpy(out + *total, text, n);
    *total += n;
}

// Puts a checked name in quotes, each single-byte "%" doubled, and the line's end.
static void PutBatchName(const unsigned char *name, size_t n, char *out, size_t *total) {
    PutBatchText("\"", 1, out, total);
    for (size_t i = 0; i < n; i++) {
        bool pair = IsLeadByteValue(name[i]) && i + 1 < n && IsTrailByteValue(name[i + 1]);
        PutBatchText((const char *)name + i, pair ? 2 : 1, out, total);
        if (!pair && name[i] == '%') PutBatchText("%", 1, out, total);
        if (pair) i++;
    }
    PutBatchText("\"\n", 2, out, total);
}

// The line that stands where an entry was left out. cmd.exe expands percent signs even in a
// remark, and on Windows a caret at its end carries the remark over the next line, so it names
// nothing.
static const char BATCH_LEFT_OUT[] = "REM left out: a listed name that this batch file cannot delete safely\n";

int ComposeDeleteBatch(const char *text, size_t length, char *out, size_t *size, BatchCounts *counts) {
    // del: /F deletes a read-only file, /A selects it whatever its attributes (without it del
    // skips hidden and system files). rmdir refuses a read-only folder, and attrib refuses to
    // change a hidden or system one unless those are cleared in the same command; Wine's attrib
    // applies only the last of several switches, so the one rmdir needs comes last.
    static const char DEL[] = "del /F /A ";
    static const char ATTRIB[] = "attrib -H -S -R ";
    static const char RMDIR[] = "rmdir ";
    const unsigned char *t = (const unsigned char *)text;
    size_t total = 0;
    BatchCounts counted = {0, 0};
    // The entries left out: a folder that holds one cannot be removed either, and its line (which
    // comes after the lines of its contents) is left out too.
    // One slot per line at most, from the allocator that a failing run meets too.
    size_t lines = 1;
    for (size_t i = 0; i < length; i++) lines += t[i] == '\n' || t[i] == '\r';
    struct Kept {
        const unsigned char *name;
        size_t length;
    } *kept = (Kept *)LocalAlloc(LMEM_FIXED, lines * sizeof(Kept));
    if (!kept) {
        *size = 0;
        if (counts) *counts = BatchCounts{0, 0};
        return (int)0x80000002;
    }
    size_t keptCount = 0;
    auto holdsKept = [&](const unsigned char *folder, size_t n) {
        for (size_t i = 0; i < keptCount; i++)
            if (kept[i].length > n && kept[i].name[n] == '\\' && memcmp(kept[i].name, folder, n) == 0) return true;
        return false;
    };
    PutBatchText(BATCH_HEADER, sizeof BATCH_HEADER - 1, out, &total);
    size_t position = 0;
    while (position < length) {
        // CR and LF are never trail bytes, so a plain scan finds the line's end.
        size_t end = position;
        while (end < length && t[end] != '\r' && t[end] != '\n') end++;
        const unsigned char *line = t + position;
        size_t n = end - position;
        if (n > 2 && (line[0] == 'D' || line[0] == 'F') && line[1] == ' ') {
            int judged = CheckBatchName(line + 2, n - 2);
            if (judged == (int)0x80000001) {
                // Every listed name comes from the destination: one that is not a full path
                // means none is, and cmd.exe would delete them wherever the file is run.
                *size = 0;
                if (counts) *counts = BatchCounts{0, 0};
                LocalFree(kept);
                return judged;
            }
            if (judged != 0 || (line[0] == 'D' && holdsKept(line + 2, n - 2))) {
                PutBatchText(BATCH_LEFT_OUT, sizeof BATCH_LEFT_OUT - 1, out, &total);
                kept[keptCount++] = {line + 2, n - 2};
                counted.leftOut++;
            } else if (line[0] == 'F') {
                PutBatchText(DEL, sizeof DEL - 1, out, &total);
                PutBatchName(line + 2, n - 2, out, &total);
                counted.deleted++;
            } else {
                PutBatchText(ATTRIB, sizeof ATTRIB - 1, out, &total);
                PutBatchName(line + 2, n - 2, out, &total);
                PutBatchText(RMDIR, sizeof RMDIR - 1, out, &total);
                PutBatchName(line + 2, n - 2, out, &total);
                counted.deleted++;
            }
        }
        // The next line starts after CR LF, or after a CR or LF standing alone.
        if (end < length && t[end] == '\r' && end + 1 < length && t[end + 1] == '\n')
            position = end + 2;
        else
            position = end + 1;
    }
    *size = total;
    if (counts) *counts = counted;
    LocalFree(kept);
    return 0;
}

// ---- writing a new file ----

// WriteNewFile's results: written, or where it failed.
#define NEW_FILE_WRITTEN 0
#define NEW_FILE_EXISTS ((int)0x80000001)      // something of that name appeared meanwhile
#define NEW_FILE_NOT_CREATED ((int)0x80000002) // the file cannot be created
#define NEW_FILE_NOT_WRITTEN ((int)0x80000003) // a write or the close failed; the file was deleted
#define NEW_FILE_PARTIAL_LEFT ((int)0x80000004) // … and the partial file could not be deleted

// Creates `path` only when nothing has that name, also if something appeared since the caller
// looked (an existing file is never overwritten), and writes `size` bytes: with each line feed
// as CR LF (`text`), or as they are. A write or close that fails deletes the partial file again.
static int WriteNewFile(const char *path, const char *bytes, size_t size, bool text) {
    TextFile file;
    if (CreateTextFile(&file, path) < 0) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NEW_FILE_EXISTS : NEW_FILE_NOT_CREATED;
    }
    int written = text ? WriteText(&file, bytes) : WriteBytes(&file, bytes, size);
    int closed = CloseTextFile(&file);
    if (written >= 0 && closed >= 0) return NEW_FILE_WRITTEN;
    return DeleteFileA(path) ? NEW_FILE_NOT_WRITTEN : NEW_FILE_PARTIAL_LEFT;
}

// ---- writing the batch file ----

int WriteDeleteBatch(HWND owner, const char *text) {
    size_t length = strlen(text), size = 0;
    BatchCounts counts = {0, 0};
    int composed = ComposeDeleteBatch(text, length, nullptr, &size, &counts);
    if (composed < 0) {
        ShowWarningBox(owner, "%s", composed == (int)0x80000001 ? MSG_BATCH_NOT_FULL_PATH : MSG_BATCH_CANNOT_WRITE);
        return 0;
    }
    char path[MAX_PATH + 16];
    memset(path, 0, sizeof path);
    if (GetSpecialFolderPath(CSIDL_DESKTOP, path) < 0 || path[0] == '\0') {
        // Without the desktop's path there is no place for the file.
        ShowWarningBox(owner, "%s", MSG_BATCH_CANNOT_OPEN);
        return 0;
    }
    if (strlen(path) + 20 > MAX_PATH) {
        ShowWarningBox(owner, "%s", MSG_BATCH_PATH_TOO_LONG);
        return 0;
    }
    strcat(path, "\\DelDest.bat");
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        ShowWarningBox(owner, "%s", MSG_BATCH_EXISTS);
        return 0;
    }
    // A source that was empty, or a drive that is not there, offers a whole backup: asked once,
    // and only "はい" goes on (Enter, Space and Escape do not).
    if (g_missingWholeFolder[0] && ShowConfirmationBox(owner, MSG_BATCH_DELETES_WHOLE_FOLDER, g_missingWholeFolder) != IDYES)
        return 0;
    char *batch = (char *)LocalAlloc(LMEM_FIXED, size + 1);
    if (!batch || ComposeDeleteBatch(text, length, batch, &size, nullptr) < 0) {
        if (batch) LocalFree(batch);
        ShowWarningBox(owner, "%s", MSG_BATCH_CANNOT_WRITE);
        return 0;
    }
    batch[size] = '\0';
    int written = WriteNewFile(path, batch, size, true);
    LocalFree(batch);
    // A cut last line such as del   "E:\BAK\Data would delete a whole folder's files: the
    // partial file does not stay.
    static const char *const WARNINGS[] = {nullptr, MSG_BATCH_EXISTS, MSG_BATCH_CANNOT_OPEN, MSG_BATCH_CANNOT_WRITE,
                                           MSG_BATCH_PARTIAL_LEFT};
    if (written != NEW_FILE_WRITTEN) {
        ShowWarningBox(owner, "%s", WARNINGS[written & 0xF]);
        return 0;
    }
    // Where it went and what it deletes; the entries left out are the user's to delete.
    char deleted[16], leftOut[16], message[sizeof MSG_BATCH_WRITTEN + sizeof MSG_BATCH_WRITTEN_LEFT_OUT];
    FormatCount(counts.deleted, deleted);
    FormatCount(counts.leftOut, leftOut);
    strcpy(message, MSG_BATCH_WRITTEN);
    if (counts.leftOut > 0) strcat(message, MSG_BATCH_WRITTEN_LEFT_OUT);
    ShowInformationBox(owner, message, deleted, leftOut);
    return 1;
}

int MakeBatchFromList(HWND viewer) { return WriteDeleteBatch(viewer, MissingListText()); }

// ---- saving a viewer's document ----

const char MSG_SAVED[] = "デスクトップに保存しました。\n%s";
const char MSG_SAVE_EXISTS[] = "同名のファイルが存在します。";
const char MSG_SAVE_FAILED[] = "ファイルを保存できません。";
const char MSG_SAVE_PARTIAL_LEFT[] = "ファイルを保存できません。\n書きかけの%sがデスクトップに残っています。削除してください。";

bool DesktopFilePath(const char *name, char *path) {
    memset(path, 0, MAX_PATH);
    if (GetSpecialFolderPath(CSIDL_DESKTOP, path) < 0 || path[0] == '\0' || strlen(path) + 1 + strlen(name) >= MAX_PATH)
        return false;
    strcat(path, "\\");
    strcat(path, name);
    return true;
}

void ComposeSavedName(ViewerKind kind, const SYSTEMTIME &time, char *name, size_t size) {
    snprintf(name, size, "%s-%04u%02u%02u-%02u%02u%02u.rtf", kind == VIEWER_LOG ? "KestrelLog" : "KestrelMissing",
             (unsigned)time.wYear, (unsigned)time.wMonth, (unsigned)time.wDay, (unsigned)time.wHour,
             (unsigned)time.wMinute, (unsigned)time.wSecond);
}

int SaveViewerDocument(HWND owner, ViewerKind kind) {
    LogDocument *document = kind == VIEWER_LOG ? &g_copyLog : &g_missingList;
    char name[64], path[MAX_PATH];
    ComposeSavedName(kind, RunStartTime(), name, sizeof name);
    if (!DesktopFilePath(name, path)) {
        ShowWarningBox(owner, "%s", MSG_SAVE_FAILED);
        return 0;
    }
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        ShowWarningBox(owner, "%s", MSG_SAVE_EXISTS);
        return 0;
    }
    // The viewer closed the document with its brace when it showed it; a document not shown yet
    // is closed here, so the file is always a whole RTF document.
    CloseRtfDocument(document);
    int written = WriteNewFile(path, document->text, document->length, false);
    if (written == NEW_FILE_EXISTS)
        ShowWarningBox(owner, "%s", MSG_SAVE_EXISTS);
    else if (written == NEW_FILE_PARTIAL_LEFT)
        ShowWarningBox(owner, MSG_SAVE_PARTIAL_LEFT, name);
    else if (written != NEW_FILE_WRITTEN)
        ShowWarningBox(owner, "%s", MSG_SAVE_FAILED);
    else
        ShowInformationBox(owner, MSG_SAVED, name);
    return written == NEW_FILE_WRITTEN ? 1 : 0;
}

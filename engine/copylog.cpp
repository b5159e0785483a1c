// The log and missing-files documents: prologue, level filter, reserve, composition, RTF escaping.
#include "copylog.h"
#include "copyjob.h"
#include "filesystem.h"
#include "patterns.h"
#include <string.h>

// Both documents live as long as the process; before the first reset their text is empty.
static char s_logText[LOG_DOCUMENT_CAPACITY];
static char s_missingText[MISSING_DOCUMENT_CAPACITY];
LogDocument g_copyLog = {s_logText, LOG_DOCUMENT_CAPACITY, 0, 0};
LogDocument g_missingList = {s_missingText, MISSING_DOCUMENT_CAPACITY, 0, 0};
std::atomic<DWORD> g_runConf{CONF_DEFAULT};

// ---- prologue ----

// One font, "ＭＳ ゴシック", written as hexadecimal escapes of its code page 932 bytes.
static const char PROLOGUE_HEAD[] =
    "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1033\\deflangfe1041{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset128 "
    "\\'82\\'6c\\'82\\'72 \\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}}\n"
    "{\\colortbl ;";
static const char PROLOGUE_TAIL[] = "}\n\\viewkind4\\uc1\\pard\\cf0\\lang1041\\f0\\fs18 ";

// Appends the decimal digits of `value` at `out`; returns the position after them.
static char *PutDecimal(char *out, unsigned value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

static char *PutText(char *out, const char *text, size_t n) {
    memcpy(out, text, n);
    return out + n;
}

// The prologue is built once into this area (about 1.7 KB) and copied by every reset.
static char s_prologue[2048];

static DWORD BuildPrologue() {
    static const unsigned LEVELS[4] = {0, 128, 192, 255};
    char *out = s_prologue;
    out = PutText(out, PROLOGUE_HEAD, sizeof PROLOGUE_HEAD - 1);
    // Index 0 is the empty entry before the first ';' (the automatic colour); 1 to 63 follow.
    for (unsigned i = 1; i <= 63; i++) {
        out = PutText(out, "\\red", 4);
        out = PutDecimal(out, LEVELS[(i >> 4) & 3]);
        out = PutText(out, "\\green", 6);
        out = PutDecimal(out, LEVELS[(i >> 2) & 3]);
        out = PutText(out, "\\blue", 5);
        out = PutDecimal(out, LEVELS[i & 3]);
        *out++ = ';';
    }
    out = PutText(out, PROLOGUE_TAIL, sizeof PROLOGUE_TAIL - 1);
    *out = '\0';
    return (DWORD)(out - s_prologue);
}
static void ResetDocument(LogDocument *doc) {
    // Built on the first reset, whenever that comes (even during another file's start-up).
    static const DWORD prologueLength = BuildPrologue();
    memcpy(doc->text, s_prologue, prologueLength + 1);
    doc->length = prologueLength;
    doc->full = 0;
}

// The log document's reserve is full: its errors and warnings are lost too until the next reset.
static bool s_reserveFull;

void ResetCopyLog() {
    ResetDocument(&g_copyLog);
    s_reserveFull = false;
    ResetRunCounts();
}
char g_missingWholeFolder[2 * MAX_PATH];

// The missing-files document's lines as composed ("F path\r\n"…), without RTF; each is shorter
// than its form in the document, so they always fit.
static char s_missingLines[MISSING_DOCUMENT_CAPACITY];
static size_t s_missingLinesLength;

void ResetMissingList() {
    ResetDocument(&g_missingList);
    s_missingLines[0] = '\0';
    s_missingLinesLength = 0;
    g_missingWholeFolder[0] = '\0';
}

void NoteFolderOfferedWhole(const char *path) {
    // A path the check can look at has at most MAX_PATH - 1 UTF-16 units, two bytes each at most.
    size_t length = strlen(path);
    if (g_missingWholeFolder[0] || g_missingList.full || length >= sizeof g_missingWholeFolder) return;
    memcpy(g_missingWholeFolder, path, length + 1);
}

// ---- escaping ----

// Byte classes for escaping: a byte that needs nothing, a lead byte, a single-byte backslash or
// brace, a single-byte line feed.
enum { ESC_PLAIN, ESC_LEAD, ESC_BRACE, ESC_LINE, ESC_UNIT };
struct EscapeTable {
    unsigned char cls[256];
    constexpr EscapeTable() : cls() {
        for (int b = 0; b < 256; b++) cls[b] = IsLeadByteValue((unsigned char)b) ? ESC_LEAD : ESC_PLAIN;
        cls[0x5C] = cls[0x7B] = cls[0x7D] = ESC_BRACE;
        cls[0x0A] = ESC_LINE;
        cls[(unsigned char)SHOWN_UNIT] = ESC_UNIT;
    }
};
static constexpr EscapeTable s_escape;

static inline bool IsBraceValue(unsigned char b) { return b == 0x5C || b == 0x7B || b == 0x7D; }

// The length of the escape "\\u" N "?" of a unit after the SHOWN_UNIT at t[i] (n bytes in all),
// or 0 when none stands there: a stray SHOWN_UNIT is written as "\\'01".
static size_t UnitEscape(const unsigned char *t, size_t i, size_t n) {
    size_t j = i + 1;
    if (j + 1 >= n || t[j] != '\\' || t[j + 1] != 'u') return 0;
    j += 2;
    if (j < n && t[j] == '-') j++;
    size_t digits = j;
    while (j < n && j - digits < 5 && t[j] >= '0' && t[j] <= '9') j++;
    if (j == digits || j >= n || t[j] != '?') return 0;
    return j - i;
}

// The size of `t` (n bytes) once escaped, its terminator not included.
static size_t EscapedSize(const unsigned char *t, size_t n) {
    size_t size = n;
    for (size_t i = 0; i < n; i++) {
        switch (s_escape.cls[t[i]]) {
        case ESC_PLAIN: break;
        case ESC_LEAD:
            if (i + 1 < n && IsBraceValue(t[i + 1])) size += 3; // "\'5c" for one byte
            i++;
            break;
        case ESC_BRACE: size += 1; break;
        case ESC_LINE: size += 4; break;
        case ESC_UNIT: {
            size_t escape = UnitEscape(t, i, n);
            if (escape == 0) {
                size += 3;
            } else {
                size -= 1;
                i += escape;
            }
            break;
        }
        }
    }
    return size;
}

// Writes `t` (n bytes) escaped, and its terminator; returns the position of the terminator.
static char *PutEscaped(char *out, const unsigned char *t, size_t n) {
    for (size_t i = 0; i < n; i++) {
        unsigned char b = t[i];
        switch (s_escape.cls[b]) {
        case ESC_PLAIN:
            *out++ = (char)b;
            break;
        case ESC_LEAD:
            *out++ = (char)b;
            if (++i == n) break; // a lead byte at the end stands alone
            b = t[i];
            if (IsBraceValue(b))
                out = PutText(out, b == 0x5C ? "\\'5c" : b == 0x7B ? "\\'7b" : "\\'7d", 4);
            else
                *out++ = (char)b;
            break;
        case ESC_BRACE:
            *out++ = '\\';
            *out++ = (char)b;
            break;
        case ESC_LINE:
            out = PutText(out, "\\par\n", 5);
            break;
        case ESC_UNIT: {
            size_t escape = UnitEscape(t, i, n);
            out = escape ? PutText(out, (const char *)t + i + 1, escape) : PutText(out, "\\'01", 4);
            i += escape;
            break;
        }
        }
    }
    *out = '\0';
    return out;
}

// Appends `text` (n bytes) at `end` (where m bytes of text already stand); returns the number of
// bytes now after `end` (m included), or 0 when the record does not fit.
static size_t AppendEscaped(char *end, size_t m, DWORD room, const char *text, size_t n, int colour) {
    // The system's room test: twice the text and 17 bytes for the colour word and the ends.
    if ((unsigned long long)m + 2ull * n + 17ull > room) return 0;
    char colourWord[16];
    char *cw = PutText(colourWord, "\\cf", 3);
    cw = PutDecimal(cw, (unsigned)colour);
    *cw++ = ' ';
    size_t colourLength = (size_t)(cw - colourWord);
    // A text full of line feeds or escaped trail bytes grows more than twice: the escaped text,
    // its terminating zero and the closing brace that the viewer appends later must still fit.
    // No byte grows more than fivefold, so far from the end of the document one pass does.
    size_t fixed = m + colourLength + 1 + 1;
    if ((unsigned long long)fixed + 5ull * n > room &&
        (unsigned long long)fixed + EscapedSize((const unsigned char *)text, n) > room)
        return 0;
    char *out = PutText(end + m, colourWord, colourLength);
    out = PutEscaped(out, (const unsigned char *)text, n);
    return (size_t)(out - end);
}

int AppendRtfRecord(char *end, DWORD room, const char *text, int colour) {
    return AppendEscaped(end, strlen(end), room, text, strlen(text), colour) != 0 ? 1 : 0;
}

// ---- composition ----

// Copies `piece` into the work area at `out`, stopping at `limit`; a double-byte character or a
// unit's escape that does not fit whole is left out. Returns the position after what was copied.
static char *PutPiece(char *out, char *limit, const char *piece) {
    bool trail = false;
    for (const unsigned char *p = (const unsigned char *)piece; *p != 0; p++) {
        // The piece is terminated: the escape's scan stops at its zero at the latest.
        size_t escape = *p == (unsigned char)SHOWN_UNIT ? UnitEscape(p, 0, (size_t)-1) : 0;
        if (escape) {
            if (out + escape + 1 > limit) return out;
            out = PutText(out, (const char *)p, escape + 1);
            p += escape;
            continue;
        }
        if (trail) {
            trail = false;
        } else if (IsLeadByteValue(*p)) {
            // Both bytes or none; a lead byte at the end of the text stands alone.
            if (p[1] != 0 && out + 2 > limit) return out;
            if (p[1] != 0) trail = true;
        }
        if (out >= limit) return out;
        *out++ = (char)*p;
    }
    return out;
}

// Composes "<mark>name<separator>message\r\n" in `area` (LOG_WORK_AREA bytes) or, when it is
// longer, whole in a buffer of its own (*line; the caller frees it when it is not `area`). Only
// when that cannot be had is the line cut before its "\r\n", at a character boundary. Returns
// the line's length.
static size_t ComposeLine(char *area, char **line, const char *mark, const char *name, const char *separator,
                          const char *message) {
    if (name == nullptr) name = "";
    if (message == nullptr) message = "";
    size_t lengths[4] = {strlen(mark), strlen(name), strlen(separator), strlen(message)};
    size_t whole = lengths[0] + lengths[1] + lengths[2] + lengths[3] + 3;
    char *own = whole > LOG_WORK_AREA ? (char *)LocalAlloc(LMEM_FIXED, whole) : nullptr;
    if (own) area = own;
    *line = area;
    char *out;
    if (whole <= LOG_WORK_AREA || own) {
        out = PutText(area, mark, lengths[0]);
        out = PutText(out, name, lengths[1]);
        out = PutText(out, separator, lengths[2]);
        out = PutText(out, message, lengths[3]);
    } else {
        char *limit = area + LOG_WORK_AREA - 3; // room for "\r\n" and the zero
        out = PutPiece(area, limit, mark);
        out = PutPiece(out, limit, name);
        out = PutPiece(out, limit, separator);
        out = PutPiece(out, limit, message);
    }
    out[0] = '\r';
    out[1] = '\n';
    out[2] = '\0';
    return (size_t)(out + 2 - area);
}

// Appends a composed line when it fits in the document's first `limit` bytes; otherwise sets the
// full flag. True when appended.
static bool AppendToDocument(LogDocument *doc, DWORD limit, const char *line, size_t n, int colour) {
    size_t added =
        doc->length < limit ? AppendEscaped(doc->text + doc->length, 0, limit - doc->length, line, n, colour) : 0;
    if (added == 0) {
        doc->full = 1;
        return false;
    }
    doc->length += (DWORD)added;
    return true;
}

// Writes one record when the run's CONF keeps its level and it fits; counts nothing.
static void WriteLogRecord(const char *name, const char *message, unsigned level) {
    bool ordinary = level < LOG_LEVEL_ERROR;
    if (ordinary ? g_copyLog.full != 0 : s_reserveFull) return;
    DWORD conf = g_runConf.load(std::memory_order_relaxed);
    const char *mark;
    int colour;
    switch (level) {
    case LOG_LEVEL_NOT_COPIED:
        if ((conf & CONF_LOG_NOT_COPIED) == 0) return;
        mark = "  ";
        colour = LOG_COLOUR_DEFAULT;
        break;
    case LOG_LEVEL_DONE:
        if ((conf & CONF_LOG_NO_DONE) != 0) return;
        mark = "O ";
        colour = LOG_COLOUR_BLUE;
        break;
    case LOG_LEVEL_ERROR:
        mark = "X ";
        colour = LOG_COLOUR_RED;
        break;
    case LOG_LEVEL_WARNING:
        mark = "! ";
        colour = LOG_COLOUR_OLIVE;
        break;
    default:
        return;
    }
    char area[LOG_WORK_AREA], *line;
    size_t n = ComposeLine(area, &line, mark, name, " ", message);
    DWORD limit = g_copyLog.capacity - (ordinary ? LOG_RESERVE : LOG_SUMMARY_ROOM);
    if (!AppendToDocument(&g_copyLog, limit, line, n, colour) && !ordinary) s_reserveFull = true;
    if (line != area) LocalFree(line);
}

void CopyLogRecord(const char *name, const char *message, unsigned level) {
    CountLogRecord(level, message);
    WriteLogRecord(name, message, level);
}

void CopyLogNote(const char *message, unsigned level) { WriteLogRecord("> >", message, level); }

void CopyLogSummary(bool trial) {
    char message[512];
    FormatRunSummary(message, sizeof message, CurrentRunCounts(), SecondsSinceRunStart(), trial);
    char area[LOG_WORK_AREA], *line;
    size_t n = ComposeLine(area, &line, "! ", "> >", " ", message);
    AppendToDocument(&g_copyLog, g_copyLog.capacity, line, n, LOG_COLOUR_DEFAULT);
}

void MissingListLine(unsigned flag, const char *text) {
    if (g_missingList.full != 0) return;
    char area[LOG_WORK_AREA], *line;
    size_t n = ComposeLine(area, &line, "", text, "", "");
    // The lines themselves, beside the document: what the batch file is made of.
    if (AppendToDocument(&g_missingList, g_missingList.capacity, line, n, flag != 0 ? LOG_COLOUR_BLUE : LOG_COLOUR_DEFAULT) &&
        s_missingLinesLength + n < sizeof s_missingLines) {
        memcpy(s_missingLines + s_missingLinesLength, line, n + 1);
        s_missingLinesLength += n;
    }
    if (line != area) LocalFree(line);
}

const char *MissingListText() { return s_missingLines; }

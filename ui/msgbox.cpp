// The message box's entry points and its layout arithmetic: measuring and segmenting the text,
// the client size, the placement on the work area, the button row and the button and icon tables.
#include "msgbox.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

const char MESSAGE_FONT_FACE[] = "ＭＳゴッシク";
bool (*g_boxRecorder)(const char *text, UINT type) = nullptr;

static bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

int CopyMessageText(char *out, const char *text) {
    int n = 0;
    if (text) {
        // Copy whole characters only, so that a cut cannot leave a lead byte without its trail.
        while (text[n] && n < MESSAGE_TEXT_MAX) {
            if (IsLeadByte((unsigned char)text[n]) && text[n + 1]) {
                if (n + 2 > MESSAGE_TEXT_MAX) break;
                out[n] = text[n];
                out[n + 1] = text[n + 1];
                n += 2;
            } else {
                out[n] = text[n];
                n++;
            }
        }
    }
    out[n] = 0;
    return n;
}

// Formats into a 1024-byte area and shows the box. vsnprintf never writes past the area; the
// copy then cuts a text that did not fit at a character boundary.
static int FormatAndShow(HWND owner, const char *caption, UINT type, const char *format, va_list args) {
    char formatted[MESSAGE_TEXT_MAX + 2];
    int n = vsnprintf(formatted, sizeof formatted, format ? format : "", args);
    if (n < 0) formatted[0] = 0;
    char text[MESSAGE_TEXT_MAX + 1];
    CopyMessageText(text, formatted);
    if (g_boxRecorder && g_boxRecorder(text, type)) return IDOK;
    return ShowMessageBox(owner, text, caption, type);
}

int ShowErrorBox(HWND owner, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int r = FormatAndShow(owner, "Error", MB_OK | MB_ICONHAND, format, args);
    va_end(args);
    return r;
}

int ShowWarningBox(HWND owner, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int r = FormatAndShow(owner, "Warning", MB_OK | MB_ICONEXCLAMATION, format, args);
    va_end(args);
    return r;
}

int ShowInformationBox(HWND owner, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int r = FormatAndShow(owner, "Information", MB_OK | MB_ICONASTERISK, format, args);
    va_end(args);
    return r;
}

int ShowConfirmationBox(HWND owner, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int r = FormatAndShow(owner, "Warning", CONFIRMATION_BOX_TYPE, format, args);
    va_end(args);
    return r;
}

// ---- tables ----

static const MessageBoxButtonSet BUTTON_SETS[16] = {
    {1, {{"ＯＫ", IDOK}}},
    {2, {{"ＯＫ", IDOK}, {"ｷｬﾝｾﾙ", IDCANCEL}}},
    {3, {{"中止(&A)", IDABORT}, {"再試行(&R)", IDRETRY}, {"無視(&I)", IDIGNORE}}},
    {3, {{"はい(&Y)", IDYES}, {"いいえ(&N)", IDNO}, {"ｷｬﾝｾﾙ", IDCANCEL}}},
    {2, {{"はい(&Y)", IDYES}, {"いいえ(&N)", IDNO}}},
    {2, {{"再試行(&R)", IDRETRY}, {"ｷｬﾝｾﾙ", IDCANCEL}}},
};

const MessageBoxButtonSet &MessageBoxButtons(UINT type) { return BUTTON_SETS[type & 0x0F]; }

int MessageBoxDefaultButton(UINT type) {
    int index = (int)((type >> 8) & 0x0F);
    return index < MessageBoxButtons(type).count ? index : 0;
}

UINT MessageBoxIconValue(UINT type) {
    UINT icon = type & 0xF0;
    return (icon >= 0x10 && icon <= 0x40) ? icon : 0;
}

int MessageBoxSystemIcon(UINT type) {
    static const int SYSTEM_ICONS[] = {32513, 32514, 32515, 32516}; // IDI_HAND … IDI_ASTERISK
    UINT icon = MessageBoxIconValue(type);
    return icon ? SYSTEM_ICONS[(icon >> 4) - 1] : 0;
}

// ---- text ----

static int NextTabStop(int column) { return column - column % 4 + 4; }

MessageTextSize MeasureMessageText(const char *text) {
    const unsigned char *p = (const unsigned char *)(text ? text : "");
    int column = 0, widest = 0, line = 0;
    while (*p) {
        unsigned char c = *p;
        if (IsLeadByte(c)) {
            // The trail byte is a character half, whatever its value; a lead byte just before the
            // terminator has no trail and counts alone.
            if (p[1]) {
                column += 2;
                p += 2;
            } else {
                column += 1;
                p += 1;
            }
            continue;
        }
        if (c == '\n') {
            if (column > widest) widest = column;
            column = 0;
            line++;
        } else if (c == '\t') {
            column = NextTabStop(column);
        } else {
            column++;
        }
        p++;
    }
    if (column > widest) widest = column;
    MessageTextSize size = {widest, line + 1};
    return size;
}

bool NextMessageTextSegment(MessageTextWalk &walk, MessageTextSegment &segment) {
    if (!walk.text) return false;
    const unsigned char *t = (const unsigned char *)walk.text;
    for (;;) {
        if (!t[walk.position]) return false;
        int start = walk.position, startColumn = walk.column, p = start, column = startColumn;
        while (t[p] && t[p] != '\n' && t[p] != '\t') {
            if (IsLeadByte(t[p]) && t[p + 1]) {
                p += 2;
                column += 2;
            } else {
                p++;
                column++;
            }
        }
        segment.start = walk.text + start;
        segment.length = p - start;
        segment.column = startColumn;
        segment.line = walk.line;
        // Step over the byte that ended the segment.
        if (t[p] == '\n') {
            walk.line++;
            walk.column = 0;
            p++;
        } else if (t[p] == '\t') {
            walk.column = NextTabStop(column);
            p++;
        } else {
            walk.column = column;
        }
        walk.position = p;
        if (segment.length > 0) return true;
    }
}

// ---- sizes and places ----

static int Max(int a, int b) { return a > b ? a : b; }
static int Min(int a, int b) { return a < b ? a : b; }

MessageBoxClient MessageBoxClientSize(UINT type, int charWidth, int charHeight, const MessageTextSize &text) {
    MessageBoxClient c;
    c.textLeft = MessageBoxIconValue(type) ? 62 : 20;
    c.textTop = 10;
    c.buttonCount = MessageBoxButtons(type).count;
    c.width = Max(c.textLeft + charWidth * text.columns + 10, c.buttonCount * (9 * charWidth + 30) + 10);
    c.height = Max(charHeight * text.lines + 20, 52);
    if (c.buttonCount > 0) c.height += charHeight + 20;
    return c;
}

void CutToWorkArea(int &width, int &height, const ScreenRect &work) {
    width = Min(width, RectWidth(work));
    height = Min(height, RectHeight(work));
}

ScreenPoint PlaceMessageBox(MessageBoxOwnerState state, const ScreenRect &owner, ScreenPoint cursor,
                            const ScreenRect &work, int width, int height) {
    ScreenPoint p;
    if (state == OWNER_MINIMISED) {
        p.x = cursor.x - 30;
        p.y = cursor.y - 30;
    } else {
        const ScreenRect &ref = state == OWNER_SHOWN ? owner : work;
        // C++ division truncates toward zero, as the placement wants for odd and negative halves.
        p.x = ref.left + (RectWidth(ref) - width) / 2;
        p.y = ref.top + (RectHeight(ref) - height) / 2;
    }
    p.x = Max(work.left, Min(p.x, work.right - width));
    p.y = Max(work.top, Min(p.y, work.bottom - height));
    return p;
}

void LayoutMessageBoxButtons(int clientWidth, int clientHeight, int charWidth, int charHeight, int count,
                             ScreenRect *buttons) {
    int width = 9 * charWidth + 20, height = charHeight + 10, pitch = 9 * charWidth + 30;
    int x0 = (clientWidth - count * pitch + 10) / 2;
    int top = clientHeight - charHeight - 20;
    for (int i = 0; i < count; i++) {
        buttons[i].left = x0 + i * pitch;
        buttons[i].top = top;
        buttons[i].right = buttons[i].left + width;
        buttons[i].bottom = top + height;
    }
}

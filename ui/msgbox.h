// KESTREL's own message box: the entry points every user message goes through, and the
// box's layout arithmetic (text measuring, sizes, placement, buttons, icons), which runs on every
// platform without windows.
#pragma once
#include <windows.h>
#include "placement.h"

// ---- entry points ----

// Records the module instance the boxes are created with; called once at start, before any box.
void SetMessageBoxInstance(HINSTANCE instance);

// Format printf-style into a 1024-byte text (a longer result is cut at 1023 bytes, never in the
// middle of a double-byte character), show it with caption "Error" / "Warning" / "Information"
// and the OK button with the hand / exclamation / asterisk icon, and return ShowMessageBox's
// result. `owner` is the window the box is modal to, or null.
int ShowErrorBox(HWND owner, const char *format, ...) __attribute__((format(printf, 2, 3)));
int ShowWarningBox(HWND owner, const char *format, ...) __attribute__((format(printf, 2, 3)));
int ShowInformationBox(HWND owner, const char *format, ...) __attribute__((format(printf, 2, 3)));
// A question before something that cannot be undone: caption "Warning", the exclamation icon,
// the buttons "はい(&Y)" and "いいえ(&N)", and the focus on "いいえ(&N)" (MB_DEFBUTTON2), so that
// Enter and Space mean no. Returns the button pressed: IDYES (6) only for "はい"; IDNO (7), 2
// when the box ended otherwise (Escape), or −1 when it cannot be created.
int ShowConfirmationBox(HWND owner, const char *format, ...) __attribute__((format(printf, 2, 3)));
#define CONFIRMATION_BOX_TYPE (MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2)

// When set, the three entry points hand the formatted text and the type word here instead of
// showing a box, and return IDOK when it takes them (returns true): a /run start, where nobody is
// there to close a box, makes them records of its log.
extern bool (*g_boxRecorder)(const char *text, UINT type);

// Shows the box modally on the calling thread and returns the identifier of the command that
// ended it (IDOK … IDNO, 1–7), 2 when it ended without one, or −1 when the box cannot be created
// (the last-error code is the platform's). The text is at most 1023 bytes: a longer one is cut.
// On the host build the box is recorded instead (ui/msgbox_record.h).
int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type);

// ---- layout arithmetic ----

// The longest text a box holds, without its terminator.
const int MESSAGE_TEXT_MAX = 1023;

// Copies `text` into `out` (MESSAGE_TEXT_MAX + 1 bytes), cut to at most MESSAGE_TEXT_MAX bytes;
// a cut never leaves a lead byte without its trail byte. Returns the length copied.
int CopyMessageText(char *out, const char *text);

// The font the box measures and draws in.
const int MESSAGE_FONT_HEIGHT = 12;
const int MESSAGE_FONT_WIDTH = 6;
extern const char MESSAGE_FONT_FACE[]; // "ＭＳゴッシク"

struct MessageBoxButton {
    const char *caption; // Shift-JIS, at most 15 bytes
    int id;              // command identifier and result
};

// The buttons of a type word (bits 0–3), left to right; count 0 for codes 6–15.
struct MessageBoxButtonSet {
    int count;
    MessageBoxButton buttons[3];
};
const MessageBoxButtonSet &MessageBoxButtons(UINT type);
// The button that starts with the focus, from 0: bits 8–11 of the type word (MB_DEFBUTTON2 is
// the second button); 0 when the set has no such button.
int MessageBoxDefaultButton(UINT type);

// The icon value of a type word (0x10, 0x20, 0x30 or 0x40; 0 when the box has no icon), the system
// icon it draws (IDI_HAND 32513 … IDI_ASTERISK 32516, 0 for none); the icon value is also the
// MessageBeep sound.
UINT MessageBoxIconValue(UINT type);
int MessageBoxSystemIcon(UINT type);

// Columns of the widest line and number of lines: a double-byte character is two columns, a tab
// moves to the next multiple of 4, a newline ends a line, every other byte is one column. A trail
// byte is never a newline or tab; a lead byte just before the terminator is one column.
struct MessageTextSize {
    int columns;
    int lines;
};
MessageTextSize MeasureMessageText(const char *text);

// One run of text drawn by one TextOutA: `length` bytes from `start`, at `column` of `line`.
struct MessageTextSegment {
    const char *start;
    int length;
    int column;
    int line;
};
// Walks the text segment by segment (segments end at a newline, a tab or the end; empty ones are
// skipped). Start with a zeroed walk holding the text; false when no segment is left.
struct MessageTextWalk {
    const char *text;
    int position;
    int column;
    int line;
};
bool NextMessageTextSegment(MessageTextWalk &walk, MessageTextSegment &segment);

// The client area of a box and where its text starts.
struct MessageBoxClient {
    int width;
    int height;
    int textLeft;    // 62 with an icon, else 20
    int textTop;     // 10
    int buttonCount; // from the button set
};
MessageBoxClient MessageBoxClientSize(UINT type, int charWidth, int charHeight, const MessageTextSize &text);

// How the box relates to its owner when it is placed.
enum MessageBoxOwnerState {
    OWNER_ABSENT,    // no owner, or an owner that is not visible: centred on the work area
    OWNER_MINIMISED, // 30 pixels left of and above the cursor
    OWNER_SHOWN,     // centred on the owner's window rectangle
};

// The window's size cut to the work area.
void CutToWorkArea(int &width, int &height, const ScreenRect &work);

// The top-left corner of a box of the given window size, kept on the work area.
ScreenPoint PlaceMessageBox(MessageBoxOwnerState state, const ScreenRect &owner, ScreenPoint cursor,
                            const ScreenRect &work, int width, int height);

// The button row in a client area of the given size: `count` rectangles (client coordinates),
// centred, 10 pixels above the bottom.
void LayoutMessageBoxButtons(int clientWidth, int clientHeight, int charWidth, int charHeight, int count,
                             ScreenRect *buttons);

// The message box's arithmetic (measuring, segments, sizes, placement, buttons, tables) and the
// host build's recorded boxes.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <thread>
#include "msgbox.h"
#ifdef KESTREL_SIM
#include "msgbox_record.h"
#endif

static MessageTextSize Measure(const char *text) { return MeasureMessageText(text); }

#define EXPECT_MEASURE(text, cols, lns)          \
    do {                                         \
        SCOPED_TRACE(text);                      \
        MessageTextSize s_ = Measure(text);      \
        EXPECT_EQ(cols, s_.columns) << "columns"; \
        EXPECT_EQ(lns, s_.lines) << "lines";     \
    } while (0)

TEST(MessageText, EmptyTextIsOneEmptyLine) {
    EXPECT_MEASURE("", 0, 1);
    EXPECT_MEASURE(nullptr, 0, 1);
}

TEST(MessageText, TabsMoveToTheNextMultipleOfFour) {
    EXPECT_MEASURE("A\tB", 5, 1);
    EXPECT_MEASURE("ABCD\tE", 9, 1);
    EXPECT_MEASURE("\t", 4, 1);
    EXPECT_MEASURE("ABC\t", 4, 1);
    EXPECT_MEASURE("\t\t", 8, 1);
    EXPECT_MEASURE("漢\tX", 5, 1); // two columns, then the tab goes to 4
}

TEST(MessageText, LinesAndTheWidestLine) {
    EXPECT_MEASURE("abc\nabcdef\nab", 6, 3);
    EXPECT_MEASURE("abc\n", 3, 2); // a final newline gives an empty last line
    EXPECT_MEASURE("\n", 0, 2);
    EXPECT_MEASURE("a\r\nb", 2, 2); // a carriage return is an ordinary column
}

TEST(MessageText, DoubleByteCharactersAreTwoColumnsAndTrailBytesNeverControl) {
    EXPECT_MEASURE("コピー", 6, 1);
    // Lead bytes 0x81 and 0xE0 with trail bytes 0x0A and 0x09 (not valid Shift-JIS, but the walk
    // must still take them as character halves, never as a newline or a tab).
    EXPECT_MEASURE("\x81\x0A\x81\x09", 4, 1);
    EXPECT_MEASURE("\xE0\x0A" "A", 3, 1);
    EXPECT_MEASURE("\x81\x5C\n\x9F\x40", 2, 2); // ソ-like trail 0x5C is just a column
    // A lead byte just before the terminator counts alone and the walk stops there.
    EXPECT_MEASURE("AB\x81", 3, 1);
    // Half-width katakana are single-byte.
    EXPECT_MEASURE("ｷｬﾝｾﾙ", 5, 1);
}

static std::string Segments(const char *text) {
    MessageTextWalk walk = {text, 0, 0, 0};
    MessageTextSegment s;
    std::string out;
    while (NextMessageTextSegment(walk, s)) {
        out += std::string(s.start, s.length) + "@" + std::to_string(s.column) + "," + std::to_string(s.line) + ";";
    }
    return out;
}

TEST(MessageText, SegmentsStartAtTheirColumnAndLine) {
    EXPECT_EQ("", Segments(""));
    EXPECT_EQ("A@0,0;B@4,0;", Segments("A\tB"));
    EXPECT_EQ("ABCD@0,0;E@8,0;", Segments("ABCD\tE"));
    EXPECT_EQ("one@0,0;two@0,1;x@4,2;", Segments("one\ntwo\n\tx"));
    EXPECT_EQ("a\r@0,0;b@0,1;", Segments("a\r\nb"));
    EXPECT_EQ("漢字@0,0;X@8,0;", Segments("漢字\tX")); // four columns: the tab goes to 8
    EXPECT_EQ("漢@0,0;X@4,0;", Segments("漢\tX"));
    EXPECT_EQ("\x81\x0A\x81\x09Z@0,0;", Segments("\x81\x0A\x81\x09Z"));
    EXPECT_EQ("AB\x81@0,0;", Segments("AB\x81"));
}

TEST(MessageBoxTables, ButtonSets) {
    struct {
        UINT type;
        const char *captions;
        int ids[3];
    } cases[] = {
        {MB_OK, "ＯＫ|", {1}},
        {MB_OKCANCEL, "ＯＫ|ｷｬﾝｾﾙ|", {1, 2}},
        {MB_ABORTRETRYIGNORE, "中止(&A)|再試行(&R)|無視(&I)|", {3, 4, 5}},
        {MB_YESNOCANCEL, "はい(&Y)|いいえ(&N)|ｷｬﾝｾﾙ|", {6, 7, 2}},
        {MB_YESNO, "はい(&Y)|いいえ(&N)|", {6, 7}},
        {MB_RETRYCANCEL, "再試行(&R)|ｷｬﾝｾﾙ|", {4, 2}},
    };
    for (auto &c : cases) {
        const MessageBoxButtonSet &set = MessageBoxButtons(c.type | MB_ICONHAND | 0x12300);
        std::string captions;
        for (int i = 0; i < set.count; i++) {
            captions += std::string(set.buttons[i].caption) + "|";
            EXPECT_EQ(c.ids[i], set.buttons[i].id) << c.type << " button " << i;
            EXPECT_LE(strlen(set.buttons[i].caption), 15u);
        }
        EXPECT_EQ(c.captions, captions) << c.type;
    }
    EXPECT_EQ(std::string("\x82\x6E\x82\x6A"), MessageBoxButtons(MB_OK).buttons[0].caption); // full-width ＯＫ
    EXPECT_EQ(std::string("\xB7\xAC\xDD\xBE\xD9"), MessageBoxButtons(MB_OKCANCEL).buttons[1].caption);
    for (UINT code = 6; code < 16; code++) EXPECT_EQ(0, MessageBoxButtons(code).count) << code;
}

// The button that starts with the focus: bits 8–11 of the type word, the first when the set has
// no such button.
TEST(MessageBoxTables, DefaultButton) {
    const UINT types[] = {MB_YESNO, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2, MB_YESNOCANCEL | MB_DEFBUTTON3,
                          MB_YESNO | MB_DEFBUTTON3, MB_OK | MB_DEFBUTTON2, 6 | MB_DEFBUTTON2};
    const int expected[] = {0, 1, 2, 0, 0, 0};
    for (int i = 0; i < 6; i++) EXPECT_EQ(expected[i], MessageBoxDefaultButton(types[i])) << i;
}

TEST(MessageBoxTables, Icons) {
    EXPECT_EQ(0x10u, MessageBoxIconValue(MB_ICONHAND | MB_OKCANCEL));
    EXPECT_EQ(32513, MessageBoxSystemIcon(MB_ICONHAND));
    EXPECT_EQ(32514, MessageBoxSystemIcon(MB_ICONQUESTION));
    EXPECT_EQ(32515, MessageBoxSystemIcon(MB_ICONEXCLAMATION));
    EXPECT_EQ(32516, MessageBoxSystemIcon(MB_ICONASTERISK | 0x100));
    for (UINT icon : {0x00u, 0x50u, 0x80u, 0xF0u}) {
        EXPECT_EQ(0u, MessageBoxIconValue(icon)) << icon;
        EXPECT_EQ(0, MessageBoxSystemIcon(icon)) << icon;
    }
}

TEST(MessageBoxSize, EmptyMessageWithOneButton) {
    MessageBoxClient c = MessageBoxClientSize(MB_OK, 6, 12, Measure(""));
    EXPECT_EQ(94, c.width);
    EXPECT_EQ(84, c.height);
    EXPECT_EQ(20, c.textLeft);
    EXPECT_EQ(1, c.buttonCount);
}

TEST(MessageBoxSize, IconMovesTheTextAndWidensTheBox) {
    MessageTextSize text = Measure("0123456789012345678901234567890123456789"); // 40 columns
    MessageBoxClient plain = MessageBoxClientSize(MB_OK, 6, 12, text);
    MessageBoxClient icon = MessageBoxClientSize(MB_OK | MB_ICONEXCLAMATION, 6, 12, text);
    EXPECT_EQ(20 + 240 + 10, plain.width);
    EXPECT_EQ(62 + 240 + 10, icon.width);
    EXPECT_EQ(62, icon.textLeft);
    EXPECT_EQ(52 + 32, icon.height); // one line is below the 52-pixel floor
}

TEST(MessageBoxSize, ManyLinesAndButtonRows) {
    MessageTextSize text = Measure("a\nb\nc\nd\ne"); // 5 lines
    MessageBoxClient c = MessageBoxClientSize(MB_YESNOCANCEL, 8, 16, text);
    EXPECT_EQ(3 * (72 + 30) + 10, c.width); // the button row is wider than the text
    EXPECT_EQ(16 * 5 + 20 + 16 + 20, c.height);
    MessageBoxClient none = MessageBoxClientSize(7, 8, 16, text); // no buttons: no row
    EXPECT_EQ(0, none.buttonCount);
    EXPECT_EQ(16 * 5 + 20, none.height);
    EXPECT_EQ(20 + 8 + 10, none.width);
    EXPECT_EQ(52, MessageBoxClientSize(15, 6, 12, Measure("")).height);
}

TEST(MessageBoxSize, ShortLineIsAsWideAsTheButtonRowWithTheButtonsCentred) {
    MessageBoxClient c = MessageBoxClientSize(MB_OK | MB_ICONASTERISK, 6, 12, Measure("OK?")); // 62 + 18 + 10 = 90
    EXPECT_EQ(94, c.width);
    ScreenRect b[1];
    LayoutMessageBoxButtons(c.width, c.height, 6, 12, 1, b);
    EXPECT_EQ(b[0].left, c.width - b[0].right);
}

TEST(MessageBoxSize, FinalNewlineMakesTheBoxOneLineTaller) {
    MessageTextSize three = Measure("1\n2\n3");
    MessageTextSize four = Measure("1\n2\n3\n");
    EXPECT_EQ(12, MessageBoxClientSize(MB_OK, 6, 12, four).height - MessageBoxClientSize(MB_OK, 6, 12, three).height);
}

TEST(MessageBoxPlacement, CentredOnTheOwnerWithTruncatingHalves) {
    ScreenRect work = {0, 0, 1024, 738};
    ScreenRect owner = {100, 100, 401, 301};
    ScreenPoint p = PlaceMessageBox(OWNER_SHOWN, owner, ScreenPoint{0, 0}, work, 100, 50);
    EXPECT_EQ(100 + 201 / 2, p.x);
    EXPECT_EQ(100 + 151 / 2, p.y);
    // A box wider than its owner: the half is negative and truncates toward zero (-101 / 2 = -50).
    ScreenRect narrow = {300, 300, 400, 350};
    p = PlaceMessageBox(OWNER_SHOWN, narrow, ScreenPoint{0, 0}, work, 201, 50);
    EXPECT_EQ(300 - 50, p.x);
}

TEST(MessageBoxPlacement, NoOwnerOrHiddenOwnerCentresOnTheWorkArea) {
    ScreenRect work = {10, 20, 1034, 788};
    ScreenRect ignored = {5000, 5000, 6000, 6000};
    ScreenPoint p = PlaceMessageBox(OWNER_ABSENT, ignored, ScreenPoint{900, 900}, work, 301, 101);
    EXPECT_EQ(10 + (1024 - 301) / 2, p.x);
    EXPECT_EQ(20 + (768 - 101) / 2, p.y);
}

TEST(MessageBoxPlacement, MinimisedOwnerOpensAtTheCursorOnTheWorkArea) {
    ScreenRect work = {0, 0, 1024, 738};
    ScreenRect owner = {0, 700, 160, 720};
    ScreenPoint p = PlaceMessageBox(OWNER_MINIMISED, owner, ScreenPoint{500, 400}, work, 200, 100);
    EXPECT_EQ(470, p.x);
    EXPECT_EQ(370, p.y);
    p = PlaceMessageBox(OWNER_MINIMISED, owner, ScreenPoint{1000, 730}, work, 200, 100); // bottom right
    EXPECT_EQ(1024 - 200, p.x);
    EXPECT_EQ(738 - 100, p.y);
    p = PlaceMessageBox(OWNER_MINIMISED, owner, ScreenPoint{5, 12}, work, 200, 100); // top left
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(0, p.y);
}

TEST(MessageBoxPlacement, OwnerPartlyOffTheScreenStillGivesABoxOnTheWorkArea) {
    ScreenRect work = {0, 0, 1024, 738};
    ScreenRect owner = {-300, -200, 100, 100};
    ScreenPoint p = PlaceMessageBox(OWNER_SHOWN, owner, ScreenPoint{0, 0}, work, 200, 100);
    EXPECT_EQ(0, p.x); // -300 + 200 = -100, moved onto the work area
    EXPECT_EQ(0, p.y);
    // A work area that does not start at 0 (a taskbar on the left or at the top).
    ScreenRect shifted = {60, 40, 1024, 768};
    p = PlaceMessageBox(OWNER_MINIMISED, owner, ScreenPoint{70, 50}, shifted, 200, 100);
    EXPECT_EQ(60, p.x);
    EXPECT_EQ(40, p.y);
}

TEST(MessageBoxPlacement, ClampedToTheWorkAreaAndCut) {
    ScreenRect work = {0, 0, 800, 570};
    ScreenRect owner = {700, 500, 800, 570};
    ScreenPoint p = PlaceMessageBox(OWNER_SHOWN, owner, ScreenPoint{0, 0}, work, 300, 200);
    EXPECT_EQ(500, p.x);
    EXPECT_EQ(370, p.y);
    int w = 2000, h = 300;
    CutToWorkArea(w, h, work);
    EXPECT_EQ(800, w);
    EXPECT_EQ(300, h);
    p = PlaceMessageBox(OWNER_SHOWN, owner, ScreenPoint{0, 0}, work, w, h);
    EXPECT_EQ(0, p.x);
}

TEST(MessageBoxButtons, RowIsCentredTenPixelsAboveTheBottom) {
    ScreenRect b[3];
    LayoutMessageBoxButtons(94, 84, 6, 12, 1, b);
    EXPECT_EQ(10, b[0].left); // (94 - 84 + 10) / 2
    EXPECT_EQ(84 - 12 - 20, b[0].top);
    EXPECT_EQ(84, b[0].right); // 9 × 6 + 20 wide
    EXPECT_EQ(84 - 10, b[0].bottom);
    LayoutMessageBoxButtons(400, 100, 6, 12, 3, b);
    EXPECT_EQ((400 - 3 * 84 + 10) / 2, b[0].left);
    EXPECT_EQ(b[0].left + 84, b[1].left);
    EXPECT_EQ(b[1].right + 10, b[2].left);
    EXPECT_EQ(400 - b[2].right, b[0].left); // as much room right as left
    // An odd spare pixel goes to the right.
    LayoutMessageBoxButtons(95, 84, 6, 12, 1, b);
    EXPECT_EQ(10, b[0].left);
    EXPECT_EQ(11, 95 - b[0].right);
}

TEST(MessageBoxText, LongTextIsCutAtACharacterBoundary) {
    char out[MESSAGE_TEXT_MAX + 1];
    std::string ascii(2000, 'x');
    EXPECT_EQ(1023, CopyMessageText(out, ascii.c_str()));
    EXPECT_EQ(std::string(1023, 'x'), out);
    // 1022 single bytes then a double-byte character: it does not fit, and is left out whole.
    std::string mixed = std::string(1022, 'y') + "漢字";
    EXPECT_EQ(1022, CopyMessageText(out, mixed.c_str()));
    EXPECT_EQ(std::string(1022, 'y'), out);
    std::string kanji;
    for (int i = 0; i < 600; i++) kanji += "字";
    EXPECT_EQ(1022, CopyMessageText(out, kanji.c_str()));
    EXPECT_EQ(0, CopyMessageText(out, nullptr));
    EXPECT_EQ('\0', out[0]);
}

#ifdef KESTREL_SIM
class RecordedBoxTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetMessageBoxRecord(); }
    void TearDown() override { ResetMessageBoxRecord(); }
};

TEST_F(RecordedBoxTest, TheEntryPointsRecordCaptionTypeAndText) {
    HWND owner = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(IDOK, ShowErrorBox(owner, "レジストリを設定できません。"));
    EXPECT_EQ(IDOK, ShowWarningBox(nullptr, "%d 件", 3));
    EXPECT_EQ(IDOK, ShowInformationBox(owner, "done"));
    EXPECT_EQ(IDNO, ShowConfirmationBox(owner, "?")); // Enter: the focus starts on いいえ
    auto boxes = RecordedMessageBoxes();
    ASSERT_EQ(4u, boxes.size());
    EXPECT_EQ(0x134u, boxes[3].type); // はい/いいえ, exclamation, second button
    EXPECT_EQ(owner, boxes[0].owner);
    EXPECT_EQ("Error", boxes[0].caption);
    EXPECT_EQ(0x10u, boxes[0].type);
    EXPECT_EQ("レジストリを設定できません。", boxes[0].text);
    EXPECT_EQ(nullptr, boxes[1].owner);
    EXPECT_EQ("Warning", boxes[1].caption);
    EXPECT_EQ(0x30u, boxes[1].type);
    EXPECT_EQ("3 件", boxes[1].text);
    EXPECT_EQ("Information", boxes[2].caption);
    EXPECT_EQ(0x40u, boxes[2].type);
}

TEST_F(RecordedBoxTest, ChosenResultsAreReturnedInOrder) {
    ChooseMessageBoxResult(IDCANCEL);
    ChooseMessageBoxResult(-1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(IDCANCEL, ShowMessageBox(nullptr, "a", "c", MB_OKCANCEL));
    SetLastError(0);
    EXPECT_EQ(-1, ShowErrorBox(nullptr, "b"));
    EXPECT_EQ((DWORD)ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    EXPECT_EQ(IDYES, ShowMessageBox(nullptr, "q", "c", MB_YESNO)); // default: the first button
    EXPECT_EQ(IDCANCEL, ShowMessageBox(nullptr, "q", "c", 6));     // no buttons: 2
    EXPECT_EQ(4u, RecordedMessageBoxCount());
}

TEST_F(RecordedBoxTest, OverlongFormattedMessageIsCutNeverOverrun) {
    std::string big(3000, 'z');
    EXPECT_EQ(IDOK, ShowWarningBox(nullptr, "%s-%s", big.c_str(), "tail"));
    std::string sjis;
    for (int i = 0; i < 700; i++) sjis += "あ";
    EXPECT_EQ(IDOK, ShowErrorBox(nullptr, "x%s", sjis.c_str())); // 1 + 1400 bytes
    auto boxes = RecordedMessageBoxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ(std::string(1023, 'z'), boxes[0].text);
    EXPECT_EQ(1 + 2 * 511, (int)boxes[1].text.size()); // never half a character
    EXPECT_EQ(MessageTextSize({1022 + 1, 1}).columns, MeasureMessageText(boxes[1].text.c_str()).columns);
    // A text given directly is held cut as well.
    EXPECT_EQ(IDOK, ShowMessageBox(nullptr, big.c_str(), "c", MB_OK));
    EXPECT_EQ(1023u, RecordedMessageBoxes()[2].text.size());
}

TEST_F(RecordedBoxTest, BoxesFromTwoThreadsAreAllRecorded) {
    auto show = [](const char *what) {
        for (int i = 0; i < 200; i++) ShowWarningBox(nullptr, "%s %d", what, i);
    };
    std::thread worker(show, "worker");
    show("ui");
    worker.join();
    auto boxes = RecordedMessageBoxes();
    ASSERT_EQ(400u, boxes.size());
    int worker_boxes = 0;
    for (auto &b : boxes) worker_boxes += b.text.rfind("worker", 0) == 0;
    EXPECT_EQ(200, worker_boxes);
}
#endif

// The text-file layer on both platforms: line ends, long lines, device names, exclusive creation.
#include "textfile.h"
#include "sim_api.h"
#include "tree.h"
#include <cstring>

class TextFileTest : public PlatformTest {};

static std::vector<std::string> Lines(const std::string &path, int size, std::vector<int> *results = nullptr) {
    std::vector<std::string> lines;
    TextFile file;
    if (OpenTextFile(&file, path.c_str()) != 0) return {"<cannot open>"};
    std::vector<char> line((size_t)size);
    for (;;) {
        int length = -1;
        int r = ReadTextLine(&file, line.data(), size, &length);
        if (results) results->push_back(r);
        if (r == 0 || r == TEXT_LINE_READ_FAILED) break;
        lines.push_back(r == 1 ? std::string(line.data(), (size_t)length) : "<too long>");
    }
    EXPECT_EQ(0, CloseTextFile(&file));
    return lines;
}

TEST_F(TextFileTest, LineEnds) {
    ASSERT_TRUE(WriteWholeFile(Path("a.txt"), "one\r\ntwo\nthree\rstill\r\r\n\nlast"));
    std::vector<std::string> expected = {"one", "two", "three\rstill\r", "", "last"};
    EXPECT_EQ(expected, Lines(Path("a.txt"), 100));
    // A CR LF split across the layer's buffer is still one line end.
    std::string big(TEXT_FILE_BUFFER - 1, 'x');
    ASSERT_TRUE(WriteWholeFile(Path("b.txt"), big + "\r\nnext\r\n"));
    expected = {big, "next"};
    EXPECT_EQ(expected, Lines(Path("b.txt"), 8000));
}

TEST_F(TextFileTest, LongLinesAreSkippedWhole) {
    ASSERT_TRUE(WriteWholeFile(Path("a.txt"), "12345\n123456\nabc\n1234567"));
    std::vector<int> results;
    std::vector<std::string> expected = {"12345", "<too long>", "abc", "<too long>"};
    EXPECT_EQ(expected, Lines(Path("a.txt"), 6, &results));
    EXPECT_EQ((std::vector<int>{1, TEXT_LINE_TOO_LONG, 1, TEXT_LINE_TOO_LONG, 0}), results);
    // Zero bytes are bytes of the line.
    ASSERT_TRUE(WriteWholeFile(Path("z.txt"), std::string("a\0b\n", 4)));
    EXPECT_EQ((std::vector<std::string>{std::string("a\0b", 3)}), Lines(Path("z.txt"), 6));
}

TEST_F(TextFileTest, WritingTurnsLineFeedsIntoCrLf) {
    TextFile file;
    ASSERT_EQ(0, CreateTextFile(&file, Path("w.txt").c_str()));
    std::string big(TEXT_FILE_BUFFER + 10, 'y');
    EXPECT_EQ(0, WriteText(&file, "a\nb\n"));
    EXPECT_EQ(0, WriteText(&file, big.c_str()));
    EXPECT_EQ(0, WriteText(&file, "\n"));
    EXPECT_EQ(0, CloseTextFile(&file));
    EXPECT_EQ("a\r\nb\r\n" + big + "\r\n", ReadWholeFile(Path("w.txt")));
}

TEST_F(TextFileTest, CreationIsExclusive) {
    ASSERT_TRUE(WriteWholeFile(Path("taken.txt"), "mine"));
    TextFile file;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(TEXT_OPEN_FAILED, CreateTextFile(&file, Path("taken.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_FILE_EXISTS, GetLastError());
    EXPECT_EQ("mine", ReadWholeFile(Path("taken.txt")));
}

TEST_F(TextFileTest, DevicesAreNotTextFiles) {
    for (const char *name : {"NUL", "nul.kjb", "CON", "Com1.txt", "AUX .x", "lpt9"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsDeviceName((root + name).c_str()));
        TextFile file;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(TEXT_NOT_DISK_FILE, CreateTextFile(&file, (root + name).c_str()));
        EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
    }
    // The platform says a device exists in every folder, so an existence test cannot find it out.
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesA((root + "NUL.kjb").c_str()));
    for (const char *name : {"NULL", "CONSOLE.kjb", "COM0", "COM10", "xCON", "CON\\x"})
        EXPECT_FALSE(IsDeviceName(name)) << name;
    // Reading a device: opened by the platform, then refused.
    TextFile file;
    EXPECT_EQ(TEXT_NOT_DISK_FILE, OpenTextFile(&file, "NUL"));
    EXPECT_EQ(TEXT_NOT_DISK_FILE, OpenTextFile(&file, (root + "nul.txt").c_str()));
}

TEST_F(TextFileTest, WriteFailureIsSeenAtClose) {
    SIMULATION_ONLY("needs an injected write failure");
    // A write that fails, and writes that report success with fewer bytes than they were given:
    // each is a failure of the file, not a reason to write again.
    for (int shortBytes : {-1, 0, 3}) {
        SCOPED_TRACE(shortBytes);
        SimClearFaults();
        TextFile file;
        ASSERT_EQ(0, CreateTextFile(&file, Path("w.txt").c_str()));
        if (shortBytes < 0)
            SimInjectFault("WriteFile", Path("w.txt").c_str(), ERROR_DISK_FULL);
        else
            SimInjectShortWrite(Path("w.txt").c_str(), (DWORD)shortBytes);
        EXPECT_EQ(0, WriteText(&file, "buffered\n"));
        SetLastError(0);
        EXPECT_EQ(TEXT_CLOSE_WRITE_FAILED, CloseTextFile(&file));
        EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
        EXPECT_EQ(1, SimFaultsFired());
        EXPECT_TRUE(DeleteFileA(Path("w.txt").c_str())) << "the handle was left open";
    }
    // A short write of a full buffer fails the write that needed the room, and every later one.
    TextFile file;
    ASSERT_EQ(0, CreateTextFile(&file, Path("w.txt").c_str()));
    SimInjectShortWrite(Path("w.txt").c_str(), TEXT_FILE_BUFFER - 1);
    std::string big(TEXT_FILE_BUFFER + 1, 'y');
    EXPECT_EQ(TEXT_WRITE_FAILED, WriteText(&file, big.c_str()));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
    EXPECT_EQ(TEXT_WRITE_FAILED, WriteText(&file, "more"));
    EXPECT_EQ(TEXT_CLOSE_WRITE_FAILED, CloseTextFile(&file));
}

TEST_F(TextFileTest, CtrlZEndsTheFile) {
    // What an old editor left: the text, then Ctrl-Z; whatever follows it is never read.
    ASSERT_TRUE(WriteWholeFile(Path("z.txt"), "one\r\ntwo\r\n\x1A"));
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), Lines(Path("z.txt"), 100));
    ASSERT_TRUE(WriteWholeFile(Path("z.txt"), "one\r\nt\x1Awo\r\nthree\r\n"));
    EXPECT_EQ((std::vector<std::string>{"one", "t"}), Lines(Path("z.txt"), 100));
    // Beyond the first buffer, too.
    std::string big(TEXT_FILE_BUFFER + 5, 'x');
    ASSERT_TRUE(WriteWholeFile(Path("z.txt"), big + "\x1A\nafter\n"));
    EXPECT_EQ((std::vector<std::string>{big}), Lines(Path("z.txt"), 8000));
    // In the middle of a line that began in the first buffer.
    ASSERT_TRUE(WriteWholeFile(Path("z.txt"), "one\r\n" + big + "ab\x1A" "cd\r\nafter\r\n"));
    EXPECT_EQ((std::vector<std::string>{"one", big + "ab"}), Lines(Path("z.txt"), 8200));
}

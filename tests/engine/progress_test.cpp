// The progress line: a publication is taken once, by the first reader; long texts are cut at a
// character boundary; a watcher sees every publication; publishing from one thread while another
// takes never tears a text.
#include "progress.h"
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

static std::string Take(ProgressLine *line, bool *fresh = nullptr) {
    char text[PROGRESS_TEXT_SIZE];
    memset(text, 0xdd, sizeof text);
    bool got = TakeProgress(line, text, sizeof text);
    if (fresh) *fresh = got;
    return got ? std::string(text) : std::string("<nothing new>");
}

TEST(ProgressLineTest, EachPublicationIsTakenOnceAndOnlyTheLatestCounts) {
    ProgressLine line;
    EXPECT_EQ("<nothing new>", Take(&line));
    PublishProgress(&line, "a\\b.txt");
    PublishProgress(&line, "a\\c.txt");
    EXPECT_EQ("a\\c.txt", Take(&line));
    EXPECT_EQ("<nothing new>", Take(&line));
    PublishProgress(&line, "a\\c.txt"); // the same text again is a new publication
    EXPECT_EQ("a\\c.txt", Take(&line));
    PublishProgress(&line, "");
    EXPECT_EQ("", Take(&line));
    PublishProgress(nullptr, "x"); // no line: nothing happens
}

TEST(ProgressLineTest, LongTextIsCutBetweenCharacters) {
    ProgressLine line;
    // "漢" is two bytes: 0x8A 0xBF. A cut after an odd number of bytes would split one.
    std::string kanji;
    while (kanji.size() < 2 * PROGRESS_TEXT_SIZE) kanji += "\x8A\xBF";
    PublishProgress(&line, kanji.c_str());
    std::string shown = Take(&line);
    EXPECT_EQ(PROGRESS_TEXT_SIZE - 2u, shown.size()) << "511 whole characters, not 511 and a half";
    EXPECT_EQ(kanji.substr(0, shown.size()), shown);
    PublishProgress(&line, ("x" + kanji).c_str());
    EXPECT_EQ(PROGRESS_TEXT_SIZE - 1u, Take(&line).size()) << "x and 511 whole characters";
    // A reader's small buffer cuts the same way.
    PublishProgress(&line, "\x8A\xBF\x8A\xBF");
    char small[4];
    ASSERT_TRUE(TakeProgress(&line, small, sizeof small));
    EXPECT_STREQ("\x8A\xBF", small);
}

TEST(ProgressLineTest, WatcherSeesEveryPublicationOnThePublishingThread) {
    ProgressLine line;
    std::vector<std::string> seen;
    line.watch = [](void *context, const char *text) { static_cast<std::vector<std::string> *>(context)->push_back(text); };
    line.watchContext = &seen;
    PublishProgress(&line, "one");
    PublishProgress(&line, "two");
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), seen);
}

TEST(ProgressLineTest, ReaderNeverSeesAHalfWrittenText) {
    ProgressLine line;
    const std::string a(600, 'a'), b(300, 'b');
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 100000; i++) PublishProgress(&line, (i & 1 ? a : b).c_str());
        done = true;
    });
    int taken = 0;
    while (!done) {
        bool fresh;
        std::string text = Take(&line, &fresh);
        if (!fresh) continue;
        taken++;
        ASSERT_TRUE(text == a || text == b) << text.size();
    }
    writer.join();
    EXPECT_GT(taken, 0);
}

// The summary record that ends every run, over a table of runs through the worker: each count
// against what the run did to the tree, the record last of all, and no error lost to a full log;
// and the texts of the summary and of the progress line.
#include "copyrun_fixture.h"
#include "runstats.h"
#include <atomic>
#include <cctype>
#include <cstring>
#include <set>
#include <thread>

namespace {

struct SummaryCase {
    const char *name;
    const char *layout;  // below the scratch folder: src\ and dst\ (BuildTree's lines)
    const char *sources; // words, each "S:" standing for the source folder
    const char *tcf, *tud;
    DWORD mode, conf;
    bool trial;                    // a trial run first: its counts are the real run's that follows
    int stopAfter;                 // entries shown on the progress line before the stop; 0: none
    bool fillLog;                  // the first entry fills the log up with ordinary records
    const char *noAttributes;      // simulation: the copy of this file gets no attributes (warning)
    DWORD refused, errors, warnings; // as the issue counts them; copies and folders come from the tree
    const char *counts;            // the summary up to its time, when the row pins it byte for byte
};

const DWORD ALL = 0x07FFFFFFu, LOG_ALL = 0x1u, ERRORS_ONLY = 0x4u;

const SummaryCase CASES[] = {
    {"AllCopiedAtTheLevelErrorsOnly", "src\\d\\a.txt text=\"alpha\"\nsrc\\d\\sub\\b.txt text=\"beta\"\ndst\\\n", "S:d",
     "*", "", ALL, ERRORS_ONLY, false, 0, false, nullptr, 0, 0, 0,
     "! > > コピー 2 件（9 バイト）、フォルダ作成 2 件、未コピー 0 件、エラー 0 件、警告 0 件、経過時間 "},
    // Refused: a file by pattern, a folder by pattern, a file by date; the existing destination
    // folder is counted nowhere.
    {"RefusedByPatternAndDate",
     "src\\d\\keep.txt size=1234\nsrc\\d\\skip.tmp\nsrc\\d\\_private\\x.txt\nsrc\\d\\old.txt time=1700000000\n"
     "dst\\d\\old.txt time=1700000100\n",
     "S:d", "*.txt", "_*", ALL | MODE_SKIP_NOT_NEWER, LOG_ALL, false, 0, false, nullptr, 3, 0, 0,
     "! > > コピー 1 件（1,234 バイト）、フォルダ作成 0 件、未コピー 3 件、エラー 0 件、警告 0 件、経過時間 "},
    {"TrialOfTheSame",
     "src\\d\\keep.txt size=1234\nsrc\\d\\skip.tmp\nsrc\\d\\_private\\x.txt\nsrc\\d\\sub\\y.txt size=5000\n"
     "src\\d\\old.txt time=1700000000\ndst\\d\\old.txt time=1700000100\n",
     "S:d", "*.txt", "_*", ALL | MODE_SKIP_NOT_NEWER, LOG_ALL, true, 0, false, nullptr, 3, 0, 0, nullptr},
    // A file where the destination has a folder, and the missing-in-source check of a source the
    // walk refused: its error comes after the walk's, and the summary after both.
    {"AnErrorAndOneOfTheCheck", "src\\d\\f.txt\nsrc\\d\\g.txt\nsrc\\_x\\h.txt\ndst\\d\\f.txt\\\ndst\\d\\stale.txt\n",
     "S:d S:_x", "*", "_*", ALL, LOG_ALL | CONF_CHECK_MISSING, false, 0, false, nullptr, 1, 2, 0, nullptr},
    {"Stopped", "src\\d\\a.txt text=\"a\"\nsrc\\d\\b.txt text=\"bb\"\nsrc\\d\\c.txt\nsrc\\e\\f.txt\ndst\\\n", "S:d S:e",
     "*", "", ALL, LOG_ALL | CONF_CHECK_MISSING, false, 3, false, nullptr, 0, 0, 0, nullptr},
    {"CopiedWithoutAttributes", "src\\d\\a.txt text=\"a\" attr=R\nsrc\\d\\b.txt\ndst\\\n", "S:d", "*", "", ALL, LOG_ALL,
     false, 0, false, "d\\a.txt", 0, 0, 1, nullptr},
    // The log fills up at its first entry; the copy after it is counted though its record is lost,
    // and every error after it is kept.
    {"ALogThatFillsUpWithErrorsAfterIt",
     "src\\d\\ok.txt text=\"ok\"\nsrc\\d\\e1.txt\nsrc\\d\\e2.txt\nsrc\\d\\e3.txt\nsrc\\d\\e4.txt\nsrc\\d\\e5.txt\n"
     "dst\\d\\e1.txt\\\ndst\\d\\e2.txt\\\ndst\\d\\e3.txt\\\ndst\\d\\e4.txt\\\ndst\\d\\e5.txt\\\n",
     "S:d", "*", "", ALL, LOG_ALL, false, 0, true, nullptr, 0, 5, 0, nullptr},
};

// What a run made below a folder, from its snapshots before and after (TreeSnapshot): the files
// that are new or changed, their sizes, and the new folders.
struct Made {
    DWORD files = 0, folders = 0;
    uint64_t bytes = 0;
};
Made MadeBetween(const std::string &before, const std::string &after) {
    std::set<std::string> old, oldPaths;
    for (size_t at = 0, end; (end = before.find('\n', at)) != std::string::npos; at = end + 1) {
        old.insert(before.substr(at, end - at));
        oldPaths.insert(before.substr(at, before.find(" attr=", at) - at));
    }
    Made made;
    for (size_t at = 0, end; (end = after.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = after.substr(at, end - at), path = line.substr(0, line.find(" attr="));
        if (path.back() == '\\') {
            if (!oldPaths.count(path)) made.folders++;
        } else if (!old.count(line)) {
            made.files++;
            made.bytes += strtoull(line.c_str() + line.find(" size=") + 6, nullptr, 10);
        }
    }
    return made;
}

// "! > > コピー N 件（B バイト）、フォルダ作成 F 件、未コピー R 件、エラー E 件、警告 W 件、経過時間 H:MM:SS"
// read back into its counts (commas dropped); false when the line has another form.
bool ReadSummary(std::string line, RunCounts *counts, std::string *time) {
    const char *const PIECES[] = {SUMMARY_HEAD, " 件（", " バイト）、フォルダ作成 ", " 件、未コピー ", " 件、エラー ",
                                  " 件、警告 ", " 件、経過時間 "};
    uint64_t values[6];
    size_t at = 0;
    for (int i = 0; i < 7; i++) {
        if (line.compare(at, strlen(PIECES[i]), PIECES[i]) != 0) return false;
        at += strlen(PIECES[i]);
        if (i == 6) break;
        std::string digits;
        while (at < line.size() && (isdigit((unsigned char)line[at]) || line[at] == ','))
            if (line[at++] != ',') digits += line[at - 1];
        if (digits.empty()) return false;
        values[i] = strtoull(digits.c_str(), nullptr, 10);
    }
    *counts = {(DWORD)values[0], values[1], (DWORD)values[2], (DWORD)values[3], (DWORD)values[4], (DWORD)values[5]};
    *time = line.substr(at);
    return true;
}

class RunSummaryTest : public CopyRunTest, public ::testing::WithParamInterface<SummaryCase> {
  protected:
    // One run of the row's job through the worker, as the start button (or the trial command)
    // runs it; returns every line of its log, the summary included.
    std::vector<std::string> RunJob(const SummaryCase &c, bool trial) {
        std::string sources = c.sources;
        for (size_t at; (at = sources.find("S:")) != std::string::npos;) sources.replace(at, 2, src);
        ShowModeWord(dialog, c.mode);
        ShowConfWord(dialog, c.conf);
        s_shown = 0;
        s_row = &c;
        g_progressLine.watch = OnEntry;
        if (trial) g_trialRun = 1;
        Run(sources, dst, "*", c.tcf, c.tud, "");
        g_progressLine.watch = nullptr;
        g_stopRequest = 0;
        return LogLines();
    }
    // At each entry the walk shows: the stop button, or the log filled up with records counted
    // nowhere (an existing folder's, level 0).
    static void OnEntry(void *, const char *) {
        ++s_shown;
        if (s_shown == s_row->stopAfter) g_stopRequest = 1;
        if (s_shown == 1 && s_row->fillLog) {
            std::string name(200, 'n');
            while (!g_copyLog.full) CopyLogRecord(name.c_str(), "すでに存在します。", 0);
        }
    }
    static int s_shown;
    static const SummaryCase *s_row;
};
int RunSummaryTest::s_shown;
const SummaryCase *RunSummaryTest::s_row;

TEST_P(RunSummaryTest, CountsWhatTheRunDidAndComesLast) {
    const SummaryCase &c = GetParam();
    if (c.noAttributes) SIMULATION_ONLY("Wine sets every attribute a copy can take");
    ASSERT_EQ("", BuildTree(root, c.layout));
    std::string before = TreeSnapshot(dst);
#ifdef KESTREL_SIM
    if (c.noAttributes) {
    SimInjectFault("SetFileAttributesA", (UpperDest() + c.noAttributes).c_str(), ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    }
#endif
    std::vector<std::string> trial;
    if (c.trial) {
        trial = RunJob(c, true);
        ASSERT_EQ(before, TreeSnapshot(dst));
    }
#ifdef KESTREL_SIM
    std::vector<std::string> log = RunJob(c, false);
    SimClearFaults();
    size_t warned = 0;
    for (auto &box : RecordedMessageBoxes()) warned += box.text == "ログが多すぎて全部表示できません。";
#else
    // The log viewer warns that the document is full, in a box that waits for the user: closed
    // as the user would close it.
    std::atomic<bool> ended{false};
    std::atomic<size_t> warned{0};
    std::thread user([&] {
        for (HWND last = nullptr; !ended; Sleep(20)) {
            HWND box = FindWindowA("#32770", "Warning");
            DWORD pid = 0;
            if (box) GetWindowThreadProcessId(box, &pid);
            if (!box || pid != GetCurrentProcessId()) continue;
            if (box != last) warned++, last = box;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    });
    std::vector<std::string> log = RunJob(c, false);
    ended = true;
    user.join();
#endif
    Made made = MadeBetween(before, TreeSnapshot(dst));

    ASSERT_FALSE(log.empty());
    std::string summary = log.back();
    for (size_t i = 0; i + 1 < log.size(); i++)
        EXPECT_NE(0, log[i].compare(0, strlen(SUMMARY_HEAD), SUMMARY_HEAD)) << "a summary before the last record";
    RunCounts counts;
    std::string time;
    ASSERT_TRUE(ReadSummary(summary, &counts, &time)) << summary;
    EXPECT_EQ(made.files, counts.copied);
    EXPECT_EQ(made.bytes, counts.bytes);
    EXPECT_EQ(made.folders, counts.folders);
    EXPECT_EQ(c.refused, counts.refused);
    EXPECT_EQ(c.errors, counts.errors);
    EXPECT_EQ(c.warnings, counts.warnings);
    // From the press to the summary: a run of a few entries takes less than a few seconds.
    EXPECT_EQ(7u, time.size()) << time;
    EXPECT_EQ(0, time.compare(0, 5, "0:00:")) << time;
    if (c.counts) {
    EXPECT_EQ(c.counts, summary.substr(0, strlen(c.counts)));
    }
    if (c.trial) {
        ASSERT_FALSE(trial.empty());
        EXPECT_EQ(summary.substr(0, summary.size() - time.size()),
                  trial.back().substr(0, summary.size() - time.size()))
            << "the trial counts what the run copied and created";
        EXPECT_EQ("（確認のみ）", trial.back().substr(trial.back().size() - strlen("（確認のみ）")));
    }
    if (c.conf == ERRORS_ONLY) {
    EXPECT_EQ(1u, log.size()) << "the summary is written whatever the log level";
    }
    if (c.stopAfter) {
    EXPECT_EQ("! > > ユーザの指示によりコピーを停止しました。", log[log.size() - 2]);
    }
    EXPECT_EQ(c.fillLog ? 1u : 0u, (size_t)warned) << "the viewer warns that records were lost";
    if (c.fillLog) {
        EXPECT_EQ(1u, g_copyLog.full);
        std::vector<std::string> errors;
        for (const std::string &line : log)
            if (line[0] == 'X') errors.push_back(line);
        const std::string FOLDER_THERE = " コピー先に同名のフォルダがあるのでコピーできません。";
        EXPECT_EQ(Sorted({"X d\\e1.txt" + FOLDER_THERE, "X d\\e2.txt" + FOLDER_THERE, "X d\\e3.txt" + FOLDER_THERE,
                          "X d\\e4.txt" + FOLDER_THERE, "X d\\e5.txt" + FOLDER_THERE}),
                  Sorted(errors));
        EXPECT_EQ(1u, counts.copied) << "the copy whose record was lost";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, RunSummaryTest, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<SummaryCase> &info) { return std::string(info.param.name); });

// ---- the texts ----

TEST(RunSummaryText, CountsWithSeparatorsTimeAsHoursMinutesSecondsAndTheTrialsEnding) {
    struct Row {
        RunCounts counts;
        DWORD seconds;
        bool trial;
        const char *expected;
    } rows[] = {
        {{0, 0, 0, 0, 0, 0}, 0, false,
         "コピー 0 件（0 バイト）、フォルダ作成 0 件、未コピー 0 件、エラー 0 件、警告 0 件、経過時間 0:00:00"},
        {{1234, 56789012345ull, 999, 1000, 12, 3}, 187, false,
         "コピー 1,234 件（56,789,012,345 バイト）、フォルダ作成 999 件、未コピー 1,000 件、エラー 12 件、警告 3 件、経過時間 0:03:07"},
        {{1, 1, 0, 0, 0, 0}, 36000 + 59 * 60 + 59, true,
         "コピー 1 件（1 バイト）、フォルダ作成 0 件、未コピー 0 件、エラー 0 件、警告 0 件、経過時間 10:59:59（確認のみ）"},
        {{4294967295u, 18446744073709551615ull, 4294967295u, 4294967295u, 4294967295u, 4294967295u}, 4294967295u, true,
         "コピー 4,294,967,295 件（18,446,744,073,709,551,615 バイト）、フォルダ作成 4,294,967,295 件、"
         "未コピー 4,294,967,295 件、エラー 4,294,967,295 件、警告 4,294,967,295 件、経過時間 1193046:28:15（確認のみ）"},
    };
    for (const Row &row : rows) {
        char text[512];
        memset(text, 0xDD, sizeof text);
        EXPECT_EQ(strlen(row.expected), FormatRunSummary(text, sizeof text, row.counts, row.seconds, row.trial));
        EXPECT_STREQ(row.expected, text);
    }
    // A small area takes what fits, never half a character.
    char small[11];
    FormatRunSummary(small, sizeof small, rows[0].counts, 0, false);
    EXPECT_STREQ("コピー 0 ", small);
}

TEST(RunSummaryText, TheProgressLineShowsTheCopiesAndTheirSizeBeforeTheName) {
    struct Row {
        DWORD copied;
        uint64_t bytes;
        const char *name;
        const char *expected;
    } rows[] = {
        {0, 0, "data", "0 件 0 B  data"},
        {1, 1023, "data\\a.txt", "1 件 1023 B  data\\a.txt"},
        {12, 1024, "x", "12 件 1.0 KB  x"},
        {1234, 59454260ull, "data\\sub\\file.txt", "1,234 件 56.7 MB  data\\sub\\file.txt"},
        {5, 1048575, "x", "5 件 1023.9 KB  x"},
        {7, 5ull << 40, "ソ", "7 件 5.0 TB  ソ"},
        {9, 18446744073709551615ull, "x", "9 件 15.9 EB  x"},
        {3, 100, "", ""}, // nothing visited: nothing shown
    };
    for (const Row &row : rows) {
        char text[64];
        FormatProgressLine(text, sizeof text, row.copied, row.bytes, row.name);
        EXPECT_STREQ(row.expected, text);
    }
    std::string name(100, 'n');
    char text[32];
    FormatProgressLine(text, sizeof text, 1, 1, name.c_str());
    EXPECT_EQ("1 件 1 B  " + name.substr(0, 31 - strlen("1 件 1 B  ")), text) << "cut to the area";
}

} // namespace

// The trial run predicts the real run: over a table of trees and jobs, its records are the real
// run's with each "would" record for its done record, and the disk is the same before and after
// it, to the byte, attribute and second; failing any file-system call of it changes nothing.
#include "copyrun_fixture.h"
#include "sim_api.h"
#ifdef KESTREL_SIM
#include "msgbox_record.h"
#endif
#include <cstring>

namespace {

struct TrialCase {
    const char *name;
    const char *layout;  // below the scratch folder: src\ and dst\ (BuildTree's lines)
    const char *sources; // words, each "S:" standing for the source folder
    const char *tcd, *tcf, *tud, *tuf;
    DWORD mode, conf;
    int stopAfter; // entries shown on the progress line before the stop button is pressed; 0: none
};

const DWORD ALL = 0x07FFFFFFu, LOG_ALL = 0x1u;
const DWORD SIZE_AND_DATE = 0x18000000u;

const TrialCase CASES[] = {
    {"NewTree", "src\\d\\a.txt text=\"a\"\nsrc\\d\\sub\\b.txt text=\"bb\"\nsrc\\d\\sub\\deep\\c.txt\ndst\\\n",
     "S:d", "*", "*", "", "", ALL, LOG_ALL, 0},
    {"ExistingAndProtectedDestinations",
     "src\\d\\same.txt text=\"1\" time=1700000000\nsrc\\d\\newer.txt text=\"new\" time=1700000100\n"
     "src\\d\\ro.txt text=\"r\" time=1700000100\nsrc\\d\\sub\\x.txt\n"
     "dst\\d\\same.txt text=\"2\" time=1700000000\ndst\\d\\newer.txt text=\"old\" time=1700000000\n"
     "dst\\d\\ro.txt text=\"o\" attr=R time=1700000000\ndst\\d\\sub\\\ndst\\d\\gone.txt\n",
     "S:d", "*", "*", "", "", ALL | SIZE_AND_DATE, LOG_ALL | CONF_CHECK_MISSING, 0},
    {"ReadOnlyNotToBeOverwritten", "src\\d\\ro.txt text=\"r\"\ndst\\d\\ro.txt text=\"o\" attr=R\n", "S:d", "*", "*", "",
     "", ALL & ~(1u << 21), LOG_ALL, 0},
    {"Patterns",
     "src\\d\\keep.txt\nsrc\\d\\skip.tmp\nsrc\\d\\other.doc\nsrc\\d\\_private\\x.txt\nsrc\\d\\Lib\\y.txt\ndst\\\n",
     "S:d", "D L* _*", "*.TXT *.TMP", "_*", "*.TMP", ALL, LOG_ALL, 0},
    {"Categories",
     "src\\d\\s.txt attr=S\nsrc\\d\\e.txt attr=E\nsrc\\d\\h.txt attr=H\nsrc\\d\\r.txt attr=R\nsrc\\d\\c.txt attr=C\n"
     "src\\d\\t.txt attr=T\nsrc\\d\\n.txt attr=N\nsrc\\d\\a.txt attr=A\nsrc\\d\\plain.txt\nsrc\\d\\hf\\ attr=H\n"
     "src\\d\\hf\\in.txt\ndst\\d\\s.txt\ndst\\d\\h.txt attr=H\n",
     "S:d", "*", "*", "", "", 0x0155u | (0x0155u << 9) | (0x0AAu << 18), LOG_ALL, 0},
    {"TwoSourcesOfOneName",
     "src\\a\\x\\one.txt text=\"1\"\nsrc\\b\\x\\two.txt text=\"2\"\nsrc\\b\\x\\one.txt text=\"other\"\n"
     "src\\f.txt\ndst\\x\\old.txt\n",
     "S:a\\x S:b\\x S:f.txt S:missing", "*", "*", "", "", ALL, LOG_ALL | CONF_CHECK_MISSING, 0},
    // The second source is judged against what the first one copied, as the real run judges it.
    {"TwoNewSourcesOfOneName",
     "src\\a\\x\\one.txt text=\"1\" time=1700000000\nsrc\\a\\x\\two.txt text=\"22\" time=1700000000\n"
     "src\\a\\x\\sub\\in.txt\nsrc\\b\\x\\one.txt text=\"1\" time=1700000100\n"
     "src\\b\\x\\two.txt text=\"333\" time=1700000001\nsrc\\b\\x\\sub\\in.txt\nsrc\\b\\x\\three.txt\n"
     "src\\c\\f.txt text=\"1\"\nsrc\\d\\f.txt text=\"1\"\ndst\\\n",
     "S:a\\x S:b\\x S:c\\f.txt S:d\\f.txt", "*", "*", "", "", ALL | SIZE_AND_DATE, LOG_ALL | CONF_CHECK_MISSING, 0},
    // The second source's name differs only in letter case: the same destination entries.
    {"TwoSourcesOfOneNameInOtherCases",
     "src\\a\\x\\one.txt text=\"1\"\nsrc\\b\\X\\ONE.TXT text=\"1\"\nsrc\\b\\X\\two.txt\ndst\\\n", "S:a\\x S:b\\X", "*", "*",
     "", "", ALL | SIZE_AND_DATE, LOG_ALL, 0},
    {"FolderWhereAFileIsAndTheOtherWay",
     "src\\d\\f\\in.txt\nsrc\\d\\g.txt\ndst\\d\\f\ndst\\d\\g.txt\\\n", "S:d", "*", "*", "", "", ALL, LOG_ALL, 0},
    {"ArchiveClearingAndTheCheck",
     "src\\d\\a.txt attr=A\nsrc\\d\\sub\\ attr=A\nsrc\\d\\sub\\b.txt attr=A\ndst\\d\\stale\\x.txt\n", "S:d", "*", "*", "",
     "", ALL, LOG_ALL | CONF_CLEAR_ARCHIVE | CONF_CHECK_MISSING, 0},
    {"Stopped", "src\\d\\a.txt\nsrc\\d\\b.txt\nsrc\\d\\c.txt\nsrc\\e\\f.txt\ndst\\\n", "S:d S:e", "*", "*", "", "", ALL,
     LOG_ALL | CONF_CHECK_MISSING, 3},
};

// Each job runs through the worker and the main dialog's stand-in, as the start button and the
// trial-run command run it: the trial flag is set for the trial only, and the worker must take it
// once (otherwise the real run after it is a trial too).
class TrialRunTest : public CopyRunTest, public ::testing::WithParamInterface<TrialCase> {
  protected:
    std::vector<std::string> RunJob(const TrialCase &c, bool trial) {
        std::string sources = c.sources;
        for (size_t at; (at = sources.find("S:")) != std::string::npos;) sources.replace(at, 2, src);
        ShowModeWord(dialog, c.mode);
        ShowConfWord(dialog, c.conf);
        s_shown = 0;
        s_stopAfter = c.stopAfter;
        g_progressLine.watch = c.stopAfter ? StopAfterEntries : nullptr;
        if (trial) g_trialRun = 1;
        std::vector<std::string> records = Run(sources, dst, c.tcd, c.tcf, c.tud, c.tuf);
        g_progressLine.watch = nullptr;
        g_stopRequest = 0;
        return records;
    }
    static void StopAfterEntries(void *, const char *) {
        if (++s_shown == s_stopAfter) g_stopRequest = 1;
    }
    static int s_shown, s_stopAfter;
};
int TrialRunTest::s_shown, TrialRunTest::s_stopAfter;

// The trial run's records as the real run writes them.
std::vector<std::string> AsDone(std::vector<std::string> records) {
    const std::string TRIAL_FIRST = "! > > 確認のみの実行です。コピー元もコピー先も変更しません。";
    EXPECT_FALSE(records.empty());
    if (!records.empty()) {
        EXPECT_EQ(TRIAL_FIRST, records[0]) << "the log's first line says that this was a trial run";
        records.erase(records.begin());
    }
    const std::pair<std::string, std::string> WOULD[] = {{"フォルダを作成します。（確認のみ）", "フォルダを作成しました。"},
                                                         {"コピーします。（確認のみ）", "コピーしました。"}};
    for (std::string &record : records)
        for (auto &would : WOULD) {
            EXPECT_FALSE(record.size() >= would.second.size() &&
                         record.compare(record.size() - would.second.size(), std::string::npos, would.second) == 0)
                << "a trial run says what it would do: " << record;
            size_t at = record.find(would.first);
            if (at != std::string::npos && at + would.first.size() == record.size())
                record.replace(at, would.first.size(), would.second);
        }
    return records;
}

TEST_P(TrialRunTest, PredictsTheRealRunAndChangesNothing) {
    const TrialCase &c = GetParam();
    ASSERT_EQ("", BuildTree(root, c.layout));
    std::string before = TreeSnapshot(root);
#ifdef KESTREL_SIM
    // No call that changes the disk is made at all, on any path.
    for (const char *call : {"CreateDirectoryA", "CopyFileA", "SetFileAttributesA", "DeviceIoControl", "EncryptFileA",
                             "DecryptFileA", "CreateFileA", "DeleteFileA", "RemoveDirectoryA"})
        SimInjectFault(call, nullptr, ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
#endif
    std::vector<std::string> trial = RunJob(c, true);
    std::vector<std::string> trialMissing = MissingLines();
#ifdef KESTREL_SIM
    EXPECT_EQ(0, SimFaultsFired()) << "a trial run called the platform to change the disk";
    SimClearFaults();
#endif
    EXPECT_EQ(before, TreeSnapshot(root)) << "the trial run changed the disk";
    std::vector<std::string> real = RunJob(c, false);
    EXPECT_EQ(real, AsDone(trial));
    EXPECT_EQ(MissingLines(), trialMissing) << "the missing-files list is the real run's";
}

INSTANTIATE_TEST_SUITE_P(Jobs, TrialRunTest, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<TrialCase> &info) { return std::string(info.param.name); });

// Failing the Nth file-system call or allocation of a trial run, for every N, never changes the
// disk; a failed allocation is absorbed (the same records) or is the failure record of its step.
TEST_F(TrialRunTest, FailureSweepNeverChangesTheDisk) {
    SIMULATION_ONLY("Wine cannot fail the Nth call on demand");
    const TrialCase &c = CASES[1];
    ASSERT_EQ("", BuildTree(root, c.layout));
    std::string before = TreeSnapshot(root);
    std::vector<std::string> whole = RunJob(c, true);
    for (const char *op : {"*", "LocalAlloc"}) {
        int n = 1;
        for (; n < 500; n++) {
            SimClearFaults();
#ifdef KESTREL_SIM
            ResetMessageBoxRecord();
#endif
            SimInjectFault(op, nullptr, op[0] == '*' ? ERROR_ACCESS_DENIED : ERROR_NOT_ENOUGH_MEMORY, SIM_FAULT_NTH, n);
            std::vector<std::string> records = RunJob(c, true);
            bool fired = SimFaultsFired() > 0;
            SimClearFaults();
            ASSERT_EQ(before, TreeSnapshot(root)) << "failing " << op << " " << n;
#ifdef KESTREL_SIM
            bool recorded = std::any_of(records.begin(), records.end(),
                                        [](const std::string &r) { return r.compare(0, 2, "X ") == 0; });
            if (op[0] == 'L' && fired && RecordedMessageBoxes().empty()) {
                EXPECT_TRUE(records == whole || recorded) << "failing allocation " << n << " left no record";
            }
#endif
            if (!fired) break;
        }
        EXPECT_LT(n, 500) << "the sweep ended";
        EXPECT_GT(n, 10) << "the trial run makes its reads";
    }
}

} // namespace

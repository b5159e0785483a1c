// Fuzzing the script reader and the command line on the simulation: random and mutated scripts
// and command lines (long lines, zero bytes, lone lead bytes, stray quotes) must never crash or
// overrun (run it under the sanitizer build), must end in success or exactly one message, and
// must leave every field within what its control hands back. Random settings written as a script
// and read back must come back unchanged. KESTREL_FUZZ_SECONDS=N runs each part for N seconds
// instead of a fixed number of inputs.
#include "automation_fixture.h"
#include "cmdline.h"
#include "script.h"
#include <chrono>
#include <cstdlib>
#include <random>
#ifdef KESTREL_SIM
#include "folder_record.h"
#include "simwin_dialog.h"
#include <shlobj.h>
#endif

#ifdef KESTREL_SIM
namespace {

const int TEXT_FIELDS[] = {IDC_SOURCES, IDC_DEST, IDC_TCD, IDC_TCF, IDC_TUD, IDC_TUF};

// Runs `one` for the fixed count, or for KESTREL_FUZZ_SECONDS; returns the inputs tried.
template <typename Step> long RunFuzz(const char *what, long count, Step one) {
    const char *seconds = getenv("KESTREL_FUZZ_SECONDS");
    auto start = std::chrono::steady_clock::now();
    double limit = seconds ? atof(seconds) : 0;
    long tried = 0;
    for (;; tried++) {
        if (limit > 0) {
            if ((tried & 63) == 0 &&
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= limit)
                break;
        } else if (tried >= count) {
            break;
        }
        one(tried);
        if (::testing::Test::HasFailure()) break;
    }
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("[ fuzz     ] %s: %ld inputs in %.2f s\n", what, tried, took);
    return tried;
}

// Pieces that valid and nearly valid inputs are made of.
const char *const SCRIPT_PIECES[] = {
    "# KESTREL Script File KESTREL", "", " ", "\t", "SRC:\"C:\\Data\"", "src:\"D:\\漢字\\表\" \"E:\\x\"", "DEST:E:\\BAK",
    "dest: E:\\", "TCD:*", "TCF:*.TXT *.DOC", "TUD:", "TUF:\"MY *\"", "MODE:16030180", "MODE:0x1FFFFFFF", "MODE:",
    "CONF:0000000D", "conf:-1", "SOURCE:x", " SRC:x", "SRC", "MODE:123456789A", "#", "\x81", "SRC:\x81",
    "DEST:\x9f\x5c", "TUF:\xfc",
};
const char *const WORD_PIECES[] = {
    "/dest", "/DEST", "/tcf", "/tcd", "/tuf", "/tud", "/mode", "/conf", "/script", "/destination", "C:\\Data",
    "\"C:\\My Data\"", "'\"MY *\"'", "\"", "'", "*.TXT", "0x16030180", "-1", "123456789A", "漢字", "\x81", "\x9f\\",
    "x:\\missing", "\"\"", "''", "NUL", "CON",
};

class Mutator {
  public:
    explicit Mutator(unsigned seed) : rng(seed) {}
    int Below(int n) { return (int)(rng() % (unsigned)n); }
    std::string Run(char c, int n) { return std::string((size_t)n, c); }
    // A length that sits at the limits more often than chance would.
    int Length() {
        static const int edges[] = {0, 1, 258, 259, 260, 261, 4094, 4095, 4096, 4097, 4122, 4123, 4126, 4127, 4128,
                                    4129, 8300};
        return Below(3) == 0 ? Below(300) : edges[Below((int)(sizeof edges / sizeof edges[0]))];
    }
    std::string RandomBytes(int n, bool zero) {
        std::string s;
        for (int i = 0; i < n; i++) {
            char c = (char)Below(256);
            if (!zero && c == 0) c = 'z';
            s += c;
        }
        return s;
    }
    std::string Script() {
        std::string s;
        int lines = Below(12);
        for (int i = 0; i < lines; i++) {
            switch (Below(6)) {
            case 0: {
                static const char *const keys[] = {"SRC:", "DEST:", "TCD:", "TCF:", "TUD:", "TUF:", "# ", "MODE:"};
                s += keys[Below(8)] + Run((char)('A' + Below(26)), Length());
                break;
            }
            case 1:
                s += RandomBytes(Below(40), true);
                break;
            default:
                s += SCRIPT_PIECES[Below((int)(sizeof SCRIPT_PIECES / sizeof SCRIPT_PIECES[0]))];
            }
            static const char *const ends[] = {"\r\n", "\n", "\r", "", "\r\r\n", std::string(1, '\0').c_str()};
            int e = Below(6);
            s += e == 5 ? std::string(1, '\0') : std::string(ends[e]);
        }
        return Mutate(s, true);
    }
    std::string CommandLine() {
        std::string s;
        int words = Below(10);
        for (int i = 0; i < words; i++) {
            if (i) s += Below(4) ? " " : "\t";
            switch (Below(5)) {
            case 0:
                s += Run((char)('a' + Below(26)), Length());
                break;
            case 1:
                s += RandomBytes(Below(20), false);
                break;
            default:
                s += WORD_PIECES[Below((int)(sizeof WORD_PIECES / sizeof WORD_PIECES[0]))];
            }
        }
        return Mutate(s, false);
    }
    std::string Mutate(std::string s, bool zero) {
        int changes = Below(4);
        for (int i = 0; i < changes && !s.empty(); i++) {
            size_t at = (size_t)Below((int)s.size());
            switch (Below(4)) {
            case 0:
                s[at] = (char)(zero ? Below(256) : 1 + Below(255));
                break;
            case 1:
                s.erase(at, (size_t)Below(8));
                break;
            case 2:
                s.insert(at, RandomBytes(Below(8), zero));
                break;
            default:
                s.insert(at, s.substr(at, (size_t)Below(64)));
            }
        }
        return s;
    }
    std::mt19937 rng;
};

} // namespace

class AutomationFuzz : public AutomationTest {
  protected:
    // Every field within what its control hands back, and at most one message.
    void CheckAfter(int result, const std::string &input) {
        ASSERT_TRUE(result == 0 || result == -1) << input.size();
        (result == 0 ? accepted : refused)++;
        size_t boxes = RecordedMessageBoxCount();
        EXPECT_EQ(result == 0 ? 0u : 1u, boxes) << "input of " << input.size() << " bytes";
        for (int id : TEXT_FIELDS) {
            size_t limit = id == IDC_SOURCES ? 4095 : 259;
            EXPECT_LE(SimControlText(dialog, id).size(), limit) << "field " << id;
        }
        ResetMessageBoxRecord();
    }
    void TearDown() override {
        if (accepted + refused) printf("[ fuzz     ] %ld accepted, %ld refused\n", accepted, refused);
        AutomationTest::TearDown();
    }
    long accepted = 0, refused = 0;
};

TEST_F(AutomationFuzz, ScriptReader) {
    Mutator m(20261207);
    std::string path = Path("fuzz.kjb");
    RunFuzz("script reader", 20000, [&](long) {
        std::string script = m.Script();
        ASSERT_TRUE(WriteWholeFile(path, script));
        int result = ReadScriptFile(dialog, path.c_str());
        CheckAfter(result, script);
        ASSERT_TRUE(DeleteFileA(path.c_str())) << "the script was left open";
    });
}

TEST_F(AutomationFuzz, CommandLine) {
    Mutator m(7);
    ASSERT_EQ("", BuildTree("C:\\", "Data\\\nMy Data\\"));
    ASSERT_TRUE(WriteWholeFile("C:\\job.kjb", "SRC:\"C:\\Data\"\nDEST:E:\\BAK\n"));
    RunFuzz("command line", 20000, [&](long) {
        std::string line = m.CommandLine();
        if (m.Below(20) == 0) line = "/script " + std::string(m.Below(2) ? "C:\\job.kjb" : line);
        int result = ApplyCommandLine(dialog, line.c_str());
        CheckAfter(result, line);
    });
}

// Random settings, written and read back: the same texts and words.
TEST_F(AutomationFuzz, WrittenScriptsReadBack) {
    Mutator m(99);
    ResetFolderPickerScript();
    SetSpecialFolderPath(CSIDL_DESKTOP, root.substr(0, root.size() - 1).c_str());
    g_mainDialog = dialog;
    HWND nameDialog = SimCreateDialog();
    SimAddControl(nameDialog, IDC_SCRIPT_NAME, "ROUND");
    RunFuzz("write and read back", 1000, [&](long) {
        std::string texts[6];
        for (int i = 0; i < 6; i++) {
            int length = m.Below(i == 0 ? 4096 : 260);
            std::string t = m.RandomBytes(length, false);
            for (char &c : t) // the writer refuses line breaks and Ctrl-Z
                if (c == '\r' || c == '\n' || c == 0x1A) c = ' ';
            if (i > 0) // the combo boxes keep upper case
                for (char &c : t)
                    if (c >= 'a' && c <= 'z') c = (char)(c - 32);
            // No lead byte cut off at the end: the controls hand back whole characters only.
            texts[i] = t;
            SetControlText(dialog, TEXT_FIELDS[i], t);
            texts[i] = SimControlText(dialog, TEXT_FIELDS[i]);
        }
        DWORD mode = (DWORD)m.rng() & 0x1FFFFFFF, conf = (DWORD)m.rng() & 0xF;
        ShowModeWord(dialog, mode);
        ShowConfWord(dialog, conf);
        ASSERT_EQ(1, WriteScriptFile(nameDialog));
        for (int id : TEXT_FIELDS) SetControlText(dialog, id, "");
        ShowModeWord(dialog, 0);
        ShowConfWord(dialog, 0);
        std::string path = root + "ROUND.kjb";
        ASSERT_EQ(0, ReadScriptFile(dialog, path.c_str()));
        for (int i = 0; i < 6; i++) ASSERT_EQ(texts[i], SimControlText(dialog, TEXT_FIELDS[i])) << TEXT_FIELDS[i];
        ASSERT_EQ(mode, ReadModeWord(dialog));
        ASSERT_EQ(conf, ReadConfWord(dialog));
        ASSERT_TRUE(DeleteFileA(path.c_str()));
        ASSERT_EQ(0u, RecordedMessageBoxCount());
    });
    SimDestroyDialog(nameDialog);
    g_mainDialog = nullptr;
    ResetFolderPickerScript();
}
#endif

// Test support that runs on both platforms (the simulation and Wine): a fresh scratch folder per
// test, trees built from one readable text and read back as text.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <string>

#ifdef KESTREL_SIM
#include "simwin.h"
#define ON_SIMULATION 1
#else
#define ON_SIMULATION 0
#endif

// Skips the rest of a test on Wine, with the reason in one line.
#define SIMULATION_ONLY(reason)                                   \
    do {                                                          \
        if (!ON_SIMULATION) GTEST_SKIP() << "Wine: " << (reason); \
    } while (0)

// Builds entries below `root` (which ends in "\\") from lines of the form
//     path[\]  [attr=RHSATCNEO] [size=N] [text="…"] [time=UNIXSECONDS] [short=NAME~1.EXT]
// A path ending in "\\" is a folder; missing parent folders are created. Attribute letters:
// R read-only, H hidden, S system, A archive, T temporary, C compressed, N not indexed,
// E encrypted, O offline. Files get `size` bytes (zeros) or `text`; C, E, N, T and short names
// are stored on the simulation only (Wine cannot store them). Returns "" or a description of
// what could not be built.
std::string BuildTree(const std::string &root, const char *layout);

// Reads the tree below `root` back, one line per entry sorted by path (ASCII case ignored):
//     path[\] attr=LETTERS size=N [text="…" for files up to 64 bytes]
// `ignore` drops attribute bits from the report (for example FILE_ATTRIBUTE_ARCHIVE, which
// Wine always reports on files).
std::string ReadTree(const std::string &root, DWORD ignore = 0);

// Everything below `folder` (ending in "\\") that a run could change, one line per entry in the
// order of a depth-first listing: relative path, attribute word, size, last-write time in 100 ns
// units, and a file's bytes.
std::string TreeSnapshot(const std::string &folder, const std::string &relative = "");

// Text in the layouts' notation ("{E9}" for a character code page 932 lacks) to UTF-16, and back.
std::basic_string<WCHAR> LayoutWide(const std::string &text);
std::string LayoutText(const WCHAR *text);

// Attribute letters as BuildTree and ReadTree use them.
std::string AttributeLetters(DWORD attributes);

// Whole-file helpers through the Win32 calls.
bool WriteWholeFile(const std::string &path, const std::string &data);
std::string ReadWholeFile(const std::string &path);
bool SetWriteTime(const std::string &path, int64_t unixSeconds);
// Deletes a tree (read-only entries included); true when it is gone.
bool DeleteTree(const std::string &path);

// A test whose platform is fresh: on the simulation a new machine; on both a new empty scratch
// folder `root` (ending in "\\") in the temporary folder, deleted afterwards.
class PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string root;
    std::string Path(const std::string &relative) const { return root + relative; }
};

// The end of a copy run: the missing-files viewer before the log viewer, both owned by the main
// dialog; and the missing-files list names every entry by its full path, also when the
// destination was typed relative to the current folder, so that DelDest.bat deletes what the
// list shows wherever it is run from.
#include "copyrun_fixture.h"
#include <algorithm>
#include <cstring>
#include <shlobj.h>
#ifdef KESTREL_SIM
#include "folder_record.h"
#include "viewers_record.h"
#endif

class CopyRunViewersTest : public CopyRunTest {
  protected:
    void SetUp() override {
        CopyRunTest::SetUp();
        ASSERT_NE(0u, GetCurrentDirectoryA(sizeof savedFolder, savedFolder));
#ifdef KESTREL_SIM
        ResetViewerRecord();
        ResetFolderPickerScript();
#endif
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedFolder);
#ifdef KESTREL_SIM
        ResetFolderPickerScript();
#endif
        CopyRunTest::TearDown();
    }
    char savedFolder[MAX_PATH];
};

TEST_F(CopyRunViewersTest, TheMissingFilesViewerComesFirstThenTheLog) {
    SIMULATION_ONLY("the viewers are recorded by the simulation only");
#ifdef KESTREL_SIM
    Build("src\\d\\a.txt\ndst\\d\\gone.txt\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CHECK_MISSING);
    Run(src + "d", dst);
    auto viewers = RecordedViewers();
    ASSERT_EQ(2u, viewers.size());
    EXPECT_EQ(VIEWER_MISSING, viewers[0].kind);
    EXPECT_EQ(VIEWER_LOG, viewers[1].kind);
    EXPECT_EQ(dialog, viewers[0].owner);
    EXPECT_EQ(dialog, viewers[1].owner);
    // Without the check only the log viewer opens.
    ResetViewerRecord();
    ShowConfWord(dialog, CONF_LOG_ALL);
    Run(src + "d", dst);
    viewers = RecordedViewers();
    ASSERT_EQ(1u, viewers.size());
    EXPECT_EQ(VIEWER_LOG, viewers[0].kind);
#endif
}

TEST_F(CopyRunViewersTest, ARelativeDestinationIsListedByItsFullPath) {
    Build("src\\d\\a.txt\ndst\\d\\gone.txt\ndst\\d\\sub\\x.txt\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CHECK_MISSING);
    ASSERT_TRUE(SetCurrentDirectoryA(root.c_str()));
    Run(src + "d", "dst");
    // The destination box writes letters in upper case; the full path keeps the name as typed.
    std::string full = root + "DST\\";
    std::vector<std::string> lines = MissingLines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ((std::vector<std::string>{"D " + full + "d\\sub", "F " + full + "d\\gone.txt", "F " + full + "d\\sub\\x.txt"}),
              lines);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dst + "d\\a.txt").c_str())) << "copied into dst";
#ifdef KESTREL_SIM
    // The batch file written from that list is accepted, run from anywhere.
    std::string desktop = root + "Desktop";
    ASSERT_TRUE(CreateDirectoryA(desktop.c_str(), nullptr));
    SetSpecialFolderPath(CSIDL_DESKTOP, desktop.c_str());
    std::string text;
    for (const std::string &line : MissingLines()) text += line + "\r\n";
    EXPECT_EQ(1, WriteDeleteBatch(dialog, text.c_str()));
    std::string batch = ReadWholeFile(desktop + "\\DelDest.bat");
    EXPECT_NE(std::string::npos, batch.find("del /F /A \"" + full + "d\\gone.txt\"\r\n")) << batch;
#endif
}

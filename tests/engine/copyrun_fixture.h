// A copy run against the main-dialog stand-in, on the simulation and on Wine: the run's settings
// go to a test key of the registry, its records are read back as the log viewer shows them.
#pragma once
#include "controls.h"
#include "copyjob.h"
#include "copylog.h"
#include "log_lines.h"
#include "copyrun.h"
#include "copyworker.h"
#include "patterns.h"
#include "dialog.h"
#include "dialogwords.h"
#include "runstate.h"
#include "settings.h"
#include "tree.h"
#include "viewers.h"
#ifdef KESTREL_SIM
#include "msgbox_record.h"
#endif
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The records of the log document, one string per record ("<mark> name message"; marks: "  "
// level 0, "O " level 1, "X " level 2, "! " level 3), without the summary record that ends every
// run through the worker (its own tests read it).
inline std::vector<std::string> RunLogLines() {
    std::vector<std::string> lines = LogLines();
    if (!lines.empty() && lines.back().compare(0, strlen(SUMMARY_HEAD), SUMMARY_HEAD) == 0) lines.pop_back();
    return lines;
}

inline std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

#define MODE_ALL 0x07FFFFFFu // every category of folders and files, every overwrite; no conditions
#define CONF_LOG_ALL 0x1u    // every record goes into the log

class CopyRunTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        NEEDS_WINDOWS();
        SetSettingsKeyName("KESTREL-TEST");
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL-TEST");
        ASSERT_EQ(0, EnsureSettingsKey());
        PlatformCode = PLATFORM_NT5;
        g_stopRequest = 0;
        g_idleFlag = 1;
        g_workerStarting = 0;
        g_progressLine.watch = nullptr;
        ResetCopyLog();
#ifdef KESTREL_SIM
        ResetMessageBoxRecord();
#endif
        dialog = CreateTestMainDialog();
        ASSERT_NE(nullptr, dialog);
        for (int list = 0; list < HISTORY_LIST_COUNT; list++) LoadHistory(dialog, (HistoryList)list);
        ShowModeWord(dialog, MODE_ALL);
        ShowConfWord(dialog, CONF_LOG_ALL);
        src = root + "src\\";
        dst = root + "dst\\";
    }
    void TearDown() override {
        if (dialog) DestroyTestMainDialog(dialog);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL-TEST");
        SetSettingsKeyName(nullptr);
        g_stopRequest = 0;
        g_progressLine.watch = nullptr;
        PlatformTest::TearDown();
    }
    void Fields(const std::string &sources, const std::string &dest, const std::string &tcd = "*",
                const std::string &tcf = "*", const std::string &tud = "", const std::string &tuf = "") {
        SetControlText(dialog, IDC_SOURCES, sources);
        SetControlText(dialog, IDC_DEST, dest);
        SetControlText(dialog, IDC_TCD, tcd);
        SetControlText(dialog, IDC_TCF, tcf);
        SetControlText(dialog, IDC_TUD, tud);
        SetControlText(dialog, IDC_TUF, tuf);
    }
    // One whole run on this thread (the dialog's own thread on Windows); returns its records.
    std::vector<std::string> Run(const std::string &sources, const std::string &dest, const std::string &tcd = "*",
                                 const std::string &tcf = "*", const std::string &tud = "",
                                 const std::string &tuf = "") {
        Fields(sources, dest, tcd, tcf, tud, tuf);
        MarkRunStart(); // as the start button's press does
        CopyRunThread(dialog);
        return RunLogLines();
    }
    void Build(const char *layout) { ASSERT_EQ("", BuildTree(root, layout)); }
    std::string Dest(DWORD ignore = FILE_ATTRIBUTE_ARCHIVE) { return ReadTree(dst, ignore); }
    // The destination as the run uses it: the dialog keeps the saved history entry, upper-cased.
    std::string UpperDest() {
        std::string upper = dst;
        UpcaseAscii(&upper[0]);
        return upper;
    }
    HWND dialog = nullptr;
    std::string src, dst;
};

// A whole copy run on the simulated Windows over a tree of 100,000 entries (folders and files with
// a realistic mix of names, hidden files and refusals): entries per second, the memory the walk
// holds at its peak (LocalAlloc blocks), and the process's peak resident size.
#include "controls.h"
#include "copylog.h"
#include "copyrun.h"
#include "copyworker.h"
#include "dialogwords.h"
#include "runstate.h"
#include "settings.h"
#include "simwin.h"
#include "simwin_dialog.h"
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <cstdio>
#include <cstring>
#include <string>

static const char *const STEMS[] = {"report_%d.txt", "IMG_2026%04d.jpg", "main%d.cpp", "main%d.h", "~$draft%d.doc",
                                    "notes%d.txt", "build%d.tmp", "data%d.csv", "表計算%d.xls", "setup%d.exe"};

// Builds C:\SRC\ with `entries` entries: 20 top folders (two of them excluded by pattern), 10
// subfolders in each and 5 below each of those, the files spread evenly over the 1,000 leaves.
static int BuildSource(int entries) {
    CreateDirectoryA("C:\\SRC", nullptr);
    CreateDirectoryA("C:\\DST", nullptr);
    int made = 0;
    const int leaves = 1000, folders = 20 + 200 + leaves;
    int filesPerLeaf = (entries - folders) / leaves;
    char path[MAX_PATH], name[64];
    for (int a = 0; a < 20; a++) {
        snprintf(path, sizeof path, a == 7 ? "C:\\SRC\\_cache%02d" : a == 13 ? "C:\\SRC\\$trash%02d" : "C:\\SRC\\proj%02d", a);
        CreateDirectoryA(path, nullptr);
        made++;
        for (int b = 0; b < 10; b++) {
            std::string sub = std::string(path) + "\\sub" + std::to_string(b);
            CreateDirectoryA(sub.c_str(), nullptr);
            made++;
            for (int c = 0; c < 5; c++) {
                std::string leaf = sub + "\\leaf" + std::to_string(c);
                CreateDirectoryA(leaf.c_str(), nullptr);
                made++;
                for (int f = 0; f < filesPerLeaf; f++) {
                    snprintf(name, sizeof name, STEMS[f % 10], f);
                    std::string file = leaf + "\\" + name;
                    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
                    if (h != INVALID_HANDLE_VALUE) {
                        DWORD written;
                        WriteFile(h, name, (DWORD)strlen(name), &written, nullptr);
                        CloseHandle(h);
                    }
                    if (f % 17 == 0) SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
                    made++;
                }
            }
        }
    }
    return made;
}

static HWND MakeDialog() {
    HWND dialog = SimCreateDialog();
    for (int id = 1001; id <= 1046; id++) {
        if (id == IDC_DEST || id == IDC_TCF || id == IDC_TCD || id == IDC_TUF || id == IDC_TUD)
            SimAddComboBox(dialog, id, true);
        else
            SimAddControl(dialog, id, "");
    }
    SetDlgItemTextA(dialog, IDC_SOURCES, "C:\\SRC");
    SetDlgItemTextA(dialog, IDC_DEST, "C:\\DST");
    SetDlgItemTextA(dialog, IDC_TCD, "*");
    SetDlgItemTextA(dialog, IDC_TUD, "_* $*");
    SetDlgItemTextA(dialog, IDC_TCF, "*");
    SetDlgItemTextA(dialog, IDC_TUF, "*.TMP ~* $*");
    ShowModeWord(dialog, 0x16030180u | (1u << 27)); // the default words with the same-size test
    ShowConfWord(dialog, 0);
    return dialog;
}

static long PeakResidentKiB() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// `again`: the destination already holds an earlier run's copy, so every folder exists and every
// file is judged by size (the typical second run of a backup).
static void RunBenchmark(benchmark::State &state, bool again) {
    int entries = 0;
    size_t walkPeak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SimReset();
        entries = BuildSource((int)state.range(0));
        EnsureSettingsKey();
        HWND dialog = MakeDialog();
        g_stopRequest = 0;
        if (again) CopyRunThread(dialog);
        size_t before = SimLocalMemoryInUse();
        SimResetLocalMemoryPeak();
        state.ResumeTiming();
        CopyRunThread(dialog);
        state.PauseTiming();
        walkPeak = SimLocalMemoryPeak() - before;
        SimDestroyDialog(dialog);
        state.ResumeTiming();
    }
    state.counters["entries"] = entries;
    state.counters["entries/s"] = benchmark::Counter(entries, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["walk_peak_bytes"] = (double)walkPeak;
    state.counters["peak_rss_KiB"] = (double)PeakResidentKiB();
    state.counters["log_bytes"] = g_copyLog.length;
}
static void BM_CopyRun(benchmark::State &state) { RunBenchmark(state, false); }
static void BM_CopyRunAgain(benchmark::State &state) { RunBenchmark(state, true); }
BENCHMARK(BM_CopyRun)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CopyRunAgain)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

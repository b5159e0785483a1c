// KESTREL's copy run under the real platform, started as the start button starts it: the main
// dialog's stand-in lives on this (the user-interface) thread, which runs its message loop while
// the worker thread walks and talks to the dialog through window messages.
//
//     kestrel_copyrun_bench SOURCES DEST [--mode HEX] [--conf HEX] [--log FILE] [--count]
//
// Prints "elapsed_ms N" (from the press of the start button to the dialog being idle again), the
// log document's length, the process's peak memory and, with --count, the platform calls the
// program made. --log writes the log document (RTF) to FILE.
#include "callcount.h"
#include "controls.h"
#include "copyjob.h"
#include "copylog.h"
#include "copyrun.h"
#if __has_include("copyworker.h")
#include "copyworker.h" // the worker and the start button, with the dialog's progress timer
#endif
#include "dialog.h"
#include "dialogwords.h"
#include "runstate.h"
#include "settings.h"
#include "viewers.h"
#include <windows.h>
#include <psapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A run has ended once the worker has let go of the start rules and the dialog is idle again.
static bool RunEnded(bool *running) {
    if (g_idleFlag == 0) *running = true;
    return g_workerStarting == 0 && g_idleFlag == 1;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s SOURCES DEST [--mode HEX] [--conf HEX] [--log FILE] [--count]\n", argv[0]);
        return 2;
    }
    DWORD mode = 0x16030180, conf = 0; // the words of an empty settings store
    const char *logFile = nullptr;
    bool count = false;
    for (int i = 3; i < argc; i++) {
        if (!strcmp(argv[i], "--mode") && i + 1 < argc)
            mode = strtoul(argv[++i], nullptr, 16);
        else if (!strcmp(argv[i], "--conf") && i + 1 < argc)
            conf = strtoul(argv[++i], nullptr, 16);
        else if (!strcmp(argv[i], "--log") && i + 1 < argc)
            logFile = argv[++i];
        else if (!strcmp(argv[i], "--count"))
            count = true;
    }
    SetSettingsKeyName("KESTREL-BENCH");
    if (EnsureSettingsKey() < 0) {
        fprintf(stderr, "the settings key cannot be made\n");
        return 1;
    }
    PlatformCode = PLATFORM_NT5;
    HWND dialog = CreateTestMainDialog();
    if (!dialog) {
        fprintf(stderr, "no dialog (no display?)\n");
        return 1;
    }
    for (int list = 0; list < HISTORY_LIST_COUNT; list++) LoadHistory(dialog, (HistoryList)list);
    SetControlText(dialog, IDC_SOURCES, argv[1]);
    SetControlText(dialog, IDC_DEST, argv[2]); // the combo box upper-cases it, as the dialog's does
    SetControlText(dialog, IDC_TCD, "*");
    SetControlText(dialog, IDC_TCF, "*");
    SetControlText(dialog, IDC_TUD, "");
    SetControlText(dialog, IDC_TUF, "");
    ShowModeWord(dialog, mode);
    ShowConfWord(dialog, conf);
    g_idleFlag = 1;
    if (count) StartCountingCalls();

    // The message loop of the user-interface thread; a slow timer lets it look at the run's state.
    SetTimer(nullptr, 0, 20, nullptr);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    PressStartButton(dialog);
    bool running = false;
    MSG msg;
    while (!RunEnded(&running) && GetMessageA(&msg, nullptr, 0, 0) > 0) {
#ifdef PROGRESS_TIMER_ID
        // What the main dialog's procedure does with its progress timer.
        if (msg.message == WM_TIMER && msg.hwnd == dialog && msg.wParam == PROGRESS_TIMER_ID) {
            ShowRunProgress(dialog);
            continue;
        }
#endif
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    QueryPerformanceCounter(&end);
    if (count) PrintCallCounts();
    double ms = (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
    PROCESS_MEMORY_COUNTERS memory;
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    printf("elapsed_ms %.1f\nlog_bytes %lu\nlog_full %d\npeak_private_KiB %lu\npeak_working_set_KiB %lu\n", ms,
           (unsigned long)g_copyLog.length, (int)g_copyLog.full, (unsigned long)(memory.PeakPagefileUsage / 1024),
           (unsigned long)(memory.PeakWorkingSetSize / 1024));
    if (logFile) {
        FILE *out = fopen(logFile, "wb");
        if (out) {
            fwrite(g_copyLog.text, 1, g_copyLog.length, out);
            fclose(out);
        }
    }
    DestroyTestMainDialog(dialog);
    if (!running && g_logViewerShown == 0) {
        fprintf(stderr, "the run did not start (refused inputs?)\n");
        return 1;
    }
    return 0;
}

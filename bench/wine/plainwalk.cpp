// The platform's floor for a copy run: a plain depth-first walker that copies a folder with
// CopyFileW and nothing else (no patterns, no attributes, no log).
//
//     kestrel_plainwalk SOURCE DEST [--newer] [--count]
//
// copies the folder SOURCE to DEST\<its name>. With --newer, each destination folder is listed
// once and a file is copied only when it is absent there or its source is newer (the second run
// over an existing copy). Prints "elapsed_ms N", "entries N" and, with --count, the platform calls.
#include "callcount.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static bool s_newer = false;
static long s_entries = 0, s_failures = 0;

struct Existing {
    std::wstring upper; // names compare without regard to case, as the file system does
    ULONGLONG written;
};

static std::wstring Upper(const wchar_t *name) {
    std::wstring text(name);
    CharUpperBuffW(&text[0], (DWORD)text.size());
    return text;
}

static ULONGLONG Written(const FILETIME &time) { return ((ULONGLONG)time.dwHighDateTime << 32) | time.dwLowDateTime; }

static bool Dots(const wchar_t *name) { return !wcscmp(name, L".") || !wcscmp(name, L".."); }

static void CopyFolder(const std::wstring &source, const std::wstring &dest) {
    if (!CreateDirectoryW(dest.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        s_failures++;
        return;
    }
    WIN32_FIND_DATAW found;
    std::vector<Existing> existing;
    if (s_newer) {
        HANDLE list = FindFirstFileW((dest + L"\\*").c_str(), &found);
        if (list != INVALID_HANDLE_VALUE) {
            do {
                if (!Dots(found.cFileName)) existing.push_back({Upper(found.cFileName), Written(found.ftLastWriteTime)});
            } while (FindNextFileW(list, &found));
            FindClose(list);
        }
        std::sort(existing.begin(), existing.end(),
                  [](const Existing &a, const Existing &b) { return a.upper < b.upper; });
    }
    HANDLE list = FindFirstFileW((source + L"\\*").c_str(), &found);
    if (list == INVALID_HANDLE_VALUE) return;
    do {
        if (Dots(found.cFileName)) continue;
        s_entries++;
        std::wstring from = source + L"\\" + found.cFileName, to = dest + L"\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CopyFolder(from, to);
            continue;
        }
        if (s_newer) {
            Existing key{Upper(found.cFileName), 0};
            auto at = std::lower_bound(existing.begin(), existing.end(), key,
                                       [](const Existing &a, const Existing &b) { return a.upper < b.upper; });
            if (at != existing.end() && at->upper == key.upper && Written(found.ftLastWriteTime) <= at->written)
                continue;
        }
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) s_failures++;
    } while (FindNextFileW(list, &found));
    FindClose(list);
}

int wmain(int argc, wchar_t **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: kestrel_plainwalk SOURCE DEST [--newer] [--count]\n");
        return 2;
    }
    bool count = false;
    for (int i = 3; i < argc; i++) {
        if (!wcscmp(argv[i], L"--newer")) s_newer = true;
        if (!wcscmp(argv[i], L"--count")) count = true;
    }
    if (count) StartCountingCalls();
    std::wstring source = argv[1], dest = argv[2];
    while (!source.empty() && source.back() == L'\\') source.pop_back();
    while (!dest.empty() && dest.back() == L'\\') dest.pop_back();
    size_t cut = source.find_last_of(L'\\');
    std::wstring name = cut == std::wstring::npos ? source : source.substr(cut + 1);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    s_entries = 1;
    CopyFolder(source, dest + L"\\" + name);
    QueryPerformanceCounter(&end);
    if (count) PrintCallCounts();
    printf("elapsed_ms %.1f\nentries %ld\nfailures %ld\n",
           (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart, s_entries, s_failures);
    return s_failures ? 1 : 0;
}

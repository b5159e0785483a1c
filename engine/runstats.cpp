// The run's counts, kept as the log sees its records, its start, and the texts made of them.
#include "runstats.h"
#include "copyrun.h"
#include "patterns.h"
#include <atomic>
#include <initializer_list>
#include <cstring>

// Written by the worker alone (one writer: a load and a store, no locked instruction); read by
// the user-interface thread for the progress line.
static std::atomic<DWORD> s_copied{0}, s_folders{0}, s_refused{0}, s_errors{0}, s_warnings{0};
static std::atomic<uint64_t> s_bytes{0};
// The size of the file the walk is about to copy (worker only).
static uint64_t s_toCopy;
// Set by the user-interface thread before it starts the worker, read by the worker afterwards.
static DWORD s_startTick;
static SYSTEMTIME s_startTime;

template <typename T> static void Add(std::atomic<T> &count, T n) {
    count.store(count.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
}

RunCounts CurrentRunCounts() {
    return {s_copied.load(std::memory_order_relaxed),  s_bytes.load(std::memory_order_relaxed),
            s_folders.load(std::memory_order_relaxed), s_refused.load(std::memory_order_relaxed),
            s_errors.load(std::memory_order_relaxed),  s_warnings.load(std::memory_order_relaxed)};
}

void ResetRunCounts() {
    for (std::atomic<DWORD> *count : {&s_copied, &s_folders, &s_refused, &s_errors, &s_warnings})
        count->store(0, std::memory_order_relaxed);
    s_bytes.store(0, std::memory_order_relaxed);
    s_toCopy = 0;
}

// What a record tells beyond its level, by its message: the walk's messages of a copy and of a
// created folder (real, trial, and without the attributes set), the existing destination folder
// (level 0, but no refusal), and the two level-3 records that are no warning.
enum Meaning { COPY, FOLDER, NOT_REFUSED, NOT_WARNING };
static const struct {
    unsigned level;
    const char *message;
    Meaning meaning;
} MEANINGS[] = {
    {1, MSG_COPIED, COPY},
    {1, MSG_TRIAL_COPIED, COPY},
    {3, MSG_COPIED_NO_ATTRIBUTES, COPY},
    {1, MSG_FOLDER_CREATED, FOLDER},
    {1, MSG_TRIAL_FOLDER_CREATED, FOLDER},
    {3, MSG_FOLDER_CREATED_NO_ATTRIBUTES, FOLDER},
    {0, MSG_FOLDER_EXISTS, NOT_REFUSED},
    {3, MSG_RUN_STOPPED, NOT_WARNING},
    {3, MSG_TRIAL_RUN, NOT_WARNING},
};

void CountLogRecord(unsigned level, const char *message) {
    bool refusal = level == 0, warning = level == 3;
    if (level == 2) Add(s_errors, (DWORD)1);
    for (const auto &m : MEANINGS) {
        if (m.level != level || !message || strcmp(m.message, message) != 0) continue;
        if (m.meaning == COPY) {
            Add(s_copied, (DWORD)1);
            Add(s_bytes, s_toCopy);
        }
        if (m.meaning == FOLDER) Add(s_folders, (DWORD)1);
        if (m.meaning == NOT_REFUSED) refusal = false;
        if (m.meaning == NOT_WARNING) warning = false;
        break;
    }
    if (refusal) Add(s_refused, (DWORD)1);
    if (warning) Add(s_warnings, (DWORD)1);
    s_toCopy = 0;
}

void NoteFileToCopy(int64_t size) { s_toCopy = size > 0 ? (uint64_t)size : 0; }

void MarkRunStart() {
    s_startTick = GetTickCount();
    GetLocalTime(&s_startTime);
}

// Unsigned: right across the tick counter's wrap after 49.7 days.
DWORD SecondsSinceRunStart() { return (GetTickCount() - s_startTick) / 1000; }

SYSTEMTIME RunStartTime() { return s_startTime; }

// ---- texts ----

// Appends pieces to a work area, never past its end (the caller's area is large enough for every
// text it composes; what would not fit is left out).
struct Text {
    char *out;
    char *end;
    void Put(const char *piece) {
        size_t n = strlen(piece);
        if (n > (size_t)(end - out)) n = (size_t)(end - out);
        memcpy(out, piece, n);
        out += n;
    }
    // `value` in decimal, with at least `width` digits, and a comma between each group of three
    // digits when `grouped`.
    void PutNumber(uint64_t value, int width, bool grouped) {
        char digits[32], forward[32];
        int n = 0, places = 0;
        do {
            if (grouped && places > 0 && places % 3 == 0) digits[n++] = ',';
            digits[n++] = (char)('0' + value % 10);
            value /= 10;
            places++;
        } while (value != 0 || places < width);
        for (int i = 0; i < n; i++) forward[i] = digits[n - 1 - i];
        forward[n] = '\0';
        Put(forward);
    }
};

void FormatCount(uint64_t count, char *out) {
    Text t = {out, out + 26};
    t.PutNumber(count, 1, true);
    *t.out = '\0';
}

// Copies the first `n` bytes of `from` into `out` (`size` bytes), cut at a character boundary.
static size_t Finish(char *out, size_t size, const char *from, size_t n) {
    if (size == 0) return 0;
    size_t kept = 0;
    while (kept < n) {
        size_t step = IsLeadByteValue((unsigned char)from[kept]) && kept + 1 < n ? 2 : 1;
        if (kept + step > size - 1) break;
        kept += step;
    }
    memcpy(out, from, kept);
    out[kept] = '\0';
    return kept;
}

size_t FormatRunSummary(char *out, size_t size, const RunCounts &counts, DWORD seconds, bool trial) {
    char area[512];
    Text t = {area, area + sizeof area};
    const struct {
        const char *before;
        uint64_t count;
    } parts[] = {{"コピー ", counts.copied},           {" 件（", counts.bytes},         {" バイト）、フォルダ作成 ", counts.folders},
                 {" 件、未コピー ", counts.refused}, {" 件、エラー ", counts.errors}, {" 件、警告 ", counts.warnings}};
    for (const auto &part : parts) {
        t.Put(part.before);
        t.PutNumber(part.count, 1, true);
    }
    t.Put(" 件、経過時間 ");
    t.PutNumber(seconds / 3600, 1, false);
    t.Put(":");
    t.PutNumber(seconds / 60 % 60, 2, false);
    t.Put(":");
    t.PutNumber(seconds % 60, 2, false);
    if (trial) t.Put("（確認のみ）");
    return Finish(out, size, area, (size_t)(t.out - area));
}

void FormatProgressLine(char *out, size_t size, DWORD copied, uint64_t bytes, const char *name) {
    if (size == 0) return;
    out[0] = '\0';
    if (!name || !name[0]) return;
    static const char *const UNITS[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    char area[128];
    Text t = {area, area + sizeof area};
    t.PutNumber(copied, 1, true);
    t.Put(" 件 ");
    // Whole units below 1,024 (but for at most 15 EB): no separator.
    if (bytes < 1024) {
        t.PutNumber(bytes, 1, false);
        t.Put(" B");
    } else {
        uint64_t unit = 1024;
        int u = 0;
        while (u < 5 && bytes / unit >= 1024) unit *= 1024, u++;
        t.PutNumber(bytes / unit, 1, false);
        t.Put(".");
        t.PutNumber((bytes % unit) * 10 / unit, 1, false);
        t.Put(" ");
        t.Put(UNITS[u]);
    }
    t.Put("  ");
    size_t head = (size_t)(t.out - area);
    if (head >= size) {
        out[0] = '\0';
        return;
    }
    memcpy(out, area, head);
    Finish(out + head, size - head, name, strlen(name));
}

// Appending to the log document: fill the whole 8 MiB document with realistic records and
// compare with memcpy of the same bytes (the escaped records) into a buffer of the same size.
#include "copyjob.h"
#include "copylog.h"
#include <benchmark/benchmark.h>
#include <cstring>
#include <string>
#include <vector>

struct Record {
    std::string name;
    const char *message;
    unsigned level;
};

// Relative paths as a walk of a work folder produces them, with double-byte names (some with a
// trail byte 0x5C), braces and the messages of the run, in the proportions of a typical run.
static std::vector<Record> Records() {
    static const char *folders[] = {"", "src\\", "docs\\2026\\", "写真\\ソフトウェア\\", "表計算\\月次{旧}\\",
                                    "projects\\kestrel\\engine\\tests\\fixtures\\"};
    static const char *files[] = {"readme.txt", "main.cpp", "予算表.xlsx", "IMG_20261107_093015.jpg",
                                  "ｱﾝｹｰﾄ結果.doc", "very_long_file_name_with_many_parts_and_words_in_it.bak"};
    static const struct {
        const char *message;
        unsigned level;
    } outcomes[] = {{"コピーしました。", 1}, {"コピーしました。", 1}, {"上書きコピーしました。", 1},
                    {"同じ日付か古いのでコピーしません。", 0}, {"フォルダを作成しました。", 1},
                    {"コピー先に同名のフォルダがあるのでコピーできません。", 2},
                    {"コピーしました。（属性未設定）", 3}};
    std::vector<Record> records;
    int i = 0;
    for (auto f : folders)
        for (auto n : files) {
            auto &o = outcomes[i++ % (sizeof outcomes / sizeof outcomes[0])];
            records.push_back({std::string(f) + n, o.message, o.level});
        }
    return records;
}

static void BM_CopyLogFill(benchmark::State &state) {
    auto records = Records();
    g_runConf = CONF_LOG_NOT_COPIED; // every level is written
    int64_t count = 0, bytes = 0;
    for (auto _ : state) {
        ResetCopyLog();
        DWORD start = g_copyLog.length;
        for (size_t i = 0; g_copyLog.full == 0; i = (i + 1) % records.size()) {
            CopyLogRecord(records[i].name.c_str(), records[i].message, records[i].level);
            count++;
        }
        count--; // the record that did not fit
        bytes += g_copyLog.length - start;
    }
    state.SetItemsProcessed(count);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_CopyLogFill)->Unit(benchmark::kMillisecond);

// The same escaped records, appended with memcpy into an 8 MiB buffer until it is full.
static void BM_MemcpySameBytes(benchmark::State &state) {
    auto records = Records();
    std::vector<std::string> escaped;
    g_runConf = CONF_LOG_NOT_COPIED;
    for (auto &r : records) {
        ResetCopyLog();
        DWORD start = g_copyLog.length;
        CopyLogRecord(r.name.c_str(), r.message, r.level);
        escaped.emplace_back(g_copyLog.text + start, g_copyLog.length - start);
    }
    std::vector<char> buffer(LOG_DOCUMENT_CAPACITY);
    int64_t count = 0, bytes = 0;
    for (auto _ : state) {
        size_t length = 0;
        for (size_t i = 0;; i = (i + 1) % escaped.size()) {
            const std::string &e = escaped[i];
            if (length + e.size() + 2 > buffer.size()) break;
            memcpy(buffer.data() + length, e.data(), e.size());
            length += e.size();
            count++;
        }
        buffer[length] = 0;
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
        bytes += (int64_t)length;
    }
    state.SetItemsProcessed(count);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMillisecond);

// One record appended at a given fill of the log document (percent): the cost must not depend on
// how much text is already there.
static void BM_CopyLogRecordAtFill(benchmark::State &state) {
    auto records = Records();
    g_runConf = CONF_LOG_NOT_COPIED;
    ResetCopyLog();
    DWORD at = (DWORD)((uint64_t)LOG_DOCUMENT_CAPACITY * (uint64_t)state.range(0) / 100);
    if (at < g_copyLog.length) at = g_copyLog.length; // after the prologue
    if (at > g_copyLog.length) {
        memset(g_copyLog.text + g_copyLog.length, 'x', at - g_copyLog.length);
        g_copyLog.text[at] = 0;
        g_copyLog.length = at;
    }
    size_t i = 0;
    for (auto _ : state) {
        CopyLogRecord(records[i].name.c_str(), records[i].message, records[i].level);
        g_copyLog.text[at] = 0; // take the record back out
        g_copyLog.length = at;
        i = (i + 1) % records.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyLogRecordAtFill)->Arg(0)->Arg(50)->Arg(99);

// Name matching speed: MatchWildcard against the C library's fnmatch on the same name and
// pattern pairs (a realistic mix of file names and the pattern lists users keep), and on pairs
// that make a matcher go back many times.
#include "patterns.h"
#include <benchmark/benchmark.h>
#include <cstring>
#include <fnmatch.h>
#include <string>
#include <vector>

static std::vector<std::string> Names() {
    static const char *stems[] = {"readme", "Makefile", "main", "report_2026_final", "IMG_20261107_093015",
                                  "~$budget", "_backup", "$RECYCLE", "index", "thumbs", "setup", "data.tar",
                                  "very_long_file_name_with_many_parts_and_words_in_it", "表計算", "ｱﾝｹｰﾄ"};
    static const char *exts[] = {".txt", ".TXT", ".doc", ".cpp", ".h", ".jpg", ".tmp", ".bak", "", ".gz", ".xlsx"};
    std::vector<std::string> names;
    for (auto s : stems)
        for (auto e : exts) names.push_back(std::string(s) + e);
    return names;
}

static std::vector<std::string> Patterns() {
    return {"*", "*.TXT", "*.DOC", "*.H", "*.C", "*.CPP", "*.TMP", "$*", "_*", "~*", "IMG_????????_*.JPG",
            "*REPORT*", "*.BAK", "MAIN.?", "*.tar.gz"};
}

static void BM_MatchWildcard(benchmark::State &state) {
    auto names = Names();
    auto patterns = Patterns();
    int64_t matches = 0;
    for (auto _ : state)
        for (auto &n : names)
            for (auto &p : patterns) matches += MatchWildcard(n.c_str(), p.c_str());
    benchmark::DoNotOptimize(matches);
    state.SetItemsProcessed(state.iterations() * (int64_t)(names.size() * patterns.size()));
}
BENCHMARK(BM_MatchWildcard);

static void BM_Fnmatch(benchmark::State &state) {
    auto names = Names();
    auto patterns = Patterns();
    int64_t matches = 0;
    for (auto _ : state)
        for (auto &n : names)
            for (auto &p : patterns) matches += fnmatch(p.c_str(), n.c_str(), FNM_CASEFOLD) == 0;
    benchmark::DoNotOptimize(matches);
    state.SetItemsProcessed(state.iterations() * (int64_t)(names.size() * patterns.size()));
}
BENCHMARK(BM_Fnmatch);

// Pairs made to make a matcher go back again and again: many stars against a long run of one
// letter, where the last star fails at every place it can end.
struct AdversarialPair {
    const char *pattern;
    std::string name;
};
static const std::vector<AdversarialPair> &AdversarialPairs() {
    static const std::vector<AdversarialPair> pairs = {
        {"*a*a*a*a*b", std::string(200, 'a')},
        {"*a*a*a*a*b*", std::string(200, 'a')},
        {"*?*?*?*?*b", std::string(200, 'a')},
        {"a*a*a*a*a*a*a*a*a*a*", std::string(200, 'a')},
        {"*ab*ab*ab*ab*ab*c", [] {
             std::string s;
             for (int i = 0; i < 100; i++) s += "ab";
             return s;
         }()},
    };
    return pairs;
}

static void BM_MatchWildcardAdversarial(benchmark::State &state) {
    const AdversarialPair &pair = AdversarialPairs()[(size_t)state.range(0)];
    state.SetLabel(pair.pattern);
    int64_t matches = 0;
    for (auto _ : state) matches += MatchWildcard(pair.name.c_str(), pair.pattern);
    benchmark::DoNotOptimize(matches);
}
BENCHMARK(BM_MatchWildcardAdversarial)->DenseRange(0, 4);

static void BM_FnmatchAdversarial(benchmark::State &state) {
    const AdversarialPair &pair = AdversarialPairs()[(size_t)state.range(0)];
    state.SetLabel(pair.pattern);
    int64_t matches = 0;
    for (auto _ : state) matches += fnmatch(pair.pattern, pair.name.c_str(), FNM_CASEFOLD) == 0;
    benchmark::DoNotOptimize(matches);
}
BENCHMARK(BM_FnmatchAdversarial)->DenseRange(0, 4);

static void BM_SplitWords(benchmark::State &state) {
    const std::string text = "*.H *.C *.CPP \"MY *\" '$* _*' ~* C:\\data\\表 \"C:\\Program Files\\x\"";
    char buf[512];
    for (auto _ : state) {
        memcpy(buf, text.c_str(), text.size() + 1);
        int count;
        char **words;
        SplitWords(buf, &count, &words);
        benchmark::DoNotOptimize(words);
        LocalFree(words);
    }
}
BENCHMARK(BM_SplitWords);

BENCHMARK_MAIN();

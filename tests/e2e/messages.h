// The texts the GUI test program shows and the driver checks, by name.
#pragma once
#include <cstring>

struct BenchMessage {
    const char *name;
    const char *text;
};

static const BenchMessage BENCH_MESSAGES[] = {
    {"empty", ""},
    {"japanese", "コピー先のフォルダを作成できません。\nフォルダ名とドライブの空きを確かめてください。"},
    {"tabs", "A\tB\n漢字\tX\nABCD\tE"},
    {"short", "OK?"},
    {"wide", "0123456789012345678901234567890123456789012345678901234567890123456789"
             "0123456789012345678901234567890123456789012345678901234567890123456789"
             "0123456789012345678901234567890123456789012345678901234567890123456789"},
};

inline const char *BenchMessageText(const char *name) {
    for (const BenchMessage &m : BENCH_MESSAGES)
        if (strcmp(m.name, name) == 0) return m.text;
    return nullptr;
}

// The progress line's shared slot.
#include "progress.h"
#include "patterns.h"
#include <cstring>
#include <thread>

static void Lock(ProgressLine *line) {
    while (line->busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
}

static void Unlock(ProgressLine *line) { line->busy.clear(std::memory_order_release); }

// Copies at most size - 1 bytes of `from`, never ending in the middle of a double-byte character.
static void CopyCut(char *to, const char *from, size_t size) {
    size_t n = 0;
    while (from[n]) {
        size_t step = IsLeadByteValue((unsigned char)from[n]) && from[n + 1] ? 2 : 1;
        if (n + step > size - 1) break;
        n += step;
    }
    memcpy(to, from, n);
    to[n] = '\0';
}

void PublishProgress(ProgressLine *line, const char *text) {
    if (!line) return;
    Lock(line);
    CopyCut(line->text, text, sizeof line->text);
    line->published.fetch_add(1, std::memory_order_relaxed);
    Unlock(line);
    if (line->watch) line->watch(line->watchContext, text);
}

bool TakeProgress(ProgressLine *line, char *text, size_t size) {
    if (!line || size == 0) return false;
    if (line->published.load(std::memory_order_relaxed) == line->taken.load(std::memory_order_relaxed)) return false;
    Lock(line);
    unsigned published = line->published.load(std::memory_order_relaxed);
    bool fresh = published != line->taken.load(std::memory_order_relaxed);
    if (fresh) {
        line->taken.store(published, std::memory_order_relaxed);
        CopyCut(text, line->text, size);
    }
    Unlock(line);
    return fresh;
}

// The progress line of a copy run: the walk publishes the entry it is visiting, and whoever shows
// the line takes the latest text at its own pace. Publishing never waits for the reader: it only
// copies the text into a shared slot.
#pragma once
#include <atomic>
#include <cstddef>

// Longer texts are cut, at a character boundary, to fit the slot (a label shows no more anyway).
#define PROGRESS_TEXT_SIZE 1024

struct ProgressLine {
    // Held only while a text is copied into or out of `text`: never across a call that could wait.
    std::atomic_flag busy = ATOMIC_FLAG_INIT;
    std::atomic<unsigned> published{0}; // counts the publications
    std::atomic<unsigned> taken{0};     // the publication taken last (changed under `busy`)
    char text[PROGRESS_TEXT_SIZE] = "";
    // Called on the publishing thread right after each publication, with the text as published;
    // null: nobody watches. Set before a run starts, never during one.
    void (*watch)(void *context, const char *text) = nullptr;
    void *watchContext = nullptr;
};

// The walk's side: `text` becomes the line's text. A null line takes nothing.
void PublishProgress(ProgressLine *line, const char *text);

// The reader's side: copies the line's text into `text` (`size` bytes, always terminated) and
// returns true when it was published after the last take; false (and `text` untouched) when
// nothing new was published. Each publication is taken once, by whichever reader comes first.
bool TakeProgress(ProgressLine *line, char *text, size_t size);

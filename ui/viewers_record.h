// Host build only: the viewers a run asked for, in order. The host build has no rich-edit
// control: a viewer is recorded with its owner, its document is closed with its brace as the
// real viewer's streaming closes it, and it counts as closed by the user at once.
#pragma once
#include <windows.h>
#include <vector>
#include "viewers.h"

struct RecordedViewer {
    HWND owner;
    ViewerKind kind;
    size_t boxesBefore; // message boxes recorded before the viewer opened (its warning among them)
};

void ResetViewerRecord();
std::vector<RecordedViewer> RecordedViewers();

// Dialog-control declarations of the simulated Windows beyond the first window calls: button
// images, thread start of the C runtime.
#pragma once
#include "simwin_types.h"

#define IMAGE_BITMAP 0
#define IMAGE_ICON 1

struct SimWindow;
BOOL DestroyWindow(struct SimWindow *window);

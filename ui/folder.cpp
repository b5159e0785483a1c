// The placement arithmetic of CenterWindow, which every build runs.
#include "folder.h"

ScreenPoint CenterPlacement(const ScreenRect &reference, int width, int height, const ScreenRect &work) {
    ScreenPoint p;
    p.x = reference.left + (RectWidth(reference) - width) / 2;
    p.y = reference.top + (RectHeight(reference) - height) / 2;
    if (p.x + width > work.right) p.x = work.right - width;
    if (p.y + height > work.bottom) p.y = work.bottom - height;
    if (p.x < work.left) p.x = work.left;
    if (p.y < work.top) p.y = work.top;
    return p;
}

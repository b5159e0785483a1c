// Dropped files of the simulated shell: a drop handle holds the names a test put into it.
#pragma once
#include "simwin_user.h"
#include <string>
#include <vector>

typedef struct SimDrop *HDROP;
#define WM_DROPFILES 0x0233

// The number of names for index 0xFFFFFFFF; otherwise name `index` copied into `name` (`size`
// bytes, cut to size - 1 and terminated) and its length as copied, or, with a null `name`, the
// length of the whole name without the terminator. 0 for an index out of range.
UINT DragQueryFileA(HDROP drop, UINT index, LPSTR name, UINT size);
// The same in UTF-16 units. A name that code page 932 cannot hold comes whole here, and through
// DragQueryFileA in its best-fit or "?" form, as Windows gives it.
UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR name, UINT size);
void DragFinish(HDROP drop);

// ---- test API ----
// A new drop handle holding `names`.
HDROP SimMakeDrop(const std::vector<std::string> &names);
// The same with names in UTF-16, which may hold characters that code page 932 lacks.
HDROP SimMakeWideDrop(const std::vector<std::u16string> &names);
// Has DragFinish been called for the handle? (The handle stays readable for this question.)
bool SimDropFinished(HDROP drop);

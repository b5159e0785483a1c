// State of a copy run that the user-interface thread and the copy worker share.
#include "runstate.h"

std::atomic<int> g_stopRequest{0};

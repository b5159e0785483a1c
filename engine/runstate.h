// State of a copy run that the user-interface thread and the copy worker share.
#pragma once
#include <atomic>

// The stop request: 0 while a run may go on, 1 once the user has pressed the button to stop it.
// The user-interface thread clears it just before it starts a worker and sets it when the button
// is pressed during a run; the worker (the copy walk and the missing-in-source check) reads it
// once per visited entry, so a stop takes effect between two entries.
extern std::atomic<int> g_stopRequest;

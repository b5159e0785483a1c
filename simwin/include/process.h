// The C runtime's thread start, for the host build: the simulated Windows runs the routine on a
// detached thread. Returns the thread's handle, or (uintptr_t)-1 when it cannot be started (an
// injected fault on "_beginthread" with any path).
#pragma once
#include <cstdint>

uintptr_t _beginthread(void (*routine)(void *), unsigned stackSize, void *argument);

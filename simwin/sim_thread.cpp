// The C runtime's _beginthread for the host build: a detached std::thread.
#include "sim_internal.h"
#include <process.h>
#include <atomic>
#include <system_error>
#include <thread>

uintptr_t _beginthread(void (*routine)(void *), unsigned stackSize, void *argument) {
    (void)stackSize;
    if (SimFaultFires("_beginthread", nullptr)) return (uintptr_t)-1;
    static std::atomic<uintptr_t> nextHandle{0x7000};
    try {
        std::thread(routine, argument).detach();
    } catch (const std::system_error &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return (uintptr_t)-1;
    }
    return nextHandle++;
}

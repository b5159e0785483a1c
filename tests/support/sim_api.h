// The simulation's test API as the Windows builds see it: tests that use it skip on Wine with
// SIMULATION_ONLY before they reach it, so reaching it there is a fault of the test.
#pragma once
#include "tests/support/tree.h"

#ifndef KESTREL_SIM
enum SimFaultMode { SIM_FAULT_NEXT, SIM_FAULT_EVERY, SIM_FAULT_NTH };
inline void SimInjectFault(const char *, const char *, DWORD, SimFaultMode = SIM_FAULT_NEXT, int = 1) {
    ADD_FAILURE() << "fault injection reached on Wine";
}
inline void SimInjectShortWrite(const char *, DWORD, SimFaultMode = SIM_FAULT_NEXT, int = 1) {
    ADD_FAILURE() << "fault injection reached on Wine";
}
inline int SimFaultsFired() {
    ADD_FAILURE() << "fault injection reached on Wine";
    return 0;
}
inline void SimClearFaults() {}
inline HANDLE SimHoldEntry(const char *) {
    ADD_FAILURE() << "SimHoldEntry reached on Wine";
    return nullptr;
}
inline void SimReleaseEntry(HANDLE) {}
#endif

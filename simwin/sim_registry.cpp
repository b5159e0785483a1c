// The simulated Windows' registry (keys and values arrive with the settings store).
#include "sim_internal.h"

void SimResetRegistry() {}

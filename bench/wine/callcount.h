// Counting the platform calls a bench program makes: the program's own import table is patched so
// that each listed call goes through a counter first. Only calls made by the program's module are
// counted (the engine is linked into it), never the calls the platform makes internally.
#pragma once

// Patches the import table; from now on every listed call is counted.
void StartCountingCalls();
// Writes "calls <name> <count>" for every call made at least once, to standard output.
void PrintCallCounts();

// What tests may ask of the simulated Windows beyond the Win32 calls: a fresh machine, raw
// entry state that Win32 cannot set, and fault injection.
#pragma once
#include "windows.h"
#include <string>

// Forget every volume, handle, fault and registry value, and build a fresh machine: drives C:,
// D: and E:, the network share \\SERVER\SHARE, the folder C:\TEMP (the temporary folder) and
// C:\ as the current folder.
void SimReset();

// Add a volume reachable as "X:" or "\\server\share" (a fresh, empty root folder).
void SimAddVolume(const char *root);

// Raw entry state, for what the Win32 calls cannot set (compressed, encrypted, any bit at all,
// sizes larger than the data written, short names). Each returns false when the entry is absent.
bool SimSetRawAttributes(const char *path, DWORD attributes);
bool SimSetSize(const char *path, uint64_t size);
bool SimSetShortName(const char *path, const char *shortName);
bool SimSetLastWriteTime(const char *path, int64_t unixSeconds);
// The time GetLocalTime reports from now on (null: the machine's own clock again, as after
// SimReset).
void SimSetLocalTime(const SYSTEMTIME *time);


// Fault injection. A fault fails a call of the named operation ("GetFileAttributesA", …,
// "LocalAlloc", "CloseHandle" of a file, or "*" for any file-system operation except
// "CloseHandle") whose full path equals `path` (case ignored; null: any path),
// with `error` as the last-error code. SIM_FAULT_NEXT fails the first matching call only,
// SIM_FAULT_EVERY every matching call, SIM_FAULT_NTH only the nth matching call (n from 1).
enum SimFaultMode { SIM_FAULT_NEXT, SIM_FAULT_EVERY, SIM_FAULT_NTH };
void SimInjectFault(const char *op, const char *path, DWORD error, SimFaultMode mode = SIM_FAULT_NEXT,
                    int n = 1);
void SimClearFaults();
// Counts the calls of `op` on `path` (as for a fault) from now on, failing none of them, until
// SimClearFaults; SimCallsCounted tells how many there were.
void SimCountCalls(const char *op, const char *path);
int SimCallsCounted(const char *op, const char *path);
// How many injected faults have fired since the last SimReset or SimClearFaults.
int SimFaultsFired();
// Every injected fault passes through this empty function: a place for a debugger to stop.
void SimFaultHook(const char *op, const char *path, DWORD error);

// Used by the simulation's own calls: true (with the last-error code set) when a fault fires for
// this operation and path. `path` may be null for calls that have none.
bool SimFaultFires(const char *op, const char *path);

// A short write: the matching WriteFile on `path` takes at most `bytes` of the bytes it is given
// (0: none), reports that count and returns TRUE without an error, as a full disk may. Counted
// among the faults fired; a "*" fault does not include it.
#define SIM_SHORT_WRITE "WriteFile (short)"
void SimInjectShortWrite(const char *path, DWORD bytes, SimFaultMode mode = SIM_FAULT_NEXT, int n = 1);
// Used by the simulation's WriteFile: true when a short write fires, with the bytes it takes.
bool SimShortWriteFires(const char *path, DWORD *bytes);
// The same for any operation whose fault's error field holds a byte count.
bool SimShortWriteFires(const char *op, const char *path, DWORD *bytes);

// Hold an entry open without sharing, as another program would; SimReleaseEntry lets it go.
HANDLE SimHoldEntry(const char *path);
void SimReleaseEntry(HANDLE hold);

// How many FindFirstFileA searches are open (not yet closed with FindClose).
int SimOpenFinds();

// Internals of the simulated Windows shared by its source files: entries, volumes, handles and
// path resolution. Everything here is used under the simulation's lock.
#pragma once
#include "simwin.h"
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct SimNode {
    std::string name;       // as stored: case kept; for an entry with a wide name, its key form
    std::u16string wide;    // a name that code page 932 cannot hold exactly (empty for the others)
    std::string shortName;  // optional 8.3 name; empty when none
    DWORD attributes = 0;   // FILE_ATTRIBUTE_* word; FILE_ATTRIBUTE_DIRECTORY for folders
    uint64_t size = 0;      // may exceed data.size(): the rest reads as zeros
    std::string data;
    uint64_t lastWrite = 0; // FILETIME ticks
    uint64_t created = 0;   // FILETIME ticks; set when the entry is made, kept by writes
    SimNode *parent = nullptr;
    std::map<std::string, std::unique_ptr<SimNode>> children; // key: name with ASCII upper-cased
    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

enum SimHandleKind { SIM_HANDLE_FILE = 1, SIM_HANDLE_FIND = 2, SIM_HANDLE_HOLD = 3, SIM_HANDLE_OTHER = 4,
                    SIM_HANDLE_DEVICE = 5 };

struct SimHandle {
    SimHandleKind kind;
    SimNode *node = nullptr;  // file or folder opened; for a find, the folder listed
    DWORD access = 0;
    DWORD share = 0;
    uint64_t position = 0;
    // find state
    std::string mask;
    int phase = 0;            // 0: "." next, 1: ".." next, 2: children
    std::string lastKey;      // key of the child returned last
    bool started = false;
};

struct SimState {
    std::recursive_mutex lock;
    std::map<std::string, std::unique_ptr<SimNode>> volumes; // key: "C:" or "\\SERVER\SHARE"
    std::vector<std::unique_ptr<SimNode>> graveyard;          // removed entries stay addressable
    std::vector<std::unique_ptr<SimHandle>> handles;
    std::string currentFolder = "C:\\";
    uint64_t clock = 0;                                        // FILETIME ticks of "now"
};
SimState &Sim();
#define SIM_LOCK std::lock_guard<std::recursive_mutex> simGuard(Sim().lock)

// Code page 932 helpers.
inline bool SimIsLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
std::string SimUpper(const std::string &name);
// Code page 932 and UTF-16 (sim_text.cpp). SimCodePageOf is true when every unit has an exact
// code; the others become their best fit (when asked) or `defaultChar` ("?"), one per unit.
std::u16string SimWideOf(const std::string &text);
bool SimCodePageOf(const std::u16string &wide, std::string &text, bool bestFit, const char *defaultChar = nullptr,
                   bool *defaulted = nullptr);
// An entry whose name has no exact code page 932 form is kept under a key form of its name that
// no code page 932 path can spell ("\x01" and the hex digits of its UTF-16 units), so the ANSI
// calls never reach it by name, as on Windows; the wide calls translate such names to that form.
std::string SimKeyForm(const std::u16string &wide);
// What a listing shows of an entry's name: through the ANSI calls (best fit and "?"), through the
// wide calls, and the form that masks are matched against ("?" for what the code page lacks).
std::string SimAnsiName(const SimNode *n);
std::u16string SimWideName(const SimNode *n);
std::string SimMaskName(const SimNode *n);

// Full path as GetFullPathNameA makes it; false for an empty or unusable path. `filePart` gets
// the offset of the last component, or std::string::npos when the path ends in a separator.
bool SimFullPath(const char *path, std::string &full, size_t *filePart);

// The result of looking a full path up.
struct SimLookup {
    SimNode *node = nullptr;    // the entry, when it exists
    SimNode *parent = nullptr;  // the folder that holds (or would hold) the entry
    std::string name;           // last component as given; empty for a root
    DWORD error = 0;            // when node is null: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, …
    bool trailingSeparator = false;
};
// Look `path` up (any form that GetFullPathNameA takes). Sets error when the path or its parent
// cannot be reached.
SimLookup SimFind(const char *path);
// The full path of an entry, rebuilt from its stored names.
std::string SimPathOf(const SimNode *node);
// Is this name acceptable for a new entry?
bool SimValidName(const std::string &name);

SimHandle *SimNewHandle(SimHandleKind kind, SimNode *node);
SimHandle *SimGetHandle(HANDLE handle, SimHandleKind kind);
void SimDropHandle(SimHandle *h);
// ERROR_SHARING_VIOLATION when opening `node` with this access and share mode conflicts with
// an open handle; 0 when it may be opened.
DWORD SimSharingConflict(SimNode *node, DWORD access, DWORD share);
SimNode *SimAddChild(SimNode *parent, const std::string &name, DWORD attributes);
void SimRemoveChild(SimNode *node);
uint64_t SimNow();

// Convenience: set the last error and return a value.
template <typename T> T SimFail(DWORD error, T result) {
    SetLastError(error);
    return result;
}

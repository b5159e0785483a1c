// The simulated Windows' file system: volumes of folders and files kept in memory, reached by
// the Win32 file calls with Win32's results and error codes.
#include "sim_internal.h"
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

void SimResetFaults();
void SimResetRegistry();

// Whether any entry has been given a short name since the last SimReset: until then a name that
// is not found needs no scan of its folder for short names (big folders stay fast to fill).
static bool g_anyShortName = false;

static const uint64_t TICKS_PER_SECOND = 10000000ull;
static const uint64_t UNIX_EPOCH_TICKS = 116444736000000000ull;

uint64_t SimNow() {
    // A clock that moves on by one second per call, so that every write has its own time.
    SimState &s = Sim();
    if (s.clock == 0) s.clock = UNIX_EPOCH_TICKS + (uint64_t)time(nullptr) * TICKS_PER_SECOND;
    s.clock += TICKS_PER_SECOND;
    return s.clock;
}

std::string SimUpper(const std::string &name) {
    std::string u = name;
    for (size_t i = 0; i < u.size(); i++) {
        unsigned char b = (unsigned char)u[i];
        if (SimIsLead(b) && i + 1 < u.size()) {
            i++;
            continue;
        }
        if (b >= 'a' && b <= 'z') u[i] = (char)(b - 32);
    }
    return u;
}

std::string SimKeyForm(const std::u16string &wide) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string key = "\x01";
    for (char16_t unit : wide)
        for (int shift = 12; shift >= 0; shift -= 4) key += HEX[(unit >> shift) & 0xF];
    return key;
}

std::string SimAnsiName(const SimNode *n) {
    if (n->wide.empty()) return n->name;
    std::string text;
    SimCodePageOf(n->wide, text, true);
    return text;
}

std::u16string SimWideName(const SimNode *n) { return n->wide.empty() ? SimWideOf(n->name) : n->wide; }

std::string SimMaskName(const SimNode *n) {
    if (n->wide.empty()) return n->name;
    std::string text;
    SimCodePageOf(n->wide, text, false);
    return text;
}

static SimNode *NewRoot() {
    auto *n = new SimNode;
    n->attributes = FILE_ATTRIBUTE_DIRECTORY;
    n->lastWrite = n->created = SimNow();
    return n;
}

void SimAddVolume(const char *root) {
    SIM_LOCK;
    std::string key = SimUpper(root);
    if (key.size() > 2 && key.back() == '\\') key.pop_back();
    Sim().volumes[key].reset(NewRoot());
    Sim().volumes[key]->name = key;
}

void SimReset() {
    SIM_LOCK;
    SimState &s = Sim();
    g_anyShortName = false;
    s.volumes.clear();
    s.graveyard.clear();
    s.handles.clear();
    s.clock = 0;
    SimSetLocalTime(nullptr);
    SimResetFaults();
    SimResetRegistry();
    SimHideExport(nullptr);
    SimSetWideStubs(false);
    SimAddVolume("C:");
    SimAddVolume("D:");
    SimAddVolume("E:");
    SimAddVolume("\\\\SERVER\\SHARE");
    s.currentFolder = "C:\\";
    CreateDirectoryA("C:\\TEMP", nullptr);
}

// ---- paths ----

// Split a path into components at single-byte separators (\ or /); a trail byte 0x5C is part of
// its character. Empty components (doubled separators) are dropped.
static std::vector<std::string> SplitComponents(const std::string &p, bool *trailing) {
    std::vector<std::string> parts;
    std::string cur;
    bool lastSep = false;
    for (size_t i = 0; i < p.size(); i++) {
        unsigned char b = (unsigned char)p[i];
        if (SimIsLead(b) && i + 1 < p.size()) {
            cur += p[i];
            cur += p[++i];
            lastSep = false;
            continue;
        }
        if (b == '\\' || b == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
            lastSep = true;
        } else {
            cur += p[i];
            lastSep = false;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    if (trailing) *trailing = lastSep;
    return parts;
}

// The root of a full path ("C:" or "\\server\share") and the rest after its separator.
static bool SplitRoot(const std::string &full, std::string &root, std::string &rest) {
    if (full.size() >= 2 && full[1] == ':') {
        root = full.substr(0, 2);
        rest = full.size() > 3 ? full.substr(3) : "";
        return true;
    }
    if (full.size() > 2 && full[0] == '\\' && full[1] == '\\') {
        bool t;
        std::vector<std::string> parts = SplitComponents(full.substr(2), &t);
        if (parts.size() < 2) return false;
        root = "\\\\" + parts[0] + "\\" + parts[1];
        rest = full.size() > root.size() + 1 ? full.substr(root.size() + 1) : "";
        return true;
    }
    return false;
}

// The next single-byte separator (\\ or /) at or after `from` (a character boundary), or npos.
static size_t NextSeparator(const std::string &p, size_t from) {
    for (size_t i = from; i < p.size(); i++) {
        unsigned char b = (unsigned char)p[i];
        if (SimIsLead(b) && i + 1 < p.size()) {
            i++;
            continue;
        }
        if (b == '\\' || b == '/') return i;
    }
    return std::string::npos;
}

bool SimFullPath(const char *path, std::string &full, size_t *filePart) {
    if (!path || !*path) return false;
    std::string p = path;
    // A path of blanks only names nothing.
    if (p.find_first_not_of(' ') == std::string::npos) return false;
    std::string root, base;
    const std::string &cwd = Sim().currentFolder;
    std::string cwdRoot, cwdRest;
    SplitRoot(cwd, cwdRoot, cwdRest);
    bool isSep0 = p[0] == '\\' || p[0] == '/';
    bool isSep1 = p.size() > 1 && (p[1] == '\\' || p[1] == '/');
    std::string rest;
    if (isSep0 && isSep1) {
        // \\server\share\rest: the server and share names make the root. Without a share, or
        // with an empty one, Windows gives the path back as it is, with no file part.
        size_t serverEnd = NextSeparator(p, 2);
        std::string server = p.substr(2, serverEnd == std::string::npos ? std::string::npos : serverEnd - 2);
        if (serverEnd == std::string::npos || serverEnd + 1 == p.size()) {
            full = "\\\\" + server + (serverEnd == std::string::npos ? "" : "\\");
            if (filePart) *filePart = std::string::npos;
            return true;
        }
        size_t shareEnd = NextSeparator(p, serverEnd + 1);
        std::string shareName = p.substr(serverEnd + 1, shareEnd == std::string::npos ? std::string::npos
                                                                                       : shareEnd - serverEnd - 1);
        root = "\\\\" + server + "\\" + shareName;
        if (shareEnd == std::string::npos) {
            // "\\server\share": the share is the file part, and no separator is added.
            full = root;
            if (filePart) *filePart = 3 + server.size();
            return true;
        }
        rest = p.substr(shareEnd + 1);
    } else if (p.size() >= 2 && p[1] == ':' && !SimIsLead((unsigned char)p[0])) {
        // Any byte before the colon makes a drive, as Windows sees it ("1:\\x" included).
        root = p.substr(0, 2);
        if (p.size() > 2 && (p[2] == '\\' || p[2] == '/')) {
            rest = p.substr(3);
        } else {
            // Drive-relative: against the current folder when it is on that drive.
            base = (SimUpper(cwdRoot) == SimUpper(root)) ? cwdRest : "";
            rest = base.empty() ? p.substr(2) : base + "\\" + p.substr(2);
            if (p.size() == 2) rest = base;
        }
    } else if (isSep0) {
        root = cwdRoot;
        rest = p.substr(1);
    } else {
        root = cwdRoot;
        rest = cwdRest.empty() ? p : cwdRest + "\\" + p;
    }
    bool trailing = false;
    std::vector<std::string> in = SplitComponents(rest, &trailing);
    std::vector<std::string> out;
    for (auto &c : in) {
        if (c == ".") continue;
        if (c == "..") {
            if (!out.empty()) out.pop_back();
            continue;
        }
        out.push_back(c);
    }
    // Trailing dots and spaces of the last component are dropped, as Win32 does.
    if (!out.empty() && !trailing) {
        std::string &last = out.back();
        while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
        if (last.empty()) out.pop_back();
    }
    full = root + "\\";
    for (size_t i = 0; i < out.size(); i++) {
        if (i) full += "\\";
        full += out[i];
    }
    if (trailing && !out.empty()) full += "\\";
    if (filePart) {
        if (out.empty() || trailing)
            *filePart = std::string::npos;
        else
            *filePart = full.size() - out.back().size();
    }
    return true;
}

bool SimValidName(const std::string &name) {
    if (!name.empty() && name[0] == '\x01') return name.size() <= 1 + 4 * 255; // a wide name's key form
    // At most 255 UTF-16 units: a double-byte character is one.
    size_t units = 0;
    for (size_t i = 0; i < name.size(); i++, units++) {
        unsigned char b = (unsigned char)name[i];
        if (SimIsLead(b) && i + 1 < name.size()) {
            i++;
            continue;
        }
        if (b < 0x20 || strchr("<>:\"/\\|?*", b)) return false;
    }
    return units > 0 && units <= 255;
}

static SimNode *ChildNamed(SimNode *folder, const std::string &name) {
    auto it = folder->children.find(SimUpper(name));
    if (it != folder->children.end()) return it->second.get();
    if (!g_anyShortName) return nullptr;
    std::string upper = SimUpper(name);
    for (auto &c : folder->children)
        if (!c.second->shortName.empty() && SimUpper(c.second->shortName) == upper) return c.second.get();
    return nullptr;
}

// A path through a wide call that starts with "\\?\": the platform's path limit does not apply.
static thread_local bool t_noPathLimit = false;

// Is `path` too long for the calls? They count UTF-16 units, not code page 932 bytes (a kanji is
// one unit), the terminator included, against `limit`; a name in key form counts as its wide name.
bool SimPathTooLong(const char *path, size_t limit = MAX_PATH) {
    if (t_noPathLimit) return false;
    size_t units = 1;
    for (const char *p = path; *p;) {
        if (*p == '\x01') {
            const char *end = p + 1;
            while (*end && *end != '\\') end++;
            units += (size_t)(end - p - 1) / 4;
            p = end;
        } else {
            p += SimIsLead((unsigned char)*p) && p[1] ? 2 : 1;
            units++;
        }
    }
    return units > limit;
}

SimLookup SimFind(const char *path) {
    SimLookup r;
    std::string full;
    if (!path || SimPathTooLong(path)) {
        r.error = path ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_PARAMETER;
        return r;
    }
    if (!SimFullPath(path, full, nullptr)) {
        r.error = ERROR_PATH_NOT_FOUND;
        return r;
    }
    std::string root, rest;
    if (!SplitRoot(full, root, rest)) {
        r.error = ERROR_BAD_NETPATH;
        return r;
    }
    auto v = Sim().volumes.find(SimUpper(root));
    if (v == Sim().volumes.end()) {
        r.error = root[0] == '\\' ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND;
        return r;
    }
    std::vector<std::string> parts = SplitComponents(rest, &r.trailingSeparator);
    SimNode *cur = v->second.get();
    if (parts.empty()) {
        r.node = cur;
        return r;
    }
    for (size_t i = 0; i + 1 < parts.size(); i++) {
        SimNode *next = ChildNamed(cur, parts[i]);
        if (!next || !next->IsFolder()) {
            r.error = SimValidName(parts[i]) ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME;
            return r;
        }
        cur = next;
    }
    r.parent = cur;
    r.name = parts.back();
    r.node = ChildNamed(cur, r.name);
    if (!r.node) r.error = SimValidName(r.name) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_NAME;
    else if (r.trailingSeparator && !r.node->IsFolder()) {
        // "file.txt\" names a folder that is not there (Wine answers ERROR_PATH_NOT_FOUND).
        r.node = nullptr;
        r.error = ERROR_PATH_NOT_FOUND;
    }
    return r;
}

std::string SimPathOf(const SimNode *node) {
    if (!node->parent) return node->name + "\\";
    std::string p = SimPathOf(node->parent);
    if (p.back() != '\\') p += "\\";
    return p + node->name;
}

static std::string FolderPath(const SimNode *node) {
    std::string p = SimPathOf(node);
    if (p.back() != '\\') p += "\\";
    return p;
}

SimNode *SimAddChild(SimNode *parent, const std::string &name, DWORD attributes) {
    auto n = std::make_unique<SimNode>();
    n->name = name;
    if (name[0] == '\x01') // a name in key form, from a wide call: its UTF-16 units back
        for (size_t i = 1; i + 4 <= name.size(); i += 4) n->wide += (char16_t)std::stoul(name.substr(i, 4), nullptr, 16);
    n->parent = parent;
    // A new entry takes the compression and encryption state of its folder, as NTFS does.
    n->attributes = attributes | (parent->attributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED));
    n->lastWrite = n->created = SimNow();
    SimNode *raw = n.get();
    parent->children[SimUpper(name)] = std::move(n);
    parent->lastWrite = SimNow();
    return raw;
}

void SimRemoveChild(SimNode *node) {
    SimNode *parent = node->parent;
    auto it = parent->children.find(SimUpper(node->name));
    if (it == parent->children.end()) return;
    Sim().graveyard.push_back(std::move(it->second));
    parent->children.erase(it);
    parent->lastWrite = SimNow();
}

static bool HasOpenHandles(SimNode *node) {
    for (auto &h : Sim().handles)
        if (h->node == node && h->kind != SIM_HANDLE_FIND) return true;
    return false;
}

// ---- Win32 calls ----

// Attribute bits that SetFileAttributesA changes.
static const DWORD SETTABLE_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                         FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

static DWORD ReportedAttributes(const SimNode *n) {
    // A file with no attribute bits at all reports FILE_ATTRIBUTE_NORMAL.
    return n->attributes ? n->attributes : FILE_ATTRIBUTE_NORMAL;
}

static bool IsDosDeviceName(const char *path);

DWORD GetFileAttributesA(LPCSTR path) {
    SIM_LOCK;
    if (SimFaultFires("GetFileAttributesA", path)) return INVALID_FILE_ATTRIBUTES;
    // A device name exists in every folder (Wine reports FILE_ATTRIBUTE_ARCHIVE: measured).
    if (IsDosDeviceName(path)) return FILE_ATTRIBUTE_ARCHIVE;
    SimLookup l = SimFind(path);
    if (!l.node) return SimFail(l.error, INVALID_FILE_ATTRIBUTES);
    return ReportedAttributes(l.node);
}

BOOL GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    SIM_LOCK;
    if (SimFaultFires("GetFileAttributesExA", path)) return FALSE;
    if (level != GetFileExInfoStandard || !information) return SimFail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    SimLookup l = SimFind(path);
    if (!l.node) return SimFail<BOOL>(l.error, FALSE);
    WIN32_FILE_ATTRIBUTE_DATA *data = (WIN32_FILE_ATTRIBUTE_DATA *)information;
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = ReportedAttributes(l.node);
    data->ftLastWriteTime.dwLowDateTime = (DWORD)l.node->lastWrite;
    data->ftLastWriteTime.dwHighDateTime = (DWORD)(l.node->lastWrite >> 32);
    data->ftLastAccessTime = data->ftLastWriteTime;
    data->ftCreationTime = {(DWORD)l.node->created, (DWORD)(l.node->created >> 32)};
    if (!l.node->IsFolder()) {
        data->nFileSizeLow = (DWORD)l.node->size;
        data->nFileSizeHigh = (DWORD)(l.node->size >> 32);
    }
    return TRUE;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    SIM_LOCK;
    if (SimFaultFires("SetFileAttributesA", path)) return FALSE;
    SimLookup l = SimFind(path);
    if (!l.node) return SimFail(l.error, FALSE);
    if (!l.node->parent) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    l.node->attributes = (l.node->attributes & ~SETTABLE_ATTRIBUTES) | (attributes & SETTABLE_ATTRIBUTES);
    return TRUE;
}

// Win32 name matching for FindFirstFileA: * and ? (a double-byte character is one character),
// ASCII case ignored; "*.*" is the same as "*". Only the last star ever goes back, so a mask
// with many stars costs at most name length times mask length steps.
static bool MaskMatches(const char *mask, const char *name) {
    if (strcmp(mask, "*.*") == 0 || strcmp(mask, "*") == 0) return true;
    auto charLen = [](const char *s) { return (SimIsLead((unsigned char)*s) && s[1]) ? 2 : 1; };
    auto upper = [](unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; };
    const char *starMask = nullptr, *starName = nullptr;
    for (;;) {
        if (*mask == '*') {
            starMask = ++mask;
            starName = name;
            continue;
        }
        if (*mask && *name) {
            int ml = charLen(mask), nl = charLen(name);
            if (*mask == '?') {
                mask++;
                name += nl;
                continue;
            }
            if (ml == nl &&
                (ml == 1 ? upper((unsigned char)*mask) == upper((unsigned char)*name) : strncmp(mask, name, 2) == 0)) {
                mask += ml;
                name += nl;
                continue;
            }
        } else if (!*mask && !*name) {
            return true;
        }
        if (!starMask || !*starName) return false;
        starName += charLen(starName);
        mask = starMask;
        name = starName;
    }
}

// Fills the facts of a listing's entry; the caller puts in the name.
template <typename FindData> static void FillFindFacts(const SimNode *n, FindData *data) {
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = ReportedAttributes(n);
    data->ftLastWriteTime.dwLowDateTime = (DWORD)n->lastWrite;
    data->ftLastWriteTime.dwHighDateTime = (DWORD)(n->lastWrite >> 32);
    data->ftLastAccessTime = data->ftLastWriteTime;
    data->ftCreationTime = {(DWORD)n->created, (DWORD)(n->created >> 32)};
    if (!n->IsFolder()) {
        data->nFileSizeLow = (DWORD)n->size;
        data->nFileSizeHigh = (DWORD)(n->size >> 32);
    }
}

static void FillFindData(const SimNode *n, const char *dotName, LPWIN32_FIND_DATAA data) {
    FillFindFacts(n, data);
    snprintf(data->cFileName, sizeof data->cFileName, "%s", dotName ? dotName : SimAnsiName(n).c_str());
    if (!n->shortName.empty() && !dotName)
        snprintf(data->cAlternateFileName, sizeof data->cAlternateFileName, "%s", n->shortName.c_str());
}

static void FillFindData(const SimNode *n, const char *dotName, LPWIN32_FIND_DATAW data) {
    FillFindFacts(n, data);
    std::u16string name = dotName ? SimWideOf(dotName) : SimWideName(n);
    name.resize(std::min(name.size(), (size_t)MAX_PATH - 1));
    memcpy(data->cFileName, name.data(), name.size() * sizeof(WCHAR));
    if (!n->shortName.empty() && !dotName) {
        std::u16string shortName = SimWideOf(n->shortName);
        memcpy(data->cAlternateFileName, shortName.data(), std::min(shortName.size(), (size_t)13) * sizeof(WCHAR));
    }
}

// The next entry of a listing, or false at its end.
template <typename FindData> static bool NextFound(SimHandle *h, FindData *data) {
    SimNode *folder = h->node;
    while (h->phase < 2) {
        int phase = h->phase++;
        if (!folder->parent) continue; // roots list no "." and ".."
        const char *name = phase == 0 ? "." : "..";
        if (!MaskMatches(h->mask.c_str(), name)) continue;
        FillFindData(phase == 0 ? folder : folder->parent, name, data);
        return true;
    }
    auto it = h->started ? folder->children.upper_bound(h->lastKey) : folder->children.begin();
    h->started = true;
    for (; it != folder->children.end(); ++it) {
        h->lastKey = it->first;
        const SimNode *n = it->second.get();
        if (MaskMatches(h->mask.c_str(), SimMaskName(n).c_str()) ||
            (!n->shortName.empty() && MaskMatches(h->mask.c_str(), n->shortName.c_str()))) {
            FillFindData(n, nullptr, data);
            return true;
        }
    }
    return false;
}

// The wide file calls are stubs, as on the Windows 95 family (SimSetWideStubs).
static bool g_wideStubs;
void SimSetWideStubs(bool stubs) { g_wideStubs = stubs; }

// Does a path InternalPath has just made fit the platform's limit (or need none)?
static bool PathFits(const std::string &internal) {
    if (t_noPathLimit) return true;
    return !SimPathTooLong(internal.c_str());
}

// Why InternalPath refused its path: the error the call fails with.
static thread_local DWORD t_pathError = ERROR_INVALID_PARAMETER;

// A wide path in the form the simulation keeps: each name that code page 932 holds exactly in
// code page 932, every other name in its key form. False for a path that cannot be a path, with
// t_pathError. After "\\?\" the path goes to the file system as it is, as on Windows: no limit on
// its length, "\\?\X:\..." or "\\?\UNC\server\share\..." only; neither "." nor ".." is resolved and "/"
// is no separator: such a path is refused with ERROR_INVALID_NAME, as Wine answers (measured).
static bool InternalPath(LPCWSTR path, std::string &out) {
    out.clear();
    t_pathError = ERROR_INVALID_PARAMETER;
    if (!path) return false;
    t_noPathLimit = path[0] == '\\' && path[1] == '\\' && path[2] == '?' && path[3] == '\\';
    if (t_noPathLimit) {
        path += 4;
        if (path[0] == 'U' && path[1] == 'N' && path[2] == 'C' && path[3] == '\\') {
            out = "\\\\";
            path += 4;
        } else if (!(path[0] && path[1] == ':' && path[2] == '\\')) {
            t_pathError = ERROR_INVALID_NAME; // a drive's full path or UNC\ must follow
            return false;
        }
    }
    std::u16string part;
    for (const WCHAR *p = path;; p++) {
        if (t_noPathLimit && (*p == u'/' || ((*p == u'\\' || *p == 0) && (part == u"." || part == u"..")))) {
            t_pathError = ERROR_INVALID_NAME;
            return false;
        }
        if (*p == u'\\' || *p == 0) {
            std::string text;
            if (SimCodePageOf(part, text, false) || part.find_first_of(u"*?") != std::u16string::npos)
                out += text;
            else
                out += SimKeyForm(part);
            part.clear();
            if (*p == 0) return true;
            out += '\\';
        } else {
            part += *p;
        }
    }
}

template <typename FindData> static HANDLE StartFind(const char *op, const char *pattern, FindData *data) {
    if (SimFaultFires(op, pattern)) return INVALID_HANDLE_VALUE;
    std::string full;
    size_t filePart;
    if (!pattern || SimPathTooLong(pattern)) return SimFail(ERROR_FILENAME_EXCED_RANGE, INVALID_HANDLE_VALUE);
    if (!SimFullPath(pattern, full, &filePart)) return SimFail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (filePart == std::string::npos) return SimFail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    std::string mask = full.substr(filePart);
    std::string folderPath = full.substr(0, filePart);
    if (folderPath.size() > 3 && folderPath.back() == '\\') folderPath.pop_back();
    SimLookup l = SimFind(folderPath.c_str());
    if (l.node && !l.node->IsFolder()) return SimFail(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
    if (!l.node) return SimFail(l.error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : l.error, INVALID_HANDLE_VALUE);
    SimHandle *h = SimNewHandle(SIM_HANDLE_FIND, l.node);
    h->mask = mask;
    if (!NextFound(h, data)) {
        SimDropHandle(h);
        return SimFail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    return h;
}

template <typename FindData> static BOOL ContinueFind(const char *op, HANDLE find, FindData *data) {
    SimHandle *h = SimGetHandle(find, SIM_HANDLE_FIND);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (SimFaultFires(op, FolderPath(h->node).c_str())) return FALSE;
    if (!NextFound(h, data)) return SimFail<BOOL>(ERROR_NO_MORE_FILES, FALSE);
    return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    SIM_LOCK;
    return StartFind("FindFirstFileA", pattern, data);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
    SIM_LOCK;
    return ContinueFind("FindNextFileA", find, data);
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    SIM_LOCK;
    if (g_wideStubs) return SimFail(ERROR_CALL_NOT_IMPLEMENTED, INVALID_HANDLE_VALUE);
    std::string internal;
    if (!InternalPath(pattern, internal)) return SimFail(t_pathError, INVALID_HANDLE_VALUE);
    HANDLE find = StartFind("FindFirstFileW", internal.c_str(), data);
    t_noPathLimit = false;
    return find;
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
    SIM_LOCK;
    if (g_wideStubs) return SimFail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    return ContinueFind("FindNextFileW", find, data);
}

// A wide call is its ANSI form on the path in the simulation's own form.
#define SIM_WIDE_CALL(failed, call)                                                      \
    if (g_wideStubs) return SimFail(ERROR_CALL_NOT_IMPLEMENTED, failed);                 \
    std::string internal;                                                                \
    if (!InternalPath(path, internal)) return SimFail(t_pathError, failed);              \
    auto result = call;                                                                  \
    t_noPathLimit = false;                                                               \
    return result

DWORD GetFileAttributesW(LPCWSTR path) { SIM_WIDE_CALL(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(internal.c_str())); }
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
    SIM_WIDE_CALL(FALSE, SetFileAttributesA(internal.c_str(), attributes));
}
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    SIM_WIDE_CALL(FALSE, CreateDirectoryA(internal.c_str(), security));
}
BOOL RemoveDirectoryW(LPCWSTR path) { SIM_WIDE_CALL(FALSE, RemoveDirectoryA(internal.c_str())); }
BOOL DeleteFileW(LPCWSTR path) { SIM_WIDE_CALL(FALSE, DeleteFileA(internal.c_str())); }
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    SIM_WIDE_CALL(INVALID_HANDLE_VALUE,
                  CreateFileA(internal.c_str(), access, share, security, disposition, flags, templateFile));
}

BOOL GetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    SIM_WIDE_CALL(FALSE, GetFileAttributesExA(internal.c_str(), level, information));
}
BOOL EncryptFileW(LPCWSTR path) { SIM_WIDE_CALL(FALSE, EncryptFileA(internal.c_str())); }
BOOL DecryptFileW(LPCWSTR path, DWORD reserved) { SIM_WIDE_CALL(FALSE, DecryptFileA(internal.c_str(), reserved)); }
BOOL CopyFileW(LPCWSTR source, LPCWSTR dest, BOOL failIfExists) {
    SIM_LOCK;
    if (g_wideStubs) return SimFail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    std::string internalSource, internalDest;
    if (!InternalPath(source, internalSource)) return SimFail(t_pathError, FALSE);
    bool sourceFits = PathFits(internalSource);
    if (!InternalPath(dest, internalDest)) return SimFail(t_pathError, FALSE);
    if (!sourceFits || !PathFits(internalDest)) return SimFail(ERROR_FILENAME_EXCED_RANGE, FALSE);
    t_noPathLimit = true; // each path was judged on its own
    BOOL result = CopyFileA(internalSource.c_str(), internalDest.c_str(), failIfExists);
    t_noPathLimit = false;
    return result;
}
// A copy with a progress routine: the routine is called once the destination is open (a new
// stream, with a handle on the destination, before any data) and once the data is written; the
// copy gets its source's time last, as Windows sets it when the copy is complete. A time the
// routine sets on the destination's handle stays until then (the file system no longer updates
// a time set explicitly through a handle). A hard end (SimInjectHardEnd) stops the copy after
// its bytes and ends the process: the part stays as a hard end leaves it.
BOOL CopyFileExW(LPCWSTR source, LPCWSTR dest, LPPROGRESS_ROUTINE progress, LPVOID data, LPBOOL cancel,
                 DWORD flags) {
    SIM_LOCK;
    if (g_wideStubs) return SimFail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    (void)cancel;
    if (!CopyFileW(source, dest, (flags & COPY_FILE_FAIL_IF_EXISTS) != 0)) return FALSE;
    std::string internal;
    InternalPath(dest, internal);
    SimNode *target = SimFind(internal.c_str()).node;
    t_noPathLimit = false;
    uint64_t finalTime = target->lastWrite, now = SimNow();
    target->lastWrite = now;
    if (progress) {
        SimHandle *h = SimNewHandle(SIM_HANDLE_FILE, target);
        h->access = GENERIC_WRITE;
        LARGE_INTEGER total, none;
        total.QuadPart = (LONGLONG)target->size;
        none.QuadPart = 0;
        progress(total, none, total, none, 1, CALLBACK_STREAM_SWITCH, nullptr, h, data);
        SimDropHandle(h);
    }
    DWORD bytes = 0;
    if (SimShortWriteFires(SIM_HARD_END, internal.c_str(), &bytes)) {
        bool fullLength = (bytes & SIM_HARD_END_FULL_LENGTH) != 0;
        bytes &= ~SIM_HARD_END_FULL_LENGTH;
        if (target->data.size() > bytes) target->data.resize(bytes);
        if (!fullLength) target->size = target->data.size();
        // Written to after any time set explicitly? Only a time left at "now" moves on.
        if (target->lastWrite == now) target->lastWrite = SimNow();
        SimInjectFault("*", nullptr, ERROR_PROCESS_ABORTED, SIM_FAULT_EVERY);
        return SimFail<BOOL>(ERROR_PROCESS_ABORTED, FALSE);
    }
    target->lastWrite = finalTime;
    return TRUE;
}

// A move in the simulation's own path form; faults are asked for as "MoveFileExW" on the new name.
static BOOL MoveEntry(const std::string &from, const std::string &to, DWORD flags) {
    if (SimFaultFires("MoveFileExW", to.c_str())) return FALSE;
    SimLookup s = SimFind(from.c_str());
    if (!s.node) return SimFail(s.error, FALSE);
    if (HasOpenHandles(s.node)) return SimFail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
    SimLookup d = SimFind(to.c_str());
    if (d.node && d.node != s.node) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return SimFail<BOOL>(ERROR_ALREADY_EXISTS, FALSE);
        if (d.node->IsFolder() || (d.node->attributes & FILE_ATTRIBUTE_READONLY))
            return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
        if (HasOpenHandles(d.node)) return SimFail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
        SimRemoveChild(d.node);
        d = SimFind(to.c_str());
    } else if (!d.node && d.error != ERROR_FILE_NOT_FOUND) {
        return SimFail(d.error, FALSE);
    }
    if (!d.parent || !SimValidName(d.name)) return SimFail<BOOL>(ERROR_INVALID_NAME, FALSE);
    auto &children = s.node->parent->children;
    auto found = children.find(SimUpper(s.node->name));
    std::unique_ptr<SimNode> moved = std::move(found->second);
    children.erase(found);
    moved->name = d.name;
    moved->parent = d.parent;
    d.parent->children[SimUpper(d.name)] = std::move(moved);
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR newName, DWORD flags) {
    SIM_LOCK;
    if (g_wideStubs) return SimFail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    std::string from, to;
    if (!InternalPath(existing, from)) return SimFail<BOOL>(t_pathError, FALSE);
    bool fromFits = PathFits(from);
    if (!InternalPath(newName, to)) return SimFail<BOOL>(t_pathError, FALSE);
    if (!fromFits || !PathFits(to)) return SimFail<BOOL>(ERROR_FILENAME_EXCED_RANGE, FALSE);
    t_noPathLimit = true; // each path was judged on its own
    BOOL moved = MoveEntry(from, to, flags);
    t_noPathLimit = false;
    return moved;
}

BOOL MoveFileW(LPCWSTR existing, LPCWSTR newName) { return MoveFileExW(existing, newName, 0); }

BOOL MoveFileA(LPCSTR existing, LPCSTR newName) {
    SIM_LOCK;
    return MoveEntry(existing, newName, 0);
}

// The full path of a wide path: made in the simulation's own form, each name in key form turned
// back into its UTF-16 units.
DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR *filePart) {
    SIM_LOCK;
    if (SimFaultFires("GetFullPathNameW", nullptr)) return 0;
    if (g_wideStubs) return SimFail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED, 0);
    std::string internal, full;
    size_t part;
    if (!InternalPath(path, internal) || internal.empty() || !SimFullPath(internal.c_str(), full, &part)) {
        t_noPathLimit = false;
        return SimFail<DWORD>(ERROR_INVALID_NAME, 0);
    }
    t_noPathLimit = false;
    std::u16string wide;
    size_t widePart = std::u16string::npos;
    for (size_t i = 0; i <= full.size();) {
        size_t end = i;
        while (end < full.size() && full[end] != '\\') end += SimIsLead((unsigned char)full[end]) ? 2 : 1;
        if (end > full.size()) end = full.size();
        if (i == part) widePart = wide.size();
        std::string name = full.substr(i, end - i);
        if (!name.empty() && name[0] == '\x01') {
            for (size_t h = 1; h + 4 <= name.size(); h += 4) wide += (char16_t)std::stoul(name.substr(h, 4), nullptr, 16);
        } else {
            wide += SimWideOf(name);
        }
        if (end < full.size()) wide += u'\\';
        i = end + 1;
    }
    if (wide.size() + 1 > size) return (DWORD)wide.size() + 1;
    memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    if (filePart) *filePart = widePart == std::u16string::npos || part == std::string::npos ? nullptr : buffer + widePart;
    return (DWORD)wide.size();
}

BOOL FindClose(HANDLE find) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(find, SIM_HANDLE_FIND);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    SimDropHandle(h);
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    SIM_LOCK;
    if (SimFaultFires("CreateDirectoryA", path)) return FALSE;
    SimLookup l = SimFind(path);
    if (l.node) return SimFail<BOOL>(ERROR_ALREADY_EXISTS, FALSE);
    if (l.error != ERROR_FILE_NOT_FOUND) return SimFail(l.error, FALSE);
    if (!SimValidName(l.name)) return SimFail<BOOL>(ERROR_INVALID_NAME, FALSE);
    // Without "\\?\", Windows keeps room for an 8.3 name below a new folder: its full path takes
    // at most 248 units with the terminator (Wine does not check).
    std::string full;
    if (SimFullPath(path, full, nullptr) && SimPathTooLong(full.c_str(), MAX_PATH - 12))
        return SimFail<BOOL>(ERROR_FILENAME_EXCED_RANGE, FALSE);
    SimAddChild(l.parent, l.name, FILE_ATTRIBUTE_DIRECTORY);
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
    SIM_LOCK;
    if (SimFaultFires("RemoveDirectoryA", path)) return FALSE;
    SimLookup l = SimFind(path);
    if (!l.node) return SimFail(l.error, FALSE);
    if (!l.node->parent) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (!l.node->IsFolder()) return SimFail<BOOL>(ERROR_DIRECTORY, FALSE);
    if (!l.node->children.empty()) return SimFail<BOOL>(ERROR_DIR_NOT_EMPTY, FALSE);
    if (l.node->attributes & FILE_ATTRIBUTE_READONLY) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (HasOpenHandles(l.node)) return SimFail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
    SimRemoveChild(l.node);
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
    SIM_LOCK;
    if (SimFaultFires("DeleteFileA", path)) return FALSE;
    SimLookup l = SimFind(path);
    if (!l.node) return SimFail(l.error, FALSE);
    if (l.node->IsFolder()) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (l.node->attributes & FILE_ATTRIBUTE_READONLY) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (DWORD e = SimSharingConflict(l.node, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return SimFail<BOOL>(e, FALSE);
    SimRemoveChild(l.node);
    return TRUE;
}

BOOL CopyFileA(LPCSTR source, LPCSTR dest, BOOL failIfExists) {
    SIM_LOCK;
    if (SimFaultFires("CopyFileA", dest)) return FALSE;
    SimLookup s = SimFind(source);
    if (!s.node) return SimFail(s.error, FALSE);
    if (s.node->IsFolder()) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (DWORD e = SimSharingConflict(s.node, GENERIC_READ, FILE_SHARE_READ)) return SimFail<BOOL>(e, FALSE);
    SimLookup d = SimFind(dest);
    SimNode *target = d.node;
    if (target) {
        if (failIfExists) return SimFail<BOOL>(ERROR_FILE_EXISTS, FALSE);
        if (target == s.node) return SimFail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
        if (target->IsFolder()) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
        // Windows refuses to overwrite a read-only file, and a hidden or system file that the source
        // would not make hidden or system again.
        if (target->attributes & FILE_ATTRIBUTE_READONLY) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
        DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if ((target->attributes & hs) & ~(s.node->attributes & hs)) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
        if (DWORD e = SimSharingConflict(target, GENERIC_WRITE, 0)) return SimFail<BOOL>(e, FALSE);
    } else {
        if (d.error != ERROR_FILE_NOT_FOUND) return SimFail(d.error, FALSE);
        if (!SimValidName(d.name)) return SimFail<BOOL>(ERROR_INVALID_NAME, FALSE);
        target = SimAddChild(d.parent, d.name, 0);
    }
    // The copy gets the source's data, time and attributes (and is marked for archiving); its
    // compression follows its folder, its encryption the source or its folder.
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY |
                       FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD folderBits = target->parent->attributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED);
    target->attributes = (s.node->attributes & (kept | FILE_ATTRIBUTE_ENCRYPTED)) | FILE_ATTRIBUTE_ARCHIVE | folderBits;
    target->data = s.node->data;
    target->size = s.node->size;
    target->lastWrite = s.node->lastWrite;
    return TRUE;
}

DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR *filePart) {
    SIM_LOCK;
    if (SimFaultFires("GetFullPathNameA", nullptr)) return 0;
    std::string full;
    size_t part;
    if (!path || !*path) return SimFail<DWORD>(ERROR_INVALID_NAME, 0);
    if (!SimFullPath(path, full, &part)) return SimFail<DWORD>(ERROR_INVALID_NAME, 0);
    // Too small a buffer: the size needed (with the terminator) comes back, nothing is written.
    if (full.size() + 1 > size) return (DWORD)full.size() + 1;
    memcpy(buffer, full.c_str(), full.size() + 1);
    if (filePart) *filePart = part == std::string::npos ? nullptr : buffer + part;
    return (DWORD)full.size();
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    SIM_LOCK;
    std::string cwd = Sim().currentFolder;
    if (cwd.size() > 3 && cwd.back() == '\\') cwd.pop_back();
    if (cwd.size() + 1 > size) return (DWORD)cwd.size() + 1;
    memcpy(buffer, cwd.c_str(), cwd.size() + 1);
    return (DWORD)cwd.size();
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
    SIM_LOCK;
    SimLookup l = SimFind(path);
    if (!l.node) return SimFail(l.error, FALSE);
    if (!l.node->IsFolder()) return SimFail<BOOL>(ERROR_DIRECTORY, FALSE);
    Sim().currentFolder = FolderPath(l.node);
    return TRUE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    static const char temp[] = "C:\\TEMP\\";
    if (sizeof temp > size) return (DWORD)sizeof temp;
    memcpy(buffer, temp, sizeof temp);
    return (DWORD)sizeof temp - 1;
}

// Is the last component of `path` one of the DOS device names, which open the device in every
// folder, with or without an extension ("C:\\X\\NUL.KJB" is NUL)?
static bool IsDosDeviceName(const char *path) {
    bool trailing;
    std::vector<std::string> parts = SplitComponents(path, &trailing);
    if (parts.empty() || trailing) return false;
    std::string name = SimUpper(parts.back());
    if (name.size() >= 2 && name[1] == ':') name = name.substr(2);
    name = name.substr(0, name.find_first_of(".:"));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" || name == "CONOUT$")
        return true;
    return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) && name[3] >= '1' &&
           name[3] <= '9';
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
    SIM_LOCK;
    if (SimFaultFires("CreateFileA", path)) return INVALID_HANDLE_VALUE;
    if (IsDosDeviceName(path)) {
        // The simulated machine's devices all behave as NUL: nothing to read, writes vanish; the
        // disposition does not matter (CREATE_NEW opens the device too).
        SimHandle *h = SimNewHandle(SIM_HANDLE_DEVICE, nullptr);
        h->access = access;
        SetLastError(ERROR_SUCCESS);
        return h;
    }
    SimLookup l = SimFind(path);
    SimNode *n = l.node;
    bool existed = n != nullptr;
    if (n) {
        if (disposition == CREATE_NEW) return SimFail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
        if (n->IsFolder()) {
            if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || disposition != OPEN_EXISTING)
                return SimFail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
        } else {
            if ((access & GENERIC_WRITE) && (n->attributes & FILE_ATTRIBUTE_READONLY))
                return SimFail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
            DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
            if (disposition == CREATE_ALWAYS && ((n->attributes & hs) & ~(flags & hs)))
                return SimFail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
        }
        if (DWORD e = SimSharingConflict(n, access, share)) return SimFail(e, INVALID_HANDLE_VALUE);
        if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
            n->data.clear();
            n->size = 0;
            n->lastWrite = SimNow();
            if (disposition == CREATE_ALWAYS)
                n->attributes = (n->attributes & ~SETTABLE_ATTRIBUTES) | (flags & SETTABLE_ATTRIBUTES) |
                                FILE_ATTRIBUTE_ARCHIVE;
        }
    } else {
        if (l.error != ERROR_FILE_NOT_FOUND) return SimFail(l.error, INVALID_HANDLE_VALUE);
        if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)
            return SimFail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
        if (!SimValidName(l.name)) return SimFail(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
        n = SimAddChild(l.parent, l.name, (flags & SETTABLE_ATTRIBUTES) | FILE_ATTRIBUTE_ARCHIVE);
    }
    SimHandle *h = SimNewHandle(SIM_HANDLE_FILE, n);
    h->access = access;
    h->share = share;
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                           : ERROR_SUCCESS);
    return h;
}

BOOL CloseHandle(HANDLE handle) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(handle, (SimHandleKind)0);
    if (!h || h->kind == SIM_HANDLE_FIND) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    // A failed close (a flush that could not be written) still releases the handle.
    bool failed = h->kind == SIM_HANDLE_FILE && h->node && SimFaultFires("CloseHandle", SimPathOf(h->node).c_str());
    SimDropHandle(h);
    return failed ? FALSE : TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    SIM_LOCK;
    if (SimGetHandle(file, SIM_HANDLE_DEVICE)) {
        if (read) *read = 0;
        return TRUE;
    }
    SimHandle *h = SimGetHandle(file, SIM_HANDLE_FILE);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (!(h->access & GENERIC_READ) || h->node->IsFolder()) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (SimFaultFires("ReadFile", SimPathOf(h->node).c_str())) return FALSE;
    SimNode *n = h->node;
    uint64_t avail = h->position < n->size ? n->size - h->position : 0;
    DWORD count = (DWORD)(avail < toRead ? avail : toRead);
    for (DWORD i = 0; i < count; i++) {
        uint64_t at = h->position + i;
        ((char *)buffer)[i] = at < n->data.size() ? n->data[at] : 0;
    }
    h->position += count;
    if (read) *read = count;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
    SIM_LOCK;
    if (SimGetHandle(file, SIM_HANDLE_DEVICE)) {
        if (written) *written = toWrite;
        return TRUE;
    }
    SimHandle *h = SimGetHandle(file, SIM_HANDLE_FILE);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (!(h->access & GENERIC_WRITE) || h->node->IsFolder()) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (SimFaultFires("WriteFile", SimPathOf(h->node).c_str())) return FALSE;
    DWORD shortBytes = 0;
    if (SimShortWriteFires(SimPathOf(h->node).c_str(), &shortBytes) && shortBytes < toWrite) toWrite = shortBytes;
    SimNode *n = h->node;
    if (n->data.size() < n->size) n->data.resize(n->size, '\0');
    if (n->data.size() < h->position + toWrite) n->data.resize(h->position + toWrite, '\0');
    memcpy(&n->data[h->position], buffer, toWrite);
    h->position += toWrite;
    if (n->size < h->position) n->size = h->position;
    n->attributes |= FILE_ATTRIBUTE_ARCHIVE;
    n->lastWrite = SimNow();
    if (written) *written = toWrite;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(file, SIM_HANDLE_FILE);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (SimFaultFires("FlushFileBuffers", SimPathOf(h->node).c_str())) return FALSE;
    return TRUE;
}

DWORD GetFileType(HANDLE file) {
    SIM_LOCK;
    if (SimGetHandle(file, SIM_HANDLE_FILE)) return FILE_TYPE_DISK;
    if (SimGetHandle(file, SIM_HANDLE_DEVICE)) return FILE_TYPE_CHAR;
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(file, SIM_HANDLE_FILE);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    int64_t base = method == FILE_BEGIN ? 0 : method == FILE_CURRENT ? (int64_t)h->position : (int64_t)h->node->size;
    int64_t pos = base + distance.QuadPart;
    if (pos < 0) return SimFail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    h->position = (uint64_t)pos;
    if (newPosition) newPosition->QuadPart = pos;
    return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(file, SIM_HANDLE_FILE);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (!(h->access & GENERIC_WRITE)) return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    h->node->size = h->position;
    if (h->node->data.size() > h->position) h->node->data.resize(h->position);
    h->node->lastWrite = SimNow();
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(file, SIM_HANDLE_FILE);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    size->QuadPart = (LONGLONG)h->node->size;
    return TRUE;
}

BOOL GetFileTime(HANDLE file, LPFILETIME created, LPFILETIME accessed, LPFILETIME written) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(file, SIM_HANDLE_FILE);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    FILETIME ft = {(DWORD)h->node->lastWrite, (DWORD)(h->node->lastWrite >> 32)};
    if (created) *created = {(DWORD)h->node->created, (DWORD)(h->node->created >> 32)};
    if (accessed) *accessed = ft;
    if (written) *written = ft;
    return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME *created, const FILETIME *, const FILETIME *written) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(file, SIM_HANDLE_FILE);
    if (!h) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (created) h->node->created = ((uint64_t)created->dwHighDateTime << 32) | created->dwLowDateTime;
    if (written) h->node->lastWrite = ((uint64_t)written->dwHighDateTime << 32) | written->dwLowDateTime;
    return TRUE;
}

int _stat64(const char *path, struct _stat64 *st) {
    SIM_LOCK;
    if (SimFaultFires("stat", path)) {
        errno = ENOENT;
        return -1;
    }
    SimLookup l = SimFind(path);
    if (!l.node) {
        errno = ENOENT;
        return -1;
    }
    memset(st, 0, sizeof *st);
    SimNode *n = l.node;
    st->st_mode = n->IsFolder() ? (S_IFDIR | 0555) : (S_IFREG | ((n->attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666));
    st->st_nlink = 1;
    st->st_size = n->IsFolder() ? 0 : (int64_t)n->size;
    // FILETIME ticks to whole seconds since 1970, rounding down as the C runtime does.
    int64_t secs = (int64_t)((n->lastWrite - UNIX_EPOCH_TICKS) / TICKS_PER_SECOND);
    if (n->lastWrite < UNIX_EPOCH_TICKS) secs = -(int64_t)((UNIX_EPOCH_TICKS - n->lastWrite + TICKS_PER_SECOND - 1) / TICKS_PER_SECOND);
    st->st_mtim.tv_sec = st->st_atim.tv_sec = st->st_ctim.tv_sec = secs;
    return 0;
}

// ---- raw state for tests ----

bool SimSetRawAttributes(const char *path, DWORD attributes) {
    SIM_LOCK;
    SimLookup l = SimFind(path);
    if (!l.node) return false;
    l.node->attributes = attributes;
    return true;
}

bool SimSetSize(const char *path, uint64_t size) {
    SIM_LOCK;
    SimLookup l = SimFind(path);
    if (!l.node || l.node->IsFolder()) return false;
    l.node->size = size;
    if (l.node->data.size() > size) l.node->data.resize(size);
    return true;
}

bool SimSetShortName(const char *path, const char *shortName) {
    SIM_LOCK;
    SimLookup l = SimFind(path);
    if (!l.node) return false;
    l.node->shortName = shortName;
    if (*shortName) g_anyShortName = true;
    return true;
}

bool SimSetLastWriteTime(const char *path, int64_t unixSeconds) {
    SIM_LOCK;
    SimLookup l = SimFind(path);
    if (!l.node) return false;
    l.node->lastWrite = (uint64_t)((int64_t)UNIX_EPOCH_TICKS + unixSeconds * (int64_t)TICKS_PER_SECOND);
    return true;
}

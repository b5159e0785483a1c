// The simulated Windows' registry: keys below HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE holding named values, with ADVAPI32's error codes and fault injection.
// Registry calls return their error code and leave the thread's last error alone, as Windows does.
// A fault on a registry call names the key as "HKCU\\Software\\KESTREL" (HKCR, HKCU, HKLM), and
// for a value call the key path + "\\" + the value name.
#include "sim_internal.h"
#include <cstring>

struct SimRegValue {
    std::string name; // as stored
    DWORD type = REG_NONE;
    std::string data;
};

struct SimRegKey {
    std::string name;
    std::string path; // "HKCU\\Software\\KESTREL", case as created
    SimRegKey *parent = nullptr;
    bool deleted = false;
    std::map<std::string, std::unique_ptr<SimRegKey>> children; // key: upper-cased name
    std::map<std::string, SimRegValue> values;                  // key: upper-cased name
};

struct SimRegHandle {
    SimRegKey *key;
};

namespace {
struct SimRegistry {
    std::unique_ptr<SimRegKey> roots[3];
    std::vector<std::unique_ptr<SimRegKey>> graveyard; // deleted keys stay addressable by open handles
    std::vector<std::unique_ptr<SimRegHandle>> handles;
};
SimRegistry &Reg() {
    static SimRegistry r;
    return r;
}
} // namespace

void SimResetRegistry() {
    SIM_LOCK;
    SimRegistry &r = Reg();
    static const char *const names[3] = {"HKCR", "HKCU", "HKLM"};
    for (int i = 0; i < 3; i++) {
        r.roots[i] = std::make_unique<SimRegKey>();
        r.roots[i]->name = names[i];
        r.roots[i]->path = names[i];
    }
    r.graveyard.clear();
    r.handles.clear();
    // A fresh machine has HKEY_CURRENT_USER\Software, as every Windows has.
    auto software = std::make_unique<SimRegKey>();
    software->name = "Software";
    software->path = "HKCU\\Software";
    software->parent = r.roots[1].get();
    r.roots[1]->children["SOFTWARE"] = std::move(software);
}

// The key a handle names, or null for a handle that is neither a root nor open.
static SimRegKey *KeyOf(HKEY key) {
    SimRegistry &r = Reg();
    if (!r.roots[0]) SimResetRegistry();
    if (key == HKEY_CLASSES_ROOT) return r.roots[0].get();
    if (key == HKEY_CURRENT_USER) return r.roots[1].get();
    if (key == HKEY_LOCAL_MACHINE) return r.roots[2].get();
    for (auto &h : r.handles)
        if ((HKEY)h.get() == key) return h->key;
    return nullptr;
}

static HKEY NewKeyHandle(SimRegKey *key) {
    auto h = std::make_unique<SimRegHandle>();
    h->key = key;
    HKEY result = (HKEY)h.get();
    Reg().handles.push_back(std::move(h));
    return result;
}

// A fault on this call: its error code, the thread's last error left as it was.
static LONG RegFault(const char *op, const std::string &path) {
    DWORD saved = GetLastError();
    LONG error = 0;
    if (SimFaultFires(op, path.c_str())) error = (LONG)GetLastError();
    SetLastError(saved);
    return error;
}

static std::vector<std::string> SplitKeyPath(const char *subKey) {
    std::vector<std::string> parts;
    if (!subKey) return parts;
    std::string cur;
    for (const char *p = subKey; *p; p++) {
        if (*p == '\\') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

static std::string JoinPath(SimRegKey *key, const char *subKey) {
    std::string path = key->path;
    for (auto &part : SplitKeyPath(subKey)) path += "\\" + part;
    return path;
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    (void)options;
    (void)access;
    SIM_LOCK;
    if (!result) return ERROR_INVALID_PARAMETER;
    SimRegKey *k = KeyOf(key);
    if (!k || k->deleted) return ERROR_INVALID_HANDLE;
    if (LONG e = RegFault("RegOpenKeyExA", JoinPath(k, subKey))) return e;
    for (auto &part : SplitKeyPath(subKey)) {
        auto it = k->children.find(SimUpper(part));
        if (it == k->children.end()) return ERROR_FILE_NOT_FOUND;
        k = it->second.get();
    }
    *result = NewKeyHandle(k);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    (void)reserved;
    (void)keyClass;
    (void)options;
    (void)access;
    (void)security;
    SIM_LOCK;
    if (!result) return ERROR_INVALID_PARAMETER;
    SimRegKey *k = KeyOf(key);
    if (!k || k->deleted) return ERROR_INVALID_HANDLE;
    if (LONG e = RegFault("RegCreateKeyExA", JoinPath(k, subKey))) return e;
    bool created = false;
    for (auto &part : SplitKeyPath(subKey)) {
        if (part.size() > 255) return ERROR_INVALID_PARAMETER;
        std::string upper = SimUpper(part);
        auto it = k->children.find(upper);
        if (it == k->children.end()) {
            auto child = std::make_unique<SimRegKey>();
            child->name = part;
            child->path = k->path + "\\" + part;
            child->parent = k;
            SimRegKey *raw = child.get();
            k->children[upper] = std::move(child);
            k = raw;
            created = true;
        } else {
            k = it->second.get();
        }
    }
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewKeyHandle(k);
    return ERROR_SUCCESS;
}

static std::string ValuePath(SimRegKey *k, LPCSTR valueName) {
    return k->path + "\\" + (valueName ? valueName : "");
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, BYTE *data, LPDWORD size) {
    (void)reserved;
    SIM_LOCK;
    SimRegKey *k = KeyOf(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (k->deleted) return ERROR_BADKEY;
    if (data && !size) return ERROR_INVALID_PARAMETER;
    if (LONG e = RegFault("RegQueryValueExA", ValuePath(k, valueName))) return e;
    auto it = k->values.find(SimUpper(valueName ? valueName : ""));
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    const SimRegValue &v = it->second;
    if (type) *type = v.type;
    if (!size) return ERROR_SUCCESS;
    DWORD needed = (DWORD)v.data.size();
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data) memcpy(data, v.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE *data, DWORD size) {
    (void)reserved;
    SIM_LOCK;
    SimRegKey *k = KeyOf(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (k->deleted) return ERROR_BADKEY;
    if (!data && size) return ERROR_NOACCESS;
    if (type == REG_DWORD && size != 4) return ERROR_INVALID_PARAMETER;
    if (LONG e = RegFault("RegSetValueExA", ValuePath(k, valueName))) return e;
    SimRegValue v;
    v.name = valueName ? valueName : "";
    v.type = type;
    v.data.assign((const char *)data, size);
    // ANSI strings are stored with their terminating zero, added when the caller left it out.
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && (v.data.empty() || v.data.back() != '\0')) v.data += '\0';
    k->values[SimUpper(v.name)] = v;
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
    SIM_LOCK;
    SimRegKey *k = KeyOf(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (k->deleted) return ERROR_BADKEY;
    if (LONG e = RegFault("RegDeleteValueA", ValuePath(k, valueName))) return e;
    auto it = k->values.find(SimUpper(valueName ? valueName : ""));
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    k->values.erase(it);
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    SIM_LOCK;
    SimRegKey *k = KeyOf(key);
    if (!k || k->deleted) return ERROR_INVALID_HANDLE;
    if (!subKey || !*subKey) return ERROR_BADKEY;
    if (LONG e = RegFault("RegDeleteKeyA", JoinPath(k, subKey))) return e;
    for (auto &part : SplitKeyPath(subKey)) {
        auto it = k->children.find(SimUpper(part));
        if (it == k->children.end()) return ERROR_FILE_NOT_FOUND;
        k = it->second.get();
    }
    if (!k->children.empty()) return ERROR_ACCESS_DENIED; // a key with subkeys is not deleted
    SimRegKey *parent = k->parent;
    auto it = parent->children.find(SimUpper(k->name));
    k->deleted = true;
    Reg().graveyard.push_back(std::move(it->second));
    parent->children.erase(it);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    SIM_LOCK;
    SimRegistry &r = Reg();
    if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    for (size_t i = 0; i < r.handles.size(); i++) {
        if ((HKEY)r.handles[i].get() != key) continue;
        std::string path = r.handles[i]->key->path;
        // A failed close still lets the handle go, so that tests can count what is left open.
        LONG e = RegFault("RegCloseKey", path);
        r.handles.erase(r.handles.begin() + (long)i);
        return e;
    }
    return ERROR_INVALID_HANDLE;
}

int SimOpenRegistryKeys() {
    SIM_LOCK;
    return (int)Reg().handles.size();
}

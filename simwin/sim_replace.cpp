// Replacing a file whole in the simulation: MoveFileExA (a rename within a volume, over an
// existing file when asked) and FlushFileBuffers.
#include "sim_internal.h"

// An open handle on the entry (a listing does not count): Windows refuses to move or replace it.
static bool IsOpen(SimNode *node) {
    for (auto &h : Sim().handles)
        if (h->node == node && h->kind != SIM_HANDLE_FIND) return true;
    return false;
}

static SimNode *VolumeOf(SimNode *node) {
    while (node->parent) node = node->parent;
    return node;
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    SIM_LOCK;
    // Faults are asked for on the new name, the file being replaced.
    if (SimFaultFires("MoveFileExA", newName)) return FALSE;
    SimLookup from = SimFind(existing);
    if (!from.node) return SimFail(from.error, FALSE);
    if (IsOpen(from.node)) return SimFail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
    SimLookup to = SimFind(newName);
    if (!to.node && to.error != ERROR_FILE_NOT_FOUND) return SimFail(to.error, FALSE);
    if (!to.parent || !SimValidName(to.name)) return SimFail<BOOL>(ERROR_INVALID_NAME, FALSE);
    // The copy across volumes that MOVEFILE_COPY_ALLOWED permits is not simulated.
    if (VolumeOf(from.node) != VolumeOf(to.parent)) return SimFail<BOOL>(ERROR_NOT_SAME_DEVICE, FALSE);
    if (to.node && to.node != from.node) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return SimFail<BOOL>(ERROR_ALREADY_EXISTS, FALSE);
        if (to.node->IsFolder() || from.node->IsFolder() || (to.node->attributes & FILE_ATTRIBUTE_READONLY))
            return SimFail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
        if (IsOpen(to.node)) return SimFail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
        SimRemoveChild(to.node);
    }
    auto &children = from.node->parent->children;
    auto found = children.find(SimUpper(from.node->name));
    std::unique_ptr<SimNode> moved = std::move(found->second);
    children.erase(found);
    moved->name = to.name;
    moved->parent = to.parent;
    to.parent->children[SimUpper(to.name)] = std::move(moved);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    SIM_LOCK;
    SimHandle *h = SimGetHandle(file, SIM_HANDLE_FILE);
    if (!h || !h->node) return SimFail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (SimFaultFires("FlushFileBuffers", SimPathOf(h->node).c_str())) return FALSE;
    return TRUE;
}

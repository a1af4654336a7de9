#include "registry/phantoms.hpp"

#include "registry/atoms.hpp"
#include "registry/pool_batch.hpp"

#include <unordered_map>

namespace atom {
namespace {

struct Unbuilt {
    Ref id;
    Ref parent_id;
    Ref map;  // the id_map it is registered in
};

// Keyed by the id object, which stands for the atom in the map and in the
// parent's bond list. Never destroyed (see pool_batch.cpp).
std::unordered_map<PyObject*, Unbuilt>& unbuilt = *new std::unordered_map<PyObject*, Unbuilt>;

// Builds it and puts it in its place in the map.
Ref build(const Unbuilt& u) {
    Ref h = new_hydrogen_object(u.id.get(), u.parent_id.get());
    if (!h || PyDict_SetItem(u.map.get(), u.id.get(), h.get()) < 0) return nullptr;
    return h;
}

}  // namespace

Ref new_hydrogen_object(PyObject* id, PyObject* parent_id) {
    Ref bonds = Ref::steal(PyList_New(1));
    if (!bonds) return nullptr;
    PyList_SET_ITEM(bonds.get(), 0, Ref::borrow(parent_id).release());
    Ref h = Ref::steal(g.atom_type->tp_alloc(g.atom_type, 0));
    if (!h) return nullptr;
    slot_set(h.get(), Slot::Element, g.names.H);
    slot_set(h.get(), Slot::Charge, g.const_zero);
    slot_set(h.get(), Slot::Lone, g.const_zero);
    slot_set(h.get(), Slot::Id, id);
    slot_set(h.get(), Slot::Bonds, bonds.get());
    slot_set(h.get(), Slot::AccessTag, Py_False);
    return h;
}

Ref register_unbuilt_hydrogen(PyObject* id, PyObject* parent_id) {
    Ref map = registry_map();
    if (!map) return nullptr;
    if (recording_pool()) {
        PyObject* present = PyDict_SetDefault(map.get(), id, id);
        if (!present) return nullptr;
        if (present == id) {
            unbuilt.emplace(id, Unbuilt{Ref::borrow(id), Ref::borrow(parent_id), map});
            return Ref::borrow(id);
        }
    }
    Ref h = new_hydrogen_object(id, parent_id);
    if (!h || !register_atom(h.get(), id)) return nullptr;
    return h;
}

bool is_unbuilt(PyObject* entry) { return !unbuilt.empty() && unbuilt.count(entry) != 0; }

Ref build_hydrogen_now(PyObject* id) {
    auto it = unbuilt.find(id);
    Unbuilt u = std::move(it->second);
    unbuilt.erase(it);
    return build(u);
}

bool delete_hydrogen_by_id(PyObject* id) {
    auto it = unbuilt.find(id);
    if (it == unbuilt.end()) {
        // Built meanwhile: delete the atom now registered under it.
        Ref h = get_atom(id);
        return h && delete_atom_object(h.get());
    }
    Unbuilt u = std::move(it->second);
    unbuilt.erase(it);
    Ref pool = recorded_registry_pool();
    if (!pool) return false;
    if (!record_append(pool.get(), id)) {
        settle_pool();
        if (PyList_Append(pool.get(), id) < 0) return false;
    }
    return PyDict_DelItem(u.map.get(), id) == 0;
}

void build_all_hydrogens() {
    if (unbuilt.empty()) return;
    SavedError e;
    for (auto& [id, u] : unbuilt)
        if (!build(u)) PyErr_Clear();
    unbuilt.clear();
    e.restore();
}

}  // namespace atom

#include "registry/phantoms.hpp"

#include "registry/atoms.hpp"
#include "registry/pool_batch.hpp"

#include <algorithm>
#include <vector>

namespace atom {
namespace {

struct Unbuilt {
    Ref id;
    Ref parent_id;
    Ref map;  // the id_map it is registered in
};

// Found by the id object, which stands for the atom in the map and in the
// parent's bond list. Few at a time: a bond of the reading soon takes each.
// Never destroyed (see pool_batch.cpp).
std::vector<Unbuilt>& unbuilt = *new std::vector<Unbuilt>;

std::vector<Unbuilt>::iterator find_unbuilt(PyObject* id) {
    return std::find_if(unbuilt.begin(), unbuilt.end(), [id](const Unbuilt& u) { return u.id.get() == id; });
}

// Takes the record out of the table.
Unbuilt take(std::vector<Unbuilt>::iterator it) {
    Unbuilt u = std::move(*it);
    *it = std::move(unbuilt.back());
    unbuilt.pop_back();
    return u;
}

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
            unbuilt.push_back(Unbuilt{Ref::borrow(id), Ref::borrow(parent_id), map});
            return Ref::borrow(id);
        }
    }
    Ref h = new_hydrogen_object(id, parent_id);
    if (!h || !register_atom(h.get(), id)) return nullptr;
    return h;
}

bool is_unbuilt(PyObject* entry) { return !unbuilt.empty() && find_unbuilt(entry) != unbuilt.end(); }

Ref build_hydrogen_now(PyObject* id) { return build(take(find_unbuilt(id))); }

bool delete_hydrogen_by_id(PyObject* id) {
    auto it = find_unbuilt(id);
    if (it == unbuilt.end()) {
        // Built meanwhile: delete the atom now registered under it.
        Ref h = get_atom(id);
        return h && delete_atom_object(h.get());
    }
    Unbuilt u = take(it);
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
    std::vector<Unbuilt> all = std::move(unbuilt);
    unbuilt.clear();
    for (const Unbuilt& u : all)
        if (!build(u)) PyErr_Clear();
    e.restore();
}

}  // namespace atom

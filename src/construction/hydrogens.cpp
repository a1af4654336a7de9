#include "construction/hydrogens.hpp"
#include "python/fast_paths.hpp"

#include "construction/construct.hpp"
#include "construction/creation_log.hpp"
#include "registry/atoms.hpp"
#include "registry/element_table.hpp"
#include "registry/ids.hpp"
#include "registry/phantoms.hpp"
#include "registry/plain_map.hpp"
#include "registry/pool_batch.hpp"

namespace atom {
namespace {

// With the element table read once: a hydrogen with one bond has a full
// valence and no lone electron, as the standard row [1, 2] gives. Then
// Atom(bonds=[parent_id], bond_=False) has nothing to resolve, account or bond.
bool hydrogen_full_with_one_bond() {
    ElementRow row;
    return plain_row(reinterpret_cast<PyObject*>(g.atom_type), g.names.H, &row) && row.valence == 1 &&
           row.capacity >= 2;
}

// The hydrogen's atom, registered under `id`.
Ref register_hydrogen(PyObject* id, PyObject* parent_id) {
    Ref h = new_hydrogen_object(id, parent_id);
    if (!h || !register_atom(h.get(), id)) return nullptr;
    return h;
}

// What the constructor makes of Atom(bonds=[parent_id], bond_=False) then,
// for a parent known to be registered under the exact int parent_id: the same
// draw, the same registration (of the id alone when `unbuilt`). Returns the id.
Ref new_full_hydrogen(PyObject* parent_id, bool unbuilt) {
    Ref id = draw_id();
    if (!id) return nullptr;
    Ref registered = unbuilt ? register_unbuilt_hydrogen(id.get(), parent_id) : register_hydrogen(id.get(), parent_id);
    if (!registered) {
        SavedError e;
        if (!give_back_id(id.get())) PyErr_Clear();
        e.restore();
        return nullptr;
    }
    CreationLog::record(registered.get());
    return id;
}

// The fill, one rule for both ways of making a hydrogen: while the atom's
// bond list is shorter than its capacity, make a hydrogen bonded to it and
// append the hydrogen's id to the list.
template <class Maker>
bool fill_with(Maker& make, PyObject* atom, int64_t capacity) {
    for (int made = 0;; ++made) {
        auto bonds = make.bonds(atom);  // held as the maker needs (python/ref.hpp)
        if (!raw(bonds)) return false;
        if (PyList_GET_SIZE(raw(bonds)) >= capacity) return true;
        Ref id = make.hydrogen(atom, made);
        if (!id) return false;
        auto list = make.list_to_extend(atom, raw(bonds));
        if (!raw(list) || PyList_Append(raw(list), id.get()) < 0) return false;
    }
}

// Each hydrogen through the whole constructor, the atom read afresh each
// round, as creating one may run Python code (a replaced randint) that
// deletes the atom or replaces its slots.
struct ThroughConstructor {
    Ref bonds(PyObject* atom) const { return get_bonds(atom); }
    Ref hydrogen(PyObject* atom, int) const {
        Ref parent = slot_ref(atom, Slot::Id);
        Ref h = parent ? create_hydrogen(parent.get()) : nullptr;
        return h ? get_id(h.get()) : nullptr;
    }
    Ref list_to_extend(PyObject* atom, PyObject*) const { return bonds_list(atom); }
};

// What the constructor makes of Atom(bonds=[parent], bond_=False) when
// nothing it does runs Python code: the same draw and registration, the first
// `unbuilt` of them registered by id alone. The atom stays as it is.
struct Directly {
    PyObject* parent;  // the atom's id, an exact int under which it is registered
    int unbuilt;

    // Borrowed: nothing here runs Python code, so the slot keeps its list.
    PyObject* bonds(PyObject* atom) const { return *slot_ptr(atom, Slot::Bonds); }
    Ref hydrogen(PyObject*, int made) const { return new_full_hydrogen(parent, made < unbuilt); }
    PyObject* list_to_extend(PyObject*, PyObject* bonds) const { return bonds; }
};

}  // namespace

Ref create_hydrogen(PyObject* parent_id, int taken_soon) {
    Ref bonds = Ref::steal(PyList_New(parent_id ? 1 : 0));
    if (!bonds) return nullptr;
    if (parent_id) PyList_SET_ITEM(bonds.get(), 0, Py_NewRef(parent_id));
    const NewAtom in{.element = g.names.H,
                     .bonds = bonds.get(),
                     .charge = g.const_zero,
                     .lone = Py_None,
                     .bond_ = false,
                     .auto_modify = Py_False,
                     .hydrogens_taken_soon = taken_soon};
    return create_atom(in);
}

bool fill_hydrogens(PyObject* atom, int64_t capacity, int taken_soon) {
    PoolBatch batch;
    Ref bonds = get_bonds(atom);
    if (!bonds) return false;
    if (PyList_GET_SIZE(bonds.get()) >= capacity) return true;
    Ref map = registry_map();
    if (!map) return false;
    PyObject* parent = *slot_ptr(atom, Slot::Id);  // confirmed: registered under it
    // Nothing below runs Python code when the map holds int keys only and the
    // id is an exact int, so the atom stays as it is between the hydrogens.
    if (!PyLong_CheckExact(parent) || !map_keys_are_ints(map.get()) || !hydrogen_full_with_one_bond() ||
        !standard_draws() || !fast_path(FastPath::HydrogenFill)) {
        ThroughConstructor make;
        return fill_with(make, atom, capacity);
    }
    Directly make{parent, taken_soon};
    return fill_with(make, atom, capacity);
}

}  // namespace atom

#include "construction/hydrogens.hpp"

#include "construction/construct.hpp"
#include "registry/atoms.hpp"

namespace atom {

Ref create_hydrogen(PyObject* parent_id) {
    Ref bonds = Ref::steal(PyList_New(parent_id ? 1 : 0));
    if (!bonds) return nullptr;
    if (parent_id) PyList_SET_ITEM(bonds.get(), 0, Py_NewRef(parent_id));
    const NewAtom in{.element = g.names.H,
                     .bonds = bonds.get(),
                     .charge = g.const_zero,
                     .lone = Py_None,
                     .bond_ = false,
                     .auto_modify = Py_False};
    return create_atom(in);
}

bool fill_hydrogens(PyObject* atom, int64_t capacity) {
    for (;;) {
        // Read afresh each round: creating a hydrogen can run Python code (a
        // replaced randint) that deletes the atom or replaces its slots.
        Ref bonds = get_bonds(atom);
        if (!bonds) return false;
        if (PyList_GET_SIZE(bonds.get()) >= capacity) return true;
        Ref parent = slot_ref(atom, Slot::Id);
        Ref h = parent ? create_hydrogen(parent.get()) : nullptr;
        Ref hid = h ? get_id(h.get()) : nullptr;
        Ref list = hid ? bonds_list(atom) : nullptr;
        if (!list || PyList_Append(list.get(), hid.get()) < 0) return false;
    }
}

}  // namespace atom

// Atoms as the C++ code sees them: the six slots of an instance, the class-wide
// registry (id_map and the id pool, read from the class at every use),
// confirming and resolving atoms, and the getters.
#pragma once

#include "python/edits.hpp"
#include "python/ref.hpp"
#include "python/text.hpp"
#include "python/state.hpp"

namespace atom {

// --- instances and slots ------------------------------------------------------

// Instances of Atom or of a subclass share its slot layout.
inline bool is_atom(PyObject* o) { return PyObject_TypeCheck(o, g.atom_type); }
inline bool is_exact_atom(PyObject* o) { return Py_IS_TYPE(o, g.atom_type); }

inline PyObject** slot_ptr(PyObject* a, Slot s) {
    return reinterpret_cast<PyObject**>(reinterpret_cast<char*>(a) + slot_offset(s));
}
// The slot's value (borrowed), or null with AttributeError when it is unset.
PyObject* slot_get(PyObject* a, Slot s);
inline Ref slot_ref(PyObject* a, Slot s) { return Ref::borrow(slot_get(a, s)); }
// Stores a new reference to v (the old value is released).
inline void slot_set(PyObject* a, Slot s, PyObject* v) { replace_field(slot_ptr(a, s), v); }
// Reads the bonds slot and checks that it holds a list.
Ref bonds_list(PyObject* a);

// An instance method called with a `self` that is not an Atom: raises the
// AttributeError/TypeError a Python method would meet first.
bool require_atom(PyObject* self);

// --- class attributes ----------------------------------------------------------

Ref class_attr(PyObject* cls, PyObject* name);
Ref registry_map();   // Atom.id_map, a dict
Ref registry_pool();  // Atom._Atom__id_pool, a list, with recorded draws settled
// The pool as it stands while draws may be recorded (pool_batch.hpp): for the
// draws and frees themselves.
Ref recorded_registry_pool();

// --- confirming, resolving ------------------------------------------------------

// survive(): the atom's id maps to this very atom.
bool confirm(PyObject* atom);
// get_atom(obj): the registered value for an Atom or an id.
Ref get_atom(PyObject* obj);
// get_atom(obj) when the caller goes on to use the result as an atom.
Ref resolve_atom(PyObject* obj);
// get_atom_id(obj).
Ref get_atom_id(PyObject* obj);

// The message "[Non-existent Atom {id}] Atom {id} does not exist." as AtomError.
bool raise_nonexistent(PyObject* id);

// --- getters (confirm, then the slot, with the result checks of the methods) ----

Ref get_id(PyObject* atom);
Ref get_element(PyObject* atom);
Ref get_charge(PyObject* atom);
Ref get_lone(PyObject* atom);
Ref get_bonds(PyObject* atom);  // the atom's own list object, checked to be a list

// get_element() of `atom`, which resolving `entry` has just given.
Ref resolved_element(PyObject* entry, PyObject* atom);
// The atom an entry of a bond list names (get_atom) and its get_element().
bool entry_atom_element(PyObject* entry, Ref* atom, Ref* element);
// The element of the atom an entry names (resolving it first).
Ref entry_element(PyObject* entry);
inline bool is_hydrogen_symbol(PyObject* element) {
    return element && PyUnicode_CheckExact(element) && PyUnicode_GET_LENGTH(element) == 1 &&
           PyUnicode_READ_CHAR(element, 0) == 'H';
}

// --- registering --------------------------------------------------------------------

// delete(): confirm, put the id at the end of the pool, unregister.
bool delete_atom_object(PyObject* atom);
// Registers the atom under its id slot value.
bool register_atom(PyObject* atom, PyObject* id);

}  // namespace atom

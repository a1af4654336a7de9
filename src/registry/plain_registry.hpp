// Reading atoms without running Python code, for the fast paths of the walks
// and the display form: in a registry known to hold only int keys and atoms
// (plain_registry), looking up an exact int calls no __hash__ or __eq__.
#pragma once

#include "registry/atoms.hpp"

namespace atom {

// The value registered under `key` when it is an exact int, or null (no error).
inline PyObject* plain_find(PyObject* map, PyObject* key) {
    return PyLong_CheckExact(key) ? PyDict_GetItemWithError(map, key) : nullptr;
}

// survive() of an atom, when it succeeds: its id maps to this very atom.
inline bool plain_confirmed(PyObject* map, PyObject* atom) {
    PyObject* id = *slot_ptr(atom, Slot::Id);
    return id && plain_find(map, id) == atom;
}

// The atom a bond entry names and the element get_element() gives for it,
// when both are read without Python code and without failing; else false.
inline bool plain_neighbour(PyObject* map, PyObject* entry, PyObject** atom, PyObject** element) {
    PyObject* a = plain_find(map, entry);
    if (!a || !is_atom(a)) return false;
    // Found under the very object that is its id: that lookup confirmed it.
    if (*slot_ptr(a, Slot::Id) != entry && !plain_confirmed(map, a)) return false;
    PyObject* e = *slot_ptr(a, Slot::Element);
    if (!e || !PyUnicode_CheckExact(e)) return false;
    *atom = a;
    *element = e;
    return true;
}

}  // namespace atom

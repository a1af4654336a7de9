#pragma once

#include <Python.h>

namespace atom {

// Builds the class Atom by calling type() with its namespace filled in order,
// records its slot offsets, and binds it on the module.
bool init_atom_class(PyObject* module);

}  // namespace atom

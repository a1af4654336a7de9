// The Hill-system formula of the structure reachable from an atom.
#pragma once

#include "python/ref.hpp"

namespace atom {

// to_formula(top, val): with a true `top`, the formula of the whole structure;
// otherwise the reached atoms are added to the tally `val` and "" is returned.
Ref to_formula(PyObject* self, PyObject* top, PyObject* val);

}  // namespace atom

// The SMILES text of the structure reachable from an atom.
#pragma once

#include "python/ref.hpp"

namespace atom {

// to_smiles(top, val): with a true `top`, the SMILES of the whole structure;
// otherwise the text of the sub-walk from `self`, using and extending the
// caller's walk state `val`.
Ref to_smiles(PyObject* self, PyObject* top, PyObject* val);

}  // namespace atom

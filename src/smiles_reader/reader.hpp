// Reading a SMILES string into registered, bonded atoms.
#pragma once

#include "python/ref.hpp"

namespace atom {

// from_smiles(smiles, top, val): the outermost reading returns the first atom;
// a nested reading (top false) returns (atom, order of its incoming bond).
Ref from_smiles(PyObject* smiles, PyObject* top, PyObject* val);

}  // namespace atom

// The hydrogens that fill an atom's valence: created by the constructor, by
// the setters when the capacity grows and by the reader for ring bonds.
#pragma once

#include "python/ref.hpp"

#include <cstdint>

namespace atom {

// Atom(bonds=[parent_id], bond_=False): a hydrogen that already names its
// parent; with a null parent, Atom() (a hydrogen with its own partner).
Ref create_hydrogen(PyObject* parent_id);

// Appends new hydrogens to the registered atom's bond list until it holds
// `capacity` entries.
bool fill_hydrogens(PyObject* atom, int64_t capacity);

}  // namespace atom

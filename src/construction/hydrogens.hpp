// The hydrogens that fill an atom's valence: created by the constructor, by
// the setters when the capacity grows and by the reader for ring bonds.
#pragma once

#include "python/ref.hpp"

#include <cstdint>

namespace atom {

// Atom(bonds=[parent_id], bond_=False): a hydrogen that already names its
// parent; with a null parent, Atom() (a hydrogen with its own partner).
// `taken_soon` as for fill_hydrogens: Atom()'s partner, when a bond will use it up.
Ref create_hydrogen(PyObject* parent_id, int taken_soon = 0);

// Appends new hydrogens to the registered atom's bond list until it holds
// `capacity` entries. The first `taken_soon` of them are expected to be given
// up again by the running operation: they are registered without being built
// (registry/phantoms.hpp).
bool fill_hydrogens(PyObject* atom, int64_t capacity, int taken_soon = 0);

}  // namespace atom

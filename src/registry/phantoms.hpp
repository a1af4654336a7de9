// Hydrogens a reading will most likely give up again: registered under their
// id with the id itself standing in for the atom, and built only when they
// are still registered as the pool settles (before any Python code can run)
// or when something resolves them. A hydrogen given up before that is never
// built: its id is drawn, registered, freed and unregistered as a built one.
#pragma once

#include "python/ref.hpp"

namespace atom {

// Registers `id` (just drawn, an exact int) as a hydrogen bonded to the atom
// registered under `parent_id`, without building it: returns the id. Builds
// and registers the atom instead (and returns it) when the pool is not being
// recorded or the id is registered already. Null with an exception set.
Ref register_unbuilt_hydrogen(PyObject* id, PyObject* parent_id);

// True while some hydrogen is registered and not built.
bool has_unbuilt_hydrogens();

// True when `entry` is the id of a hydrogen registered and not built yet.
bool is_unbuilt(PyObject* entry);

// The hydrogen's atom, built now (its registration keeps its place in id_map).
Ref build_hydrogen_now(PyObject* id);

// delete() on the hydrogen registered under `id`, built or not.
bool delete_hydrogen_by_id(PyObject* id);

// Builds every hydrogen still unbuilt; called as the pool settles. An atom
// that cannot be allocated leaves its id mapped to the id itself, which every
// lookup refuses as not an atom.
void build_all_hydrogens();

// The atom object of a hydrogen that fills a valence: element H, no charge, no
// lone electron, bonded to `parent_id`, registered under `id` (not yet).
Ref new_hydrogen_object(PyObject* id, PyObject* parent_id);

}  // namespace atom

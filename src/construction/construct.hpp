// Creating atoms: the constructor's steps, used by __init__ and by every
// internal creation (hydrogens, the SMILES reader).
#pragma once

#include "python/ref.hpp"
#include "valence/accounting.hpp"

namespace atom {

struct NewAtom {
    PyObject* element;        // exact str (checked by the caller)
    PyObject* bonds;          // list of atoms or ids, or None; becomes the atom's list
    PyObject* charge;         // exact int
    PyObject* lone;           // None: chosen by the accounting
    bool bond_ = true;        // ask the listed atoms to record the bond
    PyObject* auto_modify;    // used when `lone` is given
    int placeholders = 0;     // bonds still to come, counted by the accounting only
    // The listed atoms were made by the running reading: resolving and bonding
    // them runs no Python code.
    bool partners_made_here = false;
    // The accounting's result for these arguments, when the caller has it.
    const Capacity* known_capacity = nullptr;
    // How many of the hydrogens it is filled with the running reading will
    // soon use up for bonds (they are not built unless they stay).
    int hydrogens_taken_soon = 0;
};

// Runs the constructor's steps on a fresh (or re-initialised) instance.
bool init_atom(PyObject* self, const NewAtom& in);

// A new registered atom.
Ref create_atom(const NewAtom& in);

}  // namespace atom

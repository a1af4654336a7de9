// Creating atoms: the constructor's steps, used by __init__ and by every
// internal creation (hydrogens, the SMILES reader).
#pragma once

#include "python/ref.hpp"

#include <vector>

namespace atom {

struct NewAtom {
    PyObject* element;        // exact str (checked by the caller)
    PyObject* bonds;          // list of atoms or ids, or None; becomes the atom's list
    PyObject* charge;         // exact int
    PyObject* lone;           // None: chosen by the accounting
    bool bond_ = true;        // ask the listed atoms to record the bond
    PyObject* auto_modify;    // used when `lone` is given
    int placeholders = 0;     // bonds still to come, counted by the accounting only
};

// While a log is open, every atom a construction on the same thread registers
// is recorded in it (the SMILES reader unregisters them again when a reading
// fails). Logs nest.
class CreationLog {
public:
    CreationLog();
    ~CreationLog();
    CreationLog(const CreationLog&) = delete;
    CreationLog& operator=(const CreationLog&) = delete;

    const std::vector<Ref>& atoms() const { return atoms_; }
    static void record(PyObject* atom);

private:
    std::vector<Ref> atoms_;
    CreationLog* previous_;
};

// Runs the constructor's steps on a fresh (or re-initialised) instance.
bool init_atom(PyObject* self, const NewAtom& in);

// A new registered atom.
Ref create_atom(const NewAtom& in);

// Atom(bonds=[parent_id], bond_=False): a hydrogen that already names its parent.
Ref create_hydrogen(PyObject* parent_id);

}  // namespace atom

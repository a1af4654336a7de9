// Forming bonds by hydrogen exchange (or through a lone electron), and the
// carbene conversion.
#pragma once

#include "python/ref.hpp"

#include <span>

namespace atom {

enum class Mode : uint8_t { Hydro, Lone, Both, Other };

// The mode the `use` argument names: the first of "hydro", "lone_electron" and
// "both" it compares equal to (as `use == "hydro"` would), else Other. False
// with an exception set when a comparison fails.
bool mode_of(PyObject* use, Mode* mode);

// How one atom will record one new bond, worked out before anything changes.
struct SidePlan {
    Ref atom;
    bool via_lone = false;
    Ref lone;             // the lone-electron count to store (via a lone electron)
    Py_ssize_t pos = -1;  // position of the hydrogen entry to overwrite
    Ref entry;            // the entry object found at `pos`
    Ref hydrogen;         // the hydrogen atom given up
};

// Works out how `side` forms one bond in `mode`, changing nothing. Atoms in
// `keep` (the partner, hydrogens already promised) are never given up. Atoms
// in `gone` (hydrogens that earlier steps will have deleted) are taken as
// unregistered: reaching one raises the AtomError of resolving it.
// Raises the side's BondError when it has nothing to form the bond with.
bool plan_side(PyObject* side, Mode mode, std::span<PyObject* const> keep, SidePlan* plan,
               std::span<PyObject* const> gone = {});

// Carries out a plan: the partner's id replaces the hydrogen entry (that
// hydrogen is deleted) or is appended with the lone electron used.
bool apply_side(const SidePlan& plan, PyObject* partner_id);

// bond_with(self, atom, bond_back, use, allow_carbene).
bool bond_with(PyObject* self, PyObject* atom, PyObject* bond_back, PyObject* use, PyObject* allow_carbene);

}  // namespace atom

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

// How a side's hydrogen step reads its entries while a bond is planned. The
// step gives up the first hydrogen entry in list order and never skips one:
// entries `passed_over` are read as not hydrogen (their exchange is already
// planned for a bond to a heavy atom); when the first hydrogen reached is
// `refused` (it is taken by the other side, or is the other side itself), the
// side has nothing to give and raises its BondError.
struct HydrogenRules {
    std::span<PyObject* const> passed_over = {};
    std::span<PyObject* const> refused = {};
};

// Works out how `side` forms one bond in `mode`, changing nothing. Raises the
// side's BondError when it has nothing to form the bond with.
bool plan_side(PyObject* side, Mode mode, const HydrogenRules& rules, SidePlan* plan);

// The BondError of a side that cannot take part in a bond at all (it is the
// hydrogen the other side gives up), as its own planning raises it in `mode`.
bool refuse_side(PyObject* side, Mode mode);

// Carries out a plan: the partner's id replaces the hydrogen entry (that
// hydrogen is deleted) or is appended with the lone electron used. The
// hydrogen is released as soon as it is deleted, where a finalizer of it
// runs; if Python code ran there, `partner` (an atom or an id) is resolved
// afresh instead of trusting `partner_id`.
bool apply_side(SidePlan& plan, PyObject* partner, PyObject* partner_id);

// bond_with(self, atom, bond_back, use, allow_carbene).
bool bond_with(PyObject* self, PyObject* atom, PyObject* bond_back, PyObject* use, PyObject* allow_carbene);

}  // namespace atom

// Changing an atom's charge, element or lone electrons, with its hydrogens
// re-balanced to the new bond capacity.
#pragma once

#include "python/ref.hpp"

#include <vector>

namespace atom {

enum class Setter : uint8_t { Charge, Element, Lone };

// What a setter will do, worked out before anything changes.
struct SetterPlan {
    Setter which = Setter::Charge;
    Ref value;            // the value to assign (for Lone: the adjusted count)
    int64_t capacity = 0; // bond entries the atom must hold afterwards
    // Hydrogen entries to drop (front first): positions and the entries found there.
    std::vector<Py_ssize_t> drop_positions;
    std::vector<Ref> drop_entries;
};

// The checks of a setter, before it changes anything: confirms the atom, asks the accounting
// for the new capacity and checks that enough hydrogen entries can be dropped.
// `bonds` replaces the atom's bond list in the computation when given.
// Raises the accounting's or the setter's own error with nothing changed.
bool plan_setter(PyObject* self, Setter which, PyObject* value, PyObject* auto_modify, PyObject* bonds,
                 SetterPlan* plan);

// Assigns the value, then adds hydrogens or drops (and deletes) them.
bool apply_setter(PyObject* self, const SetterPlan& plan);

// set_charge / set_element / set_lone_electron as the methods run them.
bool run_setter(PyObject* self, Setter which, PyObject* value, PyObject* auto_modify);

}  // namespace atom

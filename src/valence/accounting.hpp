// The valence model: how many bond entries an atom holds once its valence is
// filled, and the lone electrons that go with it.
#pragma once

#include "python/ref.hpp"

#include <cstdint>

namespace atom {

struct AccountArgs {
    PyObject* cls;           // whose element table is read
    PyObject* element;       // exact str
    PyObject* charge;        // exact int
    PyObject* lone;          // exact int
    PyObject* existing;      // the bond entries: a list, None, or any object with copy/count/remove
    PyObject* id;            // exact int: named in messages, freed on some failures
    PyObject* auto_modify;   // used for its truth value
    int placeholders = 0;    // extra entries of one id that names no atom
};

struct Capacity {
    int64_t bonds;  // bond entries once the valence is filled
    int64_t lone;   // lone electrons that go with them
};

// __bond_num. The argument types are checked as the method's binder would.
bool bond_num(const AccountArgs& args, Capacity* out);

// __remove_hydro: the entries of `bonds` that do not name hydrogen atoms.
Ref remove_hydro(PyObject* bonds);

}  // namespace atom

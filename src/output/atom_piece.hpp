// What a SMILES walk writes for one atom: its non-hydrogen neighbours with bond
// orders, and the atom's own text (bare symbol, or brackets with hydrogen
// count and charge).
#pragma once

#include "python/ref.hpp"
#include "python/text.hpp"

#include <cstdint>
#include <vector>

namespace atom {

struct Neighbour {
    Ref key;  // the bond-list entry naming it
    int64_t order = 0;
};

struct Census {
    std::vector<Neighbour> neighbours;  // in order of first appearance
    std::vector<Ref> heavy_entries;     // the entries naming non-hydrogen atoms, in list order
    int64_t hydrogens = 0;
    Ref charge;  // the atom's charge plus that of its hydrogens
};

// Reads the bond list of `atom` once, resolving every entry.
bool take_census(PyObject* atom, Census* out);

// The atom's own text for its element `element`, as "C", "[CH2]", "[NH4+]"…
bool write_atom_text(PyObject* atom, PyObject* element, const Census& census, Text* piece);

// "[H+", charge, "]" with the charge rewritten: "[H+]", "[H]", "[H-]".
bool write_lone_hydrogen(PyObject* charge, Text* piece);

}  // namespace atom

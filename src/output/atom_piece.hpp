// What a SMILES walk writes for one atom: its non-hydrogen neighbours with bond
// orders, and the atom's own text (bare symbol, or brackets with hydrogen
// count and charge).
#pragma once

#include "python/ref.hpp"
#include "python/text.hpp"
#include "registry/element_table.hpp"

#include <cstdint>
#include <vector>

namespace atom {

struct Neighbour {
    Ref key;  // the bond-list entry naming it
    int64_t order = 0;
    Ref atom;  // the atom the entry names, when the census read it without Python code
};

struct Census {
    std::vector<Neighbour> neighbours;  // in order of first appearance
    std::vector<Ref> heavy_entries;     // the entries naming non-hydrogen atoms, in list order
    int64_t hydrogens = 0;
    Ref charge;  // the atom's charge plus that of its hydrogens
};

// Reads the bond list of `atom` once, resolving every entry.
bool take_census(PyObject* atom, Census* out);

// The same census read without Python code, in the plain registry `map`;
// false (no error set) when a value it meets is not of its plain type or an
// entry does not resolve: the general census then gives the outcome.
bool take_plain_census(PyObject* atom, PyObject* map, Census* out);

// The bracket decision's bond count for neutral atoms of one element and one
// bond shape (non-hydrogen entries, double bonds among them), so that the
// accounting runs once per shape. Its answers hold while the element table's
// rows do; only walks that run no Python code use it.
class CapacityMemo {
public:
    // The memo for walks on the class's table as it is now, or null when that
    // table is not plain.
    static CapacityMemo* for_current_table();

    bool find(PyObject* element, const Census& census, int64_t* bonds) const;
    void keep(PyObject* element, const Census& census, int64_t bonds);

private:
    struct Entry {
        Ref element;
        size_t heavy;
        int64_t doubles;
        int64_t bonds;
    };
    std::vector<Entry> entries_;
    std::vector<TableRow> rows_;   // the table the answers came from
    std::vector<Ref> row_symbols_;  // holds rows_' symbols alive
};

// The atom's own text for its element `element`, as "C", "[CH2]", "[NH4+]"…
// With a memo (a walk that runs no Python code) the accounting's answers are
// reused.
bool write_atom_text(PyObject* atom, PyObject* element, const Census& census, Text* piece,
                     CapacityMemo* memo = nullptr);

// "[H+", charge, "]" with the charge rewritten: "[H+]", "[H]", "[H-]".
bool write_lone_hydrogen(PyObject* charge, Text* piece);

}  // namespace atom

// First pass of the reader: the text cut into levels (one atom each, with its
// ring labels, branches and continuation), in the order the reading visits
// them, and the pairing of ring labels in text order.
#pragma once

#include "python/ref.hpp"
#include "smiles_reader/source.hpp"

#include <string>
#include <vector>

namespace atom::smiles {

// Why a level could not be read; it is raised when the reading reaches it.
enum class Failure : uint8_t {
    None,
    Index,         // the interpreter's IndexError (an empty text, a trailing "=" or "#")
    Unclosed,      // a "[" or "(" never closed
    Charge,        // a bracket atom's charge that int() refused
    Hydrogens,     // a bracket atom's hydrogen count that int() refused
    RingRef,       // a ring label that is not a non-negative integer
    Value,         // int() refused a ring label (too many digits): its ValueError
};

struct RingMark {
    std::string label;  // the label's decimal value, without leading zeros
    int order = 1;      // 1, or 2/3 when written with "=" / "#"
    int partner = -1;   // the mark it closes with (text order pairing), -1 when unpaired
    Ref atom_id;        // set once its atom exists and the mark has been handled
};

struct Level {
    int incoming = 0;   // order of the bond to the caller's atom; 0 at the outermost level
    Ref element;        // str
    Ref charge;         // int
    Ref hydrogens;      // int for a bracket atom, null otherwise
    std::vector<int> rings;     // indices of its ring marks
    std::vector<int> children;  // branch levels, then the continuation
    Failure failure = Failure::None;
    Ref detail;         // the text quoted by the failure's message
    Ref context;        // the ValueError behind a refused charge or hydrogen count
    Ref atom;           // the atom once created
};

struct Reading {
    Source source;
    std::vector<Level> levels;  // in visiting order; levels[0] is the outermost
    std::vector<RingMark> marks;
};

// Cuts the text into levels until the first level that cannot be read (that
// level keeps its failure and nothing after it is cut). `top` is false for a
// nested reading, whose first character may be a bond symbol.
bool cut_levels(Reading& r, bool top);

}  // namespace atom::smiles

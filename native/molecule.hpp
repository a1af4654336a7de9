// The parsed form of one SMILES text: atoms, bonds and the tokens that write it
// back in the same order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kekule {

// The element table of the Atom module, in a fixed order.
enum Element : std::int8_t { kH, kC, kN, kO, kP, kS, kF, kCl, kBr, kI, kElementCount };

std::string_view symbol_of(int element);
// The index of a symbol in the table, or -1.
int element_of(std::string_view symbol);

struct AtomRecord {
    int element = kC;
    int charge = 0;
    int hcount = -1;       // a bracket atom's hydrogens; -1 for an organic-subset atom
    int folded = 0;        // [H] atoms folded into this one
    int position = 0;      // index of the atom's first character in the text
    int component = 0;
    bool aromatic = false;
    bool bracket = false;
    bool removed = false;  // a folded [H]
    bool needs_pi = false;
};

struct BondRecord {
    int a = 0;
    int b = 0;
    int order = 1;          // 1, 2 or 3 once kekulized
    bool aromatic = false;  // a candidate for the matching
};

enum class TokenKind : std::uint8_t { Atom, Bond, Ring, Open, Close, Dot, Skip };

struct Token {
    TokenKind kind;
    int index;      // the atom or bond written
    int begin = 0;  // a ring label's text span in the input
    int end = 0;
};

struct Failure {
    std::string reason;
    int position = 0;
};

struct Molecule {
    std::vector<AtomRecord> atoms;
    std::vector<BondRecord> bonds;
    std::vector<Token> tokens;
    std::vector<int> atom_token;  // the token of each atom
    // Bonds of each atom, compressed: bonds of atom i at edges[first[i]..first[i+1]).
    std::vector<int> first;
    std::vector<int> edges;

    void clear();
    int other(int bond, int atom) const {
        return bonds[bond].a == atom ? bonds[bond].b : bonds[bond].a;
    }
    void index_bonds();
};

// The smallest valence of `element` with `charge` that is at least `total`, or -1.
int smallest_valence(int element, int charge, int total);
// The bond entries a bare atom of the element holds in the Atom module before
// hypervalence: 4 for C, 3 for N and P, 2 for O and S, 1 for the halogens.
int ordinary_valence(int element);

// Each step returns false and fills `failure` when the text cannot be read.
bool parse(std::string_view text, bool strict, Molecule& molecule, Failure& failure);
bool fold_hydrogens(Molecule& molecule, Failure& failure);
bool kekulize(Molecule& molecule, Failure& failure);
// The Kekulé text, which Atom.from_smiles reads.
void write(const Molecule& molecule, std::string_view text, std::string& out);
// The text of one atom as written, and of its bonds' hydrogens.
void write_atom(const Molecule& molecule, int atom, std::string& out);
int hydrogens_of(const Molecule& molecule, int atom);

}  // namespace kekule

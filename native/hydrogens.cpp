// [H] atoms are folded into the hydrogen count of their neighbour: the Atom
// module carries hydrogens itself and reads no bracket hydrogen.
#include "molecule.hpp"

namespace kekule {

namespace {

constexpr const char* kLoneHydrogen = "a hydrogen atom is read only as [H] bonded to one atom other than hydrogen";

bool is_token(const Molecule& m, int token, TokenKind kind, int index = -1) {
    if (token < 0 || token >= static_cast<int>(m.tokens.size())) return false;
    return m.tokens[token].kind == kind && (index < 0 || m.tokens[token].index == index);
}

bool at_component_start(const Molecule& m, int token) {
    return token == 0 || m.tokens[token - 1].kind == TokenKind::Dot;
}

void skip(Molecule& m, int token) { m.tokens[token].kind = TokenKind::Skip; }

// Removes the hydrogen's tokens and its bond's; false when the text has no
// form that can be written without it.
bool remove_tokens(Molecule& m, int atom, int bond) {
    int t = m.atom_token[atom];
    if (is_token(m, t - 1, TokenKind::Bond, bond)) {
        // X[H], X([H]): the hydrogen ends a chain or a branch.
        skip(m, t - 1);
        skip(m, t);
        if (is_token(m, t - 2, TokenKind::Open) && is_token(m, t + 1, TokenKind::Close)) {
            skip(m, t - 2);
            skip(m, t + 1);
        }
        return true;
    }
    if (at_component_start(m, t) && is_token(m, t + 1, TokenKind::Bond, bond)) {
        // [H]X...: the hydrogen opens a structure.
        skip(m, t);
        skip(m, t + 1);
        return true;
    }
    return false;
}

bool fold(Molecule& m, int atom, Failure& failure) {
    AtomRecord& hydrogen = m.atoms[atom];
    failure = {kLoneHydrogen, hydrogen.position};
    if (hydrogen.charge != 0 || hydrogen.hcount != 0) return false;
    if (m.first[atom + 1] - m.first[atom] != 1) return false;
    int bond = m.edges[m.first[atom]];
    const BondRecord& record = m.bonds[bond];
    int neighbour = m.other(bond, atom);
    if (record.order != 1 || m.atoms[neighbour].element == kH || !remove_tokens(m, atom, bond)) return false;
    hydrogen.removed = true;
    ++m.atoms[neighbour].folded;
    return true;
}

}  // namespace

bool fold_hydrogens(Molecule& m, Failure& failure) {
    for (int i = 0; i < static_cast<int>(m.atoms.size()); ++i)
        if (m.atoms[i].element == kH && !fold(m, i, failure)) return false;
    return true;
}

int hydrogens_of(const Molecule& m, int atom) {
    const AtomRecord& record = m.atoms[atom];
    if (record.bracket) return record.hcount + record.folded;
    int total = record.folded;
    for (int e = m.first[atom]; e < m.first[atom + 1]; ++e) {
        const BondRecord& bond = m.bonds[m.edges[e]];
        if (!m.atoms[m.other(m.edges[e], atom)].removed) total += bond.order;
    }
    int valence = smallest_valence(record.element, 0, total);
    return (valence < 0 ? 0 : valence - total) + record.folded;
}

}  // namespace kekule

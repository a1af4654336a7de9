// Writing the Kekulé text: the tokens in their order, each atom bare when the
// Atom module gives a bare atom the hydrogens it must have, else in brackets.
#include "molecule.hpp"

namespace kekule {

namespace {

void write_bond(int order, std::string& out) {
    if (order == 2) out += '=';
    else if (order == 3) out += '#';
}

int heavy_bond_entries(const Molecule& m, int atom) {
    int total = 0;
    for (int e = m.first[atom]; e < m.first[atom + 1]; ++e)
        if (!m.atoms[m.other(m.edges[e], atom)].removed) total += m.bonds[m.edges[e]].order;
    return total;
}

void write_number(int value, std::string& out) { out += std::to_string(value); }

}  // namespace

void write_atom(const Molecule& m, int atom, std::string& out) {
    const AtomRecord& record = m.atoms[atom];
    int hydrogens = hydrogens_of(m, atom);
    int bare = ordinary_valence(record.element) - heavy_bond_entries(m, atom);
    if (record.charge == 0 && hydrogens == (bare > 0 ? bare : 0)) {
        out += symbol_of(record.element);
        return;
    }
    out += '[';
    out += symbol_of(record.element);
    if (hydrogens > 0) {
        out += 'H';
        if (hydrogens > 1) write_number(hydrogens, out);
    }
    if (record.charge != 0) {
        out += record.charge > 0 ? '+' : '-';
        int magnitude = record.charge > 0 ? record.charge : -record.charge;
        if (magnitude > 1) write_number(magnitude, out);
    }
    out += ']';
}

void write(const Molecule& m, std::string_view text, std::string& out) {
    out.clear();
    for (const Token& token : m.tokens) {
        switch (token.kind) {
            case TokenKind::Atom: write_atom(m, token.index, out); break;
            case TokenKind::Bond: write_bond(m.bonds[token.index].order, out); break;
            case TokenKind::Ring:
                write_bond(m.bonds[token.index].order, out);
                out += text.substr(token.begin, token.end - token.begin);
                break;
            case TokenKind::Open: out += '('; break;
            case TokenKind::Close: out += ')'; break;
            case TokenKind::Dot: out += '.'; break;
            case TokenKind::Skip: break;
        }
    }
}

}  // namespace kekule

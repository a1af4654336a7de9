// Element symbols and the valence rules of SMILES.
#include "molecule.hpp"

#include <array>

namespace kekule {

namespace {

constexpr std::array<std::string_view, kElementCount> kSymbols{"H", "C", "N", "O", "P", "S", "F", "Cl", "Br", "I"};
constexpr std::array<int, kElementCount> kValenceElectrons{1, 4, 5, 6, 5, 6, 7, 7, 7, 7};

// Third-row and heavier elements take valences two, four, ... above the
// ordinary one; so does a neutral nitrogen (nitro groups, N-oxides written
// with a double bond).
bool expands(int element, int charge) {
    return element == kP || element == kS || element >= kCl || (element == kN && charge == 0);
}

}  // namespace

std::string_view symbol_of(int element) { return kSymbols[element]; }

int element_of(std::string_view symbol) {
    for (int i = 0; i < kElementCount; ++i)
        if (kSymbols[i] == symbol) return i;
    return -1;
}

int ordinary_valence(int element) {
    int electrons = kValenceElectrons[element];
    return electrons <= 4 ? electrons : 8 - electrons;
}

int smallest_valence(int element, int charge, int total) {
    // An ion takes the valences of the element with as many valence electrons.
    int electrons = kValenceElectrons[element] - charge;
    if (electrons < 0 || electrons > 8) return -1;
    int valence = electrons <= 4 ? electrons : 8 - electrons;
    if (total <= valence) return valence;
    if (!expands(element, charge)) return -1;
    for (valence += 2; valence <= electrons; valence += 2)
        if (total <= valence) return valence;
    return -1;
}

void Molecule::clear() {
    atoms.clear();
    bonds.clear();
    tokens.clear();
    atom_token.clear();
    first.clear();
    edges.clear();
}

void Molecule::index_bonds() {
    first.assign(atoms.size() + 1, 0);
    for (const BondRecord& bond : bonds) {
        ++first[bond.a + 1];
        ++first[bond.b + 1];
    }
    for (std::size_t i = 1; i < first.size(); ++i) first[i] += first[i - 1];
    edges.resize(bonds.size() * 2);
    std::vector<int> fill(first.begin(), first.end() - 1);
    for (int i = 0; i < static_cast<int>(bonds.size()); ++i) {
        edges[fill[bonds[i].a]++] = i;
        edges[fill[bonds[i].b]++] = i;
    }
}

}  // namespace kekule

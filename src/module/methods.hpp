// The method table of the class Atom: each subsystem defines the entries of the
// methods it implements; the class is built from them in table order.
#pragma once

#include "python/method_signature.hpp"

#include <span>

namespace atom {

namespace methods {
// registry
extern const MethodSpec init, generate_id, delete_atom, get_all_atoms, get_atom, get_atom_id, reset_tags,
    delete_, get_bonds, get_charge, get_element, get_id, get_lone_electron, survive;
// bonding
extern const MethodSpec bond_num, remove_hydro, bond, break_bond, bond_with, break_bond_with;
// SMILES reader
extern const MethodSpec from_smiles;
// setters
extern const MethodSpec set_charge, set_element, set_lone_electron;
// text output
extern const MethodSpec str_, repr_, get_formula, get_smiles, to_formula, to_smiles;
}  // namespace methods

// The methods in the order of the class namespace.
std::span<const MethodSpec* const> method_table();

// Names of the class methods bound as module attributes, in order.
std::span<const char* const> module_aliases();

}  // namespace atom

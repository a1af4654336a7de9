#include "module/methods.hpp"

namespace atom {

std::span<const MethodSpec* const> method_table() {
    using namespace methods;
    static const MethodSpec* const table[] = {
        &init,
        &str_,
        &repr_,
        &generate_id,
        &bond_num,
        &remove_hydro,
        &bond,
        &break_bond,
        &delete_atom,
        &from_smiles,
        &get_all_atoms,
        &get_atom,
        &get_atom_id,
        &get_formula,
        &get_smiles,
        &reset_tags,
        &bond_with,
        &break_bond_with,
        &delete_,
        &get_bonds,
        &get_charge,
        &get_element,
        &get_id,
        &get_lone_electron,
        &set_charge,
        &set_element,
        &set_lone_electron,
        &survive,
        &to_formula,
        &to_smiles,
    };
    return table;
}

std::span<const char* const> module_aliases() {
    static const char* const names[] = {
        "bond",
        "break_bond",
        "delete_atom",
        "from_smiles",
        "get_all_atoms",
        "get_atom",
        "get_atom_id",
        "get_formula",
        "get_smiles",
        "reset_tags",
    };
    return names;
}

}  // namespace atom

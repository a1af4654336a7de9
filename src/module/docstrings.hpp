// Docstrings of the module, the class and its methods.
#pragma once

namespace atom::doc {

inline constexpr const char* kModule =
    "\n"
    "Brantor 0.0.5\n"
    "\n"
    "Brantor is a library used for storing and editing chemical structural formulas. It provides an easy-to-use "
    "class Atom,\n"
    "which primarily stores atoms to achieve functions such as structure registration, modification, and "
    "conversion.\n"
    "\n"
    "All:\n"
    "    Atom (class)\n"
    "    bond (method)\n"
    "    delete_atom (method)\n"
    "    from_smiles (method)\n"
    "    get_all_atoms (method)\n"
    "    get_atom (method)\n"
    "    get_atom_id (method)\n"
    "    get_formula (method)\n"
    "    get_smiles (method)\n"
    "    reset_tags (method)\n";

inline constexpr const char* kClass =
    "The Atom class is used to represent an atom in a structure, containing its elements, charge, lone pair "
    "electrons,\n"
    "the atoms it is bonded to, and its id. Every atom carries its filled valence as explicit hydrogen atoms,\n"
    "and every atom is registered in a class-wide map from id to atom.\n"
    "\n"
    "Attributes:\n"
    "    element_info (Dict[str, List[any]]): Class attribute. Valence electrons and shell capacity of each "
    "supported element.\n"
    "    id_map (Dict[int, Atom]): Class attribute. The registered atoms by id.\n"
    "    id_pool (List[int]): Class attribute. The free ids.\n"
    "    access_tag (bool): Traversal mark used while a structure is walked.\n"
    "    bonds (Optional[List[int]]): Ids of the bonded atoms, one entry per bond.\n"
    "    charge (int): Formal charge of the atom.\n"
    "    element (str): Element symbol of the atom.\n"
    "    id (int): Id of the atom, from 1000 to 9999.\n"
    "    lone_electron (int): Number of lone (non-bonding) electrons.\n"
    "\n"
    "Raises:\n"
    "    AtomError: An atom does not exist or cannot be resolved.\n"
    "    BondError: A bond cannot be formed or broken.\n"
    "    ChargeError: A charge does not fit the element.\n"
    "    ElementError: An element is not supported.\n"
    "    IdError: No free id is left.\n"
    "    LoneElectronError: A number of lone electrons does not fit the atom.";

inline constexpr const char* kInit =
    "Create an atom, register it, and fill its remaining valence with hydrogen atoms.\n"
    "\n"
    "Args:\n"
    "    element (str): The element symbol. Default to 'H'.\n"
    "    bonds (Optional[List[Union[int, Atom]]]): The atoms (or their ids) to bond with, one entry per bond. "
    "Default to None.\n"
    "    charge (int): The charge of the atom. Default to 0.\n"
    "    lone_electron (Optional[int]): The number of lone electrons. None chooses it automatically. Default to "
    "None.\n"
    "    bond_ (bool): Whether the atoms in bonds record the bond on their side. Default to True.\n"
    "    auto_modify (bool): Whether to automatically adjust the number of lone electrons. Default to False.\n"
    "\n"
    "Raises:\n"
    "    AtomError: An atom in bonds does not exist.\n"
    "    BondError: The bonds cannot be formed.\n"
    "    ChargeError: The charge does not fit the element.\n"
    "    ElementError: The element is not supported.\n"
    "    IdError: No free id is left.\n"
    "    LoneElectronError: The number of lone electrons does not fit the atom.";

inline constexpr const char* kBond =
    "Form one bond between two atoms.\n"
    "\n"
    "Args:\n"
    "    atom_1 (Union[int, Atom]): The first atom or its id.\n"
    "    atom_2 (Union[int, Atom]): The second atom or its id.\n"
    "    use (Literal['hydro', 'lone_electron', 'all']): What to form the bond with. Default to 'hydro'.\n"
    "    allow_carbene (bool): Whether bonding an atom with itself forms a carbene-like structure. Default to "
    "False.\n"
    "\n"
    "Raises:\n"
    "    AtomError: An atom does not exist.\n"
    "    BondError: The bond cannot be formed.\n"
    "    LoneElectronError: The lone electrons cannot be used.";

inline constexpr const char* kBreakBond =
    "Break one bond between two atoms.\n"
    "\n"
    "Args:\n"
    "    atom_1 (Union[int, Atom]): The first atom or its id.\n"
    "    atom_2 (Union[int, Atom]): The second atom or its id.\n"
    "\n"
    "Raises:\n"
    "    AtomError: An atom does not exist.\n"
    "    BondError: The bond does not exist or cannot be broken.";

inline constexpr const char* kDelete =
    "Delete the current atom, Remove it from the list of registered atoms.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.";

inline constexpr const char* kFromSmiles =
    "Get a structure from a SMILES.\n"
    "\n"
    "Args:\n"
    "    smiles (str): The SMILES to read.\n"
    "    top (bool): Whether to be the entry point for the recursion. Default to True.\n"
    "        Warning: Setting it to False will lead to some unexpected problems.\n"
    "    val (Optional[List[any]]): Variables passed during recursion. Default to None.\n"
    "        Warning: Setting it to anything else will lead to some unexpected problems.\n"
    "\n"
    "Returns:\n"
    "    Union[Atom, Tuple[Atom, int]]: An atom in the result structure.\n"
    "\n"
    "Raises:\n"
    "    SmilesError: The SMILES cannot be read.";

inline constexpr const char* kGetAllAtoms =
    "Get all registered atoms.\n"
    "\n"
    "Returns:\n"
    "    List[Atom]: A new list of the registered atoms, in the order of registration.";

inline constexpr const char* kGetAtom =
    "Get an atom from an Atom object or an id.\n"
    "\n"
    "Args:\n"
    "    atom (Union[int, Atom]): The atom or its id.\n"
    "\n"
    "Returns:\n"
    "    Atom: The registered atom.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.";

inline constexpr const char* kGetAtomId =
    "Get the id of an atom from an Atom object or an id.\n"
    "\n"
    "Args:\n"
    "    atom (Union[int, Atom]): The atom or its id.\n"
    "\n"
    "Returns:\n"
    "    int: The id of the atom.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.";

inline constexpr const char* kGetFormula =
    "Convert the structure of an atom into formula with Hill System.\n"
    "\n"
    "Args:\n"
    "    atom (Atom): The atom to convert.\n"
    "\n"
    "Returns:\n"
    "    str: The result formula.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.";

inline constexpr const char* kGetSmiles =
    "Convert the structure of an atom into SMILES.\n"
    "\n"
    "Args:\n"
    "    atom (Atom): The atom to convert.\n"
    "\n"
    "Returns:\n"
    "    str: The result SMILES.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.\n"
    "    SmilesError: The structure cannot be converted.";

inline constexpr const char* kResetTags =
    "Set the access tag of every registered atom to False.\n"
    "\n"
    "Returns:\n"
    "    None";

inline constexpr const char* kBondWith =
    "Form one bond between the current atom and another atom.\n"
    "\n"
    "Args:\n"
    "    atom (Union[int, Atom]): The atom to bond with, or its id.\n"
    "    bond_back (bool): Whether the other atom records the bond on its side. Default to True.\n"
    "    use (Literal['hydro', 'lone_electron', 'both']): What to form the bond with: a hydrogen atom, a lone "
    "electron, or both (lone electron first). Default to 'hydro'.\n"
    "    allow_carbene (bool): Whether bonding the atom with itself forms a carbene-like structure. Default to "
    "False.\n"
    "\n"
    "Raises:\n"
    "    AtomError: An atom does not exist.\n"
    "    BondError: The bond cannot be formed.\n"
    "    LoneElectronError: The lone electrons cannot be used.";

inline constexpr const char* kBreakBondWith =
    "Break one bond between the current atom and another atom.\n"
    "\n"
    "Args:\n"
    "    atom (Union[int, Atom]): The atom to break the bond with, or its id.\n"
    "    break_bond_back (bool): Whether the other atom breaks the bond on its side. Default to True.\n"
    "\n"
    "Raises:\n"
    "    AtomError: An atom does not exist.\n"
    "    BondError: The bond does not exist or cannot be broken.";

inline constexpr const char* kGetBonds =
    "Get the bonds of the current atom.\n"
    "\n"
    "Returns:\n"
    "    List[int]: The ids of the bonded atoms, one entry per bond (the atom's own list).\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.";

inline constexpr const char* kGetCharge =
    "Get the charge of the current atom.\n"
    "\n"
    "Returns:\n"
    "    int: The charge.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.";

inline constexpr const char* kGetElement =
    "Get the element of the current atom.\n"
    "\n"
    "Returns:\n"
    "    str: The element symbol.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.";

inline constexpr const char* kGetId =
    "Get the id of the current atom.\n"
    "\n"
    "Returns:\n"
    "    int: The id.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.";

inline constexpr const char* kGetLoneElectron =
    "Get the number of lone electrons of the current atom.\n"
    "\n"
    "Returns:\n"
    "    int: The number of lone electrons.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.";

inline constexpr const char* kSetCharge =
    "Set the charge attribute to a new number.\n"
    "\n"
    "Args:\n"
    "    charge (int): The new charge.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.\n"
    "    BondError: The atom has too many bonds for the new charge.\n"
    "    ChargeError: The charge does not fit the element.";

inline constexpr const char* kSetElement =
    "Set the element attribute to a new number.\n"
    "\n"
    "Args:\n"
    "    element (str): The new element symbol.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.\n"
    "    BondError: The atom has too many bonds for the new element.\n"
    "    ElementError: The element is not supported.";

inline constexpr const char* kSetLoneElectron =
    "Set the lone_electron attribute to a new number.\n"
    "\n"
    "Args:\n"
    "    lone_electron (int): The new number of lone electrons.\n"
    "    auto_modify (bool): Whether to automatically adjust the number of lone electrons. Default to False.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.\n"
    "    BondError: The atom has too many bonds for the new number.\n"
    "    LoneElectronError: The number of lone electrons does not fit the atom.";

// The walk state parameters of the two writers, described alike.
#define WALK_STATE_ARGS                                                                     \
    "    top (bool): Whether the call is the entry point of the recursion. Default to True.\n" \
    "        Warning: Do not set it to False.\n"                                              \
    "    val (Optional[List[any]]): Variables passed during the recursion. Default to None.\n" \
    "        Warning: Do not set it to anything else.\n"

inline constexpr const char* kToFormula =
    "Convert the structure of the current atom into formula with Hill System.\n"
    "\n"
    "Args:\n"
    WALK_STATE_ARGS
    "\n"
    "Returns:\n"
    "    str: The result formula.\n"
    "\n"
    "Raises:\n"
    "    AtomError: An atom of the structure does not exist.";

inline constexpr const char* kToSmiles =
    "Convert the structure of the current atom into SMILES.\n"
    "\n"
    "Args:\n"
    WALK_STATE_ARGS
    "\n"
    "Returns:\n"
    "    str: The result SMILES.\n"
    "\n"
    "Raises:\n"
    "    AtomError: The atom does not exist.\n"
    "    SmilesError: The structure cannot be converted.";

#undef WALK_STATE_ARGS

}  // namespace atom::doc

"""The whole public API as a type checker sees it: `mypy --strict` passes on this
script and every `assert_type` holds. It runs as a plain script too."""
import contextlib
import io
from typing import assert_type

import Atom
from Atom import Atom as A


def main() -> None:
    # Construction, the class attributes and the instance attributes.
    carbon = A("C")
    oxygen = A("O", [carbon], 0, None, True, False)
    assert_type(A.id_map, dict[int, A])
    assert_type(carbon.bonds, list[int])
    assert_type(carbon.access_tag, bool)
    assert_type((carbon.element, carbon.charge, carbon.lone_electron, carbon.id), tuple[str, int, int, int])
    A("N", [carbon.id, oxygen])
    partners: list[A] = [carbon]
    A(bonds=partners)
    A("C", [carbon.id], charge=-1, lone_electron=2)

    # Accessors.
    assert_type(carbon.get_bonds(), list[int])
    assert_type(carbon.get_charge(), int)
    assert_type(carbon.get_element(), str)
    assert_type(carbon.get_id(), int)
    assert_type(carbon.get_lone_electron(), int)
    assert_type(carbon.survive(), None)

    # Bonds, by object or id, through each mode.
    second = A("C")
    assert_type(carbon.bond_with(second, bond_back=True, use="hydro"), None)
    assert_type(carbon.break_bond_with(second.id), None)
    assert_type(A.bond(carbon, second, use="lone_electron"), None)
    assert_type(Atom.break_bond(carbon, second), None)
    Atom.bond(carbon.id, second.id, "both", allow_carbene=False)

    # Setters.
    assert_type(second.set_charge(1), None)
    assert_type(second.set_element("N"), None)
    assert_type(second.set_lone_electron(0, auto_modify=True), None)

    # Text in both directions; the formula writer's display lines are silenced.
    ethanol = Atom.from_smiles("CCO")
    assert_type(ethanol, A)
    assert_type(A.from_smiles("C=O"), A)
    assert_type(Atom.get_smiles(ethanol), str)
    assert_type(A.get_smiles(ethanol.id), str)
    assert_type(ethanol.to_smiles(), str)
    with contextlib.redirect_stdout(io.StringIO()):
        assert_type(Atom.get_formula(ethanol), str)
        assert_type(ethanol.to_formula(), str)

    # The registry.
    assert_type(Atom.get_atom(ethanol.id), A)
    assert_type(Atom.get_atom_id(ethanol), int)
    assert_type(Atom.get_all_atoms(), list[A])
    assert_type(Atom.reset_tags(), None)
    assert_type(Atom.delete_atom(second), None)
    assert_type(oxygen.delete(), None)

    # The error classes.
    try:
        Atom.from_smiles("C.C")
    except Atom.SmilesError as error:
        assert_type(error.message, str)
        assert_type(error.atom, int | None)
    try:
        Atom.get_atom(1)
    except Atom.AtomError as error:
        assert_type(error.atom, int)
    errors: list[Exception] = [
        Atom.AtomError("m", 1000), Atom.BondError("m", 1000), Atom.ChargeError("m", 1000),
        Atom.ElementError("m", 1000), Atom.IdError("m"), Atom.LoneElectronError("m", 1000),
        Atom.SmilesError("m", None),
    ]
    print(len(errors), "error classes;", len(Atom.get_all_atoms()), "atoms registered")


if __name__ == "__main__":
    main()

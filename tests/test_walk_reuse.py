"""What a walk reuses from earlier walks follows the element table when it changes."""
import Atom
from Atom import Atom as A


def test_smiles_follows_an_edited_element_table():
    carbon = A("C")
    assert Atom.get_smiles(carbon) == "C"
    row = A._Atom__element_info["C"]
    row[0] = 3  # carbon's valence: its four hydrogens are now one more than a neutral carbon holds
    try:
        assert Atom.get_smiles(carbon) == "[CH4]"
    finally:
        row[0] = 4
    assert Atom.get_smiles(carbon) == "C"

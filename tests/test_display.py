import pytest

import Atom
from Atom import Atom as A


def expected(atom, items, charge=0, lone=0):
    bonds = ", ".join(f"{i}({el})" for i, el in items)
    return (f"<Atom id={atom.id}, element={atom.element}, bonds=[{bonds}], "
            f"charge={charge}, lone_electron={lone}>")


def test_methane_carbon_lists_its_hydrogens_in_bond_order():
    c = A("C")
    text = expected(c, [(h, "H") for h in c.bonds])
    assert str(c) == text
    assert repr(c) == text


def test_double_bond_partner_stands_twice():
    c = A("C")
    o = A("O", [c])
    c.bond_with(o)
    assert f"{o.id}(O), {o.id}(O)" in str(c)
    assert str(o) == expected(o, [(c.id, "C"), (c.id, "C")], lone=4)


@pytest.mark.parametrize("kwargs, charge, lone", [
    (dict(element="H", charge=1), 1, 0),
    (dict(element="O", charge=-2), -2, 8),
])
def test_atom_without_bonds(kwargs, charge, lone):
    a = A(**kwargs)
    assert str(a) == expected(a, [], charge=charge, lone=lone)
    assert "bonds=[]" in repr(a)


def test_every_registered_atom_shows_the_same_text_both_ways():
    c = A("C")
    A("O", [A("C", [c])])
    for a in A.get_all_atoms():
        assert str(a) == repr(a)


def test_deleted_atom_cannot_be_shown():
    a = A("C")
    a.delete()
    message = f"[Non-existent Atom {a.id}] Atom {a.id} does not exist."
    for show in (str, repr):
        with pytest.raises(Atom.AtomError) as e:
            show(a)
        assert str(e.value) == message


def test_entry_naming_an_unregistered_atom_fails_on_that_entry():
    c = A("C")
    h = A.get_atom(c.bonds[0])
    h.delete()
    with pytest.raises(Atom.AtomError) as e:
        str(c)
    assert e.value.atom == h.id


def test_entry_formatting_that_changes_the_list_does_not_crash():
    c = A("C")

    class Shrinking(int):
        def __str__(self):
            c.bonds.clear()
            return "x"

    # Not an exact int: resolving it fails after its text was formatted.
    c.bonds.insert(0, Shrinking(5))
    with pytest.raises(Atom.AtomError):
        str(c)
    assert c.bonds == []

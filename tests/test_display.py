import pytest

import Atom
from Atom import Atom as A


def shown(atom, items, charge=0, lone=0):
    bonds = ", ".join(f"{i}({el})" for i, el in items)
    return f"<Atom id={atom.id}, element={atom.element}, bonds=[{bonds}], charge={charge}, lone_electron={lone}>"


def test_bonds_in_list_order_and_str_equals_repr():
    c = A("C")
    o = A("O", [c])
    c.bond_with(o)
    assert str(o) == repr(o) == shown(o, [(c.id, "C"), (c.id, "C")], lone=4)
    assert str(c) == repr(c) == shown(c, [(o.id, "O"), (o.id, "O"), (c.bonds[2], "H"), (c.bonds[3], "H")])


@pytest.mark.parametrize("kwargs, charge, lone", [(dict(element="H", charge=1), 1, 0),
                                                  (dict(element="O", charge=-2), -2, 8)])
def test_atom_without_bonds(kwargs, charge, lone):
    a = A(**kwargs)
    assert str(a) == shown(a, [], charge=charge, lone=lone)


def test_deleted_atom_and_stale_entry():
    c = A("C")
    h = A.get_atom(c.bonds[0])
    h.delete()
    for show, atom in ((str, h), (repr, h), (str, c)):
        with pytest.raises(Atom.AtomError) as e:
            show(atom)
        assert str(e.value) == f"[Non-existent Atom {h.id}] Atom {h.id} does not exist."


def test_entry_text_that_empties_the_list_does_not_crash():
    c = A("C")

    class Shrinking(int):
        def __str__(self):
            c.bonds.clear()
            return "x"

    c.bonds.insert(0, Shrinking(5))  # not an exact int: resolving it fails afterwards
    with pytest.raises(Atom.AtomError):
        str(c)

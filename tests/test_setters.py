"""Setting charge, element and lone electrons: hydrogens added or dropped, failures that change nothing."""
import pytest

import Atom
from conftest import ALL_IDS, elements, free_and_used_ids, nonexistent, raises, snapshot

A = Atom.Atom


def carbene():
    c = A("C")
    c.bond_with(c, allow_carbene=True)
    return c


@pytest.mark.parametrize("make, change", [
    (lambda: A("C"), lambda a: a.set_charge(0)),
    (lambda: A("C"), lambda a: a.set_element("C")),
    (lambda: A("Cl"), lambda a: a.set_element("Br")),
    (lambda: A("O"), lambda a: a.set_element("S")),
    (lambda: A("N"), lambda a: a.set_lone_electron(2)),
    (lambda: A("N"), lambda a: a.set_lone_electron(0, auto_modify=True)),  # raised back to 2
])
def test_a_change_that_keeps_the_capacity_changes_only_the_attribute(make, change):
    a = make()
    before = snapshot()
    assert change(a) is None
    after = snapshot()
    assert after[1] == before[1] and list(after[0]) == list(before[0])
    assert {i: v[3] for i, v in after[0].items()} == {i: v[3] for i, v in before[0].items()}


def test_dropping_a_hydrogen_deletes_it():
    c = A("C")
    first, rest = c.bonds[0], c.bonds[1:]
    c.set_charge(1)
    assert (c.charge, c.bonds) == (1, rest)
    assert first not in A.id_map and A._Atom__id_pool[-1] == first
    assert len(A.get_all_atoms()) == 4
    assert free_and_used_ids() == ALL_IDS


def test_drops_come_from_the_front_in_order():
    c = A("C")
    hydrogens = list(c.bonds)
    c.set_lone_electron(2)
    assert c.bonds == hydrogens[2:] and c.lone_electron == 2
    assert A._Atom__id_pool[-2:] == hydrogens[:2]


def test_nitrogen_charge_then_lone_electrons():
    n = A("N")
    hydrogens = list(n.bonds)
    n.set_charge(1)
    assert n.bonds == hydrogens[1:] and n.charge == 1 and n.lone_electron == 2
    n.set_lone_electron(0)
    assert n.lone_electron == 0 and len(n.bonds) == 4 and n.bonds[:2] == hydrogens[1:]
    for h in n.bonds[2:]:
        assert A.get_atom(h).element == "H" and A.get_atom(h).bonds == [n.id]
    assert free_and_used_ids() == ALL_IDS


@pytest.mark.parametrize("make, change, bonds, lone", [
    (lambda: A("C", charge=1), lambda a: a.set_charge(0), 4, 0),
    (carbene, lambda a: a.set_element("N"), 3, 2),
    (lambda: A("O"), lambda a: a.set_element("N"), 1, 4),
    (lambda: A("O"), lambda a: a.set_charge(1), 1, 4),
    (lambda: A("C"), lambda a: a.set_lone_electron(1, True), 3, 1),
    (lambda: A("O"), lambda a: a.set_lone_electron(2, auto_modify=True), 2, 4),
    (lambda: A("N", charge=-1), lambda a: a.set_charge(0), 1, 4),
])
def test_changes_that_add_or_drop_hydrogens(make, change, bonds, lone):
    a = make()
    change(a)
    assert (len(a.bonds), a.lone_electron) == (bonds, lone)
    assert all(A.get_atom(h).bonds == [a.id] for h in a.bonds)
    assert free_and_used_ids() == ALL_IDS
    assert len(A.id_map) == 1 + bonds


def test_heavy_bonds_are_kept():
    c1, c2 = A("C"), A("C")
    c1.bond_with(c2)
    c1.set_charge(1)
    assert c1.bonds[0] == c2.id and elements(c1.bonds) == ["C", "H", "H"]
    c1.set_element("N")  # N+ without lone electrons: four bonds
    assert elements(c1.bonds) == ["C", "H", "H", "H"] and c1.bonds[0] == c2.id and c1.lone_electron == 0


MESSAGE_M7 = ("2 lone electrons are needed instead of 0. To automatically modify to the appropriate number of lone "
              "electrons, please add 'auto_modify = True'.")


@pytest.mark.parametrize("change, cls, text", [
    (lambda a: a.set_charge(-1), Atom.LoneElectronError, MESSAGE_M7),
    (lambda a: a.set_charge(5), Atom.ChargeError,
     "No enough valence electrons for the +5 valence state (The maximum supported positive charge is +4)."),
    (lambda a: a.set_charge(-5), Atom.ChargeError,
     "No enough empty orbitals for the -5 valence state (The maximum supported negative charge is -4)."),
    (lambda a: a.set_element("Xe"), Atom.ElementError,
     "Element 'Xe' not found. This element may not exist or it is currently not supported."),
    (lambda a: a.set_element("H"), Atom.BondError,
     "Too many Bonds (Only 1 bond can be formed, but there exist 2 bonds)."),
    (lambda a: a.set_lone_electron(-1), Atom.LoneElectronError, "The number of lone electrons must be non-negative."),
    (lambda a: a.set_lone_electron(3), Atom.ChargeError,
     "No enough valence electrons for 3 lone electrons (There are 4 remaining valence electrons available)."),
])
def test_failed_setter_changes_nothing(change, cls, text):
    # a carbon with two heavy neighbours and two hydrogens
    c = A("C")
    A("C", [c]), A("C", [c])
    before = snapshot()
    e = raises(cls, lambda: change(c))
    assert e.message == f"[Atom {c.id}] {text}" and e.atom == c.id
    assert snapshot() == before  # the id of the registered atom did not enter the pool either


def test_setter_on_a_deleted_atom():
    c = A("C")
    c.delete()
    before = snapshot()
    for change in (lambda: c.set_charge(1), lambda: c.set_element("N"), lambda: c.set_lone_electron(2)):
        e = raises(Atom.AtomError, change)
        assert e.message == nonexistent(c.id)
    assert snapshot() == before and c.charge == 0


def test_binding_comes_before_the_atom_is_looked_at():
    c = A("C")
    c.delete()
    for change in (lambda: c.set_charge(True), lambda: c.set_charge(None), lambda: c.set_element(None),
                   lambda: c.set_lone_electron(1.0)):
        raises(TypeError, change)


def test_unresolvable_entry_changes_nothing():
    c = A("C")
    c.bonds.append(999)
    before = snapshot()
    e = raises(Atom.AtomError, lambda: c.set_charge(1))
    assert e.message == nonexistent(999)
    assert snapshot() == before


def test_a_hydrogen_listed_twice_is_not_given_up_twice():
    # One-sided calls can leave an atom listing one hydrogen twice: dropping both entries, or
    # converting both into lone electrons, would delete it twice. The second deletion's error is
    # raised before anything changes.
    cl = A("Cl", [], 1, 5, True, True)
    h = A.get_atom(cl.bonds[0])
    h.break_bond_with(cl, break_bond_back=False)
    Atom.bond(h, cl, use="lone_electron")
    assert cl.bonds == [h.id, h.id]
    for call in (lambda: cl.set_charge(3), lambda: cl.bond_with(cl, allow_carbene=True)):
        before = snapshot()
        e = raises(Atom.AtomError, call)
        assert e.message == nonexistent(h.id) and snapshot() == before

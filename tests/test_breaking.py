"""Breaking one bond entry on each side, each side gaining a lone electron; failures that change nothing."""
import pytest

import Atom
from conftest import ALL_IDS, free_and_used_ids, nonexistent, raises, snapshot

A = Atom.Atom


def no_bond(atom, partner_id):
    return (f"[Atom {atom.id}] You are trying to break a bond with atom {partner_id}, but the bond does not "
            "exit.")


def ethane():
    c1, c2 = A("C"), A("C")
    c1.bond_with(c2)
    return c1, c2


@pytest.mark.parametrize("brk", [
    lambda c1, c2: c1.break_bond_with(c2),
    lambda c1, c2: c1.break_bond_with(c2.id),
    lambda c1, c2: A.break_bond(c1.id, c2),
    lambda c1, c2: Atom.break_bond(c1, c2.id),
])
def test_breaking_ethane(brk):
    c1, c2 = ethane()
    registry = list(A.id_map)
    h1, h2 = c1.bonds[1:], c2.bonds[1:]
    assert brk(c1, c2) is None
    assert (c1.bonds, c1.lone_electron) == (h1, 1)
    assert (c2.bonds, c2.lone_electron) == (h2, 1)
    assert list(A.id_map) == registry
    assert free_and_used_ids() == ALL_IDS


def test_breaking_one_entry_of_a_double_bond():
    c1, c2 = ethane()
    c1.bond_with(c2)
    c1.break_bond_with(c2)
    assert c1.bonds.count(c2.id) == 1 and c2.bonds.count(c1.id) == 1
    assert (c1.lone_electron, c2.lone_electron) == (1, 1)
    assert (len(c1.bonds), len(c2.bonds)) == (3, 3)


def test_breaking_a_bond_to_a_hydrogen():
    c = A("C")
    h = A.get_atom(c.bonds[0])
    c.break_bond_with(h)
    assert len(c.bonds) == 3 and c.lone_electron == 1
    assert A.get_atom(h.id) is h and h.bonds == [] and h.lone_electron == 1
    assert len(A.id_map) == 5


def test_breaking_a_hydrogen_molecule():
    h1 = A()
    h2 = A.get_atom(h1.bonds[0])
    h2.break_bond_with(h1)
    assert (h1.bonds, h1.lone_electron, h2.bonds, h2.lone_electron) == ([], 1, [], 1)


def test_breaking_a_bond_that_does_not_exist():
    c1, c2 = ethane()
    c3 = A("C")
    before = snapshot()
    e = raises(Atom.BondError, lambda: c1.break_bond_with(c3))
    assert e.message == no_bond(c1, c3.id) and e.atom == c1.id
    e = raises(Atom.BondError, lambda: c1.break_bond_with(c1))
    assert e.message == no_bond(c1, c1.id)
    assert snapshot() == before


def test_one_sided_break_and_the_other_side_later():
    c1, c2 = ethane()
    c1.break_bond_with(c2, break_bond_back=False)
    assert c2.id not in c1.bonds and c1.lone_electron == 1
    assert c1.id in c2.bonds and c2.lone_electron == 0
    e = raises(Atom.BondError, lambda: c2.break_bond_with(c1))
    assert e.message == no_bond(c1, c2.id) and e.atom == c1.id  # raised by c1, after c2 broke its side
    assert c1.id not in c2.bonds and c2.lone_electron == 1
    assert c1.lone_electron == 1


def test_breaking_with_a_deleted_or_bad_partner():
    c1, c2 = ethane()
    c2.delete()
    before = snapshot()
    e = raises(Atom.AtomError, lambda: c1.break_bond_with(c2))
    assert e.message == nonexistent(c2.id)
    e = raises(Atom.AtomError, lambda: c1.break_bond_with(c2.id))
    assert e.message == nonexistent(c2.id)
    e = raises(Atom.AtomError, lambda: c1.break_bond_with("C"))
    assert e.message == "[Non-existent Atom 'C'] Please use an Atom object or an id to represent an atom."
    assert snapshot() == before and c2.id in c1.bonds  # the dangling entry stays


def test_a_deleted_atom_cannot_break():
    c1, c2 = ethane()
    c1.delete()
    e = raises(Atom.AtomError, lambda: c1.break_bond_with(c2))
    assert e.message == nonexistent(c1.id)


def sulfuryl_chloride():
    """S(=O)(=O)(Cl)Cl: a sulfur whose shell fits only with both double bonds released."""
    o1, o2, cl1, cl2 = A("O"), A("O"), A("Cl"), A("Cl")
    s = A("S", [o1, o1, o2, o2, cl1, cl2])
    assert (len(s.bonds), s.lone_electron) == (6, 0)
    return s, o1


SULFUR_ORBITALS_SHORT = "1 Too many Bonds. These bonds need 5 molecular orbitals but only 4.0 are available."


def test_breaking_a_double_bond_of_the_sulfur_changes_nothing():
    s, o1 = sulfuryl_chloride()
    before = snapshot()
    e = raises(Atom.BondError, lambda: s.break_bond_with(o1))
    assert e.message == f"[Atom {s.id}] {SULFUR_ORBITALS_SHORT}" and e.atom == s.id
    assert snapshot() == before


def test_a_partner_that_would_refuse_is_checked_first():
    s, o1 = sulfuryl_chloride()
    before = snapshot()
    e = raises(Atom.BondError, lambda: o1.break_bond_with(s))
    assert e.message == f"[Atom {s.id}] {SULFUR_ORBITALS_SHORT}"  # the sulfur's refusal, with the oxygen unchanged
    assert snapshot() == before
    e = raises(Atom.BondError, lambda: A.break_bond(o1, s))
    assert snapshot() == before


def test_breaking_with_the_partner_check_skipped_on_request():
    s, o1 = sulfuryl_chloride()
    o1.break_bond_with(s, break_bond_back=False)
    assert o1.bonds == [s.id] and o1.lone_electron == 5
    assert s.bonds.count(o1.id) == 2

"""Forming bonds: hydrogen exchange, bond order, the carbene conversion, bonds through lone electrons."""
import enum

import pytest

import Atom
from conftest import ALL_IDS, HYDRO_ADVICE, elements, free_and_used_ids, no_room, quaternary, raises, snapshot

A = Atom.Atom

LONE_ADVICE = (" Add 'use = \"hydro\"' to use hydrogen atom to form a bond, or add 'use = \"both\"' to use both "
               "hydrogen atom and lone electron.")
OTHER_ADVICE = "or add 'use = \"both\"' to use both hydrogen atom and lone electron."


def radical():
    """A methyl radical: a carbon with three hydrogens and one lone electron."""
    c = A("C")
    c.break_bond_with(c.bonds[0])  # the hydrogen stays registered, as a radical of its own
    return c


# --- exchanging hydrogens -----------------------------------------------------------


def test_ethane():
    c1, c2 = A("C"), A("C")
    h1, h2 = c1.bonds[0], c2.bonds[0]
    assert c1.bond_with(c2) is None
    assert c1.bonds[0] == c2.id and c2.bonds[0] == c1.id
    assert elements(c1.bonds[1:]) == elements(c2.bonds[1:]) == ["H"] * 3
    assert len(A.id_map) == 8 and h1 not in A.id_map and h2 not in A.id_map
    assert A._Atom__id_pool[-2:] == [h1, h2]
    assert free_and_used_ids() == ALL_IDS


@pytest.mark.parametrize("bond", [
    lambda c1, c2: c1.bond_with(c2),
    lambda c1, c2: c1.bond_with(c2.id),
    lambda c1, c2: A.bond(c1.id, c2),
    lambda c1, c2: Atom.bond(c1, c2.id),
    lambda c1, c2: A.bond(c1, c2, use="both"),
])
def test_bond_order_grows_until_no_hydrogen_is_left(bond):
    c1, c2 = A("C"), A("C")
    for order in range(1, 5):
        bond(c1, c2)
        assert c1.bonds.count(c2.id) == order and c2.bonds.count(c1.id) == order
        assert elements(c1.bonds).count("H") == 4 - order
    assert c1.bonds == [c2.id] * 4 and c2.bonds == [c1.id] * 4
    before = snapshot()
    e = raises(Atom.BondError, lambda: bond(c1, c2))
    assert e.atom == c1.id and e.message.startswith(no_room(c1, 4, ""))
    assert snapshot() == before


def test_hydrogen_molecule_as_partner():
    c = A("C")
    h = A()
    partner = h.bonds[0]
    c.bond_with(h)
    assert c.bonds[0] == h.id and h.bonds == [c.id]
    assert partner not in A.id_map and len(A.id_map) == 5


def test_one_sided_bond():
    c1, c2 = A("C"), A("C")
    before = list(c2.bonds)
    c1.bond_with(c2, bond_back=False)
    assert c1.bonds[0] == c2.id and c2.bonds == before
    c1.bond_with(c2, bond_back=0)
    assert c1.bonds.count(c2.id) == 2 and c2.bonds == before
    q = quaternary()  # a partner that could not record the bond is not asked
    c1.bond_with(q, bond_back=False)
    assert c1.bonds[2] == q.id and c1.id not in q.bonds


# --- refusals --------------------------------------------------------------------------


def test_bond_with_itself():
    c = A("C")
    before = snapshot()
    for call in (lambda: c.bond_with(c), lambda: c.bond_with(c.id), lambda: A.bond(c, c.id)):
        e = raises(Atom.BondError, call)
        assert e.message == (f"[Atom {c.id}] An atom cannot bond with itself. Are you trying to form a carbene-like "
                             "structure? If so, please add 'allow_carbene = True'.")
        assert e.atom == c.id
    assert snapshot() == before


def test_carbene_with_lone_electron_mode_is_refused_first():
    c = A("C")
    for partner in (c, 999, "x"):
        e = raises(Atom.LoneElectronError, lambda: c.bond_with(partner, use="lone_electron", allow_carbene=True))
        assert e.message == (f"[Atom {c.id}] To use 'allow_carbene = True', please do not set "
                             "'use = \"lone_electron\"'.")


@pytest.mark.parametrize("use, suffix", [(1, OTHER_ADVICE), ("all", OTHER_ADVICE), (None, OTHER_ADVICE),
                                         ("Hydro", OTHER_ADVICE)])
def test_other_modes_form_no_bond(use, suffix):
    c1, c2 = A("C"), A("C")
    before = snapshot()
    e = raises(Atom.BondError, lambda: A.bond(c1, c2, use=use))
    assert e.message == no_room(c1, 4, suffix) and e.__cause__ is None and e.__suppress_context__
    assert snapshot() == before


def test_every_entry_is_resolved_when_no_hydrogen_is_used():
    c1, c2 = A("C"), A("C")
    c1.bonds.append(999)
    e = raises(Atom.AtomError, lambda: c1.bond_with(c2, use="all"))
    assert e.message == "[Non-existent Atom 999] Atom 999 does not exist."
    c1.bonds.insert(0, 999)
    e = raises(Atom.AtomError, lambda: c1.bond_with(c2))
    assert e.message == "[Non-existent Atom 999] Atom 999 does not exist."


def test_lone_electron_mode_without_lone_electrons():
    c1, c2 = A("C"), A("C")
    before = snapshot()
    e = raises(Atom.BondError, lambda: c1.bond_with(c2, use="lone_electron"))
    assert e.message == no_room(c1, 4, LONE_ADVICE)
    cause = e.__cause__
    assert type(cause) is Atom.LoneElectronError and e.__suppress_context__
    assert cause.message == f"[Atom {c1.id}] The number of lone electrons must be non-negative."
    assert snapshot() == before


def test_lone_electron_mode_when_the_accounting_refuses():
    # a nitrogen's lone pair cannot make room for a fifth bond entry without a charge
    n, c = A("N"), A("C")
    e = raises(Atom.BondError, lambda: n.bond_with(c, use="lone_electron"))
    assert e.message == no_room(n, 3, LONE_ADVICE)
    assert type(e.__cause__) is Atom.LoneElectronError
    assert e.__cause__.message.startswith(f"[Atom {n.id}] 2 lone electrons are needed instead of 1.")


def test_both_mode_error_has_no_advice():
    q = quaternary()
    e = raises(Atom.BondError, lambda: q.bond_with(A("C"), use="both"))
    assert e.message == no_room(q, 4, "")
    assert type(e.__cause__) is Atom.LoneElectronError


# --- the carbene conversion ------------------------------------------------------------


def test_carbene():
    c = A("C")
    kept = c.bonds[2:]
    removed = c.bonds[:2]
    assert c.bond_with(c, allow_carbene=True) is None
    assert c.bonds == kept and c.lone_electron == 2 and len(A.id_map) == 3
    assert A._Atom__id_pool[-2:] == removed
    assert A._Atom__bond_num("C", 0, 2, c.bonds) == (2, 2)


def test_carbene_skips_heavy_entries():
    c, o = A("C"), A("O")
    c.bond_with(o)
    A.bond(c, c, use="both", allow_carbene=1)
    assert elements(c.bonds) == ["O", "H"] and c.lone_electron == 2


@pytest.mark.parametrize("hydrogens, text", [(1, "(1 is available while 2 are needed)."),
                                             (0, "(0 are available while 2 are needed).")])
def test_carbene_without_two_hydrogens(hydrogens, text):
    c = A("C")
    for _ in range(4 - hydrogens):
        A("C", [c])
    before = snapshot()
    e = raises(Atom.LoneElectronError, lambda: c.bond_with(c, allow_carbene=True))
    assert e.message == f"[Atom {c.id}] No enough electron available to form a carbene-like structure {text}"
    assert snapshot() == before


# --- bonds through a lone electron -------------------------------------------------------


def test_radical_bonds_through_its_lone_electron():
    c, c2 = radical(), A("C")
    hydrogens = list(c.bonds)
    c.bond_with(c2, use="lone_electron")
    assert c.bonds == hydrogens + [c2.id] and c.lone_electron == 0
    assert c2.bonds[0] == c.id and elements(c2.bonds[1:]) == ["H"] * 3


def test_both_mode_uses_the_lone_electron_first_and_only_once():
    c, c2 = radical(), A("C")
    hydrogens = list(c.bonds)
    c.bond_with(c2, use="both")
    assert c.bonds == hydrogens + [c2.id] and c.lone_electron == 0
    assert c2.bonds.count(c.id) == 1


def test_two_radicals_give_ethane():
    c1, c2 = radical(), radical()
    registered = set(A.id_map)
    c1.bond_with(c2, use="lone_electron")
    assert set(A.id_map) == registered  # no hydrogen given up
    assert (c1.lone_electron, c2.lone_electron) == (0, 0)
    assert c1.bonds[-1] == c2.id and c2.bonds[-1] == c1.id


def test_breaking_and_forming_again_restores_the_structure():
    c1, c2 = A("C"), A("C")
    c1.bond_with(c2)
    before = {a.id: sorted(a.bonds) for a in (c1, c2)}
    c1.break_bond_with(c2)
    c1.bond_with(c2, use="lone_electron")
    assert {a.id: sorted(a.bonds) for a in (c1, c2)} == before
    assert (c1.lone_electron, c2.lone_electron) == (0, 0)


# --- both sides are checked before either changes -----------------------------------------


def test_partner_without_hydrogen_changes_nothing():
    c, q = A("C"), quaternary()
    before = snapshot()
    e = raises(Atom.BondError, lambda: c.bond_with(q))
    assert e.message == no_room(q, 4) and e.atom == q.id and e.__cause__ is None and e.__suppress_context__
    assert snapshot() == before


def test_bonding_to_a_proton_changes_nothing():
    c, proton = A("C"), A("H", charge=1)
    before = snapshot()
    e = raises(Atom.BondError, lambda: A.bond(c, proton))
    assert e.message == no_room(proton, 0) and e.atom == proton.id
    assert snapshot() == before


def test_bonding_to_an_own_hydrogen_changes_nothing():
    c = A("C")
    h = A.get_atom(c.get_bonds()[0])
    before = snapshot()
    e = raises(Atom.BondError, lambda: c.bond_with(c.get_bonds()[0]))
    assert e.message == no_room(h, 1) and e.atom == h.id
    assert snapshot() == before


def test_partner_failure_in_lone_electron_mode_reports_the_partners_mode():
    c, proton = radical(), A("H", charge=1)
    before = snapshot()
    e = raises(Atom.BondError, lambda: c.bond_with(proton, use="lone_electron"))
    assert e.message == no_room(proton, 0, "")  # the partner was asked with "both"
    assert type(e.__cause__) is Atom.LoneElectronError
    assert e.__cause__.message == f"[Atom {proton.id}] The number of lone electrons must be non-negative."
    assert snapshot() == before


# --- the mode compares by equality --------------------------------------------------------


class Use(str, enum.Enum):
    HYDRO = "hydro"
    LONE = "lone_electron"
    BOTH = "both"


def test_modes_given_as_equal_strings():
    c1, c2 = A("C"), A("C")
    c1.bond_with(c2, use=Use.HYDRO)
    assert c1.bonds.count(c2.id) == 1
    r, c3 = radical(), A("C")
    r.bond_with(c3, use=Use.LONE)
    assert r.lone_electron == 0 and r.bonds[-1] == c3.id
    e = raises(Atom.BondError, lambda: c1.bond_with(quaternary(), use=Use.BOTH))
    assert e.message.endswith("impossible to form a new bond).")
    e = raises(Atom.LoneElectronError, lambda: c1.bond_with(c1, use=Use.LONE, allow_carbene=True))
    assert "please do not set" in e.message


def test_modes_given_as_objects_with_their_own_equality():
    class Anything:
        def __eq__(self, other):
            return True

    class Broken:
        def __eq__(self, other):
            raise ValueError("no comparison")

    c1, c2 = A("C"), A("C")
    c1.bond_with(c2, use=Anything())  # equal to "hydro", the first mode compared
    assert c1.bonds.count(c2.id) == 1
    before = snapshot()
    with pytest.raises(ValueError, match="no comparison"):
        c1.bond_with(c2, use=Broken())
    assert snapshot() == before


def test_the_context_of_no_room_is_what_the_caller_was_handling():
    # Raised as a Python "raise ... from cause" after the attempt: the cause is the attempt's error,
    # the context the exception being handled by the caller, if any.
    c1, c2 = A("C"), A("C")
    e = raises(Atom.BondError, lambda: c1.bond_with(c2, use="lone_electron"))
    assert type(e.__cause__) is Atom.LoneElectronError and e.__context__ is None
    try:
        raise KeyError("outer")
    except KeyError as outer:
        e = raises(Atom.BondError, lambda: c1.bond_with(c2, use="lone_electron"))
        assert e.__context__ is outer and type(e.__cause__) is Atom.LoneElectronError
        e = raises(Atom.BondError, lambda: c1.bond_with(c2, use="all"))
        assert e.__context__ is outer and e.__cause__ is None and e.__suppress_context__


# --- a side whose hydrogen step would give up the other side --------------------------


def test_bonding_to_the_hydrogen_it_gives_up_is_refused_by_that_hydrogen():
    br = A("Br")
    h = A.get_atom(br.bonds[0])
    c = A("C")  # one-sidedly, to its own first hydrogen
    first = A.get_atom(c.bonds[0])
    calls = [(lambda: br.bond_with(h), h), (lambda: br.bond_with(h, bond_back=False), h),
             (lambda: A.bond(br, h.id), h), (lambda: c.bond_with(first, bond_back=False), first)]
    for call, refusing in calls:
        before = snapshot()
        e = raises(Atom.BondError, call)
        assert e.message == no_room(refusing, 1) and e.atom == refusing.id
        assert e.__cause__ is None and e.__suppress_context__
        assert snapshot() == before
    e = raises(Atom.BondError, lambda: br.bond_with(h, use="both"))
    assert e.message == no_room(h, 1, suffix="") and e.atom == h.id
    cause = e.__cause__
    assert type(cause) is Atom.LoneElectronError and e.__suppress_context__
    assert cause.message == f"[Atom {h.id}] The number of lone electrons must be non-negative."


def test_partner_that_lists_the_given_up_hydrogen_first_refuses():
    x, p = A("C"), A("C")
    p.bond_with(x.bonds[0], bond_back=False)
    before = snapshot()
    e = raises(Atom.BondError, lambda: x.bond_with(p))
    assert e.message == no_room(p, 4) and e.atom == p.id and e.__suppress_context__
    assert snapshot() == before


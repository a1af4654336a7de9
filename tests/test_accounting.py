"""The element table and the bond accounting: capacities, every message, the pool guard, the shell fit."""
import collections

import pytest
from hypothesis import given, strategies as st

import Atom
from conftest import ALL_IDS, free_and_used_ids

A = Atom.Atom
bond_num = A._Atom__bond_num
remove_hydro = A._Atom__remove_hydro

TABLE = {"C": [4, 8], "Br": [7, 8], "Cl": [7, 8], "F": [7, 8], "H": [1, 2], "I": [7, 8], "N": [5, 8],
         "O": [6, 8], "P": [5, 8], "S": [6, 8]}


def raised(call):
    with pytest.raises(Exception) as info:
        call()
    return info.value


def test_element_table():
    table = A._Atom__element_info
    assert table == TABLE
    assert list(table) == ["C", "Br", "Cl", "F", "H", "I", "N", "O", "P", "S"]
    rows = list(table.values())
    assert len({id(r) for r in rows}) == 10  # every row its own list
    for symbol in ["cl", "CL", "c", "Na", "B", ""]:
        assert symbol not in table


# --- capacities -------------------------------------------------------------------

LONE_ATOMS = [
    ("C", 0, (4, 0)), ("N", 0, (3, 2)), ("O", 0, (2, 4)), ("Cl", 0, (1, 6)), ("H", 0, (1, 0)),
    ("N", 1, (4, 0)), ("O", -1, (1, 6)), ("Br", 0, (1, 6)), ("F", 0, (1, 6)), ("I", 0, (1, 6)),
    ("P", 0, (3, 2)), ("S", 0, (2, 4)), ("C", -1, (3, 2)), ("C", 1, (3, 0)), ("H", 1, (0, 0)),
    ("H", -1, (0, 2)), ("S", 6, (0, 0)), ("N", -3, (0, 8)),
]


@pytest.mark.parametrize("element, charge, expected", LONE_ATOMS)
def test_capacity_of_a_lone_atom(element, charge, expected):
    assert bond_num(element, charge, 0, None, 0, True) == expected
    atom = A(element, charge=charge)
    assert (len(atom.bonds), atom.lone_electron) == expected


def test_existing_bond_is_not_modified_and_none_is_empty():
    entries = [5, 5, 6]
    assert bond_num("C", 0, 0, entries) == (4, 0)
    assert entries == [5, 5, 6]
    assert bond_num("C", 0, 0, None) == bond_num("C", 0, 0, []) == bond_num("C", 0, 0) == (4, 0)
    assert bond_num("O", 0, 4, existing_bond=[1, 1]) == (2, 4)


def test_existing_bond_may_be_any_list_like_object():
    class Entries(list):
        pass

    assert bond_num("S", 0, 2, collections.UserList([1, 1, 2, 2])) == (4, 2)
    assert bond_num("S", 0, 2, Entries([1, 1, 2, 2])) == (4, 2)
    # something without copy() fails with the interpreter's own error, before the element is looked up
    pool = list(A._Atom__id_pool)
    A._Atom__id_pool.remove(1500)
    with pytest.raises(AttributeError):
        bond_num("Xe", 0, 0, (1, 2), 1500)
    assert 1500 not in A._Atom__id_pool


def test_element_table_of_the_calling_class():
    class Exotic(A):
        __slots__ = ()
        _Atom__element_info = {"Xx": [3, 8]}

    assert Exotic._Atom__bond_num("Xx", 0, 0) == (3, 0)
    with pytest.raises(Atom.ElementError):
        Exotic._Atom__bond_num("C", 0, 0)


# --- messages -----------------------------------------------------------------------

MESSAGES = [
    # a negative lone-electron count, before anything else
    (("Xe", 99, -1, [1] * 20, 1234), Atom.LoneElectronError,
     "[Atom 1234] The number of lone electrons must be non-negative."),
    (("C", 0, -10 ** 30, None, 1234), Atom.LoneElectronError,
     "[Atom 1234] The number of lone electrons must be non-negative."),
    # an element outside the table
    (("Xe", 0, 0, None, 1234), Atom.ElementError,
     "[Atom 1234] Element 'Xe' not found. This element may not exist or it is currently not supported."),
    (("cl", 0, 0, None, 1234), Atom.ElementError,
     "[Atom 1234] Element 'cl' not found. This element may not exist or it is currently not supported."),
    # a charge beyond the valence electrons
    (("C", 5, 0, None, 1234), Atom.ChargeError,
     "[Atom 1234] No enough valence electrons for the +5 valence state (The maximum supported positive charge is "
     "+4)."),
    (("O", 7, 0, None, 1234), Atom.ChargeError,
     "[Atom 1234] No enough valence electrons for the +7 valence state (The maximum supported positive charge is "
     "+6)."),
    (("C", 10 ** 30, 0, None, 1234), Atom.ChargeError,
     "[Atom 1234] No enough valence electrons for the +1000000000000000000000000000000 valence state (The maximum "
     "supported positive charge is +4)."),
    # a charge beyond the empty places of the shell
    (("C", -5, 0, None, 1234), Atom.ChargeError,
     "[Atom 1234] No enough empty orbitals for the -5 valence state (The maximum supported negative charge is -4)."),
    (("H", -2, 0, None, 1234), Atom.ChargeError,
     "[Atom 1234] No enough empty orbitals for the -2 valence state (The maximum supported negative charge is -1)."),
    # more entries than bonds, with the singular rewrites
    (("C", 0, 0, [1, 2, 3, 4, 5], 1234), Atom.BondError,
     "[Atom 1234] Too many Bonds (Only 4 bonds can be formed, but there exist 5 bonds)."),
    (("H", 0, 0, [1, 2], 1234), Atom.BondError,
     "[Atom 1234] Too many Bonds (Only 1 bond can be formed, but there exist 2 bonds)."),
    (("H", 1, 0, [1], 1234), Atom.BondError,
     "[Atom 1234] Too many Bonds (Only 0 bonds can be formed, but there exists 1 bond)."),
    (("C", 0, 0, list(range(11)), 1234), Atom.BondError,
     "[Atom 1234] Too many Bonds (Only 4 bonds can be formed, but there exist 11 bond)."),
    (("C", 0, 0, list(range(21)), 1231), Atom.BondError,
     "[Atom 1231] Too many Bonds (Only 4 bonds can be formed, but there exist 21 bond)."),
    # more lone electrons than remain, with the singular rewrites
    (("C", 0, 1, [1, 2, 3, 4], 1234), Atom.ChargeError,
     "[Atom 1234] No enough valence electrons for 1 lone electron (There are 4 remaining valence electrons "
     "available)."),
    (("H", 0, 2, None, 1234), Atom.ChargeError,
     "[Atom 1234] No enough valence electrons for 2 lone electrons (There are 1 remaining valence electron "
     "available)."),
    (("Cl", 0, 11, None, 1234), Atom.ChargeError,
     "[Atom 1234] No enough valence electrons for 11 lone electron (There are 7 remaining valence electrons "
     "available)."),
    # lone electrons needed without auto_modify, with the singular rewrite
    (("N", 0, 0, None, 1234), Atom.LoneElectronError,
     "[Atom 1234] 2 lone electrons are needed instead of 0. To automatically modify to the appropriate number of "
     "lone electrons, please add 'auto_modify = True'."),
    (("N", 0, 0, [1, 2, 3, 4], 1234), Atom.LoneElectronError,
     "[Atom 1234] 1 lone electron are needed instead of 0. To automatically modify to the appropriate number of "
     "lone electrons, please add 'auto_modify = True'."),
    (("N", 0, 1, None, 1234), Atom.LoneElectronError,
     "[Atom 1234] 2 lone electrons are needed instead of 1. To automatically modify to the appropriate number of "
     "lone electrons, please add 'auto_modify = True'."),
    # more entries than the shell holds
    (("S", 0, 0, [1, 1, 2, 3, 4, 5], 1234), Atom.BondError,
     "[Atom 1234] 0 Too many Bonds. These bonds need 5 molecular orbitals but only 4.0 are available."),
    (("N", 0, 0, [1, 2, 3, 4], 1234, True), Atom.BondError,
     "[Atom 1234] 1 Too many Bonds. These bonds need 5 molecular orbitals but only 4.0 are available."),
    (("H", -1, 0, [1, 2], 1234, True), Atom.BondError,
     "[Atom 1234] 0 Too many Bonds. These bonds need 2 molecular orbitals but only 1.0 are available."),
    (("S", 0, 1, [1, 2, 2, 3, 4], 1234), Atom.BondError,
     "[Atom 1234] 1 Too many Bonds. These bonds need 5 molecular orbitals but only 4.0 are available."),
]


@pytest.mark.parametrize("args, cls, message", MESSAGES)
def test_messages(args, cls, message):
    e = raised(lambda: bond_num(*args))
    assert type(e) is cls
    assert e.message == message and str(e) == message and e.args == (message,)
    assert e.atom == args[4]


def test_the_default_id_is_named_zero():
    e = raised(lambda: bond_num("Xe", 0, 0))
    assert e.message.startswith("[Atom 0] ") and e.atom == 0


HUGE = 10 ** 5000  # str() of it fails under the interpreter's default digit limit


@pytest.mark.parametrize("args", [("C", 0, -1, None, HUGE), ("Xe", 0, 0, None, HUGE), ("C", HUGE, 0),
                                  ("C", -HUGE, 0), ("C", 0, HUGE), ("N", 0, 0, None, HUGE)])
def test_a_value_that_cannot_be_written_fails_the_message(args):
    # The failure of writing a value into the message is raised, not a message with a gap.
    with pytest.raises(ValueError, match="digits"):
        bond_num(*args)
    with pytest.raises(ValueError, match="digits"):
        A("C", charge=HUGE)


# --- the pool ---------------------------------------------------------------------

FREEING = [("Xe", 0, 0, None), ("C", 5, 0, None), ("C", -5, 0, None), ("C", 0, 0, [1, 2, 3, 4, 5]),
           ("C", 0, 1, [1, 2, 3, 4])]
KEEPING = [("C", 0, -1, None), ("N", 0, 0, None), ("S", 0, 0, [1, 1, 2, 3, 4, 5])]


@pytest.mark.parametrize("args", FREEING)
def test_failures_that_give_a_drawn_id_back(args):
    A._Atom__id_pool.remove(4321)  # drawn, never registered
    with pytest.raises(Exception):
        bond_num(*args, 4321)
    assert A._Atom__id_pool[-1] == 4321
    assert free_and_used_ids() == ALL_IDS


@pytest.mark.parametrize("args", KEEPING)
def test_failures_that_leave_the_pool_alone(args):
    A._Atom__id_pool.remove(4321)
    with pytest.raises(Exception):
        bond_num(*args, 4321)
    assert 4321 not in A._Atom__id_pool


@pytest.mark.parametrize("args", FREEING)
def test_the_pool_never_takes_a_registered_free_or_foreign_id(args):
    c = A("C")
    pool = list(A._Atom__id_pool)
    for id_ in (c.id, pool[0], pool[-1], 0, 999, 10000, -1):
        with pytest.raises(Exception):
            bond_num(*args, id_)
    assert A._Atom__id_pool == pool
    assert free_and_used_ids() == ALL_IDS


# --- fitting the shell --------------------------------------------------------------


@pytest.mark.parametrize("auto", [False, True])
def test_a_released_double_bond_is_preferred_to_a_radical(auto):
    # two single bonds and a double bond to one oxygen: five bonds fit once the double bond is released
    assert bond_num("P", 0, 0, [10, 11, 12, 12], 0, auto) == (5, 0)


def test_fewest_conversions_after_releasing_a_double_bond():
    assert bond_num("S", 0, 0, [10, 11, 11], 0, True) == (4, 2)
    assert bond_num("S", 0, 2, [10, 10, 11, 11], 0, False) == (4, 2)
    assert bond_num("S", 0, 0, [10, 10, 11, 11, 12, 13], 0, False) == (6, 0)


def test_no_release_without_double_bonds():
    # ids listed once or three times are not double bonds
    with pytest.raises(Atom.LoneElectronError):
        bond_num("P", 0, 0, [10, 12, 12, 12], 0, False)
    assert bond_num("C", 0, 0, [10, 10, 10]) == (4, 0)


def test_construction_uses_the_fitted_capacity():
    c1, c2, o = A("C"), A("C"), A("O")
    p = A("P", [c1, c2, o, o])
    assert p.lone_electron == 0
    assert p.bonds[:4] == [c1.id, c2.id, o.id, o.id] and len(p.bonds) == 5
    assert A.get_atom(p.bonds[4]).element == "H"
    assert o.bonds == [p.id, p.id] and o.lone_electron == 4


def reference(element, charge, lone, entries, auto):
    """The accounting written out from its rules: the fewest changes first, else the error the walk gives."""
    if lone < 0:
        return "negative_lone"
    if element not in TABLE:
        return "unknown_element"
    valence, shell = TABLE[element]
    v = valence - charge
    if v < 0 or v > shell:
        return "too_positive" if v < 0 else "too_negative"
    b = len(entries)
    if v - b < 0:
        return "too_many_bonds"
    if v - b < lone:
        return "too_many_lone"
    n = v - lone
    D = sum(1 for i in set(entries) if entries.count(i) == 2)
    for d in range(D + 1):
        for k in range(0, n - b + 1) if auto else [0]:
            if lone + k + 2 * (n - k) - 2 * d <= shell:
                return (n - k, lone + k)
    L, c = lone, n
    for d in range(D + 1):
        while L + 2 * c - 2 * d > shell and c > b:
            L, c = L + 1, c - 1
        if not auto and L != lone:
            return "lone_needed", L
        if d == D:
            x = L + 2 * c - 2 * d
            return "no_orbitals", L, 100 - (200 - x) // 2


CODES = {"negative_lone": Atom.LoneElectronError, "unknown_element": Atom.ElementError, "too_positive": Atom.ChargeError, "too_negative": Atom.ChargeError,
         "too_many_bonds": Atom.BondError, "too_many_lone": Atom.ChargeError, "lone_needed": Atom.LoneElectronError, "no_orbitals": Atom.BondError}


@given(element=st.sampled_from(list(TABLE) + ["Xe"]), charge=st.integers(-5, 8), lone=st.integers(-1, 9),
       entries=st.lists(st.integers(1, 4), max_size=9), auto=st.booleans())
def test_accounting_agrees_with_its_rules(element, charge, lone, entries, auto):
    expected = reference(element, charge, lone, entries, auto)
    pool = list(A._Atom__id_pool)
    try:
        got = bond_num(element, charge, lone, entries, 1000, auto)
    except (Atom.LoneElectronError, Atom.ElementError, Atom.ChargeError, Atom.BondError) as e:
        assert not isinstance(expected, tuple) or isinstance(expected[0], str), (expected, e.message)
        code = expected if isinstance(expected, str) else expected[0]
        assert type(e) is CODES[code]
        if code == "lone_needed":
            assert e.message.startswith(f"[Atom 1000] {expected[1]} lone electron")
        if code == "no_orbitals":
            assert e.message.startswith(f"[Atom 1000] {expected[1]} Too many Bonds. These bonds need "
                                        f"{expected[2]} molecular orbitals")
        assert A._Atom__id_pool == pool  # 1000 is free already: it is not added twice
    else:
        assert got == expected


# --- filtering hydrogens ------------------------------------------------------------


def test_remove_hydro():
    c = A("C")
    assert remove_hydro(c.bonds) == []
    c2 = A("C", [c])
    assert remove_hydro(c.bonds) == [c2.id] and remove_hydro(c2.bonds) == [c.id]
    Atom.bond(c, c2)
    assert remove_hydro(c.bonds) == [c2.id, c2.id]
    entries = list(c.bonds)
    remove_hydro(entries)
    assert entries == c.bonds  # nothing changed
    e = raised(lambda: remove_hydro([c.id, 999]))
    assert type(e) is Atom.AtomError and e.message == "[Non-existent Atom 999] Atom 999 does not exist."
    # hydrogen entries are resolved too
    h = A.get_atom(c.bonds[-1])
    h.delete()
    e = raised(lambda: remove_hydro(c.bonds))
    assert e.message == f"[Non-existent Atom {h.id}] Atom {h.id} does not exist."

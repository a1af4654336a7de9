"""Atoms and the registry: construction, ids and the pool, resolving, confirming, deletion, marks."""
import random

import pytest

import Atom
from conftest import ALL_IDS, free_and_used_ids

A = Atom.Atom
POOL_MESSAGE = "[Id Pool Runs Out] Failed to generate a new id. You can only register 9000 atoms at the same time."


def nonexistent(id_):
    return f"[Non-existent Atom {id_}] Atom {id_} does not exist."


def raises(cls, call):
    with pytest.raises(Exception) as info:
        call()
    assert type(info.value) is cls, info.value
    return info.value


def elements(ids):
    return [A.get_atom(i).element for i in ids]


# --- construction ------------------------------------------------------------------


def test_default_atom_is_a_hydrogen_molecule():
    h = A()
    assert len(A.id_map) == 2 and len(A._Atom__id_pool) == 8998
    other = A.get_atom(h.bonds[0])
    assert other.bonds == [h.id]
    for atom in (h, other):
        assert (atom.element, atom.charge, atom.lone_electron, atom.access_tag) == ("H", 0, 0, False)
        assert 1000 <= atom.id <= 9999 and A.id_map[atom.id] is atom
        assert atom.id not in A._Atom__id_pool
    assert list(A.id_map) == [h.id, other.id]


@pytest.mark.parametrize("element, hydrogens, lone", [
    ("C", 4, 0), ("Br", 1, 6), ("Cl", 1, 6), ("F", 1, 6), ("H", 1, 0), ("I", 1, 6), ("N", 3, 2), ("O", 2, 4),
    ("P", 3, 2), ("S", 2, 4),
])
def test_construction_of_every_element(element, hydrogens, lone):
    before = len(A._Atom__id_pool)
    a = A(element)
    assert (a.element, a.charge, a.lone_electron, a.access_tag) == (element, 0, lone, False)
    assert len(a.bonds) == hydrogens and elements(a.bonds) == ["H"] * hydrogens
    for h in a.bonds:
        assert A.get_atom(h).bonds == [a.id]
    assert len(A.get_all_atoms()) == 1 + hydrogens
    assert len(A._Atom__id_pool) == before - 1 - hydrogens
    assert list(A.id_map)[0] == a.id  # registered before its hydrogens


def test_given_lone_electrons_and_auto_modify():
    n = A("N", lone_electron=2)
    assert (n.lone_electron, len(n.bonds)) == (2, 3)
    n = A("N", lone_electron=0, auto_modify=True)
    assert (n.lone_electron, len(n.bonds)) == (2, 3)
    c = A("C", lone_electron=2)
    assert (c.lone_electron, len(c.bonds)) == (2, 2)
    e = raises(Atom.LoneElectronError, lambda: A("N", lone_electron=0))
    assert e.message.endswith("2 lone electrons are needed instead of 0. To automatically modify to the "
                              "appropriate number of lone electrons, please add 'auto_modify = True'.")


def test_bonds_list_becomes_the_atoms_own_list():
    c = A("C")
    first_h = c.bonds[0]
    given = [c]
    o = A("O", given)
    assert o.bonds is given and given[0] == c.id and type(given[0]) is int
    assert o.bonds == [c.id, o.bonds[1]] and elements(o.bonds) == ["C", "H"]
    # the partner gave up its first hydrogen, and the new atom's id took its place
    assert c.bonds[0] == o.id and first_h not in A.id_map
    assert A._Atom__id_pool[-1] == first_h


def test_bonds_given_by_id_and_by_object():
    c1, c2 = A("C"), A("C")
    n = A("N", [c1.id, c2])
    assert n.bonds[:2] == [c1.id, c2.id] and len(n.bonds) == 3
    assert n.id in c1.bonds and n.id in c2.bonds


def test_bond_false_leaves_the_partner_alone():
    c = A("C")
    before = list(c.bonds)
    h = A(bonds=[c], bond_=False)
    assert h.bonds == [c.id] and c.bonds == before


def test_construction_with_a_double_bond():
    c = A("C")
    o = A("O", [c, c])
    assert o.bonds == [c.id, c.id] and o.lone_electron == 4
    assert c.bonds[:2] == [o.id, o.id] and len(c.bonds) == 4


# --- ids and the pool ----------------------------------------------------------------


def test_pool_at_start_and_registry_is_empty():
    assert A._Atom__id_pool == ALL_IDS and A.id_map == {}


def test_the_9001st_registration_fails():
    atoms = [A() for _ in range(4500)]
    assert not A._Atom__id_pool and len(A.id_map) == 9000
    e = raises(Atom.IdError, A)
    assert e.message == POOL_MESSAGE and str(e) == POOL_MESSAGE and not hasattr(e, "atom")
    e = raises(Atom.IdError, A._Atom__generate_id)
    assert e.message == POOL_MESSAGE
    # a returned id is the next one drawn
    gone = atoms[1234]
    gone.delete()
    assert A._Atom__id_pool == [gone.id]
    proton = A("H", charge=1)  # needs no hydrogen of its own
    assert proton.id == gone.id and proton.bonds == []
    assert free_and_used_ids() == ALL_IDS


def test_running_out_while_adding_hydrogens():
    A._Atom__id_pool[:] = [1000, 1001]
    with pytest.raises(Atom.IdError):
        A("O")
    assert free_and_used_ids() == ALL_IDS[:2]


def expected_ids(seed, count):
    pool = list(range(1000, 10000))
    random.seed(seed)
    return [pool.pop(random.randint(0, len(pool) - 1)) for _ in range(count)]


@pytest.mark.parametrize("seed", [0, 1, 12345, "atoms"])
def test_id_sequence_follows_the_shared_generator(seed):
    expected = expected_ids(seed, 30)
    A._Atom__id_pool[:] = range(1000, 10000)
    random.seed(seed)
    for _ in range(6):
        A("C")
    assert list(A.id_map) == expected
    # the generator went on from the same state
    after = random.random()
    expected_ids(seed, 30)
    assert random.random() == after


def test_id_sequence_with_a_small_pool():
    for size in (1, 2, 3, 64, 65):
        pool = list(range(5000, 5000 + size))
        random.seed(size)
        expected = [pool.pop(random.randint(0, len(pool) - 1)) for _ in range(size)]
        A._Atom__id_pool[:] = range(5000, 5000 + size)
        random.seed(size)
        assert [A._Atom__generate_id() for _ in range(size)] == expected


def test_patched_randint_is_called_with_the_bounds(monkeypatch):
    calls = []

    def randint(a, b):
        calls.append((a, b))
        return b

    monkeypatch.setattr(random, "randint", randint)
    c = A("C")
    assert calls == [(0, 8999), (0, 8998), (0, 8997), (0, 8996), (0, 8995)]
    assert list(A.id_map) == [9999, 9998, 9997, 9996, 9995] and c.id == 9999
    c.delete()
    assert A._Atom__id_pool[-1] == 9999
    assert A("H", charge=1).id == 9999  # the returned id, drawn from the end


def test_a_wrapped_generator_gives_the_same_sequence(monkeypatch):
    expected = expected_ids(7, 10)
    original = random.randint
    monkeypatch.setattr(random, "randint", lambda a, b: original(a, b))
    random.seed(7)
    A("C"), A("C")
    assert list(A.id_map) == expected


@pytest.mark.parametrize("target, name, value", [
    (random.Random, "_randbelow", lambda self, n: 0),
    (random.Random, "randrange", lambda self, a, b: 0),
    (random._inst, "getrandbits", lambda k: 0),
])
def test_changes_inside_the_generator_are_obeyed(monkeypatch, target, name, value):
    monkeypatch.setattr(target, name, value, raising=False)
    A("C")
    assert list(A.id_map) == [1000, 1001, 1002, 1003, 1004]


def test_random_is_looked_up_on_the_module_each_time(monkeypatch):
    class Fake:
        @staticmethod
        def randint(a, b):
            return a

    monkeypatch.setattr(Atom, "random", Fake)
    A("C")
    assert list(A.id_map) == [1000, 1001, 1002, 1003, 1004]


def test_registry_read_from_the_class_each_time(monkeypatch):
    monkeypatch.setattr(A, "id_map", {})
    monkeypatch.setattr(A, "_Atom__id_pool", [7777, 8888])
    h = A()
    assert sorted(A.id_map) == [7777, 8888] and A._Atom__id_pool == [] and A.get_atom(h.id) is h


# --- resolving ------------------------------------------------------------------------


def test_resolving_registered_atoms():
    c = A("C")
    assert A.get_atom(c) is c and A.get_atom(c.id) is c
    assert A.get_atom_id(c) == c.id and A.get_atom_id(c.id) == c.id
    assert A.get_all_atoms() == list(A.id_map.values())
    assert A.get_all_atoms() is not A.get_all_atoms()


class Sub(A):
    __slots__ = ()


@pytest.mark.parametrize("value, text", [
    (999, None), (10000, None), ("Cl", "'Cl'"), (True, "True"), (None, "None"), (1.0, "1.0"), ([1000], "[1000]"),
])
def test_resolving_bad_values(value, text):
    for resolve in (A.get_atom, A.get_atom_id, Atom.get_atom):
        e = raises(Atom.AtomError, lambda: resolve(value))
        if text is None:
            assert e.message == nonexistent(value)
        else:
            assert e.message == f"[Non-existent Atom {text}] Please use an Atom object or an id to represent an atom."
        assert e.atom is value or e.atom == value


def test_resolving_an_instance_of_a_subclass():
    s = Sub("C")
    assert A.get_atom(s.id) is s
    e = raises(Atom.AtomError, lambda: A.get_atom(s))
    assert e.message == f"[Non-existent Atom {s!r}] Please use an Atom object or an id to represent an atom."
    assert e.atom is s


def test_constructing_with_unresolvable_entries():
    c = A("C")
    given = [c, 999]
    e = raises(Atom.AtomError, lambda: A("O", given))
    assert e.message == nonexistent(999) and e.atom == 999
    assert given == [c.id, 999]  # replaced before the failure
    e = raises(Atom.AtomError, lambda: A("O", ["x"]))
    assert e.message == "[Non-existent Atom 'x'] Please use an Atom object or an id to represent an atom."
    assert len(A.id_map) == 5 and free_and_used_ids() == ALL_IDS
    assert A._Atom__id_pool[-1] not in A.id_map


# --- no id is ever lost ---------------------------------------------------------------


@pytest.mark.parametrize("make", [
    lambda c: A("C", lone_electron=-1),                                    # M1
    lambda c: A("N", lone_electron=0),                                     # M7
    lambda c: A("N", [c, A("C"), A("C"), A("C")], lone_electron=0, auto_modify=True),  # M8
    lambda c: A("C", lone_electron="2"),                                   # a type error inside the accounting
    lambda c: A("C", [c, 999]),                                            # resolving
    lambda c: A("C", (c,)),                                                # not a list
    lambda c: A("Xe"),                                                     # M2
])
def test_failed_construction_returns_its_id(make):
    c = A("C")
    with pytest.raises(Exception):
        make(c)
    assert free_and_used_ids() == ALL_IDS
    assert all(a.access_tag is False for a in A.get_all_atoms())


# --- a construction either completes or registers nothing ---------------------------


def quaternary():
    """A carbon whose four entries are all carbons: no hydrogen to give up."""
    q = A("C")
    for _ in range(4):
        A("C", [q])
    return q


def test_construction_refused_by_a_partner_without_hydrogen():
    q = quaternary()
    before = {a.id: list(a.bonds) for a in A.get_all_atoms()}
    e = raises(Atom.BondError, lambda: A("C", [q]))
    assert e.message == (f"[Atom {q.id}] Too many Bonds (You are trying to add 1 more bond, but there already exist "
                         "4 bonds and it's impossible to form a new bond). Add 'use = \"lone_electron\"' to use lone "
                         "electron to form a bond, or add 'use = \"both\"' to use both hydrogen atom and lone "
                         "electron.")
    assert e.atom == q.id and e.__cause__ is None and e.__suppress_context__
    assert {a.id: list(a.bonds) for a in A.get_all_atoms()} == before
    assert free_and_used_ids() == ALL_IDS


def test_construction_refused_by_a_partner_listed_too_often():
    c = A("C")
    for _ in range(3):
        A("C", [c])
    h = c.bonds[3]
    e = raises(Atom.BondError, lambda: A("C", [c, c]))
    assert e.atom == c.id and "there already exist 4 bonds" in e.message
    assert c.bonds[3] == h and h in A.id_map and len(A.id_map) == 14
    assert free_and_used_ids() == ALL_IDS


@pytest.mark.parametrize("order", [(0, 1), (1, 0)])
def test_construction_naming_a_hydrogen_that_another_partner_gives_up(order):
    # The two atoms of a hydrogen molecule: the first gives up the second for the new bond,
    # so the second is gone by the time it is asked.
    h1 = A()
    pair = [h1, A.get_atom(h1.bonds[0])]
    given = [pair[i] for i in order]
    e = raises(Atom.AtomError, lambda: A("O", given))
    assert e.message == nonexistent(pair[order[1]].id)
    assert sorted(A.id_map) == sorted(a.id for a in pair)
    assert pair[0].bonds == [pair[1].id] and pair[1].bonds == [pair[0].id]
    assert free_and_used_ids() == ALL_IDS


def test_construction_naming_a_partner_and_its_own_hydrogen():
    c = A("C")
    h = A.get_atom(c.bonds[0])
    with pytest.raises(Atom.AtomError):
        A("O", [c, h])
    assert len(A.id_map) == 5 and A.get_atom(c.bonds[0]) is h
    assert free_and_used_ids() == ALL_IDS


# --- deletion -------------------------------------------------------------------------


def test_deletion_states():
    c = A("C")
    hydrogens = list(c.bonds)
    old = c.id
    assert c.delete() is None
    assert old not in A.id_map and A._Atom__id_pool[-1] == old
    message = nonexistent(old)
    for call in (c.survive, c.get_id, c.get_bonds, c.get_charge, c.get_element, c.get_lone_electron, c.delete,
                 lambda: A.get_atom(c), lambda: A.get_atom(old), lambda: A.get_atom_id(c), lambda: A.delete_atom(c),
                 lambda: A.delete_atom(old)):
        e = raises(Atom.AtomError, call)
        assert e.message == message and e.atom == old
    assert (c.element, c.charge, c.bonds) == ("C", 0, hydrogens)  # attributes stay readable
    for h in hydrogens:  # nothing but the atom itself went away
        assert A.get_atom(h).bonds == [old]
    assert free_and_used_ids() == ALL_IDS


def test_delete_atom_by_id_and_by_object():
    c1, c2 = A("C"), A("C")
    assert A.delete_atom(c1.id) is None and Atom.delete_atom(c2) is None
    assert len(A.id_map) == 8


def test_a_deleted_atom_stays_deleted_when_its_id_is_drawn_again(monkeypatch):
    old = A("C")
    old.delete()
    monkeypatch.setattr(random, "randint", lambda a, b: b)  # draw from the end: the returned id
    new = A("O")
    assert new.id == old.id and A.get_atom(old.id) is new
    message = nonexistent(old.id)
    other = A("C")
    for call in (old.survive, old.get_id, old.get_bonds, old.delete, lambda: A.get_atom(old),
                 lambda: old.bond_with(other), lambda: other.bond_with(old), lambda: old.set_charge(1),
                 lambda: old.set_element("N"), lambda: old.set_lone_electron(2), lambda: old.break_bond_with(other),
                 lambda: A.bond(old, other), lambda: A.delete_atom(old)):
        e = raises(Atom.AtomError, call)
        assert e.message == message
    assert A.get_atom(new.id) is new and len(new.bonds) == 2 and new.element == "O"
    assert free_and_used_ids() == ALL_IDS


# --- marks -----------------------------------------------------------------------------


def test_reset_tags():
    assert A.reset_tags() is None
    c = A("C")
    for a in A.get_all_atoms():
        a.access_tag = True
    assert Atom.reset_tags() is None
    assert [a.access_tag for a in A.get_all_atoms()] == [False] * 5
    raw = A.__new__(A)  # a registered object whose mark was never set
    A.id_map[4242] = raw
    A.reset_tags()
    assert raw.access_tag is False and c.access_tag is False

"""Atoms and the registry: construction, ids and the pool, resolving, confirming, deletion, marks."""
import gc
import random
import weakref

import pytest

import Atom
from conftest import ALL_IDS, elements, free_and_used_ids, no_room, nonexistent, quaternary, raises, snapshot

A = Atom.Atom
POOL_MESSAGE = "[Id Pool Runs Out] Failed to generate a new id. You can only register 9000 atoms at the same time."


# --- construction ------------------------------------------------------------------


def test_default_atom_is_a_hydrogen_molecule():
    h = A()
    other = A.get_atom(h.bonds[0])
    assert other.bonds == [h.id] and list(A.id_map) == [h.id, other.id] and len(A._Atom__id_pool) == 8998
    for atom in (h, other):
        assert (atom.element, atom.charge, atom.lone_electron, atom.access_tag) == ("H", 0, 0, False)
        assert 1000 <= atom.id <= 9999 and A.id_map[atom.id] is atom and atom.id not in A._Atom__id_pool


@pytest.mark.parametrize("element, hydrogens, lone", [
    ("C", 4, 0), ("Br", 1, 6), ("Cl", 1, 6), ("F", 1, 6), ("H", 1, 0), ("I", 1, 6), ("N", 3, 2), ("O", 2, 4),
    ("P", 3, 2), ("S", 2, 4),
])
def test_construction_of_every_element(element, hydrogens, lone):
    a = A(element)
    assert (a.element, a.charge, a.lone_electron, a.access_tag) == (element, 0, lone, False)
    assert elements(a.bonds) == ["H"] * hydrogens and all(A.get_atom(h).bonds == [a.id] for h in a.bonds)
    assert list(A.id_map) == [a.id, *a.bonds]  # registered before its hydrogens
    assert len(A._Atom__id_pool) == 9000 - 1 - hydrogens


def test_given_lone_electrons_and_auto_modify():
    assert (A("N", lone_electron=2).lone_electron, A("C", lone_electron=2).lone_electron) == (2, 2)
    n = A("N", lone_electron=0, auto_modify=True)
    assert (n.lone_electron, len(n.bonds)) == (2, 3)
    e = raises(Atom.LoneElectronError, lambda: A("N", lone_electron=0))
    assert e.message.endswith("2 lone electrons are needed instead of 0. To automatically modify to the "
                              "appropriate number of lone electrons, please add 'auto_modify = True'.")


def test_bonds_list_becomes_the_atoms_own_list():
    c1, c2 = A("C"), A("C")
    first_h = c1.bonds[0]
    given = [c1, c2.id]
    n = A("N", given)
    assert n.bonds is given and given[:2] == [c1.id, c2.id] and type(given[0]) is int
    assert elements(n.bonds) == ["C", "C", "H"]
    # each partner gave up its first hydrogen, and the new atom's id took its place
    assert c1.bonds[0] == n.id and c2.bonds[0] == n.id and first_h not in A.id_map
    assert A._Atom__id_pool[-2] == first_h
    o = A("O", [c1, c1])
    assert o.bonds == [c1.id, c1.id] and c1.bonds[1:3] == [o.id, o.id]


def test_bond_false_leaves_the_partner_alone():
    c = A("C")
    before = list(c.bonds)
    assert A(bonds=[c], bond_=False).bonds == [c.id] and c.bonds == before


# --- ids and the pool ----------------------------------------------------------------


def test_the_9001st_registration_fails_and_a_returned_id_is_drawn_next():
    atoms = [A() for _ in range(4500)]
    assert not A._Atom__id_pool and len(A.id_map) == 9000
    e = raises(Atom.IdError, A)
    assert e.message == POOL_MESSAGE and not hasattr(e, "atom")
    atoms[1234].delete()
    assert A._Atom__id_pool == [atoms[1234].id]
    assert A("H", charge=1).id == atoms[1234].id  # a proton needs no hydrogen of its own
    assert free_and_used_ids() == ALL_IDS


def test_running_out_while_adding_hydrogens_loses_no_id():
    A._Atom__id_pool[:] = [1000, 1001]
    with pytest.raises(Atom.IdError):
        A("O")
    assert free_and_used_ids() == [1000, 1001]


def expected_ids(seed, count, size=9000):
    pool = list(range(1000, 1000 + size))
    random.seed(seed)
    return [pool.pop(random.randint(0, len(pool) - 1)) for _ in range(count)]


@pytest.mark.parametrize("seed", [0, 1, 12345, "atoms"])
def test_id_sequence_follows_the_shared_generator(seed):
    expected = expected_ids(seed, 30)
    after = random.random()
    random.seed(seed)
    for _ in range(6):
        A("C")
    assert list(A.id_map) == expected
    assert random.random() == after  # the generator was consumed exactly as randint would


def test_long_id_sequences_follow_the_generator_from_any_state():
    random.seed(99)
    random.random()  # the generator's next word is now in the middle of its state
    state = random.getstate()
    pool = list(range(1000, 10000))
    expected = [pool.pop(random.randint(0, len(pool) - 1)) for _ in range(1500)]  # past two regenerations
    after = random.random()
    random.setstate(state)
    for _ in range(300):
        A("C")
    assert list(A.id_map) == expected and A._Atom__id_pool == pool
    assert random.random() == after


@pytest.mark.parametrize("size", [1, 2, 3, 64, 65])
def test_id_sequence_with_small_pools(size):
    expected = expected_ids(size, size, size)
    A._Atom__id_pool[:] = range(1000, 1000 + size)
    random.seed(size)
    assert [A._Atom__generate_id() for _ in range(size)] == expected


def test_patched_randint_is_called_with_the_bounds(monkeypatch):
    calls = []
    monkeypatch.setattr(random, "randint", lambda a, b: calls.append((a, b)) or b)
    c = A("C")
    assert calls == [(0, 8999), (0, 8998), (0, 8997), (0, 8996), (0, 8995)]
    assert list(A.id_map) == [9999, 9998, 9997, 9996, 9995]
    c.delete()
    assert A._Atom__id_pool[-1] == 9999 and A("H", charge=1).id == 9999  # the returned id, drawn again


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
    (Atom, "random", type("Fake", (), {"randint": staticmethod(lambda a, b: a)})),
    (random.Random.randint, "__code__", (lambda self, a, b: a).__code__),
    (random.Random._randbelow, "__code__", (lambda self, n: 0).__code__),
    (random, "_index", lambda x: 0 if x == 0 else 1),
    (random._inst, "__class__", type("Zeroes", (random.Random,), {"getrandbits": lambda self, k: 0})),
])
def test_changes_to_the_generator_are_obeyed(monkeypatch, target, name, value):
    A("C")  # the generator has been checked and found standard before the change
    monkeypatch.setattr(target, name, value, raising=False)
    A.id_map.clear()
    A._Atom__id_pool[:] = range(1000, 10000)
    A("C")
    assert list(A.id_map) == [1000, 1001, 1002, 1003, 1004]


def test_a_failing_look_at_the_generator_is_not_the_draws_failure():
    class Collider:
        """A key of random's globals probed before "_index"; comparing it fails once."""
        armed = False

        def __hash__(self):
            return hash("_index")

        def __eq__(self, other):
            if Collider.armed:
                Collider.armed = False
                raise ValueError("compared")
            return False

    A("C")  # the generator has been checked and found standard
    namespace = vars(random)
    index = namespace.pop("_index")
    namespace[Collider()] = None
    namespace["_index"] = index
    try:
        Collider.armed = True
        A("C")  # randint's own lookups meet no failure
    finally:
        Collider.armed = False
        del namespace[next(k for k in namespace if type(k) is Collider)]
    assert len(A.id_map) == 10


def test_registry_read_from_the_class_each_time(monkeypatch):
    monkeypatch.setattr(A, "id_map", {})
    monkeypatch.setattr(A, "_Atom__id_pool", [7777, 8888])
    h = A()
    assert sorted(A.id_map) == [7777, 8888] and A._Atom__id_pool == [] and A.get_atom(h.id) is h


def test_a_pool_with_a_pop_of_its_own_is_drawn_from_through_it(monkeypatch):
    class Pool(list):
        def pop(self, index):
            popped.append(index)
            return super().pop(index)

    popped = []
    A("C")  # the generator has been checked and found standard
    monkeypatch.setattr(A, "_Atom__id_pool", Pool(range(1000, 10000)))
    random.seed(3)
    A("C")
    assert len(popped) == 5 and list(A.id_map)[-5:] == expected_ids(3, 5)


def test_a_pool_entry_that_is_not_an_int_is_refused(monkeypatch):
    monkeypatch.setattr(A, "_Atom__id_pool", ["x"])
    for draw in (A._Atom__generate_id, lambda: A("C")):
        A._Atom__id_pool[:] = ["x"]
        e = raises(TypeError, draw)
        assert str(e) == "Expected int, got str" and A._Atom__id_pool == [] and A.id_map == {}


# --- resolving ------------------------------------------------------------------------


class Sub(A):
    __slots__ = ()


@pytest.mark.parametrize("value, text", [
    (999, None), (10000, None), ("Cl", "'Cl'"), (True, "True"), (None, "None"), (1.0, "1.0"), ([1000], "[1000]"),
])
def test_resolving_bad_values(value, text):
    for resolve in (A.get_atom, A.get_atom_id):
        e = raises(Atom.AtomError, lambda: resolve(value))
        assert e.message == (nonexistent(value) if text is None else
                             f"[Non-existent Atom {text}] Please use an Atom object or an id to represent an atom.")
        assert e.atom == value


def test_resolving_atoms():
    c, s = A("C"), Sub("C")
    assert A.get_atom(c) is c and A.get_atom(c.id) is c and A.get_atom_id(c) == A.get_atom_id(c.id) == c.id
    assert A.get_all_atoms() == list(A.id_map.values()) and A.get_all_atoms() is not A.get_all_atoms()
    assert A.get_atom(s.id) is s  # only the object of a subclass is refused
    e = raises(Atom.AtomError, lambda: A.get_atom(s))
    assert e.message == f"[Non-existent Atom {s!r}] Please use an Atom object or an id to represent an atom."


def test_constructing_with_unresolvable_entries():
    c = A("C")
    given = [c, 999]
    e = raises(Atom.AtomError, lambda: A("O", given))
    assert e.message == nonexistent(999) and e.atom == 999 and given == [c.id, 999]
    e = raises(Atom.AtomError, lambda: A("O", ["x"]))
    assert e.message == "[Non-existent Atom 'x'] Please use an Atom object or an id to represent an atom."


# --- failed constructions lose no id and register nothing ----------------------------


@pytest.mark.parametrize("make", [
    lambda c: A("C", lone_electron=-1),                                                  # negative lone electrons
    lambda c: A("N", lone_electron=0),                                                   # lone electrons needed
    lambda c: A("N", [c, A("C"), A("C"), A("C")], lone_electron=0, auto_modify=True),   # no room in the shell
    lambda c: A("C", lone_electron="2"),                                                 # a type error in the accounting
    lambda c: A("C", [c, 999]), lambda c: A("C", (c,)),                                  # resolving, not a list
    lambda c: A("Xe"), lambda c: A("C", charge=9),                                       # given back by accounting
])
def test_failed_construction_returns_its_id(make):
    c = A("C")
    before = snapshot()
    with pytest.raises(Exception):
        make(c)
    assert free_and_used_ids() == ALL_IDS and all(a.access_tag is False for a in A.get_all_atoms())
    assert snapshot()[0].items() >= before[0].items()


def test_construction_refused_by_a_partner_without_hydrogen():
    q = quaternary()
    before = snapshot()
    e = raises(Atom.BondError, lambda: A("C", [q]))
    assert e.message == (f"[Atom {q.id}] Too many Bonds (You are trying to add 1 more bond, but there already exist "
                         "4 bonds and it's impossible to form a new bond). Add 'use = \"lone_electron\"' to use lone "
                         "electron to form a bond, or add 'use = \"both\"' to use both hydrogen atom and lone "
                         "electron.")
    assert e.atom == q.id and e.__cause__ is None and e.__suppress_context__
    assert snapshot()[0] == before[0] and free_and_used_ids() == ALL_IDS


def test_construction_refused_by_a_partner_listed_too_often():
    c = A("C")
    for _ in range(3):
        A("C", [c])
    before = snapshot()
    e = raises(Atom.BondError, lambda: A("C", [c, c]))
    assert e.atom == c.id and "there already exist 4 bonds" in e.message
    assert snapshot()[0] == before[0] and free_and_used_ids() == ALL_IDS


@pytest.mark.parametrize("order", [(0, 1), (1, 0)])
def test_construction_naming_a_hydrogen_that_another_partner_gives_up(order):
    # The first atom of a hydrogen molecule would give up the second, which is listed too: the first refuses.
    h1 = A()
    pair = [h1, A.get_atom(h1.bonds[0])]
    before = snapshot()
    e = raises(Atom.BondError, lambda: A("O", [pair[i] for i in order]))
    first = pair[order[0]]
    assert e.message == no_room(first, 1) and e.atom == first.id and e.__suppress_context__
    assert snapshot()[0] == before[0] and free_and_used_ids() == ALL_IDS


def test_construction_refused_where_the_literal_steps_would_corrupt():
    c = A("C")
    cl = A.from_smiles("Cl")
    h = A.get_atom(cl.bonds[0])
    # (atoms, make, the atom that refuses): each partner's next hydrogen is itself listed, or is the new atom.
    cases = [(lambda: A("O", [c, c.bonds[0]]), c), (lambda: A("H", [c, c], -1), c),
             (lambda: A("Cl", [cl, h, cl.get_id()]), cl), (lambda: A("O", [cl, h]), cl),
             (lambda: A("O", [h, cl]), h)]
    for make, refusing in cases:
        before = snapshot()
        pool = list(A._Atom__id_pool)
        e = raises(Atom.BondError, make)
        assert e.message == no_room(refusing, len(refusing.bonds)) and e.atom == refusing.id
        assert e.__cause__ is None and e.__suppress_context__
        assert snapshot()[0] == before[0] and free_and_used_ids() == ALL_IDS
        drawn = A._Atom__id_pool[-1]  # the new atom's id, given back at the end
        assert A._Atom__id_pool == [i for i in pool if i != drawn] + [drawn]


# --- deletion -------------------------------------------------------------------------


def test_deletion_states():
    c = A("C")
    hydrogens = list(c.bonds)
    assert c.delete() is None
    assert c.id not in A.id_map and A._Atom__id_pool[-1] == c.id
    for call in (c.survive, c.get_id, c.get_bonds, c.get_charge, c.get_element, c.get_lone_electron, c.delete,
                 lambda: A.get_atom(c), lambda: A.get_atom(c.id), lambda: A.get_atom_id(c), lambda: A.delete_atom(c),
                 lambda: A.delete_atom(c.id)):
        e = raises(Atom.AtomError, call)
        assert e.message == nonexistent(c.id) and e.atom == c.id
    assert (c.element, c.bonds) == ("C", hydrogens)  # attributes stay readable
    assert all(A.get_atom(h).bonds == [c.id] for h in hydrogens)  # the hydrogens stay, naming it
    assert A.delete_atom(hydrogens[0]) is None and len(A.id_map) == 3
    assert free_and_used_ids() == ALL_IDS


def test_a_deleted_atom_stays_deleted_when_its_id_is_drawn_again(monkeypatch):
    old = A("C")
    old.delete()
    monkeypatch.setattr(random, "randint", lambda a, b: b)  # draw from the end: the returned id
    new, other = A("O"), A("C")
    assert new.id == old.id and A.get_atom(old.id) is new
    for call in (old.survive, old.get_id, old.delete, lambda: A.get_atom(old), lambda: old.bond_with(other),
                 lambda: other.bond_with(old), lambda: old.set_charge(1), lambda: old.set_lone_electron(2),
                 lambda: old.break_bond_with(other), lambda: A.bond(old, other)):
        assert raises(Atom.AtomError, call).message == nonexistent(old.id)
    assert A.get_atom(new.id) is new and len(new.bonds) == 2 and free_and_used_ids() == ALL_IDS


def test_the_collector_sees_every_slot():
    class WithDict(A):  # a subclass with a dict of its own, traversed by its own type first
        pass

    class Box:
        pass

    for cls in (A, Sub, WithDict):
        c = cls("C")
        c.delete()
        boxes = [Box() for _ in range(6)]
        for name, box in zip(("access_tag", "bonds", "charge", "element", "id", "lone_electron"), boxes):
            setattr(c, name, box)
            box.atom = c  # a cycle through each slot
        assert set(map(id, gc.get_referents(c))) >= set(map(id, boxes)) | {id(cls)}
        if cls is WithDict:
            c.__dict__["me"] = c
        gone = [weakref.ref(box) for box in boxes]
        del c, box, boxes
        A.reset_tags()  # forgets the atoms whose tag was written
        gc.collect()
        assert [ref() for ref in gone] == [None] * 6


def test_reset_tags():
    assert A.reset_tags() is None
    c = A("C")
    for a in A.get_all_atoms():
        a.access_tag = True
    raw = A.__new__(A)  # a registered object whose mark was never set
    A.id_map[4242] = raw
    assert A.reset_tags() is None
    assert [a.access_tag for a in A.get_all_atoms()] == [False] * 6 and c.access_tag is False

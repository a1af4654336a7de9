"""A hostile but legal caller: finalizers of objects the module releases in the middle of a call, weakref
callbacks, a replaced random.randint, each free to call the module again. The module never crashes, loses
no id, keeps nothing alive past its release, and answers as when that code ran between plain steps."""
import random
import weakref

import pytest

import Atom
from conftest import A, check_registry, nonexistent, raises, run_isolated

POOL_MESSAGE = "[Id Pool Runs Out] Failed to generate a new id. You can only register 9000 atoms at the same time."


class TestTheReportedCases:
    def test_crash_a_finalizer_that_empties_the_pool_while_a_partner_gives_up_its_hydrogen(self):
        # The carbon's first hydrogen dies when the oxygen takes its place; the oxygen then has no id
        # left for its own hydrogens.
        out = run_isolated("""
            import Atom
            A = Atom.Atom
            class Fin:
                def __del__(self):
                    A._Atom__id_pool.clear()
            x = A('C')
            first, *rest = x.bonds
            A.get_atom(first).charge = Fin()
            try:
                A('O', [x])
            except Atom.IdError as e:
                print("IdError", e)
            o = next(a for a in A.id_map.values() if a.element == 'O')
            print(o.bonds == [x.id], x.bonds == [o.id, *rest], first in A.id_map, len(A.id_map), A._Atom__id_pool)
        """)
        assert out.splitlines() == [f"IdError {POOL_MESSAGE}", "True True False 5 []"]

    def test_crash_twenty_thousand_dropped_tag_values_whose_finalizers_call_the_module(self):
        out = run_isolated("""
            import Atom
            A = Atom.Atom
            finalized = 0
            class Fin2:
                def __del__(self):
                    global finalized
                    finalized += 1
                    if armed:
                        A._Atom__id_pool.clear()
            armed = False
            A('H', None, 0, 1)
            for _ in range(20000):
                object.__new__(A).access_tag = Fin2()
            print(finalized)  # each instance is dropped at once, and its tag with it
            armed = True
            c = A('C')
            print(len(A.id_map), len(A._Atom__id_pool), finalized)
        """)
        assert out.split() == ["20000", "6", "8994", "20000"]

    def test_a_randint_that_deletes_the_atom_being_filled(self, monkeypatch):
        original, calls, deleted = random.randint, [], []

        def randint(a, b):
            calls.append(b)
            if len(calls) == 2:
                victim = list(A.id_map.values())[-1]
                deleted.append(victim.id)
                victim.delete()
            return original(a, b)

        monkeypatch.setattr(random, "randint", randint)
        e = raises(Atom.AtomError, lambda: A("C"))
        assert e.message == nonexistent(deleted[0]) and e.atom == deleted[0]
        assert calls == [8999, 8998] and not A.id_map
        check_registry()

    def test_a_reading_started_by_randint_fails_with_the_reading_around_it(self, monkeypatch):
        original = random.randint

        def randint(a, b):
            random.randint = original
            A.from_smiles("O")
            return original(a, b)

        monkeypatch.setattr(random, "randint", randint)
        e = raises(Atom.SmilesError, lambda: A.from_smiles("C(F)(F)(F)(F)F"))
        assert e.message == ('[Smiles "C(F)(F)(F)(F)F"] Failed to convert from SMILES. Something goes wrong when '
                             'trying to convert.')
        assert random.randint is original and not A.id_map
        check_registry()

    def test_the_tag_values_of_deleted_and_dropped_atoms_are_freed_at_once(self):
        class Tag:
            def __init__(self):
                self.payload = bytearray(1 << 20)

        refs = []
        for _ in range(200):
            a = A("H", charge=1)
            a.access_tag = Tag()
            refs.append(weakref.ref(a.access_tag))
            a.delete()
            del a
        assert [r for r in refs if r() is not None] == []
        assert len(A._Atom__id_pool) == 9000 and not A.id_map


# --- code that runs when the module releases an atom ------------------------------------------------------------

LIVE_WATCHERS = []


@pytest.fixture(autouse=True)
def watchers_of_this_test_only():
    """A watcher that a faulty module kept alive stays quiet when it dies in a later test."""
    yield
    LIVE_WATCHERS.clear()


class Watcher:
    """Runs an action when an atom with id `watched` dies, recording first whether the atom had left the
    registry for the pool by then, then what the action raised."""

    def __init__(self, watched, action):
        self.watched, self.action, self.seen = watched, action, []
        LIVE_WATCHERS.append(self)

    def hold(self, box):
        """A weak reference to the box whose callback fires the watcher; gives the box back."""
        self.ref = weakref.ref(box, lambda ref: self.fire())
        return box

    def fire(self):
        if self not in LIVE_WATCHERS:
            return
        self.seen.append((self.watched in A.id_map, self.watched in A._Atom__id_pool))
        try:
            self.action()
        except Exception as e:
            self.seen.append(e)


class Box:
    """Something weakly referable, held by nothing but the atom's slot."""


class Dying:
    def __init__(self, watcher):
        self.watcher = watcher

    def __del__(self):
        self.watcher.fire()


PLANTINGS = {
    "charge": lambda atom, w: setattr(atom, "charge", Dying(w)),
    "lone_electron": lambda atom, w: setattr(atom, "lone_electron", Dying(w)),
    "access_tag": lambda atom, w: setattr(atom, "access_tag", Dying(w)),
    "bonds entry": lambda atom, w: atom.bonds.append(Dying(w)),
    "weakref callback": lambda atom, w: setattr(atom, "charge", w.hold(Box())),
}


def plant_in_first_hydrogen(atom, planting, action):
    """A watcher on the atom's first hydrogen; no reference to the hydrogen is kept."""
    watcher = Watcher(atom.bonds[0], action)
    PLANTINGS[planting](A.get_atom(atom.bonds[0]), watcher)
    return watcher


def forming_a_bond(planting, action):
    c1, c2 = A("C"), A("C")
    rest1, rest2 = c1.bonds[1:], c2.bonds[1:]
    watcher = plant_in_first_hydrogen(c1, planting, action)
    c1.bond_with(c2)
    assert c1.bonds == [c2.id, *rest1] and c2.bonds == [c1.id, *rest2]
    return watcher


def the_partner_of_a_bond(planting, action):
    c1, c2 = A("C"), A("C")
    rest1, rest2 = c1.bonds[1:], c2.bonds[1:]
    watcher = plant_in_first_hydrogen(c2, planting, action)
    A.bond(c1.id, c2.id)
    assert c1.bonds == [c2.id, *rest1] and c2.bonds == [c1.id, *rest2]
    return watcher


def a_partner_named_to_the_constructor(planting, action):
    x = A("C")
    rest = x.bonds[1:]
    watcher = plant_in_first_hydrogen(x, planting, action)
    o = A("O", [x])
    assert x.bonds == [o.id, *rest] and o.bonds[0] == x.id and len(o.bonds) == 2
    return watcher


def dropped_by_a_setter(setter, value, check):
    def run(planting, action):
        c = A("N", charge=1)
        rest = c.bonds[1:]
        watcher = plant_in_first_hydrogen(c, planting, action)
        getattr(c, setter)(value)
        assert c.bonds == rest and check(c)
        return watcher
    return run


def a_carbene(planting, action):
    c = A("C")
    rest = c.bonds[2:]
    watcher = plant_in_first_hydrogen(c, planting, action)
    c.bond_with(c, allow_carbene=True)
    assert c.bonds == rest and c.lone_electron == 2
    return watcher


def deleted_by_id(planting, action):
    c = A("C")
    watcher = plant_in_first_hydrogen(c, planting, action)
    A.delete_atom(c.bonds[0])
    return watcher


# Each release, with the number of atoms its structure leaves registered.
RELEASES = {
    "bond_with": (forming_a_bond, 8), "bond partner": (the_partner_of_a_bond, 8),
    "constructor partner": (a_partner_named_to_the_constructor, 6),
    "set_charge": (dropped_by_a_setter("set_charge", 2, lambda c: c.charge == 2), 4),
    "set_element": (dropped_by_a_setter("set_element", "C", lambda c: c.element == "C" and c.charge == 1), 4),
    "carbene": (a_carbene, 3), "delete_atom": (deleted_by_id, 4),
}


def module_calls():
    """Calls back into the module that leave the atoms of the call around them alone."""
    other = A("O")
    return {"Atom('C')": (lambda: A("C"), 5), "from_smiles": (lambda: A.from_smiles("CO"), 6),
            "reset_tags": (A.reset_tags, 0), "get_formula": (lambda: Atom.get_formula(other), 0),
            "delete": (lambda: A.get_atom(other.bonds[0]).delete(), -1)}


@pytest.mark.parametrize("planting", PLANTINGS)
@pytest.mark.parametrize("release, size", RELEASES.values(), ids=RELEASES.keys())
@pytest.mark.parametrize("call", ["Atom('C')", "from_smiles", "reset_tags", "get_formula", "delete"])
def test_code_run_by_a_released_hydrogen_calls_the_module(capsys, planting, release, size, call):
    action, registers = module_calls()[call]
    watcher = release(planting, action)
    assert watcher.seen == [(False, True)], "the hydrogen is released once, after it left the registry"
    assert len(A.id_map) == 3 + size + registers
    check_registry()


@pytest.mark.parametrize("call, clears_marks", [("Atom('C')", False), ("from_smiles", False), ("reset_tags", True),
                                                ("get_formula", True), ("delete", False)])
def test_code_run_by_an_atom_a_walk_releases_calls_the_module(monkeypatch, call, clears_marks):
    # print deletes each hydrogen; the walk then drops the last reference to it, and its finalizer runs.
    action, _ = module_calls()[call]
    c = A("C")
    first = c.bonds[0]
    watcher = plant_in_first_hydrogen(c, "charge", action)
    monkeypatch.setattr("builtins.print", lambda atom: atom.delete())
    if clears_marks:  # the carbon is walked again from the second hydrogen and looks up the first
        assert raises(Atom.AtomError, c.to_formula).message == nonexistent(first)
    else:
        assert c.to_formula() == "CH4"
    assert watcher.seen == [(False, True)]
    check_registry()


class TestCodeThatUndoesTheCallAroundIt:
    """A released hydrogen's finalizer deletes an atom of the call or empties the pool: the rest of the call
    goes on from the state that code left, re-reading what its steps read."""

    def test_the_partner_deleted_while_this_side_gives_up_its_hydrogen(self):
        c1, c2 = A("C"), A("C")
        h, partner_bonds = c1.bonds[0], list(c2.bonds)
        watcher = plant_in_first_hydrogen(c1, "charge", c2.delete)
        e = raises(Atom.AtomError, lambda: c1.bond_with(c2))
        assert e.message == nonexistent(c2.id) and watcher.seen == [(False, True)]
        assert c1.bonds[0] == h and c2.bonds == partner_bonds  # the partner's id is read after the release
        check_registry()

    def test_this_atom_deleted_while_it_gives_up_its_hydrogen(self):
        c1, c2 = A("C"), A("C")
        rest, partner_bonds = c1.bonds[1:], list(c2.bonds)
        plant_in_first_hydrogen(c1, "charge", c1.delete)
        e = raises(Atom.AtomError, lambda: c1.bond_with(c2))
        assert e.message == nonexistent(c1.id)  # raised by the partner's side, which resolves this atom
        assert c1.bonds == [c2.id, *rest] and c2.bonds == partner_bonds
        check_registry()

    def test_the_pool_emptied_while_a_bond_is_formed(self):
        c1, c2 = A("C"), A("C")
        h2 = c2.bonds[0]
        plant_in_first_hydrogen(c1, "charge", lambda: A._Atom__id_pool.clear())
        c1.bond_with(c2)
        assert c1.bonds[0] == c2.id and c2.bonds[0] == c1.id and A._Atom__id_pool == [h2]
        check_registry(ids=None)

    def test_the_partner_named_to_a_constructor_deleted_when_it_gives_up_its_hydrogen(self):
        x = A("C")
        rest = x.bonds[1:]
        plant_in_first_hydrogen(x, "lone_electron", x.delete)
        o = A("O", [x])
        assert x.bonds == [o.id, *rest] and o.bonds[0] == x.id and len(o.bonds) == 2 and x.id not in A.id_map
        check_registry()

    def test_an_atom_deleted_by_the_hydrogen_its_setter_drops(self):
        n = A("N", charge=1)
        rest = n.bonds[1:]
        plant_in_first_hydrogen(n, "charge", n.delete)
        n.set_charge(2)
        assert n.bonds == rest and n.charge == 2 and n.id not in A.id_map
        check_registry()


@pytest.mark.parametrize("call, raised", [
    ("A('C')", "TypeError Expected int, got Dying None"),
    ("A.from_smiles('CCO')", 'SmilesError [Smiles "CCO"] Failed to convert from SMILES. Something goes wrong when '
                            "trying to convert. TypeError('Expected int, got Dying')"),
])
def test_crash_a_refused_pool_entry_whose_finalizer_empties_the_pool(call, raised):
    # Every other free id is an int subclass, which the module refuses and drops after earlier draws.
    out = run_isolated(f"""
        import random, Atom
        A = Atom.Atom
        class Dying(int):
            def __del__(self):
                A._Atom__id_pool.clear()
        random.seed(1)
        A._Atom__id_pool[:] = [i if i % 2 else Dying(i) for i in range(1000, 1100)]
        try:
            {call}
        except Exception as e:
            print(type(e).__name__, e, repr(e.__cause__))
        pool = A._Atom__id_pool
        print(all(type(a) is A and a.id == k for k, a in A.id_map.items()), all(type(i) is int for i in pool),
              len(set(pool)) == len(pool), not set(pool) & set(A.id_map))
    """)
    assert out.splitlines() == [raised, "True True True True"]


# --- a replaced randint ----------------------------------------------------------------------------------------

class Draws:
    """A replaced randint that runs `action` at its first call, then records, for each draw of the call under
    test, the entry of the pool at the index it returns: the id that draw must give."""

    def __init__(self, monkeypatch, action):
        self.original, self.action, self.busy, self.drawn, self.made = random.randint, action, False, [], set()
        monkeypatch.setattr(random, "randint", self)

    def __call__(self, a, b):
        if self.busy:
            return self.original(a, b)
        if self.action is not None:
            action, self.action, self.busy = self.action, None, True
            before = set(A.id_map)
            try:
                action()
            finally:
                self.busy = False
            self.made = set(A.id_map) - before
        index = self.original(a, b)
        self.drawn.append(A._Atom__id_pool[index])
        return index


@pytest.mark.parametrize("call", ["Atom('C')", "from_smiles", "reset_tags", "get_formula", "delete"])
@pytest.mark.parametrize("drawing", ["constructor", "setter"])
def test_a_randint_that_calls_the_module_before_the_draw(monkeypatch, capsys, call, drawing):
    action, registers = module_calls()[call]
    carbene = A("C", None, 0, 2)  # two hydrogens, drawn before randint is replaced
    random.seed(3)
    draws = Draws(monkeypatch, action)
    if drawing == "constructor":
        c = A("C")
        assert draws.drawn == [c.id, *c.bonds]
    else:
        carbene.set_lone_electron(0)
        assert draws.drawn == carbene.bonds[2:] and len(carbene.bonds) == 4
    assert len(A.id_map) == 3 + 3 + 5 * (drawing == "constructor") + 2 * (drawing == "setter") + registers
    check_registry()


@pytest.mark.parametrize("call", ["Atom('C')", "from_smiles", "delete"])
def test_a_randint_that_calls_the_module_inside_a_reading(monkeypatch, capsys, call):
    action, registers = module_calls()[call]
    before = set(A.id_map)
    random.seed(3)
    draws = Draws(monkeypatch, action)
    start = A.from_smiles("CC(C)O")
    assert Atom.get_formula(start) == "C3H8O"
    assert set(A.id_map) - before - draws.made <= set(draws.drawn)
    assert len(A.id_map) == 3 + 12 + registers
    check_registry()


# --- finalizers in the registry --------------------------------------------------------------------------------

SMALL_POOL = range(1000, 1080)


@pytest.mark.parametrize("call", ["Atom('C')", "from_smiles", "reset_tags", "get_formula", "delete"])
@pytest.mark.parametrize("build", [lambda: A("N", [A("C")]), lambda: A.from_smiles("CC(=O)OC1CC1")],
                         ids=["constructors", "reading"])
def test_finalizers_of_registry_entries_that_a_registration_replaces(capsys, call, build):
    A._Atom__id_pool[:] = SMALL_POOL
    action, _ = module_calls()[call]
    first = []

    def once():
        if not first:
            first.append(1)
            action()

    watchers = {i: Watcher(i, once) for i in A._Atom__id_pool}
    for i, watcher in watchers.items():
        A.id_map[i] = Dying(watcher)
    build()
    planted = {i for i, value in A.id_map.items() if type(value) is Dying}
    for i, watcher in watchers.items():
        assert watcher.seen[:1] == ([] if i in planted else [(True, False)]), i
    check_registry(planted, ids=SMALL_POOL)


def test_a_registry_key_whose_eq_drops_the_id_being_looked_up():
    # Setting a tag looks the atom's id up in id_map; a colliding key's __eq__ may replace that id,
    # freeing the int the lookup was made with (caught under the sanitizer build).
    a = A("H", None, 0, 1)
    a.id = int("1" + "0" * 30) + 7  # held by the slot alone

    class Collides:
        def __hash__(self):
            return hash(10 ** 30 + 7)

        def __eq__(self, other):
            a.id = 5
            return True
    A.id_map[Collides()] = a
    for _ in range(3):
        a.access_tag = True
        A.reset_tags()
        assert a.access_tag is False

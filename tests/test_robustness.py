"""Slots holding wrong values, callbacks into Python that change the registry, strange objects in bond lists:
the module raises ordinary exceptions and never crashes."""
import random

import pytest

import Atom
from conftest import ALL_IDS, check_registry, free_and_used_ids, nonexistent, run_isolated

A = Atom.Atom


def try_everything(a, other):
    calls = [a.survive, a.get_id, a.get_bonds, a.get_charge, a.get_element, a.get_lone_electron, A.reset_tags,
             lambda: A.get_atom(a), lambda: a.bond_with(other), lambda: a.bond_with(other, use="lone_electron"),
             lambda: other.bond_with(a), lambda: a.bond_with(a, allow_carbene=True), lambda: a.break_bond_with(other),
             lambda: other.break_bond_with(a), lambda: a.set_charge(1), lambda: a.set_element("N"),
             lambda: a.set_lone_electron(1), lambda: A("O", [a]), lambda: A._Atom__remove_hydro(a.bonds),
             lambda: A._Atom__bond_num("C", 0, 0, a.bonds), a.delete]
    attempt(calls)


def attempt(calls):
    """Runs each call; each returns or raises an ordinary exception (never SystemError, the sign of an error
    the module lost track of)."""
    for call in calls:
        try:
            call()
        except SystemError:
            raise
        except Exception:
            pass


@pytest.mark.parametrize("slot, value", [
    ("bonds", "x"), ("bonds", None), ("bonds", (1, 2)), ("bonds", [1.5]), ("bonds", [[]]), ("charge", None),
    ("charge", 1.5), ("charge", 10 ** 40), ("element", None), ("element", 6), ("element", "Xe"),
    ("element", "H\udcff"), ("lone_electron", True), ("lone_electron", -3), ("lone_electron", 10 ** 40),
    ("id", None), ("id", "x"), ("id", []), ("id", 10 ** 40), ("access_tag", None), ("bonds", ...), ("id", ...),
    ("charge", ...), ("element", ...), ("lone_electron", ...), ("access_tag", ...),
])
def test_wrong_or_missing_slot_values(slot, value):
    a, other = A("C"), A("C")
    A.bond(a, other)
    key = a.id
    if value is ...:
        delattr(a, slot)
    else:
        setattr(a, slot, value)
    try_everything(a, other)
    check_registry(planted={key} if slot == "id" else ())


def test_examples_of_the_errors_raised():
    a = A("C")
    a.bonds = "x"
    with pytest.raises(TypeError):
        a.set_charge(1)
    del a.charge
    with pytest.raises(AttributeError, match="charge"):
        a.get_charge()
    a.id = None
    with pytest.raises(Atom.AtomError) as info:
        a.survive()
    assert info.value.message == nonexistent(None)
    a.id = []
    with pytest.raises(TypeError):
        a.get_id()
    raw = A.__new__(A)
    for call in (raw.survive, lambda: raw.bond_with(A("C")), lambda: A.get_atom(raw), lambda: raw.set_charge(1)):
        with pytest.raises(AttributeError):
            call()
    for call in (lambda: A.get_id(5), lambda: A.bond_with("x", 1), lambda: A.delete(object()), lambda: A.__init__(3)):
        with pytest.raises((AttributeError, TypeError)):
            call()


@pytest.mark.parametrize("mutate, ids", [
    (lambda: A.id_map.clear(), None), (lambda: A._Atom__id_pool.clear(), None),
    (lambda: A._Atom__id_pool.reverse(), ALL_IDS), (lambda: [a.delete() for a in list(A.id_map.values())], ALL_IDS),
    (lambda: setattr(A, "_Atom__id_pool", A._Atom__id_pool[-1:]), None), (lambda: setattr(A, "id_map", {}), None),
    (lambda: A("C"), ALL_IDS),
])
def test_randint_that_changes_the_registry(monkeypatch, mutate, ids):
    c = A("C")
    original = random.randint
    calls = []

    def randint(a, b):
        if len(calls) < 2:
            calls.append(1)
            mutate()
        return original(a, b) if b >= a else 0

    monkeypatch.setattr(random, "randint", randint)
    attempt([lambda: A("C"), lambda: A("O", [c]), lambda: c.set_charge(-1), A])
    assert calls
    check_registry(ids=ids)


def test_randint_that_builds_atoms_itself_loses_nothing(monkeypatch):
    original = random.randint
    calls = []

    def randint(a, b):
        if len(calls) < 3:
            calls.append(1)
            A("C")
        return original(a, b)

    monkeypatch.setattr(random, "randint", randint)
    A("C")
    assert free_and_used_ids() == ALL_IDS


@pytest.mark.parametrize("value", [-1, 10 ** 40, "x", None, True, 1.0])
def test_randint_returning_odd_values(monkeypatch, value):
    monkeypatch.setattr(random, "randint", lambda a, b: value)
    try:
        A("C")
    except Exception:
        pass
    assert len(set(A._Atom__id_pool) | set(A.id_map)) == len(A._Atom__id_pool) + len(A.id_map)


class Chameleon:
    """Equal to everything; its first comparison runs an action."""

    def __init__(self, action=None):
        self.action = action

    def __eq__(self, other):
        action, self.action = self.action, None
        if action:
            action()
        return True

    __hash__ = object.__hash__


class Grumpy:
    def __eq__(self, other):
        raise ValueError("no comparison")

    __hash__ = object.__hash__

    def __repr__(self):
        raise RuntimeError("no repr")


@pytest.mark.parametrize("make_entry", [
    lambda c1, c2: Chameleon(), lambda c1, c2: Chameleon(c1.bonds.clear),
    lambda c1, c2: Chameleon(lambda: c1.bonds.extend(range(50))), lambda c1, c2: Chameleon(c1.delete),
    lambda c1, c2: Chameleon(c2.delete), lambda c1, c2: Chameleon(A.id_map.clear),
    lambda c1, c2: Chameleon(lambda: setattr(c1, "bonds", [])),
    lambda c1, c2: Chameleon(lambda: delattr(c1, "lone_electron")), lambda c1, c2: Grumpy(),
])
@pytest.mark.parametrize("first", [True, False])
def test_strange_entries_in_bond_lists(make_entry, first):
    c1, c2 = A("C"), A("C")
    A.bond(c1, c2)
    entry = make_entry(c1, c2)
    ids = None if getattr(entry, "action", None) == A.id_map.clear else ALL_IDS
    c1.bonds.insert(0 if first else len(c1.bonds), entry)
    try_everything(c1, c2)
    check_registry(ids=ids)
    A._Atom__id_pool.insert(0, Chameleon(A._Atom__id_pool.clear))
    A._Atom__id_pool.append(Grumpy())
    attempt([lambda: A._Atom__bond_num("Xe", 0, 0, None, 1234), lambda: A("Xe"), A])
    assert all(type(a) is A and a.id == key for key, a in A.id_map.items())


def test_a_failed_reading_takes_back_atoms_whose_id_changes_while_looked_up():
    out = run_isolated("""
        import random, Atom
        A = Atom.Atom
        original = random.randint

        class Vanishing:
            # Its hash replaces it in the atom's id slot, dropping the last reference to it.
            def __init__(self, atom): self.atom = atom
            def __hash__(self):
                self.atom.id = 0
                return 12345
            def __eq__(self, other): return False

        def randint(a, b):
            if len(A.id_map) > 6:  # the chain's atoms exist; the unknown element's draw fails
                for x in list(A.id_map.values()):
                    x.id = Vanishing(x)
                A.id_map[12345] = "an entry its lookup compares with"
                raise RuntimeError("no id")
            return original(a, b)

        random.randint = randint
        try:
            A.from_smiles("XCCCC")
        except Atom.SmilesError:
            print("raised")
    """)
    assert out.strip() == "raised"


@pytest.mark.parametrize("replace", ["A.id_map = dict(A.id_map)", "A._Atom__id_pool = list(A._Atom__id_pool)",
                                     "A._Atom__element_info = dict(A._Atom__element_info)"])
def test_the_process_exits_cleanly_after_a_class_attribute_is_replaced(replace):
    # Nothing reads the new value before the exit, so only the module itself still holds the old one.
    out = run_isolated(f"""
        import Atom
        A = Atom.Atom
        A("C")
        {replace}
        print("replaced")
    """)
    assert out.strip() == "replaced"


def test_python_code_that_calls_back_in_endlessly_on_a_small_stack():
    # Each round through an entry's str(), a replaced print or an __eq__ takes more C stack than the
    # interpreter's recursion count allows for; the calls end in RecursionError, not in an overflow.
    out = run_isolated("""
        import builtins, threading, Atom
        A = Atom.Atom
        a = A("C")
        a.bonds.append(a)
        b = A("C", [A("C")])

        class Again:
            def __eq__(self, other):
                return A._Atom__bond_num("C", 0, 0, [Again(), Again()]) is None
            __hash__ = object.__hash__

        def formula_print(*args):
            b.to_formula()

        def outcome(call):
            try:
                call()
            except RecursionError:
                return "RecursionError"

        def run():
            print(outcome(lambda: str(a)))
            print(outcome(lambda: A._Atom__bond_num("C", 0, 0, [Again(), Again()])))
            builtins.print, saved = formula_print, builtins.print
            try:
                result = outcome(b.to_formula)
            finally:
                builtins.print = saved
            print(result)

        threading.stack_size(256 * 1024)
        thread = threading.Thread(target=run)
        thread.start()
        thread.join()
    """)
    assert out.split() == ["RecursionError"] * 3


def test_a_long_random_walk_in_a_fresh_interpreter():
    # Corrupts slots, the registry and bond lists between operations; a crash would end the process.
    code = """
        import random, Atom
        A = Atom.Atom
        rng = random.Random(20240601)
        random.seed(20240601)  # the constructor draws from the module's generator: keep the walk repeatable
        junk = [None, "x", -1, 10 ** 40, 1.5, [], [1.5], (1,), True, "H", "Xe", object()]

        class Chameleon:
            def __init__(self, act): self.act = act
            def __eq__(self, other):
                act, self.act = self.act, None
                if act: act()
                return True
            __hash__ = object.__hash__

        def some_atom():
            atoms = list(A.id_map.values())
            return rng.choice(atoms) if atoms else A("C")

        for step in range(4000):
            try:
                a, b = some_atom(), some_atom()  # A("C") fails on a pool the walk filled with junk
                r = rng.random()
                if r < 0.05:
                    setattr(a, rng.choice(A.__slots__), rng.choice(junk))
                elif r < 0.08:
                    delattr(a, rng.choice(A.__slots__))
                elif r < 0.12:
                    bonds = a.bonds
                    bonds.insert(rng.randint(0, len(bonds)), Chameleon(rng.choice(
                        [bonds.clear, b.delete, A.id_map.clear, lambda: bonds.append(b.id)])))
                elif r < 0.14:
                    A.id_map[rng.randint(0, 20000)] = rng.choice([a, "junk"])
                elif r < 0.16:
                    A._Atom__id_pool.append(rng.choice(junk))
                elif r < 0.18:
                    A.id_map.clear(); A._Atom__id_pool[:] = range(1000, 10000)
                else:
                    rng.choice([
                        lambda: A(rng.choice(["C", "N", "O", "H", "S"]), [b]),
                        lambda: A.bond(a, b, use=rng.choice(["hydro", "both", "lone_electron"])),
                        lambda: a.break_bond_with(b), lambda: a.set_charge(rng.randint(-2, 2)),
                        lambda: a.set_lone_electron(rng.randint(0, 3), True),
                        lambda: a.bond_with(a, allow_carbene=True), lambda: A._Atom__remove_hydro(a.bonds),
                        A.reset_tags, a.delete,
                    ])()
            except Exception:
                pass
        print("survived")
    """
    assert run_isolated(code).strip() == "survived"

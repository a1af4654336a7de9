"""Ids drawn and freed inside one construction or reading: whatever Python code
runs in the middle of it sees the pool exactly as the plain pops and appends
leave it, and every result matches a run in which each draw goes through a
replaced randint (and so pops the pool at once)."""
import random

import pytest

import Atom
from conftest import A, free_and_used_ids, ALL_IDS

SMALL_POOL = range(1000, 1080)


def state():
    """The registry (int keys, in order) and the pool, as plain values."""
    atoms = [(i, a.element, a.charge, a.lone_electron, list(a.bonds))
             for i, a in A.id_map.items() if type(i) is int and type(a) is A]
    return atoms, list(A._Atom__id_pool)


def outcome_of(action):
    try:
        action()
    except Exception as e:
        return type(e).__name__, str(e), type(e.__cause__).__name__
    return None


def run_both(monkeypatch, action, prepare=lambda seen: None, seed=5, pool=None):
    """Runs action twice from the same state and seed: as is, and with randint
    replaced by a plain function making the same draws. Returns both runs'
    (outcome, state, what Python code saw meanwhile)."""
    runs = []
    original = random.randint
    for replaced in (False, True):
        A.id_map.clear()
        A._Atom__id_pool[:] = pool if pool is not None else range(1000, 10000)
        seen = []
        prepare(seen)
        random.seed(seed)
        if replaced:
            monkeypatch.setattr(random, "randint", lambda a, b: original(a, b))
        Finalized.live = True
        runs.append((outcome_of(action), state(), list(seen)))
        Finalized.live = False  # those left over go quietly
        monkeypatch.setattr(random, "randint", original)
    return runs


class Collider:
    """A key of id_map hashed like an id: every lookup of that id compares with it."""

    def __init__(self, value, seen):
        self.value, self.seen = value, seen

    def __hash__(self):
        return self.value

    def __eq__(self, other):
        self.seen.append((other, tuple(A._Atom__id_pool)))
        return False


class Finalized:
    """Registered under an id that is free as well: registering that id again drops it."""
    live = False

    def __init__(self, seen, action=None):
        self.seen, self.action = seen, action

    def __del__(self):
        if not Finalized.live:
            return
        self.seen.append(tuple(A._Atom__id_pool))
        action, self.action = self.action, None
        if action:
            self.seen.append(outcome_of(action))
            self.seen.append(tuple(A._Atom__id_pool))


def colliding_keys(seen):
    for i in SMALL_POOL:
        A.id_map[Collider(i, seen)] = None


def finalizers(seen, action=None):
    for i in SMALL_POOL:
        A.id_map[i] = Finalized(seen, action)


class TestPythonCodeMidOperationSeesThePlainPool:
    @pytest.mark.parametrize("action", [lambda: A("C"), lambda: A.from_smiles("CC(=O)OC1CC1"),
                                        lambda: A.from_smiles("XCCO"), lambda: A("N", [A("C")])])
    @pytest.mark.parametrize("prepare", [colliding_keys, finalizers])
    def test_foreign_keys_and_finalizers(self, monkeypatch, action, prepare):
        recorded, plain = run_both(monkeypatch, action, prepare, pool=SMALL_POOL)
        assert recorded[2] and recorded == plain

    def test_an_error_class_that_looks_at_the_pool(self, monkeypatch):
        def spy(seen):
            def setattr_(self, name, value):
                seen.append((name, tuple(A._Atom__id_pool)))
                Exception.__setattr__(self, name, value)
            monkeypatch.setattr(Atom.ElementError, "__setattr__", setattr_)

        recorded, plain = run_both(monkeypatch, lambda: A.from_smiles("CC(C)CCX"), spy)
        assert recorded[2] and recorded == plain

    def test_a_reading_started_from_a_finalizer(self, monkeypatch):
        def prepare(seen):
            finalizers(seen, lambda: A.from_smiles("CO"))

        recorded, plain = run_both(monkeypatch, lambda: A.from_smiles("CC1CCC1O"), prepare, pool=SMALL_POOL)
        readings = [seen for seen in recorded[2] if seen is None or seen and type(seen[0]) is str]  # not pools
        assert None in readings and recorded == plain, "finalizers fired, and one read its text"


class TestSameResultsAsPlainDraws:
    @pytest.mark.parametrize("text", ["C1=CC=CC=C1O", "CC(C)(C)[N+](=O)[O-]", "C%12CC%12C(Cl)Br", "OC(", "CC11",
                                      "C1CC1C(C)(C)(C)(C)C", "[CH2]C=CC#N", "C(CC)C="])
    def test_readings(self, monkeypatch, text):
        recorded, plain = run_both(monkeypatch, lambda: A.from_smiles(text))
        assert recorded == plain and free_and_used_ids() == ALL_IDS
        assert A.id_map if recorded[0] is None else not A.id_map

    def test_the_id_limit_reached_in_the_middle_of_a_reading(self, monkeypatch):
        recorded, plain = run_both(monkeypatch, lambda: A.from_smiles("CCCCCC"), pool=range(1000, 1012))
        assert recorded == plain and recorded[0][2] == "IdError"
        assert not A.id_map and sorted(A._Atom__id_pool) == list(range(1000, 1012))


def tree(text):
    """(element, children) of a text of capital letters and parentheses: branches, then the continuation."""
    def read(i):
        element, i = text[i], i + 1
        children = []
        while i < len(text) and text[i] == "(":
            child, i = read(i + 1)
            children.append(child)
            i += 1  # ")"
        if i < len(text) and text[i] != ")":
            child, i = read(i)
            children.append(child)
        return (element, children), i
    return read(0)[0]


def model_reading(text, seed):
    """The ids of a reading of a tree of single bonds, drawn and freed as the constructor does."""
    valence = {"C": 4, "N": 3, "O": 2}
    random.seed(seed)
    pool, bonds, order = list(range(1000, 10000)), {}, []

    def build(node):
        element, children = node
        made = [build(child) for child in children]
        x = pool.pop(random.randint(0, len(pool) - 1))
        bonds[x] = list(made)
        order.append(x)
        for child in made:
            h = next(e for e in bonds[child] if len(bonds[e]) == 1 and e not in made)
            bonds[child][bonds[child].index(h)] = x
            pool.append(h)
            order.remove(h)
            del bonds[h]
        for _ in range(valence[element] - len(made)):
            h = pool.pop(random.randint(0, len(pool) - 1))
            bonds[h] = [x]
            order.append(h)
            bonds[x].append(h)
        return x

    build(tree(text))
    return [(i, bonds[i]) for i in order], pool


@pytest.mark.parametrize("text", ["CCO", "CC(C)O", "OCC(N)(C)C", "C" * 40])
@pytest.mark.parametrize("seed", [0, 7])
def test_reading_ids_follow_the_plain_draws(text, seed):
    expected = model_reading(text, seed)
    random.seed(seed)
    A.from_smiles(text)
    assert ([(i, a.bonds) for i, a in A.id_map.items()], A._Atom__id_pool) == expected
    assert free_and_used_ids() == ALL_IDS

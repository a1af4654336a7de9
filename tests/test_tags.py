"""Clearing the traversal marks: whichever way a tag was set, a walk's clearing
and reset_tags() reach every registered atom and no other."""
import pytest

import Atom
from Atom import Atom as A

ROUTES = {
    "attribute": lambda a, v: setattr(a, "access_tag", v),
    "object.__setattr__": lambda a, v: object.__setattr__(a, "access_tag", v),
    "class descriptor": lambda a, v: vars(A)["access_tag"].__set__(a, v),
    "deleted slot": lambda a, v: delattr(a, "access_tag"),
}

CLEARINGS = {
    "reset_tags": lambda start: A.reset_tags(),
    "get_smiles": lambda start: Atom.get_smiles(start),
    "get_formula": lambda start: Atom.get_formula(start),
}


@pytest.fixture
def quiet_print(monkeypatch):
    monkeypatch.setattr("builtins.print", lambda *args: None)


@pytest.mark.parametrize("route", ROUTES.values(), ids=ROUTES.keys())
@pytest.mark.parametrize("clearing", CLEARINGS.values(), ids=CLEARINGS.keys())
def test_every_registered_tag_is_cleared_and_unregistered_ones_kept(route, clearing, quiet_print):
    walked = A("C")
    A.reset_tags()
    elsewhere = [A("O"), A("N")]  # structures the walk never reaches
    gone = A("Cl")
    gone.delete()
    for a in [*elsewhere, gone, *map(A.get_atom, elsewhere[1].bonds)]:
        route(a, True)
    clearing(walked)
    assert all(a.access_tag is False for a in A.get_all_atoms())
    if route is ROUTES["deleted slot"]:
        with pytest.raises(AttributeError):
            gone.access_tag
    else:
        assert gone.access_tag is True


def unregistered_with_tag():
    a = A("H", charge=1)  # no bonds: a walk from it needs no other atom
    a.delete()
    a.access_tag = True
    A.reset_tags()  # forgets it: it is not registered
    assert a.access_tag is True
    return a


@pytest.mark.parametrize("register", [
    lambda a: A.id_map.__setitem__(a.id, a),
    lambda a: A.id_map.update({a.id: a}),
    lambda a: A.id_map.setdefault(a.id, a),
    lambda a: A.id_map.__setitem__(-5, a),  # under a key that is not its id
    lambda a: setattr(A, "id_map", {**A.id_map, a.id: a}),
], ids=["setitem", "update", "setdefault", "other key", "replaced map"])
@pytest.mark.parametrize("clearing", CLEARINGS.values(), ids=CLEARINGS.keys())
def test_a_registry_edited_behind_the_module_is_obeyed(register, clearing, quiet_print):
    original = A.id_map
    try:
        walked = A("C")
        a = unregistered_with_tag()
        register(a)
        clearing(walked)
        assert a.access_tag is False
        assert all(x.access_tag is False for x in A.id_map.values())
    finally:
        A.id_map = original


def test_a_registry_filled_from_another_dict_is_obeyed():
    original = A.id_map
    try:
        a = unregistered_with_tag()
        A.id_map = {}
        Atom.reset_tags()
        A.id_map.update({a.id: a})  # one copy into an empty dict
        A.reset_tags()
        assert a.access_tag is False
    finally:
        A.id_map = original



class Snapshot:
    """A tag whose finalizer records every registered atom's tag, in id_map order."""
    seen = None

    def __del__(self):
        Snapshot.seen = [a.access_tag for a in A.id_map.values()]


@pytest.mark.parametrize("edit", ["delete a marked atom", "set a tag that runs code"])
def test_what_the_walks_print_did_is_obeyed_by_its_clearing(edit, monkeypatch):
    start = A.from_smiles("CCO")
    printed = []

    def print(atom):  # acts on the first atom printed, once its walk is done
        if not printed:
            printed.append(atom)
            if edit == "delete a marked atom":
                atom.delete()
            else:
                atom.access_tag = Snapshot()
    monkeypatch.setattr(Atom, "print", print, raising=False)
    before = list(A.id_map.values())
    Atom.get_formula(start)
    marked = printed[0]
    if edit == "delete a marked atom":
        assert marked.access_tag is True  # no longer registered: not cleared
    else:
        # Cleared in id_map order: the atoms after the one whose old tag ran code are still marked.
        k = before.index(marked)
        assert Snapshot.seen == [False] * (k + 1) + [True] * (len(before) - k - 1)
    assert all(a.access_tag is False for a in A.id_map.values())


def test_a_tag_set_by_a_finalizer_during_a_full_clearing_is_cleared_next_time():
    first = A("H", None, 0, 1)  # before `second` in id_map: already cleared when the finalizer runs
    second = A("H", None, 0, 1)

    class SetsFirst:
        def __del__(self):
            first.access_tag = True
    original = A.id_map
    try:
        A.id_map = dict(A.id_map)  # a new registry: the next clearing scans it all
        second.access_tag = SetsFirst()
        A.reset_tags()
        assert first.access_tag is True  # set behind the clearing, as in id_map order
        A.reset_tags()
        assert first.access_tag is False
    finally:
        A.id_map = original

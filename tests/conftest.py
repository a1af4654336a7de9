import pytest

import Atom


def reset_registry():
    """Empty the registry and give every id back, in ascending order."""
    Atom.Atom.id_map.clear()
    Atom.Atom._Atom__id_pool[:] = range(1000, 10000)


@pytest.fixture(autouse=True)
def fresh_registry():
    reset_registry()
    yield
    reset_registry()


def free_and_used_ids():
    """The pool and the registry together, as a sorted list of ids."""
    return sorted(list(Atom.Atom._Atom__id_pool) + list(Atom.Atom.id_map))


ALL_IDS = list(range(1000, 10000))


# --- helpers shared by the test modules ------------------------------------------------

A = Atom.Atom


def raises(cls, call):
    """Runs call, which must raise exactly cls; returns the error."""
    with pytest.raises(Exception) as info:
        call()
    assert type(info.value) is cls, repr(info.value)
    return info.value


def nonexistent(id_):
    return f"[Non-existent Atom {id_}] Atom {id_} does not exist."


def snapshot():
    """Everything a failed call must leave as it was: every registered atom and the pool."""
    return ({i: (a.element, a.charge, a.lone_electron, list(a.bonds)) for i, a in A.id_map.items()},
            list(A._Atom__id_pool))


def elements(ids):
    return [A.get_atom(i).element for i in ids]


def quaternary():
    """A carbon whose four entries are all carbons: it has no hydrogen to give up."""
    q = A("C")
    for _ in range(4):
        A("C", [q])
    return q


def in_small_stack(fn):
    """fn() run in a thread started with a 256 KiB stack; returns its result."""
    import threading

    result = {}
    old = threading.stack_size(256 * 1024)
    try:
        t = threading.Thread(target=lambda: result.update(value=fn()))
        t.start()
        t.join()
    finally:
        threading.stack_size(old)
    return result.get("value")

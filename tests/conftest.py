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

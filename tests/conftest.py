import os
import subprocess
import sys
import textwrap

import pytest
from hypothesis import strategies as st

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


def check_registry(planted=(), ids=ALL_IDS):
    """What no call may break, whatever Python code ran inside it: every id_map key is an id naming its own
    atom (but for the keys in `planted`, put there by the test), the pool holds distinct ids none of which is
    registered, and the two together hold `ids` (None: the test handed ids out itself) once, a planted key
    counting as held unless it is free as well."""
    keys = [k for k in A.id_map if k not in planted]
    for key in keys:
        assert type(key) is int and 1000 <= key <= 9999, key
        atom = A.id_map[key]
        assert type(atom) is A and atom.id == key, (key, atom)
    pool = list(A._Atom__id_pool)
    assert all(type(i) is int and 1000 <= i <= 9999 for i in pool), [i for i in pool if type(i) is not int][:5]
    assert len(set(pool)) == len(pool), "an id is free twice"
    assert not set(pool) & set(keys), sorted(set(pool) & set(keys))[:5]
    if ids is not None:
        held = pool + keys + [k for k in planted if k in A.id_map and k not in pool]
        assert sorted(held) == list(ids), f"{len(pool)} free + {len(held) - len(pool)} registered"


# --- helpers shared by the test modules ------------------------------------------------

A = Atom.Atom


def raises(cls, call):
    """Runs call, which must raise exactly cls; returns the error."""
    with pytest.raises(Exception) as info:
        call()
    assert type(info.value) is cls, repr(info.value)
    return info.value


HYDRO_ADVICE = (" Add 'use = \"lone_electron\"' to use lone electron to form a bond, or add 'use = \"both\"' to use "
                "both hydrogen atom and lone electron.")


def no_room(atom, entries, suffix=HYDRO_ADVICE):
    """The BondError message of an atom that has nothing to form a bond with."""
    there = "exists 1 bond" if entries == 1 else f"exist {entries} bonds"
    return (f"[Atom {atom.id}] Too many Bonds (You are trying to add 1 more bond, but there already {there} and "
            f"it's impossible to form a new bond).{suffix}")


def nonexistent(id_):
    return f"[Non-existent Atom {id_}] Atom {id_} does not exist."


def snapshot():
    """Everything a failed call must leave as it was: every registered atom and the pool."""
    return ({i: (a.element, a.charge, a.lone_electron, list(a.bonds)) for i, a in A.id_map.items()},
            list(A._Atom__id_pool))


def elements(ids):
    return [A.get_atom(i).element for i in ids]


def hydrogens_of(atom):
    return [A.get_atom(i) for i in atom.bonds if A.get_atom(i).element == "H"]


def grow(first, branches, extra, start):
    """A tree of heavy atoms, each (element, charge) built on a parent that still has a hydrogen to give
    (those the valence model refuses there are left out), then ring and higher-order bonds where hydrogens
    allow. Returns the atom at position `start`."""
    atoms = [A(first[0], None, first[1])]
    for at, (element, charge) in branches:
        parent = atoms[at % len(atoms)]
        if hydrogens_of(parent):
            try:
                atoms.append(A(element, [parent], charge))
            except (Atom.BondError, Atom.ChargeError, Atom.LoneElectronError):
                pass
    for i, j in extra:
        x, y = atoms[i % len(atoms)], atoms[j % len(atoms)]
        if x is not y and hydrogens_of(x) and hydrogens_of(y) and x.bonds.count(y.id) < 3:
            x.bond_with(y)
    return atoms[start % len(atoms)]


def growth_plans(first, child, most_children, most_extra):
    """Arguments for grow(): the first atom, the children with the positions of their parents, the pairs bonded
    once more, the position of the start."""
    position = st.integers(0, 99)
    return st.tuples(first, st.lists(st.tuples(position, child), max_size=most_children),
                     st.lists(st.tuples(position, position), max_size=most_extra), position)


def quaternary():
    """A carbon whose four entries are all carbons: it has no hydrogen to give up."""
    q = A("C")
    for _ in range(4):
        A("C", [q])
    return q


def run_isolated(code):
    """Runs code in a fresh interpreter whose freed memory is poisoned (-X dev): a use after free crashes it.
    Returns its output; fails the test when the process does not end normally."""
    out = subprocess.run([sys.executable, "-X", "dev", "-c", textwrap.dedent(code)], capture_output=True,
                         text=True, timeout=300, env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    assert out.returncode == 0, out.stderr[-2000:]
    return out.stdout


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

"""Construction and bonding: Atom("C") (five atoms, five id draws) and
c1.bond_with(c2), against the cost of the same work done with plain objects:
its floor is five bare instances registered in a dict. Two costs of Atom("C")
are measured apart, as the floor pays neither: the collector's work on the ten
objects it leaves (the floor's instances die at once), and the one compaction
of the pool that leaves the list as pop(index) would."""
import contextlib
import gc
import random

import Atom
from common import best_ns, reset_registry

A = Atom.Atom
ROUND = 1000  # calls between two registry resets


def per_call(fn, setup=reset_registry, number=ROUND):
    return best_ns(fn, number, repeat=7, setup=setup)


def bare_instances():
    new = object.__new__
    new(A), new(A), new(A), new(A), new(A)


def floor_instances():
    """What Atom("C") cannot do without: five bare instances, five dict inserts."""
    new, registry = object.__new__, _FLOOR_MAP
    registry[1000] = new(A)
    registry[1001] = new(A)
    registry[1002] = new(A)
    registry[1003] = new(A)
    registry[1004] = new(A)


_FLOOR_MAP = {}
_INDICES = []


def draw_indices():
    reset_registry()
    n = len(A._Atom__id_pool)
    _INDICES[:] = [random.randrange(n - k) for k in range(5 * ROUND)][::-1]


def pool_pops():
    """Five draws as the pool list itself costs them: pop at a random index."""
    pool = A._Atom__id_pool
    pop = _INDICES.pop
    pool.pop(pop())
    pool.pop(pop())
    pool.pop(pop())
    pool.pop(pop())
    pool.pop(pop())


def pool_pops_at_end():
    """The same five calls where nothing has to move: their Python overhead alone."""
    pool = A._Atom__id_pool
    pop = _INDICES.pop
    pop(), pool.pop()
    pop(), pool.pop()
    pop(), pool.pop()
    pop(), pool.pop()
    pop(), pool.pop()


_FIRSTS = []


def draw_firsts():
    """For each call, the lowest of five random positions of the pool as it then stands:
    where compacting the list after five draws starts moving entries."""
    reset_registry()
    n = len(A._Atom__id_pool)
    _FIRSTS[:] = [min(random.sample(range(n - 5 * k), 5)) for k in range(ROUND)][::-1]


def one_compaction():
    """What the pool list must undergo for Atom("C") before Python code can see it: five
    entries gone, every entry after the first of them moved once."""
    pool = A._Atom__id_pool
    del pool[_FIRSTS.pop()]
    pool.pop(), pool.pop(), pool.pop(), pool.pop()


def one_compaction_at_end():
    """The same calls where nothing has to move."""
    pool = A._Atom__id_pool
    _FIRSTS.pop()
    del pool[-1]
    pool.pop(), pool.pop(), pool.pop(), pool.pop()


@contextlib.contextmanager
def collector_off():
    enabled = gc.isenabled()
    gc.disable()
    try:
        yield
    finally:
        if enabled:
            gc.enable()


def bond_cost(pairs_per_round=400, repeat=7):
    """c1.bond_with(c2) on fresh methane carbons (10 atoms per pair)."""
    best = float("inf")
    for _ in range(repeat):
        reset_registry()
        pairs = iter([(A("C"), A("C")) for _ in range(pairs_per_round)])

        def bond_next():
            c1, c2 = next(pairs)
            c1.bond_with(c2)

        best = min(best, best_ns(bond_next, pairs_per_round, repeat=1))
    return best


def main():
    methane = per_call(lambda: A("C"))
    with collector_off():
        uncollected = per_call(lambda: A("C"))
    compaction = per_call(one_compaction, setup=draw_firsts) - per_call(one_compaction_at_end, setup=draw_firsts)
    bare = per_call(bare_instances)
    floor = per_call(floor_instances)
    rest = uncollected - compaction
    pops = per_call(pool_pops, setup=draw_indices)
    moves = pops - per_call(pool_pops_at_end, setup=draw_indices)
    bond = bond_cost()
    rows = [
        ('Atom("C")', methane, ""),
        ('Atom("C"), collector off', uncollected, f"the collector's share: {methane - uncollected:.0f} ns "
                                                  "(ten objects that stay; the floor's die at once)"),
        ("one compaction of the pool (5 draws)", compaction, "moving the entries after the first drawn one, "
                                                              "as the list must be left"),
        ('Atom("C") without both', rest, f"{rest / floor:.1f}x the floor"),
        ("5 bare instances (object.__new__)", bare, f"Atom(\"C\") is {methane / bare:.1f}x this"),
        ("floor: 5 instances + 5 dict inserts", floor, f"Atom(\"C\") is {methane / floor:.1f}x its floor"),
        ("5 pool pops at random indices", pops, f"of which {moves:.0f} ns move the list's entries (Atom(\"C\") "
                                                "records its draws and compacts the list once)"),
        ("c1.bond_with(c2)", bond, ""),
    ]
    for name, ns, note in rows:
        print(f"{name:<36}{ns:>9.0f} ns/call   {note}")


if __name__ == "__main__":
    main()

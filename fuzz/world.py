"""The state of the module's registry, and the checks every call must pass.

A snapshot holds what a failed call must leave as it was: the slots of every atom
the driver knows (registered or not), the id map in its order and the pool.
"""
import random

import Atom

A = Atom.Atom
POOL = A._Atom__id_pool
ALL_IDS = frozenset(range(1000, 10000))
SLOTS = ("element", "charge", "lone_electron", "bonds", "id", "access_tag")
MISSING = "<unset>"


def reset(seed):
    """An empty registry, every id free in ascending order, and the module's ids seeded."""
    A.id_map.clear()
    POOL[:] = range(1000, 10000)
    random.seed(seed)


def slots(atom):
    values = []
    for name in SLOTS:
        value = getattr(atom, name, MISSING)
        values.append(list(value) if name == "bonds" and isinstance(value, list) else value)
    return tuple(values)


class Snapshot:
    def __init__(self, known_atoms=()):
        self.atoms = {id(a): (a, slots(a)) for a in known_atoms}
        for a in A.id_map.values():
            self.atoms[id(a)] = (a, slots(a))
        self.id_map = [(i, id(a)) for i, a in A.id_map.items()]
        self.pool = list(POOL)


def check_ids():
    """The pool and the id map hold the 9000 ids exactly once; every key names its own atom."""
    pool, keys = list(POOL), list(A.id_map)
    if len(pool) + len(keys) != 9000 or set(pool).union(keys) != ALL_IDS:
        missing = sorted(ALL_IDS.difference(pool, keys))[:5]
        return (f"ids: pool {len(pool)} + registry {len(keys)} do not hold the 9000 ids once"
                f" (missing e.g. {missing}, pool entries not ids e.g. {[p for p in pool if p not in ALL_IDS][:3]})")
    for i, a in A.id_map.items():
        if type(a) is not A or a.id != i:
            return f"ids: id_map[{i}] is {a!r}"
    return None


def pool_given_back(before, after):
    """The ids a failed call gave back at the end of the pool, or None when the pool is
    not `before`, in its order, with some of its ids moved to the end."""
    if len(before) != len(after):
        return None
    rest = list(before)
    for k in range(len(after) + 1):         # k ids moved to the end, the fewest first
        if rest == after[:len(after) - k]:
            return after[len(after) - k:]
        try:
            rest.remove(after[len(after) - k - 1])
        except (ValueError, IndexError):
            return None
    return None


def check_unchanged(before, walked=False):
    """A failed call left the atoms, the id map and the pool as they were (a failed walk
    leaves its marks: they are cleared at the start of the next one)."""
    for a, old in before.atoms.values():
        new = slots(a)
        if walked:
            new, old = new[:-1], old[:-1]
        if new != old:
            changed = [f"{n}: {o!r} -> {v!r}" for n, o, v in zip(SLOTS, old, new) if o != v]
            return f"failed call changed atom {old[4]}: " + "; ".join(changed)
    now = [(i, id(a)) for i, a in A.id_map.items()]
    if now != before.id_map:
        added = sorted({i for i, _ in now} - {i for i, _ in before.id_map})
        removed = sorted({i for i, _ in before.id_map} - {i for i, _ in now})
        return f"failed call changed the id map (registered {added[:5]}, unregistered {removed[:5]})"
    if pool_given_back(before.pool, list(POOL)) is None:
        return "failed call changed the pool (not only ids given back at its end)"
    return None


class Bonds:
    """Which bonds may be recorded on one side only: those the driver made so on purpose.

    Pairs are kept by the atoms' object identities; `stale` remembers, for an id deleted
    or bonded one-sidedly, the atoms that may list it when it is no longer registered or
    after an atom drawing that id later.
    """

    def __init__(self):
        self.one_sided = set()
        self.stale = {}

    def allow(self, a, b):
        """A bond between a and b may be one-sided; so may an entry left naming either
        once the library unregisters it (a hydrogen given up or dropped)."""
        self.one_sided.add(frozenset((id(a), id(b))))
        self.stale.setdefault(b.id, set()).add(id(a))
        self.stale.setdefault(a.id, set()).add(id(b))

    def deleting(self, atom):
        holders = [x for x in A.id_map.values() if atom.id in x.bonds]
        self.stale.setdefault(atom.id, set()).update(id(x) for x in holders)

    def check(self):
        registry = A.id_map
        for a in registry.values():
            bonds = a.bonds
            if type(bonds) is not list:
                return f"atom {a.id}: bonds is {bonds!r}"
            for e in set(bonds):
                if type(e) is not int:
                    return f"atom {a.id}: bond entry {e!r} is not an int"
                b = registry.get(e)
                if b is None:
                    if id(a) not in self.stale.get(e, ()):
                        return f"atom {a.id} lists {e}, which is not registered and was not deleted on purpose"
                    continue
                if frozenset((id(a), id(b))) in self.one_sided or id(a) in self.stale.get(e, ()):
                    continue
                if bonds.count(e) != b.bonds.count(a.id):
                    return (f"bond recorded on one side: atom {a.id} lists {e} {bonds.count(e)} time(s),"
                            f" atom {e} lists {a.id} {b.bonds.count(a.id)} time(s)")
        return None

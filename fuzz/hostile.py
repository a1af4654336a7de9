"""The hostile caller: random calls of the API, between which finalizer objects are planted in atoms' slots,
in id_map and in the pool, random.randint is replaced, and weak references get callbacks, each of which makes
a random module call (at most two deep) when it runs. After every call: no SystemError anywhere (also none
swallowed inside a finalizer), every id_map key an id naming its own atom, the pool distinct ids apart from
the registry, and, unless that code emptied the pool or the registry on purpose, the 9000 ids held once
(but for int subclasses planted in the pool, which the module may drop when it refuses them).

The helpers live in PRELUDE, the first statement of every sequence, so that a sequence's journal is a script
that runs on its own.
"""
import random

import Atom
import cases
import ops
from ops import Op

A = Atom.Atom
ORIGINAL_RANDINT = random.randint
ALL_IDS = frozenset(range(1000, 10000))
SLOTS = ["charge", "lone_electron", "access_tag", "element", "bonds", "weakref"]

PRELUDE = '''
import contextlib, gc, io, random, sys, weakref
ORIGINAL_RANDINT = random.randint
hostile = {"depth": 0, "edited": False, "problems": [], "odd_ids": set()}  # odd_ids: int subclasses in the pool


def record_unraisable(info):
    hostile["problems"].append(f"escaped from {info.object!r}: {info.exc_type.__name__}: {info.exc_value}")


sys.unraisablehook = record_unraisable
TEXTS = ["CO", "C1CC1", "CC(=O)O", "C(F)(F)(F)(F)F", "XC", "[NH4+]", "C=C"]


def act(seed):
    """A module call chosen by seed, run from code the module runs; it may raise anything but SystemError."""
    if hostile["depth"] >= 2:
        return
    hostile["depth"] += 1
    rng = random.Random(seed)
    atoms_now = [a for a in A.id_map.values() if type(a) is A] or [None]
    one, other = rng.choice(atoms_now), rng.choice(atoms_now)
    calls = [lambda: A(rng.choice("CNOH")), lambda: A.from_smiles(rng.choice(TEXTS)), A.reset_tags,
             lambda: Atom.get_formula(one), lambda: Atom.get_smiles(one), lambda: one.delete(),
             lambda: A.bond(one, other), lambda: one.break_bond_with(other),
             lambda: one.set_charge(rng.randint(-1, 1)), lambda: one.set_lone_electron(rng.randint(0, 2), True),
             lambda: gc.collect(0), lambda: rng.shuffle(A._Atom__id_pool), A._Atom__id_pool.reverse,
             lambda: A._Atom__id_pool.append(A._Atom__id_pool.pop(0)), lambda: edit(rng)]
    try:
        with contextlib.redirect_stdout(io.StringIO()):
            rng.choice(calls)()
    except SystemError as e:
        hostile["problems"].append(f"SystemError inside code the module ran: {e}")
    except Exception:
        pass
    finally:
        hostile["depth"] -= 1


def edit(rng):
    """The pool or the registry emptied by hand: ids are lost on purpose from here on."""
    hostile["edited"] = True
    (A._Atom__id_pool if rng.random() < 0.7 else A.id_map).clear()


class Dying:
    def __init__(self, seed):
        self.seed = seed

    def __del__(self):
        act(self.seed)


class DyingStr(str):
    def __del__(self):
        act(len(self) * 7919)


class DyingInt(int):
    def __del__(self):
        act(int(self))


class Box:
    pass


callbacks = []


def plant(atom_id, slot, seed, first_hydrogen):
    """A finalizer in a slot of the atom, or of its first hydrogen (the one a bond or a setter gives up)."""
    atom = A.id_map.get(atom_id)
    if first_hydrogen and type(atom) is A and type(atom.bonds) is list and atom.bonds:
        atom = A.id_map.get(atom.bonds[0])
    if type(atom) is not A:
        return
    if slot == "bonds":
        atom.bonds.append(Dying(seed))
    elif slot == "element":
        atom.element = DyingStr(atom.element)
    elif slot == "weakref":
        box = Box()
        callbacks.append(weakref.ref(box, lambda ref: act(seed)))
        atom.charge = box
    else:
        setattr(atom, slot, Dying(seed))


def tagged_instances(count, seed):
    """Unregistered instances whose mark holds a finalizer: each is dropped at once, and its mark with it.
    Twenty of the finalizers call the module."""
    for k in range(count):
        object.__new__(A).access_tag = Dying(seed + k) if k < 20 else Quiet()


class Quiet:
    def __del__(self):
        pass


def plant_in_registry(seed):
    pool = A._Atom__id_pool
    if pool:
        A.id_map[pool[seed % len(pool)]] = Dying(seed)


def plant_in_pool(seed):
    pool = A._Atom__id_pool
    if pool:
        k = seed % len(pool)
        pool[k] = DyingInt(pool[k])
        hostile["odd_ids"].add(pool[k])


def replace_randint(seed, times, odd):
    """A randint whose first calls make module calls; with `odd`, it also returns out-of-range indexes."""
    left = [times]

    def randint(a, b):
        if left[0] > 0:
            left[0] -= 1
            act(seed + left[0])
        if odd and seed % 5 == left[0] % 5:
            return random.Random(seed).choice([a - 1, b + 1, b + 100])
        return ORIGINAL_RANDINT(a, b)

    random.randint = randint
'''


class HostileGenerator:
    """Planting operations mixed with the API calls of ops.Generator."""

    def __init__(self, chooser, atoms):
        self.c = chooser
        self.calls = ops.Generator(chooser, atoms)

    def some_id(self, heavy):
        atoms = [a for a in A.id_map.values() if type(a) is A and (a.element != "H" or not heavy)]
        return self.c.pick(atoms).id if atoms else 0

    def next(self):
        c = self.c
        kind, seed = c.int(0, 99), c.int(0, 10 ** 6)
        if kind < 25:
            return Op(f"plant({self.some_id(True)}, {c.pick(SLOTS)!r}, {seed}, True)", "plant")
        if kind < 30:
            return Op(f"plant({self.some_id(False)}, {c.pick(SLOTS)!r}, {seed}, False)", "plant")
        if kind < 35:
            return Op(f"plant_in_registry({seed})", "plant")
        if kind < 38:
            return Op(f"plant_in_pool({seed})", "plant")
        if kind < 45:
            return Op(f"replace_randint({seed}, {c.int(1, 3)}, {c.chance(0.3)})", "randint")
        if kind < 49:
            return Op("random.randint = ORIGINAL_RANDINT", "randint")
        if kind < 51:
            return Op(f"tagged_instances({c.pick([1, 100, 5000])}, {seed})", "plant")
        op = self.calls.next()
        if "A._Atom__id_pool[:] = saved" in op.code:  # its restoring would undo what hostile code did
            return Op("A.get_all_atoms()", "lookup")
        return op


def check(ns):
    """The problem the registry, the pool or the hostile code's record shows, or None."""
    hostile = ns.get("hostile")
    if hostile is None:  # a shortened sequence without its helpers shows nothing
        return None
    if hostile["problems"]:
        problem = hostile["problems"][0]
        hostile["problems"].clear()
        return problem
    dying, dying_int = ns["Dying"], ns["DyingInt"]
    keys = [k for k, v in A.id_map.items() if type(v) is not dying]
    for k in keys:
        a = A.id_map[k]
        if not isinstance(k, int) or not 1000 <= k <= 9999 or type(a) is not A or a.id != k:
            return f"ids: id_map[{k!r}] is {a!r}"
    pool = list(A._Atom__id_pool)
    free = set(pool)
    if len(free) != len(pool) or not free <= ALL_IDS or not set(map(type, free)) <= {int, dying_int}:
        return f"ids: the pool holds other values or an id twice ({len(pool)} entries, {len(free)} distinct)"
    if free.intersection(keys):
        return f"ids: registered and free at once: {sorted(free.intersection(keys))[:5]}"
    registered = set(keys)
    planted = {k for k in A.id_map if k not in registered and k not in free}
    missing = ALL_IDS - free - registered - planted
    if not hostile["edited"] and not missing <= hostile["odd_ids"]:  # refusing an int subclass may drop it
        return f"ids: pool {len(pool)} + registry {len(keys) + len(planted)} do not hold the 9000 ids"
    return None


class HostileRun(cases.Run):
    """A sequence whose checks allow for what hostile code may do mid-call (a bond left one-sided by a
    deletion, say): only soundness is judged."""
    previous = None

    def __init__(self, seed):
        if "hostile" in (HostileRun.previous or {}):
            HostileRun.previous["hostile"]["depth"] = 99  # what the last sequence planted dies quietly
        random.randint = ORIGINAL_RANDINT
        super().__init__(seed)
        HostileRun.previous = self.ns

    def call(self, op):
        self.done.append(op)
        try:
            with cases.contextlib.redirect_stdout(cases.QUIET):
                exec(op.code, self.ns)
        except SystemError as error:
            return f"SystemError: {error}"
        except Exception:
            op.failed = True
        else:
            op.failed = False
        return check(self.ns)

    def finding(self, target, problem):
        finding = super().finding(target, problem)
        finding.runner = HostileRun
        return finding


def run_hostile(chooser, seed, journal):
    """One hostile sequence; returns (finding or None, number of calls)."""
    run = HostileRun(seed)
    generator = HostileGenerator(chooser, run.atoms)
    journal.start(seed)
    prelude = Op(PRELUDE, "prelude")
    for op in [prelude] + [None] * chooser.int(1, cases.MAX_OPS):
        if op is None:
            if chooser.exhausted():
                break
            op = generator.next()
        journal.add(op.code)
        problem = run.call(op)
        if problem:
            return run.finding("hostile", problem), len(run.done)
        if len(A.id_map) > cases.MAX_REGISTERED:
            break
    return None, len(run.done)

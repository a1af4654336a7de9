"""Running one input — a SMILES string or a sequence of operations — with every call
checked, and turning a failing one into a short standalone script."""
import builtins
import contextlib
import os
import re
import time

import Atom
import ops
import world
from ops import Op

A = Atom.Atom
MODULE_ERRORS = (Atom.AtomError, Atom.BondError, Atom.ChargeError, Atom.ElementError, Atom.IdError,
                 Atom.LoneElectronError, Atom.SmilesError)
MAX_OPS = 60
MAX_REGISTERED = 800
ROUND_TRIP_ROOM = 4000
QUIET = open(os.devnull, "w")


class Finding:
    def __init__(self, target, seed, ops_run, problem):
        self.target = target
        self.seed = seed
        self.ops = ops_run
        self.problem = problem
        self.known = ops_run[-1].known or next((op.known for op in ops_run if op.known), None)

    def signature(self):
        """What makes two findings the same fault: the family, or the problem less its numbers."""
        return self.known or f"{self.ops[-1].kind}: " + re.sub(r"-?\d+", "N", self.problem)[:90]


def resolve(text, ns):
    """The atom a piece of op text names before the call, or None."""
    try:
        value = eval(text, ns)
    except Exception:
        return None
    if type(value) is int:
        return A.id_map.get(value)
    return value if type(value) is A else None


WALKS = ("walk", "no_print", "get_smiles", "round trip")


def judge(op, error, before, partial):
    if isinstance(error, SystemError):
        return f"SystemError: {error}"
    if error is not None and op.expect and (op.strict or not isinstance(error, MODULE_ERRORS)):
        cls, message = op.expect
        if type(error) is not cls or message is not None and str(error) != message:
            return f"raised {type(error).__name__}: {error} (expected {cls.__name__}: {message or '...'})"
    if isinstance(error, AssertionError):
        return f"check failed: {error}"
    problem = world.check_ids()
    if problem or error is None or partial:
        return problem
    return world.check_unchanged(before, op.kind in WALKS)


class Run:
    """One sequence: the namespace its statements run in, and the bonds it made one-sided."""

    def __init__(self, seed):
        world.reset(seed)
        self.seed = seed
        self.atoms = []
        self.ns = {"A": A, "Atom": Atom, "atoms": self.atoms, "builtins": builtins}
        self.bonds = world.Bonds()
        self.done = []

    def call(self, op):
        """Runs one operation; returns the problem it shows, or None."""
        self.done.append(op)
        before = world.Snapshot(self.atoms)
        pairs = [(None if a is None else resolve(a, self.ns), resolve(b, self.ns)) for a, b in op.one_sided]
        if op.deleting is not None and (gone := resolve(op.deleting, self.ns)) is not None:
            self.bonds.deleting(gone)
        partial = self.breaks_one_side(op)
        error = None
        try:
            with contextlib.redirect_stdout(QUIET):
                exec(op.code, self.ns)
        except Exception as caught:
            error = caught
        op.failed = error is not None
        problem = judge(op, error, before, partial)
        if problem or error is not None:
            return problem
        for a, b in pairs:
            a = self.atoms[-1] if a is None and self.atoms else a
            if a is not None and b is not None:
                self.bonds.allow(a, b)
        return self.bonds.check()

    def breaks_one_side(self, op):
        """A bond recorded by this atom alone, broken from its side: the partner's side then
        fails after this side has changed, as documented."""
        if op.breaking is None:
            return False
        me, partner = (resolve(text, self.ns) for text in op.breaking)
        return me is not None and partner is not None and me.id not in partner.bonds

    def finding(self, target, problem):
        return Finding(target, self.seed, list(self.done), problem)


def next_op(generator, skip_known):
    op = generator.next()
    for _ in range(8):
        if not (skip_known and op.known):
            return op
        op = generator.next()
    return Op("A.get_all_atoms()", "lookup")


def run_ops(chooser, seed, skip_known, journal):
    """A random sequence of operations; returns (finding or None, number of calls)."""
    run = Run(seed)
    generator = ops.Generator(chooser, run.atoms)
    journal.start(seed)
    for _ in range(chooser.int(1, MAX_OPS)):
        if run.done and chooser.exhausted():
            break
        op = next_op(generator, skip_known)
        journal.add(op.code)
        problem = run.call(op)
        if problem:
            return run.finding("ops", problem), len(run.done)
        if len(A.id_map) > MAX_REGISTERED:
            break
    return None, len(run.done)


def smiles_ops(text):
    """Reading the text and, when that works, writing it and reading the result back."""
    yield Op(f"atoms.append(A.from_smiles({text!r}))", "from_smiles", expect=(Atom.SmilesError, None), strict=True)
    if len(A.id_map) <= ROUND_TRIP_ROOM:
        yield Op("written = Atom.get_smiles(atoms[0])", "get_smiles", expect=(Atom.SmilesError, None), strict=True)
        yield Op("atoms.append(A.from_smiles(written))\n"
                 "assert Atom.get_formula(atoms[1]) == Atom.get_formula(atoms[0]), 'another formula when read back'",
                 "round trip")


def run_smiles(text, seed, journal):
    """One SMILES string; returns (finding or None, number of calls)."""
    run = Run(seed)
    journal.start(seed)
    for op in smiles_ops(text):
        journal.add(op.code)
        problem = run.call(op)
        if problem:
            return run.finding("smiles", problem), len(run.done)
        if op.failed:
            break
    return None, len(run.done)


def replay(finding, ops_run):
    """The problem the last of `ops_run` shows when they run again from the same seed."""
    run = getattr(finding, "runner", Run)(finding.seed)
    for op in ops_run:
        problem = run.call(op)
        if problem:
            return problem if op is ops_run[-1] else None
    return None


def shrink(finding, seconds_left):
    """Drops the calls the problem does not need (one at a time, from the last), in bounded time."""
    deadline = time.monotonic() + min(10.0, seconds_left)
    kept = list(finding.ops)
    for i in range(len(kept) - 2, -1, -1):
        if time.monotonic() > deadline:
            break
        candidate = kept[:i] + kept[i + 1:]
        problem = replay(finding, candidate)
        if problem and re.sub(r"\d+", "N", problem) == re.sub(r"\d+", "N", finding.problem):
            kept = candidate
    if len(kept) < len(finding.ops):
        problem = replay(finding, kept)
        if problem:
            finding.ops, finding.problem = kept, problem
    return finding


SCRIPT_HEAD = '''"""{title}

Found by `make fuzz` ({target}, seed {seed}).
{known}Run it with the module installed: python {name}
"""
import builtins
import contextlib
import random

import Atom

A = Atom.Atom
A.id_map.clear()
A._Atom__id_pool[:] = range(1000, 10000)
random.seed({seed})
atoms = []
'''

SCRIPT_TAIL = '''
ids = sorted(list(A._Atom__id_pool) + list(A.id_map))
print("pool and registry hold the 9000 ids once:", ids == list(range(1000, 10000)))
for atom in list(A.id_map.values())[:40]:
    print(atom.id, atom.element, atom.charge, atom.lone_electron, atom.bonds)
    for other in sorted(set(atom.bonds)):
        partner = A.id_map.get(other)
        if partner is None:
            print("    lists", other, "which is not registered")
        elif atom.bonds.count(other) != partner.bonds.count(atom.id):
            print("    lists", other, atom.bonds.count(other), "time(s), which lists it", partner.bonds.count(atom.id))
'''


def suppressed(code):
    """A call that raised when fuzzed: run it, and go on whatever it raises (a syntax error included)."""
    try:
        compile(code, "<op>", "exec")
    except SyntaxError:
        code = f"exec({code!r})"
    return "with contextlib.suppress(Exception):\n" + "\n".join("    " + line for line in code.splitlines())


def script(finding, name, lines=None):
    """A standalone script that runs the calls again and shows what the last one did."""
    if lines is None:
        lines = [suppressed(op.code) if getattr(op, "failed", True) else op.code for op in finding.ops[:-1]]
        lines.append(finding.ops[-1].code)
    known = f"Known fault family: {finding.known}.\n" if finding.known else ""
    head = SCRIPT_HEAD.format(title=finding.problem.replace('"""', "'''")[:300], target=finding.target,
                              seed=finding.seed, known=known, name=name)
    body = "\n".join(lines[:-1])
    last = "\n".join("    " + line for line in lines[-1].splitlines())
    call = f"\n# The call that went wrong:\ntry:\n{last}\n    print('returned normally')\n" \
           f"except Exception as error:\n    print('raised', type(error).__name__, error)\n"
    return head + ("\n" + body + "\n" if body else "") + call + SCRIPT_TAIL

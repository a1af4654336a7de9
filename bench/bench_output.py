"""Text output: get_smiles and get_formula on molecules built by constructor
calls and bonding, in ns per registered atom of the structure (hydrogens
included). get_formula prints one display line per atom below the start (to
os.devnull here); the "print only" column prints those same lines without the
walk, and the "walk" column times get_formula with the module's print replaced
by a builtin that does nothing with the atom, so the walk is measured on its
own rather than as a difference of two separately measured times."""
import contextlib
import os

import Atom
from Atom import Atom as A
from common import best_ns, reset_registry


def carbon_chain(n):
    atoms = [A("C")]
    for _ in range(n - 1):
        atoms.append(A("C", [atoms[-1]]))
    return atoms


def ring(n, doubles=False):
    atoms = carbon_chain(n)
    atoms[0].bond_with(atoms[-1])
    if doubles:
        for x, y in zip(atoms[::2], atoms[1::2]):
            x.bond_with(y)
    return atoms


def hexane():
    return carbon_chain(6)[0]


def benzene():
    return ring(6, doubles=True)[0]


def isooctane():
    # (CH3)3C-CH2-CH(CH3)2
    quaternary = A("C")
    methyls = [A("C", [quaternary]) for _ in range(3)]
    ch2 = A("C", [quaternary])
    ch = A("C", [ch2])
    A("C", [ch]), A("C", [ch])
    return methyls[0]


def glucose_ring():
    # a pyranose: five ring carbons and a ring oxygen, four hydroxyls, a CH2OH
    carbons = carbon_chain(5)
    A("O", [carbons[0], carbons[-1]])
    for c in carbons[:4]:
        A("O", [c])
    A("O", [A("C", [carbons[-1]])])
    return carbons[0]


def acetic_acid():
    c1 = A("C")
    c2 = A("C", [c1])
    o = A("O", [c2])
    c2.bond_with(o)
    A("O", [c2])
    return c1


def polyene(n):
    atoms = carbon_chain(n)
    for x, y in zip(atoms[::2], atoms[1::2]):
        x.bond_with(y)
    return atoms[0]


def ladder(rungs):
    top = carbon_chain(rungs)
    bottom = carbon_chain(rungs)
    for x, y in zip(top, bottom):
        x.bond_with(y)
    return top[0]


MOLECULES = [
    ("acetic acid", acetic_acid),
    ("hexane", hexane),
    ("benzene", benzene),
    ("isooctane", isooctane),
    ("pyranose", glucose_ring),
    ("polyene C200", lambda: polyene(200)),
    ("ladder 2x300", lambda: ladder(300)),
    ("chain C2999", lambda: carbon_chain(2999)[0]),
]


def structure_size(start):
    seen, todo = {start.id}, [start]
    while todo:
        for i in todo.pop().bonds:
            if i not in seen:
                seen.add(i)
                todo.append(A.get_atom(i))
    return [A.get_atom(i) for i in seen if i != start.id]


def main():
    print(f"{'molecule':<14}{'atoms':>7}{'smiles ns/atom':>16}{'formula ns/atom':>17}"
          f"{'print only':>12}{'walk':>8}")
    with open(os.devnull, "w") as null, contextlib.redirect_stdout(null):
        rows = []
        for name, build in MOLECULES:
            reset_registry()
            start = build()
            others = structure_size(start)
            n = len(others) + 1
            number = max(1, 20000 // n)
            smiles = best_ns(lambda: Atom.get_smiles(start), number) / n
            formula = best_ns(lambda: Atom.get_formula(start), number) / n

            def print_lines():
                for a in others:
                    print(a)

            printing = best_ns(print_lines, number) / n
            # The module looks print up among its own globals first.
            Atom.print = id
            try:
                walk = best_ns(lambda: Atom.get_formula(start), number) / n
            finally:
                del Atom.print
            rows.append((name, n, smiles, formula, printing, walk))
    for name, n, smiles, formula, printing, walk in rows:
        print(f"{name:<14}{n:>7}{smiles:>16.0f}{formula:>17.0f}{printing:>12.0f}{walk:>8.0f}")
    reset_registry()


if __name__ == "__main__":
    main()

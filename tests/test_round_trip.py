"""What the writer writes, the reader reads back as the same molecule."""
from collections import Counter

from hypothesis import given, settings, strategies as st

import Atom
from Atom import Atom as A
from conftest import reset_registry
from data.corpus import CORPUS

import pytest


def heavy_atoms(start):
    seen, todo = {start.id: start}, [start]
    while todo:
        for i in todo.pop().bonds:
            atom = A.get_atom(i)
            if i not in seen and atom.element != "H":
                seen[i] = atom
                todo.append(atom)
    return list(seen.values())


def signature(start):
    """Element, charge, hydrogens and heavy-neighbour bond orders of every heavy atom."""
    def describe(atom):
        counts = Counter(atom.bonds)
        hydrogens = sum(n for i, n in counts.items() if A.get_atom(i).element == "H")
        orders = sorted(n for i, n in counts.items() if A.get_atom(i).element != "H")
        return atom.element, atom.charge, hydrogens, tuple(orders)
    return Counter(describe(a) for a in heavy_atoms(start))


def round_trip(start):
    text = Atom.get_smiles(start)
    return text, A.from_smiles(text)


ATOMS = [("C", 0)] * 4 + [("N", 0), ("O", 0), ("S", 0), ("P", 0), ("Cl", 0), ("N", 1), ("O", -1), ("C", -1),
                          ("C", 1), ("S", 1), ("F", 0)]

plans = st.tuples(st.sampled_from(ATOMS),
                  st.lists(st.tuples(st.integers(0, 99), st.sampled_from(ATOMS)), max_size=12),
                  st.lists(st.tuples(st.integers(0, 99), st.integers(0, 99)), max_size=5),
                  st.integers(0, 99))


def hydrogens_of(atom):
    return [i for i in atom.bonds if A.get_atom(i).element == "H"]


def build(plan):
    """A tree of heavy atoms grown by construction, then ring and higher-order bonds."""
    (element, charge), branches, extra, start = plan
    atoms = [A(element, None, charge)]
    for at, (element, charge) in branches:
        parent = atoms[at % len(atoms)]
        if hydrogens_of(parent):
            try:
                atoms.append(A(element, [parent], charge))
            except (Atom.BondError, Atom.ChargeError, Atom.LoneElectronError):
                pass  # an atom the valence model refuses there
    for i, j in extra:
        x, y = atoms[i % len(atoms)], atoms[j % len(atoms)]
        if x is not y and hydrogens_of(x) and hydrogens_of(y) and x.bonds.count(y.id) < 3:
            x.bond_with(y)
    return atoms[start % len(atoms)]


@settings(max_examples=300, deadline=None)
@given(plans)
def test_built_structures_read_back_the_same(plan):
    reset_registry()
    start = build(plan)
    expected = signature(start), Atom.get_formula(start)
    text, copy = round_trip(start)
    assert (signature(copy), Atom.get_formula(copy)) == expected, text


@pytest.mark.parametrize("name", sorted(CORPUS))
def test_corpus_reads_back_the_same(name):
    first = A.from_smiles(CORPUS[name])
    text, copy = round_trip(first)
    assert signature(copy) == signature(first), text

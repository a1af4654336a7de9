"""What the writer writes, the reader reads back as the same molecule."""
from collections import Counter

from hypothesis import given, settings, strategies as st

import Atom
from Atom import Atom as A
from conftest import grow, growth_plans, reset_registry
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

plans = growth_plans(st.sampled_from(ATOMS), st.sampled_from(ATOMS), 12, 5)


@settings(max_examples=300, deadline=None)
@given(plans)
def test_built_structures_read_back_the_same(plan):
    reset_registry()
    start = grow(*plan)
    expected = signature(start), Atom.get_formula(start)
    text, copy = round_trip(start)
    assert (signature(copy), Atom.get_formula(copy)) == expected, text


@pytest.mark.parametrize("name", sorted(CORPUS))
def test_corpus_reads_back_the_same(name):
    first = A.from_smiles(CORPUS[name])
    text, copy = round_trip(first)
    assert signature(copy) == signature(first), text

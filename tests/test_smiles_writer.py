import re
from collections import Counter

import pytest
from hypothesis import given, settings, strategies as st

import Atom
from Atom import Atom as A
from conftest import grow, growth_plans, hydrogens_of, in_small_stack, reset_registry

WRAPPED = "Failed to convert into SMILES. Something goes wrong when trying to convert."


def chain(n):
    atoms = [A("C")]
    for _ in range(n - 1):
        atoms.append(A("C", [atoms[-1]]))
    return atoms


def add_bonds(x, y, times):
    for _ in range(times):
        x.bond_with(y)
    return x, y


def formaldehyde():
    c = A("C")
    return add_bonds(c, A("O", [c]), 1)


def isobutane_from_outer():
    centre = A("C")
    return [A("C", [centre]) for _ in range(3)][0]


@pytest.mark.parametrize("build, smiles", [
    (lambda: A("C"), "C"),
    (lambda: hydrogens_of(A("C"))[3], "C"),
    (lambda: A("O", [chain(2)[1]]), "OCC"),
    (isobutane_from_outer, "CC(C)C"),
    (lambda: formaldehyde()[0], "C=O"),
    (lambda: formaldehyde()[1], "O=C"),
    (lambda: add_bonds(*chain(2), 2)[0], "C#C"),
    (lambda: A("N", charge=1), "[NH4+]"),
    (lambda: A("O", charge=-1), "[OH-]"),
    (lambda: A("Cl", charge=-1), "[Cl-]"),
    (lambda: A("O", charge=-2), "[O-2]"),
    (lambda: A("C", charge=1), "[CH3+]"),
    (lambda: A("C", lone_electron=2), "[CH2]"),
    (lambda: A("H", charge=1), "[H+]"),
    (lambda: A("H", lone_electron=1), "[H]"),
    (lambda: A("H", charge=-1), "[H-]"),
    (lambda: A(), "[HH]"),
])
def test_written_forms(build, smiles):
    start = build()
    assert Atom.get_smiles(start) == smiles == A.get_smiles(start.id)


def test_ethanol_from_the_methyl_carbon():
    c1, c2 = chain(2)
    A("O", [c2])
    assert c1.to_smiles() == "CCO"


@pytest.mark.parametrize("c_lists_a_first", [False, True])
def test_triangle_closes_its_ring_at_the_last_atom(c_lists_a_first):
    a, b = chain(2)
    A("C", [a, b] if c_lists_a_first else [b, a])
    assert a.to_smiles() == "C0CC0"


def test_double_ring_bond_shows_at_both_ends():
    a, _, c = chain(3)
    add_bonds(a, c, 2)
    assert a.to_smiles() == "C=0CC=0"


def ring_chain(rings):
    """c0..c2k in a chain, each even carbon also bonded to the next even one."""
    atoms = chain(2 * rings + 1)
    for j in range(rings):
        atoms[2 * j].bond_with(atoms[2 * j + 2])
    label = [str(j) if j < 10 else f"%{j}" for j in range(rings)] + [""]
    return atoms[0], "C0" + "".join("CC" + label[j] + label[j + 1] for j in range(rings))


@pytest.mark.parametrize("rings, last", [(1, "0"), (11, "%10"), (12, "%11")])
def test_ring_labels_count_up_and_are_never_reused(rings, last):
    start, expected = ring_chain(rings)
    assert start.to_smiles() == expected
    assert expected.endswith("C" + last)


def test_order_error_names_the_second_written_atom():
    c1, c2 = add_bonds(*chain(2), 3)
    for start, later in ((c1, c2), (c2, c1)):
        with pytest.raises(Atom.SmilesError) as e:
            start.to_smiles()
        assert str(e.value) == (f"[Atom {later.id}] When converting into SMILES, a bond with order "
                                "greater than 3 is not allowed (Currently, it is 4).")
        assert e.value.atom == later.id and e.value.__cause__ is None


@pytest.mark.parametrize("depth", [0, 1])
def test_failures_are_wrapped_at_the_atom_where_they_arise(depth):
    atoms = chain(3)
    atoms[depth + 1].delete()
    with pytest.raises(Atom.SmilesError) as e:
        atoms[0].to_smiles()
    at = atoms[depth].id
    assert (str(e.value), e.value.atom) == (f"[Atom {at}] {WRAPPED}", at)
    assert isinstance(e.value.__cause__, Atom.AtomError) and e.value.__context__ is e.value.__cause__


def test_valence_error_is_wrapped_and_keeps_the_pool():
    c1, c2 = chain(2)
    c2.element = "Xe"
    pool = list(A._Atom__id_pool)
    with pytest.raises(Atom.SmilesError) as e:
        c1.to_smiles()
    assert isinstance(e.value.__cause__, Atom.ElementError) and e.value.atom == c2.id
    assert A._Atom__id_pool == pool


class Tag:
    def __init__(self, error):
        self.error = error

    def __bool__(self):
        raise self.error


@pytest.mark.parametrize("error, wrapped", [(ValueError("x"), True), (KeyboardInterrupt(), False)])
def test_only_ordinary_exceptions_are_wrapped(error, wrapped):
    c1, c2 = chain(2)
    c2.access_tag = Tag(error)  # a caller's own nested call resets no marks
    with pytest.raises(Atom.SmilesError if wrapped else KeyboardInterrupt) as e:
        c1.to_smiles(False, [0])
    assert not wrapped or (e.value.__cause__ is error and e.value.atom == c1.id)


def test_deleted_start_and_unresolvable_argument_are_not_wrapped():
    a = A("C")
    a.delete()
    for call in (a.to_smiles, lambda: Atom.get_smiles(999)):
        with pytest.raises(Atom.AtomError):
            call()


def test_callers_walk_state():
    a, b = chain(2)
    c = A("C", [a, b])
    val = [0]
    assert a.to_smiles(False, val) == "C0CC0" and val == [1, (a.id, 0, 1)]
    assert (a.access_tag, b.access_tag, c.access_tag) == (True, True, True)
    # The caller's own call takes its first marked neighbour as predecessor.
    c.access_tag, val = False, [9]
    assert c.to_smiles(False, val) == "C9" and val == ["%10", (b.id, 9, 1)]
    # Records already in the list open rings; a list is required.
    d = A("C")
    assert d.to_smiles(False, ["%41", (d.id, "%7", 3), 5]) == "C#%7"
    with pytest.raises(Atom.SmilesError) as e:
        d.to_smiles(False, None)
    assert isinstance(e.value.__cause__, TypeError)


def test_large_structures_in_a_small_stack_thread():
    atoms = chain(2999)
    assert in_small_stack(atoms[0].to_smiles) == "C" * 2999
    assert in_small_stack(atoms[1].to_smiles) == "C(" + "C" * 2997 + ")C"
    reset_registry()
    start, expected = ring_chain(150)
    assert "%99" in expected and in_small_stack(start.to_smiles) == expected
    reset_registry()
    cumulene = chain(1500)
    for x, y in zip(cumulene, cumulene[1:]):
        x.bond_with(y)
    assert in_small_stack(cumulene[0].to_smiles) == "C=" * 1499 + "C"
    reset_registry()
    ring = chain(2500)
    ring[0].bond_with(ring[-1])
    assert in_small_stack(ring[0].to_smiles) == "C0" + "C" * 2498 + "C0"


# --- reading the written subset back, to check that the text denotes the structure

TOKEN = re.compile(r"\[(?P<bracket>[^\]]+)\]|(?P<bare>Br|Cl|[CFINOPS])|(?P<bond>[=#])|(?P<ring>%\d+|\d)|(?P<p>[()])")
VALENCE = {"C": 4, "N": 3, "O": 2, "S": 2, "P": 3, "F": 1, "Cl": 1, "Br": 1, "I": 1}


def wl_classes(labels, bonds, rounds=4):
    """Weisfeiler-Lehman colour classes: equal for isomorphic graphs."""
    for _ in range(rounds):
        labels = [hash((labels[v], tuple(sorted((k, labels[u]) for e, k in bonds.items() if v in e
                                                 for u in e if u != v)))) for v in range(len(labels))]
    return Counter(labels)


def graph_of_text(text):
    atoms, bonds, rings, branches, prev, order = [], Counter(), {}, [], None, 1
    for m in TOKEN.finditer(text):
        if m["bare"] or m["bracket"]:
            atoms.append(m["bare"] or m["bracket"])
            if prev is not None:
                bonds[frozenset((prev, len(atoms) - 1))] += order
            prev, order = len(atoms) - 1, 1
        elif m["bond"]:
            order = 2 if m["bond"] == "=" else 3
        elif m["ring"]:
            if m["ring"] in rings:
                bonds[frozenset((rings.pop(m["ring"]), prev))] += order
            else:
                rings[m["ring"]] = prev
            order = 1
        elif m["p"] == "(":
            branches.append(prev)
        else:
            prev = branches.pop()
    assert not rings and "".join(m[0] for m in TOKEN.finditer(text)) == text
    used = [sum(k for e, k in bonds.items() if v in e) for v in range(len(atoms))]
    return wl_classes([(a, VALENCE[a] - used[v]) for v, a in enumerate(atoms)], bonds)


def graph_of_structure(start):
    seen, todo = [start.id], [start]
    while todo:
        for i in todo.pop().bonds:
            if i not in seen and A.get_atom(i).element != "H":
                seen.append(i)
                todo.append(A.get_atom(i))
    bonds = Counter(frozenset((seen.index(i), seen.index(j))) for i in seen for j in A.get_atom(i).bonds
                    if j in seen and i < j)
    return wl_classes([(A.get_atom(i).element, len(hydrogens_of(A.get_atom(i)))) for i in seen], bonds)


def neutral(elements):
    return st.sampled_from([(element, 0) for element in elements])


plans = growth_plans(neutral("CCCNOS"), neutral("CCNO"), 14, 6)


@settings(max_examples=200, deadline=None)
@given(plans)
def test_written_text_denotes_the_structure(plan):
    reset_registry()
    start = grow(*plan)
    assert graph_of_text(start.to_smiles()) == graph_of_structure(start)
    assert all(a.access_tag is False for a in A.get_all_atoms())

import re
import threading
from collections import Counter

import pytest
from hypothesis import given, settings, strategies as st

import Atom
from Atom import Atom as A
from conftest import reset_registry

WRAPPED = "Failed to convert into SMILES. Something goes wrong when trying to convert."


def chain(n, first=None):
    atoms = [first or A("C")]
    for _ in range(n - 1):
        atoms.append(A("C", [atoms[-1]]))
    return atoms


def raise_order(a, b, times):
    for _ in range(times):
        a.bond_with(b)


def hydrogens_of(atom):
    return [A.get_atom(i) for i in atom.bonds if A.get_atom(i).element == "H"]


def isobutane_from_outer():
    centre = A("C")
    outer = [A("C", [centre]) for _ in range(3)]
    return outer[0]


def formaldehyde():
    c = A("C")
    o = A("O", [c])
    c.bond_with(o)
    return c, o


def ethyne():
    c1, c2 = chain(2)
    raise_order(c1, c2, 2)
    return c1


@pytest.mark.parametrize("build, smiles", [
    (lambda: A("C"), "C"),
    (lambda: hydrogens_of(A("C"))[3], "C"),
    (lambda: chain(2)[0], "CC"),
    (lambda: A("O", [chain(2)[1]]), "OCC"),
    (isobutane_from_outer, "CC(C)C"),
    (lambda: formaldehyde()[0], "C=O"),
    (lambda: formaldehyde()[1], "O=C"),
    (ethyne, "C#C"),
    (lambda: A("N", charge=1), "[NH4+]"),
    (lambda: A("O", charge=-1), "[OH-]"),
    (lambda: A("Cl", charge=-1), "[Cl-]"),
    (lambda: A("O", charge=-2), "[O-2]"),
    (lambda: A("C", charge=1), "[CH3+]"),
    (lambda: A("C", lone_electron=2), "[CH2]"),
    (lambda: A("C", lone_electron=3), "[CH]"),
    (lambda: A("H", charge=1), "[H+]"),
    (lambda: A("H", lone_electron=1), "[H]"),
    (lambda: A("H", charge=-1), "[H-]"),
    (lambda: A(), "[HH]"),
])
def test_written_forms(build, smiles):
    start = build()
    assert Atom.get_smiles(start) == smiles
    assert A.get_smiles(start.id) == smiles


def test_ethanol_both_ways():
    c1, c2 = chain(2)
    o = A("O", [c2])
    assert (c1.to_smiles(), o.to_smiles()) == ("CCO", "OCC")


def triangle(c_lists_a_first):
    a, b = chain(2)
    c = A("C", [a, b] if c_lists_a_first else [b, a])
    return a, b, c


@pytest.mark.parametrize("c_lists_a_first", [False, True])
def test_triangle_closes_its_ring_at_the_last_atom(c_lists_a_first):
    a, _, _ = triangle(c_lists_a_first)
    assert a.to_smiles() == "C0CC0"


def test_double_ring_bond_shows_at_both_ends():
    a, _, c = chain(3)
    raise_order(a, c, 2)
    assert a.to_smiles() == "C=0CC=0"


def label(j):
    return str(j) if j < 10 else f"%{j}"


def ring_chain(rings):
    """Carbons c0..c2k in a chain, each even one also bonded to the next even one."""
    atoms = chain(2 * rings + 1)
    for j in range(rings):
        atoms[2 * j].bond_with(atoms[2 * j + 2])
    expected = "C" + label(0)
    for j in range(rings):
        opens = label(j + 1) if j + 1 < rings else ""
        expected += "C" + "C" + label(j) + opens
    return atoms, expected


@pytest.mark.parametrize("rings", [1, 10, 11, 12])
def test_ring_labels_count_up_and_are_never_reused(rings):
    atoms, expected = ring_chain(rings)
    assert atoms[0].to_smiles() == expected
    assert ("%10" in expected, "%11" in expected) == (rings >= 11, rings >= 12)


def test_order_error_names_the_second_written_atom():
    c1, c2 = chain(2)
    raise_order(c1, c2, 3)
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
    assert isinstance(e.value.__cause__, Atom.AtomError)
    assert e.value.__context__ is e.value.__cause__


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
    c2.access_tag = Tag(error)  # a nested call resets no marks, so c1 reads this one
    with pytest.raises(Atom.SmilesError if wrapped else KeyboardInterrupt) as e:
        c1.to_smiles(False, [0])
    if wrapped:
        assert e.value.__cause__ is error and e.value.atom == c1.id


def test_deleted_start_and_unresolvable_argument_are_not_wrapped():
    a = A("C")
    a.delete()
    with pytest.raises(Atom.AtomError):
        a.to_smiles()
    with pytest.raises(Atom.AtomError):
        Atom.get_smiles(999)


def test_marks_are_clear_after_success_and_hydrogen_starts():
    A("O")
    a, _, _ = triangle(True)
    a.to_smiles()
    hydrogens_of(a)[0].to_smiles()
    assert all(x.access_tag is False for x in A.get_all_atoms())


def test_callers_walk_state_is_extended():
    a, _, _ = triangle(True)
    val = [0]
    assert a.to_smiles(False, val) == "C0CC0"
    assert val == [1, (a.id, 0, 1)]
    assert all(x.access_tag for x in (a, *A.get_all_atoms()) if x.element == "C")


def test_callers_own_call_takes_the_first_marked_neighbour_as_predecessor():
    a, b, c = triangle(True)
    a.access_tag = b.access_tag = True
    val = [9]
    assert c.to_smiles(False, val) == "C9"
    assert val == ["%10", (b.id, 9, 1)]


def test_callers_records_open_rings_and_bad_state_is_wrapped():
    c = A("C")
    assert c.to_smiles(False, ["%41", (c.id, "%7", 3), 5]) == "C#%7"
    with pytest.raises(Atom.SmilesError) as e:
        c.to_smiles(False, None)
    assert isinstance(e.value.__cause__, TypeError)


def in_small_stack(fn):
    result = {}
    old = threading.stack_size(256 * 1024)
    try:
        t = threading.Thread(target=lambda: result.update(value=fn()))
        t.start()
        t.join()
    finally:
        threading.stack_size(old)
    return result.get("value")


def test_long_chain_in_a_small_stack_thread():
    atoms = chain(2999)
    assert in_small_stack(atoms[0].to_smiles) == "C" * 2999
    assert in_small_stack(atoms[1].to_smiles) == "C(" + "C" * 2997 + ")C"


def test_hundreds_of_rings_in_a_small_stack_thread():
    atoms, expected = ring_chain(150)
    assert "%99" in expected and "%149" in expected
    assert in_small_stack(atoms[0].to_smiles) == expected


def test_cumulene_and_large_ring():
    cumulene = chain(1500)
    for x, y in zip(cumulene, cumulene[1:]):
        x.bond_with(y)
    assert in_small_stack(cumulene[0].to_smiles) == "C=" * 1499 + "C"
    reset_registry()
    ring = chain(2500)
    ring[0].bond_with(ring[-1])
    assert in_small_stack(ring[0].to_smiles) == "C0" + "C" * 2498 + "C0"


# --- a reader of the written subset, to check that the text denotes the structure

TOKEN = re.compile(r"\[(?P<bracket>[A-Z][a-z]?(?:H\d*)?[+-]?\d*)\]|(?P<bare>Br|Cl|[BCFHINOPS])"
                   r"|(?P<bond>[=#])|(?P<ring>%\d+|\d)|(?P<paren>[()])")
VALENCE = {"C": 4, "N": 3, "O": 2, "S": 2, "P": 3, "F": 1, "Cl": 1, "Br": 1, "I": 1}


def read_graph(text):
    atoms, bonds, open_rings, stack = [], Counter(), {}, []
    prev, pending = None, 1
    for m in TOKEN.finditer(text):
        if m["bare"] or m["bracket"]:
            atoms.append(m["bare"] or m["bracket"])
            if prev is not None:
                bonds[frozenset((prev, len(atoms) - 1))] += pending
            prev, pending = len(atoms) - 1, 1
        elif m["bond"]:
            pending = 2 if m["bond"] == "=" else 3
        elif m["ring"]:
            if m["ring"] in open_rings:
                bonds[frozenset((open_rings.pop(m["ring"]), prev))] += pending
            else:
                open_rings[m["ring"]] = prev
            pending = 1
        elif m["paren"] == "(":
            stack.append(prev)
        else:
            prev = stack.pop()
    assert not open_rings and "".join(m[0] for m in TOKEN.finditer(text)) == text
    return atoms, bonds


def wl_labels(labels, bonds, rounds=4):
    for _ in range(rounds):
        labels = [hash((labels[v], tuple(sorted((order, labels[u]) for e, order in bonds.items()
                                                 if v in e for u in e if u != v))))
                  for v in range(len(labels))]
    return Counter(labels)


def graph_of_text(text):
    atoms, bonds = read_graph(text)
    labels = []
    for v, a in enumerate(atoms):
        used = sum(order for e, order in bonds.items() if v in e)
        labels.append((a, VALENCE[a] - used) if a in VALENCE else a)
    return wl_labels(labels, bonds)


def graph_of_structure(start):
    seen, todo = {start.id}, [start]
    while todo:
        for i in todo.pop().bonds:
            if i not in seen and A.get_atom(i).element != "H":
                seen.add(i)
                todo.append(A.get_atom(i))
    index = {i: n for n, i in enumerate(seen)}
    labels = [(A.get_atom(i).element, len(hydrogens_of(A.get_atom(i)))) for i in seen]
    bonds = Counter()
    for i in seen:
        for j in A.get_atom(i).bonds:
            if j in index and i < j:
                bonds[frozenset((index[i], index[j]))] += 1
    return wl_labels(labels, bonds)


plans = st.tuples(
    st.sampled_from("CCCNOS"),
    st.lists(st.tuples(st.integers(0, 99), st.sampled_from("CCNO")), max_size=14),
    st.lists(st.tuples(st.integers(0, 99), st.integers(0, 99)), max_size=6),
    st.integers(0, 99),
)


def build(plan):
    """A tree grown atom by atom, then ring (or higher-order) bonds where hydrogens allow."""
    first, branches, extra, start = plan
    atoms = [A(first)]
    for at, element in branches:
        partner = atoms[at % len(atoms)]
        if hydrogens_of(partner):
            atoms.append(A(element, [partner]))
    for i, j in extra:
        x, y = atoms[i % len(atoms)], atoms[j % len(atoms)]
        if x is not y and hydrogens_of(x) and hydrogens_of(y) and x.bonds.count(y.id) < 3:
            x.bond_with(y)
    return atoms[start % len(atoms)]


@settings(max_examples=200, deadline=None)
@given(plans)
def test_written_text_denotes_the_structure(plan):
    reset_registry()
    start = build(plan)
    text = start.to_smiles()
    assert graph_of_text(text) == graph_of_structure(start)
    assert all(a.access_tag is False for a in A.get_all_atoms())

"""Random sequences of operations, successful or failing, keep the registry and the structures sound."""
from hypothesis import HealthCheck, given, settings, strategies as st

import Atom
from conftest import ALL_IDS, reset_registry

A = Atom.Atom
TABLE = A._Atom__element_info
ERRORS = (Atom.AtomError, Atom.BondError, Atom.ChargeError, Atom.ElementError, Atom.IdError, Atom.LoneElectronError)

pick = st.tuples(st.booleans(), st.integers(0, 10 ** 6))  # (heavy atoms only?, index)
elements = st.sampled_from(list(TABLE) + ["Xe"])
uses = st.sampled_from(["hydro", "lone_electron", "both", "all"])

construct = st.tuples(st.just("new"), elements, st.integers(-1, 1), st.none() | st.integers(0, 4), st.booleans(),
                      st.lists(pick, max_size=3))
bond = st.tuples(st.just("bond"), pick, pick, uses, st.booleans())
carbene = st.tuples(st.just("carbene"), pick)
breaking = st.tuples(st.just("break"), pick, st.integers(0, 7))
set_charge = st.tuples(st.just("set_charge"), pick, st.integers(-2, 2))
set_element = st.tuples(st.just("set_element"), pick, elements)
set_lone = st.tuples(st.just("set_lone"), pick, st.integers(-1, 4), st.booleans())
clean_delete = st.tuples(st.just("clean_delete"), pick)
STRUCTURE_OPS = st.lists(construct | bond | carbene | breaking | set_charge | set_element | set_lone | clean_delete,
                         max_size=25)

one_sided = st.tuples(st.just("one_sided"), pick, pick)
raw_new = st.tuples(st.just("raw_new"), elements, st.lists(pick, max_size=2), st.booleans())
raw_delete = st.tuples(st.just("raw_delete"), pick, st.booleans())
raw_break = st.tuples(st.just("raw_break"), pick, st.integers(0, 7))
ID_OPS = st.lists(construct | bond | breaking | set_charge | set_lone | one_sided | raw_new | raw_delete | raw_break,
                  max_size=25)


def choose(p):
    heavy, k = p
    atoms = [a for a in A.id_map.values() if not heavy or a.element != "H"] or list(A.id_map.values())
    return atoms[k % len(atoms)] if atoms else None


def entry_of(atom, k):
    return atom.bonds[k % len(atom.bonds)] if atom is not None and atom.bonds else None


def run(op):
    kind = op[0]
    if kind == "new":
        _, element, charge, lone, auto, partners = op
        chosen = [choose(p) for p in partners]
        A(element, [a for a in chosen if a is not None], charge, lone, True, auto)
        return
    if kind == "raw_new":
        _, element, partners, bond_ = op
        A(element, [a for a in map(choose, partners) if a is not None], bond_=bond_)
        return
    atom = choose(op[1])
    if atom is None:
        return
    if kind == "bond":
        A.bond(atom, choose(op[2]), use=op[3], allow_carbene=op[4])
    elif kind == "carbene":
        atom.bond_with(atom, allow_carbene=True)
    elif kind == "break":
        partner = entry_of(atom, op[2])
        if partner is not None:
            atom.break_bond_with(partner)
    elif kind == "raw_break":
        partner = entry_of(atom, op[2])
        if partner is not None:
            atom.break_bond_with(partner, break_bond_back=False)
    elif kind == "set_charge":
        atom.set_charge(op[2])
    elif kind == "set_element":
        atom.set_element(op[2])
    elif kind == "set_lone":
        atom.set_lone_electron(op[2], op[3])
    elif kind == "clean_delete":
        for partner in list(atom.bonds):
            atom.break_bond_with(partner)
        atom.delete()
    elif kind == "one_sided":
        atom.bond_with(choose(op[2]), bond_back=False)
    elif kind == "raw_delete":
        if op[2]:
            atom.delete()
        else:
            A.delete_atom(atom.id)


def check_ids():
    assert sorted(list(A._Atom__id_pool) + list(A.id_map)) == ALL_IDS
    for key, atom in A.id_map.items():
        assert type(atom) is A and atom.id == key


def check_structures():
    for key, atom in A.id_map.items():
        assert atom.access_tag is False  # every construction completed
        valence = TABLE[atom.element][0]
        assert atom.lone_electron >= 0
        assert len(atom.bonds) == valence - atom.charge - atom.lone_electron, (atom.element, atom.charge)
        for entry in set(atom.bonds):
            assert entry in A.id_map
            assert A.id_map[entry].bonds.count(key) == atom.bonds.count(entry)


def play(ops, checks):
    reset_registry()
    for op in ops:
        try:
            run(op)
        except ERRORS:
            pass
        for check in checks:
            check()


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(ops=STRUCTURE_OPS)
def test_structures_stay_sound(ops):
    play(ops, [check_ids, check_structures])


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(ops=ID_OPS)
def test_every_id_is_free_or_registered_exactly_once(ops):
    play(ops, [check_ids])


@settings(max_examples=50, deadline=None)
@given(size=st.integers(2, 12), ops=STRUCTURE_OPS)
def test_a_nearly_empty_pool_loses_no_id(size, ops):
    # With a handful of free ids, constructions fail halfway for want of ids.
    reset_registry()
    A._Atom__id_pool[:] = range(1000, 1000 + size)
    for op in ops:
        try:
            run(op)
        except ERRORS:
            pass
        assert sorted(list(A._Atom__id_pool) + list(A.id_map)) == list(range(1000, 1000 + size))

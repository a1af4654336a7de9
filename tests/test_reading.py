"""brantor.read and read_all on the registry: what they register, what a
failure leaves, and structures' lifetime."""
import pathlib
import re

import pytest

import Atom
import brantor
from brantor.formula import element_counts
from conftest import A, free_and_used_ids, snapshot

CORPUS = pathlib.Path(__file__).parent / "data" / "real_smiles.tsv"
ATOM = re.compile(r"\[\d*([A-Z][a-z]?|[cnops])[^\]]*\]|Cl|Br|[BCNOPSFI]|[cnops]")


def corpus():
    lines = CORPUS.read_text().splitlines()
    return [line.split("\t") for line in lines if not line.startswith("#")]


def counts(formula):
    return {element: int(n or 1) for element, n in re.findall(r"([A-Z][a-z]?)(\d*)", formula)}


def test_corpus_reads_to_rdkit_formulas_and_masses():
    records = corpus()
    assert len(records) >= 300
    for smiles, formula, average, exact, name in records:
        with brantor.Readings() as readings:
            roots = readings.read_all(smiles)
            assert dict(element_counts(roots)) == counts(formula), name
            assert sum(brantor.mass(r) for r in roots) == pytest.approx(float(average), abs=1e-3), name
            assert sum(brantor.mass(r, monoisotopic=True) for r in roots) == pytest.approx(float(exact), abs=1e-3)
    assert not A.id_map


def test_kekulized_corpus_keeps_the_atoms_in_their_order():
    for smiles, *_ in corpus():
        heavy = [m.group(1) or m.group(0) for m in ATOM.finditer(smiles)]
        heavy = [s.upper() if s in "cnops" else s for s in heavy if s != "H"]
        kekule = [m.group(1) or m.group(0) for m in ATOM.finditer(brantor.kekulize(smiles))]
        assert kekule == heavy, smiles


def test_read_returns_the_first_atom_written_and_the_formula_agrees_with_the_module(capsys):
    phenol = brantor.read("Oc1ccccc1")
    assert phenol.element == "O" and len(brantor.structure(phenol)) == 13
    assert Atom.get_formula(phenol) == "C6H6O"
    capsys.readouterr()


def test_read_refuses_dots_and_names_read_all():
    with pytest.raises(brantor.ReadError) as info:
        brantor.read("CCN.Cl")
    assert info.value.position == 3 and "read_all" in info.value.reason
    assert [a.element for a in brantor.read_all("CCN.Cl.O")] == ["C", "Cl", "O"]


def test_a_valence_refusal_names_the_atom_and_chains_the_module_error():
    for smiles, position in [("CC(C)(C)(C)C", 1), ("CO.C[N](C)(C)(C)C", 4), ("c1ccccc1C(=O)(=O)C", 8)]:
        with pytest.raises(brantor.ReadError) as info:
            brantor.read_all(smiles)
        assert info.value.position == position, smiles
        assert type(info.value.__cause__).__module__ == "Atom"


def test_failed_reads_leave_registry_and_pool_as_they_were():
    brantor.read("CCO")
    before, ids = snapshot(), free_and_used_ids()
    for smiles in ["CCN.CC.C(C)(C)(C)(C)C", "c1cccn1", "O.O.[Si]"]:
        with pytest.raises(brantor.ReadError):
            brantor.read_all(smiles)
    after = snapshot()
    assert after[0] == before[0] and sorted(after[1]) == sorted(before[1]) and free_and_used_ids() == ids


def test_a_full_registry_raises_the_module_id_error():
    keep = [brantor.read("CCCCCCCCCC") for _ in range(281)]  # 32 atoms each: 8,992 of 9,000
    before = snapshot()
    with pytest.raises(Atom.IdError):
        brantor.read_all("C.CCCC")
    assert snapshot()[0] == before[0]
    assert sum(brantor.delete_structure(a) for a in keep) == 8992 and not A.id_map


def test_structures_are_deleted_whole_and_readings_at_the_block_end():
    ethanol = brantor.read("CCO")
    kept = A("C")
    assert {a.element for a in brantor.structure(ethanol.id)} == {"C", "O", "H"}
    assert brantor.delete_structure(ethanol) == 9 and set(A.id_map) == {a.id for a in brantor.structure(kept)}
    for _ in range(2000):  # 26,000 atoms in all, through a registry of 9,000
        with brantor.Readings() as readings:
            readings.read("c1ccccc1")
            first = readings.read_all("O.O")[0]
            brantor.delete_structure(first)  # a structure the user deleted is passed over
    assert len(A.id_map) == 5
    with pytest.raises(Atom.AtomError):
        brantor.structure(1)


def test_strange_bond_entries_raise_ordinary_errors():
    carbon = A("C")
    carbon.bonds.append([1])  # unhashable
    with pytest.raises(TypeError):
        brantor.structure(carbon)
    carbon.bonds[-1] = "no id"  # names no registered atom: leads nowhere
    assert len(brantor.structure(carbon)) == 5
    carbon.bonds = None
    with pytest.raises(TypeError):
        brantor.structure(carbon)

"""brantor.kekulize and brantor.read on the hard cases of real data: aromatic
systems, charged aromatics, fused rings, salts, stereo marks and [H] atoms."""
import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import Atom
import brantor
from brantor.formula import element_counts, hill_formula

C60 = ("c12c3c4c5c1c1c6c7c2c2c8c3c3c9c4c4c%10c5c5c1c1c6c6c%11c7c2c2c7c8c3c3c8c9c4c4c9c%10c5c5c1c1c6c6c%11c2c2"
       "c7c3c3c8c4c4c9c5c1c1c6c2c3c41")

# Formulas as RDKit gives them, charge signs aside.
READ = [
    ("c1cc[nH]c1", "C4H5N"),                                  # pyrrole
    ("[O-][n+]1ccccc1", "C5H5NO"), ("O=n1ccccc1", "C5H5NO"),  # pyridine N-oxide both ways
    ("o1cccc1", "C4H4O"), ("s1cccc1", "C4H4S"),
    ("c1c[nH]cn1", "C3H4N2"), ("c1cnc[nH]1", "C3H4N2"),       # imidazole tautomers
    ("c1ncc2[nH]cnc2n1", "C5H4N4"), ("c1nc2[nH]cnc2cn1", "C5H4N4"),  # purine tautomers
    ("Cn1cnc2c1c(=O)n(C)c(=O)n2C", "C8H10N4O2"),             # caffeine
    ("O=c1cccc[nH]1", "C5H5NO"), ("O=c1cc[nH]cc1", "C5H5NO"),  # pyridones
    ("c1cc[nH+]cc1", "C5H6N"), ("C[n+]1ccccc1", "C6H8N"), ("c1cc[o+]cc1", "C5H5O"),
    ("[cH-]1cccc1", "C5H5"), ("[cH+]1cccccc1", "C7H7"),
    ("c1ccc2ccccc2c1", "C10H8"), ("c1ccc2cc3ccccc3cc2c1", "C14H10"), ("c1cc2ccc3cccc4ccc(c1)c2c34", "C16H10"),
    ("c1cc2ccc3ccc4ccc5ccc6ccc1c1c2c3c4c5c61", "C24H12"),   # coronene
    ("c1ccc2c(c1)-c1ccccc1-2", "C12H8"),                     # biphenylene
    (C60, "C60"),
    ("c1ccc(cc1)-c1ccccc1", "C12H10"), ("c1ccccc1c1ccccc1", "C12H10"),  # biphenyl, with and without '-'
    ("c:1:c:c:c:c:c1", "C6H6"),
    # A ring bond's symbol at either end. An explicit '=' on an aromatic atom is
    # its double bond (RDKit takes C6H4 here).
    ("c=1ccccc1", "C6H6"), ("c1ccccc=1", "C6H6"), ("C=1CCCCC1", "C6H10"), ("C1CCCCC=1", "C6H10"),
    ("CCN.Cl", "C2H8ClN"), ("CC(=O)O.O.O", "C2H8O4"), ("c1cc[nH+]cc1.[Cl-]", "C5H6ClN"),  # salts, hydrates
    ("[H]OC([H])([H])[H]", "CH4O"), ("C([H])#N", "CHN"),
    ("F/C=C/F", "C2H2F2"), ("N[C@@H](C)C(=O)O", "C3H7NO2"), ("C[C@TH1H](O)N", "C2H7NO"), ("[CH3:7]O", "CH4O"),
]


@pytest.mark.parametrize("smiles, formula", READ)
def test_hard_cases_read_to_their_formulas(smiles, formula):
    with brantor.Readings() as readings:
        assert hill_formula(element_counts(readings.read_all(smiles))) == formula
    text = brantor.kekulize(smiles)
    outside_brackets = re.sub(r"\[[A-Z][a-z]?(H\d*)?([+-]\d*)?\]|Cl|Br", "", text)
    assert not re.search(r"[a-z\[\]:/\\@-]", outside_brackets), text


REFUSED = [
    ("c1cccn1", 5, "pyrrole-type nitrogen is written [nH]"),
    ("O=c1ccccn1", 8, "no Kekulé structure"),
    ("c1cccc1", 5, "no Kekulé structure"),
    ("c1ccccc1[nH]", 8, "no Kekulé structure"),
    ("[13CH4]", 1, "isotopes"),
    ("*C", 0, "unknown atom"),
    ("C[Si](C)C", 2, "element Si"),
    ("[Na+].[Cl-]", 1, "element Na"),
    ("CB", 1, "element B"),
    ("C$C", 1, "quadruple"),
    ("C1.C1", 4, "across '.'"),
    ("C=1CCCCC#1", 9, "different bond symbols"),
    ("C1CC", 1, "never closed"),
    ("C(C", 1, "never closed"),
    ("CC)", 2, "closes no branch"),
    ("C..C", 2, "empty structure"),
    ("", 0, "empty text"),
    ("CC=", 2, "must be followed by an atom"),
    ("C([H])([H])([H])[H]C", 16, "hydrogen"),
    ("[H][H]", 0, "hydrogen"),
    ("[H+]", 0, "hydrogen"),
    ("Cé", 1, "unexpected character"),
]


@pytest.mark.parametrize("smiles, position, reason", REFUSED)
def test_refusals_point_at_the_fault(smiles, position, reason):
    with pytest.raises(brantor.ReadError) as info:
        brantor.kekulize(smiles)
    error = info.value
    assert (error.smiles, error.position) == (smiles, position) and reason in error.reason
    assert str(error).splitlines()[-1] == " " * (4 + position) + "^"


def test_strict_refuses_stereo_marks_and_atom_maps():
    for smiles, position in [("F/C=C/F", 1), ("C[C@H](O)N", 3), ("[CH3:1]O", 4)]:
        with pytest.raises(brantor.ReadError) as info:
            brantor.kekulize(smiles, strict=True)
        assert info.value.position == position and "strict" in info.value.reason
    assert brantor.kekulize("c1ccccc1", strict=True) == "C1=CC=CC=C1"


def test_output_is_the_dialect_of_the_module():
    assert brantor.kekulize("c1ccccc1") == "C1=CC=CC=C1"
    assert brantor.kekulize("C[C@@H](N)C(=O)O") == "CC(N)C(=O)O"
    assert brantor.kekulize("[O-][n+]1ccccc1") == "[O-][N+]1=CC=CC=C1"
    assert brantor.kekulize("[H]C(=O)O") == "C(=O)O"
    assert brantor.kekulize("CS(C)C") == "C[SH](C)C"  # a bare S would get no hydrogen in the module


def test_strange_arguments_raise_type_errors():
    for call in (lambda: brantor.kekulize(None), lambda: brantor.read(b"C"), lambda: brantor.read_all(1)):
        with pytest.raises(TypeError):
            call()


PIECES = list("CNOScnos()[]=#-:/\\@+1%.H*") + ["Cl", "[nH]", "[H]", "c1", "%10", "[O-]", "[n+]", "[C@@H]"]


@settings(max_examples=300, deadline=None)
@given(st.lists(st.sampled_from(PIECES), max_size=16).map("".join))
def test_any_text_is_read_whole_or_refused_at_a_position_in_it(text):
    try:
        roots = brantor.read_all(text)
    except brantor.ReadError as error:
        assert 0 <= error.position <= len(text)
        assert not Atom.Atom.id_map
    else:
        assert sum(brantor.delete_structure(root) for root in roots) > 0 and not Atom.Atom.id_map

"""Each fast path engages where it is meant to (counted by the probe build).

The suite also runs on a build with every fast path off, which shows that the
general paths give the same results; these tests show that the normal run does
not quietly take the general path instead."""
import contextlib
import io
import sys

import pytest

from conftest import A
import Atom

probe = sys.modules.get("_atom_probe")
if probe is None:
    pytest.skip("the module is not the probe build (make test runs one)", allow_module_level=True)
if sys.version_info[:2] not in {(3, 12), (3, 13)}:
    pytest.skip("the fast paths stay shut on interpreter versions the suite has not checked",
                allow_module_level=True)


def construct():
    A("C", [A("O")])


def read():
    A.from_smiles("CC(=O)OC1=CC=CC=C1C(=O)O")


def bond():
    A("C").bond_with(A("C"))


def write():
    start = A.from_smiles("C1=CC=CC=C1O")
    Atom.get_smiles(start)
    with contextlib.redirect_stdout(io.StringIO()):
        Atom.get_formula(start)
    str(start)


ENGAGED = {
    construct: ["StandardDraws", "GeneratorWords", "RecordedDraws", "ClassAttrCache", "SessionAttrs", "PlainKeys",
                "HydrogenFill", "PlainAccounting", "PlainElementTable"],
    read: ["UnbuiltHydrogens", "ReaderShortcuts", "RecordedDraws"],
    write: ["TagBook", "PlainCensus", "PlainDisplay"],
    bond: ["HeldEntryDelete"],
}


def test_every_fast_path_is_counted_somewhere():
    assert {p for paths in ENGAGED.values() for p in paths} == set(probe.counts())


@pytest.mark.parametrize("operation", ENGAGED, ids=lambda f: f.__name__)
def test_fast_paths_engage(operation):
    A.reset_tags()  # the tags' knowledge is trusted after one full clearing
    operation()  # the first call may find its caches cold
    probe.reset()
    operation()
    counts = probe.counts()
    idle = [p for p in ENGAGED[operation] if counts[p] == 0]
    assert not idle, f"{operation.__name__} took the general path instead of {idle}"

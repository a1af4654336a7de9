"""The gallery: twenty structures, each drawn with every hydrogen and in the
skeletal form. `python -m brantor.draw_gallery FOLDER` (make gallery) writes
them as NAME.svg and NAME-skeletal.svg."""

from __future__ import annotations

import pathlib
import random
import sys

import Atom

from .draw import draw_svg
from .draw_structure import delete_structure

# Name: Kekulé SMILES, covering chains, rings, fused rings, charges, radicals,
# a carbene, a hypervalent sulfur and a molecule of about 100 atoms.
GALLERY = {
    "ethanol": "CCO",
    "acetonitrile": "CC#N",
    "neopentane": "CC(C)(C)C",
    "cyclohexane": "C1CCCCC1",
    "aspirin": "CC(=O)OC1=CC=CC=C1C(=O)O",
    "naphthalene": "C1=CC=C2C=CC=CC2=C1",
    "caffeine": "CN1C=NC2=C1C(=O)N(C(=O)N2C)C",
    "testosterone": "CC12CCC3C(CCC4=CC(=O)CCC34C)C1CCC2O",
    "acetate": "CC(=O)[O-]",
    "glycine-zwitterion": "[NH3+]CC(=O)[O-]",
    "ammonium": "[NH4+]",
    "nitrobenzene": "[O-][N+](=O)C1=CC=CC=C1",
    "tert-butyl-cation": "C[C+](C)C",
    "methyl-radical": "[CH3]",
    "hydroxyl-radical": "[OH]",
    "nitric-oxide": "[N]=O",
    "dioxygen": "[O][O]",
    "methylene": "[CH2]",
    "sulfuric-acid": "OS(=O)(=O)O",
    "ritonavir": "CC(C)C1=NC(=CS1)CN(C)C(=O)NC(C(C)C)C(=O)NC(CC2=CC=CC=C2)CC(C(CC3=CC=CC=C3)NC(=O)OCC4=CN=CS4)O",
}


def write_gallery(folder: pathlib.Path) -> list[pathlib.Path]:
    folder.mkdir(parents=True, exist_ok=True)
    written = []
    for name, smiles in GALLERY.items():
        atom = Atom.Atom.from_smiles(smiles)
        try:
            for suffix, hydrogens in (("", True), ("-skeletal", False)):
                path = folder / f"{name}{suffix}.svg"
                path.write_text(draw_svg(atom, hydrogens=hydrogens), encoding="utf-8")
                written.append(path)
        finally:
            delete_structure(atom)
    return written


def main(argv: list[str]) -> int:
    if len(argv) != 1:
        print("usage: python -m brantor.draw_gallery FOLDER", file=sys.stderr)
        return 2
    # Atom ids are drawn from Python's random generator: the same ids each run
    # keep unchanged pictures unchanged files.
    random.seed(19)
    written = write_gallery(pathlib.Path(argv[0]))
    print(f"{len(written)} pictures written to {argv[0]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

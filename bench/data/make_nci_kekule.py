"""Derives bench/data/nci_kekule.smi from the NCI sample that the installed RDKit
ships (rdkit/Data/NCI/first_5K.smi): the molecules this reader accepts, written
in Kekule form without stereo marks, whose formula read here matches RDKit's.
Run once by hand; the output file is committed."""
import pathlib
import re
import sys

from rdkit import Chem, RDConfig, RDLogger
from rdkit.Chem.rdMolDescriptors import CalcMolFormula

import Atom

LIMIT = 600
ELEMENTS = {"C", "N", "O", "S", "P", "F", "Cl", "Br", "I", "H"}


def kekule(text):
    mol = Chem.MolFromSmiles(text)
    if mol is None or len(Chem.GetMolFrags(mol)) != 1:
        return None
    if any(a.GetSymbol() not in ELEMENTS or a.GetIsotope() for a in mol.GetAtoms()):
        return None
    Chem.Kekulize(mol, clearAromaticFlags=True)
    out = Chem.MolToSmiles(mol, kekuleSmiles=True, isomericSmiles=False, canonical=False)
    return None if re.search(r"[-./\\@:$]", out) else out


def formula_here(text):
    Atom.Atom.id_map.clear()
    Atom.Atom._Atom__id_pool[:] = range(1000, 10000)
    try:
        first = Atom.Atom.from_smiles(text)
    except Atom.SmilesError:
        return None
    import contextlib, io
    with contextlib.redirect_stdout(io.StringIO()):
        return Atom.get_formula(first)


def main():
    RDLogger.DisableLog("rdApp.*")
    source = pathlib.Path(RDConfig.RDDataDir) / "NCI" / "first_5K.smi"
    kept = []
    for line in source.read_text().splitlines():
        text = kekule(line.split()[0]) if line.strip() else None
        if not text:
            continue
        reference = re.sub(r"[+-]\d*$", "", CalcMolFormula(Chem.MolFromSmiles(text)))
        if formula_here(text) == reference:
            kept.append(text)
        if len(kept) == LIMIT:
            break
    out = pathlib.Path(__file__).with_name("nci_kekule.smi")
    out.write_text("".join(t + "\n" for t in kept))
    print(f"{len(kept)} molecules written to {out}", file=sys.stderr)


if __name__ == "__main__":
    main()

"""Pictures: brantor.draw_svg with every hydrogen against RDKit's own
Compute2DCoords + MolDraw2DSVG of the same molecule with explicit hydrogens,
side by side in one process. ratio = our time / RDKit's (the target for the
30-heavy-atom drug is at most 1.5)."""
import time

import Atom
import brantor
from common import reset_registry

MOLECULES = [
    ("caffeine", "CN1C=NC2=C1C(=O)N(C(=O)N2C)C"),
    ("loratadine", "CCOC(=O)N1CCC(=C2C3=C(CCC4=C2N=CC=C4)C=C(Cl)C=C3)CC1"),
    # The drug of the target: 30 heavy atoms.
    ("losartan", "CCCCC1=NC(Cl)=C(CO)N1CC1=CC=C(C=C1)C1=CC=CC=C1C1=NN=NN1"),
    ("ritonavir", "CC(C)C1=NC(=CS1)CN(C)C(=O)NC(C(C)C)C(=O)NC(CC2=CC=CC=C2)CC(C(CC3=CC=CC=C3)NC(=O)OCC4=CN=CS4)O"),
]


def best_ms(fn, number=20, repeat=5):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        for _ in range(number):
            fn()
        best = min(best, (time.perf_counter() - start) / number)
    return best * 1e3


def reference(smiles):
    from rdkit import Chem
    from rdkit.Chem import rdDepictor
    from rdkit.Chem.Draw import rdMolDraw2D

    mol = Chem.AddHs(Chem.MolFromSmiles(smiles))

    def draw():
        copy = Chem.Mol(mol)
        rdDepictor.Compute2DCoords(copy)
        drawer = rdMolDraw2D.MolDraw2DSVG(400, 400)
        drawer.DrawMolecule(copy)
        drawer.FinishDrawing()
        return drawer.GetDrawingText()
    return mol.GetNumHeavyAtoms(), mol.GetNumAtoms(), draw


def main():
    print(f"{'molecule':<12}{'heavy':>6}{'atoms':>6}{'ours ms':>9}{'skeletal':>10}{'RDKit ms':>10}{'ratio':>7}")
    for name, smiles in MOLECULES:
        reset_registry()
        atom = Atom.Atom.from_smiles(smiles)
        heavy, atoms, draw = reference(smiles)
        ours = best_ms(lambda: brantor.draw_svg(atom))
        skeletal = best_ms(lambda: brantor.draw_svg(atom, hydrogens=False))
        theirs = best_ms(draw)
        print(f"{name:<12}{heavy:>6}{atoms:>6}{ours:>9.2f}{skeletal:>10.2f}{theirs:>10.2f}{ours / theirs:>6.2f}x")
    reset_registry()


if __name__ == "__main__":
    main()

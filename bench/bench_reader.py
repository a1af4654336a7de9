"""from_smiles on the corpus, against another toolkit's SMILES parsing with
explicit hydrogens added, run side by side in this process."""
import pathlib
import sys

import Atom
from common import best_ns, reset_registry

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
from data.corpus import CORPUS  # noqa: E402

A = Atom.Atom
ROUND = 50


def atoms_created(text):
    reset_registry()
    A.from_smiles(text)
    return len(A.id_map)


def reader_ns(text):
    return best_ns(lambda: A.from_smiles(text), ROUND, repeat=7, setup=reset_registry)


def reference_ns(text):
    try:
        from rdkit import Chem, RDLogger
    except ImportError:
        return None
    RDLogger.DisableLog("rdApp.*")
    return best_ns(lambda: Chem.AddHs(Chem.MolFromSmiles(text)), ROUND, repeat=7)


def main():
    print(f"{'molecule':<26}{'atoms':>6}{'from_smiles':>13}{'ns/atom':>9}{'reference':>12}{'speed-up':>10}")
    slower = []
    for name, text in CORPUS.items():
        n = atoms_created(text)
        ours = reader_ns(text)
        ref = reference_ns(text)
        ref_text = f"{ref / 1000:>9.1f} us" if ref else "       n/a"
        ratio = f"{ref / ours:>9.2f}x" if ref else ""
        if ref and ref < ours:
            slower.append(name)
        print(f"{name:<26}{n:>6}{ours / 1000:>10.1f} us{ours / n:>9.0f}{ref_text}{ratio}")
    if slower:
        print("slower than the reference on:", ", ".join(slower))


if __name__ == "__main__":
    main()

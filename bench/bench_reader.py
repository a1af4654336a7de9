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


def fill_registry(fraction):
    """Registers hydrogen molecules until `fraction` of the ids are taken."""
    reset_registry()
    while len(A.id_map) < fraction * 9000:
        A()


def reader_ns(text, atoms, fill=0.0):
    # as many readings per round as the free ids allow (with room for the
    # hydrogens a reading creates and then gives back)
    number = max(1, min(ROUND, int(9000 * (1 - fill) * 0.8) // (2 * atoms)))
    return best_ns(lambda: A.from_smiles(text), number, repeat=7, setup=lambda: fill_registry(fill))


def reference_ns(text):
    try:
        from rdkit import Chem, RDLogger
    except ImportError:
        return None
    RDLogger.DisableLog("rdApp.*")
    return best_ns(lambda: Chem.AddHs(Chem.MolFromSmiles(text)), ROUND, repeat=7)


def main():
    print("from_smiles into an empty registry (every draw moves half of a 9000-entry pool) and into one 80%")
    print("full; the reference parses the same text and adds explicit hydrogens.")
    print(f"{'molecule':<24}{'atoms':>6}{'empty':>10}{'ns/atom':>9}{'80% full':>10}{'reference':>11}{'ratio':>8}")
    slower = []
    for name, text in CORPUS.items():
        n = atoms_created(text)
        ours = reader_ns(text, n)
        fuller = reader_ns(text, n, 0.8)
        ref = reference_ns(text)
        ref_text = f"{ref / 1000:>8.1f} us" if ref else "       n/a"
        ratio = f"{ref / ours:>7.2f}x" if ref else ""
        if ref and ref < ours:
            slower.append(name)
        print(f"{name:<24}{n:>6}{ours / 1000:>7.1f} us{ours / n:>9.0f}{fuller / 1000:>7.1f} us{ref_text}{ratio}")
    if slower:
        print(f"slower than the reference (empty registry) on {len(slower)} of {len(CORPUS)}:", ", ".join(slower))


if __name__ == "__main__":
    main()

"""from_smiles on the corpus, against another toolkit's SMILES parsing with
explicit hydrogens added, run side by side in this process."""
import pathlib
import sys
import time

import Atom
from common import best_ns, reset_registry

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
from data.corpus import CORPUS  # noqa: E402

A = Atom.Atom
ROUND = 50
NCI = pathlib.Path(__file__).resolve().parent / "data" / "nci_kekule.smi"
REPEAT = 5


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


def rdkit():
    try:
        from rdkit import Chem, RDLogger
    except ImportError:
        return None
    RDLogger.DisableLog("rdApp.*")
    return Chem


def reference_ns(text):
    Chem = rdkit()
    if Chem is None:
        return None
    return best_ns(lambda: Chem.AddHs(Chem.MolFromSmiles(text)), ROUND, repeat=7)


class Registry:
    """A registry filled to a fraction once; restored (outside the timing)
    whenever the free ids run low. The filling atoms are never touched by a
    reading, so restoring the map and the pool is exact."""

    def __init__(self, fill):
        fill_registry(fill)
        self.map, self.pool = dict(A.id_map), list(A._Atom__id_pool)

    def make_room(self, atoms):
        if len(A._Atom__id_pool) < 2 * atoms + 10:
            A.id_map.clear()
            A.id_map.update(self.map)
            A._Atom__id_pool[:] = self.pool


def best_each_ns(texts, read, before=None):
    """Best-of-REPEAT time of one call per text, in ns, in the texts' order."""
    best = [float("inf")] * len(texts)
    clock = time.perf_counter_ns
    for _ in range(REPEAT):
        for i, text in enumerate(texts):
            if before:
                before(text)
            start = clock()
            read(text)
            best[i] = min(best[i], clock() - start)
    return best


def corpus_row(name, texts):
    """Mean over the molecules of the best time each: ours at both fills and the reference."""
    atoms = {t: atoms_created(t) for t in texts}
    total_atoms = sum(atoms.values())
    row = [name, len(texts), total_atoms / len(texts)]
    for fill in (0.0, 0.8):
        registry = Registry(fill)
        row.append(sum(best_each_ns(texts, A.from_smiles, lambda t: registry.make_room(atoms[t]))))
    Chem = rdkit()
    row.append(sum(best_each_ns(texts, lambda t: Chem.AddHs(Chem.MolFromSmiles(t)))) if Chem else None)
    reset_registry()
    return row, total_atoms


def corpus_table():
    print("Whole corpora, best of", REPEAT, "per molecule, mean per molecule; ratio = reference / ours.")
    print(f"{'corpus':<14}{'mols':>5}{'atoms':>7}{'empty':>10}{'ns/atom':>9}{'ratio':>7}"
          f"{'80% full':>10}{'ns/atom':>9}{'ratio':>7}{'reference':>11}")
    sets = [("tests/data", list(CORPUS.values()))]
    if NCI.exists():
        sets.append(("NCI kekule", NCI.read_text().split()))
    for name, texts in sets:
        (name, n, per_mol, empty, full, ref), total_atoms = corpus_row(name, texts)
        cells = []
        for ours in (empty, full):
            ratio = f"{ref / ours:>6.2f}x" if ref else "    n/a"
            cells.append(f"{ours / n / 1000:>7.2f} us{ours / total_atoms:>9.0f}{ratio}")
        ref_text = f"{ref / n / 1000:>8.2f} us" if ref else "       n/a"
        print(f"{name:<14}{n:>5}{per_mol:>7.1f}{cells[0]}{cells[1]}{ref_text}")


def molecule_table():
    print("from_smiles into an empty registry and into one 80% full (a reading compacts the 9000-entry pool")
    print("once); the reference parses the same text and adds explicit hydrogens.")
    print(f"{'molecule':<24}{'atoms':>6}{'empty':>10}{'ns/atom':>9}{'80% full':>10}{'reference':>11}{'ratio':>8}")
    slower = []
    for name, text in CORPUS.items():
        n = atoms_created(text)
        ours = reader_ns(text, n)
        fuller = reader_ns(text, n, 0.8)
        ref = reference_ns(text)
        ref_text = f"{ref / 1000:>8.2f} us" if ref else "       n/a"
        ratio = f"{ref / ours:>7.2f}x" if ref else ""
        if ref and ref < ours:
            slower.append(name)
        print(f"{name:<24}{n:>6}{ours / 1000:>7.2f} us{ours / n:>9.0f}{fuller / 1000:>7.2f} us{ref_text}{ratio}")
    if slower:
        print(f"slower than the reference (empty registry) on {len(slower)} of {len(CORPUS)}:", ", ".join(slower))


def main(argv=()):
    corpus_table()
    print()
    if "--corpus-only" not in argv:
        molecule_table()


if __name__ == "__main__":
    main(sys.argv[1:])

"""brantor on aromatic real-world SMILES, against RDKit side by side in this
process: brantor.read against AddHs(MolFromSmiles(s)), kekulize's share of a
read, and the `brantor formula` command against an RDKit script, as whole
processes."""
import pathlib
import subprocess
import sys
import tempfile
import time

import Atom
import brantor
from bench_reader import NCI, Registry, best_each_ns, rdkit
from common import reset_registry

RECORDS = 5000
RDKIT_SCRIPT = """
import sys
from rdkit import Chem, RDLogger
from rdkit.Chem.rdMolDescriptors import CalcMolFormula
RDLogger.DisableLog("rdApp.*")
for line in open(sys.argv[1]):
    text, _, name = line.strip().partition(" ")
    mol = Chem.MolFromSmiles(text)
    print(f"{CalcMolFormula(mol) if mol else ''}\\t{name}")
"""


def aromatic_texts(Chem):
    """The NCI sample as RDKit's default writer gives it: aromatic lower case."""
    return [Chem.MolToSmiles(Chem.MolFromSmiles(text)) for text in NCI.read_text().split()]


def atoms_of(text):
    reset_registry()
    return len(brantor.structure(brantor.read(text)))


def read_table(Chem, texts):
    atoms = {t: atoms_of(t) for t in texts}
    reference = sum(best_each_ns(texts, lambda t: Chem.AddHs(Chem.MolFromSmiles(t))))
    kekulize = sum(best_each_ns(texts, brantor.kekulize))
    print(f"{len(texts)} aromatic NCI molecules, {sum(atoms.values()) / len(texts):.1f} atoms each with hydrogens;")
    print("mean per molecule of the best of 5; ratio = RDKit AddHs(MolFromSmiles(s)) / brantor.read(s).")
    print(f"{'registry':<12}{'brantor.read':>14}{'RDKit':>10}{'ratio':>8}{'kekulize':>11}{'share':>8}")
    for fill in (0.0, 0.8):
        registry = Registry(fill)
        ours = sum(best_each_ns(texts, brantor.read, lambda t: registry.make_room(atoms[t])))
        n = len(texts)
        print(f"{f'{fill:.0%} full':<12}{ours / n / 1000:>11.1f} us{reference / n / 1000:>7.1f} us{reference / ours:>7.2f}x"
              f"{kekulize / n / 1000:>8.2f} us{kekulize / ours:>7.1%}")
    reset_registry()


def wall_time(command, repeat=3):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        subprocess.run(command, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - start)
    return best


def command_table(texts):
    brantor_script = pathlib.Path(sys.executable).with_name("brantor")
    with tempfile.TemporaryDirectory() as folder:
        path = pathlib.Path(folder) / "records.smi"
        path.write_text("".join(f"{texts[i % len(texts)]} record{i}\n" for i in range(RECORDS)))
        script = pathlib.Path(folder) / "rdkit_formula.py"
        script.write_text(RDKIT_SCRIPT)
        ours = wall_time([str(brantor_script), "formula", str(path)])
        reference = wall_time([sys.executable, str(script), str(path)])
    print(f"`brantor formula` on {RECORDS} lines, whole process, best of 3; ratio = RDKit script / brantor.")
    print(f"{'brantor formula':<18}{'RDKit script':>14}{'ratio':>8}")
    print(f"{ours:>15.2f} s{reference:>12.2f} s{reference / ours:>7.2f}x")


def main():
    Chem = rdkit()
    if Chem is None:
        print("RDKit is not installed: nothing to compare with.")
        return
    texts = aromatic_texts(Chem)
    read_table(Chem, texts)
    print()
    command_table(texts)


if __name__ == "__main__":
    sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
    main()

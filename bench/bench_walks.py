"""The walks per molecule of the corpus, with the molecule alone in the registry
and with the registry 80% full, beside the other toolkit in this process:
get_smiles against MolToSmiles(m, canonical=False), get_formula (its display
lines printed to a file) against CalcMolFormula; then str() of an atom with
four bonds. Ratios are the other toolkit's time over ours: above 1 is faster."""
import contextlib
import pathlib
import statistics
import sys
import tempfile
import timeit

import Atom
from common import best_ns, reset_registry

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
from data.corpus import CORPUS  # noqa: E402

A = Atom.Atom
ROUND = 200
REPEAT = 5


def fill_registry(fraction):
    """Registers hydrogen molecules until `fraction` of the ids are taken."""
    while len(A.id_map) < fraction * 9000:
        A()


def reference_toolkit():
    try:
        from rdkit import Chem, RDLogger
        from rdkit.Chem.rdMolDescriptors import CalcMolFormula
    except ImportError:
        return None
    RDLogger.DisableLog("rdApp.*")
    return Chem, CalcMolFormula


def rewind(out):
    return lambda: out.truncate(out.seek(0))


def our_times(text, out):
    """get_smiles and get_formula of one molecule, alone and at 80% full."""
    reset_registry()
    mol = A.from_smiles(text)
    atoms = len(A.id_map)
    times = {}
    for fill in ("alone", "full"):
        if fill == "full":
            fill_registry(0.8)
        times["smiles", fill] = best_ns(lambda: A.get_smiles(mol), ROUND, REPEAT)
        with contextlib.redirect_stdout(out):
            times["formula", fill] = best_ns(lambda: A.get_formula(mol), ROUND, REPEAT, setup=rewind(out))
    return atoms, times


def reference_times(toolkit, text):
    if toolkit is None:
        return None
    chem, calc_formula = toolkit
    m = chem.MolFromSmiles(text)
    return {
        "smiles": best_ns(lambda: chem.MolToSmiles(m, canonical=False), ROUND, REPEAT),
        "formula": best_ns(lambda: calc_formula(m), ROUND, REPEAT),
    }


def str_of_four_bonded_atom():
    """Per call of str() itself: the timing loop's own cost is measured apart and taken off."""
    reset_registry()
    carbon = A("C")
    A.reset_tags()
    loop = min(timeit.repeat("len(c)", globals={"c": ()}, number=100000, repeat=3 * REPEAT))
    calls = min(timeit.repeat("str(c)", globals={"c": carbon}, number=100000, repeat=3 * REPEAT))
    return (calls - loop) / 100000 * 1e9


def ratio(ref, ours):
    return f"{ref / ours:>7.2f}x" if ref else "     n/a"


def print_table(title, rows, what, reference):
    print(title)
    print(f"{'molecule':<24}{'atoms':>6}{'alone':>10}{'ns/atom':>8}{'80% full':>10}{'ns/atom':>8}"
          f"{'reference':>11}{'alone':>9}{'full':>9}")
    for name, atoms, times, ref in rows:
        alone, full = times[what, "alone"], times[what, "full"]
        ref_ns = ref[what] if ref else None
        ref_text = f"{ref_ns / 1000:>8.2f} us" if ref_ns else "       n/a"
        print(f"{name:<24}{atoms:>6}{alone / 1000:>7.2f} us{alone / atoms:>8.0f}{full / 1000:>7.2f} us"
              f"{full / atoms:>8.0f}{ref_text}{ratio(ref_ns, alone)}{ratio(ref_ns, full)}")
    mean_alone = statistics.fmean(t[what, "alone"] for _, _, t, _ in rows)
    mean_full = statistics.fmean(t[what, "full"] for _, _, t, _ in rows)
    atoms = statistics.fmean(a for _, a, _, _ in rows)
    line = (f"{'mean per molecule':<24}{atoms:>6.0f}{mean_alone / 1000:>7.2f} us{mean_alone / atoms:>8.0f}"
            f"{mean_full / 1000:>7.2f} us{mean_full / atoms:>8.0f}")
    if reference:
        mean_ref = statistics.fmean(r[what] for _, _, _, r in rows)
        line += f"{mean_ref / 1000:>8.2f} us{ratio(mean_ref, mean_alone)}{ratio(mean_ref, mean_full)}"
    print(line)
    print(f"80% full over alone: {mean_full / mean_alone:.2f}")
    if reference:
        print(f"our time over the reference's: {mean_alone / mean_ref:.2f} alone, {mean_full / mean_ref:.2f} 80% full")
    print()


def main():
    toolkit = reference_toolkit()
    rows = []
    with tempfile.TemporaryFile("w+") as out:
        for name, text in CORPUS.items():
            atoms, times = our_times(text, out)
            rows.append((name, atoms, times, reference_times(toolkit, text)))
    print_table("get_smiles, reference MolToSmiles(m, canonical=False)", rows, "smiles", toolkit)
    print_table("get_formula (display lines printed to a file), reference CalcMolFormula", rows, "formula",
                toolkit)
    print(f"str() of a carbon with four bonds: {str_of_four_bonded_atom():.0f} ns")
    reset_registry()


if __name__ == "__main__":
    main()

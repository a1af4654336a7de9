"""A short tour of the Atom library on a few built-in molecules, then of
reading real (aromatic) SMILES through brantor."""
import contextlib
import io

import Atom
import brantor
from Atom import Atom as A

MOLECULES = {
    "ethanol": "CCO",
    "acetic acid": "CC(=O)O",
    "benzene (Kekule)": "C1=CC=CC=C1",
    "acetate": "CC(=O)[O-]",
    "nitromethane": "C[N+](=O)[O-]",
    "dimethyl sulfoxide": "CS(=O)C",
    "caffeine": "CN1C=NC2=C1C(=O)N(C(=O)N2C)C",
    "bicyclopropyl": "C1CC1C1CC1",
}


def quiet_formula(atom):
    """get_formula prints one display line per atom it walks; keep them for later."""
    lines = io.StringIO()
    with contextlib.redirect_stdout(lines):
        formula = Atom.get_formula(atom)
    return formula, lines.getvalue().splitlines()


def section(title):
    print()
    print(title)
    print("-" * len(title))


def main():
    section("The module")
    print("exports:", ", ".join(Atom.__all__))
    print("elements and their [valence electrons, shell capacity]:")
    for symbol, info in A._Atom__element_info.items():
        bonds, lone = A._Atom__bond_num(symbol, 0, 0, None, 0, True)
        print(f"  {symbol:<2} {info}  -> a lone neutral atom holds {bonds} bond(s) and {lone} lone electron(s)")

    section("Creating and bonding atoms")
    c1, c2 = A("C"), A("C")
    print("a carbon comes with its hydrogens:", c1)
    c1.bond_with(c2)
    print("after c1.bond_with(c2):", c1)
    print("registered atoms:", len(A.get_all_atoms()), "| formula:", quiet_formula(c1)[0])
    o = A("O", [c2])
    print("an oxygen built with c2 as partner gives", quiet_formula(o)[0], "->", Atom.get_smiles(o))

    section("Changing an atom, breaking a bond")
    c1.set_charge(1)
    print("c1 as a cation drops a hydrogen:", Atom.get_smiles(c1), quiet_formula(c1)[0])
    c1.set_charge(0)
    print("and takes one back when neutral again:", Atom.get_smiles(c1), quiet_formula(c1)[0])
    A.break_bond(c1, c2)
    print("after breaking c1-c2 each side keeps an electron:", Atom.get_smiles(c1), "and", Atom.get_smiles(c2))
    c1.bond_with(c2, use="lone_electron")
    print("bonding the two radicals through their lone electrons:", Atom.get_smiles(c1))

    section("Reading and writing SMILES")
    for name, text in MOLECULES.items():
        atom = A.from_smiles(text)
        formula, lines = quiet_formula(atom)
        print(f"  {name:<20} {text:<30} {formula:<12} written back as {Atom.get_smiles(atom)}")

    section("Errors name what failed")
    for attempt in (lambda: A("Xe"), lambda: A.from_smiles("C(C"), lambda: c1.bond_with(c1)):
        try:
            attempt()
        except Exception as error:  # the module's own error classes
            print(f"  {type(error).__name__}: {error}")


REAL = {
    "caffeine": "Cn1cnc2c1c(=O)n(C)c(=O)n2C",
    "serotonin": "NCCc1c[nH]c2ccc(O)cc12",
    "L-alanine": "N[C@@H](C)C(=O)O",
    "pyridinium chloride": "c1cc[nH+]cc1.[Cl-]",
}


def real_smiles():
    section("Reading real SMILES through brantor")
    before = len(A.get_all_atoms())
    for name, text in REAL.items():
        with brantor.Readings() as readings:
            roots = readings.read_all(text)
            formulas = " + ".join(quiet_formula(root)[0] for root in roots)
            grams = sum(brantor.mass(root) for root in roots)
            print(f"  {name:<20} {text:<28} -> {brantor.kekulize(text):<28} {formulas:<14} {grams:8.3f} g/mol")
    print(f"registered atoms before and after these readings: {before}, {len(A.get_all_atoms())}")
    try:
        brantor.read("c1cccn1")
    except brantor.ReadError as error:
        print("a pyrrole written without its hydrogen is refused:")
        print("  " + str(error).replace("\n", "\n  "))


if __name__ == "__main__":
    main()
    real_smiles()

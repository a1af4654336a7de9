"""Reading real SMILES through brantor, typed: `mypy --strict` passes on it."""
import brantor
from Atom import Atom

RECORDS = ["c1ccccc1O phenol", "Cn1cnc2c1c(=O)n(C)c(=O)n2C caffeine", "CCN.Cl ethylamine hydrochloride",
           "c1cccn1 pyrrole without its hydrogen"]


def describe(smiles: str) -> str:
    with brantor.Readings() as readings:
        roots: list[Atom] = readings.read_all(smiles)
        weight = sum(brantor.mass(root) for root in roots)
        atoms = sum(len(brantor.structure(root)) for root in roots)
        return f"{brantor.kekulize(smiles)}: {atoms} atoms, {weight:.3f} g/mol"


def main() -> None:
    for record in RECORDS:
        smiles, name = record.split(" ", 1)
        try:
            print(f"{name}: {describe(smiles)}")
        except brantor.ReadError as error:
            print(f"{name}: {error.reason} at {error.position}")
    print("registered after the readings:", len(Atom.get_all_atoms()))


if __name__ == "__main__":
    main()

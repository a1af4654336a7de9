"""Molar masses of structures."""

from __future__ import annotations

import Atom

from brantor.structures import structure

# IUPAC standard atomic weights, as conventional values (sulfur's 32.067 lies in
# its interval [32.059, 32.076] and is the value the reference toolkit uses).
AVERAGE = {"H": 1.008, "C": 12.011, "N": 14.007, "O": 15.999, "P": 30.974, "S": 32.067,
           "F": 18.998, "Cl": 35.453, "Br": 79.904, "I": 126.904}
# Masses of the most abundant isotopes (AME 2020).
MONOISOTOPIC = {"H": 1.00782503223, "C": 12.0, "N": 14.00307400443, "O": 15.99491461957,
                "P": 30.97376199842, "S": 31.9720711744, "F": 18.99840316273, "Cl": 34.968852682,
                "Br": 78.9183376, "I": 126.9044719}
ELECTRON = 0.000548579909


def mass(atom: Atom.Atom | int, monoisotopic: bool = False) -> float:
    """The molar mass of ``atom``'s structure in g/mol: average, from the standard atomic
    weights, or monoisotopic, from the most abundant isotopes less the electrons of a
    net charge."""
    return mass_of_atoms(structure(atom), monoisotopic)


def mass_of_atoms(atoms: list[Atom.Atom], monoisotopic: bool = False) -> float:
    """The molar mass of the atoms given, as :func:`mass` weighs a structure."""
    if not monoisotopic:
        return sum(AVERAGE[each.element] for each in atoms)
    charge = sum(each.charge for each in atoms)
    return sum(MONOISOTOPIC[each.element] for each in atoms) - charge * ELECTRON

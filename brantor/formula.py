"""Hill formulas of several structures together, as a salt or a hydrate is read."""

from __future__ import annotations

from collections import Counter

import Atom

from brantor.structures import structure


def element_counts(roots: list[Atom.Atom]) -> Counter[str]:
    """The elements of the roots' structures, hydrogens included."""
    return Counter(each.element for root in roots for each in structure(root))


def hill_formula(counts: Counter[str]) -> str:
    """Carbon first, then hydrogen, then the rest alphabetically; all alphabetically
    when there is no carbon, as Atom.get_formula writes one structure."""
    order = sorted(counts)
    if "C" in counts:
        order = ["C"] + (["H"] if "H" in counts else []) + [e for e in order if e not in ("C", "H")]
    return "".join(e + (str(counts[e]) if counts[e] > 1 else "") for e in order)

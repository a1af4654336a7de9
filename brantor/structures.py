"""Structures as wholes: every atom bonded to an atom, directly or not, and
their deletion, which gives their ids back to the registry's pool."""

from __future__ import annotations

import Atom

try:
    from brantor import _native
except ImportError as missing:  # the source folder, found first on sys.path, holds no build
    raise ImportError("brantor's extension _native is not built here: install the package (pip install .) and run "
                      "from outside the source folder") from missing


def structure(atom: Atom.Atom | int) -> list[Atom.Atom]:
    """Every atom bonded to ``atom`` directly or not, hydrogens included, ``atom`` first."""
    return _native.structure(Atom.get_atom(atom), Atom.Atom.id_map)


def delete_atoms(atoms: list[Atom.Atom]) -> None:
    """Unregisters the atoms that are still registered."""
    registry = Atom.Atom.id_map
    for atom in atoms:
        if registry.get(atom.id) is atom:
            atom.delete()


def delete_structure(atom: Atom.Atom | int) -> int:
    """Unregisters every atom of ``atom``'s structure and frees their ids; returns how many."""
    atoms = structure(atom)
    for each in atoms:
        each.delete()
    return len(atoms)

"""Structures as wholes: every atom bonded to an atom, directly or not, and
their deletion, which gives their ids back to the registry's pool."""

from __future__ import annotations

import Atom


def structure(atom: Atom.Atom | int) -> list[Atom.Atom]:
    """Every atom bonded to ``atom`` directly or not, hydrogens included, ``atom`` first."""
    start = Atom.get_atom(atom)
    registry = Atom.Atom.id_map
    found = {start.id: start}
    waiting = [start]
    while waiting:
        for id_ in waiting.pop().bonds:
            if id_ not in found:
                neighbour = registry.get(id_)
                if neighbour is not None:  # a bond to an atom deleted alone leads nowhere
                    found[id_] = neighbour
                    waiting.append(neighbour)
    return list(found.values())


def delete_structure(atom: Atom.Atom | int) -> int:
    """Unregisters every atom of ``atom``'s structure and frees their ids; returns how many."""
    atoms = structure(atom)
    for each in atoms:
        each.delete()
    return len(atoms)

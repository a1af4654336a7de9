"""The structure to draw, read once through the module's public attributes into
plain lists: the layout and the picture never touch the registry again."""

from __future__ import annotations

from dataclasses import dataclass, field

import Atom


@dataclass
class Structure:
    """Atoms by position (the first is the atom asked for) and bonds as
    (position, position, order) with the lower position first."""

    ids: list[int] = field(default_factory=list)
    elements: list[str] = field(default_factory=list)
    charges: list[int] = field(default_factory=list)
    lone_electrons: list[int] = field(default_factory=list)
    bonds: list[tuple[int, int, int]] = field(default_factory=list)
    # Neighbour positions per atom, each once whatever the bond order.
    neighbours: list[list[int]] = field(default_factory=list)

    def hydrogen_count(self, i: int) -> int:
        return sum(1 for j in self.neighbours[i] if self.elements[j] == "H")


def atom_of(ref: object) -> Atom.Atom:
    """The registered atom named by an Atom or an id; TypeError for anything else."""
    if isinstance(ref, bool) or not isinstance(ref, (int, Atom.Atom)):
        raise TypeError(f"expected an Atom or an atom id, got {type(ref).__name__}")
    return Atom.Atom.get_atom(ref)


def read_structure(start: Atom.Atom) -> Structure:
    """Everything bonded to `start`, directly or not, in breadth-first order
    (an explicit queue: a long chain never deepens the C stack)."""
    s = Structure()
    position: dict[int, int] = {start.id: 0}
    queue = [start]
    for atom in queue:
        i = position[atom.id]
        s.ids.append(atom.id)
        s.elements.append(atom.element)
        s.charges.append(atom.charge)
        s.lone_electrons.append(atom.lone_electron)
        orders: dict[int, int] = {}
        for other in atom.bonds:
            orders[other] = orders.get(other, 0) + 1
        around = []
        for other, order in orders.items():
            j = position.get(other)
            if j is None:
                j = position[other] = len(position)
                queue.append(Atom.Atom.get_atom(other))
            around.append(j)
            if i < j:
                s.bonds.append((i, j, order))
        s.neighbours.append(around)
    return s


def delete_structure(atom: Atom.Atom) -> None:
    """Gives the ids of the whole structure back to the registry."""
    for id_ in read_structure(atom).ids:
        Atom.Atom.get_atom(id_).delete()

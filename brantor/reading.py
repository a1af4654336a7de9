"""Reading SMILES as real data holds them: the text is turned into the Kekulé
form that ``Atom.from_smiles`` reads, then read one structure at a time."""

from __future__ import annotations

from types import TracebackType

import Atom

from brantor import _native
from brantor.errors import ReadError
from brantor.structures import delete_structure


def kekulize(smiles: str, strict: bool = False) -> str:
    """The text in the form ``Atom.from_smiles`` reads, with the same atoms in the same order:
    aromatic systems as Kekulé structures, ``[H]`` atoms folded into their neighbours'
    hydrogen counts, stereo marks and atom maps dropped (refused with ``strict``)."""
    try:
        return _native.kekulize(smiles, strict)
    except ValueError as error:
        raise ReadError(smiles, error.args[1], error.args[0]) from None


def read(smiles: str) -> Atom.Atom:
    """One structure, registered with its hydrogens; returns the first atom written."""
    text = kekulize(smiles)
    if "." in text:
        raise ReadError(smiles, smiles.index("."), "'.' separates structures: read_all reads each of them")
    return _read_component(smiles, text, 0)


def read_all(smiles: str) -> list[Atom.Atom]:
    """Every structure of the text (parts separated by '.'), one atom each, in text order.
    When one part fails, none of them stays registered."""
    text = kekulize(smiles)
    atoms: list[Atom.Atom] = []
    try:
        for component, part in enumerate(text.split(".")):
            atoms.append(_read_component(smiles, part, component))
    except BaseException:
        for atom in atoms:
            delete_structure(atom)
        raise
    return atoms


def _read_component(smiles: str, text: str, component: int) -> Atom.Atom:
    try:
        return Atom.Atom.from_smiles(text)
    except Atom.SmilesError as error:
        inner = error.__cause__
        if isinstance(inner, Atom.IdError):
            raise inner from None  # the registry is full: no fault of the text
        raise _refused(smiles, component, inner or error) from inner or error


def _refused(smiles: str, component: int, inner: BaseException) -> ReadError:
    """The error of a structure the valence model refuses, at the first atom it refuses alone."""
    message = str(inner).split("] ", 1)[-1] if str(inner).startswith("[") else str(inner)
    reason = f"the valence model refuses this atom ({type(inner).__name__}: {message})"
    atoms = [(position, star) for part, position, star in _native.atoms(smiles) if part == component]
    for position, star in atoms:
        if not _reads(star):
            return ReadError(smiles, position, reason)
    return ReadError(smiles, atoms[0][0], f"the valence model refuses this structure ({message})")


def _reads(text: str) -> bool:
    try:
        delete_structure(Atom.Atom.from_smiles(text))
    except Atom.SmilesError as error:
        return isinstance(error.__cause__, Atom.IdError)
    return True


class Readings:
    """Structures read through it are deleted when its ``with`` block ends::

        with brantor.Readings() as readings:
            phenol = readings.read("c1ccccc1O")
            ...                       # phenol's 13 atoms are registered here
        # ... and gone here, their ids back in the pool.
    """

    def __init__(self) -> None:
        self._roots: list[Atom.Atom] = []

    def read(self, smiles: str) -> Atom.Atom:
        """:func:`brantor.read`, the structure deleted at the block's end."""
        atom = read(smiles)
        self._roots.append(atom)
        return atom

    def read_all(self, smiles: str) -> list[Atom.Atom]:
        """:func:`brantor.read_all`, the structures deleted at the block's end."""
        atoms = read_all(smiles)
        self._roots.extend(atoms)
        return atoms

    def close(self) -> None:
        """Deletes the structures read so far (those still registered)."""
        roots, self._roots = self._roots, []
        for atom in roots:
            if Atom.Atom.id_map.get(atom.id) is atom:
                delete_structure(atom)

    def __enter__(self) -> Readings:
        return self

    def __exit__(self, kind: type[BaseException] | None, error: BaseException | None,
                 traceback: TracebackType | None) -> None:
        self.close()

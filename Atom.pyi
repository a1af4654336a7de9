"""Types of the Atom extension module: the class Atom, its error classes and the
module-level aliases of its class methods."""

from typing import Any, ClassVar, Literal, overload

__all__ = [
    "Atom",
    "bond",
    "delete_atom",
    "from_smiles",
    "get_all_atoms",
    "get_atom",
    "get_formula",
    "get_atom_id",
    "get_smiles",
    "reset_tags",
]

# An atom named by the object or by its id.
_AtomRef = int | Atom

class Atom:
    _Atom__element_info: ClassVar[dict[str, list[int]]]
    id_map: ClassVar[dict[int, Atom]]
    _Atom__id_pool: ClassVar[list[int]]
    access_tag: bool
    bonds: list[int]
    charge: int
    element: str
    id: int
    lone_electron: int
    # bonds: a list of atoms, of ids, or of both (one overload each, as lists
    # are invariant: a list[Atom] is no list[int | Atom]).
    @overload
    def __init__(
        self,
        element: str = "H",
        bonds: list[int | Atom] | None = None,
        charge: int = 0,
        lone_electron: int | None = None,
        bond_: bool = True,
        auto_modify: bool = False,
    ) -> None: ...
    @overload
    def __init__(
        self,
        element: str = "H",
        bonds: list[Atom] = ...,
        charge: int = 0,
        lone_electron: int | None = None,
        bond_: bool = True,
        auto_modify: bool = False,
    ) -> None: ...
    @overload
    def __init__(
        self,
        element: str = "H",
        bonds: list[int] = ...,
        charge: int = 0,
        lone_electron: int | None = None,
        bond_: bool = True,
        auto_modify: bool = False,
    ) -> None: ...
    @classmethod
    def _Atom__generate_id(cls) -> int: ...
    @classmethod
    def _Atom__bond_num(
        cls,
        element: str,
        charge: int,
        lone_electron: int,
        existing_bond: list[int] | None = None,
        id_: int = 0,
        auto_modify: bool = False,
    ) -> tuple[int, int]: ...
    @classmethod
    def _Atom__remove_hydro(cls, bonds: list[int]) -> list[int]: ...
    # The module's own annotation of use names "all", a value that never forms a
    # bond (bond passes use on to bond_with, which knows "both"); the modes that
    # work are the ones accepted here.
    @classmethod
    def bond(
        cls,
        atom_1: _AtomRef,
        atom_2: _AtomRef,
        use: Literal["hydro", "lone_electron", "both"] = "hydro",
        allow_carbene: bool = False,
    ) -> None: ...
    @classmethod
    def break_bond(cls, atom_1: _AtomRef, atom_2: _AtomRef) -> None: ...
    @classmethod
    def delete_atom(cls, atom: _AtomRef) -> None: ...
    # The reading as callers use it returns the first atom; the nested calls of
    # the reading itself (top false) return the atom and its bond order.
    @overload
    @classmethod
    def from_smiles(cls, smiles: str, top: Literal[True] = True, val: list[Any] | None = None) -> Atom: ...
    @overload
    @classmethod
    def from_smiles(cls, smiles: str, top: Literal[False], val: list[Any] | None = None) -> tuple[Atom, int]: ...
    @overload
    @classmethod
    def from_smiles(cls, smiles: str, top: bool, val: list[Any] | None = None) -> Atom | tuple[Atom, int]: ...
    @classmethod
    def get_all_atoms(cls) -> list[Atom]: ...
    @classmethod
    def get_atom(cls, atom: _AtomRef) -> Atom: ...
    @classmethod
    def get_atom_id(cls, atom: _AtomRef) -> int: ...
    @classmethod
    def get_formula(cls, atom: _AtomRef) -> str: ...
    @classmethod
    def get_smiles(cls, atom: _AtomRef) -> str: ...
    @classmethod
    def reset_tags(cls) -> None: ...
    def bond_with(
        self,
        atom: _AtomRef,
        bond_back: bool = True,
        use: Literal["hydro", "lone_electron", "both"] = "hydro",
        allow_carbene: bool = False,
    ) -> None: ...
    def break_bond_with(self, atom: _AtomRef, break_bond_back: bool = True) -> None: ...
    def delete(self) -> None: ...
    def get_bonds(self) -> list[int]: ...
    def get_charge(self) -> int: ...
    def get_element(self) -> str: ...
    def get_id(self) -> int: ...
    def get_lone_electron(self) -> int: ...
    def set_charge(self, charge: int) -> None: ...
    def set_element(self, element: str) -> None: ...
    def set_lone_electron(self, lone_electron: int, auto_modify: bool = False) -> None: ...
    def survive(self) -> None: ...
    # val is the walk's own state (a tally of elements, a table of rings).
    def to_formula(self, top: bool = True, val: Any = None) -> str: ...
    def to_smiles(self, top: bool = True, val: Any = None) -> str: ...

class AtomError(Exception):
    atom: int
    message: str
    def __init__(self, message: str, atom: int) -> None: ...

class BondError(Exception):
    atom: int
    message: str
    def __init__(self, message: str, atom: int) -> None: ...

class ChargeError(Exception):
    atom: int
    message: str
    def __init__(self, message: str, atom: int) -> None: ...

class ElementError(Exception):
    atom: int
    message: str
    def __init__(self, message: str, atom: int) -> None: ...

class IdError(Exception):
    message: str
    def __init__(self, message: str) -> None: ...

class LoneElectronError(Exception):
    atom: int
    message: str
    def __init__(self, message: str, atom: int) -> None: ...

class SmilesError(Exception):
    atom: int | None
    message: str
    def __init__(self, message: str, atom: int | None) -> None: ...

def bond(
    atom_1: _AtomRef,
    atom_2: _AtomRef,
    use: Literal["hydro", "lone_electron", "both"] = "hydro",
    allow_carbene: bool = False,
) -> None: ...
def break_bond(atom_1: _AtomRef, atom_2: _AtomRef) -> None: ...
def delete_atom(atom: _AtomRef) -> None: ...
@overload
def from_smiles(smiles: str, top: Literal[True] = True, val: list[Any] | None = None) -> Atom: ...
@overload
def from_smiles(smiles: str, top: Literal[False], val: list[Any] | None = None) -> tuple[Atom, int]: ...
@overload
def from_smiles(smiles: str, top: bool, val: list[Any] | None = None) -> Atom | tuple[Atom, int]: ...
def get_all_atoms() -> list[Atom]: ...
def get_atom(atom: _AtomRef) -> Atom: ...
def get_atom_id(atom: _AtomRef) -> int: ...
def get_formula(atom: _AtomRef) -> str: ...
def get_smiles(atom: _AtomRef) -> str: ...
def reset_tags() -> None: ...

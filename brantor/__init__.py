"""brantor: what users of the ``Atom`` module need beyond its core.

The package builds on the module's public API only and leaves the module's
surface as it is.
"""

from __future__ import annotations

from brantor.errors import ReadError
from brantor.mass import mass
from brantor.reading import Readings, kekulize, read, read_all
from brantor.structures import delete_structure, structure

__all__: list[str] = [
    "ReadError",
    "Readings",
    "delete_structure",
    "kekulize",
    "mass",
    "read",
    "read_all",
    "structure",
]

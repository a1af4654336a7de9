"""The error of a text that cannot be read."""

from __future__ import annotations


class ReadError(ValueError):
    """A SMILES text that cannot be read: ``position`` indexes the text at fault
    and ``reason`` says what is wrong there. When the module's valence model
    refuses the structure, its error is the ``__cause__``."""

    smiles: str
    position: int
    reason: str

    def __init__(self, smiles: str, position: int, reason: str) -> None:
        super().__init__(smiles, position, reason)
        self.smiles = smiles
        self.position = position
        self.reason = reason

    def __str__(self) -> str:
        return f"{self.reason} (at position {self.position})\n    {self.smiles}\n    {' ' * self.position}^"

"""Hydrogens placed around the laid-out frame (in C++, native/draw_hydrogens.cpp):
each parent's hydrogens go into its widest free sectors at one bond length, in
the arrangement (evenly spread, or drawn closer to the sector's middle, or in
another sector) that keeps them clearest of everything already drawn; crowded
parents are placed once more when all their neighbours' hydrogens are there."""

from __future__ import annotations

from . import _native
from .draw_geometry import Point
from .draw_structure import Structure


def place_hydrogens(s: Structure, xy: dict[int, Point]) -> dict[int, Point]:
    """The frame's positions, then those of the atoms hanging on it, as placed."""
    placed = dict(xy)
    bonds = [(i, j) for i, j, _ in s.bonds]
    for h, x, y in _native.place_hydrogens(s.neighbours, list(xy), list(xy.values()), bonds):
        placed[h] = (x, y)
    return placed

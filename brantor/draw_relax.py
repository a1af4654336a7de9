"""A last, local relaxation for crowded structures (in C++, native/draw_relax.cpp):
where hydrogens placed around a fixed frame still come too close to other atoms
or bonds, every atom moves a little (the frame held near its place, bonds held
at one length) until the crowding eases. It keeps a table of every pair of
atoms: the structures that get here have at most a thousand."""

from __future__ import annotations

from . import _native
from .draw_geometry import Point


def swing_hydrogens(xy: dict[int, Point], bonds: list[tuple[int, int]], frame: set[int]) -> dict[int, Point]:
    """The hydrogens alone swing about their parents, quickly, while that helps."""
    return relax(xy, bonds, frame, whole=False)


def relax(xy: dict[int, Point], bonds: list[tuple[int, int]], frame: set[int], whole: bool = True,
          swing: bool = True) -> dict[int, Point]:
    """First (if swing) the hydrogens alone swing about their parents, quickly;
    then (if whole) quick projected steps of every atom, kept when they leave
    nothing crowded, else slow steps, the frame held near its place."""
    keys = list(xy)
    index = {k: n for n, k in enumerate(keys)}
    moved = _native.relax(list(xy.values()), [(index[i], index[j]) for i, j in bonds], [k in frame for k in keys],
                          whole, swing)
    return dict(zip(keys, moved))

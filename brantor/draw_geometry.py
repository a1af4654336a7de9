"""Small plane geometry for the pictures: points are (x, y) tuples in bond
lengths, y pointing up; angles in radians. The heavy parts (the crowding check,
hydrogen placement, the relaxation) run in C++, native/draw_*.cpp."""

from __future__ import annotations

import math

from . import _native

Point = tuple[float, float]


def angle_to(a: Point, b: Point) -> float:
    return math.atan2(b[1] - a[1], b[0] - a[0])


def step(a: Point, angle: float, length: float = 1.0) -> Point:
    return (a[0] + length * math.cos(angle), a[1] + length * math.sin(angle))


def free_directions(taken: list[float], count: int) -> list[float]:
    """Directions for `count` items shared out over the free sectors between the
    taken directions, each to the sector that leaves it most room, evenly spaced
    in its sector."""
    return _native.free_directions(taken, count)


def crowded(xy: dict[int, Point], bonds: list[tuple[int, int]]) -> bool:
    """Whether the drawing breaks its rules, with some room: two atoms not
    bonded together closer than 0.55 bond lengths, an atom within 0.42 of a
    bond it is not part of, or a bond more than 9% off one length."""
    index = {k: n for n, k in enumerate(xy)}
    return _native.crowded(list(xy.values()), [(index[i], index[j]) for i, j in bonds])

"""Hydrogens placed around the laid-out frame: each parent's hydrogens go into
its widest free sectors at one bond length, in the arrangement (evenly spread,
or drawn closer to the sector's middle, or in another sector) that keeps them
clearest of everything already drawn; crowded parents are placed once more when
all their neighbours' hydrogens are there."""

from __future__ import annotations

import math
from collections.abc import Iterator

from .draw_geometry import TAU, Grid, Point, angle_to, angular_gaps, spread, step
from .draw_geometry import clearance as clear_of
from .draw_structure import Structure

# Hydrogens at least this far from every other atom and bond need no second look.
CLEAR = 0.62


def place_hydrogens(s: Structure, xy: dict[int, Point]) -> dict[int, Point]:
    grid = Grid()
    for i, p in xy.items():
        grid.add_point(i, p)
    for i, j, _ in s.bonds:
        if i in xy and j in xy:
            grid.add_segment(i, j, xy[i], xy[j])
    parents = {i: [j for j in s.neighbours[i] if j not in xy] for i in list(xy)}
    parents = {i: hs for i, hs in parents.items() if hs}
    placed = dict(xy)
    crowded = [p for p, hs in parents.items() if place_around(p, hs, s, placed, grid) < CLEAR]
    for _ in range(3):
        crowded = [p for p in crowded if replace_around(p, parents[p], s, placed, grid) < CLEAR]
    return placed


def replace_around(parent: int, hydrogens: list[int], s: Structure, placed: dict[int, Point], grid: Grid) -> float:
    for h in hydrogens:
        grid.remove_point(h, placed[h])
        grid.remove_segment(parent, h, placed[parent], placed[h])
    return place_around(parent, hydrogens, s, placed, grid)


def place_around(parent: int, hydrogens: list[int], s: Structure, placed: dict[int, Point], grid: Grid) -> float:
    """Places the parent's hydrogens; returns the clearance they were given."""
    centre = placed[parent]
    frame_angles = [angle_to(centre, placed[j]) for j in s.neighbours[parent] if j in placed and j not in hydrogens]
    points, segments = grid.around(centre, parent)
    best: list[float] = []
    best_clearance = -1.0
    for directions in arrangements(frame_angles, len(hydrogens)):
        clearance = min(clear_of(step(centre, a), points, segments) for a in directions)
        if clearance > best_clearance + 1e-6:
            best, best_clearance = directions, clearance
        if clearance >= CLEAR:
            break
    for h, a in zip(hydrogens, best):
        placed[h] = step(centre, a)
        grid.add_point(h, placed[h])
        grid.add_segment(parent, h, centre, placed[h])
    return best_clearance


def arrangements(frame_angles: list[float], count: int) -> Iterator[list[float]]:
    """Candidate directions for `count` hydrogens, the preferred first: spread
    evenly or drawn in, then turned a little either way, never nearer than
    35 degrees to one of the parent's frame bonds."""
    gaps = angular_gaps(frame_angles)
    if not frame_angles:
        # Alone: one to the right, two bent below (as water is drawn), more evenly round.
        first = {1: 0.0, 2: -5 * math.pi / 6}.get(count, math.pi / 2)
        yield [first + k * (2 * math.pi / count if count != 2 else 2 * math.pi / 3) for k in range(count)]
        return
    if count == 1 and len(frame_angles) == 1:
        # A bent end (C-O-H) on either side before a straight one.
        yield [frame_angles[0] + 2 * math.pi / 3]
        yield [frame_angles[0] - 2 * math.pi / 3]
    squeezes = (0.75, 1.0, 0.55, 0.4) if (len(frame_angles), count) == (2, 2) else (1.0, 0.75, 0.55, 0.4)
    spreads = [spread(gaps, count, squeeze) for squeeze in squeezes]
    for turn in TURNS:
        for base in spreads:
            directions = [a + turn for a in base]
            if not turn or all(min_separation(a, frame_angles) >= NEAREST_TO_BOND for a in directions):
                yield directions
    if count == 1 and len(frame_angles) >= 3:
        # At a ring fusion every sector is a ring's inside: try the others too.
        for start, size in gaps[1:]:
            yield [start + size / 2]


TURNS = tuple(math.radians(t) for t in (0, 15, -15, 30, -30, 45, -45, 60, -60))
NEAREST_TO_BOND = math.radians(35)


def min_separation(angle: float, others: list[float]) -> float:
    return min(abs((angle - other + math.pi) % TAU - math.pi) for other in others)

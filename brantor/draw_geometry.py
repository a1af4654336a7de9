"""Small plane geometry for the pictures: points are (x, y) tuples in bond
lengths, y pointing up; angles in radians."""

from __future__ import annotations

import math

Point = tuple[float, float]
TAU = 2 * math.pi


def angle_to(a: Point, b: Point) -> float:
    return math.atan2(b[1] - a[1], b[0] - a[0])


def step(a: Point, angle: float, length: float = 1.0) -> Point:
    return (a[0] + length * math.cos(angle), a[1] + length * math.sin(angle))


def angular_gaps(angles: list[float]) -> list[tuple[float, float]]:
    """(start, size) of the free sectors between directions, largest first;
    one full turn when there is a single direction or none."""
    if not angles:
        return [(math.pi / 2, TAU)]
    ordered = sorted(a % TAU for a in angles)
    gaps = [(a, (ordered[(i + 1) % len(ordered)] - a) % TAU or TAU) for i, a in enumerate(ordered)]
    gaps.sort(key=lambda gap: -gap[1])
    return gaps


def spread(gaps: list[tuple[float, float]], count: int, squeeze: float = 1.0) -> list[float]:
    """Directions for `count` items shared out over the gaps, each to the gap
    that leaves it most room, evenly spaced in its gap (closer to the gap's
    middle when squeeze < 1)."""
    shares = [0] * len(gaps)
    for _ in range(count):
        # Near ties go to the wider gap: both hydrogens of a ring CH2 outside the ring.
        best = max(range(len(gaps)), key=lambda g: gaps[g][1] / (shares[g] + 1) + 0.1 * gaps[g][1])
        shares[best] += 1
    directions: list[float] = []
    for (start, size), share in zip(gaps, shares):
        middle, gap_step = start + size / 2, size / (share + 1) * squeeze
        directions.extend(middle + (t - (share - 1) / 2) * gap_step for t in range(share))
    return directions


class Grid:
    """Points and segments hashed into unit cells, for the near ones only."""

    def __init__(self) -> None:
        self.points: dict[tuple[int, int], list[tuple[int, Point]]] = {}
        self.segments: dict[tuple[int, int], list[tuple[int, int, Point, Point]]] = {}

    @staticmethod
    def cell(p: Point) -> tuple[int, int]:
        return (math.floor(p[0]), math.floor(p[1]))

    def add_point(self, key: int, p: Point) -> None:
        self.points.setdefault(self.cell(p), []).append((key, p))

    def remove_point(self, key: int, p: Point) -> None:
        self.points[self.cell(p)].remove((key, p))

    def add_segment(self, i: int, j: int, a: Point, b: Point) -> None:
        middle = ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2)
        self.segments.setdefault(self.cell(middle), []).append((i, j, a, b))

    def remove_segment(self, i: int, j: int, a: Point, b: Point) -> None:
        middle = ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2)
        self.segments[self.cell(middle)].remove((i, j, a, b))

    def around(self, p: Point, owner: int) -> tuple[list[Point], list[Segment]]:
        """The points and segments near p (within two cells) that are not
        owner's: enough to judge any spot one bond length from p."""
        cx, cy = math.floor(p[0]), math.floor(p[1])
        points: list[Point] = []
        segments: list[Segment] = []
        for x in range(cx - 2, cx + 3):
            for y in range(cy - 2, cy + 3):
                points += [q for key, q in self.points.get((x, y), ()) if key != owner]
                segments += [as_segment(a, b) for i, j, a, b in self.segments.get((x, y), ())
                             if owner != i and owner != j]
        return points, segments


# A segment as its start, its vector and its squared length.
Segment = tuple[float, float, float, float, float]


def as_segment(a: Point, b: Point) -> Segment:
    return a[0], a[1], b[0] - a[0], b[1] - a[1], (b[0] - a[0]) ** 2 + (b[1] - a[1]) ** 2


def clearance(p: Point, points: list[Point], segments: list[Segment], limit: float = 1.0) -> float:
    """Distance from p to the nearest of the points and segments, capped at limit."""
    px, py = p
    best2 = limit * limit
    for qx, qy in points:
        d2 = (px - qx) ** 2 + (py - qy) ** 2
        if d2 < best2:
            best2 = d2
    for ax, ay, dx, dy, length2 in segments:
        t = ((px - ax) * dx + (py - ay) * dy) / length2 if length2 else 0.0
        t = 0.0 if t < 0 else 1.0 if t > 1 else t
        d2 = (px - ax - t * dx) ** 2 + (py - ay - t * dy) ** 2
        if d2 < best2:
            best2 = d2
    return math.sqrt(best2)


def crowded(xy: dict[int, Point], bonds: list[tuple[int, int]]) -> bool:
    """Whether the drawing breaks its rules, with some room: two atoms not
    bonded together closer than 0.55 bond lengths, an atom within 0.42 of a
    bond it is not part of, or a bond more than 9% off one length."""
    grid = Grid()
    bonded = set()
    for i, j in bonds:
        if abs(math.dist(xy[i], xy[j]) - 1) > 0.09:
            return True
        bonded.add((i, j))
        bonded.add((j, i))
        grid.add_segment(i, j, xy[i], xy[j])
    for i, p in xy.items():
        grid.add_point(i, p)
    for i, (px, py) in xy.items():
        cx, cy = math.floor(px), math.floor(py)
        for cell in ((x, y) for x in (cx - 1, cx, cx + 1) for y in (cy - 1, cy, cy + 1)):
            for j, (qx, qy) in grid.points.get(cell, ()):
                if (px - qx) ** 2 + (py - qy) ** 2 < 0.55 ** 2 and j != i and (i, j) not in bonded:
                    return True
            for a, b, (ax, ay), (bx, by) in grid.segments.get(cell, ()):
                near = min(ax, bx) - 0.42 < px < max(ax, bx) + 0.42 and min(ay, by) - 0.42 < py < max(ay, by) + 0.42
                if near and i != a and i != b and clearance((px, py), [], [as_segment((ax, ay), (bx, by))]) < 0.42:
                    return True
    return False

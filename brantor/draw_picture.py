"""The SVG text of a laid-out structure: bonds as lines, one <text> per label,
lone electrons as dots. Geometry is in bond lengths with y up until written."""

from __future__ import annotations

import math
from collections.abc import Callable
from dataclasses import dataclass, field
from xml.sax.saxutils import escape

from .draw_geometry import Point, angle_to, free_directions, step
from .draw_labels import FONT, SMALL, SUB_SHIFT, SUP_SHIFT, Label, exit_distance, hydrogens_go_left, make_label
from .draw_structure import Structure

PIXELS = 40.0  # one bond length
MARGIN = 0.6
GAP = 0.06  # between a bond's end and a label
DOUBLE_OFFSET = 0.16
DOT_RADIUS = 0.04
DOT_PAIR = 0.065
COLOURS = {"O": "#d11", "N": "#22c", "S": "#b80", "P": "#e70", "F": "#090", "Cl": "#090",
           "Br": "#a22", "I": "#729"}


@dataclass
class Scene:
    """What the picture shows: atoms drawn, their positions and labels, and the
    lines and dots collected before they are written out."""

    s: Structure
    xy: dict[int, Point]
    rings: list[list[int]]
    labels: dict[int, Label] = field(default_factory=dict)
    lines: list[tuple[int, int, int, list[tuple[Point, Point]]]] = field(default_factory=list)
    dots: dict[int, list[Point]] = field(default_factory=dict)


def build_scene(s: Structure, xy: dict[int, Point], rings: list[list[int]], lone_electrons: bool,
                skeletal: bool) -> Scene:
    scene = Scene(s, xy, rings)
    for i in xy:
        drawn = [j for j in s.neighbours[i] if j in xy]
        angles = [angle_to(xy[i], xy[j]) for j in drawn]
        folded = len(s.neighbours[i]) - len(drawn)
        if not skeletal or needs_label(s, i, len(drawn)):
            left = hydrogens_go_left(angles)
            scene.labels[i] = make_label(s.elements[i], folded, s.charges[i], xy[i], left)
            if folded:
                angles.append(math.pi if left else 0.0)
            if s.charges[i]:
                angles.append(math.atan2(1, -1 if left and not folded else 1))
        if lone_electrons and s.lone_electrons[i] and i in scene.labels:
            scene.dots[i] = place_dots(scene.labels[i], xy[i], angles, s.lone_electrons[i])
    for i, j, order in s.bonds:
        if i in xy and j in xy:
            scene.lines.append((i, j, order, bond_lines(scene, i, j, order)))
    return scene


def needs_label(s: Structure, i: int, drawn_neighbours: int) -> bool:
    """In the skeletal form a carbon is a bare vertex unless it ends a chain or
    carries a charge or lone electrons."""
    return s.elements[i] != "C" or drawn_neighbours <= 1 or bool(s.charges[i]) or bool(s.lone_electrons[i])


def place_dots(label: Label, centre: Point, taken: list[float], count: int) -> list[Point]:
    """Pairs first, then a single electron, in the widest free sectors, just
    outside the label."""
    units = [2] * (count // 2) + [1] * (count % 2)
    if taken:
        directions = free_directions(taken, len(units))
    else:
        directions = [math.pi / 2 + k * 2 * math.pi / len(units) for k in range(len(units))]
    dots = []
    for electrons, angle in zip(units, directions):
        middle = step(centre, angle, exit_distance(label.box, centre, angle) + 0.1)
        if electrons == 1:
            dots.append(middle)
        else:
            across = angle + math.pi / 2
            dots += [step(middle, across, DOT_PAIR), step(middle, across, -DOT_PAIR)]
    return dots


def trimmed(scene: Scene, i: int, j: int) -> tuple[Point, Point]:
    """The bond i-j cut back where it meets a label."""
    a, b = scene.xy[i], scene.xy[j]
    forward = angle_to(a, b)
    if i in scene.labels:
        a = step(a, forward, exit_distance(scene.labels[i].box, a, forward) + GAP)
    if j in scene.labels:
        b = step(b, forward + math.pi, exit_distance(scene.labels[j].box, b, forward + math.pi) + GAP)
    return a, b


def bond_lines(scene: Scene, i: int, j: int, order: int) -> list[tuple[Point, Point]]:
    ends = trimmed(scene, i, j)
    if order == 1:
        return [ends]
    side = inner_side(scene, i, j)
    if order == 2 and side:
        # The second line inside the ring (or on the side of the other bonds), shorter.
        return [ends, shifted(scene, i, j, ends, side * DOUBLE_OFFSET, 0.14)]
    half = DOUBLE_OFFSET / 2 if order == 2 else DOUBLE_OFFSET
    offsets = [-half, half] if order == 2 else [-half, 0.0, half]
    return [shifted(scene, i, j, ends, offset, 0.0) for offset in offsets]


def shifted(scene: Scene, i: int, j: int, ends: tuple[Point, Point], offset: float,
            shorten: float) -> tuple[Point, Point]:
    """The trimmed bond i-j moved sideways by offset, shortened at bare vertices."""
    a, b = ends
    angle = angle_to(scene.xy[i], scene.xy[j])
    length = math.dist(a, b)
    cut = shorten * math.dist(scene.xy[i], scene.xy[j]) if i not in scene.labels else 0.0
    cut_end = shorten * math.dist(scene.xy[i], scene.xy[j]) if j not in scene.labels else 0.0
    cut, cut_end = min(cut, length / 3), min(cut_end, length / 3)
    normal = angle + math.pi / 2
    return (step(step(a, angle, cut), normal, offset), step(step(b, angle, -cut_end), normal, offset))


def inner_side(scene: Scene, i: int, j: int) -> int:
    """+1 or -1: the side of the bond i-j (left of i->j is +1) where a ring's
    inside is, or else where the other bonds of two bare vertices go; 0 for a
    bond drawn evenly on both sides."""
    a, b = scene.xy[i], scene.xy[j]
    for ring in scene.rings:
        if i in ring and j in ring:
            points = [scene.xy[k] for k in ring]
            return side_of(a, b, (sum(p[0] for p in points) / len(points), sum(p[1] for p in points) / len(points)))
    if i in scene.labels or j in scene.labels:
        return 0
    others = [scene.xy[k] for end in (i, j) for k in scene.s.neighbours[end]
              if k in scene.xy and k not in (i, j)]
    total = sum(side_of(a, b, p) for p in others)
    return (total > 0) - (total < 0) or 1


def side_of(a: Point, b: Point, p: Point) -> int:
    cross = (b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0])
    return 1 if cross > 0 else -1


def write_svg(scene: Scene, size: tuple[float, float] | None) -> str:
    xs, ys = [p[0] for p in scene.xy.values()], [p[1] for p in scene.xy.values()]
    for label in scene.labels.values():
        xs += [label.box[0], label.box[2]]
        ys += [label.box[1], label.box[3]]
    for dots in scene.dots.values():
        xs += [p[0] for p in dots]
        ys += [p[1] for p in dots]
    left, top = min(xs) - MARGIN, max(ys) + MARGIN
    width, height = (max(xs) - min(xs) + 2 * MARGIN) * PIXELS, (max(ys) - min(ys) + 2 * MARGIN) * PIXELS

    def at(p: Point) -> tuple[str, str]:
        return f"{(p[0] - left) * PIXELS:.1f}", f"{(top - p[1]) * PIXELS:.1f}"

    shown = (width, height) if size is None else fitted(width, height, size)
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 {width:.1f} {height:.1f}" '
           f'width="{shown[0]:.1f}" height="{shown[1]:.1f}" font-family="DejaVu Sans, Arial, sans-serif" '
           f'font-size="{FONT * PIXELS:.1f}">',
           f'<rect width="{width:.1f}" height="{height:.1f}" fill="#fff"/>',
           '<g stroke="#000" stroke-width="1.6" stroke-linecap="round">']
    for i, j, order, lines in scene.lines:
        out.append(f'<g class="bond" data-atoms="{scene.s.ids[i]} {scene.s.ids[j]}" data-order="{order}">')
        for a, b in lines:
            (x1, y1), (x2, y2) = at(a), at(b)
            out.append(f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}"/>')
        out.append("</g>")
    out.append("</g>")
    for i in scene.xy:
        if i not in scene.labels and i not in scene.dots:
            continue
        colour = COLOURS.get(scene.s.elements[i], "#000")
        out.append(f'<g class="atom" data-atom="{scene.s.ids[i]}" data-element="{escape(scene.s.elements[i])}" '
                   f'fill="{colour}">')
        if i in scene.labels:
            out.append(label_text(scene.labels[i], at))
        for dot in scene.dots.get(i, ()):
            x, y = at(dot)
            out.append(f'<circle class="electron" cx="{x}" cy="{y}" r="{DOT_RADIUS * PIXELS:.1f}"/>')
        out.append("</g>")
    out.append("</svg>")
    return "\n".join(out)


def label_text(label: Label, at: Callable[[Point], tuple[str, str]]) -> str:
    x, y = at(label.start)
    parts = [f'<text x="{x}" y="{y}">']
    shift = 0.0  # the baseline shift in force, in font sizes
    for text, kind in label.runs:
        wanted = {"normal": 0.0, "sub": SUB_SHIFT, "sup": SUP_SHIFT}[kind]
        dy = f' dy="{(wanted - shift) * FONT * PIXELS:.1f}"' if wanted != shift else ""
        small = f' font-size="{FONT * SMALL * PIXELS:.1f}"' if kind != "normal" else ""
        parts.append(f"<tspan{dy}{small}>{escape(text)}</tspan>")
        shift = wanted
    parts.append("</text>")
    return "".join(parts)


def fitted(width: float, height: float, size: tuple[float, float]) -> tuple[float, float]:
    scale = min(size[0] / width, size[1] / height)
    return width * scale, height * scale

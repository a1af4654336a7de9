"""Atom labels: the text of each (element, folded hydrogens, charge) as runs of
normal, subscript and superscript text, where it starts, and the box it fills.
Widths are those of a common sans-serif face, rounded up, in font sizes."""

from __future__ import annotations

import math
from dataclasses import dataclass

from .draw_geometry import Point

# Font size in bond lengths; sub- and superscripts are drawn smaller and shifted.
FONT = 0.4
SMALL = 0.7
SUB_SHIFT = 0.3
SUP_SHIFT = -0.45
CAP_HEIGHT = 0.75
MINUS = "\u2212"


def char_width(c: str) -> float:
    if c.isupper():
        return 0.78
    if c in "+=" + MINUS:
        return 0.84
    return 0.64


def run_width(text: str, kind: str) -> float:
    return sum(char_width(c) for c in text) * FONT * (SMALL if kind != "normal" else 1.0)


@dataclass
class Label:
    """Runs of (text, kind) with kind normal, sub or sup; `start` is the left
    end of the text's baseline; `box` is (left, bottom, right, top), y up."""

    runs: list[tuple[str, str]]
    start: Point
    box: tuple[float, float, float, float]


def charge_text(charge: int) -> str:
    sign = "+" if charge > 0 else MINUS
    return sign if abs(charge) == 1 else f"{abs(charge)}{sign}"


def make_label(element: str, hydrogens: int, charge: int, centre: Point, hydrogens_left: bool) -> Label:
    """The label centred on the element's symbol, folded hydrogens on the given side."""
    h_runs = [("H", "normal")] + ([(str(hydrogens), "sub")] if hydrogens > 1 else []) if hydrogens else []
    before = h_runs if hydrogens_left else []
    runs = before + [(element, "normal")] + ([] if hydrogens_left else h_runs)
    if charge:
        runs.append((charge_text(charge), "sup"))
    left = centre[0] - sum(run_width(t, k) for t, k in before) - run_width(element, "normal") / 2
    right = left + sum(run_width(t, k) for t, k in runs)
    half = CAP_HEIGHT * FONT / 2
    bottom = centre[1] - half - (SUB_SHIFT * FONT if hydrogens > 1 else 0.0)
    top = centre[1] + half + (FONT * 0.2 if charge else 0.0)
    return Label(runs, (left, centre[1] - half), (left, bottom, right, top))


def exit_distance(box: tuple[float, float, float, float], centre: Point, angle: float) -> float:
    """How far a ray from the centre runs before it leaves the box."""
    dx, dy = math.cos(angle), math.sin(angle)
    limits = []
    if dx > 1e-9:
        limits.append((box[2] - centre[0]) / dx)
    elif dx < -1e-9:
        limits.append((box[0] - centre[0]) / dx)
    if dy > 1e-9:
        limits.append((box[3] - centre[1]) / dy)
    elif dy < -1e-9:
        limits.append((box[1] - centre[1]) / dy)
    return max(0.0, min(limits))


def hydrogens_go_left(bond_angles: list[float]) -> bool:
    """Folded hydrogens go right unless a bond leaves that way and not the other."""
    cosines = [math.cos(a) for a in bond_angles]
    rightward = max(cosines, default=-1.0)
    leftward = max((-c for c in cosines), default=-1.0)
    return rightward > 0.3 and leftward < rightward

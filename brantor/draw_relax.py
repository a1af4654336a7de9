"""A last, local relaxation for crowded structures: where hydrogens placed
around a fixed frame still come too close to other atoms or bonds, every atom
moves a little (the frame held near its place, bonds held at one length)
until the crowding eases. Arrays of all pairs: structures that get here have
at most a few hundred atoms."""

from __future__ import annotations

from typing import Any

import numpy as np

from .draw_geometry import Point

BOND = 20.0  # stiffness of a bond's length
HOLD = 0.05  # how firmly a frame atom stays where the depictor put it
NEAR = 0.75  # the least distance wanted between atoms not bonded together
ACROSS = 1.05  # and between two neighbours of one atom (about 63 degrees)
BESIDE = 0.5  # and between an atom and a bond it is not part of
RATE = 0.02
HYDROGEN_RATE = 0.2
STEP = 0.08  # the most an atom moves in one step
ROUNDS = 400
PROJECTED_ROUNDS = 45


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
    p = np.array([xy[k] for k in keys], dtype=float)
    held = np.array([k in frame for k in keys], dtype=float)[:, None]
    hanging = np.array([(index[h], index[parent]) for h, parent in bonds_to_frame(bonds, frame)], dtype=int)
    rules = (*pair_masks(keys, bonds), bond_pairs(keys, bonds))
    if swing and len(hanging):
        p = steps(p, rules, HYDROGEN_RATE * (1 - held), hanging, ROUNDS // 4, None)
    if whole:
        quick = projected_steps(p, rules, held[:, 0] > 0)
        if violations(quick, *rules) == 0:
            p = quick
        else:
            p = steps(p, rules, np.full_like(held, RATE), None, ROUNDS, held)
    return {k: (float(p[index[k], 0]), float(p[index[k], 1])) for k in keys}


def steps(p: Any, rules: tuple[Any, Any, Any], rate: Any, hanging: Any, rounds: int, held: Any) -> Any:
    """Up to `rounds` steps down the crowding's slope; hanging atoms are put
    back at one bond length from their parents after each, held ones pulled
    back towards where they started."""
    near, across, ends = rules
    start = p.copy()
    counts: list[int] = []
    for round_ in range(rounds):
        # The hydrogens' swings stop once they no longer help; the slow steps go on.
        if round_ % 5 == 0 and settled(counts, violations(p, near, across, ends), patient=held is not None):
            break
        force = bond_forces(p, ends) + pair_forces(p, near, across) + segment_forces(p, ends)
        if held is not None:
            force += HOLD * held * (start - p)
        p = p + np.clip(rate * force, -STEP, STEP)
        if hanging is not None:
            out = p[hanging[:, 0]] - p[hanging[:, 1]]
            p[hanging[:, 0]] = p[hanging[:, 1]] + out / np.maximum(np.sqrt((out ** 2).sum(-1)), 1e-9)[:, None]
    return p


def projected_steps(p: Any, rules: tuple[Any, Any, Any], in_frame: Any) -> Any:
    """Quick steps that push crowded atoms apart, each followed by passes that
    bring every bond back to about one length; frame atoms move a quarter as
    far as hydrogens and are drawn back towards their start. Often enough, but
    not always: the slow steps are the fallback."""
    near, across, ends = rules
    start = p.copy()
    mobility = np.where(in_frame, 0.25, 1.0)
    share = (mobility[ends[:, 0]] / (mobility[ends[:, 0]] + mobility[ends[:, 1]]))[:, None]
    degree = np.maximum(np.bincount(ends.reshape(-1), minlength=len(p)), 1)[:, None]
    counts: list[int] = []
    for round_ in range(PROJECTED_ROUNDS):
        if round_ % 3 == 0 and settled(counts, violations(p, near, across, ends)):
            break
        push = pair_forces(p, near, across) + segment_forces(p, ends)
        p = p + np.clip(0.5 * mobility[:, None] * push, -STEP, STEP)
        p += HOLD * in_frame[:, None] * (start - p)
        for _ in range(3):
            p = bonds_to_length(p, ends, share, degree)
    return p


def bonds_to_length(p: Any, ends: Any, share: Any, degree: Any) -> Any:
    """One pass moving each bond's ends to one length apart, the more mobile end
    the further; an atom's moves from its several bonds are averaged."""
    delta = p[ends[:, 1]] - p[ends[:, 0]]
    length = np.maximum(np.sqrt((delta ** 2).sum(-1)), 1e-9)[:, None]
    correction = (length - 1) / length * delta
    return p + summed(p, ends, correction * share, -correction * (1 - share)) / degree


def summed(p: Any, ends: Any, at_first: Any, at_second: Any) -> Any:
    """Per atom, the sum of the vectors given for the bonds' first and second ends."""
    moves = np.concatenate([at_first, at_second])
    at = ends.T.reshape(-1)
    return np.stack([np.bincount(at, moves[:, 0], len(p)), np.bincount(at, moves[:, 1], len(p))], axis=1)


def settled(counts: list[int], count: int, patient: bool = False) -> bool:
    """Whether stepping on looks useless: nothing left to mend, or (unless
    patient) the last four looks found no fewer faults than the one before."""
    counts.append(count)
    return count == 0 or (not patient and len(counts) > 4 and min(counts[-4:]) >= counts[-5])


def bonds_to_frame(bonds: list[tuple[int, int]], frame: set[int]) -> list[tuple[int, int]]:
    """(hydrogen, parent) for every atom outside the frame."""
    return [(j, i) if i in frame else (i, j) for i, j in bonds if (i in frame) != (j in frame)]


def bond_pairs(keys: list[int], bonds: list[tuple[int, int]]) -> Any:
    index = {k: n for n, k in enumerate(keys)}
    return np.array([(index[i], index[j]) for i, j in bonds], dtype=int).reshape(-1, 2)


def pair_masks(keys: list[int], bonds: list[tuple[int, int]]) -> tuple[Any, Any]:
    """Pairs kept NEAR apart (not bonded, not sharing a neighbour) and pairs
    kept ACROSS apart (two neighbours of one atom)."""
    n = len(keys)
    index = {k: m for m, k in enumerate(keys)}
    bonded = np.zeros((n, n), dtype=bool)
    for i, j in bonds:
        bonded[index[i], index[j]] = bonded[index[j], index[i]] = True
    across = (bonded.astype(int) @ bonded.astype(int)) > 0
    np.fill_diagonal(across, False)
    across &= ~bonded
    near = ~bonded & ~across
    np.fill_diagonal(near, False)
    return near, across


def pair_forces(p: Any, near: Any, across: Any) -> Any:
    delta = p[:, None, :] - p[None, :, :]
    distance = np.sqrt((delta ** 2).sum(-1)) + np.eye(len(p))
    wanted = np.where(near, NEAR, np.where(across, ACROSS, 0.0))
    push = np.clip(wanted - distance, 0, None)
    return ((push / distance)[:, :, None] * delta).sum(1) * 2


def bond_forces(p: Any, ends: Any) -> Any:
    if len(ends) == 0:
        return np.zeros_like(p)
    delta = p[ends[:, 1]] - p[ends[:, 0]]
    length = np.sqrt((delta ** 2).sum(-1))[:, None]
    pull = BOND * (length - 1) * delta / np.maximum(length, 1e-9)
    return summed(p, ends, pull, -pull)


def segment_gaps(p: Any, ends: Any) -> tuple[Any, Any]:
    """Distance from each atom to each bond it is not part of (inf for its own
    bonds), and the vector from the bond's nearest point to the atom."""
    a, b = p[ends[:, 0]], p[ends[:, 1]]
    ab = b - a
    t = ((p[:, None, :] - a[None]) * ab[None]).sum(-1) / np.maximum((ab ** 2).sum(-1), 1e-9)[None]
    nearest = a[None] + np.clip(t, 0, 1)[:, :, None] * ab[None]
    away = p[:, None, :] - nearest
    distance = np.sqrt((away ** 2).sum(-1))
    own = (ends[None, :, 0] == np.arange(len(p))[:, None]) | (ends[None, :, 1] == np.arange(len(p))[:, None])
    return np.where(own, np.inf, distance), away


def segment_forces(p: Any, ends: Any) -> Any:
    if len(ends) == 0:
        return np.zeros_like(p)
    distance, away = segment_gaps(p, ends)
    push = np.clip(BESIDE - distance, 0, None) / np.maximum(distance, 1e-9)
    return (push[:, :, None] * away).sum(1) * 2


def violations(p: Any, near: Any, across: Any, ends: Any, stretch: float = 0.07) -> int:
    """Atoms or bonds closer than the drawing rules allow (with some room), and
    bonds stretched beyond `stretch`."""
    delta = p[:, None, :] - p[None, :, :]
    distance = np.sqrt((delta ** 2).sum(-1))
    count = int(((near | across) & (distance < 0.55)).sum())
    if len(ends):
        length = np.sqrt(((p[ends[:, 1]] - p[ends[:, 0]]) ** 2).sum(-1))
        count += int((np.abs(length - 1) > stretch).sum()) + int((segment_gaps(p, ends)[0] < 0.42).sum())
    return count

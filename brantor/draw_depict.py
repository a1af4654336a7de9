"""Coordinates of the structure's frame (every atom but the hydrogens that hang
on another element) from RDKit's depictor, CoordGen, handed the frame atom for
atom, or from RDKit's own depictor, handed the frame or the whole structure;
the hydrogens are placed afterwards (draw_hydrogens)."""

from __future__ import annotations

import math
import statistics
from collections.abc import Iterator
from typing import Any

from .draw_geometry import Point
from .draw_structure import Structure

EXTRA_ADVICE = "drawing structures needs RDKit's depictor: install the extra with  pip install 'brantor[draw]'"


def depictor() -> tuple[Any, Any]:
    """RDKit's Chem and rdCoordGen modules, or an ImportError naming the extra."""
    try:
        from rdkit import Chem
        from rdkit.Chem import rdCoordGen
    except ImportError as error:
        raise ImportError(EXTRA_ADVICE, name="rdkit") from error
    return Chem, rdCoordGen


def frame_of(s: Structure) -> list[int]:
    """Positions of the atoms laid out by the depictor: all but the hydrogens
    bonded to another element (for H2 or a lone H, those too)."""
    frame = [i for i, e in enumerate(s.elements)
             if e != "H" or all(s.elements[j] == "H" for j in s.neighbours[i])]
    return frame


def frame_layouts(s: Structure, frame: list[int]) -> Iterator[tuple[dict[int, Point], list[list[int]]]]:
    """Frame positions scaled to a median bond length of 1, with the smallest
    set of rings: CoordGen's layout first (or the depictor's own where CoordGen
    stretches bonds or crowds atoms and the other does better), then the other
    one, for a caller who finds the first too crowded once hydrogens are on."""
    Chem, rdCoordGen = depictor()
    from rdkit.Chem import rdDepictor

    index = {i: k for k, i in enumerate(frame)}
    pairs = [(index[i], index[j]) for i, j, _ in s.bonds if i in index and j in index]
    mol = rdkit_frame(Chem, s, frame, index)
    rings = [[frame[k] for k in ring] for ring in Chem.GetSymmSSSR(mol)]
    rdCoordGen.AddCoords(mol)
    coordgen = scaled(mol.GetConformer().GetPositions().tolist(), pairs)
    # CoordGen gives no coordinates (NaN) for some tiny frames, such as H2.
    fault = layout_fault(coordgen, pairs) if all(math.isfinite(c) for p in coordgen for c in p) else math.inf
    if fault == 0:
        yield {i: coordgen[k] for k, i in enumerate(frame)}, rings
    rdDepictor.Compute2DCoords(mol)
    own = scaled(mol.GetConformer().GetPositions().tolist(), pairs)
    if fault == 0 or math.isinf(fault):
        order = [own]
    else:
        order = [coordgen, own] if fault <= layout_fault(own, pairs) else [own, coordgen]
    for positions in order:
        yield {i: positions[k] for k, i in enumerate(frame)}, rings


def layout_with_hydrogens(s: Structure, frame: list[int]) -> dict[int, Point]:
    """Frame positions from RDKit's own depictor handed the whole structure,
    hydrogens included, which turns rotatable bonds to give them room (a few
    random turns, from a fixed seed: the same picture every time). Its own
    hydrogens are not kept, for it shortens the bonds of crowded ones."""
    Chem, _ = depictor()
    from rdkit.Chem import rdDepictor

    everything = list(range(len(s.ids)))
    mol = rdkit_frame(Chem, s, everything, {i: i for i in everything})
    rdDepictor.Compute2DCoords(mol, nFlipsPerSample=1, nSample=TURNED_SAMPLES, sampleSeed=SAMPLE_SEED)
    in_frame = set(frame)
    pairs = [(i, j) for i, j, _ in s.bonds if i in in_frame and j in in_frame]
    positions = scaled(mol.GetConformer().GetPositions().tolist(), pairs)
    return {i: positions[i] for i in frame}


# Samples of turned bonds the depictor compares; its seed (0 would take the
# generator's running state, different from call to call).
TURNED_SAMPLES = 10
SAMPLE_SEED = 1


def rdkit_frame(Chem: Any, s: Structure, frame: list[int], index: dict[int, int]) -> Any:
    """The given atoms as an RDKit molecule, atom for atom in their order."""
    mol = Chem.RWMol()
    made: dict[tuple[str, int], Any] = {}  # AddAtom copies: one atom of a kind serves for all
    for i in frame:
        kind = (s.elements[i], s.charges[i])
        if kind not in made:
            made[kind] = rdkit_atom(Chem, *kind)
        mol.AddAtom(made[kind])
    kinds = {1: Chem.BondType.SINGLE, 2: Chem.BondType.DOUBLE, 3: Chem.BondType.TRIPLE}
    for i, j, order in s.bonds:
        if i in index and j in index:
            mol.AddBond(index[i], index[j], kinds.get(order, Chem.BondType.SINGLE))
    mol.UpdatePropertyCache(strict=False)
    Chem.FastFindRings(mol)
    # Hybridisation tells the depictor which atoms to draw straight (C#N, C=C=C).
    Chem.SetHybridization(mol)
    return mol


def scaled(positions: list[list[float]], pairs: list[tuple[int, int]]) -> list[Point]:
    lengths = [math.dist(positions[i][:2], positions[j][:2]) for i, j in pairs]
    middle = statistics.median(lengths) if lengths else 1.0
    scale = 1 / middle if middle > 0 else 1.0
    return [(p[0] * scale, p[1] * scale) for p in positions]


def layout_fault(positions: list[Point], pairs: list[tuple[int, int]]) -> float:
    """How far a layout strays from bonds within 10% of one length and atoms at
    least half a length apart (0 when it does not)."""
    fault = max((abs(math.dist(positions[i], positions[j]) - 1) - 0.1 for i, j in pairs), default=0.0)
    cells: dict[tuple[int, int], list[Point]] = {}
    for p in positions:
        cx, cy = math.floor(p[0] * 2), math.floor(p[1] * 2)
        for x in (cx - 1, cx, cx + 1):
            for y in (cy - 1, cy, cy + 1):
                for q in cells.get((x, y), ()):
                    fault = max(fault, 0.5 - math.dist(p, q))
        cells.setdefault((cx, cy), []).append(p)
    return max(fault, 0.0)


def rdkit_atom(Chem: Any, element: str, charge: int) -> Any:
    """An RDKit atom of the element (a dummy atom for a symbol RDKit lacks),
    with no hydrogens of its own: the structure's are all explicit."""
    try:
        atom = Chem.Atom(element)
    except RuntimeError:
        atom = Chem.Atom(0)
    atom.SetFormalCharge(charge)
    atom.SetNoImplicit(True)
    return atom

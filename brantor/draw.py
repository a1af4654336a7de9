"""Pictures of structural formulas: every atom, bond, charge and lone electron
of a structure as SVG, for files, notebooks and the command line."""

from __future__ import annotations

import contextlib
import io
import pathlib
from collections.abc import Iterator

import Atom

from . import structures  # noqa: F401 -- imported before the extension, for its clear error where it is not built
from .draw_depict import frame_layouts, frame_of, layout_with_hydrogens
from .draw_geometry import Point, crowded
from .draw_hydrogens import place_hydrogens
from .draw_picture import Scene, build_scene, write_svg
from .draw_relax import relax, swing_hydrogens
from .draw_structure import Structure, atom_of, read_structure


def draw_svg(atom: Atom.Atom | int, *, hydrogens: bool = True, lone_electrons: bool = True,
             size: float | tuple[float, float] | None = None) -> str:
    """An SVG picture of the whole structure that contains `atom` (an Atom or
    its id). With hydrogens=True every hydrogen is drawn as an atom with its
    bond; with hydrogens=False they fold into their neighbours' labels and
    carbons become bare vertices. `size` is the largest width and height in
    pixels (one number for both, or a pair); None keeps the natural size.
    Raises ImportError, naming the extra brantor[draw], without RDKit."""
    start = atom_of(atom)
    for name, flag in (("hydrogens", hydrogens), ("lone_electrons", lone_electrons)):
        if not isinstance(flag, bool):
            raise TypeError(f"{name} must be True or False, not {type(flag).__name__}")
    box = checked_size(size)
    return write_svg(scene_of(start, hydrogens, lone_electrons), box)


def scene_of(start: Atom.Atom, hydrogens: bool, lone_electrons: bool) -> Scene:
    """The laid-out picture of the structure, before it is written as SVG: the
    first layout that leaves nothing crowded once hydrogens are placed (or
    swung about their atoms), else the first relaxed."""
    s = read_structure(start)
    chosen = None
    for xy, rings in layouts(s, hydrogens):
        frame = set(xy)
        if hydrogens:
            xy = place_hydrogens(s, xy)
        pairs = [(i, j) for i, j, _ in s.bonds if i in xy and j in xy]
        if len(xy) > RELAX_LIMIT or not crowded(xy, pairs):
            return build_scene(s, xy, rings, lone_electrons, skeletal=not hydrogens)
        if hydrogens:
            xy = swing_hydrogens(xy, pairs, frame)
            if not crowded(xy, pairs):
                return build_scene(s, xy, rings, lone_electrons, skeletal=not hydrogens)
        chosen = chosen or (xy, rings, frame, pairs)
    assert chosen is not None
    xy, rings, frame, pairs = chosen
    return build_scene(s, relax(xy, pairs, frame, swing=False), rings, lone_electrons, skeletal=not hydrogens)


def layouts(s: Structure, hydrogens: bool) -> Iterator[tuple[dict[int, Point], list[list[int]]]]:
    """The frame's best layout; then, with hydrogens drawn, RDKit's own
    depictor's with every hydrogen handed over (costlier, so second); then the
    frame's other layout."""
    frame = frame_of(s)
    frames = frame_layouts(s, frame)
    best, rings = next(frames)
    yield best, rings
    if hydrogens:
        yield layout_with_hydrogens(s, frame), rings
    yield from frames


# The relaxation keeps a table of every pair of atoms: larger structures are drawn as laid out.
RELAX_LIMIT = 1000


def checked_size(size: object) -> tuple[float, float] | None:
    if size is None:
        return None
    pair = size if isinstance(size, tuple) else (size, size)
    if len(pair) != 2 or not all(isinstance(v, (int, float)) and not isinstance(v, bool) for v in pair):
        raise TypeError("size must be a number of pixels or a (width, height) pair")
    width, height = float(pair[0]), float(pair[1])
    if not (width > 0 and height > 0) or width == float("inf") or height == float("inf"):
        raise ValueError(f"size must be positive and finite, got {size!r}")
    return width, height


class Picture:
    """A structure's picture as drawn when show() was called: Jupyter displays
    it through _repr_svg_; save() writes it as .svg or .png."""

    def __init__(self, svg: str, formula: str, atoms: int) -> None:
        self.svg = svg
        self.formula = formula
        self.atoms = atoms

    def _repr_svg_(self) -> str:
        return self.svg

    def __repr__(self) -> str:
        return f"<brantor picture of {self.formula}, {self.atoms} atoms>"

    def save(self, path: str | pathlib.Path) -> None:
        """Writes the picture to path, as PNG if it ends in .png, else as SVG."""
        from .draw_files import write_picture

        write_picture(self.svg, path)


def show(atom: Atom.Atom | int, *, hydrogens: bool = True, lone_electrons: bool = True,
         size: float | tuple[float, float] | None = None) -> Picture:
    """The picture of the structure that contains `atom`, for a notebook."""
    svg = draw_svg(atom, hydrogens=hydrogens, lone_electrons=lone_electrons, size=size)
    start = atom_of(atom)
    with contextlib.redirect_stdout(io.StringIO()):
        formula = Atom.Atom.get_formula(start)
    return Picture(svg, formula, len(read_structure(start).ids))

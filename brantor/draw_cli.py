"""The `brantor draw` command: pictures of structures from SMILES.

    brantor draw SMILES|FILE -o out.svg [--skeletal] [--no-lone-electrons]

A .smi FILE holds one record a line (SMILES, then an optional name; blank
lines and lines starting with # are skipped) and gives one picture per record,
numbered after the output's name: out-1.svg, out-2.svg, ... An output ending
in .png is rendered when an SVG renderer is installed."""

from __future__ import annotations

import argparse
import pathlib
import sys

import Atom

from .draw import draw_svg
from .errors import ReadError
from .reading import read
from .draw_files import write_picture
from .draw_structure import delete_structure


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(prog="brantor draw", description="Draws structures from SMILES as SVG or PNG.")
    p.add_argument("source", help="a SMILES, or a file of them (.smi: one record a line)")
    p.add_argument("-o", "--output", required=True, help="the picture to write, .svg or .png")
    p.add_argument("--skeletal", action="store_true", help="fold hydrogens into labels, carbons as vertices")
    p.add_argument("--no-lone-electrons", action="store_true", help="leave out the lone-electron dots")
    return p


def records(source: str) -> tuple[list[tuple[int, str]], bool]:
    """(line number, SMILES) to draw, and whether they come from a .smi file."""
    path = pathlib.Path(source)
    if not path.is_file():
        return [(0, source)], False
    found = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        fields = line.split()
        if fields and not fields[0].startswith("#"):
            found.append((number, fields[0]))
    return found, path.suffix.lower() == ".smi"


def output_paths(output: str, count: int, numbered: bool) -> list[pathlib.Path]:
    path = pathlib.Path(output)
    if not numbered:
        return [path] * count
    width = len(str(count))
    return [path.with_name(f"{path.stem}-{n:0{width}d}{path.suffix}") for n in range(1, count + 1)]


def main(argv: list[str]) -> int:
    try:
        args = parser().parse_args(argv)
    except SystemExit as stop:  # argparse has printed the usage and the error
        return int(stop.code or 0)
    found, numbered = records(args.source)
    if not found or (len(found) > 1 and not numbered):
        print(f"brantor draw: {args.source}: expected one SMILES, or a .smi file", file=sys.stderr)
        return 1
    status = 0
    for (number, smiles), path in zip(found, output_paths(args.output, len(found), numbered)):
        where = f"{args.source}:{number}: " if number else ""
        try:
            atom = read(smiles)
        except (ReadError, Atom.IdError) as error:
            print(f"brantor draw: {where}{smiles}: {error}", file=sys.stderr)
            status = 1
            continue
        try:
            svg = draw_svg(atom, hydrogens=not args.skeletal, lone_electrons=not args.no_lone_electrons)
            write_picture(svg, path)
        except (ImportError, RuntimeError, OSError) as error:
            print(f"brantor draw: {error}", file=sys.stderr)
            return 1
        finally:
            delete_structure(atom)
        print(path)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

"""The command line: ``brantor COMMAND [FILE ...]``, one output line per record.

A command is one entry of COMMANDS: its help, the function that turns one
record's SMILES text into its result, and optionally the options it adds.
"""

from __future__ import annotations

import argparse
import contextlib
import itertools
import operator
import os
import sys
from collections import Counter
from collections.abc import Callable, Iterable, Iterator
from typing import NamedTuple, TextIO

import Atom

from brantor.errors import ReadError
from brantor.formula import hill_formula
from brantor.mass import mass_of_atoms
from brantor.reading import kekulize, read_all
from brantor.records import Record, records
from brantor.structures import delete_atoms, structure


class Command(NamedTuple):
    help: str
    run: Callable[[str, argparse.Namespace], str]
    add_options: Callable[[argparse.ArgumentParser], None] | None = None


_element = operator.attrgetter("element")


@contextlib.contextmanager
def _structures(smiles: str) -> Iterator[list[list[Atom.Atom]]]:
    """The atoms of each structure of the text, first atom first; deleted afterwards."""
    structures = [structure(root) for root in read_all(smiles)]
    try:
        yield structures
    finally:
        for atoms in structures:
            delete_atoms(atoms)


def _formula(smiles: str, options: argparse.Namespace) -> str:
    with _structures(smiles) as structures:
        return hill_formula(Counter(map(_element, itertools.chain.from_iterable(structures))))


def _smiles(smiles: str, options: argparse.Namespace) -> str:
    with _structures(smiles) as structures:
        return ".".join(Atom.get_smiles(atoms[0]) for atoms in structures)


def _kekulize(smiles: str, options: argparse.Namespace) -> str:
    return kekulize(smiles, options.strict)


def _mass(smiles: str, options: argparse.Namespace) -> str:
    with _structures(smiles) as structures:
        return f"{sum(mass_of_atoms(atoms, options.monoisotopic) for atoms in structures):.4f}"


def _strict_option(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--strict", action="store_true", help="refuse stereo marks and atom maps")


def _mass_options(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--monoisotopic", action="store_true", help="monoisotopic instead of average mass")


COMMANDS: dict[str, Command] = {
    "formula": Command("the Hill formula of each record", _formula),
    "smiles": Command("each record as the Atom module writes it", _smiles),
    "kekulize": Command("each record in the Kekulé form Atom.from_smiles reads", _kekulize, _strict_option),
    "mass": Command("the molar mass of each record, in g/mol", _mass, _mass_options),
}


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="brantor", description="Read SMILES records (.smi files or standard input) "
                                     "and write one line per record: RESULT<TAB>NAME.")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    for name, command in COMMANDS.items():
        sub = commands.add_parser(name, help=command.help, description=command.help + ".")
        sub.add_argument("files", nargs="*", metavar="FILE", help="a .smi file; '-' or none: standard input")
        sub.add_argument("--stop-on-error", action="store_true", help="stop at the first record that fails")
        if command.add_options:
            command.add_options(sub)
    return parser


def _lines(paths: list[str]) -> Iterator[tuple[str, TextIO]]:
    for path in paths or ["-"]:
        if path == "-":
            yield "<stdin>", sys.stdin
        else:
            with open(path, encoding="utf-8", errors="replace") as stream:
                yield path, stream


def _with_progress(items: Iterable[Record]) -> Iterable[Record]:
    if not sys.stderr.isatty():
        return items
    from tqdm import tqdm  # type: ignore[import-untyped]

    bar: Iterable[Record] = tqdm(items, unit=" records", file=sys.stderr)
    return bar


def _failure(path: str, record: Record, error: Exception) -> str:
    if isinstance(error, ReadError):
        return f"{path}:{record.line}:{record.column + error.position + 1}: {error.reason}"
    return f"{path}:{record.line}:{record.column + 1}: {type(error).__name__}: {error}"


def _run(command: Command, options: argparse.Namespace, out: TextIO) -> int:
    status = 0
    for path, stream in _lines(options.files):
        for record in _with_progress(records(stream)):
            try:
                result = command.run(record.smiles, options)
            except (ReadError, Atom.IdError) as error:
                print(_failure(path, record, error), file=sys.stderr)
                result, status = "", 1
            out.write(f"{result}\t{record.name}\n")
            if status and options.stop_on_error:
                return status
    return status


def main(argv: list[str] | None = None) -> int:
    """Runs the command line; returns the exit status (0 all read, 1 some failed, 2 usage)."""
    options = _parser().parse_args(argv)
    out = sys.stdout
    try:
        # The display lines that get_formula prints never reach the output.
        with open(os.devnull, "w") as null, contextlib.redirect_stdout(null):
            status = _run(COMMANDS[options.command], options, out)
        out.flush()
        return status
    except BrokenPipeError:
        # The reader of the output has gone (| head): stop quietly.
        os.dup2(os.open(os.devnull, os.O_WRONLY), out.fileno())
        return 1
    except OSError as error:
        print(f"brantor: {error}", file=sys.stderr)
        return 2

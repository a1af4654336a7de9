"""Records of .smi files: a SMILES text, whitespace, and an optional name."""

from __future__ import annotations

import re
from collections.abc import Iterable, Iterator
from typing import NamedTuple

_RECORD = re.compile(r"\s*(\S+)(?:\s+(.*?))?\s*$")


class Record(NamedTuple):
    line: int    # 1-based
    column: int  # 0-based start of the SMILES text in the line
    smiles: str
    name: str    # the rest of the line, else the line number


def records(lines: Iterable[str]) -> Iterator[Record]:
    """The records of the lines, blank lines skipped."""
    for number, line in enumerate(lines, 1):
        found = _RECORD.match(line)
        if found:
            yield Record(number, found.start(1), found.group(1), found.group(2) or str(number))

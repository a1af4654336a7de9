"""The display lines get_formula prints reach stdout as the same text in the
same order whatever receives them (a replaced print, a stream of Python code,
io.StringIO, a TextIOWrapper over a pipe), also when the walk fails part way
and when Python code run during the walk writes lines of its own."""
import builtins
import io
import os
import random
import sys
import threading

import pytest

import Atom
from Atom import Atom as A
from conftest import reset_registry


def structure():
    """Propane with an oxygen on its middle carbon, walked from one end."""
    c1 = A("C")
    c2 = A("C", [c1])
    A("C", [c2])
    A("O", [c2])
    return c1


def failing_structure():
    """The walk prints some lines, then meets a deleted atom: the middle carbon's last hydrogen."""
    start = structure()
    middle = A.get_atom(start.bonds[0])
    [A.get_atom(i) for i in middle.bonds if A.get_atom(i).element == "H"][-1].delete()
    return start


class LoudId(int):
    """A bond entry that is not an id; its repr, taken for the error, writes a line of its own."""
    def __repr__(self):
        sys.stdout.write("entry shown\n")
        return "LoudId()"


def loud_structure():
    """The walk prints some lines, then meets an entry whose repr writes a line before the error."""
    start = structure()
    middle = A.get_atom(start.bonds[0])
    middle.bonds[-1] = LoudId(middle.bonds[-1])
    return start


def run(call):
    try:
        return call()
    except Exception as e:
        return type(e), str(e)


class Collector:
    def __init__(self):
        self.parts = []

    def write(self, s):
        self.parts.append(s)

    def getvalue(self):
        return "".join(self.parts)


def through_print(call, monkeypatch):
    out = Collector()
    monkeypatch.setattr(sys, "stdout", out)
    monkeypatch.setattr(builtins, "print", lambda atom: out.write(str(atom) + "\n"))
    return run(call), out.getvalue()


def through_stream(stream, call, monkeypatch):
    monkeypatch.setattr(sys, "stdout", stream)
    return run(call), stream.getvalue()


def through_pipe(call, monkeypatch):
    read_end, write_end = os.pipe()
    received = []
    reader = threading.Thread(target=lambda: received.append(os.fdopen(read_end, "rb").read()))
    reader.start()
    stream = open(write_end, "w", encoding="utf-8", buffering=1)  # line-buffered, as a terminal's stdout
    monkeypatch.setattr(sys, "stdout", stream)
    outcome = run(call)
    monkeypatch.undo()
    stream.close()
    reader.join()
    return outcome, received[0].decode()


ROUTES = {
    "custom stdout": lambda call, mp: through_stream(Collector(), call, mp),
    "StringIO": lambda call, mp: through_stream(io.StringIO(), call, mp),
    "pipe": through_pipe,
}


def formula_output(build, receive, monkeypatch):
    """What get_formula prints and returns (or raises), on a structure with the same ids every time."""
    reset_registry()
    random.seed(2024)
    start = build()
    result = receive(lambda: Atom.get_formula(start), monkeypatch)
    monkeypatch.undo()
    return result


@pytest.mark.parametrize("build", [structure, failing_structure, loud_structure])
@pytest.mark.parametrize("route", ROUTES.values(), ids=ROUTES.keys())
def test_every_stdout_receives_what_print_writes(build, route, monkeypatch):
    expected = formula_output(build, through_print, monkeypatch)
    assert formula_output(build, route, monkeypatch) == expected
    assert expected[1].count("\n") >= 5


@pytest.mark.parametrize("replace", [
    lambda mp, seen: mp.setattr(Atom, "print", seen.append, raising=False),
    lambda mp, seen: mp.setattr(A, "__str__", lambda atom: seen.append(atom) or "replaced"),
], ids=["print among the module's globals", "__str__"])
def test_a_replaced_print_or_str_is_obeyed_on_a_plain_stream(replace, monkeypatch):
    start = structure()
    seen = []
    replace(monkeypatch, seen)
    monkeypatch.setattr(sys, "stdout", io.StringIO())
    Atom.get_formula(start)
    assert len(seen) == len(A.id_map) - 1
    assert sys.stdout.getvalue() in ("", "replaced\n" * len(seen))

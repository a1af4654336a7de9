"""The stub shipped with the module: installed where type checkers look, in
agreement with the module, and precise enough to pass a script over the whole
API under `mypy --strict` and to report wrong calls."""
import ast
import contextlib
import importlib.util
import io
import pathlib
import re
import runpy
import shutil
import subprocess
import sys
import typing

import pytest

import Atom

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUB = ROOT / "Atom.pyi"
EXAMPLE = ROOT / "examples" / "typed.py"
WRONG = ROOT / "tests" / "data" / "typing_errors.py"


def installed_stubs():
    site = pathlib.Path(importlib.util.find_spec("Atom").origin).parent
    return [site / "Atom.pyi", site / "Atom-stubs" / "__init__.pyi"]


def test_stub_installed_beside_module_and_as_stub_package():
    for path in installed_stubs():
        assert path.is_file(), f"{path} is missing: reinstall the package"
        assert path.read_text() == STUB.read_text(), f"{path} is stale: reinstall the package"


def run(*args, cwd):
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, capture_output=True, text=True)


def test_stubtest_finds_stub_and_module_in_agreement(tmp_path):
    # Run away from the checkout, so that the installed stub is the one checked.
    result = run("mypy.stubtest", "Atom", cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


def test_stub_names_every_module_attribute():
    # stubtest checks only the names of __all__ at module level; the error
    # classes and break_bond are outside it.
    tree = ast.parse(STUB.read_text())
    in_stub = {node.name for node in tree.body if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    # random and typing's names are imported for the module's own use.
    own = {name for name in vars(Atom) if not name.startswith("_")} - set(typing.__all__) - {"random"}
    assert in_stub == own


def mypy_errors(output):
    """{(file name, line): [error codes]} from mypy's output."""
    found = {}
    for file, line, code in re.findall(r"^(\S+?):(\d+): error: .*\[([\w-]+)\]$", output, re.M):
        found.setdefault((file, int(line)), []).append(code)
    return found


def test_mypy_strict_passes_the_example_and_reports_wrong_calls(tmp_path):
    for path in (EXAMPLE, WRONG):
        shutil.copy(path, tmp_path)
    result = run("mypy", "--strict", EXAMPLE.name, WRONG.name, cwd=tmp_path)
    expected = {(WRONG.name, number): [code]
                for number, line in enumerate(WRONG.read_text().splitlines(), 1)
                for code in re.findall(r"# error: ([\w-]+)$", line)}
    assert len(expected) >= 10
    assert mypy_errors(result.stdout) == expected, result.stdout + result.stderr


def test_typed_example_runs():
    with contextlib.redirect_stdout(io.StringIO()) as out:
        runpy.run_path(str(EXAMPLE), run_name="__main__")
    assert out.getvalue().startswith("7 error classes;")

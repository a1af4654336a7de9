"""The brantor package as installed: typed under mypy --strict, with an
example that uses it."""
import pathlib
import runpy
import subprocess
import sys

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "reading.py"


def test_mypy_strict_passes_the_package_and_an_example(tmp_path):
    for target in (["-p", "brantor"], [str(EXAMPLE)]):
        result = subprocess.run([sys.executable, "-m", "mypy", "--strict", *target], cwd=tmp_path, capture_output=True,
                                text=True)
        assert result.returncode == 0, result.stdout + result.stderr


def test_example_runs_and_leaves_nothing_registered(capsys):
    runpy.run_path(str(EXAMPLE), run_name="__main__")
    out = capsys.readouterr().out
    assert "caffeine: CN1C=NC2=C1C(=O)N(C)C(=O)N2C: 24 atoms, 194.194 g/mol" in out
    assert out.endswith("registered after the readings: 0\n")

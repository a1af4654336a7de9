"""The command line: output alignment, error lines, exit statuses."""
import subprocess
import sys

import pytest

from brantor.cli import main

RECORDS = "c1ccccc1O phenol\nc1cccn1  bad pyrrole\n\n  CCN.Cl\nC[N+](C)(C)C.[I-] tetramethylammonium iodide\n"


def run(capsys, argv, monkeypatch=None, stdin=None):
    if stdin is not None:
        monkeypatch.setattr(sys, "stdin", __import__("io").StringIO(stdin))
    status = main(argv)
    out, err = capsys.readouterr()
    return status, out, err


def test_one_line_per_record_and_an_error_line_per_failure(capsys, monkeypatch, tmp_path):
    status, out, err = run(capsys, ["formula"], monkeypatch, RECORDS)
    assert status == 1
    assert out.splitlines() == ["C6H6O\tphenol", "\tbad pyrrole", "C2H8ClN\t4", "C4H12IN\ttetramethylammonium iodide"]
    assert err.startswith("<stdin>:2:6: no Kekulé structure") and err.count("\n") == 1
    path = tmp_path / "in.smi"
    path.write_text(RECORDS)
    status, out, err = run(capsys, ["smiles", "--stop-on-error", str(path)])
    assert (status, out.splitlines()) == (1, ["C0=CC=CC=C0O\tphenol", "\tbad pyrrole"])
    assert err.startswith(f"{path}:2:6: ")


def test_every_record_read_exits_zero(capsys, monkeypatch):
    status, out, err = run(capsys, ["kekulize", "-"], monkeypatch, "c1ccccc1\nF/C=C/F x\n")
    assert (status, out, err) == (0, "C1=CC=CC=C1\t1\nFC=CF\tx\n", "")
    status, out, _ = run(capsys, ["mass", "--monoisotopic"], monkeypatch, "O water\n")
    assert (status, out) == (0, "18.0106\twater\n")


def test_usage_errors_exit_two(capsys, tmp_path):
    for argv in ([], ["weigh"], ["formula", "--no-such-option"]):
        with pytest.raises(SystemExit) as info:
            main(argv)
        assert info.value.code == 2
    status, out, err = run(capsys, ["formula", str(tmp_path / "missing.smi")])
    assert status == 2 and "missing.smi" in err


def test_console_script_and_module_run_in_a_pipe(tmp_path):
    script = [str(__import__("pathlib").Path(sys.executable).with_name("brantor"))]
    for command in (script, [sys.executable, "-m", "brantor"]):
        result = subprocess.run([*command, "formula"], input="CCO ethanol\nC1CC\n", capture_output=True, text=True,
                                cwd=tmp_path)
        assert (result.returncode, result.stdout) == (1, "C2H6O\tethanol\n\t2\n"), result.stderr
        assert result.stderr == "<stdin>:2:2: ring bond 1 is never closed\n"

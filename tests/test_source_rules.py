"""Rules of the C++ sources that the compiler does not check: each failure names
the file and line at fault."""
import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]
SRC = ROOT / "src"

if not SRC.is_dir():
    pytest.skip("the sources are not beside the tests", allow_module_level=True)

SOURCES = sorted(p for p in SRC.rglob("*") if p.suffix in {".cpp", ".hpp"})

# Reference counts are kept by Ref; raw macros only where an object's own
# fields or process-lifetime state are managed.
RAW_REFCOUNT = re.compile(r"\bPy_(X?INCREF|X?DECREF|CLEAR|X?SETREF)\b")
RAW_REFCOUNT_ALLOWED = {"python/ref.hpp", "python/ref.cpp", "python/function.cpp", "registry/atoms.hpp", "module/module.cpp"}

# Edits that drop what they replace or remove, which can run a finalizer, go
# through python/edits.hpp, which releases the old value after the edit. Only
# the module's own fresh objects are filled directly.
RAW_EDIT = re.compile(r"\b(PyList_SetItem|PyList_SetSlice|PySequence_DelItem|PyDict_SetItem|PyDict_DelItem|"
                      r"PyDict_Clear|PyDict_Pop)\b")
RAW_EDIT_ALLOWED = {"python/edits.hpp", "python/function.cpp", "python/errors.cpp", "module/atom_class.cpp",
                    "module/module.cpp"}

# Operations that can run Python code (calls, comparisons, truth, str(), attribute,
# item, size, iteration, number and sequence operations) go through python/foreign.hpp, which
# settles the deferred state first; only import-time code of module/ calls them raw.
RAW_FOREIGN = re.compile(r"\b(PyObject_(RichCompare\w*|IsTrue|Str|Repr|Format|Hash|Call\w*|Vectorcall\w*|"
                         r"[GS]etAttr\w*|DelAttr\w*|[GS]etItem|DelItem|Size|Length|GetIter)|PyIter_Next|PyNumber_\w+|"
                         r"PySequence_(?!Fast_)\w+|PyFile_Write\w+)\b")
RAW_FOREIGN_ALLOWED = {"module/module.cpp", "module/atom_class.cpp"}

# The layers, bottom first: a folder includes only its own and lower ones.
LAYERS = ["python", "registry", "valence", "bonding", "construction", "setters", "breaking",
          "output", "smiles_reader", "module"]
PEERS = {"output": {"smiles_reader"}, "smiles_reader": {"output"}}

# Labels of an outside document: numbered messages, steps and sections.
NUMBERING = re.compile(r"\b(?:[MB]\d\b|[MB]\d_|messages? \d|[Ss]teps? \d|[Pp]art \d\.\d|[Ss]pecification|spec\.md"
                       r"|as first described|recursive description)")


def lines_of(path):
    return enumerate(path.read_text(encoding="utf-8").splitlines(), 1)


def rel(path):
    return path.relative_to(SRC).as_posix()


def test_reference_counts_only_through_the_handle():
    found = [f"{rel(p)}:{n}: {line.strip()}" for p in SOURCES if rel(p) not in RAW_REFCOUNT_ALLOWED
             for n, line in lines_of(p) if RAW_REFCOUNT.search(line)]
    assert not found, "raw reference counting outside the handle:\n" + "\n".join(found)


def test_releasing_edits_only_through_the_wrappers():
    found = [f"{rel(p)}:{n}: {line.strip()}" for p in SOURCES if rel(p) not in RAW_EDIT_ALLOWED
             for n, line in lines_of(p) if RAW_EDIT.search(line)]
    assert not found, "edits that release without the wrappers:\n" + "\n".join(found)


def test_python_code_runs_only_through_the_wrappers():
    found = [f"{rel(p)}:{n}: {line.strip()}" for p in SOURCES
             if not rel(p).startswith("python/") and rel(p) not in RAW_FOREIGN_ALLOWED
             for n, line in lines_of(p) if RAW_FOREIGN.search(line)]
    assert not found, "operations that can run Python code without the wrappers:\n" + "\n".join(found)


def test_folders_include_only_lower_layers():
    found = []
    for p in SOURCES:
        folder = rel(p).split("/")[0]
        for n, line in lines_of(p):
            m = re.match(r'#include "(\w+)/', line)
            if not m or m.group(1) == folder:
                continue
            target = m.group(1)
            lower = target in LAYERS and LAYERS.index(target) < LAYERS.index(folder)
            if not lower or target in PEERS.get(folder, ()):
                found.append(f"{rel(p)}:{n}: {folder}/ includes {target}/")
    assert not found, "includes that look up or sideways:\n" + "\n".join(found)
    assert {p.name for p in SRC.iterdir() if p.is_dir()} == set(LAYERS)


def test_no_document_numbering():
    files = SOURCES + sorted((ROOT / "tests").rglob("*.py"))
    files.remove(pathlib.Path(__file__).resolve())
    found = [f"{p.relative_to(ROOT)}:{n}: {line.strip()}" for p in files for n, line in lines_of(p)
             if NUMBERING.search(line)]
    assert not found, "labels of an outside document:\n" + "\n".join(found)


def table_entries(text):
    """(name, count given, parameters listed, line) for every method table entry."""
    for m in re.finditer(r"const MethodSpec (\w+)\s*\{", text):
        body_start = m.end()
        params = text.index(".params = {", body_start) + len(".params = {")
        depth, i, listed, item = 1, params, 0, False
        while depth:
            c = text[i]
            if c == "{":
                depth += 1
            elif c == "}":
                depth -= 1
            if depth == 1 and c == ",":
                listed += 1
                item = False
            elif depth >= 1 and not c.isspace() and c != ",":
                item = True
            i += 1
        listed += item
        count = int(re.search(r"\.count = (\d+)", text[i:]).group(1))
        yield m.group(1), count, listed, text.count("\n", 0, m.start()) + 1


def test_method_table_counts_match_parameter_lists():
    tables = sorted((SRC / "module").glob("*_methods.cpp"))
    entries = [(p, *e) for p in tables for e in table_entries(p.read_text(encoding="utf-8"))]
    assert len(entries) == 30
    wrong = [f"{rel(p)}:{line}: {name} counts {count}, lists {listed}" for p, name, count, listed, line in entries
             if count != listed]
    assert not wrong, "\n".join(wrong)


def test_source_files_stay_small():
    long = [f"{rel(p)}: {n} lines" for p in SOURCES if (n := len(p.read_text(encoding="utf-8").splitlines())) > 400]
    assert not long, "\n".join(long)

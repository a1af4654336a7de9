"""Compares two builds of the Atom module side by side in one process.

    python bench/compare.py BASE.so [--new NEW.so] [--rounds N] [bench_module ...]

Each build is loaded as its own copy of the module (NEW defaults to the installed
one), and every benchmark module of this folder is imported once per build. The
rounds then run each table against both builds in turn, alternating which goes
first, and every figure keeps its best over the rounds. What differs between the
builds is what each figure measures; the machine's drift over minutes falls on
both alike. RDKit is hidden, so the reference columns (the same code for both)
drop out. Prints each figure with its ratio new/base, flags those more than 5%
slower, and exits 1 when any is.
"""
import argparse
import contextlib
import importlib
import importlib.machinery
import importlib.util
import io
import pathlib
import re
import shutil
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
DEFAULT_MODULES = ["bench_core", "bench_output", "bench_reader", "bench_walks"]
BOUND = 1.05
# A figure: a number not followed by "x" or "%" (those are ratios of figures).
FIGURE = re.compile(r"(?<![\w.])(\d+(?:\.\d+)?)(?![\w.%])")
LABEL = re.compile(r"\s*(.*?\S)(?=\s{2,}\d|\s+\d+(?:\.\d+)?\s+(?:ns|us)\b)")


def load_build(path, folder):
    """A copy of the module from `path`, loaded under its own file name so that two
    builds (or one build twice) are two modules with their own state."""
    copy = pathlib.Path(folder) / f"{len(list(pathlib.Path(folder).iterdir()))}-{pathlib.Path(path).name}"
    shutil.copy(path, copy)
    loader = importlib.machinery.ExtensionFileLoader("Atom", str(copy))
    spec = importlib.util.spec_from_file_location("Atom", str(copy), loader=loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


def bench_modules_for(build, names):
    """The benchmark modules imported afresh with `import Atom` naming `build`."""
    sys.modules["Atom"] = build
    for name in ["common", *names]:
        sys.modules.pop(name, None)
    return [importlib.import_module(name) for name in names]


def figures_of(text):
    """{(table, label, column): value} of a printed table."""
    figures, table = {}, 0
    for line in text.splitlines():
        label = LABEL.match(line)
        numbers = FIGURE.findall(line[label.end():]) if label else []
        if not numbers:
            table += 1
            continue
        for column, number in enumerate(numbers):
            figures[(table, label.group(1), column)] = float(number)
    return figures


def run_round(modules_of, order, best):
    for name_index in range(len(next(iter(modules_of.values())))):
        for build in order:
            module = modules_of[build][name_index]
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                module.main()
            for key, value in figures_of(out.getvalue()).items():
                key = (module.__name__, *key)
                best[build][key] = min(best[build].get(key, value), value)


def report(best):
    base, new = best["base"], best["new"]
    slower = 0
    for key in sorted(base, key=lambda k: (k[0], k[1])):
        if key not in new or base[key] == new[key] or base[key] == 0:
            continue
        ratio = new[key] / base[key]
        flag = " <<" if ratio > BOUND else ""
        slower += ratio > BOUND
        module, _, label, column = key
        print(f"{module:<13}{label[:34]:<36}{column:>2}{base[key]:>11.2f}{new[key]:>11.2f}{ratio:>8.3f}{flag}")
    return slower


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("base")
    parser.add_argument("--new")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("modules", nargs="*", default=DEFAULT_MODULES)
    args = parser.parse_intermixed_args(argv)
    if args.new is None:
        args.new = importlib.util.find_spec("Atom").origin
    sys.path.insert(0, str(HERE))
    sys.modules["rdkit"] = None  # the reference columns are the same code for both builds
    with tempfile.TemporaryDirectory() as folder:
        builds = {"base": load_build(args.base, folder), "new": load_build(args.new, folder)}
        modules_of = {name: bench_modules_for(build, args.modules) for name, build in builds.items()}
        best = {"base": {}, "new": {}}
        for round_number in range(args.rounds):
            order = ["base", "new"] if round_number % 2 == 0 else ["new", "base"]
            run_round(modules_of, order, best)
            print(f"round {round_number + 1} of {args.rounds} done", file=sys.stderr)
    print(f"{'module':<13}{'row':<36}{'#':>2}{'base':>11}{'new':>11}{'ratio':>8}")
    slower = report(best)
    print(f"{slower} figures more than {BOUND - 1:.0%} slower")
    return 1 if slower else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

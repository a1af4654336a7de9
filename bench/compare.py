"""Compares two builds of the Atom module side by side, both loaded in each process.

    python bench/compare.py BASE.so [--new NEW.so] [--processes K] [--rounds N] [bench_module ...]

Each build is loaded as its own copy of the module (NEW defaults to the installed
one), and every benchmark module of this folder is imported once per build. The
rounds then run each table against both builds in turn, alternating which goes
first, and every figure keeps its best over the rounds: the machine's drift over
minutes falls on both alike. Where the two copies land in memory still moves a
figure by several percent either way (a build compared with itself shows it), so
K processes, each with its own placement, compare the builds, and a figure's
ratio new/base is the median of theirs. RDKit is hidden, so the reference columns
(the same code for both) drop out. Prints each figure with its median ratio and
the spread, flags those more than 5% slower, and exits 1 when any is.
"""
import argparse
import contextlib
import importlib
import importlib.machinery
import importlib.util
import io
import json
import pathlib
import re
import shutil
import statistics
import subprocess
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


def compare_in_this_process(args):
    """{figure key: (base best, new best)} over the rounds, for one placement."""
    sys.path.insert(0, str(HERE))
    sys.modules["rdkit"] = None  # the reference columns are the same code for both builds
    with tempfile.TemporaryDirectory() as folder:
        paths = {"base": args.base, "new": args.new}
        order = ["base", "new"] if args.load_first == "base" else ["new", "base"]
        builds = {name: load_build(paths[name], folder) for name in order}
        modules_of = {name: bench_modules_for(build, args.modules) for name, build in builds.items()}
        best = {"base": {}, "new": {}}
        for round_number in range(args.rounds):
            run_round(modules_of, order if round_number % 2 == 0 else order[::-1], best)
    return {"|".join(map(str, key)): (best["base"][key], best["new"][key]) for key in best["base"] if key in best["new"]}


def child_argv(args, load_first):
    argv = [sys.executable, "-P", __file__, args.base, "--new", args.new, "--rounds", str(args.rounds),
            "--child", "--load-first", load_first]
    return argv + args.modules


def report(per_process):
    slower = 0
    print(f"{'module':<13}{'row':<36}{'#':>2}{'base':>11}{'new':>11}{'ratio':>8}   spread")
    for key in per_process[0]:
        pairs = [figures[key] for figures in per_process if key in figures]
        if all(base == new for base, new in pairs) or any(base == 0 for base, _ in pairs):
            continue
        ratios = sorted(new / base for base, new in pairs)
        ratio = statistics.median(ratios)
        flag = "<<" if ratio > BOUND else ""
        slower += ratio > BOUND
        module, _, label, column = key.split("|")
        base = statistics.median(b for b, _ in pairs)
        new = statistics.median(n for _, n in pairs)
        print(f"{module:<13}{label[:34]:<36}{column:>2}{base:>11.2f}{new:>11.2f}{ratio:>8.3f} {flag:<3}"
              f"{ratios[0]:.3f}-{ratios[-1]:.3f}")
    return slower


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("base")
    parser.add_argument("--new")
    parser.add_argument("--processes", type=int, default=4)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--load-first", default="base", help=argparse.SUPPRESS)
    parser.add_argument("modules", nargs="*", default=DEFAULT_MODULES)
    args = parser.parse_intermixed_args(argv)
    if args.new is None:
        args.new = importlib.util.find_spec("Atom").origin
    if args.child:
        json.dump(compare_in_this_process(args), sys.stdout)
        return 0
    per_process = []
    for number in range(args.processes):
        run = subprocess.run(child_argv(args, "base" if number % 2 == 0 else "new"),
                             capture_output=True, text=True, check=True)
        per_process.append({key: tuple(pair) for key, pair in json.loads(run.stdout).items()})
        print(f"process {number + 1} of {args.processes} done", file=sys.stderr)
    slower = report(per_process)
    print(f"{slower} figures more than {BOUND - 1:.0%} slower (median of {args.processes} processes)")
    return 1 if slower else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

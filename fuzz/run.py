"""Fuzzes the module: `python fuzz/run.py --target smiles|ops|hostile|both --seconds 60 --seed 1`.

The supervisor starts a worker process per target and restarts it after a crash,
writing the calls the worker was running as a script. The hostile target plants
finalizers, weakref callbacks and a replaced randint that call the module again
(fuzz/hostile.py); `both` is smiles and ops. The worker drives either the
coverage-guided engine (atheris, with the module built for libFuzzer's coverage) or,
where that is not set up, a plain mutational loop from a seeded generator.
"""
import argparse
import json
import os
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "tests", "data")]


def arguments(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--target", choices=["smiles", "ops", "hostile", "both"], default="both")
    p.add_argument("--seconds", type=float, default=60)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--engine", choices=["auto", "atheris", "random"], default="auto")
    p.add_argument("--skip-known", action="store_true", help="do not generate the known fault families")
    p.add_argument("--stop", action="store_true", help="stop at the first new fault")
    p.add_argument("--out", default=os.path.join(HERE, "crashes"))
    p.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    return p.parse_args(argv)


# --- worker ------------------------------------------------------------------------------

class Counts:
    """Inputs and calls run so far, kept in a file the supervisor reads (the coverage-guided
    engine ends the process without returning)."""

    def __init__(self, path):
        self.path, self.started, self.written = path, time.monotonic(), 0
        self.numbers = {"inputs": 0, "calls": 0, "seconds": 0.0, "findings": 0, "stopped": 0}

    def add(self, calls, found=False):
        self.numbers["inputs"] += 1
        self.numbers["calls"] += calls
        self.numbers["findings"] += found
        now = time.monotonic()
        if now - self.written > 2:
            self.save(now)

    def save(self, now=None, stopped=False):
        self.written = now or time.monotonic()
        self.numbers["seconds"] = self.written - self.started
        self.numbers["stopped"] = int(stopped)
        with open(self.path, "w") as f:
            json.dump(self.numbers, f)


def one_input(args, chooser, seed, journal):
    import cases
    import smiles
    if args.target == "smiles":
        return cases.run_smiles(smiles.one(chooser), seed, journal)
    return one_sequence(args, chooser, seed, journal)


def one_sequence(args, chooser, seed, journal):
    import cases
    import hostile
    if args.target == "hostile":
        return hostile.run_hostile(chooser, seed, journal)
    return cases.run_ops(chooser, seed, args.skip_known, journal)


def random_engine(args, deadline, findings, counts, journal):
    from chooser import RandomChooser
    master = RandomChooser(args.seed)
    while time.monotonic() < deadline:
        seed = master.int(0, 2 ** 31)
        finding, calls = one_input(args, RandomChooser(seed), seed, journal)
        counts.add(calls, finding is not None)
        if finding and findings.add(finding, deadline - time.monotonic()):
            counts.save(stopped=True)
            return
    counts.save()


def atheris_engine(args, deadline, findings, counts, journal):
    import atheris
    import cases
    from chooser import DataChooser

    def one(data):
        if args.target == "smiles":
            seed = len(data)
            finding, calls = cases.run_smiles(data.decode("utf-8", "replace"), seed, journal)
        else:
            chooser = DataChooser(atheris.FuzzedDataProvider(data))
            seed = chooser.int(0, 2 ** 31)
            finding, calls = one_sequence(args, chooser, seed, journal)
        counts.add(calls, finding is not None)
        if finding and findings.add(finding, deadline - time.monotonic()):
            counts.save(stopped=True)
            sys.stdout.flush()
            os._exit(0)

    corpus = os.path.join(HERE, "..", "build", "fuzz-corpus", args.target)
    seed_corpus(corpus, args.target)
    flags = [f"-max_total_time={max(1, int(deadline - time.monotonic()))}", f"-seed={args.seed}",
             f"-max_len={12000 if args.target == 'smiles' else 2048}", "-timeout=60", "-rss_limit_mb=6000",
             f"-artifact_prefix={args.out}/", "-print_final_stats=1"]
    atheris.Setup([sys.argv[0]] + flags + [corpus], one)
    atheris.Fuzz()


def seed_corpus(folder, target):
    if os.path.isdir(folder):
        return
    os.makedirs(folder)
    if target == "smiles":
        import smiles
        for i, text in enumerate(smiles.SEEDS):
            with open(os.path.join(folder, f"corpus-{i}"), "w") as f:
                f.write(text)


def worker(args):
    import report
    os.makedirs(args.out, exist_ok=True)
    deadline = time.monotonic() + args.seconds
    journal = report.Journal(os.path.join(args.out, f".journal-{args.target}"))
    counts = Counts(os.path.join(args.out, f".counts-{args.target}"))
    findings = report.Findings(args.out, args.stop)
    engine = atheris_engine if args.engine == "atheris" else random_engine
    engine(args, deadline, findings, counts, journal)
    return 0


# --- supervisor --------------------------------------------------------------------------

def engine_available():
    try:
        import atheris  # noqa: F401
    except ImportError:
        return False
    return os.environ.get("ATOM_FUZZ_PRELOADED") == "1"


def checker():
    """Whether the module imports from the instrumented build, whose checker aborts the process when Python
    code runs while the module's state is unsettled."""
    code = "import sys, Atom; print('present' if '_atom_probe' in sys.modules else 'absent')"
    found = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    return found.stdout.strip() or f"unknown (importing the module failed: {found.stderr.strip()[-200:]})"


def show_log(path, crashed):
    """The worker's error output: whole tail after a crash, else the engine's closing figures."""
    with open(path, errors="replace") as f:
        lines = f.read().splitlines()
    shown = lines[-60:] if crashed else [line for line in lines if line.startswith(("Done ", "stat::"))
                                        or "Traceback" in line or "Error" in line]
    for line in shown:
        print("   ", line, flush=True)


def read_counts(path):
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        counts = json.load(f)
    os.remove(path)
    return counts


def supervise(args):
    import report
    engine = args.engine
    if engine == "auto":
        engine = "atheris" if engine_available() else "random"
    targets = ["smiles", "ops"] if args.target == "both" else [args.target]
    os.makedirs(args.out, exist_ok=True)
    if "hostile" in targets:
        print("== the module's own checker (_atom_probe, an instrumented build):", checker(), flush=True)
    failed = False
    for target in targets:
        seconds = args.seconds / len(targets)
        deadline = time.monotonic() + seconds
        totals = {"inputs": 0, "calls": 0, "seconds": 0.0, "findings": 0, "stopped": 0}
        crashes = 0
        print(f"== fuzzing {target} for {seconds:.0f} s with the {engine} engine, seed {args.seed}", flush=True)
        while deadline - time.monotonic() >= 1:
            cmd = [sys.executable, os.path.abspath(__file__), "--worker", "--target", target, "--engine", engine,
                   "--seconds", str(deadline - time.monotonic()), "--seed", str(args.seed + 1000 * crashes),
                   "--out", args.out] + ["--skip-known"] * args.skip_known + ["--stop"] * args.stop
            log = os.path.join(args.out, f".log-{target}")
            with open(log, "w") as errors:     # the engine's progress, a sanitizer's report
                status = subprocess.call(cmd, stderr=errors)
            show_log(log, crashed=status != 0)
            counts = read_counts(os.path.join(args.out, f".counts-{target}"))
            for key, value in counts.items():
                totals[key] += value
            if status == 0 or counts.get("stopped"):
                break
            crashes += 1
            reason = f"the worker died ({signal.Signals(-status).name if status < 0 else f'exit status {status}'})"
            path = report.crash_script(args.out, target, os.path.join(args.out, f".journal-{target}"), reason)
            print(f"CRASH: {reason}; the calls it was running: {path}", flush=True)
            if args.stop:
                break
        failed = failed or crashes or totals["findings"]
        rate = totals["inputs"] / totals["seconds"] if totals["seconds"] else 0
        calls_rate = totals["calls"] / totals["seconds"] if totals["seconds"] else 0
        print(f"== {target}: {totals['inputs']} inputs, {totals['calls']} checked calls in {totals['seconds']:.0f} s "
              f"({rate:.0f} inputs/s, {calls_rate:.0f} calls/s), {totals['findings']} failing input(s), {crashes} crash(es)",
              flush=True)
    print("== result:", "FAULTS FOUND (see above)" if failed else "clean", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    options = arguments(sys.argv[1:])
    sys.exit(worker(options) if options.worker else supervise(options))

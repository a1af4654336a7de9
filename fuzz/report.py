"""What a fuzzing run found: one script per distinct fault, a readable line for each,
and the journal of the sequence running now (turned into a script if the process dies)."""
import json
import os

import cases
import ops


class Journal:
    """The calls of the current input, written as they run, so a crash leaves them behind."""

    def __init__(self, path):
        self.path = path
        self.fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)

    def start(self, seed):
        os.ftruncate(self.fd, 0)
        os.lseek(self.fd, 0, os.SEEK_SET)
        os.write(self.fd, (json.dumps({"seed": seed}) + "\n").encode())

    def add(self, code):
        os.write(self.fd, (json.dumps(code) + "\n").encode())


def read_journal(path):
    with open(path) as f:
        lines = f.read().splitlines()
    if not lines:
        return None, []
    return json.loads(lines[0])["seed"], [json.loads(line) for line in lines[1:]]


class Findings:
    def __init__(self, folder, stop):
        self.folder = folder
        self.stop = stop
        self.seen = {}

    def path(self, target, known):
        os.makedirs(self.folder, exist_ok=True)
        kind = "known" if known else "new"
        n = sum(1 for name in os.listdir(self.folder) if name.startswith(f"{target}-{kind}-")) + 1
        return os.path.join(self.folder, f"{target}-{kind}-{n}.py")

    def add(self, finding, seconds_left):
        """Records a finding; returns True when the run should stop."""
        key = finding.signature()
        self.seen[key] = self.seen.get(key, 0) + 1
        if self.seen[key] > 1:
            return False
        finding = cases.shrink(finding, seconds_left)
        path = self.path(finding.target, finding.known)
        with open(path, "w") as f:
            f.write(cases.script(finding, os.path.basename(path)))
        family = "carried through from the caller's own request" if finding.known in (ops.ONE_SIDED_HYDROGEN, ops.STALE_ENTRY) else "known"
        label = f"{family} ({finding.known})" if finding.known else "NEW"
        print(f"{label}: {finding.problem}\n    last call: {finding.ops[-1].code.splitlines()[-1]}"
              f"\n    reproducer: {path} ({len(finding.ops)} calls)", flush=True)
        return self.stop and not finding.known

    def summary(self):
        return {key: count for key, count in sorted(self.seen.items())}


def crash_script(folder, target, journal_path, reason):
    """After the worker died: the calls it was running, as a script."""
    seed, lines = read_journal(journal_path)
    if not lines:
        return None
    finding = cases.Finding(target, seed, [cases.Op(line, "crash") for line in lines], reason)
    path = Findings(folder, False).path(target, None)
    with open(path, "w") as f:
        f.write(cases.script(finding, os.path.basename(path)))
    return path

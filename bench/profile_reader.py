"""A driver for `perf record -g`: reads the NCI corpus again and again, into an
empty registry or (with --full) one 80% full. Not a benchmark of its own."""
import sys
import time

from bench_reader import NCI, Registry, atoms_created, A


def main(argv):
    fill = 0.8 if "--full" in argv else 0.0
    seconds = float(argv[0]) if argv and argv[0][0].isdigit() else 5.0
    texts = NCI.read_text().split()
    atoms = {t: atoms_created(t) for t in texts}
    registry = Registry(fill)
    start = time.monotonic()
    end, readings = start + seconds, 0
    while time.monotonic() < end:
        for t in texts:
            registry.make_room(atoms[t])
            A.from_smiles(t)
        readings += len(texts)
    print(f"{(time.monotonic() - start) / readings * 1e6:.1f} us per reading (registry restores included)",
          file=sys.stderr)


if __name__ == "__main__":
    main(sys.argv[1:])

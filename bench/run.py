"""Runs every benchmark module of this folder (bench_*.py) and prints its table."""
import importlib
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent


def main(argv):
    sys.path.insert(0, str(HERE))
    wanted = set(argv)
    for path in sorted(HERE.glob("bench_*.py")):
        if wanted and path.stem not in wanted:
            continue
        module = importlib.import_module(path.stem)
        print(f"== {path.stem} ==")
        module.main()
        print()


if __name__ == "__main__":
    main(sys.argv[1:])

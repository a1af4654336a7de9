"""``python -m brantor``: the command line."""

import sys

from brantor.cli import main

if __name__ == "__main__":
    sys.exit(main())

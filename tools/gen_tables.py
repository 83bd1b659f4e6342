#!/usr/bin/env python3
"""Generates lumdec's constant tables as C++ sources.

Every table the decoder needs at run time is computed here, once, from its
definition (or from the codebook and band data in tools/tablegen/data), and
the output is committed so that a build needs no Python.

    python3 tools/gen_tables.py            rewrite every generated file
    python3 tools/gen_tables.py --check    exit 1 if a committed file is stale

Standard library only.
"""

import argparse
import os
import sys

from tablegen.common import OUTPUTS, ROOT, MissingInput, in_namespace

# Each module registers the files it generates when it is imported.
import tablegen  # noqa: F401  (the package imports its modules)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the committed files instead of writing")
    args = parser.parse_args()
    stale = []
    for path, fn in sorted(OUTPUTS.items()):
        try:
            text = fn()
        except MissingInput as missing:
            print("cannot generate", path, "- input missing:", missing)
            return 1
        if path.startswith("src/"):
            text = in_namespace(text)
        full = os.path.join(ROOT, path)
        try:
            with open(full, encoding="utf-8") as f:
                current = f.read()
        except FileNotFoundError:
            current = None
        if current == text:
            continue
        if args.check:
            stale.append(path)
        else:
            with open(full, "w", encoding="utf-8") as f:
                f.write(text)
            print("wrote", path)
    if stale:
        print("stale generated files (run tools/gen_tables.py):", *stale, sep="\n  ")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

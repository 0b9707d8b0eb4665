#!/usr/bin/env python3
"""Checks that the folders under src/ depend on each other in one direction:
a production file may include headers of its own folder and of folders on
lower layers, never of a folder above or beside it. Tests, fuzz targets and
program entry points are not checked.

Usage: check_layers.py [SRC_DIR]   (default: the src/ beside this script)
Prints each offending include and exits 1 if there is any."""
import re
import sys
from pathlib import Path

LAYERS = {
    "base": 0,
    "package": 1, "serverlist": 1,
    "hardware": 2, "update": 2,
    "ui": 3,
    "app": 4, "download": 4,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)


def is_production(path: Path) -> bool:
    name = path.name
    return not (name.endswith(("_test.cc", "_fuzz.cc", "_main.cc")))


def offences(src: Path):
    for path in sorted(src.glob("*/*")):
        folder = path.parent.name
        if folder not in LAYERS or path.suffix not in (".cc", ".h") or not is_production(path):
            continue
        for line_no, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1)
            if target == folder or target not in LAYERS:
                continue
            if LAYERS[target] >= LAYERS[folder]:
                where = "above" if LAYERS[target] > LAYERS[folder] else "beside"
                yield f"{path.relative_to(src.parent)}:{line_no}: {folder} includes {target}, a layer {where} it"


def main():
    src = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[1] / "src"
    found = list(offences(src))
    for line in found:
        print(line)
    if found:
        print(f"check_layers: {len(found)} include(s) point up or sideways", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

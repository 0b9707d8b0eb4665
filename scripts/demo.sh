#!/usr/bin/env bash
# The launcher's main job, end to end, on a demo installation (see README).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh
. cmake/deps-dir.sh
jobs=$(nproc)
cmake --preset native >/dev/null && cmake --build --preset native -j"$jobs" --target qvk >/dev/null
cmake --preset win32 >/dev/null && cmake --build --preset win32 -j"$jobs" --target launcher stub_game ui_driver >/dev/null
if [ -n "${DISPLAY:-}" ]; then
  exec /usr/bin/python3 scripts/demo.py
fi
exec cmake/with-xvfb.sh /usr/bin/python3 scripts/demo.py

#!/usr/bin/env bash
# The whole path, end to end: two releases served by nginx, the download
# program bringing a demo installation to the latest, the launcher starting it
# (see README).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh
. cmake/deps-dir.sh
jobs=$(nproc)
cmake --preset native >/dev/null && cmake --build --preset native -j"$jobs" --target qvk >/dev/null
# The Windows build this machine's Wine runs (win32, or win64 where 32-bit
# Linux programs cannot run).
cmake --preset "$LAUNCHER_WINDOWS" >/dev/null
cmake --build --preset "$LAUNCHER_WINDOWS" -j"$jobs" --target launcher downloader stub_game ui_driver >/dev/null
if [ -n "${DISPLAY:-}" ]; then
  exec /usr/bin/python3 scripts/demo.py
fi
exec cmake/with-xvfb.sh /usr/bin/python3 scripts/demo.py

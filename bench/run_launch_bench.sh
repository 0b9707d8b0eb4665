#!/usr/bin/env bash
# Times a whole launcher run under Wine up to the game's start, beside Wine
# starting the same game from a trivial program, and prints the medians and
# the ratio (each ratio taken within one pair of runs).
#   bench/run_launch_bench.sh [RUNS]        (default 9, at least 7)
# Builds the native qvk tool in $LAUNCHER_NATIVE_BUILD (default build/native)
# and launcher.exe, stub_game.exe, trivial_starter.exe in $LAUNCHER_WIN32_BUILD
# (default build/win32). The Wine prefix is $LAUNCHER_WINEPREFIX (default the
# shared one); on a machine without a display a private Xvfb is used.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
native=${LAUNCHER_NATIVE_BUILD:-$here/build/native}
win32=${LAUNCHER_WIN32_BUILD:-$here/build/win32}
. "$here/cmake/deps-dir.sh"

cmake --preset native -B "$native" -S "$here" >/dev/null
cmake --build "$native" -j2 --target qvk >/dev/null
cmake --preset win32 -B "$win32" -S "$here" >/dev/null
cmake --build "$win32" -j2 --target launcher stub_game trivial_starter >/dev/null

export LAUNCHER_QVK="$native/tools/qvk" LAUNCHER_WIN32_BUILD="$win32"
if [ -n "${DISPLAY:-}" ]; then
  exec /usr/bin/python3 "$here/bench/launch/launch_bench.py" "$runs"
fi
exec "$here/cmake/with-xvfb.sh" /usr/bin/python3 "$here/bench/launch/launch_bench.py" "$runs"

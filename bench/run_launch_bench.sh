#!/usr/bin/env bash
# Times a whole launcher run under Wine up to the game's start, beside Wine
# starting the same game from a trivial program, and prints the medians and
# the ratio (each ratio taken within one pair of runs).
#   bench/run_launch_bench.sh [RUNS]        (default 9, at least 7)
# Builds the native qvk tool in $LAUNCHER_NATIVE_BUILD (default build/native)
# and launcher.exe, stub_game.exe, trivial_starter.exe in the Windows build this
# machine's Wine runs (build/win32, or build/win64 where 32-bit Linux programs
# cannot run; $LAUNCHER_WINDOWS_BUILD_DIR names another). The Wine prefix is
# $LAUNCHER_WINEPREFIX (default the shared one); on a machine without a
# display a private Xvfb is used.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
native=${LAUNCHER_NATIVE_BUILD:-$here/build/native}
. "$here/cmake/deps-dir.sh"
win=${LAUNCHER_WINDOWS_BUILD_DIR:-$here/build/$LAUNCHER_WINDOWS}

cmake --preset native -B "$native" -S "$here" >/dev/null
cmake --build "$native" -j2 --target qvk >/dev/null
cmake --preset "$LAUNCHER_WINDOWS" -B "$win" -S "$here" >/dev/null
cmake --build "$win" -j2 --target launcher stub_game trivial_starter >/dev/null

export LAUNCHER_QVK="$native/tools/qvk" LAUNCHER_WINDOWS_BUILD_DIR="$win"
if [ -n "${DISPLAY:-}" ]; then
  exec /usr/bin/python3 "$here/bench/launch/launch_bench.py" "$runs"
fi
exec "$here/cmake/with-xvfb.sh" /usr/bin/python3 "$here/bench/launch/launch_bench.py" "$runs"

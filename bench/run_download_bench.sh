#!/usr/bin/env bash
# Times the download program bringing 1 GiB of packages from a real nginx on
# 127.0.0.1 into a fresh installation, beside curl fetching the same files and
# the program's own SHA-256 over them; prints the ratio and the peak working set.
#   bench/run_download_bench.sh [RUNS]   (default 3; DOWNLOAD_BENCH_MIB=512 a package)
# Builds the native qvk tool and, in the Windows build this machine's Wine
# runs, downloader.exe and sha256_bench.exe.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
native=${LAUNCHER_NATIVE_BUILD:-$here/build/native}
. "$here/cmake/deps-dir.sh"
win=${LAUNCHER_WINDOWS_BUILD_DIR:-$here/build/$LAUNCHER_WINDOWS}

cmake --preset native -B "$native" -S "$here" >/dev/null
cmake --build "$native" -j2 --target qvk >/dev/null
cmake --preset "$LAUNCHER_WINDOWS" -B "$win" -S "$here" >/dev/null
cmake --build "$win" -j2 --target downloader sha256_bench >/dev/null

export LAUNCHER_QVK="$native/tools/qvk" LAUNCHER_WINDOWS_BUILD_DIR="$win"
exec /usr/bin/python3 "$here/bench/download/download_bench.py" "$runs"

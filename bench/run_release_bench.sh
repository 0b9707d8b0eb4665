#!/usr/bin/env bash
# The operators' release commands against what an operator would do by hand.
#
# 1. `qvk patch OLD NEW` against `diff -rq OLD NEW` plus `cp` of the changed
#    files, on two trees of FILES files and MIB MiB in all with 10% of the
#    files changed, measured in the same run, alternating, after one warm-up
#    of each; prints the median ratio of RUNS runs.
# 2. `qvk check` on an installation with 300 patch packages and a manifest of
#    100,000 records; prints its median time.
#
#   bench/run_release_bench.sh [FILES] [MIB] [RUNS]
# Defaults: 2000 files, 200 MiB, 5 runs (a quick run). The full figure:
#   bench/run_release_bench.sh 20000 2048 5
# Data in $BENCH_DATA_DIR (default build/release-bench-data; 2 x MIB while
# running, removed at the end). Uses build/native/tools/qvk ($QVK to override).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-2000}
mib=${2:-200}
runs=${3:-5}
qvk=${QVK:-$here/build/native/tools/qvk}
data=${BENCH_DATA_DIR:-$here/build/release-bench-data}
[ -x "$qvk" ] || { echo "build the native preset first ($qvk missing)" >&2; exit 2; }
rm -rf "$data"
mkdir -p "$data"
trap 'rm -rf "$data"' EXIT

echo "making two trees of $files files, $mib MiB, 10% changed" >&2
python3 - "$data" "$files" "$mib" <<'PY'
import os, random, sys
root, files, mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(12)
size = mib * 1024 * 1024 // files
for i in range(files):
    rel = f"data/d{i % 50:02d}/s{i % 7}/file{i:06d}.dat"
    body = os.urandom(size)
    for tree in ("old", "new"):
        path = os.path.join(root, tree, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            if tree == "new" and i % 10 == 3:
                f.write(body[:-16] + os.urandom(16))  # changed near its end, same size
            else:
                f.write(body)
PY

by_hand() {
  rm -rf "$data/hand" && mkdir -p "$data/hand"
  (cd "$data" && diff -rq old new || true) | sed -n 's/^Files old\/\(.*\) and new\/.* differ$/\1/p' |
    (cd "$data/new" && xargs -r -d '\n' cp --parents -t "$data/hand/")
}
with_qvk() {
  rm -rf "$data/pk" && mkdir -p "$data/pk"
  "$qvk" patch "$data/old" "$data/new" "$data/pk" --version=1.0.1 --base=1.0.0 --first >/dev/null
}
seconds() {
  local start end
  start=$(date +%s.%N); "$@"; end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

by_hand; with_qvk  # warm-up: both read from the page cache alike
ratios=()
for i in $(seq 1 "$runs"); do
  hand=$(seconds by_hand)
  tool=$(seconds with_qvk)
  ratios+=("$(echo "$tool / $hand" | bc -l)")
  printf 'run %d: diff -rq + cp %.3f s, qvk patch %.3f s\n' "$i" "$hand" "$tool" >&2
done
changed=$(find "$data/hand" -type f | wc -l)
printf 'qvk patch / (diff -rq + cp): %.2f (median of %d runs; %d files, %d MiB, %d changed)\n' \
  "$(printf '%s\n' "${ratios[@]}" | sort -g | sed -n "$(( (runs + 1) / 2 ))p")" "$runs" "$files" "$mib" "$changed"
rm -rf "$data/old" "$data/new" "$data/hand" "$data/pk"

echo "making an installation with 300 packages and a 100,000-record manifest" >&2
inst="$data/inst"
mkdir -p "$inst/System" "$data/src"
printf '[run]\r\nbase_version=1.0.0\r\ngame_exe=Game.exe\r\n' > "$inst/updatecfg.ini"
printf '[Setting]\r\nVersion=1.0.300\r\n' > "$inst/update.ini"
printf 'exe' > "$inst/System/Game.exe"
for v in $(seq 10001 10299); do
  rm -rf "$data/src" && mkdir -p "$data/src" && printf 'x' > "$data/src/f$v.dat"
  "$qvk" create "$inst/System/Verpatch$v.qvk" "$data/src" >/dev/null
done
rm -rf "$data/src" && mkdir -p "$data/src"
python3 - "$data/src/PatchList.txt" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    for i in range(100000):
        f.write(f"FILE{i:06d}.DAT\tdata/d{i % 50:02d}/file{i:06d}.dat\t{10001 + i % 300}\n")
PY
"$qvk" create "$inst/System/Verpatch10300.qvk" "$data/src" >/dev/null
check_once() { "$qvk" check "$inst" >/dev/null; }
check_once || { echo "qvk check does not pass on the bench installation" >&2; exit 1; }
times=()
for i in $(seq 1 "$runs"); do times+=("$(seconds check_once)"); done
printf 'qvk check, 300 packages, 100,000 records: %.3f s (median of %d runs)\n' \
  "$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(( (runs + 1) / 2 ))p")" "$runs"

#!/usr/bin/env bash
# Builds the bench preset and prints the package reader's ratios against its
# references, each ratio taken within one run of the benchmark program, as the
# median of RUNS runs (default 7).
#   bench/run_package_bench.sh [RUNS]
# Build directory: $BENCH_BUILD_DIR (default build/bench); data files (about
# 800 MiB while running) in $BENCH_DATA_DIR (default BUILD/package-bench-data).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
build=${BENCH_BUILD_DIR:-$here/build/bench}
data=${BENCH_DATA_DIR:-$build/package-bench-data}

cmake --preset bench -B "$build" -S "$here" >/dev/null
cmake --build "$build" -j2 --target package_bench >/dev/null
mkdir -p "$data"

results=()
for i in $(seq 1 "$runs"); do
  out="$build/package-bench-run-$i.json"
  echo "run $i of $runs" >&2
  TZ=UTC "$build/bench/package_bench" --work_dir="$data" --benchmark_out="$out" \
    --benchmark_out_format=json >/dev/null
  results+=("$out")
done

python3 - "${results[@]}" <<'PY'
import json, re, statistics, sys

def plain(name):
    # Drops the run settings Google Benchmark appends to a name.
    return "/".join(p for p in name.split("/")
                    if not re.fullmatch(r"min_time:.*|iterations:\d+|real_time", p))

runs = []
for path in sys.argv[1:]:
    with open(path) as f:
        runs.append({plain(b["name"]): b for b in json.load(f)["benchmarks"]})

def t(run, name):
    return run[name]["real_time"]

ratios = [
    ("open 100,000 entries: QvkOpen / libzip zip_open", "BM_QvkOpen", "BM_ZipOpen", 0.5),
    ("open 100,000 entries: all stored hashes in one bucket / ordinary hashes",
     "BM_QvkOpenColliding", "BM_QvkOpen", 2.0),
    ("open + look up every name: Qvk / libzip zip_name_locate", "BM_QvkOpenLookup",
     "BM_ZipOpenLocate", 0.75),
    ("extract 256 MiB: QvkExtract / read-write loop (16 KiB)", "BM_QvkExtract",
     "BM_CopyLoop", 1.10),
    ("extract 256 MiB: QvkExtract / cp", "BM_QvkExtract",
     "BM_Cp", None),
    ("unscramble 16 KiB, directory key / memcpy", "BM_Unscramble<32>/16384", "BM_Memcpy/16384", 1.0),
    ("unscramble 16 KiB, entry key / memcpy", "BM_Unscramble<1>/16384", "BM_Memcpy/16384", 1.0),
    ("unscramble 8 MiB, directory key / memcpy", "BM_Unscramble<32>/8388608", "BM_Memcpy/8388608", 1.0),
    ("unscramble 8 MiB, entry key / memcpy", "BM_Unscramble<1>/8388608", "BM_Memcpy/8388608", 1.0),
    ("patch list 100,000 lines, window mode: ParsePatchList / line-feed count",
     "BM_PatchListParse<PatchListMode::kWindow>", "BM_PatchListScan", 2.5),
    ("patch list 100,000 lines, worker mode: ParsePatchList / line-feed count",
     "BM_PatchListParse<PatchListMode::kWorker>", "BM_PatchListScan", 2.5),
]
print(f"package benchmarks: medians of {len(runs)} runs, each ratio within one run")
failed = False
for label, subject, reference, goal in ratios:
    values = sorted(t(r, subject) / t(r, reference) for r in runs)
    median = statistics.median(values)
    verdict = ""
    if goal is not None:
        ok = median <= goal
        failed |= not ok
        verdict = f"  (goal <= {goal:.2f}: {'met' if ok else 'MISSED'})"
    print(f"  {label}: {median:.3f}  [runs {values[0]:.3f}..{values[-1]:.3f}]{verdict}")
mem = [r for r in runs if "BM_QvkMemory" in r]
if mem:
    m = mem[-1]["BM_QvkMemory"]
    print(f"  memory of an open 100,000-entry archive: {m['bytes_per_record']:.1f} bytes per record,"
          f" of which names {m['name_bytes_per_record']:.1f} bytes (UTF-16 with terminator)")
ms = lambda name: statistics.median(r[name]["real_time"] for r in runs)
print(f"  (absolute medians: QvkOpen {ms('BM_QvkOpen'):.2f} ms, zip_open {ms('BM_ZipOpen'):.2f} ms,"
      f" patch list line-feed count {ms('BM_PatchListScan'):.2f} ms)")
sys.exit(1 if failed else 0)
PY

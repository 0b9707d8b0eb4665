#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz_* target for SECONDS seconds each.
#   scripts/fuzz.sh SECONDS
# Seeds: every program named *_seeds in the build tree is run first with
# BUILD/seeds as its argument and writes BUILD/seeds/<target>/. A target
# starts from those, from the hand-written documents in
# tests/fuzz/seeds/<target>/ and from the corpus kept in
# tests/fuzz/corpus/<target>/ (grown by long runs, minimised; replayed here
# every time). New inputs go to BUILD/corpus/<target> and crashes to
# BUILD/artifacts/. The build directory is $FUZZ_BUILD_DIR, by
# default build/fuzz in the checkout. Exit status 1 if any target failed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh SECONDS" >&2
  exit 2
fi
build=${FUZZ_BUILD_DIR:-$here/build/fuzz}

cmake --preset fuzz -B "$build" -S "$here" >/dev/null
cmake --build "$build" -j2

while IFS= read -r seeder; do
  "$seeder" "$build/seeds"
done < <(find "$build" -type f -name '*_seeds' -perm -u+x | sort)

mkdir -p "$build/artifacts"
failed=()
summary=()
while IFS= read -r target; do
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  dirs=("$corpus")
  for given in "$here/tests/fuzz/corpus/$name" "$here/tests/fuzz/seeds/$name" "$build/seeds/$name"; do
    [ -d "$given" ] && dirs+=("$given")
  done
  log="$build/artifacts/$name.log"
  echo "fuzz: $name for ${seconds}s"
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$name-" "${dirs[@]}" >"$log" 2>&1; then
    runs=$(grep -Eo '^stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || echo '?')
    summary+=("$name: $runs executions in ${seconds}s, no failure")
  else
    failed+=("$name")
    summary+=("$name: FAILED (see $log)")
    tail -n 40 "$log" >&2
  fi
done < <(find "$build" -type f -name 'fuzz_*' -perm -u+x ! -name '*.*' | sort)

printf '%s\n' "${summary[@]}"
if [ ${#summary[@]} -eq 0 ]; then
  echo "fuzz: no fuzz_* targets found in $build" >&2
  exit 1
fi
[ ${#failed[@]} -eq 0 ]

#!/usr/bin/env bash
# Runs every test tier: native unit tests, the same under ASan and UBSan,
# the Windows unit tests under Wine, short fuzz runs, and the end-to-end
# scenarios with the real launcher.exe under Wine. Ends with pytest's summary.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh || exit 1
. cmake/deps-dir.sh
export LAUNCHER_WERROR=ON
jobs=$(nproc)
failed=()

tier() {  # tier NAME COMMAND...
  local name=$1
  shift
  echo "=== $name"
  local start=$SECONDS
  "$@" || failed+=("$name")
  echo "=== $name: $((SECONDS - start)) s"
}

build() {  # build PRESET
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$jobs"
}

tier "native build" build native
tier "native tests" ctest --preset native -j"$jobs"
tier "asan build" build asan
tier "asan tests" ctest --preset asan -j"$jobs"
tier "win32 build" build win32
# Windows tests share one Wine prefix and one display; run them one at a time.
tier "win32 tests" cmake/with-xvfb.sh ctest --preset win32
if [ -x scripts/fuzz.sh ]; then
  tier "fuzz" bash scripts/fuzz.sh "${LAUNCHER_FUZZ_SECONDS:-15}"
fi

echo "=== end-to-end (pytest)"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'failed tiers:'; printf ' [%s]' "${failed[@]}"; echo
fi
LAUNCHER_WIN32_BUILD="$here/build/win32" /usr/bin/python3 -m pytest -p no:cacheprovider -q tests/e2e
rc=$?
[ ${#failed[@]} -eq 0 ] || rc=1
exit $rc

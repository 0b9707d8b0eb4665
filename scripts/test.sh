#!/usr/bin/env bash
# Runs every test tier: native unit tests, the same under ASan and UBSan,
# the Windows unit tests under Wine, short fuzz runs, and the end-to-end
# scenarios with the real launcher.exe under Wine. Ends with pytest's summary.
# Both Windows builds are compiled every time. Where the machine runs 32-bit
# Linux programs, the unit tests of both run and the end-to-end tier runs the
# shipped i686 build; where it does not (or LAUNCHER_WINDOWS=win64), the
# i686 build is checked statically and everything else runs the x86_64 build.
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
tier "win64 build" build win64
# Windows tests share one Wine prefix, one wineserver and one display per
# build; run them one at a time.
if [ "$LAUNCHER_WINDOWS" = win32 ]; then
  tier "win32 tests" cmake/wine-session.sh win32 ctest --preset win32
else
  echo "win32 tests: static checks only; the Windows tests of this run take the win64 build"
  tier "win32 static checks" ctest --preset win32 -L static
fi
tier "win64 tests" cmake/wine-session.sh win64 ctest --preset win64
if [ -x scripts/fuzz.sh ]; then
  tier "fuzz" bash scripts/fuzz.sh "${LAUNCHER_FUZZ_SECONDS:-15}"
fi

echo "=== end-to-end (pytest)"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'failed tiers:'; printf ' [%s]' "${failed[@]}"; echo
fi
echo "end-to-end: the $LAUNCHER_WINDOWS build"
/usr/bin/python3 -m pytest -p no:cacheprovider -q tests/e2e
rc=$?
[ ${#failed[@]} -eq 0 ] || rc=1
exit $rc

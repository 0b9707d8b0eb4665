# Sourced by the scripts: where the cross-built dependencies, the Wine prefixes
# and other build caches live (outside the checkout, so fresh clones reuse
# them), and which Windows build this machine's Wine runs.
: "${LAUNCHER_DEPS:=${XDG_CACHE_HOME:-$HOME/.cache}/launcher-deps}"
export LAUNCHER_DEPS
export WINEDEBUG="${WINEDEBUG:--all}"

# Whether the kernel runs 32-bit x86 Linux programs: runs a 93-byte i386
# program that only exits. Some kernels refuse them ("Exec format error"),
# and there Debian's 32-bit Wine cannot run at all. Returns 0 (they run),
# 1 (refused), or 2 when the probe itself could not run (then it says why).
machine_runs_i386() {
  local dir="$LAUNCHER_DEPS/probe" probe out
  mkdir -p "$dir" || return 2
  probe=$(mktemp "$dir/i386.XXXXXX") || return 2
  echo 'f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhdAAAAXQAAAAUAAAAAEAAAMdu4AQAAAM2A' \
    | base64 -d >"$probe" && chmod +x "$probe"
  local rc=0
  out=$("$probe" 2>&1) || rc=$?
  rm -f "$probe"
  [ $rc -eq 0 ] && return 0
  case "$out" in
    *"Exec format error"*) return 1 ;;
  esac
  echo "the 32-bit probe $probe could not run: $out" >&2
  return 2
}

# The Windows build the tests, the demo and the benchmarks run: win32 (the
# shipped i686 build) where the machine runs 32-bit programs, else win64.
# scripts/setup.sh finds out and records it; LAUNCHER_WINDOWS=win64 forces
# the 64-bit path on a machine that could run both.
if [ -z "${LAUNCHER_WINDOWS:-}" ]; then
  LAUNCHER_WINDOWS=$(cat "$LAUNCHER_DEPS/windows-build" 2>/dev/null || true)
  if [ -z "$LAUNCHER_WINDOWS" ]; then
    if machine_runs_i386 2>/dev/null; then LAUNCHER_WINDOWS=win32; else LAUNCHER_WINDOWS=win64; fi
  fi
fi
export LAUNCHER_WINDOWS

# wine_use win32|win64: the prefix and the Wine commands ($LAUNCHER_WINE,
# $LAUNCHER_WINESERVER) for that build's programs. Each build has its own
# prefix; LAUNCHER_WINEPREFIX gives a separate one (and wineserver), e.g. for
# a second test run beside the first.
# Debian's wine script picks the 32-bit loader whenever it is installed, so
# 64-bit programs are run by the 64-bit loader itself.
wine_use() {
  local base="${LAUNCHER_WINEPREFIX:-$LAUNCHER_DEPS/wineprefix}"
  case "$1" in
    win32|win64) ;;
    *) echo "wine_use: the build is win32 or win64, not '$1'" >&2; return 2 ;;
  esac
  if [ "$1" = win64 ]; then
    export WINEPREFIX="${base}64" WINEARCH=win64
    export LAUNCHER_WINE=/usr/lib/wine/wine64 LAUNCHER_WINESERVER=/usr/lib/wine/wineserver64
    export WINESERVER=$LAUNCHER_WINESERVER  # the server Wine's loader starts
  else
    export WINEPREFIX="$base" WINEARCH=win32
    export LAUNCHER_WINE=wine LAUNCHER_WINESERVER=wineserver
    unset WINESERVER
  fi
}
wine_use "$LAUNCHER_WINDOWS"

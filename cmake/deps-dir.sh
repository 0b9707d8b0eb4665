# Sourced by the scripts: where the cross-built dependencies, the Wine prefix
# and other build caches live. Outside the checkout so fresh clones reuse them.
: "${LAUNCHER_DEPS:=${XDG_CACHE_HOME:-$HOME/.cache}/launcher-deps}"
export LAUNCHER_DEPS
# LAUNCHER_WINEPREFIX gives a separate prefix (and wineserver), e.g. for a
# second test run beside the first.
export WINEPREFIX="${LAUNCHER_WINEPREFIX:-$LAUNCHER_DEPS/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"

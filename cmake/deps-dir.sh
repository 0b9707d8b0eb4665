# Sourced by the scripts: where the cross-built dependencies, the Wine prefix
# and other build caches live. Outside the checkout so fresh clones reuse them.
: "${LAUNCHER_DEPS:=${XDG_CACHE_HOME:-$HOME/.cache}/launcher-deps}"
export LAUNCHER_DEPS
export WINEPREFIX="$LAUNCHER_DEPS/wineprefix"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"

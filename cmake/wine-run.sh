#!/usr/bin/env bash
# Runs a Windows program under Wine with the prefix and loader of its build:
#   wine-run.sh win32|win64 PROGRAM [ARGS...]
# Without a display it starts a private Xvfb for the length of the run.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/deps-dir.sh"
wine_use "$1" || exit 2
shift
if [ -z "${DISPLAY:-}" ]; then
  exec "$here/with-xvfb.sh" "$LAUNCHER_WINE" "$@"
fi
exec "$LAUNCHER_WINE" "$@"

#!/usr/bin/env bash
# Runs a command with one persistent, warmed wineserver for a build's prefix,
# on a private Xvfb when there is no display:
#   wine-session.sh win32|win64 COMMAND [ARGS...]
# Every Wine program the command starts joins that server instead of starting
# Wine cold (about 3 s each).
here=$(cd "$(dirname "$0")" && pwd)
. "$here/deps-dir.sh"
arch=$1
shift
if [ -z "${DISPLAY:-}" ]; then
  exec "$here/with-xvfb.sh" "$0" "$arch" "$@"
fi
wine_use "$arch" || exit 2
"$LAUNCHER_WINESERVER" -p
# The server is ended however the command ends.
trap '"$LAUNCHER_WINESERVER" -k 2>/dev/null' EXIT
# The first process of a server starts Wine's services, which inherit its
# standard handles: started here, they hold no pipe of the command open.
"$LAUNCHER_WINE" wineboot >/dev/null 2>&1 </dev/null
"$@"

#!/usr/bin/env bash
# Runs a command on a private Xvfb display that ends with it. Xvfb picks a
# free display number and writes it to a pipe once it accepts connections.
set -u
dir=$(mktemp -d)
mkfifo "$dir/fd"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$dir/fd" >/dev/null 2>&1 &
xpid=$!
read -r disp <"$dir/fd"
rm -rf "$dir"
if [ -z "$disp" ]; then echo "with-xvfb: Xvfb did not start" >&2; exit 1; fi
export DISPLAY=":$disp"
# A compositing manager, so that per-pixel alpha windows blend with what lies
# below them, as on a player's desktop (without one Wine blends with black).
cpid=""
if command -v xcompmgr >/dev/null; then
  xcompmgr >/dev/null 2>&1 &
  cpid=$!
fi
"$@"
rc=$?
[ -n "$cpid" ] && kill "$cpid" 2>/dev/null
kill "$xpid" 2>/dev/null
wait 2>/dev/null
exit $rc

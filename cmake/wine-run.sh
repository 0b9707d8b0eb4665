#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix. Without a
# display it starts a private Xvfb for the length of the run.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/deps-dir.sh"
if [ -z "${DISPLAY:-}" ]; then
  exec "$here/with-xvfb.sh" wine "$@"
fi
exec wine "$@"

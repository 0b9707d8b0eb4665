"""Which Windows build this machine's Wine runs, and how to run it: the same
decisions as cmake/deps-dir.sh, for the Python harnesses (end-to-end tests,
demo, launch benchmark).

The build is win32 (the shipped i686 build, 32-bit Wine) where the machine
runs 32-bit Linux programs, else win64 (the x86_64 build, 64-bit Wine).
scripts/setup.sh records which; LAUNCHER_WINDOWS overrides it."""
import os
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def deps_dir():
    return os.environ.get("LAUNCHER_DEPS") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "launcher-deps")


def windows_build():
    chosen = os.environ.get("LAUNCHER_WINDOWS")
    if not chosen:
        record = Path(deps_dir()) / "windows-build"
        if not record.exists():
            raise SystemExit(f"{record} is missing: run scripts/setup.sh first")
        chosen = record.read_text().strip()
    if chosen not in ("win32", "win64"):
        raise SystemExit(f"LAUNCHER_WINDOWS is win32 or win64, not {chosen!r}")
    return chosen


BUILD_NAME = windows_build()
# The build directory of that build's programs; LAUNCHER_WINDOWS_BUILD_DIR names another.
BUILD = Path(os.environ.get("LAUNCHER_WINDOWS_BUILD_DIR") or ROOT / "build" / BUILD_NAME)

# Debian's wine script picks the 32-bit loader whenever it is installed, so
# 64-bit programs go to the 64-bit loader itself.
if BUILD_NAME == "win64":
    WINE, WINESERVER = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver64"
else:
    WINE, WINESERVER = "wine", "wineserver"


def wine_env(**overrides):
    """The process environment for Wine runs of BUILD's programs."""
    env = dict(os.environ)
    deps = deps_dir()
    prefix = env.get("LAUNCHER_WINEPREFIX") or os.path.join(deps, "wineprefix")
    env.update(LAUNCHER_DEPS=deps, WINEDEBUG="-all", LC_ALL="C.UTF-8")
    if BUILD_NAME == "win64":
        env.update(WINEPREFIX=prefix + "64", WINEARCH="win64", WINESERVER=WINESERVER)
    else:
        env.update(WINEPREFIX=prefix, WINEARCH="win32")
        env.pop("WINESERVER", None)
    env.pop("WINEDLLOVERRIDES", None)
    env.update(overrides)
    return env

#!/usr/bin/env python3
"""The launch benchmark (run it through bench/run_launch_bench.sh). Under one
persistent wineserver it takes turns starting launcher.exe on the demo
installation, launcher.exe on a grown installation (300 patch packages, a
100,000-line manifest) and trivial_starter.exe (which only starts the same
game the same way) on the demo installation. Each run is timed from Popen to
the moment the stand-in game's code began to run (its "start_ms" record line,
wall clock). Prints the medians, the median of the per-round ratios, and
where the launcher's time goes.

The breakdown uses only what the launcher can already be seen doing: the
moment each launch log line appears and the moments files in System are
replaced (inotify on the System directory), and the game's own record."""
import ctypes
import http.server
import os
import select
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import demo_install  # noqa: E402
import wine_host  # noqa: E402
from wine_host import WINE, WINESERVER  # noqa: E402

WIN = wine_host.BUILD
LAUNCHER = WIN / "src" / "app" / "launcher.exe"
TRIVIAL = WIN / "bench" / "launch" / "trivial_starter.exe"
STUB = WIN / "tests" / "e2e" / "stub_game.exe"
OUT = Path(os.environ.get("LAUNCH_BENCH_DIR", WIN / "launch-bench"))
COMMAND_TEXT = "zone=demo&user=player"

GROWN_PACKAGES = 300
GROWN_MANIFEST_LINES = 100_000


def wine_env():
    return wine_host.wine_env(WINEDEBUG=os.environ.get("LAUNCH_BENCH_WINEDEBUG", "-all"))


def serve(files):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            body = files.get(self.path)
            self.send_response(200 if body is not None else 404)
            body = body if body is not None else b"not found"
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    return httpd


def grow(inst):
    """Turns a demo installation into one that has grown for years: patch
    packages 10001..10300, the newest holding the game and a manifest of
    100,000 records spread over all of them."""
    top = 10000 + GROWN_PACKAGES
    system = inst / "System"
    for old in system.glob("Verpatch*.qvk"):
        old.unlink()
    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        for number in range(10001, top):
            content = scratch / str(number)
            (content / "data").mkdir(parents=True)
            (content / "data" / f"part{number}.dat").write_bytes(b"x" * 64)
            demo_install.qvk_create(system / f"Verpatch{number:05d}.qvk", content)
        newest = scratch / "newest"
        newest.mkdir()
        (newest / "Game.exe").write_bytes(STUB.read_bytes())
        lines = [f"GAME.EXE\tGame.exe\t{top}\n"]
        for i in range(GROWN_MANIFEST_LINES - 1):
            sub, version = i % 97, 10001 + i % GROWN_PACKAGES
            lines.append(f"DATA/TEXTURES/SUB{sub:02d}/FILE_{i:06d}.DDS\t"
                         f"gamedata/data/textures/sub{sub:02d}/file_{i:06d}.dds\t{version}\n")
        (newest / "PatchList.txt").write_text("".join(lines))
        demo_install.qvk_create(system / f"Verpatch{top:05d}.qvk", newest)
    (inst / "update.ini").write_text(demo_install.ini_text({"Setting": {"Version": f"1.0.{top - 10000}"}}))


# ---- what the launcher can be seen doing ----

IN_MODIFY, IN_MOVED_TO, IN_CREATE = 0x2, 0x80, 0x100
_libc = ctypes.CDLL(None, use_errno=True)


class SystemWatch:
    """Timestamps, from a thread blocked on inotify, each new launch log line
    and each file that appears in or is moved into System."""

    def __init__(self, system: Path):
        self.system = system
        self.log = system / "launch.log"
        self.lines = []      # (ms, text)
        self.files = []      # (ms, name)
        self._pending = b""
        self._offset = 0
        self._fd = _libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self._fd < 0 or _libc.inotify_add_watch(self._fd, bytes(system),
                                                   IN_MODIFY | IN_MOVED_TO | IN_CREATE) < 0:
            raise OSError(ctypes.get_errno(), "inotify")
        self._done = threading.Event()
        self._thread = threading.Thread(target=self._loop, daemon=True)
        self._thread.start()

    def _read_log(self, now):
        try:
            data = self.log.read_bytes()
        except OSError:
            return
        if len(data) < self._offset:  # emptied by the launcher's start
            self._offset, self._pending = 0, b""
        self._pending += data[self._offset:]
        self._offset = len(data)
        *complete, self._pending = self._pending.split(b"\n")
        for line in complete:
            self.lines.append((now, line.rstrip(b"\r").decode("utf-8", "replace")))

    def _loop(self):
        while not self._done.is_set():
            ready, _, _ = select.select([self._fd], [], [], 0.05)
            if not ready:
                continue
            now = time.time() * 1000.0
            data = os.read(self._fd, 65536)
            log_changed = False
            pos = 0
            while pos + 16 <= len(data):
                _, mask, _, size = struct.unpack_from("iIII", data, pos)
                name = data[pos + 16:pos + 16 + size].split(b"\0", 1)[0].decode("utf-8", "replace")
                pos += 16 + size
                if name == "launch.log":
                    log_changed = True
                elif mask & (IN_MOVED_TO | IN_CREATE):
                    self.files.append((now, name))
            if log_changed:
                self._read_log(now)

    def stop(self):
        self._done.set()
        self._thread.join()
        self._read_log(time.time() * 1000.0)
        if self._pending:  # "time:%d" has no line end
            self.lines.append((time.time() * 1000.0, self._pending.decode("utf-8", "replace")))
        os.close(self._fd)

    def line(self, prefix, last=False):
        found = [ms for ms, text in self.lines if text.startswith(prefix)]
        return (found[-1] if last else found[0]) if found else None

    def line_before(self, prefix):
        for i, (_, text) in enumerate(self.lines):
            if text.startswith(prefix) and i > 0:
                return self.lines[i - 1][0]
        return None

    def file(self, name):
        return next((ms for ms, n in self.files if n.lower() == name.lower()), None)


PHASES = [
    # (name, start event, end event); events are looked up in a run's marks.
    ("Wine starts the process", "popen", "first line"),
    ("start-up (log, language, checks)", "first line", "Set LANGID"),
    ("window and graphics check", "Set LANGID", "D3D9Check:"),
    ("server list", "D3D9Check:", "DownloadServerlist"),
    ("versions, manifest, side files, packages", "DownloadServerlist", "currentzone.ini"),
    ("executable refresh", "currentzone.ini", "Game.exe"),
    ("level choice", "Game.exe", "last level line"),
    ("game start", "last level line", "game"),
]


def marks(watch, popen_ms, game_ms):
    return {
        "popen": popen_ms,
        "first line": watch.lines[0][0] if watch.lines else None,
        "Set LANGID": watch.line("Set LANGID"),
        "D3D9Check:": watch.line("D3D9Check:"),
        "DownloadServerlist": watch.line("DownloadServerlist", last=True),
        "currentzone.ini": watch.file("currentzone.ini"),
        "Game.exe": watch.file("Game.exe"),
        "last level line": watch.line_before("ShellExecute"),
        "game": game_ms,
    }


def stub_start_ms(record, timeout=60):
    """The start time in the record's last complete entry, waiting for it."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if record.exists():
            fields = dict(line.split("=", 1) for line in record.read_text("utf-8").splitlines() if "=" in line)
            if "created_ms" in fields:  # the entry's last line
                return int(fields["start_ms"])
        time.sleep(0.005)
    raise RuntimeError(f"the game was not started within {timeout} s")


def timed_run(env, inst, argv, expected_code):
    """Milliseconds from Popen to the game's start, and the run's marks;
    waits for the program's end."""
    record = inst / "System" / "stub_record.txt"
    record.unlink(missing_ok=True)
    (inst / "System" / "launch.log").unlink(missing_ok=True)
    watch = SystemWatch(inst / "System")
    started_ms = time.time() * 1000.0
    proc = subprocess.Popen([WINE, *map(str, argv)], cwd=inst, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        game_ms = stub_start_ms(record)
    except BaseException:
        proc.kill()  # a launcher waiting behind a message box
        raise
    finally:
        code = proc.wait(timeout=120)
        watch.stop()
    if code != expected_code:
        log = inst / "System" / "launch.log"
        text = log.read_bytes().decode("utf-8", "replace") if log.exists() else "(no log)"
        raise RuntimeError(f"{argv[0].name} ended with {code}, expected {expected_code}\n{text}")
    return game_ms - started_ms, marks(watch, started_ms, game_ms)


def print_breakdown(title, runs_marks):
    print(f"  {title}: where the launcher's time goes (medians, ms)")
    for name, start, end in PHASES:
        spans = [m[end] - m[start] for m in runs_marks if m[start] is not None and m[end] is not None]
        shown = f"{statistics.median(spans):7.0f}" if spans else "      -"
        print(f"    {name:44s}{shown}")


def main():
    runs = max(7, int(sys.argv[1]) if len(sys.argv) > 1 else 9)
    for exe in (LAUNCHER, TRIVIAL, STUB):
        if not exe.exists():
            sys.exit(f"{exe} is missing: build the {wine_host.BUILD_NAME} preset")
    env = wine_env()
    httpd = serve({
        "/serverlist.xml": demo_install.server_list_xml(10000, demo_install.DEFAULT_ZONES),
        "/Proxy.ini": b"[proxy]\r\nenabled=0\r\n",
        "/pqx_enc.ini": b"[enc]\r\nmode=1\r\n",
        "/pqx_bsid.xml": b'<?xml version="1.0"?><bsid id="demo"/>\n',
    })
    url = f"http://127.0.0.1:{httpd.server_address[1]}"
    demo, grown = OUT / "installation", OUT / "grown-installation"
    subprocess.run(["rm", "-rf", str(demo), str(grown)], check=True)
    demo_install.build(demo, url, STUB)
    demo_install.build(grown, url, STUB)
    grow(grown)

    launcher = [LAUNCHER, COMMAND_TEXT]
    # The same name and a parameter string of the same form as the launcher's.
    trivial = [TRIVIAL, "Game.exe", f"{COMMAND_TEXT}&{int(time.time())}&d3d9check=1"]
    subprocess.run([WINESERVER, "-p"], env=env, check=False)
    rounds = []
    try:
        # One unmeasured run of each warms Wine and the file cache.
        timed_run(env, demo, launcher, 1)
        timed_run(env, grown, launcher, 1)
        timed_run(env, demo, trivial, 0)
        for i in range(runs):
            a, a_marks = timed_run(env, demo, launcher, 1)
            g, g_marks = timed_run(env, grown, launcher, 1)
            b, _ = timed_run(env, demo, trivial, 0)
            rounds.append((a, g, b, a_marks, g_marks))
            print(f"round {i + 1} of {runs}: launcher {a:.0f} ms, on the grown installation {g:.0f} ms,"
                  f" trivial {b:.0f} ms", file=sys.stderr)
    finally:
        subprocess.run([WINESERVER, "-k"], env=env, check=False)
        httpd.shutdown()

    def median(values):
        return statistics.median(values)

    demo_ratios = sorted(a / b for a, _, b, _, _ in rounds)
    grown_ratios = sorted(g / a for a, g, _, _, _ in rounds)
    print(f"launch benchmark under Wine: medians of {runs} rounds, from Popen to the game's start")
    print(f"  launcher.exe, demo installation:      {median([r[0] for r in rounds]):7.0f} ms")
    print(f"  launcher.exe, grown installation:     {median([r[1] for r in rounds]):7.0f} ms"
          f"  ({GROWN_PACKAGES} packages, {GROWN_MANIFEST_LINES:,}-line manifest)")
    print(f"  trivial_starter.exe, demo installation:{median([r[2] for r in rounds]):7.0f} ms")
    print(f"  ratio launcher / trivial (per round):        {median(demo_ratios):.2f}"
          f"  [runs {demo_ratios[0]:.2f}..{demo_ratios[-1]:.2f}]")
    print(f"  ratio grown / demo installation (per round): {median(grown_ratios):.2f}"
          f"  [runs {grown_ratios[0]:.2f}..{grown_ratios[-1]:.2f}]")
    print_breakdown("demo installation", [r[3] for r in rounds])
    print_breakdown("grown installation", [r[4] for r in rounds])
    return 0


if __name__ == "__main__":
    sys.exit(main())

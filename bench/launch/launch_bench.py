#!/usr/bin/env python3
"""The launch benchmark (run it through bench/run_launch_bench.sh): on one demo
installation, under one persistent wineserver, alternately starts
launcher.exe and trivial_starter.exe (which only starts the same game the same
way) and takes for each run the time from Popen to the moment the stand-in
game's code began to run (its "start_ms" record line, wall clock). Prints the
medians and the median of the per-pair ratios launcher / trivial."""
import http.server
import os
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import demo_install  # noqa: E402

WIN32 = Path(os.environ.get("LAUNCHER_WIN32_BUILD", ROOT / "build" / "win32"))
LAUNCHER = WIN32 / "src" / "app" / "launcher.exe"
TRIVIAL = WIN32 / "bench" / "launch" / "trivial_starter.exe"
STUB = WIN32 / "tests" / "e2e" / "stub_game.exe"
OUT = Path(os.environ.get("LAUNCH_BENCH_DIR", WIN32 / "launch-bench"))
COMMAND_TEXT = "zone=demo&user=player"


def wine_env():
    env = dict(os.environ)
    deps = env.get("LAUNCHER_DEPS") or os.path.expanduser("~/.cache/launcher-deps")
    env.update(WINEPREFIX=env.get("LAUNCHER_WINEPREFIX") or os.path.join(deps, "wineprefix"),
               WINEARCH="win32", WINEDEBUG=env.get("LAUNCH_BENCH_WINEDEBUG", "-all"), LC_ALL="C.UTF-8")
    env.pop("WINEDLLOVERRIDES", None)
    return env


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
    """Milliseconds from Popen to the game's start; waits for the program's end."""
    record = inst / "System" / "stub_record.txt"
    record.unlink(missing_ok=True)
    started_ms = time.time() * 1000.0
    proc = subprocess.Popen(["wine", *map(str, argv)], cwd=inst, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        elapsed = stub_start_ms(record) - started_ms
    finally:
        code = proc.wait(timeout=120)
    if code != expected_code:
        log = inst / "System" / "launch.log"
        text = log.read_bytes().decode("utf-8", "replace") if log.exists() else "(no log)"
        raise RuntimeError(f"{argv[0].name} ended with {code}, expected {expected_code}\n{text}")
    return elapsed


def main():
    runs = max(7, int(sys.argv[1]) if len(sys.argv) > 1 else 9)
    for exe in (LAUNCHER, TRIVIAL, STUB):
        if not exe.exists():
            sys.exit(f"{exe} is missing: build the win32 preset")
    env = wine_env()
    httpd = serve({
        "/serverlist.xml": demo_install.server_list_xml(10000, demo_install.DEFAULT_ZONES),
        "/Proxy.ini": b"[proxy]\r\nenabled=0\r\n",
        "/pqx_enc.ini": b"[enc]\r\nmode=1\r\n",
        "/pqx_bsid.xml": b'<?xml version="1.0"?><bsid id="demo"/>\n',
    })
    inst = OUT / "installation"
    subprocess.run(["rm", "-rf", str(inst)], check=True)
    demo_install.build(inst, f"http://127.0.0.1:{httpd.server_address[1]}", STUB)

    launcher = [LAUNCHER, COMMAND_TEXT]
    # The same name and a parameter string of the same form as the launcher's.
    trivial = [TRIVIAL, "Game.exe", f"{COMMAND_TEXT}&{int(time.time())}&d3d9check=1"]
    subprocess.run(["wineserver", "-p"], env=env, check=False)
    try:
        # One unmeasured run of each warms Wine and the file cache.
        timed_run(env, inst, launcher, 1)
        timed_run(env, inst, trivial, 0)
        pairs = []
        for i in range(runs):
            a = timed_run(env, inst, launcher, 1)
            b = timed_run(env, inst, trivial, 0)
            pairs.append((a, b))
            print(f"run {i + 1} of {runs}: launcher {a:.0f} ms, trivial {b:.0f} ms, ratio {a / b:.2f}",
                  file=sys.stderr)
    finally:
        subprocess.run(["wineserver", "-k"], env=env, check=False)
        httpd.shutdown()

    ratios = sorted(a / b for a, b in pairs)
    print(f"launch benchmark under Wine: medians of {runs} pairs of runs, from Popen to the game's start")
    print(f"  launcher.exe:        {statistics.median(a for a, _ in pairs):7.0f} ms")
    print(f"  trivial_starter.exe: {statistics.median(b for _, b in pairs):7.0f} ms")
    print(f"  ratio launcher / trivial (per pair): {statistics.median(ratios):.2f}"
          f"  [runs {ratios[0]:.2f}..{ratios[-1]:.2f}]")
    return 0


if __name__ == "__main__":
    sys.exit(main())

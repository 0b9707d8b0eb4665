#!/usr/bin/env python3
"""The launcher's main job on a demo installation: serves the server list and
the side files from 127.0.0.1, runs launcher.exe under Wine (on the real
display, else on a private Xvfb), saves a screenshot of the skin window, and
shows the launch log and the arguments the game received."""
import http.server
import os
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import demo_install  # noqa: E402
import wine_host  # noqa: E402
from wine_host import WINE, WINESERVER  # noqa: E402

WIN = wine_host.BUILD
OUT = Path(os.environ.get("LAUNCHER_DEMO_DIR", ROOT / "build" / "demo"))


def serve(files, delays):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            time.sleep(delays.get(self.path, 0))
            body = files.get(self.path)
            self.send_response(200 if body is not None else 404)
            body = body if body is not None else b"not found"
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            print(f"  server: GET {self.path} -> {200 if self.path in files else 404}")

        def log_message(self, *args):
            pass

    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    return httpd


def main():
    env = wine_host.wine_env(LC_ALL=os.environ.get("LC_ALL", "C.UTF-8"))
    files = {
        "/serverlist.xml": demo_install.server_list_xml(10000, demo_install.DEFAULT_ZONES),
        "/Proxy.ini": b"[proxy]\r\nenabled=0\r\n",
        "/pqx_enc.ini": b"[enc]\r\nmode=1\r\n",
        "/pqx_bsid.xml": b'<?xml version="1.0"?><bsid id="demo"/>\n',
    }
    # A server a few seconds away, as over a real network: the skin window
    # stays up long enough for its screenshot.
    httpd = serve(files, {"/serverlist.xml": 3})
    url = f"http://127.0.0.1:{httpd.server_address[1]}"
    inst = OUT / "installation"
    if inst.exists():
        subprocess.run(["rm", "-rf", str(inst)], check=True)
    demo_install.build(inst, url, WIN / "tests" / "e2e" / "stub_game.exe")
    print(f"demo installation: {inst}")
    print(f"server list at:    {url}/serverlist.xml")
    print(f"Windows build:     {WIN} ({wine_host.BUILD_NAME})")

    subprocess.run([WINESERVER, "-p"], env=env, check=False)
    # Wine's services start with the first process of a server and inherit its
    # standard handles; started here, they hold none of our pipes open.
    subprocess.run([WINE, "wineboot"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    driver = str(WIN / "tests" / "e2e" / "ui_driver.exe")
    backdrop = subprocess.Popen([WINE, driver, "backdrop"], env=env, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    backdrop.stdout.readline()
    start = time.monotonic()
    launcher = subprocess.Popen([WINE, str(WIN / "src" / "app" / "launcher.exe"), "zone=demo&user=player"],
                                cwd=inst, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shot = OUT / "screenshot.png"
    found = subprocess.run([WINE, driver, "inspect", "Velmaranthos start", "15000"], env=env,
                           capture_output=True, text=True)
    if found.returncode == 0:
        info = dict(line.split("=", 1) for line in found.stdout.splitlines() if "=" in line)
        x, y, w, h = map(int, info["rect"].split(","))
        print(f"skin window at ({x}, {y}), {w} x {h}, layered={info['layered']}")
        subprocess.run([WINE, driver, "screenshot", str(shot), *map(str, (x - 48, y - 48, w + 96, h + 96))],
                       env=env, capture_output=True)
    rc = launcher.wait(timeout=120)
    backdrop.communicate(b"stop\n", timeout=30)
    print(f"launcher.exe exit code: {rc} after {time.monotonic() - start:.1f} s")
    httpd.shutdown()
    subprocess.run([WINESERVER, "-k"], env=env, check=False)

    log = inst / "System" / "launch.log"
    print("\n--- System/launch.log")
    print(log.read_bytes().decode("utf-8", "replace") if log.exists() else "(none)")
    record = inst / "System" / "stub_record.txt"
    for _ in range(50):
        if record.exists():
            break
        time.sleep(0.1)
    print("--- what the game received")
    print(record.read_text("utf-8") if record.exists() else "(the game was not started)")
    if shot.exists():
        print(f"--- screenshot of the skin window: {shot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

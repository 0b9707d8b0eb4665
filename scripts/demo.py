#!/usr/bin/env python3
"""The whole path from an operator's trees to a running game, under Wine (on
the real display, else on a private Xvfb):
1. the operator builds two releases after the base with qvk patch and qvk
   index; a real nginx on 127.0.0.1 serves them, speed-limited so that the
   progress can be watched, beside the server list and the side files;
2. an installation at the base version runs downloader.exe, whose window is
   caught mid-download in a screenshot; it brings the installation to the
   latest release and closes itself;
3. launcher.exe starts that release's game: a screenshot of its skin window,
   then the launch log and the arguments the game received."""
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import demo_install  # noqa: E402
import wine_host  # noqa: E402
from download_host import DOWNLOADER, LEVEL, Nginx, qvk, write_tree  # noqa: E402
from wine_host import WINE, WINESERVER  # noqa: E402

WIN = wine_host.BUILD
OUT = Path(os.environ.get("LAUNCHER_DEMO_DIR", ROOT / "build" / "demo"))


RELEASES = ["1.0.1", "1.0.2"]
RATE = "3m"  # nginx's limit_rate: 3 MiB a second for each transfer


def make_releases(work, srv, url, stub_game):
    """The operator's side: keys, three trees, two packages, the index signed
    with the release key, and the server list that requires the latest
    release."""
    game = lambda n: stub_game.read_bytes() + f"release {n}".encode()
    link = demo_install.ini_text({"common": {"proxy": f"{url}/Proxy.ini", "pqxenc": f"{url}/pqx_enc.ini",
                                             "pqxbsid": f"{url}/pqx_bsid.xml"}})
    trees = {"1.0.0": {"Game.exe": game(0), "link.ini": link, "gamedata/BaseData/GraphicsLevel.ini": LEVEL}}
    trees["1.0.1"] = dict(trees["1.0.0"], **{"Game.exe": game(1), "data/textures1.bin": os.urandom(12 << 20)})
    trees["1.0.2"] = dict(trees["1.0.1"], **{"Game.exe": game(2), "data/textures2.bin": os.urandom(12 << 20)})
    for version, files in trees.items():
        write_tree(work / "trees" / version, files)
    srv.mkdir(parents=True)
    previous = "1.0.0"
    for version in RELEASES:
        extra = ["--first"] if previous == "1.0.0" else []
        qvk("patch", work / "trees" / previous, work / "trees" / version, srv, f"--version={version}",
            "--base=1.0.0", "--game-exe=Game.exe", *extra)
        previous = version
    made = qvk("keygen", work / "keys").stdout.decode()
    print("operator: qvk keygen made the keys:\n" + "".join(f"  {line}\n" for line in made.splitlines()), end="")
    indexed = qvk("index", srv, "--serial=1", "--base=1.0.0", f"--sign={work / 'keys' / 'release-key.pem'}")
    print("  " + indexed.stdout.decode().strip())
    (srv / "serverlist.xml").write_bytes(demo_install.server_list_xml(demo_install.version_number(RELEASES[-1]),
                                                                       demo_install.DEFAULT_ZONES))
    (srv / "Proxy.ini").write_bytes(b"[proxy]\r\nenabled=0\r\n")
    (srv / "pqx_enc.ini").write_bytes(b"[enc]\r\nmode=1\r\n")
    (srv / "pqx_bsid.xml").write_bytes(b'<?xml version="1.0"?><bsid id="demo"/>\n')
    print("operator: built " + ", ".join(RELEASES) + " with qvk patch and qvk index:")
    print("  " + "  ".join(f"{p.name} ({p.stat().st_size >> 20} MiB)" if p.suffix == ".qvk" else p.name
                           for p in sorted(srv.iterdir())))


def window_rect(driver, env, caption, ms):
    found = subprocess.run([WINE, driver, "inspect", caption, str(ms)], env=env, capture_output=True, text=True)
    if found.returncode != 0:
        return None
    info = dict(line.split("=", 1) for line in found.stdout.splitlines() if "=" in line)
    return tuple(map(int, info["rect"].split(",")))


def screenshot(driver, env, path, rect, margin):
    x, y, w, h = rect
    subprocess.run([WINE, driver, "screenshot", str(path), *map(str, (x - margin, y - margin, w + 2 * margin,
                                                                       h + 2 * margin))],
                   env=env, capture_output=True)


def main():
    env = wine_host.wine_env(LC_ALL=os.environ.get("LC_ALL", "C.UTF-8"))
    if OUT.exists():
        subprocess.run(["rm", "-rf", str(OUT / "installation"), str(OUT / "operator")], check=True)
    OUT.mkdir(parents=True, exist_ok=True)
    stub = WIN / "tests" / "e2e" / "stub_game.exe"
    nginx = Nginx(OUT / "operator", OUT / "operator" / "nginx", rate=RATE)
    url = nginx.url("/srv")
    make_releases(OUT / "operator", OUT / "operator" / "srv", url, stub)
    print(f"served by nginx at {url} (limit_rate {RATE} a transfer)")
    inst = OUT / "installation"
    demo_install.build(inst, url, stub, current="1.0.0")
    # The full client carries the operator's public keys: it takes only signed indexes.
    trust = (OUT / "operator" / "keys" / "trust.ini").read_text()
    with open(inst / "updatecfg.ini", "a", newline="\r\n") as config:
        config.write(trust[trust.index("\n[trust]") + 1:])
    print(f"player: an installation at the base version 1.0.0 in {inst}, with the operator's public keys")
    print(f"Windows build: {WIN} ({wine_host.BUILD_NAME})")

    subprocess.run([WINESERVER, "-p"], env=env, check=False)
    # Wine's services start with the first process of a server and inherit its
    # standard handles; started here, they hold none of our pipes open.
    subprocess.run([WINE, "wineboot"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    driver = str(WIN / "tests" / "e2e" / "ui_driver.exe")
    backdrop = subprocess.Popen([WINE, driver, "backdrop"], env=env, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    backdrop.stdout.readline()
    try:
        # The download program, caught while it works.
        start = time.monotonic()
        downloader = subprocess.Popen([WINE, str(DOWNLOADER)], cwd=inst, env=env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
        title = "Velmaranthos update"
        working = subprocess.run([WINE, driver, "wait-text", title, " MB/s", "30000"], env=env, capture_output=True,
                                 text=True)
        rect = window_rect(driver, env, title, 5000)
        if working.returncode == 0 and rect:
            screenshot(driver, env, OUT / "download-window.png", rect, 24)
            shown = subprocess.run([WINE, driver, "controls", title, "5000"], env=env, capture_output=True, text=True)
            print("\ndownload window mid-download (its texts when the screenshot was taken):")
            print("".join(f"  {line}\n" for line in shown.stdout.splitlines() if "=" in line), end="")
        done = subprocess.run([WINE, driver, "wait-text", title, "up to date", "120000"], env=env,
                              capture_output=True, text=True)
        print("".join(f"  then {line}\n" for line in done.stdout.splitlines() if "ctl101=" in line), end="")
        rc = downloader.wait(timeout=60)
        print(f"downloader.exe exit code: {rc} after {time.monotonic() - start:.1f} s (it closed itself)")
        print("update.ini: " + (inst / "update.ini").read_text().replace("\r\n", " ").strip())

        # The launcher starts the release the download program brought.
        start = time.monotonic()
        launcher = subprocess.Popen([WINE, str(WIN / "src" / "app" / "launcher.exe"), "zone=demo&user=player"],
                                    cwd=inst, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rect = window_rect(driver, env, "Velmaranthos start", 15000)
        if rect:
            print(f"\nskin window at ({rect[0]}, {rect[1]}), {rect[2]} x {rect[3]}")
            screenshot(driver, env, OUT / "screenshot.png", rect, 48)
        rc = launcher.wait(timeout=120)
        print(f"launcher.exe exit code: {rc} after {time.monotonic() - start:.1f} s")
    finally:
        backdrop.communicate(b"stop\n", timeout=30)
        nginx.close()
        subprocess.run([WINESERVER, "-k"], env=env, check=False)

    print("\n--- System/download.log")
    print((inst / "System" / "download.log").read_bytes().decode("utf-8", "replace"))
    log = inst / "System" / "launch.log"
    print("--- System/launch.log")
    print(log.read_bytes().decode("utf-8", "replace") if log.exists() else "(none)")
    record = inst / "System" / "stub_record.txt"
    for _ in range(50):
        if record.exists():
            break
        time.sleep(0.1)
    print("--- what the game received")
    print(record.read_text("utf-8") if record.exists() else "(the game was not started)")
    game = (inst / "System" / "Game.exe").read_bytes()
    print(f"--- the game started is release {game.rsplit(b'release ', 1)[-1].decode()}")
    for shot in ("download-window.png", "screenshot.png"):
        if (OUT / shot).exists():
            print(f"screenshot: {OUT / shot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

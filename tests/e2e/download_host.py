"""What the download program's tests, benchmark and demo share: an operator's
releases made with the native qvk tool, a real nginx on 127.0.0.1 serving
them, and an installation at the base version."""
import os
import shutil
import socket
import subprocess
import time
from pathlib import Path

from demo_install import GRAPHICS_LEVEL_INI, QVK, ini_text
from test_run import server_list
from wine_host import BUILD

NGINX = Path("/usr/sbin/nginx")
DOWNLOADER = BUILD / "src" / "download" / "downloader.exe"
BASE = "1.0.0"
LINK = ini_text({"common": {"proxy": "", "pqxenc": "", "pqxbsid": ""}})
LEVEL = b"\xff\xfe" + GRAPHICS_LEVEL_INI.encode("utf-16-le")


def qvk(*args, ok_codes=(0,)):
    out = subprocess.run([str(QVK), *map(str, args)], capture_output=True)
    assert out.returncode in ok_codes, (args, out.stdout.decode(), out.stderr.decode())
    return out


def number(version):
    major, minor, build = (int(p) for p in version.split("."))
    return major * 10000 + minor * 1000 + build


def write_tree(root: Path, files):
    if root.exists():
        shutil.rmtree(root)
    for name, data in files.items():
        p = root / name
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(data if isinstance(data, bytes) else data.encode())


def make_releases(work: Path, game_exe, big=0, serial=1, index_args=()):
    """Three releases after the base, each with its package in work/srv, and
    the index written by qvk index (with `index_args`, e.g. --sign=KEY).
    `game_exe(n)` gives release n's game; `big` bytes of incompressible data
    go into each release's data file."""
    trees = {BASE: {"Game.exe": game_exe(0), "link.ini": LINK, "gamedata/BaseData/GraphicsLevel.ini": LEVEL,
                    "data/a.txt": "a0", "data/old.txt": "old"}}
    trees["1.0.1"] = dict(trees[BASE], **{"Game.exe": game_exe(1), "data/new1.txt": "new in 1",
                                         "data/big1.bin": os.urandom(big)})
    trees["1.0.2"] = {k: v for k, v in dict(trees["1.0.1"], **{"data/a.txt": "a2", "link.ini": LINK + "\r\n",
                                                              "data/big2.bin": os.urandom(big)}).items()
                      if k != "data/old.txt"}
    trees["1.0.3"] = {k: v for k, v in dict(trees["1.0.2"], **{"Game.exe": game_exe(3),
                                                              "data/big3.bin": os.urandom(big)}).items()
                      if k not in ("data/new1.txt", "data/big1.bin")}
    for version, files in trees.items():
        write_tree(work / "trees" / version, files)
    srv = work / "srv"
    srv.mkdir(parents=True, exist_ok=True)
    previous = BASE
    for step, version in enumerate(["1.0.1", "1.0.2", "1.0.3"]):
        extra = ["--first"] if step == 0 else ["--allow-removals"]
        qvk("patch", work / "trees" / previous, work / "trees" / version, srv, f"--version={version}",
            f"--base={BASE}", "--game-exe=Game.exe", *extra)
        previous = version
    qvk("index", srv, f"--serial={serial}", f"--base={BASE}", *index_args)
    (srv / "serverlist.xml").write_bytes(server_list(number("1.0.3"), [("一区", 1, "zone-one")]))
    return srv


def make_keys(work: Path):
    """A root and a release key made by qvk keygen in `work`, and the
    [trust] values an installation takes."""
    qvk("keygen", work)
    trust = {}
    for line in (work / "trust.ini").read_text().splitlines():
        if "=" in line and not line.startswith(";"):
            key, value = line.split("=", 1)
            trust[key] = value
    return trust


def base_installation(inst, url, game_exe, current=BASE, settings=None, trust=None):
    """An installation at the base version as the game's installer leaves it,
    with the operator's public keys (`trust`: root= and release=) if given."""
    work = inst.root.parent / "base-archives"
    inst.path("System").mkdir(parents=True, exist_ok=True)
    write_tree(work / "sys", {"link.ini": LINK})
    write_tree(work / "data", {"BaseData/GraphicsLevel.ini": LEVEL})
    qvk("create", inst.path("System/System.qvk"), work / "sys")
    qvk("create", inst.path("System/GameData.qvk"), work / "data")
    inst.write("System/Game.exe", game_exe(0))
    sections = {"run": {"base_version": BASE, "game_exe": "Game.exe"}, "home": {"serverlist": url}}
    if settings:
        sections["download"] = settings
    if trust:
        sections["trust"] = trust
    inst.ini("updatecfg.ini", sections)
    inst.ini("System/GameConfig.ini", {"FirstRun": {"DataVersion": 2}})
    inst.ini("update.ini", {"Setting": {"Version": current}})


def needed_packages(srv):
    """The package files the index of `srv` needs."""
    for line in (srv / "packages.txt").read_text().splitlines():
        if line.startswith("needs\t"):
            return [f"Verpatch{number(v):05d}.qvk" for v in line.split("\t")[1].split(" ")]
    return []


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    """A real nginx serving `root` on 127.0.0.1, one request line a log line:
    'URI STATUS BYTES_SENT RANGE'. `rate` limits each answer (e.g. "2m");
    `port` is chosen free unless given."""

    def __init__(self, root: Path, work: Path, rate=None, port=None):
        self.work = work
        work.mkdir(parents=True, exist_ok=True)
        self.port = port or free_port()
        self.access_log = work / "access.log"
        temp = "".join(f"{name}_temp_path {work}/{name};\n" for name in
                       ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        limit = f"limit_rate {rate};" if rate else ""
        conf = work / "nginx.conf"
        conf.write_text(f"""
daemon off;
master_process off;
worker_processes 1;
pid {work}/nginx.pid;
error_log {work}/error.log;
events {{ worker_connections 64; }}
http {{
  {temp}
  types {{ application/octet-stream qvk; text/plain txt; text/xml xml; }}
  log_format plain '$uri $status $body_bytes_sent "$http_range"';
  access_log {self.access_log} plain;
  sendfile on;
  server {{
    listen 127.0.0.1:{self.port};
    root {root};
    {limit}
  }}
}}
""")
        self.proc = subprocess.Popen([str(NGINX), "-e", str(work / "error.log"), "-p", str(work), "-c", str(conf)],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 20
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                break
            except OSError:
                if self.proc.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError(f"nginx did not start: {self.proc.stderr.read()!r}")
                time.sleep(0.05)

    def url(self, path=""):
        return f"http://127.0.0.1:{self.port}{path}"

    def requests(self):
        """(uri, status, bytes sent, range) of every answer so far."""
        if not self.access_log.exists():
            return []
        rows = []
        for line in self.access_log.read_text().splitlines():
            uri, status, sent, rng = line.split(" ", 3)
            rows.append((uri, int(status), int(sent), rng.strip('"')))
        return rows

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(timeout=10)

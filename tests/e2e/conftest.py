"""End-to-end harness: the real launcher.exe under Wine, a stand-in game, a UI
driver that answers message boxes, and an HTTP server on 127.0.0.1."""
import http.server
import os
import shutil
import subprocess
import threading
import time
from pathlib import Path

import pytest

from wine_host import BUILD, WINE, WINESERVER
import wine_host

LAUNCHER = BUILD / "src" / "app" / "launcher.exe"
STUB_GAME = BUILD / "tests" / "e2e" / "stub_game.exe"
UI_DRIVER = BUILD / "tests" / "e2e" / "ui_driver.exe"

GAME_SEMAPHORE = "RUONLINE{bd1a956d-f42d-49d6-ad4a-9a171de62944}"
DOWNLOADER_SEMAPHORE = "TLONLINE{AF10B0A9-D1C4-59F1-4A14-D34C5B1F0951}"
INSTANCE_SEMAPHORE = "TLONLINE{1421004F-3FC7-451A-BA84-4990A24D5746}"
CAPTION_ZH = "青石晚钟启动程序"
CAPTION_EN = "Velmaranthos start"


def wine_env():
    return wine_host.wine_env(LC_ALL=os.environ.get("LAUNCHER_E2E_LOCALE", "C.UTF-8"))


@pytest.fixture(scope="session", autouse=True)
def wine_session():
    """One display and one persistent wineserver for the whole run."""
    if not LAUNCHER.exists():
        pytest.exit(f"{LAUNCHER} is missing: build the {wine_host.BUILD_NAME} preset first", returncode=2)
    env = wine_env()
    xvfb = compositor = None
    if not os.environ.get("DISPLAY"):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp"], pass_fds=(write_fd,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            display = pipe.readline().strip()
        os.environ["DISPLAY"] = ":" + display
        env["DISPLAY"] = os.environ["DISPLAY"]
        # Per-pixel alpha blends with the desktop only under a compositor.
        if shutil.which("xcompmgr"):
            compositor = subprocess.Popen(["xcompmgr"], env=env, stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL)
    start_wineserver(env)
    yield env
    subprocess.run([WINESERVER, "-k"], env=env, check=False)
    if compositor:
        compositor.terminate()
        compositor.wait()
    if xvfb:
        xvfb.terminate()
        xvfb.wait()
        del os.environ["DISPLAY"]


def start_wineserver(env):
    """A persistent wineserver for the prefix, warmed by one process."""
    subprocess.run([WINESERVER, "-p"], env=env, check=False)
    # The first Wine process of a new server starts the system services, which
    # inherit its standard handles: started here, they hold no test's pipe open.
    subprocess.run([WINE, "wineboot"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=False)


def restart_wineserver(env):
    """Ends every Windows process of the session and starts a fresh, warmed
    wineserver on the same prefix: also the processes Wine never finished
    creating because their parent was killed during CreateProcess, which no
    taskkill reaches and which keep their executable open."""
    subprocess.run([WINESERVER, "-k"], env=env, check=False)
    start_wineserver(env)


class Installation:
    """A scratch installation directory: the launcher's working directory."""

    def __init__(self, root: Path):
        self.root = root
        (root / "System").mkdir(parents=True, exist_ok=True)

    def path(self, rel):
        return self.root / rel

    def write(self, rel, data, encoding="utf-8"):
        p = self.root / rel
        p.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(data, str):
            data = data.encode(encoding)
        p.write_bytes(data)
        return p

    def ini(self, rel, sections, encoding="utf-8"):
        text = ""
        for name, values in sections.items():
            text += f"[{name}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in values.items())
        return self.write(rel, text, encoding)

    def log(self):
        p = self.root / "System" / "launch.log"
        return p.read_bytes() if p.exists() else None

    def log_text(self):
        data = self.log()
        return data.decode("utf-8", "replace") if data is not None else None

    def install_stub(self, rel):
        p = self.root / rel
        p.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(STUB_GAME, p)
        return p

    def wait_stub_records(self, count=1, rel_dir=".", timeout=30):
        """The game is started without waiting for it: poll its record file."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            records = self.stub_records(rel_dir)
            if len(records) >= count:
                return records
            time.sleep(0.1)
        return self.stub_records(rel_dir)

    def stub_records(self, rel_dir="."):
        p = self.root / rel_dir / "stub_record.txt"
        if not p.exists():
            return []
        records, current = [], {}
        for line in p.read_text("utf-8").splitlines():
            key, _, value = line.partition("=")
            if key == "exe" and current:
                records.append(current)
                current = {}
            current[key] = value
        if current:
            records.append(current)
        return records


@pytest.fixture
def inst(tmp_path):
    return Installation(tmp_path / "inst")


class Launcher:
    def __init__(self, env):
        self.env = env
        self.started = []

    def start(self, inst, *args, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        proc = subprocess.Popen([WINE, str(LAUNCHER), *args], cwd=inst.root, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started.append(proc)
        return proc

    def kill_leftovers(self):
        """A launcher a failed test left waiting on a box would hold the instance
        marker and its box would confuse the next test."""
        for proc in self.started:
            if proc.poll() is None:
                proc.kill()
                proc.wait(timeout=30)

    def run(self, inst, *args, timeout=60, extra_env=None):
        proc = self.start(inst, *args, extra_env=extra_env)
        return proc.wait(timeout=timeout)


@pytest.fixture
def launcher(wine_session):
    launcher = Launcher(wine_session)
    yield launcher
    launcher.kill_leftovers()


class UiDriver:
    def __init__(self, env):
        self.env = env

    def run(self, *args, timeout=60):
        out = subprocess.run([WINE, str(UI_DRIVER), *map(str, args)], env=self.env, capture_output=True,
                             timeout=timeout)
        return out.returncode, out.stdout.decode("utf-8", "replace")

    def answer(self, button, caption="*", wait_ms=20000):
        """Waits for a message box, returns (caption, text) and presses button."""
        rc, out = self.run("answer", caption, button, wait_ms)
        fields = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        assert rc == 0, f"no message box appeared: {out!r}"
        return fields.get("caption"), fields.get("text")

    def background(self, *args):
        """Starts a long-running driver command; returns the process after its first line."""
        proc = subprocess.Popen([WINE, str(UI_DRIVER), *map(str, args)], env=self.env,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        first = proc.stdout.readline().decode().strip()
        return proc, first

    @staticmethod
    def stop(proc):
        out, _ = proc.communicate(b"stop\n", timeout=30)
        return out.decode("utf-8", "replace")


@pytest.fixture
def driver(wine_session):
    return UiDriver(wine_session)


class HoldSemaphore:
    def __init__(self, driver, name):
        self.driver, self.name = driver, name

    def __enter__(self):
        self.proc, first = self.driver.background("hold-semaphore", self.name)
        assert first == "held"
        return self

    def __exit__(self, *exc):
        UiDriver.stop(self.proc)


@pytest.fixture
def hold(driver):
    return lambda name: HoldSemaphore(driver, name)


class HttpServer:
    """Serves routes on 127.0.0.1: path -> (status, body bytes) or a callable
    taking the handler. Records the paths requested."""

    def __init__(self):
        self.routes = {}
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server.requests.append(self.path)
                route = server.routes.get(self.path.split("?")[0])
                if callable(route):
                    route(self)
                    return
                status, body = route if route else (404, b"not found")
                self.send_response(status)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path=""):
        return f"http://127.0.0.1:{self.port}{path}"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


@pytest.fixture
def http_server():
    server = HttpServer()
    yield server
    server.close()


@pytest.fixture
def small_disk(tmp_path):
    """An installation on a tmpfs of 40 MiB: the download program's checks and
    the write errors of a real full disk."""
    mount = tmp_path / "disk"
    mount.mkdir()
    made = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=40m", "tmpfs", str(mount)], capture_output=True)
    if made.returncode != 0:
        pytest.skip(f"this machine cannot mount a tmpfs: {made.stderr.decode().strip()}")
    yield Installation(mount / "inst")
    subprocess.run(["umount", "-l", str(mount)], check=False)

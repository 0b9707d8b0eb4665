"""The download program's window under Wine on Xvfb, driven as a person
would: its texts while it downloads in both languages, Cancel and the resume
after it, Retry once the server has the package, the failure texts read from
the screen, and the drawing at 100% and 200% scaling."""
import re
import shutil
import subprocess

import pytest

from conftest import INSTANCE_SEMAPHORE, STUB_GAME, HttpServer
from download_host import BASE, DOWNLOADER, Nginx, base_installation, free_port, make_releases, needed_packages
from wine_host import BUILD, WINE

TITLE = {"en": "Velmaranthos update", "zh": "青石晚钟更新程序"}
SHOTS = BUILD / "e2e-shots"

# Control ids of the window (downloader_window_win.cc).
STATUS, BAR, BYTES, SPEED, LEFT, PRIMARY, SECONDARY = (f"ctl{n}" for n in range(101, 108))


def game_exe(release):
    return STUB_GAME.read_bytes() + f"release {release}".encode()


@pytest.fixture(scope="module")
def releases(tmp_path_factory):
    # Packages of some 3 MiB each: served slowly, a run shows its figures.
    return make_releases(tmp_path_factory.mktemp("window-releases"), game_exe, big=3 << 20)


def controls(out):
    return dict(line.split("=", 1) for line in out.splitlines() if line.startswith("ctl") and "=" in line)


class Window:
    """downloader.exe with its window, and the driver's hands on it."""

    def __init__(self, driver, env, inst, lang="en", args=()):
        self.driver, self.inst, self.title = driver, inst, TITLE[lang]
        inst.ini("System/GameConfig.ini", {"FirstRun": {"DataVersion": 1 if lang == "zh" else 2}})
        self.proc = subprocess.Popen([WINE, str(DOWNLOADER), *args], cwd=inst.root, env=env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_text(self, text, ms=60000):
        rc, out = self.driver.run("wait-text", self.title, text, ms, timeout=ms / 1000 + 30)
        assert rc == 0, f"{text!r} never showed: {out}\n{self.log()}"
        return controls(out)

    def wait_control(self, control, value, tries=100):
        # Polls the other process's window: no event crosses to the test.
        for _ in range(tries):
            rc, out = self.driver.run("controls", self.title, 5000)
            assert rc == 0, f"the window is gone while {control} should read {value!r}\n{self.log()}"
            shown = controls(out)
            if shown.get(control) == value:
                return shown
        raise AssertionError(f"{control} never read {value!r}: {shown}")

    def click(self, label):
        rc, out = self.driver.run("click", self.title, label, 20000)
        assert rc == 0, out

    def exit_code(self, timeout=60):
        return self.proc.wait(timeout=timeout)

    def log(self):
        path = self.inst.path("System/download.log")
        return path.read_text(encoding="utf-8", errors="replace") if path.exists() else ""

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


@pytest.fixture
def window(driver, wine_session):
    opened = []

    def open_window(inst, lang="en", args=()):
        opened.append(Window(driver, wine_session, inst, lang, args))
        return opened[-1]

    yield open_window
    for w in opened:
        w.kill()


def installed_version(inst):
    text = inst.path("update.ini").read_text(encoding="latin-1")
    return re.search(r"Version=(\S+)", text).group(1)


@pytest.mark.parametrize("lang, speed, bytes_text, left, done", [
    ("en", " MB/s", r"^\d+\.\d MB of \d+\.\d MB$", r"^about (\d+ min )?\d+ s left$", "The game is up to date"),
    ("zh", " MB/秒", r"^已下载 \d+\.\d MB，共 \d+\.\d MB$", r"^剩余约 (\d+ 分 )?\d+ 秒$", "游戏已是最新版本"),
])
def test_while_downloading_it_shows_progress_speed_time_left_and_package_then_closes_itself(
        releases, inst, window, tmp_path, lang, speed, bytes_text, left, done):
    server = Nginx(releases.parent, tmp_path / "nginx", rate="512k")
    try:
        base_installation(inst, server.url("/srv"), game_exe)
        w = window(inst, lang)
        shown = w.wait_text(speed)
        assert re.fullmatch(r"\d+\.\d" + re.escape(speed), shown[SPEED]), shown
        assert re.fullmatch(bytes_text, shown[BYTES]), shown
        assert re.fullmatch(left, shown[LEFT]), shown
        assert re.fullmatch(r"\d+%", shown[BAR]), shown
        assert re.search(r"Verpatch1000\d\.qvk", shown[STATUS]), shown
        assert shown[PRIMARY] == {"en": "Cancel", "zh": "取消"}[lang], shown
        finished = w.wait_text(done)
        assert "1.0.3" in finished[STATUS] and finished[BAR] == "100%", finished
        # Nobody touches it: it closes by itself.
        assert w.exit_code(timeout=30) == 0, w.log()
        assert installed_version(inst) == "1.0.3"
    finally:
        server.close()


def test_cancel_keeps_the_partial_files_and_the_next_run_resumes_them(releases, inst, window, tmp_path,
                                                                      wine_session):
    server = Nginx(releases.parent, tmp_path / "nginx", rate="256k")
    try:
        base_installation(inst, server.url("/srv"), game_exe)
        w = window(inst)
        w.wait_text(" MB/s")
        w.click("Cancel")
        assert w.exit_code() == 1
        assert "result: cancelled" in w.log()
        partial = {p.name: p.stat().st_size for p in inst.path("download").iterdir()}
        assert partial and all(0 < size < (releases / name).stat().st_size for name, size in partial.items()), partial
        assert installed_version(inst) == BASE

        before = len(server.requests())
        rc = subprocess.run([WINE, str(DOWNLOADER), "--quiet"], cwd=inst.root, env=wine_session,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180).returncode
        assert rc == 0, w.log()
        ranges = {uri.rsplit("/", 1)[-1]: rng for uri, _, _, rng in server.requests()[before:]}
        for name, size in partial.items():
            assert ranges.get(name, "").startswith(f"bytes={size}-") or ranges.get(name) is None, ranges
        assert any(ranges.get(name, "").startswith(f"bytes={size}-") for name, size in partial.items()), ranges
        assert installed_version(inst) == "1.0.3"
    finally:
        server.close()


def test_retry_after_a_failure_succeeds_once_the_server_has_the_package(releases, inst, window, tmp_path):
    served = tmp_path / "served"
    shutil.copytree(releases, served / "srv")
    missing = needed_packages(releases)[0]
    (served / "srv" / missing).unlink()
    server = Nginx(served, tmp_path / "nginx")
    try:
        base_installation(inst, server.url("/srv"), game_exe)
        w = window(inst)
        failed = w.wait_text(f"answers 404 for {missing}")
        assert failed[PRIMARY] == "Retry" and failed[SECONDARY] == "Close", failed
        shutil.copyfile(releases / missing, served / "srv" / missing)  # the operator uploads it
        w.click("Retry")
        assert "1.0.3" in w.wait_text("The game is up to date")[STATUS]
        assert w.exit_code(timeout=30) == 0
        assert installed_version(inst) == "1.0.3"
    finally:
        server.close()


def html_instead_of_packages(releases, server):
    for path in releases.iterdir():
        data = path.read_bytes()
        server.routes[f"/srv/{path.name}"] = (200, data)

    def page(handler):
        body = b"<html><body>Maintenance</body></html>"
        handler.send_response(200)
        handler.send_header("Content-Type", "text/html")
        handler.send_header("Content-Length", str(len(body)))
        handler.end_headers()
        handler.wfile.write(body)

    for name in needed_packages(releases):
        server.routes[f"/srv/{name}"] = page


# A public key the served (unsigned) indexes were not signed by.
OPERATOR_KEY = "BKO5EJwUP5dBozH/muIXQ0eTy4N2DoELRiEa0fjfMgdRKTPt8CRv9/KBPwKprJx8UwUJjX0DD7hmdwLgaFc9ACs="


@pytest.mark.parametrize("case", ["404", "refused", "html page", "other base", "launcher runs", "disk full",
                                  "file held", "not signed", "not signed zh"])
def test_each_failure_says_what_failed_and_what_to_do(case, releases, inst, window, hold, driver, tmp_path,
                                                      request):
    first = needed_packages(releases)[0]
    server = None
    code = 1
    held = None
    if case == "404":
        served = tmp_path / "served"
        shutil.copytree(releases, served / "srv")
        (served / "srv" / first).unlink()
        server = Nginx(served, tmp_path / "nginx")
        url, text = server.url("/srv"), f"The operator's server answers 404 for {first}."
    elif case == "refused":
        url, text = f"http://127.0.0.1:{free_port()}/srv", "cannot be reached"
    elif case == "html page":
        server = HttpServer()
        html_instead_of_packages(releases, server)
        # Either transfer may fail first: the text names the one that did.
        url, text = server.url("/srv"), "but a page or a file of the wrong size"
    else:
        server = Nginx(releases.parent, tmp_path / "nginx")
        url = server.url("/srv")
        text = {"other base": "This installation is too old to be updated",
                "not signed": f"This update is not signed by the game's operator ({url}/packages.txt). "
                              "Someone may have tampered with it: do not go on.",
                "not signed zh": f"此更新没有游戏运营方的签名（{url}/packages.txt），可能已被篡改：请不要继续。",
                "launcher runs": "The launcher is running and must be closed first",
                "disk full": "Not enough free space: free ",
                "file held": f"{first} cannot be written in the game folder, though the drive has room"}[case]
    if case == "disk full":
        inst = request.getfixturevalue("small_disk")
        (inst.root.parent / "filler.bin").write_bytes(b"\0" * (36 << 20))
    base_installation(inst, url, game_exe, trust={"release": OPERATOR_KEY} if "not signed" in case else None)
    if case == "other base":
        inst.ini("updatecfg.ini", {"run": {"base_version": "0.9.0", "game_exe": "Game.exe"},
                                   "home": {"serverlist": url}})
    if case == "launcher runs":
        held = hold(INSTANCE_SEMAPHORE).__enter__()
        code = 3
    holder = None
    if case == "file held":
        # Another program (a scanner) holds the partial file without sharing.
        inst.path("download").mkdir()
        holder, first_line = driver.background("hold-file", inst.path(f"download/{first}"))
        assert first_line == "held"
    try:
        w = window(inst, "zh" if case.endswith("zh") else "en")
        shown = w.wait_text(text, ms=90000)
        if case.endswith("zh"):
            assert shown[PRIMARY] == "重试" and shown[SECONDARY] == "关闭", shown
        else:
            assert shown[PRIMARY] == "Retry" and shown[SECONDARY] == "Close", shown
        if case == "disk full":
            assert re.search(r"free \d+\.\d MB on drive Z:, then press Retry", shown[STATUS]), shown
        w.click(shown[SECONDARY])
        assert w.exit_code() == code, w.log()
        assert installed_version(inst) == BASE
        if "not signed" in case:
            assert not inst.path("download").exists() and not list(inst.path("System").glob("Verpatch*"))
        # A package the other transfer finished may be placed; only verified ones.
        for placed in inst.path("System").glob("Verpatch*.qvk"):
            assert placed.read_bytes() == (releases / placed.name).read_bytes(), placed.name
    finally:
        if holder:
            driver.stop(holder)
        if held:
            held.__exit__(None, None, None)
        if server:
            server.close()


def set_scaling(env, dpi):
    subprocess.run([WINE, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                    "/d", str(dpi), "/f"], env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def test_the_window_draws_at_100_and_200_percent_scaling(releases, inst, window, driver, wine_session, tmp_path):
    server = Nginx(releases.parent, tmp_path / "nginx")
    SHOTS.mkdir(parents=True, exist_ok=True)
    widths = {}
    try:
        base_installation(inst, server.url("/srv"), game_exe)
        for dpi in (96, 192):
            set_scaling(wine_session, dpi)
            w = window(inst)
            w.wait_text("The game is up to date")
            # The pointer on it: the player reads, and it stays open.
            assert driver.run("hover", TITLE["en"], 5000)[0] == 0
            w.wait_control(PRIMARY, "Close")
            rc, out = driver.run("inspect", TITLE["en"], 5000)
            x, y, width, height = map(int, re.search(r"rect=(-?\d+),(-?\d+),(\d+),(\d+)", out).groups())
            widths[dpi] = (width, height)
            scale = dpi / 96
            assert driver.run("screenshot", SHOTS / f"download-window-{dpi}.png", x, y, width, height)[0] == 0

            def pixel(px, py):
                rc, out = driver.run("pixel", x + round(px * scale), y + round(py * scale))
                return tuple(map(int, out.split("=")[1].split(",")))

            # The golden ring, the panel and the full bar, where the layout
            # puts them at this scale.
            assert pixel(23, 50) == (232, 188, 80)
            assert pixel(300, 172) == (38, 55, 96)
            assert pixel(260, 123) == (232, 188, 80)
            w.click("Close")
            assert w.exit_code() == 0
            inst.ini("update.ini", {"Setting": {"Version": BASE}})  # the next scale downloads again
            for name in needed_packages(releases):
                inst.path(f"System/{name}").unlink()
    finally:
        set_scaling(wine_session, 96)
        server.close()
    assert widths[192][0] == 2 * widths[96][0] and widths[192][1] == 2 * widths[96][1], widths

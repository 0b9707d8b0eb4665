"""A whole launcher run as a player meets it: the skin window, the main
dialog's verdicts and their boxes, the refresh of the game executable and
the start of the game."""
import os
import re
import shutil
import subprocess
import time

import pytest

from conftest import CAPTION_EN, CAPTION_ZH, STUB_GAME
from demo_install import QVK, png_bytes as png
from wine_host import WINE

TEXT_278_EN = ("The current version is too old,has not updated,please download the latest version of the "
               "client.")
TEXT_283_ZH = "更新服务器列表失败"
TEXT_271_EN = ("Game start failed[unzip error],may be game process is not completely closed,please wait.You "
               "can also close the game process in task manager.")
TEXT_295_EN = "Can't run game, please update driver or didn't meet the minimun requirements"
TEXT_295_ZH = ("您的电脑配置无法正常运行游戏，请先尝试升级驱动，若游戏仍旧无法运行，则可能是您的电脑配置没有达到"
               "游戏的最低配置要求。")
TEXT_283_EN = "Update server list failed"
TEXT_293_EN = "Miss update packges, please restart the program updates"


def make_archive(path, files):
    """Builds a package archive holding `files` (name -> bytes) with the qvk tool."""
    if not QVK.exists():
        pytest.skip(f"{QVK} is missing: build the native qvk tool or set LAUNCHER_QVK")
    src = path.parent / (path.name + ".src")
    for name, data in files.items():
        p = src / name
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(data)
    subprocess.run([str(QVK), "create", str(path), str(src)], check=True, capture_output=True)
    shutil.rmtree(src)


def server_list(required, zones):
    body = "".join(f'<zone n="{n}" p="{p}" a="127.0.0.1" l="{link}" e="0"/>' for n, p, link in zones)
    return f'<?xml version="1.0" encoding="UTF-8"?><list v="{required}">{body}</list>'.encode()


def demo(inst, http_server, current="1.2.4", required=12004, zones=(("一区", 1, "link-one"),),
         language=None, patch_list=b"GAME.EXE\tGame.exe\t12004\r\n", exe_package=True):
    """A demo installation: base version 1.2.3, current 1.2.4 with its patch
    package naming Game.exe, an old installed Game.exe, the list served."""
    http_server.routes["/srv/serverlist.xml"] = (200, server_list(required, zones))
    inst.ini("updatecfg.ini", {"run": {"game_exe": "Game.exe", "base_version": "1.2.3"},
                               "home": {"serverlist": http_server.url("/srv")}})
    inst.ini("update.ini", {"Setting": {"Version": current}})
    if language is not None:
        inst.ini("System/GameConfig.ini", {"FirstRun": {"DataVersion": language}})
    inst.write("System/Game.exe", b"old executable")
    files = {}
    if patch_list is not None:
        files["PatchList.txt"] = patch_list
    if exe_package:
        files["Game.exe"] = STUB_GAME.read_bytes()
    make_archive(inst.path("System/Verpatch12004.qvk"), files)


def log_lines(inst):
    return inst.log_text().split("\r\n")


def test_normal_run_starts_the_refreshed_game_from_system(inst, launcher, http_server):
    demo(inst, http_server)
    started = time.monotonic()
    code = launcher.run(inst, "zone=3", timeout=90)
    elapsed = time.monotonic() - started
    assert code == 1
    records = inst.wait_stub_records(1, rel_dir="System")
    assert len(records) == 1, inst.log_text()
    record = records[0]
    assert re.fullmatch(r".*\\System\\Game\.exe\"? zone=3&\d+&d3d9check=1", record["cmdline"]), record
    assert record["cwd"].replace("/", "\\").endswith("\\System")
    assert inst.path("System/Game.exe").read_bytes() == STUB_GAME.read_bytes()
    zone = inst.path("System/currentzone.ini").read_bytes()
    assert zone.startswith(b"\xff\xfe")
    assert "zone=一区".encode("utf-16-le") in zone
    assert "version=12004".encode("utf-16-le") in zone
    assert elapsed >= 2.0
    log = inst.log_text()
    order = ["D3D9Check:1", "DownloadServerlist err_code:0", "Open qvk success:12004", "ExeInVer:12004",
             "GraphicsCount:", "ShellExecute:", "time:"]
    positions = [log.find(line) for line in order]
    assert -1 not in positions and positions == sorted(positions), log
    assert re.search(r"ShellExecute:\d+  GetLastError:-?\d+  isAdmin:[01]\r\ntime:\d+\Z", log), log


def test_required_version_above_current_shows_278(inst, launcher, driver, http_server):
    demo(inst, http_server, required=12005, language=2)
    proc = launcher.start(inst, "zone=3")
    assert driver.answer("ok") == (CAPTION_EN, TEXT_278_EN)
    assert proc.wait(timeout=30) == 1
    assert not inst.path("System/currentzone.ini").exists()
    assert inst.stub_records("System") == []


def test_list_without_zones_shows_283(inst, launcher, driver, http_server):
    demo(inst, http_server, zones=())
    proc = launcher.start(inst, "zone=3")
    assert driver.answer("ok") == (CAPTION_ZH, TEXT_283_ZH)
    assert proc.wait(timeout=30) == 1
    assert not inst.path("System/currentzone.ini").exists()
    assert inst.stub_records("System") == []


@pytest.mark.parametrize("patch_list", [
    b"GAME.EXE Game.exe\r\n",               # unreadable patch list
    b"GAME.EXE\tGame.exe\t12004\r\n",       # names the current package, which lacks the entry
])
def test_refresh_failure_shows_271(inst, launcher, driver, http_server, patch_list):
    demo(inst, http_server, language=2, patch_list=patch_list, exe_package=False)
    proc = launcher.start(inst, "zone=3")
    assert driver.answer("ok") == (CAPTION_EN, TEXT_271_EN)
    assert proc.wait(timeout=30) == 1
    assert inst.stub_records("System") == []
    assert inst.path("System/Game.exe").read_bytes() == b"old executable"
    assert list(inst.path("System").glob("Game_temp*")) == []


@pytest.mark.parametrize("version", ["0", "12002", "12003"])
def test_exe_record_not_above_the_base_starts_the_installed_executable(inst, launcher, http_server, version):
    # Such a record means the base installation's copy is the newest; no
    # package of that version exists.
    demo(inst, http_server, patch_list=f"GAME.EXE\tGame.exe\t{version}\r\n".encode())
    inst.install_stub("System/Game.exe")
    assert launcher.run(inst, "zone=3", timeout=90) == 1
    assert len(inst.wait_stub_records(1, rel_dir="System")) == 1, inst.log_text()
    assert f"ExeInVer:{version}\r\n" in inst.log_text()
    assert inst.path("System/Game.exe").read_bytes() == STUB_GAME.read_bytes()


@pytest.mark.parametrize("target", ["close-owned", "close"])
def test_closing_the_dialog_or_the_skin_window_ends_the_launcher(inst, launcher, driver, http_server, target):
    # A server that never answers keeps the worker busy; the player closes
    # (WM_CLOSE on the invisible dialog is what Alt+F4 sends it).
    def hang(handler):
        time.sleep(15)
    http_server.routes["/srv/serverlist.xml"] = hang
    inst.ini("updatecfg.ini", {"home": {"serverlist": http_server.url("/srv")}})
    proc = launcher.start(inst, "zone=3")
    assert driver.run("wait-window", CAPTION_ZH, 20000)[0] == 0
    rc, out = driver.run(target, CAPTION_ZH, 20000)
    assert rc == 0, out
    assert proc.wait(timeout=30) == 1
    assert inst.stub_records("System") == []


@pytest.mark.parametrize("language, caption, text", [(None, CAPTION_ZH, TEXT_295_ZH), (2, CAPTION_EN, TEXT_295_EN)])
def test_no_direct3d9_shows_295_and_starts_no_worker(inst, launcher, driver, http_server, language, caption, text):
    demo(inst, http_server, language=language)
    proc = launcher.start(inst, "zone=3", extra_env={"WINEDLLOVERRIDES": "d3d9="})
    assert driver.answer("ok") == (caption, text)
    assert proc.wait(timeout=30) == 1
    log = inst.log_text()
    assert "D3D9Check:0\r\n" in log
    assert "DownloadServerlist" not in log
    assert http_server.requests == []
    assert inst.stub_records("System") == []


def test_no_server_and_no_stored_list_shows_283_in_english(inst, launcher, driver, http_server):
    inst.ini("System/GameConfig.ini", {"FirstRun": {"DataVersion": 2}})
    inst.ini("updatecfg.ini", {"home": {"serverlist": http_server.url("/nothing")}})
    proc = launcher.start(inst, "zone=3")
    assert driver.answer("ok") == (CAPTION_EN, TEXT_283_EN)
    assert proc.wait(timeout=30) == 1
    assert http_server.requests == ["/nothing/serverlist.xml"] * 4
    assert inst.log_text().count("DownloadServerlist err_code:22\r\n") == 4


def test_second_launcher_restores_the_first_and_exits_0(inst, launcher, driver, http_server):
    proc = held_run(inst, launcher, http_server)
    try:
        assert inspect(driver, "minimise", CAPTION_ZH, 20000)["iconic"] == "1"
        assert launcher.run(inst, "zone=3") == 0
        assert inspect(driver, "inspect", CAPTION_ZH, 5000)["iconic"] == "0"
    finally:
        driver.run("close", CAPTION_ZH, 5000)
        assert proc.wait(timeout=30) == 1


def held_run(inst, launcher, http_server):
    """Starts the launcher against a server that does not answer for a while,
    so the window stays up; returns the process."""
    def slow(handler):
        time.sleep(12)
    http_server.routes["/srv/serverlist.xml"] = slow
    inst.ini("updatecfg.ini", {"home": {"serverlist": http_server.url("/srv")}})
    return launcher.start(inst, "zone=3")


def inspect(driver, *args):
    rc, out = driver.run(*args)
    assert rc == 0, out
    return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)


def skin_logo(x, y):
    """Left third opaque red, middle third half-transparent blue, right third clear."""
    if x < 70:
        return (200, 30, 30, 255)
    if x < 140:
        return (0, 0, 255, 128)
    return (0, 0, 0, 0)


def screen_rgb(driver, x, y):
    return tuple(map(int, inspect(driver, "pixel", x, y)["rgb"].split(",")))


def near(a, b, tolerance=4):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


def test_skin_window_is_centred_layered_marked_and_drags_with_the_dialog(inst, launcher, driver, http_server,
                                                                          tmp_path):
    inst.write("System/logo.png", png(210, 120, skin_logo))
    backdrop, first = driver.background("backdrop")
    assert first == "shown"
    try:
        sw, sh = map(int, inspect(driver, "inspect", "backdrop", 5000)["screen"].split(","))
        left, top = (sw - 210) // 2, (sh - 120) // 2
        y = top + 100
        points = {"opaque": (left + 35, y), "half": (left + 105, y), "clear": (left + 175, y)}
        desktop = {name: screen_rgb(driver, *xy) for name, xy in points.items()}

        proc = held_run(inst, launcher, http_server)
        try:
            info = inspect(driver, "inspect", CAPTION_ZH, 20000)
            assert info["rect"] == f"{left},{top},210,120"
            assert info["layered"] == "1" and info["property"] == "1"

            # What the player sees: the logo's pixels with their transparency
            # over the desktop, the colour-keyed dialog invisible on top.
            assert near(screen_rgb(driver, *points["opaque"]), (200, 30, 30))
            d = desktop["half"]
            half_blue = (round(d[0] * 127 / 255), round(d[1] * 127 / 255), round(128 + d[2] * 127 / 255))
            assert near(screen_rgb(driver, *points["half"]), half_blue)
            assert near(screen_rgb(driver, *points["clear"]), desktop["clear"])
            shot = tmp_path / "skin.png"
            rc, out = driver.run("screenshot", shot)
            assert rc == 0 and shot.exists(), out
            if os.environ.get("LAUNCHER_SCREENSHOT"):
                shutil.copyfile(shot, os.environ["LAUNCHER_SCREENSHOT"])

            moved = inspect(driver, "drag", CAPTION_ZH, 60, 40, 20000)
            x, y, w, h = map(int, moved["rect"].split(","))
            assert (w, h) == (210, 120)
            assert (x, y) != (left, top)
        finally:
            driver.run("close", CAPTION_ZH, 5000)
            assert proc.wait(timeout=30) == 1
    finally:
        driver.stop(backdrop)


@pytest.mark.parametrize("language, caption, text", [
    (None, CAPTION_ZH, "缺少更新包1.2.5，请重新启动"),
    (2, CAPTION_EN, TEXT_293_EN),  # the English text has no place for the versions
])
def test_missing_packages_show_293_with_the_versions(inst, launcher, driver, http_server, language, caption, text):
    # Version 1.2.5 is current, its package is missing: the worker rewinds.
    demo(inst, http_server, current="1.2.5", language=language)
    proc = launcher.start(inst, "zone=3")
    assert driver.answer("ok") == (caption, text)
    assert "Version=1.2.4" in inst.path("update.ini").read_text()
    assert proc.wait(timeout=30) == 1
    assert inst.stub_records("System") == []


def test_game_that_cannot_start_shows_the_reason(inst, launcher, driver, http_server):
    demo(inst, http_server, language=2, exe_package=False,
         patch_list=b"GRAPHICSLEVEL.INI\tgamedata/BaseData/GraphicsLevel.ini\t12004\r\n")
    inst.path("System/Game.exe").unlink()
    proc = launcher.start(inst, "zone=3")
    caption, text = driver.answer("ok")
    assert caption == CAPTION_EN
    assert text.startswith("Start game failed .\uff1a"), text
    assert proc.wait(timeout=30) == 1
    assert re.search(r"ShellExecute:\d+  GetLastError:-?\d+  isAdmin:[01]\r\ntime:\d+\Z", inst.log_text())


def test_held_executable_starts_a_fallback_copy_removed_next_time(inst, launcher, driver, http_server, wine_session):
    demo(inst, http_server)
    inst.install_stub("System/Game.exe")
    holder = subprocess.Popen([WINE, str(inst.path("System/Game.exe")), "--hold"], cwd=inst.path("System"),
                              env=wine_session, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert len(inst.wait_stub_records(1, rel_dir="System")) == 1
        assert launcher.run(inst, "zone=3", timeout=90) == 1
        records = inst.wait_stub_records(2, rel_dir="System")
        assert len(records) == 2, inst.log_text()
        assert re.search(r"\\System\\Game_temp\d{14}\.exe\"? zone=3&", records[1]["cmdline"]), records[1]
    finally:
        # The holding stub's window is never shown; end its process.
        subprocess.run([WINE, "taskkill", "/f", "/im", "Game.exe"], env=wine_session, capture_output=True)
        holder.kill()
        holder.wait(timeout=30)
    copies = list(inst.path("System").glob("Game_temp*.exe"))
    assert len(copies) == 1
    # The next start's housekeeping removes the copy.
    http_server.routes["/srv/serverlist.xml"] = (200, server_list(12005, [("一区", 1, "l")]))
    proc = launcher.start(inst, "zone=3")
    driver.answer("ok")
    assert proc.wait(timeout=30) == 1
    assert list(inst.path("System").glob("Game_temp*.exe")) == []

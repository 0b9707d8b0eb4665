"""What real networks, disks and installations do to a run: answers that are
not what was asked for, a full disk, a kill half-way, an installation under a
path with blanks. Nothing stored may be lost, and nothing not written whole
may be started."""
import contextlib
import os
import shutil
import subprocess
import time

import pytest

from conftest import CAPTION_EN, STUB_GAME
from test_run import TEXT_271_EN, demo, make_archive, server_list

GOOD_LIST = server_list(12004, [("一区", 1, "link-one"), ("二区", 0, "link-two")])
SIDE_FILES = {"proxy": "System/Proxy.ini", "pqxenc": "System/pqx_enc.ini", "pqxbsid": "System/pqx_bsid.xml"}


def scrambled(data):
    return bytes(b ^ 0xA5 for b in data)


def saved_zone(inst):
    return inst.path("System/currentzone.ini").read_bytes().decode("utf-16-le").lstrip("\ufeff")


def stored_files(inst):
    names = ["serverlist.xml", "System/currentzone.ini", "System/Game.exe", *SIDE_FILES.values()]
    return {name: inst.path(name).read_bytes() for name in names if inst.path(name).exists()}


def earlier_run(inst, http_server):
    """A demo installation as an earlier run left it: the list stored, the
    second zone saved, side files from the operator's server. English texts."""
    demo(inst, http_server, zones=(("一区", 1, "link-one"), ("二区", 0, "link-two")), language=2)
    inst.write("serverlist.xml", scrambled(GOOD_LIST))
    inst.write("System/currentzone.ini", "\ufeff[current]\r\nzone=二区\r\nversion=12004\r\n", "utf-16-le")
    inst.install_stub("System/Game.exe")
    inst.ini("System/linkconfig.ini", {"common": {key: http_server.url(f"/side/{key}") for key in SIDE_FILES}})
    for key, rel in SIDE_FILES.items():
        inst.write(rel, f"earlier {key}".encode())


@pytest.mark.parametrize("status, body", [
    (200, b"<html><body>Down for maintenance</body></html>"),
    (200, b'<?xml version="1.0"?><html xmlns="http://www.w3.org/1999/xhtml"><body><form/></body></html>'),
    (200, b""),
    (302, GOOD_LIST),
    (204, b""),
], ids=["maintenance", "xhtml-portal", "empty", "302", "204"])
def test_answers_that_are_not_a_list_keep_what_is_stored(inst, launcher, http_server, status, body):
    earlier_run(inst, http_server)
    http_server.routes["/srv/serverlist.xml"] = (status, body)
    for key in SIDE_FILES:
        http_server.routes[f"/side/{key}"] = (status, body)
    before = stored_files(inst)
    assert launcher.run(inst, "zone=3", timeout=90) == 1
    records = inst.wait_stub_records(1, rel_dir="System")
    assert len(records) == 1, inst.log_text()
    log = inst.log_text()
    # Four failed attempts, then the list of the earlier run.
    assert http_server.requests.count("/srv/serverlist.xml") == 4, http_server.requests
    assert log.count("DownloadServerlist err_code:") == 4, log
    assert inst.path("serverlist.xml").read_bytes() == before["serverlist.xml"]
    assert "zone=二区\r\n" in saved_zone(inst)
    if status != 200:  # a 200 body is a side file the launcher does not read
        for rel in SIDE_FILES.values():
            assert inst.path(rel).read_bytes() == before[rel], rel


@pytest.fixture
def small_disk(tmp_path):
    """A tmpfs of 64 MiB mounted for the installation; skipped where mounting
    is not permitted."""
    mount = tmp_path / "disk"
    mount.mkdir()
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64m", "tmpfs", str(mount)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        pytest.skip(f"cannot mount a tmpfs here: {result.stderr.strip()}")
    try:
        yield mount
    finally:
        subprocess.run(["umount", "-l", str(mount)], check=False)


def fill(path):
    """Fills the file system of `path` to the last byte."""
    with open(path / "filler", "wb", buffering=0) as out:
        with contextlib.suppress(OSError):
            while True:
                out.write(b"\0" * 65536)
                out.flush()
        with contextlib.suppress(OSError):
            while True:
                out.write(b"\0")
                out.flush()


def test_full_disk_loses_nothing_and_starts_nothing_unwritten(small_disk, launcher, driver, http_server):
    from conftest import Installation
    inst = Installation(small_disk / "inst")
    earlier_run(inst, http_server)
    inst.write("System/Game.exe", b"installed executable")
    inst.write("System/launch.log", b"")
    http_server.routes["/srv/serverlist.xml"] = (200, server_list(12004, [("三区", 1, "link-three")]))
    for key in SIDE_FILES:
        http_server.routes[f"/side/{key}"] = (200, b"new side file " * 100)
    before = stored_files(inst)
    fill(small_disk)
    proc = launcher.start(inst, "zone=3")
    assert driver.answer("ok") == (CAPTION_EN, TEXT_271_EN)
    assert proc.wait(timeout=30) == 1
    # The executable could not be written whole: it is untouched, nothing
    # was started, no copy is left behind.
    assert inst.stub_records("System") == []
    assert list(inst.path("System").glob("Game_temp*")) == []
    after = stored_files(inst)
    for name, data in before.items():
        if name == "System/currentzone.ini":
            # Either the earlier zone or the new one, written whole.
            assert saved_zone(inst) in ("[current]\r\nzone=二区\r\nversion=12004\r\n",
                                        "[current]\r\nzone=三区\r\nversion=12004\r\n"), after[name]
        elif name == "serverlist.xml":
            assert after[name] in (data, scrambled(server_list(12004, [("三区", 1, "link-three")]))), name
        else:
            assert after[name] == data, name


def test_kill_while_the_executable_is_written_leaves_the_installed_one(inst, launcher, http_server):
    # A large executable entry keeps the extraction busy long enough to be
    # caught half-way.
    big_exe = STUB_GAME.read_bytes() + os.urandom(96 * 1024 * 1024)
    demo(inst, http_server, exe_package=False)
    make_archive(inst.path("System/Verpatch12004.qvk"),
                 {"PatchList.txt": b"GAME.EXE\tGame.exe\t12004\r\n", "Game.exe": big_exe})
    inst.install_stub("System/Game.exe")
    installed = inst.path("System/Game.exe").read_bytes()
    proc = launcher.start(inst, "zone=3")
    caught = None
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and proc.poll() is None:
        copies = [p for p in inst.path("System").glob("Game_temp*.exe") if 0 < p.stat().st_size < len(big_exe)]
        if copies:
            proc.kill()
            caught = copies[0]
            break
        time.sleep(0.005)
    proc.wait(timeout=30)
    assert caught is not None, "the extraction was never caught half-way"
    # Killed half-way: the executable is exactly the installed one.
    assert inst.path("System/Game.exe").read_bytes() == installed
    # The next start removes the partial copy and refreshes the executable.
    assert launcher.run(inst, "zone=3", timeout=120) == 1
    records = inst.wait_stub_records(1, rel_dir="System")
    assert len(records) == 1, inst.log_text()
    assert records[0]["exe"].endswith("\\System\\Game.exe"), records[0]
    assert inst.path("System/Game.exe").read_bytes() == big_exe
    assert list(inst.path("System").glob("Game_temp*.exe")) == []


@pytest.mark.parametrize("game_present", [True, False], ids=["game", "no-game"])
def test_installation_under_a_path_with_blanks_starts_its_own_game_or_none(tmp_path, launcher, driver,
                                                                           http_server, game_present):
    from conftest import Installation
    inst = Installation(tmp_path / "x y")
    # The executable is not refreshed: what lies in System is what starts.
    demo(inst, http_server, language=2, exe_package=False,
         patch_list=b"GRAPHICSLEVEL.INI\tgamedata/BaseData/GraphicsLevel.ini\t12004\r\n")
    if game_present:
        inst.install_stub("System/Game.exe")
    else:
        inst.path("System/Game.exe").unlink()
    # A program named by the path's first word, beside the installation: an
    # unquoted path without an application name would start it instead.
    shutil.copyfile(STUB_GAME, tmp_path / "x.exe")
    proc = launcher.start(inst, "zone=3")
    if game_present:
        assert proc.wait(timeout=90) == 1
        records = inst.wait_stub_records(1, rel_dir="System")
        assert len(records) == 1, inst.log_text()
        assert records[0]["exe"].endswith("\\x y\\System\\Game.exe"), records[0]
        assert " zone=3&" in records[0]["cmdline"], records[0]
    else:
        caption, text = driver.answer("ok")
        assert (caption, text) == (CAPTION_EN, "Start game failed .\uff1a文件名不存在")
        assert proc.wait(timeout=30) == 1
        assert inst.stub_records("System") == [], inst.stub_records("System")

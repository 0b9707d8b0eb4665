"""The launcher under faults it cannot prevent: killed at any moment of a run,
many launchers started at once, files that are read-only or held open by
another program. A failed start must never cost the player a stored file."""
import subprocess
import time

import pytest

from conftest import STUB_GAME, UiDriver, restart_wineserver
from test_faults import SIDE_FILES, earlier_run, scrambled, stored_files, stored_side_file
from test_run import server_list

NEW_LIST = server_list(12004, [("三区", 1, "link-three"), ("一区", 0, "link-one")])
NEW_ZONE = "\ufeff[current]\r\nzone=三区\r\nversion=12004\r\n".encode("utf-16-le")
KILLS = 20


def dripping(body, pause=0.02, piece=16):
    """Serves `body` a few bytes at a time, so the run's writes are in flight
    for a while."""
    def route(handler):
        handler.send_response(200)
        handler.send_header("Content-Length", str(len(body)))
        handler.end_headers()
        for i in range(0, len(body), piece):
            handler.wfile.write(body[i:i + piece])
            handler.wfile.flush()
            time.sleep(pause)
    return route


def new_release(inst, http_server):
    """An installation an earlier run left behind, and a server with a new
    list (whose zones no longer hold the saved one) and new side files."""
    earlier_run(inst, http_server)
    inst.write("System/Game.exe", b"installed executable")
    inst.write("System/currentzone.ini", "\ufeff[current]\r\nzone=旧区\r\nversion=12003\r\n", "utf-16-le")
    http_server.routes["/srv/serverlist.xml"] = dripping(NEW_LIST)
    for key in SIDE_FILES:
        http_server.routes[f"/side/{key}"] = dripping(f"new {key}".encode() * 8)


def allowed_contents(before):
    """Each stored file's old and new content."""
    allowed = {name: {data} for name, data in before.items()}
    allowed["serverlist.xml"].add(scrambled(NEW_LIST))
    allowed["System/currentzone.ini"].add(NEW_ZONE)
    allowed["System/Game.exe"].add(STUB_GAME.read_bytes())
    for key, rel in SIDE_FILES.items():
        allowed[rel].add(stored_side_file(key, f"new {key}".encode() * 8))
    return allowed


def test_killed_at_any_moment_leaves_every_file_old_or_new(inst, launcher, http_server):
    new_release(inst, http_server)
    before = stored_files(inst)
    before["update.ini"] = inst.path("update.ini").read_bytes()
    allowed = allowed_contents(before)
    allowed["update.ini"] = {before["update.ini"]}

    # How long a whole run takes to the game's start, to spread the kills over it.
    started = time.monotonic()
    proc = launcher.start(inst, "zone=3")
    assert len(inst.wait_stub_records(1, rel_dir="System", timeout=90)) == 1, inst.log_text()
    run_time = time.monotonic() - started
    proc.wait(timeout=60)

    for i in range(KILLS):
        # Back to the earlier run's files, then a run killed part-way.
        for name, data in before.items():
            inst.path(name).write_bytes(data)
        moment = run_time * (i + 0.5) / KILLS
        proc = launcher.start(inst, "zone=3")
        time.sleep(moment)  # the moment of the kill is the point of the test
        proc.kill()
        proc.wait(timeout=60)
        for name, contents in allowed.items():
            data = inst.path(name).read_bytes()
            assert data in contents, f"kill {i} at {moment:.2f}s left {name} neither old nor new: {data[:60]!r}"

    # A launcher killed while starting the game leaves that game running, or
    # under Wine half-created for good; either holds Game.exe and would add its
    # record to the next run's. Gone as after a restart of the machine.
    restart_wineserver(launcher.env)

    # The next start after a kill completes normally.
    (inst.path("System") / "stub_record.txt").unlink(missing_ok=True)
    assert launcher.run(inst, "zone=3", timeout=90) == 1
    assert len(inst.wait_stub_records(1, rel_dir="System")) == 1, inst.log_text()
    assert inst.path("System/Game.exe").read_bytes() == STUB_GAME.read_bytes(), inst.log_text()
    assert inst.path("System/currentzone.ini").read_bytes() == NEW_ZONE
    assert list(inst.path("System").glob("Game_temp*.exe")) == []


def test_racing_launchers_start_the_game_once_per_burst(inst, launcher, driver, http_server):
    earlier_run(inst, http_server)
    http_server.routes["/srv/serverlist.xml"] = (200, NEW_LIST)
    for key in SIDE_FILES:
        http_server.routes[f"/side/{key}"] = (200, b"side")
    bursts, per_burst = 5, 10
    for burst in range(bursts):
        procs = [launcher.start(inst, "zone=3") for _ in range(per_burst)]
        # Launchers that find the first one without its window yet tell the
        # player (message 135); answer every such box until all have ended.
        deadline = time.monotonic() + 120
        while any(p.poll() is None for p in procs) and time.monotonic() < deadline:
            driver.run("answer", "*", "ok", 1000)
        codes = sorted(p.wait(timeout=30) for p in procs)
        assert codes == [0] * (per_burst - 1) + [1], (burst, codes)
        assert len(inst.wait_stub_records(burst + 1, rel_dir="System")) == burst + 1, (burst, inst.log_text())
    time.sleep(1)
    assert len(inst.stub_records("System")) == bursts


def test_read_only_files_are_made_writable_and_replaced(inst, launcher, http_server):
    new_release(inst, http_server)
    http_server.routes["/srv/serverlist.xml"] = (200, NEW_LIST)
    for key in SIDE_FILES:
        http_server.routes[f"/side/{key}"] = (200, f"new {key}".encode() * 8)
    names = ["serverlist.xml", "update.ini", "System/Game.exe", "System/currentzone.ini", *SIDE_FILES.values()]
    for name in names:
        inst.path(name).chmod(0o444)
    assert launcher.run(inst, "zone=3", timeout=90) == 1
    assert len(inst.wait_stub_records(1, rel_dir="System")) == 1, inst.log_text()
    assert inst.path("serverlist.xml").read_bytes() == scrambled(NEW_LIST)
    assert inst.path("System/Game.exe").read_bytes() == STUB_GAME.read_bytes()
    assert inst.path("System/currentzone.ini").read_bytes() == NEW_ZONE
    for key, rel in SIDE_FILES.items():
        assert inst.path(rel).read_bytes() == stored_side_file(key, f"new {key}".encode() * 8)
    for name in names:
        if name != "update.ini":  # read, never written in a normal run
            assert inst.path(name).stat().st_mode & 0o200, name


@pytest.mark.parametrize("held", ["System/currentzone.ini", "System/launch.log"])
def test_files_held_open_by_another_program_lose_nothing(inst, launcher, driver, http_server, held):
    new_release(inst, http_server)
    http_server.routes["/srv/serverlist.xml"] = (200, NEW_LIST)
    inst.write("System/launch.log", b"")
    before = inst.path(held).read_bytes()
    holder, first = driver.background("hold-file", inst.path(held))
    assert first == "held"
    try:
        assert launcher.run(inst, "zone=3", timeout=120) == 1
        assert len(inst.wait_stub_records(1, rel_dir="System")) == 1
    finally:
        UiDriver.stop(holder)
    # The held file could not be replaced or written: it is as it was.
    assert inst.path(held).read_bytes() == before
    assert not inst.path(held + ".tmp").exists()
    if held == "System/launch.log":
        assert inst.path("System/currentzone.ini").read_bytes() == NEW_ZONE

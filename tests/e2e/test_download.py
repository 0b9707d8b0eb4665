"""The download program (downloader.exe --quiet) under Wine against a real
nginx: releases made with qvk patch and qvk index reach an installation,
verified and resumable, and the launcher then starts the new game."""
import json
import shutil
import subprocess
import time

import pytest

from conftest import STUB_GAME, Installation
from download_host import (BASE, DOWNLOADER, Nginx, base_installation, make_releases, needed_packages, number,
                           qvk)
from test_run import server_list
from wine_host import WINE


def game_exe(release):
    return STUB_GAME.read_bytes() + f"release {release}".encode()


needed = needed_packages


def run_downloader(env, inst, *args, timeout=180):
    proc = subprocess.run([WINE, str(DOWNLOADER), "--quiet", *args], cwd=inst.root, env=env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
    return proc.returncode


def download_log(inst):
    path = inst.path("System/download.log")
    return path.read_bytes().decode("utf-8", "replace") if path.exists() else ""


def update_ini_version(inst):
    for line in inst.path("update.ini").read_text(encoding="latin-1").splitlines():
        if line.startswith("Version="):
            return line.split("=", 1)[1]
    return None


def check(inst):
    out = qvk("check", "--json", inst.root, ok_codes=(0, 1))
    return json.loads(out.stdout)


@pytest.fixture(scope="module")
def releases(tmp_path_factory):
    return make_releases(tmp_path_factory.mktemp("releases"), game_exe)


@pytest.fixture
def nginx(releases, tmp_path):
    server = Nginx(releases.parent, tmp_path / "nginx")
    yield server
    server.close()


def test_a_fresh_installation_reaches_the_latest_release_and_the_launcher_starts_it(
        releases, nginx, inst, launcher, wine_session):
    base_installation(inst, nginx.url("/srv"), game_exe)
    assert run_downloader(wine_session, inst) == 0, download_log(inst)
    assert update_ini_version(inst) == "1.0.3"
    # Exactly the packages the latest manifest needs, each fetched once, whole.
    want = needed(releases)
    fetched = [r for r in nginx.requests() if r[0].endswith(".qvk")]
    assert sorted(r[0].split("/")[-1] for r in fetched) == sorted(want), fetched
    assert all(r[1] == 200 for r in fetched), fetched
    assert "Verpatch10001.qvk" not in want  # superseded: never fetched
    for name in want:
        assert inst.path(f"System/{name}").read_bytes() == (releases / name).read_bytes()
    assert not inst.path("download").exists()
    log = download_log(inst)
    assert "result: updated: updated to 1.0.3" in log, log
    # An installation without keys takes the unsigned index, and says so.
    assert "release index not signed; this installation has no keys to check it with" in log, log
    assert f"{nginx.url('/srv/packages.txt')}: HTTP 200" in log.replace("GET ", ""), log

    # The launcher agrees: it starts release 3's game.
    assert check(inst)["starts_the_game"]
    assert launcher.run(inst, "zone=3", timeout=90) == 1
    records = inst.wait_stub_records(1, rel_dir="System")
    assert len(records) == 1, inst.log_text()
    assert inst.path("System/Game.exe").read_bytes() == game_exe(3)

    # A second run has nothing to do and fetches no package.
    before = len(nginx.requests())
    assert run_downloader(wine_session, inst) == 0
    assert [r for r in nginx.requests()[before:] if r[0].endswith(".qvk")] == []
    assert "result: up to date" in download_log(inst)


def test_two_releases_behind_fetches_only_what_the_latest_needs(releases, nginx, inst, wine_session):
    base_installation(inst, nginx.url("/srv"), game_exe, current="1.0.1")
    shutil.copyfile(releases / "Verpatch10001.qvk", inst.path("System/Verpatch10001.qvk"))
    assert run_downloader(wine_session, inst) == 0, download_log(inst)
    fetched = sorted(r[0].split("/")[-1] for r in nginx.requests() if r[0].endswith(".qvk"))
    assert fetched == sorted(n for n in needed(releases) if n != "Verpatch10001.qvk"), fetched
    assert update_ini_version(inst) == "1.0.3"


def test_repair_fetches_a_damaged_package_again(releases, nginx, inst, wine_session):
    base_installation(inst, nginx.url("/srv"), game_exe)
    assert run_downloader(wine_session, inst) == 0, download_log(inst)
    victim = inst.path("System/Verpatch10003.qvk")
    data = bytearray(victim.read_bytes())
    data[len(data) // 2] ^= 0xFF  # same size: only a hash finds it
    victim.write_bytes(bytes(data))
    before = len(nginx.requests())
    assert run_downloader(wine_session, inst) == 0
    assert victim.read_bytes() != (releases / "Verpatch10003.qvk").read_bytes()  # a plain run trusts the size
    assert run_downloader(wine_session, inst, "--repair") == 0, download_log(inst)
    assert victim.read_bytes() == (releases / "Verpatch10003.qvk").read_bytes()
    again = [r[0] for r in nginx.requests()[before:] if r[0].endswith(".qvk")]
    assert again == ["/srv/Verpatch10003.qvk"], again


@pytest.fixture(scope="module")
def big_releases(tmp_path_factory):
    # Packages of some 3 MiB each, served slowly: a run can be caught anywhere.
    return make_releases(tmp_path_factory.mktemp("big-releases"), game_exe, big=3 << 20)


def bytes_on_disk(inst, names):
    total = 0
    for name in names:
        for place in ("download", "System"):
            p = inst.path(f"{place}/{name}")
            if p.exists():
                total += p.stat().st_size
    return total


def test_killed_ten_times_every_run_resumes_and_the_last_ends_verified(big_releases, inst, tmp_path,
                                                                     wine_session):
    from conftest import restart_wineserver
    server = Nginx(big_releases.parent, tmp_path / "nginx", rate="768k")
    try:
        base_installation(inst, server.url("/srv"), game_exe)
        want = needed(big_releases)
        total = sum((big_releases / n).stat().st_size for n in want)
        kills = 0
        for k in range(1, 11):
            mark = total * k // 11
            proc = subprocess.Popen([WINE, str(DOWNLOADER), "--quiet"], cwd=inst.root, env=wine_session,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 120
            while proc.poll() is None and bytes_on_disk(inst, want) < mark and time.monotonic() < deadline:
                time.sleep(0.01)
            assert proc.poll() is None, f"the run ended before byte {mark}: {download_log(inst)}"
            proc.kill()
            proc.wait(timeout=30)
            kills += 1
        # Processes a kill caught while Wine was creating them would hold files.
        restart_wineserver(wine_session)
        assert run_downloader(wine_session, inst) == 0, download_log(inst)
        assert update_ini_version(inst) == "1.0.3"
        for name in want:
            assert inst.path(f"System/{name}").read_bytes() == (big_releases / name).read_bytes(), name
        rows = [r for r in server.requests() if r[0].endswith(".qvk")]
        resumed = [r for r in rows if r[3].startswith("bytes=")]
        assert resumed and all(r[1] == 206 for r in resumed), rows
        sent = sum(r[2] for r in rows)
        # Each kill may cost what was in flight, never more than 1 MiB.
        assert sent - total <= kills * (1 << 20), (sent, total, rows)
    finally:
        server.close()


# ---- Hostile answers: the operator's server is the only source ----------------

def reply(handler, status, body, headers=()):
    handler.send_response(status)
    for name, value in headers:
        handler.send_header(name, value)
    handler.send_header("Content-Length", str(len(body)))
    handler.end_headers()
    handler.wfile.write(body)


def half_then(handler, data, stall):
    """Announces the whole package, sends half, then stalls (bounded) or resets."""
    handler.send_response(200)
    handler.send_header("Content-Length", str(len(data)))
    handler.end_headers()
    handler.wfile.write(data[: len(data) // 2])
    handler.wfile.flush()
    if stall:
        time.sleep(10)
    handler.close_connection = True
    handler.connection.shutdown(2)


def served(data):
    return lambda h: reply(h, 200, data, [("Content-Type", "application/octet-stream")])


def flipped(data):
    damaged = bytearray(data)
    damaged[len(damaged) // 2] ^= 0xFF
    return bytes(damaged)


def index_with(srv, edit):
    return lambda h: reply(h, 200, edit((srv / "packages.txt").read_text()).encode())


HOSTILE = [
    # name, what /srv/Verpatch10003.qvk or the index becomes, the result line's words
    ("refused", None, "server unreachable: the server list cannot be fetched"),
    ("stall", lambda srv, data: lambda h: half_then(h, data, stall=True), "server unreachable: stalled"),
    ("reset", lambda srv, data: lambda h: half_then(h, data, stall=False), "server unreachable: connection failed"),
    ("404", lambda srv, data: lambda h: reply(h, 404, b"<html>not found</html>"),
     "package unavailable: not found (HTTP 404)"),
    ("500", lambda srv, data: lambda h: reply(h, 500, b"oops", [("Retry-After", "1")]),
     "server unreachable: server busy (HTTP 500)"),
    ("429", lambda srv, data: lambda h: reply(h, 429, b"slow down", [("Retry-After", "1")]),
     "server unreachable: server busy (HTTP 429)"),
    ("html", lambda srv, data: lambda h: reply(h, 200, b"<html>maintenance</html>" * 40,
                                               [("Content-Type", "text/html; charset=utf-8")]),
     "package unavailable: not the package (HTTP 200)"),
    ("short", lambda srv, data: served(data[:-100]), "package unavailable: not the package (HTTP 200)"),
    ("hash", lambda srv, data: served(flipped(data)), "package damaged: Verpatch10003.qvk arrived damaged twice"),
    ("416", lambda srv, data: lambda h: reply(h, 416, b""), "package unavailable: range refused (HTTP 416)"),
    ("older-index", "serial", "index refused: the release index is older than one used before"),
    ("expired-index", lambda srv, data: ("index", index_with(srv, lambda t: t.replace(
        "\nbase\t", "\nexpires\t2020-01-01T00:00:00Z\nbase\t"))), "index refused: the release index expired"),
    ("other-base", lambda srv, data: ("index", index_with(srv, lambda t: t.replace("\nbase\t1.0.0", "\nbase\t0.9.0"))),
     "index refused: the release index is for base version 0.9.0"),
    ("malformed-index", lambda srv, data: ("index", index_with(srv, lambda t: t.replace("\nlatest\t", "\nlatest "))),
     "index refused: the release index is malformed: line"),
]


@pytest.mark.parametrize("name,answer,words", HOSTILE, ids=[c[0] for c in HOSTILE])
def test_each_hostile_answer_fails_clearly_and_the_installation_still_starts(
        name, answer, words, releases, inst, http_server, wine_session, launcher):
    srv = releases
    for file in ("packages.txt", "Verpatch10002.qvk", "Verpatch10003.qvk"):
        http_server.routes[f"/srv/{file}"] = served((srv / file).read_bytes())
    # The operator has not raised the required version yet: 1.0.1 still plays.
    http_server.routes["/srv/serverlist.xml"] = served(server_list(number("1.0.1"), [("一区", 1, "zone-one")]))
    url = http_server.url("/srv")
    if name == "refused":
        from download_host import free_port
        url = f"http://127.0.0.1:{free_port()}/srv"
    elif answer == "serial":
        pass
    else:
        made = answer(srv, (srv / "Verpatch10003.qvk").read_bytes())
        if isinstance(made, tuple):
            http_server.routes["/srv/packages.txt"] = made[1]
        else:
            http_server.routes["/srv/Verpatch10003.qvk"] = made
    base_installation(inst, url, game_exe, current="1.0.1", settings={"stall_seconds": 2})
    shutil.copyfile(srv / "Verpatch10001.qvk", inst.path("System/Verpatch10001.qvk"))
    if answer == "serial":
        inst.ini("update.ini", {"Setting": {"Version": "1.0.1"}, "Download": {"Serial": 9}})

    assert run_downloader(wine_session, inst, timeout=240) == 1, download_log(inst)
    log = download_log(inst)
    assert f"result: {words}" in log, log
    # Nothing unverified reached System, and the version stayed.
    assert update_ini_version(inst) == "1.0.1"
    for p in inst.path("System").glob("*.qvk"):
        if p.name.startswith("Verpatch"):
            assert p.read_bytes() == (srv / p.name).read_bytes(), p.name
    report = check(inst)
    assert report["starts_the_game"], json.dumps(report, ensure_ascii=False)
    if name == "hash":
        # The real launcher agrees: release 1's game starts.
        assert launcher.run(inst, "zone=3", timeout=90) == 1
        assert len(inst.wait_stub_records(1, rel_dir="System")) == 1, inst.log_text()
        assert inst.path("System/Game.exe").read_bytes() == game_exe(1)


def test_a_whole_file_sent_to_a_range_request_restarts_it_cleanly(releases, inst, http_server, wine_session):
    srv = releases
    for file in ("serverlist.xml", "packages.txt", "Verpatch10002.qvk", "Verpatch10003.qvk"):
        http_server.routes[f"/srv/{file}"] = served((srv / file).read_bytes())
    base_installation(inst, http_server.url("/srv"), game_exe)
    # A partial file of other bytes: appending to it would give a damaged package.
    data = (srv / "Verpatch10003.qvk").read_bytes()
    inst.write("download/Verpatch10003.qvk", flipped(data)[: len(data) // 2])
    assert run_downloader(wine_session, inst) == 0, download_log(inst)
    assert inst.path("System/Verpatch10003.qvk").read_bytes() == data
    assert update_ini_version(inst) == "1.0.3"


# ---- A full disk ---------------------------------------------------------------

def test_a_full_disk_stops_naming_the_space_needed_and_loses_nothing(big_releases, small_disk, tmp_path,
                                                                    wine_session):
    inst = small_disk
    server = Nginx(big_releases.parent, tmp_path / "nginx", rate="1m")
    try:
        base_installation(inst, server.url("/srv"), game_exe)
        want = needed(big_releases)
        total = sum((big_releases / n).stat().st_size for n in want)
        # Before: the drive cannot hold the packages beside the margin.
        filler = inst.root.parent / "filler.bin"
        filler.write_bytes(b"\0" * (30 << 20))
        assert run_downloader(wine_session, inst) == 1
        log = download_log(inst)
        assert "result: disk full: not enough free space on Z:; " in log, log
        assert " MB needed, " in log, log
        assert [r for r in server.requests() if r[0].endswith(".qvk")] == []

        # During: the space goes while the packages arrive.
        filler.unlink()
        proc = subprocess.Popen([WINE, str(DOWNLOADER), "--quiet"], cwd=inst.root, env=wine_session,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while bytes_on_disk(inst, want) < total // 4 and time.monotonic() < deadline and proc.poll() is None:
            time.sleep(0.01)
        with open(filler, "wb") as f:
            try:
                while True:
                    f.write(b"\0" * (1 << 20))
                    f.flush()
            except OSError:
                pass
        assert proc.wait(timeout=120) == 1
        log = download_log(inst)
        assert "disk full: not enough free space on Z: to write Verpatch1000" in log, log
        assert update_ini_version(inst) == BASE
        kept = bytes_on_disk(inst, want)
        assert kept > 0  # what arrived is kept for the next run
        # Nothing broken: the launcher only says the game is behind the server list.
        report = check(inst)
        assert [m.split(" ")[0] for m in report["messages"]] == ["278"], report

        # Space again: the next run resumes and finishes.
        filler.unlink()
        assert run_downloader(wine_session, inst) == 0, download_log(inst)
        assert update_ini_version(inst) == "1.0.3"
        for name in want:
            assert inst.path(f"System/{name}").read_bytes() == (big_releases / name).read_bytes(), name
        assert any(r[3].startswith("bytes=") for r in server.requests()), server.requests()
    finally:
        server.close()


# ---- Beside the game and the launcher -------------------------------------------

def test_beside_a_running_launcher_it_refuses_and_the_launcher_refuses_beside_it(
        releases, inst, http_server, launcher, driver, wine_session, hold):
    from conftest import CAPTION_EN, GAME_SEMAPHORE
    from test_startup import TEXT_134_EN
    answered = []

    def slow_index(handler):
        # Holds the download program in its run until the launcher has answered.
        answered_or_late = time.monotonic() + 30
        while not answered and time.monotonic() < answered_or_late:
            time.sleep(0.05)
        reply(handler, 503, b"later")

    http_server.routes["/srv/serverlist.xml"] = served(server_list(number("1.0.1"), [("一区", 1, "zone-one")]))
    http_server.routes["/srv/packages.txt"] = slow_index
    base_installation(inst, http_server.url("/srv"), game_exe, current="1.0.1")
    shutil.copyfile(releases / "Verpatch10001.qvk", inst.path("System/Verpatch10001.qvk"))

    # The download program runs: the launcher shows message 134 and ends.
    proc = subprocess.Popen([WINE, str(DOWNLOADER), "--quiet"], cwd=inst.root, env=wine_session,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 60
        while "/srv/packages.txt" not in http_server.requests and time.monotonic() < deadline:
            time.sleep(0.05)
        assert "/srv/packages.txt" in http_server.requests, download_log(inst)
        started = launcher.start(inst, "zone=3")
        assert driver.answer("ok") == (CAPTION_EN, TEXT_134_EN)
        assert started.wait(timeout=30) == 0
    finally:
        answered.append(True)
        proc.kill()
        proc.wait(timeout=30)
    # A socket a killed process leaves with unread bytes keeps Wine's server
    # busy; a fresh server for the rest of the session.
    from conftest import restart_wineserver
    restart_wineserver(wine_session)

    # The launcher runs (its window waits for the player): the download program refuses.
    # (No server list: it keeps asking the player to try again.)
    del http_server.routes["/srv/serverlist.xml"]
    inst.path("serverlist.xml").unlink(missing_ok=True)
    started = launcher.start(inst, "zone=3")
    deadline = time.monotonic() + 60
    while "DownloadServerlist" not in (inst.log_text() or "") and time.monotonic() < deadline:
        time.sleep(0.05)
    assert run_downloader(wine_session, inst) == 3
    assert "refused: a launcher is running" in download_log(inst)
    launcher.kill_leftovers()

    # The game runs: the same.
    with hold(GAME_SEMAPHORE):
        assert run_downloader(wine_session, inst) == 3
    assert "refused: the game is running" in download_log(inst)
    assert update_ini_version(inst) == "1.0.1"
    assert sorted(p.name for p in inst.path("System").glob("Verpatch*.qvk")) == ["Verpatch10001.qvk"]


def test_a_wrong_answer_from_a_mirror_is_not_continued_from_the_next_source(releases, inst, http_server,
                                                                            tmp_path, wine_session):
    # The base URL is a real nginx, which continues a partial file with 206.
    served_dir = tmp_path / "site" / "srv"
    shutil.copytree(releases, served_dir)
    data = (releases / "Verpatch10003.qvk").read_bytes()
    index = (releases / "packages.txt").read_text().replace(
        "\nneeds\t", f"\nmirror\t{http_server.url('/mirror/')}\nneeds\t")
    (served_dir / "packages.txt").write_text(index)
    http_server.routes["/mirror/Verpatch10002.qvk"] = served((releases / "Verpatch10002.qvk").read_bytes())
    # The mirror has a stale, shorter file: its bytes must not start the package.
    http_server.routes["/mirror/Verpatch10003.qvk"] = served(bytes(len(data) // 2))
    server = Nginx(served_dir.parent, tmp_path / "nginx")
    try:
        base_installation(inst, server.url("/srv"), game_exe)
        assert run_downloader(wine_session, inst) == 0, download_log(inst)
        log = download_log(inst)
        assert "next source" in log and "damaged" not in log, log
        assert inst.path("System/Verpatch10003.qvk").read_bytes() == data
        assert [r[0] for r in server.requests() if r[0].endswith("10003.qvk")] == ["/srv/Verpatch10003.qvk"]
    finally:
        server.close()

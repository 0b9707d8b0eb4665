"""One click from "too old" to playing, under Wine against a real nginx:
the launcher that finds its installation behind offers the download program
beside it; Yes brings the installation up to date and starts the game, No
closes as before, and without the download program the box is the old one."""
import shutil
import subprocess
import time

import pytest

from conftest import CAPTION_EN, LAUNCHER, STUB_GAME, restart_wineserver
from download_host import BASE, DOWNLOADER, Nginx, base_installation, make_releases, number
from test_run import TEXT_278_EN, server_list
from wine_host import WINE

OFFER_278_EN = ("The current version is too old for the game's server. Update the game now? The download program "
                "brings it up to date and then starts it.")
DOWNLOAD_TITLE = "Velmaranthos update"
# What the game's front end gives the launcher: a blank and quotes must
# reach the game as they would without the detour.
FRONT_END_TEXT = 'zone=3&user=player "one"'


def game_exe(release):
    return STUB_GAME.read_bytes() + f"release {release}".encode()


def new_program(path):
    """A program of the next release: the same code, other bytes (data after
    the image, which Windows ignores)."""
    return path.read_bytes() + b"fixed at midnight"


@pytest.fixture(scope="module")
def releases(tmp_path_factory):
    work = tmp_path_factory.mktemp("one-click")
    (work / "programs").mkdir()
    for built in (LAUNCHER, DOWNLOADER):
        (work / "programs" / built.name).write_bytes(new_program(built))
    return make_releases(work, game_exe, index_args=[f"--program={work / 'programs' / p.name}"
                                                      for p in (LAUNCHER, DOWNLOADER)])


@pytest.fixture(autouse=True)
def no_leftovers(wine_session):
    """The programs a test started close by themselves, some seconds later:
    the next test must not find them running."""
    yield
    restart_wineserver(wine_session)


@pytest.fixture
def served(releases, tmp_path):
    server = Nginx(releases.parent, tmp_path / "nginx")
    yield server
    server.close()


def installation_with_programs(inst, url, downloader=True):
    """An installation at the base version with launcher.exe (and
    downloader.exe) at its root, as the full client ships them."""
    base_installation(inst, url, game_exe)
    shutil.copyfile(LAUNCHER, inst.path("launcher.exe"))
    if downloader:
        shutil.copyfile(DOWNLOADER, inst.path("downloader.exe"))


def start_launcher(env, inst, after_download=False):
    flag = ["--after-download"] if after_download else []
    return subprocess.Popen([WINE, str(inst.path("launcher.exe")), *flag, FRONT_END_TEXT], cwd=inst.root, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def download_log(inst):
    path = inst.path("System/download.log")
    return path.read_bytes().decode("utf-8", "replace") if path.exists() else ""


def test_yes_updates_and_the_game_starts_with_the_front_ends_text(served, inst, driver, wine_session):
    installation_with_programs(inst, served.url("/srv"))
    first = start_launcher(wine_session, inst)
    assert driver.answer("yes") == (CAPTION_EN, OFFER_278_EN)
    assert first.wait(timeout=30) == 1
    # The download program fetches the release, says so, then starts the
    # launcher again, which starts release 3's game with the front end's text.
    rc, out = driver.run("wait-text", DOWNLOAD_TITLE, "Starting the game", 60000, timeout=90)
    assert rc == 0 and "updated to version 1.0.3" in out, out + download_log(inst)
    records = inst.wait_stub_records(1, rel_dir="System", timeout=120)
    assert len(records) == 1, download_log(inst) + inst.log_text()
    assert records[0]["cmdline"].split(" ", 1)[1].startswith(subprocess.list2cmdline([FRONT_END_TEXT]) + "&"), records
    assert "--after-download" not in records[0]["cmdline"]
    assert inst.path("System/Game.exe").read_bytes() == game_exe(3)
    # The release's launcher and download program replaced the old ones, and
    # the new launcher started the game.
    assert inst.path("launcher.exe").read_bytes() == new_program(LAUNCHER)
    assert inst.path("downloader.exe").read_bytes() == new_program(DOWNLOADER)
    log = download_log(inst)
    assert "launcher.exe: replaced by launcher-" in log and "downloader.exe: replaced by downloader-" in log, log
    assert "---- download --then-start-launcher" in log and "has ended" in log, log
    assert "result: updated: updated to 1.0.3" in log and "start launcher.exe: 0" in log, log
    assert "started by the download program after an update" in inst.log_text()
    # Once current, the programs are not fetched again.
    restart_wineserver(wine_session)
    assert run_quiet(wine_session, inst).wait(timeout=120) == 0, download_log(inst)
    assert "result: up to date" in download_log(inst).rsplit("---- download", 1)[1]
    programs = [r for r in served.requests() if r[0].endswith(".exe")]
    assert sorted(r[0].rsplit("/", 1)[1] for r in programs) == sorted(served_name(p) for p in (LAUNCHER, DOWNLOADER))


@pytest.mark.parametrize("case", ["no", "no downloader", "after download", "not published"])
def test_no_and_the_cases_without_an_offer(case, served, releases, inst, driver, wine_session, tmp_path):
    url = served.url("/srv")
    if case == "not published":
        # The server list requires 1.0.4, which the index does not offer yet.
        ahead = tmp_path / "served" / "ahead"
        shutil.copytree(releases, ahead)
        (ahead / "serverlist.xml").write_bytes(server_list(number("1.0.4"), [("一区", 1, "zone-one")]))
        served.close()
        served = Nginx(ahead.parent, tmp_path / "nginx2")
        url = served.url("/ahead")
    try:
        installation_with_programs(inst, url, downloader=case != "no downloader")
        # Started by the download program, whatever the server list says: no offer again.
        launcher = start_launcher(wine_session, inst, after_download=case == "after download")
        if case in ("no downloader", "after download"):
            assert driver.answer("ok") == (CAPTION_EN, TEXT_278_EN)
        else:
            assert driver.answer("no" if case == "no" else "yes") == (CAPTION_EN, OFFER_278_EN)
        assert launcher.wait(timeout=30) == 1
        if case != "not published":
            assert download_log(inst) == ""
            assert BASE in inst.path("update.ini").read_text()
            return
        rc, out = driver.run("wait-text", DOWNLOAD_TITLE, "has not published yet", 90000, timeout=120)
        assert rc == 0, out + download_log(inst)
        assert "The game needs version 1.0.4" in out and "(version 1.0.3)" in out, out
        assert driver.run("click", DOWNLOAD_TITLE, "Close", 20000)[0] == 0
        log = download_log(inst)
        assert "result: not published" in log and "start launcher.exe" not in log, log
        assert inst.stub_records("System") == []
    finally:
        if case == "not published":
            served.close()


def served_name(path):
    import hashlib
    data = new_program(path)
    return f"{path.stem}-{hashlib.sha256(data).hexdigest()[:16]}.exe"


def run_quiet(env, inst):
    return subprocess.Popen([WINE, str(inst.path("downloader.exe")), "--quiet"], cwd=inst.root, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_for_log(inst, proc, since, *lines, timeout=120):
    """Polls the log written after offset `since`: no event crosses from Wine."""
    deadline = time.monotonic() + timeout
    while not all(line in download_log(inst)[since:] for line in lines):
        assert proc.poll() is None and time.monotonic() < deadline, download_log(inst)
        time.sleep(0.05)


def test_a_held_program_is_replaced_and_a_kill_during_the_swap_leaves_programs_that_start(
        served, inst, driver, wine_session):
    installation_with_programs(inst, served.url("/srv"))
    fetched = [f"{served_name(p)}: verified, waits" for p in (LAUNCHER, DOWNLOADER)]

    # A scanner holds launcher.exe for 20 s: the swap waits for it.
    holder, first = driver.background("hold-file", inst.path("launcher.exe"))
    assert first == "held"
    held_since = time.monotonic()
    proc = run_quiet(wine_session, inst)
    wait_for_log(inst, proc, 0, *fetched)
    time.sleep(max(0.0, 20 - (time.monotonic() - held_since)))  # the scanner's 20 s, not a wait for an event
    assert proc.poll() is None, "the swap did not wait for the held file"
    driver.stop(holder)
    assert proc.wait(timeout=60) == 0, download_log(inst)
    assert inst.path("launcher.exe").read_bytes() == new_program(LAUNCHER)
    assert inst.path("downloader.exe").read_bytes() == new_program(DOWNLOADER)

    # Older programs again, and the swap killed while launcher.exe is held.
    shutil.copyfile(LAUNCHER, inst.path("launcher.exe"))
    shutil.copyfile(DOWNLOADER, inst.path("downloader.exe"))
    holder, first = driver.background("hold-file", inst.path("launcher.exe"))
    assert first == "held"
    since = len(download_log(inst))
    proc = run_quiet(wine_session, inst)
    wait_for_log(inst, proc, since, *fetched)
    proc.kill()
    proc.wait(timeout=30)
    driver.stop(holder)
    restart_wineserver(wine_session)
    assert inst.path("launcher.exe").read_bytes() == LAUNCHER.read_bytes()

    # Killed between the download program's two renames: it is missing beside
    # its old copy. The launcher's next start puts it back, and starts the game.
    inst.path("downloader.exe").rename(inst.path("downloader.old.exe"))
    assert start_launcher(wine_session, inst).wait(timeout=60) == 1
    assert len(inst.wait_stub_records(1, rel_dir="System")) == 1, inst.log_text()
    assert inst.path("downloader.exe").read_bytes() == DOWNLOADER.read_bytes()
    assert not inst.path("downloader.old.exe").exists()

    # Killed at moments further and further into an update of the programs:
    # each time both programs are there, or the download program's old copy
    # that the next start restores.
    for delay in (0.2, 0.5, 0.8, 1.1, 1.4, 1.7):
        shutil.copyfile(LAUNCHER, inst.path("launcher.exe"))
        shutil.copyfile(DOWNLOADER, inst.path("downloader.exe"))
        shutil.rmtree(inst.path("download"), ignore_errors=True)
        proc = run_quiet(wine_session, inst)
        time.sleep(delay)  # the moment of the kill is the scenario, not a wait for an event
        proc.kill()
        proc.wait(timeout=30)
        restart_wineserver(wine_session)
        assert inst.path("launcher.exe").exists(), delay
        assert inst.path("downloader.exe").exists() or inst.path("downloader.old.exe").exists(), delay
        if not inst.path("downloader.exe").exists():
            inst.path("downloader.old.exe").rename(inst.path("downloader.exe"))  # as the launcher's start does

    # The next update ends with the new programs.
    assert run_quiet(wine_session, inst).wait(timeout=120) == 0, download_log(inst)
    assert inst.path("launcher.exe").read_bytes() == new_program(LAUNCHER)
    assert inst.path("downloader.exe").read_bytes() == new_program(DOWNLOADER)

"""The download program (downloader.exe --quiet) under Wine against a real
nginx: releases made with qvk patch and qvk index reach an installation,
verified and resumable, and the launcher then starts the new game."""
import json
import shutil
import subprocess
import time

import pytest

from conftest import STUB_GAME, Installation
from download_host import (BASE, DOWNLOADER, Nginx, base_installation, make_releases, number, qvk)
from wine_host import WINE


def game_exe(release):
    return STUB_GAME.read_bytes() + f"release {release}".encode()


def index_records(srv, name):
    return [line.split("\t")[1:] for line in (srv / "packages.txt").read_text().splitlines()
            if line.startswith(name + "\t")]


def needed(srv):
    return [f"Verpatch{number(v):05d}.qvk" for v in index_records(srv, "needs")[0][0].split(" ")]


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

"""An operator's three releases built with `qvk patch`, brought to one
installation in turn the way a download program would, and the real launcher
started after each; `qvk check` must predict what the launcher does."""
import json
import shutil
import subprocess
from pathlib import Path

import pytest

from conftest import STUB_GAME
from demo_install import GRAPHICS_LEVEL_INI, QVK, ini_text
from download_host import write_tree
from test_run import server_list

BASE = "1.0.0"


def qvk(*args, ok_codes=(0,)):
    if not QVK.exists():
        pytest.skip(f"{QVK} is missing: build the native qvk tool or set LAUNCHER_QVK")
    out = subprocess.run([str(QVK), *map(str, args)], capture_output=True)
    assert out.returncode in ok_codes, (args, out.stdout.decode(), out.stderr.decode())
    return out


def check(inst_root):
    out = qvk("check", "--json", inst_root, ok_codes=(0, 1))
    report = json.loads(out.stdout)
    assert (out.returncode == 0) == report["starts_the_game"], report
    return report


def game_exe(release):
    # The stand-in game with a release mark after its image: each release's
    # executable differs, and every one of them runs.
    return STUB_GAME.read_bytes() + f"release {release}".encode()


def test_three_releases_start_the_newest_game_and_check_agrees(tmp_path, inst, launcher, driver,
                                                               http_server):
    # The release trees: what the game's files are at each version.
    link = ini_text({"common": {"proxy": "", "pqxenc": "", "pqxbsid": ""}})
    level = b"\xff\xfe" + GRAPHICS_LEVEL_INI.encode("utf-16-le")
    trees = {
        "1.0.0": {"Game.exe": game_exe(0), "link.ini": link, "gamedata/BaseData/GraphicsLevel.ini": level,
                  "data/a.txt": "a0", "data/old.txt": "old"},
    }
    trees["1.0.1"] = dict(trees["1.0.0"], **{"Game.exe": game_exe(1), "data/new1.txt": "new in 1"})
    trees["1.0.2"] = {k: v for k, v in dict(trees["1.0.1"], **{"data/a.txt": "a2", "link.ini": link + "\r\n"}).items()
                      if k != "data/old.txt"}
    trees["1.0.3"] = {k: v for k, v in dict(trees["1.0.2"], **{"Game.exe": game_exe(3)}).items()
                      if k != "data/new1.txt"}
    for version, files in trees.items():
        write_tree(tmp_path / "trees" / version, files)
    packages = tmp_path / "packages"
    packages.mkdir()

    # The base installation at 1.0.0, as the game's installer leaves it.
    base = tmp_path / "base"
    write_tree(base / "sys", {"link.ini": link})
    write_tree(base / "data", {"BaseData/GraphicsLevel.ini": level})
    qvk("create", inst.path("System/System.qvk"), base / "sys")
    qvk("create", inst.path("System/GameData.qvk"), base / "data")
    inst.write("System/Game.exe", game_exe(0))
    inst.ini("updatecfg.ini", {"run": {"base_version": BASE, "game_exe": "Game.exe"},
                               "home": {"serverlist": http_server.url("/srv")}})
    inst.ini("System/GameConfig.ini", {"FirstRun": {"DataVersion": 2}})
    inst.write("System/Verpatch09999.qvk", b"a package from before the base")

    releases = ["1.0.1", "1.0.2", "1.0.3"]
    expected_exe = {"1.0.1": game_exe(1), "1.0.2": game_exe(1), "1.0.3": game_exe(3)}
    previous = "1.0.0"
    for step, version in enumerate(releases):
        number = int(version.replace(".", "")[0:2] + f"{int(version.split('.')[2]):03d}")
        extra = ["--first"] if step == 0 else ["--allow-removals"]
        qvk("patch", tmp_path / "trees" / previous, tmp_path / "trees" / version, packages,
            f"--version={version}", f"--base={BASE}", "--game-exe=Game.exe", *extra)
        package = packages / f"Verpatch{number:05d}.qvk"
        qvk("verify", package, packages, f"--base={BASE}")

        # A download program adds the package and records the version.
        shutil.copyfile(package, inst.path(f"System/{package.name}"))
        inst.ini("update.ini", {"Setting": {"Version": version}})
        http_server.routes["/srv/serverlist.xml"] = (200, server_list(number, [("一区", 1, "zone-one")]))

        before = check(inst.root)
        assert before["starts_the_game"], before
        assert before["messages"] == []
        named = [p["package"] for p in before["packages_named_by_the_manifest"]]
        doomed = before["clean_up_would_delete"]
        on_disk = sorted(p.name for p in inst.path("System").glob("*.qvk"))

        (inst.path("System") / "stub_record.txt").unlink(missing_ok=True)
        assert launcher.run(inst, "zone=3", timeout=90) == 1
        records = inst.wait_stub_records(1, rel_dir="System")
        assert len(records) == 1, inst.log_text()
        assert inst.path("System/Game.exe").read_bytes() == expected_exe[version], version

        # What the clean-up removed is exactly what check foretold; every
        # package the manifest names is still there.
        left = sorted(p.name for p in inst.path("System").glob("*.qvk"))
        assert sorted(set(on_disk) - set(left)) == sorted(d.split("/")[1] for d in doomed), (version, doomed)
        for name in named:
            assert inst.path(name).exists(), (version, name)
        after = check(inst.root)
        assert after["starts_the_game"] and after["clean_up_would_delete"] == [], after
        previous = version

    # The first release's package held only records that later releases replaced
    # or dropped: the clean-up removed it once 1.0.3 was current.
    assert not inst.path("System/Verpatch10001.qvk").exists()
    assert not inst.path("System/Verpatch09999.qvk").exists()
    manifest = qvk("cat", inst.path("System/Verpatch10003.qvk"), "PatchList.txt").stdout.decode()
    assert manifest == "A.TXT\tdata/a.txt\t10002\nGAME.EXE\tGame.exe\t10003\nLINK.INI\tlink.ini\t10002\n"

    # A player loses a package the manifest names: check foretells the box and
    # the rewind, and the launcher does exactly that.
    inst.path("System/Verpatch10002.qvk").unlink()
    broken = check(inst.root)
    assert not broken["starts_the_game"]
    assert broken["missing_packages"] == "1.0.2"
    rewind = broken["rewind_update_ini_version_to"]
    proc = launcher.start(inst, "zone=3")
    caption, text = driver.answer("ok")
    assert text == "Miss update packges, please restart the program updates"
    assert proc.wait(timeout=30) == 1
    assert f"Version={rewind}" in inst.path("update.ini").read_text()

"""Start-up as a player meets it: the checks before the window opens, the
interface language, the launch log and the clean-up of leftovers."""
import re

import pytest

from conftest import (CAPTION_EN, CAPTION_ZH, DOWNLOADER_SEMAPHORE, GAME_SEMAPHORE, INSTANCE_SEMAPHORE)

TEXT_132_ZH = "已经有一个游戏正在启动或运行中，是否继续开启游戏？ (同时开启多个游戏可能导致性能下降)"
TEXT_132_EN = ("There is already a game is starting up or running,whether to continue to open the game?"
               "(Opening multiple games at the same time can lead to performance degradation)")
TEXT_134_ZH = "程序检测到游戏下载更新程序正在运行，请退出下载更新程序，然后重新运行自动升级程序！"
TEXT_134_EN = "Launch is running, please quit the program, and then rerun the automatic upgrade program!"
TEXT_135_ZH = "程序检测到青石晚钟.exe更新程序没有正常退出，请从管理器退出更新程序，然后重新运行自动升级程序！"

TEXT_283_ZH = "更新服务器列表失败"

START_LINES = re.compile(
    rb"\A\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\r\nuninst exist:0\r\nUser default UI language=0x[0-9a-f]{4}\r\n"
    rb"Set LANGID=0x0804\r\n")


def no_server_run_ends(proc, driver):
    """Past the start-up checks the window opens; with no server configured the
    run ends in box 283, after which the launcher closes with 1."""
    assert driver.answer("ok") == (CAPTION_ZH, TEXT_283_ZH)
    assert proc.wait(timeout=30) == 1


def test_empty_command_line_opens_the_game_and_leaves_the_log(inst, launcher):
    inst.install_stub("青石晚钟.exe")
    inst.write("System/launch.log", b"previous run\r\n")
    assert launcher.run(inst) == 0
    records = inst.wait_stub_records(1)
    assert len(records) == 1
    assert records[0]["exe"].endswith("青石晚钟.exe")
    assert inst.log() == b"previous run\r\n"


def test_normal_start_writes_the_first_lines_and_opens_the_window(inst, launcher, driver):
    inst.write("System/launch.log", b"previous run\r\n" * 100)
    no_server_run_ends(launcher.start(inst, "zone=3"), driver)
    log = inst.log()
    assert START_LINES.match(log), log
    assert b"previous run" not in log


@pytest.mark.parametrize("data_version, caption, text, langid", [
    (None, CAPTION_ZH, TEXT_132_ZH, "0x0804"),
    (1, CAPTION_ZH, TEXT_132_ZH, "0x0804"),
    (2, CAPTION_EN, TEXT_132_EN, "0x0409"),
    (0, CAPTION_EN, TEXT_132_EN, "0x0409"),
])
def test_running_game_asks_in_the_chosen_language_and_no_exits(inst, launcher, driver, hold, data_version,
                                                                caption, text, langid):
    if data_version is not None:
        inst.ini("System/GameConfig.ini", {"FirstRun": {"DataVersion": data_version}})
    with hold(GAME_SEMAPHORE):
        proc = launcher.start(inst, "zone=3")
        assert driver.answer("no") == (caption, text)
        assert proc.wait(timeout=30) == 0
    log = inst.log_text()
    assert f"Set LANGID={langid}\r\n" in log
    assert log.endswith("game is running\r\nlaunch exit\r\n")


def test_yes_goes_on_to_the_download_program_check(inst, launcher, driver, hold):
    with hold(GAME_SEMAPHORE), hold(DOWNLOADER_SEMAPHORE):
        proc = launcher.start(inst, "zone=3")
        assert driver.answer("yes") == (CAPTION_ZH, TEXT_132_ZH)
        assert driver.answer("ok") == (CAPTION_ZH, TEXT_134_ZH)
        assert proc.wait(timeout=30) == 0
    assert inst.log_text().endswith("game is running\r\n")


def test_yes_beside_a_running_game_starts_the_launcher(inst, launcher, driver, hold):
    with hold(GAME_SEMAPHORE):
        proc = launcher.start(inst, "zone=3")
        driver.answer("yes")
        no_server_run_ends(proc, driver)


def test_download_program_running(inst, launcher, driver, hold):
    inst.ini("System/GameConfig.ini", {"FirstRun": {"DataVersion": 2}})
    with hold(DOWNLOADER_SEMAPHORE):
        proc = launcher.start(inst, "zone=3")
        assert driver.answer("ok") == (CAPTION_EN, TEXT_134_EN)
        assert proc.wait(timeout=30) == 0
    assert inst.log_text().endswith("Set LANGID=0x0409\r\n")


def test_other_launcher_without_window_shows_135(inst, launcher, driver, hold):
    inst.write("System/link.ini", "[common]\r\n")
    with hold(INSTANCE_SEMAPHORE):
        proc = launcher.start(inst, "zone=3")
        assert driver.answer("ok") == (CAPTION_ZH, TEXT_135_ZH)
        assert proc.wait(timeout=30) == 0
    # The side files go even when this launcher then gives way.
    assert not inst.path("System/link.ini").exists()


def test_other_launcher_window_is_restored_and_brought_forward(inst, launcher, driver, hold):
    with hold(INSTANCE_SEMAPHORE):
        marked, first = driver.background("mark-window")
        assert first == "marked"
        assert launcher.run(inst, "zone=3") == 0
        out = driver.stop(marked)
    assert "iconic=0" in out
    assert "foreground=1" in out


def test_housekeeping_removes_exactly_the_leftovers(inst, launcher, driver):
    inst.ini("updatecfg.ini", {"run": {"game_exe": "Game.exe"}})
    removed = ["System/link.ini", "System/asynload.ini", "System/Game_temp20170101120000.exe",
               "System/Game_temp20170101.log"]
    kept = ["System/Game.exe", "System/Other.log", "System/Game_tempABC.log", "System/Other_temp1.exe",
            "System/other.ini", "Game_temp20170101120000.exe"]
    for name in removed + kept:
        inst.write(name, b"x")
    no_server_run_ends(launcher.start(inst, "zone=3"), driver)
    assert [n for n in removed if inst.path(n).exists()] == []
    assert [n for n in kept if not inst.path(n).exists()] == []


@pytest.mark.parametrize("case", ["no System directory", "unreadable GameConfig.ini", "long game_exe",
                                  "long command line"])
def test_bad_input_never_stops_or_escapes_the_installation(tmp_path, inst, launcher, driver, case):
    args = ["zone=3"]
    if case == "no System directory":
        inst.path("System").rmdir()
    elif case == "unreadable GameConfig.ini":
        inst.path("System/GameConfig.ini").mkdir()
    elif case == "long game_exe":
        inst.ini("updatecfg.ini", {"run": {"game_exe": "G" * 300 + ".exe"}})
        inst.write("System/" + "G" * 200 + "_temp1.exe", b"x")
    elif case == "long command line":
        args = ["z" * 5000]
    before = sorted(p.name for p in tmp_path.iterdir())
    no_server_run_ends(launcher.start(inst, *args), driver)
    assert sorted(p.name for p in tmp_path.iterdir()) == before
    if case == "no System directory":
        assert not inst.path("System").exists()
    else:
        assert START_LINES.match(inst.log())

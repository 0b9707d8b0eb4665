"""The normal run with Wine in a Simplified Chinese locale: the ANSI code page
is 936, so the command-line text reaches the launcher, and the zone texts and
the log lines are kept, in GBK."""
import re
import subprocess

import pytest

from conftest import STUB_GAME, UiDriver
from test_run import demo, server_list

ZH_LOCALE = "zh_CN.UTF-8"


@pytest.fixture
def zh_env(wine_session):
    """Wine takes its code page from the locale's name, but only a generated
    locale gives the Unix side UTF-8 for command lines and file names."""
    names = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if not any(n.lower() in ("zh_cn.utf8", "zh_cn.utf-8") for n in names):
        pytest.skip(f"the {ZH_LOCALE} locale is not generated: run scripts/setup.sh")
    rc, out = UiDriver(dict(wine_session, LC_ALL=ZH_LOCALE)).run("acp")
    assert rc == 0 and "acp=936" in out.splitlines(), out
    return {"LC_ALL": ZH_LOCALE}


def saved_zone(inst):
    data = inst.path("System/currentzone.ini").read_bytes()
    assert data.startswith(b"\xff\xfe"), data
    match = re.search(r"zone=(.*)\r\n", data[2:].decode("utf-16-le"))
    return match and match.group(1)


def test_normal_run_in_code_page_936(inst, launcher, http_server, zh_env):
    demo(inst, http_server, zones=(("电信一区", 0, "链接：电信"), ("网通二区", 1, "链接：网通")))
    assert launcher.run(inst, "区=三", timeout=90, extra_env=zh_env) == 1
    records = inst.wait_stub_records(1, rel_dir="System")
    assert len(records) == 1, inst.log()
    assert re.fullmatch(r".*\\System\\Game\.exe\"? 区=三&\d+&d3d9check=1", records[0]["cmdline"]), records[0]
    assert records[0]["cwd"].replace("/", "\\").endswith("\\System")
    assert inst.path("System/Game.exe").read_bytes() == STUB_GAME.read_bytes()
    assert saved_zone(inst) == "网通二区"
    assert "version=12004".encode("utf-16-le") in inst.path("System/currentzone.ini").read_bytes()

    # Every line is text in the code page (strict decoding), and the locale
    # reached the launcher.
    log = inst.log().decode("gbk")
    assert "User default UI language=0x0804\r\n" in log, log
    order = ["D3D9Check:1", "DownloadServerlist err_code:0", "Open qvk success:12004", "ExeInVer:12004",
             "GraphicsCount:", "ShellExecute:", "time:"]
    positions = [log.find(line) for line in order]
    assert -1 not in positions and positions == sorted(positions), log

    # The next run reads the saved Chinese zone name back and keeps it over
    # the zone the list now prefers.
    http_server.routes["/srv/serverlist.xml"] = (
        200, server_list(12004, [("电信一区", 1, "链接：电信"), ("网通二区", 0, "链接：网通")]))
    assert launcher.run(inst, "区=三", timeout=90, extra_env=zh_env) == 1
    assert len(inst.wait_stub_records(2, rel_dir="System")) == 2, inst.log()
    assert saved_zone(inst) == "网通二区"

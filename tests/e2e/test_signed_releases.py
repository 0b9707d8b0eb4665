"""Signed releases under Wine against a real nginx: an installation that
carries its operator's keys takes only indexes they signed, refuses a
changed one before it fetches anything, and follows a key rotation that only
the root key may make."""
import hashlib
import re
import shutil

import pytest

from conftest import Installation
from download_host import BASE, Nginx, base_installation, make_keys, make_releases, number, qvk
from test_download import download_log, game_exe, run_downloader, update_ini_version
from test_run import server_list


def key_id(log, role):
    return re.search(rf"signed by {role} key ([0-9a-f]{{16}})", log).group(1)


def ini_value(inst, key):
    match = re.search(rf"^{key}=(.*?)\r?$", inst.path("update.ini").read_text(encoding="latin-1"), re.M)
    return match.group(1) if match else None


@pytest.fixture(scope="module")
def signed(tmp_path_factory):
    """Keys, and the three releases signed with the release key in srv/."""
    work = tmp_path_factory.mktemp("signed")
    trust = make_keys(work / "keys")
    srv = make_releases(work, game_exe, index_args=[f"--sign={work / 'keys' / 'release-key.pem'}"])
    return work, srv, trust


def copy_release(srv, name):
    """The packages and server list of `srv` in a folder beside it, for
    another index over the same packages."""
    out = srv.parent / name
    shutil.copytree(srv, out, ignore=shutil.ignore_patterns("packages.txt"))
    return out


def test_a_signed_release_is_fetched_and_a_changed_record_is_refused_before_anything_is_fetched(
        signed, tmp_path, launcher, wine_session):
    work, srv, trust = signed
    nginx = Nginx(work, tmp_path / "nginx")
    try:
        # The signed release of three versions reaches the latest.
        inst = Installation(tmp_path / "inst")
        base_installation(inst, nginx.url("/srv"), game_exe, trust=trust)
        assert run_downloader(wine_session, inst) == 0, download_log(inst)
        assert update_ini_version(inst) == "1.0.3"
        assert key_id(download_log(inst), "release")

        # The attacker's package for 1.0.3, and the signed index with its
        # record changed to that package's size and hash.
        evil_tree = work / "trees" / "evil"
        shutil.copytree(work / "trees" / "1.0.3", evil_tree)
        (evil_tree / "Game.exe").write_bytes(game_exe(666))
        tampered = copy_release(srv, "tampered")
        (tampered / "Verpatch10003.qvk").unlink()
        qvk("patch", work / "trees" / "1.0.2", evil_tree, tampered, "--version=1.0.3", f"--base={BASE}",
            "--game-exe=Game.exe", "--allow-removals")
        evil = (tampered / "Verpatch10003.qvk").read_bytes()
        text = (srv / "packages.txt").read_text()
        text, changed = re.subn(r"(package\t1\.0\.3\tVerpatch10003\.qvk\t)\d+\t[0-9a-f]{64}",
                                rf"\g<1>{len(evil)}\t{hashlib.sha256(evil).hexdigest()}", text)
        assert changed == 1
        (tampered / "packages.txt").write_text(text)
        # 1.0.0 still plays: the operator has not required more.
        (tampered / "serverlist.xml").write_bytes(server_list(number(BASE), [("一区", 1, "zone-one")]))

        victim = Installation(tmp_path / "victim")
        base_installation(victim, nginx.url("/tampered"), game_exe, trust=trust)
        before = len(nginx.requests())
        assert run_downloader(wine_session, victim) == 1
        log = download_log(victim)
        assert re.search(r"result: index refused: the release index is refused: its signature by key "
                         r"[0-9a-f]{16} does not match its bytes", log), log
        assert [r[0] for r in nginx.requests()[before:]] == ["/tampered/serverlist.xml", "/tampered/packages.txt"]
        assert not victim.path("download").exists()
        assert update_ini_version(victim) == BASE
        assert launcher.run(victim, "zone=3", timeout=90) == 1
        assert len(victim.wait_stub_records(1, rel_dir="System")) == 1, victim.log_text()
        assert victim.path("System/Game.exe").read_bytes() == game_exe(0)
    finally:
        nginx.close()


def test_a_rotation_by_the_root_key_is_followed_and_the_old_release_key_refused(signed, tmp_path, wine_session):
    work, srv, trust = signed
    keys = work / "keys"
    new_release = work / "keys2"
    out = qvk("keygen", "--release", new_release).stdout.decode()
    new_key = re.search(r"public key: (\S+)", out).group(1)
    # serial 2: the rotation, signed by the root key, and its key statement
    rotation = copy_release(srv, "rotation")
    qvk("index", rotation, "--serial=2", f"--base={BASE}", f"--sign={keys / 'root-key.pem'}",
        f"--trust-release={new_key}")
    # serial 3: signed by the old release key, and by the new one with the
    # key statement beside it for installations that missed the rotation
    old = copy_release(srv, "old-key")
    qvk("index", old, "--serial=3", f"--base={BASE}", f"--sign={keys / 'release-key.pem'}")
    new = copy_release(srv, "new-key")
    qvk("index", new, "--serial=3", f"--base={BASE}", f"--sign={new_release / 'release-key.pem'}")
    shutil.copyfile(rotation / "keys.txt", new / "keys.txt")
    # serial 2, naming the new key but signed by the release key (a list that
    # calls the release key a root key lets qvk write it)
    by_release = copy_release(srv, "release-rotates")
    fake = work / "fake-trust.ini"
    fake.write_text(f"[trust]\nroot={trust['release']}\nrelease={trust['release']}\n")
    qvk("index", by_release, "--serial=2", f"--base={BASE}", f"--sign={keys / 'release-key.pem'}",
        f"--keys={fake}", f"--trust-release={new_key}")

    # the new release key's index with a statement the old release key signed
    bad_statement = work / "bad-statement"
    shutil.copytree(new, bad_statement)
    shutil.copyfile(by_release / "keys.txt", bad_statement / "keys.txt")

    nginx = Nginx(work, tmp_path / "nginx")
    try:
        def installation(name, folder, trust_section):
            inst = Installation(tmp_path / name)
            base_installation(inst, nginx.url(f"/{folder.name}"), game_exe, trust=trust_section)
            return inst

        def point(inst, folder, trust_section=trust):
            inst.ini("updatecfg.ini", {"run": {"base_version": BASE, "game_exe": "Game.exe"},
                                       "home": {"serverlist": nginx.url(f"/{folder.name}")}, "trust": trust_section})

        refused = installation("refused", by_release, trust)
        assert run_downloader(wine_session, refused) == 1
        assert "result: index refused: the release index names keys to trust but is not signed by a root key" \
            in download_log(refused), download_log(refused)
        assert update_ini_version(refused) == BASE and ini_value(refused, "Release") is None

        inst = installation("inst", rotation, trust)
        assert run_downloader(wine_session, inst) == 0, download_log(inst)
        assert update_ini_version(inst) == "1.0.3"
        assert "keys of serial 2 adopted: root " in download_log(inst), download_log(inst)
        assert (ini_value(inst, "Release"), ini_value(inst, "Root")) == (new_key, trust["root"])
        assert (ini_value(inst, "KeysSerial"), ini_value(inst, "Serial")) == ("2", "2")

        point(inst, old)
        assert run_downloader(wine_session, inst) == 1
        log = download_log(inst)
        assert re.search(r"result: index refused: the release index is refused: signed by key [0-9a-f]{16}, "
                         r"which is not trusted", log), log
        assert (ini_value(inst, "Release"), ini_value(inst, "Serial")) == (new_key, "2")

        point(inst, new)
        assert run_downloader(wine_session, inst) == 0, download_log(inst)
        assert "result: up to date" in download_log(inst)
        assert ini_value(inst, "Serial") == "3"

        # Missed the rotation: the key statement beside the index brings it.
        late = installation("late", new, trust)
        assert run_downloader(wine_session, late) == 0, download_log(late)
        assert "key statement of serial 2, signed by root key" in download_log(late), download_log(late)
        assert (update_ini_version(late), ini_value(late, "Release")) == ("1.0.3", new_key)
        assert (ini_value(late, "KeysSerial"), ini_value(late, "Serial")) == ("2", "3")
        # A statement that only a release key signed is no way in.
        point(late, bad_statement)
        late.ini("update.ini", {"Setting": {"Version": BASE}})
        assert run_downloader(wine_session, late) == 1
        assert "key statement refused: signed by release key" in download_log(late), download_log(late)

        # A full client shipped with keys of serial 2 or later does not take
        # an older statement back; one without keys ignores what it cannot check.
        shipped = installation("shipped", new, dict(trust, serial=2))
        assert run_downloader(wine_session, shipped) == 1
        assert "key statement of serial 2 ignored: the keys held are of serial 2" in download_log(shipped)
        point(shipped, rotation, dict(trust, serial=2))
        assert run_downloader(wine_session, shipped) == 0, download_log(shipped)
        assert "the keys the index names are ignored: the keys held are of serial 2" in download_log(shipped)
        assert ini_value(shipped, "Release") is None
        keyless = installation("keyless", rotation, None)
        assert run_downloader(wine_session, keyless) == 0, download_log(keyless)
        assert "the keys the index names are ignored: this installation has no keys" in download_log(keyless)
        assert ini_value(keyless, "Release") is None

        # Keys that cannot be read refuse every index, and say it is the installation's fault.
        point(keyless, new, dict(trust, release=trust["release"][:40]))
        assert run_downloader(wine_session, keyless) == 1
        assert "result: index refused: the installation's keys cannot be read: updatecfg.ini [trust] release" \
            in download_log(keyless), download_log(keyless)
    finally:
        nginx.close()

"""The server list and the side files over https: a certificate that chains to
a root of the system's store and names the server works exactly as http; any
other certificate is a failed attempt, and nothing from such a server is
stored. Wine's TLS layer accepts every certificate, so these cases prove the
launcher's own check.

The test's certificate authority is added to the Wine prefix's machine Root
store for the length of the module and removed afterwards."""
import hashlib
import shutil
import ssl
import struct
import subprocess

import pytest

from conftest import HttpServer
from wine_host import WINE
from test_faults import SIDE_FILES, earlier_run, saved_zone, scrambled, stored_files
from test_run import server_list

ROOT_CERTIFICATES = r"HKLM\Software\Microsoft\SystemCertificates\Root\Certificates"
NEW_LIST = server_list(12004, [("三区", 1, "link-three")])

CA_CONFIG = """\
[ca]
default_ca = test
[test]
dir = {dir}
database = $dir/index.txt
new_certs_dir = $dir
serial = $dir/serial
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
"""


def openssl(cwd, *args):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


def make_ca(cwd, name):
    d = cwd / name
    d.mkdir()
    (d / "ca.cnf").write_text(CA_CONFIG.format(dir=d))
    (d / "index.txt").write_text("")
    (d / "serial").write_text("1000\n")
    openssl(d, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
            "-days", "3650", "-subj", f"/CN={name}", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    return d


def make_server_certificate(ca, out, name, start, end):
    """A server certificate for `name`, valid from `start` to `end`
    (YYMMDDHHMMSSZ), issued by `ca`; returns (certificate, key) paths."""
    (out / f"{out.name}.ext").write_text(
        f"subjectAltName=DNS:{name}\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
    openssl(out, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
            "-subj", f"/CN={name}")
    openssl(out, "ca", "-batch", "-config", str(ca / "ca.cnf"), "-cert", str(ca / "ca.pem"), "-keyfile",
            str(ca / "ca.key"), "-in", "server.csr", "-out", "server.pem", "-notext", "-startdate", start,
            "-enddate", end, "-extfile", f"{out.name}.ext")
    return out / "server.pem", out / "server.key"


def root_blob(der):
    """crypt32's stored form of a certificate: property records (id, 1,
    length, bytes), the SHA-1 hash (3) and the encoded certificate (32)."""
    sha1 = hashlib.sha1(der).digest()
    record = lambda prop, data: struct.pack("<III", prop, 1, len(data)) + data
    return sha1.hex().upper(), record(3, sha1) + record(32, der)


# Which certificate the server presents, and whether a run must accept it.
CERTIFICATES = {
    "valid": ("trusted", "localhost", "200101000000Z", "491231235959Z"),
    "unknown-authority": ("untrusted", "localhost", "200101000000Z", "491231235959Z"),
    "expired": ("trusted", "localhost", "200101000000Z", "210101000000Z"),
    "other-name": ("trusted", "other.example", "200101000000Z", "491231235959Z"),
}


@pytest.fixture(scope="module")
def certificates(tmp_path_factory, wine_session):
    """Server certificates by case; the trusted authority is in the prefix's
    machine Root store until the module ends."""
    if shutil.which("openssl") is None:
        pytest.skip("the openssl tool is missing: run scripts/setup.sh")
    work = tmp_path_factory.mktemp("pki")
    cas = {"trusted": make_ca(work, "trusted"), "untrusted": make_ca(work, "untrusted")}
    made = {}
    for case, (ca, name, start, end) in CERTIFICATES.items():
        (work / case).mkdir()
        made[case] = make_server_certificate(cas[ca], work / case, name, start, end)
    openssl(cas["trusted"], "x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der")
    thumbprint, blob = root_blob((cas["trusted"] / "ca.der").read_bytes())
    key = f"{ROOT_CERTIFICATES}\\{thumbprint}"
    subprocess.run([WINE, "reg", "add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", blob.hex(), "/f"],
                   env=wine_session, check=True, capture_output=True)
    try:
        yield made
    finally:
        subprocess.run([WINE, "reg", "delete", key, "/f"], env=wine_session, check=False,
                       capture_output=True)


class HttpsServer(HttpServer):
    """The test server behind TLS, reached by the name "localhost"."""

    def __init__(self, certificate, key):
        super().__init__()
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(certificate, key)
        # The serving thread waits in select() on this descriptor, which the
        # wrapped socket keeps; the handshake happens in each accept().
        self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True)

    def url(self, path=""):
        return f"https://localhost:{self.port}{path}"


@pytest.fixture
def serve(certificates):
    servers = []

    def start(case):
        server = HttpServer() if case == "http" else HttpsServer(*certificates[case])
        servers.append(server)
        return server

    yield start
    for server in servers:
        server.close()


@pytest.mark.parametrize("case", ["http", "valid"])
def test_a_trusted_server_works_as_over_http(inst, launcher, serve, case):
    server = serve(case)
    earlier_run(inst, server)
    server.routes["/srv/serverlist.xml"] = (200, NEW_LIST)
    for key in SIDE_FILES:
        server.routes[f"/side/{key}"] = (200, f"new {key}".encode())
    assert launcher.run(inst, "zone=3", timeout=90) == 1
    records = inst.wait_stub_records(1, rel_dir="System")
    assert len(records) == 1, inst.log_text()
    log = inst.log_text()
    assert log.count("DownloadServerlist err_code:") == 1 and "DownloadServerlist err_code:0\r\n" in log, log
    assert sorted(server.requests) == sorted(["/srv/serverlist.xml", *(f"/side/{k}" for k in SIDE_FILES)])
    assert inst.path("serverlist.xml").read_bytes() == scrambled(NEW_LIST)
    assert "zone=三区\r\n" in saved_zone(inst)
    assert inst.path("System/Proxy.ini").read_bytes() == b"new proxy"
    assert inst.path("System/pqx_enc.ini").read_bytes() == b"new pqxenc"
    assert inst.path("System/pqx_bsid.xml").read_bytes() == scrambled(b"new pqxbsid")


@pytest.mark.parametrize("case", ["unknown-authority", "expired", "other-name"])
def test_an_untrusted_server_is_a_failed_attempt_and_nothing_is_stored(inst, launcher, serve, case):
    server = serve(case)
    earlier_run(inst, server)
    server.routes["/srv/serverlist.xml"] = (200, NEW_LIST)
    for key in SIDE_FILES:
        server.routes[f"/side/{key}"] = (200, f"new {key}".encode())
    before = stored_files(inst)
    assert launcher.run(inst, "zone=3", timeout=90) == 1
    records = inst.wait_stub_records(1, rel_dir="System")
    assert len(records) == 1, inst.log_text()
    log = inst.log_text()
    # Four refused attempts (the peer's certificate failed verification),
    # then the list of the earlier run; no request reached the server.
    assert log.count("DownloadServerlist err_code:60\r\n") == 4, log
    assert log.count("DownloadServerlist err_code:") == 4, log
    assert server.requests == []
    assert "zone=二区\r\n" in saved_zone(inst)
    after = stored_files(inst)
    for name in ["serverlist.xml", *SIDE_FILES.values()]:
        assert after[name] == before[name], name


@pytest.mark.parametrize("target", ["https", "http"])
def test_the_download_program_follows_a_redirect_only_to_https(tmp_path, inst, serve, wine_session, target):
    from download_host import base_installation, make_releases, number
    from test_download import download_log, game_exe, needed, run_downloader, update_ini_version
    srv = make_releases(tmp_path / "releases", game_exe)
    server, plain = serve("valid"), serve("http")
    server.routes["/srv/serverlist.xml"] = (200, server_list(number("1.0.3"), [("一区", 1, "zone-one")]))
    server.routes["/srv/packages.txt"] = (200, (srv / "packages.txt").read_bytes())
    for name in needed(srv):
        data = (srv / name).read_bytes()
        server.routes[f"/cdn/{name}"] = plain.routes[f"/cdn/{name}"] = (200, data)
        # The operator's server sends every package on to its CDN.
        where = (server if target == "https" else plain).url(f"/cdn/{name}")
        server.routes[f"/srv/{name}"] = lambda h, where=where: (
            h.send_response(302), h.send_header("Location", where), h.send_header("Content-Length", "0"),
            h.end_headers())
    base_installation(inst, server.url("/srv"), game_exe)
    if target == "https":
        assert run_downloader(wine_session, inst) == 0, download_log(inst)
        assert update_ini_version(inst) == "1.0.3"
    else:
        assert run_downloader(wine_session, inst) == 1
        log = download_log(inst)
        assert "result: package unavailable: source refused" in log, log
        assert plain.requests == []  # never followed
        assert update_ini_version(inst) == "1.0.0"

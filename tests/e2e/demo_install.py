"""Builds a demo installation of the game: the base archives, a patch package
with its manifest, configuration files, a skin image with transparency, and a
stand-in game. Used by the end-to-end tests and by scripts/demo.sh."""
import math
import os
import shutil
import struct
import subprocess
import tempfile
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
QVK = Path(os.environ.get("LAUNCHER_QVK", ROOT / "build" / "native" / "tools" / "qvk"))


def png_bytes(width, height, pixel):
    """An RGBA PNG; pixel(x, y) returns (r, g, b, a)."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x, y))
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b""))


def logo_png(width=480, height=270):
    """A rounded panel with a soft, partly transparent glow and a round emblem:
    opaque in the middle, fading to fully transparent at the edges."""
    margin, radius = 24, 28

    def pixel(x, y):
        # Distance outside the rounded rectangle (negative inside).
        cx = min(max(x, margin + radius), width - margin - radius)
        cy = min(max(y, margin + radius), height - margin - radius)
        d = math.hypot(x - cx, y - cy) - radius
        if d > 0:  # glow around the panel
            a = max(0.0, 1.0 - d / margin) ** 2 * 0.6
            return (60, 140, 220, int(a * 255))
        t = y / height
        r, g, b = int(18 + 30 * t), int(32 + 40 * t), int(58 + 70 * t)
        ex, ey = width * 0.3, height * 0.5
        e = math.hypot(x - ex, y - ey)
        if e < 70:  # emblem: a ring with a half-transparent centre
            if e > 58:
                return (230, 190, 90, 255)
            return (230, 190, 90, 120)
        if abs(y - height * 0.5) < 4 and width * 0.45 < x < width * 0.85:
            return (220, 230, 240, 255)
        return (r, g, b, 235)
    return png_bytes(width, height, pixel)


def qvk_create(archive: Path, source_dir: Path):
    subprocess.run([str(QVK), "create", str(archive), str(source_dir)], check=True,
                   stdout=subprocess.DEVNULL)


def ini_text(sections):
    return "".join(f"[{name}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in values.items())
                   for name, values in sections.items())


def server_list_xml(required_version, zones):
    """zones: (name, preferred, address, link) tuples."""
    items = "".join(f'  <zone name="{n}" preferred="{p}" address="{a}" link="{l}" extra="0">\n'
                    f'    <server name="{n}-1" a="1" b="2" c="x" d="y"/>\n  </zone>\n'
                    for n, p, a, l in zones)
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n<serverlist version="{required_version}">\n'
            f'{items}</serverlist>\n').encode("utf-8")


DEFAULT_ZONES = [("东部一区", 0, "127.0.0.1:7001", "zone=east"), ("西部二区", 1, "127.0.0.1:7002", "zone=west")]

# First line ignored; then "adapter pattern<TAB>level" per line.
GRAPHICS_LEVEL_INI = "GraphicsLevel\r\nllvmpipe\t1\r\nwine\t2\r\nradeon\t3\r\ngeforce\t3\r\n"


def build(root: Path, server_url: str, stub_game: Path, *, base="1.0.0", current="1.0.1",
          game_exe="Game.exe", data_version=2, first_run=0, link_base_url=None, patch_game=True):
    """Creates the installation in root (which must not exist yet or be empty)."""
    root.mkdir(parents=True, exist_ok=True)
    system = root / "System"
    system.mkdir(exist_ok=True)
    link_base_url = link_base_url or server_url
    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        # Base archives.
        (scratch / "sys").mkdir()
        (scratch / "sys" / "link.ini").write_text(ini_text({"common": {
            "proxy": f"{link_base_url}/Proxy.ini", "pqxenc": f"{link_base_url}/pqx_enc.ini",
            "pqxbsid": f"{link_base_url}/pqx_bsid.xml"}}))
        qvk_create(system / "System.qvk", scratch / "sys")
        (scratch / "data" / "BaseData").mkdir(parents=True)
        (scratch / "data" / "BaseData" / "GraphicsLevel.ini").write_bytes(
            b"\xff\xfe" + GRAPHICS_LEVEL_INI.encode("utf-16-le"))
        qvk_create(system / "GameData.qvk", scratch / "data")
        # The patch package of the current version, with the newest game executable.
        current_number = version_number(current)
        if current_number > version_number(base):
            patch = scratch / "patch"
            patch.mkdir()
            lines = []
            if patch_game and game_exe:
                shutil.copyfile(stub_game, patch / game_exe)
                lines.append(f"{game_exe.upper()}\t{game_exe}\t{current_number}\n")
            (patch / "PatchList.txt").write_text("".join(lines))
            qvk_create(system / f"Verpatch{current_number:05d}.qvk", patch)
    if game_exe:
        shutil.copyfile(stub_game, system / game_exe)
    (system / "logo.png").write_bytes(logo_png())
    (system / "GameConfig.ini").write_text(ini_text({"FirstRun": {"DataVersion": data_version,
                                                                   "FirstRun": first_run}}))
    (root / "updatecfg.ini").write_text(ini_text({"run": {"base_version": base, "game_exe": game_exe},
                                                  "home": {"serverlist": server_url}}))
    (root / "update.ini").write_text(ini_text({"Setting": {"Version": current}}))
    return root


def version_number(text):
    parts = [int(p) for p in text.replace("*", ".").split(".") if p] + [0, 0, 0]
    return int(f"{parts[0]}{parts[1]}{parts[2]:03d}")

#!/usr/bin/env python3
"""The download benchmark (run it through bench/run_download_bench.sh).

An operator's releases whose needed packages hold 1 GiB (two packages of
512 MiB by default) are served by a real nginx on 127.0.0.1. Each round times,
side by side:
  curl     Debian's curl fetching the same files, two at a time, to disk;
  sha256   the download program's own SHA-256 (sha256_bench.exe, the system's
           hash under Wine) over the same bytes;
  program  downloader.exe --quiet bringing a fresh installation to the latest
           release: download, hash while writing, archive check, placement;
  window   the same with its window (--close-when-done), on the display or a
           private Xvfb.
Prints the medians, the medians of the per-round ratios program / max(curl,
sha256) and window / max(curl, sha256) (goal: at most 1.3 each) and the peak
working set (goal: under 32 MiB)."""
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import wine_host  # noqa: E402
from wine_host import WINE, WINESERVER  # noqa: E402
from download_host import DOWNLOADER, Nginx, base_installation, make_releases, needed_packages  # noqa: E402

SHA256 = wine_host.BUILD / "bench" / "download" / "sha256_bench.exe"
OUT = Path(os.environ.get("DOWNLOAD_BENCH_DIR", wine_host.BUILD / "download-bench"))


class Inst:
    """The few Installation helpers base_installation needs."""

    def __init__(self, root):
        self.root = root
        root.mkdir(parents=True)

    def path(self, rel):
        return self.root / rel

    def write(self, rel, data):
        p = self.path(rel)
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(data if isinstance(data, bytes) else data.encode())

    def ini(self, rel, sections):
        text = "".join(f"[{s}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
                       for s, keys in sections.items())
        self.write(rel, text.encode())


def timed(args, **kw):
    # Each step starts on a quiet disk: what the previous one wrote is not
    # written back during this one.
    os.sync()
    start = time.perf_counter()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, **kw)
    return time.perf_counter() - start


def private_display():
    """An Xvfb with a window manager for the window when there is no display:
    [Xvfb, openbox], or [] on the caller's display. Without a window manager
    Wine waits 2 s for one whenever a window closes, which players never see."""
    if os.environ.get("DISPLAY"):
        return []
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        os.environ["DISPLAY"] = ":" + pipe.readline().strip()
    wm = subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return [wm, xvfb]


def run_program(env, inst, args):
    t = timed([WINE, str(DOWNLOADER), *args], env=env, cwd=inst.root)
    log = inst.path("System/download.log").read_text(errors="replace")
    if "result: updated" not in log:
        raise SystemExit(f"the download program failed:\n{log}")
    peak = [int(line.split()[3]) for line in log.splitlines() if line.startswith("peak working set")][-1]
    shutil.copyfile(inst.path("System/download.log"), OUT / "last-download.log")
    shutil.rmtree(inst.root)
    return t, peak


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    display = private_display()
    mib = int(os.environ.get("DOWNLOAD_BENCH_MIB", "512"))
    shutil.rmtree(OUT, ignore_errors=True)
    OUT.mkdir(parents=True)
    env = wine_host.wine_env(DISPLAY=os.environ["DISPLAY"])
    # A fresh Wine session on this display (its desktop process belongs to it).
    subprocess.run([WINESERVER, "-k"], env=env, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-p"], env=env, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINE, "wineboot"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    print(f"making the releases ({mib} MiB a package) ...", flush=True)
    srv = make_releases(OUT / "releases", lambda n: b"MZ game %d" % n, big=mib << 20)
    names = needed_packages(srv)
    total = sum((srv / n).stat().st_size for n in names)
    server = Nginx(srv.parent, OUT / "nginx")
    rows = []
    try:
        for round_no in range(1, runs + 1):
            fetched = OUT / "curl"
            shutil.rmtree(fetched, ignore_errors=True)
            fetched.mkdir()
            curl_args = ["curl", "-sSf", "--no-progress-meter", "--parallel", "--parallel-max", "2"]
            for n in names:
                curl_args += ["-o", str(fetched / n), server.url(f"/srv/{n}")]
            t_curl = timed(curl_args)
            t_hash = timed([WINE, str(SHA256), *[str(fetched / n) for n in names]], env=env)
            timings = []
            for args in (["--quiet"], ["--close-when-done"]):
                inst = Inst(OUT / f"inst{round_no}")
                base_installation(inst, server.url("/srv"), lambda n: b"MZ game %d" % n)
                timings.append(run_program(env, inst, args))
            (t_prog, peak_prog), (t_win, peak_win) = timings
            ref = max(t_curl, t_hash)
            rows.append((t_curl, t_hash, t_prog, peak_prog, t_win, peak_win))
            print(f"round {round_no}: curl {t_curl:.2f} s, sha256 {t_hash:.2f} s, program {t_prog:.2f} s "
                  f"(ratio {t_prog / ref:.2f}), window {t_win:.2f} s (ratio {t_win / ref:.2f}), "
                  f"peak working set {peak_prog / 1024:.1f} MiB, with the window {peak_win / 1024:.1f} MiB",
                  flush=True)
    finally:
        server.close()
        for proc in display:
            proc.terminate()
            proc.wait()
    med = lambda i: statistics.median(r[i] for r in rows)
    ratio = statistics.median(r[2] / max(r[0], r[1]) for r in rows)
    window_ratio = statistics.median(r[4] / max(r[0], r[1]) for r in rows)
    peak = max(r[3] for r in rows) / 1024
    peak_win = max(r[5] for r in rows) / 1024
    mib_total = total / (1 << 20)
    print(f"\n{mib_total:.0f} MiB in {len(names)} packages, {runs} rounds, medians:")
    print(f"  curl     {med(0):.2f} s  ({mib_total / med(0):.0f} MiB/s)")
    print(f"  sha256   {med(1):.2f} s  ({mib_total / med(1):.0f} MiB/s)")
    print(f"  program  {med(2):.2f} s  ({mib_total / med(2):.0f} MiB/s)")
    print(f"  window   {med(4):.2f} s  ({mib_total / med(4):.0f} MiB/s)")
    print(f"program / max(curl, sha256): {ratio:.2f}  (goal: at most 1.3)")
    print(f"window / max(curl, sha256): {window_ratio:.2f}  (goal: at most 1.3)")
    print(f"peak working set: {peak:.1f} MiB  (goal: under 32); with the window: {peak_win:.1f} MiB")


if __name__ == "__main__":
    main()

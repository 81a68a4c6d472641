#!/usr/bin/env python3
"""Peak memory of the stub under Wine while it extracts one large file.

Builds two hidden setups (no questions, no engine) holding one file each, of
16 MiB and 512 MiB, each file in a single zlib record, runs each under Wine
and reports the peak resident memory of the stub's process. Extraction
streams, so the two peaks should differ by a few MiB at most.

  memory_bench.py [CONFIG]   (CONFIG: the e2e configuration of the Windows tree)
"""
import os
import resource
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import kvwine  # noqa: E402

MIB = 1 << 20


def make_file(path, size):
    # Text-like data that compresses about 3:1, so inflate produces far more
    # than it reads, the case where an unbounded output buffer would show.
    line = b"".join(b"%08d the quick brown fox jumps over the lazy dog %x\n" % (i, i * 2654435761 % 97)
                    for i in range(4096))
    with open(path, "wb") as f:
        left = size
        while left > 0:
            chunk = line[:left]
            f.write(chunk)
            left -= len(chunk)


def peak_of_run(session, exe):
    """Runs exe under Wine and returns the peak RSS (KiB) of the processes it
    started; the wine server runs already, so it is not among them. Output
    goes to files: Wine's desktop process inherits the first program's
    handles and would hold a pipe open long after the stub has ended."""
    out = os.path.join(session.root, "time.txt")
    cmd = ["/usr/bin/time", "-o", out, "-f", "%M", session.cfg["wine"], exe]
    with open(os.path.join(session.root, "wine.log"), "wb") as log:
        r = subprocess.run(cmd, env=session.env, cwd=session.files, stdout=log, stderr=log,
                           stdin=subprocess.DEVNULL, timeout=900)
    with open(out) as f:
        return int(f.read().strip().splitlines()[-1]), r.returncode


def main():
    cfg = kvwine.load_config(sys.argv[1] if len(sys.argv) > 1 else None)
    kvwine.prepare_template(cfg, log=lambda *a: None)
    session = kvwine.WineSession(cfg, "memory_bench")
    results = {}
    try:
        for mib in (16, 512):
            data = os.path.join(session.files, "data%d.bin" % mib)
            make_file(data, mib * MIB)
            setup = os.path.join(session.files, "setup%d.exe" % mib)
            session.kvpack("build", "--stub", cfg["stub"], "--out", setup, "--hide", "--level", "1",
                           "--record-limit", "1G", data)
            os.remove(data)
            os.utime(setup, (time.time() - mib * 7, time.time() - mib * 7))
            # Start the wine server beforehand, lingering a few seconds after
            # its last client, so that it is not counted as the stub's child.
            subprocess.run([cfg["wineserver"], "-p5"], env=session.env, timeout=60)
            time.sleep(1)
            peak, rc = peak_of_run(session, setup)
            session.wait_idle(120)
            results[mib] = peak
            print("one %4d MiB file: peak %8.1f MiB (exit %s)" % (mib, peak / 1024.0, rc))
            os.remove(setup)
    finally:
        session.close()
    diff = (results[512] - results[16]) / 1024.0
    print("peak difference 512 MiB - 16 MiB: %.1f MiB" % diff)
    return 0


if __name__ == "__main__":
    sys.exit(main())

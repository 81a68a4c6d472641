#!/usr/bin/env python3
"""Runs the Hello setup under Wine inside a virtual display, the way a user
would: answers its temporary-space question with Yes, lets it extract and
start the engine, then prints what the engine received and the exit code.
Saves screenshots of the question and of the progress window (PNG).

  run_demo.py CONFIG SETUP REPORT SCREENS_DIR

CONFIG is the end-to-end configuration of the Windows build tree (it names
the Wine loader and the support programs); REPORT is where the packed engine
writes its report (its engine.cfg says so).
"""
import json
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import kvwine  # noqa: E402


def to_png(bmp, png):
    """BMP to PNG with ImageMagick; False when that is not possible."""
    if not os.path.exists(bmp) or not shutil.which("convert"):
        return False
    r = subprocess.run(["convert", bmp, png], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return r.returncode == 0 and os.path.exists(png)


def main(argv):
    if len(argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    cfg_path, setup, report, screens = argv[1:]
    cfg = kvwine.load_config(cfg_path)
    kvwine.prepare_template(cfg, log=lambda *a: None)
    os.makedirs(screens, exist_ok=True)
    if os.path.exists(report):
        os.remove(report)

    session = kvwine.WineSession(cfg, "hello-demo")
    shots = os.path.join(session.root, "shots")
    os.makedirs(shots)
    uidriver = session.support_exe("uidriver")
    try:
        # The first program of a fresh prefix brings up Wine's desktop
        # process, which inherits that program's output handles and keeps
        # them open. The debug viewer takes that part, as in the tests, so
        # that the UI driver's output ends with the driver.
        viewer = kvwine.DebugViewer(session)
        started = time.monotonic()
        stub = session.start(os.path.abspath(setup), [], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        # The question first: read it, photograph it, answer Yes.
        box = session.run(uidriver, ["--timeout", "60000", "read",
                                     "shot", kvwine.winpath(os.path.join(shots, "question.bmp")),
                                     "alt", "y"], timeout=120)
        if box.returncode != 0:
            print("demo: the question did not appear: %s" % box.stderr.decode(errors="replace"))
        else:
            shown = json.loads(box.stdout.decode("utf-8").splitlines()[0])
            print("The setup asked (%s):" % shown["caption"])
            for line in shown["text"].replace("\t", " ").splitlines():
                print("    " + line)
            print("    buttons: %s -> answered Yes (Alt+Y)" % " ".join(shown["buttons"]))
        # Then the progress window (its class is the setup file's path), once
        # at once and once more a moment later, when the files are out (it
        # goes when the engine starts).
        window = "class=" + kvwine.winpath(os.path.abspath(setup))
        session.run(uidriver, ["--timeout", "15000",
                               "shot", kvwine.winpath(os.path.join(shots, "progress-early.bmp")),
                               window, "sleep", "1200", "--timeout", "500",
                               "shot", kvwine.winpath(os.path.join(shots, "progress.bmp")),
                               window], timeout=60)
        try:
            code = stub.wait(180)
        except subprocess.TimeoutExpired:
            session.kill_all()
            print("demo: the setup did not end within 180 s")
            return 1
        seconds = time.monotonic() - started
        viewer.stop()
        session.wait_idle(60)
    finally:
        session.close()

    print()
    print("== What the engine received")
    r = None
    if os.path.exists(report):
        with open(report, encoding="latin-1") as f:
            r = json.load(f)
        print("command line:  " + r["command_line"])
        print("arguments:     " + " ".join(r["argv"][1:]))
        print("current folder: " + r["cwd"])
        print("its folder:    " + r["folder"])
        for f in r["files"]:
            print("    %-14s %8d bytes" % (f["name"], f["size"]))
        print("completion atom %s: %s, deleted by the engine: %s" % (
            r["atom"], "present" if r["atom_existed"] else "missing",
            "yes" if r["atom_deleted"] else "no"))
    else:
        print("(no report: the engine did not run)")
    print()
    print("== The setup ended with exit code %d after %.1f s" % (code, seconds))

    print()
    saved = []
    progress = os.path.join(shots, "progress.bmp")
    if not os.path.exists(progress):
        progress = os.path.join(shots, "progress-early.bmp")
    for bmp, name in ((os.path.join(shots, "question.bmp"), "question.png"),
                      (progress, "progress.png")):
        png = os.path.join(screens, name)
        if to_png(bmp, png):
            saved.append(png)
        else:
            print("demo: could not save %s" % png)
    for p in saved:
        print("screenshot: " + os.path.relpath(p))
    return 0 if r and len(saved) == 2 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))

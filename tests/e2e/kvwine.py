#!/usr/bin/env python3
"""End-to-end test harness: runs the real Windows programs under Wine.

Standard library only. The build writes a configuration file (JSON) whose
path the tests get in KV_E2E_CONFIG; it names the Windows build to run, the
Wine loader, the prepared prefix and the work folder.

Layout under the build tree:
  wineprefix/             the prepared prefix, created once (``prepare``)
  e2e-work/<test>/        one folder per test: its own copy of the prefix
                          (prefix/), its files (files/) and the viewer's
                          output (debug.jsonl)

A copy of the prepared prefix takes a fraction of a second: the large
read-only modules are hard links, everything that Wine writes (registry
files, users' folders, INI files) is copied.

Every wait is bounded. On a time-out the harness ends every process of the
test's prefix (``wineserver -k``) and fails with the debug output attached.

Command line:
  kvwine.py prepare        create the prepared prefix if missing or stale
  kvwine.py loader ARCH    print the Wine loader for win32/win64 (exit 1 if none runs)
"""
import fcntl
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

# Extensions of the read-only module files that the prefix copies share by hard link.
_LINKABLE = {".dll", ".exe", ".nls", ".msstyles", ".drv", ".ocx", ".sys", ".acm", ".cpl",
             ".tlb", ".ds", ".com", ".ax", ".ttf", ".fon", ".mui", ".efi", ".vxd"}


class HarnessError(Exception):
    pass


# --------------------------------------------------------------------------- configuration

def load_config(path=None):
    path = path or os.environ.get("KV_E2E_CONFIG")
    if not path:
        raise HarnessError("KV_E2E_CONFIG is not set: run the end-to-end tests through ctest "
                           "in the Windows build tree")
    with open(path) as f:
        cfg = json.load(f)
    if cfg.get("error"):
        raise HarnessError(cfg["error"])
    if not cfg.get("wine"):
        cfg["wine"] = find_loader(cfg["arch"])
        if not cfg["wine"]:
            raise HarnessError("no Wine loader for %s programs runs on this machine (install "
                               "wine, and wine64 for the win64 build)" % cfg["arch"])
    if not cfg.get("wineserver"):
        cfg["wineserver"] = find_wineserver()
        if not cfg["wineserver"]:
            raise HarnessError("wineserver not found")
    return cfg


def _elf_class(path):
    """1 for a 32-bit ELF program, 2 for a 64-bit one, None otherwise (a script)."""
    try:
        with open(path, "rb") as f:
            head = f.read(5)
    except OSError:
        return None
    return head[4] if head[:4] == b"\x7fELF" else None


def find_loader(arch):
    """The Wine loader that runs programs of the given build ("win32" or "win64"),
    or None when none works on this machine (a kernel without 32-bit support
    cannot start the 32-bit loader)."""
    if arch == "win64":
        candidates = ["/usr/lib/wine/wine64", shutil.which("wine64")]
        want_class = 2
    else:
        # Debian's "wine" is a script that falls back to the 64-bit loader when
        # the 32-bit one is missing: only a real 32-bit loader counts.
        candidates = ["/usr/lib/wine/wine", shutil.which("wine")]
        want_class = 1
    for c in candidates:
        if not c or not os.access(c, os.X_OK) or _elf_class(c) != want_class:
            continue
        try:
            r = subprocess.run([c, "--version"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=60)
        except (OSError, subprocess.TimeoutExpired):
            continue
        if r.returncode == 0:
            return c
    return None


def find_wineserver():
    """The wineserver command; any build of the installed version serves as
    the client for -w and -k."""
    for c in ("/usr/lib/wine/wineserver", shutil.which("wineserver")):
        if c and os.access(c, os.X_OK):
            return c
    return None


def winpath(unix_path):
    """A Windows path for a file of the Linux file system, through drive Z:."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def _kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    try:
        proc.kill()
    except OSError:
        pass


# --------------------------------------------------------------------------- display

class Xvfb:
    """One virtual X display for the processes of a test. Wine creates no
    windows without a display."""

    def __init__(self, timeout=30):
        if not shutil.which("Xvfb"):
            raise HarnessError("Xvfb is not installed (apt-get install xvfb)")
        rfd, wfd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(wfd)
        number = b""
        deadline = time.monotonic() + timeout
        os.set_blocking(rfd, False)
        while time.monotonic() < deadline and not number.endswith(b"\n"):
            try:
                chunk = os.read(rfd, 64)
                if chunk == b"":
                    break
                number += chunk
            except BlockingIOError:
                if self.proc.poll() is not None:
                    break
                time.sleep(0.05)
        os.close(rfd)
        if not number.strip().isdigit():
            self.stop()
            raise HarnessError("Xvfb did not start (no display number within %d s)" % timeout)
        self.display = ":" + number.strip().decode()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                _kill_group(self.proc)
                self.proc.wait(10)


# --------------------------------------------------------------------------- prefixes

def _wine_env(prefix, arch, display):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": prefix,
        "WINEARCH": arch,
        "WINEDEBUG": "-all",
        "DISPLAY": display,
        # No downloads of Mono or Gecko, no desktop integration of the test's files.
        "WINEDLLOVERRIDES": "mscoree,mshtml,winemenubuilder.exe=d",
    })
    env.pop("WAYLAND_DISPLAY", None)
    return env


def _stamp(loader):
    version = subprocess.run([loader, "--version"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=60).stdout.decode().strip()
    return json.dumps({"loader": loader, "version": version}, sort_keys=True)


def prepare_template(cfg, log=print):
    """Creates the prepared prefix once; a prefix made by another Wine version
    is made again."""
    template = cfg["prefix_template"]
    loader = cfg["wine"]
    os.makedirs(os.path.dirname(template), exist_ok=True)
    with open(template + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        stamp_file = os.path.join(template, ".kv-stamp")
        want = _stamp(loader)
        if os.path.exists(stamp_file) and open(stamp_file).read() == want:
            log("prepared Wine prefix is up to date: %s" % template)
            return
        shutil.rmtree(template, ignore_errors=True)
        log("creating the Wine prefix %s (%s)" % (template, want))
        x = Xvfb()
        try:
            env = _wine_env(template, cfg["arch"], x.display)
            started = time.monotonic()
            r = subprocess.run([loader, "wineboot", "--init"], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, timeout=600, start_new_session=True)
            subprocess.run([cfg["wineserver"], "-w"], env=env, timeout=300)
            if r.returncode != 0 or not os.path.isdir(os.path.join(template, "drive_c")):
                raise HarnessError("wineboot failed (exit %d):\n%s"
                                   % (r.returncode, r.stdout.decode(errors="replace")))
            log("prefix ready in %.1f s" % (time.monotonic() - started))
        finally:
            x.stop()
        with open(stamp_file, "w") as f:
            f.write(want)


def clone_prefix(template, dest):
    """A private copy of the prepared prefix: modules by hard link, the rest copied."""
    if not os.path.exists(os.path.join(template, ".kv-stamp")):
        raise HarnessError("the prepared Wine prefix %s is missing: run the e2e_wineprefix "
                           "test first (ctest does)" % template)
    shutil.rmtree(dest, ignore_errors=True)
    for root, dirs, files in os.walk(template):
        rel = os.path.relpath(root, template)
        target = os.path.normpath(os.path.join(dest, rel))
        os.makedirs(target, exist_ok=True)
        for name in dirs + files:
            src = os.path.join(root, name)
            dst = os.path.join(target, name)
            if os.path.islink(src):
                os.symlink(os.readlink(src), dst)
                if name in dirs:
                    dirs.remove(name)
            elif name in files:
                if os.path.splitext(name)[1].lower() in _LINKABLE:
                    try:
                        os.link(src, dst)
                        continue
                    except OSError:
                        pass
                shutil.copy2(src, dst)


# --------------------------------------------------------------------------- running programs

class Result:
    def __init__(self, returncode, stdout, stderr, timed_out, seconds):
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr
        self.timed_out = timed_out
        self.seconds = seconds

    def __repr__(self):
        return "Result(returncode=%r, timed_out=%r, %.1fs)" % (self.returncode, self.timed_out,
                                                               self.seconds)


class WineSession:
    """A test's own prefix, display and processes."""

    def __init__(self, cfg, name):
        self.cfg = cfg
        self.name = name
        self.root = os.path.join(cfg["work_dir"], name)
        self.prefix = os.path.join(self.root, "prefix")
        self.files = os.path.join(self.root, "files")
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.files)
        clone_prefix(cfg["prefix_template"], self.prefix)
        self.xvfb = Xvfb()
        self.env = _wine_env(self.prefix, cfg["arch"], self.xvfb.display)
        self._procs = []

    # paths
    @property
    def drive_c(self):
        return os.path.join(self.prefix, "drive_c")

    def unix_path(self, windows_path):
        """The Linux path of a "C:\\..." path of the prefix."""
        p = windows_path.replace("\\", "/")
        if len(p) >= 2 and p[1] == ":":
            drive = os.path.join(self.prefix, "dosdevices", p[0].lower() + ":")
            return os.path.join(os.path.realpath(drive), p[2:].lstrip("/"))
        return p

    def add_drive(self, letter, folder):
        """Maps a drive letter of the prefix to a Linux folder."""
        link = os.path.join(self.prefix, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.abspath(folder), link)

    # processes
    def start(self, exe, args=(), cwd=None, stdout=subprocess.PIPE, stderr=subprocess.PIPE):
        """Starts a Windows program (a Linux path, or a Windows path) without
        waiting. Whoever keeps a pipe must read it."""
        proc = subprocess.Popen([self.cfg["wine"], exe] + list(args), env=self.env,
                                cwd=cwd or self.files, stdout=stdout, stderr=stderr,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        self._procs.append(proc)
        return proc

    def run(self, exe, args=(), timeout=120, cwd=None):
        """Runs a program to its end. On a time-out every process of the prefix
        is ended and the result says so (timed_out, returncode None)."""
        started = time.monotonic()
        proc = self.start(exe, args, cwd=cwd)
        try:
            out, err = proc.communicate(timeout=timeout)
            return Result(proc.returncode, out, err, False, time.monotonic() - started)
        except subprocess.TimeoutExpired:
            self.kill_all()
            try:
                out, err = proc.communicate(timeout=30)
            except subprocess.TimeoutExpired:
                _kill_group(proc)
                out, err = b"", b""
            return Result(None, out, err, True, time.monotonic() - started)

    def wait_idle(self, timeout=120):
        """Waits until every process of the prefix has ended (wineserver -w);
        false (after ending them all) when they did not within the time."""
        try:
            subprocess.run([self.cfg["wineserver"], "-w"], env=self.env, timeout=timeout,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            return True
        except subprocess.TimeoutExpired:
            self.kill_all()
            return False

    def kill_all(self):
        try:
            subprocess.run([self.cfg["wineserver"], "-k"], env=self.env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass
        for p in self._procs:
            if p.poll() is None:
                _kill_group(p)

    def close(self, keep_prefix=False):
        self.kill_all()
        for p in self._procs:
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                pass
        self.xvfb.stop()
        if not keep_prefix:
            shutil.rmtree(self.prefix, ignore_errors=True)

    # tools
    def kvpack(self, *args, timeout=300):
        """Runs the host package builder; raises with its output on failure."""
        exe = self.cfg.get("kvpack") or ""
        if not os.access(exe, os.X_OK):
            raise HarnessError("kvpack not found at %r: configure the Windows tree with "
                               "-DKV_HOST_BUILD=<host build dir> and build the host tree" % exe)
        r = subprocess.run([exe] + [str(a) for a in args], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=timeout)
        if r.returncode != 0:
            raise HarnessError("kvpack %s failed (exit %d):\n%s%s" % (
                " ".join(map(str, args)), r.returncode, r.stdout.decode(errors="replace"),
                r.stderr.decode(errors="replace")))
        return r.stdout.decode(errors="replace")

    def support_exe(self, name):
        return os.path.join(self.cfg["support_dir"], name + ".exe")


# --------------------------------------------------------------------------- debug viewer

class DebugViewer:
    """The test viewer window (class ".KDebug.") that records every chunk of
    debug output sent to it."""

    def __init__(self, session, name="debug", timeout=600, ready_timeout=120):
        self.session = session
        self.out = os.path.join(session.root, name + ".jsonl")
        self.stop_file = os.path.join(session.root, name + ".stop")
        for p in (self.out, self.stop_file):
            if os.path.exists(p):
                os.remove(p)
        self.log = os.path.join(session.root, name + ".stderr")
        with open(self.log, "wb") as log:
            self.proc = session.start(session.support_exe("debugviewer"),
                                      [winpath(self.out), winpath(self.stop_file), str(timeout)],
                                      stdout=subprocess.DEVNULL, stderr=log)
        deadline = time.monotonic() + ready_timeout
        while not self._events("ready"):
            if self.proc.poll() is not None:
                with open(self.log, "rb") as log:
                    raise HarnessError("the debug viewer ended at once (exit %s): %s" % (
                        self.proc.returncode, log.read().decode(errors="replace")))
            if time.monotonic() > deadline:
                session.kill_all()
                raise HarnessError("the debug viewer's window did not appear within %d s"
                                   % ready_timeout)
            time.sleep(0.1)

    def _records(self):
        if not os.path.exists(self.out):
            return []
        records = []
        with open(self.out, "rb") as f:
            for line in f:
                if line.endswith(b"\n"):  # a line still being written is skipped
                    records.append(json.loads(line))
        return records

    def _events(self, name):
        return [r for r in self._records() if r.get("event") == name]

    def chunks(self):
        """Every chunk received so far, as bytes, in order."""
        return [bytes.fromhex(r["hex"]) for r in self._records() if "seq" in r]

    def tags(self):
        return [r["tag"] for r in self._records() if "seq" in r]

    def data(self):
        return b"".join(self.chunks())

    def text(self):
        return self.data().decode("latin-1")

    def lines(self):
        """The received text split at line feeds (the last, unfinished part dropped)."""
        return self.text().split("\n")[:-1]

    def wait_for(self, predicate, timeout=60):
        """Waits until predicate(text) holds; false after the time-out."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate(self.text()):
                return True
            time.sleep(0.1)
        return predicate(self.text())

    def stop(self, timeout=30):
        """Ends the viewer (idempotent); what it received stays readable."""
        if self.proc.poll() is not None:
            return
        with open(self.stop_file, "w"):
            pass
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            _kill_group(self.proc)


# --------------------------------------------------------------------------- test case base

class WineTestCase(unittest.TestCase):
    """Base of the end-to-end tests: each test gets its own prefix copy and
    display, and, with ``viewer = True``, a running debug viewer. The debug
    output is printed after every test, so that ctest shows it for failures."""

    viewer = True

    @classmethod
    def setUpClass(cls):
        cls.cfg = load_config()

    def setUp(self):
        name = "%s.%s" % (type(self).__name__, self._testMethodName)
        self.debug = None
        self.session = WineSession(self.cfg, name)
        self.addCleanup(self._finish)
        self.debug = DebugViewer(self.session) if self.viewer else None

    def _finish(self):
        if self.debug:
            self.debug.stop()
            print("\n---- debug output of %s (%d chunks) ----" % (self.id(), len(self.debug.chunks())))
            sys.stdout.write(self.debug.text())
            print("---- end of debug output ----")
            sys.stdout.flush()
        self.session.close()

    def copy_stub(self, name="stub.exe"):
        """A copy of stub.exe under the given name in the test's files folder."""
        dest = os.path.join(self.session.files, name)
        shutil.copy2(self.cfg["stub"], dest)
        return dest

    def run_checked(self, exe, args=(), timeout=120, cwd=None):
        """Runs a program and fails the test, with the debug output, when it
        does not end in time."""
        r = self.session.run(exe, args, timeout=timeout, cwd=cwd)
        if r.timed_out:
            self.fail("%s did not end within %d s; debug output so far:\n%s" % (
                os.path.basename(exe), timeout, self.debug.text() if self.debug else "(no viewer)"))
        return r


def main():
    unittest.main(verbosity=2)


def _cli(argv):
    if len(argv) >= 2 and argv[1] == "prepare":
        cfg = load_config(argv[2] if len(argv) > 2 else None)
        prepare_template(cfg)
        return 0
    if len(argv) >= 3 and argv[1] == "loader":
        loader = find_loader(argv[2])
        if not loader:
            return 1
        print(loader)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(_cli(sys.argv))

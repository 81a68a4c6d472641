"""Helpers of the setup end-to-end tests (test_setup_*.py): setup files made
by kvpack around the test engine, runs with bounded waits, the engine's
report, the UI driver, a window watcher and byte-level package surgery.

Every setup gets its own folder (files/<name>/), its own engine report and
copy folder, and a modification time of its own, so that setups of one test
never share a SETUP_ folder (its name derives from the file's time of day).
"""
import json
import os
import struct
import subprocess
import time

import kvwine

TRAILER = 74
OFF_DATA_OFFSET = 4
OFF_STORED_CHECKSUM = 16
NO_CHECKSUM = 1234

# STARTUPINFO show states the engine reports.
SW_HIDE = 0
SW_SHOWNORMAL = 1


class Setup:
    """A setup file of a test and what its engine leaves behind."""

    def __init__(self, case, name, exe_name):
        self.case = case
        self.name = name
        self.dir = os.path.join(case.session.files, name)
        self.inputs = os.path.join(case.session.files, name + ".in")
        self.exe = os.path.join(self.dir, exe_name)
        self.report_path = os.path.join(case.session.files, name + ".report.json")
        self.copies = os.path.join(case.session.files, name + ".got")
        self.window_marker = os.path.join(case.session.files, name + ".window-closed")
        os.makedirs(self.dir)
        os.makedirs(self.inputs)

    @property
    def win_exe(self):
        return kvwine.winpath(self.exe)

    def report(self):
        """The engine's report, or None when no engine ran."""
        if not os.path.exists(self.report_path):
            return None
        with open(self.report_path, encoding="latin-1") as f:
            return json.load(f)

    def copied(self, name):
        """Bytes of a file as the engine found it in its folder."""
        with open(os.path.join(self.copies, name), "rb") as f:
            return f.read()

    def setup_folder_name(self):
        """SETUP_ followed by the time-of-day half of the file's DOS time stamp."""
        t = time.localtime(os.stat(self.exe).st_mtime)
        return "SETUP_%d" % (t.tm_hour * 2048 + t.tm_min * 32 + t.tm_sec // 2)


class SetupTestCase(kvwine.WineTestCase):
    """A Wine test case that builds and runs setups."""

    def setUp(self):
        super().setUp()
        # Whole minutes apart, well inside one day: every setup of the test
        # has its own SETUP_ folder.
        self._stamp = (int(time.time()) // 86400) * 86400 + 3 * 3600
        self._count = 0

    # ------------------------------------------------------------------ building

    def make_setup(self, name, files=(), main="Engine.exe*", engine=None, options=(),
                   lang=None, exe_name="setup.exe", with_engine=True, file_times=None):
        """Builds files/<name>/<exe_name> with the test engine as Engine.exe,
        its engine.cfg, and `files` (a sequence of (name, bytes)). `engine`
        adds engine.cfg keys; `options` are further kvpack options."""
        s = Setup(self, name, exe_name)
        inputs = []
        if with_engine:
            cfg = {"report": kvwine.winpath(s.report_path), "copy_to": kvwine.winpath(s.copies),
                   "window_closed": kvwine.winpath(s.window_marker)}
            cfg.update(engine or {})
            cfg_path = os.path.join(s.inputs, "engine.cfg")
            with open(cfg_path, "w") as f:
                f.write("".join("%s=%s\n" % kv for kv in cfg.items()))
            inputs += ["Engine.exe=" + self.session.support_exe("engine"), "engine.cfg=" + cfg_path]
        for fname, data in files:
            path = os.path.join(s.inputs, fname)
            with open(path, "wb") as f:
                f.write(data)
            if file_times and fname in file_times:
                os.utime(path, (file_times[fname], file_times[fname]))
            inputs.append(fname + "=" + path)
        args = ["build", "--stub", self.cfg["stub"], "--out", s.exe]
        if main:
            args += ["--main", main]
        if lang:
            lang_path = os.path.join(s.inputs, "texts.lang")
            with open(lang_path, "w", encoding="latin-1") as f:
                f.write(lang)
            args += ["--lang", lang_path]
        self.session.kvpack(*(args + list(options) + inputs))
        self.give_time(s.exe)
        return s

    def give_time(self, path):
        self._count += 1
        t = self._stamp + 60 * self._count
        os.utime(path, (t, t))

    # ------------------------------------------------------------------ running

    def start_setup(self, setup, args=(), exe=None):
        """Starts a setup without waiting. No pipes: a span copy started by
        the setup would keep them open after the setup itself has ended."""
        return self.session.start(exe or setup.exe, list(args), stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)

    def finish(self, proc, what="the setup", timeout=120):
        """Waits for a started program; fails with the debug output on a time-out."""
        try:
            return proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.session.kill_all()
            self.fail("%s did not end within %d s; debug output so far:\n%s"
                      % (what, timeout, self.debug.text() if self.debug else "(no viewer)"))

    def run_setup(self, setup, args=(), timeout=120):
        return self.finish(self.start_setup(setup, args), setup.name, timeout)

    def run_all(self, runs, timeout=150):
        """Runs several setups side by side: [(setup, args)] -> [exit codes]."""
        procs = [(s, self.start_setup(s, a)) for s, a in runs]
        return [self.finish(p, s.name, timeout) for s, p in procs]

    def idle(self, timeout=120):
        """Waits until every process of the prefix has ended (the viewer is
        stopped first: it is one of them)."""
        if self.debug:
            self.debug.stop()
        self.assertTrue(self.session.wait_idle(timeout), "processes of the prefix still running")

    # ------------------------------------------------------------------ looking

    def temp_dir(self):
        """The Linux path of the prefix user's temporary folder."""
        users = os.path.join(self.session.drive_c, "users")
        for u in sorted(os.listdir(users)):
            p = os.path.join(users, u, "Temp")
            if u != "Public" and os.path.isdir(p):
                return p
        self.fail("no temporary folder in %s" % users)

    def setup_folders(self):
        return sorted(n for n in os.listdir(self.temp_dir()) if n.startswith("SETUP_"))

    def watch(self, target, ms):
        """Starts the window watcher for a setup's main window (or a class name)."""
        cls = target.win_exe if isinstance(target, Setup) else target
        self._watch_n = getattr(self, "_watch_n", 0) + 1
        out = os.path.join(self.session.files, "watch%d.json" % self._watch_n)
        proc = self.session.start(self.session.support_exe("engine"),
                                  ["--watch", cls, str(ms), kvwine.winpath(out)],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return proc, out

    def watched(self, watcher):
        proc, out = watcher
        self.finish(proc, "the window watcher", 120)
        with open(out, encoding="latin-1") as f:
            return json.load(f)

    def ui(self, *commands, timeout=60):
        """Runs the UI driver; returns (exit code, list of JSON records read)."""
        r = self.session.run(self.session.support_exe("uidriver"), list(commands), timeout=timeout)
        if r.timed_out:
            self.fail("the UI driver did not end; debug output:\n" + self.debug.text())
        records = [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()
                   if line.startswith("{")]
        return r.returncode, records, r.stderr.decode("utf-8", "replace")

    def answer_box(self, *commands):
        """Reads the box shown now and answers it; returns what it showed."""
        rc, records, err = self.ui("read", *commands)
        self.assertEqual(rc, 0, "UI driver: " + err + "\ndebug output:\n" + self.debug.text())
        return records[0]

    def send(self, cls, msg, wparam=0, lparam=0):
        """Sends a message (number or registered name) to the window of a
        class; its result, or None when there is no such window."""
        self._send_n = getattr(self, "_send_n", 0) + 1
        out = os.path.join(self.session.files, "send%d.txt" % self._send_n)
        r = self.session.run(self.session.support_exe("engine"),
                             ["--send", cls, str(msg), str(wparam), str(lparam), kvwine.winpath(out)],
                             timeout=60)
        if r.returncode != 0 or not os.path.exists(out):
            return None
        with open(out) as f:
            return int(f.read())

    def post(self, cls, msg, wparam=0, lparam=0):
        r = self.session.run(self.session.support_exe("engine"),
                             ["--post", cls, str(msg), str(wparam), str(lparam)], timeout=60)
        return r.returncode == 0

    def lines_of(self, pid):
        return [l for l in self.debug.lines() if l.startswith(pid + " ")]


# ---------------------------------------------------------------------- package surgery

def read_trailer(path):
    """(trailer offset, data end) of a volume: through SelfLength when the
    file is an executable with it set, else the end of the file."""
    with open(path, "rb") as f:
        data = f.read()
    end = len(data)
    if data[:2] == b"MZ" and data[256:258] == b"PE":
        high, low = struct.unpack_from("<II", data, 248)
        self_length = (high << 32) | low
        if 0 < self_length <= len(data):
            end = self_length
    return end - TRAILER, end


def records(path):
    """The file records of a volume: [(offset of the length field, length)],
    the header strings of a first volume left out. A negative length is a
    stored record."""
    with open(path, "rb") as f:
        data = f.read()
    trailer, end = read_trailer(path)
    pos = struct.unpack_from("<I", data, trailer + OFF_DATA_OFFSET)[0]
    if data[:2] == b"MZ":
        for _ in range(data[trailer + 1]):
            pos += 4 + struct.unpack_from("<i", data, pos)[0]
    out = []
    while pos + 4 <= trailer:
        length = struct.unpack_from("<i", data, pos)[0]
        out.append((pos, length))
        pos += 4 + abs(length)
    return out


def patch(path, offset, new_bytes):
    with open(path, "r+b") as f:
        f.seek(offset)
        f.write(new_bytes)


def set_stored_checksum(path, value=NO_CHECKSUM):
    trailer, _ = read_trailer(path)
    patch(path, trailer + OFF_STORED_CHECKSUM, struct.pack("<I", value))

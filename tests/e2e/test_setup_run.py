#!/usr/bin/env python3
"""A setup from start to exit code under Wine: the engine contract to the
letter (command line, arguments, /OriginExe=, the span switches, the
completion atom, the dialog window, the exit code), hidden runs, a package
without a main program, and the span-CD relaunch from the "Y_" copy."""
import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kvwine  # noqa: E402
import setupkit  # noqa: E402

WM_CLOSE = 16
WM_AGENTMSG = 1125

LANG = """[English]
s0=Run Test Setup
s1=Unpacking the run test...
"""


class SetupRun(setupkit.SetupTestCase):

    def engine_line(self, setup, report, tail):
        """The command line the engine must get: its path in the setup's
        folder, then the tail with the thread tag filled in."""
        folder = report["folder"]
        self.assertTrue(re.fullmatch(r"C:\\users\\[^\\]+\\Temp\\" + setup.setup_folder_name(),
                                     folder), folder)
        self.assertRegex(report["th_id"], r"^_\d+$")
        return folder + "\\Engine.exe" + tail.replace("{TH}", report["th_id"])

    def test_engine_contract_and_exit_code(self):
        plain = self.make_setup("plain", files=[("readme.txt", b"hello\r\n")],
                                engine={"exit": 3}, lang=LANG)
        args = self.make_setup("args", main="Engine.exe* /silent")
        origin = self.make_setup("origin")
        # Span switches given by hand: the package is read from the named
        # file, the switches never reach the engine, and level 2 makes the
        # setup delete itself and its folder afterwards.
        span = self.make_setup("span")
        watcher = self.watch(plain, 15000)
        codes = self.run_all([
            (plain, []),
            (args, ["/x", "/y"]),
            (origin, ["/OriginExe=D:\\Media\\setup.exe", "/z"]),
            (span, ["/SpanCdLvl=2", "/SpanDiskFName1=" + span.win_exe]),
        ])
        self.assertEqual(codes, [3, 0, 0, 0], "the engine's exit code passes through")

        stub = lambda s: ' /OriginExe="%s"' % s.win_exe  # noqa: E731
        expected = {
            plain: " /TH_ID={TH}" + stub(plain),
            args: " /x /y /silent /TH_ID={TH}" + stub(args),
            origin: " /OriginExe=D:\\Media\\setup.exe /z /TH_ID={TH}",
            span: " /TH_ID={TH}" + stub(span),
        }
        for s, tail in expected.items():
            with self.subTest(setup=s.name):
                r = s.report()
                self.assertIsNotNone(r, "the engine did not run")
                self.assertEqual(r["command_line"], self.engine_line(s, r, tail))
                self.assertTrue(r["atom_existed"], "the completion atom is made before the start")
                self.assertEqual(r["show_window"], setupkit.SW_SHOWNORMAL)
                self.assertEqual(r["cwd"], kvwine.winpath(self.session.files),
                                 "the engine runs in the stub's current folder")

        r = plain.report()
        self.assertEqual(sorted((f["name"], f["size"]) for f in r["files"] if f["name"] != "Engine.exe"),
                         [("engine.cfg", os.path.getsize(os.path.join(plain.inputs, "engine.cfg"))),
                          ("readme.txt", 7)])
        self.assertEqual(plain.copied("readme.txt"), b"hello\r\n")
        with open(self.session.support_exe("engine"), "rb") as f:
            self.assertEqual(plain.copied("Engine.exe"), f.read())

        w = self.watched(watcher)
        self.assertTrue(w["visible"], "a foreground setup shows its window while extracting")
        self.assertEqual(w["caption"], "Run Test Setup")
        self.assertEqual(w["status"], "Unpacking the run test...")

        self.idle()
        self.assertEqual(self.setup_folders(), [], "every SETUP_ folder is removed")
        self.assertTrue(os.path.exists(plain.exe))
        self.assertFalse(os.path.exists(span.dir), "the level-2 run deletes its file and folder")
        self.assertFalse(os.path.exists(os.path.join(self.temp_dir(), "_DEL_ME_.BAT")))

    def test_hidden_runs_show_no_window_and_ask_nothing(self):
        # TempNotice asks in the foreground; a hidden run must not.
        by_switch = self.make_setup("byswitch", options=["--temp-notice"])
        by_flag = self.make_setup("byflag", options=["--temp-notice", "--hide"])
        watchers = [self.watch(by_switch, 12000), self.watch(by_flag, 12000)]
        self.assertEqual(self.run_all([(by_switch, ["/hide"]), (by_flag, [])]), [0, 0])
        for s, watcher in zip((by_switch, by_flag), watchers):
            with self.subTest(setup=s.name):
                w = self.watched(watcher)
                self.assertTrue(w["found"], "the hidden window exists (the watcher looked)")
                self.assertFalse(w["visible"], "no window is shown")
                self.assertFalse(w["box"], "no question is asked")
                r = s.report()
                self.assertIsNotNone(r, "the hidden run extracts and starts the engine")
                self.assertEqual(r["show_window"], setupkit.SW_HIDE, "the engine starts hidden")
        self.assertIn(" /hide /TH_ID=", by_switch.report()["command_line"])

    def make_shortcuts(self, s):
        links = []
        for name in ("start.lnk", "check.lnk"):
            p = os.path.join(self.session.files, s.name + "." + name)
            with open(p, "w") as f:
                f.write("link")
            links.append(p)
        with open(os.path.join(s.dir, "App.original"), "w") as f:
            f.write("[UnInstall]\r\nStartUpLink=%s\r\nCheckforNewUpdateLink=%s\r\n"
                    % tuple(kvwine.winpath(p) for p in links))
        with open(os.path.join(s.dir, "App.info"), "w") as f:
            f.write("[NewSetup]\r\nRemoveStartUpShortcut=1\r\nRemoveCheckForNewUpdateShortcut=1\r\n")
        return links

    def test_completion_atom_and_engine_dialog(self):
        # The engine ends at once and leaves its dialog to a second process
        # for 3 s: the stub waits for the window too.
        done = self.make_setup("done", options=["--info-file", "App.info"],
                               engine={"window_ms": 3000, "window_mode": "child"})
        undone = self.make_setup("undone", options=["--info-file", "App.info"],
                                 engine={"delete_atom": "no", "window_ms": 1500})
        done_links = self.make_shortcuts(done)
        undone_links = self.make_shortcuts(undone)

        procs = [self.start_setup(done), self.start_setup(undone)]
        self.assertEqual(self.finish(procs[0]), 0)
        self.assertTrue(os.path.exists(done.window_marker),
                        "the stub ended before the engine dialog had closed")
        self.assertEqual(self.finish(procs[1]), 0)
        self.assertTrue(os.path.exists(undone.window_marker))

        r = done.report()
        self.assertTrue(r["atom_existed"] and r["atom_deleted"], r)
        for p in done_links:
            self.assertFalse(os.path.exists(p), "a completed setup removes the shortcut " + p)
        r = undone.report()
        self.assertTrue(r["atom_existed"] and not r["atom_deleted"], r)
        for p in undone_links:
            self.assertTrue(os.path.exists(p), "an incomplete setup keeps the shortcut " + p)

    def test_package_without_main_program_starts_nothing(self):
        s = self.make_setup("nomain", main=None, files=[("data.txt", b"x" * 100)])
        self.assertEqual(self.run_setup(s), 0)
        self.assertIsNone(s.report(), "no engine without a \"*\" record")
        self.assertIn("RunSetup: extraction completed, main program ><", self.debug.lines())
        self.idle()
        self.assertEqual(self.setup_folders(), [])

    def test_span_cd_first_run_relaunches_from_its_copy(self):
        # The CD holds setup.exe.001 and setup.exe.002, and setup.exe to start
        # from: the first run copies itself to SETUP_...\Y_setup.exe and ends;
        # the copy reads the volumes, runs the engine and deletes itself and
        # its folder.
        stub_size = os.path.getsize(self.cfg["stub"])
        payload = os.urandom(400000)
        vol1 = self.make_setup("cd", exe_name="setup.exe.001", files=[("big.bin", payload)],
                               options=["--spanned-cd", "--volume-size", str(stub_size + 250000)])
        self.assertTrue(os.path.exists(os.path.join(vol1.dir, "setup.exe.002")))
        first = os.path.join(vol1.dir, "setup.exe")
        shutil.copy2(vol1.exe, first)
        self.give_time(first)
        watcher = self.watch(kvwine.winpath(first), 8000)

        # "/SpanCdLvl=1" given by hand must not be passed on to the copy, or
        # the copy would relaunch itself for ever.
        p = self.start_setup(vol1, ["/SpanCdLvl=1", "/q"], exe=first)
        self.assertEqual(self.finish(p, "the first run", 60), 0)
        self.assertFalse(self.watched(watcher)["found"], "the first run opens no window")
        self.idle(180)

        starts = [l for l in self.debug.lines() if " ==== STUB START ====> " in l]
        self.assertEqual(len(starts), 2, starts)
        copy_line = starts[1]
        self.assertIn("\\Y_setup.exe\" /q /SpanCdLvl=2 /SpanDiskFName1=\"%s.001\" /OriginExe=\"%s\"<"
                      % (kvwine.winpath(first), kvwine.winpath(first)), copy_line)

        r = vol1.report()
        self.assertIsNotNone(r, "the copy ran the engine")
        self.assertRegex(r["folder"], r"\\SETUP_\d+$")
        self.assertEqual(r["command_line"], r["folder"] + "\\Engine.exe /q /OriginExe=\"%s\" /TH_ID=%s"
                         % (kvwine.winpath(first), r["th_id"]))
        self.assertEqual(vol1.copied("big.bin"), payload, "both volumes were read")
        self.assertEqual(self.setup_folders(), [], "the copy removed itself and its folder")
        self.assertFalse(os.path.exists(os.path.join(self.temp_dir(), "_DEL_ME_.BAT")))

    def test_agent_copy_window_messages_close_and_log(self):
        # An agent package started as its "X_" copy runs its hidden window
        # (the agent's own work is not in this build), answers wm_AgentMsg,
        # closes on the second close request and deletes its file.
        agent = self.make_setup("agent", exe_name="X_Editor.exe", with_engine=False, main=None,
                                files=[("readme.txt", b"x")],
                                options=["--auto-update-prog", "--agent-file", "Editor.exe",
                                         "--agent-log", "--info-file", "Editor.Update.info"])
        with open(os.path.join(agent.dir, "Editor.original"), "w") as f:
            f.write("[OriginalSetup]\r\nVersionOriginal=321\r\n")
        cls = ".AutoUpdate.X_Editor"
        p = self.start_setup(agent, ["/SleepX=5"])
        deadline = time.monotonic() + 60
        version = None
        while version is None and time.monotonic() < deadline and p.poll() is None:
            version = self.send(cls, WM_AGENTMSG, 4)
        self.assertEqual(version, 321, "command 4: the installed version")
        self.assertEqual(self.send(cls, WM_AGENTMSG, 7), 0, "other commands answer 0")

        self.assertTrue(self.post(cls, WM_CLOSE))
        time.sleep(1.5)
        self.assertIsNone(p.poll(), "the first close request leaves the window")
        self.assertTrue(self.post(cls, WM_CLOSE))
        self.assertEqual(self.finish(p, "the agent copy", 60), 0)
        self.idle()
        self.assertFalse(os.path.exists(agent.exe), "the agent copy deletes its file")
        self.assertTrue(os.path.isdir(agent.dir), "but not its folder")

        with open(os.path.join(agent.dir, "X_Editor.log"), encoding="latin-1") as f:
            log = f.read().splitlines()
        texts = [l.split(" X ", 1)[1] for l in log if " X " in l]
        self.assertEqual(len(texts), len(log), "every line carries the copy's marker")
        for want in ("=== START === " + agent.win_exe, "CommandLine=", "Agent Version=1.0.0.0",
                     "DoRunStubWin() --- Start", "X_ExeIsRunning=FALSE",
                     "ThisIs_Plain_AutoUpdate_Exe=FALSE", "ThisIs_X_AutoUpdate_Exe=TRUE",
                     "CheckTestMode", "WinMain", ".. CloseMainWindow() - Start",
                     ".. DestroyMainWindow() - Start", "DeleteMySelf", "DoRunStubWin() --- End",
                     "=== EXIT === " + agent.win_exe):
            self.assertTrue(any(t.startswith(want) for t in texts), "%r not in the log:\n%s"
                            % (want, "\n".join(log)))


if __name__ == "__main__":
    kvwine.main()

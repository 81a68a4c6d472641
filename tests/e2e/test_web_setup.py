#!/usr/bin/env python3
"""Web installers under Wine: the real stub.exe downloads its package from an
HTTP server on 127.0.0.1 (kvhttp.py), or takes it from beside itself, checks
its token and runs it with the test engine; every failure ends as the box
with its text, no engine runs, and nothing is left in the temporary folder."""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kvhttp  # noqa: E402
import kvwine  # noqa: E402
import setupkit  # noqa: E402

TOKEN = "web-token-4711"
PACKAGE = "Real.exe"
URL_PATH = "/web/" + PACKAGE


class WebSetup(setupkit.SetupTestCase):

    def setUp(self):
        super().setUp()
        # WinINet takes a proxy from the environment; the server is local.
        for k in ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy"):
            self.session.env.pop(k, None)
        self.server = kvhttp.HttpServer()
        self.addCleanup(self.server.close)

    # ------------------------------------------------------------ building

    def make_package(self, name="pkg", token=TOKEN, engine=None):
        """The real package: an ordinary setup around the test engine that
        carries the token (none: no web settings at all)."""
        options = ["--package-token", token] if token is not None else []
        return self.make_setup(name, engine=engine, options=options, exe_name=PACKAGE)

    def package_bytes(self, pkg):
        with open(pkg.exe, "rb") as f:
            return f.read()

    def make_web(self, name="web", size=None, options=()):
        """A web installer (no files) for the package served at URL_PATH."""
        args = ["--web", "--package-url", self.server.url("/web"), "--package-file", PACKAGE,
                "--package-token", TOKEN]
        if size is not None:
            args += ["--package-size", str(size)]
        return self.make_setup(name, main=None, with_engine=False, options=args + list(options),
                               exe_name="WebSetup.exe")

    # ------------------------------------------------------------ looking

    def leftovers(self):
        """Downloads, part files and setup folders left in the temporary folder."""
        return sorted(n for n in os.listdir(self.temp_dir())
                      if n.startswith(PACKAGE) or n.startswith("SETUP_"))

    def package_gets(self):
        return [r for r in self.server.requests(URL_PATH) if r.method == "GET"]

    def assert_ran(self, pkg, web):
        rep = pkg.report()
        self.assertIsNotNone(rep, "the engine did not run; debug output:\n" + self.debug.text())
        self.assertIn(" /TH_ID=" + rep["th_id"], rep["command_line"])
        self.assertIn('/OriginExe="%s"' % web.win_exe, rep["command_line"])
        self.assertTrue(rep["atom_existed"])
        return rep

    def failed_run(self, pkg, web, text_part):
        """Runs the installer, reads its error box and answers it; no engine
        may have run and nothing may be left behind."""
        proc = self.start_setup(web)
        box = self.answer_box("click", "OK")
        self.assertEqual(self.finish(proc, web.name), 0)
        self.assertEqual(box["caption"], "Error")
        self.assertIn(text_part, box["text"])
        self.assertIsNone(pkg.report() if pkg else None, "no engine may run")
        self.assertEqual(self.leftovers(), [])
        return box

    # ------------------------------------------------------------ tests

    def test_downloads_its_package_and_runs_it(self):
        pkg = self.make_package(engine={"exit": "3"})
        self.server.serve(URL_PATH, self.package_bytes(pkg))
        web = self.make_web()
        self.assertEqual(self.run_setup(web, ["/x", "/y"]), 3,
                         "the engine's exit code passes through")
        rep = self.assert_ran(pkg, web)
        self.assertTrue(rep["command_line"].endswith(
            'Engine.exe /x /y /TH_ID=%s /OriginExe="%s"' % (rep["th_id"], web.win_exe)),
            rep["command_line"])
        self.assertEqual(rep["show_window"], setupkit.SW_SHOWNORMAL)
        # The preliminary request and the download, both plain GETs.
        gets = self.package_gets()
        self.assertEqual(len(gets), 2, gets)
        self.assertTrue(gets[-1].completed)
        self.assertEqual(self.leftovers(), [])
        text = self.debug.text()
        self.assertRegex(text, r"\nMS=\d+\n")
        self.assertNotIn("HTTP_DownloadFile_Incremental:", text)

    def test_package_beside_the_installer_and_no_local_package(self):
        pkg = self.make_package()
        data = self.package_bytes(pkg)
        self.server.serve(URL_PATH, data)
        # Taken from beside the installer: no question (although one is
        # asked for), no request, and the file stays.
        web = self.make_web("local", size=len(data), options=["--ask-before-download"])
        shutil.copy(pkg.exe, os.path.join(web.dir, PACKAGE))
        self.assertEqual(self.run_setup(web, timeout=60), 0)
        self.assert_ran(pkg, web)
        self.assertEqual(self.server.requests(), [])
        self.assertTrue(os.path.exists(os.path.join(web.dir, PACKAGE)))

        os.remove(pkg.report_path)
        web2 = self.make_web("nolocal", options=["--no-local-package"])
        shutil.copy(pkg.exe, os.path.join(web2.dir, PACKAGE))
        self.assertEqual(self.run_setup(web2, timeout=60), 0)
        self.assert_ran(pkg, web2)
        self.assertEqual(len(self.package_gets()), 2)
        self.assertTrue(os.path.exists(os.path.join(web2.dir, PACKAGE)))
        self.assertEqual(self.leftovers(), [])

    def test_question_with_the_size_answered_no_then_yes(self):
        pkg = self.make_package()
        self.server.serve(URL_PATH, self.package_bytes(pkg))
        web = self.make_web(size=5 * 1048576, options=["--ask-before-download"])

        proc = self.start_setup(web)
        box = self.answer_box("click", "No")
        self.assertEqual(box["caption"], "Confirm")
        self.assertIn("INTERNET DOWNLOAD", box["text"])
        self.assertIn("Size: 5.00 MB", box["text"])
        # No: no download and no further box (the run would wait for it).
        self.assertEqual(self.finish(proc, web.name, timeout=30), 0)
        self.assertEqual(self.server.requests(), [])
        self.assertIsNone(pkg.report())

        proc = self.start_setup(web)
        self.answer_box("click", "Yes")
        self.assertEqual(self.finish(proc, web.name), 0)
        self.assert_ran(pkg, web)
        self.assertEqual(len(self.package_gets()), 2)
        self.assertEqual(self.leftovers(), [])

    def test_hidden_run_shows_nothing(self):
        pkg = self.make_package()
        data = self.package_bytes(pkg)
        self.server.serve(URL_PATH, data, mode="slow", piece=len(data) // 8 + 1, delay=0.25)
        web = self.make_web(size=len(data), options=["--ask-before-download", "--hide"])
        proc = self.start_setup(web)
        watcher = self.watch(web, 9000)
        self.assertEqual(self.finish(proc, web.name), 0)
        seen = self.watched(watcher)
        self.assertTrue(seen["found"], "the watcher saw no main window at all")
        self.assertFalse(seen["visible"], "the main window was shown")
        self.assertFalse(seen["box"], "a box was shown")
        rep = self.assert_ran(pkg, web)
        self.assertEqual(rep["show_window"], setupkit.SW_HIDE)
        self.assertEqual(self.leftovers(), [])

    def test_wrong_token(self):
        pkg = self.make_package(token="another-token")
        self.server.serve(URL_PATH, self.package_bytes(pkg))
        self.failed_run(pkg, self.make_web(), "Bad Secret Token!")
        self.assertEqual(len(self.package_gets()), 2)

    def test_html_404_page_instead_of_the_package(self):
        # Nothing served: the server answers with its 404 page.
        box = self.failed_run(None, self.make_web(), "404 File Not Found...")
        self.assertIn("URL:  %s." % self.server.url(URL_PATH), box["text"])
        self.assertIn("Please make sure the file is available and access is allowed to this file.",
                      box["text"])

    def test_server_closes_early(self):
        pkg = self.make_package()
        self.server.serve(URL_PATH, self.package_bytes(pkg), mode="short")
        # WinINet reports the closed connection as the end of the body.
        self.failed_run(pkg, self.make_web(), PACKAGE + " --- Error downloading file (size mismatch)")
        self.assertIn("HTTP_DownloadFile_Incremental: " + PACKAGE +
                      " --- Error downloading file (size mismatch)\n", self.debug.text())

    def test_missing_content_length(self):
        # Without a length the byte count can never match: the download fails.
        pkg = self.make_package()
        self.server.serve(URL_PATH, self.package_bytes(pkg), mode="nolength")
        self.failed_run(pkg, self.make_web(), PACKAGE + " --- Error downloading file (size mismatch)")

    def test_close_box_during_a_slow_download(self):
        pkg = self.make_package()
        self.server.serve(URL_PATH, self.package_bytes(pkg) + b"\0" * 200000, mode="slow",
                          piece=8192, delay=0.2)
        web = self.make_web()
        proc = self.start_setup(web)
        # The main window shows once the size is known; its class is the
        # installer's full path. Its close box only aborts the download.
        rc, _, err = self.ui("--class", web.win_exe, "wait", "close")
        self.assertEqual(rc, 0, "UI driver: " + err + "\ndebug output:\n" + self.debug.text())
        box = self.answer_box("click", "OK")
        self.assertEqual(box["caption"], "Error")
        self.assertIn("Download Aborted!", box["text"])
        self.assertEqual(self.finish(proc, web.name), 0)
        self.assertIsNone(pkg.report())
        self.assertEqual(self.leftovers(), [])
        self.assertFalse(self.package_gets()[-1].completed, "the download was cut short")

    def agent_copy(self, appended):
        """The agent copy the engine finds beside itself when the installer
        has `appended` bytes after its build: (installer as built, copy)."""
        pkg = self.make_package("pkg%d" % appended)
        self.server.serve(URL_PATH, self.package_bytes(pkg))
        web = self.make_web("web%d" % appended,
                            options=["--drop-agent-copy", "--agent-file", "Agent.exe"])
        with open(web.exe, "rb") as f:
            built = f.read()
        with open(web.exe, "ab") as f:
            f.write(b"S" * appended)  # a signature added after the build
        self.give_time(web.exe)
        self.assertEqual(self.run_setup(web), 0)
        rep = self.assert_ran(pkg, web)
        self.assertIn("Agent.exe", [e["name"] for e in rep["files"]])
        return built, pkg.copied("Agent.exe")

    def test_agent_copy_is_cut_at_self_length(self):
        built, copy = self.agent_copy(9999)
        self.assertEqual(len(copy), len(built), "9999 bytes after SelfLength are cut")
        self.assertEqual(copy[-5], 1, "the AutoUpdateProg byte is set")
        self.assertEqual(copy[:-5], built[:-5])
        self.assertEqual(copy[-4:], built[-4:])

        built, copy = self.agent_copy(10000)
        self.assertEqual(len(copy), len(built) + 10000, "10000 bytes are not cut")
        self.assertEqual(copy[-5], 1)
        self.assertEqual(copy[:len(built)], built)


if __name__ == "__main__":
    kvwine.main()

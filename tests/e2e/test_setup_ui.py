#!/usr/bin/env python3
"""What a user sees and answers under Wine: the temporary-space question
(TempNotice, and a temporary drive without room), its Yes and No by Alt+letter,
plain letter, Tab and Esc, the language block chosen (one block of any name,
English as the fallback) with translated texts and buttons, and a second
start of a setup that is already running."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kvwine  # noqa: E402
import setupkit  # noqa: E402

WM_AGENTMSG = 1125

ONE_BLOCK = """[Klingon]
Charset=0
s2=Dateien werden nach <DRIVE> entpackt<P>
s4=<P>Platz: <T><SPACE_REQ> MB<P>
s5=Frei: <T><SPACE_AVAIL> MB<P>
s6=<P>Weiter?<P>
Confirm=Frage
BtnText=|&Gut|&Abbruch|&Ja|&Nein|&Abbrechen|&Wieder|&Ignorieren|
"""

THREE_BLOCKS = """[Klingon]
Confirm=Frage
s2=Klingon<P>
[Vulcan]
Confirm=Qual
s2=Vulcan<P>
[English]
Confirm=Please Confirm
s2=The English block speaks (<DRIVE>)<P>
BtnText=|&OK|&Cancel|&Sure|&Never|&Abort|&Retry|&Ignore|
"""


class SetupQuestions(setupkit.SetupTestCase):

    def ask(self, s, *commands):
        """Runs the setup, reads its box and runs the commands; returns (exit
        code, the box as first read)."""
        rc, boxes = self.ask_all(s, *commands)
        return rc, boxes[0]

    def ask_all(self, s, *commands):
        """As ask, with every record the driver read."""
        if os.path.exists(s.report_path):
            os.remove(s.report_path)
        p = self.start_setup(s)
        rc, boxes, err = self.ui("read", *commands)
        self.assertEqual(rc, 0, "UI driver: " + err + "\ndebug output:\n" + self.debug.text())
        return self.finish(p), boxes

    def test_temp_notice_answered_by_keyboard(self):
        s = self.make_setup("notice", options=["--temp-notice"])
        rc, box = self.ask(s, "alt", "y")
        self.assertEqual(box["caption"], "Confirm")
        self.assertRegex(box["text"],
                         r"^CONFIRM\r\n\r\nKavrex will extract files to your Temp Drive \(C:\)\r\n\r\n"
                         r"Estimated space required on your Temp drive is: \t  \d+\.\d{3} MB\r\n"
                         r"Free space available on your Temp drive is: \t  \d+\.\d+ MB\r\n\r\n"
                         r"Continue with Setup\?\r\n\r\n$")
        self.assertEqual(box["buttons"], ["&Yes", "&No"])
        self.assertEqual(box["default"], 0)
        self.assertEqual(rc, 0)
        self.assertIsNotNone(s.report(), "Alt+Y answers Yes")

        rc, _ = self.ask(s, "key", "n")
        self.assertIsNone(s.report(), "N answers No: nothing extracted")

        rc, boxes = self.ask_all(s, "key", "tab", "read", "key", "enter")
        self.assertEqual((boxes[0]["focus"], boxes[1]["focus"]), (0, 1), "Tab moves to No")
        self.assertIsNone(s.report(), "Enter presses No")

        rc, _ = self.ask(s, "key", "esc")
        self.assertEqual(rc, 0)
        self.assertIsNone(s.report(), "Esc closes the box: No")
        self.idle()
        self.assertEqual(self.setup_folders(), [])

    def test_temp_drive_without_room(self):
        # The temporary folder on a drive that cannot be asked for its free
        # space, and no fixed drive that could take its place: C:\TEMP is a
        # file, so C: cannot be probed either.
        self.session.add_drive("q", os.path.join(self.session.root, "no-such-folder"))
        for var in ("TEMP", "TMP"):
            r = self.session.run("reg", ["add", "HKCU\\Environment", "/v", var, "/d", "Q:\\tmp", "/f"])
            self.assertEqual(r.returncode, 0, r.stderr)
        with open(os.path.join(self.session.drive_c, "TEMP"), "w") as f:
            f.write("not a folder")
        s = self.make_setup("full")
        rc, box = self.ask(s, "key", "n")
        self.assertRegex(box["text"],
                         r"^CONFIRM\r\n\r\nLimited Free Space on your Temp Drive! \(Q:\)\r\n\r\n"
                         r"Estimated space required on your Temp drive is: \t  \d+\.\d{3} MB\r\n"
                         r"Free space available on your Temp drive is: \t  0\.000 MB\r\n")
        self.assertEqual(rc, 0)
        self.assertIsNone(s.report())

    def test_language_block_texts_and_buttons(self):
        one = self.make_setup("one", options=["--temp-notice"], lang=ONE_BLOCK)
        rc, box = self.ask(one, "alt", "j")
        self.assertEqual(box["caption"], "Frage")
        self.assertTrue(box["text"].startswith("Frage\r\n\r\nDateien werden nach C: entpackt\r\n"),
                        box["text"])
        self.assertIn("Weiter?", box["text"])
        self.assertEqual(box["buttons"], ["&Ja", "&Nein"])
        self.assertIsNotNone(one.report(), "Alt+J is Yes in this language")

        fallback = self.make_setup("fallback", options=["--temp-notice"], lang=THREE_BLOCKS)
        rc, box = self.ask(fallback, "key", "n")
        self.assertEqual(box["caption"], "Please Confirm")
        self.assertTrue(box["text"].startswith("Please Confirm\r\n\r\nThe English block speaks (C:)"),
                        box["text"])
        self.assertEqual(box["buttons"], ["&Sure", "&Never"])
        self.assertIsNone(fallback.report(), "N is the English block's No")

    def test_second_start_of_a_running_setup_does_nothing(self):
        s = self.make_setup("twice", options=["--temp-notice", "--info-file", "App.info"])
        with open(os.path.join(s.dir, "App.original"), "w") as f:
            f.write("[OriginalSetup]\r\nVersionOriginal=20731\r\n")
        first = self.start_setup(s)
        rc, _, err = self.ui("wait")
        self.assertEqual(rc, 0, err)
        self.assertEqual(self.run_setup(s, timeout=60), 0)
        # The running setup's window answers the agent's version command
        # from the descriptor beside it; AutoPlay is not refused while no
        # disk is asked for.
        self.assertEqual(self.send(s.win_exe, WM_AGENTMSG, 4), 20731)
        self.assertEqual(self.send(s.win_exe, WM_AGENTMSG, 8, 5), 0)
        self.assertEqual(self.send(s.win_exe, "QueryCancelAutoPlay"), 0)
        self.answer_box("key", "n")
        self.assertEqual(self.finish(first), 0)

        starts = [l for l in self.debug.lines() if " ==== STUB START ====> " in l]
        self.assertEqual(len(starts), 2, starts)
        second = starts[1].split(" ")[0]
        lines = self.lines_of(second)
        self.assertEqual(len(lines), 3, lines)
        self.assertIn(" ==== ThisIs_AutoUpdateProg=FALSE", lines[1])
        self.assertIn(" ==== STUB END ====> ", lines[2])
        self.assertEqual(sum("ForegroundOp=" in l for l in self.debug.lines()), 1,
                         "only the first start runs the setup")


if __name__ == "__main__":
    kvwine.main()

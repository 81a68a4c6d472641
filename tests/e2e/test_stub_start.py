#!/usr/bin/env python3
"""Start-up of stub.exe: without a package it starts, writes its banners to
the debug viewer in chunks of at most 128 bytes, runs the plain setup row
(nothing to extract, no engine) and ends with exit code 0; an agent package
is recognised from its trailer."""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kvwine  # noqa: E402


class StubAlone(kvwine.WineTestCase):

    def check_banners(self, args, exe=None, agent=False):
        stub = exe or self.copy_stub("plain_setup.exe")
        r = self.run_checked(stub, args)
        self.assertEqual(r.returncode, 0, r)

        chunks = self.debug.chunks()
        self.assertTrue(chunks, "the viewer received nothing")
        self.assertEqual(set(self.debug.tags()), {1}, "the viewer tag is always 1")
        for i, c in enumerate(chunks):
            self.assertLessEqual(len(c), 128, "chunk %d is longer than the buffer" % i)
            # A chunk ends at a line feed unless the buffer was full.
            if len(c) < 128:
                self.assertTrue(c.endswith(b"\n"), "chunk %d ends mid-line: %r" % (i, c))
            self.assertNotIn(b"\r", c, "lines end with a single line feed")

        lines = self.debug.lines()
        # Between the banners: the lines of the (empty) setup run.
        self.assertGreaterEqual(len(lines), 4, lines)
        start = re.fullmatch(r"(\d+) ==== STUB START ====> (.*)<", lines[0])
        self.assertIsNotNone(start, lines[0])
        pid, command_line = start.group(1), start.group(2)
        self.assertIn(os.path.basename(stub), command_line)
        for a in args:
            self.assertIn(a, command_line)
        self.assertEqual(lines[1], pid + " ==== ThisIs_AutoUpdateProg=" + ("TRUE" if agent else "FALSE"))
        self.assertEqual(lines[-2], pid + " ==== STUB END ====> " + command_line + "<")
        self.assertEqual(lines[-1], "", "the end banner is followed by an empty line")

        # Each line is delivered on its own: full 128-byte pieces, then the rest
        # up to and including its line feed.
        expected = []
        for line in lines:
            data = (line + "\n").encode("latin-1")
            expected += [data[i:i + 128] for i in range(0, len(data), 128)]
        self.assertEqual(chunks, expected)

        self.debug.stop()
        self.assertTrue(self.session.wait_idle(60), "processes left running after the stub ended")
        return chunks

    def test_banners_and_exit_code(self):
        self.check_banners(["/x", "/y=1"])

    def test_long_command_line_arrives_in_128_byte_chunks(self):
        chunks = self.check_banners(["/Q=" + "k" * 300])
        self.assertGreaterEqual(sum(len(c) == 128 for c in chunks), 4,
                                "both banners span several full chunks")

    def test_agent_package_is_recognised(self):
        readme = os.path.join(self.session.files, "readme.txt")
        with open(readme, "w") as f:
            f.write("hello\n")
        # Under the agent's own name the stub only starts the agent copy, which
        # needs no window of its own, and ends.
        agent = os.path.join(self.session.files, "Editor.exe")
        self.session.kvpack("build", "--stub", self.cfg["stub"], "--out", agent,
                            "--auto-update-prog", "--agent-file", "Editor.exe", readme)
        self.check_banners(["/z"], exe=agent, agent=True)


if __name__ == "__main__":
    kvwine.main()

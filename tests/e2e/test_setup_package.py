#!/usr/bin/env python3
"""Extraction under Wine: split and stored records and file dates, two
volumes with and without the forced disk prompt, cancel at the disk
question, and the packages that must not run: a checksum mismatch, a
damaged record, a truncated volume and an unsafe record name (the s7 box, no
engine, nothing written outside the folder, no crash)."""
import json
import os
import random
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kvwine  # noqa: E402
import setupkit  # noqa: E402

FORCE_PROMPT_KEY = "HKCU\\Software\\Dornvale\\Kavrex\\SpanDisk"


def noise(n, seed):
    return random.Random(seed).randbytes(n)


class SetupPackage(setupkit.SetupTestCase):

    def info(self, s, path=None):
        return json.loads(self.session.kvpack("info", path or s.exe, "--json"))

    def volumes(self, name, payload, vol1_content):
        """A two-volume setup: the first volume holds the stub and about
        vol1_content bytes of records, the second the rest of payload."""
        stub = os.path.getsize(self.cfg["stub"])
        engine = os.path.getsize(self.session.support_exe("engine"))
        s = self.make_setup(name, files=[("big.bin", payload)], options=[
            "--store", "--volume-size", str(stub + engine + vol1_content)])
        vol2 = os.path.join(s.dir, "setup.exe.002")
        self.assertTrue(os.path.exists(vol2))
        self.assertFalse(os.path.exists(os.path.join(s.dir, "setup.exe.003")))
        return s, vol2

    def assert_bad_package(self, s, rc_box):
        rc, box = rc_box
        self.assertEqual(box["caption"], "Error")
        self.assertTrue(box["text"].startswith("ERROR\r\n\r\nBad CRC!"), box["text"])
        self.assertEqual(rc, 0, "an orderly end, not a crash")
        self.assertIsNone(s.report(), "nothing of a bad package runs")

    def run_answering(self, s, *commands):
        p = self.start_setup(s)
        box = self.answer_box(*commands)
        return self.finish(p), box

    def test_split_and_stored_records_and_file_dates(self):
        big = noise(200000, 1)
        dated = time.mktime((2020, 5, 17, 10, 20, 30, 0, 0, -1))
        split = self.make_setup("split", files=[("big.bin", big), ("note.txt", b"note\r\n")],
                                options=["--record-limit", "65536"], file_times={"note.txt": dated})
        names = [r["name"] for r in self.info(split)["records"]]
        self.assertGreaterEqual(names.count("big.bin"), 3, names)
        table = bytes(range(256)) * 40
        stored = self.make_setup("stored", files=[("table.bin", table), ("b.txt", b"plain\r\n")],
                                 options=["--store"])
        self.assertTrue(all(r["stored"] for r in self.info(stored)["records"]))

        self.assertEqual(self.run_all([(split, []), (stored, [])]), [0, 0])
        self.assertEqual(split.copied("big.bin"), big, "records of one name append in order")
        self.assertEqual(split.copied("note.txt"), b"note\r\n")
        self.assertAlmostEqual(os.path.getmtime(os.path.join(split.copies, "note.txt")), dated,
                               delta=2, msg="the record's time stamp is the file's date")
        self.assertEqual(stored.copied("table.bin"), table)
        self.assertEqual(stored.copied("b.txt"), b"plain\r\n")

    def test_two_volumes_without_prompt(self):
        payload = noise(300000, 2)
        s, _ = self.volumes("vols", payload, 150000)
        watcher = self.watch("KMsgBox", 10000)
        self.assertEqual(self.run_setup(s), 0)
        self.assertFalse(self.watched(watcher)["found"], "no disk question when disk 2 is there")
        self.assertEqual(s.copied("big.bin"), payload)

    def test_forced_prompt_asks_for_a_present_disk(self):
        r = self.session.run("reg", ["add", FORCE_PROMPT_KEY, "/v", "ForcePrompt", "/d", "1", "/f"])
        self.assertEqual(r.returncode, 0, r.stderr)
        payload = noise(300000, 3)
        s, _ = self.volumes("forced", payload, 150000)
        p = self.start_setup(s)
        self.assertEqual(self.ui("wait")[0], 0)
        self.assertEqual(self.send(s.win_exe, "QueryCancelAutoPlay"), 1,
                         "AutoPlay is refused while a disk is asked for")
        box = self.answer_box("click", "OK")
        rc = self.finish(p)
        self.assertEqual(box["caption"], "Attention")
        self.assertEqual(box["text"],
                         "ATTENTION\r\n\r\nPlease insert DISK #2 and press OK to continue\r\n")
        self.assertEqual(box["buttons"], ["&OK", "&Cancel"])
        self.assertEqual(rc, 0)
        self.assertEqual(s.copied("big.bin"), payload)

    def test_cancel_at_the_disk_question_starts_nothing(self):
        s, vol2 = self.volumes("cancel", noise(300000, 4), 150000)
        os.remove(vol2)
        rc, box = self.run_answering(s, "click", "Cancel")
        self.assertIn("DISK #2", box["text"])
        self.assertEqual(rc, 0)
        self.assertIsNone(s.report())
        self.idle()
        self.assertEqual(self.setup_folders(), [])

    def test_checksum_mismatch_shows_s7_and_starts_nothing(self):
        # Only volumes up to 51200 bytes carry a real checksum: a small
        # second volume with one byte changed.
        s, vol2 = self.volumes("crc", noise(60000, 5), 20000)
        self.assertLessEqual(os.path.getsize(vol2), 51200)
        (offset, length), = setupkit.records(vol2)
        with open(vol2, "rb") as f:
            f.seek(offset + 4 + abs(length) // 2)
            byte = f.read(1)[0]
        setupkit.patch(vol2, offset + 4 + abs(length) // 2, bytes([byte ^ 0x5A]))
        self.assert_bad_package(s, self.run_answering(s, "click", "OK"))
        self.idle()
        self.assertEqual(self.setup_folders(), [])

    def test_damaged_truncated_and_unsafe_packages_do_not_run(self):
        # A compressed record with bytes overwritten in its middle (the first
        # volume is too large to carry a checksum).
        damaged = self.make_setup("damaged", files=[("data.txt", b"abcdefgh" * 20000)])
        offset, length = setupkit.records(damaged.exe)[-1]
        self.assertGreater(length, 0)
        setupkit.patch(damaged.exe, offset + 4 + length // 2, b"\xff" * 32)
        with self.subTest("damaged record"):
            self.assert_bad_package(damaged, self.run_answering(damaged, "click", "OK"))

        # A second volume that lost part of its record: the trailer is still
        # at its end, the record claims more bytes than are left.
        cut, vol2 = self.volumes("cut", noise(300000, 6), 150000)
        with open(vol2, "rb") as f:
            data = f.read()
        middle = len(data) // 2
        with open(vol2, "wb") as f:
            f.write(data[:middle] + data[middle + 5000:])
        setupkit.set_stored_checksum(vol2)
        with self.subTest("truncated volume"):
            self.assert_bad_package(cut, self.run_answering(cut, "click", "OK"))

        # A stored record whose name climbs out of the folder.
        unsafe = self.make_setup("unsafe", files=[("zz_evil.txt", b"evil")], options=["--store"])
        with open(unsafe.exe, "rb") as f:
            data = f.read()
        at = data.find(b"|zz_evil.txt|")
        self.assertGreater(at, 0)
        setupkit.patch(unsafe.exe, at, b"|..\\evil.txt|")
        with self.subTest("unsafe name"):
            self.assert_bad_package(unsafe, self.run_answering(unsafe, "click", "OK"))

        self.idle()
        self.assertEqual(self.setup_folders(), [], "every folder removed")
        written = [os.path.join(root, n) for root, _, names in os.walk(self.session.prefix)
                   for n in names if n == "evil.txt"]
        written += [os.path.join(root, n) for root, _, names in os.walk(self.session.files)
                    for n in names if n == "evil.txt"]
        self.assertEqual(written, [], "nothing written outside the folder")


if __name__ == "__main__":
    kvwine.main()

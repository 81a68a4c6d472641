#!/usr/bin/env python3
"""The Win32 platform layer against a real Windows API: files, folders and
drives, environment, clock, INI files, registry, windows and atoms
(tests/support/oscheck.cpp runs the checks and prints one line each)."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kvwine  # noqa: E402


class PlatformLayer(kvwine.WineTestCase):
    viewer = False

    def test_every_check_passes(self):
        work = os.path.join(self.session.files, "work")
        os.makedirs(work)
        r = self.run_checked(self.session.support_exe("oscheck"), [kvwine.winpath(work)])
        out = r.stdout.decode("latin-1")
        print(out)
        failed = [line for line in out.splitlines() if line.startswith("FAIL")]
        self.assertEqual(failed, [])
        self.assertEqual(r.returncode, 0, r.stderr.decode("latin-1"))
        self.assertGreater(sum(line.startswith("ok ") for line in out.splitlines()), 50,
                           "the checks ran to the end")


if __name__ == "__main__":
    kvwine.main()

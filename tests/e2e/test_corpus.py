"""The public ZIP corpus through the Windows build's console driver under Wine, checked
against MANIFEST.tsv. (Each host build checks its own driver in the CTest test "corpus".)
The checking itself is tests/corpus/check_corpus.py; this module runs it and shows its table
on failure.
"""

import os
import subprocess
import sys
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
CHECKER = REPO / "tests" / "corpus" / "check_corpus.py"


class Corpus(unittest.TestCase):
    def run_checker(self, *args, env=None):
        done = subprocess.run([sys.executable, str(CHECKER)] + list(args), capture_output=True, text=True, env=env,
                              timeout=3600)
        if done.returncode != 0:
            self.fail("corpus mismatches (exit %d):\n%s%s" % (done.returncode, done.stdout[-20000:],
                                                              done.stderr[-4000:]))
        return done.stdout

    def test_windows_driver_under_wine(self):
        build = os.environ.get("WINE_BUILD_DIR")
        if not build:
            self.skipTest("WINE_BUILD_DIR not set")
        driver = Path(build) / "ombrelin.exe"
        if not driver.is_file():
            self.skipTest("%s not built" % driver)
        sys.path.insert(0, str(REPO / "harness"))
        import wine
        # The shared session's display, prefix and warm server, as for every other Wine
        # test. The driver is a console program, but the first Wine process that needs a
        # desktop sets it up for the whole server: started without the display, it would
        # leave every later window of the session without one. Nor may the server's own
        # lifetime be shortened here, or a later start can meet a server that is going.
        env = wine.session().base_env()
        out = self.run_checker("--wine", "--driver", str(driver), env=env)
        self.assertIn("all members match", out)


if __name__ == "__main__":
    unittest.main()

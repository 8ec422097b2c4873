"""Signed programs under Wine: a package signed after packing and a launcher signed after
patching (tools/*.py --sign, through osslsigncode) verify and still work.

The signature is appended behind the archive, inside the stub's end-record search range,
and covers the patched launcher field. The certificate is a throw-away one made by openssl.
"""

import shutil
import subprocess
import sys
import unittest

from launchertools import REPO, LauncherTestCase
from test_package_basics import PackageTestCase, run_package, sample_payload

TOOLS = REPO / "tools"


def make_certificate(folder):
    """A self-signed code-signing certificate and its key: (cert.pem, key.pem)."""
    cert, key = folder / "cert.pem", folder / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=Brevanto test signing", "-keyout", str(key), "-out", str(cert)],
                   check=True, capture_output=True)
    return cert, key


def pack_and_sign(test, tool, *args):
    """Runs a packing tool with --sign and checks the signature of its output (last arg)."""
    cert, key = make_certificate(test.work)
    done = subprocess.run([sys.executable, str(TOOLS / tool), *map(str, args),
                           "--sign", str(cert), str(key)], capture_output=True, text=True)
    test.assertEqual(done.returncode, 0, done.stderr)
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in",
                               str(args[-1])], capture_output=True, text=True)
    test.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl"),
                     "osslsigncode and openssl are needed")
class SignedPackage(PackageTestCase):
    def test_signed_package_verifies_and_runs(self):
        files = sample_payload(self.work / "payload", self.recorder)
        package = self.work / "package.exe"
        pack_and_sign(self, "pack_installer.py", self.work / "payload", "-q", "-s",
                      self.wine.program("installer.exe"), "-o", package)
        self.assertCleanRun(run_package(self.wine, self.work, package), files,
                            extra_dirs={"emptydir"})


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl"),
                     "osslsigncode and openssl are needed")
class SignedLauncher(LauncherTestCase):
    def test_signed_launcher_verifies_and_runs(self):
        exec_path = self.runtime("jre") + "\\bin\\javaw.exe"
        self.properties(exec_path, "-jar app.jar")
        pack_and_sign(self, "pack_launcher.py", "-l", self.wine.program("Velmora.exe"), "-p",
                      "app.properties", "-o", self.app / "Demo.exe")
        result = self.run_launcher()
        self.assertEqual(result.boxes, [], result)
        self.assertEqual(self.started()[0]["cmdline"], "javaw.exe -jar app.jar")


if __name__ == "__main__":
    unittest.main()

"""What the launcher does when it cannot start as configured: an unpatched launcher, a missing
properties file, the alternative directory, start directories missing or empty, a start that
fails, and values that do not fit. Exit codes, boxes and log lines as the user meets them.
"""

import shutil
import unittest

from launchertools import LauncherTestCase, log_messages

START_FAILED = "Error starting Demo.\n\nYou may need to adjust the arguments in %s."


class Configuration(LauncherTestCase):
    def assertQuietFailure(self, result, errors, directory=None):
        """Exit code 0, no box, nothing started, exactly these errors.log messages."""
        self.assertEqual((result.exit_code, result.boxes), (0, []), result)
        self.assertEqual(log_messages((directory or self.app) / "errors.log"), errors)
        self.assertNothingStarted()

    def test_unpatched_launcher_says_so_in_its_logs(self):
        self.place_launcher(patched=False)
        (self.app / "startapp.log").write_bytes(b"")
        result = self.run_launcher()
        self.assertQuietFailure(result, ["The program has not been properly configured."])
        self.assertEqual(log_messages(self.app / "startapp.log")[-1],
                         "The program has not been properly configured.")

    def test_missing_properties_file(self):
        self.place_launcher("conf\\app.properties", alt_dir=self.wine.winpath(self.work / "alt"))
        result = self.run_launcher()
        self.assertQuietFailure(result, ["Unable to open file conf\\app.properties"])

    def test_properties_in_the_alternative_directory(self):
        jre = self.runtime("jre")
        alt = self.work / "alt"
        self.place_launcher(alt_dir=self.wine.winpath(alt))
        self.properties(jre + "\\bin\\javaw.exe", "-x")
        (alt).mkdir()
        (self.app / "app.properties").rename(alt / "app.properties")
        result = self.run_launcher()
        self.assertEqual((result.exit_code, result.boxes), (1, []), result)
        self.assertEqual([r["cmdline"] for r in self.started()], ["javaw.exe -x"])

    def test_values_too_long_start_nothing(self):
        jre = self.runtime("jre")
        # A name of 259 characters that still opens app.properties, under a start directory
        # of 260: together with the "\" between them one more than the properties path holds.
        long_name = "d\\..\\" * 49 + "app.properties"
        (self.app / "d").mkdir()
        rows = [("args with the tail", "app.properties", "a" * 4990, self.wine.winpath(self.app),
                 "b" * 10, "args (with the command-line tail)"),
                ("properties path", long_name, "", "Z:\\" + "s" * 257, "",
                 "startDir (with the property file name)")]
        for label, name, args, start, tail, refused in rows:
            with self.subTest(label):
                (self.app / "errors.log").unlink(missing_ok=True)
                self.place_launcher(name)
                self.properties(jre + "\\bin\\javaw.exe", args, start)
                result = self.run_launcher(tail)
                self.assertQuietFailure(result, ["Value too long for %s in %s" % (refused, name)])


class StartDirectory(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.jre = self.runtime("jre")
        self.place_launcher()

    def test_missing_start_directory_starts_in_the_launch_directory(self):
        self.properties(self.jre + "\\bin\\javaw.exe", "-x", self.wine.winpath(self.work / "gone"))
        result = self.run_launcher()
        self.assertEqual((result.exit_code, result.boxes), (1, []), result)
        self.assertEqual([r["cwd"] for r in self.started()], [self.wine.winpath(self.app)])

    def test_empty_start_directory_names_the_file_from_the_root(self):
        self.properties(r"Z:\nowhere\javaw.exe", start_dir="")
        result = self.run_launcher()
        self.assertEqual(result.exit_code, 1)
        self.assertEqual(result.boxes, ["Unable to start Demo\n\njavaw.exe\nis no longer on your "
                                        "system\n\nChange the execFilename property in\n"
                                        "\\app.properties"])

    def test_bare_name_taken_from_the_launchers_folder(self):
        # The missing path's file name is looked for where the application ships it, beside
        # the launcher, not in the folder the user started it from, and is started by its
        # full path from the start directory.
        downloads = self.work / "downloads"
        downloads.mkdir()
        for folder in (self.app, downloads):
            shutil.copyfile(self.work / "jre" / "bin" / "javaw.exe", folder / "javaw.exe")
        self.place_launcher(alt_dir=self.wine.winpath(self.app))
        self.properties(r"Z:\nowhere\javaw.exe", "-x", self.jre)
        result = self.run_launcher(cwd=downloads)
        self.assertEqual((result.exit_code, result.boxes), (1, []), result)
        self.assertEqual([(r["program"], r["cwd"]) for r in self.started()],
                         [(self.wine.winpath(self.app / "javaw.exe"), self.jre)])

    def test_start_that_fails(self):
        (self.app / "javaw.exe").write_bytes(b"not a program")
        self.properties(self.wine.winpath(self.app / "javaw.exe"), "-x")
        result = self.run_launcher()
        properties_path = self.wine.winpath(self.app) + "\\app.properties"
        self.assertEqual((result.exit_code, result.boxes), (0, [START_FAILED % properties_path]))
        self.assertNothingStarted()

    def test_bare_name_started_from_the_launch_directory(self):
        (self.app / "javaw.exe").write_bytes((self.work / "jre" / "bin" / "javaw.exe").read_bytes())
        self.properties(r"Z:\nowhere\javaw.exe", "-x")
        result = self.run_launcher()
        self.assertEqual((result.exit_code, result.boxes), (1, []), result)
        self.assertEqual([r["program"] for r in self.started()],
                         [self.wine.winpath(self.app / "javaw.exe")])


if __name__ == "__main__":
    unittest.main()

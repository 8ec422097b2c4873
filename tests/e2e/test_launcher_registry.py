"""A missing Java executable is replaced by an installed runtime's, found through registry
entries written with regedit: JavaHome or Home, MicroVersion, the version bounds, the
enumeration order, stale entries, the keys of Java 9 and later, and the registry views.
"""

import unittest

from launchertools import JAVASOFT_32, LauncherTestCase, log_messages

CLASSIC = "Java Runtime Environment"
MISSING = r"Z:\nowhere\jre\bin\javaw.exe"
# Home names a runtime the test creates (with bin\javaw.exe); "stale" names a folder that
# does not exist.
HOME = "JavaHome"

# (label, {subkey below JavaSoft: {value: text, a home given by its runtime name}},
#  version bounds, the runtime expected to start or None)
SEARCHES = [
    ("the first runtime within the bounds", {CLASSIC + r"\1.4": {HOME: "jre14"},
                                             CLASSIC + r"\1.6": {HOME: "jre16"},
                                             CLASSIC + r"\1.8": {HOME: "jre18"}},
     {"jvmMinVersion": "1.5"}, "jre16"),
    ("the minimum compares text", {CLASSIC + r"\1.10": {HOME: "jre110"},
                                   CLASSIC + r"\1.9": {HOME: "jre19"}},
     {"jvmMinVersion": "1.9"}, "jre19"),
    ("both bounds hold at their own precision", {CLASSIC + r"\1.3.1": {HOME: "jre131"},
                                                 CLASSIC + r"\1.4.2_05": {HOME: "jre142"},
                                                 CLASSIC + r"\1.5.0": {HOME: "jre15"}},
     {"jvmMinVersion": "1.4", "jvmMaxVersion": "1.4"}, "jre142"),
    ("the required version with its micro version", {CLASSIC + r"\1.3": {HOME: "jre13",
                                                                         "MicroVersion": "1"},
                                                     CLASSIC + r"\1.5": {HOME: "jre15"}},
     {"jvmRequiredVersion": "1.3.1", "jvmMinVersion": "1.5"}, "jre13"),
    ("Home when JavaHome is missing", {CLASSIC + r"\1.6": {"Home": "jre16"}}, {}, "jre16"),
    ("no home at all is skipped", {CLASSIC + r"\1.6": {"RuntimeLib": "x"},
                                   CLASSIC + r"\1.7": {HOME: "jre17"}}, {}, "jre17"),
    ("a stale entry is skipped", {CLASSIC + r"\1.6": {HOME: "stale"},
                                  CLASSIC + r"\1.7": {HOME: "jre17"}}, {}, "jre17"),
    ("Java 9 and later when the classic key accepts nothing",
     {CLASSIC + r"\1.8": {HOME: "jre18"}, r"JRE\11": {HOME: "stale"}, r"JDK\17": {HOME: "jdk17"}},
     {"jvmMinVersion": "11"}, "jdk17"),
    ("the classic key first", {CLASSIC + r"\1.8": {HOME: "jre18"}, r"JDK\17": {HOME: "jdk17"}},
     {}, "jre18"),
    ("none acceptable", {CLASSIC + r"\1.8": {HOME: "jre18"}}, {"jvmMinVersion": "9"}, None),
]

# The accent of "doesn´t" is U+00B4 in its two UTF-8 bytes; the logs are read as cp1252.
EXEC_MISSING = b"exec doesn\xc2\xb4t exist: ".decode("cp1252")
NO_LONGER_THERE = ("Unable to start Demo\n\njavaw.exe\nis no longer on your system\n\n"
                   "Change the execFilename property in\n%s\\app.properties")


class RuntimeSearch(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.place_launcher()
        (self.app / "startapp.log").write_bytes(b"")

    def search(self, runtimes, bounds, root=None):
        """Registers the runtimes and starts the launcher with a missing executable."""
        homes = {}
        entries = {}
        for key, values in runtimes.items():
            entries[key] = dict(values)
            for name, value in values.items():
                if name in (HOME, "Home"):
                    homes[value] = (self.runtime(value) if value != "stale"
                                    else self.wine.winpath(self.work / "stale"))
                    entries[key][name] = homes[value]
        self.register(entries, **({"root": root} if root else {}))
        self.properties(MISSING, "-x", extra=["%s=%s" % item for item in bounds.items()])
        return homes, self.run_launcher()

    def test_searches(self):
        for label, runtimes, bounds, expected in SEARCHES:
            with self.subTest(label):
                self.clear_runtimes()
                self.records.unlink(missing_ok=True)
                homes, result = self.search(runtimes, bounds)
                if expected is None:
                    self.assertEqual(result.boxes, [NO_LONGER_THERE % self.wine.winpath(self.app)])
                    self.assertEqual(result.exit_code, 1)
                    self.assertNothingStarted()
                    continue
                self.assertEqual((result.exit_code, result.boxes), (1, []), result)
                program = [r["program"] for r in self.started()]
                self.assertEqual(program, [homes[expected] + r"\bin\javaw.exe"])

    def test_trace_of_a_search(self):
        homes, result = self.search({CLASSIC + r"\1.3": {HOME: "jre13", "MicroVersion": "1"},
                                     CLASSIC + r"\1.6": {HOME: "jre16"}},
                                    {"jvmMinVersion": "1.4"})
        self.assertEqual(len(self.started()), 1)
        lines = log_messages(self.app / "startapp.log")
        start = lines.index(EXEC_MISSING + MISSING)
        self.assertEqual(lines[start:start + 10], [
            EXEC_MISSING + MISSING,
            "searching registry entry SOFTWARE\\JavaSoft\\" + CLASSIC,
            "                 version 1.3",
            "found jvm version: 1.3.1",
            "                 version 1.6",
            "found jvm version: 1.6",
            "JRE registry entry had correct jvm info: true",
            "jvm found under SOFTWARE\\JavaSoft\\" + CLASSIC,
            "new exec: " + homes["jre16"] + r"\bin\javaw.exe",
            "Program name Demo"])

    def test_none_installed(self):
        self.properties(MISSING)
        result = self.run_launcher()
        self.assertEqual(result.boxes, [NO_LONGER_THERE % self.wine.winpath(self.app)])
        self.assertEqual(result.exit_code, 1)
        lines = log_messages(self.app / "startapp.log")
        self.assertIn("unable to find a compatible Jvm", lines)
        self.assertEqual(lines[-2:], ["original executable not found",
                                      NO_LONGER_THERE % self.wine.winpath(self.app)])

    def test_views_of_a_64_bit_prefix(self):
        if self.wine.arch != "win64":
            self.skipTest("a 32-bit prefix has one registry view")
        # The 64-bit launcher's own view first, then the 32-bit one.
        homes, result = self.search({r"JDK\17": {HOME: "jdk17"}}, {})
        self.assertEqual([r["program"] for r in self.started()],
                         [homes["jdk17"] + r"\bin\javaw.exe"])
        self.clear_runtimes()
        self.records.unlink()
        homes, result = self.search({CLASSIC + r"\1.8": {HOME: "jre18"}}, {}, root=JAVASOFT_32)
        self.assertEqual([r["program"] for r in self.started()],
                         [homes["jre18"] + r"\bin\javaw.exe"])
        self.assertIn("jvm found under SOFTWARE\\JavaSoft\\%s (32-bit view)" % CLASSIC,
                      log_messages(self.app / "startapp.log"))


if __name__ == "__main__":
    unittest.main()

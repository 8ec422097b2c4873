"""The launcher starts its Java program under Wine: the exact command line it hands over (read
back with GetCommandLineA by the javaw.exe stand-in), the start directory, no CLASSPATH, the
trace lines of a typical run, and the host's real JVM running a class from a jar.
"""

import subprocess
import time
import unittest
from pathlib import Path

from launchertools import LauncherTestCase, escaped, log_messages

JAVA_SOURCE = Path(__file__).resolve().parent / "java" / "ShowLaunch.java"

# (label, args in the properties file, command-line tail, command line javaw.exe receives)
SPLITS = [
    ("plain words", "-cp lib\\app.jar demo.Main", "", "javaw.exe -cp lib\\app.jar demo.Main"),
    ("quoted group keeps its quotes", '"a b" c', "", 'javaw.exe "a b" c'),
    ("text after a closing quote is dropped", '"a b"c d', "", 'javaw.exe "a b" d'),
    ("text ending after a closing quote", '"a b"c', "", 'javaw.exe "a b" c'),
    ("adjacent spaces give an empty parameter", "x  y", "", "javaw.exe x  y"),
    ("a tab is no separator", "a\tb", "", "javaw.exe a\tb"),
    ("an unclosed quote is ordinary", '"abc def', "", 'javaw.exe "abc def'),
    ("empty args take the tail alone", "", "a b", "javaw.exe a b"),
    ("the tail follows after one space", "-x", '"my file.txt" -y', 'javaw.exe -x "my file.txt" -y'),
    ("a leading space adds an empty parameter", " a", "", "javaw.exe  a"),
    ("a trailing space adds nothing", "a ", "", "javaw.exe a"),
    ("no args and no tail", "", "", "javaw.exe"),
]


class CommandLine(LauncherTestCase):
    def test_every_splitting_case(self):
        jre = self.runtime("jre")
        self.place_launcher()
        for label, args, tail, expected in SPLITS:
            with self.subTest(label):
                self.records.unlink(missing_ok=True)
                self.properties(jre + "\\bin\\javaw.exe", args)
                result = self.run_launcher(tail)
                self.assertEqual((result.exit_code, result.boxes), (1, []), result)
                records = self.started()
                self.assertEqual([r["cmdline"] for r in records], [expected])


class TypicalRun(LauncherTestCase):
    """A run traced step by step, with a start directory of its own."""

    def test_typical_run(self):
        jre = self.runtime("jre")
        demo = self.work / "Demo"
        demo.mkdir()
        self.place_launcher()
        (self.app / "startapp.log").write_bytes(b"")
        (demo / "startapp.log").write_bytes(b"")
        exec_path, start = jre + "\\bin\\javaw.exe", self.wine.winpath(demo)
        self.properties(exec_path, "-cp lib\\app.jar demo.Main", start)
        result = self.run_launcher("readme.txt", env={"CLASSPATH": r"C:\old;C:\older"})
        self.assertEqual((result.exit_code, result.boxes), (1, []), result)

        record = self.started()[0]
        self.assertEqual(record["cmdline"], "javaw.exe -cp lib\\app.jar demo.Main readme.txt")
        self.assertEqual(record["cwd"], start)
        self.assertIn("classpath-absent", record)
        self.assertEqual(record["program"], exec_path)

        lines = ["programName=Demo", "execFilename=" + escaped(exec_path),
                 "args=-cp lib\\\\app.jar demo.Main", "startDir=" + escaped(start), ""]
        unescaped = ["programName=Demo", "execFilename=" + exec_path,
                     "args=-cp lib\\app.jar demo.Main", "startDir=" + start, ""]
        file_lines = []
        for original, plain in zip(lines, unescaped):
            file_lines += ["original line " + original, "unescaped line " + plain]
        self.assertEqual(log_messages(self.app / "startapp.log"),
                         ["", "Starting app", "Getting command line settings"] + file_lines +
                         ["Program name Demo", "Executable " + exec_path,
                          "Arguments -cp lib\\app.jar demo.Main", "Start dir " + start,
                          "Setting up command line", "Next argument: -cp",
                          "Next argument: lib\\app.jar", "Next argument: demo.Main",
                          "Next argument: readme.txt"])
        # The start itself is traced in the start directory, the current one at that moment.
        self.assertEqual(log_messages(demo / "startapp.log"),
                         ['launch command: "%s" javaw.exe -cp lib\\app.jar demo.Main readme.txt'
                          % exec_path, "app launched: true"])
        self.assertFalse((self.app / "errors.log").exists())


class RealJava(LauncherTestCase):
    """The host's JVM, a native program that Wine starts, runs a class from a jar."""

    def test_jar_started_by_the_host_jvm(self):
        classes = self.work / "classes"
        subprocess.run(["javac", "-d", str(classes), str(JAVA_SOURCE)], check=True)
        (self.app / "lib").mkdir()
        subprocess.run(["jar", "cf", str(self.app / "lib" / "show.jar"), "-C", str(classes), "."],
                       check=True)
        out = self.work / "java-out.txt"
        self.place_launcher()
        # The JVM is a Linux program: its class path takes "/".
        self.properties(r"Z:\usr\bin\java", '-cp lib/show.jar demo.ShowLaunch "two words"')
        result = self.run_launcher("last", env={"CLASSPATH": "/nowhere",
                                                "SHOWLAUNCH_OUT": str(out)})
        self.assertEqual((result.exit_code, result.boxes), (1, []), result)
        deadline = time.time() + 30
        while not (out.exists() and out.read_text().endswith("end\n")) and time.time() < deadline:
            time.sleep(0.2)
        self.assertEqual(out.read_text() if out.exists() else "",
                         "argc=2\narg[0]=two words\narg[1]=last\ncwd=%s\nclasspath-absent=\nend\n"
                         % self.app)


if __name__ == "__main__":
    unittest.main()

"""Shared set-up of the Java launcher's end-to-end tests (see wine.py for the harness).

``LauncherTestCase`` places an application the way the packing tool ships it: a copy of
Velmora.exe named Demo.exe with its property-file field patched (tools/pack_launcher.py), a
launch properties file, and runtimes whose bin folder holds javaw.exe, the recording stand-in
of tests/winhelpers/javaw.c. Every javaw.exe started appends what it was given (command
line, directory, CLASSPATH, its own path) to one record file of the test. The launcher is
started through the harness with an exact command line; its "Startup Error" boxes are read
back and closed.

The Java runtimes registry keys under HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft and
HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Adoptium belong to these tests: they are removed before and
after each test.
"""

import re
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "harness"))  # wine.py
from wine import REPO, WineTestCase  # noqa: E402

sys.path.insert(0, str(REPO / "tools"))
import pack_launcher  # noqa: E402

BOX_TITLE = "Startup Error"
JAVASOFT = r"HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft"
# The 32-bit view of a 64-bit prefix, as the 64-bit registry tools see it.
JAVASOFT_32 = r"HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\JavaSoft"
ADOPTIUM = r"HKEY_LOCAL_MACHINE\SOFTWARE\Eclipse Adoptium"
STAMP = re.compile(rb"^(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|"
                   rb"Nov|Dec) \d\d \d\d:\d\d:\d\d \d{4} ")


def escaped(value):
    """A value as the properties file spells it: every backslash doubled."""
    return value.replace("\\", "\\\\")


def log_messages(path):
    """The messages of a launcher log: CR LF lines, each after its time stamp and a space. A
    line without a stamp continues the message before it (a box text holds line ends)."""
    data = Path(path).read_bytes() if Path(path).exists() else b""
    assert data == b"" or data.endswith(b"\r\n"), data
    messages = []
    for line in data.split(b"\r\n")[:-1]:
        if STAMP.match(line):
            messages.append(line[25:].decode("cp1252"))
        else:
            assert messages, line
            messages[-1] += "\n" + line.decode("cp1252")
    return messages


def parse_records(text):
    """The javaw.exe blocks of a record file: one dict per start, in order."""
    records, current = [], {}
    for line in text.splitlines():
        key, _, value = line.partition("=")
        if key == "end":
            records.append(current)
            current = {}
        else:
            current[key] = value
    return records


class LauncherTestCase(WineTestCase):
    """An application folder work/app holding Demo.exe, and helpers around it."""

    def setUp(self):
        super().setUp()
        self.app = self.work / "app"
        self.app.mkdir()
        self.records = self.work / "javaw-records.txt"
        self.clear_runtimes()
        self.addCleanup(self.clear_runtimes)

    # ---- the application

    def place_launcher(self, properties="app.properties", alt_dir=None, patched=True):
        target = self.app / "Demo.exe"
        launcher = self.wine.program("Velmora.exe")
        if patched:
            pack_launcher.write_launcher(str(launcher), str(target), properties, alt_dir)
        else:
            shutil.copyfile(launcher, target)
        return target

    def write_properties(self, path, lines):
        """A properties file of CR LF lines; `lines` are written as they stand."""
        Path(path).parent.mkdir(parents=True, exist_ok=True)
        Path(path).write_bytes("".join(line + "\r\n" for line in lines).encode("cp1252"))

    def properties(self, exec_path, args="", start_dir=None, extra=(), name="app.properties"):
        """The usual file: programName Demo, the executable, args, startDir, more lines."""
        start = self.wine.winpath(self.app) if start_dir is None else start_dir
        self.write_properties(self.app / name, ["programName=Demo",
                                                "execFilename=" + escaped(exec_path),
                                                "args=" + escaped(args),
                                                "startDir=" + escaped(start)] + list(extra))

    def runtime(self, name, with_javaw=True):
        """A runtime's home work/<name> with bin\\javaw.exe; its Windows path."""
        home = self.work / name
        (home / "bin").mkdir(parents=True, exist_ok=True)
        if with_javaw:
            shutil.copyfile(self.wine.program("javaw.exe"), home / "bin" / "javaw.exe")
        return self.wine.winpath(home)

    def run_launcher(self, tail="", cwd=None, env=None, **kwargs):
        """Start Demo.exe from `cwd` (default: the application folder) with `tail`."""
        edits = {"JAVAW_OUT": self.wine.winpath(self.records)}
        edits.update(env or {})
        cmdline = '"%s"' % self.wine.winpath(self.app / "Demo.exe") + (" " + tail if tail else "")
        result = self.wine.run(cmdline, cwd or self.app, env=edits, box_title=BOX_TITLE,
                               artifacts=self.work / "run", **kwargs)
        self.assertEqual(result.status, "exit", result)
        for ids in result.x_windows:
            self.assertTrue(ids, f"xdotool finds no window named {BOX_TITLE!r}")
        return result

    def started(self, count=1, timeout=20.0):
        """The records of the javaw.exe starts, once `count` of them are complete."""
        deadline = time.time() + timeout
        while True:
            text = self.records.read_text("cp1252") if self.records.exists() else ""
            records = parse_records(text)
            if len(records) >= count or time.time() > deadline:
                return records
            time.sleep(0.1)

    def assertNothingStarted(self):
        time.sleep(1.0)  # a start would have recorded within this time
        self.assertFalse(self.records.exists(), self.records.read_text("cp1252")
                         if self.records.exists() else "")

    # ---- the registry

    def register(self, runtimes, root=JAVASOFT):
        """runtimes: {subkey below JavaSoft: {value name: text}} (Windows lists subkeys by
        name, whatever the order they were written in)."""
        lines = []
        for key, values in runtimes.items():
            lines.append(f"[{root}\\{key}]")
            for name, value in values.items():
                lines.append('"%s"="%s"' % (name, value.replace("\\", "\\\\")))
        self.wine.reg_import(lines)

    def clear_runtimes(self):
        lines = [f"[-{JAVASOFT}]", f"[-{ADOPTIUM}]"]
        if self.wine.arch == "win64":
            lines.append(f"[-{JAVASOFT_32}]")
        self.wine.reg_import(lines)

"""Shared set-up of the installer stub's end-to-end tests (see wine.py for the harness).

``StubTestCase.run_stub`` starts a copy of installer.exe from a start directory with a controlled
set of temporary-directory variables: TEMP, TMP, HOME, HOMEDRIVE and HOMEPATH are removed unless a
test gives them (Windows variable names ignore case, so this covers temp, tmp, home, homedrive
and homepath too), so that no run ever falls back to a directory of the shared prefix by accident.
"""

import re
import shutil
import sys
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "harness"))  # wine.py
from wine import WineTestCase  # noqa: E402

BOX_TITLE = "Brevanto Installer: Error"
TEXT_ENGLISH = "\rUnable to unpack the installer."
TEXT_FRENCH = "\rImpossible d'extraire des fichiers."
TEXT_GERMAN = "\rNicht imstande, Dateien zu extrahieren."
TEXT_SPANISH = "\rNo es posible extraer archivos."
TEXT_ITALIAN = "\rIncapace estrarre gli archivi."
TEXT_PORTUGUESE = "\rIncapaz de extrair arquivos."
TEXT_OTHER = "\rUnable to extract files."  # Japanese, Polish and Dutch share it

MSG_UNZIP_FAILED = "Unable to unzip files. Out of disk space?"
MSG_NO_TEMP_DIR = "Unable to create a temp directory"

# One "errors.log" line on disk: asctime without its line end (day of month in two digits),
# a space, the message, CR LF.
STAMP = r"(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) " \
        r"\d\d \d\d:\d\d:\d\d \d{4}"

TEMP_VARIABLES = ("TEMP", "TMP", "HOME", "HOMEDRIVE", "HOMEPATH")


def errors_log_line(message):
    """Regex (bytes) for one line of "errors.log" holding `message`."""
    return re.compile(rb"^" + STAMP.encode() + rb" " + re.escape(message.encode("cp1252"))
                      + rb"\r\n")


def numbered_dirs(base):
    """Names of the tmpqelNN directories under `base`, sorted."""
    return sorted(p.name for p in Path(base).glob("tmpqel[0-9][0-9]") if p.is_dir())


def in_snapshot(snapshot, directory, relative=""):
    """{path relative to `relative`: bytes or None} of one snapshotted directory."""
    tree = snapshot[str(directory)]
    if not relative:
        return tree
    head = relative.rstrip("/") + "/"
    return {k[len(head):]: v for k, v in tree.items() if k.startswith(head)}


def top_level(tree):
    """Only the direct entries of a snapshot tree."""
    return {k: v for k, v in tree.items() if "/" not in k}


class StubTestCase(WineTestCase):
    """A work directory with helpers to place and run the installer stub."""

    def place_stub(self, directory, archive_members=None, name="installer.exe",
                   compression=zipfile.ZIP_STORED):
        """Copy installer.exe into `directory`; with `archive_members` ({name: bytes}) a ZIP
        archive made by Python's zipfile is appended, the way the packaging step does it."""
        directory = Path(directory)
        directory.mkdir(parents=True, exist_ok=True)
        target = directory / name
        shutil.copyfile(self.wine.program("installer.exe"), target)
        if archive_members is not None:
            # Mode "a" on a file that is not an archive appends one after its current end.
            with zipfile.ZipFile(target, "a", compression) as archive:
                for member, data in archive_members.items():
                    archive.writestr(member, data)
        return target

    def place_start_and_temp(self):
        """The usual scene: the stub alone in work/start, an empty work/temp for TEMP."""
        self.start = self.work / "start"
        self.place_stub(self.start)
        self.temp = self.work / "temp"
        self.temp.mkdir()

    def run_stub(self, start_dir, tail="", env=None, snapshot=(), stub=None, allow_timeout=False,
                 artifacts_name="run", **kwargs):
        """Run the stub found in `start_dir` (or `stub`) with the command-line tail `tail`.

        env: {name: value} for TEMP, TMP, HOME, HOMEDRIVE, HOMEPATH or others; a value may be a
        Path (converted to its Windows form) or None (removed). The temporary-directory
        variables not named are removed.
        """
        stub = Path(stub or Path(start_dir) / "installer.exe")
        edits = {name: None for name in TEMP_VARIABLES}
        for name, value in (env or {}).items():
            edits[name] = self.wine.winpath(value) if isinstance(value, Path) else value
        cmdline = '"%s"' % self.wine.winpath(stub) + (" " + tail if tail else "")
        result = self.wine.run(cmdline, start_dir, env=edits, box_title=BOX_TITLE,
                               snapshot=snapshot, artifacts=self.work / artifacts_name, **kwargs)
        if not allow_timeout:
            self.assertNotEqual(result.status, "timeout", f"the stub did not end: {result}")
        for ids in result.x_windows:
            self.assertTrue(ids, f"xdotool finds no window named {BOX_TITLE!r}")
        return result

    def assertErrorsLog(self, data, messages):
        """`data` (bytes of an errors.log) holds exactly one line per message, in order."""
        lines = data.split(b"\r\n")
        self.assertEqual(lines[-1], b"", f"errors.log does not end with CR LF: {data!r}")
        self.assertEqual(len(lines) - 1, len(messages), f"errors.log: {data!r}")
        for line, message in zip(lines, messages):
            self.assertRegex(line + b"\r\n", errors_log_line(message))

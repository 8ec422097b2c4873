"""Run the project's Windows programs under Wine, for the end-to-end tests, the demo and the
benchmarks (standard library only).

What it provides
----------------
``session()`` -> ``WineSession``: one X display (Xvfb), one Wine prefix and one warm wineserver,
shared by every test of the process. The session is started on first use and stopped at exit,
unless a CTest fixture started it already (``python3 wine.py start --state FILE``; the modules
then attach through the environment variable ``E2E_STATE``).

``WineSession`` attributes and methods:

- ``arch``: "win32" or "win64", taken from the programs in ``build_dir`` (PE32 or PE32+).
- ``build_dir``: the Windows build under test (``$WINE_BUILD_DIR``, else ``build/<probe()>``).
- ``program(name)``: path of a built program, e.g. ``program("installer.exe")``.
- ``winpath(path)``: the Windows form of a Unix path (``/a/b`` -> ``Z:\\a\\b``).
- ``drive_c``: Unix path of the prefix's C: drive.
- ``run(cmdline, cwd, env=..., box_title=..., snapshot=..., artifacts=...)`` -> ``RunResult``:
  starts a program through ``launch.exe`` with an exact command line, working directory and
  environment edits (``env`` maps a name to a value, or to ``None`` to remove it), captures its
  standard output and error in files, watches for message boxes titled ``box_title`` (reads each
  box's text, copies the ``snapshot`` directories while it is open, keeps a screenshot in
  ``artifacts``, then presses OK), and returns the exit code with all that.
- ``reg_import(lines)``: imports the lines of a REGEDIT4 file with ``regedit /S``.
- ``reg_set(key, values)``: writes registry values in one such import; a value of
  ``None`` deletes it. ``reg_query(key, name)`` reads one back (or ``None``).
- ``set_locale(locale=..., scountry=..., country=None)``: the user's locale values under
  ``HKCU\\Control Panel\\International``; ``reset_locale()`` restores Wine's defaults.
- ``wine(args, ...)``: run any Windows program or Wine tool in the prefix (output to files).
- ``screenshot(path)``: the whole X screen as PNG.

``WineTestCase``: a ``unittest.TestCase`` with ``self.wine`` (the session) and ``self.work``, a
fresh directory per test under ``build/e2e/work/``; it is removed when the test passes and kept
(with stdout, stderr, box texts, screenshots and directory snapshots) when it fails.

``probe()``: "win32" when this machine can execute 32-bit code (the 32-bit Wine loader starts),
else "win64". The shipped programs are 32-bit; where they cannot run, the win64 build of the same
sources is tested in a 64-bit prefix instead.

Command line: ``python3 wine.py probe | start --state FILE | stop --state FILE | info``.

Facts about Wine this module relies on
--------------------------------------
- Without an X display Wine creates no windows and message boxes return at once, so an Xvfb
  display is started (no window manager: boxes are read and closed from inside the prefix by
  boxtext.exe, since synthetic key presses do not reach them; xdotool confirms that each box is
  a window of that name on the display).
- Wine rebuilds the Windows command line from Unix arguments and sets TEMP/TMP from its registry,
  so programs under test are started by launch.exe, configured through LAUNCH_* variables.
- The loader is called directly (/usr/lib/wine/wine64 or /usr/lib/wine/wine): /usr/bin/wine
  prefers the 32-bit loader, which fails where 32-bit code cannot run.
- ``wine reg`` runs reg.exe from the current directory first, so Wine tools run in the prefix dir.
- A ``TZ`` in the Windows environment confuses the runtime library's localtime; it is removed.
"""

import atexit
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
E2E_ROOT = Path(os.environ.get("E2E_ROOT", REPO / "build" / "e2e"))
WINE_DIR = Path("/usr/lib/wine")
LOADERS = {"win32": WINE_DIR / "wine", "win64": WINE_DIR / "wine64"}
WINESERVER = next((p for p in (WINE_DIR / "wineserver64", WINE_DIR / "wineserver32",
                               WINE_DIR / "wineserver") if os.access(p, os.X_OK)),
                  WINE_DIR / "wineserver")
INTERNATIONAL = r"HKEY_CURRENT_USER\Control Panel\International"
# Wine's own values for an en-US user, restored between tests that change them.
DEFAULT_LOCALE = {"Locale": "00000409", "sCountry": "United States", "Country": None}
DISPLAY_RANGE = range(140, 200)  # kept apart from the displays other tools tend to use
PREFIX_STAMP = ".e2e-ready"
WINE_TIMEOUT = 120  # seconds for any single Wine tool call
# What a Wine process gives when its start failed inside Wine, before its own code ran: exit
# code 1 and no output. Seen about once in a thousand starts here, more often under load (the
# cause inside Wine was not found). Only programs that never end with 1 themselves are started
# again on it, and only the helpers and Wine tools: a program under test never starts twice.
NOT_STARTED = (1, b"", b"")


def log(msg):
    print(f"[wine] {msg}", file=sys.stderr, flush=True)


def start_once_more(name, start, not_started):
    """start(), and once more (logged) when not_started(its result) says Wine failed to."""
    result = start()
    if not_started(result):
        log(f"{name} did not start (exit code 1, no output): starting it again")
        result = start()
    return result


# --------------------------------------------------------------------------------------------
# Which programs can run here


def probe():
    """"win32" when the 32-bit Wine loader runs on this machine, else "win64"."""
    forced = os.environ.get("E2E_WINE_ARCH")
    if forced in ("win32", "win64"):
        return forced
    loader = LOADERS["win32"]
    if not os.access(loader, os.X_OK):
        return "win64"
    try:
        # The kernel refuses i386 ELF files outright where 32-bit code cannot run.
        done = subprocess.run([str(loader), "--version"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        return "win32" if done.returncode == 0 else "win64"
    except OSError:
        return "win64"
    except subprocess.TimeoutExpired:
        return "win64"


def pe_arch(path):
    """"win32" for a PE32 (i386) file, "win64" for PE32+ (x86-64)."""
    data = Path(path).read_bytes()[:4096]
    offset = int.from_bytes(data[0x3C:0x40], "little")
    machine = int.from_bytes(data[offset + 4:offset + 6], "little")
    if data[:2] != b"MZ" or data[offset:offset + 4] != b"PE\0\0":
        raise ValueError(f"{path} is not a PE file")
    return {0x14C: "win32", 0x8664: "win64"}[machine]


def default_build_dir():
    env = os.environ.get("WINE_BUILD_DIR")
    return Path(env) if env else REPO / "build" / probe()


# --------------------------------------------------------------------------------------------
# Results


class RunResult:
    """What one run of a program under test left behind."""

    def __init__(self):
        self.status = None       # "exit", "timeout" or "error ..." (from launch.exe's report)
        self.exit_code = None    # the program's exit code when status == "exit"
        self.stdout = b""        # the program's standard output, bytes as written
        self.stderr = b""        # the program's standard error, bytes as written
        self.boxes = []          # texts of the boxes seen, in order (str, cp1252-decoded)
        self.snapshots = []      # per box: {unix dir: {relative path: bytes, or None for a dir}}
        self.screenshots = []    # per box: PNG path (or None when it could not be taken)
        self.x_windows = []      # per box: X window ids xdotool found under the box's title
        self.seconds = 0.0       # wall time of the run

    @property
    def box_text(self):
        """Text of the first box, or None when no box appeared."""
        return self.boxes[0] if self.boxes else None

    @property
    def snapshot(self):
        """Snapshot taken while the first box was open ({} when no box appeared)."""
        return self.snapshots[0] if self.snapshots else {}

    def __repr__(self):
        return (f"RunResult(status={self.status!r}, exit_code={self.exit_code!r}, "
                f"boxes={self.boxes!r}, stderr={self.stderr[:200]!r}, seconds={self.seconds:.2f})")


def snapshot_tree(root):
    """{relative posix path: bytes or None (directory)} for everything below `root`."""
    root = Path(root)
    tree = {}
    if not root.is_dir():
        return tree
    for dirpath, dirnames, filenames in os.walk(root):
        for d in dirnames:
            tree[(Path(dirpath) / d).relative_to(root).as_posix()] = None
        for f in filenames:
            p = Path(dirpath) / f
            try:
                tree[p.relative_to(root).as_posix()] = p.read_bytes()
            except OSError:
                tree[p.relative_to(root).as_posix()] = b"<unreadable>"
    return tree


# --------------------------------------------------------------------------------------------
# The session


class WineSession:
    def __init__(self, build_dir=None, state=None):
        self.build_dir = Path(build_dir) if build_dir else default_build_dir()
        helper = self.build_dir / "tests" / "winhelpers" / "launch.exe"
        if not helper.exists():
            raise FileNotFoundError(f"{helper} missing: build the Windows preset first")
        self.arch = pe_arch(helper)
        self.loader = LOADERS[self.arch]
        self.prefix = E2E_ROOT / f"prefix-{self.arch}"
        self.logs = E2E_ROOT / "logs"
        self.display = None
        self.xvfb_pid = None
        self.owned = False       # True when this process started Xvfb and must stop it
        self.prefix_seconds = 0.0
        if state:
            self.__dict__.update(display=state["display"], xvfb_pid=state["xvfb_pid"])

    # ---- paths

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    def program(self, name):
        """Path of a program of the build under test (top level or tests/winhelpers)."""
        for candidate in (self.build_dir / name, self.build_dir / "tests" / "winhelpers" / name):
            if candidate.exists():
                return candidate
        raise FileNotFoundError(f"{name} not found in {self.build_dir}")

    @staticmethod
    def winpath(path):
        """Windows form of a Unix path through drive Z: (the Unix root)."""
        text = str(Path(path).absolute())
        return "Z:" + text.replace("/", "\\")

    # ---- environment of every Wine process

    def base_env(self):
        env = dict(os.environ)
        for name in list(env):
            # Drop the caller's Wine settings and anything the programs must not inherit.
            if name.startswith(("WINE", "LAUNCH_")) or name in ("TZ", "LC_ALL", "LANGUAGE"):
                del env[name]
        env.update(WINEPREFIX=str(self.prefix), WINEARCH=self.arch, WINEDEBUG="-all",
                   WINELOADER=str(self.loader), WINESERVER=str(WINESERVER),
                   # A fixed Unix locale keeps Wine's default user locale at en-US.
                   LANG="C.UTF-8",
                   # No Mono or Gecko installer prompts while a prefix is made.
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def wine(self, args, cwd=None, extra_env=None, timeout=WINE_TIMEOUT, name="wine",
             start_again=False):
        """Run the loader with `args`; returns (returncode, stdout bytes, stderr bytes).

        Output goes through files: a wineserver can hold a pipe open after the program ends.
        start_again: the program never exits 1 by itself, so exit code 1 with no output is a
        start that failed inside Wine (NOT_STARTED); it is then started once more.
        """
        env = self.base_env()
        env.update(extra_env or {})
        self.logs.mkdir(parents=True, exist_ok=True)
        out, err = self.logs / f"{name}.out", self.logs / f"{name}.err"

        def run_loader():
            with open(out, "wb") as o, open(err, "wb") as e:
                done = subprocess.run([str(self.loader)] + [str(a) for a in args],
                                      cwd=str(cwd or self.prefix), env=env,
                                      stdin=subprocess.DEVNULL, stdout=o, stderr=e,
                                      timeout=timeout)
            return done.returncode, out.read_bytes(), err.read_bytes()

        return start_once_more(name, run_loader, lambda r: start_again and r == NOT_STARTED)

    def wineserver(self, *args, timeout=60):
        return subprocess.run([str(WINESERVER)] + list(args), env=self.base_env(),
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode

    # ---- start and stop

    def start(self, detach=False):
        """Start Xvfb, make or reuse the prefix, warm the wineserver, set the baseline."""
        if not self.display:
            self._start_xvfb(detach)
        self._ensure_prefix()
        # A persistent server keeps every later Wine start at a fraction of a second.
        self.wineserver("-p")
        self.reset_locale()
        self._scrub_prefix()
        log(f"using {self.arch} programs from {self.build_dir} in prefix {self.prefix} "
            f"on display {self.display}")
        return self

    def stop(self):
        """Stop the wineserver of our prefix and the Xvfb this session started."""
        try:
            self.wineserver("-k", timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            pass
        if self.xvfb_pid:
            try:
                os.kill(self.xvfb_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            if getattr(self, "_xvfb", None):
                try:
                    self._xvfb.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    self._xvfb.kill()
                    self._xvfb.wait()
            self.xvfb_pid = None

    def _start_xvfb(self, detach):
        self.logs.mkdir(parents=True, exist_ok=True)
        for n in DISPLAY_RANGE:
            if Path(f"/tmp/.X{n}-lock").exists() or Path(f"/tmp/.X11-unix/X{n}").exists():
                continue
            with open(self.logs / f"xvfb-{n}.log", "wb") as errlog:
                proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1024x768x24",
                                         "-nolisten", "tcp"], stdin=subprocess.DEVNULL,
                                        stdout=errlog, stderr=errlog, start_new_session=detach)
            deadline = time.time() + 15
            while time.time() < deadline:
                if proc.poll() is not None:
                    break  # display taken after all: try the next number
                if Path(f"/tmp/.X11-unix/X{n}").exists():
                    self.display, self.xvfb_pid, self.owned = f":{n}", proc.pid, True
                    self._xvfb = proc
                    return
                time.sleep(0.05)
            if proc.poll() is None:
                proc.kill()
        raise RuntimeError("no free X display for Xvfb")

    def _ensure_prefix(self):
        stamp = self.prefix / PREFIX_STAMP
        if stamp.exists() and stamp.read_text().strip() == self.arch:
            return
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        began = time.time()
        # wineboot reports a harmless missing syswow64\rundll32.exe in a 64-bit prefix.
        code, _, err = self.wine(["wineboot", "-i"], cwd=self.prefix.parent, name="wineboot",
                                 timeout=300)
        self.wineserver("-w", timeout=120)  # the prefix is complete on disk once it is idle
        if code != 0 or not (self.prefix / "system.reg").exists():
            raise RuntimeError(f"wineboot failed ({code}): {err.decode(errors='replace')[-2000:]}")
        stamp.write_text(self.arch + "\n")
        self.prefix_seconds = time.time() - began
        log(f"created {self.arch} prefix {self.prefix} in {self.prefix_seconds:.1f} s")

    def _scrub_prefix(self):
        """Remove what an interrupted earlier run may have left in the shared prefix."""
        for base in (self.drive_c, self.drive_c / "windows", self.drive_c / "windows" / "temp",
                     *self.drive_c.glob("users/*"), *self.drive_c.glob("users/*/Temp")):
            for leftover in base.glob("tmpqel[0-9][0-9]"):
                shutil.rmtree(leftover, ignore_errors=True)

    # ---- registry

    def reg_import(self, lines):
        """Import registry `lines` (the text of a REGEDIT4 file after its header) with regedit.

        Wine's regedit reports a bad line in text and still exits 0, so it can be started again
        when its start failed.
        """
        text = "\r\n".join(["REGEDIT4", ""] + lines) + "\r\n"
        fd, name = tempfile.mkstemp(prefix="import-", suffix=".reg", dir=self._scratch())
        regfile = Path(name)
        try:
            with os.fdopen(fd, "wb") as f:
                f.write(text.encode("cp1252"))
            code, _, err = self.wine(["regedit", "/S", self.winpath(regfile)], name="regedit",
                                     start_again=True)
            if code != 0:
                raise RuntimeError(f"regedit failed ({code}): {err!r}")
        finally:
            regfile.unlink(missing_ok=True)

    def reg_set(self, key, values):
        """Write {name: value or None} under `key` (full root name) with one regedit import."""
        lines = [f"[{key}]"]
        for name, value in values.items():
            quoted = '"%s"' % name.replace("\\", "\\\\").replace('"', '\\"')
            if value is None:
                lines.append(f"{quoted}=-")
            else:
                lines.append('%s="%s"' % (quoted, value.replace("\\", "\\\\").replace('"', '\\"')))
        self.reg_import(lines)

    def reg_query(self, key, name):
        """The value `name` under `key` as text, or None when absent."""
        code, out, _ = self.wine(["reg", "query", key, "/v", name], name="reg")
        if code != 0:
            return None
        for line in out.decode("cp1252", errors="replace").splitlines():
            parts = re.split(r"\s{4}", line.strip(), maxsplit=2)
            if len(parts) >= 2 and parts[0] == name:
                return parts[2] if len(parts) == 3 else ""
        return None

    def set_locale(self, locale="00000409", scountry="United States", country=None):
        self.reg_set(INTERNATIONAL, {"Locale": locale, "sCountry": scountry, "Country": country})

    def reset_locale(self):
        self.reg_set(INTERNATIONAL, DEFAULT_LOCALE)

    # ---- screen

    def screenshot(self, path):
        """Save the X screen as PNG; False when imagemagick could not do it."""
        try:
            done = subprocess.run(["import", "-window", "root", str(path)],
                                  env=dict(os.environ, DISPLAY=self.display),
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=30)
            return done.returncode == 0
        except (OSError, subprocess.TimeoutExpired):
            return False

    # ---- running a program under test

    def run(self, cmdline, cwd, env=None, box_title=None, snapshot=(), artifacts=None,
            timeout=60.0, box_wait=None, max_boxes=3, on_box=None):
        """Start `cmdline` (exact Windows command line) in `cwd` (Unix dir) through launch.exe.

        env:       {name: value or None}; applied to the inherited Windows environment (None
                   removes the variable; Windows names are case-insensitive).
        box_title: title of the message boxes to read and close while the program runs.
        snapshot:  Unix directories copied (recursively, into memory) while each box is open.
        artifacts: Unix directory for the run's files (stdout, stderr, report, screenshots);
                   a fresh temporary one when not given.
        timeout:   seconds before launch.exe ends the program (status "timeout").
        box_wait:  seconds to wait for the first box (default: the timeout; the wait ends
                   early once the program has ended).
        on_box:    called as on_box(result) while each box is open, after the snapshot (a test
                   can change files then, while the program waits for the user).
        """
        art = Path(artifacts or tempfile.mkdtemp(prefix="run-", dir=self._scratch()))
        art.mkdir(parents=True, exist_ok=True)
        report, out, err = art / "report.txt", art / "stdout.bin", art / "stderr.bin"
        for p in (report, out, err):
            p.unlink(missing_ok=True)
        edits = []
        for name, value in (env or {}).items():
            if "\n" in name or (value is not None and "\n" in value):
                raise ValueError("environment edits cannot hold line ends")
            edits.append(name if value is None else f"{name}={value}")
        launch_env = {
            "LAUNCH_CMDLINE": cmdline,
            "LAUNCH_DIR": self.winpath(cwd),
            "LAUNCH_ENV": "\n".join(edits),
            "LAUNCH_STDOUT": self.winpath(out),
            "LAUNCH_STDERR": self.winpath(err),
            "LAUNCH_TIMEOUT_MS": str(int(timeout * 1000)),
            "LAUNCH_REPORT": self.winpath(report),
        }
        result = RunResult()
        began = time.time()
        penv = self.base_env()
        penv.update(launch_env)
        proc = self._start_launch(penv, art / "launch.log", out, report)
        try:
            if box_title:
                # The wait ends a little before the program's time is up, so that a
                # missing box can still be looked for on the screen.
                self._watch_boxes(box_title, art, report, snapshot, result,
                                  max(timeout - 5, 1) if box_wait is None else box_wait,
                                  max_boxes, on_box)
                if not result.boxes and proc.poll() is None and not report.exists():
                    self.screenshot(art / "no-box.png")
            proc.wait(timeout=timeout + 30)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        result.seconds = time.time() - began
        text = report.read_text(errors="replace").strip() if report.exists() else "no report"
        if text.startswith("exit "):
            result.status, result.exit_code = "exit", int(text.split()[1])
        else:
            result.status = text
        result.stdout = out.read_bytes() if out.exists() else b""
        result.stderr = err.read_bytes() if err.exists() else b""
        (art / "result.txt").write_text(repr(result) + "\n")
        return result

    def _start_launch(self, env, logfile, out, report):
        """launch.exe, running; started once more when its own start failed inside Wine.

        launch.exe makes the program's output file before it starts the program, so a
        launch.exe that ended with NOT_STARTED and made no file never started the program.
        """
        def start():
            with open(logfile, "wb") as llog:
                proc = subprocess.Popen([str(self.loader), str(self.program("launch.exe"))],
                                        cwd=str(self.prefix), env=env,
                                        stdin=subprocess.DEVNULL, stdout=llog, stderr=llog)
            deadline = time.time() + 30
            while proc.poll() is None and not out.exists() and time.time() < deadline:
                time.sleep(0.01)
            return proc

        def never_started(proc):
            return (proc.poll() == 1 and not out.exists() and not report.exists()
                    and logfile.stat().st_size == 0)

        return start_once_more("launch.exe", start, never_started)

    def x_windows_named(self, title):
        """X window ids whose name is exactly `title` (xdotool), or [] when there are none."""
        try:
            done = subprocess.run(["xdotool", "search", "--name", "^%s$" % re.escape(title)],
                                  env=dict(os.environ, DISPLAY=self.display or ""),
                                  capture_output=True, text=True, timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            return []
        return done.stdout.split()

    def _watch_boxes(self, title, art, report, snapshot, result, first_wait, max_boxes, on_box):
        boxtext = str(self.program("boxtext.exe"))
        for i in range(max_boxes):
            textfile = art / f"box{i + 1}.txt"
            textfile.unlink(missing_ok=True)
            wait = first_wait if i == 0 else 5.0
            code, _, _ = self.wine([boxtext, "read", title, self.winpath(textfile), f"{wait:g}",
                                    self.winpath(report)], name="boxtext",
                                   timeout=wait + WINE_TIMEOUT, start_again=True)
            if code != 0:
                return
            result.boxes.append(textfile.read_bytes().decode("cp1252"))
            # The box is a real window on the display, under its title as the window name.
            result.x_windows.append(self.x_windows_named(title))
            # The box holds the program still: this is the moment to look at its files.
            result.snapshots.append({str(d): snapshot_tree(d) for d in snapshot})
            shot = art / f"box{i + 1}.png"
            result.screenshots.append(shot if self.screenshot(shot) else None)
            try:
                if on_box:
                    on_box(result)
            finally:
                # Closed even when on_box fails, or the program would wait until its timeout.
                code, _, _ = self.wine([boxtext, "close", title, "10"], name="boxtext",
                                       start_again=True)
            if code != 0:
                log(f"could not close box {title!r} (boxtext {code})")
                return

    def _scratch(self):
        path = E2E_ROOT / "scratch"
        path.mkdir(parents=True, exist_ok=True)
        return path


# --------------------------------------------------------------------------------------------
# One session per process


_SESSION = None


def session():
    """The process's shared session: attached to a fixture's, or started here."""
    global _SESSION
    if _SESSION is None:
        state_file = os.environ.get("E2E_STATE")
        state = None
        if state_file and Path(state_file).exists():
            state = json.loads(Path(state_file).read_text())
            try:
                os.kill(state["xvfb_pid"], 0)
            except (ProcessLookupError, PermissionError):
                state = None  # the fixture's display is gone; start our own
        s = WineSession(state["build_dir"] if state else None, state)
        s.start()
        if s.owned:
            atexit.register(s.stop)
        _SESSION = s
    return _SESSION


class WineTestCase(unittest.TestCase):
    """Base of the end-to-end tests: a session and a per-test work directory.

    The work directory is build/e2e/work/<module>/<test>; it is kept when the test fails.
    """

    wine = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.wine = session()

    def setUp(self):
        super().setUp()
        module = type(self).__module__.rsplit(".", 1)[-1]
        self.work = E2E_ROOT / "work" / module / self._testMethodName
        shutil.rmtree(self.work, ignore_errors=True)
        self.work.mkdir(parents=True)

    def run(self, result=None):
        # Pass or fail is known only from the result, after tearDown and the clean-ups ran.
        if result is None:
            return super().run(result)
        def problems():
            return (len(result.failures) + len(result.errors)
                    + len(getattr(result, "unexpectedSuccesses", ())))
        before, started = problems(), time.time()
        outcome = super().run(result)
        work = getattr(self, "work", None)
        if work is not None:
            if problems() == before:
                shutil.rmtree(work, ignore_errors=True)
            else:
                log(f"{self.id()}: kept {work}")
        log(f"{self.id()}: {time.time() - started:.1f} s")
        return outcome


# --------------------------------------------------------------------------------------------
# Command line: used by the CTest fixture and scripts/test.sh


def main(argv):
    if len(argv) < 2 or argv[1] not in ("probe", "start", "stop", "info"):
        print(__doc__.split("\n\n")[0])
        print("usage: wine.py probe | start --state FILE | stop --state FILE | info")
        return 2
    command = argv[1]
    if command == "probe":
        print(probe())
        return 0
    state_file = Path(argv[3]) if len(argv) > 3 and argv[2] == "--state" else None
    if command == "start":
        s = WineSession()
        s.start(detach=True)
        if state_file:
            state_file.parent.mkdir(parents=True, exist_ok=True)
            state_file.write_text(json.dumps({"display": s.display, "xvfb_pid": s.xvfb_pid,
                                              "build_dir": str(s.build_dir)}))
        print(f"{s.arch} {s.display}")
        return 0
    if command == "stop":
        if state_file and state_file.exists():
            state = json.loads(state_file.read_text())
            s = WineSession(state["build_dir"], state)
            s.stop()
            state_file.unlink()
        return 0
    s = WineSession()
    print(f"arch={s.arch} build_dir={s.build_dir} prefix={s.prefix} probe={probe()}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

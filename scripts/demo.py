#!/usr/bin/env python3
"""Run installer.exe under Wine on demonstration scenarios and show what it did.

Each scenario prepares a "Downloads" folder holding the package (installer.exe, with or without
an archive appended) and a Temp folder, runs the package the way a user's double-click would
(through the harness in harness/wine.py), and prints: the command line and environment, the
error box if one appeared (read back from the box itself), the files in the temporary
directory while the box was open, what the stub wrote to standard error, its exit code, and
what was left afterwards. Everything stays in build/demo/<scenario>/ (with a screenshot of the
box) for a closer look.

Usage: scripts/demo.py [SCENARIO...]   (default: all)
"""

import shutil
import sys
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "harness"))

import wine  # noqa: E402  (the end-to-end harness)

BOX_TITLE = "Brevanto Installer: Error"
DEMO = ROOT / "build" / "demo"


def show_tree(title, tree, indent="    "):
    print(f"  {title}")
    if not tree:
        print(f"{indent}(nothing)")
    for name in sorted(tree):
        data = tree[name]
        if data is None:
            print(f"{indent}{name}/")
        else:
            print(f"{indent}{name}  ({len(data)} bytes)")
            if name.endswith((".txt", ".log", ".sem")) and 0 < len(data) <= 400:
                for line in data.decode("cp1252").splitlines(keepends=True):
                    print(f"{indent}    | {line!r}")


def demonstrate(session, name, story, archive=None, start_files=None, leftovers=None,
                tail="", locale=None):
    """Run one scenario and print what happened.

    archive:     {member name: bytes} appended to installer.exe (Python zipfile), or None
    start_files: {name: bytes} placed beside the package (e.g. switch files such as term.log)
    leftovers:   {relative path: bytes} placed in Temp beforehand, as an earlier run might have
    locale:      (Locale, sCountry) registry values for the run, or None for Wine's en-US
    """
    root = DEMO / name
    shutil.rmtree(root, ignore_errors=True)
    downloads, temp = root / "Downloads", root / "Temp"
    downloads.mkdir(parents=True)
    temp.mkdir()
    package = downloads / "installer.exe"
    shutil.copyfile(session.program("installer.exe"), package)
    if archive is not None:
        with zipfile.ZipFile(package, "a", zipfile.ZIP_DEFLATED) as z:
            for member, data in archive.items():
                z.writestr(member, data)
    for fname, data in (start_files or {}).items():
        (downloads / fname).write_bytes(data)
    for rel, data in (leftovers or {}).items():
        (temp / rel).parent.mkdir(parents=True, exist_ok=True)
        (temp / rel).write_bytes(data)

    cmdline = '"%s"' % session.winpath(package) + (" " + tail if tail else "")
    env = {"TEMP": session.winpath(temp), "TMP": None, "HOME": None, "HOMEDRIVE": None,
           "HOMEPATH": None}
    print()
    print("=" * 78)
    print(f"Scenario {name}: {story}")
    print("=" * 78)
    print(f"  command line : {cmdline}")
    print(f"  directory    : {session.winpath(downloads)}")
    print(f"  TEMP         : {env['TEMP']}   (TMP, HOME, HOMEDRIVE, HOMEPATH removed)")
    if locale:
        print(f"  locale       : Locale={locale[0]!r} sCountry={locale[1]!r}")
        session.set_locale(locale=locale[0], scountry=locale[1])
    show_tree("Downloads before:", wine.snapshot_tree(downloads))
    show_tree("Temp before:", wine.snapshot_tree(temp))
    try:
        result = session.run(cmdline, downloads, env=env, box_title=BOX_TITLE,
                             snapshot=[temp], artifacts=root / "run")
    finally:
        if locale:
            session.reset_locale()
    print()
    if result.boxes:
        for text, shot in zip(result.boxes, result.screenshots):
            print(f"  error box    : title {BOX_TITLE!r}, text {text!r}")
            if shot:
                print(f"  screenshot   : {shot}")
        show_tree("Temp while the box was open:", result.snapshot[str(temp)])
    else:
        print("  error box    : none")
    print(f"  stderr       : {result.stderr.decode('cp1252')!r}")
    print(f"  exit code    : {result.exit_code}  ({result.status}, {result.seconds:.1f} s)")
    show_tree("Temp afterwards:", wine.snapshot_tree(temp))
    show_tree("Downloads afterwards:", wine.snapshot_tree(downloads))
    return result


def scenario_no_archive(session):
    return demonstrate(
        session, "no-archive",
        "a package without an appended archive; term.log beside it; a leftover tmpqel01",
        start_files={"term.log": b"", "trace.log": b"old trace text"},
        leftovers={"tmpqel01/from-an-earlier-run.txt": b"old"})


def scenario_german(session):
    return demonstrate(
        session, "no-archive-german",
        "the same failure for a user whose Windows says sCountry=Germany",
        locale=("00000407", "Germany"))


SCENARIOS = {"no-archive": scenario_no_archive, "no-archive-german": scenario_german}


def main(argv):
    names = argv[1:] or list(SCENARIOS)
    unknown = [n for n in names if n not in SCENARIOS]
    if unknown:
        print(f"unknown scenario(s) {unknown}; known: {list(SCENARIOS)}")
        return 2
    session = wine.session()
    print(f"Running the {session.arch} build from {session.build_dir} under Wine "
          f"(prefix {session.prefix}, display {session.display})")
    for n in names:
        SCENARIOS[n](session)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

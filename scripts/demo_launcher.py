#!/usr/bin/env python3
"""The Java launcher's part of the main job: a packaged application starts its Java program.

The application is made the way the packaging product ships one: tools/pack_launcher.py copies
Velmora.exe to MyApp.exe and patches the name of its launch properties file into it; beside it
lie app.properties and lib/app.jar, a small class (tests/e2e/java/ShowLaunch.java, compiled
here with javac) that prints its arguments, working directory and CLASSPATH. MyApp.exe is
started under Wine (through the harness of harness/wine.py) with a command-line tail and a
CLASSPATH in its environment; the Java executable it starts is the host's real JVM, a Linux
program that Wine runs directly.

Scenarios: the configured JVM; a configured Java that is missing, replaced by a runtime found
in the registry; no acceptable runtime at all (the "Startup Error" box). Everything stays in
build/demo/launcher/<scenario>/ for a closer look.

Usage: WINE_BUILD_DIR=build/win32 scripts/demo_launcher.py   (scripts/demo.sh runs it)
"""

import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "harness"))
sys.path.insert(0, str(ROOT / "tools"))

import pack_launcher  # noqa: E402
import wine  # noqa: E402  (the end-to-end harness)

DEMO = ROOT / "build" / "demo" / "launcher"
JAVA_SOURCE = ROOT / "tests" / "e2e" / "java" / "ShowLaunch.java"
JAVASOFT = r"HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft"
BOX_TITLE = "Startup Error"
ARGS = '-cp lib/app.jar demo.ShowLaunch "Hello from Velmora"'
TAIL = '"my file.txt" --verbose'


def build(arch):
    """Velmora.exe and the harness helpers for the shipped build and the one that runs here."""
    for preset in sorted({"win32", arch}):
        subprocess.run(["cmake", "--build", "--preset", preset, "-j2", "--target", "Velmora",
                        "launch", "boxtext"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)


def make_jar(folder):
    classes = folder / "classes"
    subprocess.run(["javac", "-d", str(classes), str(JAVA_SOURCE)], check=True)
    (folder / "lib").mkdir()
    subprocess.run(["jar", "cf", str(folder / "lib" / "app.jar"), "-C", str(classes), "."],
                   check=True)
    shutil.rmtree(classes)


def make_application(session, folder, exec_path, extra=()):
    """MyApp.exe (the patched launcher), app.properties and lib/app.jar in `folder`."""
    folder.mkdir(parents=True)
    launcher = session.program("Velmora.exe")
    pack_launcher.main(["-l", str(launcher), "-o", str(folder / "MyApp.exe"),
                        "-p", "app.properties"])
    print(f"  tools/pack_launcher.py -l {launcher.relative_to(ROOT)} -o MyApp.exe "
          "-p app.properties")
    lines = ["# MyApp launch settings", "programName=My App",
             "execFilename=" + exec_path.replace("\\", "\\\\"), "args=" + ARGS,
             "startDir=" + session.winpath(folder).replace("\\", "\\\\")] + list(extra)
    (folder / "app.properties").write_bytes("".join(l + "\r\n" for l in lines).encode())
    make_jar(folder)
    (folder / "startapp.log").write_bytes(b"")  # switches the launcher's trace on
    print("  app.properties:")
    for line in lines:
        print(f"    | {line}")


def set_runtimes(session, runtimes):
    """Replace the registry's Java runtimes by {subkey below JavaSoft: JavaHome}."""
    lines = [f"[-{JAVASOFT}]"]
    for key, home in runtimes.items():
        lines += [f"[{JAVASOFT}\\{key}]", '"JavaHome"="%s"' % home.replace("\\", "\\\\")]
    session.reg_import(lines)
    for key, home in runtimes.items():
        print(f"  registry: {JAVASOFT}\\{key}  JavaHome = {home}")


def log_line(raw):
    """A trace line: 8-bit text, but "doesn´t" carries its accent as UTF-8."""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp1252")


def run(session, folder, full_trace=False):
    cmdline = '"%s" %s' % (session.winpath(folder / "MyApp.exe"), TAIL)
    print(f"  command line : {cmdline}")
    print(f"  environment  : CLASSPATH=C:\\legacy\\classes (the launcher removes it)")
    result = session.run(cmdline, folder, env={"CLASSPATH": r"C:\legacy\classes"},
                         box_title=BOX_TITLE, artifacts=folder / "run")
    print(f"  MyApp.exe ended with exit code {result.exit_code}")
    for text in result.boxes:
        print(f"  '{BOX_TITLE}' box:")
        for line in text.split("\n"):
            print(f"    | {line}")
    out = folder / "run" / "stdout.bin"
    if not result.boxes:
        # The launcher does not wait for its program: its output arrives afterwards.
        deadline = time.time() + 30
        while not out.read_bytes().endswith(b"end\n") and time.time() < deadline:
            time.sleep(0.2)
        print("  the Java program printed:")
        for line in out.read_text().splitlines():
            print(f"    | {line}")
    print("  startapp.log (the launcher's trace%s):"
          % ("" if full_trace else "; the properties file's lines left out"))
    for raw in (folder / "startapp.log").read_bytes().splitlines():
        line = log_line(raw)
        if full_trace or not (" original line " in line or " unescaped line " in line):
            print(f"    | {line}")


def scenario(name, story):
    print()
    print("=" * 78)
    print(f"Scenario {name}: {story}")
    print("=" * 78)
    return DEMO / name


def main():
    session = wine.session()
    build(session.arch)
    shutil.rmtree(DEMO, ignore_errors=True)
    DEMO.mkdir(parents=True)
    launcher = session.program("Velmora.exe")
    shipped = ROOT / "build" / "win32" / "Velmora.exe"
    print(f"\nJava launcher: shipped program {shipped.relative_to(ROOT)} "
          f"({shipped.stat().st_size} bytes)")
    if launcher != shipped:
        print(f"this machine cannot execute 32-bit code: running {launcher.relative_to(ROOT)} "
              "(same sources) in a 64-bit Wine prefix")
    try:
        folder = scenario("configured-java", "app.properties names the host's JVM")
        make_application(session, folder, r"Z:\usr\bin\java")
        set_runtimes(session, {})
        run(session, folder, full_trace=True)

        folder = scenario("java-from-registry", "the configured Java 8 is gone; the registry "
                          "knows a Java 8 (too old) and a Java 17")
        jdk = DEMO / "jdk-17"
        (jdk / "bin").mkdir(parents=True)
        os.symlink("/usr/bin/java", jdk / "bin" / "java")  # stands in for an installed JDK
        make_application(session, folder, r"C:\Program Files\Java\jre1.8.0_202\bin\java",
                         ["jvmMinVersion=11"])
        set_runtimes(session, {r"Java Runtime Environment\1.8": r"C:\Program Files\Java\jre8",
                               r"JDK\17": session.winpath(jdk)})
        run(session, folder)

        folder = scenario("no-java", "the configured Java is gone and none is registered")
        make_application(session, folder, r"C:\Program Files\Java\jre1.8.0_202\bin\java")
        set_runtimes(session, {})
        run(session, folder)
    finally:
        set_runtimes(session, {})
    print(f"\n(kept in {DEMO})")
    return 0


if __name__ == "__main__":
    sys.exit(main())

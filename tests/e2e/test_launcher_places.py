"""A missing Java executable is replaced by a runtime found where users have one today: a
vendor's own registry key, JAVA_HOME, the search path; and bounds compare as version numbers
beyond the classic key (Java 9 is below 11), as an update number within it.
"""

import unittest

from launchertools import ADOPTIUM, LauncherTestCase

MISSING = r"Z:\nowhere\jre\bin\javaw.exe"

# (label, runtimes as (where, name, JAVA_VERSION of its release file or None), version bounds,
#  the name of the runtime expected to start). Names are key names and home folder names.
SCENARIOS = [
    ("a vendor key only", [("adoptium", "21.0.5.11", None)], {"jvmMinVersion": "11"},
     "21.0.5.11"),
    ("JAVA_HOME only", [("java_home", "jdk17", "17.0.2")], {"jvmMinVersion": "17"}, "jdk17"),
    ("the search path only", [("path", "jdk21", "21.0.1")], {}, "jdk21"),
    ("minimum 11 with Java 9 and 17 installed",
     [("jdk", "9.0.4", None), ("jdk", "17", None)], {"jvmMinVersion": "11"}, "17"),
    ("an update above 99 in the classic key", [("classic", "1.8.0_451", None)],
     {"jvmMinVersion": "1.8.0_60"}, "1.8.0_451"),
]


class RuntimePlaces(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.place_launcher()
        (self.app / "startapp.log").write_bytes(b"")

    def install(self, where, name, release, env):
        home = self.runtime(name)
        if release:
            (self.work / name / "release").write_text('JAVA_VERSION="%s"\n' % release)
        if where == "adoptium":
            self.register({r"JDK\%s\hotspot\MSI" % name: {"Path": home}}, root=ADOPTIUM)
        elif where == "jdk":
            self.register({r"JDK\%s" % name: {"JavaHome": home}})
        elif where == "classic":
            self.register({r"Java Runtime Environment\%s" % name: {"JavaHome": home}})
        elif where == "java_home":
            env["JAVA_HOME"] = home
        else:
            env["PATH"] = home + r"\bin;C:\windows\system32;C:\windows"
        return home

    def test_scenarios(self):
        for label, runtimes, bounds, expected in SCENARIOS:
            with self.subTest(label):
                self.clear_runtimes()
                self.records.unlink(missing_ok=True)
                env = {"JAVA_HOME": None}
                homes = {name: self.install(where, name, release, env)
                         for where, name, release in runtimes}
                self.properties(MISSING, "-x",
                                extra=["%s=%s" % item for item in bounds.items()])
                result = self.run_launcher(env=env)
                self.assertEqual((result.exit_code, result.boxes), (1, []), result)
                self.assertEqual([r["program"] for r in self.started()],
                                 [homes[expected] + r"\bin\javaw.exe"])


if __name__ == "__main__":
    unittest.main()

"""The application manifest that both programs carry, read out of the built executables.

Windows refuses to start a program whose manifest is malformed, while Wine forgives it, so the
manifest is taken from the resource section of each built program (the shipped 32-bit build
when it exists, and the build under test) and parsed here. Needs no Wine.
"""

import os
import struct
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
RT_MANIFEST = 24
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED_OS = {  # Vista, 7, 8, 8.1, 10 and 11
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


def resource(path, type_id, name_id):
    """The bytes of resource type_id/name_id (first language) of a PE file, or None."""
    data = Path(path).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    for i in range(sections):
        header = optional + optional_size + 40 * i
        _, size, rva, _, raw = struct.unpack_from("<8sIIII", data, header)
        if rva <= rsrc_rva < rva + size:
            base = raw + rsrc_rva - rva
            break
    else:
        return None

    def entries(offset):
        named, ids = struct.unpack_from("<12xHH", data, base + offset)
        for j in range(named + ids):
            yield struct.unpack_from("<II", data, base + offset + 16 + 8 * j)

    def subdirectory(offset, wanted):
        return next((target & 0x7FFFFFFF for key, target in entries(offset)
                     if key == wanted and target & 0x80000000), None)

    names = subdirectory(0, type_id)
    languages = subdirectory(names, name_id) if names is not None else None
    if languages is None:
        return None
    leaf = next(entries(languages))[1]
    data_rva, data_size = struct.unpack_from("<II", data, base + leaf)
    start = base + data_rva - rsrc_rva
    return data[start:start + data_size]


def built_programs():
    dirs = {REPO / "build" / "win32"}
    if os.environ.get("WINE_BUILD_DIR"):
        dirs.add(Path(os.environ["WINE_BUILD_DIR"]))
    return [d / name for d in sorted(dirs) for name in ("installer.exe", "Velmora.exe")
            if (d / name).exists()]


class Manifest(unittest.TestCase):
    def test_every_built_program_carries_the_manifest(self):
        programs = built_programs()
        if not programs:
            self.skipTest("no Windows build")
        for program in programs:
            with self.subTest(program=str(program)):
                text = resource(program, RT_MANIFEST, 1)
                self.assertIsNotNone(text, "no manifest resource 24/1")
                root = ET.fromstring(text)  # raises on a malformed manifest
                level = root.find(f"{ASM_V3}trustInfo/{ASM_V3}security/"
                                  f"{ASM_V3}requestedPrivileges/{ASM_V3}requestedExecutionLevel")
                self.assertEqual((level.get("level"), level.get("uiAccess")),
                                 ("asInvoker", "false"))
                self.assertEqual({os_.get("Id") for os_ in
                                  root.iter(f"{COMPAT}supportedOS")}, SUPPORTED_OS)
                controls = [a.attrib for a in root.iter("{urn:schemas-microsoft-com:asm.v1}"
                                                        "assemblyIdentity")
                            if a.get("name") == "Microsoft.Windows.Common-Controls"]
                self.assertEqual([(c["version"], c["publicKeyToken"]) for c in controls],
                                 [("6.0.0.0", "6595b64144ccf1df")])
                settings = {e.tag.split("}")[1]: e.text for e in
                            root.find(f"{ASM_V3}application/{ASM_V3}windowsSettings")}
                self.assertEqual(settings["dpiAware"], "true/pm")
                self.assertEqual(settings["dpiAwareness"].split(",")[0], "PerMonitorV2")


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""The packing tool's launcher step: an application's own copy of the Java launcher.

Copies Velmora.exe to the application's name and patches the name of its launch properties
file, and optionally an alternative directory to look for that file in, into the two
fixed-width fields of the copy. Each field holds 300 characters and a terminator; it is found
by its initial text with its padding of spaces, which occurs exactly once in the launcher,
and the value is written left-aligned and padded with spaces. The launcher drops trailing
spaces, so a value cannot end in one.

Only the Python standard library is used.
"""

import argparse
import os
import sys
import tempfile

from authenticode import SignError, sign_file, signing_tool

FIELD_LENGTH = 300
PROPERTY_FILENAME_MARKER = b"QzjQzjVelmoraPropertiesFilename"
ALT_DIR_MARKER = b"QzyQzyVelmoraPropertiesAltDir"
# The launcher keeps at most this much of the property file name (a 261-byte buffer).
PROPERTY_FILENAME_MAX = 260
ALT_DIR_MAX = FIELD_LENGTH
# The launcher reads its fields as 8-bit text in the Windows ANSI code page.
ENCODING = "cp1252"


class PackError(Exception):
    """A failure that ends the run with a message and a non-zero exit code."""


def field_text(marker):
    """A field as the unpatched launcher holds it: marker, spaces to 300, terminator."""
    return marker + b" " * (FIELD_LENGTH - len(marker)) + b"\0"


def find_field(image, marker, what):
    """Offset of the one unpatched field; refuses a launcher without exactly one."""
    text = field_text(marker)
    count = image.count(text)
    if count != 1:
        found = "not found" if count == 0 else "found %d times" % count
        raise PackError("the %s field is %s in the launcher (not an unpatched Velmora.exe?)"
                        % (what, found))
    return image.index(text)


def encode_value(value, limit, what):
    """The value as the launcher's bytes, checked to be expressible in its field."""
    if value == "":
        raise PackError("the %s is empty" % what)
    if value.endswith(" "):
        raise PackError("the %s ends in a space, which the launcher would drop: %r"
                        % (what, value))
    if any(ord(c) < 0x20 for c in value):
        raise PackError("the %s holds a control character: %r" % (what, value))
    try:
        data = value.encode(ENCODING)
    except UnicodeEncodeError:
        raise PackError("the %s has characters outside Windows-1252: %r" % (what, value))
    if len(data) > limit:
        raise PackError("the %s has %d characters; the launcher takes at most %d"
                        % (what, len(data), limit))
    return data


def patch(image, properties, alt_dir=None):
    """Return the launcher image with its fields patched."""
    data = bytearray(image)
    name = encode_value(properties, PROPERTY_FILENAME_MAX, "property file name")
    if name.startswith(PROPERTY_FILENAME_MARKER):
        raise PackError("the property file name begins with the launcher's marker text, "
                        "so the launcher would take it for unpatched")
    fields = [(find_field(image, PROPERTY_FILENAME_MARKER, "property file name"), name)]
    offset = find_field(image, ALT_DIR_MARKER, "alternative directory")
    if alt_dir is not None:
        fields.append((offset, encode_value(alt_dir, ALT_DIR_MAX, "alternative directory")))
    for offset, value in fields:
        data[offset:offset + FIELD_LENGTH] = value.ljust(FIELD_LENGTH, b" ")
    return bytes(data)


def write_launcher(launcher, output, properties, alt_dir=None):
    """Write the patched copy of `launcher` to `output`, whole or not at all."""
    try:
        with open(launcher, "rb") as f:
            image = f.read()
    except OSError as e:
        raise PackError("cannot read the launcher %s: %s" % (launcher, e.strerror))
    patched = patch(image, properties, alt_dir)
    if os.path.isdir(output):
        raise PackError("output is a folder: %s" % output)
    if os.path.exists(output) and os.path.samefile(output, launcher):
        raise PackError("output would overwrite the launcher: %s" % output)
    folder = os.path.dirname(os.path.abspath(output))
    try:
        fd, temporary = tempfile.mkstemp(prefix=".pack-launcher-", dir=folder)
    except OSError as e:
        raise PackError("cannot write into %s: %s" % (folder, e.strerror))
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(patched)
        os.chmod(temporary, 0o755)
        os.replace(temporary, output)
    except OSError as e:
        try:
            os.remove(temporary)
        except OSError:
            pass
        raise PackError("cannot write %s: %s" % (output, e.strerror))


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="pack_launcher.py",
        description="Make an application's launcher: copy the Java launcher Velmora.exe "
                    "to OUTPUT (the application's program name, such as MyApp.exe) and "
                    "patch into the copy the name of the launch properties file it reads "
                    "and, optionally, a directory to look for that file in when it is not "
                    "found by its name.",
        epilog="The launcher reads the properties file relative to its current directory "
               "(normally the one it is started from), and otherwise in ALT_DIR. Values "
               "are Windows-1252 text without control characters; the property file name "
               "takes at most %d characters and the directory %d, and neither may end in "
               "a space. The launcher given must be unpatched. Exit status: 0 on success, "
               "1 on failure, 2 on bad usage." % (PROPERTY_FILENAME_MAX, ALT_DIR_MAX))
    p.add_argument("-l", "--launcher", required=True, help="the unpatched Velmora.exe")
    p.add_argument("-o", "--output", required=True, help="the application's launcher to write")
    p.add_argument("-p", "--properties", required=True,
                   help="name (or path) of the launch properties file, e.g. app.properties")
    p.add_argument("-a", "--alt-dir", help="alternative directory holding the properties file")
    p.add_argument("--sign", nargs=2, metavar=("CERT", "KEY"),
                   help="sign the launcher with osslsigncode after patching it (certificate "
                        "and private key files); the signature covers the patched fields")
    return p.parse_args(argv)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    try:
        if args.sign:
            signing_tool()  # before anything is written
        write_launcher(args.launcher, args.output, args.properties, args.alt_dir)
        if args.sign:
            sign_file(args.output, *args.sign)
    except (PackError, SignError) as e:
        print("pack_launcher.py: error: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

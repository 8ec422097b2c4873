#!/usr/bin/env python3
"""Build an installer package: the installer stub followed by a ZIP archive.

The stub extracts the archive appended to its own executable into a fresh temporary
directory and starts the archive's "installer.exe" from there. This tool writes that
package from a folder (or from an existing ZIP archive) and the stub executable.

Offsets: by default the archive is appended as it is, so every offset in it counts from
the archive's own start; the stub works out the length of the executable in front of it.
With --correct-offsets every local-header offset and the central directory offset are
moved by the stub's length, so the offsets count from the start of the whole file, as in
self-extractors made by other tools; the stub reads both forms.

Only the Python standard library is used.
"""

import argparse
import io
import os
import stat
import struct
import sys
import zipfile

from authenticode import SignError, sign_file, signing_tool

# The standard library's record of one member (name, time, attributes).
MemberRecord = getattr(zipfile, "Zip" "Info")

# ZIP record layout (little-endian).
SIG_LOCAL = b"PK\x03\x04"
SIG_CENTRAL = b"PK\x01\x02"
SIG_END = b"PK\x05\x06"
END_REC_LEN = 22
CDIR_ENTRY_LEN = 46
END_SEARCH_LEN = 66000  # the stub searches no further back for the end record
ZIP32_LIMIT = 0xFFFFFFFF

# Low byte of the external attributes as Windows reads it.
DOS_READONLY = 0x01

INSTALLER_NAME = "installer.exe"
DEFLATE_LEVEL = 9  # packages are made once and downloaded often: the smallest output


class PackError(Exception):
    """A failure that ends the run with a message and a non-zero exit code."""


def find_end_record(data):
    """Offset of the end-of-central-directory record, searching back as the stub does."""
    lo = max(0, len(data) - END_SEARCH_LEN)
    pos = data.rfind(SIG_END, lo)
    while pos >= 0:
        if pos + END_REC_LEN <= len(data):
            return pos
        pos = data.rfind(SIG_END, lo, pos)
    raise PackError("no end-of-central-directory record found: not a ZIP archive")


def read_geometry(data):
    """(end record offset, directory offset, directory size, entry count) of a ZIP."""
    end = find_end_record(data)
    (_sig, _disk, _cdisk, _n_disk, count, cd_size, cd_offset,
     _clen) = struct.unpack_from("<4sHHHHIIH", data, end)
    if count == 0xFFFF or cd_size == ZIP32_LIMIT or cd_offset == ZIP32_LIMIT:
        raise PackError("ZIP64 archive: the stub reads only plain ZIP archives")
    return end, cd_offset, cd_size, count


def correct_offsets(archive, shift):
    """Return archive with every stored offset moved by shift bytes."""
    data = bytearray(archive)
    end, cd_offset, cd_size, count = read_geometry(data)
    if cd_offset + cd_size != end:
        raise PackError("the archive has bytes in front of it or a damaged directory")
    pos = cd_offset
    for index in range(count):
        if data[pos:pos + 4] != SIG_CENTRAL:
            raise PackError("central directory entry %d not found" % index)
        name_len, extra_len, comment_len = struct.unpack_from("<HHH", data, pos + 28)
        (local_offset,) = struct.unpack_from("<I", data, pos + 42)
        if local_offset == ZIP32_LIMIT or local_offset + shift > ZIP32_LIMIT:
            raise PackError("package too large for plain ZIP offsets")
        struct.pack_into("<I", data, pos + 42, local_offset + shift)
        pos += CDIR_ENTRY_LEN + name_len + extra_len + comment_len
    if cd_offset + shift > ZIP32_LIMIT:
        raise PackError("package too large for plain ZIP offsets")
    struct.pack_into("<I", data, end + 16, cd_offset + shift)
    return bytes(data)


def archive_from_zip(path):
    """Bytes of an existing ZIP archive, checked to start at its own first byte."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise PackError("cannot read ZIP archive %s: %s" % (path, e.strerror))
    end, cd_offset, cd_size, _count = read_geometry(data)
    if end != cd_offset + cd_size:
        raise PackError("%s has data in front of the archive (already a package?); "
                        "give a plain ZIP archive" % path)
    try:
        with zipfile.ZipFile(io.BytesIO(data)) as zf:
            names = zf.namelist()
    except zipfile.BadZipFile as e:
        raise PackError("%s is not a usable ZIP archive: %s" % (path, e))
    return data, names


def dos_attributes(st):
    """Windows attribute byte for a file: read-only when the owner may not write."""
    return 0 if st.st_mode & stat.S_IWUSR else DOS_READONLY


def walk_folder(folder, skip):
    """(path, archive name) pairs of a folder in a stable order, directories first."""
    entries = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        rel_root = os.path.relpath(root, folder)
        for d in list(dirs):
            full = os.path.join(root, d)
            if os.path.islink(full):
                print("warning: skipping symbolic link to a folder: %s" % full, file=sys.stderr)
                dirs.remove(d)
                continue
        for d in dirs:
            rel = d if rel_root == "." else os.path.join(rel_root, d)
            entries.append((os.path.join(root, d), rel))
        for name in sorted(files):
            full = os.path.join(root, name)
            if skip and os.path.exists(full) and any(os.path.samefile(full, s) for s in skip):
                continue
            rel = name if rel_root == "." else os.path.join(rel_root, name)
            entries.append((full, rel))
    entries.sort(key=lambda e: e[1].replace(os.sep, "/"))
    return entries


def archive_from_folder(folder, method, skip):
    """A ZIP archive of the folder's contents, names relative to the folder."""
    buf = io.BytesIO()
    names = []
    with zipfile.ZipFile(buf, "w", compression=method, compresslevel=DEFLATE_LEVEL,
                         allowZip64=False, strict_timestamps=False) as zf:
        for full, rel in walk_folder(folder, skip):
            try:
                info = MemberRecord.from_file(full, rel, strict_timestamps=False)
                st = os.stat(full)
            except OSError as e:
                raise PackError("cannot read %s: %s" % (full, e.strerror))
            if info.is_dir():
                zf.writestr(info, b"")
            else:
                info.compress_type = method
                info.external_attr |= dos_attributes(st)
                try:
                    with open(full, "rb") as src, zf.open(info, "w") as dst:
                        while True:
                            block = src.read(1 << 20)
                            if not block:
                                break
                            dst.write(block)
                except OSError as e:
                    raise PackError("cannot read %s: %s" % (full, e.strerror))
                except zipfile.LargeZipFile:
                    raise PackError("%s is too large for a plain ZIP archive" % full)
            names.append(info.filename)
    return buf.getvalue(), names


def build_package(stub_path, source, output, method=zipfile.ZIP_DEFLATED,
                  correct=False, allow_missing_installer=False):
    """Write stub + archive to output; returns (stub length, archive length, names)."""
    if not os.path.isfile(stub_path):
        raise PackError("stub not found: %s" % stub_path)
    try:
        with open(stub_path, "rb") as f:
            stub = f.read()
    except OSError as e:
        raise PackError("cannot read stub %s: %s" % (stub_path, e.strerror))
    if not stub:
        raise PackError("stub is empty: %s" % stub_path)

    if os.path.isdir(source):
        skip = [p for p in (output, stub_path) if os.path.exists(p)]
        archive, names = archive_from_folder(source, method, skip)
    elif os.path.isfile(source):
        archive, names = archive_from_zip(source)
    else:
        raise PackError("source not found (need a folder or a ZIP archive): %s" % source)

    # The stub starts the installer only from the top of the extraction directory.
    if INSTALLER_NAME not in names:
        text = "the archive holds no top-level %s: the package will extract but start nothing" \
            % INSTALLER_NAME
        if not allow_missing_installer:
            raise PackError(text + " (use --allow-missing-installer to build it anyway)")
        print("warning: " + text, file=sys.stderr)

    if correct:
        archive = correct_offsets(archive, len(stub))
    if len(stub) + len(archive) > ZIP32_LIMIT:
        raise PackError("package too large for plain ZIP offsets")

    if os.path.isdir(output):
        raise PackError("output is a folder: %s" % output)
    if os.path.exists(output) and os.path.samefile(output, stub_path):
        raise PackError("output would overwrite the stub: %s" % output)
    try:
        with open(output, "wb") as f:
            f.write(stub)
            f.write(archive)
    except OSError as e:
        # A half-written package must not be mistaken for a good one.
        if os.path.isfile(output):
            try:
                os.remove(output)
            except OSError:
                pass
        raise PackError("cannot write %s: %s" % (output, e.strerror))
    return len(stub), len(archive), names


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="pack_installer.py",
        description="Build an installer package: the installer stub (installer.exe of this "
                    "project) followed by a ZIP archive of SOURCE. When the package is "
                    "started it extracts the archive into a fresh temporary directory and "
                    "starts the archive's top-level installer.exe from there.",
        epilog="Members are deflated (level 9) by default; --store keeps them as they "
               "are, which makes a larger package that unpacks a little faster. A ZIP "
               "SOURCE is appended as it is "
               "(its members keep their compression); only its offsets change with "
               "--correct-offsets. Non-ASCII names are written as UTF-8 and flagged so. "
               "Exit status: 0 on success, 1 on failure, 2 on bad usage.")
    p.add_argument("source", help="folder to pack, or an existing ZIP archive to append")
    p.add_argument("-s", "--stub", required=True, help="the installer stub executable")
    p.add_argument("-o", "--output", required=True, help="package file to write")
    m = p.add_mutually_exclusive_group()
    m.add_argument("--store", dest="deflate", action="store_false",
                   help="store members uncompressed (folder SOURCE only)")
    m.add_argument("--deflate", dest="deflate", action="store_true",
                   help="compress members with Deflate, level 9 (default)")
    p.add_argument("--correct-offsets", action="store_true",
                   help="make every offset count from the start of the package file "
                        "(default: offsets count from the start of the archive)")
    p.add_argument("--allow-missing-installer", action="store_true",
                   help="build the package even if SOURCE has no top-level installer.exe "
                        "(default: refuse)")
    p.add_argument("--sign", nargs=2, metavar=("CERT", "KEY"),
                   help="sign the package with osslsigncode after writing it (certificate "
                        "and private key files); the signature covers the archive too")
    p.add_argument("-q", "--quiet", action="store_true", help="print nothing on success")
    p.set_defaults(deflate=True)
    return p.parse_args(argv)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    method = zipfile.ZIP_DEFLATED if args.deflate else zipfile.ZIP_STORED
    if not args.deflate and os.path.isfile(args.source):
        print("warning: --store has no effect on a ZIP source", file=sys.stderr)
    try:
        if args.sign:
            signing_tool()  # before anything is written
        stub_len, archive_len, names = build_package(
            args.stub, args.source, args.output, method=method,
            correct=args.correct_offsets,
            allow_missing_installer=args.allow_missing_installer)
        if args.sign:
            sign_file(args.output, *args.sign)
    except (PackError, SignError) as e:
        print("pack_installer: error: %s" % e, file=sys.stderr)
        return 1
    if not args.quiet:
        print("%s: %d-byte stub + %d-byte archive, %d member%s, offsets %s" % (
            args.output, stub_len, archive_len, len(names), "" if len(names) == 1 else "s",
            "corrected" if args.correct_offsets else "relative to the archive") +
            (", signed" if args.sign else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())

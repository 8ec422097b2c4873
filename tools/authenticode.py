"""Authenticode signing for the packing tools, through osslsigncode.

A signature covers the whole file as written: the installer stub with its appended archive,
and the launcher with its patched fields. So a file is signed last, after it is complete;
changing it afterwards (packing more, patching again) breaks the signature.

Only the Python standard library is used; osslsigncode must be installed.
"""

import os
import shutil
import subprocess


class SignError(Exception):
    """Signing is impossible or failed; the message says why."""


def signing_tool():
    """Path of osslsigncode; SignError when it is not installed (checked before writing)."""
    tool = shutil.which("osslsigncode")
    if tool is None:
        raise SignError("--sign needs osslsigncode, which is not installed "
                        "(Debian/Ubuntu: apt-get install osslsigncode)")
    return tool


def sign_file(path, cert, key):
    """Signs path in place (SHA-256) with the certificate and private key files.

    On failure the file is removed, so that an unsigned file is not shipped by mistake.
    """
    tool = signing_tool()
    signed = path + ".signing"
    try:
        for name, given in (("certificate", cert), ("key", key)):
            if not os.path.isfile(given):
                raise SignError("%s file not found: %s" % (name, given))
        run = subprocess.run([tool, "sign", "-certs", cert, "-key", key, "-h", "sha256",
                              "-in", path, "-out", signed], capture_output=True, text=True)
        if run.returncode != 0:
            raise SignError("osslsigncode could not sign %s: %s"
                            % (path, (run.stderr or run.stdout).strip()))
        os.replace(signed, path)
        return
    except OSError as e:
        error = SignError("cannot sign %s: %s" % (path, e))
    except SignError as e:
        error = e
    for leftover in (signed, path):
        if os.path.isfile(leftover):
            os.remove(leftover)
    raise error

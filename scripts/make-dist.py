#!/usr/bin/env python3
"""Writes the download for Windows users: <out>/Linkvigil-<version>-win32.zip and
<out>/SHA256SUMS.

The zip is the same bytes whenever it is made from the same inputs: its entries come in a fixed
order, each with the time of the last commit (or SOURCE_DATE_EPOCH), fixed permissions and no
extra fields, so nothing of the machine, the folder or the hour of the build gets in.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import time
import zipfile

# 1980-01-01, the earliest time a zip entry can hold: used when no commit time is known.
EARLIEST = 315532800


def source_time(source):
    """Seconds since 1970 of the last commit, or SOURCE_DATE_EPOCH when that is set."""
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout.strip()
        return int(out)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return EARLIEST


def windows_text(path, version):
    """A text file as Windows users read it: CRLF line ends, ASCII only."""
    with open(path, encoding="ascii") as f:
        text = f.read().replace("@VERSION@", version)
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("ascii")


def entry(name, stamp, mode):
    info = zipfile.ZipInfo(name, date_time=time.gmtime(max(stamp, EARLIEST))[:6])
    info.create_system = 3  # Unix, so that the permissions below are what unzip applies
    info.external_attr = (0o100000 | mode) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--version", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--readme", required=True)
    parser.add_argument("--license", required=True)
    parser.add_argument("--source", required=True, help="the source tree, for the commit time")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    stamp = source_time(args.source)
    with open(args.exe, "rb") as f:
        exe = f.read()
    # In this order, always.
    contents = [
        ("Linkvigil.exe", exe, 0o755),
        ("README.txt", windows_text(args.readme, args.version), 0o644),
        ("LICENSE.txt", windows_text(args.license, args.version), 0o644),
    ]

    os.makedirs(args.out, exist_ok=True)
    name = "Linkvigil-%s-win32.zip" % args.version
    target = os.path.join(args.out, name)
    partial = target + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for entry_name, data, mode in contents:
            archive.writestr(entry(entry_name, stamp, mode), data, compresslevel=9)
    os.replace(partial, target)

    with open(target, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    with open(os.path.join(args.out, "SHA256SUMS"), "w", newline="\n") as f:
        f.write("%s  %s\n" % (digest, name))
    print("%s  %s" % (digest, target))
    print("%s  Linkvigil.exe (inside the zip)" % hashlib.sha256(exe).hexdigest())
    return 0


if __name__ == "__main__":
    sys.exit(main())

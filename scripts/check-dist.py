#!/usr/bin/env python3
"""Makes the release zip with scripts/make-dist.py into a scratch folder and checks what a
Windows user gets: the three files in their order, the program byte for byte, texts with CRLF
line ends and no Markdown, the same time and fixed modes on every entry, a SHA256SUMS that
matches, and a README.txt that names the DLLs the program's import table names, no more and no
fewer. Exits non-zero with one line per fault."""
import argparse
import hashlib
import os
import re
import subprocess
import sys
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
parser = argparse.ArgumentParser(description=__doc__)
parser.add_argument("--exe", required=True)
parser.add_argument("--source", required=True)
parser.add_argument("--readme", help="the text for README.txt (docs/README-windows.txt)")
parser.add_argument("--version", required=True)
parser.add_argument("--out", required=True)
args = parser.parse_args()
readme_source = args.readme or os.path.join(args.source, "docs/README-windows.txt")

subprocess.run([sys.executable, os.path.join(here, "make-dist.py"), "--version", args.version,
                "--exe", args.exe, "--readme", readme_source,
                "--license", os.path.join(args.source, "LICENSE"), "--source", args.source,
                "--out", args.out], check=True, stdout=subprocess.DEVNULL)

faults = []
name = "Linkvigil-%s-win32.zip" % args.version
path = os.path.join(args.out, name)
with zipfile.ZipFile(path) as archive:
    infos = archive.infolist()
    names = [i.filename for i in infos]
    if names != ["Linkvigil.exe", "README.txt", "LICENSE.txt"]:
        faults.append("entries are %s" % names)
    if len({i.date_time for i in infos}) != 1:
        faults.append("entries have different times: %s" % [i.date_time for i in infos])
    modes = {i.filename: i.external_attr >> 16 for i in infos}
    if modes != {"Linkvigil.exe": 0o100755, "README.txt": 0o100644, "LICENSE.txt": 0o100644}:
        faults.append("modes are %s" % {k: oct(v) for k, v in modes.items()})
    if any(i.extra for i in infos):
        faults.append("entries carry extra fields (times or owners of the build machine)")
    with open(args.exe, "rb") as f:
        if archive.read("Linkvigil.exe") != f.read():
            faults.append("Linkvigil.exe in the zip is not the one built")
    texts = {n: archive.read(n) for n in ("README.txt", "LICENSE.txt")}

for n, data in texts.items():
    if re.search(rb"(?<!\r)\n", data) or not data.endswith(b"\r\n"):
        faults.append("%s has a line end that is not CRLF" % n)
    if any(b > 0x7E and b not in b"\r\n" for b in data):
        faults.append("%s is not plain ASCII" % n)
readme = texts["README.txt"].decode("ascii", "replace")
for line in readme.splitlines():
    if re.match(r"\s*(#|```|[-*] \[|\|)", line) or re.search(r"\]\(|\*\*|`", line):
        faults.append("README.txt has Markdown: %r" % line)
# What a Windows user must find in it (the program's own texts, as it shows and logs them).
for text in ("LINKVIGIL " + args.version, "LogFile.txt",
             "AOL *is* installed on this system",
             "AOL is *not* installed on this system (aol.exe not found)",
             "Connection detected: IP address=", "Disconnection detected", "Connectoid list:",
             "'AOL': connected to the Internet. IP address: ",
             "'AOL': disconnected from the Internet.", "sorted alphabetically",
             "Stop Monitoring", "Start Monitoring", "Escape", "Alt+F4", "Windows 95",
             "NT 4.0", "No installation is needed", "MIT licence"):
    if text not in readme:
        faults.append("README.txt does not say %r" % text)
# The DLLs it says the program uses: the capitalised names in the sentence that lists them.
said = re.search(r"It uses only DLLs of Windows itself:(.*?)in the system folder\.", readme, re.S)
if not said:
    faults.append("README.txt does not list the DLLs the program uses")
else:
    named = set(re.findall(r"\b([A-Z][A-Z0-9]+)(?:\.DLL)?\b", said.group(1)))
    dump = subprocess.run([os.environ.get("OBJDUMP", "i686-w64-mingw32-objdump"), "-p", args.exe],
                          capture_output=True, text=True, check=True).stdout
    imported = {re.sub(r"(?i)\.dll$", "", n).upper()
                for n in re.findall(r"DLL Name: (\S+)", dump)}
    if not imported:
        faults.append("no DLL in the import table of %s: cannot compare" % args.exe)
    if named - imported:
        faults.append("README.txt names DLLs the program does not import: %s"
                      % ", ".join(sorted(named - imported)))
    if imported - named:
        faults.append("README.txt does not name DLLs the program imports: %s"
                      % ", ".join(sorted(imported - named)))
if "MIT License" not in texts["LICENSE.txt"].decode("ascii", "replace"):
    faults.append("LICENSE.txt is not the MIT licence")

with open(path, "rb") as f:
    digest = hashlib.sha256(f.read()).hexdigest()
with open(os.path.join(args.out, "SHA256SUMS")) as f:
    if f.read() != "%s  %s\n" % (digest, name):
        faults.append("SHA256SUMS does not match the zip")

for fault in faults:
    print("fault: " + fault)
print("%d faults in %s" % (len(faults), path))
sys.exit(1 if faults else 0)

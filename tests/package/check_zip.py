#!/usr/bin/env python3
"""Checks the zip the test command makes: build/win32/kestrel-2.71.zip holds exactly kestrel.exe,
kestrel-nt.exe and README-ja.txt; the programs are the ones built beside it and carry no link
time in their headers; README-ja.txt is code page 932 with CR LF line ends and every text it
quotes in 「」 is the program's own (or one of its own headings); and the zip's bytes
do not depend on when it was made (dated with the commit's time, made again later from copies
of its inputs dated otherwise, it comes out the same).

    check_zip.py  (from the source tree's top folder, after the kestrel_zip target)
"""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

BUILD = "build/win32"
ZIP = os.path.join(BUILD, "kestrel-2.71.zip")
ENTRIES = ["kestrel.exe", "kestrel-nt.exe", "README-ja.txt"]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def pe_time_stamp(data):
    """The TimeDateStamp of a program's PE file header."""
    header = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[header:header + 4] == b"PE\0\0", "no PE header")
    return struct.unpack_from("<I", data, header + 8)[0]


def program_texts():
    """Every string literal of the program's sources, as the user sees it: "\\n" a line break,
    "(&R)" in a menu shown as "(R)", "%u" and "%s 件" a number."""
    texts = []
    for path in glob.glob("engine/*.[ch]*") + glob.glob("config/*.[ch]*") + glob.glob("ui/*.[ch]*") + \
            glob.glob("resources/*.rc"):
        with open(path, encoding="utf-8") as f:
            for literal in re.findall(r'"((?:[^"\\\n]|\\.)*)"', f.read()):
                texts.append(re.sub(r"\(&(\w)\)", r"(\1)", literal.replace("\\n", "\n")))
    return texts


def check_quotes(text):
    """Each 「…」 of the read-me (its lines joined, as a quote may run over a line end) is in a
    text of the program, or is a heading of the read-me itself."""
    headings = re.findall(r"^■ (.*)$", text, re.M)
    joined = re.sub(r"\r\n\s*", "", text)
    texts = program_texts()
    for quote in re.findall(r"「([^」]*)」", joined):
        shown = re.sub(r"\d[\d,]* 件", "%s 件", re.sub(r"\d+個", "%u個", quote))
        check(any(shown in t for t in texts) or any(h.startswith(quote) for h in headings),
              f"README-ja.txt quotes 「{quote}」, which the program does not show")


def main():
    check(os.path.isfile(ZIP), f"{ZIP} is missing")
    if failures:
        return
    with zipfile.ZipFile(ZIP) as archive:
        infos = archive.infolist()
        names = [info.filename for info in infos]
        check(names == ENTRIES, f"entries {names}, expected {ENTRIES}")
        contents = {name: archive.read(name) for name in names}
    for name in ENTRIES[:2]:
        data = contents.get(name, b"")
        with open(os.path.join(BUILD, name), "rb") as f:
            check(data == f.read(), f"{name} differs from {BUILD}/{name}")
        check(len(data) > 0x40 and pe_time_stamp(data) == 0, f"{name}: the PE header's time stamp is not 0")

    readme = contents.get("README-ja.txt", b"")
    try:
        text = readme.decode("cp932")
        check("KESTREL 2.71" in text, "README-ja.txt does not name KESTREL 2.71")
        check_quotes(text)
    except UnicodeDecodeError as e:
        check(False, f"README-ja.txt is not code page 932: {e}")
    check(readme.endswith(b"\r\n") and readme.count(b"\r") == readme.count(b"\n") == readme.count(b"\r\n"),
          "README-ja.txt has a line end other than CR LF")

    # Every entry carries the commit's time (UTC; a zip's DOS time keeps even seconds).
    commit = subprocess.run(["git", "log", "-1", "--format=%ct"], capture_output=True, text=True)
    stamps = {info.date_time for info in infos}
    expected = time.gmtime(int(commit.stdout))[:6] if commit.returncode == 0 else min(stamps)
    expected = expected[:5] + (expected[5] // 2 * 2,)
    check(stamps == {expected}, f"entries dated {stamps}, expected {expected} (the commit's time)")

    # The same inputs, copied with other file times and zipped now, give the same bytes.
    with tempfile.TemporaryDirectory() as scratch:
        inputs = [shutil.copy(source, scratch) for source in
                  (f"{BUILD}/kestrel.exe", f"{BUILD}/kestrel-nt.exe", "package/README-ja.txt")]
        for copy in inputs:
            os.utime(copy, (86400 * 365, 86400 * 365))
        again = os.path.join(scratch, "again.zip")
        subprocess.run([sys.executable, "package/make_zip.py", again, "2.71"] + inputs, check=True)
        with open(ZIP, "rb") as a, open(again, "rb") as b:
            check(a.read() == b.read(), "the zip made again differs: its bytes depend on when it is made")


if __name__ == "__main__":
    main()
    for failure in failures:
        print("zip check: " + failure, file=sys.stderr)
    if failures:
        sys.exit(1)
    print(f"zip check: {ZIP} holds {', '.join(ENTRIES)}; same bytes when made again")

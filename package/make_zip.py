#!/usr/bin/env python3
"""Makes the zip a Windows user downloads: the two shipped programs and README-ja.txt.

    make_zip.py ZIP VERSION KESTREL_EXE KESTREL_NT_EXE README_UTF8

README-ja.txt is kept in the tree as UTF-8 with LF line ends (readable in any editor and in a
diff) and becomes code page 932 with CR LF here; a character that code page 932 lacks (an
accented letter such as "é", or the em dash U+2014) stops the build instead of reaching the user
as "?".
"@VERSION@" in it becomes VERSION.

Every entry is dated with the time of the commit the tree was built from and gets the same fixed
attributes, so that one commit gives the same zip bytes whenever and wherever it is built.
"""
import os
import subprocess
import sys
import time
import zipfile

# The DOS date of a zip entry cannot be earlier than this.
ZIP_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC


def readme_bytes(utf8_text, version):
    """The read-me as the user's Windows reads it: code page 932, CR LF, ending in a line end."""
    text = utf8_text.replace("@VERSION@", version).replace("\r\n", "\n")
    lines = text.rstrip("\n").split("\n")
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def _newest_source_time(source_dir):
    newest = 0
    for folder, subfolders, files in os.walk(source_dir):
        subfolders[:] = [d for d in subfolders if d not in ("build", ".git")]
        for name in files:
            newest = max(newest, int(os.stat(os.path.join(folder, name)).st_mtime))
    return newest


def entry_time(source_dir):
    """Seconds since 1970 that date every entry: the commit's time (git log -1 --format=%ct); in
    a tree that is not a git checkout SOURCE_DATE_EPOCH, else the newest source file's time."""
    try:
        out = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"], capture_output=True,
                             text=True, check=True).stdout.strip()
        if out:
            return max(int(out), ZIP_EPOCH)
    except (OSError, subprocess.CalledProcessError, ValueError):
        pass
    if os.environ.get("SOURCE_DATE_EPOCH", "").isdigit():
        return max(int(os.environ["SOURCE_DATE_EPOCH"]), ZIP_EPOCH)
    return max(_newest_source_time(source_dir), ZIP_EPOCH)


def write_zip(path, entries, seconds):
    """Writes `entries` (name, bytes) in their order, each dated `seconds` (shown as UTC: a zip
    entry's date has no time zone) and marked as an ordinary Windows file. The zip is written
    beside `path` and moved over it once complete."""
    date_time = time.gmtime(seconds)[:6]
    partial = path + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: the attribute byte below is a Windows attribute word
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE, as on a file Windows wrote
            archive.writestr(info, data, compresslevel=9)
    os.replace(partial, path)


def main(argv):
    if len(argv) != 6:
        sys.exit(__doc__.split("\n\n")[1])
    zip_path, version, program, program_nt, readme = argv[1:]
    source_dir = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(readme, encoding="utf-8") as f:
        readme_text = f.read()
    entries = []
    for name, file in (("kestrel.exe", program), ("kestrel-nt.exe", program_nt)):
        with open(file, "rb") as f:
            entries.append((name, f.read()))
    try:
        entries.append(("README-ja.txt", readme_bytes(readme_text, version)))
    except UnicodeEncodeError as e:
        line = e.object.count("\n", 0, e.start) + 1
        sys.exit(f"{readme}:{line}: U+{ord(e.object[e.start]):04X} is not in code page 932")
    write_zip(zip_path, entries, entry_time(source_dir))


if __name__ == "__main__":
    main(sys.argv)

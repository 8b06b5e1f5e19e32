"""Writes the release zip, the same bytes for the same inputs.

    make_zip.py ZIP FOLDER VANTOR_DLL VANTORHOST_EXE README

Entries, in this order, under FOLDER/: Vantor.dll, vantorhost.exe,
README.md, QUICKSTART.txt, SHA256SUMS. The texts get a UTF-8 byte-order mark
and CR LF line ends, so that Notepad shows the Chinese correctly on any
Windows. QUICKSTART.txt is the README's "Quick start" section. Every entry
has the date 1980-01-01 00:00 (the earliest a zip can hold), the same
attributes and maximum deflate compression; nothing depends on the clock,
the user or the file system.
"""
import hashlib
import os
import sys
import zipfile

QUICK_START_HEADING = "## Quick start"
FIXED_DATE = (1980, 1, 1, 0, 0, 0)


def notepad_text(text):
    """UTF-8 with a byte-order mark and CR LF line ends."""
    lines = text.replace("\r\n", "\n").split("\n")
    return b"\xef\xbb\xbf" + "\r\n".join(lines).encode("utf-8")


def quick_start(readme):
    """The README section whose heading starts with '## Quick start', up to
    the next second-level heading."""
    lines = readme.split("\n")
    start = next((i for i, line in enumerate(lines) if line.startswith(QUICK_START_HEADING)), None)
    if start is None:
        sys.exit("make_zip: README.md has no '%s' section" % QUICK_START_HEADING)
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("## ")), len(lines))
    title = "Vantor - " + lines[start][3:].strip()
    body = "\n".join(lines[start + 1:end]).strip("\n")
    return title + "\n" + "=" * len(title.encode("gbk")) + "\n" + body + "\n"


def entry(folder, name):
    info = zipfile.ZipInfo(folder + "/" + name, date_time=FIXED_DATE)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS: no Unix mode bits from this machine
    info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
    return info


def main():
    zip_path, folder, dll, host, readme_path = sys.argv[1:6]
    with open(readme_path, encoding="utf-8") as f:
        readme = f.read()
    files = []
    for name, path in (("Vantor.dll", dll), ("vantorhost.exe", host)):
        with open(path, "rb") as f:
            files.append((name, f.read()))
    files.append(("README.md", notepad_text(readme)))
    files.append(("QUICKSTART.txt", notepad_text(quick_start(readme))))
    # The format sha256sum -c reads ("<hash>  <name>"); LF line ends for it.
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in files)
    files.append(("SHA256SUMS", sums.encode("ascii")))

    tmp = zip_path + ".tmp"
    with zipfile.ZipFile(tmp, "w") as z:
        for name, data in files:
            z.writestr(entry(folder, name), data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    os.replace(tmp, zip_path)


if __name__ == "__main__":
    main()

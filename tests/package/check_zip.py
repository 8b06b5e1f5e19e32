"""Checks a release zip; prints one "PASS name" or "FAIL name: why" a line.

    check_zip.py ZIP VERSION

The entries and their order, fixed dates, SHA256SUMS against the contents,
both programs PE32 i386 with no time stamp and the version in their
VERSIONINFO, and the texts in the form Notepad shows correctly.
"""
import hashlib
import struct
import sys
import zipfile

zip_path, version = sys.argv[1:3]
folder = "Vantor-%s-win32/" % version
NAMES = ["Vantor.dll", "vantorhost.exe", "README.md", "QUICKSTART.txt", "SHA256SUMS"]


def check(name, ok, why=""):
    print(("PASS %s" % name) if ok else ("FAIL %s: %s" % (name, why)))


def pe_facts(data):
    """(machine, time stamp, FILEVERSION as a tuple or None) of a PE file."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return None, None, None
    machine, _, stamp = struct.unpack_from("<HHI", data, pe + 4)
    # VS_FIXEDFILEINFO starts with the signature 0xFEEF04BD; the file version
    # follows the structure version.
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return machine, stamp, None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return machine, stamp, (ms >> 16, ms & 0xFFFF, ls >> 16)


with zipfile.ZipFile(zip_path) as z:
    infos = z.infolist()
    names = [i.filename for i in infos]
    check("entries_in_order", names == [folder + n for n in NAMES], "got %s" % names)
    check("fixed_dates", all(i.date_time == (1980, 1, 1, 0, 0, 0) for i in infos),
          str(sorted({i.date_time for i in infos})))
    check("archive_test", z.testzip() is None, "a CRC does not match")
    data = {n[len(folder):]: z.read(n) for n in names if n.startswith(folder)}

sums = {}
for line in data.get("SHA256SUMS", b"").decode("ascii").splitlines():
    digest, name = line.split("  ", 1)
    sums[name] = digest
listed = sorted(sums) == sorted(NAMES[:-1])
check("sha256sums_lists_every_file", listed, "lists %s" % sorted(sums))
bad = [n for n in sums if n not in data or hashlib.sha256(data[n]).hexdigest() != sums[n]]
check("sha256sums_match", listed and not bad, "mismatch: %s" % bad)

want = tuple(int(x) for x in version.split("."))
for name in ("Vantor.dll", "vantorhost.exe"):
    machine, stamp, file_version = pe_facts(data.get(name, b"\0" * 64))
    key = name.split(".")[0].lower()
    check(key + "_is_i386", machine == 0x14C, "machine %s" % machine)
    check(key + "_no_time_stamp", stamp == 0, "TimeDateStamp %s" % stamp)
    check(key + "_versioninfo", file_version == want, "FILEVERSION %s, project %s" % (file_version, want))
    # The string table holds it as UTF-16 too.
    check(key + "_version_string", ("\0".join(version) + "\0").encode("ascii") in data.get(name, b""),
          "no FileVersion string %s" % version)

for name, must in (("QUICKSTART.txt", ["Quick start", "快速开始", "vantorhost detect", "regsvr32"]),
                   ("README.md", ["快速开始", "Register reference"])):
    text = data.get(name, b"")
    key = name.split(".")[0].lower()
    check(key + "_utf8_bom", text.startswith(b"\xef\xbb\xbf"), "no byte-order mark")
    lone_lf = text.replace(b"\r\n", b"").count(b"\n")
    check(key + "_crlf", lone_lf == 0 and b"\r\n" in text, "%d lines end in LF alone" % lone_lf)
    try:
        decoded = text[3:].decode("utf-8")
        missing = [m for m in must if m not in decoded]
        check(key + "_content", not missing, "missing %s" % missing)
    except UnicodeDecodeError as e:
        check(key + "_content", False, str(e))

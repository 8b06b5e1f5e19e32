#!/usr/bin/env python3
"""Writes the seed corpora fuzz/corpus/<target>/ from the recorded modem
answers and PDUs (tests/data/captures) and a few hand-made cases. Each
seed carries the control bytes its target reads first. Run again after the
captures or a target's input layout change; the corpora are committed."""
import csv
import hashlib
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CAPTURES = os.path.join(ROOT, "tests", "data", "captures")
OUT = os.path.join(ROOT, "fuzz", "corpus")


def unescape(text):
    """The byte stream of an .esc.txt file."""
    s = text.replace("\n", "")
    out = bytearray()
    i = 0
    while i < len(s):
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            n = s[i + 1]
            if n == "r":
                out += b"\r"; i += 2; continue
            if n == "n":
                out += b"\n"; i += 2; continue
            if n == "\\":
                out += b"\\"; i += 2; continue
            if n == "x":
                out.append(int(s[i + 2:i + 4], 16)); i += 4; continue
        out += c.encode("latin-1")
        i += 1
    return bytes(out)


def captures():
    """Every capture as modem bytes (lines files joined with CR LF)."""
    for name in sorted(os.listdir(CAPTURES)):
        path = os.path.join(CAPTURES, name)
        if name.endswith(".esc.txt"):
            yield name, unescape(open(path, encoding="latin-1").read())
        elif name.endswith(".lines.txt"):
            lines = open(path, "rb").read().splitlines()
            yield name, b"\r\n".join(lines) + b"\r\n"
        elif name.endswith(".dump") or name == "device-gsm_contrib_pdu.txt":
            yield name, open(path, "rb").read()


def vectors():
    with open(os.path.join(CAPTURES, "pdu-vectors.tsv"), encoding="utf-8") as f:
        for row in csv.DictReader(f, delimiter="\t"):
            yield row["pdu_hex"].encode()


def pdu_entries():
    """(index, pdu) pairs: the vectors and every PDU line after a +CMGL/+CMGR header."""
    found = [(i + 1, p) for i, p in enumerate(vectors())]
    for _, data in captures():
        lines = re.split(rb"\r?\n|\r", data)
        for k, line in enumerate(lines[:-1]):
            if re.match(rb"\+CMG[LR]: *\d*,?\d", line) and re.fullmatch(rb"[0-9A-Fa-f]{20,}", lines[k + 1].strip()):
                found.append((len(found) + 1, lines[k + 1].strip()))
    return found


def status_reports():
    """PDU lines of SMS-STATUS-REPORTs (TP-MTI 10 after the service-centre
    address) and text-mode report fields (<fo>,<mr>,...,<st> after a
    +CMGR/+CMGL <stat>) from the captures."""
    pdus, texts = [], []
    for _, data in captures():
        for line in re.split(rb"\r?\n|\r", data):
            line = line.strip()
            if re.fullmatch(rb"[0-9A-Fa-f]{20,}", line):
                sca = int(line[:2], 16)
                if len(line) > 2 * sca + 3 and int(line[2 * sca + 2:2 * sca + 4], 16) & 3 == 2:
                    pdus.append(line)
            m = re.match(rb"\+CMG[RL]: *[^,]*,(\d+),(\d+,.*)$", line)
            if m and int(m.group(1)) & 3 == 2:
                texts.append(b" " + m.group(1) + b"," + m.group(2))
    return pdus, texts


def pdu_listing(entries, stat=0):
    out = b"AT+CMGL=%d\r\r\n" % stat
    for index, pdu in entries:
        out += b"+CMGL: %d,%d,,%d\r\n%s\r\n" % (index, stat, len(pdu) // 2 - 1, pdu)
    return out + b"\r\nOK\r\n"


def text_listings():
    found = []
    for name, data in captures():
        if b'+CMGL: ' in data and b'"REC' in data:
            found.append(data)
    found.append(b'AT+CMGL="REC UNREAD"\r\r\n+CMGL: 3,"REC UNREAD","+8613800100500",,'
                 b'"26/01/02,10:20:30+32"\r\n\xc4\xe3\xba\xc3 hello\r\n\r\nOK\r\n')
    return found


def write(target, seeds):
    d = os.path.join(OUT, target)
    os.makedirs(d, exist_ok=True)
    for old in os.listdir(d):
        os.remove(os.path.join(d, old))
    for s in seeds:
        open(os.path.join(d, hashlib.sha1(s).hexdigest()[:16]), "wb").write(s)
    print(f"{target}: {len(seeds)} seeds, {sum(map(len, seeds))} bytes")


def main():
    entries = pdu_entries()
    answers = [data for _, data in captures()]
    texts = text_listings()

    write("fuzz_pdu_entry",
          [b"+CMGL: %d,0,,%d\r\n%s\r\n" % (i, len(p) // 2 - 1, p) for i, p in entries])

    listings = [pdu_listing(entries[k:k + 3]) for k in range(0, len(entries), 3)]
    listings.append(pdu_listing(entries[:12], 1))
    listings.append(b"AT+CMGL=0\r\r\nOK\r\n")
    write("fuzz_pdu_listing",
          [bytes([c]) + l for c, l in zip([9, 0x93, 4, 0x80, 19, 1] * 9, listings)])

    write("fuzz_text_listing", [bytes([c]) + t for c, t in zip([9, 19, 0, 4], texts * 2)])

    # control (bit 7: text mode), a plan of piece sizes, the answer.
    def reader(control, plan, answer):
        return bytes([control, len(plan)]) + plan + answer
    plans = [b"\x00", b"\x01", b"\x07\x03", b"\x40\x02\x11"]
    write("fuzz_listing_reader",
          [reader(c, plans[k % 4], l) for k, (c, l) in enumerate(zip([9, 19, 4, 1] * 9, listings))] +
          [reader(0x80 | c, plans[k % 4], t) for k, (c, t) in enumerate(zip([9, 19, 0, 4], texts * 2))])

    # control (bit 0: text mode), then the line after "+CDS:" or the PDU line.
    report_pdus, report_texts = status_reports()
    report_pdus += [b"0891683108100005F006110D91683119325476F8423050708090234230507080212300",
                    b"0891683108100005F0061209D0417658DE06423050708090234230507080122300",
                    b"0026ff038121f3423050708090294230507080912921",
                    b"0891683108100005F006110D91683119325476F842305070809023423050708021236307000005C8329BFD06\r\n"]
    report_texts += [b' 6,17,"+8613912345678",145,"24/03/05,07:08:09+32","24/03/05,07:08:12+32",0',
                     b' 6,18,"Alarm",208,"24/03/05,07:08:09+32","24/03/05,07:08:21+32",0',
                     b' 38,255,,,"24/03/05,07:08:09-12","24/03/05,07:08:19-12",33\r\n']
    write("fuzz_status_report", [b"\x00" + p for p in report_pdus] + [b"\x01" + t for t in report_texts])

    def query(control, dtype, name):
        return bytes([control, dtype & 0xFF, dtype >> 8]) + name
    write("fuzz_register_check", [
        query(17, 256, b"MsgNew3\0") + b"1",
        query(17, 2, b"  AT  \0") + b"256",
        query(17, 256, b"MsgOld19\0") + b"0",
        query(17, 256, b"Tele\0") + b"65792",
        query(17, 4, b"CMGD\0") + b"",
        query(12, 256, b"MsgSend1\0") + b"12a",
        query(17, 256, b"X" * 128) + b"1",
    ])

    def host_write(tele, part0, part1, code_type, code):
        return (bytes([0, len(tele)]) + tele + bytes([len(part0)]) + part0 +
                bytes([len(part1)]) + part1 + bytes([code_type, code, 0]))
    write("fuzz_makecode", [
        host_write(b"+8613912345678", b"hello", b" world", 2, 0),
        host_write(b"10086", b"\xc4\xe3\xba\xc3", b"", 2, 1),
        host_write(b"123456789012345", b"x", b"", 2, 0),
        host_write(b"+4917", b"{[~]}|\\^\x80", b"a" * 200, 2, 0),
        bytes([1]) + b"+86139123456789" + b"hi".ljust(256, b"\0") + b"\xb0\xa1" * 128 + b"\0",
    ])

    def parts(code_mod, reference, part0, part1):
        return bytes([code_mod, reference, len(part0)]) + part0 + part1
    cycle_text = b"Pump 3 pressure high: 0123456789 abcdefghijklmnopqrstuvwxyz."
    long_text = (cycle_text * 9)[:255]
    write("fuzz_submit_parts", [
        parts(0, 1, b"hello", b" world"),
        parts(0, 2, long_text, long_text),
        parts(0, 3, long_text[:152] + b"{" + long_text[:50], b"[]~" * 40),
        parts(1, 4, b"\xd6\xd0\xce\xc4" * 63, b"\xb1\xc3" * 127),
        parts(1, 5, long_text, b"\xd6\xd0" * 60),
        parts(0, 6, b"{" * 255, b"\x80" * 255),
    ])

    def exchange(control, timeout, plan, stream):
        return bytes([control, timeout & 0xFF, timeout >> 8, len(plan) - 1]) + plan + stream
    ex = []
    for k, a in enumerate(answers):
        ex.append(exchange([0, 0x80, 0x81, 0x82][k % 4], 100, [b"\x00", b"\x03", b"\x41\x05", b"\x81"][k % 4], a[:8191]))
    ex.append(exchange(0, 2000, b"\x3f", b"x" * 9000))
    write("fuzz_exchange", ex)

    def cycle(control, timeout, plan, answers_):
        return bytes([control, timeout, len(plan) - 1]) + plan + b"\xff\xff".join(answers_)
    wc = []
    for k, l in enumerate(listings[:8]):
        wc.append(cycle([0, 1][k % 2], 13, b"\x00", [l]))
    for k, t in enumerate(texts[:4]):
        wc.append(cycle([4, 5][k % 2], 13, b"\x20", [t]))
    wc.append(cycle(2 | 8 | 16, 13, b"\x00", [b"AT+CMGS=23\r\r\n> ", b"\r\n+CMGS: 5\r\n\r\nOK\r\n"]))
    wc.append(cycle(2 | 32 | 0x40, 13, b"\x04", [b"\r\n> ", b"\r\n+CMS ERROR: 500\r\n", b"\r\n> ",
                                                 b"\r\n+CMGS: 6\r\n\r\nOK\r\n"]))
    wc.append(cycle(2 | 4 | 16, 13, b"\x00", [b"\r\n> ", b"\r\n+CMGS: 7\r\n\r\nOK\r\n"]))
    write("fuzz_write_cycle", wc)

    rc = [cycle(0, 50, b"\x00", [b"AT\r\r\nOK\r\n"]),
          cycle(1, 50, b"\x02", [b"AT+CMGF?\r\r\n+CMGF: 1\r\n\r\nOK\r\n"]),
          cycle(2, 50, b"\x00", [b'AT+CSCA?\r\r\n+CSCA: "+8613800100500",145\r\n\r\nOK\r\n'])]
    for k, data in enumerate(answers):
        if b"+CSCA" in data or b"+CMGF" in data:
            rc.append(cycle([2, 1, 6, 10][k % 4], 50, b"\x00", [data[:8191]]))
    write("fuzz_read_cycle", rc)


if __name__ == "__main__":
    sys.exit(main())

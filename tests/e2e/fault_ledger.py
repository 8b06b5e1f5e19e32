#!/usr/bin/python3
"""The modem's record against what the host was told, both ways.

Sends: reads a vantorhost session output (run with --echo: "> send NUMBER
TEXT" ... "read SReturn: N") and modemsim's --sent record (JSON lines), and
prints one line per send:

    TEXT<TAB>SRETURN<TAB>RECEIVED

RECEIVED is how many messages with exactly that body the modem accepted. Bodies
the modem received that no send of the session asked for are printed as
"UNASKED<TAB>TEXT<TAB>COUNT". Every send in a session must use a body of its
own for the match to mean anything.

Listings (with RECEIVED_FILE, modemsim's --received record): every message
that entered the modem's store must show in at least one successful listing
of the session ("write NEW 1: ok" / "write OLD 1: ok" and the store pairs
vantorhost prints after it), else "LOST<TAB>NUMBER<TAB>TEXT"; every listed
entry must be a message the store held, from its sender and with its whole
body, and no listing may show one message more often than the store held it,
else "FORGED<TAB>HEADER<TAB>BODY". A body matches as the decoded text or, as a
text-mode listing shows UCS-2 and 8-bit messages, as the user data in hex; a
body of 255 bytes (a full store slot) matches what it starts. One line
"LISTINGS<TAB>N<TAB>ENTRIES<TAB>M<TAB>STORED<TAB>K" sums it up.

usage: fault_ledger.py SESSION_OUTPUT SENT_FILE [RECEIVED_FILE]
"""
import collections
import json
import re
import sys

SLOT_TEXT = 255


def unescape(text):
    """vantorhost's one-line form of a stored text back to the text."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == '\\' and i + 1 < len(text):
            n = text[i + 1]
            if n in 'rn\\':
                out.append({'r': '\r', 'n': '\n', '\\': '\\'}[n])
                i += 2
                continue
            if n == "x" and i + 3 < len(text):
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
        out.append(c)
        i += 1
    return ''.join(out)


def sender_of(header):
    m = re.search(r'来自:(.*?)的消息(?:\(\d+/\d+\))?$', header) or re.search(r'Message From (\S+)$', header)
    return m.group(1).lstrip('+') if m else None


def listings(out_path):
    """The successful listings of a session, each a list of (header, body)."""
    result, current, header = [], None, None
    with open(out_path, encoding='utf-8', errors='replace') as f:
        for line in f:
            line = line.rstrip('\n')
            if re.match(r'write (NEW|OLD) 1: ok', line):
                current = []
                result.append(current)
                continue
            if current is None:
                continue
            m = re.match(r'  Msg(New|Old)\d+: (.*)$', line)
            if m:
                header = unescape(m.group(2))
                continue
            m = re.match(r'  Msg(Nec|Inf)\d+: (.*)$', line)
            if m and header is not None:
                current.append((header, unescape(m.group(2))))
                header = None
                continue
            current, header = None, None
    return result


def body_matches(body, stored):
    forms = [stored['text'], stored.get('ud', '')]
    if body in forms:
        return True
    return len(body.encode('gbk', errors='replace')) == SLOT_TEXT and any(f.startswith(body) for f in forms if f)


def check_listings(out_path, received_path):
    stored = []
    try:
        with open(received_path, encoding='utf-8') as f:
            stored = [json.loads(line) for line in f if line.strip()]
    except FileNotFoundError:
        pass
    seen = [False] * len(stored)
    all_listings = listings(out_path)
    entries = 0
    for listing in all_listings:
        shown = collections.Counter()
        for header, body in listing:
            entries += 1
            sender = sender_of(header)
            found = [i for i, s in enumerate(stored)
                     if s['number'].lstrip('+') == sender and body_matches(body, s)]
            # Each listed entry takes one stored message not yet taken in this listing.
            taken = [i for i in found if shown[i] == 0]
            if not taken:
                print(f'FORGED\t{header!r}\t{body!r}')
                continue
            shown[taken[0]] += 1
            seen[taken[0]] = True
    for s, was_seen in zip(stored, seen):
        if not was_seen:
            print(f'LOST\t{s["number"]}\t{s["text"]!r}')
    print(f'LISTINGS\t{len(all_listings)}\tENTRIES\t{entries}\tSTORED\t{len(stored)}')


def check_sends(out_path, sent_path):
    received = collections.Counter()
    try:
        with open(sent_path, encoding='utf-8') as f:
            for line in f:
                if line.strip():
                    received[json.loads(line)['text']] += 1
    except FileNotFoundError:
        pass

    sends = []
    pending = None
    with open(out_path, encoding='utf-8', errors='replace') as f:
        for line in f:
            line = line.rstrip('\n')
            m = re.match(r'> send \S+ (.*)$', line)
            if m:
                pending = m.group(1)
                continue
            m = re.match(r'read SReturn: (\d+)', line)
            if m and pending is not None:
                sends.append((pending, int(m.group(1))))
                pending = None

    asked = set()
    for text, sreturn in sends:
        asked.add(text)
        print(f'{text}\t{sreturn}\t{received.get(text, 0)}')
    for text, count in received.items():
        if text not in asked:
            print(f'UNASKED\t{text}\t{count}')


def main():
    if len(sys.argv) not in (3, 4):
        sys.stderr.write(__doc__)
        return 2
    check_sends(sys.argv[1], sys.argv[2])
    if len(sys.argv) == 4:
        check_listings(sys.argv[1], sys.argv[3])
    return 0


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/python3
"""Matches what the host was told about each send against what the modem
received. Reads a vantorhost session output (run with --echo: "> send NUMBER
TEXT" ... "read SReturn: N") and modemsim's --sent record (JSON lines), and
prints one line per send:

    TEXT<TAB>SRETURN<TAB>RECEIVED

RECEIVED is how many messages with exactly that body the modem accepted. Bodies
the modem received that no send of the session asked for are printed as
"UNASKED<TAB>TEXT<TAB>COUNT". Every send in a session must use a body of its
own for the match to mean anything.

usage: fault_ledger.py SESSION_OUTPUT SENT_FILE
"""
import collections
import json
import re
import sys


def main():
    out_path, sent_path = sys.argv[1], sys.argv[2]
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
    return 0


if __name__ == '__main__':
    sys.exit(main())

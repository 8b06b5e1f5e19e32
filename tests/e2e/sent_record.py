#!/usr/bin/python3
"""Prints one message of modemsim's --sent record (JSON lines) as
"mode|number|coding|text". For PDU mode the number, coding and text come
from the raw SMS-SUBMIT PDU decoded by python3-gammu, not from the modem
model's own decoder, so the check does not trust either side's codec.

usage: sent_record.py SENT_FILE INDEX     (INDEX from 0; "count" for the number of records)
"""
import json
import sys


def main():
    path, which = sys.argv[1], sys.argv[2]
    try:
        with open(path, encoding='utf-8') as f:
            records = [json.loads(line) for line in f if line.strip()]
    except FileNotFoundError:
        records = []
    if which == 'count':
        print(len(records))
        return 0
    index = int(which)
    if index >= len(records):
        print('missing')
        return 1
    r = records[index]
    if r['mode'] == 'pdu':
        import gammu
        d = gammu.DecodePDU(bytes.fromhex(r['pdu']))
        coding = 'ucs2' if d['Coding'].startswith('Unicode') else 'gsm7'
        print(f"pdu|{d['Number']}|{coding}|{d['Text']}")
    else:
        print(f"text|{r['number']}|{r['coding']}|{r['text']}")
    return 0


if __name__ == '__main__':
    sys.exit(main())

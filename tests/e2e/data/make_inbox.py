#!/usr/bin/python3
"""Writes demo_inbox.txt: SMS-DELIVER PDUs made with python3-gammu, an
encoder independent of the module, for modemsim's --inbox.

Run it with Debian's /usr/bin/python3 (python3-gammu) from this folder.
"""
import datetime

import gammu

SMSC = {'Number': '+8613800100500', 'Location': 0}


def deliver(number, text, when, unicode=False, udh=None):
    sms = {
        'Number': number, 'Text': text, 'SMSC': SMSC, 'DateTime': when,
        'Folder': 1, 'Location': 0, 'InboxFolder': 1, 'State': 'UnRead',
        'Type': 'Deliver', 'Class': -1, 'Unicode': unicode,
        'Coding': 'Unicode_No_Compression' if unicode else 'Default_No_Compression',
    }
    if udh:
        sms['UDH'] = udh
    return gammu.EncodePDU(sms, 'Deliver').hex().upper()


def concatenated(number, text, when):
    parts = gammu.EncodeSMS({'Class': -1, 'Unicode': False,
                             'Entries': [{'ID': 'ConcatenatedTextLong', 'Buffer': text}]})
    pdus = []
    for part in parts:
        part.update({'Number': number, 'SMSC': SMSC, 'DateTime': when, 'Folder': 1,
                     'Location': 0, 'InboxFolder': 1, 'State': 'UnRead', 'Type': 'Deliver'})
        pdus.append(gammu.EncodePDU(part, 'Deliver').hex().upper())
    return pdus


def main():
    day = datetime.datetime(2026, 12, 9)
    entries = [
        ('7-bit, national sender 10086: "Hello from the network"',
         deliver('10086', 'Hello from the network', day.replace(hour=8, minute=30, second=15))),
        ('UCS-2, international sender +8613912345678: "你好，世界！今晚七点见。"',
         deliver('+8613912345678', '你好，世界！今晚七点见。', day.replace(hour=9, minute=5, second=42),
                 unicode=True)),
        ('7-bit, international sender +447700900123: "Meeting moved to 10:30"',
         deliver('+447700900123', 'Meeting moved to 10:30', day.replace(hour=9, minute=12, second=3))),
    ]
    long_text = ('This is a long message that does not fit into one SMS, so the network splits it '
                 'into two parts with a user data header; the receiving modem keeps them as two '
                 'entries in its store. End.')
    for i, pdu in enumerate(concatenated('+8613700000001', long_text,
                                         day.replace(hour=10, minute=0, second=0)), start=1):
        entries.append((f'7-bit with a concatenation header, part {i} of 2, from +8613700000001', pdu))
    with open('demo_inbox.txt', 'w', encoding='utf-8') as out:
        out.write('# modemsim inbox: "unread <SMS-DELIVER PDU, SMSC field first>", stored in this order\n')
        out.write('# Made by make_inbox.py with python3-gammu.\n')
        for comment, pdu in entries:
            out.write(f'# {comment}\nunread {pdu}\n')


if __name__ == '__main__':
    main()

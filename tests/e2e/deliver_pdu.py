#!/usr/bin/python3
"""SMS-DELIVER PDUs (3GPP TS 23.040 9.2.2.1, SMSC field first, GSM 7-bit
default alphabet) for modemsim's "deliver" control line and --inbox file.
Bodies may use the characters the default alphabet shares with ASCII (letters,
digits, space, !"#%&'()*+,-./:;<=>?), line breaks, written \\r and \\n, and
@ $ _, which the alphabet codes 0x00, 0x02 and 0x11.

usage: deliver_pdu.py NUMBER TEXT             one PDU in hex
       deliver_pdu.py --inbox COUNT LENGTH TAG
           COUNT lines "unread <PDU>" from +8613900000001, each body
           "TAG NN " followed by filler up to LENGTH characters
"""
import sys

SHARED = set('ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 !"#%&\'()*+,-./:;<=>?\r\n')
GSM_CODE = {'@': 0x00, '$': 0x02, '_': 0x11}  # TS 23.038 6.2.1: not where ASCII has them
SMSC = '0891683108100005F0'  # +8613800100500
STAMP = '62219001000023'     # 26/12/09 10:00:00 +32 quarter hours


def semi_octets(digits):
    if len(digits) % 2:
        digits += 'F'
    return ''.join(digits[i + 1] + digits[i] for i in range(0, len(digits), 2))


def pack_septets(text):
    bits, nbits, out = 0, 0, bytearray()
    for ch in text:
        bits |= GSM_CODE.get(ch, ord(ch)) << nbits
        nbits += 7
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    return out.hex().upper()


def deliver(number, text):
    bad = sorted(set(text) - SHARED - set(GSM_CODE))
    if bad:
        raise SystemExit(f'deliver_pdu.py: not in the shared alphabet: {bad!r}')
    if len(text) > 160:
        raise SystemExit('deliver_pdu.py: more than 160 characters')
    digits = number.lstrip('+')
    toa = '91' if number.startswith('+') else '81'
    return (SMSC + '04' + f'{len(digits):02X}' + toa + semi_octets(digits) + '0000' + STAMP +
            f'{len(text):02X}' + pack_septets(text))


def main(argv):
    if len(argv) == 5 and argv[1] == '--inbox':
        count, length, tag = int(argv[2]), int(argv[3]), argv[4]
        for i in range(1, count + 1):
            head = f'{tag} {i:02d} '
            filler = 'abcdefghijklmnopqrstuvwxyz0123456789'
            body = head + (filler * 10)[:length - len(head)]
            print('unread ' + deliver('+8613900000001', body))
        return 0
    if len(argv) == 3:
        print(deliver(argv[1], argv[2].replace('\\r', '\r').replace('\\n', '\n')))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))

#!/usr/bin/python3
"""Independent PDU codec for the native tests, through python-gammu.

  gammu_oracle.py decode-submit PDU...
      one line per PDU: number TAB coding TAB text as UTF-8 hex
  gammu_oracle.py link-submit PDU[,PDU...]...
      each argument the parts of one message, in any order; one line per
      argument: parts TAB coding TAB reference TAB the linked text as UTF-8 hex
  gammu_oracle.py decode-deliver PDU...
      one line per SMS-DELIVER PDU (service-centre address first): number TAB
      coding TAB time stamp as YYMMDDhhmmss TAB concatenation reference TAB
      part TAB parts (-1, -1, 0 without a concatenation element) TAB text
      length in septets or units, past the user data header
  gammu_oracle.py decode-report PDU...
      one line per SMS-STATUS-REPORT PDU (service-centre address first):
      service centre TAB recipient TAB message reference TAB status TAB
      gammu's reading of the status (Delivered, Pending, Failed, Unknown, or
      the report's user data) TAB service-centre time stamp TAB discharge
      time (both YYMMDDhhmmss); "not a status report TAB type" otherwise
  gammu_oracle.py encode-deliver NUMBER:TEXT_UTF8_HEX...
      one line per message: an SMS-DELIVER PDU (with a service-centre address,
      stamped 2024-03-05 07:08:09), upper-case hex
Exit status 3 when gammu cannot be imported.
"""
import binascii
import datetime
import sys

try:
    import gammu
except ImportError:
    sys.exit(3)


def decode_submit(pdus):
    for pdu in pdus:
        sms = gammu.DecodePDU(binascii.unhexlify(pdu))
        # python-gammu hands back TP-UDL characters of gammu's NUL-terminated
        # text, so a body with escape pairs comes with a tail after the NUL.
        text = (sms["Text"] or "").split("\x00", 1)[0]
        print("%s\t%s\t%s" % (sms["Number"], sms["Coding"], text.encode("utf-8").hex()))


def decode_deliver(pdus):
    for pdu in pdus:
        sms = gammu.DecodePDU(binascii.unhexlify(pdu))
        udh = sms["UDH"]
        reference = {"ConcatenatedMessages": udh["ID8bit"],
                     "ConcatenatedMessages16bit": udh["ID16bit"]}.get(udh["Type"], -1)
        print("%s\t%s\t%s\t%d\t%d\t%d\t%d" % (
            sms["Number"], sms["Coding"], sms["DateTime"].strftime("%y%m%d%H%M%S"), reference,
            udh["PartNumber"], udh["AllParts"], sms["Length"]))


def decode_report(pdus):
    for pdu in pdus:
        sms = gammu.DecodePDU(binascii.unhexlify(pdu))
        if sms["Type"] != "Status_Report":
            print("not a status report\t%s" % sms["Type"])
            continue
        # gammu keeps TP-SCTS as DateTime and TP-DT as SMSCDateTime.
        print("%s\t%s\t%d\t%d\t%s\t%s\t%s" % (
            sms["SMSC"]["Number"], sms["Number"], sms["MessageReference"], sms["DeliveryStatus"], sms["Text"],
            sms["DateTime"].strftime("%y%m%d%H%M%S"), sms["SMSCDateTime"].strftime("%y%m%d%H%M%S")))


def link_submit(messages):
    for message in messages:
        parts = [gammu.DecodePDU(binascii.unhexlify(p)) for p in message.split(",")]
        # LinkSMS groups parts by their header and puts them in sequence; a
        # message it cannot complete comes back as more than one group.
        linked = gammu.LinkSMS([[p] for p in parts])
        if len(linked) != 1:
            print("unlinked\t%d groups" % len(linked))
            continue
        info = gammu.DecodeSMS(linked[0])
        if info is None:  # a single message: nothing to link
            text = (parts[0]["Text"] or "").split("\x00", 1)[0]
            reference = -1
        else:
            text = "".join(e["Buffer"] or "" for e in info["Entries"])
            reference = parts[0]["UDH"]["ID8bit"]
        print("%d\t%s\t%d\t%s" % (len(linked[0]), parts[0]["Coding"], reference,
                                   text.encode("utf-8").hex()))


def encode_deliver(items):
    for item in items:
        number, text_hex = item.split(":", 1)
        text = bytes.fromhex(text_hex).decode("utf-8")
        try:
            text.encode("ascii")
            coding = "Default_No_Compression"
        except UnicodeEncodeError:
            coding = "Default_No_Compression" if all(c in GSM for c in text) else "Unicode_No_Compression"
        sms = {
            "Number": number,
            "Text": text,
            "SMSC": {"Location": 0, "Number": "+8613800100500"},
            "Class": -1,
            "Coding": coding,
            "Type": "Deliver",
            "Folder": 1,
            "InboxFolder": 1,
            "State": "UnRead",
            "DateTime": datetime.datetime(2024, 3, 5, 7, 8, 9),
        }
        print(binascii.hexlify(gammu.EncodePDU(sms, "Deliver")).decode().upper())


GSM = ("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
       "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà^{}\\[~]|€")

if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(2)
    {"decode-submit": decode_submit, "decode-deliver": decode_deliver, "decode-report": decode_report,
     "link-submit": link_submit, "encode-deliver": encode_deliver}[sys.argv[1]](sys.argv[2:])

// libGammu doing the same work as our codec, for a side-by-side figure.
//
// Decoding starts, for both, from the PDU line as the modem lists it:
//   ours:  DecodePduEntry on the "+CMGL:" entry -> the display text in GBK
//          (index, time stamp, sender, body), ready for a store slot;
//   gammu: DecodeHexBin of the PDU line, then GSM_DecodePDUFrame -> its
//          GSM_SMSMessage (SMSC, sender, time stamp, coding, UDH, body as
//          UCS-2); no code-page conversion.
// Encoding ends, for both, with the SMS-SUBMIT PDU as hexadecimal text:
//   ours:  Makecode from the GBK body (code-page conversion, GSM alphabet
//          check, packing, hex);
//   gammu: GSM_EncodeSMSFrame from a prepared GSM_SMSMessage whose body is
//          already UCS-2, the fields then laid end to end as its AT driver
//          does, and EncodeHexBin.
// Encoding a long body into the parts of a concatenated message ends, for
// both, with every part's SMS-SUBMIT PDU as hexadecimal text:
//   ours:  SplitBody from the GBK body, then EncodePart for each part;
//   gammu: GSM_EncodeMultiPartSMS (ConcatenatedTextLong) from the UCS-2
//          body, then each part's frame and hex as above.
// Before timing, the PDUs of both encoders are compared byte for byte (the
// parts with gammu's reference) and both decoders are checked to find the
// same body.
#include <benchmark/benchmark.h>

#include <gammu.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"
#include "os/os.h"
#include "sms/shown_text.h"
#include "sms/pdu_encode.h"

namespace {

void Require(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "peer set-up failed: %s\n", what.c_str());
        std::exit(1);
    }
}

GSM_Debug_Info* Debug() {
    static GSM_Debug_Info* di = [] {
        GSM_Debug_Info* d = GSM_GetGlobalDebug();
        GSM_SetDebugLevel("nothing", d);
        return d;
    }();
    return di;
}

// --- decoding ------------------------------------------------------------

GSM_Error GammuDecode(const std::string& hex, GSM_SMSMessage* sms) {
    unsigned char bin[512];
    const std::size_t n = hex.size() / 2;
    if (n > sizeof bin || !DecodeHexBin(bin, reinterpret_cast<const unsigned char*>(hex.data()), hex.size()))
        return ERR_UNKNOWN;
    std::size_t end = 0;
    return GSM_DecodePDUFrame(Debug(), sms, bin, n, &end, TRUE);
}

// The body gammu found, converted to GBK like ours, for the cross-check.
std::string GammuBodyGbk(const GSM_SMSMessage& sms) {
    std::u16string u;
    for (int i = 0; sms.Text[2 * i] != 0 || sms.Text[2 * i + 1] != 0; ++i)
        u += static_cast<char16_t>(sms.Text[2 * i] << 8 | sms.Text[2 * i + 1]);
    char out[1024] = {};
    const int k = os::WideCharToMultiByte(u.data(), static_cast<int>(u.size()), out, sizeof out - 1, nullptr);
    return std::string(out, static_cast<std::size_t>(k > 0 ? k : 0));
}

void CheckSameBody(const std::string& pdu) {
    GSM_SMSMessage sms{};
    Require(GammuDecode(pdu, &sms) == ERR_NONE, "gammu decodes the PDU");
    const std::string entry = bench::PduEntry(1, pdu);
    char out[vantor::sms::kDisplaySize];
    const int at = vantor::sms::DecodePduEntry(entry.data(), entry.size(), out);
    Require(at > 0, "our decoder finds a body");
    Require(std::string(out + at + 1) == GammuBodyGbk(sms), "both decoders find the same body");
}

void GammuDecodeBench(benchmark::State& state, const std::string& pdu) {
    CheckSameBody(pdu);
    GSM_SMSMessage sms{};
    bench::AllocMeter meter(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(GammuDecode(pdu, &sms));
        benchmark::ClobberMemory();
    }
}
void BM_Gammu_Decode_7bit160(benchmark::State& state) { GammuDecodeBench(state, bench::DeliverPdu7bit()); }
void BM_Gammu_Decode_Ucs2_70(benchmark::State& state) { GammuDecodeBench(state, bench::DeliverPduUcs2()); }
BENCHMARK(BM_Gammu_Decode_7bit160);
BENCHMARK(BM_Gammu_Decode_Ucs2_70);

// --- encoding ------------------------------------------------------------

GSM_SMSMessage Submit(bool ucs2) {
    GSM_SMSMessage sms;
    GSM_SetDefaultSMSData(&sms);
    sms.PDU = SMS_Submit;
    sms.UDH.Type = UDH_NoUDH;
    sms.Class = -1;
    sms.SMSC.Location = 0;
    sms.SMSC.Number[0] = sms.SMSC.Number[1] = 0;
    sms.SMSC.Validity.Format = SMS_Validity_RelativeFormat;
    sms.SMSC.Validity.Relative = SMS_VALID_1_Day;
    EncodeUnicode(sms.Number, bench::kDestination, std::strlen(bench::kDestination));
    std::memset(sms.Text, 0, sizeof sms.Text);
    if (ucs2) {
        sms.Coding = SMS_Coding_Unicode_No_Compression;
        const std::u16string u = bench::Text70Ucs2();
        for (std::size_t i = 0; i < u.size(); ++i) {
            sms.Text[2 * i] = static_cast<unsigned char>(u[i] >> 8);
            sms.Text[2 * i + 1] = static_cast<unsigned char>(u[i] & 0xFF);
        }
        sms.Length = static_cast<int>(u.size());
    } else {
        sms.Coding = SMS_Coding_Default_No_Compression;
        const std::string t = bench::Text160();
        EncodeUnicode(sms.Text, t.c_str(), t.size());
        sms.Length = static_cast<int>(t.size());
    }
    return sms;
}

// SMS-SUBMIT without SMSC address as hex: the frame fields taken from their
// places in the layout and written one after the other.
int GammuEncode(GSM_SMSMessage* sms, char* hex) {
    unsigned char frame[1000];
    int length = 0;
    const GSM_SMSMessageLayout& l = PHONE_SMSSubmit;
    if (GSM_EncodeSMSFrame(Debug(), sms, frame, l, &length, TRUE) != ERR_NONE) return 0;
    unsigned char pdu[400];
    int n = 0;
    pdu[n++] = 0x00;  // no SMSC address: the modem's stored one
    pdu[n++] = frame[l.firstbyte];
    pdu[n++] = frame[l.TPMR];
    const int numberOctets = (frame[l.Number] + 1) / 2 + 2;
    std::memcpy(pdu + n, frame + l.Number, static_cast<std::size_t>(numberOctets));
    n += numberOctets;
    pdu[n++] = frame[l.TPPID];
    pdu[n++] = frame[l.TPDCS];
    pdu[n++] = frame[l.TPVP];
    pdu[n++] = frame[l.TPUDL];
    const int text = length - l.Text;
    std::memcpy(pdu + n, frame + l.Text, static_cast<std::size_t>(text));
    n += text;
    EncodeHexBin(hex, pdu, static_cast<std::size_t>(n));
    return 2 * n;
}

void GammuEncodeBench(benchmark::State& state, bool ucs2) {
    GSM_SMSMessage sms = Submit(ucs2);
    char theirs[1024] = {};
    Require(GammuEncode(&sms, theirs) > 0, "gammu encodes");
    char ours[vantor::sms::kPduTextSize];
    std::int32_t count = 0;
    const std::string body = ucs2 ? bench::Text70Gbk() : bench::Text160();
    Require(vantor::sms::Makecode(bench::kDestination, body.c_str(), "", ucs2 ? 1 : 0, ours, &count) == 1,
            "Makecode encodes");
    Require(std::string(ours) == std::string(theirs),
            std::string("same PDU from both encoders\n ours:  ") + ours + "\n gammu: " + theirs);
    bench::AllocMeter meter(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(GammuEncode(&sms, theirs));
        benchmark::ClobberMemory();
    }
}
void BM_Gammu_Encode_7bit160(benchmark::State& state) { GammuEncodeBench(state, false); }
void BM_Gammu_Encode_Ucs2_70(benchmark::State& state) { GammuEncodeBench(state, true); }
BENCHMARK(BM_Gammu_Encode_7bit160);
BENCHMARK(BM_Gammu_Encode_Ucs2_70);

// --- concatenated messages ------------------------------------------------

GSM_MultiPartSMSInfo MultiPartInfo(bool ucs2, unsigned char* buffer) {
    GSM_MultiPartSMSInfo info;
    GSM_ClearMultiPartSMSInfo(&info);
    info.EntriesNum = 1;
    info.UnicodeCoding = ucs2 ? TRUE : FALSE;
    info.Class = -1;
    info.Entries[0].ID = SMS_ConcatenatedTextLong;
    info.Entries[0].Buffer = buffer;
    return info;
}

// Every part: GSM_EncodeMultiPartSMS, then the fields a submit needs and the
// frame as hex. Returns the number of parts.
int GammuEncodeParts(GSM_MultiPartSMSInfo* info, GSM_MultiSMSMessage* multi, char (*hex)[1024]) {
    if (GSM_EncodeMultiPartSMS(Debug(), info, multi) != ERR_NONE) return 0;
    for (int k = 0; k < multi->Number; ++k) {
        GSM_SMSMessage& sms = multi->SMS[k];
        sms.PDU = SMS_Submit;
        sms.SMSC.Location = 0;
        sms.SMSC.Number[0] = sms.SMSC.Number[1] = 0;
        sms.SMSC.Validity.Format = SMS_Validity_RelativeFormat;
        sms.SMSC.Validity.Relative = SMS_VALID_1_Day;
        EncodeUnicode(sms.Number, bench::kDestination, std::strlen(bench::kDestination));
        if (GammuEncode(&sms, hex[k]) == 0) return 0;
    }
    return multi->Number;
}

void GammuEncodePartsBench(benchmark::State& state, bool ucs2) {
    // gammu's text buffers: UCS-2 high byte first, two zero bytes at the end.
    static unsigned char text[2 * 600 + 2];
    std::memset(text, 0, sizeof text);
    std::string gbk;
    if (ucs2) {
        const std::u16string u = bench::Text210Ucs2();
        for (std::size_t i = 0; i < u.size(); ++i) {
            text[2 * i] = static_cast<unsigned char>(u[i] >> 8);
            text[2 * i + 1] = static_cast<unsigned char>(u[i] & 0xFF);
        }
        gbk = bench::Text210Gbk();
    } else {
        gbk = bench::Text500();
        EncodeUnicode(text, gbk.c_str(), gbk.size());
    }
    GSM_MultiPartSMSInfo info = MultiPartInfo(ucs2, text);
    static GSM_MultiSMSMessage multi;  // large: kept out of the stack
    static char theirs[GSM_MAX_MULTI_SMS][1024];
    const int parts = GammuEncodeParts(&info, &multi, theirs);
    Require(parts == 4, "gammu makes 4 parts, made " + std::to_string(parts));

    const std::string part0 = gbk.substr(0, 255);
    const std::string part1 = gbk.size() > 255 ? gbk.substr(255) : "";
    vantor::sms::SubmitBody body;
    Require(vantor::sms::SplitBody(part0.c_str(), part1.c_str(), ucs2 ? 1 : 0, &body) == parts,
            "SplitBody makes as many parts");
    for (int k = 0; k < parts; ++k) {
        // Both write the header 05 00 03 <ref> <n> <k>; ours takes gammu's reference.
        const std::uint8_t reference = multi.SMS[k].UDH.Text[3];
        char ours[vantor::sms::kPduTextSize];
        std::int32_t count = 0;
        Require(vantor::sms::EncodePart(bench::kDestination, body, k, reference, ours, &count) == 1, "EncodePart");
        Require(std::string(ours) == std::string(theirs[k]),
                "same part " + std::to_string(k + 1) + " from both encoders\n ours:  " + ours + "\n gammu: " +
                    theirs[k]);
    }
    bench::AllocMeter meter(state);
    for (auto _ : state) {
        info = MultiPartInfo(ucs2, text);
        benchmark::DoNotOptimize(GammuEncodeParts(&info, &multi, theirs));
        benchmark::ClobberMemory();
    }
}
void BM_Gammu_EncodeParts_7bit4(benchmark::State& state) { GammuEncodePartsBench(state, false); }
void BM_Gammu_EncodeParts_Ucs2_4(benchmark::State& state) { GammuEncodePartsBench(state, true); }
BENCHMARK(BM_Gammu_EncodeParts_7bit4);
BENCHMARK(BM_Gammu_EncodeParts_Ucs2_4);

}  // namespace

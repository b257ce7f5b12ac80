#include "utf8bytes.h"

int Utf8Bytes::characterAt(QByteArrayView bytes, qsizetype at)
{
    if (at >= bytes.size())
        return 0;
    // A byte past the end reads as 0, which continues no character.
    const auto byte = [&](qsizetype offset) { return at + offset < bytes.size() ? uchar(bytes.at(at + offset)) : 0; };
    const uchar lead = byte(0);
    if (lead < 0x80)
        return 1;
    // The bytes that may follow the lead: its second is bounded tighter after E0 and F0, which would otherwise spell
    // a shorter form, after ED, the surrogates, and after F4, past U+10FFFF; C0, C1 and F5 up lead nothing.
    int length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    for (int offset = 1; offset < length; ++offset) {
        const uchar next = byte(offset);
        if (next < (offset == 1 ? low : 0x80) || next > (offset == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

bool Utf8Bytes::isValid(QByteArrayView bytes)
{
    for (qsizetype at = 0; at < bytes.size();) {
        const int length = characterAt(bytes, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

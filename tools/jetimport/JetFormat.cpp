// Jet 4 definition page and stored values (see JetFormat.h).
#include "tools/jetimport/JetFormat.h"

#include <array>
#include <cmath>
#include <cstring>

namespace jetimport {

namespace {

constexpr int kVersionOffset = 0x14;
constexpr int kHeaderCryptStart = 0x18;
constexpr int kHeaderCryptLength = 128;  // Jet 4 (126 for Jet 3)
constexpr int kPageKeyOffset = 0x3e;
constexpr int kPasswordOffset = 0x42;
constexpr int kPasswordLength = 40;  // 20 UCS-2 characters
constexpr int kCreatedOffset = 0x72;
constexpr std::array<uint8_t, 4> kHeaderKey = {0xc7, 0xda, 0x39, 0x6b};

}  // namespace

void rc4(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length) {
    std::array<uint8_t, 256> s;
    for (int i = 0; i < 256; ++i) s[i] = uint8_t(i);
    uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = uint8_t(j + s[i] + key[size_t(i) % keyLength]);
        std::swap(s[i], s[j]);
    }
    uint8_t a = 0, b = 0;
    for (size_t k = 0; k < length; ++k) {
        a = uint8_t(a + 1);
        b = uint8_t(b + s[a]);
        std::swap(s[a], s[b]);
        data[k] ^= s[uint8_t(s[a] + s[b])];
    }
}

std::optional<JetHeader> parseHeader(const QByteArray& firstPage) {
    if (firstPage.size() < kHeaderCryptStart + kHeaderCryptLength) return std::nullopt;
    const QByteArray magic = firstPage.mid(4, 15);
    if (firstPage[0] != 0 || (magic != "Standard Jet DB" && magic != "Standard ACE DB"))
        return std::nullopt;
    JetHeader h;
    const uint8_t v = uint8_t(firstPage[kVersionOffset]);
    h.version = v == 0 ? JetVersion::Jet3 : v == 1 ? JetVersion::Jet4 : JetVersion::Ace;
    if (h.version != JetVersion::Jet4) return h;

    std::array<uint8_t, kHeaderCryptLength> plain;
    std::memcpy(plain.data(), firstPage.constData() + kHeaderCryptStart, plain.size());
    rc4(kHeaderKey.data(), kHeaderKey.size(), plain.data(), plain.size());
    auto at = [&](int offset) { return plain.data() + (offset - kHeaderCryptStart); };

    h.pageKey = readU32(at(kPageKeyOffset));
    h.created = readDouble(at(kCreatedOffset));
    // The mask is the whole part of the creation date as a 32-bit integer.
    const double whole = std::isfinite(h.created) ? std::floor(h.created) : 0.0;
    const uint32_t mask32 =
        (whole >= -2147483648.0 && whole <= 2147483647.0) ? uint32_t(int32_t(whole)) : 0u;
    std::array<uint8_t, kPasswordLength> pw;
    for (int i = 0; i < kPasswordLength; ++i)
        pw[i] = uint8_t(at(kPasswordOffset)[i] ^ uint8_t(mask32 >> (8 * (i % 4))));
    QString text = decodeText(pw.data(), pw.size());
    const qsizetype end = text.indexOf(QChar(u'\0'));
    if (end >= 0) text.truncate(end);
    h.password = text;
    return h;
}

QString decodeText(const uint8_t* data, size_t length) {
    if (length >= 2 && data[0] == 0xff && data[1] == 0xfe) {
        QString out;
        out.reserve(qsizetype(length));
        bool oneByte = true;
        size_t i = 2;
        while (i < length) {
            if (data[i] == 0) {
                oneByte = !oneByte;
                ++i;
            } else if (oneByte) {
                out += QChar(char16_t(data[i]));
                ++i;
            } else if (i + 1 < length) {
                out += QChar(char16_t(data[i] | (data[i + 1] << 8)));
                i += 2;
            } else {
                break;  // a lone trailing byte carries no character
            }
        }
        return out;
    }
    QString out(qsizetype(length / 2), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (size_t i = 0; i + 1 < length; i += 2) d[i / 2] = char16_t(data[i] | (data[i + 1] << 8));
    return out;
}

double readDouble(const uint8_t* p) {
    const uint64_t bits = uint64_t(readI64(p));
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

float readFloat(const uint8_t* p) {
    const uint32_t bits = readU32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool decodeDecimal(const uint8_t* p, int scale, rt::Decimal& out) {
    unsigned __int128 m = 0;
    for (int word = 0; word < 4; ++word) m = (m << 32) | readU32(p + 1 + 4 * word);
    if (m >> 127) return false;
    const __int128 magnitude = __int128(m);
    out.mantissa = (p[0] & 0x80) ? -magnitude : magnitude;
    out.scale = uint8_t(scale);
    return true;
}

QDateTime decodeDate(const uint8_t* p) { return rt::serialToDate(readDouble(p)); }

QString decodeGuid(const uint8_t* p) {
    auto hex = [](uint64_t v, int digits) {
        return QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper();
    };
    QString tail;
    for (int i = 10; i < 16; ++i) tail += hex(p[i], 2);
    return u'{' + hex(readU32(p), 8) + u'-' + hex(readU16(p + 4), 4) + u'-' +
           hex(readU16(p + 6), 4) + u'-' + hex(p[8], 2) + hex(p[9], 2) + u'-' + tail + u'}';
}

LongValueRef decodeLongValueRef(const uint8_t* p) {
    const uint32_t word = readU32(p);
    LongValueRef r;
    r.length = word & 0x3fffffffu;
    r.kind = (word & 0x80000000u)   ? LongValueRef::Inline
             : (word & 0x40000000u) ? LongValueRef::SinglePage
                                    : LongValueRef::PageChain;
    r.pageRow = readU32(p + 4);
    return r;
}

}  // namespace jetimport

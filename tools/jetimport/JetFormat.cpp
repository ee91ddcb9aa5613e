// Jet 3 and Jet 4 definition page, page layouts and stored values (see
// JetFormat.h).
#include "tools/jetimport/JetFormat.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace jetimport {

namespace {

constexpr int kVersionOffset = 0x14;
constexpr int kHeaderCryptStart = 0x18;
constexpr int kHeaderCryptLength = 128;  // Jet 4
constexpr int kJet3HeaderCryptLength = 126;
constexpr int kCodePageOffset = 0x3c;
constexpr int kPageKeyOffset = 0x3e;
constexpr int kPasswordOffset = 0x42;
constexpr int kPasswordLength = 40;      // 20 UCS-2 characters
constexpr int kJet3PasswordLength = 20;  // 20 single-byte characters
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
    if (h.version == JetVersion::Ace) return h;

    std::array<uint8_t, kHeaderCryptLength> plain{};
    const size_t cryptLength =
        h.version == JetVersion::Jet3 ? kJet3HeaderCryptLength : kHeaderCryptLength;
    std::memcpy(plain.data(), firstPage.constData() + kHeaderCryptStart, cryptLength);
    rc4(kHeaderKey.data(), kHeaderKey.size(), plain.data(), cryptLength);
    auto at = [&](int offset) { return plain.data() + (offset - kHeaderCryptStart); };

    h.pageKey = readU32(at(kPageKeyOffset));
    h.codePage = readU16(at(kCodePageOffset));
    if (h.version == JetVersion::Jet3) {
        const CodePageText text(h.codePage ? h.codePage : 1252);
        const uint8_t* pw = at(kPasswordOffset);
        size_t n = 0;
        while (n < size_t(kJet3PasswordLength) && pw[n] != 0) ++n;
        h.password = text.decode(pw, n);
        return h;
    }
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

const JetLayout& layoutOf(JetVersion version) {
    static const JetLayout jet3{
        .pageSize = kJet3PageSize,
        .rowCountOffset = 0x08,
        .rowColumnCountSize = 1,
        .tdefRowCount = 12,
        .tdefAutoNumber = 16,
        .tdefNumVarCols = 23,
        .tdefNumCols = 25,
        .tdefNumIndexes = 27,
        .tdefNumRealIndexes = 31,
        .tdefUsageMap = 35,
        .tdefColumnsStart = 43,
        .realIndexCountSize = 8,
        .columnEntrySize = 18,
        .columnNumber = 1,
        .columnFlags = 13,
        .columnMisc = 9,
        .nameLengthSize = 1,
        .realIndexEntrySize = 39,
        .realIndexLead = 0,
        .realIndexFlags = 38,
        .logicalIndexEntrySize = 20,
        .logicalIndexLead = 0,
    };
    static const JetLayout jet4{
        .pageSize = kJetPageSize,
        .rowCountOffset = 0x0c,
        .rowColumnCountSize = 2,
        .tdefRowCount = 16,
        .tdefAutoNumber = 20,
        .tdefNumVarCols = 43,
        .tdefNumCols = 45,
        .tdefNumIndexes = 47,
        .tdefNumRealIndexes = 51,
        .tdefUsageMap = 55,
        .tdefColumnsStart = 63,
        .realIndexCountSize = 12,
        .columnEntrySize = 25,
        .columnNumber = 5,
        .columnFlags = 15,
        .columnMisc = 11,
        .nameLengthSize = 2,
        .realIndexEntrySize = 52,
        .realIndexLead = 4,
        .realIndexFlags = 46,
        .logicalIndexEntrySize = 28,
        .logicalIndexLead = 4,
    };
    return version == JetVersion::Jet3 ? jet3 : jet4;
}

CodePageText::CodePageText(int codePage) : codePage_(codePage) {
    const QByteArray name = "CP" + QByteArray::number(codePage);
    iconv_t cd = iconv_open("UTF-16LE", name.constData());
    if (cd == iconv_t(-1)) return;
    known_ = true;
    // A code page in which every byte stands alone is read through a table.
    singleByte_ = true;
    for (int b = 0; b < 256; ++b) {
        char in = char(b);
        char16_t out[4] = {};
        char* inp = &in;
        size_t inLeft = 1;
        char* outp = reinterpret_cast<char*>(out);
        size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        if (rc == size_t(-1) && errno == EINVAL) {
            singleByte_ = false;  // a lead byte of a double-byte character
            break;
        }
        table_[b] = (rc == size_t(-1) || outLeft != sizeof out - 2) ? char16_t(0xfffd) : out[0];
    }
    if (singleByte_) {
        iconv_close(cd);
    } else {
        iconv_ = cd;
    }
}

CodePageText::~CodePageText() {
    if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
}

QString CodePageText::decode(const uint8_t* data, size_t length) const {
    if (!known_ || singleByte_) {
        QString out(qsizetype(length), Qt::Uninitialized);
        char16_t* d = reinterpret_cast<char16_t*>(out.data());
        for (size_t i = 0; i < length; ++i)
            d[i] =
                known_ ? table_[data[i]] : (data[i] < 0x80 ? char16_t(data[i]) : char16_t(0xfffd));
        return out;
    }
    auto cd = static_cast<iconv_t>(iconv_);
    QString out;
    out.reserve(qsizetype(length));
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(data));
    size_t inLeft = length;
    std::array<char16_t, 256> buf;
    while (inLeft > 0) {
        char* outp = reinterpret_cast<char*>(buf.data());
        size_t outLeft = sizeof buf;
        const size_t rc = iconv(cd, &in, &inLeft, &outp, &outLeft);
        out.append(reinterpret_cast<const QChar*>(buf.data()),
                   qsizetype((sizeof buf - outLeft) / sizeof(char16_t)));
        if (rc == size_t(-1) && errno != E2BIG) {
            // A byte the code page does not define, or a character cut off
            // at the end: one replacement character, then go on.
            out += QChar(0xfffd);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
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

// The stored forms the importer decodes itself: the definition page with its
// masked password, text with and without Unicode compression, currency,
// decimals, dates outside 1900..9999, replication ids and long-value headers;
// and the JETDECIMAL order of the copies.
#include "ImporterTestSupport.h"

#include "platform/db/Schema.h"
#include "platform/runtime/Error.h"
#include "tools/jetimport/JetFormat.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using namespace jetimport;

std::vector<uint8_t> bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> v;
    for (int b : list) v.push_back(uint8_t(b));
    return v;
}

QByteArray firstPage(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    QByteArray page = f.read(kJetPageSize);
    EXPECT_EQ(page.size(), kJetPageSize) << path.toStdString();
    page.resize(kJetPageSize);  // a short read leaves zeros, never a read past the end
    return page;
}

TEST(JetFormat, Rc4MatchesTheKnownVectors) {
    struct Case {
        const char* key;
        const char* plain;
        std::vector<uint8_t> cipher;
    };
    const Case cases[] = {
        {"Key", "Plaintext", bytes({0xbb, 0xf3, 0x16, 0xe8, 0xd9, 0x40, 0xaf, 0x0a, 0xd3})},
        {"Wiki", "pedia", bytes({0x10, 0x21, 0xbf, 0x04, 0x20})},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data(c.plain, c.plain + std::strlen(c.plain));
        rc4(reinterpret_cast<const uint8_t*>(c.key), std::strlen(c.key), data.data(), data.size());
        EXPECT_EQ(data, c.cipher) << c.key;
    }
}

TEST(JetFormat, HeaderUnmasksTheDatabasePassword) {
    const auto withPassword = parseHeader(firstPage(importertest::sample("password-v2000.mdb")));
    ASSERT_TRUE(withPassword);
    EXPECT_EQ(withPassword->version, JetVersion::Jet4);
    EXPECT_EQ(withPassword->password, QStringLiteral("password"));

    for (const char* name : {"no-password-v2003.mdb", "types-v2000.mdb", "dates.mdb",
                             "ledger-100k.mdb", "numeric-v2003.mdb", "unicode-comp-v2003.mdb"}) {
        const auto h = parseHeader(firstPage(importertest::sample(name)));
        ASSERT_TRUE(h) << name;
        EXPECT_EQ(h->version, JetVersion::Jet4) << name;
        EXPECT_EQ(h->password, QString()) << name;
        EXPECT_EQ(h->pageKey, 0u) << name;
    }
}

TEST(JetFormat, HeaderReadsAPasswordMaskedWithItsOwnCreationDate) {
    // Write "Geheim!" into a real definition page the way Jet 4 does: XOR with
    // the whole part of the creation date, then the header's RC4.
    QByteArray page = firstPage(importertest::sample("no-password-v2003.mdb"));
    const uint8_t key[] = {0xc7, 0xda, 0x39, 0x6b};
    auto* p = reinterpret_cast<uint8_t*>(page.data());
    rc4(key, 4, p + 0x18, 128);  // decrypt
    double created;
    std::memcpy(&created, p + 0x72, 8);
    const uint32_t mask = uint32_t(int32_t(std::floor(created)));
    const QString pw = QStringLiteral("Geheim!");
    for (int i = 0; i < 40; ++i) {
        const uint16_t ch = i / 2 < pw.size() ? pw[i / 2].unicode() : 0;
        const uint8_t plain = uint8_t(i % 2 ? ch >> 8 : ch & 0xff);
        p[0x42 + i] = uint8_t(plain ^ uint8_t(mask >> (8 * (i % 4))));
    }
    rc4(key, 4, p + 0x18, 128);  // encrypt again
    const auto h = parseHeader(page);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->password, pw);
}

TEST(JetFormat, HeaderTellsTheVersionsApartAndRefusesOtherFiles) {
    QByteArray page = firstPage(importertest::sample("dates.mdb"));
    page[0x14] = 0;
    EXPECT_EQ(parseHeader(page)->version, JetVersion::Jet3);
    page[0x14] = 2;
    EXPECT_EQ(parseHeader(page)->version, JetVersion::Ace);
    QByteArray sqlite("SQLite format 3\0", 16);
    sqlite.resize(kJetPageSize);
    EXPECT_FALSE(parseHeader(sqlite));
    EXPECT_FALSE(parseHeader(page.left(100)));
}

TEST(JetFormat, TextWithAndWithoutUnicodeCompression) {
    struct Case {
        std::vector<uint8_t> stored;
        QString text;
    };
    const Case cases[] = {
        {{}, QString()},
        {bytes({0x41, 0x00, 0x42, 0x00}), QStringLiteral("AB")},
        {bytes({0x1c, 0x04, 0x38, 0x04, 0x40, 0x04}), QStringLiteral("Мир")},
        {bytes({0x3d, 0xd8, 0x00, 0xde}), QString::fromUtf8("\xF0\x9F\x98\x80")},  // a pair
        {bytes({0x41, 0x00, 0x42}), QStringLiteral("A")},  // a lone trailing byte
        {bytes({0xff, 0xfe, 0x61, 0x62, 0x63}), QStringLiteral("abc")},
        {bytes({0xff, 0xfe, 0xe4, 0x0d, 0x0a, 0x09}), QStringLiteral("ä\r\n\t")},
        // one-byte run, a 0 switches to two-byte characters, a 0 switches back
        {bytes({0xff, 0xfe, 0x61, 0x00, 0x16, 0x04, 0xb9, 0x20, 0x00, 0x62}),
         QStringLiteral("aЖ₹b")},
        {bytes({0xff, 0xfe}), QString()},
        {bytes({0xff, 0xfe, 0x00, 0x41}), QString()},   // a lone byte in a two-byte run
        {bytes({0xfe, 0xff}), QString(QChar(0xfffe))},  // not the marker: one character
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeText(c.stored.data(), c.stored.size()), c.text) << c.text.toStdString();
}

TEST(JetFormat, CurrencyIsTheScaledIntegerExactly) {
    struct Case {
        std::vector<uint8_t> stored;
        int64_t scaled;
    };
    const Case cases[] = {
        {bytes({0xb8, 0x88, 0, 0, 0, 0, 0, 0}), 35000},
        {bytes({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), -1},
        {bytes({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}), INT64_MAX},
        {bytes({0, 0, 0, 0, 0, 0, 0, 0x80}), INT64_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeCurrency(c.stored.data()).scaled, c.scaled);
}

std::vector<uint8_t> storedDecimal(bool negative, unsigned __int128 magnitude) {
    std::vector<uint8_t> b(17, 0);
    b[0] = negative ? 0x80 : 0;
    for (int word = 0; word < 4; ++word) {
        const uint32_t w = uint32_t(magnitude >> (32 * (3 - word)));
        for (int k = 0; k < 4; ++k) b[size_t(1 + 4 * word + k)] = uint8_t(w >> (8 * k));
    }
    return b;
}

TEST(JetFormat, DecimalsKeepEveryDigit) {
    const unsigned __int128 nines = [] {
        unsigned __int128 v = 0;
        for (int i = 0; i < 28; ++i) v = v * 10 + 9;
        return v;
    }();
    struct Case {
        std::vector<uint8_t> stored;
        int scale;
        QString text;
    };
    const Case cases[] = {
        {storedDecimal(false, 0), 0, QStringLiteral("0")},
        {storedDecimal(false, 1), 0, QStringLiteral("1")},
        {storedDecimal(true, 1), 0, QStringLiteral("-1")},
        {storedDecimal(false, 12345678), 4, QStringLiteral("1234.5678")},
        {storedDecimal(true, 5), 3, QStringLiteral("-0.005")},
        {storedDecimal(false, 150), 2, QStringLiteral("1.50")},
        {storedDecimal(false, nines), 0, QStringLiteral("9999999999999999999999999999")},
        {storedDecimal(true, nines), 10, QStringLiteral("-999999999999999999.9999999999")},
        // the words are stored most significant first: 2^32 sits in the third
        {bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}), 0,
         QStringLiteral("4294967296")},
    };
    for (const Case& c : cases) {
        rt::Decimal d;
        ASSERT_TRUE(decodeDecimal(c.stored.data(), c.scale, d)) << c.text.toStdString();
        EXPECT_EQ(d.toPlainText(), c.text);
    }
    rt::Decimal d;
    std::vector<uint8_t> tooBig(17, 0);
    tooBig[4] = 0x80;  // the top bit of the most significant word
    EXPECT_FALSE(decodeDecimal(tooBig.data(), 0, d));
}

std::vector<uint8_t> storedDouble(double v) {
    std::vector<uint8_t> b(8);
    std::memcpy(b.data(), &v, 8);
    return b;
}

TEST(JetFormat, DatesFromTheStoredNumberBeyondTheLibrarysRange) {
    struct Case {
        double serial;
        rt::Variant date;
    };
    using importertest::date;
    const Case cases[] = {
        {0.0, date(1899, 12, 30)},
        {1.5, date(1899, 12, 31, 12, 0, 0)},
        {-1.25, date(1899, 12, 29, 6, 0, 0)},  // the time part counts forward
        {-365.0, date(1898, 12, 30)},
        {-462137.0, date(634, 9, 16)},
        {-657434.0, date(100, 1, 1)},
        {44532.0, date(2021, 12, 2)},
        {2958465.0 + 86399.0 / 86400.0, date(9999, 12, 31, 23, 59, 59)},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> b = storedDouble(c.serial);
        EXPECT_EQ(rt::Variant(decodeDate(b.data())), c.date) << c.serial;
    }
    for (double bad : {2958466.0, -657435.0, std::numeric_limits<double>::quiet_NaN()}) {
        const std::vector<uint8_t> b = storedDouble(bad);
        EXPECT_THROW(decodeDate(b.data()), rt::Error) << bad;
    }
}

TEST(JetFormat, ReplicationIdsAndLongValueReferences) {
    std::vector<uint8_t> guid(16);
    for (int i = 0; i < 16; ++i) guid[size_t(i)] = uint8_t(i);
    EXPECT_EQ(decodeGuid(guid.data()), QStringLiteral("{03020100-0504-0706-0809-0A0B0C0D0E0F}"));

    struct Case {
        std::vector<uint8_t> stored;
        LongValueRef::Kind kind;
        uint32_t length;
        uint32_t pageRow;
    };
    const Case cases[] = {
        {bytes({5, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0}), LongValueRef::Inline, 5, 0},
        {bytes({0, 1, 0, 0x40, 3, 0x10, 0, 0, 0, 0, 0, 0}), LongValueRef::SinglePage, 256, 0x1003},
        {bytes({0x94, 0x11, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0}), LongValueRef::PageChain, 4500,
         0x2000},
    };
    for (const Case& c : cases) {
        const LongValueRef r = decodeLongValueRef(c.stored.data());
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.length, c.length);
        if (c.kind != LongValueRef::Inline) {
            EXPECT_EQ(r.pageRow, c.pageRow);
        }
    }
}

int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(DecimalCollation, OrdersDecimalTextsByValue) {
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    const Case cases[] = {
        {"1.50", "1.5", 0},
        {"10", "9", 1},
        {"-2", "-10", 1},
        {"-0.5", "0", -1},
        {"0.001", "0", 1},
        {"-0", "0.000", 0},
        {"007", "7", 0},
        {"12345678901234567890123456789.1", "12345678901234567890123456789.09", 1},
        {"1e3", "999", 1},  // numeric text of another form: by its double
        {"abc", "12", 1},   // no number: after the numbers
        {"abc", "abd", -1},
    };
    for (const Case& c : cases) {
        const int n1 = int(std::strlen(c.a)), n2 = int(std::strlen(c.b));
        EXPECT_EQ(sign(db::compareDecimalText(n1, c.a, n2, c.b)), c.order) << c.a << " " << c.b;
        EXPECT_EQ(sign(db::compareDecimalText(n2, c.b, n1, c.a)), -c.order) << c.b << " " << c.a;
    }
}

}  // namespace

// Every value of files the tests write themselves (Jet 3 and Jet 4), read back
// from the copies and compared with the values written: every type with its
// extremes and Null, long text in Jet 3 rows past 256 bytes (jump tables),
// long values inline, on one page and on chains of pages, moved and deleted
// rows, encrypted pages, pages listed on usage-map pages, compressed Unicode,
// and Jet 3 text in the file's and a column's own code page.
#include "WrittenFiles.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

using importertest::importWritten;
using importertest::query;
using importertest::readBack;
using importertest::Rows;
using jetwriter::column;
using jetwriter::JetColumnType;
using jetwriter::Version;
using rt::Variant;

Variant text(const QString& s) { return Variant(s); }
Variant bytes(int n, int seed) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i) b[i] = char((i * 7 + seed) & 0xff);
    return Variant(b);
}
Variant cur(int64_t scaled) { return Variant(rt::Currency{scaled}); }
Variant dec(__int128 m, int scale) {
    rt::Decimal d;
    d.mantissa = m;
    d.scale = uint8_t(scale);
    return Variant(d);
}
Variant at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return Variant::fromDate(QDate(y, mo, d), QTime(h, mi, s, ms));
}

// A text of `n` characters from `alphabet` (a character may take two UTF-16
// units), different for each `seed`.
QString textOf(int n, const QStringList& alphabet, int seed) {
    QString s;
    for (int i = 0; i < n; ++i) s += alphabet[(i * 31 + seed) % alphabet.size()];
    return s;
}
QStringList charactersOf(const QString& s) {
    QStringList out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate() && i + 1 < s.size()) {
            out << s.mid(i, 2);
            ++i;
        } else {
            out << QString(s[i]);
        }
    }
    return out;
}

struct VersionCase {
    Version version;
    const char* name;
};
void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class EveryValue : public ::testing::TestWithParam<VersionCase> {};

TEST_P(EveryValue, ComesBackAsWritten) {
    const bool jet3 = GetParam().version == Version::Jet3;
    // Jet 3 keeps text in the file's code page (here 1252); Jet 4 in UCS-2.
    const QStringList alphabet =
        charactersOf(jet3 ? QStringLiteral("abcXYZ éü€ 0123456789,.;")
                          : QStringLiteral("abcXYZ éü€ Мир 漢字 \U0001F600 ₹,.;"));
    jetwriter::Table t;
    t.name = QStringLiteral("Everything");
    t.columns = {column(QStringLiteral("Id"), JetColumnType::Long),
                 column(QStringLiteral("B"), JetColumnType::Byte),
                 column(QStringLiteral("I"), JetColumnType::Integer),
                 column(QStringLiteral("L"), JetColumnType::Long),
                 column(QStringLiteral("C"), JetColumnType::Currency),
                 column(QStringLiteral("S"), JetColumnType::Single),
                 column(QStringLiteral("D"), JetColumnType::Double),
                 column(QStringLiteral("T"), JetColumnType::DateTime),
                 column(QStringLiteral("Txt"), JetColumnType::Text, 255),
                 column(QStringLiteral("Txt2"), JetColumnType::Text, 255),
                 column(QStringLiteral("Bin"), JetColumnType::Binary, 16),
                 column(QStringLiteral("Note"), JetColumnType::Memo),
                 column(QStringLiteral("Ole"), JetColumnType::LongBinary),
                 column(QStringLiteral("G"), JetColumnType::Guid),
                 column(QStringLiteral("Flag"), JetColumnType::YesNo)};
    if (!jet3) {
        t.columns.push_back(column(QStringLiteral("Dec"), JetColumnType::Decimal));
        t.columns.back().precision = 28;
        t.columns.back().scale = 6;
    }
    t.indexes = {{QStringLiteral("PrimaryKey"), {QStringLiteral("Id")}, true, true}};

    const int64_t bound = jetimport::kExactCurrencyBound * 10000;
    const std::vector<Variant> currencies = {cur(0),
                                             cur(1),
                                             cur(-1),
                                             cur(bound - 1),
                                             cur(-(bound - 1)),
                                             cur(123456789),
                                             cur(900000000000000LL * 10000)};
    const std::vector<Variant> dates = {
        at(100, 1, 1),    at(9999, 12, 31, 23, 59, 59),   at(1899, 12, 29, 6),
        at(1899, 12, 30), at(2024, 2, 29, 13, 5, 7, 250), at(632, 7, 4, 18)};
    const std::vector<int> memoLengths = {0, 10, 30, 31, 1000, 2000, 5000, 12000};
    for (int i = 1; i <= 120; ++i) {
        jetwriter::Row r;
        const bool nulls = i % 11 == 0;
        auto maybe = [&](Variant v) { return nulls ? Variant::null() : v; };
        r.push_back(Variant(int32_t(i)));
        r.push_back(maybe(Variant::byte(uint8_t(i * 37))));
        r.push_back(maybe(Variant(int16_t(i % 2 ? INT16_MIN + i : INT16_MAX - i))));
        r.push_back(maybe(Variant(int32_t(i % 3 ? INT32_MIN + i : INT32_MAX - i))));
        r.push_back(maybe(currencies[size_t(i) % currencies.size()]));
        r.push_back(maybe(Variant(float(i) / 7.0f)));
        r.push_back(maybe(Variant(i % 5 ? double(i) / 3.0 : -1e300)));
        r.push_back(maybe(dates[size_t(i) % dates.size()]));
        // Up to 255 characters in two columns: Jet 3 rows run past 256 and
        // 512 bytes, so their offsets need the jump table.
        r.push_back(maybe(text(textOf((i * 13) % 256, alphabet, i))));
        r.push_back(maybe(text(textOf((i * 29) % 256, alphabet, i + 1))));
        r.push_back(maybe(bytes(16, i)));
        // Memo: inline, on one page, on a chain of pages (the lengths are
        // characters; Jet 4 stores two bytes each).
        r.push_back(maybe(text(textOf(memoLengths[size_t(i) % memoLengths.size()], alphabet, i))));
        r.push_back(maybe(bytes(memoLengths[size_t(i + 3) % memoLengths.size()], i)));
        r.push_back(maybe(text(QStringLiteral("{%1-0000-4000-8000-00000000ABCD}")
                                   .arg(uint32_t(i) * 2654435761u, 8, 16, QLatin1Char('0'))
                                   .toUpper())));
        r.push_back(i % 4 == 0 ? Variant(true) : Variant(false));
        if (!jet3)
            r.push_back(maybe(i % 2 ? dec(__int128(i) * 1000000007LL * 1000000007LL, 6)
                                    : dec(-__int128(i), 6)));
        t.rows.push_back(r);
    }
    jetwriter::Database db;
    db.version = GetParam().version;
    db.tables = {t};
    const auto imported = importWritten(db);
    ASSERT_TRUE(imported.copy);

    Rows expected;
    for (const jetwriter::Row& r : t.rows) {
        std::vector<Variant> e;
        for (size_t c = 0; c < t.columns.size(); ++c)
            e.push_back(readBack(t.columns[c].type, r[c]));
        expected.push_back(e);
    }
    const Rows rows = query(imported.copy, QStringLiteral("select * from Everything order by Id"));
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t c = 0; c < expected[i].size(); ++c)
            EXPECT_EQ(rows[i][c], expected[i][c])
                << "row " << i + 1 << ", " << t.columns[c].name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Versions, EveryValue,
                         ::testing::Values(VersionCase{Version::Jet4, "Jet4"},
                                           VersionCase{Version::Jet3, "Jet3"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A table of `n` rows (Id, Name), some of them moved, some deleted.
jetwriter::Table movingTable(int n, std::set<int> moved, std::set<int> deleted) {
    jetwriter::Table t;
    t.name = QStringLiteral("Lines");
    t.columns = {column(QStringLiteral("Id"), JetColumnType::Long),
                 column(QStringLiteral("Name"), JetColumnType::Text, 100)};
    for (int i = 1; i <= n; ++i)
        t.rows.push_back(
            {Variant(int32_t(i)), Variant(QStringLiteral("line %1 ").arg(i).repeated(i % 9 + 1))});
    t.movedRows = std::move(moved);
    t.deletedRows = std::move(deleted);
    t.recordedRows = n - int64_t(t.deletedRows.size());
    return t;
}

TEST(WrittenFiles, MovedRowsAreReadOnceFromTheirNewPlaceAndDeletedRowsNotAtAll) {
    for (const Version v : {Version::Jet4, Version::Jet3}) {
        // Moved rows at the start, in the middle, at a page's end and as the
        // table's very last rows; deleted ones among them.
        const int n = 700;
        const jetwriter::Table t = movingTable(n, {0, 1, 57, 58, 300, 698, 699}, {5, 299, 697});
        jetwriter::Database db;
        db.version = v;
        db.tables = {t};
        const auto imported = importWritten(db);
        ASSERT_TRUE(imported.copy);
        Rows expected;
        for (int i = 0; i < n; ++i)
            if (!t.deletedRows.count(i))
                expected.push_back({t.rows[size_t(i)][0], t.rows[size_t(i)][1]});
        EXPECT_EQ(query(imported.copy, QStringLiteral("select Id, Name from Lines order by Id")),
                  expected);
        EXPECT_TRUE(imported.warnings().isEmpty()) << imported.warnings().toStdString();
    }
}

TEST(WrittenFiles, EncryptedPagesCompressedTextAndPagesListedOnMapPages) {
    jetwriter::Table t = movingTable(400, {3, 399}, {});
    t.compressText = true;
    t.usageMapKind = 1;
    jetwriter::Database db;
    db.pageKey = 0x5a3c9e17;
    db.tables = {t};
    const auto imported = importWritten(db);
    ASSERT_TRUE(imported.copy);
    Rows expected;
    for (const auto& r : t.rows) expected.push_back({r[0], r[1]});
    EXPECT_EQ(query(imported.copy, QStringLiteral("select Id, Name from Lines order by Id")),
              expected);
}

TEST(WrittenFiles, Jet3TextInTheFilesCodePageAndInAColumnsOwn) {
    jetwriter::Table t;
    t.name = QStringLiteral("Города");
    t.columns = {column(QStringLiteral("Имя"), JetColumnType::Text, 50),
                 column(QStringLiteral("Заметка"), JetColumnType::Memo),
                 column(QStringLiteral("Western"), JetColumnType::Text, 50)};
    t.columns[2].codePage = 1252;
    t.rows = {
        {Variant(QStringLiteral("Москва")), Variant(QStringLiteral("Столица. ").repeated(80)),
         Variant(QStringLiteral("Café €5"))},
        {Variant(QStringLiteral("Пермь")), Variant::null(), Variant(QStringLiteral("Müller"))}};
    jetwriter::Database db;
    db.version = Version::Jet3;
    db.codePage = 1251;
    db.password = QStringLiteral("Пароль");
    db.tables = {t};
    jetimport::ImportOptions options;
    options.sourcePassword = QStringLiteral("Пароль");
    const auto imported = importWritten(db, options);
    ASSERT_TRUE(imported.copy);
    EXPECT_EQ(
        query(imported.copy, QStringLiteral("select [Имя], [Заметка], Western from [Города] "
                                            "order by [Имя]")),
        Rows({{Variant(QStringLiteral("Москва")), Variant(QStringLiteral("Столица. ").repeated(80)),
               Variant(QStringLiteral("Café €5"))},
              {Variant(QStringLiteral("Пермь")), Variant::null(),
               Variant(QStringLiteral("Müller"))}}));

    // The same file with a wrong password is refused.
    options.sourcePassword = QStringLiteral("пароль");
    const rt::Error e = importertest::refusal(jetwriter::write(db), options);
    EXPECT_EQ(e.number(), rt::err::DbBadPassword);
}

}  // namespace

// Values at the edges of what a copy can hold: dates whose time rounds up to
// midnight on both sides of 1899-12-30 and at the ends of the range, values
// that are not a number (one rule for Single and Double: stored as Null and
// counted), currency over the whole range the storage holds exactly (and a
// clear refusal beyond it), and text with half a surrogate pair.
#include "WrittenFiles.h"

#include <cmath>
#include <limits>

namespace {

using importertest::importWritten;
using importertest::query;
using importertest::refusal;
using importertest::Rows;
using jetwriter::column;
using jetwriter::JetColumnType;
using rt::Variant;

Variant at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return Variant::fromDate(QDate(y, mo, d), QTime(h, mi, s, ms));
}

jetwriter::Database oneColumn(JetColumnType type, const std::vector<Variant>& values) {
    jetwriter::Table t;
    t.name = QStringLiteral("T");
    t.columns = {column(QStringLiteral("N"), JetColumnType::Long),
                 column(QStringLiteral("V"), type)};
    int n = 0;
    for (const Variant& v : values) t.rows.push_back({Variant(int32_t(++n)), v});
    jetwriter::Database db;
    db.tables = {t};
    return db;
}

Rows valuesOf(const importertest::Imported& imported) {
    return query(imported.copy, QStringLiteral("select V from T order by N"));
}

TEST(ValuesAtTheEdges, DatesAreRightAtEveryRounding) {
    struct Case {
        double serial;
        Variant date;
    };
    const Case cases[] = {
        {-1.9999999999, at(1899, 12, 30)},  // rounds up to the next midnight
        {-366.99999999999, at(1898, 12, 30)},
        {-1.0000000001, at(1899, 12, 29)},
        {-1.5, at(1899, 12, 29, 12)},  // the time counts forward
        {-0.25, at(1899, 12, 30, 6)},
        {0.9999999999, at(1899, 12, 31)},
        {36525.999999999, at(2000, 1, 1)},
        {36525.5000000001, at(1999, 12, 31, 12)},
        {45000.000694444444, at(2023, 3, 15, 0, 1)},
        {2958465.999999996, at(9999, 12, 31, 23, 59, 59, 999)},
        {-657434.0, at(100, 1, 1)},
        {-657434.9999999, at(100, 1, 1, 23, 59, 59, 991)},
    };
    std::vector<Variant> written;
    Rows expected;
    for (const Case& c : cases) {
        written.push_back(Variant(c.serial));
        expected.push_back({c.date});
    }
    const auto imported = importWritten(oneColumn(JetColumnType::DateTime, written));
    ASSERT_TRUE(imported.copy);
    const Rows rows = valuesOf(imported);
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], expected[i]) << std::setprecision(17) << cases[i].serial;
    // Stored dates keep time order.
    EXPECT_EQ(
        query(imported.copy, QStringLiteral("select N from T where V < #1899-12-30# order by V")),
        Rows({{Variant(int32_t(11))},
              {Variant(int32_t(12))},
              {Variant(int32_t(2))},
              {Variant(int32_t(3))},
              {Variant(int32_t(4))}}));
}

TEST(ValuesAtTheEdges, ValuesThatAreNotANumberBecomeNullTheSameWayInSingleAndDouble) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const JetColumnType type : {JetColumnType::Single, JetColumnType::Double}) {
        const Variant notANumber =
            type == JetColumnType::Single ? Variant(float(nan)) : Variant(nan);
        const Variant one = type == JetColumnType::Single ? Variant(1.5f) : Variant(1.5);
        const Variant infinite = type == JetColumnType::Single
                                     ? Variant(std::numeric_limits<float>::infinity())
                                     : Variant(-std::numeric_limits<double>::infinity());
        const auto imported =
            importWritten(oneColumn(type, {one, notANumber, infinite, notANumber}));
        ASSERT_TRUE(imported.copy);
        EXPECT_EQ(valuesOf(imported),
                  Rows({{one}, {Variant::null()}, {infinite}, {Variant::null()}}));
        EXPECT_TRUE(imported.warnings().contains(QStringLiteral(
            "table T, column V: 2 values that are not a number (NaN) were stored as Null")))
            << imported.warnings().toStdString();
    }
}

TEST(ValuesAtTheEdges, CurrencyIsExactOverTheWholeRangeTheCopiesHoldExactly) {
    const int64_t bound = jetimport::kExactCurrencyBound * 10000;  // in ten-thousandths
    std::vector<Variant> exact;
    for (int64_t scaled :
         {bound - 1, -(bound - 1), bound - 9999, bound - 5000, int64_t(549755813887) * 10000 + 1234,
          // beyond the bound: whole amounts, and halves a double holds
          bound, int64_t(9000000000000) * 10000, INT64_MAX / 10000 * 10000,
          INT64_MIN / 10000 * 10000, (bound + 10000) + 5000})
        exact.push_back(Variant(rt::Currency{scaled}));
    // Every amount with four decimals just under the bound.
    for (int64_t k = 1; k <= 2000; ++k) exact.push_back(Variant(rt::Currency{bound - k * 37}));
    const auto imported = importWritten(oneColumn(JetColumnType::Currency, exact));
    ASSERT_TRUE(imported.copy);
    const Rows rows = valuesOf(imported);
    ASSERT_EQ(rows.size(), exact.size());
    for (size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i][0], exact[i]) << exact[i].asCurrency().scaled;

    // Beyond the bound an amount no stored number reads back as is refused,
    // saying the bound.
    const rt::Error e = refusal(jetwriter::write(
        oneColumn(JetColumnType::Currency, {Variant(rt::Currency{(bound + 10000) * 1000 + 1})})));
    EXPECT_TRUE(e.description().contains(
        QStringLiteral("the amount 549755813889000.0001 cannot be stored exactly (the copies hold "
                       "every amount with "
                       "four decimals up to 549755813888, and whole amounts beyond)")))
        << e.description().toStdString();
}

TEST(ValuesAtTheEdges, HalfASurrogatePairIsCountedInTheWarnings) {
    const QString lone = QStringLiteral("ab") + QChar(0xd83d) + QStringLiteral("cd");
    const auto imported = importWritten(
        oneColumn(JetColumnType::Text, {Variant(lone), Variant(QStringLiteral("ok \U0001F600"))}));
    ASSERT_TRUE(imported.copy);
    EXPECT_EQ(valuesOf(imported), Rows({{Variant(QStringLiteral("ab\uFFFDcd"))},
                                        {Variant(QStringLiteral("ok \U0001F600"))}}));
    EXPECT_TRUE(imported.warnings().contains(QStringLiteral(
        "table T, column V: 1 texts hold half of a Unicode surrogate pair without its other half")))
        << imported.warnings().toStdString();
}

}  // namespace

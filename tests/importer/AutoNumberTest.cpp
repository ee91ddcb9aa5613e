// AutoNumber columns in the copies: numbers already given by Jet are never
// given again, whether the column is the table's key (the row id) or not (a
// trigger numbers it). The variants are made from a real sample by changing
// its table definition: the last number given, and the key flag of its index.
#include "ImporterTestSupport.h"

#include "tools/jetimport/JetImporter.h"

#include <QTemporaryDir>

namespace {

using importertest::query;
using importertest::Rows;

// A copy of no-password-v2003.mdb (Table1: ID AutoNumber key, Data text;
// rows 1..3) with its table definition changed.
QString variant(const QTemporaryDir& dir, int lastNumber, bool keyIndex) {
    QFile f(importertest::sample("no-password-v2003.mdb"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray b = f.readAll();
    const QByteArray name = QByteArray("P\0r\0i\0m\0a\0r\0y\0K\0e\0y\0", 20);
    qsizetype at = -1, page = -1;
    for (at = b.indexOf(name); at >= 0; at = b.indexOf(name, at + 1)) {
        page = at - at % jetimport::kJetPageSize;
        if (b[page] == 0x02) break;  // the table definition page
    }
    if (at < 0) {
        ADD_FAILURE() << "no table definition in " << f.fileName().toStdString();
        return QString();
    }
    EXPECT_EQ(b[page + 20], char(3));  // the last AutoNumber given
    b[page + 20] = char(lastNumber);
    EXPECT_EQ(b[at - 7], char(1));  // the index type of "PrimaryKey": 1 = key
    if (!keyIndex) b[at - 7] = 0;
    const QString path = dir.filePath(QStringLiteral("in-%1-%2.mdb").arg(lastNumber).arg(keyIndex));
    QFile o(path);
    EXPECT_TRUE(o.open(QIODevice::WriteOnly));
    o.write(b);
    return path;
}

int32_t addRow(const std::shared_ptr<db::Connection>& c, const char* data) {
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Table1"), c, db::adOpenDynamic, db::adLockOptimistic);
    rs.AddNew();
    rs.Fields(QStringLiteral("Data")) = rt::Variant(QString::fromLatin1(data));
    rs.Update();
    rs.Close();
    const Rows id = query(
        c,
        QStringLiteral("select ID from Table1 where Data = '%1'").arg(QString::fromLatin1(data)));
    return id.size() == 1 ? id[0][0].asInt32() : -1;
}

TEST(AutoNumber, ContinuesAfterTheLastNumberJetGave) {
    struct Case {
        int lastNumber;
        bool keyIndex;
        int32_t next;
    };
    const Case cases[] = {{3, true, 4}, {10, true, 11}, {3, false, 4}, {10, false, 11}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("copy.mdb"));
        const auto r = jetimport::importFile(variant(dir, c.lastNumber, c.keyIndex), copy);
        ASSERT_TRUE(r.ok);
        auto conn = importertest::openCopy(copy);
        EXPECT_EQ(addRow(conn, "Four"), c.next) << c.lastNumber << " " << c.keyIndex;
        EXPECT_EQ(addRow(conn, "Five"), c.next + 1) << c.lastNumber << " " << c.keyIndex;
        // The old numbers are still unique: the index came along either way.
        EXPECT_ANY_THROW(
            conn->Execute(QStringLiteral("insert into Table1 (ID, Data) values (2, 'x')")));
    }
}

}  // namespace

// The SQLite side of the maintenance operations (platform/db/Maintenance.h):
// table definitions read from the catalog, the integrity check, and the
// online backup.
#include "platform/db/Maintenance.h"

#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <map>

namespace db {

namespace {

// A catalog query through the engine's own statements.
class Query {
  public:
    Query(Connection& c, const QString& sql) : st_(c.engine().prepare(sql.toStdString())) {}
    bool next() { return st_->next(); }
    QString text(int col) const {
        const Cell cell = st_->cell(col);
        if (cell.type == CellType::Text || cell.type == CellType::Blob)
            return QString::fromUtf8(cell.data, qsizetype(cell.size));
        if (cell.type == CellType::Integer) return QString::number(cell.integer);
        if (cell.type == CellType::Real) return QString::number(cell.real, 'g', 17);
        return {};
    }
    int64_t integer(int col) const {
        const Cell cell = st_->cell(col);
        if (cell.type == CellType::Integer) return cell.integer;
        return text(col).toLongLong();
    }
    bool isNull(int col) const { return st_->cell(col).type == CellType::Null; }

  private:
    StatementPtr st_;
};

QString quotedName(const QString& name) {
    QString q = name;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

// The table's name as stored and its CREATE statement; fails as a missing table.
std::pair<QString, QString> findTable(Connection& c, const QString& table) {
    Query q(c, QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type='table' AND "
                              "name=%1 COLLATE NOCASE")
                   .arg(u'\'' + QString(table).replace(u'\'', QStringLiteral("''")) + u'\''));
    if (!q.next()) throw missingTableError(table);
    return {q.text(0), q.text(1)};
}

// The whole numbers inside the first parentheses of a declared type.
QList<int> sizesOf(const QString& declared) {
    QList<int> out;
    const qsizetype open = declared.indexOf(u'('), close = declared.indexOf(u')');
    if (open < 0 || close < open) return out;
    for (const QString& part : declared.mid(open + 1, close - open - 1).split(u',')) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (ok) out << n;
    }
    return out;
}

// The Jet type a declared column type stands for (see declaredType()).
void readDeclaredType(const QString& declared, bool autoIncrementKey, ColumnDef& col) {
    QString word = declared.trimmed().toUpper();
    const qsizetype cut = word.indexOf(QRegularExpression(QStringLiteral("[ (]")));
    if (cut >= 0) word = word.left(cut);
    const QList<int> sizes = sizesOf(declared);
    auto is = [&](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (word == QLatin1String(n)) return true;
        return false;
    };
    if (is({"TEXT", "VARCHAR", "CHAR", "NVARCHAR", "STRING"}) && !sizes.isEmpty()) {
        col.type = JetType::Text;
        col.size = sizes[0];
    } else if (is({"TEXT", "LONGTEXT", "MEMO", "CLOB", "NOTE", "VARCHAR", "CHAR", "NVARCHAR",
                   "STRING", ""})) {
        col.type = JetType::Memo;
    } else if (is({"TINYINT", "BYTE"})) {
        col.type = JetType::Byte;
    } else if (is({"SMALLINT", "SHORT"})) {
        col.type = JetType::Integer;
    } else if (is({"INTEGER", "INT", "LONG", "COUNTER", "AUTOINCREMENT", "BIGINT"})) {
        col.type = autoIncrementKey || is({"COUNTER", "AUTOINCREMENT"}) ? JetType::AutoNumber
                                                                        : JetType::Long;
    } else if (is({"REAL", "SINGLE", "FLOAT4"})) {
        col.type = JetType::Single;
    } else if (is({"DOUBLE", "FLOAT", "FLOAT8", "NUMBER"})) {
        col.type = JetType::Double;
    } else if (is({"CURRENCY", "MONEY"})) {
        col.type = JetType::Currency;
    } else if (is({"DECIMAL", "NUMERIC"})) {
        col.type = JetType::Decimal;
        if (sizes.size() >= 1) col.precision = sizes[0];
        col.scale = sizes.size() >= 2 ? sizes[1] : 0;
    } else if (is({"DATETIME", "DATE", "TIME", "TIMESTAMP"})) {
        col.type = JetType::DateTime;
    } else if (is({"YESNO", "BIT", "LOGICAL", "BOOLEAN"})) {
        col.type = JetType::YesNo;
    } else if (is({"BINARY", "VARBINARY"}) && !sizes.isEmpty()) {
        col.type = JetType::Binary;
        col.size = sizes[0];
    } else if (is({"BINARY", "VARBINARY", "LONGBINARY", "BLOB", "IMAGE", "OLEOBJECT"})) {
        col.type = JetType::LongBinary;
    } else if (is({"GUID", "UNIQUEIDENTIFIER"})) {
        col.type = JetType::Guid;
    } else {
        col.type = JetType::Memo;
    }
}

// A column default as the catalog keeps it (an SQL literal) read as a value
// of the column's kind; nullopt for none or an expression.
std::optional<rt::Variant> readDefault(const QString& sql, const ColumnDef& col) {
    QString s = sql.trimmed();
    while (s.startsWith(u'(') && s.endsWith(u')')) s = s.mid(1, s.size() - 2).trimmed();
    if (s.isEmpty() || s.compare(QStringLiteral("NULL"), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    QString value;
    bool quoted = false;
    if (s.size() >= 2 && s.startsWith(u'\'') && s.endsWith(u'\'')) {
        value = s.mid(1, s.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
        quoted = true;
    } else {
        value = s;
    }
    bool ok = false;
    switch (col.type) {
        case JetType::Text:
        case JetType::Memo:
        case JetType::Guid:
            if (!quoted) return std::nullopt;
            return rt::Variant(value);
        case JetType::DateTime: {
            QDateTime d = QDateTime::fromString(value, Qt::ISODateWithMs);
            if (!d.isValid()) return std::nullopt;
            return rt::Variant(rt::naiveDateTime(d.date(), d.time()));
        }
        case JetType::YesNo: {
            const int n = value.toInt(&ok);
            if (!ok) return std::nullopt;
            return rt::Variant(n != 0);
        }
        case JetType::Decimal: {
            rt::Decimal d;
            if (!rt::Decimal::parse(value, d)) return std::nullopt;
            return rt::Variant(d);
        }
        case JetType::Currency: {
            const double d = value.toDouble(&ok);
            if (!ok) return std::nullopt;
            return rt::Variant(rt::Currency{int64_t(std::llround(d * rt::Currency::kScale))});
        }
        case JetType::Single:
        case JetType::Double: {
            const double d = value.toDouble(&ok);
            if (!ok) return std::nullopt;
            return col.type == JetType::Single ? rt::Variant(float(d)) : rt::Variant(d);
        }
        case JetType::Byte:
        case JetType::Integer:
        case JetType::Long:
        case JetType::AutoNumber: {
            const qlonglong n = value.toLongLong(&ok);
            if (!ok) return std::nullopt;
            if (col.type == JetType::Byte) return rt::Variant::byte(uint8_t(n));
            if (col.type == JetType::Integer) return rt::Variant(int16_t(n));
            return rt::Variant(int32_t(n));
        }
        case JetType::Binary:
        case JetType::LongBinary:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

TableDef readTableDefinition(Connection& c, const QString& table) {
    const auto [name, createSql] = findTable(c, table);
    TableDef def;
    def.name = name;
    const bool autoIncrement =
        createSql.contains(QStringLiteral("AUTOINCREMENT"), Qt::CaseInsensitive);

    std::map<int64_t, QString> keyColumns;  // position in the key -> column
    {
        Query q(c, QStringLiteral("PRAGMA table_info(%1)").arg(quotedName(name)));
        std::vector<std::tuple<QString, QString, bool, QString, bool, int64_t>> raw;
        int keyCount = 0;
        while (q.next()) {
            raw.emplace_back(q.text(1), q.text(2), q.integer(3) != 0, q.text(4), q.isNull(4),
                             q.integer(5));
            if (q.integer(5) > 0) ++keyCount;
        }
        for (const auto& [colName, declared, notNull, dflt, noDefault, pk] : raw) {
            ColumnDef col;
            col.name = colName;
            // Only a lone INTEGER key declared AUTOINCREMENT counts by itself.
            readDeclaredType(declared, autoIncrement && pk > 0 && keyCount == 1, col);
            col.required = notNull;
            if (!noDefault) col.defaultValue = readDefault(dflt, col);
            def.columns.push_back(col);
            if (pk > 0) keyColumns[pk] = colName;
        }
    }
    if (!keyColumns.empty()) {
        IndexDef pk;
        pk.name = QStringLiteral("PrimaryKey");
        pk.unique = true;
        pk.primaryKey = true;
        for (const auto& [pos, col] : keyColumns) pk.columns << col;
        def.indexes.push_back(pk);
    }

    struct Listed {
        QString name;
        bool unique;
        QString origin;
        bool partial;
    };
    std::vector<Listed> listed;
    {
        Query q(c, QStringLiteral("PRAGMA index_list(%1)").arg(quotedName(name)));
        while (q.next())
            listed.push_back({q.text(1), q.integer(2) != 0, q.text(3), q.integer(4) != 0});
    }
    const QString prefix = name + u'_';
    std::vector<IndexDef> others;
    for (const Listed& l : listed) {
        // The key is told by the columns above; an index with a condition
        // cannot be written in Jet DDL and is left out of the definition.
        if (l.origin == u"pk" || l.partial) continue;
        IndexDef ix;
        ix.name = l.name.startsWith(prefix, Qt::CaseInsensitive) && l.name.size() > prefix.size()
                      ? l.name.mid(prefix.size())
                      : l.name;
        ix.unique = l.unique;
        bool plain = true;
        Query q(c, QStringLiteral("PRAGMA index_info(%1)").arg(quotedName(l.name)));
        while (q.next()) {
            if (q.isNull(2)) plain = false;  // an expression
            ix.columns << q.text(2);
        }
        if (plain && !ix.columns.isEmpty()) others.push_back(ix);
    }
    std::sort(others.begin(), others.end(), [](const IndexDef& a, const IndexDef& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    def.indexes.insert(def.indexes.end(), others.begin(), others.end());
    return def;
}

QStringList checkIntegrity(Connection& c) {
    QStringList problems;
    {
        Query q(c, QStringLiteral("PRAGMA integrity_check"));
        while (q.next()) {
            const QString line = q.text(0);
            if (line != u"ok") problems << line;
        }
    }
    {
        Query q(c, QStringLiteral("PRAGMA foreign_key_check"));
        while (q.next())
            problems << QStringLiteral("row %1 of %2 refers to a missing row of %3")
                            .arg(q.isNull(1) ? QStringLiteral("?") : QString::number(q.integer(1)),
                                 q.text(0), q.text(2));
    }
    return problems;
}

namespace {

// Removes a file and its journal, never throwing.
void removeQuietly(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

bool sameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath(), cb = QFileInfo(b).canonicalFilePath();
    return !ca.isEmpty() && ca == cb;
}

}  // namespace

BackupReport backupDatabase(Connection& c, const QString& target) {
    Engine& e = c.engine();
    sqlite3* source = sqliteHandle(e);
    const QFileInfo ti(target);
    if (target.isEmpty()) rt::raise(rt::err::DbGeneric, QStringLiteral("No backup file named."));
    if (sameFile(target, e.path()))
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("'%1' is the database itself; name another file.").arg(target));
    if (ti.exists() || ti.isSymLink())
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The file '%1' already exists; a backup never replaces a file.")
                      .arg(target));
    const QDir folder = ti.absoluteDir();
    if (!folder.exists())
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The folder '%1' does not exist.").arg(folder.path()));
    // One arg() for both: a file name may itself hold "%1".
    const QString partial = folder.filePath(
        QStringLiteral(".%1.partial-%2")
            .arg(ti.fileName(), QString::number(QCoreApplication::applicationPid())));
    removeQuietly(partial);

    sqlite3* dst = nullptr;
    int rc = sqlite3_open_v2(partial.toUtf8().constData(), &dst,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto failWith = [&](const QString& why) {
        if (dst) sqlite3_close_v2(dst);
        dst = nullptr;
        removeQuietly(partial);
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The backup to '%1' failed: %2").arg(target, why));
    };
    if (rc != SQLITE_OK)
        failWith(QString::fromUtf8(dst ? sqlite3_errmsg(dst) : sqlite3_errstr(rc)));

    BackupReport report;
    sqlite3_backup* b = sqlite3_backup_init(dst, "main", source, "main");
    if (!b) failWith(QString::fromUtf8(sqlite3_errmsg(dst)));
    // All pages in one step: the source is read under one read lock, so the
    // copy is one consistent state. A writer that holds the file is waited
    // for as long as any statement waits for a lock.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(e.lockWait());
    do {
        rc = sqlite3_backup_step(b, -1);
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) &&
            std::chrono::steady_clock::now() < deadline)
            QThread::msleep(20);
        else
            break;
    } while (true);
    report.pages = sqlite3_backup_pagecount(b);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE) {
        const QString why = rc == SQLITE_BUSY || rc == SQLITE_LOCKED
                                ? QStringLiteral("the database stayed locked by another user.")
                                : QString::fromUtf8(sqlite3_errstr(rc));
        failWith(why);
    }
    if (sqlite3_close_v2(dst) != SQLITE_OK) {
        dst = nullptr;
        failWith(QStringLiteral("the copy could not be closed."));
    }
    dst = nullptr;

    // On the disk before it takes its name.
    const int fd = ::open(QFile::encodeName(partial).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!synced) failWith(QStringLiteral("the copy could not be written to the disk."));
    report.bytes = QFileInfo(partial).size();
    // A hard link never replaces a file that appeared meanwhile; where the
    // file system has none, rename after a last look.
    const QByteArray from = QFile::encodeName(partial),
                     to = QFile::encodeName(ti.absoluteFilePath());
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
    } else if (errno == EEXIST) {
        failWith(QStringLiteral("the file appeared meanwhile; a backup never replaces a file."));
    } else if (QFileInfo::exists(target) || ::rename(from.constData(), to.constData()) != 0) {
        failWith(QStringLiteral("the copy could not be given its name."));
    }
    return report;
}

}  // namespace db

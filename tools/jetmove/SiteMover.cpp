// Moving a site onto the server: quiet check, scan, load, verify, links.
#include "tools/jetmove/SiteMover.h"

#include "lib/db/SystemPassword.h"
#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/Schema.h"
#include "platform/db/jet/PgDialect.h"
#include "platform/db/jet/Translator.h"
#include "platform/db/pg/JetSchema.h"
#include "platform/db/pg/LinkFile.h"
#include "platform/db/pg/Site.h"
#include "platform/db/pg/Values.h"
#include "platform/db/pg/PgEngine.h"
#include "platform/runtime/Error.h"

#include <libpq-fe.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <memory>

namespace jetmove {

namespace {

using db::ColumnDef;
using db::IndexDef;
using db::JetType;
using db::TableDef;
using rt::VarType;

const db::jet::Dialect& pg() { return db::jet::pgDialect(); }

[[noreturn]] void fail(const QString& text) { rt::raise(rt::err::DbGeneric, text); }

QString cut(const QString& s) { return s.size() > 60 ? s.left(57) + QStringLiteral("...") : s; }

// ---- the file side ----

struct TablePlan {
    TableDef def;                 // columns and the primary key
    std::vector<IndexDef> indexes;  // the other indexes, with their own names
    std::vector<VarType> kinds;   // per column
    QString autoNumber;           // the AutoNumber column, if any
    int64_t rows = 0;
    QByteArray checksum;          // order-independent, of the decoded values
};

struct Source {
    QString file;    // name in the folder
    QString path;
    QString schema;
    std::shared_ptr<db::Connection> connection;
    std::vector<TablePlan> tables;
};

// A declared SQLite type as the Jet column type it was made from.
ColumnDef columnFor(const QString& name, const QString& declared, bool autoIncrement) {
    ColumnDef c;
    c.name = name;
    QString t = declared.trimmed().toUpper();
    int size = -1, scale = 0;
    const qsizetype open = t.indexOf(u'(');
    if (open >= 0) {
        const QStringList nums = t.mid(open + 1, t.indexOf(u')') - open - 1).split(u',');
        size = nums.value(0).trimmed().toInt();
        scale = nums.value(1).trimmed().toInt();
    }
    const QString word = t.section(QRegularExpression(QStringLiteral("[ (]")), 0, 0);
    if (word == u"TEXT" || word == u"VARCHAR" || word == u"CHAR" || word == u"NVARCHAR") {
        c.type = size > 0 ? JetType::Text : JetType::Memo;
        c.size = size > 0 ? size : 255;
    } else if (word == u"LONGTEXT" || word == u"MEMO") {
        c.type = JetType::Memo;
    } else if (word == u"TINYINT" || word == u"BYTE") {
        c.type = JetType::Byte;
    } else if (word == u"SMALLINT" || word == u"SHORT") {
        c.type = JetType::Integer;
    } else if (word == u"INTEGER" && autoIncrement) {
        c.type = JetType::AutoNumber;
    } else if (word == u"LONG" || word == u"INT" || word == u"INTEGER" || word == u"COUNTER") {
        c.type = JetType::Long;
    } else if (word == u"REAL" || word == u"SINGLE" || word == u"FLOAT4") {
        c.type = JetType::Single;
    } else if (word == u"DOUBLE" || word == u"FLOAT" || word == u"FLOAT8") {
        c.type = JetType::Double;
    } else if (word == u"CURRENCY" || word == u"MONEY") {
        c.type = JetType::Currency;
    } else if (word == u"DECIMAL" || word == u"NUMERIC") {
        c.type = JetType::Decimal;
        if (size > 0) {
            c.precision = size;
            c.scale = scale;
        }
    } else if (word == u"DATETIME" || word == u"DATE" || word == u"TIME") {
        c.type = JetType::DateTime;
    } else if (word == u"YESNO" || word == u"BIT" || word == u"BOOLEAN" || word == u"LOGICAL") {
        c.type = JetType::YesNo;
    } else if (word == u"BINARY" || word == u"VARBINARY") {
        c.type = JetType::Binary;
        c.size = size > 0 ? size : 255;
    } else if (word == u"LONGBINARY" || word == u"BLOB" || word == u"IMAGE") {
        c.type = JetType::LongBinary;
    } else if (word == u"GUID") {
        c.type = JetType::Guid;
    } else {
        c.type = JetType::Memo;  // a column that declares nothing keeps text
    }
    return c;
}

VarType kindOf(JetType t) {
    switch (t) {
        case JetType::Text:
        case JetType::Memo:
        case JetType::Guid: return VarType::Text;
        case JetType::Byte: return VarType::Byte;
        case JetType::Integer: return VarType::Int16;
        case JetType::Long:
        case JetType::AutoNumber: return VarType::Int32;
        case JetType::Single: return VarType::Single;
        case JetType::Double: return VarType::Double;
        case JetType::Currency: return VarType::Currency;
        case JetType::Decimal: return VarType::Decimal;
        case JetType::DateTime: return VarType::Date;
        case JetType::YesNo: return VarType::Boolean;
        case JetType::Binary:
        case JetType::LongBinary: return VarType::Binary;
    }
    return VarType::Text;
}

// A default as SQLite keeps it ('text', 12, -1.5) as a value.
std::optional<rt::Variant> defaultFrom(const QString& sql) {
    const QString t = sql.trimmed();
    if (t.isEmpty() || t.compare(QStringLiteral("NULL"), Qt::CaseInsensitive) == 0) return std::nullopt;
    if (t.startsWith(u'\'') && t.endsWith(u'\'') && t.size() >= 2) {
        QString inner = t.mid(1, t.size() - 2);
        inner.replace(QStringLiteral("''"), QStringLiteral("'"));
        return rt::Variant(inner);
    }
    QString n = t;
    n.remove(u'(').remove(u')');
    bool ok = false;
    const int i = n.toInt(&ok);
    if (ok) return rt::Variant(int32_t(i));
    const double d = n.toDouble(&ok);
    if (ok) return rt::Variant(d);
    return std::nullopt;
}

std::vector<QStringList> nativeRows(db::Engine& e, const std::string& sql, const QString& arg,
                                    int columns) {
    db::StatementPtr st = e.prepare(sql);
    if (!arg.isNull()) st->bindText(1, arg.toUtf8());
    std::vector<QStringList> out;
    while (st->next()) {
        QStringList row;
        for (int c = 0; c < columns; ++c) {
            const db::Cell cell = st->cell(c);
            row << (cell.type == db::CellType::Null ? QString()
                    : cell.type == db::CellType::Integer ? QString::number(cell.integer)
                    : cell.type == db::CellType::Real ? QString::number(cell.real)
                    : QString::fromUtf8(cell.data, qsizetype(cell.size)));
        }
        out.push_back(row);
    }
    return out;
}

TablePlan planTable(db::Engine& e, const QString& table) {
    TablePlan p;
    p.def.name = table;
    const auto master = nativeRows(e, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1",
                                   table, 1);
    const bool autoIncrement =
        !master.empty() && master[0][0].contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
    QStringList key;
    std::map<int, QString> keyOrder;
    for (const QStringList& r : nativeRows(
             e, "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?1) ORDER BY cid",
             table, 5)) {
        const bool pk = r[4].toInt() > 0;
        ColumnDef c = columnFor(r[0], r[1], autoIncrement && pk);
        c.required = r[2].toInt() != 0;
        c.defaultValue = defaultFrom(r[3]);
        if (c.type == JetType::AutoNumber) p.autoNumber = c.name;
        if (pk) keyOrder[r[4].toInt()] = c.name;
        p.kinds.push_back(kindOf(c.type));
        p.def.columns.push_back(std::move(c));
    }
    for (const auto& [order, name] : keyOrder) key << name;
    if (!key.isEmpty()) p.def.indexes.push_back(IndexDef{QStringLiteral("PrimaryKey"), key, true, true});
    for (const QStringList& ix :
         nativeRows(e, "SELECT name, \"unique\", origin FROM pragma_index_list(?1)", table, 3)) {
        if (ix[2] == u"pk") continue;
        IndexDef d;
        d.name = ix[0].startsWith(QLatin1String("sqlite_autoindex_"))
                     ? table + QStringLiteral("_key_") + ix[0].section(u'_', -1)
                     : ix[0];
        d.unique = ix[1].toInt() != 0;
        for (const QStringList& c :
             nativeRows(e, "SELECT name FROM pragma_index_info(?1) ORDER BY seqno", ix[0], 1))
            d.columns << c[0];
        if (!d.columns.isEmpty()) p.indexes.push_back(std::move(d));
    }
    return p;
}

// ---- the scan ----

bool isDocumentNumber(const QString& table, const QString& column) {
    for (const DocumentNumber& d : documentNumberColumns())
        if (table.compare(QLatin1String(d.table), Qt::CaseInsensitive) == 0 &&
            column.compare(QLatin1String(d.column), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Why the server would refuse a stored cell for a column; empty when it takes it.
QString refusal(const ColumnDef& c, const db::Cell& cell, const rt::Variant& v) {
    if (cell.type == db::CellType::Null) return {};
    const bool number = cell.type == db::CellType::Integer || cell.type == db::CellType::Real;
    switch (c.type) {
        case JetType::Text:
        case JetType::Memo:
        case JetType::Guid: {
            if (cell.type == db::CellType::Blob) return QStringLiteral("bytes in a text column");
            const QString t = v.type() == VarType::Text ? v.asText() : QString();
            if (t.contains(QChar(0))) return QStringLiteral("a NUL character in a text");
            const int limit = c.type == JetType::Guid ? 38 : c.type == JetType::Text ? c.size : -1;
            if (limit > 0 && t.size() > limit)
                return QStringLiteral("%1 characters in a column of %2").arg(t.size()).arg(limit);
            return {};
        }
        case JetType::Byte:
        case JetType::Integer:
        case JetType::Long:
        case JetType::AutoNumber: {
            if (cell.type != db::CellType::Integer) {
                if (cell.type == db::CellType::Real && std::trunc(cell.real) == cell.real)
                    return {};  // 2021.0 is the whole number 2021
                return number ? QStringLiteral("a fraction in a whole-number column")
                              : QStringLiteral("text in a number column");
            }
            const int64_t i = cell.integer;
            const int64_t lo = c.type == JetType::Byte ? 0 : c.type == JetType::Integer ? INT16_MIN : INT32_MIN;
            const int64_t hi = c.type == JetType::Byte ? 255 : c.type == JetType::Integer ? INT16_MAX : INT32_MAX;
            if (i < lo || i > hi) return QStringLiteral("out of the column's range");
            return {};
        }
        case JetType::Single:
        case JetType::Double:
        case JetType::Currency:
            if (!number) return QStringLiteral("text in a number column");
            if (c.type == JetType::Currency &&
                std::fabs(cell.type == db::CellType::Real ? cell.real : double(cell.integer)) >
                    922337203685477.0)
                return QStringLiteral("out of the Currency range");
            return {};
        case JetType::Decimal:
            if (v.type() != VarType::Decimal) return QStringLiteral("not a decimal number");
            return {};
        case JetType::DateTime:
            if (v.type() != VarType::Date) return QStringLiteral("not a date");
            return {};
        case JetType::YesNo:
            if (!number || (cell.type == db::CellType::Integer ? (cell.integer != 0 && cell.integer != -1)
                                                               : (cell.real != 0 && cell.real != -1)))
                return QStringLiteral("a Yes/No value other than -1 or 0");
            return {};
        case JetType::Binary:
        case JetType::LongBinary: return {};
    }
    return {};
}

QString shown(const rt::Variant& v) {
    if (v.isNull()) return QStringLiteral("Null");
    if (v.type() == VarType::Text) return cut(v.asText());
    return cut(v.debugString());
}

// Adds one row's hash to an order-independent sum.
void addRow(QByteArray& sum, const QString& canonical) {
    const QByteArray h = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256);
    if (sum.isEmpty()) sum = QByteArray(8, '\0');
    unsigned carry = 0;
    for (int i = 7; i >= 0; --i) {
        const unsigned s = unsigned(uint8_t(sum[i])) + unsigned(uint8_t(h[i])) + carry;
        sum[i] = char(s & 0xff);
        carry = s >> 8;
    }
}

QString canonicalRow(const std::vector<rt::Variant>& values) {
    QString out;
    for (const rt::Variant& v : values) {
        out += v.debugString();
        out += u'\x1f';
    }
    return out;
}

std::string selectAll(const TablePlan& p) {
    std::string cols;
    for (const ColumnDef& c : p.def.columns)
        cols += (cols.empty() ? "" : ", ") + db::jet::sqliteDialect().quoteIdentifier(c.name);
    return "SELECT " + cols + " FROM " + db::jet::sqliteDialect().quoteIdentifier(p.def.name);
}

void scanTable(Source& src, TablePlan& p, std::vector<Problem>& problems) {
    db::Engine& e = src.connection->engine();
    db::StatementPtr st = e.prepare(selectAll(p));
    const size_t n = p.def.columns.size();
    std::vector<std::map<QString, int64_t>> seen(n);
    std::vector<bool> unique(n);
    for (size_t c = 0; c < n; ++c) unique[c] = isDocumentNumber(p.def.name, p.def.columns[c].name);
    int64_t row = 0;
    std::vector<rt::Variant> values(n);
    while (st->next()) {
        ++row;
        for (size_t c = 0; c < n; ++c) {
            const db::Cell cell = st->cell(int(c));
            values[c] = st->value(int(c), p.kinds[c]);
            const QString why = refusal(p.def.columns[c], cell, values[c]);
            if (!why.isEmpty())
                problems.push_back({src.file, p.def.name, p.def.columns[c].name,
                                    QStringLiteral("row %1").arg(row), shown(values[c]), why});
            if (unique[c] && !values[c].isNull()) {
                const QString key = values[c].joinText(e.settings()).toCaseFolded();
                if (p.kinds[c] == VarType::Text && key == u"nil") continue;
                auto [it, fresh] = seen[c].emplace(key, row);
                if (!fresh)
                    problems.push_back({src.file, p.def.name, p.def.columns[c].name,
                                        QStringLiteral("rows %1 and %2").arg(it->second).arg(row),
                                        shown(values[c]), QStringLiteral("a duplicate document number")});
            }
        }
        addRow(p.checksum, canonicalRow(values));
    }
    p.rows = row;
}

// ---- the server side ----

std::string copyField(const rt::Variant& v) {
    if (v.isNull() || v.isEmpty()) return "\\N";
    const db::pg::Param p = db::pg::toParam(v);
    std::string out;
    out.reserve(p.text.size());
    for (char c : p.text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

void loadTable(db::pg::Session& s, Source& src, const TablePlan& p) {
    db::Engine& e = src.connection->engine();
    db::StatementPtr st = e.prepare(selectAll(p));
    std::string cols;
    for (const ColumnDef& c : p.def.columns) cols += (cols.empty() ? "" : ", ") + pg().quoteIdentifier(c.name);
    const size_t n = p.def.columns.size();
    s.copyIn("COPY " + pg().quoteIdentifier(p.def.name) + " (" + cols + ") FROM STDIN",
             [&](std::string& chunk) {
                 for (int rows = 0; rows < 500; ++rows) {
                     if (!st->next()) return false;
                     for (size_t c = 0; c < n; ++c) {
                         if (c) chunk += '\t';
                         chunk += copyField(st->value(int(c), p.kinds[c]));
                     }
                     chunk += '\n';
                 }
                 return true;
             });
}

void verifyTable(db::pg::Session& s, const Source& src, const TablePlan& p) {
    std::string cols;
    for (const ColumnDef& c : p.def.columns) cols += (cols.empty() ? "" : ", ") + pg().quoteIdentifier(c.name);
    db::pg::Statement st(s, "SELECT " + cols + " FROM " + pg().quoteIdentifier(p.def.name), {}, true);
    const size_t n = p.def.columns.size();
    std::vector<rt::Variant> values(n);
    QByteArray sum;
    int64_t rows = 0;
    while (st.next()) {
        ++rows;
        for (size_t c = 0; c < n; ++c)
            values[c] = st.isNull(int(c)) ? rt::Variant::null()
                                          : db::pg::readValue(st.value(int(c)), st.length(int(c)),
                                                              st.columnType(int(c)), p.kinds[c]);
        addRow(sum, canonicalRow(values));
    }
    if (rows != p.rows)
        fail(QStringLiteral("%1: table %2 has %3 rows in the file but %4 on the server; nothing "
                            "was moved.")
                 .arg(src.file, p.def.name)
                 .arg(p.rows)
                 .arg(rows));
    if (sum != p.checksum)
        fail(QStringLiteral("%1: the values of table %2 differ between the file and the server; "
                            "nothing was moved.")
                 .arg(src.file, p.def.name));
}

void createIndexes(db::pg::Session& s, const TablePlan& p) {
    const std::string table = pg().quoteIdentifier(p.def.name);
    auto colList = [](const QStringList& cols) {
        std::string out;
        for (const QString& c : cols) out += (out.empty() ? "" : ", ") + pg().quoteIdentifier(c);
        return out;
    };
    for (const IndexDef& ix : p.indexes)
        s.exec(std::string("CREATE ") + (ix.unique ? "UNIQUE " : "") + "INDEX " +
               pg().quoteIdentifier(ix.name) + " ON " + table + " (" + colList(ix.columns) + ")");
    for (size_t c = 0; c < p.def.columns.size(); ++c) {
        const ColumnDef& col = p.def.columns[c];
        if (!isDocumentNumber(p.def.name, col.name)) continue;
        const std::string name = pg().quoteIdentifier(p.def.name + u'_' + col.name + QStringLiteral("_unique"));
        std::string sql = "CREATE UNIQUE INDEX " + name + " ON " + table + " (" +
                          pg().quoteIdentifier(col.name) + ")";
        // A challan without an invoice keeps Null or 'Nil' in a text number column.
        if (p.kinds[c] == VarType::Text)
            sql += " WHERE " + pg().quoteIdentifier(col.name) + " IS NOT NULL AND " +
                   pg().quoteIdentifier(col.name) + " <> 'Nil'";
        s.exec(sql);
    }
    if (!p.autoNumber.isEmpty())
        s.exec("SELECT setval(pg_get_serial_sequence(" +
               db::pg::quoteLiteral(QString::fromStdString(db::pg::quoteIdent(p.def.name.toLower()))) + ", " +
               db::pg::quoteLiteral(p.autoNumber.toLower()) + "), coalesce(max(" +
               pg().quoteIdentifier(p.autoNumber) + "), 0) + 1, false) FROM " + table);
}

bool syncToDisk(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

void writeFileSynced(const QString& path, const QByteArray& text, QFileDevice::Permissions perms = {}) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        fail(QStringLiteral("Could not write '%1' (%2).").arg(path, f.errorString()));
    if (perms) f.setPermissions(perms);
    f.close();
    if (!syncToDisk(path)) fail(QStringLiteral("Could not write '%1' to the disk.").arg(path));
}

}  // namespace

const std::vector<DocumentNumber>& documentNumberColumns() {
    static const std::vector<DocumentNumber> columns = {
        {"DCINV", "dcno"},         {"DCINV", "invno"},         {"DCOUTGOINGINV", "dcno"},
        {"DCOUTGOINGINV", "invno"}, {"DCSUBCONOUTGOING", "dcno"},
    };
    return columns;
}

QString schemaFor(const QString& fileName, const QString& prefix) {
    QString base = QFileInfo(fileName).completeBaseName().toLower();
    if (!prefix.isEmpty()) base = prefix.toLower() + u'_' + base;
    return db::pg::isPlainSchemaName(base) ? base : QString();
}

MoveResult moveSite(const MoveOptions& o) {
    auto say = [&](const QString& line) {
        if (o.say) o.say(line);
    };
    MoveResult result;
    const QString password = o.password.isEmpty() ? systemDatabasePassword() : o.password;
    QDir dir(o.folder);
    if (!dir.exists()) fail(QStringLiteral("The folder '%1' does not exist.").arg(o.folder));
    const QStringList files =
        dir.entryList({QStringLiteral("*.mdb"), QStringLiteral("*.MDB")}, QDir::Files, QDir::Name);

    // 1. Quiet site: each file held against writers from here to the end.
    std::vector<Source> sources;
    for (const QString& file : files) {
        const QString path = dir.filePath(file);
        if (db::pg::isLinkFile(path)) {
            result.warnings << QStringLiteral("%1 is already a server link; left as it is.").arg(file);
            continue;
        }
        Source src;
        src.file = file;
        src.path = path;
        src.schema = schemaFor(file, o.prefix);
        if (src.schema.isEmpty())
            fail(QStringLiteral("No server schema can be named after '%1' (letters, digits and '_' "
                                "only).")
                     .arg(file));
        src.connection = db::Connection::create();
        src.connection->setConnectionString(db::jetConnectionString(path, password));
        src.connection->Open();
        db::Engine& e = src.connection->engine();
        e.setLockWait(0);
        try {
            e.beginWrite();
        } catch (const rt::Error&) {
            fail(QStringLiteral("%1 is in use by another workstation (it cannot be held against "
                                "writers). Close the programs that use the site, then move it.")
                     .arg(file));
        }
        for (const QString& table : e.userTables()) src.tables.push_back(planTable(e, table));
        say(QStringLiteral("%1: %2 tables, held against writers").arg(file).arg(src.tables.size()));
        sources.push_back(std::move(src));
    }
    if (sources.empty()) fail(QStringLiteral("The folder '%1' holds no database file to move.").arg(o.folder));
    for (Source& src : sources) {
        for (const TablePlan& p : src.tables) {
            if (p.def.name.compare(QLatin1String("OnLineUsers"), Qt::CaseInsensitive) != 0) continue;
            db::StatementPtr st = src.connection->engine().prepare(
                "SELECT \"DateT\", \"SysId\", \"UserId\", \"ScreenId\" FROM \"OnLineUsers\"");
            while (st->next()) {
                const rt::Variant when = st->value(0, VarType::Date);
                const QString who = QStringLiteral("workstation %1, user %2, screen %3 since %4")
                                        .arg(st->value(1, VarType::Int32).joinText(src.connection->settings()),
                                             st->value(2, VarType::Int32).joinText(src.connection->settings()),
                                             st->value(3, VarType::Int32).joinText(src.connection->settings()),
                                             shown(when));
                if (when.type() == VarType::Date && when.asDate().date() >= o.today && !o.ignoreToday)
                    fail(QStringLiteral("%1: a screen was registered today (%2): the site may be at "
                                        "work. Close every program first (or move anyway when the "
                                        "record is stale).")
                             .arg(src.file, who));
                result.warnings << QStringLiteral("%1: an old screen record stays (%2).").arg(src.file, who);
            }
        }
    }

    // 2. Values the server would refuse: every one reported, nothing moved.
    for (Source& src : sources)
        for (TablePlan& p : src.tables) scanTable(src, p, result.problems);
    if (!result.problems.empty()) {
        for (Source& src : sources) src.connection->engine().rollback();
        return result;
    }

    // 3. The server: all schemas in one transaction.
    auto session = db::pg::Session::connect(o.server, QStringLiteral("the site's server"));
    const int before = db::pg::installJetSchema(*session);
    if (before < db::pg::kJetSchemaVersion)
        say(QStringLiteral("jet schema %1 installed").arg(db::pg::kJetSchemaVersion));
    session->exec("BEGIN");
    try {
        for (Source& src : sources) {
            db::pg::ResultPtr exists = session->query(
                "SELECT 1 FROM pg_namespace WHERE nspname = $1", {db::pg::toParam(rt::Variant(src.schema))});
            if (PQntuples(exists.get()) > 0)
                fail(QStringLiteral("The server already holds the schema '%1' (for %2); nothing was "
                                    "moved. Drop it first or choose another prefix.")
                         .arg(src.schema, src.file));
            session->exec("CREATE SCHEMA " + db::pg::quoteIdent(src.schema));
            session->exec("SET LOCAL search_path = " + db::pg::quoteIdent(src.schema) + ", jet");
            for (const TablePlan& p : src.tables) {
                session->exec(db::PgEngine::tableDefinitionSql(p.def));
                loadTable(*session, src, p);
                createIndexes(*session, p);
            }
            db::pg::writePasswordVerifier(*session, src.schema, password);
            // 4. Counts and checksums, file against server.
            for (const TablePlan& p : src.tables) verifyTable(*session, src, p);
            say(QStringLiteral("%1: loaded into schema %2 and checked").arg(src.file, src.schema));
        }
        session->exec("COMMIT");
    } catch (...) {
        try {
            session->exec("ROLLBACK");
        } catch (const rt::Error&) {
        }
        for (Source& src : sources) src.connection->engine().rollback();
        throw;
    }

    // 5. Link files: written aside, synced, renamed over the .mdb names.
    db::pg::Link link;
    for (const auto& kv : o.server)
        if (kv.first != "password" && kv.first != "passfile" && kv.first != "options")
            link.server.push_back(kv);
    const QString backup = dir.filePath(QStringLiteral("before-server"));
    for (Source& src : sources) {
        src.connection->engine().rollback();
        src.connection->Close();
        link.schema = src.schema;
        const QString fresh = src.path + QStringLiteral(".link-new");
        writeFileSynced(fresh, db::pg::linkText(link));
        if (o.keepOriginals) {
            if (!QDir().mkpath(backup)) fail(QStringLiteral("Could not create '%1'.").arg(backup));
            const QString kept = QDir(backup).filePath(src.file);
            if (QFileInfo::exists(kept) || !QFile::copy(src.path, kept) || !syncToDisk(kept))
                fail(QStringLiteral("Could not keep the original '%1' in '%2'.").arg(src.file, backup));
        }
        if (::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(src.path).constData()) != 0)
            fail(QStringLiteral("Could not put the link in place of '%1'.").arg(src.path));
        result.moved << src.path;
    }
    const char* used = PQpass(session->handle());
    if (used && *used) {
        QString user;
        for (const auto& kv : o.server)
            if (kv.first == "user") user = QString::fromStdString(kv.second);
        if (user.isEmpty()) user = QString::fromUtf8(PQuser(session->handle()));
        const QString line = QStringLiteral("*:*:%1:%2:%3\n")
                                 .arg(QString::fromUtf8(PQdb(session->handle())), user,
                                      QString::fromUtf8(used).replace(u'\\', QStringLiteral("\\\\"))
                                          .replace(u':', QStringLiteral("\\:")));
        writeFileSynced(dir.filePath(QString::fromLatin1(db::pg::kPasswordFileName)), line.toUtf8(),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return result;
}

}  // namespace jetmove

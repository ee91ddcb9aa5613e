// Jet column types as SQLite declarations; creating files and tables.
#include "platform/db/Schema.h"
#include "platform/db/ProviderErrors.h"

#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/jet/Translator.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "platform/runtime/Error.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace db {

namespace {

QString quoted(const QString& name) {
    QString q = name;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString literal(const rt::Variant& v) {
    using rt::VarType;
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Null: return QStringLiteral("NULL");
        case VarType::Boolean: return v.asBool() ? QStringLiteral("-1") : QStringLiteral("0");
        case VarType::Text: {
            QString t = v.asText();
            t.replace(u'\'', QStringLiteral("''"));
            return u'\'' + t + u'\'';
        }
        case VarType::Date: return u'\'' + jet::storedDateText(v.asDate()) + u'\'';
        default: {
            rt::RegionalSettings c(QLocale::c());
            c.setDecimalSeparator(u'.');
            return v.toText(c);
        }
    }
}

}  // namespace

QString declaredType(const ColumnDef& c) {
    switch (c.type) {
        case JetType::Text:
            return QStringLiteral("TEXT(%1) COLLATE NOCASE").arg(c.size);
        case JetType::Memo:
            return QStringLiteral("LONGTEXT COLLATE NOCASE");
        case JetType::Byte: return QStringLiteral("TINYINT");
        case JetType::Integer: return QStringLiteral("SMALLINT");
        case JetType::Long: return QStringLiteral("LONG");
        case JetType::AutoNumber: return QStringLiteral("INTEGER");
        case JetType::Single: return QStringLiteral("REAL");
        case JetType::Double: return QStringLiteral("DOUBLE");
        case JetType::Currency: return QStringLiteral("CURRENCY");
        case JetType::Decimal:
            return QStringLiteral("DECIMAL TEXT(%1,%2) COLLATE JETDECIMAL")
                .arg(c.precision)
                .arg(c.scale);
        case JetType::DateTime: return QStringLiteral("DATETIME");
        case JetType::YesNo: return QStringLiteral("YESNO");
        case JetType::Binary: return QStringLiteral("BINARY(%1)").arg(c.size);
        case JetType::LongBinary: return QStringLiteral("LONGBINARY");
        case JetType::Guid: return QStringLiteral("GUID");
    }
    return QStringLiteral("TEXT");
}

rt::VarType varTypeForDeclared(const QString& declared) {
    using rt::VarType;
    QString t = declared.trimmed().toUpper();
    int paren = t.indexOf(u'(');
    if (paren >= 0) t = t.left(paren).trimmed();
    int blank = t.indexOf(u' ');
    if (blank >= 0) t = t.left(blank);
    if (t.isEmpty()) return VarType::Empty;
    if (t == u"TEXT" || t == u"LONGTEXT" || t == u"MEMO" || t == u"VARCHAR" || t == u"CHAR" ||
        t == u"GUID" || t == u"NVARCHAR")
        return VarType::Text;
    if (t == u"TINYINT" || t == u"BYTE") return VarType::Byte;
    if (t == u"SMALLINT" || t == u"SHORT") return VarType::Int16;
    if (t == u"LONG" || t == u"INTEGER" || t == u"INT" || t == u"COUNTER" || t == u"AUTOINCREMENT")
        return VarType::Int32;
    if (t == u"REAL" || t == u"SINGLE" || t == u"FLOAT4") return VarType::Single;
    if (t == u"DOUBLE" || t == u"FLOAT" || t == u"FLOAT8") return VarType::Double;
    if (t == u"CURRENCY" || t == u"MONEY") return VarType::Currency;
    if (t == u"DECIMAL" || t == u"NUMERIC") return VarType::Decimal;
    if (t == u"DATETIME" || t == u"DATE" || t == u"TIME") return VarType::Date;
    if (t == u"YESNO" || t == u"BIT" || t == u"LOGICAL" || t == u"BOOLEAN") return VarType::Boolean;
    if (t == u"BINARY" || t == u"LONGBINARY" || t == u"BLOB" || t == u"VARBINARY" ||
        t == u"IMAGE")
        return VarType::Binary;
    return VarType::Empty;
}

void createDatabaseFile(const QString& path, const QString& password) {
    SqliteEngine::createFile(path, password);
}

void createTable(Connection& c, const TableDef& t) { c.engine().createTable(t); }

namespace {

// The kind a Jet column type reads back as, with its sizes (for converting a
// default value and for translating rules).
ColumnInfo infoFor(const ColumnDef& c) {
    ColumnInfo i;
    i.name = c.name;
    i.declaredType = declaredType(c);
    i.kind = varTypeForDeclared(i.declaredType);
    i.size = c.type == JetType::Text ? c.size : 0;
    i.required = c.required;
    i.precision = c.precision;
    i.scale = c.scale;
    i.autoNumber = c.type == JetType::AutoNumber;
    return i;
}

// A value written into the SQL text as the file stores it.
QString storedLiteral(const rt::Variant& v) {
    using rt::VarType;
    switch (v.type()) {
        case VarType::Decimal:
            return u'\'' + v.asDecimal().toPlainText() + u'\'';
        case VarType::Currency:
            return QString::fromStdString(jet::sqliteDialect().literal(v));
        case VarType::Single:
        case VarType::Double:
            return QString::fromStdString(jet::sqliteDialect().literal(v));
        default:
            return literal(v);
    }
}

// The CHECK constraints that hold a column's kind (see Schema.h).
QString kindChecks(const ColumnDef& c) {
    const QString q = quoted(c.name);
    auto check = [&](const char* what, const QString& condition) {
        return QStringLiteral(" CONSTRAINT %1 CHECK (%2)")
            .arg(quoted(QLatin1String(what) + u':' + c.name), condition);
    };
    const QString whole = QStringLiteral("typeof(%1) IN ('integer', 'null')").arg(q);
    const QString number = QStringLiteral("typeof(%1) IN ('integer', 'real', 'null')").arg(q);
    const QString text = QStringLiteral("typeof(%1) IN ('text', 'null')").arg(q);
    auto range = [&](const char* lo, const char* hi) {
        return check(
            "jetrange",
            QStringLiteral("%1 BETWEEN %2 AND %3").arg(q, QLatin1String(lo), QLatin1String(hi)));
    };
    switch (c.type) {
        case JetType::Text:
            return check("jettype", text) +
                   check("jetsize", QStringLiteral("length(%1) <= %2").arg(q, QString::number(c.size)));
        case JetType::Memo:
            return check("jettype", text);
        case JetType::Byte:
            return check("jettype", whole) + range("0", "255");
        case JetType::Integer:
            return check("jettype", whole) + range("-32768", "32767");
        case JetType::Long:
            return check("jettype", whole) + range("-2147483648", "2147483647");
        case JetType::Single:
            return check("jettype", number) + range("-3.402823466e38", "3.402823466e38");
        case JetType::Double:
            return check("jettype", number);
        case JetType::Currency:
            return check("jettype", number) +
                   range("-922337203685477.5808", "922337203685477.5807");
        case JetType::Decimal:
            return check("jettype", text + QStringLiteral(" AND %1 NOT GLOB '*[^0-9.-]*'").arg(q));
        case JetType::DateTime:
            return check("jettype",
                         text + QStringLiteral(" AND length(%1) IN (19, 23) AND %1 GLOB "
                                               "'[0-9][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9] "
                                               "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]*'")
                                    .arg(q));
        case JetType::YesNo:
            return check("jettype", QStringLiteral("%1 IN (-1, 0)").arg(q));
        default:
            return QString();
    }
}

// A column's declaration; `inKey`: part of the primary key, which holds no Null.
QString columnSql(const ColumnDef& col, bool autoKey, bool inKey, const QString& table) {
    QString d = quoted(col.name) + u' ' + declaredType(col);
    if (autoKey) d += QStringLiteral(" PRIMARY KEY AUTOINCREMENT");
    if ((col.required || inKey) && !autoKey) d += QStringLiteral(" NOT NULL");
    if (col.defaultValue) {
        // The default as the column stores it (a default it cannot take is refused now).
        const rt::Variant stored = coerceForColumn(*col.defaultValue, infoFor(col), table,
                                                   rt::RegionalSettings::process());
        if (!stored.isNull()) d += QStringLiteral(" DEFAULT ") + storedLiteral(stored);
    } else if (col.type == JetType::YesNo) {
        d += QStringLiteral(" DEFAULT 0");  // a Yes/No column is never Null
    }
    return d + kindChecks(col);
}

QString indexName(const QString& table, const IndexDef& ix) {
    return ix.name.isEmpty() ? table + u'_' + ix.columns.join(u'_') : table + u'_' + ix.name;
}

QString indexSql(const QString& table, const IndexDef& ix) {
    QStringList cols;
    for (const QString& n : ix.columns) cols << quoted(n);
    return QStringLiteral("CREATE %1INDEX %2 ON %3 (%4);")
        .arg(ix.unique ? QStringLiteral("UNIQUE ") : QString(), quoted(indexName(table, ix)),
             quoted(table), cols.join(u", "));
}

QString foreignKeySql(const ForeignKeyDef& fk) {
    QStringList cols, refs;
    for (const QString& n : fk.columns) cols << quoted(n);
    for (const QString& n : fk.refColumns) refs << quoted(n);
    QString sql =
        fk.name.isEmpty() ? QString() : QStringLiteral("CONSTRAINT %1 ").arg(quoted(fk.name));
    sql +=
        QStringLiteral("FOREIGN KEY (%1) REFERENCES %2").arg(cols.join(u", "), quoted(fk.refTable));
    if (!refs.isEmpty()) sql += QStringLiteral(" (%1)").arg(refs.join(u", "));
    if (fk.cascadeUpdate) sql += QStringLiteral(" ON UPDATE CASCADE");
    if (fk.cascadeDelete) sql += QStringLiteral(" ON DELETE CASCADE");
    return sql;
}

// A rule as the condition of a CHECK constraint (literals in the text).
QString ruleSql(const TableDef& t, const CheckDef& check) {
    const std::string sql = checkConditionSql(t, check, jet::sqliteDialect());
    QString out =
        check.name.isEmpty() ? QString() : QStringLiteral("CONSTRAINT %1 ").arg(quoted(check.name));
    return out + QStringLiteral("CHECK (%1)").arg(QString::fromStdString(sql));
}

}  // namespace

std::string checkConditionSql(const TableDef& t, const CheckDef& check, const jet::Dialect& d) {
    std::vector<ColumnInfo> cols;
    for (const ColumnDef& c : t.columns) cols.push_back(infoFor(c));
    jet::TranslateOptions o;
    o.ruleColumn = check.column;
    o.ruleTable = t.name;
    o.tableColumns = [&](const QString& table) -> const std::vector<ColumnInfo>* {
        return table.compare(t.name, Qt::CaseInsensitive) == 0 ? &cols : nullptr;
    };
    return jet::translateExpression(check.rule, d, o);
}

QString tableDefinitionSql(const TableDef& t) {
    const IndexDef* pk = nullptr;
    for (const IndexDef& ix : t.indexes)
        if (ix.primaryKey) pk = &ix;
    QStringList parts;
    bool autoKeyInline = false;
    for (const ColumnDef& col : t.columns) {
        const bool autoKey = col.type == JetType::AutoNumber && pk && pk->columns.size() == 1 &&
                             pk->columns[0].compare(col.name, Qt::CaseInsensitive) == 0;
        autoKeyInline = autoKeyInline || autoKey;
        const bool inKey = pk && pk->columns.contains(col.name, Qt::CaseInsensitive);
        parts << columnSql(col, autoKey, inKey, t.name);
    }
    if (pk && !autoKeyInline) {
        QStringList cols;
        for (const QString& n : pk->columns) cols << quoted(n);
        parts << (pk->name.isEmpty() ? QString()
                                     : QStringLiteral("CONSTRAINT %1 ").arg(quoted(pk->name))) +
                     QStringLiteral("PRIMARY KEY (%1)").arg(cols.join(u", "));
    }
    for (const ForeignKeyDef& fk : t.foreignKeys) parts << foreignKeySql(fk);
    for (const CheckDef& c : t.checks) parts << ruleSql(t, c);
    QString sql = QStringLiteral("CREATE TABLE %1 (%2);").arg(quoted(t.name), parts.join(u", "));
    for (const IndexDef& ix : t.indexes) {
        if (ix.primaryKey) continue;
        sql += indexSql(t.name, ix);
    }
    return sql;
}

namespace {

// The name under which the file holds a table's index (or constraint index)
// `name`: the schema helper's "table_name", or the name itself.
QString existingIndex(Engine& e, const QString& table, const QString& name) {
    StatementPtr st = e.prepare(
        "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ?1 COLLATE NOCASE "
        "AND (name = ?2 COLLATE NOCASE OR name = ?3 COLLATE NOCASE) ORDER BY name = ?2 DESC");
    st->bind(1, rt::Variant(table));
    st->bind(2, rt::Variant(table + u'_' + name));
    st->bind(3, rt::Variant(name));
    if (!st->next()) return QString();
    return st->value(0, rt::VarType::Text).asText();
}

[[noreturn]] void ddlError(const QString& text) { rt::raise(rt::err::DbSyntax, text); }

}  // namespace

void checkSchemaChange(Engine& e, const SchemaChange& ch) {
    using K = SchemaChange::Kind;
    if (ch.kind == K::CreateTable) return;
    if (e.tableColumns(ch.tableName).empty()) throw missingTableError(ch.tableName);
    auto requireColumns = [&](const QStringList& names) {
        for (const QString& c : names)
            if (!e.column(ch.tableName, c))
                ddlError(
                    QStringLiteral("Field '%1' not found in table '%2'.").arg(c, ch.tableName));
    };
    switch (ch.kind) {
        case K::CreateIndex:
            if (ch.index.primaryKey)
                ddlError(QStringLiteral("Cannot add a primary key to the existing table '%1'; "
                                        "create the table with it.")
                             .arg(ch.tableName));
            requireColumns(ch.index.columns);
            break;
        case K::AddColumn:
            if (e.column(ch.tableName, ch.column.name))
                ddlError(QStringLiteral("Field '%1' already exists in table '%2'.")
                             .arg(ch.column.name, ch.tableName));
            if (ch.column.type == JetType::AutoNumber || ch.index.primaryKey)
                ddlError(QStringLiteral("Cannot add an AutoNumber or primary key field to the "
                                        "existing table '%1'; create the table with it.")
                             .arg(ch.tableName));
            if (ch.column.required && !ch.column.defaultValue)
                ddlError(QStringLiteral("Cannot add the required field '%1' without a DEFAULT "
                                        "value to the existing table '%2'.")
                             .arg(ch.column.name, ch.tableName));
            break;
        case K::DropColumn:
            requireColumns({ch.name});
            break;
        case K::AddConstraint:
            requireColumns(ch.index.columns);
            if (ch.foreignKey) requireColumns(ch.foreignKey->columns);
            break;
        default:
            break;
    }
}

QString schemaChangeSql(Engine& e, const SchemaChange& ch) {
    using K = SchemaChange::Kind;
    checkSchemaChange(e, ch);
    switch (ch.kind) {
        case K::CreateTable:
            return tableDefinitionSql(ch.table);
        case K::CreateIndex:
            return indexSql(ch.tableName, ch.index);
        case K::DropTable:
            return QStringLiteral("DROP TABLE %1;").arg(quoted(ch.tableName));
        case K::DropIndex:
        case K::DropConstraint: {
            const QString name = existingIndex(e, ch.tableName, ch.name);
            if (name.isEmpty() || name.startsWith(QLatin1String("sqlite_autoindex_")))
                ddlError(ch.kind == K::DropIndex
                             ? missingIndexText(ch.tableName, ch.name)
                             : QStringLiteral("Cannot drop constraint '%1' of the existing table "
                                              "'%2': only an index or UNIQUE constraint can be "
                                              "dropped in place.")
                                   .arg(ch.name, ch.tableName));
            return QStringLiteral("DROP INDEX %1;").arg(quoted(name));
        }
        case K::AddColumn: {
            QString sql =
                QStringLiteral("ALTER TABLE %1 ADD COLUMN %2;")
                    .arg(quoted(ch.tableName), columnSql(ch.column, false, false, ch.tableName));
            if (!ch.index.columns.isEmpty()) sql += indexSql(ch.tableName, ch.index);
            return sql;
        }
        case K::DropColumn:
            return QStringLiteral("ALTER TABLE %1 DROP COLUMN %2;")
                .arg(quoted(ch.tableName), quoted(ch.name));
        case K::AddConstraint:
            if (ch.foreignKey || ch.index.primaryKey)
                ddlError(QStringLiteral("Cannot add a primary key or a relationship to the "
                                        "existing table '%1'; create the table with it.")
                             .arg(ch.tableName));
            return indexSql(ch.tableName, ch.index);
    }
    return QString();
}

QString missingIndexText(const QString& table, const QString& index) {
    return QStringLiteral("Cannot find index '%1' of table '%2'.").arg(index, table);
}

ColumnDef columnDefFor(const ColumnInfo& c) {
    ColumnDef d;
    d.name = c.name;
    const QString t = c.declaredType.trimmed().toUpper();
    switch (c.kind) {
        case rt::VarType::Text:
            if (t.startsWith(QLatin1String("GUID")))
                d.type = JetType::Guid;
            else if (c.size > 0)
                d.type = JetType::Text, d.size = c.size;
            else
                d.type = JetType::Memo;
            break;
        case rt::VarType::Byte:
            d.type = JetType::Byte;
            break;
        case rt::VarType::Int16:
            d.type = JetType::Integer;
            break;
        case rt::VarType::Int32:
            d.type = JetType::Long;
            break;
        case rt::VarType::Single:
            d.type = JetType::Single;
            break;
        case rt::VarType::Double:
            d.type = JetType::Double;
            break;
        case rt::VarType::Currency:
            d.type = JetType::Currency;
            break;
        case rt::VarType::Decimal:
            d.type = JetType::Decimal;
            d.precision = c.precision > 0 ? c.precision : 18;
            d.scale = c.scale;
            break;
        case rt::VarType::Date:
            d.type = JetType::DateTime;
            break;
        case rt::VarType::Boolean:
            d.type = JetType::YesNo;
            break;
        case rt::VarType::Binary:
            if (t.startsWith(QLatin1String("BINARY"))) {
                d.type = JetType::Binary;
                d.size = c.size > 0 ? c.size : 255;
            } else {
                d.type = JetType::LongBinary;
            }
            break;
        default:
            d.type = JetType::Text;
            d.size = 255;
            break;
    }
    return d;
}

int64_t runDefinition(Engine& e, const jet::Translation& t) {
    if (t.kind == jet::StatementKind::Schema) {
        e.changeSchema(*t.schema);
        return 0;
    }
    // SELECT ... INTO: the new table takes the query's columns (a copied
    // column keeps its type and size; an expression's type comes from its
    // kind, or from its first value), then the rows, converted to them.
    WriteTransaction tx(e);
    TableDef def;
    def.name = t.intoTable;
    {
        StatementPtr st = e.prepare(t.sql);
        for (size_t i = 0; i < t.params.size(); ++i) st->bind(int(i + 1), t.params[i]);
        const bool row = st->next();
        const int n = st->columnCount();
        QStringList seen;
        for (int c = 0; c < n; ++c) {
            ColumnInfo info;
            const Statement::Origin o = st->columnOrigin(c);
            if (!o.table.isEmpty())
                if (const ColumnInfo* src = e.column(o.table, o.column)) info = *src;
            info.name = st->columnName(c);
            info.required = false;
            info.autoNumber = false;
            const rt::VarType hint =
                size_t(c) < t.columnHints.size() ? t.columnHints[c] : rt::VarType::Empty;
            if (o.table.isEmpty() || info.kind == rt::VarType::Empty) {
                info.kind = hint != rt::VarType::Empty ? hint : st->declaredKind(c);
                info.size = info.kind == rt::VarType::Text ? 255 : 0;
            }
            if (info.kind == rt::VarType::Empty && row) {
                const Cell cell = st->cell(c);
                info.kind = cell.type == CellType::Integer
                                ? (cell.integer >= INT32_MIN && cell.integer <= INT32_MAX
                                       ? rt::VarType::Int32
                                       : rt::VarType::Double)
                            : cell.type == CellType::Real ? rt::VarType::Double
                            : cell.type == CellType::Blob ? rt::VarType::Binary
                                                          : rt::VarType::Text;
                info.size = cell.type == CellType::Text && cell.size > 255 ? 0 : 255;
            }
            if (seen.contains(info.name, Qt::CaseInsensitive))
                throw duplicateDestinationError(info.name);
            seen << info.name;
            def.columns.push_back(columnDefFor(info));
        }
    }
    e.createTable(def);
    const jet::Dialect& d = e.dialect();
    std::string names, values, cols;
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const std::string c = d.quoteIdentifier(QStringLiteral("jet_c%1").arg(i + 1));
        const char* sep = i ? ", " : "";
        names += sep + c;
        cols += sep + d.quoteIdentifier(def.columns[i].name);
        values += sep + d.columnValue(d.quoteIdentifier(QStringLiteral("jet_src")) + "." + c,
                                      i < t.columnHints.size() ? t.columnHints[i]
                                                               : rt::VarType::Empty,
                                      infoFor(def.columns[i]), def.name);
    }
    const std::string sql = "INSERT INTO " + d.quoteIdentifier(def.name) + " (" + cols + ") WITH " +
                            d.quoteIdentifier(QStringLiteral("jet_src")) + " (" + names + ") AS (" +
                            t.sql + ") SELECT " + values + " FROM " +
                            d.quoteIdentifier(QStringLiteral("jet_src"));
    StatementPtr ins = e.prepare(sql);
    for (size_t i = 0; i < t.params.size(); ++i) ins->bind(int(i + 1), t.params[i]);
    ins->run();
    const int64_t rows = e.changes();
    tx.commit();
    return rows;
}

QStringList userTables(Connection& c) { return c.engine().userTables(); }

namespace {

// A plain decimal text split into its parts; false for anything else.
struct DecimalParts {
    bool negative = false;
    std::string_view whole;     // without leading zeros
    std::string_view fraction;  // without trailing zeros
};

bool splitDecimal(std::string_view t, DecimalParts& out) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) out.negative = t[i++] == '-';
    const size_t wholeStart = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    std::string_view whole = t.substr(wholeStart, i - wholeStart);
    std::string_view fraction;
    if (i < t.size() && t[i] == '.') {
        const size_t fracStart = ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        fraction = t.substr(fracStart, i - fracStart);
    }
    if (i != t.size() || (whole.empty() && fraction.empty())) return false;
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    if (whole.empty() && fraction.empty()) out.negative = false;  // -0 is 0
    out.whole = whole;
    out.fraction = fraction;
    return true;
}

int compareMagnitude(const DecimalParts& a, const DecimalParts& b) {
    if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
    if (int c = a.whole.compare(b.whole)) return c < 0 ? -1 : 1;
    int c = a.fraction.compare(b.fraction);  // trailing zeros removed: plain order is numeric
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::optional<double> numericValue(std::string_view t) {
    std::string s(t);
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || std::isnan(v)) return std::nullopt;
    return v;
}

}  // namespace

int compareDecimalText(int n1, const void* p1, int n2, const void* p2) {
    const std::string_view a(static_cast<const char*>(p1), size_t(n1));
    const std::string_view b(static_cast<const char*>(p2), size_t(n2));
    DecimalParts da, dbp;
    if (splitDecimal(a, da) && splitDecimal(b, dbp)) {
        if (da.negative != dbp.negative) return da.negative ? -1 : 1;
        const int m = compareMagnitude(da, dbp);
        return da.negative ? -m : m;
    }
    const std::optional<double> va = numericValue(a), vb = numericValue(b);
    if (va && vb) return *va < *vb ? -1 : (*va > *vb ? 1 : 0);
    if (va || vb) return va ? -1 : 1;  // numbers first
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace db

// Jet column types as SQLite declarations; creating files and tables.
#include "platform/db/Schema.h"

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
        case JetType::Text: return QStringLiteral("TEXT(%1) COLLATE JETTEXT").arg(c.size);
        case JetType::Memo: return QStringLiteral("LONGTEXT COLLATE JETTEXT");
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

QString tableDefinitionSql(const TableDef& t) {
    const IndexDef* pk = nullptr;
    for (const IndexDef& ix : t.indexes)
        if (ix.primaryKey) pk = &ix;
    QStringList parts;
    bool autoKeyInline = false;
    for (const ColumnDef& col : t.columns) {
        QString d = quoted(col.name) + u' ' + declaredType(col);
        if (col.type == JetType::AutoNumber && pk && pk->columns.size() == 1 &&
            pk->columns[0].compare(col.name, Qt::CaseInsensitive) == 0) {
            d += QStringLiteral(" PRIMARY KEY AUTOINCREMENT");
            autoKeyInline = true;
        }
        if (col.required) d += QStringLiteral(" NOT NULL");
        if (col.defaultValue) d += QStringLiteral(" DEFAULT ") + literal(*col.defaultValue);
        parts << d;
    }
    if (pk && !autoKeyInline) {
        QStringList cols;
        for (const QString& n : pk->columns) cols << quoted(n);
        parts << QStringLiteral("PRIMARY KEY (%1)").arg(cols.join(u", "));
    }
    QString sql = QStringLiteral("CREATE TABLE %1 (%2);").arg(quoted(t.name), parts.join(u", "));
    for (const IndexDef& ix : t.indexes) {
        if (ix.primaryKey) continue;
        QStringList cols;
        for (const QString& n : ix.columns) cols << quoted(n);
        QString name = ix.name.isEmpty() ? t.name + u'_' + ix.columns.join(u'_') : t.name + u'_' + ix.name;
        sql += QStringLiteral("CREATE %1INDEX %2 ON %3 (%4);")
                   .arg(ix.unique ? QStringLiteral("UNIQUE ") : QString(), quoted(name),
                        quoted(t.name), cols.join(u", "));
    }
    return sql;
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

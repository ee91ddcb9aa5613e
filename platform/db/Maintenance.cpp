// Jet DDL and Jet SQL literals written from table definitions and values;
// the index list built from the definitions. What reads the catalog, checks
// and copies the file is the engine's (platform/db/sqlite/SqliteMaintenance.cpp).
#include "platform/db/Maintenance.h"

#include "platform/db/Connection.h"

#include <QLocale>

#include <charconv>

namespace db {

namespace {

QString bracketed(const QString& name) { return u'[' + name + u']'; }

QString bracketedList(const QStringList& names) {
    QStringList out;
    for (const QString& n : names) out << bracketed(n);
    return out.join(QStringLiteral(", "));
}

template <typename T>
QString shortest(T value) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, int(end - buf));
}

}  // namespace

QString jetTypeName(const ColumnDef& c) {
    switch (c.type) {
        case JetType::Text:
            return QStringLiteral("TEXT(%1)").arg(c.size);
        case JetType::Memo:
            return QStringLiteral("MEMO");
        case JetType::Byte:
            return QStringLiteral("BYTE");
        case JetType::Integer:
            return QStringLiteral("SHORT");
        case JetType::Long:
            return QStringLiteral("LONG");
        case JetType::AutoNumber:
            return QStringLiteral("COUNTER");
        case JetType::Single:
            return QStringLiteral("SINGLE");
        case JetType::Double:
            return QStringLiteral("DOUBLE");
        case JetType::Currency:
            return QStringLiteral("CURRENCY");
        case JetType::Decimal:
            return QStringLiteral("DECIMAL(%1,%2)").arg(c.precision).arg(c.scale);
        case JetType::DateTime:
            return QStringLiteral("DATETIME");
        case JetType::YesNo:
            return QStringLiteral("YESNO");
        case JetType::Binary:
            return QStringLiteral("BINARY(%1)").arg(c.size);
        case JetType::LongBinary:
            return QStringLiteral("LONGBINARY");
        case JetType::Guid:
            return QStringLiteral("GUID");
    }
    return QStringLiteral("MEMO");
}

bool jetLiteral(const rt::Variant& v, QString& literal) {
    using rt::VarType;
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Null:
            literal = QStringLiteral("Null");
            return true;
        case VarType::Byte:
            literal = QString::number(v.asByte());
            return true;
        case VarType::Int16:
            literal = QString::number(v.asInt16());
            return true;
        case VarType::Int32:
            literal = QString::number(v.asInt32());
            return true;
        case VarType::Single:
            literal = shortest(v.asSingle());
            return true;
        case VarType::Double:
            literal = shortest(v.asDouble());
            return true;
        case VarType::Currency: {
            const int64_t s = v.asCurrency().scaled;
            const uint64_t m = s < 0 ? 0 - uint64_t(s) : uint64_t(s);
            literal = QStringLiteral("%1%2.%3")
                          .arg(s < 0 ? QStringLiteral("-") : QString())
                          .arg(m / 10000)
                          .arg(m % 10000, 4, 10, QLatin1Char('0'));
            return true;
        }
        case VarType::Decimal:
            literal = v.asDecimal().toPlainText(u'.');
            return true;
        case VarType::Date: {
            const QDateTime& d = v.asDate();
            const QTime t = d.time();
            literal = u'#' + d.date().toString(QStringLiteral("yyyy-MM-dd")) +
                      (t.msec() ? t.toString(QStringLiteral(" HH:mm:ss.zzz"))
                                : t.toString(QStringLiteral(" HH:mm:ss"))) +
                      u'#';
            return true;
        }
        case VarType::Boolean:
            literal = v.asBool() ? QStringLiteral("True") : QStringLiteral("False");
            return true;
        case VarType::Text: {
            QString t = v.asText();
            t.replace(u'\'', QStringLiteral("''"));
            literal = u'\'' + t + u'\'';
            return true;
        }
        case VarType::Binary:
            literal = QStringLiteral("Null");
            return false;
    }
    literal = QStringLiteral("Null");
    return false;
}

QString jetCreateTable(const TableDef& t) {
    QStringList parts;
    for (const ColumnDef& c : t.columns) {
        QString d = bracketed(c.name) + u' ' + jetTypeName(c);
        if (c.required) d += QStringLiteral(" NOT NULL");
        QString literal;
        if (c.defaultValue && !c.defaultValue->isNull() && !c.defaultValue->isEmpty() &&
            jetLiteral(*c.defaultValue, literal))
            d += QStringLiteral(" DEFAULT ") + literal;
        parts << d;
    }
    for (const IndexDef& ix : t.indexes)
        if (ix.primaryKey)
            parts << QStringLiteral("CONSTRAINT %1 PRIMARY KEY (%2)")
                         .arg(bracketed(ix.name.isEmpty() ? QStringLiteral("PrimaryKey") : ix.name),
                              bracketedList(ix.columns));
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(bracketed(t.name), parts.join(u", "));
}

QStringList jetCreateIndexes(const TableDef& t) {
    QStringList out;
    for (const IndexDef& ix : t.indexes) {
        if (ix.primaryKey) continue;
        out << QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                   .arg(ix.unique ? QStringLiteral("UNIQUE ") : QString(), bracketed(ix.name),
                        bracketed(t.name), bracketedList(ix.columns));
    }
    return out;
}

std::vector<IndexInfo> listIndexes(Connection& c, const QString& table) {
    const QStringList tables = table.isEmpty() ? userTables(c) : QStringList{table};
    std::vector<IndexInfo> out;
    for (const QString& name : tables) {
        const TableDef def = readTableDefinition(c, name);
        // The key first, then the other indexes by name (as the definition has them).
        for (const IndexDef& ix : def.indexes)
            out.push_back(IndexInfo{def.name, ix.name, ix.columns, ix.unique, ix.primaryKey});
    }
    return out;
}

}  // namespace db

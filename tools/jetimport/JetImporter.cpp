// The Jet to SQLite conversion (see JetImporter.h).
//
// Values are bound the way the database layer stores them, so that they read
// back with the same kind and value: dates as "yyyy-MM-dd HH:mm:ss[.zzz]",
// Yes/No as -1/0, Currency as REAL (checked to read back exactly, else as a
// whole INTEGER), Decimal as its plain text (every digit and the scale), text
// as UTF-8, binary data as blobs.
//
// Names in the copy: tables keep their Jet names unless SQLite or the copy
// itself reserves them (sqlite_..., MSysPassword ...), then they get the
// prefix "Jet_". Indexes, triggers and checks are named TABLE.NAME: Jet names
// hold no period, so these cannot collide with each other or with a table
// (a name that does, from a damaged catalog, gets a number).
#include "tools/jetimport/JetImporter.h"

#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/db/jet/Tokenizer.h"
#include "platform/db/jet/Translator.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace jetimport {

namespace {

using db::JetType;

[[noreturn]] void fail(int32_t number, const QString& text) { rt::raise(number, text); }

QString quoted(const QString& name) {
    QString q = name;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString textLiteral(const QString& text) {
    QString t = text;
    t.replace(u'\'', QStringLiteral("''"));
    return u'\'' + t + u'\'';
}

QString connectionString(const QString& path, const QString& password) {
    return db::jetConnectionString(path, password);
}

QString number(int64_t n) { return QString::number(n); }

// ---- The copy being written, for cleanup even from a signal handler ----

char gUnfinished[2][4096];  // the copy and its journal; empty when none
std::atomic<bool> gUnfinishedSet{false};

void setUnfinished(const QString& path) {
    const QByteArray a = QFile::encodeName(path);
    const QByteArray b = a + "-journal";
    if (size_t(b.size()) >= sizeof gUnfinished[0]) return;
    std::memcpy(gUnfinished[0], a.constData(), size_t(a.size()) + 1);
    std::memcpy(gUnfinished[1], b.constData(), size_t(b.size()) + 1);
    gUnfinishedSet = true;
}

void clearUnfinished() {
    gUnfinishedSet = false;
    gUnfinished[0][0] = gUnfinished[1][0] = 0;
}

// An unfinished copy is ".NAME.importing-PID-N" in the target folder. While
// its import runs, the importer holds a shared lock on its first byte (a lock
// of the open file description, which works between workstations on a shared
// folder as the database files' own locks do; SQLite locks other bytes).
const QRegularExpression& unfinishedName() {
    static const QRegularExpression re(QStringLiteral("^\\.(.+)\\.importing-(\\d+)-(\\d+)$"));
    return re;
}

bool lockFirstByte(int fd, short type) {
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    l.l_start = 0;
    l.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &l) == 0;
}

// Removes the unfinished copies in `folder` whose import no longer runs (no
// lock held on them); says which in `warnings`.
void removeStaleCopies(const QDir& folder, QStringList* warnings) {
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QRegularExpressionMatch m = unfinishedName().match(name);
        if (!m.hasMatch()) continue;
        const QString path = folder.filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        const bool stale = lockFirstByte(fd, F_WRLCK);
        const qint64 size = QFileInfo(path).size();
        if (stale && ::unlink(QFile::encodeName(path).constData()) == 0) {
            QFile::remove(path + QStringLiteral("-journal"));
            if (warnings)
                *warnings << QStringLiteral(
                                 "the unfinished copy %1 (%2 bytes), left by an import of "
                                 "%3 that was stopped (process %4), was removed")
                                 .arg(name)
                                 .arg(number(size))
                                 .arg(m.captured(1), m.captured(2));
        }
        ::close(fd);
    }
}

// Owns the temporary copy: removes it on destruction unless it was published.
class UnfinishedCopy {
  public:
    UnfinishedCopy(const QDir& folder, const QString& finalName) {
        for (int n = 0;; ++n) {
            // One arg() for all: a file name may itself hold "%1".
            path_ = folder.filePath(
                QStringLiteral(".%1.importing-%2-%3")
                    .arg(finalName, QString::number(QCoreApplication::applicationPid()),
                         QString::number(n)));
            if (!QFileInfo::exists(path_)) break;
        }
        setUnfinished(path_);
    }
    ~UnfinishedCopy() {
        if (!published_) {
            QFile::remove(path_);
            QFile::remove(path_ + QStringLiteral("-journal"));
        }
        if (lockFd_ >= 0) ::close(lockFd_);
        clearUnfinished();
    }
    UnfinishedCopy(const UnfinishedCopy&) = delete;
    UnfinishedCopy& operator=(const UnfinishedCopy&) = delete;

    const QString& path() const { return path_; }

    // Marks the copy (once created) as being written, for other imports into
    // the same folder.
    void lock() {
        lockFd_ = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
        if (lockFd_ >= 0) lockFirstByte(lockFd_, F_RDLCK);
    }

    // Makes the copy durable and gives it its final name without replacing a
    // file of that name. Throws rt::Error. REQUIRES: no connection is open on
    // the copy (closing the lock's descriptor would drop SQLite's locks).
    void publish(const QString& target) {
        const QByteArray from = QFile::encodeName(path_);
        const QByteArray to = QFile::encodeName(target);
        int fd = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            const int e = errno;
            if (fd >= 0) ::close(fd);
            fail(rt::err::DbGeneric,
                 QStringLiteral("The copy '%1' could not be written to disk (%2).")
                     .arg(target, QString::fromLocal8Bit(std::strerror(e))));
        }
        ::close(fd);
        int rc =
            ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the no-replace rename: check, then rename.
            if (QFileInfo::exists(target)) {
                errno = EEXIST;
            } else {
                rc = std::rename(from.constData(), to.constData());
            }
        }
        if (rc != 0) {
            const int e = errno;
            if (e == EEXIST)
                fail(rt::err::DbGeneric,
                     QStringLiteral("'%1' already exists; the importer never overwrites a file.")
                         .arg(target));
            fail(rt::err::DbGeneric, QStringLiteral("The copy could not be renamed to '%1' (%2).")
                                         .arg(target, QString::fromLocal8Bit(std::strerror(e))));
        }
        published_ = true;
        clearUnfinished();
        // The new name itself is durable once the folder is.
        fd = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }

  private:
    QString path_;
    bool published_ = false;
    int lockFd_ = -1;
};

// ---- Columns ----

std::optional<JetType> jetTypeOf(const JetColumn& c) {
    switch (JetColumnType(c.type)) {
        case JetColumnType::YesNo:
            return JetType::YesNo;
        case JetColumnType::Byte:
            return JetType::Byte;
        case JetColumnType::Integer:
            return JetType::Integer;
        case JetColumnType::Long:
            return c.autoNumber ? JetType::AutoNumber : JetType::Long;
        case JetColumnType::Currency:
            return JetType::Currency;
        case JetColumnType::Single:
            return JetType::Single;
        case JetColumnType::Double:
            return JetType::Double;
        case JetColumnType::DateTime:
            return JetType::DateTime;
        case JetColumnType::Binary:
            return JetType::Binary;
        case JetColumnType::Text:
            return JetType::Text;
        case JetColumnType::LongBinary:
            return JetType::LongBinary;
        case JetColumnType::Memo:
            return JetType::Memo;
        case JetColumnType::Guid:
            return JetType::Guid;
        case JetColumnType::Decimal:
            return JetType::Decimal;
    }
    return std::nullopt;
}

__int128 powerOfTen(int n) {
    __int128 p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// A Jet default value that is a plain literal, as a value of the column's type.
std::optional<rt::Variant> literalDefault(QString expr, JetType type) {
    expr = expr.trimmed();
    if (expr.startsWith(u'=')) expr = expr.mid(1).trimmed();
    if (expr.isEmpty()) return std::nullopt;
    const bool isTextType = type == JetType::Text || type == JetType::Memo;
    const QChar q = expr.front();
    if (q == u'"' || q == u'\'') {
        // One quoted text, a doubled quote standing for one.
        if (expr.size() < 2 || expr.back() != q || !isTextType) return std::nullopt;
        const QString doubled(2, q);
        QString inner = expr.mid(1, expr.size() - 2);
        if (QString(inner).remove(doubled).contains(q)) return std::nullopt;
        return rt::Variant(inner.replace(doubled, QString(q)));
    }
    const QString word = expr.toLower();
    std::optional<bool> flag;
    if (word == u"true" || word == u"yes" || word == u"on") flag = true;
    if (word == u"false" || word == u"no" || word == u"off") flag = false;
    if (flag) {
        if (type == JetType::YesNo) return rt::Variant(*flag);
        if (type == JetType::Integer) return rt::Variant(int16_t(*flag ? -1 : 0));
        if (type == JetType::Long) return rt::Variant(int32_t(*flag ? -1 : 0));
        return std::nullopt;
    }
    static const QRegularExpression number(QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?$"));
    const QRegularExpressionMatch m = number.match(expr);
    if (!m.hasMatch() || (m.capturedLength(2) == 0 && m.capturedLength(3) == 0))
        return std::nullopt;
    rt::Decimal d;
    QString plain = m.captured(1) == u"-" ? QStringLiteral("-") : QString();
    plain += m.capturedLength(2) ? m.captured(2) : QStringLiteral("0");
    if (m.capturedLength(3)) plain += u'.' + m.captured(3);
    if (!rt::Decimal::parse(plain, d)) return std::nullopt;
    const bool whole = d.mantissa % powerOfTen(d.scale) == 0;
    const double value = d.toDouble();
    switch (type) {
        case JetType::YesNo:
            return rt::Variant(value != 0.0);
        case JetType::Byte:
            if (!whole || value < 0 || value > 255) return std::nullopt;
            return rt::Variant::byte(uint8_t(value));
        case JetType::Integer:
            if (!whole || value < INT16_MIN || value > INT16_MAX) return std::nullopt;
            return rt::Variant(int16_t(value));
        case JetType::Long:
            if (!whole || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
            return rt::Variant(int32_t(value));
        case JetType::Single:
            return rt::Variant(float(value));
        case JetType::Double:
            return rt::Variant(value);
        case JetType::Currency: {
            if (d.scale > 4) return std::nullopt;
            __int128 m = d.mantissa;
            for (int k = d.scale; k < 4; ++k) m *= 10;
            if (m > INT64_MAX || m < INT64_MIN) return std::nullopt;
            return rt::Variant(rt::Currency{int64_t(m)});
        }
        case JetType::Decimal:
            return rt::Variant(d);
        case JetType::Text:
        case JetType::Memo:
            return rt::Variant(expr);
        default:
            return std::nullopt;
    }
}

// A default value that is an expression whose meaning the copy keeps: Date(),
// Now() and Time() (the clock of the connection that adds the row, through the
// Jet functions the database layer registers on every connection) and
// GenGUID() (a new replication id). Nothing for any other expression.
std::optional<QString> defaultExpression(QString expr, JetType type) {
    expr = expr.trimmed();
    if (expr.startsWith(u'=')) expr = expr.mid(1);
    expr.remove(QRegularExpression(QStringLiteral("\\s")));
    expr = expr.toUpper();
    if (type == JetType::DateTime) {
        if (expr == u"DATE()") return QStringLiteral("jet_date()");
        if (expr == u"NOW()") return QStringLiteral("jet_now()");
        if (expr == u"TIME()") return QStringLiteral("jet_time()");
    }
    if (type == JetType::Guid && expr == u"GENGUID()")
        return QStringLiteral(
            "'{' || hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-' || "
            "hex(randomblob(2)) || '-' || hex(randomblob(2)) || '-' || hex(randomblob(6)) || '}'");
    return std::nullopt;
}

// ---- Values ----

// The REAL that the engine reads back as exactly `scaled` ten-thousandths.
std::optional<double> currencyAsReal(int64_t scaled) {
    const auto readsBack = [&](double d) {
        return std::llround(d * double(rt::Currency::kScale)) == scaled;
    };
    double d = double(scaled) / double(rt::Currency::kScale);
    if (readsBack(d)) return d;
    double up = d, down = d;
    for (int i = 0; i < 16; ++i) {
        up = std::nextafter(up, HUGE_VAL);
        if (readsBack(up)) return up;
        down = std::nextafter(down, -HUGE_VAL);
        if (readsBack(down)) return down;
    }
    return std::nullopt;
}

// Binds one value as the database layer stores it. A Single or Double that is
// not a number (NaN) has no value SQLite can keep: it is stored as Null and
// `notANumber` set. Returns what is wrong when the value cannot be stored
// exactly, an empty text otherwise.
QString bindValue(db::Statement& st, int i, const rt::Variant& v, bool& notANumber) {
    using rt::VarType;
    notANumber = false;
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Null:
            st.bindNull(i);
            break;
        case VarType::Byte:
            st.bindInteger(i, v.asByte());
            break;
        case VarType::Int16:
            st.bindInteger(i, v.asInt16());
            break;
        case VarType::Int32:
            st.bindInteger(i, v.asInt32());
            break;
        case VarType::Single:
        case VarType::Double: {
            const double d = v.type() == VarType::Single ? double(v.asSingle()) : v.asDouble();
            notANumber = std::isnan(d);
            if (notANumber)
                st.bindNull(i);
            else
                st.bindReal(i, d);
            break;
        }
        case VarType::Currency: {
            const int64_t scaled = v.asCurrency().scaled;
            if (auto d = currencyAsReal(scaled)) {
                st.bindReal(i, *d);
            } else if (scaled % rt::Currency::kScale == 0) {
                st.bindInteger(i, scaled / rt::Currency::kScale);
            } else {
                return QStringLiteral(
                           "the amount %1 cannot be stored exactly (the copies hold every amount "
                           "with four decimals up to %2, and whole amounts beyond)")
                    .arg(rt::Decimal{scaled, 4}.toPlainText(), number(kExactCurrencyBound));
            }
            break;
        }
        case VarType::Decimal:
            st.bindText(i, v.asDecimal().toPlainText().toLatin1());
            break;
        case VarType::Date:
            st.bindText(i, db::jet::storedDateText(v.asDate()).toLatin1());
            break;
        case VarType::Boolean:
            st.bindInteger(i, v.asBool() ? -1 : 0);
            break;
        case VarType::Text:
            st.bindText(i, v.asText().toUtf8());
            break;
        case VarType::Binary:
            st.bindBlob(i, v.asBinary());
            break;
    }
    return QString();
}

// ---- Tables ----

// Names in the copy, one namespace for tables, views, indexes and triggers,
// compared without regard to letter case as SQLite does.
class Names {
  public:
    // `wanted`, or, when taken, `wanted (2)`, `wanted (3)` ...
    QString claim(const QString& wanted) {
        QString name = wanted;
        for (int n = 2; used_.contains(name.toCaseFolded()); ++n)
            name = QStringLiteral("%1 (%2)").arg(wanted).arg(n);
        used_.insert(name.toCaseFolded());
        return name;
    }

  private:
    QSet<QString> used_;
};

// Whether SQLite or the copy itself keeps a table of this name.
bool reservedTableName(const QString& name) {
    return name.startsWith(QStringLiteral("sqlite_"), Qt::CaseInsensitive) ||
           name.compare(QStringLiteral("MSysPassword"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String(kConstraintTextTable), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String(kSavedQueriesTable), Qt::CaseInsensitive) == 0;
}

// A CHECK constraint of the copy.
struct Check {
    QString name;       // TABLE.COLUMN.ValidationRule, TABLE.ValidationRule ...
    QString condition;  // SQL
    QString message;    // what a failed change reports
};

struct IndexPlan {
    QString name;  // in the copy
    QStringList columns;
    std::vector<bool> descending;
    bool unique = false;
    bool primaryKey = false;
    QString jetName;
};

struct ForeignKey {
    QString relationship;
    QString parent;  // the copy's name of the referenced table
    QStringList columns, parentColumns;
    bool cascadeUpdates = false, cascadeDeletes = false;
};

struct TablePlan {
    const JetTable* jet = nullptr;
    QString name;  // in the copy
    std::vector<db::ColumnDef> columns;
    std::vector<QString> defaultSql;  // per column: an expression default, or empty
    std::vector<IndexPlan> indexes;   // the primary key first
    QString inlineAutoNumber;         // the AutoNumber column that is the row id, if any
    QStringList triggerAutoNumbers;   // other AutoNumber columns
    QString rowid;                    // how the row id can be named in this table
    std::vector<Check> checks;
    std::vector<ForeignKey> foreignKeys;

    const IndexPlan* primaryKey() const {
        for (const IndexPlan& ix : indexes)
            if (ix.primaryKey) return &ix;
        return nullptr;
    }
    QString column(const QString& name) const {  // its spelling in the table, or empty
        for (const db::ColumnDef& c : columns)
            if (c.name.compare(name, Qt::CaseInsensitive) == 0) return c.name;
        return {};
    }
};

bool sameColumns(QStringList a, QStringList b) {
    for (QString& s : a) s = s.toCaseFolded();
    for (QString& s : b) s = s.toCaseFolded();
    a.sort();
    b.sort();
    return a == b;
}

// The copies are SQLite files: rules are translated for SQLite before the copy
// is open.
const db::jet::Dialect& dialect() { return db::jet::sqliteDialect(); }

// A validation rule with the patterns of its Like terms in the wildcards of
// the translator (the provider's: % _ and character lists). Jet evaluates
// rules with its own: * any text, ? one character, # one digit, % and _
// plain characters.
QString withProviderWildcards(const QString& rule) {
    const std::vector<db::jet::Token> tokens = db::jet::tokenize(rule);
    QString out;
    qsizetype done = 0;
    bool afterLike = false;
    for (const db::jet::Token& t : tokens) {
        const QStringView token = QStringView(rule).mid(t.pos, t.length);
        if (afterLike && t.kind == db::jet::TokenKind::Text) {
            QString pattern;
            bool inList = false;
            for (const QChar c : db::jet::unquoteText(token)) {
                if (inList || c == u'[') {
                    pattern += c;
                    inList = c != u']';
                    continue;
                }
                switch (c.unicode()) {
                    case u'*':
                        pattern += u'%';
                        break;
                    case u'?':
                        pattern += u'_';
                        break;
                    case u'#':
                        pattern += QStringLiteral("[0-9]");
                        break;
                    case u'%':
                        pattern += QStringLiteral("[%]");
                        break;
                    case u'_':
                        pattern += QStringLiteral("[_]");
                        break;
                    default:
                        pattern += c;
                        break;
                }
            }
            out += rule.mid(done, t.pos - done) + u'"' +
                   pattern.replace(u'"', QStringLiteral("\"\"")) + u'"';
            done = t.pos + t.length;
        }
        afterLike =
            t.kind == db::jet::TokenKind::Word && token.compare(u"like", Qt::CaseInsensitive) == 0;
    }
    return out + rule.mid(done);
}

TablePlan planTable(const JetTable& t, const QString& name, Names& names, FileResult& result) {
    TablePlan plan;
    plan.jet = &t;
    plan.name = name;
    for (const JetColumn& c : t.columns) {
        db::ColumnDef def = columnDefFor(t, c, &result.notes);
        std::optional<QString> expression;
        if (!def.defaultValue) expression = defaultExpression(c.defaultValue, def.type);
        if (!expression && c.autoGuid && c.defaultValue.trimmed().isEmpty())
            expression = defaultExpression(QStringLiteral("GenGUID()"), def.type);
        plan.defaultSql.push_back(expression.value_or(QString()));
        plan.columns.push_back(def);
    }
    for (const QString& problem : t.unreadableIndexes)
        result.notes << QStringLiteral("table %1: the index %2 (its key columns cannot be read)")
                            .arg(name, problem);

    // Indexes: the primary key first, then unique ones, then the rest; one
    // index per column list.
    std::vector<const JetIndex*> order;
    for (int pass = 0; pass < 4; ++pass)
        for (const JetIndex& x : t.indexes) {
            const int rank = x.primaryKey ? 0 : x.unique ? 1 : !x.foreignKey ? 2 : 3;
            if (rank == pass) order.push_back(&x);
        }
    for (const JetIndex* x : order) {
        IndexPlan ix;
        ix.jetName = x->name;
        for (int c : x->columns) ix.columns << t.columns[size_t(c)].name;
        ix.descending = x->descending;
        ix.primaryKey = x->primaryKey && !plan.primaryKey();
        ix.unique = x->unique || x->primaryKey;
        const bool duplicate =
            std::any_of(plan.indexes.begin(), plan.indexes.end(), [&](auto& have) {
                return have.columns.join(u'\n').compare(ix.columns.join(u'\n'),
                                                        Qt::CaseInsensitive) == 0;
            });
        if (duplicate) continue;
        if (ix.primaryKey)
            for (db::ColumnDef& def : plan.columns)
                if (ix.columns.contains(def.name, Qt::CaseInsensitive)) def.required = true;
        ix.name = names.claim(name + u'.' + x->name);
        plan.indexes.push_back(ix);
    }
    // A single-column AutoNumber key becomes the row id; other AutoNumber
    // columns are numbered by a trigger.
    const IndexPlan* pk = plan.primaryKey();
    for (db::ColumnDef& def : plan.columns) {
        if (def.type != JetType::AutoNumber) continue;
        if (pk && pk->columns.size() == 1 &&
            pk->columns[0].compare(def.name, Qt::CaseInsensitive) == 0) {
            plan.inlineAutoNumber = def.name;
        } else {
            plan.triggerAutoNumbers << def.name;
            def.required = false;  // NOT NULL would refuse the row before the trigger numbers it
        }
    }
    // The trigger finds its row by the row id, under a name no column has.
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        const QString id = QString::fromLatin1(candidate);
        if (plan.column(id).isEmpty()) {
            plan.rowid = id;
            break;
        }
    }
    if (plan.rowid.isEmpty() && !plan.triggerAutoNumbers.isEmpty())
        fail(rt::err::DbGeneric,
             QStringLiteral("Table '%1' has columns named rowid, _rowid_ and oid; its AutoNumber "
                            "column cannot be numbered in the copy.")
                 .arg(t.name));

    // Rules: validation rules translated into checks; Required and "allow
    // zero length = No" as checks too, so that each failure reports Jet's text.
    db::jet::TranslateOptions rules;
    rules.ruleTable = name;
    rules.inlineLiterals = true;
    rules.columnKind = [&plan, name](const QString& table, const QString& column) {
        if (table.compare(name, Qt::CaseInsensitive) != 0) return rt::VarType::Empty;
        for (const db::ColumnDef& c : plan.columns)
            if (c.name.compare(column, Qt::CaseInsensitive) == 0)
                return db::varTypeForDeclared(db::declaredType(c));
        return rt::VarType::Empty;
    };
    auto rule = [&](const QString& column, const QString& text, const QString& message) {
        rules.ruleColumn = column;
        const QString where = column.isEmpty()
                                  ? QStringLiteral("table %1").arg(name)
                                  : QStringLiteral("table %1, column %2").arg(name, column);
        try {
            const QString sql = QString::fromStdString(
                db::jet::translateExpression(withProviderWildcards(text), dialect(), rules));
            plan.checks.push_back({column.isEmpty()
                                       ? name + QStringLiteral(".ValidationRule")
                                       : name + u'.' + column + QStringLiteral(".ValidationRule"),
                                   sql, message});
        } catch (const rt::Error& e) {
            result.notes << QStringLiteral(
                                "%1: the validation rule %2 cannot be translated (%3); it "
                                "is not enforced in the copy")
                                .arg(where, text, e.description());
        }
    };
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const JetColumn& c = t.columns[i];
        const db::ColumnDef& def = plan.columns[i];
        const QString field = name + u'.' + c.name;
        if (!c.validationRule.isEmpty())
            rule(c.name, c.validationRule,
                 !c.validationText.isEmpty()
                     ? c.validationText
                     : QStringLiteral("One or more values are prohibited by the validation rule "
                                      "'%1' set for '%2'. Enter a value that the expression for "
                                      "this field can accept.")
                           .arg(c.validationRule, field));
        const bool numbered = def.type == JetType::AutoNumber || c.autoGuid;
        if (c.required && !def.required && !numbered && def.type != JetType::YesNo)
            plan.checks.push_back(
                {field + QStringLiteral(".Required"),
                 quoted(c.name) + QStringLiteral(" IS NOT NULL"),
                 QStringLiteral("You must enter a value in the '%1' field.").arg(field)});
        if (c.allowZeroLength == false)
            plan.checks.push_back(
                {field + QStringLiteral(".AllowZeroLength"),
                 quoted(c.name) + QStringLiteral(" <> ''"),
                 QStringLiteral("Field '%1' cannot be a zero-length string.").arg(field)});
    }
    if (!t.validationRule.isEmpty())
        rule(QString(), t.validationRule,
             !t.validationText.isEmpty()
                 ? t.validationText
                 : QStringLiteral("One or more values are prohibited by the validation rule '%1' "
                                  "set for '%2'. Enter a value that the expression for this field "
                                  "can accept.")
                       .arg(t.validationRule, name));
    return plan;
}

// Relationships become foreign keys of the table whose rows refer.
void planRelationships(const std::vector<JetRelationship>& relationships,
                       std::vector<TablePlan>& plans, FileResult& result) {
    auto planOf = [&](const QString& jetName) -> TablePlan* {
        for (TablePlan& p : plans)
            if (p.jet->name.compare(jetName, Qt::CaseInsensitive) == 0) return &p;
        return nullptr;
    };
    for (const JetRelationship& r : relationships) {
        const QString what =
            QStringLiteral("relationship %1 (%2 -> %3)").arg(r.name, r.table, r.referencedTable);
        TablePlan* child = planOf(r.table);
        TablePlan* parent = planOf(r.referencedTable);
        QString why;
        if (r.inherited)
            why = QStringLiteral("it belongs to a linked database");
        else if (!child || !parent)
            why = QStringLiteral("it joins a table that is not in this file");
        else if (!r.enforced)
            why = QStringLiteral("the original does not enforce it (a join line only)");
        else if (r.columns.isEmpty() || r.columns.size() != r.referencedColumns.size())
            why = QStringLiteral("its columns are not recorded whole");
        ForeignKey fk;
        if (why.isEmpty()) {
            for (int i = 0; i < r.columns.size(); ++i) {
                fk.columns << child->column(r.columns[i]);
                fk.parentColumns << parent->column(r.referencedColumns[i]);
            }
            if (fk.columns.contains(QString()) || fk.parentColumns.contains(QString()))
                why = QStringLiteral("it names a column its tables do not have");
        }
        if (why.isEmpty() &&
            std::none_of(parent->indexes.begin(), parent->indexes.end(), [&](const IndexPlan& ix) {
                return ix.unique && sameColumns(ix.columns, fk.parentColumns);
            }))
            why = QStringLiteral("the columns it refers to are not a key or unique index of %1")
                      .arg(parent->name);
        if (!why.isEmpty()) {
            result.notes << QStringLiteral("%1 is not a rule of the copy: %2").arg(what, why);
            continue;
        }
        fk.relationship = r.name;
        fk.parent = parent->name;
        fk.cascadeUpdates = r.cascadeUpdates;
        fk.cascadeDeletes = r.cascadeDeletes;
        child->foreignKeys.push_back(fk);
        ++result.relationships;
    }
}

// CREATE TABLE with its columns, key, checks and foreign keys.
QString createTableSql(const TablePlan& plan) {
    QStringList parts;
    const IndexPlan* pk = plan.primaryKey();
    for (size_t i = 0; i < plan.columns.size(); ++i) {
        const db::ColumnDef& col = plan.columns[i];
        QString d = quoted(col.name) + u' ' + db::declaredType(col);
        if (col.name == plan.inlineAutoNumber) d += QStringLiteral(" PRIMARY KEY AUTOINCREMENT");
        if (col.required) d += QStringLiteral(" NOT NULL");
        if (col.defaultValue)
            d += QStringLiteral(" DEFAULT ") +
                 QString::fromStdString(dialect().literal(*col.defaultValue));
        else if (!plan.defaultSql[i].isEmpty())
            d += QStringLiteral(" DEFAULT (") + plan.defaultSql[i] + u')';
        parts << d;
    }
    if (pk && plan.inlineAutoNumber.isEmpty()) {
        QStringList cols;
        for (const QString& n : pk->columns) cols << quoted(n);
        parts << QStringLiteral("PRIMARY KEY (%1)").arg(cols.join(u", "));
    }
    for (const Check& c : plan.checks)
        parts << QStringLiteral("CONSTRAINT %1 CHECK (%2)").arg(quoted(c.name), c.condition);
    for (const ForeignKey& fk : plan.foreignKeys) {
        QStringList from, to;
        for (const QString& n : fk.columns) from << quoted(n);
        for (const QString& n : fk.parentColumns) to << quoted(n);
        QString clause =
            QStringLiteral("CONSTRAINT %1 FOREIGN KEY (%2) REFERENCES %3 (%4)")
                .arg(quoted(fk.relationship), from.join(u", "), quoted(fk.parent), to.join(u", "));
        if (fk.cascadeUpdates) clause += QStringLiteral(" ON UPDATE CASCADE");
        if (fk.cascadeDeletes) clause += QStringLiteral(" ON DELETE CASCADE");
        parts << clause;
    }
    return QStringLiteral("CREATE TABLE %1 (%2);").arg(quoted(plan.name), parts.join(u", "));
}

// ---- Copying ----

// A statement run once, its rows read as text.
std::vector<QStringList> rowsOf(db::Engine& engine, const QString& sql) {
    const db::StatementPtr st = engine.prepare(sql.toStdString());
    std::vector<QStringList> rows;
    while (st->next()) {
        QStringList row;
        for (int i = 0; i < st->columnCount(); ++i) {
            const db::Cell c = st->cell(i);
            switch (c.type) {
                case db::CellType::Null:
                    row << QString();
                    break;
                case db::CellType::Integer:
                    row << QString::number(c.integer);
                    break;
                case db::CellType::Real:
                    row << QString::number(c.real, 'g', 17);
                    break;
                default:
                    row << QString::fromUtf8(c.data, qsizetype(c.size));
                    break;
            }
        }
        rows.push_back(row);
    }
    return rows;
}

// The halves of UTF-16 surrogate pairs that stand without their other half
// (UCS-2 can keep them, UTF-8, SQLite's text, cannot) replaced by U+FFFD;
// nothing when there are none.
std::optional<QString> withoutLoneSurrogates(const QString& s) {
    std::optional<QString> out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (!c.isSurrogate()) continue;
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (!out) out = s;
        (*out)[i] = QChar(QChar::ReplacementCharacter);
    }
    return out;
}

// Values a copy cannot keep as they are, per column.
struct ValueCounts {
    std::vector<int64_t> notANumber;     // stored as Null
    std::vector<int64_t> loneSurrogate;  // the half stored as U+FFFD
};

// Copies every row of one table; returns the number of rows read.
int64_t copyRows(JetFile& jet, const TablePlan& plan, db::Engine& engine,
                 const ImportOptions& options, ImportObserver* observer, ValueCounts& counts) {
    const JetTable& t = *plan.jet;
    QStringList names, params;
    for (size_t i = 0; i < plan.columns.size(); ++i) {
        names << quoted(plan.columns[i].name);
        params << QStringLiteral("?%1").arg(i + 1);
    }
    const db::StatementPtr st =
        engine.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(quoted(plan.name), names.join(u", "), params.join(u", "))
                           .toStdString());

    engine.beginWrite();
    counts.notANumber.assign(plan.columns.size(), 0);
    counts.loneSurrogate.assign(plan.columns.size(), 0);
    int64_t copied = 0;
    const int64_t every = options.progressEvery > 0 ? options.progressEvery : INT64_MAX;
    try {
        jet.readRows(t, [&](const std::vector<rt::Variant>& values) {
            if (observer && observer->cancelRequested())
                fail(rt::err::DbGeneric,
                     QStringLiteral("The import of '%1' was cancelled.").arg(jet.path()));
            for (size_t i = 0; i < values.size(); ++i) {
                bool nan = false;
                std::optional<QString> replaced;
                if (values[i].type() == rt::VarType::Text)
                    replaced = withoutLoneSurrogates(values[i].asText());
                const QString problem =
                    replaced ? bindValue(*st, int(i + 1), rt::Variant(*replaced), nan)
                             : bindValue(*st, int(i + 1), values[i], nan);
                if (nan) ++counts.notANumber[i];
                if (replaced) ++counts.loneSurrogate[i];
                if (!problem.isEmpty())
                    fail(rt::err::DbGeneric, QStringLiteral("Table '%1', row %2, column '%3': %4")
                                                 .arg(t.name)
                                                 .arg(copied + 1)
                                                 .arg(plan.columns[i].name, problem));
            }
            try {
                st->run();
            } catch (const rt::Error& e) {
                // Only the primary key is checked while rows go in.
                const IndexPlan* pk = plan.primaryKey();
                if (e.number() == rt::err::DbConstraint && pk)
                    fail(rt::err::DbUnrecognised,
                         QStringLiteral("The database '%1' is damaged: table '%2', row %3 repeats "
                                        "the primary key '%4' (%5) of an earlier row or lacks it "
                                        "(%6).")
                             .arg(jet.path(), t.name)
                             .arg(copied + 1)
                             .arg(pk->jetName, pk->columns.join(u", "), e.description()));
                throw rt::Error(
                    e.number(),
                    e.description() +
                        QStringLiteral(" (table '%1', row %2)").arg(t.name).arg(copied + 1));
            }
            st->reset();
            ++copied;
            if (observer && copied % every == 0)
                observer->rowsCopied(t.name, copied, t.storedRowCount);
        });
    } catch (...) {
        engine.rollback();
        throw;
    }
    engine.commit();
    return copied;
}

// The indexes other than the primary key, made once the rows are in. A unique
// index the rows break refuses the file, naming the index.
void createIndexes(db::Engine& engine, const TablePlan& plan, const QString& source) {
    for (const IndexPlan& ix : plan.indexes) {
        if (ix.primaryKey) continue;
        QStringList cols;
        for (int i = 0; i < ix.columns.size(); ++i)
            cols << quoted(ix.columns[i]) +
                        (size_t(i) < ix.descending.size() && ix.descending[size_t(i)]
                             ? QStringLiteral(" DESC")
                             : QString());
        const QString sql = QStringLiteral("CREATE %1INDEX %2 ON %3 (%4);")
                                .arg(ix.unique ? QStringLiteral("UNIQUE ") : QString(),
                                     quoted(ix.name), quoted(plan.name), cols.join(u", "));
        try {
            engine.execNative(sql.toStdString());
        } catch (const rt::Error& e) {
            if (ix.unique && e.number() == rt::err::DbConstraint)
                fail(rt::err::DbUnrecognised,
                     QStringLiteral("The database '%1' is damaged: table '%2' holds rows that "
                                    "break its unique index '%3' (%4 repeat).")
                         .arg(source, plan.jet->name, ix.jetName, ix.columns.join(u", ")));
            throw;
        }
    }
}

int64_t countRows(db::Engine& engine, const QString& table) {
    return rowsOf(engine, QStringLiteral("SELECT count(*) FROM ") + quoted(table))
        .front()
        .front()
        .toLongLong();
}

// AutoNumber: numbers already given are never given again.
void keepAutoNumbering(db::Engine& engine, const TablePlan& plan, Names& names) {
    const JetTable& t = *plan.jet;
    const QString last = QString::number(t.lastAutoNumber);
    if (!plan.inlineAutoNumber.isEmpty() && t.lastAutoNumber > 0) {
        const QString lit = textLiteral(plan.name);
        engine.execNative(QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, %1) WHERE "
                                         "name = %2;"
                                         "INSERT INTO sqlite_sequence (name, seq) SELECT %2, %1 "
                                         "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE "
                                         "name = %2);")
                              .arg(last, lit)
                              .toStdString());
    }
    for (const QString& column : plan.triggerAutoNumbers) {
        const QString c = quoted(column), tab = quoted(plan.name);
        engine.execNative(
            QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 FOR EACH ROW WHEN NEW.%3 IS NULL "
                           "BEGIN UPDATE %2 SET %3 = (SELECT max(ifnull(max(%3), 0), %4) + 1 FROM "
                           "%2) WHERE %5 = NEW.%5; END;")
                .arg(quoted(names.claim(plan.name + u'.' + column + QStringLiteral(".AutoNumber"))),
                     tab, c, last, plan.rowid)
                .toStdString());
    }
}

std::shared_ptr<db::Connection> openCopy(const QString& path, const QString& password) {
    auto c = db::Connection::create();
    c->setConnectionString(connectionString(path, password));
    c->Open();
    return c;
}

// ---- Saved queries ----

// Saved select queries become views; every other query is kept as text.
void carryQueries(const std::vector<JetQuery>& queries, db::Engine& engine, Names& names,
                  FileResult& result) {
    struct Kept {
        const JetQuery* q;
        QString reason;
    };
    std::vector<Kept> kept;
    std::vector<const JetQuery*> pending;
    for (const JetQuery& q : queries) {
        QString reason;
        if (!q.problem.isEmpty())
            reason = q.problem;
        else if (!q.parameters.isEmpty())
            reason = QStringLiteral("it asks for parameters when it runs");
        else if (q.kind == JetQuery::Kind::Select || q.kind == JetQuery::Kind::Union)
            pending.push_back(&q);
        else if (q.kind == JetQuery::Kind::Crosstab)
            reason = QStringLiteral("a crosstab query cannot be a view");
        else if (q.kind == JetQuery::Kind::Unknown)
            reason = QStringLiteral("its kind is unknown");
        else
            reason = QStringLiteral("an action query changes data when it runs; it is not a view");
        if (!reason.isEmpty()) kept.push_back({&q, reason});
    }
    // A query may read another: those that fail are tried again while others
    // succeed.
    std::map<const JetQuery*, QString> why;
    db::jet::TranslateOptions opt;
    opt.inlineLiterals = true;
    opt.columnKind = [&engine](const QString& table, const QString& column) {
        return engine.columnKind(table, column);
    };
    for (bool progress = true; progress && !pending.empty();) {
        progress = false;
        for (auto it = pending.begin(); it != pending.end();) {
            const JetQuery& q = **it;
            QString name = q.name;
            try {
                const db::jet::Translation t = db::jet::translate(q.sql, dialect(), opt);
                if (t.kind != db::jet::StatementKind::Select)
                    fail(rt::err::DbSyntax, QStringLiteral("it is not a select statement"));
                if (reservedTableName(name)) name = QStringLiteral("Jet_") + name;
                const QString view = names.claim(name);
                engine.execNative(QStringLiteral("CREATE VIEW %1 AS %2;")
                                      .arg(quoted(view), QString::fromStdString(t.sql))
                                      .toStdString());
                try {
                    rowsOf(engine, QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(view)));
                } catch (...) {
                    engine.execNative(
                        QStringLiteral("DROP VIEW %1;").arg(quoted(view)).toStdString());
                    throw;
                }
                if (view != q.name)
                    result.warnings << QStringLiteral(
                                           "the query %1 is the view %2 in the copy (the "
                                           "name %1 is reserved there)")
                                           .arg(q.name, view);
                ++result.views;
                it = pending.erase(it);
                progress = true;
            } catch (const rt::Error& e) {
                why[&q] = e.description();
                ++it;
            }
        }
    }
    for (const JetQuery* q : pending) kept.push_back({q, why[q]});
    if (kept.empty()) return;

    engine.execNative(
        QStringLiteral("CREATE TABLE %1 (\"Name\" TEXT(64) COLLATE JETTEXT PRIMARY KEY, "
                       "\"Kind\" TEXT(20), \"SQL\" LONGTEXT, \"Reason\" LONGTEXT);")
            .arg(quoted(QLatin1String(kSavedQueriesTable)))
            .toStdString());
    QString sql;
    for (const Kept& k : kept) {
        sql += QStringLiteral("INSERT INTO %1 VALUES (%2, %3, %4, %5);")
                   .arg(quoted(QLatin1String(kSavedQueriesTable)), textLiteral(k.q->name),
                        textLiteral(queryKindText(k.q->kind)), textLiteral(k.q->sql),
                        textLiteral(k.reason));
        result.notes << QStringLiteral("query %1 (%2) is kept as text in %3: %4")
                            .arg(k.q->name, queryKindText(k.q->kind),
                                 QLatin1String(kSavedQueriesTable), k.reason);
        ++result.keptQueries;
    }
    engine.execNative(sql.toStdString());
}

// ---- Rules ----

// Keeps the message of every check by its name, for the database layer to
// report when a change breaks it.
void keepCheckMessages(db::Engine& engine, const std::vector<TablePlan>& plans) {
    QString sql;
    for (const TablePlan& p : plans)
        for (const Check& c : p.checks)
            sql += QStringLiteral("INSERT INTO %1 VALUES (%2, %3);")
                       .arg(quoted(QLatin1String(kConstraintTextTable)), textLiteral(c.name),
                            textLiteral(c.message));
    if (sql.isEmpty()) return;
    engine.execNative(QStringLiteral("CREATE TABLE %1 (\"Name\" TEXT PRIMARY KEY, \"Message\" TEXT "
                                     "NOT NULL);")
                          .arg(quoted(QLatin1String(kConstraintTextTable)))
                          .toStdString() +
                      sql.toStdString());
}

// Rows that break a rule or a relationship stay as they are (the original
// holds them too); each rule they break is a warning.
void reportBrokenRules(db::Engine& engine, const std::vector<TablePlan>& plans,
                       FileResult& result) {
    for (const TablePlan& p : plans) {
        for (const Check& c : p.checks) {
            const int64_t n =
                rowsOf(engine, QStringLiteral("SELECT count(*) FROM %1 WHERE NOT (%2)")
                                   .arg(quoted(p.name), c.condition))
                    .front()
                    .front()
                    .toLongLong();
            if (n > 0)
                result.warnings << QStringLiteral(
                                       "table %1: %2 rows break the rule \"%3\" (they are "
                                       "kept as they are; the rule holds for new and "
                                       "changed rows)")
                                       .arg(p.name, number(n), c.message);
        }
        if (p.foreignKeys.empty()) continue;
        // Which foreign key each orphan breaks: foreign_key_list gives each
        // key's number with its parent table and columns.
        std::map<int, const ForeignKey*> byId;
        std::map<int, QStringList> columnsOf;
        std::map<int, QString> parentOf;
        for (const QStringList& row :
             rowsOf(engine, QStringLiteral("PRAGMA foreign_key_list(%1)").arg(quoted(p.name)))) {
            columnsOf[row.value(0).toInt()] << row.value(3);
            parentOf[row.value(0).toInt()] = row.value(2);
        }
        for (const auto& [id, columns] : columnsOf)
            for (const ForeignKey& fk : p.foreignKeys)
                if (fk.parent.compare(parentOf[id], Qt::CaseInsensitive) == 0 &&
                    sameColumns(fk.columns, columns))
                    byId[id] = &fk;
        std::map<int, int64_t> orphans;
        for (const QStringList& row :
             rowsOf(engine, QStringLiteral("PRAGMA foreign_key_check(%1)").arg(quoted(p.name))))
            ++orphans[row.value(3).toInt()];
        for (const auto& [id, n] : orphans) {
            const ForeignKey* fk = byId.count(id) ? byId[id] : &p.foreignKeys.front();
            result.warnings << QStringLiteral(
                                   "relationship %1: %2 rows of %3 refer to rows of %4 "
                                   "that do not exist (they are kept as they are; the "
                                   "relationship holds for new and changed rows)")
                                   .arg(fk->relationship, number(n), p.name, fk->parent);
        }
    }
}

}  // namespace

db::ColumnDef columnDefFor(const JetTable& table, const JetColumn& c, QStringList* notes) {
    const std::optional<JetType> type = jetTypeOf(c);
    if (!type)
        fail(rt::err::DbGeneric,
             QStringLiteral("Column '%1' of table '%2' has a type (code %3) that the importer does "
                            "not convert.")
                 .arg(c.name, table.name)
                 .arg(c.type));
    db::ColumnDef def;
    def.name = c.name;
    def.type = *type;
    switch (*type) {
        case JetType::Text:
            def.size = std::max(1, c.textLength ? c.textLength : c.size / 2);
            break;
        case JetType::Binary:
            def.size = std::max(1, c.size);
            break;
        case JetType::Decimal:
            def.precision = c.precision;
            def.scale = c.scale;
            break;
        default:
            break;
    }
    // Required becomes a check of the table (see planTable); only key columns
    // are NOT NULL.
    def.required = false;
    if (!c.defaultValue.trimmed().isEmpty()) {
        def.defaultValue = literalDefault(c.defaultValue, *type);
        if (!def.defaultValue && !defaultExpression(c.defaultValue, *type) && notes)
            *notes << QStringLiteral(
                          "table %1, column %2: the default value %3 is neither a plain value "
                          "nor Date(), Now(), Time() or GenGUID(); it was left out")
                          .arg(table.name, c.name, c.defaultValue);
    }
    // Yes/No never holds Null in Jet: the copy starts new rows at No.
    if (*type == JetType::YesNo && !def.defaultValue) def.defaultValue = rt::Variant(false);
    return def;
}

FileResult importFile(const QString& source, const QString& target, const ImportOptions& options,
                      ImportObserver* observer) {
    QElapsedTimer timer;
    timer.start();
    FileResult result;
    result.source = source;
    result.target = target;
    if (observer) observer->fileStarted(source, target);
    try {
        // 1. The source, a target that must not exist, and what stopped
        //    imports left in the folder.
        JetFile::OpenOptions openOptions;
        openOptions.catalogTimeoutMs = options.catalogTimeoutMs;
        std::unique_ptr<JetFile> jet = JetFile::open(source, options.sourcePassword, openOptions);
        const QFileInfo ti(target);
        if (ti.exists() || ti.isSymLink())
            fail(rt::err::DbGeneric,
                 QStringLiteral("'%1' already exists; the importer never overwrites a file.")
                     .arg(target));
        const QDir folder = ti.absoluteDir();
        if (!folder.exists())
            fail(rt::err::DbGeneric,
                 QStringLiteral("The folder '%1' does not exist.").arg(folder.path()));
        removeStaleCopies(folder, &result.warnings);
        // Jet keeps a lock file next to a database that is open somewhere.
        const QFileInfo si(source);
        for (const char* lockSuffix : {".ldb", ".LDB"})
            if (QFileInfo::exists(
                    si.dir().filePath(si.completeBaseName() + QLatin1String(lockSuffix)))) {
                result.warnings << QStringLiteral(
                    "a lock file (.ldb) lies next to it: the database may have been in use while "
                    "it was read");
                break;
            }
        for (const QString& line : jet->diagnostics())
            result.warnings << QStringLiteral("the reading library said: %1").arg(line);
        for (const QString& other : jet->otherObjects())
            result.notes << other +
                                QStringLiteral(" was not converted (only tables and queries are)");

        // 2. The plan: names, columns, keys, rules and relationships.
        std::vector<JetTable> tables;
        for (const QString& name : jet->tableNames()) tables.push_back(jet->readTable(name));
        Names names;
        for (const char* own : {"MSysPassword", kConstraintTextTable, kSavedQueriesTable})
            names.claim(QString::fromLatin1(own));
        std::vector<TablePlan> plans;
        for (const JetTable& t : tables) {
            QString name = t.name;
            if (reservedTableName(name)) name = QStringLiteral("Jet_") + name;
            name = names.claim(name);
            if (name != t.name)
                result.warnings << QStringLiteral(
                                       "table %1 is %2 in the copy (the name %1 is "
                                       "reserved there)")
                                       .arg(t.name, name);
            plans.push_back(planTable(t, name, names, result));
        }
        planRelationships(jet->relationships(), plans, result);
        const std::vector<JetQuery> queries = jet->queries();

        // 3. The temporary copy with the verifier of the target password.
        UnfinishedCopy copy(folder, ti.fileName());
        db::createDatabaseFile(copy.path(), options.targetPassword);
        copy.lock();
        std::vector<std::pair<QString, int64_t>> counts;
        {
            auto conn = openCopy(copy.path(), options.targetPassword);
            db::Engine& engine = conn->engine();
            // The copy is not visible until complete: no journal on disk and no
            // syncing while it is written (it is synced once, at the end).
            // Rows go in as the original holds them, so relationships and
            // checks are looked at once all are in.
            engine.execNative(
                "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536;"
                "PRAGMA foreign_keys=OFF; PRAGMA ignore_check_constraints=ON;");
            keepCheckMessages(engine, plans);

            // 4. Table by table.
            for (const TablePlan& plan : plans) {
                const JetTable& t = *plan.jet;
                if (observer) observer->tableStarted(plan.name, t.storedRowCount);
                engine.execNative(createTableSql(plan).toStdString());
                ValueCounts odd;
                const int64_t rows = copyRows(*jet, plan, engine, options, observer, odd);
                for (size_t i = 0; i < plan.columns.size(); ++i) {
                    if (odd.notANumber[i] > 0)
                        result.warnings
                            << QStringLiteral(
                                   "table %1, column %2: %3 values that are "
                                   "not a number (NaN) were stored as Null")
                                   .arg(plan.name, plan.columns[i].name, number(odd.notANumber[i]));
                    if (odd.loneSurrogate[i] > 0)
                        result.warnings << QStringLiteral(
                                               "table %1, column %2: %3 texts hold half of a "
                                               "Unicode surrogate pair without its other half, "
                                               "which the copy keeps as U+FFFD")
                                               .arg(plan.name, plan.columns[i].name,
                                                    number(odd.loneSurrogate[i]));
                }
                if (rows != t.storedRowCount && options.strictCounts)
                    fail(rt::err::DbUnrecognised,
                         QStringLiteral("The database '%1' is damaged: table '%2' records %3 "
                                        "rows, but %4 could be read.")
                             .arg(source, t.name)
                             .arg(t.storedRowCount)
                             .arg(rows));
                if (rows != t.storedRowCount)
                    result.warnings << QStringLiteral(
                                           "table %1: %2 rows were read, but the file records "
                                           "%3 (every row stored was copied; a file that was "
                                           "not closed properly records a wrong count; "
                                           "--strict-counts refuses such a file)")
                                           .arg(plan.name, number(rows), number(t.storedRowCount));
                createIndexes(engine, plan, source);
                keepAutoNumbering(engine, plan, names);
                counts.emplace_back(plan.name, rows);
                TableResult tr{plan.name, rows, int(plan.columns.size()), int(plan.indexes.size())};
                result.tables.push_back(tr);
                result.rows += rows;
                if (observer) observer->tableFinished(tr);
            }
            for (const TablePlan& p : plans) result.rules += int(p.checks.size());

            // 5. Saved queries, and the rows that break a rule.
            carryQueries(queries, engine, names, result);
            engine.execNative("PRAGMA ignore_check_constraints=OFF;");
            reportBrokenRules(engine, plans, result);
            conn->Close();
        }
        // 6. Read back through the database layer as the library opens it.
        {
            auto conn = openCopy(copy.path(), options.targetPassword);
            for (const auto& [name, rows] : counts) {
                const int64_t stored = countRows(conn->engine(), name);
                if (stored != rows)
                    fail(rt::err::DbGeneric,
                         QStringLiteral("The copy of '%1' is incomplete: table '%2' holds %3 rows "
                                        "instead of %4.")
                             .arg(source, name)
                             .arg(stored)
                             .arg(rows));
            }
            conn->Close();
        }
        for (const QString& w : jet->warnings()) result.warnings << w;
        copy.publish(target);
        result.ok = true;
    } catch (const rt::Error& e) {
        result.errorNumber = e.number();
        result.error =
            e.description().contains(source)
                ? e.description()
                : QStringLiteral("'%1' was not imported: %2").arg(source, e.description());
        result.seconds = timer.elapsed() / 1000.0;
        if (observer) observer->fileFinished(result);
        throw rt::Error(result.errorNumber, result.error);
    }
    result.seconds = timer.elapsed() / 1000.0;
    if (observer) observer->fileFinished(result);
    return result;
}

std::vector<FileResult> importPath(const QString& source, const QString& target,
                                   const ImportOptions& options, ImportObserver* observer) {
    const QFileInfo si(source);
    std::vector<std::pair<QString, QString>> jobs;
    if (si.isDir()) {
        const QFileInfo ti(target);
        if (ti.exists() && !ti.isDir())
            fail(rt::err::DbGeneric,
                 QStringLiteral("'%1' is a file; a folder is imported into a folder.").arg(target));
        if (!ti.exists() && !QDir().mkpath(target))
            fail(rt::err::DbGeneric, QStringLiteral("The folder '%1' cannot be made.").arg(target));
        const QDir from(source), to(target);
        const QFileInfoList files =
            from.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo& f : files)
            if (f.fileName().endsWith(QStringLiteral(".mdb"), Qt::CaseInsensitive))
                jobs.emplace_back(f.filePath(), to.filePath(f.fileName()));
    } else if (si.isFile()) {
        const QFileInfo ti(target);
        jobs.emplace_back(source, ti.isDir() ? QDir(target).filePath(si.fileName()) : target);
    } else {
        fail(rt::err::DbGeneric, QStringLiteral("Could not find file or folder '%1'.").arg(source));
    }
    std::vector<FileResult> results;
    for (const auto& [from, to] : jobs) {
        try {
            results.push_back(importFile(from, to, options, observer));
        } catch (const rt::Error& e) {
            FileResult r;
            r.source = from;
            r.target = to;
            r.errorNumber = e.number();
            r.error = e.description();
            results.push_back(r);
        }
    }
    return results;
}

void removeUnfinishedCopy() noexcept {
    if (!gUnfinishedSet) return;
    if (gUnfinished[0][0]) ::unlink(gUnfinished[0]);
    if (gUnfinished[1][0]) ::unlink(gUnfinished[1]);
}

}  // namespace jetimport

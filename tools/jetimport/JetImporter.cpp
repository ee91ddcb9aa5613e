// The Jet 4 to SQLite conversion (see JetImporter.h).
//
// Values are bound the way the database layer stores them, so that they read
// back with the same kind and value: dates as "yyyy-MM-dd HH:mm:ss[.zzz]",
// Yes/No as -1/0, Currency as REAL (checked to read back exactly, else as a
// whole INTEGER), Decimal as its plain text (every digit and the scale), text
// as UTF-8, binary data as blobs.
#include "tools/jetimport/JetImporter.h"

#include "platform/db/Connection.h"
#include "platform/db/jet/Translator.h"
#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace jetimport {

namespace {

using db::JetType;

[[noreturn]] void fail(int32_t number, const QString& text) { rt::raise(number, text); }

QString quoted(const QString& name) {
    QString q = name;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString connectionString(const QString& path, const QString& password) {
    return db::jetConnectionString(path, password);
}

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

// Owns the temporary copy: removes it on destruction unless it was published.
class UnfinishedCopy {
  public:
    UnfinishedCopy(const QDir& folder, const QString& finalName) {
        for (int n = 0;; ++n) {
            path_ = folder.filePath(QStringLiteral(".%1.importing-%2-%3")
                                        .arg(finalName)
                                        .arg(QCoreApplication::applicationPid())
                                        .arg(n));
            if (!QFileInfo::exists(path_)) break;
        }
        setUnfinished(path_);
    }
    ~UnfinishedCopy() {
        if (!published_) {
            QFile::remove(path_);
            QFile::remove(path_ + QStringLiteral("-journal"));
        }
        clearUnfinished();
    }
    UnfinishedCopy(const UnfinishedCopy&) = delete;
    UnfinishedCopy& operator=(const UnfinishedCopy&) = delete;

    const QString& path() const { return path_; }

    // Makes the copy durable and gives it its final name without replacing a
    // file of that name. Throws rt::Error.
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

// Binds one value as the database layer stores it. Returns what is wrong when
// the value cannot be stored exactly, an empty text otherwise.
QString bindValue(db::Statement& st, int i, const rt::Variant& v) {
    using rt::VarType;
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
            st.bindReal(i, double(v.asSingle()));
            break;
        case VarType::Double:
            if (std::isnan(v.asDouble()))
                return QStringLiteral("a Double that is not a number cannot be stored");
            st.bindReal(i, v.asDouble());
            break;
        case VarType::Currency: {
            const int64_t scaled = v.asCurrency().scaled;
            if (auto d = currencyAsReal(scaled)) {
                st.bindReal(i, *d);
            } else if (scaled % rt::Currency::kScale == 0) {
                st.bindInteger(i, scaled / rt::Currency::kScale);
            } else {
                return QStringLiteral("the amount %1 cannot be stored exactly")
                    .arg(rt::Decimal{scaled, 4}.toPlainText());
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

struct TablePlan {
    db::TableDef def;
    QStringList columns;             // names, in the table's order
    QString inlineAutoNumber;        // the AutoNumber column that is the row id, if any
    QStringList triggerAutoNumbers;  // other AutoNumber columns
    QString rowid;                   // how the row id can be named in this table
};

TablePlan planTable(const JetTable& t, QStringList* notes) {
    TablePlan plan;
    plan.def.name = t.name;
    for (const JetColumn& c : t.columns) {
        db::ColumnDef def = columnDefFor(t, c, notes);
        plan.columns << c.name;
        plan.def.columns.push_back(def);
    }
    // Indexes: the primary key first, then unique ones, then the rest; one
    // index per column list.
    std::vector<const JetIndex*> order;
    for (int pass = 0; pass < 4; ++pass)
        for (const JetIndex& x : t.indexes) {
            const int rank = x.primaryKey ? 0 : x.unique ? 1 : !x.foreignKey ? 2 : 3;
            if (rank == pass) order.push_back(&x);
        }
    for (const JetIndex* x : order) {
        db::IndexDef ix;
        ix.name = x->name;
        for (int c : x->columns) ix.columns << t.columns[size_t(c)].name;
        ix.primaryKey = x->primaryKey;
        ix.unique = x->unique || x->primaryKey;
        bool duplicate = false;
        for (const db::IndexDef& have : plan.def.indexes)
            if (have.columns.join(u'\n').compare(ix.columns.join(u'\n'), Qt::CaseInsensitive) == 0)
                duplicate = true;
        if (duplicate ||
            (ix.primaryKey && std::any_of(plan.def.indexes.begin(), plan.def.indexes.end(),
                                          [](auto& i) { return i.primaryKey; })))
            continue;
        if (ix.primaryKey)
            for (db::ColumnDef& def : plan.def.columns)
                if (ix.columns.contains(def.name, Qt::CaseInsensitive)) def.required = true;
        plan.def.indexes.push_back(ix);
    }
    // Schema makes a single-column AutoNumber key the row id; other AutoNumber
    // columns are numbered by a trigger.
    const db::IndexDef* pk = nullptr;
    for (const db::IndexDef& ix : plan.def.indexes)
        if (ix.primaryKey) pk = &ix;
    for (db::ColumnDef& def : plan.def.columns) {
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
        const QString name = QString::fromLatin1(candidate);
        if (std::none_of(plan.def.columns.begin(), plan.def.columns.end(), [&](const auto& c) {
                return c.name.compare(name, Qt::CaseInsensitive) == 0;
            })) {
            plan.rowid = name;
            break;
        }
    }
    if (plan.rowid.isEmpty() && !plan.triggerAutoNumbers.isEmpty())
        fail(rt::err::DbGeneric,
             QStringLiteral("Table '%1' has columns named rowid, _rowid_ and oid; its AutoNumber "
                            "column cannot be numbered in the copy.")
                 .arg(t.name));
    return plan;
}

// Copies every row of one table; returns the number of rows read.
int64_t copyRows(JetFile& jet, const JetTable& t, const TablePlan& plan, db::Engine& engine,
                 const ImportOptions& options, ImportObserver* observer) {
    QStringList names, params;
    for (int i = 0; i < plan.columns.size(); ++i) {
        names << quoted(plan.columns[i]);
        params << QStringLiteral("?%1").arg(i + 1);
    }
    const std::string sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(quoted(t.name), names.join(u", "), params.join(u", "))
                                .toStdString();
    const db::StatementPtr st = engine.prepare(sql);

    engine.execNative("BEGIN IMMEDIATE");
    int64_t copied = 0;
    const int64_t every = options.progressEvery > 0 ? options.progressEvery : INT64_MAX;
    try {
        jet.readRows(t, [&](const std::vector<rt::Variant>& values) {
            if (observer && observer->cancelRequested())
                fail(rt::err::DbGeneric,
                     QStringLiteral("The import of '%1' was cancelled.").arg(jet.path()));
            for (size_t i = 0; i < values.size(); ++i) {
                const QString problem = bindValue(*st, int(i + 1), values[i]);
                if (!problem.isEmpty())
                    fail(rt::err::DbGeneric, QStringLiteral("Table '%1', row %2, column '%3': %4")
                                                 .arg(t.name)
                                                 .arg(copied + 1)
                                                 .arg(plan.columns[int(i)], problem));
            }
            try {
                st->run();
            } catch (const rt::Error& e) {
                throw rt::Error(e.number(), e.description() +
                                                QStringLiteral(" (table '%1', row %2)")
                                                    .arg(t.name)
                                                    .arg(copied + 1));
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
    engine.execNative("COMMIT");
    return copied;
}

int64_t countRows(db::Engine& engine, const QString& table) {
    const db::StatementPtr st =
        engine.prepare((QStringLiteral("SELECT count(*) FROM ") + quoted(table)).toStdString());
    st->setErrorContext(table);
    if (!st->next())
        fail(rt::err::DbGeneric, QStringLiteral("The rows of '%1' cannot be counted.").arg(table));
    return st->cell(0).integer;
}

// AutoNumber: numbers already given are never given again.
void keepAutoNumbering(db::Engine& engine, const JetTable& t, const TablePlan& plan) {
    const QString last = QString::number(t.lastAutoNumber);
    if (!plan.inlineAutoNumber.isEmpty() && t.lastAutoNumber > 0) {
        const QString name = t.name;
        QString lit = name;
        lit.replace(u'\'', QStringLiteral("''"));
        engine.execNative(QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, %1) WHERE "
                                         "name = '%2';"
                                         "INSERT INTO sqlite_sequence (name, seq) SELECT '%2', %1 "
                                         "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE "
                                         "name = '%2');")
                              .arg(last, lit)
                              .toStdString());
    }
    for (const QString& column : plan.triggerAutoNumbers) {
        const QString c = quoted(column), tab = quoted(t.name);
        engine.execNative(
            QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 FOR EACH ROW WHEN NEW.%3 IS NULL "
                           "BEGIN UPDATE %2 SET %3 = (SELECT max(ifnull(max(%3), 0), %4) + 1 FROM "
                           "%2) WHERE %5 = NEW.%5; END;")
                .arg(quoted(t.name + u'_' + column + QStringLiteral("_AutoNumber")), tab, c, last,
                     plan.rowid)
                .toStdString());
    }
}

std::shared_ptr<db::Connection> openCopy(const QString& path, const QString& password) {
    auto c = db::Connection::create();
    c->setConnectionString(connectionString(path, password));
    c->Open();
    return c;
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
            def.size = std::max(1, c.size / 2);
            break;  // UCS-2: two bytes a character
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
    // Yes/No never holds Null in Jet, so it is required there too; the copy
    // keeps it optional (Null binds as No in Jet) but starts new rows at No.
    def.required = c.required && *type != JetType::YesNo;
    if (!c.defaultValue.trimmed().isEmpty()) {
        def.defaultValue = literalDefault(c.defaultValue, *type);
        if (!def.defaultValue && notes)
            *notes << QStringLiteral(
                          "table %1, column %2: the default value %3 is not a plain "
                          "value and was left out")
                          .arg(table.name, c.name, c.defaultValue);
    }
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
        // 1. The source, and a target that must not exist.
        std::unique_ptr<JetFile> jet = JetFile::open(source, options.sourcePassword);
        const QFileInfo ti(target);
        if (ti.exists() || ti.isSymLink())
            fail(rt::err::DbGeneric,
                 QStringLiteral("'%1' already exists; the importer never overwrites a file.")
                     .arg(target));
        const QDir folder = ti.absoluteDir();
        if (!folder.exists())
            fail(rt::err::DbGeneric,
                 QStringLiteral("The folder '%1' does not exist.").arg(folder.path()));
        // Jet keeps a lock file next to a database that is open somewhere.
        const QFileInfo si(source);
        if (QFileInfo::exists(si.dir().filePath(si.completeBaseName() + QStringLiteral(".ldb"))))
            result.notes << QStringLiteral(
                "a lock file (.ldb) lies next to it: the database may "
                "have been in use while it was read");
        for (const QString& other : jet->otherObjects())
            result.notes << other + QStringLiteral(" was not converted (only tables are)");

        // 2. The temporary copy with the verifier of the target password.
        UnfinishedCopy copy(folder, ti.fileName());
        db::createDatabaseFile(copy.path(), options.targetPassword);
        std::vector<std::pair<QString, int64_t>> counts;
        {
            auto conn = openCopy(copy.path(), options.targetPassword);
            db::Engine& engine = conn->engine();
            // The copy is not visible until complete: no journal on disk and no
            // syncing while it is written (it is synced once, at the end).
            engine.execNative(
                "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536;");

            // 3. Table by table.
            for (const QString& name : jet->tableNames()) {
                const JetTable t = jet->readTable(name);
                if (observer) observer->tableStarted(name, t.storedRowCount);
                const TablePlan plan = planTable(t, &result.notes);
                db::createTable(*conn, plan.def);
                const int64_t rows = copyRows(*jet, t, plan, engine, options, observer);
                if (rows != t.storedRowCount && !options.checkRecordedRowCounts)
                    result.notes << QStringLiteral(
                                        "table %1: %2 rows were read; the file "
                                        "records %3")
                                        .arg(name)
                                        .arg(rows)
                                        .arg(t.storedRowCount);
                else if (rows != t.storedRowCount)
                    fail(rt::err::DbUnrecognised,
                         QStringLiteral("The database '%1' is damaged: table '%2' records %3 "
                                        "rows, but %4 could be read.")
                             .arg(source, name)
                             .arg(t.storedRowCount)
                             .arg(rows));
                keepAutoNumbering(engine, t, plan);
                counts.emplace_back(name, rows);
                TableResult tr{name, rows, int(plan.def.columns.size()),
                               int(plan.def.indexes.size())};
                result.tables.push_back(tr);
                result.rows += rows;
                if (observer) observer->tableFinished(tr);
            }
            conn->Close();
        }
        // 4. Read back through the database layer as the library opens it.
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

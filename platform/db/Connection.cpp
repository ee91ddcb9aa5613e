// Connection: the connection string, opening and closing a database file.
#include "platform/db/Connection.h"

#include "platform/db/Engine.h"
#include "platform/db/ResultSpool.h"
#include "platform/db/jet/Translator.h"
#include "platform/runtime/Error.h"

#include <mutex>

namespace db {

namespace {
const rt::SystemClock& systemClock() {
    static const rt::SystemClock clock;
    return clock;
}
}  // namespace

QString ConnectionParts::localPath() const {
    QString p = dataSource;
    p.replace(u'\\', u'/');
    return p;
}

ConnectionParts parseConnectionString(const QString& text) {
    ConnectionParts parts;
    bool haveSource = false;
    // key=value pairs separated by ';'; a value may be quoted with " or '.
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        qsizetype eq = text.indexOf(u'=', i);
        qsizetype semi = text.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            QString stray = text.mid(i, semi < 0 ? -1 : semi - i).trimmed();
            if (!stray.isEmpty())
                rt::raise(rt::err::DbGeneric,
                          QStringLiteral("The connection string is not valid near \"%1\".")
                              .arg(stray));
            if (semi < 0) break;
            i = semi + 1;
            continue;
        }
        QString key = text.mid(i, eq - i).trimmed().toLower();
        qsizetype v = eq + 1;
        while (v < n && text[v] == u' ') ++v;
        QString value;
        if (v < n && (text[v] == u'"' || text[v] == u'\'')) {
            // Quoted: up to the closing quote; a doubled quote is one quote.
            const QChar q = text[v];
            qsizetype k = v + 1;
            bool closed = false;
            while (k < n) {
                if (text[k] == q) {
                    if (k + 1 < n && text[k + 1] == q) {
                        value += q;
                        k += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                value += text[k++];
            }
            if (!closed)
                rt::raise(rt::err::DbGeneric,
                          QStringLiteral("The connection string is not valid: a quoted value "
                                         "is not closed."));
            qsizetype next = text.indexOf(u';', k + 1);
            if (!text.mid(k + 1, next < 0 ? -1 : next - k - 1).trimmed().isEmpty())
                rt::raise(rt::err::DbGeneric,
                          QStringLiteral("The connection string is not valid: text follows a "
                                         "quoted value."));
            i = next < 0 ? n : next + 1;
        } else {
            qsizetype end = text.indexOf(u';', v);
            if (end < 0) end = n;
            value = text.mid(v, end - v).trimmed();
            i = end + 1;
        }
        if (key == u"provider") {
            parts.provider = value;
        } else if (key == u"data source") {
            parts.dataSource = value;
            haveSource = true;
        } else if (key == u"jet oledb:database password" || key == u"password" || key == u"pwd") {
            parts.password = value;
        } else if (key == u"lock wait") {
            bool ok = false;
            parts.lockWaitMs = value.toInt(&ok);
            if (!ok || parts.lockWaitMs < 0)
                rt::raise(rt::err::DbGeneric,
                          QStringLiteral("The connection string's Lock Wait must be a number of "
                                         "milliseconds, not \"%1\".")
                              .arg(value));
        }
    }
    if (parts.provider.compare(QStringLiteral("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) != 0)
        rt::raise(rt::err::DbBadProvider,
                  parts.provider.isEmpty()
                      ? QStringLiteral("The connection string names no provider; this layer "
                                       "opens \"Provider=Microsoft.Jet.OLEDB.4.0\" only.")
                      : QStringLiteral("Provider cannot be found: \"%1\". This layer opens "
                                       "\"Microsoft.Jet.OLEDB.4.0\" databases only.")
                            .arg(parts.provider));
    if (!haveSource || parts.dataSource.isEmpty())
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The connection string names no Data Source."));
    return parts;
}

QString connectionStringValue(const QString& value) {
    const bool plain = !value.contains(u';') && !value.contains(u'"') && !value.contains(u'\'') &&
                       !value.contains(u'=') && value.trimmed() == value;
    if (plain) return value;
    QString q = value;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString jetConnectionString(const QString& dataSource, const QString& password) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
           connectionStringValue(dataSource) +
           QStringLiteral(";Persist Security Info=False;Jet OLEDB:Database Password=") +
           connectionStringValue(password);
}

rt::Error missingTableError(const QString& name) {
    return rt::Error(rt::err::DbNoSuchTable,
                     QStringLiteral("The database engine cannot find the input table or query "
                                    "'%1'. Make sure it exists and that its name is spelled "
                                    "correctly.")
                         .arg(name));
}

std::shared_ptr<Connection> Connection::create(const rt::RegionalSettings* settings,
                                               const rt::Clock* clock) {
    return std::shared_ptr<Connection>(new Connection(settings, clock));
}

Connection::Connection(const rt::RegionalSettings* settings, const rt::Clock* clock)
    : settings_(settings ? settings : &rt::RegionalSettings::process()),
      clock_(clock ? clock : &systemClock()) {}

Connection::~Connection() = default;

void Connection::setConnectionString(const QString& text) {
    if (engine_)
        rt::raise(rt::err::DbObjectOpen,
                  QStringLiteral("Connection: operation is not allowed when the object is open."));
    connectionString_ = text;
}

void Connection::Open(const QString&, const QString&, int32_t) {
    if (engine_)
        rt::raise(rt::err::DbObjectOpen,
                  QStringLiteral("Connection: operation is not allowed when the object is open."));
    ConnectionParts parts = parseConnectionString(connectionString_);
    // Results of a program that crashed left their copies behind: the first
    // database opened by a process removes those whose owner no longer runs.
    static std::once_flag staleSpools;
    std::call_once(staleSpools, [] { removeStaleSpoolFiles(); });
    engine_ = openEngine(parts.localPath(), parts.password, settings_, clock_, parts.lockWaitMs);
}

void Connection::Close() {
    if (!engine_)
        rt::raise(rt::err::DbObjectClosed,
                  QStringLiteral("Connection: operation is not allowed when the object is closed."));
    engine_.reset();
}

std::shared_ptr<Engine> Connection::sharedEngine() {
    engine();
    return engine_;
}

int32_t Connection::State() const { return engine_ ? adStateOpen : adStateClosed; }

Engine& Connection::engine() {
    if (!engine_)
        rt::raise(rt::err::DbObjectClosed,
                  QStringLiteral("Connection: operation is not allowed when the object is closed."));
    return *engine_;
}

int64_t Connection::Execute(const QString& jetSql) {
    Engine& e = engine();
    auto tr = e.translate(jetSql, false);
    const jet::Translation& t = *tr;
    StatementPtr st = e.prepare(t.sql);
    for (size_t i = 0; i < t.params.size(); ++i) st->bind(int(i + 1), t.params[i]);
    st->run();
    return e.changes();
}

}  // namespace db

// Link files: reading, checking and writing.
#include "platform/db/pg/LinkFile.h"

#include "platform/runtime/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace db::pg {

namespace {

// The libpq settings a link may carry.
constexpr std::array<const char*, 12> kAllowed = {
    "host",    "hostaddr",    "port",     "dbname",          "user",
    "sslmode", "sslrootcert", "sslcert",  "sslkey",          "connect_timeout",
    "application_name", "target_session_attrs"};

bool allowed(const std::string& key) {
    return std::any_of(kAllowed.begin(), kAllowed.end(),
                       [&](const char* k) { return key == k; });
}

[[noreturn]] void bad(const QString& path, const QString& why) {
    rt::raise(rt::err::DbUnrecognised,
              QStringLiteral("The server link '%1' is not valid: %2.").arg(path, why));
}

}  // namespace

QString Link::setting(const char* key) const {
    for (const auto& [k, v] : server)
        if (k == key) return QString::fromStdString(v);
    return {};
}

QString Link::passwordFile() const {
    return QFileInfo(path).absoluteDir().filePath(QString::fromLatin1(kPasswordFileName));
}

QString Link::label() const {
    QString where = setting("host");
    if (where.isEmpty()) where = setting("hostaddr");
    if (where.isEmpty()) where = QStringLiteral("the local server");
    return setting("dbname") + u'/' + schema + QStringLiteral(" on ") + where;
}

bool isPlainSchemaName(const QString& name) {
    static const QRegularExpression re(QStringLiteral("^[a-z_][a-z0-9_]{0,62}$"));
    return re.match(name).hasMatch();
}

bool isLinkFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray magic(kLinkMagic);
    const QByteArray head = f.read(magic.size() + 2);
    if (!head.startsWith(magic)) return false;
    const QByteArray rest = head.mid(magic.size());
    return rest.isEmpty() || rest.startsWith('\n') || rest.startsWith("\r\n");
}

Link parseLink(const QByteArray& text, const QString& path) {
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r')) l.chop(1);
    if (lines.isEmpty() || lines.front() != QByteArray(kLinkMagic))
        bad(path, QStringLiteral("the first line is not \"%1\"").arg(QLatin1String(kLinkMagic)));
    Link link;
    link.path = path;
    bool haveSchema = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) bad(path, QStringLiteral("line %1 is not key=value").arg(i + 1));
        const QString key = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == u"password" || key == u"passfile")
            bad(path, QStringLiteral("it holds a password setting; the server password belongs "
                                     "in the password file %1 beside it")
                          .arg(QLatin1String(kPasswordFileName)));
        if (key == u"schema") {
            if (haveSchema) bad(path, QStringLiteral("the schema is given twice"));
            if (!isPlainSchemaName(value))
                bad(path, QStringLiteral("the schema name \"%1\" is not a plain lower-case name")
                              .arg(value));
            link.schema = value;
            haveSchema = true;
            continue;
        }
        const std::string k = key.toStdString();
        if (!allowed(k)) bad(path, QStringLiteral("unknown setting \"%1\"").arg(key));
        if (std::any_of(link.server.begin(), link.server.end(),
                        [&](const auto& kv) { return kv.first == k; }))
            bad(path, QStringLiteral("the setting \"%1\" is given twice").arg(key));
        link.server.emplace_back(k, value.toStdString());
    }
    if (!haveSchema) bad(path, QStringLiteral("it names no schema"));
    if (link.setting("dbname").isEmpty()) bad(path, QStringLiteral("it names no database (dbname)"));
    return link;
}

Link readLinkFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("Could not read the server link '%1' (%2).").arg(path, f.errorString()));
    if (f.size() > kMaxLinkFileSize) bad(path, QStringLiteral("it is too large"));
    return parseLink(f.read(kMaxLinkFileSize + 1), path);
}

QByteArray linkText(const Link& link) {
    QByteArray out(kLinkMagic);
    out += "\n# This file stands for a database on a PostgreSQL server. The server\n"
           "# login's password is in the libpq password file ";
    out += kPasswordFileName;
    out += " beside it.\n";
    for (const auto& [k, v] : link.server) out += QByteArray::fromStdString(k + "=" + v + "\n");
    out += "schema=" + link.schema.toUtf8() + "\n";
    return out;
}

}  // namespace db::pg

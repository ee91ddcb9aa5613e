// The database server a test run names, for the server engine's tests.
//
//   NARVO_PG           libpq settings ("host=... dbname=... passfile=...") of a
//                      database in which tests make and drop schemas of their own
//   NARVO_PG_REQUIRED  "1": a server test fails without a server instead of
//                      skipping (scripts/test sets both after starting a cluster)
#pragma once

#include "platform/db/pg/JetSchema.h"
#include "tools/jetmove/SiteMover.h"
#include "platform/db/pg/LinkFile.h"
#include "platform/db/pg/Session.h"
#include "platform/db/pg/Site.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include <unistd.h>

namespace testing_support {

inline std::optional<db::pg::Keywords> pgServer() {
    const QString conninfo = qEnvironmentVariable("NARVO_PG");
    if (conninfo.trimmed().isEmpty()) return std::nullopt;
    return db::pg::parseConninfo(conninfo);
}

inline bool pgServerRequired() { return qEnvironmentVariable("NARVO_PG_REQUIRED") == u"1"; }

// The value of one setting of the test server ("" when not given).
inline QString pgSetting(const db::pg::Keywords& k, const char* key) {
    for (const auto& [name, value] : k)
        if (name == key) return QString::fromStdString(value);
    return {};
}

// A name no other test process or test uses: prefix_<pid>_<n>.
inline QString uniqueSchemaName(const char* prefix = "t") {
    static std::atomic<int> n{0};
    return QStringLiteral("%1_%2_%3").arg(QLatin1String(prefix)).arg(::getpid()).arg(++n);
}

// A session on the test server with the jet schema installed (when it is
// missing or older; installing is serialised on the server).
inline std::unique_ptr<db::pg::Session> pgAdminSession(const db::pg::Keywords& server) {
    auto s = db::pg::Session::connect(server, QStringLiteral("the test server"));
    static std::once_flag checked;
    std::call_once(checked, [&] {
        if (db::pg::installedJetSchemaVersion(*s) < db::pg::kJetSchemaVersion)
            db::pg::installJetSchema(*s);
    });
    return s;
}

// A link to `schema` on the test server, as a site's link file would name it.
inline db::pg::Link pgLink(const db::pg::Keywords& server, const QString& schema,
                           const QString& path = {}) {
    db::pg::Link link;
    for (const auto& kv : server)
        if (kv.first != "passfile" && kv.first != "password") link.server.push_back(kv);
    link.schema = schema;
    link.path = path;
    return link;
}

// Writes the password file beside link files in `folder`: the test server's
// own password file copied (mode 0600). False when the server names none.
inline bool writePgPasswordFile(const db::pg::Keywords& server, const QString& folder) {
    const QString source = pgSetting(server, "passfile");
    if (source.isEmpty()) return false;
    const QString target = folder + u'/' + QString::fromLatin1(db::pg::kPasswordFileName);
    QFile::remove(target);
    if (!QFile::copy(source, target)) return false;
    return QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
}

// A schema of its own for one test, dropped (with everything in it) at the end.
class PgSchema {
public:
    PgSchema(db::pg::Session& admin, const char* prefix = "t")
        : admin_(admin), name_(uniqueSchemaName(prefix)) {
        admin_.exec("CREATE SCHEMA " + db::pg::quoteIdent(name_));
    }
    ~PgSchema() {
        try {
            admin_.exec("DROP SCHEMA IF EXISTS " + db::pg::quoteIdent(name_) + " CASCADE");
        } catch (...) {
        }
    }
    PgSchema(const PgSchema&) = delete;
    PgSchema& operator=(const PgSchema&) = delete;
    const QString& name() const { return name_; }

private:
    db::pg::Session& admin_;
    QString name_;
};

// The schemas of the sites this process moved onto the test server, dropped
// when the process ends (each test runs in a process of its own).
class PgSites {
public:
    static PgSites& instance() {
        static PgSites sites;
        return sites;
    }
    void add(const QString& prefix) { prefixes_ << prefix; }
    void addSchema(const QString& schema) { schemas_ << schema; }
    ~PgSites() {
        if (prefixes_.isEmpty() && schemas_.isEmpty()) return;
        try {
            auto server = pgServer();
            if (!server) return;
            auto s = db::pg::Session::connect(*server, QStringLiteral("the test server"));
            for (const QString& p : prefixes_) {
                db::pg::ResultPtr r = s->query(
                    "SELECT nspname FROM pg_namespace WHERE nspname LIKE $1",
                    {db::pg::Param{0, false, p.toStdString() + "\\_%"}});
                for (int i = 0; i < PQntuples(r.get()); ++i)
                    s->exec("DROP SCHEMA IF EXISTS \"" + std::string(PQgetvalue(r.get(), i, 0)) +
                            "\" CASCADE");
            }
            for (const QString& schema : schemas_)
                s->exec("DROP SCHEMA IF EXISTS " + db::pg::quoteIdent(schema) + " CASCADE");
        } catch (...) {
        }
    }

private:
    QStringList prefixes_;
    QStringList schemas_;
};

// A database on the test server where a test would make a file: a schema of
// its own (dropped when the process ends) with the password's verifier, and
// a link file at `path` with the password file beside it. Throws rt::Error.
inline void makeServerDatabase(const QString& path, const QString& password) {
    auto server = pgServer();
    if (!server)
        rt::raise(rt::err::DbGeneric, QStringLiteral("No database server given (set NARVO_PG)."));
    auto admin = pgAdminSession(*server);
    const QString schema = uniqueSchemaName("f");
    PgSites::instance().addSchema(schema);
    admin->exec("CREATE SCHEMA " + db::pg::quoteIdent(schema));
    db::pg::writePasswordVerifier(*admin, schema, password);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(db::pg::linkText(pgLink(*server, schema))) < 0)
        rt::raise(rt::err::DbGeneric, QStringLiteral("Could not write '%1'.").arg(path));
    f.close();
    writePgPasswordFile(*server, QFileInfo(path).absolutePath());
}

// Moves a DataBase folder just made onto the test server: its files become
// link files to schemas of their own (dropped when the process ends).
// Throws rt::Error when there is no server or the move fails.
inline void moveToServer(const QString& dataFolder, const QDate& today) {
    auto server = pgServer();
    if (!server)
        rt::raise(rt::err::DbGeneric, QStringLiteral("No database server given (set NARVO_PG)."));
    pgAdminSession(*server);  // the jet schema, installed once
    jetmove::MoveOptions o;
    o.folder = dataFolder;
    o.server = *server;
    o.prefix = uniqueSchemaName("s");
    o.keepOriginals = false;
    o.ignoreToday = true;
    o.today = today;
    PgSites::instance().add(o.prefix);
    const jetmove::MoveResult r = jetmove::moveSite(o);
    if (!r.problems.empty())
        rt::raise(rt::err::DbGeneric, QStringLiteral("The demo holds values the server refuses: %1")
                                          .arg(r.problems.front().why));
}

// The engine the database tests run on: the file engine unless the run says
// NARVO_TEST_ENGINE=server (CTest runs the suites once each way).
enum class TestEngine { File, Server };
inline TestEngine testEngine() {
    return qEnvironmentVariable("NARVO_TEST_ENGINE") == u"server" ? TestEngine::Server
                                                                  : TestEngine::File;
}
inline bool onServer() { return testEngine() == TestEngine::Server; }

}  // namespace testing_support

// In a test body or SetUp: the test server's settings into `var`, or skip
// (fail when the run says a server is required).
#define NARVO_PG_SERVER_OR_SKIP(var)                                                          \
    std::optional<db::pg::Keywords> var = ::testing_support::pgServer();                     \
    if (!var) {                                                                               \
        if (::testing_support::pgServerRequired())                                           \
            FAIL() << "NARVO_PG_REQUIRED is set, but NARVO_PG names no database server";      \
        GTEST_SKIP() << "No database server given (set NARVO_PG to run the server tests)";    \
    }

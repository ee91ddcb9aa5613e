// jetsql: a shell for support staff on the database layer. It opens a database
// file (or a whole connection string), runs Jet SQL statements through the same
// translator and engine as the library, and prints what the library would read.
//
//   jetsql [options] DATABASE [STATEMENT ...]
//
// Without statements on the command line, statements are read from standard
// input, one per line. Failures print "error NUMBER: DESCRIPTION" on standard
// error; the exit status is then 1.
#include "lib/db/SystemPassword.h"
#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"
#include "tools/common/CommandLine.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

QString csvField(const QString& s) {
    if (!s.contains(u',') && !s.contains(u'"') && !s.contains(u'\n') && !s.contains(u'\r'))
        return s;
    QString q = s;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString cellText(const rt::Variant& v, const rt::RegionalSettings& rs) {
    if (v.isNull()) return QStringLiteral("Null");
    if (v.type() == rt::VarType::Binary)
        return QStringLiteral("0x") + QString::fromLatin1(v.asBinary().toHex());
    return v.toText(rs);
}

// Runs one statement; prints its rows or the rows changed.
void run(db::Connection& c, const std::shared_ptr<db::Connection>& shared, const QString& sql,
         bool csv, QTextStream& out) {
    db::Recordset rs;
    rs.Open(sql, shared, db::adOpenForwardOnly, db::adLockReadOnly);
    if (rs.State() != db::adStateOpen) {
        out << c.engine().changes() << " row(s) affected\n";
        out.flush();
        return;
    }
    const int n = rs.FieldCount();
    QStringList header;
    for (int i = 0; i < n; ++i) header << rs.Fields(i).Name();
    std::vector<QStringList> rows;
    auto printRow = [&](const QStringList& cells) {
        QStringList f;
        for (const QString& s : cells) f << csvField(s);
        out << f.join(u',') << '\n';
    };
    if (csv) printRow(header);
    while (!rs.Eof()) {
        QStringList cells;
        for (int i = 0; i < n; ++i) cells << cellText(rs.Fields(i).Value(), c.settings());
        if (csv)
            printRow(cells);
        else
            rows.push_back(cells);
        rs.MoveNext();
    }
    rs.Close();
    if (!csv) {
        std::vector<qsizetype> width(n);
        for (int i = 0; i < n; ++i) width[i] = header[i].size();
        for (const auto& r : rows)
            for (int i = 0; i < n; ++i) width[i] = std::max(width[i], r[i].size());
        auto line = [&](const QStringList& cells) {
            QStringList padded;
            for (int i = 0; i < n; ++i) padded << cells[i].leftJustified(width[i]);
            out << padded.join(QStringLiteral(" | ")).trimmed() << '\n';
        };
        line(header);
        QStringList rule;
        for (int i = 0; i < n; ++i) rule << QString(width[i], u'-');
        out << rule.join(QStringLiteral("-+-")) << '\n';
        for (const auto& r : rows) line(r);
        out << "(" << rows.size() << " row" << (rows.size() == 1 ? "" : "s") << ")\n";
    }
    out.flush();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return tools::run([&] {
        tools::CommandLine cl(
            QStringLiteral("jetsql"),
            QStringLiteral("Runs Jet SQL on a database file through the library's own translator "
                           "and engine. Without STATEMENTs, statements are read from standard "
                           "input, one per line."));
        QCommandLineOption csvOption(QStringLiteral("csv"), QStringLiteral("Prints rows as CSV."));
        cl.addOption(csvOption);
        cl.addPasswordOptions(tools::PasswordOption | tools::PasswordEnv | tools::PasswordAsk,
                              QStringLiteral("The database's password (default: the system's)"));
        cl.addPositional(QStringLiteral("DATABASE"),
                         QStringLiteral("A database file or a whole connection string "
                                        "(Provider=Microsoft.Jet.OLEDB.4.0;Data Source=...)."));
        cl.addPositional(QStringLiteral("STATEMENT"), QStringLiteral("Statements to run."),
                         QStringLiteral("[STATEMENT ...]"));
        // Options stand before the database; what follows it is statements.
        cl.parser().setOptionsAfterPositionalArgumentsMode(
            QCommandLineParser::ParseAsPositionalArguments);
        cl.process(app.arguments());
        tools::hidePasswordArgument(argc, argv);
        cl.requirePositional(1, -1);
        const QString password = cl.password().value_or(systemDatabasePassword());
        const bool csv = cl.isSet(csvOption);
        const QString database = cl.positional().first();
        const QStringList statements = cl.positional().mid(1);
        const QString cs =
            database.contains(QStringLiteral("Provider="), Qt::CaseInsensitive)
                ? database
                : db::jetConnectionString(database, password);
        QTextStream out(stdout);
        auto report = [](const rt::Error& e) {
            std::fprintf(stderr, "error %d: %s\n", e.number(), qPrintable(e.description()));
        };
        auto conn = db::Connection::create();
        try {
            conn->setConnectionString(cs);
            conn->Open();
        } catch (const rt::Error& e) {
            report(e);
            return 1;
        }
        int status = 0;
        auto runOne = [&](const QString& sql) {
            if (sql.trimmed().isEmpty()) return;
            try {
                run(*conn, conn, sql, csv, out);
            } catch (const rt::Error& e) {
                report(e);
                status = 1;
            }
        };
        if (!statements.isEmpty()) {
            for (const QString& s : statements) runOne(s);
        } else {
            std::string line;
            while (std::getline(std::cin, line)) runOne(QString::fromStdString(line));
        }
        return status;
    });
}

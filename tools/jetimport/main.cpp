// jetimport: converts the system's real Jet 3 and Jet 4 database files into
// the copies that the program opens (same names, same connection string).
//
//   jetimport [options] SOURCE TARGET     (jetimport --help lists the options)
//
// SOURCE is a Jet file or a folder (then every .mdb file in it); TARGET is the
// copy's file or folder. Originals and existing copies are never overwritten.
// Progress goes to standard error, the summary to standard output. The exit
// status is 0 when every file was imported, 1 when any failed, 2 for a wrong
// command line.
#include "tools/jetimport/JetImporter.h"

#include "platform/runtime/Error.h"
#include "tools/common/CommandLine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<int> gStopRequests{0};  // lock-free, so safe in a signal handler

void onStop(int) {
    // The first request stops at the next row and cleans up; a second one
    // leaves at once, after removing the unfinished copy.
    if (++gStopRequests > 1) {
        jetimport::removeUnfinishedCopy();
        _exit(130);
    }
}

void onFatal(int sig) {
    jetimport::removeUnfinishedCopy();
    static const char text[] =
        "jetimport: stopped by a fatal error while reading; the unfinished copy was removed.\n";
    if (::write(STDERR_FILENO, text, sizeof text - 1) < 0) {
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

QString number(int64_t n) { return QLocale::system().toString(qlonglong(n)); }

// Progress on standard error: one line per table, updated in place on a terminal.
class TerminalProgress : public jetimport::ImportObserver {
  public:
    explicit TerminalProgress(bool quiet) : quiet_(quiet), tty_(::isatty(STDERR_FILENO)) {}

    void fileStarted(const QString& source, const QString& target) override {
        say(QStringLiteral("Importing %1 -> %2\n").arg(source, target));
    }
    void tableStarted(const QString& table, int64_t expected) override {
        say(QStringLiteral("  %1: %2 rows%3").arg(table, number(expected), tty_ ? "" : "\n"));
    }
    void rowsCopied(const QString& table, int64_t copied, int64_t expected) override {
        const int percent = expected > 0 ? int(copied * 100 / expected) : 100;
        say(QStringLiteral("%1  %2: %3 of %4 rows (%5%)%6")
                .arg(tty_ ? "\r" : "", table, number(copied), number(expected))
                .arg(percent)
                .arg(tty_ ? "" : "\n"));
    }
    void tableFinished(const jetimport::TableResult& t) override {
        say(QStringLiteral("%1  %2: %3 rows copied\n")
                .arg(tty_ ? "\r\033[K" : "", t.name, number(t.rows)));
    }
    void fileFinished(const jetimport::FileResult& r) override {
        if (!r.ok) say(QStringLiteral("%1  failed: %2\n").arg(tty_ ? "\r\033[K" : "", r.error));
    }
    bool cancelRequested() override { return gStopRequests > 0; }

  private:
    void say(const QString& text) {
        if (quiet_) return;
        std::fputs(text.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    }
    bool quiet_;
    bool tty_;
};

int importMain(QCoreApplication& app, int argc, char** argv) {
    tools::CommandLine cl(QStringLiteral("jetimport"),
                          QStringLiteral("Converts Jet 3 and Jet 4 database files (.mdb) into the "
                                         "copies the program opens. Names are kept; existing "
                                         "files are never overwritten."));
    cl.addPositional(QStringLiteral("SOURCE"),
                     QStringLiteral("A Jet file, or a folder (every .mdb file in it)."));
    cl.addPositional(QStringLiteral("TARGET"), QStringLiteral("The copy's file or folder."));
    cl.addPasswordOptions(
        tools::PasswordOption | tools::PasswordEnv | tools::PasswordAsk | tools::PasswordStdin,
        QStringLiteral("The database password of the Jet file(s)"));
    QCommandLineOption strict(
        QStringLiteral("strict-counts"),
        QStringLiteral("Refuses a file whose tables record row counts that "
                       "differ from the rows stored (by default a warning)."));
    QCommandLineOption ignoreCounts(QStringLiteral("ignore-recorded-counts"),
                                    QStringLiteral("Accepted as before; differing counts are "
                                                   "warnings by default now."));
    ignoreCounts.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                             QStringLiteral("No progress, only the summary and errors."));
    QCommandLineOption progressEvery(QStringLiteral("progress-every"),
                                     QStringLiteral("Rows between two progress reports of a table "
                                                    "(default 10000)."),
                                     QStringLiteral("ROWS"), QStringLiteral("10000"));
    QCommandLineOption catalogTimeout(
        QStringLiteral("catalog-timeout"),
        QStringLiteral("Seconds the reading library may take over a file's catalog before the "
                       "file is refused as damaged (default 60)."),
        QStringLiteral("SECONDS"), QStringLiteral("60"));
    for (const QCommandLineOption* o :
         {&strict, &ignoreCounts, &quiet, &progressEvery, &catalogTimeout})
        cl.addOption(*o);
    cl.process(app.arguments());
    tools::hidePasswordArgument(argc, argv);
    cl.requirePositional(2, 2);
    if (cl.isSet(strict) && cl.isSet(ignoreCounts))
        cl.refuse(
            QStringLiteral("--strict-counts and --ignore-recorded-counts contradict each other."));

    jetimport::ImportOptions options;
    options.sourcePassword = cl.password().value_or(QString());
    options.strictCounts = cl.isSet(strict);
    options.progressEvery = cl.intValue(progressEvery, 1, 1000000000);
    options.catalogTimeoutMs = cl.intValue(catalogTimeout, 1, 3600) * 1000;
    const QStringList paths = cl.positional();

    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, onFatal);

    TerminalProgress progress(cl.isSet(quiet));
    std::vector<jetimport::FileResult> results;
    try {
        results = jetimport::importPath(paths[0], paths[1], options, &progress);
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "jetimport: %s\n", e.description().toLocal8Bit().constData());
        return tools::kExitFailure;
    }
    if (results.empty()) {
        std::fprintf(stderr, "jetimport: no .mdb files in '%s'\n",
                     paths[0].toLocal8Bit().constData());
        return tools::kExitFailure;
    }

    // The summary.
    int ok = 0;
    int64_t rows = 0;
    size_t tables = 0;
    double seconds = 0;
    QString lines, notes, warnings, errors;
    for (const jetimport::FileResult& r : results) {
        seconds += r.seconds;
        const QString file = QFileInfo(r.source).fileName();
        if (r.ok) {
            ++ok;
            rows += r.rows;
            tables += r.tables.size();
            QString extra;
            if (r.relationships) extra += QStringLiteral(", %1 relationships").arg(r.relationships);
            if (r.rules) extra += QStringLiteral(", %1 rules").arg(r.rules);
            if (r.views) extra += QStringLiteral(", %1 views").arg(r.views);
            if (r.keptQueries)
                extra += QStringLiteral(", %1 queries kept as text").arg(r.keptQueries);
            lines += QStringLiteral("  imported  %1 -> %2: %3 tables, %4 rows%5, %6 s\n")
                         .arg(r.source, r.target)
                         .arg(r.tables.size())
                         .arg(number(r.rows), extra)
                         .arg(r.seconds, 0, 'f', 1);
        } else {
            lines += QStringLiteral("  FAILED    %1\n").arg(r.source);
            errors += QStringLiteral("jetimport: %1\n").arg(r.error);
        }
        for (const QString& n : r.notes) notes += QStringLiteral("  %1: %2\n").arg(file, n);
        for (const QString& w : r.warnings) warnings += QStringLiteral("  %1: %2\n").arg(file, w);
    }
    std::fputs(errors.toLocal8Bit().constData(), stderr);
    QString summary = QStringLiteral("%1 of %2 files imported: %3 tables, %4 rows in %5 s.\n")
                          .arg(ok)
                          .arg(results.size())
                          .arg(tables)
                          .arg(number(rows))
                          .arg(seconds, 0, 'f', 1) +
                      lines;
    if (!notes.isEmpty()) summary += QStringLiteral("Not carried over:\n") + notes;
    if (!warnings.isEmpty()) summary += QStringLiteral("Warnings:\n") + warnings;
    std::fputs(summary.toLocal8Bit().constData(), stdout);
    return ok == int(results.size()) ? tools::kExitOk : tools::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return tools::run([&] { return importMain(app, argc, argv); });
}

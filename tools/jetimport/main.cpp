// jetimport: converts the system's real Jet 4 database files into the copies
// that the program opens (same names, same connection string).
//
//   jetimport [--password PW] [--ignore-recorded-counts] [--quiet] SOURCE TARGET
//
// SOURCE is a Jet file or a folder (then every .mdb file in it); TARGET is the
// copy's file or folder. Originals and existing copies are never overwritten.
// Progress goes to standard error, the summary to standard output. The exit
// status is 0 when every file was imported, 1 when any failed, 2 for a wrong
// command line.
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/runtime/Error.h"
#include "tools/jetimport/JetImporter.h"

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

void usage(FILE* to) {
    std::fputs(
        "usage: jetimport [--password PW] [--ignore-recorded-counts] [--quiet] SOURCE TARGET\n"
        "Converts Jet 4 database files (.mdb) into the copies the program opens.\n"
        "SOURCE is a Jet file or a folder (every .mdb file in it); TARGET is the copy's file\n"
        "or folder. Names are kept; existing files are never overwritten.\n"
        "  --password PW             the database password of the Jet file(s)\n"
        "  --ignore-recorded-counts  accept tables whose row count differs from the count\n"
        "                            the Jet file records (a file not closed properly)\n"
        "  --quiet                   no progress, only the summary and errors\n",
        to);
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    jetimport::ImportOptions options;
    bool quiet = false;
    QStringList paths;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--password") {
            if (++i >= args.size()) {
                usage(stderr);
                return 2;
            }
            options.sourcePassword = args[i];
        } else if (a.startsWith(QStringLiteral("--password="))) {
            options.sourcePassword = a.mid(11);
        } else if (a == u"--ignore-recorded-counts") {
            options.checkRecordedRowCounts = false;
        } else if (a == u"--quiet" || a == u"-q") {
            quiet = true;
        } else if (a == u"--help" || a == u"-h") {
            usage(stdout);
            return 0;
        } else if (a == u"--") {
            paths << args.mid(i + 1);
            break;
        } else if (a.startsWith(u'-') && a.size() > 1) {
            std::fprintf(stderr, "jetimport: unknown option %s\n", a.toLocal8Bit().constData());
            usage(stderr);
            return 2;
        } else {
            paths << a;
        }
    }
    if (paths.size() != 2) {
        usage(stderr);
        return 2;
    }

    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, onFatal);

    TerminalProgress progress(quiet);
    std::vector<jetimport::FileResult> results;
    try {
        results = jetimport::importPath(paths[0], paths[1], options, &progress);
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "jetimport: %s\n", e.description().toLocal8Bit().constData());
        return 1;
    }
    if (results.empty()) {
        std::fprintf(stderr, "jetimport: no .mdb files in '%s'\n",
                     paths[0].toLocal8Bit().constData());
        return 1;
    }

    // The summary.
    int ok = 0;
    int64_t rows = 0;
    size_t tables = 0;
    double seconds = 0;
    QString lines, notes, errors;
    for (const jetimport::FileResult& r : results) {
        seconds += r.seconds;
        if (r.ok) {
            ++ok;
            rows += r.rows;
            tables += r.tables.size();
            lines += QStringLiteral("  imported  %1 -> %2: %3 tables, %4 rows, %5 s\n")
                         .arg(r.source, r.target)
                         .arg(r.tables.size())
                         .arg(number(r.rows))
                         .arg(r.seconds, 0, 'f', 1);
        } else {
            lines += QStringLiteral("  FAILED    %1\n").arg(r.source);
            errors += QStringLiteral("jetimport: %1\n").arg(r.error);
        }
        for (const QString& n : r.notes)
            notes += QStringLiteral("  %1: %2\n").arg(QFileInfo(r.source).fileName(), n);
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
    std::fputs(summary.toLocal8Bit().constData(), stdout);
    return ok == int(results.size()) ? 0 : 1;
}

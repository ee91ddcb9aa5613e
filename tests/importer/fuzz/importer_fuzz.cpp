// importer_fuzz: damaged copies of Jet files through the importer, meant to
// run under AddressSanitizer and UBSan (scripts/fuzz-importer builds it so).
//
//   importer_fuzz [--seconds N | --iterations N] [--seed S] [--keep DIR]
//
// With --keep, the inputs behind faults and unusual refusals are saved in DIR.
//
// The seeds are the shared sample files (all but the 100,000-row ledger) and
// files written here with the test writer (Jet 3 rows past 256 bytes, long
// values, moved rows, encrypted pages, relationships, rules and saved
// queries). Each input is a seed damaged by one to three of: a cut (at a page
// boundary or anywhere), random byte flips, flips in the catalog's pages, in
// a table definition (or one of its counts set to an extreme), in a data or
// long-value page's row table, in the definition page. Every input must end
// as a copy that opens and reads, or as a refusal that leaves nothing behind,
// within a time bound; anything else is a fault. A crash or a sanitizer
// report ends the run by itself. Prints how the inputs ended and the time.
#include "JetWriter.h"

#include "platform/db/Connection.h"
#include "platform/runtime/Error.h"
#include "tools/jetimport/JetImporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <random>

namespace {

using jetwriter::column;
using jetwriter::JetColumnType;
using rt::Variant;

struct Seed {
    QString name;
    QByteArray bytes;
    int pageSize = 4096;
};

std::vector<Seed> samples() {
    std::vector<Seed> out;
    const QDir dir(QStringLiteral(NARVO_JET_SAMPLES));
    for (const QString& name : dir.entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name)) {
        if (name.startsWith(QStringLiteral("ledger"))) continue;  // too large for many runs
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly)) out.push_back({name, f.readAll(), 4096});
    }
    return out;
}

std::vector<Seed> written() {
    std::vector<Seed> out;
    for (const jetwriter::Version v : {jetwriter::Version::Jet3, jetwriter::Version::Jet4}) {
        jetwriter::Table parties;
        parties.name = QStringLiteral("Parties");
        parties.columns = {column(QStringLiteral("PartyId"), JetColumnType::Long),
                           column(QStringLiteral("Name"), JetColumnType::Text, 255),
                           column(QStringLiteral("City"), JetColumnType::Text, 255),
                           column(QStringLiteral("Note"), JetColumnType::Memo),
                           column(QStringLiteral("Balance"), JetColumnType::Currency),
                           column(QStringLiteral("Opened"), JetColumnType::DateTime)};
        parties.columns[0].autoNumber = true;
        parties.columns[1].props = {{QStringLiteral("Required"), Variant(true)},
                                    {QStringLiteral("AllowZeroLength"), Variant(false)}};
        parties.columns[4].props = {
            {QStringLiteral("ValidationRule"), Variant(QStringLiteral(">=0"))},
            {QStringLiteral("ValidationText"), Variant(QStringLiteral("No"))}};
        parties.columns[5].props = {
            {QStringLiteral("DefaultValue"), Variant(QStringLiteral("=Date()"))}};
        parties.indexes = {{QStringLiteral("PrimaryKey"), {QStringLiteral("PartyId")}, true, true},
                           {QStringLiteral("ByName"), {QStringLiteral("Name")}, false, true}};
        for (int i = 1; i <= 120; ++i)
            parties.rows.push_back(
                {Variant(int32_t(i)),
                 Variant(QStringLiteral("Party %1 ").arg(i).repeated(i % 20 + 1)),
                 Variant(QStringLiteral("City ").repeated(i % 50)),
                 Variant(QStringLiteral("note %1 ").arg(i).repeated(i % 7 * 90)),
                 Variant(rt::Currency{i * 12345}),
                 Variant::fromDate(QDate(1890, 1, 1).addDays(i * 97))});
        parties.movedRows = {2, 60, 119};
        jetwriter::Table orders;
        orders.name = QStringLiteral("Orders");
        orders.columns = {column(QStringLiteral("OrderNo"), JetColumnType::Long),
                          column(QStringLiteral("PartyId"), JetColumnType::Long),
                          column(QStringLiteral("Amount"), JetColumnType::Double)};
        orders.indexes = {
            {QStringLiteral("PrimaryKey"), {QStringLiteral("OrderNo")}, true, true},
            {QStringLiteral("PartiesOrders"), {QStringLiteral("PartyId")}, false, false, true}};
        for (int i = 1; i <= 200; ++i)
            orders.rows.push_back(
                {Variant(int32_t(i)), Variant(int32_t(i % 120 + 1)), Variant(i * 1.5)});
        jetwriter::Database db;
        db.version = v;
        db.pageKey = v == jetwriter::Version::Jet4 ? 0x1234567u : 0;
        db.tables = {parties, orders};
        db.relationships = {{QStringLiteral("PartiesOrders"),
                             QStringLiteral("Orders"),
                             {QStringLiteral("PartyId")},
                             QStringLiteral("Parties"),
                             {QStringLiteral("PartyId")},
                             0x1000}};
        db.queries = {{QStringLiteral("Totals"),
                       0,
                       {{1, {}, 1, {}, {}, {}},
                        {5, {}, 0, QStringLiteral("Orders"), {}, {}},
                        {6, QStringLiteral("[PartyId]"), 0, {}, {}, {}},
                        {6, QStringLiteral("Sum([Amount])"), 0, QStringLiteral("Total"), {}, {}},
                        {9, QStringLiteral("[PartyId]"), 0, {}, {}, {}}}},
                      {QStringLiteral("Purge"),
                       32,
                       {{1, {}, 5, {}, {}, {}},
                        {5, {}, 0, QStringLiteral("Orders"), {}, {}},
                        {8, QStringLiteral("[Amount]<0"), 0, {}, {}, {}}}}};
        out.push_back({v == jetwriter::Version::Jet3 ? QStringLiteral("written-jet3")
                                                     : QStringLiteral("written-jet4"),
                       jetwriter::write(db), jetwriter::pageSize(v)});
    }
    return out;
}

class Mutator {
  public:
    explicit Mutator(uint64_t seed) : rng_(seed) {}

    int below(int n) { return n <= 0 ? 0 : int(rng_() % uint64_t(n)); }

    // Damages `b` (pages of `ps` bytes); says how.
    QString damage(QByteArray& b, int ps) {
        const int pages = int(b.size() / ps);
        auto pagesOfType = [&](char type, bool catalogOnly) {
            std::vector<int> out;
            for (int p = 1; p < pages; ++p) {
                const char* page = b.constData() + qsizetype(p) * ps;
                if (page[0] != type) continue;
                // A catalog data page names the catalog's definition (page 2).
                if (catalogOnly && !(page[4] == 2 && page[5] == 0 && page[6] == 0 && page[7] == 0))
                    continue;
                out.push_back(p);
            }
            return out;
        };
        auto flip = [&](qsizetype from, qsizetype length, int count) {
            for (int i = 0; i < count && length > 0; ++i) {
                const qsizetype at = from + below(int(length));
                if (at < b.size())
                    b[at] = char(b[at] ^ (1 << below(8)) ^ (below(4) == 0 ? 0xff : 0));
            }
        };
        switch (below(7)) {
            case 0: {
                const int keep = 1 + below(pages - 1);
                b.truncate(below(3) == 0 ? qsizetype(keep) * ps + below(ps) : qsizetype(keep) * ps);
                return QStringLiteral("cut");
            }
            case 1:
                flip(0, b.size(), 1 + below(16));
                return QStringLiteral("flips");
            case 2: {
                std::vector<int> catalog = pagesOfType(0x01, true);
                catalog.push_back(2);
                const int p = catalog[size_t(below(int(catalog.size())))];
                flip(qsizetype(p) * ps, ps, 1 + below(8));
                return QStringLiteral("catalog");
            }
            case 3: {
                const std::vector<int> defs = pagesOfType(0x02, false);
                if (defs.empty()) return damage(b, ps);
                const qsizetype at = qsizetype(defs[size_t(below(int(defs.size())))]) * ps;
                if (below(2)) {
                    flip(at, ps, 1 + below(6));
                } else {
                    // One of the counts or pointers set to an extreme value.
                    const int fields[] = {8,  12, 16, 20, 23, 25, 27, 31,
                                          35, 43, 45, 47, 51, 55, 59};
                    const int f = fields[below(int(std::size(fields)))];
                    const uint32_t values[] = {
                        0, 1, 0xff, 0xffff, 0x7fffffff, 0xffffffff, uint32_t(rng_())};
                    const uint32_t v = values[below(int(std::size(values)))];
                    for (int k = 0; k < 4 && at + f + k < b.size(); ++k)
                        b[at + f + k] = char(v >> (8 * k));
                }
                return QStringLiteral("definition");
            }
            case 4: {
                const std::vector<int> data = pagesOfType(0x01, false);
                if (data.empty()) return damage(b, ps);
                const qsizetype at = qsizetype(data[size_t(below(int(data.size())))]) * ps;
                flip(at + 8, 64, 1 + below(6));  // the row count and the row table
                return QStringLiteral("rows");
            }
            case 5: {
                const std::vector<int> data = pagesOfType(0x01, false);
                if (data.empty()) return damage(b, ps);
                const qsizetype at = qsizetype(data[size_t(below(int(data.size())))]) * ps;
                flip(at, ps, 1 + below(12));
                return QStringLiteral("data-page");
            }
            default:
                flip(0, std::min<qsizetype>(b.size(), 0x100), 1 + below(4));
                return QStringLiteral("header");
        }
    }

  private:
    std::mt19937_64 rng_;
};

QString kindOf(const QString& error) {
    const char* kinds[][2] = {
        {"the reading library stopped with", "libmdb crashed (in its child)"},
        {"did not end within", "libmdb looped (child stopped)"},
        {"cut short", "refused: cut short"},
        {"password", "refused: password"},
        {"not a Jet database", "refused: not a Jet file"},
        {"ACE", "refused: ACE version"},
        {"cannot be stored exactly", "refused: value not storable"},
        {"does not convert", "refused: unknown column type"},
        {"is damaged", "refused: damaged"},
    };
    for (const auto& [says, kind] : kinds)
        if (error.contains(QString::fromLatin1(says))) return QString::fromLatin1(kind);
    return QStringLiteral("refused: other");
}

volatile std::sig_atomic_t gInput = 0;

void onAlarm(int) {
    static const char text[] = "FAULT: an input took longer than the time bound (a hang)\n";
    if (::write(STDERR_FILENO, text, sizeof text - 1) < 0) {
    }
    std::_Exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    double seconds = 600;
    long iterations = -1;
    uint64_t seed = 1;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--seconds") seconds = args[i + 1].toDouble();
        if (args[i] == u"--iterations") iterations = args[i + 1].toLong();
        if (args[i] == u"--seed") seed = args[i + 1].toULongLong();
        if (args[i] == u"--keep") keep = args[i + 1];
    }
    std::vector<Seed> seeds = samples();
    for (Seed& s : written()) seeds.push_back(std::move(s));
    Mutator mutator(seed);
    std::map<QString, long> outcomes, mutations;
    std::vector<QString> faults;
    QStringList others;  // the first refusals of no known kind, in full
    long inputs = 0, imported = 0, rowsRead = 0;
    std::signal(SIGALRM, onAlarm);
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    while (iterations >= 0 ? inputs < iterations : elapsed() < seconds) {
        const Seed& s = seeds[size_t(mutator.below(int(seeds.size())))];
        QByteArray bytes = s.bytes;
        QString how;
        for (int n = 1 + mutator.below(3); n > 0; --n)
            how += mutator.damage(bytes, s.pageSize) + u' ';
        ++inputs;
        gInput = int(inputs);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("in.mdb"));
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            faults.push_back(QStringLiteral("cannot write an input"));
            break;
        }
        f.close();
        QDir(dir.path()).mkpath(QStringLiteral("out"));
        const QString target = dir.filePath(QStringLiteral("out/copy.mdb"));
        const QString what = s.name + QStringLiteral(" (") + how.trimmed() + u')';
        for (const QString& m : how.split(u' ', Qt::SkipEmptyParts)) ++mutations[m];
        jetimport::ImportOptions options;
        options.catalogTimeoutMs = 5000;
        const size_t faultsBefore = faults.size();
        const qsizetype othersBefore = others.size();
        ::alarm(120);
        try {
            const jetimport::FileResult r = jetimport::importFile(source, target, options);
            ++imported;
            ++outcomes[r.warnings.isEmpty() ? QStringLiteral("imported")
                                            : QStringLiteral("imported with warnings")];
            // The copy opens through the database layer and every row reads.
            auto c = db::Connection::create();
            c->setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                                   target + QStringLiteral(";Jet OLEDB:Database Password=") +
                                   options.targetPassword);
            c->Open();
            for (const jetimport::TableResult& t : r.tables) {
                db::Recordset rs;
                rs.Open(QStringLiteral("select * from [%1]").arg(t.name), c);
                long n = 0;
                for (; !rs.Eof(); rs.MoveNext()) {
                    for (int k = 0; k < rs.FieldCount(); ++k) (void)rs.Fields(k).Value();
                    ++n;
                }
                rs.Close();
                rowsRead += n;
                if (n != t.rows)
                    faults.push_back(what +
                                     QStringLiteral(": table %1 holds %2 rows, %3 were copied")
                                         .arg(t.name)
                                         .arg(n)
                                         .arg(t.rows));
            }
            c->Close();
            if (QDir(dir.filePath(QStringLiteral("out")))
                    .entryList(QDir::Files | QDir::Hidden)
                    .size() != 1)
                faults.push_back(what + QStringLiteral(": more than the copy in the folder"));
        } catch (const rt::Error& e) {
            const QString kind = kindOf(e.description());
            ++outcomes[kind];
            if (kind == u"refused: other" && others.size() < 10)
                others << what + QStringLiteral(": ") + e.description();
            if (!QDir(dir.filePath(QStringLiteral("out")))
                     .entryList(QDir::Files | QDir::Hidden)
                     .isEmpty())
                faults.push_back(what + QStringLiteral(": a refusal left files behind"));
            if (!e.description().contains(source))
                faults.push_back(what +
                                 QStringLiteral(": a refusal that does not name the file: ") +
                                 e.description());
        } catch (const std::exception& e) {
            faults.push_back(what + QStringLiteral(": failed with ") + QString::fromUtf8(e.what()));
        }
        ::alarm(0);
        if (!keep.isEmpty() && (faults.size() > faultsBefore || others.size() > othersBefore)) {
            QDir().mkpath(keep);
            QFile::copy(source, QDir(keep).filePath(QStringLiteral("input-%1.mdb").arg(inputs)));
        }
        if (faults.size() > 50) break;
    }
    const double took = elapsed();
    for (const QString& fault : faults)
        std::fprintf(stderr, "FAULT: %s\n", fault.toUtf8().constData());
    std::printf("seed %llu: %ld damaged files in %.1f s (%.1f per second), %zu seeds\n",
                static_cast<unsigned long long>(seed), inputs, took, inputs / (took > 0 ? took : 1),
                seeds.size());
    std::printf("  damage applied:\n");
    for (const auto& [m, n] : mutations) std::printf("    %6ld  %s\n", n, m.toUtf8().constData());
    std::printf("  outcomes:\n");
    for (const auto& [o, n] : outcomes) std::printf("    %6ld  %s\n", n, o.toUtf8().constData());
    for (const QString& o : others) std::printf("    other: %s\n", o.toUtf8().constData());
    std::printf("  copies opened and read back: %ld (%ld rows)\n", imported, rowsRead);
    std::printf("  faults: %zu\n", faults.size());
    return faults.empty() ? 0 : 1;
}

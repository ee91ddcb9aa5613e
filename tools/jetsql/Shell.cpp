#include "tools/jetsql/Shell.h"

#include "tools/jetsql/Csv.h"
#include "tools/jetsql/LineReader.h"
#include "tools/jetsql/StatementSplitter.h"

#include "platform/db/Maintenance.h"
#include "platform/db/Schema.h"
#include "platform/db/jet/Translator.h"
#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

namespace jetsql {

namespace {

constexpr int kMaxReadDepth = 16;

const char kHelp[] =
    "Statements are Jet SQL, run through the library's translator and engine. At the\n"
    "terminal a statement ends with ';' and may go on over several lines; in a script\n"
    "(piped in or read with .read) the end of a line also ends it. BEGIN TRANSACTION,\n"
    "COMMIT [TRANSACTION] and ROLLBACK [TRANSACTION] group statements into one change.\n"
    "\n"
    ".help                  this text\n"
    ".tables                the tables of the database\n"
    ".schema [TABLE]        table definitions as Jet DDL (CREATE TABLE, CREATE INDEX)\n"
    ".indexes [TABLE]       the indexes, with their columns\n"
    ".mode table|csv|line   how rows are printed (now: %1)\n"
    ".headers on|off        column names above the rows (now: %2)\n"
    ".check                 checks the whole file (pages, indexes, foreign keys)\n"
    ".read FILE             runs the statements and commands in FILE\n"
    ".output [FILE]         sends output to FILE (replacing it), or back to the screen\n"
    ".backup FILE           writes a consistent copy of the database to FILE (a new file)\n"
    "                       while other workstations keep working\n"
    ".dump [TABLE ...]      the database (or the tables) as Jet DDL and INSERT statements\n"
    "                       that jetsql reads back into an empty database file\n"
    ".import CSV TABLE      adds the rows of a CSV file (first line: column names) to\n"
    "                       TABLE, creating it with text columns when it does not exist\n"
    ".quit                  ends the shell (also .exit, or Ctrl+D at the terminal)\n";

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

QString modeName(Mode m) {
    switch (m) {
        case Mode::Table:
            return QStringLiteral("table");
        case Mode::Csv:
            return QStringLiteral("csv");
        case Mode::Line:
            return QStringLiteral("line");
    }
    return {};
}

// A command line split into words; "double quotes" keep blanks in a word.
QStringList words(const QString& line) {
    QStringList out;
    QString word;
    bool quoted = false, any = false;
    for (QChar ch : line) {
        if (ch == u'"') {
            quoted = !quoted;
            any = true;
        } else if (ch.isSpace() && !quoted) {
            if (any) out << word;
            word.clear();
            any = false;
        } else {
            word += ch;
            any = true;
        }
    }
    if (any) out << word;
    return out;
}

QString bracketed(const QString& name) { return u'[' + name + u']'; }

}  // namespace

Shell::Shell(std::shared_ptr<db::Connection> connection) : conn_(std::move(connection)) {
    stdout_.open(stdout, QIODevice::WriteOnly);
    out_.setDevice(&stdout_);
}

Shell::~Shell() { out_.flush(); }

void Shell::fail(const QString& message) {
    out_.flush();
    std::fputs(QStringLiteral("error: %1\n").arg(message).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    failed_ = true;
}

void Shell::failWith(const std::exception& e) {
    out_.flush();
    if (const auto* err = dynamic_cast<const rt::Error*>(&e))
        std::fprintf(stderr, "error %d: %s\n", err->number(),
                     err->description().toLocal8Bit().constData());
    else
        std::fprintf(stderr, "error: %s\n", e.what());
    std::fflush(stderr);
    failed_ = true;
}

void Shell::run(LineReader& in) {
    StatementSplitter splitter(!in.interactive());
    const QString prompt = QStringLiteral("jetsql> "), more = QStringLiteral("   ...> ");
    while (!quit_) {
        std::optional<QString> line = in.readLine(splitter.pending() ? more : prompt);
        if (!line) break;
        if (!splitter.pending() && line->trimmed().startsWith(u'.')) {
            runCommand(line->trimmed());
            continue;
        }
        for (const QString& sql : splitter.addLine(*line)) {
            runStatement(sql);
            if (quit_) break;
        }
    }
    // A statement left without its end still runs, as a script's last line does.
    const QString rest = splitter.takeRest();
    if (!rest.isEmpty() && !quit_) runStatement(rest);
    out_.flush();
}

void Shell::runOne(const QString& text) {
    if (text.trimmed().startsWith(u'.'))
        runCommand(text.trimmed());
    else if (!text.trimmed().isEmpty())
        runStatement(text);
    out_.flush();
}

bool Shell::transactionStatement(const QString& sql) {
    static const QRegularExpression begin(QStringLiteral("^BEGIN(\\s+TRANS(ACTION)?)?$"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression commit(QStringLiteral("^COMMIT(\\s+(TRANS(ACTION)?|WORK))?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression rollback(
        QStringLiteral("^ROLLBACK(\\s+(TRANS(ACTION)?|WORK))?$"),
        QRegularExpression::CaseInsensitiveOption);
    QString s = sql.simplified();
    if (s.endsWith(u';')) s.chop(1);
    s = s.trimmed();
    db::Engine& e = conn_->engine();
    if (begin.match(s).hasMatch()) {
        if (inTransaction_)
            throw rt::Error(rt::err::DbGeneric, QStringLiteral("A transaction is already open."));
        e.beginWrite();
        inTransaction_ = true;
        return true;
    }
    if (commit.match(s).hasMatch()) {
        if (!inTransaction_)
            throw rt::Error(rt::err::DbGeneric, QStringLiteral("No transaction is open."));
        e.commit();
        inTransaction_ = false;
        return true;
    }
    if (rollback.match(s).hasMatch()) {
        if (!inTransaction_)
            throw rt::Error(rt::err::DbGeneric, QStringLiteral("No transaction is open."));
        inTransaction_ = false;
        e.rollback();
        return true;
    }
    return false;
}

void Shell::rollBackOpenTransaction() {
    if (!inTransaction_) return;
    inTransaction_ = false;
    conn_->engine().rollback();
    fail(QStringLiteral("the input ended inside a transaction; its changes were rolled back."));
}

void Shell::runStatement(const QString& sql) {
    try {
        if (transactionStatement(sql)) return;
        db::Engine& e = conn_->engine();
        if (e.translate(sql, false)->kind != db::jet::StatementKind::Select) {
            const int64_t n = conn_->Execute(sql);
            out_ << n << " row(s) affected\n";
            out_.flush();
            return;
        }
        db::Recordset rs;
        rs.Open(sql, conn_, db::adOpenForwardOnly, db::adLockReadOnly);
        const int n = rs.FieldCount();
        QStringList header;
        for (int i = 0; i < n; ++i) header << rs.Fields(i).Name();
        const rt::RegionalSettings& settings = conn_->settings();
        if (mode_ == Mode::Table) {
            std::vector<QStringList> rows;
            for (; !rs.Eof(); rs.MoveNext()) {
                QStringList cells;
                for (int i = 0; i < n; ++i) cells << cellText(rs.Fields(i).Value(), settings);
                rows.push_back(cells);
            }
            rs.Close();
            printTable(header, rows);
        } else {
            // CSV and lines stream row by row.
            if (mode_ == Mode::Csv && headers_) printRows(header, {});
            qsizetype nameWidth = 0;
            for (const QString& h : header) nameWidth = std::max(nameWidth, h.size());
            bool first = true;
            for (; !rs.Eof(); rs.MoveNext()) {
                QStringList cells;
                for (int i = 0; i < n; ++i) cells << cellText(rs.Fields(i).Value(), settings);
                if (mode_ == Mode::Csv) {
                    QStringList f;
                    for (const QString& s : cells) f << csvField(s);
                    out_ << f.join(u',') << '\n';
                } else {
                    if (!first) out_ << '\n';
                    for (int i = 0; i < n; ++i)
                        out_ << header[i].rightJustified(nameWidth) << " = " << cells[i] << '\n';
                }
                first = false;
            }
            rs.Close();
        }
        out_.flush();
    } catch (const std::exception& e) {
        failWith(e);
    }
}

void Shell::printRows(const QStringList& header, const std::vector<QStringList>& rows) {
    if (mode_ == Mode::Table) return printTable(header, rows);
    QStringList f;
    for (const QString& s : header) f << csvField(s);
    if (mode_ == Mode::Csv) {
        if (headers_) out_ << f.join(u',') << '\n';
        for (const QStringList& r : rows) {
            QStringList g;
            for (const QString& s : r) g << csvField(s);
            out_ << g.join(u',') << '\n';
        }
        return;
    }
    qsizetype nameWidth = 0;
    for (const QString& h : header) nameWidth = std::max(nameWidth, h.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        if (r) out_ << '\n';
        for (qsizetype i = 0; i < header.size(); ++i)
            out_ << header[i].rightJustified(nameWidth) << " = " << rows[r].value(i) << '\n';
    }
}

void Shell::printTable(const QStringList& header, const std::vector<QStringList>& rows) {
    const qsizetype n = header.size();
    std::vector<qsizetype> width(n);
    for (qsizetype i = 0; i < n; ++i) width[i] = headers_ ? header[i].size() : 0;
    for (const auto& r : rows)
        for (qsizetype i = 0; i < n; ++i) width[i] = std::max(width[i], r.value(i).size());
    auto line = [&](const QStringList& cells) {
        QStringList padded;
        for (qsizetype i = 0; i < n; ++i) padded << cells.value(i).leftJustified(width[i]);
        out_ << padded.join(QStringLiteral(" | ")).trimmed() << '\n';
    };
    if (headers_) {
        line(header);
        QStringList rule;
        for (qsizetype i = 0; i < n; ++i) rule << QString(width[i], u'-');
        out_ << rule.join(QStringLiteral("-+-")) << '\n';
    }
    for (const auto& r : rows) line(r);
    out_ << "(" << rows.size() << " row" << (rows.size() == 1 ? "" : "s") << ")\n";
}

void Shell::runCommand(const QString& line) {
    const QStringList w = words(line);
    const QString cmd = w.value(0).toLower();
    const QStringList args = w.mid(1);
    try {
        if (cmd == u".help") {
            help();
        } else if (cmd == u".quit" || cmd == u".exit") {
            quit_ = true;
        } else if (cmd == u".tables") {
            tables(args);
        } else if (cmd == u".schema") {
            schema(args);
        } else if (cmd == u".indexes" || cmd == u".indices") {
            indexes(args);
        } else if (cmd == u".mode") {
            const QString m = args.value(0).toLower();
            if (args.size() != 1 || (m != u"table" && m != u"csv" && m != u"line"))
                return fail(QStringLiteral("usage: .mode table|csv|line"));
            mode_ = m == u"table" ? Mode::Table : (m == u"csv" ? Mode::Csv : Mode::Line);
        } else if (cmd == u".headers") {
            const QString v = args.value(0).toLower();
            if (args.size() != 1 || (v != u"on" && v != u"off"))
                return fail(QStringLiteral("usage: .headers on|off"));
            headers_ = v == u"on";
        } else if (cmd == u".check") {
            check();
        } else if (cmd == u".read") {
            read(args);
        } else if (cmd == u".output") {
            output(args);
        } else if (cmd == u".backup") {
            backup(args);
        } else if (cmd == u".dump") {
            dump(args);
        } else if (cmd == u".import") {
            import(args);
        } else {
            fail(QStringLiteral("unknown command %1; .help lists the commands.").arg(w.value(0)));
        }
    } catch (const std::exception& e) {
        failWith(e);
    }
    out_.flush();
}

void Shell::help() {
    out_ << QString::fromLatin1(kHelp).arg(modeName(mode_), headers_ ? "on" : "off");
}

QStringList Shell::tablesNamed(const QStringList& args) {
    if (args.isEmpty()) return db::userTables(*conn_);
    QStringList out;
    for (const QString& a : args) out << db::readTableDefinition(*conn_, a).name;
    return out;
}

void Shell::tables(const QStringList& args) {
    if (!args.isEmpty()) return fail(QStringLiteral("usage: .tables"));
    const QStringList names = db::userTables(*conn_);
    // In columns, as many as fit in 80 characters.
    qsizetype width = 0;
    for (const QString& n : names) width = std::max(width, n.size());
    const qsizetype perLine = std::max<qsizetype>(1, 80 / (width + 2));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const bool last = (i + 1) % perLine == 0 || i + 1 == names.size();
        out_ << (last ? names[i] : names[i].leftJustified(width + 2));
        if (last) out_ << '\n';
    }
}

void Shell::schema(const QStringList& args) {
    for (const QString& t : tablesNamed(args)) {
        const db::TableDef def = db::readTableDefinition(*conn_, t);
        out_ << db::jetCreateTable(def) << ";\n";
        for (const QString& ix : db::jetCreateIndexes(def)) out_ << ix << ";\n";
    }
}

void Shell::indexes(const QStringList& args) {
    if (args.size() > 1) return fail(QStringLiteral("usage: .indexes [TABLE]"));
    std::vector<QStringList> rows;
    for (const db::IndexInfo& ix : db::listIndexes(*conn_, args.value(0))) {
        QStringList cols;
        for (const QString& c : ix.columns) cols << c;
        rows.push_back({ix.name, ix.table, cols.join(QStringLiteral(", ")),
                        ix.primaryKey ? QStringLiteral("primary key")
                                      : (ix.unique ? QStringLiteral("unique") : QString())});
    }
    printRows({QStringLiteral("Index"), QStringLiteral("Table"), QStringLiteral("Columns"),
               QStringLiteral("Kind")},
              rows);
}

void Shell::check() {
    const QStringList problems = db::checkIntegrity(*conn_);
    if (problems.isEmpty()) {
        out_ << "ok\n";
        return;
    }
    for (const QString& p : problems) out_ << p << '\n';
    fail(QStringLiteral("the check found %1 problem(s).").arg(problems.size()));
}

void Shell::read(const QStringList& args) {
    if (args.size() != 1) return fail(QStringLiteral("usage: .read FILE"));
    if (readDepth_ >= kMaxReadDepth)
        return fail(QStringLiteral(".read is nested too deeply (%1 files).").arg(kMaxReadDepth));
    std::FILE* f = std::fopen(QFile::encodeName(args[0]).constData(), "r");
    if (!f) return fail(QStringLiteral("cannot read '%1'.").arg(args[0]));
    ++readDepth_;
    auto reader = streamReader(f);
    run(*reader);
    --readDepth_;
    std::fclose(f);
}

void Shell::output(const QStringList& args) {
    if (args.size() > 1) return fail(QStringLiteral("usage: .output [FILE]"));
    out_.flush();
    if (args.isEmpty() || args[0] == u"stdout") {
        out_.setDevice(&stdout_);
        file_.reset();
        return;
    }
    auto f = std::make_unique<QFile>(args[0]);
    if (!f->open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write '%1': %2").arg(args[0], f->errorString()));
    out_.setDevice(f.get());
    file_ = std::move(f);
}

void Shell::backup(const QStringList& args) {
    if (args.size() != 1) return fail(QStringLiteral("usage: .backup FILE"));
    if (inTransaction_)
        return fail(QStringLiteral("end the open transaction before taking a backup."));
    const db::BackupReport r = db::backupDatabase(*conn_, args[0]);
    out_ << QStringLiteral("Backup written to %1 (%2 bytes).\n")
                .arg(QFileInfo(args[0]).absoluteFilePath())
                .arg(r.bytes);
}

void Shell::dump(const QStringList& args) {
    const QStringList names = tablesNamed(args);
    out_ << "BEGIN TRANSACTION;\n";
    for (const QString& t : names) {
        const db::TableDef def = db::readTableDefinition(*conn_, t);
        out_ << db::jetCreateTable(def) << ";\n";
        QStringList cols;
        for (const db::ColumnDef& c : def.columns) cols << bracketed(c.name);
        const QString head = QStringLiteral("INSERT INTO %1 (%2) VALUES (")
                                 .arg(bracketed(def.name), cols.join(u", "));
        db::Recordset rs;
        rs.Open(QStringLiteral("SELECT %1 FROM %2").arg(cols.join(u", "), bracketed(def.name)),
                conn_);
        bool binaryLeftOut = false;
        for (; !rs.Eof(); rs.MoveNext()) {
            QStringList values;
            for (int i = 0; i < int(def.columns.size()); ++i) {
                QString literal;
                if (!db::jetLiteral(rs.Fields(i).Value(), literal)) binaryLeftOut = true;
                values << literal;
            }
            out_ << head << values.join(u", ") << ");\n";
        }
        rs.Close();
        for (const QString& ix : db::jetCreateIndexes(def)) out_ << ix << ";\n";
        if (binaryLeftOut)
            fail(QStringLiteral("%1 holds binary values, which Jet SQL cannot write: the dump "
                                "gives them as Null.")
                     .arg(def.name));
    }
    out_ << "COMMIT TRANSACTION;\n";
}

void Shell::import(const QStringList& args) {
    if (args.size() != 2) return fail(QStringLiteral("usage: .import CSV TABLE"));
    if (inTransaction_) return fail(QStringLiteral("end the open transaction before importing."));
    QFile f(args[0]);
    if (!f.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read '%1': %2").arg(args[0], f.errorString()));
    CsvReader csv(QString::fromUtf8(f.readAll()));
    std::optional<CsvRecord> header = csv.next();
    if (!header || header->fields.isEmpty())
        return fail(
            QStringLiteral("'%1' is empty: its first line must name the columns.").arg(args[0]));
    QStringList names;
    for (const CsvField& field : header->fields) names << field.text.trimmed();
    if (names.contains(QString()))
        return fail(QStringLiteral("'%1': a column name in the first line is empty.").arg(args[0]));

    db::Engine& e = conn_->engine();
    QString table = args[1];
    bool exists = false;
    for (const QString& t : db::userTables(*conn_)) {
        if (t.compare(table, Qt::CaseInsensitive) == 0) {
            table = t;
            exists = true;
        }
    }

    std::vector<CsvRecord> records;
    for (std::optional<CsvRecord> r; (r = csv.next());) records.push_back(std::move(*r));
    if (!csv.error().isEmpty()) return fail(QStringLiteral("'%1': %2").arg(args[0], csv.error()));

    db::WriteTransaction transaction(e);
    try {
        if (!exists) {
            // A new table of text columns, long enough for what the file holds.
            db::TableDef def;
            def.name = table;
            for (qsizetype i = 0; i < names.size(); ++i) {
                qsizetype longest = 0;
                for (const CsvRecord& r : records)
                    if (i < r.fields.size()) longest = std::max(longest, r.fields[i].text.size());
                db::ColumnDef c;
                c.name = names[i];
                c.type = longest > 255 ? db::JetType::Memo : db::JetType::Text;
                c.size = 255;
                def.columns.push_back(c);
            }
            db::createTable(*conn_, def);
            e.schemaChanged();
        } else {
            const db::TableDef def = db::readTableDefinition(*conn_, table);
            for (const QString& n : names) {
                bool found = false;
                for (const db::ColumnDef& c : def.columns)
                    found = found || c.name.compare(n, Qt::CaseInsensitive) == 0;
                if (!found)
                    throw rt::Error(
                        rt::err::DbItemNotFound,
                        QStringLiteral("'%1': %2 has no column %3.").arg(args[0], table, n));
            }
        }
        db::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM %1 WHERE 1=0").arg(bracketed(table)), conn_,
                db::adOpenDynamic, db::adLockOptimistic);
        for (const CsvRecord& r : records) {
            if (r.fields.size() != names.size())
                throw rt::Error(
                    rt::err::DbGeneric,
                    QStringLiteral("'%1' line %2: %3 fields where the first line names %4.")
                        .arg(args[0])
                        .arg(r.line)
                        .arg(r.fields.size())
                        .arg(names.size()));
            try {
                rs.AddNew();
                for (qsizetype i = 0; i < names.size(); ++i) {
                    const CsvField& field = r.fields[i];
                    // An empty field without quotes is Null; "" is an empty text.
                    rs.Fields(names[i]) = field.text.isEmpty() && !field.quoted
                                              ? rt::Variant::null()
                                              : rt::Variant(field.text);
                }
                rs.Update();
            } catch (const rt::Error& err) {
                throw rt::Error(err.number(), QStringLiteral("'%1' line %2: %3")
                                                  .arg(args[0])
                                                  .arg(r.line)
                                                  .arg(err.description()));
            }
        }
        rs.Close();
        transaction.commit();
    } catch (...) {
        // The transaction rolls back as it goes; the new table goes with it.
        e.schemaChanged();
        throw;
    }
    out_ << QStringLiteral("%1 row(s) imported into %2.\n").arg(records.size()).arg(table);
}

}  // namespace jetsql

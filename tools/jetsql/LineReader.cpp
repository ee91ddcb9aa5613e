#include "tools/jetsql/LineReader.h"

#include <QByteArray>
#include <QFile>

#include <editline/readline.h>

#include <cstdlib>

namespace jetsql {

namespace {

class TerminalReader final : public LineReader {
  public:
    explicit TerminalReader(QString historyFile) : history_(std::move(historyFile)) {
        using_history();
        stifle_history(2000);
        if (!history_.isEmpty()) read_history(QFile::encodeName(history_).constData());
    }
    ~TerminalReader() override {
        if (!history_.isEmpty()) write_history(QFile::encodeName(history_).constData());
    }

    std::optional<QString> readLine(const QString& prompt) override {
        char* raw = readline(prompt.toLocal8Bit().constData());
        if (!raw) return std::nullopt;
        QString line = QString::fromLocal8Bit(raw);
        if (!line.trimmed().isEmpty()) add_history(raw);
        std::free(raw);
        return line;
    }
    bool interactive() const override { return true; }

  private:
    QString history_;
};

class StreamReader final : public LineReader {
  public:
    explicit StreamReader(std::FILE* in) : in_(in) {}

    std::optional<QString> readLine(const QString&) override {
        QByteArray line;
        char buf[4096];
        bool any = false;
        while (std::fgets(buf, sizeof buf, in_)) {
            any = true;
            line += buf;
            if (line.endsWith('\n')) break;
        }
        if (!any) return std::nullopt;
        if (line.endsWith('\n')) line.chop(1);
        if (line.endsWith('\r')) line.chop(1);
        return QString::fromUtf8(line);
    }
    bool interactive() const override { return false; }

  private:
    std::FILE* in_;
};

}  // namespace

std::unique_ptr<LineReader> terminalReader(const QString& historyFile) {
    return std::make_unique<TerminalReader>(historyFile);
}

std::unique_ptr<LineReader> streamReader(std::FILE* in) {
    return std::make_unique<StreamReader>(in);
}

}  // namespace jetsql

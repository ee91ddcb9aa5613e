#include "tools/jetsql/StatementSplitter.h"

namespace jetsql {

void StatementSplitter::finish(QStringList& out) {
    const QString s = buffer_.trimmed();
    if (!s.isEmpty()) out << s;
    buffer_.clear();
    parens_ = 0;
}

QStringList StatementSplitter::addLine(const QString& line) {
    QStringList out;
    for (QChar ch : line) {
        if (!quote_.isNull()) {
            // A doubled quote stays inside the literal: closing and reopening
            // at once reads the same.
            if (ch == quote_) quote_ = QChar();
        } else if (bracket_) {
            if (ch == u']') bracket_ = false;
        } else if (ch == u'\'' || ch == u'"') {
            quote_ = ch;
        } else if (ch == u'[') {
            bracket_ = true;
        } else if (ch == u'(') {
            ++parens_;
        } else if (ch == u')') {
            --parens_;
        } else if (ch == u';') {
            finish(out);
            continue;
        }
        buffer_ += ch;
    }
    const bool open = !quote_.isNull() || bracket_ || parens_ > 0;
    if (lineEnds_ && !open) {
        finish(out);
    } else if (!buffer_.isEmpty()) {
        buffer_ += u'\n';
    }
    return out;
}

QString StatementSplitter::takeRest() {
    QString s = buffer_.trimmed();
    buffer_.clear();
    quote_ = QChar();
    bracket_ = false;
    parens_ = 0;
    return s;
}

}  // namespace jetsql

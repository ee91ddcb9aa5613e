#include "tools/jetsql/Csv.h"

namespace jetsql {

std::optional<CsvRecord> CsvReader::next() {
    if (!error_.isEmpty()) return std::nullopt;
    // Blank lines between records are skipped.
    while (pos_ < text_.size() && (text_[pos_] == u'\n' || text_[pos_] == u'\r')) {
        if (text_[pos_] == u'\n') ++line_;
        ++pos_;
    }
    if (pos_ >= text_.size()) return std::nullopt;
    CsvRecord rec;
    rec.line = line_;
    if (pos_ == 0 && text_.startsWith(QChar(0xFEFF))) ++pos_;  // a byte-order mark
    for (;;) {
        CsvField field;
        if (pos_ < text_.size() && text_[pos_] == u'"') {
            field.quoted = true;
            ++pos_;
            for (;;) {
                if (pos_ >= text_.size()) {
                    error_ = QStringLiteral("line %1: a quoted field is not closed.").arg(rec.line);
                    return std::nullopt;
                }
                const QChar ch = text_[pos_++];
                if (ch == u'"') {
                    if (pos_ < text_.size() && text_[pos_] == u'"') {
                        field.text += u'"';
                        ++pos_;
                    } else {
                        break;
                    }
                } else {
                    if (ch == u'\n') ++line_;
                    field.text += ch;
                }
            }
            if (pos_ < text_.size() && text_[pos_] != u',' && text_[pos_] != u'\n' &&
                text_[pos_] != u'\r') {
                error_ = QStringLiteral("line %1: text after a closing quote.").arg(line_);
                return std::nullopt;
            }
        } else {
            while (pos_ < text_.size() && text_[pos_] != u',' && text_[pos_] != u'\n' &&
                   text_[pos_] != u'\r')
                field.text += text_[pos_++];
        }
        rec.fields << field;
        if (pos_ < text_.size() && text_[pos_] == u',') {
            ++pos_;
            continue;
        }
        if (pos_ < text_.size() && text_[pos_] == u'\r') ++pos_;
        if (pos_ < text_.size() && text_[pos_] == u'\n') {
            ++pos_;
            ++line_;
        }
        return rec;
    }
}

}  // namespace jetsql

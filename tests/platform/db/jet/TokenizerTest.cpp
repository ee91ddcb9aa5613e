// The scanner: token kinds and lengths, literal values, keywords.
#include <gtest/gtest.h>

#include "platform/db/jet/Tokenizer.h"

namespace {

using db::jet::Keyword;
using db::jet::TokenKind;

struct ScanCase {
    const char16_t* text;
    TokenKind kind;
    qsizetype length;
};

const ScanCase kScanCases[] = {
    {u"", TokenKind::End, 0},
    {u"   \t\r\nx", TokenKind::Space, 6},
    {u"select *", TokenKind::Word, 6},
    {u"curr_year2 ", TokenKind::Word, 10},
    {u"Größe=1", TokenKind::Word, 5},
    {u"[Order Details].x", TokenKind::Name, 15},
    {u"[abc", TokenKind::UnterminatedName, 4},
    {u"'it''s' x", TokenKind::Text, 7},
    {u"\"say \"\"hi\"\"\" x", TokenKind::Text, 12},
    {u"'abc", TokenKind::UnterminatedText, 4},
    {u"'ab''", TokenKind::UnterminatedText, 5},
    {u"\"x'", TokenKind::UnterminatedText, 3},
    {u"#12/08/2026# and", TokenKind::Date, 12},
    {u"#12/08", TokenKind::UnterminatedDate, 6},
    {u"12.5e3x", TokenKind::Number, 6},
    {u"12e+", TokenKind::Number, 2},
    {u".5)", TokenKind::Number, 2},
    {u"7.", TokenKind::Number, 2},
    {u".x", TokenKind::Dot, 1},
    {u"<>1", TokenKind::Ne, 2},
    {u"<=1", TokenKind::Le, 2},
    {u">=1", TokenKind::Ge, 2},
    {u"<1", TokenKind::Lt, 1},
    {u">1", TokenKind::Gt, 1},
    {u"=1", TokenKind::Eq, 1},
    {u"-1", TokenKind::Minus, 1},
    {u"-- note", TokenKind::Comment, 2},
    {u"/* note */", TokenKind::Comment, 2},
    {u"/2", TokenKind::Slash, 1},
    {u"\\2", TokenKind::Backslash, 1},
    {u"^2", TokenKind::Caret, 1},
    {u"&b", TokenKind::Amp, 1},
    {u"*", TokenKind::Star, 1},
    {u";", TokenKind::Semicolon, 1},
    {u"!a", TokenKind::Illegal, 1},
    {u"?", TokenKind::Illegal, 1},
    {u"`x`", TokenKind::Illegal, 1},
    {u"\x01", TokenKind::Illegal, 1},
    {u"\U0001F600x", TokenKind::Illegal, 2},
};

TEST(JetTokenizer, ScansEachKindWithItsLength) {
    for (const ScanCase& c : kScanCases) {
        const QString text = QString::fromUtf16(c.text);
        const db::jet::Scan s = db::jet::nextToken(text);
        EXPECT_EQ(int(s.kind), int(c.kind)) << text.toStdString();
        EXPECT_EQ(s.length, c.length) << text.toStdString();
    }
}

TEST(JetTokenizer, UnquotesDoubledQuotes) {
    EXPECT_EQ(db::jet::unquoteText(u"'it''s'"), QStringLiteral("it's"));
    EXPECT_EQ(db::jet::unquoteText(u"\"say \"\"hi\"\"\""), QStringLiteral("say \"hi\""));
    EXPECT_EQ(db::jet::unquoteText(u"'a\"b'"), QStringLiteral("a\"b"));
    EXPECT_EQ(db::jet::unquoteText(u"''"), QString());
    EXPECT_EQ(db::jet::unquoteText(u"''''"), QStringLiteral("'"));
    EXPECT_EQ(db::jet::innerText(u"[Order Details]"), QStringLiteral("Order Details"));
    EXPECT_EQ(db::jet::innerText(u"#1/2/2026#"), QStringLiteral("1/2/2026"));
}

TEST(JetTokenizer, TokenizeSkipsBlanksAndEndsWithEnd) {
    const QString text = QStringLiteral("Delete * from logs where dates>#12/08/2026#");
    const auto toks = db::jet::tokenize(text);
    ASSERT_EQ(toks.size(), 9u);
    EXPECT_EQ(int(toks[1].kind), int(TokenKind::Star));
    EXPECT_EQ(int(toks[6].kind), int(TokenKind::Gt));
    EXPECT_EQ(int(toks[7].kind), int(TokenKind::Date));
    EXPECT_EQ(text.mid(toks[7].pos, toks[7].length), QStringLiteral("#12/08/2026#"));
    EXPECT_EQ(int(toks[8].kind), int(TokenKind::End));
    EXPECT_EQ(toks[8].pos, text.size());
}

TEST(JetTokenizer, KeywordsIgnoreLetterCase) {
    EXPECT_EQ(db::jet::keywordOf(u"select"), Keyword::Select);
    EXPECT_EQ(db::jet::keywordOf(u"SeLeCt"), Keyword::Select);
    EXPECT_EQ(db::jet::keywordOf(u"DISTINCTROW"), Keyword::DistinctRow);
    EXPECT_EQ(db::jet::keywordOf(u"right"), Keyword::Right);
    EXPECT_EQ(db::jet::keywordOf(u"yes"), Keyword::Yes);
    EXPECT_EQ(db::jet::keywordOf(u"selects"), Keyword::None);
    EXPECT_EQ(db::jet::keywordOf(u"maxYear"), Keyword::None);
    EXPECT_EQ(db::jet::keywordOf(u""), Keyword::None);
    EXPECT_EQ(db::jet::keywordOf(u"sélect"), Keyword::None);
}

}  // namespace

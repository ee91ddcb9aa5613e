// Jet SQL tokens: a pure scanner over a character-class table, and the keyword
// table that the parser consults (the scanner itself knows no keywords).
//
// nextToken() looks only at the text it is given and returns the kind and the
// length of the first token; it never fails. Malformed input becomes a token
// kind of its own (an unterminated literal, an illegal character, a comment
// opener), so the parser can quote it in its error.
#pragma once

#include <QString>
#include <QStringView>
#include <vector>

namespace db::jet {

enum class TokenKind : unsigned char {
    End,               // no more text
    Space,             // blanks, tabs, line breaks
    Word,              // letters, digits, '_' (a name or a keyword)
    Name,              // [bracketed name]
    Number,            // 12  12.5  .5  1e3  1.5E-2
    Text,              // 'text' or "text" (a doubled quote stands for itself)
    Date,              // #date#
    UnterminatedText,  // ' or " without its closing quote
    UnterminatedName,  // [ without ]
    UnterminatedDate,  // # without its closing #
    LParen,
    RParen,
    Comma,
    Semicolon,
    Dot,
    Star,
    Plus,
    Minus,
    Slash,
    Backslash,
    Caret,
    Amp,
    Eq,
    Ne,  // <>
    Lt,
    Le,
    Gt,
    Ge,
    Comment,  // -- or /*: not Jet SQL
    Illegal,  // any other character
};

struct Scan {
    TokenKind kind;
    qsizetype length;  // 0 only for End
};

// The first token of `text`. REQUIRES: nothing; an empty view gives End.
Scan nextToken(QStringView text);

struct Token {
    TokenKind kind;
    qsizetype pos;
    qsizetype length;
};

// Every token of `text` but the blanks, ending with one End token.
std::vector<Token> tokenize(const QString& text);

// The value of a Text token: the quotes removed, doubled quotes made single.
QString unquoteText(QStringView token);
// The inside of a Name or Date token (brackets or # signs removed).
QString innerText(QStringView token);

enum class Keyword : unsigned char {
    None,
    All,
    And,
    Any,
    As,
    Asc,
    Between,
    By,
    Delete,
    Desc,
    Distinct,
    DistinctRow,
    Eqv,
    Exists,
    False,
    From,
    Full,
    Group,
    Having,
    Imp,
    In,
    Inner,
    Insert,
    Into,
    Is,
    Join,
    Left,
    Like,
    Mod,
    No,
    Not,
    Null,
    On,
    Or,
    Order,
    Outer,
    Percent,
    Right,
    Select,
    Set,
    Some,
    Top,
    True,
    Union,
    Update,
    Values,
    Where,
    Xor,
    Yes,
    // Statements and clauses of Jet SQL that this translator does not take;
    // reserved so that they are refused by name.
    Alter,
    Create,
    Drop,
    Parameters,
    Pivot,
    Transform,
};

// The keyword a Word token spells (any letter case), or None.
Keyword keywordOf(QStringView word);

}  // namespace db::jet

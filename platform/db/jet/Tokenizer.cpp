// Jet SQL scanner: one pass over a character-class table, no keywords inside.
#include "platform/db/jet/Tokenizer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace db::jet {

namespace {

enum class CharClass : unsigned char {
    Space,
    Letter,  // also '_' and the letters and digits beyond ASCII
    Digit,
    Quote,  // ' or "
    LBracket,
    Hash,
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
    Lt,
    Gt,
    Illegal,
};

constexpr std::array<CharClass, 128> makeTable() {
    std::array<CharClass, 128> t{};
    for (auto& c : t) c = CharClass::Illegal;
    t[' '] = t['\t'] = t['\n'] = t['\r'] = t['\f'] = t['\v'] = CharClass::Space;
    for (int c = 'a'; c <= 'z'; ++c) t[c] = CharClass::Letter;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = CharClass::Letter;
    t['_'] = CharClass::Letter;
    for (int c = '0'; c <= '9'; ++c) t[c] = CharClass::Digit;
    t['\''] = t['"'] = CharClass::Quote;
    t['['] = CharClass::LBracket;
    t['#'] = CharClass::Hash;
    t['('] = CharClass::LParen;
    t[')'] = CharClass::RParen;
    t[','] = CharClass::Comma;
    t[';'] = CharClass::Semicolon;
    t['.'] = CharClass::Dot;
    t['*'] = CharClass::Star;
    t['+'] = CharClass::Plus;
    t['-'] = CharClass::Minus;
    t['/'] = CharClass::Slash;
    t['\\'] = CharClass::Backslash;
    t['^'] = CharClass::Caret;
    t['&'] = CharClass::Amp;
    t['='] = CharClass::Eq;
    t['<'] = CharClass::Lt;
    t['>'] = CharClass::Gt;
    return t;
}

constexpr std::array<CharClass, 128> kClasses = makeTable();

CharClass classOf(QChar c) {
    const char16_t u = c.unicode();
    if (u < 128) return kClasses[u];
    if (c.isSpace()) return CharClass::Space;
    if (c.isLetterOrNumber()) return CharClass::Letter;
    return CharClass::Illegal;
}

bool isDigit(QStringView s, qsizetype i) { return i < s.size() && s[i] >= u'0' && s[i] <= u'9'; }

// Digits, an optional fraction and an optional exponent, from `i`.
qsizetype scanNumber(QStringView s) {
    qsizetype i = 0;
    while (isDigit(s, i)) ++i;
    if (i < s.size() && s[i] == u'.') {
        ++i;
        while (isDigit(s, i)) ++i;
    }
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) ++j;
        if (isDigit(s, j)) {
            while (isDigit(s, j)) ++j;
            i = j;
        }
    }
    return i;
}

}  // namespace

Scan nextToken(QStringView s) {
    if (s.isEmpty()) return {TokenKind::End, 0};
    const qsizetype n = s.size();
    switch (classOf(s[0])) {
        case CharClass::Space: {
            qsizetype i = 1;
            while (i < n && classOf(s[i]) == CharClass::Space) ++i;
            return {TokenKind::Space, i};
        }
        case CharClass::Letter: {
            qsizetype i = 1;
            while (i < n) {
                CharClass c = classOf(s[i]);
                if (c != CharClass::Letter && c != CharClass::Digit) break;
                ++i;
            }
            // Left$( Mid$( ...: the text-returning spelling of a function.
            if (i + 1 < n && s[i] == u'$' && s[i + 1] == u'(') ++i;
            return {TokenKind::Word, i};
        }
        case CharClass::Digit:
            return {TokenKind::Number, scanNumber(s)};
        case CharClass::Dot:
            if (isDigit(s, 1)) return {TokenKind::Number, scanNumber(s)};
            return {TokenKind::Dot, 1};
        case CharClass::Quote: {
            const QChar q = s[0];
            for (qsizetype i = 1; i < n; ++i) {
                if (s[i] != q) continue;
                if (i + 1 < n && s[i + 1] == q) {
                    ++i;  // a doubled quote stands for itself
                    continue;
                }
                return {TokenKind::Text, i + 1};
            }
            return {TokenKind::UnterminatedText, n};
        }
        case CharClass::LBracket: {
            for (qsizetype i = 1; i < n; ++i)
                if (s[i] == u']') return {TokenKind::Name, i + 1};
            return {TokenKind::UnterminatedName, n};
        }
        case CharClass::Hash: {
            for (qsizetype i = 1; i < n; ++i)
                if (s[i] == u'#') return {TokenKind::Date, i + 1};
            return {TokenKind::UnterminatedDate, n};
        }
        case CharClass::LParen:
            return {TokenKind::LParen, 1};
        case CharClass::RParen:
            return {TokenKind::RParen, 1};
        case CharClass::Comma:
            return {TokenKind::Comma, 1};
        case CharClass::Semicolon:
            return {TokenKind::Semicolon, 1};
        case CharClass::Star:
            return {TokenKind::Star, 1};
        case CharClass::Plus:
            return {TokenKind::Plus, 1};
        case CharClass::Minus:
            if (n > 1 && s[1] == u'-') return {TokenKind::Comment, 2};
            return {TokenKind::Minus, 1};
        case CharClass::Slash:
            if (n > 1 && s[1] == u'*') return {TokenKind::Comment, 2};
            return {TokenKind::Slash, 1};
        case CharClass::Backslash:
            return {TokenKind::Backslash, 1};
        case CharClass::Caret:
            return {TokenKind::Caret, 1};
        case CharClass::Amp: {
            // &H1F and &O17: hexadecimal and octal whole numbers, when the
            // digits are not followed by more of a word (a & Hello joins).
            if (n > 2 && (s[1] == u'H' || s[1] == u'h' || s[1] == u'O' || s[1] == u'o')) {
                const bool hex = s[1] == u'H' || s[1] == u'h';
                qsizetype i = 2;
                auto digit = [&](QChar c) {
                    if (hex)
                        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') ||
                               (c >= u'A' && c <= u'F');
                    return c >= u'0' && c <= u'7';
                };
                while (i < n && digit(s[i])) ++i;
                if (i > 2 && (i == n || (classOf(s[i]) != CharClass::Letter &&
                                         classOf(s[i]) != CharClass::Digit)))
                    return {TokenKind::Number, i};
            }
            return {TokenKind::Amp, 1};
        }
        case CharClass::Eq:
            return {TokenKind::Eq, 1};
        case CharClass::Lt:
            if (n > 1 && s[1] == u'>') return {TokenKind::Ne, 2};
            if (n > 1 && s[1] == u'=') return {TokenKind::Le, 2};
            return {TokenKind::Lt, 1};
        case CharClass::Gt:
            if (n > 1 && s[1] == u'=') return {TokenKind::Ge, 2};
            return {TokenKind::Gt, 1};
        case CharClass::Illegal:
            break;
    }
    // A lone surrogate half or a pair: one illegal token for the whole character.
    if (s[0].isHighSurrogate() && n > 1 && s[1].isLowSurrogate()) return {TokenKind::Illegal, 2};
    return {TokenKind::Illegal, 1};
}

std::vector<Token> tokenize(const QString& text) {
    std::vector<Token> out;
    QStringView rest(text);
    qsizetype pos = 0;
    for (;;) {
        Scan sc = nextToken(rest.mid(pos));
        if (sc.kind == TokenKind::End) break;
        if (sc.kind != TokenKind::Space) out.push_back({sc.kind, pos, sc.length});
        pos += sc.length;
    }
    out.push_back({TokenKind::End, text.size(), 0});
    return out;
}

QString unquoteText(QStringView token) {
    if (token.size() < 2) return QString();
    const QChar q = token[0];
    QString out;
    out.reserve(token.size() - 2);
    for (qsizetype i = 1; i + 1 < token.size(); ++i) {
        out += token[i];
        if (token[i] == q) ++i;  // skip the second quote of a pair
    }
    return out;
}

QString innerText(QStringView token) {
    if (token.size() < 2) return QString();
    return token.mid(1, token.size() - 2).toString();
}

namespace {

struct KeywordEntry {
    const char* text;
    Keyword keyword;
};

// Sorted by text for the binary search below.
constexpr KeywordEntry kKeywords[] = {
    {"ALL", Keyword::All},
    {"ALTER", Keyword::Alter},
    {"AND", Keyword::And},
    {"ANY", Keyword::Any},
    {"AS", Keyword::As},
    {"ASC", Keyword::Asc},
    {"BETWEEN", Keyword::Between},
    {"BY", Keyword::By},
    {"CREATE", Keyword::Create},
    {"DELETE", Keyword::Delete},
    {"DESC", Keyword::Desc},
    {"DISTINCT", Keyword::Distinct},
    {"DISTINCTROW", Keyword::DistinctRow},
    {"DROP", Keyword::Drop},
    {"EQV", Keyword::Eqv},
    {"EXISTS", Keyword::Exists},
    {"FALSE", Keyword::False},
    {"FROM", Keyword::From},
    {"FULL", Keyword::Full},
    {"GROUP", Keyword::Group},
    {"HAVING", Keyword::Having},
    {"IMP", Keyword::Imp},
    {"IN", Keyword::In},
    {"INNER", Keyword::Inner},
    {"INSERT", Keyword::Insert},
    {"INTO", Keyword::Into},
    {"IS", Keyword::Is},
    {"JOIN", Keyword::Join},
    {"LEFT", Keyword::Left},
    {"LIKE", Keyword::Like},
    {"MOD", Keyword::Mod},
    {"NO", Keyword::No},
    {"NOT", Keyword::Not},
    {"NULL", Keyword::Null},
    {"ON", Keyword::On},
    {"OR", Keyword::Or},
    {"ORDER", Keyword::Order},
    {"OUTER", Keyword::Outer},
    {"PARAMETERS", Keyword::Parameters},
    {"PERCENT", Keyword::Percent},
    {"PIVOT", Keyword::Pivot},
    {"RIGHT", Keyword::Right},
    {"SELECT", Keyword::Select},
    {"SET", Keyword::Set},
    {"SOME", Keyword::Some},
    {"TOP", Keyword::Top},
    {"TRANSFORM", Keyword::Transform},
    {"TRUE", Keyword::True},
    {"UNION", Keyword::Union},
    {"UPDATE", Keyword::Update},
    {"VALUES", Keyword::Values},
    {"WHERE", Keyword::Where},
    {"XOR", Keyword::Xor},
    {"YES", Keyword::Yes},
};

constexpr qsizetype kLongestKeyword = 11;

}  // namespace

Keyword keywordOf(QStringView word) {
    if (word.isEmpty() || word.size() > kLongestKeyword) return Keyword::None;
    char upper[kLongestKeyword + 1];
    for (qsizetype i = 0; i < word.size(); ++i) {
        char16_t c = word[i].unicode();
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
        if (c < u'A' || c > u'Z') return Keyword::None;
        upper[i] = char(c);
    }
    upper[word.size()] = '\0';
    auto it = std::lower_bound(
        std::begin(kKeywords), std::end(kKeywords), upper,
        [](const KeywordEntry& e, const char* key) { return std::strcmp(e.text, key) < 0; });
    if (it != std::end(kKeywords) && std::strcmp(it->text, upper) == 0) return it->keyword;
    return Keyword::None;
}

}  // namespace db::jet

#include "platform/db/PgSql.h"

#include <QStringList>

namespace vidra {

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isNameStart(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// Only ASCII letters change case: the server leaves the rest of an unquoted
// name as it is in a UTF-8 database.
QString foldAscii(const QString& name)
{
    QString out = name;
    for (QChar& c : out)
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + 32);
    return out;
}

enum class Kind
{
    Name,       // an unquoted word (keyword or name)
    QuotedName, // "..."
    Literal,    // a string or a number
    Parameter,  // $1
    Open,
    Close,
    Comma,
    Semicolon,
    Dot,
    Star,
    Operator // anything else: + - :: = ...
};

struct Token
{
    Kind kind;
    QString text; // the name (a quoted one unquoted) or the operator
    int depth;    // of parentheses and brackets around it
};

// A statement's tokens; comments and blanks are dropped. Reading errors give
// what was read so far: the server judges the statement itself.
std::vector<Token> tokenize(const QString& sql)
{
    std::vector<Token> out;
    int depth = 0;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    const auto add = [&](Kind kind, QString text = QString()) {
        out.push_back({kind, std::move(text), depth});
    };
    while (i < n) {
        const QChar c = sql[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            int nesting = 0;
            while (i < n) {
                if (sql[i] == u'/' && i + 1 < n && sql[i + 1] == u'*') {
                    ++nesting;
                    i += 2;
                } else if (sql[i] == u'*' && i + 1 < n && sql[i + 1] == u'/') {
                    i += 2;
                    if (--nesting == 0) break;
                } else {
                    ++i;
                }
            }
        } else if (c == u'\'' || (isAsciiLetter(c) && i + 1 < n && sql[i + 1] == u'\'' &&
                                  QStringLiteral("eEbBxXnN").contains(c))) {
            // 'text', E'te\'xt', B'101', X'1F', N'text'
            const bool backslashes = c == u'e' || c == u'E';
            if (c != u'\'') ++i;
            ++i;
            while (i < n) {
                if (backslashes && sql[i] == u'\\') {
                    i += 2;
                } else if (sql[i] == u'\'') {
                    if (i + 1 < n && sql[i + 1] == u'\'') {
                        i += 2;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    ++i;
                }
            }
            add(Kind::Literal);
        } else if (c == u'"') {
            QString name;
            ++i;
            while (i < n) {
                if (sql[i] == u'"') {
                    if (i + 1 < n && sql[i + 1] == u'"') {
                        name += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                name += sql[i++];
            }
            add(Kind::QuotedName, name);
        } else if (c == u'$' && i + 1 < n && sql[i + 1].isDigit()) {
            ++i;
            while (i < n && sql[i].isDigit())
                ++i;
            add(Kind::Parameter);
        } else if (c == u'$') {
            // $tag$ ... $tag$
            qsizetype j = i + 1;
            while (j < n && sql[j] != u'$' && isNameChar(sql[j]) && sql[j] != u'$')
                ++j;
            if (j < n && sql[j] == u'$') {
                const QString tag = sql.mid(i, j + 1 - i);
                const qsizetype close = sql.indexOf(tag, j + 1);
                i = close < 0 ? n : close + tag.size();
                add(Kind::Literal);
            } else {
                ++i;
                add(Kind::Operator, QStringLiteral("$"));
            }
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && sql[i + 1].isDigit())) {
            while (i < n && (sql[i].isLetterOrNumber() || sql[i] == u'.' || sql[i] == u'_' ||
                             ((sql[i] == u'+' || sql[i] == u'-') &&
                              (sql[i - 1] == u'e' || sql[i - 1] == u'E'))))
                ++i;
            add(Kind::Literal);
        } else if (isNameStart(c)) {
            const qsizetype start = i;
            while (i < n && isNameChar(sql[i]))
                ++i;
            add(Kind::Name, foldAscii(sql.mid(start, i - start)));
        } else if (c == u'(' || c == u'[') {
            add(Kind::Open);
            ++depth;
            ++i;
        } else if (c == u')' || c == u']') {
            if (depth > 0) --depth;
            add(Kind::Close);
            ++i;
        } else if (c == u',') {
            add(Kind::Comma);
            ++i;
        } else if (c == u';') {
            add(Kind::Semicolon);
            ++i;
        } else if (c == u'.') {
            add(Kind::Dot);
            ++i;
        } else if (c == u'*') {
            add(Kind::Star);
            ++i;
        } else {
            static const QString opChars = QStringLiteral("+-/<>=~!@#%^&|`?:");
            const qsizetype start = i;
            while (i < n && opChars.contains(sql[i]))
                ++i;
            if (i == start) ++i;
            add(Kind::Operator, sql.mid(start, i - start));
        }
    }
    return out;
}

bool isWord(const Token& t, const char* word)
{
    return t.kind == Kind::Name && t.text == QLatin1String(word);
}

// Words after which the select list ends.
bool endsList(const Token& t)
{
    if (t.kind == Kind::Semicolon) return true;
    static const QStringList words = {"from",   "into",  "where",     "group",  "having",
                                      "window", "order", "limit",     "offset", "fetch",
                                      "for",    "union", "intersect", "except"};
    return t.kind == Kind::Name && words.contains(t.text);
}

// Words that end an expression and so are never an alias.
bool endsExpression(const Token& t)
{
    static const QStringList words = {"end",     "null",   "true",   "false",
                                      "unknown", "isnull", "notnull"};
    return t.kind == Kind::Name && words.contains(t.text);
}

// Words after which a name continues the expression instead of naming it.
bool continuesExpression(const Token& t)
{
    static const QStringList words = {"and",  "or",      "not",     "is",       "like",    "ilike",
                                      "in",   "between", "similar", "collate",  "as",      "then",
                                      "else", "when",    "case",    "distinct", "escape",  "at",
                                      "zone", "array",   "row",     "interval", "overlaps"};
    return t.kind == Kind::Name && words.contains(t.text);
}

std::optional<QString> nameOf(const std::vector<Token>& item)
{
    const size_t n = item.size();
    if (n == 0) return std::nullopt;
    const Token& last = item[n - 1];
    const bool lastIsName =
        (last.kind == Kind::Name && !endsExpression(last)) || last.kind == Kind::QuotedName;
    if (!lastIsName) return std::nullopt;
    if (n == 1) return last.text; // a column named alone
    const Token& before = item[n - 2];
    if (isWord(before, "as")) return last.text;
    // "v.telefon": a column of a named table.
    if (before.kind == Kind::Dot) {
        for (size_t k = 0; k + 1 < n; ++k) {
            const bool wantName = k % 2 == 0;
            const Kind kind = item[k].kind;
            if (wantName ? kind != Kind::Name && kind != Kind::QuotedName : kind != Kind::Dot)
                return std::nullopt;
        }
        return n % 2 == 1 ? std::optional<QString>(last.text) : std::nullopt;
    }
    // "count(*) n": an alias without AS after something that ends a value.
    const bool beforeEndsValue = before.kind == Kind::Close || before.kind == Kind::Literal ||
                                 before.kind == Kind::Parameter ||
                                 before.kind == Kind::QuotedName ||
                                 (before.kind == Kind::Name && !continuesExpression(before));
    if (beforeEndsValue && last.depth == 0) return last.text;
    return std::nullopt;
}

} // namespace

QString serverName(const QString& name)
{
    bool plain = !name.isEmpty() && isNameStart(name[0]);
    for (QChar c : name)
        plain = plain && (c.isLetterOrNumber() || c == u'_');
    return plain ? foldAscii(name) : name;
}

QString serverIdentifier(const QString& name)
{
    QString q = serverName(name);
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

std::vector<std::optional<QString>> selectListNames(const QString& sql)
{
    const std::vector<Token> tokens = tokenize(sql);
    size_t i = 0;
    while (i < tokens.size() && !(tokens[i].depth == 0 && isWord(tokens[i], "select")))
        ++i;
    if (i == tokens.size()) return {};
    ++i;
    if (i < tokens.size() && isWord(tokens[i], "all")) {
        ++i;
    } else if (i < tokens.size() && isWord(tokens[i], "distinct")) {
        ++i;
        if (i < tokens.size() && isWord(tokens[i], "on")) {
            ++i; // past the parenthesised list
            if (i < tokens.size() && tokens[i].kind == Kind::Open) ++i;
            while (i < tokens.size() && !(tokens[i].kind == Kind::Close && tokens[i].depth == 0))
                ++i;
            ++i;
        }
    }
    std::vector<std::optional<QString>> names;
    std::vector<Token> item;
    const auto finishItem = [&]() -> bool {
        // "*" and "v.*" stand for columns the text does not name.
        if (!item.empty() && item.back().kind == Kind::Star &&
            (item.size() == 1 || item[item.size() - 2].kind == Kind::Dot))
            return false;
        names.push_back(nameOf(item));
        item.clear();
        return true;
    };
    for (; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.depth == 0 && endsList(t)) break;
        if (t.depth == 0 && t.kind == Kind::Comma) {
            if (!finishItem()) return {};
            continue;
        }
        item.push_back(t);
    }
    if (!finishItem()) return {};
    return names;
}

} // namespace vidra

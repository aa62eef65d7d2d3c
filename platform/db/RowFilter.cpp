#include "platform/db/RowFilter.h"

#include "platform/Error.h"
#include "platform/Utf8.h"

#include <algorithm>

namespace vidra {

namespace {

[[noreturn]] void malformed(const QString& detail, qsizetype position)
{
    throw DbError(QStringLiteral("Filter cannot be applied: %1 at position %2")
                      .arg(detail)
                      .arg(position + 1));
}

// Deep nesting would only ever come from a hostile or broken text.
constexpr int kMaxDepth = 200;

} // namespace

class FilterParser
{
public:
    FilterParser(const QString& text, const QStringList& fields, const std::vector<LikeAs>& likeAs,
                 RowFilter& out)
        : m_text(text), m_fields(fields), m_likeAs(likeAs), m_out(out)
    {
    }

    void run()
    {
        skipBlanks();
        if (atEnd()) return; // an empty filter lets every row through
        m_out.m_root = parseOr(0);
        skipBlanks();
        if (!atEnd()) malformed(QStringLiteral("unexpected text"), m_pos);
    }

private:
    using Node = RowFilter::Node;
    using Kind = RowFilter::Kind;
    using Op = RowFilter::Op;

    const QString& m_text;
    const QStringList& m_fields;
    const std::vector<LikeAs>& m_likeAs;
    RowFilter& m_out;
    qsizetype m_pos = 0;

    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text[m_pos]; }
    void skipBlanks()
    {
        while (!atEnd() && m_text[m_pos].isSpace())
            ++m_pos;
    }

    static bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

    // Matches a keyword as a whole word, case-blind.
    bool keyword(QLatin1String word)
    {
        skipBlanks();
        const qsizetype n = word.size();
        if (m_pos + n > m_text.size()) return false;
        if (QStringView(m_text).mid(m_pos, n).compare(word, Qt::CaseInsensitive) != 0) return false;
        if (m_pos + n < m_text.size() && isWordChar(m_text[m_pos + n])) return false;
        m_pos += n;
        return true;
    }

    int add(Node n)
    {
        m_out.m_nodes.push_back(std::move(n));
        return int(m_out.m_nodes.size()) - 1;
    }

    int parseOr(int depth)
    {
        int first = parseAnd(depth);
        if (!keyword(QLatin1String("OR"))) return first;
        Node n;
        n.kind = Kind::Or;
        n.children.push_back(first);
        do
            n.children.push_back(parseAnd(depth));
        while (keyword(QLatin1String("OR")));
        return add(std::move(n));
    }

    int parseAnd(int depth)
    {
        int first = parseFactor(depth);
        if (!keyword(QLatin1String("AND"))) return first;
        Node n;
        n.kind = Kind::And;
        n.children.push_back(first);
        do
            n.children.push_back(parseFactor(depth));
        while (keyword(QLatin1String("AND")));
        return add(std::move(n));
    }

    int parseFactor(int depth)
    {
        if (depth > kMaxDepth) malformed(QStringLiteral("too deeply nested"), m_pos);
        skipBlanks();
        if (peek() == u'(') {
            ++m_pos;
            int inner = parseOr(depth + 1);
            skipBlanks();
            if (peek() != u')') malformed(QStringLiteral("')' expected"), m_pos);
            ++m_pos;
            return inner;
        }
        return parseCondition();
    }

    int parseField()
    {
        skipBlanks();
        const qsizetype start = m_pos;
        QString name;
        if (peek() == u'[') {
            const qsizetype close = m_text.indexOf(u']', m_pos + 1);
            if (close < 0) malformed(QStringLiteral("']' expected"), m_pos);
            name = m_text.mid(m_pos + 1, close - m_pos - 1).trimmed();
            m_pos = close + 1;
        } else {
            while (!atEnd() && isWordChar(m_text[m_pos]))
                ++m_pos;
            name = m_text.mid(start, m_pos - start);
        }
        if (name.isEmpty()) malformed(QStringLiteral("a field name expected"), start);
        for (int i = 0; i < m_fields.size(); ++i)
            if (m_fields[i].compare(name, Qt::CaseInsensitive) == 0) return i;
        malformed(QStringLiteral("unknown field '%1'").arg(name), start);
    }

    Op parseOperator()
    {
        skipBlanks();
        if (keyword(QLatin1String("LIKE"))) return Op::Like;
        const QChar c = peek();
        const QChar next = m_pos + 1 < m_text.size() ? m_text[m_pos + 1] : QChar();
        if (c == u'=') {
            ++m_pos;
            return Op::Eq;
        }
        if (c == u'<') {
            if (next == u'>') {
                m_pos += 2;
                return Op::Ne;
            }
            if (next == u'=') {
                m_pos += 2;
                return Op::Le;
            }
            ++m_pos;
            return Op::Lt;
        }
        if (c == u'>') {
            if (next == u'=') {
                m_pos += 2;
                return Op::Ge;
            }
            ++m_pos;
            return Op::Gt;
        }
        malformed(QStringLiteral("a comparison operator expected"), m_pos);
    }

    QString parseString()
    {
        skipBlanks();
        if (peek() != u'\'') malformed(QStringLiteral("a quoted text expected"), m_pos);
        const qsizetype start = m_pos;
        ++m_pos;
        QString value;
        for (;;) {
            if (atEnd()) malformed(QStringLiteral("unterminated text"), start);
            const QChar c = m_text[m_pos++];
            if (c == u'\'') {
                if (peek() == u'\'') {
                    value += u'\'';
                    ++m_pos;
                    continue;
                }
                return value;
            }
            value += c;
        }
    }

    // Splits a LIKE pattern into its literal text and its wildcards.
    void parsePattern(const QString& raw, qsizetype at, Node& n)
    {
        QString literal;
        bool leading = false, trailing = false;
        const qsizetype len = raw.size();
        for (qsizetype i = 0; i < len; ++i) {
            const QChar c = raw[i];
            if (c == u'*' || c == u'%') {
                if (i == 0)
                    leading = true;
                else if (i == len - 1)
                    trailing = true;
                else
                    malformed(QStringLiteral("a wildcard may stand only at the start or end of a "
                                             "LIKE pattern"),
                              at);
                continue;
            }
            if (c == u'[') {
                // "[x]": x stands for itself. A surrogate pair counts as one character.
                qsizetype charLen = (i + 1 < len && raw[i + 1].isHighSurrogate()) ? 2 : 1;
                if (i + 1 + charLen >= len || raw[i + 1 + charLen] != u']')
                    malformed(QStringLiteral("'[' must enclose exactly one character"), at);
                literal += raw.mid(i + 1, charLen);
                i += charLen + 1;
                continue;
            }
            literal += c;
        }
        n.like = like::Pattern(literal, leading, trailing, n.as);
    }

    int parseCondition()
    {
        Node n;
        n.kind = Kind::Condition;
        n.field = parseField();
        if (size_t(n.field) < m_likeAs.size()) n.as = m_likeAs[size_t(n.field)];
        n.op = parseOperator();
        const qsizetype at = m_pos;
        const QString value = parseString();
        if (n.op == Op::Like)
            parsePattern(value, at, n);
        else
            n.pattern = utf8::foldedCodePoints(value);
        return add(std::move(n));
    }
};

std::optional<std::vector<RowFilter::PrefixTerm>> RowFilter::prefixTerms() const
{
    if (m_root < 0) return std::nullopt;
    std::vector<int> conditions;
    const Node& root = m_nodes[size_t(m_root)];
    if (root.kind == Kind::Condition)
        conditions.push_back(m_root);
    else if (root.kind == Kind::And)
        conditions = root.children;
    else
        return std::nullopt;
    std::vector<PrefixTerm> terms;
    for (int c : conditions) {
        const Node& n = m_nodes[size_t(c)];
        if (n.kind != Kind::Condition || n.op != Op::Like || n.like.leading() ||
            !n.like.trailing() || n.like.empty())
            return std::nullopt;
        terms.push_back(PrefixTerm{n.field, n.as, n.like.keyPrefixes(), n.like.keyDecides()});
    }
    return terms;
}

RowFilter RowFilter::compile(const QString& text, const QStringList& fieldNames,
                             const std::vector<LikeAs>& likeAs)
{
    RowFilter f;
    FilterParser(text, fieldNames, likeAs, f).run();
    return f;
}

namespace {

// Three-way comparison of a cell's folded text against a folded pattern.
int compareFolded(const char* p, const char* end, const std::u32string& pattern)
{
    for (char32_t want : pattern) {
        if (p >= end) return -1;
        const char32_t got = utf8::fold(utf8::decode(p, end));
        if (got != want) return got < want ? -1 : 1;
    }
    return p < end ? 1 : 0;
}

} // namespace

bool RowFilter::test(const Node& n, Cell cell)
{
    if (!cell.data) return false;
    const char* p = cell.data;
    const char* end = cell.data + cell.size;
    if (n.op != Op::Like) {
        const int c = compareFolded(p, end, n.pattern);
        switch (n.op) {
        case Op::Eq:
            return c == 0;
        case Op::Ne:
            return c != 0;
        case Op::Lt:
            return c < 0;
        case Op::Gt:
            return c > 0;
        case Op::Le:
            return c <= 0;
        case Op::Ge:
            return c >= 0;
        case Op::Like:
            break;
        }
        return false;
    }
    return n.like.matches(p, cell.size);
}

} // namespace vidra

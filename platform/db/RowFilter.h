#pragma once
// The row-filter language evaluated on the snapshot:
//   expr      := term { OR term }
//   term      := factor { AND factor }
//   factor    := ( expr ) | Field op 'text'       op: LIKE = <> < > <= >=
// Strings are quoted with apostrophes ('' inside stands for one). In LIKE,
// '*' or '%' at the start or end is a wildcard, and a character in square
// brackets stands for itself ([*], [%], [[]), so any text can be searched for
// literally. A null value satisfies no condition. Field names are case-blind
// and may be bracketed.
// LIKE finds a value however the operator types it (LikeText.h): case folded
// over all of Unicode, Cyrillic and Latin alike, a letter typed without its
// mark for the letter with or without it, and in a number field digits
// without separators. It does so with a wildcard before the text as well as
// after it: "*PETROVIC*" finds "Ana Petrović". The other operators (= <> <
// > <= >=) compare exactly, folding case only.
#include "platform/db/FieldDef.h"
#include "platform/db/LikeText.h"

#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vidra {

class RowFilter
{
public:
    struct Cell
    {
        const char* data; // nullptr for null
        size_t size;
    };

    // Raises DbError when the text is malformed or names an unknown field.
    // likeAs says how LIKE compares each field, by index; a field it does
    // not reach is text.
    static RowFilter compile(const QString& text, const QStringList& fieldNames,
                             const std::vector<LikeAs>& likeAs = {});

    // A test "Field LIKE 'text*'" as the quick scan makes it: a row can pass
    // only when its key of the field (like::storedKey) begins with one of
    // keys, as far as eight bytes go; when keyDecides, every such row passes.
    struct PrefixTerm
    {
        int field;
        LikeAs as;
        std::vector<std::string> keys;
        bool keyDecides;
    };
    // The filter as a conjunction of such tests, when it is one (the search
    // panel's filters are), so that callers can scan for them quickly.
    std::optional<std::vector<PrefixTerm>> prefixTerms() const;

    // get(fieldIndex) yields that field's Cell for the row being tested.
    template <typename Get> bool matches(Get&& get) const
    {
        return m_root < 0 || eval(m_root, get);
    }

private:
    enum class Op
    {
        Like,
        Eq,
        Ne,
        Lt,
        Gt,
        Le,
        Ge
    };
    enum class Kind
    {
        Condition,
        And,
        Or
    };
    struct Node
    {
        Kind kind = Kind::Condition;
        // Condition
        int field = -1;
        Op op = Op::Eq;
        LikeAs as = LikeAs::Text;
        std::u32string pattern; // case-folded; not for LIKE
        like::Pattern like;
        // And / Or
        std::vector<int> children;
    };
    std::vector<Node> m_nodes;
    int m_root = -1;

    friend class FilterParser;
    static bool test(const Node& n, Cell cell);

    template <typename Get> bool eval(int index, Get& get) const
    {
        const Node& n = m_nodes[size_t(index)];
        switch (n.kind) {
        case Kind::Condition:
            return test(n, get(n.field));
        case Kind::And:
            for (int c : n.children)
                if (!eval(c, get)) return false;
            return true;
        case Kind::Or:
            for (int c : n.children)
                if (eval(c, get)) return true;
            return false;
        }
        return false;
    }
};

} // namespace vidra

#pragma once
// How LIKE compares what the operator typed with a stored value, so that a
// subscriber is found however the name or number is typed. For platform/db only.
//
// Both texts are read unit by unit: each character case-folded over all of
// Unicode, a Serbian Cyrillic letter spelled in Latin letters (Љ as LJ, Ђ
// as Đ, Ч as Č, ...; the Latin digraph letters Ǆ, Ǉ, Ǌ likewise), combining
// marks passed over. A typed unit then matches a stored one when
//  - it carries a mark (Č, Ć, Đ, Š, Ž, É, Ü, ...): the same letter only,
//    in either script;
//  - it carries none: the stored letter with or without a mark, its base
//    letter being the first of its canonical decomposition (Đ, which has
//    none, has D).
// A typed DJ also matches a stored Đ, so "DJORDJE" finds ĐORĐE as well as
// DJORDJE. A pattern may end inside a stored digraph: L finds Љ, as LJ does.
// In a number field (LikeAs::Number), a pattern without any separator
// (blank / - . ( )) passes over the stored value's separators: 030257 finds
// 030/257-070; a pattern with one compares as typed.
//
// For the table's quick scan, keys stand in for a value's first eight bytes
// in base letters (Đ kept as itself); a pattern's key prefixes pass every row
// it can match (a superset), and for plain prefixes they decide alone.
#include "platform/db/FieldDef.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vidra::like {

// What one character becomes: up to two units (Љ: l, j), none for a
// combining mark; each unit case-folded and with its base letter.
struct Reading
{
    char32_t unit[2];
    char32_t base[2];
    int count;
};
Reading read(char32_t codePoint);

// The separators a number field's pattern without any of them passes over.
inline bool isSeparator(char32_t c)
{
    return c == u' ' || c == u'/' || c == u'-' || c == u'.' || c == u'(' || c == u')';
}

// The key of a stored value: its first eight bytes of base letters in UTF-8
// (but Đ, which a typed D or DJ finds by other rules than D), combining
// marks left out, and in a number field its separators too.
uint64_t storedKey(const char* data, size_t size, LikeAs as);

class Pattern
{
public:
    Pattern() = default;
    // literal: the pattern without its wildcards; leading and trailing: a
    // wildcard before or after it (any text, also none).
    Pattern(const QString& literal, bool leading, bool trailing, LikeAs as);

    // Whether a stored value (UTF-8; malformed bytes read as U+FFFD) matches.
    bool matches(const char* data, size_t size) const;

    bool empty() const { return m_units.empty(); }
    bool leading() const { return m_leading; }
    bool trailing() const { return m_trailing; }

    // Byte strings of which a matching value's key (storedKey) begins with
    // at least one, as far as eight bytes go: one, or up to 16 when the
    // pattern holds D or DJ (each of which may meet a stored Đ).
    std::vector<std::string> keyPrefixes() const;
    // Whether, for a prefix pattern, a key beginning with a key prefix is
    // already a match: nothing about it is left to check.
    bool keyDecides() const;

private:
    struct Unit
    {
        char32_t unit;
        char32_t base;
        bool marked; // matches the same unit only
    };
    std::vector<Unit> m_units;
    bool m_leading = false;
    bool m_trailing = false;
    LikeAs m_as = LikeAs::Text;
    bool m_skipSeparators = false;
    bool m_hasDj = false;

    bool unitMatches(size_t i, char32_t unit, char32_t base) const
    {
        const Unit& p = m_units[i];
        return p.marked ? unit == p.unit : base == p.unit;
    }
    bool djAt(size_t i) const
    {
        return i + 1 < m_units.size() && m_units[i].unit == U'd' && m_units[i + 1].unit == U'j';
    }
    struct KeyPlan
    {
        std::vector<std::string> prefixes;
        bool complete; // every typed unit is in the prefixes
    };
    KeyPlan keyPlan() const;
    bool matchAnchored(const char* p, const char* end) const;
    bool matchStates(const char* p, const char* end) const;
};

} // namespace vidra::like

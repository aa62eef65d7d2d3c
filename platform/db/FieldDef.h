#pragma once
// How a table's fields are declared to the engine: the kind of value, the
// declared size that a post holds typed text to, and how LIKE searches it.

namespace vidra {

enum class FieldType
{
    WideString,
    Memo
};

// How a LIKE pattern compares with a field's values (see LikeText.h): as
// text, or as a number written with separators ("030/257-070"), which a
// pattern typed without any passes over.
enum class LikeAs
{
    Text,
    Number
};

struct FieldDef
{
    const char* name;
    FieldType type;
    int size; // declared size in characters; 0 for a memo
    LikeAs like = LikeAs::Text;
};

} // namespace vidra

#pragma once
// How a table's fields are declared to the engine: the kind of value and the
// declared size that a post holds typed text to.

namespace vidra {

enum class FieldType
{
    WideString,
    Memo
};

struct FieldDef
{
    const char* name;
    FieldType type;
    int size; // declared size in characters; 0 for a memo
};

} // namespace vidra

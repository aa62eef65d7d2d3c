#pragma once
// The directory's one table: its name, its fields and how a new file is laid out.
#include "platform/db/FieldDef.h"

#include <QString>
#include <array>

namespace vidra {

inline constexpr const char* kSubscriberTable = "Vlasnici";

// Order matters: it is the table's field order everywhere in the program.
// The number is searched as a number: typed as digits only, it is found
// however its separators are written.
inline constexpr std::array<FieldDef, 5> kSubscriberFields{{
    {"Telefon", FieldType::WideString, 16, LikeAs::Number},
    {"Vlasnik", FieldType::WideString, 50},
    {"Adresa", FieldType::WideString, 50},
    {"Mesto", FieldType::WideString, 16},
    {"Napomena", FieldType::Memo, 0},
}};

// SQL that creates an empty directory table in a new file.
QString subscriberTableDdl();

// The table on a PostgreSQL server, named as the server names things by
// default: unquoted, so lower case.
inline constexpr const char* kServerSubscriberTable = "vlasnici";

// SQL that creates the directory table on a server, under `table` (a name
// as SQL writes it): the file's fields and sizes, with the number as the key.
QString serverTableDdl(const QString& table = QLatin1String(kServerSubscriberTable));

} // namespace vidra

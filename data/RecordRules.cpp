#include "data/RecordRules.h"

#include "platform/Error.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"

namespace vidra::rules {

std::optional<Refusal> firstMissingField(const RequiredTexts& row)
{
    if (row.telefon.isEmpty()) return Refusal::NoNumber;
    if (row.vlasnik.isEmpty()) return Refusal::NoOwner;
    if (row.adresa.isEmpty()) return Refusal::NoAddress;
    return std::nullopt;
}

QString message(Refusal refusal, const QString& number)
{
    switch (refusal) {
    case Refusal::NoNumber:
        return QStringLiteral("Broj telefona mora imati neku vrednost!");
    case Refusal::NoOwner:
        return QStringLiteral("Unesi ime i prezime pretplatnika!");
    case Refusal::NoAddress:
        return QStringLiteral("Unesi adresu pretplatnika!");
    case Refusal::NumberTaken:
        return QStringLiteral("Broj telefona: %1 vec postoji!").arg(number);
    }
    return QString();
}

bool numberNeedsCheck(bool inserting, const QVariant& newValue, const QVariant& oldValue)
{
    return inserting || newValue != oldValue;
}

void checkRequiredFields(const RequiredTexts& row)
{
    if (const auto refusal = firstMissingField(row)) throw Error(message(*refusal));
}

void checkUniqueNumber(bool inserting, const QVariant& newValue, const QVariant& oldValue,
                       const NumberCount& rowsWithNumber)
{
    if (!numberNeedsCheck(inserting, newValue, oldValue)) return;
    if (rowsWithNumber(newValue) > 0)
        throw Error(message(Refusal::NumberTaken, newValue.toString()));
}

void declareNumberCount(Query& query, Connection* connection)
{
    query.SetConnection(connection);
    query.SetSQL({QStringLiteral("SELECT COUNT(*) "), QStringLiteral("FROM VLASNICI "),
                  QStringLiteral("WHERE TELEFON=NewTel")});
    query.AddParameter(QStringLiteral("NewTel"));
}

qint64 countNumber(Query& query, const QVariant& number)
{
    query.Close();
    query.SetParameter(QStringLiteral("NewTel"), number);
    query.Open();
    return query.AsInteger(0);
}

void checkUniqueNumber(Table& table, Query& count)
{
    Field& telefon = table.FieldByName(QStringLiteral("Telefon"));
    checkUniqueNumber(table.State() == DatasetState::Insert, telefon.NewValue(), telefon.OldValue(),
                      [&count](const QVariant& number) { return countNumber(count, number); });
}

QString deleteQuestion(const QString& vlasnik, const QString& telefon)
{
    // A value stored elsewhere may be megabytes long; the question names the
    // subscriber in a line that a box can show.
    const auto named = [](const QString& s) {
        constexpr qsizetype kMax = 255;
        if (s.size() <= kMax) return s;
        qsizetype n = kMax - 1;
        if (s.at(n - 1).isHighSurrogate()) --n;
        return s.left(n) + QChar(0x2026);
    };
    return QStringLiteral("Brisanje podataka za:\r\nVlasnik: \"%1\"\r\nTel: %2. Da li ste sigurni?")
        .arg(named(vlasnik), named(telefon));
}

} // namespace vidra::rules

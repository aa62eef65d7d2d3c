#pragma once
// The directory's record rules, one copy for the program and for vidra-db:
// the fields a subscriber must have, a number held by one subscriber only,
// the question before a delete, and the exact words of every refusal.
// QtCore only; the callers decide where the row comes from and how a
// refusal is shown.
#include <QAnyStringView>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

namespace vidra {
class Connection;
class Query;
class Table;
} // namespace vidra

namespace vidra::rules {

enum class Refusal
{
    NoNumber,
    NoOwner,
    NoAddress,
    NumberTaken
};

// The required texts of the row being saved. A null value is an empty text;
// a text of blanks is not empty (it has characters).
struct RequiredTexts
{
    QAnyStringView telefon;
    QAnyStringView vlasnik;
    QAnyStringView adresa;
};

// The first required field left empty, tested in the order number, owner,
// address, so the operator hears of one at a time.
std::optional<Refusal> firstMissingField(const RequiredTexts& row);

// What the operator is told; the number fills the duplicate-number message.
QString message(Refusal refusal, const QString& number = QString());

// Whether a save must count the rows that hold its number: a new row
// always, an edit only when the number differs from the one read (letter
// case included).
bool numberNeedsCheck(bool inserting, const QVariant& newValue, const QVariant& oldValue);

// How many rows of the whole directory (not only those the search shows)
// hold a number.
using NumberCount = std::function<qint64(const QVariant& number)>;

// The before-post rules. Each raises vidra::Error with the rule's message.
void checkRequiredFields(const RequiredTexts& row);
void checkUniqueNumber(bool inserting, const QVariant& newValue, const QVariant& oldValue,
                       const NumberCount& rowsWithNumber);

// The duplicate-number query as the directory declares it (CheckBroj): a
// count of the rows holding the parameter NewTel, on a connection.
void declareNumberCount(Query& query, Connection* connection);
// The rows of the whole directory holding a number, counted by such a query.
qint64 countNumber(Query& query, const QVariant& number);
// The duplicate-number rule on a table's pending row, counted by such a query.
void checkUniqueNumber(Table& table, Query& count);

// The before-delete question, in three lines.
QString deleteQuestion(const QString& vlasnik, const QString& telefon);

} // namespace vidra::rules

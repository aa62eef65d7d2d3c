#pragma once
// The rows of vidra-db import, checked by the record rules the program
// applies and written into the new directory; the rows refused are counted
// by reason and listed.
#include "tools/Destination.h"
#include "tools/RowCells.h"

#include <QString>
#include <QStringList>
#include <csignal>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace vidradb {

class Report;

enum Reason
{
    EmptyNumber,
    MissingOwner,
    MissingAddress,
    TooLong,
    DuplicateNumber,
    WrongFieldCount,
    kReasonCount
};

const char* reasonText(Reason why);

class Importer
{
public:
    // Writes the rows it takes to dest; the skipped rows also go to report
    // unless it is null. Once stop is set, the work ends soon.
    Importer(Destination& dest, Report* report, const volatile std::sig_atomic_t& stop);

    // A row of the source; raises Failure on text that is not UTF-8.
    void add(qint64 row, const RowCells& v);
    void skip(qint64 row, Reason why, const RowCells& v, const QString& detail);
    void countRow() { ++m_rows; }
    // Room for the numbers up front: growing a million-entry set step by
    // step costs more than the rows' checks.
    void expect(std::uint64_t rows);

    // The directory is committed first: a report of an import that did not
    // happen would mislead.
    void finish();

    qint64 rows() const { return m_rows; }
    qint64 imported() const { return m_imported; }
    qint64 skipped(Reason r) const { return m_skipped[r]; }
    qint64 skippedTotal() const;
    const QStringList& examples() const { return m_examples; }

private:
    Destination& m_dest;
    Report* m_report;
    const volatile std::sig_atomic_t& m_stop;
    std::unordered_map<std::string, qint64> m_numbers;
    qint64 m_rows = 0;
    qint64 m_imported = 0;
    qint64 m_skipped[kReasonCount] = {};
    QStringList m_examples;
};

} // namespace vidradb

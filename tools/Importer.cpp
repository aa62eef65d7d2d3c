#include "tools/Importer.h"

#include "data/RecordRules.h"
#include "platform/Utf8.h"
#include "tools/ImportFiles.h"

#include <algorithm>

namespace vidradb {

namespace {

const char* const kReasonText[kReasonCount] = {
    "empty number",     "missing owner",
    "missing address",  "value longer than the declared size",
    "duplicate number", "wrong number of fields",
};

QString csvQuoted(const QString& s)
{
    if (!s.contains(u',') && !s.contains(u'"') && !s.contains(u'\n') && !s.contains(u'\r'))
        return s;
    QString q = s;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

} // namespace

const char* reasonText(Reason why)
{
    return kReasonText[why];
}

Importer::Importer(Destination& dest, Report* report, const volatile std::sig_atomic_t& stop)
    : m_dest(dest), m_report(report), m_stop(stop)
{
}

void Importer::add(qint64 row, const RowCells& v)
{
    ++m_rows;
    using vidra::rules::Refusal;
    if (const auto refusal =
            vidra::rules::firstMissingField({cellView(v[0]), cellView(v[1]), cellView(v[2])}))
        return skip(row,
                    *refusal == Refusal::NoNumber  ? EmptyNumber
                    : *refusal == Refusal::NoOwner ? MissingOwner
                                                   : MissingAddress,
                    v, QString());
    for (size_t i = 0; i < kFields; ++i) {
        const int size = vidra::kSubscriberFields[i].size;
        if (v[i].null || size <= 0) continue;
        const auto n = vidra::utf8::utf16Length(v[i].data, v[i].size);
        if (!n)
            throw Failure{
                QStringLiteral("row %1: %2 is not UTF-8 text").arg(row).arg(fieldName(i))};
        if (*n > size_t(size))
            return skip(row, TooLong, v,
                        QStringLiteral("%1 has %2 characters, at most %3 fit")
                            .arg(fieldName(i))
                            .arg(*n)
                            .arg(size));
    }
    if (!v[4].null && !vidra::utf8::utf16Length(v[4].data, v[4].size))
        throw Failure{QStringLiteral("row %1: Napomena is not UTF-8 text").arg(row)};
    // A number belongs to the first row that was imported with it.
    const auto [it, fresh] = m_numbers.try_emplace(std::string(v[0].data, v[0].size), row);
    if (!fresh)
        return skip(row, DuplicateNumber, v, QStringLiteral("first on row %1").arg(it->second));
    RowData data{};
    RowSizes size{};
    for (size_t i = 0; i < kFields; ++i) {
        data[i] = v[i].null ? nullptr : (v[i].size ? v[i].data : "");
        size[i] = v[i].size;
    }
    m_dest.add(row, data, size);
    ++m_imported;
}

void Importer::skip(qint64 row, Reason why, const RowCells& v, const QString& detail)
{
    ++m_skipped[why];
    QString reason = QLatin1String(reasonText(why));
    if (!detail.isEmpty()) reason += QStringLiteral(" (") + detail + u')';
    if (m_examples.size() < 10)
        m_examples << QStringLiteral("  row %1: %2%3")
                          .arg(row)
                          .arg(reason)
                          .arg(cellView(v[0]).isEmpty()
                                   ? QString()
                                   : QStringLiteral(", number ") + cellText(v[0]));
    if (m_report) {
        QString line = QString::number(row) + u',' + csvQuoted(reason);
        for (const Cell& c : v)
            line += u',' + csvQuoted(cellText(c));
        m_report->write((line + u'\n').toUtf8());
    }
}

void Importer::expect(std::uint64_t rows)
{
    m_numbers.reserve(size_t(std::min<std::uint64_t>(rows, 50'000'000)));
}

void Importer::finish()
{
    if (m_report) m_report->finish();
    if (m_stop) throw Failure{QStringLiteral("interrupted")};
    m_dest.commit();
    if (!m_report) return;
    try {
        m_report->moveIntoPlace();
    } catch (const Failure& f) {
        throw Failure{QStringLiteral("the directory was written, but the report could not be: %1")
                          .arg(f.message)};
    }
}

qint64 Importer::skippedTotal() const
{
    qint64 n = 0;
    for (qint64 s : m_skipped)
        n += s;
    return n;
}

} // namespace vidradb

#pragma once
// The records of a CSV file held in memory: UTF-8 text, a header line, the
// separator (comma, semicolon or tab) found out from the header line, fields
// in double quotes where they hold separators, quotes or line breaks.
#include "platform/legacy/LegacyReader.h"
#include "tools/Failure.h"

#include <QString>
#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace vidradb {

class CsvReader
{
public:
    using Cell = vidra::legacy::Cell;

    // Text never holds a NUL byte: a file with one is refused whole, before a
    // value could end early at it. `name` (quoted) names the file in messages.
    CsvReader(const char* data, size_t size, const QString& name)
        : m_p(data), m_begin(data), m_end(data + size)
    {
        if (const void* nul = std::memchr(data, 0, size))
            throw Failure{
                QStringLiteral("%1 is neither an Access file nor a CSV text file: line %2 holds a "
                               "NUL byte")
                    .arg(name)
                    .arg(1 + std::count(data, static_cast<const char*>(nul), '\n'))};
        if (startsWithMark()) m_p += 3;
        m_delimiter = guessDelimiter();
    }

    // The next record; false at the end. Fields point into the input or
    // into the reader's own storage, valid until the next call.
    bool next(std::vector<Cell>& fields)
    {
        fields.clear();
        m_scratchUsed = 0;
        // Blank lines are not records.
        while (m_p < m_end && (*m_p == '\n' || *m_p == '\r')) {
            if (*m_p == '\n') ++m_line;
            ++m_p;
        }
        if (m_p >= m_end) return false;
        // A byte-order mark is no text only at the very start of the file.
        // Anywhere else at a line's start it is the trace of joined files and
        // would hide, invisible, in the number: refused rather than kept.
        if (startsWithMark())
            throw Failure{QStringLiteral("line %1 starts with a byte-order mark (U+FEFF), which "
                                         "only the start of a file may hold (were files joined?)")
                              .arg(m_line)};
        m_recordLine = m_line;
        for (;;) {
            fields.push_back(field());
            if (m_p >= m_end) return true;
            const char c = *m_p++;
            if (c == m_delimiter) continue;
            if (c == '\r' && m_p < m_end && *m_p == '\n') ++m_p;
            ++m_line;
            return true;
        }
    }
    qint64 recordLine() const { return m_recordLine; }
    char delimiter() const { return m_delimiter; }
    double fraction() const
    {
        return m_end == m_begin ? 1.0 : double(m_p - m_begin) / double(m_end - m_begin);
    }

private:
    bool startsWithMark() const
    {
        return m_end - m_p >= 3 && std::memcmp(m_p, "\xEF\xBB\xBF", 3) == 0;
    }

    Cell field()
    {
        if (m_p < m_end && *m_p == '"') {
            const qint64 startLine = m_line;
            ++m_p;
            const char* start = m_p;
            std::string* copy = nullptr;
            for (;;) {
                const char* q =
                    static_cast<const char*>(std::memchr(m_p, '"', size_t(m_end - m_p)));
                if (!q)
                    throw Failure{
                        QStringLiteral("line %1: a quoted field is not closed").arg(startLine)};
                for (const char* s = m_p; s < q; ++s)
                    if (*s == '\n') ++m_line;
                if (q + 1 < m_end && q[1] == '"') {
                    // A doubled quote: from here on the field is a copy.
                    if (!copy) copy = &scratch();
                    copy->append(m_p, size_t(q + 1 - m_p));
                    m_p = q + 2;
                    continue;
                }
                if (copy) copy->append(m_p, size_t(q - m_p));
                const char* stop = q;
                m_p = q + 1;
                if (m_p < m_end && *m_p != m_delimiter && *m_p != '\n' && *m_p != '\r')
                    throw Failure{
                        QStringLiteral("line %1: text follows a closing quote").arg(m_line)};
                if (copy) return Cell{copy->data(), copy->size(), false};
                return Cell{start, size_t(stop - start), false};
            }
        }
        const char* start = m_p;
        while (m_p < m_end && *m_p != m_delimiter && *m_p != '\n' && *m_p != '\r')
            ++m_p;
        // An empty field without quotes is no value at all.
        if (m_p == start) return Cell{};
        return Cell{start, size_t(m_p - start), false};
    }

    std::string& scratch()
    {
        if (m_scratchUsed == m_scratch.size()) m_scratch.emplace_back();
        std::string& s = m_scratch[m_scratchUsed++];
        s.clear();
        return s;
    }

    // The header line tells: the one of , ; and TAB it holds most of,
    // outside quotes; a comma when it holds none. Blank lines before it are
    // skipped as next() skips them. Only that line counts: a stray quote in
    // it (an inch mark) must not carry the count on into the rows.
    char guessDelimiter() const
    {
        int comma = 0, semicolon = 0, tab = 0;
        bool inQuotes = false;
        const char* p = m_p;
        while (p < m_end && (*p == '\n' || *p == '\r'))
            ++p;
        for (; p < m_end && *p != '\n' && *p != '\r'; ++p) {
            if (*p == '"') inQuotes = !inQuotes;
            if (inQuotes) continue;
            comma += *p == ',';
            semicolon += *p == ';';
            tab += *p == '\t';
        }
        if (semicolon > comma && semicolon >= tab) return ';';
        if (tab > comma && tab > semicolon) return '\t';
        return ',';
    }

    const char* m_p;
    const char* m_begin;
    const char* m_end;
    char m_delimiter = ',';
    qint64 m_line = 1;
    qint64 m_recordLine = 1;
    // The unescaped values of one record. A deque: adding one never moves
    // the others, whose text the record's earlier cells point into (a
    // vector did, and short strings keep their text inside themselves).
    // Reused from record to record, so the buffers stay.
    std::deque<std::string> m_scratch;
    size_t m_scratchUsed = 0;
};

} // namespace vidradb

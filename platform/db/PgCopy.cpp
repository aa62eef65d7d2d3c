#include "platform/db/PgCopy.h"

#include "platform/Error.h"

#include <QHash>
#include <cstring>
#include <limits>

namespace vidra {

void RowDigest::add(const char* data, size_t size, bool isNull)
{
    const uint64_t length = isNull ? 0 : uint64_t(size) + 1;
    m_hash = (m_hash ^ length) * 0x9E3779B97F4A7C15ULL;
    if (size) m_hash = qHashBits(data, size, size_t(m_hash));
}

int64_t rowDigest(const RowValues& values)
{
    RowDigest digest;
    for (const auto& v : values) {
        if (!v || v->isNull()) {
            digest.add(nullptr, 0, true);
            continue;
        }
        const QByteArray b = v->toUtf8();
        digest.add(b.constData(), size_t(b.size()), false);
    }
    return digest.value();
}

namespace {

int octal(char c)
{
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

int hex(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A field's text with COPY's backslash escapes undone.
void unescape(const char* p, const char* end, std::string& out)
{
    out.clear();
    while (p < end) {
        const char c = *p++;
        if (c != '\\' || p == end) {
            out += c;
            continue;
        }
        const char e = *p++;
        switch (e) {
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'v':
            out += '\v';
            break;
        case 'x':
            if (p < end && hex(*p) >= 0) {
                int v = hex(*p++);
                if (p < end && hex(*p) >= 0) v = v * 16 + hex(*p++);
                out += char(v);
            } else {
                out += 'x';
            }
            break;
        default:
            if (octal(e) >= 0) {
                int v = octal(e);
                for (int k = 0; k < 2 && p < end && octal(*p) >= 0; ++k)
                    v = v * 8 + octal(*p++);
                out += char(v & 0xFF);
            } else {
                out += e;
            }
        }
    }
}

} // namespace

void CopyRowReader::append(const char* line, size_t size)
{
    const int nf = m_snap.fieldCount;
    const char* p = line;
    const char* const end = line + size;
    RowDigest digest;
    const size_t first = m_snap.cells.size();
    m_snap.cells.resize(first + size_t(nf));
    // A line that cannot be read adds no row.
    const auto unreadable = [&] {
        m_snap.cells.resize(first);
        throw DbError(QStringLiteral("The server sent a row that could not be read"));
    };
    for (int f = 0; f < nf; ++f) {
        const auto* tab = static_cast<const char*>(std::memchr(p, '\t', size_t(end - p)));
        const char* fieldEnd = tab ? tab : end;
        if ((tab != nullptr) != (f + 1 < nf)) unreadable();
        const auto n = size_t(fieldEnd - p);
        uint32_t at;
        if (n == 2 && p[0] == '\\' && p[1] == 'N') {
            at = m_snap.arenas[size_t(f)].append(nullptr, 0, true);
            digest.add(nullptr, 0, true);
        } else if (std::memchr(p, '\\', n)) {
            unescape(p, fieldEnd, m_decoded);
            at = m_snap.arenas[size_t(f)].append(m_decoded.data(), m_decoded.size(), false);
            digest.add(m_decoded.data(), m_decoded.size(), false);
        } else {
            at = m_snap.arenas[size_t(f)].append(p, n, false);
            digest.add(p, n, false);
        }
        m_snap.cells[first + size_t(f)] = at;
        p = fieldEnd + 1;
    }
    m_snap.rowIds.push_back(digest.value());
    if (m_snap.rowIds.size() >= size_t(std::numeric_limits<int>::max()))
        throw DbError(QStringLiteral("The table is too large to be loaded"));
}

} // namespace vidra

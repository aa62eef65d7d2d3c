#include "tools/Server.h"

#include "tools/Failure.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <libpq-fe.h>
#include <optional>

namespace vidradb {

namespace {

// The cancel handles of the live sessions, for the signal handler: a copy
// reads from one server while it writes to another.
constexpr int kSlots = 4;
std::atomic<PGcancel*> g_cancel[kSlots];

int registerCancel(pg_conn* conn)
{
    PGcancel* cancel = PQgetCancel(conn);
    if (!cancel) return -1;
    for (int i = 0; i < kSlots; ++i) {
        PGcancel* none = nullptr;
        if (g_cancel[i].compare_exchange_strong(none, cancel)) return i;
    }
    PQfreeCancel(cancel);
    return -1;
}

QString percentDecoded(const QString& s)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(s.toUtf8()));
}

// Where the password of a URI's user part stands, [from, to): as libpq
// reads it (up to the first '@' before any '/'), or as a person meant it
// with a '/' left unescaped, which libpq then takes for a host and port.
struct Span
{
    qsizetype from = 0;
    qsizetype to = 0;
};
std::optional<Span> userPassword(const QString& uri)
{
    if (!vidra::pg::isServerUri(uri)) return std::nullopt;
    const qsizetype start = uri.indexOf(QLatin1String("://")) + 3;
    qsizetype colon = -1;
    for (qsizetype i = start; i < uri.size(); ++i) {
        const QChar c = uri[i];
        if (c == u'@') return colon < 0 ? std::nullopt : std::optional<Span>(Span{colon + 1, i});
        if (c == u'/') {
            if (colon < 0) return std::nullopt;
            const qsizetype query = uri.indexOf(u'?', i);
            const qsizetype at = uri.indexOf(u'@', i);
            if (at < 0 || (query >= 0 && at > query)) return std::nullopt;
            return Span{colon + 1, at};
        }
        if (colon < 0 && c == u'[') return std::nullopt; // an IPv6 host: no user part
        if (colon < 0 && c == u':') colon = i;
    }
    return std::nullopt;
}

} // namespace

ServerSession::ServerSession(const QString& uri) : m_shown(vidradb::shown(uri))
{
    try {
        m_session = std::make_unique<vidra::pg::Session>(uri);
    } catch (const vidra::pg::PgError& e) {
        throw Failure{QStringLiteral("cannot connect to %1: %2")
                          .arg(m_shown, withoutPasswordsOf(e.message(), uri))};
    }
    m_slot = registerCancel(m_session->handle());
}

ServerSession::~ServerSession()
{
    if (m_slot >= 0) PQfreeCancel(g_cancel[m_slot].exchange(nullptr));
}

void cancelServerStatements() noexcept
{
    for (auto& slot : g_cancel) {
        if (PGcancel* cancel = slot.load()) {
            char error[256]; // a local buffer: PQcancel is then safe in a signal handler
            PQcancel(cancel, error, sizeof error);
        }
    }
}

QString shown(const QString& place)
{
    QString uri = vidra::pg::withoutPassword(place);
    if (const std::optional<Span> p = userPassword(uri))
        uri.remove(p->from - 1, p->to - p->from + 1);
    return quoted(uri);
}

QStringList passwordsIn(const QString& uri)
{
    QStringList raw;
    if (const std::optional<Span> p = userPassword(uri)) {
        const QString password = uri.mid(p->from, p->to - p->from);
        raw << password;
        // libpq quotes what it took for a port.
        if (const qsizetype slash = password.indexOf(u'/'); slash > 0) raw << password.left(slash);
    }
    if (const qsizetype q = uri.indexOf(u'?'); vidra::pg::isServerUri(uri) && q >= 0) {
        for (const QString& pair : uri.mid(q + 1).split(u'&')) {
            const qsizetype eq = pair.indexOf(u'=');
            if (eq > 0 &&
                pair.left(eq).compare(QLatin1String("password"), Qt::CaseInsensitive) == 0)
                raw << pair.mid(eq + 1);
        }
    }
    QStringList all;
    for (const QString& p : raw) {
        if (p.isEmpty()) continue;
        all << p;
        if (const QString decoded = percentDecoded(p); decoded != p && !decoded.isEmpty())
            all << decoded;
    }
    // Longest first: a piece never spoils the blotting of the whole.
    std::sort(all.begin(), all.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return all;
}

QString withoutPasswordsOf(QString message, const QString& uri)
{
    for (const QString& p : passwordsIn(uri))
        message.replace(p, QStringLiteral("***"));
    return message;
}

void appendCopyValue(QByteArray& line, const char* data, size_t size)
{
    if (!data) {
        line += "\\N";
        return;
    }
    const char* p = data;
    const char* end = data + size;
    while (p < end) {
        // Runs of plain bytes go over in one piece.
        const char* run = p;
        while (p < end && *p != '\\' && *p != '\t' && *p != '\n' && *p != '\r')
            ++p;
        line.append(run, qsizetype(p - run));
        if (p == end) break;
        line += '\\';
        line += *p == '\t' ? 't' : *p == '\n' ? 'n' : *p == '\r' ? 'r' : '\\';
        ++p;
    }
}

bool splitCopyLine(const char* line, size_t size, std::array<CopyValue, 5>& fields)
{
    const char* p = line;
    const char* end = line + size;
    for (size_t f = 0; f < fields.size(); ++f) {
        CopyValue& v = fields[f];
        v.bytes.clear();
        v.null = false;
        if (f > 0) {
            if (p == end || *p != '\t') return false;
            ++p;
        }
        const char* stop = p;
        while (stop < end && *stop != '\t')
            ++stop;
        if (stop - p == 2 && p[0] == '\\' && p[1] == 'N') {
            v.null = true;
            p = stop;
            continue;
        }
        while (p < stop) {
            if (*p != '\\' || p + 1 == stop) {
                v.bytes += *p++;
                continue;
            }
            const char c = p[1];
            p += 2;
            switch (c) {
            case 'b':
                v.bytes += '\b';
                break;
            case 'f':
                v.bytes += '\f';
                break;
            case 'n':
                v.bytes += '\n';
                break;
            case 'r':
                v.bytes += '\r';
                break;
            case 't':
                v.bytes += '\t';
                break;
            case 'v':
                v.bytes += '\v';
                break;
            case 'x': {
                int value = 0, digits = 0;
                while (digits < 2 && p < stop && std::isxdigit(static_cast<unsigned char>(*p))) {
                    const char h = *p++;
                    value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                    ++digits;
                }
                if (digits == 0)
                    v.bytes += 'x';
                else
                    v.bytes += char(value);
                break;
            }
            default:
                if (c >= '0' && c <= '7') {
                    int value = c - '0';
                    for (int digits = 1; digits < 3 && p < stop && *p >= '0' && *p <= '7'; ++digits)
                        value = value * 8 + (*p++ - '0');
                    v.bytes += char(value & 0xFF);
                } else {
                    v.bytes += c;
                }
            }
        }
    }
    return p == end;
}

} // namespace vidradb

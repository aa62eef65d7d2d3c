#include "platform/db/Connection.h"

#include "platform/Error.h"
#include "platform/db/PgClient.h"
#include "platform/db/PgStore.h"
#include "platform/db/SqliteStore.h"

namespace vidra {

Connection::Connection(QObject* parent) : QObject(parent) {}

Connection::~Connection()
{
    close();
}

void Connection::setConnectionText(const QString& text)
{
    if (isOpen()) throw DbError(QStringLiteral("Operation is not allowed when the object is open"));
    m_text = text;
}

void Connection::setBusyTimeout(int ms)
{
    m_busyTimeoutMs = ms;
    if (m_store) m_store->setBusyTimeout(ms);
}

QString Connection::quoteValue(const QString& value)
{
    QString out = QStringLiteral("\"");
    for (QChar c : value) {
        if (c == u'"') out += u'"';
        out += c;
    }
    out += u'"';
    return out;
}

std::map<QString, QString> Connection::parseConnectionText(const QString& text)
{
    const auto malformed = [] {
        return DbError(QStringLiteral("The connection text is malformed"));
    };
    std::map<QString, QString> out;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && (text[i].isSpace() || text[i] == u';'))
            ++i;
        if (i >= n) break;
        const qsizetype eq = text.indexOf(u'=', i);
        const qsizetype semi = text.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) throw malformed();
        const QString key = text.mid(i, eq - i).trimmed().toLower();
        if (key.isEmpty()) throw malformed();
        i = eq + 1;
        while (i < n && text[i].isSpace())
            ++i;
        QString value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            // A quoted value ends at the first quote that is not doubled.
            const QChar q = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == q) {
                    if (i + 1 < n && text[i + 1] == q) {
                        value += q;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed) throw malformed();
            while (i < n && text[i].isSpace())
                ++i;
            if (i < n && text[i] != u';') throw malformed();
        } else {
            qsizetype end = text.indexOf(u';', i);
            if (end < 0) end = n;
            value = text.mid(i, end - i).trimmed();
            i = end;
        }
        out[key] = value;
    }
    return out;
}

void Connection::open()
{
    if (isOpen()) return;
    const auto keys = parseConnectionText(m_text);
    const auto provider = keys.find(QStringLiteral("provider"));
    if (provider == keys.end() ||
        provider->second.compare(QLatin1String(kProvider), Qt::CaseInsensitive) != 0)
        throw DbError(QStringLiteral("Provider cannot be found. It may not be properly installed"));
    const auto source = keys.find(QStringLiteral("data source"));
    if (source == keys.end() || source->second.isEmpty())
        throw DbError(QStringLiteral("No data source was given in the connection text"));
    bool readOnly = false;
    if (const auto mode = keys.find(QStringLiteral("mode")); mode != keys.end())
        readOnly = mode->second.compare(u"Read", Qt::CaseInsensitive) == 0;

    const QString& dataSource = source->second;
    if (pg::isServerUri(dataSource))
        m_store = PgStore::open(dataSource, readOnly, m_busyTimeoutMs);
    else
        m_store = SqliteStore::open(dataSource, readOnly, m_busyTimeoutMs);
    m_fileName = dataSource;
}

bool Connection::isReadOnly() const
{
    return m_store && m_store->isReadOnly();
}

bool Connection::isLegacy() const
{
    return m_store && m_store->isLegacy();
}

void Connection::checkFileUnchanged() const
{
    if (m_store) m_store->checkUnchanged();
}

void Connection::close()
{
    if (!m_store) return;
    emit closing();
    m_store.reset();
    m_fileName.clear();
}

} // namespace vidra

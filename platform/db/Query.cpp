#include "platform/db/Query.h"

#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Store.h"

namespace vidra {

namespace {

bool isIdentStart(QChar c)
{
    return c.isLetter() || c == u'_';
}
bool isIdentChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

Query::Query(QString componentName, QObject* parent)
    : QObject(parent), m_componentName(std::move(componentName))
{
}

Query::~Query() = default;

void Query::SetConnection(Connection* connection)
{
    Close();
    if (m_connection) disconnect(m_connection, nullptr, this, nullptr);
    m_connection = connection;
    if (connection) connect(connection, &Connection::closing, this, &Query::Close);
}

void Query::SetSQL(const QStringList& lines)
{
    Close();
    m_sql = lines;
}

void Query::AddParameter(const QString& name)
{
    m_params.emplace_back(name, QVariant());
}

void Query::SetParameter(const QString& name, const QVariant& value)
{
    for (auto& p : m_params) {
        if (p.first.compare(name, Qt::CaseInsensitive) == 0) {
            p.second = value;
            return;
        }
    }
    throw DbError(m_componentName + QStringLiteral(": Parameter '%1' not found").arg(name));
}

void Query::checkActive() const
{
    if (!m_active)
        throw DbError(m_componentName +
                      QStringLiteral(": Cannot perform this operation on a closed dataset"));
}

void Query::Open()
{
    if (m_active) return;
    if (!m_connection) throw DbError(m_componentName + QStringLiteral(": Missing connection"));
    if (!m_connection->isOpen()) m_connection->open();

    // Bare identifiers that name a declared parameter become the store's
    // numbered placeholders; quoted text and quoted names are left alone.
    Store& store = *m_connection->store();
    const QString text = m_sql.join(u'\n');
    QString sql;
    std::vector<int> order; // parameter index for each placeholder
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c == u'\'' || c == u'"' || c == u'[' || c == u'`') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            qsizetype j = i + 1;
            while (j < text.size() && text[j] != close)
                ++j;
            sql += text.mid(i, j + 1 - i);
            i = j + 1;
            continue;
        }
        if (isIdentStart(c)) {
            qsizetype j = i;
            while (j < text.size() && isIdentChar(text[j]))
                ++j;
            const QString word = text.mid(i, j - i);
            int found = -1;
            for (size_t p = 0; p < m_params.size(); ++p)
                if (m_params[p].first.compare(word, Qt::CaseInsensitive) == 0) found = int(p);
            if (found >= 0) {
                order.push_back(found);
                sql += store.placeholder(int(order.size()));
            } else {
                sql += word;
            }
            i = j;
            continue;
        }
        sql += c;
        ++i;
    }

    std::vector<QVariant> values;
    values.reserve(order.size());
    for (int p : order)
        values.push_back(m_params[size_t(p)].second);
    QueryResult result;
    try {
        result = store.query(sql, values);
    } catch (const WritingStatement& e) {
        throw DbError(m_componentName + QStringLiteral(": ") + e.message());
    }
    m_columns = std::move(result.columns);
    m_firstRow = std::move(result.firstRow);
    m_active = true;
}

void Query::Close()
{
    m_active = false;
    m_columns.clear();
    m_firstRow.clear();
}

QString Query::FieldName(int index) const
{
    checkActive();
    if (index < 0 || index >= FieldCount())
        throw DbError(m_componentName + QStringLiteral(": Field index out of range"));
    return m_columns[size_t(index)];
}

QVariant Query::Value(int index) const
{
    FieldName(index);
    if (size_t(index) >= m_firstRow.size()) return QVariant();
    return m_firstRow[size_t(index)];
}

QVariant Query::ValueByName(const QString& name) const
{
    checkActive();
    for (int i = 0; i < FieldCount(); ++i)
        if (m_columns[size_t(i)].compare(name, Qt::CaseInsensitive) == 0) return Value(i);
    throw DbError(m_componentName + QStringLiteral(": Field '%1' not found").arg(name));
}

int Query::AsInteger(int index) const
{
    const QVariant v = Value(index);
    if (v.isNull()) return 0;
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok)
        throw DbError(m_componentName +
                      QStringLiteral(": '%1' is not a valid integer value").arg(v.toString()));
    return int(n);
}

} // namespace vidra

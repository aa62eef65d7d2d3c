#include "platform/db/Query.h"

#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Sqlite.h"

#include <sqlite3.h>

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

bool isPlainIdentifier(const QString& s)
{
    if (s.isEmpty() || !isIdentStart(s[0])) return false;
    for (QChar c : s)
        if (!isIdentChar(c)) return false;
    return true;
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

    // Bare identifiers that name a declared parameter become numbered
    // placeholders; quoted text and quoted names are left alone.
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
                sql += u'?' + QString::number(order.size());
            } else {
                sql += word;
            }
            i = j;
            continue;
        }
        sql += c;
        ++i;
    }

    sqlite3* db = m_connection->handle();
    Statement statement(db, sql);
    sqlite3_stmt* st = statement.get();
    if (!sqlite3_stmt_readonly(st))
        throw DbError(m_componentName + QStringLiteral(": Only reading statements are allowed"));

    for (size_t k = 0; k < order.size(); ++k) {
        const QVariant& v = m_params[size_t(order[k])].second;
        if (v.isNull())
            sqlite3_bind_null(st, int(k) + 1);
        else
            statement.bindText(int(k) + 1, v.toString());
    }

    std::vector<QString> columns;
    int expr = 1000;
    const int n = sqlite3_column_count(st);
    for (int c = 0; c < n; ++c) {
        const QString name = QString::fromUtf8(sqlite3_column_name(st, c));
        if (!sqlite3_column_origin_name(st, c) && !isPlainIdentifier(name))
            columns.push_back(QStringLiteral("Expr%1").arg(expr++));
        else
            columns.push_back(name);
    }

    std::vector<QVariant> first;
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL:
                first.emplace_back();
                break;
            case SQLITE_INTEGER:
                first.emplace_back(qlonglong(sqlite3_column_int64(st, c)));
                break;
            case SQLITE_FLOAT:
                first.emplace_back(sqlite3_column_double(st, c));
                break;
            default:
                first.emplace_back(
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                      sqlite3_column_bytes(st, c)));
            }
        }
    } else if (rc != SQLITE_DONE) {
        throwSqliteError(db, rc);
    }
    m_columns = std::move(columns);
    m_firstRow = std::move(first);
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

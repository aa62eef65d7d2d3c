#pragma once
// A read-only statement with named parameters. Parameter names appear in
// the statement as bare identifiers (no marker); unnamed expression columns
// of the result are called Expr1000, Expr1001, ... as the file engine names them.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace vidra {

class Connection;

class Query : public QObject
{
    Q_OBJECT
public:
    explicit Query(QString componentName, QObject* parent = nullptr);
    ~Query() override;

    void SetConnection(Connection* connection);
    void SetSQL(const QStringList& lines);
    const QStringList& SQL() const { return m_sql; }
    // Declares a parameter (nullable wide string) that starts out null.
    void AddParameter(const QString& name);
    void SetParameter(const QString& name, const QVariant& value);

    void Open();
    void Close();
    bool Active() const { return m_active; }

    int FieldCount() const { return int(m_columns.size()); }
    QString FieldName(int index) const;
    // Value of a column in the first result row (null when there is none).
    QVariant Value(int index) const;
    QVariant ValueByName(const QString& name) const;
    int AsInteger(int index) const;

private:
    QString m_componentName;
    Connection* m_connection = nullptr;
    QStringList m_sql;
    std::vector<std::pair<QString, QVariant>> m_params;
    std::vector<QString> m_columns;
    std::vector<QVariant> m_firstRow;
    bool m_active = false;
    void checkActive() const;
};

} // namespace vidra

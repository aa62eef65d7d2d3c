#include "platform/dbaware/DataSource.h"

#include "platform/db/Table.h"

namespace vidra {

DataSource::DataSource(Table* table, QObject* parent) : QObject(parent), m_table(table)
{
    connect(table, &Table::stateChanged, this, &DataSource::stateChanged);
    connect(table, &Table::dataChanged, this, &DataSource::dataChanged);
    connect(table, &Table::currentChanged, this, &DataSource::recordChanged);
    connect(table, &Table::fieldChanged, this, &DataSource::fieldChanged);
    connect(table, &Table::updateRecordRequested, this, &DataSource::updateRecord);
}

} // namespace vidra

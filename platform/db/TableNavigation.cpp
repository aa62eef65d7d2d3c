#include "platform/db/Table.h"
#include "platform/db/TableCursor.h"

#include <algorithm>

namespace vidra {

// ---------------------------------------------------------------- navigation

void Table::First()
{
    checkActive();
    checkBrowseMode();
    d->first();
    emit currentChanged();
}

void Table::Last()
{
    checkActive();
    checkBrowseMode();
    const int n = int(d->count());
    d->pos = n - 1;
    d->eof = true;
    d->bof = n == 0;
    emit currentChanged();
}

int Table::MoveBy(int distance)
{
    checkActive();
    checkBrowseMode();
    const int n = int(d->count());
    const bool bofWas = d->bof;
    const bool eofWas = d->eof;
    if (n == 0 || distance == 0) {
        if (n == 0) {
            d->bof = d->eof = true;
            if (!bofWas || !eofWas) emit currentChanged();
        }
        return 0;
    }
    const int from = d->pos;
    int to = int(std::clamp<long long>(static_cast<long long>(from) + distance, 0, n - 1));
    const int moved = to - from;
    d->pos = to;
    if (distance > 0) {
        d->bof = false;
        d->eof = moved < distance;
    } else {
        d->eof = false;
        d->bof = moved > distance;
    }
    // A move that finds no further row changes only a flag, and the
    // navigator and the scroll bar show the flags.
    if (moved != 0 || d->bof != bofWas || d->eof != eofWas) emit currentChanged();
    return moved;
}

bool Table::Bof() const
{
    checkActive();
    return d->bof;
}

bool Table::Eof() const
{
    checkActive();
    return d->eof;
}

int Table::RecNo() const
{
    checkActive();
    if (m_filtered || m_state == DatasetState::Insert || d->pos < 0) return -1;
    return d->pos + 1;
}

void Table::SetRecNo(int recNo)
{
    checkActive();
    if (m_filtered) raise("Record numbers are not available while a filter is in force");
    checkBrowseMode();
    const int n = int(d->count());
    if (n == 0) return;
    const int to = std::clamp(recNo, 1, n) - 1;
    const bool flagged = d->bof || d->eof;
    d->bof = d->eof = false;
    if (to != d->pos || flagged) {
        d->pos = to;
        emit currentChanged();
    }
}

int Table::RecordCount() const
{
    checkActive();
    return int(d->count());
}

bool Table::Locate(const QString& fieldName, const QVariant& value)
{
    try {
        checkActive();
        checkBrowseMode();
        const int f = FieldByName(fieldName).Index();
        const ExactValue want(value);
        const size_t n = d->count();
        for (size_t p = 0; p < n; ++p) {
            if (want.matches(d->snap.cell(d->rowAt(p), f))) {
                d->pos = int(p);
                d->bof = d->eof = false;
                emit currentChanged();
                return true;
            }
        }
    } catch (const std::exception&) {
        // A failure while searching counts as not found.
    }
    return false;
}

// ---------------------------------------------------------------- positional access

int Table::CurrentPosition() const
{
    if (!Active()) return -1;
    if (m_state == DatasetState::Insert) return int(d->count());
    return d->pos;
}

int Table::VisibleRowCount() const
{
    if (!Active()) return 0;
    return int(d->count()) + (m_state == DatasetState::Insert ? 1 : 0);
}

QString Table::DisplayText(int position, int fieldIndex) const
{
    if (!Active() || fieldIndex < 0 || fieldIndex >= FieldCount() || position < 0) return QString();
    const bool pending = (m_state == DatasetState::Insert && position == int(d->count())) ||
                         (m_state == DatasetState::Edit && position == d->pos);
    if (pending) {
        const auto& v = d->buffer[size_t(fieldIndex)];
        return v ? *v : QString();
    }
    if (size_t(position) >= d->count()) return QString();
    return cellText(d->snap.cell(d->rowAt(size_t(position)), fieldIndex));
}

} // namespace vidra

#include "db/connection.h"
#include "db/connection_p.h"

#include "db/valuetext.h"

using namespace Qt::StringLiterals;

namespace tavo::db {

void Recordset::Impl::detach()
{
    if (owner) {
        owner->streams.remove(this);
        owner = nullptr;
    }
    if (streaming) {
        query.finish();
        query = QSqlQuery();
        onRow = false;
        open = false;
    }
}

Recordset::Recordset()
    : d(std::make_unique<Impl>())
{
}

Recordset::~Recordset()
{
    if (d)
        d->detach();
}

Recordset::Recordset(Recordset &&) noexcept = default;

Recordset &Recordset::operator=(Recordset &&other) noexcept
{
    if (this != &other) {
        if (d)
            d->detach();
        d = std::move(other.d);
    }
    return *this;
}

bool Recordset::isOpen() const
{
    return d && d->open;
}

bool Recordset::eof() const
{
    d->requireOpen();
    if (d->streaming)
        return !d->onRow;
    return d->position >= d->rows.size();
}

bool Recordset::bof() const
{
    d->requireOpen();
    if (d->streaming)
        return d->position < 0; // only an empty result stands before a first row
    return d->position < 0 || d->rows.isEmpty();
}

void Recordset::moveNext()
{
    if (d->streaming) {
        d->requireRow();
        d->position = 0; // a row has been seen: no longer before the first
        d->advanceStream();
        return;
    }
    d->requireOpen();
    if (d->position >= d->rows.size()) // from BOF the move reaches the first row, as in ADO
        throw DbError(kErrNoCurrentRecord,
            u"Either BOF or EOF is True, or the current record has been deleted. "
            "Requested operation requires a current record."_s);
    ++d->position;
}

void Recordset::movePrevious()
{
    d->requireClientCursor("MovePrevious");
    if (d->position < 0 || d->rows.isEmpty())
        throw DbError(kErrNoCurrentRecord,
            u"Either BOF or EOF is True, or the current record has been deleted. "
            "Requested operation requires a current record."_s);
    --d->position;
}

void Recordset::moveFirst()
{
    d->requireClientCursor("MoveFirst");
    d->position = 0;
}

void Recordset::moveLast()
{
    d->requireClientCursor("MoveLast");
    d->position = d->rows.isEmpty() ? 0 : d->rows.size() - 1;
}

int Recordset::recordCount() const
{
    d->requireOpen();
    return d->cursor == Cursor::Client ? int(d->rows.size()) : -1;
}

void Recordset::close()
{
    if (!d)
        return;
    d->detach();
    d->open = false;
    d->rows.clear();
    d->fieldIndex.clear();
    d->record = QSqlRecord();
}

int Recordset::fieldCount() const
{
    return d && d->open ? d->record.count() : 0;
}

QString Recordset::fieldName(int index) const
{
    d->checkIndex(index);
    return d->record.fieldName(index);
}

QVariant Recordset::value(int index) const
{
    return d->valueAt(index);
}

QVariant Recordset::value(const QString &field) const
{
    return d->valueAt(d->indexOf(field));
}

bool Recordset::isNull(const QString &field) const
{
    return isNull(d->indexOf(field));
}

bool Recordset::isNull(int index) const
{
    d->checkIndex(index);
    d->requireRow();
    return d->streaming ? d->query.isNull(index) : d->rows[d->position][index].isNull();
}

QString Recordset::text(const QString &field) const
{
    return valueText(value(field));
}

QString Recordset::text(int index) const
{
    return valueText(value(index));
}

double Recordset::number(const QString &field) const
{
    return number(d->indexOf(field));
}

double Recordset::number(int index) const
{
    const QVariant v = value(index);
    switch (v.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.isNull() ? 0 : v.toDouble();
    default:
        return basicVal(valueText(v));
    }
}

} // namespace tavo::db

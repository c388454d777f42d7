#include "rowrules.h"

#include <QHash>

#include <core/schema.h>
#include <regions/regiontable.h>

namespace Kuaidi {

namespace {

void setCell(QStringList &cells, int column, const QString &text)
{
    while (cells.size() <= column)
        cells.append(QString());
    cells[column] = text;
}

} // namespace

QStringList cellsToStore(QStringList cells, RowWrite write)
{
    for (qsizetype c = 0; c < cells.size(); ++c) {
        const bool last = c == cells.size() - 1;
        if (cells.at(c).isEmpty() && !(last && write == RowWrite::Change))
            cells[c] = EmptyCellMarker.toString();
    }
    return cells;
}

void writeRowFields(QStringList &cells, const RowFields &fields)
{
    setCell(cells, ColumnArrivalTime, fields.arrivalTime);
    setCell(cells, ColumnContact, fields.contact);
    setCell(cells, ColumnOtherFee, fields.otherFee);
    setCell(cells, ColumnSurcharge30To50, fields.surcharge30To50);
    setCell(cells, ColumnSurcharge20To30, fields.surcharge20To30);
    setCell(cells, ColumnAdditionalWeight, fields.additionalWeight);
    setCell(cells, ColumnFirstWeight, fields.firstWeight);
    setCell(cells, ColumnRegion, fields.region);
}

QString templateContact(const QStringList &contacts)
{
    QHash<QString, int> counts;
    QString best;
    for (const QString &contact : contacts) {
        const QString text = contact.trimmed();
        if (text.isEmpty() || text == NotFilledMarker || text == EmptyCellMarker)
            continue;
        const int count = ++counts[text];
        if (best.isEmpty() || count > counts.value(best))
            best = text;
    }
    return best;
}

RowFields withNewRowDefaults(RowFields fields, const QString &contact)
{
    if (fields.contact.isEmpty())
        fields.contact = contact;
    for (QString *field :
         {&fields.contact, &fields.otherFee, &fields.surcharge30To50, &fields.surcharge20To30,
          &fields.additionalWeight, &fields.firstWeight, &fields.arrivalTime}) {
        if (field->isEmpty())
            *field = NotFilledMarker.toString();
    }
    return fields;
}

QStringList newRow(int columnCount, const QString &id, const RowFields &fields)
{
    QStringList cells;
    setCell(cells, ColumnId, id);
    writeRowFields(cells, fields);
    const std::optional<RegionMatch> match = MatchRegion(fields.region);
    setCell(cells, ColumnProvince,
            match ? match->entry->province.toString() : UnknownRegionProvince.toString());
    // A template without some rate columns simply does not store those fields.
    cells.resize(qMax(columnCount, 0));
    return cells;
}

int nextRowId(const QStringList &ids)
{
    int highest = int(ids.size());
    for (const QString &text : ids) {
        bool ok = false;
        const int id = text.toInt(&ok);
        if (ok)
            highest = qMax(highest, id);
    }
    return highest + 1;
}

} // namespace Kuaidi

#include "raterows.h"

#include <core/numbertext.h>
#include <core/schema.h>

namespace Kuaidi {

QList<QStringList> rateRowsOf(const TextTable &table)
{
    return rateRowsOf(table, RateColumns());
}

QStringList pricedColumnsOf(const TextTable &table)
{
    QStringList columns = RateColumns();
    for (const QString &column : pricedColumns().mid(RateColumnCount)) {
        if (table.columns.contains(column))
            columns << column;
    }
    return columns;
}

QList<QStringList> rateRowsOf(const TextTable &table, const QStringList &columns)
{
    QList<qsizetype> fieldOf;
    for (const QString &column : columns)
        fieldOf.append(table.columns.indexOf(column));
    QList<QStringList> rows;
    rows.reserve(table.rows.size());
    for (const QStringList &stored : table.rows) {
        QStringList row;
        row.reserve(columns.size());
        for (const qsizetype at : std::as_const(fieldOf))
            row.append(at < 0 ? QString() : stored.value(at));
        rows.append(std::move(row));
    }
    return rows;
}

double levelPrice(const QStringList &rateCells, int level, int field)
{
    // The row's own prices sit in the five columns from 首重价格 on, in the
    // order of the price fields.
    return levelPrice([&](int column) { return textToNumber(rateCells.value(column)); }, level, field);
}

QString shownLevelPrice(const QStringList &rateCells, int level, int field)
{
    if (level == 0)
        return rateCells.value(ColumnFirstWeight + field);
    if (level < 0 || level >= LevelCount)
        return {};
    return numberToText(levelPrice(rateCells, level, field));
}

} // namespace Kuaidi

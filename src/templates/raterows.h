#pragma once

#include <core/schema.h>
#include <core/texttable.h>

#include <QString>
#include <QStringList>

namespace Kuaidi {

/// The rows of a stored template as 41 cells each in the order of
/// RateColumns(), whatever order the table keeps its columns in; a column the
/// table lacks reads as empty.
QList<QStringList> rateRowsOf(const TextTable &table);

/// The same in the order of @p columns.
QList<QStringList> rateRowsOf(const TextTable &table, const QStringList &columns);

/// RateColumns(), then those price columns beyond the 41 (pricedColumns())
/// that @p table has.
QStringList pricedColumnsOf(const TextTable &table);

/// What a row charges at a star level for one price field: the row's own
/// price plus the level's amount for that field, both read leniently. Level 0
/// (原参数价格) has amounts of its own too. @p rateCells are the 41 cells of
/// RateColumns().
double levelPrice(const QStringList &rateCells, int level, int field);

/// The same sum over numbers already read: @p number(column) gives the number
/// of a column of RateColumns(). Pricing many rows reads each row once.
template<typename Number> double levelPrice(Number number, int level, int field)
{
    return number(ColumnFirstWeight + field) + number(priceSetColumnIndex(level, field));
}

/// A price as the template editor lists it for a star level: the row's own
/// price as stored at level 0, the sum of levelPrice() at levels 1 to 5, and
/// nothing for a level that does not exist.
QString shownLevelPrice(const QStringList &rateCells, int level, int field);

} // namespace Kuaidi

#pragma once

#include <core/texttable.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// The columns of an order list or a courier's bill, found by their titles.
enum class OrderField { Destination, Weight, OrderNumber, Volume, Amount };

/// "目的地", "重量", "订单号", "体积", "金额": how a missing column is named.
QString orderFieldName(OrderField field);

/// Which field a title names, if any.
std::optional<OrderField> orderFieldOfTitle(QStringView title);

/// An order list (or a bill) below its header row.
struct OrderSheet
{
    QStringList titles;      ///< the cells of the header row
    QList<QStringList> rows; ///< the rows below it, each as wide as titles
    int headerRow = 0;       ///< the header's row in the sheet, from 1 (blank rows not counted)
    int destination = -1;
    int weight = -1;
    int orderNumber = -1; ///< -1 when the list has none
    int volume = -1;      ///< -1 when the list has none
    int amount = -1;      ///< only read for a bill

    /// The number of row @p i in the sheet, from 1, as the header row counts.
    int sheetRow(qsizetype i) const { return headerRow + 1 + int(i); }
};

struct OrderSheetResult
{
    std::optional<OrderSheet> sheet;
    QString error; ///< why there is none, naming every missing column
};

/// Finds the header of @p table (its fields and records, one list of rows):
/// the first of its first ten rows that holds a destination title. A bill
/// (@p withAmount) also needs a column of the amount charged.
OrderSheetResult findOrderColumns(const TextTable &table, bool withAmount);

/// Opens @p path (.xlsx, .xls, .csv), reads sheet @p sheet (the first one
/// when empty) and finds its columns.
OrderSheetResult readOrderSheet(const QString &path, const QString &sheet, bool withAmount);

} // namespace Kuaidi

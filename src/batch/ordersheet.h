#pragma once

#include <core/texttable.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// The columns of an order list or a courier's bill, found by their titles.
enum class OrderField { Destination, Weight, OrderNumber, Volume, Amount, Length, Width, Height, Size };

/// "目的地", "重量", "订单号", "体积", "金额", "长", "宽", "高", "尺寸": how a
/// missing column is named.
QString orderFieldName(OrderField field);

/// Which field a title names, if any.
std::optional<OrderField> orderFieldOfTitle(QStringView title);

/// An order list (or a bill) below its header row.
struct OrderSheet
{
    QStringList titles;      ///< the cells of the header row
    QList<QStringList> rows; ///< the orders below it, each as wide as titles
    int headerRow = 0;       ///< the header's row in the sheet, from 1
    int destination = -1;
    int weight = -1;
    int orderNumber = -1; ///< -1 when the list has none
    int volume = -1;      ///< cubic metres; -1 when the list has none
    int length = -1;      ///< the sides in centimetres, each -1 when the list has none
    int width = -1;
    int height = -1;
    int size = -1;   ///< the three sides in one cell ("30×20×10"); -1 when the list has none
    int amount = -1; ///< only read for a bill
    /// Where each order stood in the sheet, from 1, when rows were left out
    /// between them (a 合计 line, blank rows); empty when they follow the
    /// header one by one.
    QList<int> rowNumbers;

    /// The number of order @p i in the sheet, from 1, as the header row counts.
    int sheetRow(qsizetype i) const
    {
        return i < rowNumbers.size() ? rowNumbers.at(i) : headerRow + 1 + int(i);
    }
};

struct OrderSheetResult
{
    std::optional<OrderSheet> sheet;
    QString error; ///< why there is none, naming every missing column
};

/// Finds the header of @p table (its fields and records, one list of rows):
/// the first of its first ten rows that holds a destination title. A bill
/// (@p withAmount) also needs a column of the amount charged. Footer lines
/// (合计, 总计, 小计 without a destination) are no orders and are left out;
/// day numbers in a date column (发件时间 46054.6) read as dates.
OrderSheetResult findOrderColumns(const TextTable &table, bool withAmount);

/// Opens @p path (.xlsx, .xls, .csv), reads sheet @p sheet (the first one
/// when empty) and finds its columns.
OrderSheetResult readOrderSheet(const QString &path, const QString &sheet, bool withAmount);

/// A parcel's weight as an order list gives it, in kilograms: a number above
/// zero, with or without its unit ("1.2", "1.2kg", "1.2 公斤").
std::optional<double> orderWeight(QStringView text);

/// What an order's cells say of its parcel.
struct OrderParcel
{
    std::optional<double> weight; ///< kilograms
    std::optional<double> volume; ///< cubic metres, when the order gives one
    QString problem;              ///< "重量无效" or "体积无效" when it cannot be priced
};

/// The parcel of an order from its weight and volume texts.
OrderParcel orderParcel(const QString &weight, const QString &volume);
/// The parcel of row @p row of @p sheet: its weight, and its volume from the
/// 体积 column or else from the sides (长, 宽, 高 or 尺寸) in centimetres.
OrderParcel orderParcel(const OrderSheet &sheet, const QStringList &row);

} // namespace Kuaidi

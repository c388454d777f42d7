#pragma once

#include <QString>
#include <QStringList>

namespace Kuaidi {

/// Column positions of a rate template, also the cell positions of every list
/// that shows a whole row.
enum RateColumn : int {
    ColumnId = 0,
    ColumnRegion = 1,
    ColumnProvince = 2,
    ColumnCityGrade = 3,
    ColumnFirstWeight = 4,
    ColumnAdditionalWeight = 5,
    ColumnSurcharge20To30 = 6,
    ColumnSurcharge30To50 = 7,
    ColumnOtherFee = 8,
    ColumnContact = 9,
    ColumnFirstPriceSet = 10,
    ColumnArrivalTime = 40,
    RateColumnCount = 41
};

/// The fields of one price set, in column order.
enum PriceField : int {
    FieldFirstWeight = 0,
    FieldAdditionalWeight = 1,
    FieldSurcharge20To30 = 2,
    FieldSurcharge30To50 = 3,
    FieldOtherFee = 4,
    PriceFieldCount = 5
};

inline constexpr int LevelCount = 6;

/// A template may price parcels by weight bracket and weight band beyond the
/// described row, in columns of its own after the 41 (pricedColumns()). A
/// template has them only when it uses them.
inline constexpr int MaxBrackets = 12;
inline constexpr int MaxBands = 8;

enum PricedColumn : int {
    ColumnFirstBracket = RateColumnCount,               ///< "重量段1价格" …
    ColumnFirstBand = ColumnFirstBracket + MaxBrackets, ///< "区间1首重价格", "区间1续重价格" …
    ColumnMinimumFee = ColumnFirstBand + 2 * MaxBands,  ///< "最低收费"
    PricedColumnCount
};

constexpr int bracketColumnIndex(int bracket)
{
    return ColumnFirstBracket + bracket;
}

/// @p field: FieldFirstWeight or FieldAdditionalWeight.
constexpr int bandColumnIndex(int band, int field)
{
    return ColumnFirstBand + 2 * band + field;
}

/// The 41 column names of a rate template, in table order.
const QStringList &RateColumns();

/// RateColumns(), then the columns of the bracket and band prices and of the
/// minimum fee, in the order of PricedColumn.
const QStringList &pricedColumns();

/// The columns a template with @p brackets brackets and @p bands bands prices
/// by beyond the 41, in order: its bracket prices, its bands' first and
/// additional prices, and "最低收费".
QStringList priceExtensionColumns(int brackets, int bands);

/// The short titles the calculator shows above a whole rate row.
const QStringList &rateColumnShortTitles();

/// "原参数价格" (the base set, level 0), then "一星客户" … "五星客户".
const QStringList &levelNames();

/// "首重价格", "续重价格", "二十至三十KG手续费", "三十至五十KG手续费", "其他手续费".
const QStringList &priceFieldNames();

/// Level index 0–5 of a level name, or -1 when the text names no level.
int levelIndex(QStringView levelName);

/// Column name of a price-set field: the level name directly followed by the field name.
QString priceSetColumnName(int level, int field);

constexpr int priceSetColumnIndex(int level, int field)
{
    return ColumnFirstPriceSet + PriceFieldCount * level + field;
}

/// A column title as sheets are matched by it: blanks trimmed, a bracketed
/// unit removed ("重量(kg)" and "首重（元）" read as 重量 and 首重).
QString normalisedColumnTitle(QStringView title);

} // namespace Kuaidi

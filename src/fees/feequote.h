#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// One row of a rate template (the 41 cells of RateColumns()) with the name
/// of the template it came from.
struct MatchedRateRow
{
    QStringList cells;
    QString templateName;

    QString cell(int column) const { return column < cells.size() ? cells.at(column) : QString(); }
};

/// One priced result: nine texts, in the order of the result list's columns.
struct FeeQuote
{
    QString courier;          ///< 快递名称: the template name
    QString destination;      ///< 目的地名: the row's 地区
    QString total;            ///< 快递费用
    QString firstWeight;      ///< 首重价格
    QString additionalWeight; ///< 续重价格, per kilogram
    QString bandSurcharge;    ///< 价格区间手续费, per kilogram
    QString otherFee;         ///< 其他手续费
    QString contact;          ///< 联系方式
    QString arrivalTime;      ///< 到达时间

    static const QStringList &titles();
    QStringList toCells() const;
    static FeeQuote fromCells(const QStringList &cells);

    friend bool operator==(const FeeQuote &, const FeeQuote &) = default;
};

/// Heaviest parcel any courier row is priced for, in kilograms.
inline constexpr double MaximumWeight = 50.0;

/// Whether no courier row prices a parcel of @p weight kilograms: over
/// 50 kg, beyond the weight tolerance.
bool isOverMaximumWeight(double weight);

/// Prices one parcel of @p weight kilograms against one row at a customer star
/// level. Nothing when the level names no price set, when the weight is over
/// 50 kg, or when it is not a positive number.
std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, double weight, QStringView levelName);

/// The explanation shown for one result, with "\r\n" line breaks. @p weightText
/// is quoted as the user typed it; @p weight picks the wording of its band.
/// Empty above 50 kg.
QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, double weight);

} // namespace Kuaidi

#pragma once

#include <core/billingrules.h>
#include <ratedb/templaterows.h>

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace Kuaidi {

/// How a row was found for a destination: its 地区 contains the typed text;
/// or, for a template with no such row, its 地区 contains the city the text
/// resolves to; or it is the province row of that city's province.
enum class MatchKind { Region, City, Province };

/// "地区", "城市", "省份".
QString matchKindText(MatchKind kind);

/// One row of a rate template (the 41 cells of RateColumns()) with the name
/// of the template it came from and how the search found it. A row the
/// search found stays where it is, in the template's rows in memory
/// (@c source and @c row); a row made up elsewhere carries its @c cells.
struct MatchedRateRow
{
    QStringList cells;
    QString templateName;
    MatchKind match = MatchKind::Region;
    std::shared_ptr<const TemplateRows> source;
    qsizetype row = -1;

    QString cell(int column) const
    {
        return source ? source->cell(row, column) : column < cells.size() ? cells.at(column) : QString();
    }
};

/// What one parcel is billed as under one template's billing rules.
struct BilledWeight
{
    double actual = 0;       ///< kilograms as typed
    double billed = 0;       ///< kilograms the fee is computed for
    bool volumetric = false; ///< the volume weighed more than the parcel
    bool rounded = false;    ///< rounding up changed the weight
    BillingRules rules;      ///< the rules that made it
    /// The larger of the weight and the volume weight, not rounded up: what
    /// picks a weight bracket (couriers round up only what they price by the
    /// kilogram).
    double unrounded = 0;

    /// Whether the fee is computed for another weight than the one typed.
    bool differs() const;

    friend bool operator==(const BilledWeight &, const BilledWeight &) = default;
};

/// A parcel of @p weight kilograms (and @p volume cubic metres, when known)
/// under @p rules: the larger of the weight and the volume weight, rounded
/// up as the rules say, within the weight tolerance (2.00000005 kg stays 2).
BilledWeight billedWeight(double weight, std::optional<double> volume, const BillingRules &rules);

/// Which of a row's prices made a fee: its first and additional weight, the
/// price of a weight bracket, or the first and additional weight of a band.
enum class FeeBasis : quint8 { FirstAndAdditional, Bracket, Band };

/// How a fee was made beyond its figures, for the breakdown.
struct FeeRule
{
    FeeBasis basis = FeeBasis::FirstAndAdditional;
    qint8 step = -1;         ///< the bracket or band (from 0), -1 for the row's own prices
    bool minimum = false;    ///< raised to the row's 最低收费
    bool surcharged = false; ///< the 20–30 or 30–50 kg surcharge was charged

    friend bool operator==(const FeeRule &, const FeeRule &) = default;
};

/// One result: nine texts in the order of the result list's columns, then the
/// billed weight and how the row was found.
struct FeeQuote
{
    QString courier;          ///< 快递名称: the template name
    QString destination;      ///< 目的地名: the row's 地区
    QString total;            ///< 快递费用, or "未报价" for a row without a price
    QString firstWeight;      ///< 首重价格
    QString additionalWeight; ///< 续重价格, per kilogram
    QString bandSurcharge;    ///< 价格区间手续费, per kilogram
    QString otherFee;         ///< 其他手续费
    QString contact;          ///< 联系方式
    QString arrivalTime;      ///< 到达时间
    QString billedWeight;     ///< 计费重量, kilograms
    QString match;            ///< 匹配方式: matchKindText()

    /// False for a row whose template gives no price for the region and
    /// weight: its total is "未报价" (or "超过最大重量") and its price fields
    /// are empty.
    bool priced = true;
    BilledWeight billing;
    FeeRule rule;
    /// Priced by parts (超出部分) in a band: the additional price of each
    /// part below it, from the first weight up, for the breakdown.
    QList<double> lowerAdditionalPrices;

    /// A fee a seller can charge: priced and above 0.
    bool hasFee() const;

    /// Column of 价格区间手续费 among toCells().
    static constexpr int BandSurchargeColumn = 5;

    static const QStringList &titles();
    QStringList toCells() const;
    /// One of toCells(), without making the others.
    QString cell(int column) const;
    static FeeQuote fromCells(const QStringList &cells);

    friend bool operator==(const FeeQuote &, const FeeQuote &) = default;
};

/// The sums of a quote as numbers, each the number its text shows (see
/// shownNumber()), so that the total is made of the parts as shown. Texts
/// are written from them when a quote is shown.
struct FeeFigures
{
    bool priced = true;
    bool overMaximum = false; ///< not priced: heavier than the template's 最大重量
    double total = 0;
    double firstWeight = 0;
    double additionalWeight = 0;
    double bandSurcharge = 0;
    double otherFee = 0;
    /// Kilograms the fee is for, 计费重量: the unrounded weight in a weight
    /// bracket, the billed weight otherwise.
    double pricedWeight = 0;
    FeeRule rule;

    /// Writes the price texts of @p quote, its 计费重量 and its rule.
    void writeTo(FeeQuote &quote) const;
    /// One of the price columns of FeeQuote::cell() (2 to 6), or 计费重量 (9).
    QString text(int column) const;
    /// Whether column @p column of a quote is one of the figures.
    static bool isFigureColumn(int column);
};

/// The total of a row whose template gives no price for its region.
inline constexpr QStringView UnpricedText = u"未报价";
/// The total of a row whose template prices no parcel that heavy.
inline constexpr QStringView OverMaximumText = u"超过最大重量";

/// Heaviest parcel a template prices unless its 最大重量 says otherwise, in
/// kilograms.
inline constexpr double MaximumWeight = 50.0;

/// Whether a template's rules price no parcel billed at @p weight: over its
/// 最大重量, beyond the weight tolerance.
bool isOverMaximumWeight(const BilledWeight &weight);

/// Whether a parcel billed at @p weight kilograms pays the band surcharge:
/// over 20 kg, up to 50 kg.
bool isBandCharged(double weight);

/// Prices one parcel against one row at a customer star level. Nothing when
/// the level names no price set, or when the billed weight is not a positive
/// number. A row without the price a parcel needs gives an unpriced quote
/// ("未报价"), and so does a parcel over the template's 最大重量 ("超过最大重量").
///
/// A parcel whose unrounded weight lies within the template's weight
/// brackets pays the bracket's price; any other pays the first and
/// additional price of the weight band its billed weight falls in (the
/// row's own where it has none), wholly (全程) or for the part above the
/// band's start (超出部分), by units of 续重单位; then the 20–30 and 30–50 kg
/// surcharges and the other fee as always, and at least the row's 最低收费.
/// A star level adds its amounts to whichever first or bracket price and
/// additional price apply.
std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, const BilledWeight &weight,
                                        QStringView levelName);

/// The figures of the same quote, from the row's cells (in the order of
/// pricedColumns(); the 41 alone for a template without brackets or bands)
/// and a star level number (levelIndex()).
std::optional<FeeFigures> computeFeeFigures(const QStringList &rateCells, const BilledWeight &weight,
                                            int level);

/// The cells of pricedColumns() read for pricing: the 41 by textToNumber(),
/// the bracket and band prices and 最低收费 by priceCellNumber().
void readPriceNumbers(const QStringList &rateCells, double *numbers);

/// The same from cells already read by readPriceNumbers(), and whether the
/// row's own 首重价格 begins with a number (a row whose 首重价格 is "未填",
/// "不发" … is not priced at 0 where that price applies).
std::optional<FeeFigures> computeFeeFigures(const double *rateNumbers, bool priced,
                                            const BilledWeight &weight, int level);

/// The first-weight price a marketplace's freight form is given for a row
/// (cells as for computeFeeFigures()) at a star level: under weight
/// brackets, what a parcel of 首重重量 pays by its bracket, empty where no
/// price covers it; otherwise the row's own, as shownLevelPrice().
QString formFirstWeightPrice(const QStringList &rateCells, const BillingRules &rules, int level);

/// The same for a parcel of @p weight kilograms under the default rules.
std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, double weight, QStringView levelName);

/// The explanation shown for one result, with "\r\n" line breaks. @p weightText
/// is quoted as the user typed it; @p weight picks the wording of its band.
/// When the billed weight differs from the typed one, a line says which was
/// billed and why; a fee by weight bracket or band says which, and a fee
/// raised to the minimum says so. Empty above the template's 最大重量.
QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, const BilledWeight &weight);

/// The same for a weight billed as typed.
QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, double weight);

} // namespace Kuaidi

// Texts and numbers only: moved in memory when a list of quotes grows.
Q_DECLARE_TYPEINFO(Kuaidi::FeeQuote, Q_RELOCATABLE_TYPE);

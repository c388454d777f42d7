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

    /// Whether the fee is computed for another weight than the one typed.
    bool differs() const;

    friend bool operator==(const BilledWeight &, const BilledWeight &) = default;
};

/// A parcel of @p weight kilograms (and @p volume cubic metres, when known)
/// under @p rules: the larger of the weight and the volume weight, rounded
/// up as the rules say, within the weight tolerance (2.00000005 kg stays 2).
BilledWeight billedWeight(double weight, std::optional<double> volume, const BillingRules &rules);

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

    /// False for a row whose template gives no price for the region: its
    /// total is "未报价" and its price fields are empty.
    bool priced = true;
    BilledWeight billing;

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
    double total = 0;
    double firstWeight = 0;
    double additionalWeight = 0;
    double bandSurcharge = 0;
    double otherFee = 0;

    /// Writes the price texts of @p quote, and its 计费重量 from its billing.
    void writeTo(FeeQuote &quote) const;
    /// One of the price columns of FeeQuote::cell() (2 to 6), or 计费重量
    /// (9) for a parcel billed at @p billed kilograms.
    QString text(int column, double billed) const;
    /// Whether column @p column of a quote is one of the figures.
    static bool isFigureColumn(int column);
};

/// The total of a row whose template gives no price for its region.
inline constexpr QStringView UnpricedText = u"未报价";

/// Heaviest parcel any courier row is priced for, in kilograms.
inline constexpr double MaximumWeight = 50.0;

/// Whether no courier row prices a parcel of @p weight kilograms: over
/// 50 kg, beyond the weight tolerance.
bool isOverMaximumWeight(double weight);

/// Whether a parcel billed at @p weight kilograms pays the band surcharge:
/// over 20 kg, up to 50 kg.
bool isBandCharged(double weight);

/// Whether @p row gives no price: its own 首重价格 does not begin with a
/// number (empty, "未填", "空", "不发", "-" …). Such a row is not priced at 0.
bool isUnpriced(const MatchedRateRow &row);

/// Prices one parcel against one row at a customer star level. Nothing when
/// the level names no price set, or when the billed weight is over 50 kg or
/// not a positive number. A row without a price gives an unpriced quote.
std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, const BilledWeight &weight,
                                        QStringView levelName);

/// The figures of the same quote, from the row's 41 rate cells and a star
/// level number (levelIndex()).
std::optional<FeeFigures> computeFeeFigures(const QStringList &rateCells, const BilledWeight &weight,
                                            int level);

/// The same from the 41 cells already read as numbers (textToNumber()), and
/// whether the row has a price (see isUnpriced()).
std::optional<FeeFigures> computeFeeFigures(const double *rateNumbers, bool priced,
                                            const BilledWeight &weight, int level);

/// The same for a parcel of @p weight kilograms under the default rules.
std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, double weight, QStringView levelName);

/// The explanation shown for one result, with "\r\n" line breaks. @p weightText
/// is quoted as the user typed it; @p weight picks the wording of its band.
/// When the billed weight differs from the typed one, a line says which was
/// billed and why. Empty above 50 kg.
QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, const BilledWeight &weight);

/// The same for a weight billed as typed.
QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, double weight);

} // namespace Kuaidi

// Texts and numbers only: moved in memory when a list of quotes grows.
Q_DECLARE_TYPEINFO(Kuaidi::FeeQuote, Q_RELOCATABLE_TYPE);

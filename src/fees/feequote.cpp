#include "feequote.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>
#include <templates/raterows.h>

#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Up to 20 kg no band surcharge is charged, whatever the first weight.
enum class Band { UpToTwenty, UpToThirty, UpToFifty, Over };

Band bandOf(double weight)
{
    if (weight - 20 <= Tolerance)
        return Band::UpToTwenty;
    if (weight - 30 <= Tolerance)
        return Band::UpToThirty;
    if (weight - MaximumWeight <= Tolerance)
        return Band::UpToFifty;
    return Band::Over;
}

// Up to the next multiple of @p step, unless within the tolerance of one.
double roundUp(double weight, double step)
{
    const double steps = std::ceil((weight - Tolerance) / step);
    return qMax(steps, 1.0) * step;
}

QString breakdownHead(const FeeQuote &quote)
{
    return u"物流快递名称："_s + quote.courier + u"   送达地点："_s + quote.destination;
}

QString billedWeightLine(const BilledWeight &weight)
{
    QStringList reasons;
    if (weight.volumetric)
        reasons << u"体积重"_s;
    if (weight.rounded) {
        reasons << u"按%1KG进位"_s.arg(
            weight.rules.rounding == BillingRules::Rounding::HalfKilogram ? u"0.5"_s : u"1"_s);
    }
    return u"\r\n\r\n计费重量为："_s + numberToText(weight.billed) + u"KG（"_s + reasons.join(u'，') + u'）';
}

} // namespace

QString matchKindText(MatchKind kind)
{
    switch (kind) {
    case MatchKind::City:
        return u"城市"_s;
    case MatchKind::Province:
        return u"省份"_s;
    case MatchKind::Region:
        break;
    }
    return u"地区"_s;
}

bool BilledWeight::differs() const
{
    return std::abs(billed - actual) > Tolerance;
}

BilledWeight billedWeight(double weight, std::optional<double> volume, const BillingRules &rules)
{
    BilledWeight result{weight, weight, false, false, rules};
    if (volume && *volume > 0 && rules.volumeDivisor > 0) {
        const double volumeWeight = *volume * 1'000'000 / rules.volumeDivisor;
        if (volumeWeight - weight > Tolerance) {
            result.billed = volumeWeight;
            result.volumetric = true;
        }
    }
    if (rules.rounding != BillingRules::Rounding::None && std::isfinite(result.billed) && result.billed > 0) {
        const double step = rules.rounding == BillingRules::Rounding::HalfKilogram ? 0.5 : 1;
        const double rounded = roundUp(result.billed, step);
        result.rounded = std::abs(rounded - result.billed) > Tolerance;
        result.billed = rounded;
    }
    return result;
}

bool FeeQuote::hasFee() const
{
    return priced && textToNumber(total) > 0;
}

const QStringList &FeeQuote::titles()
{
    static const QStringList t{u"快递名称"_s, u"目的地名"_s,       u"快递费用"_s,   u"首重价格"_s,
                               u"续重价格"_s, u"价格区间手续费"_s, u"其他手续费"_s, u"联系方式"_s,
                               u"到达时间"_s, u"计费重量"_s,       u"匹配方式"_s};
    return t;
}

QStringList FeeQuote::toCells() const
{
    return {courier, destination, total,        firstWeight, additionalWeight, bandSurcharge, otherFee,
            contact, arrivalTime, billedWeight, match};
}

QString FeeQuote::cell(int column) const
{
    switch (column) {
    case 0:
        return courier;
    case 1:
        return destination;
    case 2:
        return total;
    case 3:
        return firstWeight;
    case 4:
        return additionalWeight;
    case 5:
        return bandSurcharge;
    case 6:
        return otherFee;
    case 7:
        return contact;
    case 8:
        return arrivalTime;
    case 9:
        return billedWeight;
    case 10:
        return match;
    default:
        return {};
    }
}

FeeQuote FeeQuote::fromCells(const QStringList &cells)
{
    const auto at = [&cells](int i) { return cells.value(i); };
    FeeQuote quote{at(0),         at(1), at(2), at(3), at(4),  at(5),
                   at(6),         at(7), at(8), at(9), at(10), at(2) != UnpricedText,
                   BilledWeight()};
    return quote;
}

bool isOverMaximumWeight(double weight)
{
    return bandOf(weight) == Band::Over;
}

bool isBandCharged(double weight)
{
    const Band band = bandOf(weight);
    return band == Band::UpToThirty || band == Band::UpToFifty;
}

bool isUnpriced(const MatchedRateRow &row)
{
    return !leadingNumber(row.cell(ColumnFirstWeight)).has_value();
}

std::optional<FeeFigures> computeFeeFigures(const double *rateNumbers, bool priced,
                                            const BilledWeight &weight, int level)
{
    const double w = weight.billed;
    if (level < 0 || level >= LevelCount || !(w > 0))
        return std::nullopt;
    const Band band = bandOf(w);
    if (band == Band::Over)
        return std::nullopt;
    FeeFigures figures;
    if (!priced) {
        figures.priced = false;
        return figures;
    }
    const auto price = [&](int field) {
        return shownNumber(
            levelPrice([rateNumbers](int column) { return rateNumbers[column]; }, level, field));
    };
    const bool bandCharged = band == Band::UpToThirty || band == Band::UpToFifty;
    figures.firstWeight = price(FieldFirstWeight);
    figures.additionalWeight = price(FieldAdditionalWeight);
    figures.bandSurcharge = price(band == Band::UpToFifty ? FieldSurcharge30To50 : FieldSurcharge20To30);
    figures.otherFee = bandCharged ? price(FieldOtherFee) : shownNumber(rateNumbers[ColumnOtherFee]);
    // The first-weight price covers the whole first weight: a lighter parcel
    // pays the same, never less.
    double total = figures.firstWeight + figures.otherFee;
    if (w - weight.rules.firstWeight > Tolerance)
        total += figures.additionalWeight * (w - weight.rules.firstWeight);
    if (bandCharged)
        total += figures.bandSurcharge * w;
    figures.total = shownNumber(total);
    return figures;
}

std::optional<FeeFigures> computeFeeFigures(const QStringList &rateCells, const BilledWeight &weight,
                                            int level)
{
    std::array<double, RateColumnCount> numbers{};
    for (int column = ColumnFirstWeight; column < RateColumnCount; ++column)
        numbers[column] = textToNumber(rateCells.value(column));
    return computeFeeFigures(numbers.data(), leadingNumber(rateCells.value(ColumnFirstWeight)).has_value(),
                             weight, level);
}

std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, const BilledWeight &weight,
                                        QStringView levelName)
{
    // A row in memory keeps its prices with the others of its combination.
    const std::optional<FeeFigures> figures = computeFeeFigures(
        row.source ? row.source->combinationCells(row.source->combination(row.row)) : row.cells, weight,
        levelIndex(levelName));
    if (!figures)
        return std::nullopt;
    FeeQuote quote;
    quote.courier = row.templateName;
    quote.destination = row.cell(ColumnRegion);
    quote.contact = row.cell(ColumnContact);
    quote.arrivalTime = row.cell(ColumnArrivalTime);
    quote.match = matchKindText(row.match);
    quote.billing = weight;
    figures->writeTo(quote);
    return quote;
}

bool FeeFigures::isFigureColumn(int column)
{
    return (column >= 2 && column <= 6) || column == 9;
}

QString FeeFigures::text(int column, double billed) const
{
    if (column == 9)
        return numberToText(billed);
    if (column == 2 && !priced)
        return UnpricedText.toString();
    if (!priced)
        return {};
    switch (column) {
    case 2:
        return numberToText(total);
    case 3:
        return numberToText(firstWeight);
    case 4:
        return numberToText(additionalWeight);
    case 5:
        return numberToText(bandSurcharge);
    case 6:
        return numberToText(otherFee);
    default:
        return {};
    }
}

void FeeFigures::writeTo(FeeQuote &quote) const
{
    quote.priced = priced;
    quote.total = text(2, quote.billing.billed);
    quote.firstWeight = text(3, quote.billing.billed);
    quote.additionalWeight = text(4, quote.billing.billed);
    quote.bandSurcharge = text(5, quote.billing.billed);
    quote.otherFee = text(6, quote.billing.billed);
    quote.billedWeight = text(9, quote.billing.billed);
}

std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, double weight, QStringView levelName)
{
    return ComputeFeeQuote(row, billedWeight(weight, std::nullopt, BillingRules()), levelName);
}

QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, const BilledWeight &weight)
{
    const Band band = bandOf(weight.billed);
    if (band == Band::Over)
        return {};
    const QString tail =
        u"\r\n\r\n联系方式为："_s + quote.contact + u"\r\n\r\n送达时间为："_s + quote.arrivalTime;
    if (!quote.priced) {
        return breakdownHead(quote) + u"\r\n\r\n“"_s + quote.courier +
               u"”的模板没有这个地区的报价（首重价格没有填写数字），无法计算运费。"_s + tail;
    }
    QString text = breakdownHead(quote) + u"\r\n\r\n首重价格："_s + quote.firstWeight + u"元   续重价格："_s +
                   quote.additionalWeight + u"元\r\n\r\n货物重量为："_s + weightText + u"KG"_s;
    if (weight.differs())
        text += billedWeightLine(weight);
    switch (band) {
    case Band::UpToTwenty:
        text += u"\r\n\r\n其他手续费增加"_s + quote.otherFee;
        break;
    case Band::UpToThirty:
        text +=
            u"\r\n\r\n20-30KG 每KG增加"_s + quote.bandSurcharge + u"元，其他手续费增加"_s + quote.otherFee;
        break;
    case Band::UpToFifty:
        text +=
            u"\r\n\r\n30-50KG 每KG增加"_s + quote.bandSurcharge + u"元，其他手续费增加"_s + quote.otherFee;
        break;
    case Band::Over:
        break;
    }
    text += u"元\r\n\r\n总费用为："_s + quote.total + u"元"_s + tail;
    return text;
}

QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, double weight)
{
    return FeeBreakdownText(quote, weightText, billedWeight(weight, std::nullopt, BillingRules()));
}

} // namespace Kuaidi

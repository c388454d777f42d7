#include "feequote.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>
#include <templates/raterows.h>

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

std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, const BilledWeight &weight,
                                        QStringView levelName)
{
    const int level = levelIndex(levelName);
    const double w = weight.billed;
    if (level < 0 || !(w > 0))
        return std::nullopt;
    const double firstWeight = weight.rules.firstWeight;
    const Band band = bandOf(w);
    if (band == Band::Over)
        return std::nullopt;

    FeeQuote quote;
    quote.courier = row.templateName;
    quote.destination = row.cell(ColumnRegion);
    quote.contact = row.cell(ColumnContact);
    quote.arrivalTime = row.cell(ColumnArrivalTime);
    quote.billedWeight = numberToText(w);
    quote.match = matchKindText(row.match);
    quote.billing = weight;
    if (isUnpriced(row)) {
        quote.priced = false;
        quote.total = UnpricedText.toString();
        return quote;
    }

    const auto price = [&](int field) { return levelPrice(row.cells, level, field); };
    const bool bandCharged = band == Band::UpToThirty || band == Band::UpToFifty;
    quote.firstWeight = numberToText(price(FieldFirstWeight));
    quote.additionalWeight = numberToText(price(FieldAdditionalWeight));
    quote.bandSurcharge =
        numberToText(price(band == Band::UpToFifty ? FieldSurcharge30To50 : FieldSurcharge20To30));
    quote.otherFee =
        numberToText(bandCharged ? price(FieldOtherFee) : textToNumber(row.cell(ColumnOtherFee)));

    // The total is made of the components as shown, so the two always agree.
    const double first = textToNumber(quote.firstWeight);
    const double additional = textToNumber(quote.additionalWeight);
    const double surcharge = textToNumber(quote.bandSurcharge);
    const double other = textToNumber(quote.otherFee);
    // The first-weight price covers the whole first weight: a lighter parcel
    // pays the same, never less.
    double total = first + other;
    if (w - firstWeight > Tolerance)
        total += additional * (w - firstWeight);
    if (bandCharged)
        total += surcharge * w;
    quote.total = numberToText(total);
    return quote;
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

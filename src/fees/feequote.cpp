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
    BilledWeight result{weight, weight, false, false, rules, weight};
    if (volume && *volume > 0 && rules.volumeDivisor > 0) {
        const double volumeWeight = *volume * 1'000'000 / rules.volumeDivisor;
        if (volumeWeight - weight > Tolerance) {
            result.billed = volumeWeight;
            result.unrounded = volumeWeight;
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
    FeeQuote quote{at(0),          at(1),     at(2),  at(3),
                   at(4),          at(5),     at(6),  at(7),
                   at(8),          at(9),     at(10), at(2) != UnpricedText && at(2) != OverMaximumText,
                   BilledWeight(), FeeRule(), {}};
    return quote;
}

bool isOverMaximumWeight(const BilledWeight &weight)
{
    return weight.billed - weight.rules.maximumWeight > Tolerance;
}

bool isBandCharged(double weight)
{
    const Band band = bandOf(weight);
    return band == Band::UpToThirty || band == Band::UpToFifty;
}

namespace {

// The prices a fee is made of, for one parcel, row and level; read from the
// row's numbers (readPriceNumbers()) as the rules say.
class RowPricing
{
public:
    RowPricing(const double *numbers, bool ownFirstPriced, const BilledWeight &weight, int level)
        : m_n(numbers), m_ownFirstPriced(ownFirstPriced), m_weight(weight), m_rules(weight.rules),
          m_level(level)
    {
    }

    std::optional<FeeFigures> compute()
    {
        FeeFigures figures;
        const double w = m_weight.billed;
        figures.pricedWeight = w;
        if (isOverMaximumWeight(m_weight)) {
            figures.priced = false;
            figures.overMaximum = true;
            return figures;
        }
        const Band band = bandOf(w);
        // Above 50 kg no surcharge is charged; the other fee is counted as
        // above 20 kg.
        const bool bandCharged = band == Band::UpToThirty || band == Band::UpToFifty;
        figures.bandSurcharge =
            price(band == Band::UpToTwenty || band == Band::UpToThirty ? FieldSurcharge20To30
                                                                       : FieldSurcharge30To50);
        const bool levelOther = band != Band::UpToTwenty;
        figures.otherFee = levelOther ? price(FieldOtherFee) : shownNumber(m_n[ColumnOtherFee]);
        double total = 0;
        if (const int bracket = bracketOf(m_weight.unrounded); bracket >= 0) {
            const double cell = m_n[bracketColumnIndex(bracket)];
            if (!std::isfinite(cell))
                return unpriced();
            figures.rule = {FeeBasis::Bracket, qint8(bracket), false, false};
            figures.pricedWeight = m_weight.unrounded;
            figures.firstWeight = shownNumber(cell + levelAmount(FieldFirstWeight));
            figures.additionalWeight = 0;
            // A bracket's price is the whole fee by weight, as a first
            // weight is: the other fee as for a first weight.
            figures.otherFee = shownNumber(m_n[ColumnOtherFee]);
            total = figures.firstWeight + figures.otherFee;
        } else {
            const int b = bandOfWeight(w);
            std::optional<double> first = firstPrice(b);
            std::optional<double> additional = additionalPrice(b);
            if (!first || !additional)
                return unpriced();
            if (b >= 0)
                figures.rule = {FeeBasis::Band, qint8(b), false, false};
            figures.firstWeight = *first;
            figures.additionalWeight = *additional;
            const std::optional<double> beyond = beyondFirst(w, b, *additional);
            if (!beyond)
                return unpriced();
            // Summed as always, so that a template without brackets or bands
            // quotes to the last digit as before.
            total = figures.firstWeight + figures.otherFee;
            if (w - m_rules.firstWeight > Tolerance)
                total += *beyond;
            if (bandCharged) {
                total += figures.bandSurcharge * w;
                figures.rule.surcharged = true;
            }
        }
        // First weight 0 is a fee of its own; only a real minimum counts.
        if (const double minimum = m_n[ColumnMinimumFee];
            std::isfinite(minimum) && total < minimum - Tolerance) {
            total = minimum;
            figures.rule.minimum = true;
        }
        figures.total = shownNumber(total);
        return figures;
    }

    // By parts, the additional price of each part below band @p b: the
    // row's own, then the bands' in turn.
    QList<double> lowerAdditionalPrices(int b) const
    {
        QList<double> prices;
        for (int lower = -1; lower < b; ++lower)
            prices << additionalPrice(lower).value_or(0);
        return prices;
    }

private:
    std::optional<FeeFigures> unpriced() const
    {
        FeeFigures figures;
        figures.priced = false;
        figures.pricedWeight = m_weight.billed;
        return figures;
    }

    double levelAmount(int field) const { return m_n[priceSetColumnIndex(m_level, field)]; }
    double price(int field) const
    {
        return shownNumber(levelPrice([this](int column) { return m_n[column]; }, m_level, field));
    }

    // The bracket of a parcel of @p v kilograms, or -1 beyond the last or for
    // a row whose bracket prices are all blank.
    int bracketOf(double v) const
    {
        const int count = int(qMin(m_rules.brackets.size(), qsizetype(MaxBrackets)));
        bool any = false;
        for (int i = 0; i < count && !any; ++i)
            any = !std::isnan(m_n[bracketColumnIndex(i)]);
        if (!any)
            return -1;
        for (int i = 0; i < count; ++i) {
            if (v - m_rules.brackets.at(i) <= Tolerance)
                return i;
        }
        return -1;
    }

    // The band whose start @p w is above (the last such), or -1 below the first.
    int bandOfWeight(double w) const
    {
        const int count = int(qMin(m_rules.bandStarts.size(), qsizetype(MaxBands)));
        int band = -1;
        for (int b = 0; b < count; ++b) {
            if (w - m_rules.bandStarts.at(b) > Tolerance)
                band = b;
        }
        return band;
    }

    // Band @p b's price of @p field with the level's amount; a blank cell
    // (and band -1) is the row's own price. Nothing where the price needed
    // is no number.
    std::optional<double> bandPrice(int b, int field) const
    {
        double own = m_n[ColumnFirstWeight + field];
        if (field == FieldFirstWeight && !m_ownFirstPriced)
            own = -std::numeric_limits<double>::infinity();
        const double cell =
            b >= 0 ? m_n[bandColumnIndex(b, field)] : std::numeric_limits<double>::quiet_NaN();
        const double value = std::isnan(cell) ? own : cell;
        if (!std::isfinite(value))
            return std::nullopt;
        return shownNumber(value + levelAmount(field));
    }
    std::optional<double> firstPrice(int b) const
    {
        // By parts, only the row's own first weight is ever paid.
        return bandPrice(m_rules.bandPricing == BillingRules::BandPricing::Excess ? -1 : b, FieldFirstWeight);
    }
    std::optional<double> additionalPrice(int b) const { return bandPrice(b, FieldAdditionalWeight); }

    // What @p w kilograms pay beyond the first price in band @p b, whose
    // additional price is @p additional. The first-weight price covers the
    // whole first weight: a lighter parcel pays the same, never less.
    std::optional<double> beyondFirst(double w, int b, double additional) const
    {
        const double f = m_rules.firstWeight;
        const double unit = m_rules.additionalUnit;
        if (w - f <= Tolerance)
            return 0.0;
        if (b < 0 || m_rules.bandPricing == BillingRules::BandPricing::Whole)
            return additional * ((w - f) / unit);
        // By parts: the lower bands' fee up to this band's start, and this
        // band's price for the part above it.
        const double start = m_rules.bandStarts.at(b);
        const std::optional<double> lower = additionalPrice(b - 1);
        const std::optional<double> below = lower ? beyondFirst(start, b - 1, *lower) : std::nullopt;
        if (!below)
            return std::nullopt;
        return *below + additional * ((w - qMax(start, f)) / unit);
    }

    const double *m_n;
    bool m_ownFirstPriced;
    const BilledWeight &m_weight;
    const BillingRules &m_rules;
    int m_level;
};

} // namespace

void readPriceNumbers(const QStringList &rateCells, double *numbers)
{
    for (int column = 0; column < RateColumnCount; ++column)
        numbers[column] = column < ColumnFirstWeight ? 0 : textToNumber(rateCells.value(column));
    for (int column = RateColumnCount; column < PricedColumnCount; ++column)
        numbers[column] = priceCellNumber(rateCells.value(column));
}

std::optional<FeeFigures> computeFeeFigures(const double *rateNumbers, bool priced,
                                            const BilledWeight &weight, int level)
{
    if (level < 0 || level >= LevelCount || !(weight.billed > 0))
        return std::nullopt;
    return RowPricing(rateNumbers, priced, weight, level).compute();
}

std::optional<FeeFigures> computeFeeFigures(const QStringList &rateCells, const BilledWeight &weight,
                                            int level)
{
    std::array<double, PricedColumnCount> numbers{};
    readPriceNumbers(rateCells, numbers.data());
    return computeFeeFigures(numbers.data(), leadingNumber(rateCells.value(ColumnFirstWeight)).has_value(),
                             weight, level);
}

QString formFirstWeightPrice(const QStringList &rateCells, const BillingRules &rules, int level)
{
    if (!rules.brackets.isEmpty()) {
        const BilledWeight first = billedWeight(rules.firstWeight, std::nullopt, rules);
        const std::optional<FeeFigures> figures = computeFeeFigures(rateCells, first, level);
        if (figures && !figures->priced)
            return {};
        if (figures && figures->rule.basis == FeeBasis::Bracket)
            return numberToText(figures->firstWeight);
    }
    return shownLevelPrice(rateCells, level, FieldFirstWeight);
}

std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, const BilledWeight &weight,
                                        QStringView levelName)
{
    // A row in memory keeps its prices, read as numbers once, with the
    // others of its combination.
    std::array<double, PricedColumnCount> read{};
    const double *numbers = read.data();
    bool ownFirstPriced = false;
    if (row.source) {
        const quint32 combination = row.source->combination(row.row);
        numbers = row.source->combinationNumbers(combination);
        ownFirstPriced =
            leadingNumber(row.source->combinationCell(combination, ColumnFirstWeight)).has_value();
    } else {
        readPriceNumbers(row.cells, read.data());
        ownFirstPriced = leadingNumber(row.cells.value(ColumnFirstWeight)).has_value();
    }
    const int level = levelIndex(levelName);
    const std::optional<FeeFigures> figures = computeFeeFigures(numbers, ownFirstPriced, weight, level);
    if (!figures)
        return std::nullopt;
    FeeQuote quote;
    if (figures->priced && figures->rule.basis == FeeBasis::Band &&
        weight.rules.bandPricing == BillingRules::BandPricing::Excess)
        quote.lowerAdditionalPrices =
            RowPricing(numbers, ownFirstPriced, weight, level).lowerAdditionalPrices(figures->rule.step);
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

QString FeeFigures::text(int column) const
{
    if (column == 9)
        return numberToText(pricedWeight);
    if (column == 2 && !priced)
        return (overMaximum ? OverMaximumText : UnpricedText).toString();
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
    quote.total = text(2);
    quote.firstWeight = text(3);
    quote.additionalWeight = text(4);
    quote.bandSurcharge = text(5);
    quote.otherFee = text(6);
    quote.billedWeight = text(9);
    quote.rule = rule;
}

std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, double weight, QStringView levelName)
{
    return ComputeFeeQuote(row, billedWeight(weight, std::nullopt, BillingRules()), levelName);
}

QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, const BilledWeight &weight)
{
    if (isOverMaximumWeight(weight))
        return {};
    const Band band = bandOf(weight.billed);
    const QString tail =
        u"\r\n\r\n联系方式为："_s + quote.contact + u"\r\n\r\n送达时间为："_s + quote.arrivalTime;
    if (!quote.priced) {
        return breakdownHead(quote) + u"\r\n\r\n“"_s + quote.courier +
               (weight.rules.isPlain()
                    ? u"”的模板没有这个地区的报价（首重价格没有填写数字），无法计算运费。"_s
                    : u"”的模板没有这个地区这个重量的报价（需要的价格没有填写数字），无法计算运费。"_s) +
               tail;
    }
    const BillingRules &rules = weight.rules;
    const FeeRule &rule = quote.rule;
    const QString unit =
        (rules.additionalUnit == 1 ? QString() : numberToText(rules.additionalUnit)) + u"KG"_s;
    QString text = breakdownHead(quote);
    if (rule.basis == FeeBasis::Bracket) {
        text += u"\r\n\r\n按重量段 ≤"_s + numberToText(rules.brackets.value(rule.step)) + u"KG 计价："_s +
                quote.firstWeight + u"元"_s;
    } else if (rule.basis == FeeBasis::Band && rules.bandPricing == BillingRules::BandPricing::Whole) {
        text += u"\r\n\r\n"_s + numberToText(rules.bandStarts.value(rule.step)) + u"KG以上：首重 "_s +
                quote.firstWeight + u" 元，续重 "_s + quote.additionalWeight + u" 元/"_s + unit;
    } else if (rule.basis == FeeBasis::Band) {
        text += u"\r\n\r\n首重价格："_s + quote.firstWeight + u"元"_s;
        // Each part below the band at its own price, so that the total can
        // be made again from the text.
        for (qsizetype part = 0; part < quote.lowerAdditionalPrices.size(); ++part) {
            const double from = part == 0 ? rules.firstWeight : rules.bandStarts.value(part - 1);
            text += u"\r\n\r\n"_s + numberToText(from) + u"-"_s + numberToText(rules.bandStarts.value(part)) +
                    u"KG：续重 "_s + numberToText(quote.lowerAdditionalPrices.at(part)) + u" 元/"_s + unit;
        }
        text += u"\r\n\r\n"_s + numberToText(rules.bandStarts.value(rule.step)) + u"KG以上：超出部分续重 "_s +
                quote.additionalWeight + u" 元/"_s + unit;
    } else {
        text += u"\r\n\r\n首重价格："_s + quote.firstWeight + u"元   续重价格："_s + quote.additionalWeight +
                (rules.additionalUnit == 1 ? u"元"_s : u"元/"_s + unit);
    }
    text += u"\r\n\r\n货物重量为："_s + weightText + u"KG"_s;
    if (rule.basis == FeeBasis::Bracket) {
        if (weight.volumetric)
            text += u"\r\n\r\n计费重量为："_s + quote.billedWeight + u"KG（体积重）"_s;
    } else if (weight.differs()) {
        text += billedWeightLine(weight);
    }
    // The wording follows the weight now typed, the figures the quote.
    if (rule.basis == FeeBasis::Bracket || (band != Band::UpToThirty && band != Band::UpToFifty)) {
        text += u"\r\n\r\n其他手续费增加"_s + quote.otherFee;
    } else {
        text += (band == Band::UpToThirty ? u"\r\n\r\n20-30KG 每KG增加"_s : u"\r\n\r\n30-50KG 每KG增加"_s) +
                quote.bandSurcharge + u"元，其他手续费增加"_s + quote.otherFee;
    }
    if (rule.minimum)
        text += u"元\r\n\r\n不足最低收费，按最低收费计："_s + quote.total;
    text += u"元\r\n\r\n总费用为："_s + quote.total + u"元"_s + tail;
    return text;
}

QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, double weight)
{
    return FeeBreakdownText(quote, weightText, billedWeight(weight, std::nullopt, BillingRules()));
}

} // namespace Kuaidi

#include "feequote.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>
#include <templates/raterows.h>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

enum class Band { UpToOne, UpToTwenty, UpToThirty, UpToFifty, Over };

Band bandOf(double weight)
{
    if (weight - 1 <= Tolerance)
        return Band::UpToOne;
    if (weight - 20 <= Tolerance)
        return Band::UpToTwenty;
    if (weight - 30 <= Tolerance)
        return Band::UpToThirty;
    if (weight - MaximumWeight <= Tolerance)
        return Band::UpToFifty;
    return Band::Over;
}

} // namespace

const QStringList &FeeQuote::titles()
{
    static const QStringList t{u"快递名称"_s,   u"目的地名"_s, u"快递费用"_s,
                               u"首重价格"_s,   u"续重价格"_s, u"价格区间手续费"_s,
                               u"其他手续费"_s, u"联系方式"_s, u"到达时间"_s};
    return t;
}

QStringList FeeQuote::toCells() const
{
    return {courier,       destination, total,   firstWeight, additionalWeight,
            bandSurcharge, otherFee,    contact, arrivalTime};
}

FeeQuote FeeQuote::fromCells(const QStringList &cells)
{
    const auto at = [&cells](int i) { return i < cells.size() ? cells.at(i) : QString(); };
    return {at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7), at(8)};
}

bool isOverMaximumWeight(double weight)
{
    return bandOf(weight) == Band::Over;
}

std::optional<FeeQuote> ComputeFeeQuote(const MatchedRateRow &row, double weight, QStringView levelName)
{
    const int level = levelIndex(levelName);
    if (level < 0 || !(weight > 0))
        return std::nullopt;
    const Band band = bandOf(weight);
    if (band == Band::Over)
        return std::nullopt;

    const auto price = [&](int field) { return levelPrice(row.cells, level, field); };
    const bool bandCharged = band == Band::UpToThirty || band == Band::UpToFifty;

    FeeQuote quote;
    quote.courier = row.templateName;
    quote.destination = row.cell(ColumnRegion);
    quote.firstWeight = numberToText(price(FieldFirstWeight));
    quote.additionalWeight = numberToText(price(FieldAdditionalWeight));
    quote.bandSurcharge =
        numberToText(price(band == Band::UpToFifty ? FieldSurcharge30To50 : FieldSurcharge20To30));
    quote.otherFee =
        numberToText(bandCharged ? price(FieldOtherFee) : textToNumber(row.cell(ColumnOtherFee)));
    quote.contact = row.cell(ColumnContact);
    quote.arrivalTime = row.cell(ColumnArrivalTime);

    // The total is made of the components as shown, so the two always agree.
    const double first = textToNumber(quote.firstWeight);
    const double additional = textToNumber(quote.additionalWeight);
    const double surcharge = textToNumber(quote.bandSurcharge);
    const double other = textToNumber(quote.otherFee);
    // The first-weight price covers the whole first kilogram: a lighter parcel
    // pays the same, never less.
    double total = first + other;
    if (band != Band::UpToOne)
        total += additional * (weight - 1);
    if (bandCharged)
        total += surcharge * weight;
    quote.total = numberToText(total);
    return quote;
}

QString FeeBreakdownText(const FeeQuote &quote, const QString &weightText, double weight)
{
    const Band band = bandOf(weight);
    if (band == Band::Over)
        return {};
    QString text = u"物流快递名称："_s + quote.courier + u"   送达地点："_s + quote.destination +
                   u"\r\n\r\n首重价格："_s + quote.firstWeight + u"元   续重价格："_s +
                   quote.additionalWeight + u"元\r\n\r\n货物重量为："_s + weightText;
    switch (band) {
    case Band::UpToOne:
    case Band::UpToTwenty:
        text += u"KG\r\n\r\n其他手续费增加"_s + quote.otherFee;
        break;
    case Band::UpToThirty:
        text +=
            u"KG\r\n\r\n20-30KG 每KG增加"_s + quote.bandSurcharge + u"元，其他手续费增加"_s + quote.otherFee;
        break;
    case Band::UpToFifty:
        text +=
            u"KG\r\n\r\n30-50KG 每KG增加"_s + quote.bandSurcharge + u"元，其他手续费增加"_s + quote.otherFee;
        break;
    case Band::Over:
        break;
    }
    text += u"元\r\n\r\n总费用为："_s + quote.total + u"元\r\n\r\n联系方式为："_s + quote.contact +
            u"\r\n\r\n送达时间为："_s + quote.arrivalTime;
    return text;
}

} // namespace Kuaidi

#include "sheetheadings.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>

#include <QRegularExpression>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// A number, then perhaps its unit of weight.
constexpr auto Number = R"((\d+(?:\.\d+)?))";
constexpr auto Unit = "(kg|公斤|千克|g|克)";
constexpr auto RangeJoin = "(?:-|–|—|~|至|到)";

double unitFactor(QStringView unit)
{
    return unit == u"g" || unit == u"克" ? 0.001 : 1.0;
}

// The heading as compared: full-width forms as ASCII, blanks gone, ASCII
// letters lower-case.
QString simplified(QStringView title)
{
    QString text = title.toString().normalized(QString::NormalizationForm_KC);
    static const QRegularExpression blanks(u"\\s+"_s);
    text.remove(blanks);
    QString lowered;
    lowered.reserve(text.size());
    for (const QChar c : std::as_const(text))
        lowered += c.unicode() < 128 ? c.toLower() : c;
    return lowered;
}

struct Weights
{
    bool found = false;
    double low = 0;
    std::optional<double> high;
    bool range = false; // a range or a bound, not a single weight
    bool hasUnit = false;
};

// The weights a heading's text names, once units of price and decorations
// are gone: a range, an upper or lower bound, or one weight.
Weights weightsIn(QStringView text, bool whole)
{
    // Each form twice: found anywhere, or as the whole text.
    struct Form
    {
        QRegularExpression anywhere;
        QRegularExpression entire;
    };
    const auto form = [](const QString &re) {
        return Form{QRegularExpression(re), QRegularExpression(u"^(?:"_s + re + u")$"_s)};
    };
    const QString number = QString::fromUtf8(Number);
    const QString unit = QString::fromUtf8(Unit) + u'?';
    static const Form range = form(number + unit + QString::fromUtf8(RangeJoin) + number + unit);
    static const Form above = form(u"(?:>|≥|>=)?"_s + number + unit + u"(?:及以上|以上|起|\\+)"_s);
    static const Form aboveSign = form(u"(?:>|≥|>=)"_s + number + unit);
    static const Form below = form(u"(?:≤|<=|<|不超过)?"_s + number + unit + u"(?:以内|以下|内)"_s);
    static const Form belowSign = form(u"(?:≤|<=|<|不超过)"_s + number + unit);
    // One weight stands alone only with its unit: "0.5kg", "首重1000克".
    static const Form single = form(number + QString::fromUtf8(Unit));
    const auto match = [&](const Form &f) { return (whole ? f.entire : f.anywhere).match(text); };

    Weights w;
    if (const QRegularExpressionMatch r = match(range); r.hasMatch()) {
        QString lowUnit = r.captured(2);
        QString highUnit = r.captured(4);
        if (lowUnit.isEmpty())
            lowUnit = highUnit;
        if (highUnit.isEmpty())
            highUnit = lowUnit;
        w.found = w.range = true;
        w.hasUnit = !lowUnit.isEmpty();
        w.low = r.captured(1).toDouble() * unitFactor(lowUnit);
        w.high = r.captured(3).toDouble() * unitFactor(highUnit);
        return w;
    }
    for (const Form *f : {&above, &aboveSign}) {
        if (const QRegularExpressionMatch m = match(*f); m.hasMatch()) {
            w.found = w.range = true;
            w.hasUnit = !m.captured(2).isEmpty();
            w.low = m.captured(1).toDouble() * unitFactor(m.captured(2));
            return w;
        }
    }
    for (const Form *f : {&below, &belowSign}) {
        if (const QRegularExpressionMatch m = match(*f); m.hasMatch()) {
            w.found = w.range = true;
            w.hasUnit = !m.captured(2).isEmpty();
            w.high = m.captured(1).toDouble() * unitFactor(m.captured(2));
            return w;
        }
    }
    if (const QRegularExpressionMatch m = match(single); m.hasMatch()) {
        w.found = w.hasUnit = true;
        w.high = m.captured(1).toDouble() * unitFactor(m.captured(2));
    }
    return w;
}

// A synonym of a template column, as titles are matched by it.
QString columnOfSynonym(QStringView normalised)
{
    static const QList<std::pair<QString, QStringList>> synonyms{
        {u"地区"_s, {u"地区"_s, u"目的地"_s, u"到达地区"_s, u"区域"_s, u"省份"_s, u"城市"_s}},
        {u"到达时间"_s, {u"到达时间"_s, u"时效"_s}},
    };
    for (const auto &[column, names] : synonyms) {
        if (names.contains(normalised))
            return column;
    }
    return {};
}

SheetHeading firstOrAdditional(QString text)
{
    SheetHeading heading;
    const bool first = text.contains(u"首重");
    heading.kind = first ? SheetHeading::Kind::First : SheetHeading::Kind::Additional;
    // The weight a price is for: "元/0.5kg", "/kg", "每500克".
    static const QRegularExpression per(u"(?:元?/|每)"_s + QString::fromUtf8(Number) + u"?"_s +
                                        QString::fromUtf8(Unit));
    if (const QRegularExpressionMatch m = per.match(text); m.hasMatch()) {
        const double amount = m.captured(1).isEmpty() ? 1.0 : m.captured(1).toDouble();
        heading.unit = amount * unitFactor(m.captured(2));
        text.remove(m.capturedStart(), m.capturedLength());
    }
    // "续重2(301-800kg)": the 2 numbers the band, not a weight.
    static const QRegularExpression numbered(u"(首重|续重)\\d(?=[(])"_s);
    text.replace(numbered, u"\\1"_s);
    static const QRegularExpression decoration(u"[()]|元"_s);
    text.remove(decoration);
    const Weights w = weightsIn(text, false);
    if (w.range) {
        heading.kind = first ? SheetHeading::Kind::BandFirst : SheetHeading::Kind::BandAdditional;
        heading.hasRange = true;
        heading.low = w.low;
        heading.high = w.high;
    } else if (w.found && first) {
        heading.firstWeight = w.high;
    } else if (w.found) {
        heading.unit = w.high;
    }
    return heading;
}

} // namespace

double SheetHeading::bandStart() const
{
    // "8.01" follows 8: the first weight a band prices above a round one.
    const double previous = low - 0.01;
    if (previous >= 0 && std::abs(previous * 2 - std::round(previous * 2)) < Tolerance)
        return std::round(previous * 2) / 2;
    return low;
}

SheetHeading readSheetHeading(QStringView title)
{
    SheetHeading heading;
    const QString named = normalisedColumnTitle(title);
    // A template's own columns by name, the price columns beyond the 41 too;
    // 首重价格 and 续重价格 may carry weights and are read below.
    const QStringList &columns = pricedColumns();
    if (columns.contains(named) && named != columns.at(ColumnFirstWeight) &&
        named != columns.at(ColumnAdditionalWeight)) {
        heading.kind =
            named == columns.at(ColumnMinimumFee) ? SheetHeading::Kind::Minimum : SheetHeading::Kind::Column;
        heading.column = named;
        return heading;
    }
    const QString text = simplified(title);
    static const QRegularExpression minimum(u"最低收费|最低消费|起步价|最低价"_s);
    if (text.contains(minimum)) {
        heading.kind = SheetHeading::Kind::Minimum;
        return heading;
    }
    if (text.contains(u"首重") || text.contains(u"续重"))
        return firstOrAdditional(text);
    // A heading that is nothing but weights prices a bracket.
    static const QRegularExpression decoration(u"[()]|价格|价|运费|费用|元"_s);
    QString weights = text;
    weights.remove(decoration);
    if (const Weights w = weightsIn(weights, true); w.found && w.high && (w.range || w.hasUnit)) {
        heading.kind = SheetHeading::Kind::Bracket;
        heading.hasRange = true;
        heading.low = w.low;
        heading.high = w.high;
        return heading;
    }
    if (const QString column = columnOfSynonym(simplified(named)); !column.isEmpty()) {
        heading.kind = SheetHeading::Kind::Column;
        heading.column = column;
    }
    return heading;
}

QString weightRangeText(double low, std::optional<double> high)
{
    if (!high)
        return numberToText(low) + u"kg以上"_s;
    return numberToText(low) + u'-' + numberToText(*high) + u"kg"_s;
}

} // namespace Kuaidi

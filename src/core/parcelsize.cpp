#include "parcelsize.h"

#include "numbertext.h"

#include <QList>

namespace Kuaidi {

namespace {

bool isTimesSign(QChar c)
{
    switch (c.unicode()) {
    case u'×':
    case u'*':
    case u'x':
    case u'X':
    case u'＊':
    case u'ｘ':
    case u'Ｘ':
    case u'✕':
        return true;
    default:
        return false;
    }
}

QStringView withoutCentimetres(QStringView text)
{
    text = text.trimmed();
    for (const QStringView unit : {QStringView(u"cm"), QStringView(u"厘米"), QStringView(u"公分")}) {
        if (text.endsWith(unit, Qt::CaseInsensitive))
            return text.chopped(unit.size()).trimmed();
    }
    return text;
}

} // namespace

double cubicMetresOf(double length, double width, double height)
{
    return length * width * height / 1'000'000;
}

std::optional<double> parseCentimetres(QStringView text)
{
    return parseWeight(withoutCentimetres(text)); // a number above zero, as a weight is
}

std::optional<double> dimensionsToCubicMetres(QStringView text)
{
    text = withoutCentimetres(text);
    QList<QStringView> sides;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isTimesSign(text.at(i))) {
            sides.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    if (sides.size() != 3)
        return std::nullopt;
    double product = 1;
    for (const QStringView side : std::as_const(sides)) {
        const std::optional<double> centimetres = parseCentimetres(side);
        if (!centimetres)
            return std::nullopt;
        product *= *centimetres;
    }
    return product / 1'000'000;
}

} // namespace Kuaidi

#include "numbertext.h"

#include <QLocale>

#include <cmath>

namespace Kuaidi {

namespace {

// Folds the full-width forms a Chinese input method produces onto ASCII.
QChar foldWidth(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'０' && u <= u'９')
        return QChar(u'0' + (u - u'０'));
    switch (u) {
    case u'．':
        return u'.';
    case u'－':
        return u'-';
    case u'＋':
        return u'+';
    default:
        return c;
    }
}

struct LeadingNumber
{
    double value = 0;
    qsizetype length = 0; // characters consumed, 0 when no digits were found
};

LeadingNumber readLeadingNumber(QStringView text)
{
    QString ascii;
    ascii.reserve(text.size());
    qsizetype i = 0;
    bool digits = false;
    bool point = false;
    if (i < text.size()) {
        const QChar c = foldWidth(text.at(i));
        if (c == u'-' || c == u'+') {
            ascii += c;
            ++i;
        }
    }
    for (; i < text.size(); ++i) {
        const QChar c = foldWidth(text.at(i));
        if (c.isDigit() && c.unicode() < 128) {
            digits = true;
            ascii += c;
        } else if (c == u'.' && !point) {
            point = true;
            ascii += c;
        } else {
            break;
        }
    }
    if (!digits)
        return {};
    bool ok = false;
    const double value = QLocale::c().toDouble(ascii, &ok);
    if (!ok || !std::isfinite(value))
        return {};
    return {value, i};
}

} // namespace

double textToNumber(QStringView text)
{
    return readLeadingNumber(text.trimmed()).value;
}

std::optional<double> leadingNumber(QStringView text)
{
    const LeadingNumber number = readLeadingNumber(text.trimmed());
    if (number.length == 0)
        return std::nullopt;
    return number.value;
}

bool isPriceText(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == u"未填" || trimmed == u"空")
        return true;
    const LeadingNumber number = readLeadingNumber(trimmed);
    return number.length > 0 && number.length == trimmed.size();
}

std::optional<double> parseNumber(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    const LeadingNumber number = readLeadingNumber(trimmed);
    if (number.length == 0 || number.length != trimmed.size())
        return std::nullopt;
    return number.value;
}

std::optional<double> parseWeight(QStringView text)
{
    const std::optional<double> number = parseNumber(text);
    if (!number || !(*number > 0))
        return std::nullopt;
    return number;
}

QString numberToText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == 0)
        return QStringLiteral("0");                      // also folds -0
    constexpr double exactIntegers = 9007199254740992.0; // 2^53
    if (std::abs(value) < exactIntegers && value == std::trunc(value))
        return QString::number(static_cast<qint64>(value));

    // 15 significant digits in fixed notation, then drop the trailing zeros.
    const int magnitude = static_cast<int>(std::floor(std::log10(std::abs(value))));
    const int decimals = qMax(0, 14 - magnitude);
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (text == u"-0")
        return QStringLiteral("0");
    return text;
}

} // namespace Kuaidi

#include "numbertext.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

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

// The digits and point of @p number, converted the slow way: kept out of
// readLeadingNumber(), whose usual numbers need none of its stack.
Q_DECL_COLD_FUNCTION std::optional<double> fullConversion(QStringView number)
{
    QVarLengthArray<char, 64> ascii;
    for (const QChar c : number)
        ascii.append(char(foldWidth(c).unicode()));
    double value = 0;
    const auto [last, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || last != ascii.data() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Read in place, without allocating: sorting a long list reads one number a
// row. A number of up to 15 digits with up to 22 decimals is its digits
// divided by a power of ten, both exact in a double, so the division rounds
// it exactly as a full conversion would; longer ones take the full one.
LeadingNumber readLeadingNumber(QStringView text)
{
    static constexpr double PowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char16_t *const begin = text.utf16();
    const char16_t *const end = begin + text.size();
    const char16_t *p = begin;
    bool negative = false;
    if (p != end && (*p == u'-' || *p == u'+' || *p == u'－' || *p == u'＋')) {
        negative = *p == u'-' || *p == u'－';
        ++p;
    }
    const char16_t *const start = p;
    const char16_t *point = nullptr;
    quint64 mantissa = 0;
    int digits = 0;
    for (; p != end; ++p) {
        char16_t c = *p;
        if (c >= u'＋' && c <= u'９') // only then a full-width form to fold
            c = foldWidth(c).unicode();
        if (const unsigned digit = c - u'0'; digit < 10) {
            mantissa = digits < 19 ? mantissa * 10 + digit : mantissa;
            ++digits;
        } else if (c == u'.' && !point) {
            point = p;
        } else {
            break;
        }
    }
    const qsizetype decimals = point ? p - point - 1 : 0; // only digits follow the point
    if (digits == 0)
        return {};
    double value = 0;
    if (digits <= 15 && decimals <= 22) {
        value = double(qint64(mantissa)) / PowersOfTen[decimals];
    } else {
        const std::optional<double> full = fullConversion(QStringView(start, p));
        if (!full)
            return {};
        value = *full;
    }
    return {negative ? -value : value, p - begin};
}

} // namespace

double textToNumber(QStringView text)
{
    // Sorting by number reads one cell a row, and most have nothing to trim.
    if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()))
        text = text.trimmed();
    return readLeadingNumber(text).value;
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

namespace {

constexpr double ExactIntegers = 9007199254740992.0; // 2^53

bool isExactInteger(double value)
{
    return std::abs(value) < ExactIntegers && value == std::trunc(value);
}

// A number is shown rounded to 15 significant digits, without trailing
// zeros. When the shortest text that reads back as the value has no more
// than 15 significant digits, it is that rounding: the value lies within half
// a binary step of it, far less than half a step of 15 digits. Writes that
// text into @p buffer and returns its end, or nothing when it is longer.
char *shortestShownText(double value, char (&buffer)[32])
{
    if (!(std::abs(value) < 1e15))
        return nullptr;
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc())
        return nullptr;
    const char *const stop = end;
    const char *digit =
        std::find_if(static_cast<const char *>(buffer), stop, [](char c) { return c >= '1' && c <= '9'; });
    return stop - digit - (std::find(digit, stop, '.') != stop) <= 15 ? end : nullptr;
}

} // namespace

double priceCellNumber(QStringView text)
{
    if (text.trimmed().isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    return leadingNumber(text).value_or(-std::numeric_limits<double>::infinity());
}

QString numberToText(double value)
{
    if (!std::isfinite(value) || value == 0) // also folds -0
        return QStringLiteral("0");
    // Priced quotes make many of these: most are written on the stack.
    char buffer[32];
    if (isExactInteger(value)) {
        const char *end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<qint64>(value)).ptr;
        return QString::fromLatin1(buffer, end - buffer);
    }
    if (const char *end = shortestShownText(value, buffer))
        return QString::fromLatin1(buffer, end - buffer);
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

double shownNumber(double value)
{
    if (!std::isfinite(value) || value == 0)
        return 0;
    // A multiple of 1/1024 below 100,000 has at most 15 significant digits.
    if (std::abs(value) < 1e5 && isExactInteger(value * 1024))
        return value;
    char buffer[32];
    if (isExactInteger(value) || shortestShownText(value, buffer))
        return value;
    return textToNumber(numberToText(value));
}

} // namespace Kuaidi

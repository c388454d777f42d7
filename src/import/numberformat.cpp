#include "numberformat.h"

#include <core/numbertext.h>

#include <QDate>
#include <QTime>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// The last day Excel can show, 9999-12-31.
constexpr double LastSerialDay = 2958465;

} // namespace

DateKind dateKindOfFormat(QStringView format)
{
    bool date = false;
    bool time = false;
    bool elapsed = false;
    bool month = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i).toLower();
        if (c == u';')
            break;
        if (c == u'"') {
            const qsizetype close = format.indexOf(u'"', i + 1);
            i = close < 0 ? format.size() : close;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype close = format.indexOf(u']', i + 1);
            const QStringView inside = format.mid(i + 1, close < 0 ? -1 : close - i - 1);
            if (!inside.isEmpty() && QStringLiteral("hms").contains(inside.at(0).toLower()) &&
                inside.count(inside.at(0)) == inside.size())
                elapsed = true;
            i = close < 0 ? format.size() : close;
        } else if (c == u'y' || c == u'd' || c == u'e') {
            date = true;
        } else if (c == u'h' || c == u's') {
            time = true;
        } else if (c == u'm') {
            month = true;
        } else if (c == u'0' || c == u'#' || c == u'?' || c == u'@') {
            return DateKind::None; // a number or a text with letters in it
        } else if (format.mid(i).startsWith(u"general", Qt::CaseInsensitive)) {
            return DateKind::None;
        }
    }
    if (elapsed)
        return DateKind::Elapsed;
    if (month && !time)
        date = true; // "mm" beside hours or seconds is minutes
    if (date && time)
        return DateKind::DateTime;
    return date ? DateKind::Date : time ? DateKind::Time : DateKind::None;
}

DateKind builtinDateKind(int id)
{
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 54) || id == 57 ||
        id == 58)
        return DateKind::Date;
    // 32–35 and 55–56 are the East Asian times ("上午/下午h"时"mm"分"").
    if ((id >= 18 && id <= 21) || (id >= 32 && id <= 35) || id == 45 || id == 47 || id == 55 || id == 56)
        return DateKind::Time;
    if (id == 22)
        return DateKind::DateTime;
    if (id == 46)
        return DateKind::Elapsed;
    return DateKind::None;
}

QString cellNumberText(double value, DateKind kind, bool date1904)
{
    if (kind == DateKind::None || !std::isfinite(value) || value < 0 || value > LastSerialDay)
        return numberToText(value);

    if (kind == DateKind::Elapsed) {
        const qint64 total = qRound64(value * 86400);
        return u"%1:%2:%3"_s.arg(total / 3600)
            .arg(total / 60 % 60, 2, 10, QChar(u'0'))
            .arg(total % 60, 2, 10, QChar(u'0'));
    }
    double days = std::floor(value);
    qint64 seconds = qRound64((value - days) * 86400);
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    // Excel counts 1900 as a leap year: its day 60 is a 29 February that never
    // was, so the days before it start one day later.
    const QDate origin = date1904 ? QDate(1904, 1, 1) : days < 60 ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
    QString date = origin.addDays(qint64(days)).toString(u"yyyy-MM-dd");
    QString time = QTime(0, 0).addSecs(int(seconds)).toString(u"HH:mm:ss");
    switch (kind) {
    case DateKind::Date:
        return date;
    case DateKind::Time:
        return time;
    default:
        return date + u' ' + time;
    }
}

} // namespace Kuaidi

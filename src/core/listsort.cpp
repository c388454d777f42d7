#include "listsort.h"

#include <core/numbertext.h>
#include <core/tolerance.h>

#include <QDateTime>
#include <QStringEncoder>

#include <algorithm>
#include <numeric>
#include <variant>

namespace Kuaidi {

namespace {

// Days from 30 December 1899, clamped to 1 January 100 … 31 December 9999.
double dateKey(const QString &text)
{
    constexpr double FirstDay = -657434;
    constexpr double LastDay = 2958465;
    static const QDateTime origin(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    QDateTime when = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (!when.isValid())
        when = QDateTime::fromString(text.trimmed(), u"yyyy/M/d H:mm:ss");
    if (!when.isValid())
        when = QDateTime(QDate::fromString(text.trimmed(), u"yyyy/M/d"), QTime(0, 0));
    if (!when.isValid())
        return 0;
    when.setTimeSpec(Qt::UTC);
    const double days = double(origin.msecsTo(when)) / 86400000.0;
    return std::clamp(days, FirstDay, LastDay);
}

} // namespace

SortOrder sortOrderByColumn(const TextTable &table, int column, bool ascending, bool caseSensitive, int kind)
{
    const qsizetype columnCount = table.columns.size();
    if (column < 0 || column > columnCount - 1)
        return {SortStatus::BadColumn.toString(), {}};
    if (kind != SortAsText && kind != SortAsCurrency && kind != SortAsNumber && kind != SortAsDateTime)
        return {SortStatus::BadKind.toString(), {}};
    if (kind == SortAsCurrency)
        kind = SortAsNumber;

    const qsizetype n = table.rows.size();
    const auto cellOf = [&](qsizetype row) {
        const QStringList &cells = table.rows.at(row);
        return column < cells.size() ? cells.at(column) : QString();
    };

    using Key = std::variant<QByteArray, double>;
    std::vector<Key> keys;
    keys.reserve(n);
    if (kind == SortAsText) {
        QStringEncoder gbk("GBK");
        for (qsizetype r = 0; r < n; ++r) {
            const QString text = caseSensitive ? cellOf(r) : cellOf(r).toUpper();
            keys.emplace_back(gbk.isValid() ? QByteArray(gbk.encode(text)) : text.toUtf8());
        }
    } else {
        for (qsizetype r = 0; r < n; ++r)
            keys.emplace_back(kind == SortAsNumber ? textToNumber(cellOf(r)) : dateKey(cellOf(r)));
    }

    // Picking, again and again, the last of the smallest remaining keys puts
    // equal keys in reverse order. A stable sort of the reversed rows gives
    // the same order without the quadratic search.
    QList<int> order(n);
    std::iota(order.rbegin(), order.rend(), 0);
    const auto before = [&](int a, int b) {
        const Key &x = keys[a];
        const Key &y = keys[b];
        if (const auto *bx = std::get_if<QByteArray>(&x)) {
            const QByteArray &by = std::get<QByteArray>(y);
            return ascending ? *bx < by : by < *bx;
        }
        const double dx = std::get<double>(x);
        const double dy = std::get<double>(y);
        return ascending ? dx - dy < -Tolerance : dx - dy > Tolerance;
    };
    std::stable_sort(order.begin(), order.end(), before);
    return {SortStatus::Done.toString(), std::move(order)};
}

QString SortListByColumn(TextTable &table, int column, bool ascending, bool caseSensitive, int kind)
{
    SortOrder order = sortOrderByColumn(table, column, ascending, caseSensitive, kind);
    if (order.status != SortStatus::Done)
        return order.status;
    QList<QStringList> sorted;
    sorted.reserve(order.rows.size());
    for (const int r : std::as_const(order.rows))
        sorted.append(std::move(table.rows[r]));
    table.rows = std::move(sorted);
    return order.status;
}

} // namespace Kuaidi

#include "listsort.h"

#include <core/numbertext.h>
#include <core/tolerance.h>

#include <QDateTime>
#include <QStringEncoder>

#include <algorithm>
#include <numeric>
#include <vector>

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
        return column < cells.size() ? QStringView(cells.at(column)) : QStringView();
    };

    // Picking, again and again, the last of the smallest remaining keys puts
    // equal keys in reverse order. A stable sort of the reversed rows gives
    // the same order without the quadratic search.
    QList<int> order(n);
    std::iota(order.rbegin(), order.rend(), 0);
    if (kind == SortAsText) {
        // Every key encoded into one buffer: no allocation a row.
        QStringEncoder gbk("GBK");
        QByteArray bytes;
        std::vector<std::pair<qsizetype, qsizetype>> keys; // offset, length in bytes
        keys.reserve(n);
        QString upper;
        for (qsizetype r = 0; r < n; ++r) {
            QStringView text = cellOf(r);
            if (!caseSensitive &&
                std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLower(); })) {
                upper = text.toString().toUpper();
                text = upper;
            }
            const qsizetype start = bytes.size();
            if (gbk.isValid()) {
                bytes.resize(start + gbk.requiredSpace(text.size()));
                char *end = gbk.appendToBuffer(bytes.data() + start, text);
                bytes.resize(end - bytes.constData());
            } else {
                bytes.append(text.toUtf8());
            }
            keys.emplace_back(start, bytes.size() - start);
        }
        const auto key = [&](int row) {
            return QByteArrayView(bytes.constData() + keys[row].first, keys[row].second);
        };
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return ascending ? key(a) < key(b) : key(b) < key(a); });
    } else {
        // Keys beside their rows, in the reversed order, sorted together.
        std::vector<std::pair<double, int>> keyed;
        keyed.reserve(n);
        for (const int r : std::as_const(order))
            keyed.emplace_back(kind == SortAsNumber ? textToNumber(cellOf(r)) : dateKey(cellOf(r).toString()),
                               r);
        std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto &a, const auto &b) {
            const double d = a.first - b.first;
            return ascending ? d < -Tolerance : d > Tolerance;
        });
        for (qsizetype i = 0; i < n; ++i)
            order[i] = keyed[i].second;
    }
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

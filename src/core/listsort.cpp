#include "listsort.h"

#include <core/numbertext.h>
#include <core/tolerance.h>

#include <QDateTime>
#include <QStringEncoder>

#include <algorithm>
#include <bit>
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

// Calls @p visit with each row's cell in @p column, an empty view where the
// row is shorter. Reaching a cell chases two pointers (the row's cells, then
// the text); asking for them some rows ahead keeps a long list from waiting
// on memory at every row.
template<typename Visit> void forEachCell(const TextTable &table, int column, Visit visit)
{
    constexpr qsizetype CellsAhead = 32;
    constexpr qsizetype TextsAhead = 16;
    const QStringList *const rows = table.rows.constData();
    const qsizetype n = table.rows.size();
    for (qsizetype r = 0; r < n; ++r) {
        if (r + CellsAhead < n && column < rows[r + CellsAhead].size())
            __builtin_prefetch(rows[r + CellsAhead].constData() + column);
        if (r + TextsAhead < n && column < rows[r + TextsAhead].size())
            __builtin_prefetch(rows[r + TextsAhead].constData()[column].constData());
        visit(r, column < rows[r].size() ? QStringView(rows[r].constData()[column]) : QStringView());
    }
}

// The 32 bits of a float that, compared as unsigned integers, order the
// floats as numbers; -0 and 0 alike.
quint32 orderedBits(float value)
{
    const quint32 bits = std::bit_cast<quint32>(value + 0.0f);
    return (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
}

// The rows in the order of their @p keys (one a row), as a stable sort with
// the tolerant comparison gives it: rows whose keys are equal come out in
// reverse order.
QList<int> rowsByKeys(const std::vector<double> &keys, bool ascending)
{
    const auto before = [ascending](double a, double b) {
        const double d = a - b;
        return ascending ? d < -Tolerance : d > Tolerance;
    };
    const qsizetype n = qsizetype(keys.size());
    QList<int> rows(n);
    int *const row = rows.data();
    // Mostly the keys fit a float and differ by more than the tolerance.
    // Then each row's float beside its place in the reversed rows, packed
    // into one integer, sorts as fast as bare keys do. Rounding to float
    // keeps the order of keys but may merge close ones: unless the result
    // reads as strictly ordered keys (equal ones apart), sort the slow way.
    std::vector<quint64> packed(n);
    for (qsizetype r = 0; r < n; ++r) {
        const quint32 bits = orderedBits(float(keys[r]));
        packed[r] = quint64(ascending ? bits : ~bits) << 32 | quint64(n - 1 - r);
    }
    std::stable_sort(packed.begin(), packed.end());
    constexpr qsizetype KeysAhead = 16;
    const auto rowAt = [&](qsizetype i) { return int(n - 1 - qsizetype(packed[i] & 0xffffffffu)); };
    bool ordered = true;
    for (qsizetype i = 0; i < n; ++i) {
        row[i] = rowAt(i);
        if (i + KeysAhead < n)
            __builtin_prefetch(&keys[rowAt(i + KeysAhead)]);
        if (i > 0 && ordered) {
            const double previous = keys[row[i - 1]];
            const double key = keys[row[i]];
            ordered = previous == key || before(previous, key);
        }
    }
    if (!ordered) {
        std::iota(rows.rbegin(), rows.rend(), 0);
        std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) { return before(keys[a], keys[b]); });
    }
    return rows;
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

    // Picking, again and again, the last of the smallest remaining keys puts
    // equal keys in reverse order; a stable sort of the reversed rows gives
    // the same order without the quadratic search.
    const qsizetype n = table.rows.size();
    if (kind != SortAsText) {
        std::vector<double> keys(n);
        forEachCell(table, column, [&](qsizetype row, QStringView cell) {
            keys[row] = kind == SortAsNumber ? textToNumber(cell) : dateKey(cell.toString());
        });
        return {SortStatus::Done.toString(), rowsByKeys(keys, ascending)};
    }

    // Every key encoded into one buffer: no allocation a row.
    QStringEncoder gbk("GBK");
    QByteArray bytes;
    std::vector<std::pair<qsizetype, qsizetype>> keys; // offset, length in bytes
    keys.reserve(n);
    QString upper;
    forEachCell(table, column, [&](qsizetype, QStringView text) {
        if (!caseSensitive && std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLower(); })) {
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
    });
    const auto key = [&](int row) {
        return QByteArrayView(bytes.constData() + keys[row].first, keys[row].second);
    };
    QList<int> order(n);
    std::iota(order.rbegin(), order.rend(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return ascending ? key(a) < key(b) : key(b) < key(a); });
    return {SortStatus::Done.toString(), std::move(order)};
}

QString SortListByColumn(TextTable &table, int column, bool ascending, bool caseSensitive, int kind)
{
    SortOrder order = sortOrderByColumn(table, column, ascending, caseSensitive, kind);
    if (order.status != SortStatus::Done)
        return order.status;
    // Row i takes the row now at order[i]. The rows are swapped out in
    // sequence and back in sort order, fetched some rows ahead.
    constexpr qsizetype RowsAhead = 16;
    const qsizetype n = table.rows.size();
    std::vector<QStringList> held(n);
    QStringList *const rows = table.rows.data();
    for (qsizetype i = 0; i < n; ++i)
        held[i].swap(rows[i]);
    for (qsizetype i = 0; i < n; ++i) {
        if (i + RowsAhead < n)
            __builtin_prefetch(&held[order.rows[i + RowsAhead]]);
        rows[i].swap(held[order.rows[i]]);
    }
    return order.status;
}

} // namespace Kuaidi

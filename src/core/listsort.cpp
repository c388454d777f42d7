#include "listsort.h"

#include <core/numbertext.h>
#include <core/tolerance.h>
#ifdef Q_OS_WIN
#include <core/windowscodepage.h>
#endif

#include <QDateTime>
#include <QRunnable>
#include <QSemaphore>
#include <QStringEncoder>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>
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

// Calls @p visit with the cell in @p column of each row from @p begin to
// @p end, an empty view where the row is shorter. Reaching a cell chases two
// pointers (the row's cells, then the text); asking for them some rows ahead
// keeps a long list from waiting on memory at every row.
template<typename Visit>
void forEachCell(const TextTable &table, int column, qsizetype begin, qsizetype end, Visit visit)
{
    constexpr qsizetype CellsAhead = 32;
    constexpr qsizetype TextsAhead = 16;
    const QStringList *const rows = table.rows.constData();
    for (qsizetype r = begin; r < end; ++r) {
        if (r + CellsAhead < end && column < rows[r + CellsAhead].size())
            __builtin_prefetch(rows[r + CellsAhead].constData() + column);
        if (r + TextsAhead < end && column < rows[r + TextsAhead].size())
            __builtin_prefetch(rows[r + TextsAhead].constData()[column].constData());
        visit(r, column < rows[r].size() ? QStringView(rows[r].constData()[column]) : QStringView());
    }
}

template<typename Visit> void forEachCell(const TextTable &table, int column, Visit visit)
{
    forEachCell(table, column, 0, table.rows.size(), visit);
}

// Runs @p work(begin, end) over 0 … @p n: on a long range, the first half on
// another thread while this one does the second. The work of one half must
// not touch what the other half's does.
template<typename Work> void inTwoHalves(qsizetype n, Work work)
{
    constexpr qsizetype WorthAThread = 20'000;
    if (n < WorthAThread || QThreadPool::globalInstance()->maxThreadCount() < 2) {
        work(0, n);
        return;
    }
    const qsizetype half = n / 2;
    QSemaphore done;
    QRunnable *const first = QRunnable::create([&] {
        work(0, half);
        done.release();
    });
    QThreadPool *const pool = QThreadPool::globalInstance();
    pool->start(first);
    work(half, n);
    // A pool busy with other work may not have begun ours: then do it here.
    if (pool->tryTake(first)) {
        delete first;
        work(0, half);
        return;
    }
    done.acquire();
}

// The 32 bits of a float that, compared as unsigned integers, order the
// floats as numbers; -0 and 0 alike.
quint32 orderedBits(float value)
{
    const quint32 bits = std::bit_cast<quint32>(value + 0.0f);
    return (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
}

// Memory a sort works in, kept from one sort to the next. A long list is
// mostly sorted again and again (a click on one header, then another), and
// fresh memory costs the system a cleared page every 4 KiB: with 100,000
// rows that was more than the sorting. It keeps 52 bytes a row of the
// longest list sorted.
struct Scratch
{
    std::vector<double> keys;
    std::vector<quint64> packed;
    std::vector<quint64> spare;
    std::vector<quint32> counts;
    QList<int> order;
    std::vector<std::byte> held;
};

Scratch &scratch()
{
    thread_local Scratch memory;
    return memory;
}

// Sorts @p items by their upper 32 bits, keeping the order of items whose
// upper halves are equal: a least-significant-digit radix sort, a digit of
// 11 bits a pass, a pass skipped where every item has the same digit.
// Each pass counts and moves the two halves of the items on two threads,
// the first half's items of a digit placed before the second half's.
// @p spare is as long as @p items; the two may be swapped.
void sortByUpperHalf(std::vector<quint64> &items, std::vector<quint64> &spare)
{
    // Each half's counts stay in the first level of cache.
    constexpr int DigitBits = 11;
    constexpr int Buckets = 1 << DigitBits;
    constexpr int Passes = (32 + DigitBits - 1) / DigitBits;
    const qsizetype n = qsizetype(items.size());
    std::vector<quint32> &counts = scratch().counts;
    for (int pass = 0; pass < Passes; ++pass) {
        const int shift = 32 + pass * DigitBits;
        const auto digit = [shift](quint64 item) { return (item >> shift) & (Buckets - 1); };
        // Counts, then next places, of the first half's items, then the second's.
        counts.assign(2 * Buckets, 0);
        const auto halfCounts = [&](qsizetype begin) { return counts.data() + (begin == 0 ? 0 : Buckets); };
        inTwoHalves(n, [&](qsizetype begin, qsizetype end) {
            quint32 *const count = halfCounts(begin);
            for (qsizetype i = begin; i < end; ++i)
                ++count[digit(items[i])];
        });
        quint32 *const first = counts.data();
        quint32 *const second = first + Buckets;
        bool oneDigit = false;
        quint32 start = 0;
        for (int bucket = 0; bucket < Buckets; ++bucket) {
            const quint32 firsts = first[bucket];
            const quint32 seconds = second[bucket];
            oneDigit = oneDigit || firsts + seconds == quint32(n);
            first[bucket] = start;
            second[bucket] = start + firsts;
            start += firsts + seconds;
        }
        if (oneDigit)
            continue;
        quint64 *const out = spare.data();
        inTwoHalves(n, [&](qsizetype begin, qsizetype end) {
            quint32 *const next = halfCounts(begin);
            for (qsizetype i = begin; i < end; ++i)
                out[next[digit(items[i])]++] = items[i];
        });
        items.swap(spare);
    }
}

// The float whose orderedBits() are @p bits.
float fromOrderedBits(quint32 bits)
{
    return std::bit_cast<float>((bits & 0x80000000u) ? bits & 0x7fffffffu : ~bits);
}

// A row's key as a float, ordered as asked, above the row's number: the
// integers order as the floats do, which order as the keys do, except that
// rounding may merge close keys.
quint64 packedKey(double key, bool ascending, qsizetype row)
{
    const quint32 bits = orderedBits(float(key));
    return quint64(ascending ? bits : ~bits) << 32 | quint64(row);
}

// Fills @p rows with the rows in the order of their @p keys (one a row), as a
// stable sort with the tolerant comparison gives it: rows whose keys are
// equal come out in reverse order. @p packed holds packedKey() of the rows
// in reverse order.
void rowsByKeys(const std::vector<double> &keys, std::vector<quint64> &packed, bool ascending,
                QList<int> &rows)
{
    const auto before = [ascending](double a, double b) {
        const double d = a - b;
        return ascending ? d < -Tolerance : d > Tolerance;
    };
    const qsizetype n = qsizetype(keys.size());
    // Mostly the keys fit a float and differ by more than the tolerance.
    // Then the packed keys, sorted by radix, give the order. Unless the
    // result reads as strictly ordered keys (equal ones apart), sort the
    // slow way.
    std::vector<quint64> &spare = scratch().spare;
    spare.resize(n);
    sortByUpperHalf(packed, spare);
    rows.resize(n);
    int *const row = rows.data();
    const auto rowAt = [&](qsizetype i) { return int(packed[i] & 0xffffffffu); };
    // Floats that differ by more than the tolerance and their own rounding
    // come from keys in order and apart: only the keys of close floats need
    // to be read, from all over memory.
    const auto floatAt = [&](qsizetype i) {
        const auto bits = quint32(packed[i] >> 32);
        return double(fromOrderedBits(ascending ? bits : ~bits));
    };
    const auto apart = [](double a, double b) {
        constexpr double Rounding = 1.0 / (1 << 22); // more than a float's, relative
        return std::abs(b - a) > Tolerance + (std::abs(a) + std::abs(b)) * Rounding;
    };
    std::atomic<bool> ordered = true;
    inTwoHalves(n, [&](qsizetype begin, qsizetype end) {
        bool inOrder = true;
        double previousFloat = begin > 0 ? floatAt(begin - 1) : 0;
        for (qsizetype i = begin; i < end; ++i) {
            row[i] = rowAt(i);
            const double thisFloat = floatAt(i);
            if (i > 0 && inOrder && !apart(previousFloat, thisFloat)) {
                const double previous = keys[rowAt(i - 1)];
                const double key = keys[row[i]];
                inOrder = previous == key || before(previous, key);
            }
            previousFloat = thisFloat;
        }
        if (!inOrder)
            ordered = false;
    });
    if (!ordered) {
        std::iota(rows.rbegin(), rows.rend(), 0);
        std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) { return before(keys[a], keys[b]); });
    }
}

// Fills @p order as sortOrderByColumn() describes and returns the status.
QString fillSortOrder(const TextTable &table, int column, bool ascending, bool caseSensitive, int kind,
                      QList<int> &order)
{
    const qsizetype columnCount = table.columns.size();
    if (column < 0 || column > columnCount - 1)
        return SortStatus::BadColumn.toString();
    if (kind != SortAsText && kind != SortAsCurrency && kind != SortAsNumber && kind != SortAsDateTime)
        return SortStatus::BadKind.toString();
    if (kind == SortAsCurrency)
        kind = SortAsNumber;

    // Picking, again and again, the last of the smallest remaining keys puts
    // equal keys in reverse order; a stable sort of the reversed rows gives
    // the same order without the quadratic search.
    const qsizetype n = table.rows.size();
    if (kind != SortAsText) {
        std::vector<double> &keys = scratch().keys;
        std::vector<quint64> &packed = scratch().packed;
        keys.resize(n);
        packed.resize(n);
        inTwoHalves(n, [&](qsizetype begin, qsizetype end) {
            forEachCell(table, column, begin, end, [&](qsizetype row, QStringView cell) {
                const double key = kind == SortAsNumber ? textToNumber(cell) : dateKey(cell.toString());
                keys[row] = key;
                packed[n - 1 - row] = packedKey(key, ascending, row);
            });
        });
        rowsByKeys(keys, packed, ascending, order);
        return SortStatus::Done.toString();
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
#ifdef Q_OS_WIN
            if (const std::optional<QByteArray> encoded = encodeWithWindowsCodePage(936, text))
                bytes.append(*encoded);
            else
                bytes.append(text.toUtf8());
#else
            bytes.append(text.toUtf8());
#endif
        }
        keys.emplace_back(start, bytes.size() - start);
    });
    const auto key = [&](int row) {
        return QByteArrayView(bytes.constData() + keys[row].first, keys[row].second);
    };
    order.resize(n);
    std::iota(order.rbegin(), order.rend(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return ascending ? key(a) < key(b) : key(b) < key(a); });
    return SortStatus::Done.toString();
}

} // namespace

SortOrder sortOrderByColumn(const TextTable &table, int column, bool ascending, bool caseSensitive, int kind)
{
    SortOrder order;
    order.status = fillSortOrder(table, column, ascending, caseSensitive, kind, order.rows);
    if (order.status != SortStatus::Done)
        order.rows.clear();
    return order;
}

QString SortListByColumn(TextTable &table, int column, bool ascending, bool caseSensitive, int kind)
{
    QList<int> &order = scratch().order;
    QString status = fillSortOrder(table, column, ascending, caseSensitive, kind, order);
    const qsizetype n = table.rows.size();
    if (status != SortStatus::Done || n == 0)
        return status;
    // Row i takes the row now at order[i]. A list of cells can be moved
    // by its bytes, as Qt's own containers move it: the rows are copied out
    // at once and each copied back to its place, fetched some rows ahead.
    static_assert(QTypeInfo<QStringList>::isRelocatable);
    constexpr qsizetype RowsAhead = 16;
    std::vector<std::byte> &held = scratch().held;
    held.resize(n * sizeof(QStringList));
    auto *const rows = reinterpret_cast<std::byte *>(table.rows.data());
    const std::byte *const from = held.data();
    inTwoHalves(n, [&](qsizetype begin, qsizetype end) {
        std::memcpy(held.data() + begin * sizeof(QStringList), rows + begin * sizeof(QStringList),
                    (end - begin) * sizeof(QStringList));
    });
    const int *const source = order.constData();
    inTwoHalves(n, [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i) {
            if (i + RowsAhead < end)
                __builtin_prefetch(from + source[i + RowsAhead] * sizeof(QStringList));
            std::memcpy(rows + i * sizeof(QStringList), from + source[i] * sizeof(QStringList),
                        sizeof(QStringList));
        }
    });
    return status;
}

} // namespace Kuaidi

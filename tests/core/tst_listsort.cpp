#include <core/listsort.h>

#include <QTest>

#include <algorithm>
#include <numeric>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

TextTable table(const QList<QStringList> &rows)
{
    return {{u"ID"_s, u"地区"_s, u"首重价格"_s}, rows};
}

QStringList column(const TextTable &t, int c)
{
    QStringList cells;
    for (const QStringList &row : t.rows)
        cells << row.at(c);
    return cells;
}

} // namespace

class TestListSort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sort_order_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("ids"); // column 0 after sorting
        // Rows: id, text, number text
        QTest::newRow("text ascending, ties reversed")
            << 1 << true << false << 10 << QStringList{u"3"_s, u"4"_s, u"1"_s, u"2"_s, u"5"_s};
        QTest::newRow("text descending, ties reversed")
            << 1 << false << false << 10 << QStringList{u"5"_s, u"2"_s, u"4"_s, u"1"_s, u"3"_s};
        QTest::newRow("case-sensitive: upper before lower")
            << 1 << true << true << 10 << QStringList{u"3"_s, u"4"_s, u"1"_s, u"2"_s, u"5"_s};
        QTest::newRow("numbers, not texts")
            << 2 << true << false << 6 << QStringList{u"5"_s, u"2"_s, u"3"_s, u"1"_s, u"4"_s};
        QTest::newRow("kind 3 sorts as numbers")
            << 2 << true << false << 3 << QStringList{u"5"_s, u"2"_s, u"3"_s, u"1"_s, u"4"_s};
        QTest::newRow("numbers descending")
            << 2 << false << false << 6 << QStringList{u"4"_s, u"1"_s, u"3"_s, u"5"_s, u"2"_s};
    }
    void sort_order()
    {
        QFETCH(int, column);
        QFETCH(bool, ascending);
        QFETCH(bool, caseSensitive);
        QFETCH(int, kind);
        QFETCH(QStringList, ids);
        // "abc" and "ABC" are equal keys unless case-sensitive; 2 and 2.0 are
        // equal numbers.
        TextTable t = table({{u"1"_s, u"abc"_s, u"10"_s},
                             {u"2"_s, u"北京"_s, u"2"_s},
                             {u"3"_s, u"AB"_s, u"9"_s},
                             {u"4"_s, u"ABC"_s, u"100"_s},
                             {u"5"_s, u"天津"_s, u"2.0"_s}});
        QCOMPARE(SortListByColumn(t, column, ascending, caseSensitive, kind), SortStatus::Done.toString());
        QCOMPARE(column_(t), ids);
    }

    // Numbers that a float cannot tell apart, or that lie within the
    // tolerance of each other, sort as exact numbers with the tolerance.
    void sort_closeNumbers_data()
    {
        QTest::addColumn<QStringList>("numbers"); // of rows 1, 2, …
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("within the tolerance: equal, reversed")
            << QStringList{u"1.00000001"_s, u"1"_s, u"0.5"_s, u"1.00000002"_s} << true
            << QStringList{u"3"_s, u"4"_s, u"2"_s, u"1"_s};
        QTest::newRow("within the tolerance, different floats")
            << QStringList{u"0.00000001"_s, u"0.00000002"_s} << true << QStringList{u"2"_s, u"1"_s};
        QTest::newRow("one float for two integers")
            << QStringList{u"16777216"_s, u"16777217"_s, u"16777218"_s} << true
            << QStringList{u"1"_s, u"2"_s, u"3"_s};
        QTest::newRow("one float for two integers, descending")
            << QStringList{u"16777217"_s, u"16777216"_s, u"1"_s} << false
            << QStringList{u"1"_s, u"2"_s, u"3"_s};
        QTest::newRow("beyond the largest float")
            << QStringList{u"400000000000000000000000000000000000000"_s,
                           u"500000000000000000000000000000000000000"_s, u"3"_s}
            << true << QStringList{u"3"_s, u"1"_s, u"2"_s};
        QTest::newRow("-0 equals 0") << QStringList{u"-0"_s, u"0"_s, u"-1"_s, u"0.0"_s} << true
                                     << QStringList{u"3"_s, u"4"_s, u"2"_s, u"1"_s};
        QTest::newRow("blank and text cells count 0, descending")
            << QStringList{u"2"_s, u""_s, u"不发"_s, u"-3"_s, u"2"_s} << false
            << QStringList{u"5"_s, u"1"_s, u"3"_s, u"2"_s, u"4"_s};
    }
    void sort_closeNumbers()
    {
        QFETCH(QStringList, numbers);
        QFETCH(bool, ascending);
        QFETCH(QStringList, ids);
        TextTable t = table({});
        for (int i = 0; i < numbers.size(); ++i)
            t.rows << QStringList{QString::number(i + 1), numbers.at(i)};
        QCOMPARE(SortListByColumn(t, 1, ascending, false, SortAsNumber), SortStatus::Done.toString());
        QCOMPARE(column(t, 0), ids);
    }

    // Long lists take other paths (radix digits of another width, halves on
    // two threads): they must give what a plain stable sort of the reversed
    // rows gives.
    void sort_longListsByNumber_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("ascending");
        QTest::newRow("30,000 ascending") << 30'000 << true;
        QTest::newRow("70,000 ascending") << 70'000 << true;
        QTest::newRow("70,000 descending") << 70'000 << false;
    }
    void sort_longListsByNumber()
    {
        QFETCH(int, rows);
        QFETCH(bool, ascending);
        TextTable t = table({});
        QList<double> numbers;
        for (int i = 0; i < rows; ++i) {
            // Repeats, negatives, fractions, large values and non-numbers.
            const int v = (i * 7919) % 5003 - 1000;
            const QString text =
                v % 97 == 0 ? u"空"_s : QString::number(v * (v % 3 == 0 ? 1000.25 : 0.5), 'f', 2);
            t.rows << QStringList{QString::number(i), text, u"x"_s};
            numbers << (text == u"空" ? 0 : text.toDouble());
        }
        QList<int> expected(rows);
        std::iota(expected.rbegin(), expected.rend(), 0);
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
            return ascending ? numbers[a] < numbers[b] : numbers[a] > numbers[b];
        });
        QCOMPARE(sortOrderByColumn(t, 1, ascending, false, SortAsNumber).rows, expected);
        const TextTable before = t;
        QCOMPARE(SortListByColumn(t, 1, ascending, false, SortAsNumber), SortStatus::Done.toString());
        for (int i = 0; i < rows; ++i)
            QCOMPARE(t.rows.at(i), before.rows.at(expected.at(i)));
    }

    void sort_textUsesGbkOrder()
    {
        // In GBK 北 (B1B1) < 上 (C9CF) < 天 (CCEC) < 重 (D6D8), unlike their
        // Unicode order (上 4E0A < 北 5317 < 天 5929 < 重 91CD) only partly.
        TextTable t = table({{u"1"_s, u"重庆"_s, u""_s},
                             {u"2"_s, u"上海"_s, u""_s},
                             {u"3"_s, u"天津"_s, u""_s},
                             {u"4"_s, u"北京"_s, u""_s}});
        SortListByColumn(t, 1);
        QCOMPARE(column(t, 1), (QStringList{u"北京"_s, u"上海"_s, u"天津"_s, u"重庆"_s}));
    }

    void sort_twiceSwapsEqualKeysBack()
    {
        TextTable t = table({{u"1"_s, u"北京"_s, u"x"_s}, {u"2"_s, u"北京"_s, u"y"_s}});
        SortListByColumn(t, 1);
        QCOMPARE(column(t, 0), (QStringList{u"2"_s, u"1"_s}));
        SortListByColumn(t, 1);
        QCOMPARE(column(t, 0), (QStringList{u"1"_s, u"2"_s}));
        // Whole rows move, cells keep their own case.
        QCOMPARE(t.rows.at(0), (QStringList{u"1"_s, u"北京"_s, u"x"_s}));
    }

    void sort_refusals_leaveTableUnchanged_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("status");
        QTest::newRow("column = count") << 3 << 10 << SortStatus::BadColumn.toString();
        QTest::newRow("negative column") << -1 << 10 << SortStatus::BadColumn.toString();
        QTest::newRow("unknown kind") << 1 << 7 << SortStatus::BadKind.toString();
    }
    void sort_refusals_leaveTableUnchanged()
    {
        QFETCH(int, column);
        QFETCH(int, kind);
        QFETCH(QString, status);
        const TextTable before = table({{u"2"_s, u"b"_s, u"1"_s}, {u"1"_s, u"a"_s, u"2"_s}});
        TextTable t = before;
        QCOMPARE(SortListByColumn(t, column, true, false, kind), status);
        QCOMPARE(t.rows, before.rows);
    }

    void sort_dates()
    {
        TextTable t = table({{u"1"_s, u"2024-03-01"_s, u""_s},
                             {u"2"_s, u"1899-12-29T18:00:00"_s, u""_s},
                             {u"3"_s, u"2023-12-31 23:59:59"_s, u""_s},
                             {u"4"_s, u"1899-12-29T06:00:00"_s, u""_s}});
        QCOMPARE(SortListByColumn(t, 1, true, false, SortAsDateTime), SortStatus::Done.toString());
        QCOMPARE(column(t, 0), (QStringList{u"4"_s, u"2"_s, u"3"_s, u"1"_s}));
    }

    void sort_oneRowAndNoRows()
    {
        TextTable one = table({{u"1"_s, u"a"_s, u"1"_s}});
        QCOMPARE(SortListByColumn(one, 2), SortStatus::Done.toString());
        QCOMPARE(one.rows.size(), 1);
        TextTable none = table({});
        QCOMPARE(SortListByColumn(none, 0), SortStatus::Done.toString());
    }

private:
    static QStringList column_(const TextTable &t) { return column(t, 0); }
};

QTEST_GUILESS_MAIN(TestListSort)
#include "tst_listsort.moc"

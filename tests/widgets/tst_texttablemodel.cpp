#include <widgets/texttablemodel.h>

#include <QAbstractItemModelTester>
#include <QFont>
#include <QTableView>
#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

TextTable cities()
{
    return {{u"ID"_s, u"地区"_s, u"首重价格"_s},
            {{u"1"_s, u"上海"_s, u"12"_s},
             {u"2"_s, u"北京"_s, u"8"_s},
             {u"3"_s, u"南京"_s, u"10"_s},
             {u"4"_s, u"天津"_s, u"9"_s}}};
}

QStringList checkedIds(const TextTableModel &model)
{
    QStringList ids;
    for (int r = 0; r < model.rowCount(); ++r) {
        if (model.isChecked(r))
            ids << model.cell(r, 0);
    }
    return ids;
}

QStringList highlightedIds(const TextTableModel &model)
{
    QStringList ids;
    for (int r = 0; r < model.rowCount(); ++r) {
        if (model.isHighlighted(r))
            ids << model.cell(r, 0);
    }
    return ids;
}

/// Rows numbered from 0; every cell text names its row and column, and
/// every call is counted.
TextTableModel::RowSource numberedRows(int count, int *calls)
{
    TextTableModel::RowSource source;
    source.rowCount = count;
    source.cell = [calls](int row, int column) {
        ++*calls;
        return u"%1/%2"_s.arg(row).arg(column);
    };
    source.greyed = [](int row, int column) { return row % 2 == 1 && column == 2; };
    return source;
}

} // namespace

class TestTextTableModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyChange_keepsTheModelConsistent()
    {
        TextTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setTable(cities());
        model.setCheckable(true);
        model.setOnlyChecked(1);
        model.setHighlightedRows({0, 3});
        model.setCell(2, 1, u"江苏南京"_s);
        model.appendRow({u"5"_s, u"重庆"_s});
        model.sortByColumn(2);
        model.removeRowAt(0);
        model.setRows({{u"9"_s, u"海外"_s, u"99"_s}});
        model.clearRows();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 3);
    }

    void marks_followTheirRows_onRemoval()
    {
        TextTableModel model;
        model.setTable(cities());
        model.setCheckable(true);
        model.setOnlyChecked(2);
        model.setHighlightedRows({3});
        model.removeRowAt(0);
        QCOMPARE(checkedIds(model), QStringList{u"3"_s});
        QCOMPARE(highlightedIds(model), QStringList{u"4"_s});
        model.removeRowAt(1); // the checked row itself
        QCOMPARE(checkedIds(model), QStringList());
        QCOMPARE(highlightedIds(model), QStringList{u"4"_s});
    }

    void marks_followTheirRows_onSort_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("order");
        // A header click compares texts, prices too.
        QTest::newRow("prices as text") << 2 << QStringList{u"3"_s, u"1"_s, u"2"_s, u"4"_s};
        QTest::newRow("by text (GBK order)") << 1 << QStringList{u"2"_s, u"3"_s, u"1"_s, u"4"_s};
    }
    void marks_followTheirRows_onSort()
    {
        QFETCH(int, column);
        QFETCH(QStringList, order);
        TextTableModel model;
        model.setTable(cities());
        model.setCheckable(true);
        model.setOnlyChecked(0);
        model.setHighlightedRows({2});
        const QPersistentModelIndex tianjin = model.index(3, 1);

        const QList<int> from = model.sortByColumn(column);
        QStringList ids;
        for (int r = 0; r < model.rowCount(); ++r)
            ids << model.cell(r, 0);
        QCOMPARE(ids, order);
        QCOMPARE(from.size(), 4);
        QCOMPARE(model.cell(int(from.indexOf(3)), 0), u"4"_s);
        QCOMPARE(checkedIds(model), QStringList{u"1"_s});
        QCOMPARE(highlightedIds(model), QStringList{u"3"_s});
        QCOMPARE(model.data(tianjin).toString(), u"天津"_s);
        QCOMPARE(model.data(model.index(int(order.indexOf(u"1"_s)), 0), Qt::CheckStateRole)
                     .value<Qt::CheckState>(),
                 Qt::Checked);
        QVERIFY(model.data(model.index(int(order.indexOf(u"3"_s)), 1), Qt::FontRole).value<QFont>().bold());
    }

    void sortByColumn_outsideTheTable_changesNothing()
    {
        TextTableModel model;
        model.setTable(cities());
        QVERIFY(model.sortByColumn(7).isEmpty());
        QCOMPARE(model.cell(0, 1), u"上海"_s);
    }

    void rowSource_keepsTheModelConsistent()
    {
        int calls = 0;
        TextTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setTable(cities());
        model.setHighlightedRows({1});
        model.setRowSource(numberedRows(5, &calls));
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.columnCount(), 3);               // titles stay
        QCOMPARE(highlightedIds(model), QStringList()); // marks of the old rows go
        model.setRowSource(numberedRows(3, &calls));
        model.setRowSource({});
        QCOMPARE(model.rowCount(), 0);
        model.setRowSource(numberedRows(2, &calls));
        model.setRows({{u"9"_s, u"海外"_s, u"99"_s}});
        QCOMPARE(model.cell(0, 1), u"海外"_s);
        model.setRowSource(numberedRows(4, &calls));
        model.clearRows();
        QCOMPARE(model.rowCount(), 0);
        model.setRowSource(numberedRows(4, &calls));
        model.setTable(cities());
        QCOMPARE(model.cell(3, 1), u"天津"_s);
    }

    void rowSource_answersCellsAndMarks()
    {
        int calls = 0;
        TextTableModel model;
        model.setTable(cities());
        model.setRowSource(numberedRows(4, &calls));
        QCOMPARE(model.cell(2, 1), u"2/1"_s);
        QCOMPARE(model.cell(2, 3), QString()); // past the titles
        QCOMPARE(model.cell(4, 0), QString());
        QCOMPARE(model.rowCells(1), (QStringList{u"1/0"_s, u"1/1"_s, u"1/2"_s}));
        QVERIFY(model.isGreyed(1, 2));
        QVERIFY(!model.isGreyed(1, 1));
        model.setGreyedRows({2});
        QVERIFY(model.isGreyed(2, 0));
        model.setHighlightedRows({3});
        QVERIFY(model.isHighlighted(3));

        // Rows that come from a source are shown as they come: no sort,
        // no editing.
        QVERIFY(model.sortByColumn(1).isEmpty());
        model.setCell(0, 0, u"x"_s);
        model.appendRow({u"x"_s});
        model.removeRowAt(0);
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.cell(0, 0), u"0/0"_s);
    }

    void rowSource_makesOnlyTheCellsAViewShows()
    {
        int calls = 0;
        TextTableModel model;
        model.setTable(cities());
        model.setRowSource(numberedRows(300'000, &calls));
        QTableView view;
        view.resize(400, 300);
        view.setModel(&model);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(calls > 0);
        QVERIFY2(calls < 3'000, qPrintable(QString::number(calls)));
    }

    void checkMark_onlyInTheFirstColumnOfACheckableList()
    {
        TextTableModel model;
        model.setTable(cities());
        QVERIFY(!model.data(model.index(0, 0), Qt::CheckStateRole).isValid());
        QVERIFY(!model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole));
        model.setCheckable(true);
        QVERIFY(!model.data(model.index(0, 1), Qt::CheckStateRole).isValid());
        QVERIFY(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(model.setData(model.index(2, 0), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(checkedIds(model), (QStringList{u"2"_s, u"3"_s}));
        model.setOnlyChecked(3);
        QCOMPARE(checkedIds(model), QStringList{u"4"_s});
    }
};

QTEST_MAIN(TestTextTableModel)
#include "tst_texttablemodel.moc"

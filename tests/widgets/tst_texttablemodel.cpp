#include <widgets/texttablemodel.h>

#include <QAbstractItemModelTester>
#include <QFont>
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

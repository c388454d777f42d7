#include <core/schema.h>
#include <templates/raterows.h>
#include <templates/rowrules.h>

#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

// 41 rate cells: first and additional price, the level amounts set at @p level.
QStringList rateCells(const QString &first, const QString &additional, int level = -1,
                      const QString &levelFirst = {}, const QString &levelAdditional = {})
{
    QStringList cells(RateColumnCount);
    cells[ColumnFirstWeight] = first;
    cells[ColumnAdditionalWeight] = additional;
    if (level >= 0) {
        cells[priceSetColumnIndex(level, FieldFirstWeight)] = levelFirst;
        cells[priceSetColumnIndex(level, FieldAdditionalWeight)] = levelAdditional;
    }
    return cells;
}

} // namespace

class TestRowRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cellsToStore_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<bool>("adding");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("change keeps the last cell empty")
            << QStringList{u"1"_s, QString(), u"5"_s, QString()} << false
            << QStringList{u"1"_s, u"空"_s, u"5"_s, QString()};
        QTest::newRow("add fills every empty cell") << QStringList{u"1"_s, QString(), u"5"_s, QString()}
                                                    << true << QStringList{u"1"_s, u"空"_s, u"5"_s, u"空"_s};
        QTest::newRow("blanks are not empty")
            << QStringList{u" "_s, u"未填"_s} << false << QStringList{u" "_s, u"未填"_s};
    }
    void cellsToStore()
    {
        QFETCH(QStringList, cells);
        QFETCH(bool, adding);
        QFETCH(QStringList, stored);
        QCOMPARE(Kuaidi::cellsToStore(cells, adding ? RowWrite::Add : RowWrite::Change), stored);
    }

    void nextRowId_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<int>("next");
        QTest::newRow("no rows") << QStringList() << 1;
        QTest::newRow("numbered rows") << QStringList{u"1"_s, u"2"_s, u"3"_s} << 4;
        QTest::newRow("after deleting the first") << QStringList{u"2"_s, u"3"_s} << 4;
        QTest::newRow("after deleting the last") << QStringList{u"1"_s, u"2"_s} << 3;
        QTest::newRow("an ID that is no number") << QStringList{u"abc"_s, u"1"_s} << 3;
        QTest::newRow("a high ID") << QStringList{u"70"_s} << 71;
    }
    void nextRowId()
    {
        QFETCH(QStringList, ids);
        QFETCH(int, next);
        QCOMPARE(Kuaidi::nextRowId(ids), next);
    }

    void newRow_data()
    {
        QTest::addColumn<QString>("region");
        QTest::addColumn<int>("columnCount");
        QTest::addColumn<QStringList>("start");
        QTest::newRow("known city") << u"江苏南京"_s << 41
                                    << QStringList{u"9"_s, u"江苏南京"_s, u"江苏"_s, QString(), u"未填"_s};
        QTest::newRow("unknown region")
            << u"火星基地"_s << 41 << QStringList{u"9"_s, u"火星基地"_s, u"您的市区输入有误"_s};
        QTest::newRow("short table") << u"北京"_s << 3 << QStringList{u"9"_s, u"北京"_s, u"北京"_s};
    }
    void newRow()
    {
        QFETCH(QString, region);
        QFETCH(int, columnCount);
        QFETCH(QStringList, start);
        RowFields fields;
        fields.region = region;
        fields.contact = u"客服"_s;
        const QStringList cells = Kuaidi::newRow(columnCount, u"9"_s, withNewRowDefaults(fields));
        QCOMPARE(cells.size(), columnCount);
        QCOMPARE(cells.mid(0, start.size()), start);
        if (columnCount == RateColumnCount) {
            QCOMPARE(cells.at(ColumnContact), u"客服"_s);
            QCOMPARE(cells.at(ColumnArrivalTime), u"未填"_s);
            QCOMPARE(cells.at(priceSetColumnIndex(3, FieldOtherFee)), QString());
        }
    }

    void levelPrices_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<int>("level");
        QTest::addColumn<double>("charged");
        QTest::addColumn<QString>("shown");
        QTest::newRow("base set, no amounts") << rateCells(u"10"_s, u"5"_s) << 0 << 10.0 << u"10"_s;
        // The fee adds the base set's own amounts; the editor shows the
        // price as stored.
        QTest::newRow("base set with amounts")
            << rateCells(u"10"_s, u"5"_s, 0, u"1.5"_s, u"1"_s) << 0 << 11.5 << u"10"_s;
        QTest::newRow("star level adds")
            << rateCells(u"10"_s, u"5"_s, 2, u"-2"_s, u"1"_s) << 2 << 8.0 << u"8"_s;
        QTest::newRow("unfilled reads 0")
            << rateCells(u"未填"_s, u"5"_s, 5, u"3元"_s, {}) << 5 << 3.0 << u"3"_s;
        QTest::newRow("stored text at level 0") << rateCells(u"未填"_s, u"5"_s) << 0 << 0.0 << u"未填"_s;
        QTest::newRow("no such level") << rateCells(u"10"_s, u"5"_s) << 6 << 10.0 << QString();
    }
    void levelPrices()
    {
        QFETCH(QStringList, cells);
        QFETCH(int, level);
        QFETCH(double, charged);
        QFETCH(QString, shown);
        if (level < LevelCount)
            QCOMPARE(levelPrice(cells, level, FieldFirstWeight), charged);
        QCOMPARE(shownLevelPrice(cells, level, FieldFirstWeight), shown);
    }

    void rateRowsOf_followsColumnsByName()
    {
        const TextTable table{{u"地区"_s, u"续重价格"_s, u"ID"_s, u"备注"_s},
                              {{u"北京"_s, u"5"_s, u"1"_s, u"x"_s}, {u"上海"_s}}};
        const QList<QStringList> rows = rateRowsOf(table);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).size(), RateColumnCount);
        QCOMPARE(rows.at(0).mid(0, 6),
                 (QStringList{u"1"_s, u"北京"_s, QString(), QString(), QString(), u"5"_s}));
        QCOMPARE(rows.at(1).at(ColumnRegion), u"上海"_s);
        QCOMPARE(rows.at(1).at(ColumnAdditionalWeight), QString());
    }
};

QTEST_GUILESS_MAIN(TestRowRules)
#include "tst_rowrules.moc"

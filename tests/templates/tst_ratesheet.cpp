#include <core/schema.h>
#include <templates/ratesheet.h>

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Kuaidi;

namespace {

TextTable tableOf(const QList<QStringList> &rows)
{
    TextTable table;
    table.columns = rows.first();
    table.rows = rows.mid(1);
    return table;
}

} // namespace

class TestRateSheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readRateSheet_findsHeadersAsCouriersWriteThem_data()
    {
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QStringList>("firstRow");
        QTest::addColumn<QStringList>("problems");
        const QStringList canonical{u"地区"_s, u"首重价格"_s, u"续重价格"_s, u"到达时间"_s};
        QTest::newRow("the described layout")
            << QList<QStringList>{canonical, {u"上海"_s, u"5"_s, u"1"_s, u"次日"_s}} << canonical
            << QStringList{u"上海"_s, u"5"_s, u"1"_s, u"次日"_s} << QStringList{};
        QTest::newRow("title row, units, synonyms, other order")
            << QList<QStringList>{{u"2026年中通报价表"_s, u""_s, u""_s, u""_s},
                                  {u"时效"_s, u" 续重(元) "_s, u"目的地"_s, u"首重（元）"_s},
                                  {u"次日"_s, u"1"_s, u"上海"_s, u"5元"_s}}
            << canonical << QStringList{u"上海"_s, u"5元"_s, u"1"_s, u"次日"_s} << QStringList{};
        QTest::newRow("no arrival time, another column kept")
            << QList<QStringList>{{u"省份"_s, u"首重费"_s, u"续重费"_s, u"备注"_s},
                                  {u"江苏"_s, u"５"_s, u"-"_s, u"x"_s}}
            << QStringList{u"地区"_s, u"首重价格"_s, u"续重价格"_s, u"到达时间"_s, u"备注"_s}
            << QStringList{u"江苏"_s, u"５"_s, u"-"_s, u""_s, u"x"_s} << QStringList{};
        QTest::newRow("missing price columns")
            << QList<QStringList>{{u"说明"_s}, {u"城市"_s, u"首重"_s}, {u"南京"_s, u"5"_s}}
            << QStringList{u"地区"_s, u"首重价格"_s, u"续重价格"_s, u"到达时间"_s}
            << QStringList{u"南京"_s, u"5"_s, u""_s, u""_s}
            << QStringList{u"缺少“续重价格”列（表头在第 2 行）"_s};
        QTest::newRow("bad prices named by row, markers allowed")
            << QList<QStringList>{canonical,
                                  {u"上海"_s, u"面议"_s, u"1"_s, u""_s},
                                  {u"西藏"_s, u"不发"_s, u"无"_s, u""_s},
                                  {u"江苏"_s, u"未填"_s, u"约2"_s, u""_s}}
            << canonical << QStringList{u"上海"_s, u"面议"_s, u"1"_s, u""_s}
            << QStringList{u"价格不是数字：第 2 行的首重价格“面议”、第 4 行的续重价格“约2”"
                           u"（可以是数字、空白或 未填、空、不发、无、-）"_s};
        QTest::newRow("no header in ten rows")
            << QList<QStringList>(11, {u"x"_s}) << QStringList{} << QStringList{}
            << QStringList{u"缺少“地区”列：前 10 行中没有地区、目的地、到达地区、区域、省份或城市"_s};
    }

    void readRateSheet_findsHeadersAsCouriersWriteThem()
    {
        QFETCH(QList<QStringList>, rows);
        QFETCH(QStringList, columns);
        QFETCH(QStringList, firstRow);
        QFETCH(QStringList, problems);
        const RateSheet sheet = readRateSheet(tableOf(rows));
        QCOMPARE(sheet.problems, problems);
        QCOMPARE(sheet.sheet.columns, columns);
        QCOMPARE(sheet.sheet.rows.value(0), firstRow);
        QVERIFY(!sheet.wholeTemplate);
    }

    void newTemplateGrid_fillsWhatTheSheetLacks()
    {
        const RateSheet sheet =
            readRateSheet(tableOf({{u"目的地"_s, u"首重"_s, u"续重"_s}, {u"江苏南京"_s, u"5"_s, u"1"_s}}));
        const TextTable grid = newTemplateGrid(sheet, {u"0.5"_s, u"0.8"_s, u"2"_s, u"客服"_s});
        QCOMPARE(grid.columns, RateColumns());
        const QStringList &row = grid.rows.first();
        QCOMPARE(row.at(ColumnId), u"1"_s);
        QCOMPARE(row.at(ColumnProvince), u"江苏"_s);
        QCOMPARE(row.at(ColumnOtherFee), u"2"_s);
        QCOMPARE(row.at(ColumnContact), u"客服"_s);
    }

    void ownProvinces_followTheRegionAndStay()
    {
        const RateSheet sheet =
            readRateSheet(tableOf({{u"地区"_s, u"首重"_s, u"续重"_s, u"省区"_s, u"市等级"_s},
                                   {u"江苏南京"_s, u"5"_s, u"1"_s, u"江苏省"_s, u"二线"_s}}));
        QVERIFY(sheet.ownProvinces);
        const TextTable grid = newTemplateGrid(sheet, {});
        QCOMPARE(grid.columns, RateColumns());
        QCOMPARE(grid.rows.at(0).at(ColumnProvince), u"江苏省"_s);
        QCOMPARE(grid.rows.at(0).at(ColumnCityGrade), u"二线"_s);
    }

    void wholeTemplate_keepsEveryCellAndItsRules()
    {
        QStringList row;
        for (int c = 0; c < RateColumnCount; ++c)
            row << u"v%1"_s.arg(c);
        row[ColumnFirstWeight] = u"7"_s;
        row[ColumnAdditionalWeight] = u"未填"_s;
        const RateSheet sheet = readRateSheet(tableOf({RateColumns(), row}));
        QVERIFY(sheet.wholeTemplate);
        QVERIFY(sheet.problems.isEmpty());
        const TextTable grid = newTemplateGrid(sheet, {});
        QCOMPARE(grid.columns, RateColumns());
        QCOMPARE(grid.rows, QList<QStringList>{row});

        const BillingRules rules{BillingRules::Rounding::HalfKilogram, 2, 6000};
        QCOMPARE(billingRulesFromSheet(billingRulesSheet(rules)), rules);
        QVERIFY(!billingRulesFromSheet(tableOf({{u"计费取整"_s}})));
    }
};

QTEST_GUILESS_MAIN(TestRateSheet)
#include "tst_ratesheet.moc"

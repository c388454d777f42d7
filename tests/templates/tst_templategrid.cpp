#include <core/schema.h>
#include <templates/templategrid.h>

#include <QSet>
#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

TextTable sellerSheet()
{
    return {{u"地区"_s, u"首重价格"_s, u"续重价格"_s, u"到达时间"_s},
            {{u"江苏南京"_s, u"10"_s, u"5"_s, u"2天"_s}, {u"Mars"_s, u"9"_s, u"4"_s, QString()}}};
}

} // namespace

class TestTemplateGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sellerSheet_becomesARateTemplate()
    {
        TextTable grid = importGridFromSheet(sellerSheet());
        QCOMPARE(grid.rows.at(1).mid(0, 2), (QStringList{u"2"_s, u"Mars"_s}));
        MatchProvinces(grid);
        previewNewTemplate(grid, {u"1"_s, u"2"_s, u"3"_s, u"电话"_s});
        QCOMPARE(grid.columns, RateColumns());
        QStringList expected{u"1"_s, u"江苏南京"_s, u"江苏"_s, QString(), u"10"_s,
                             u"5"_s, u"1"_s,        u"2"_s,    u"3"_s,    u"电话"_s};
        for (int i = 0; i < 30; ++i)
            expected << u"0"_s;
        expected << u"2天"_s;
        QCOMPARE(grid.rows.at(0), expected);
        QCOMPARE(grid.rows.at(1).at(ColumnProvince), QString()); // no region matched
        QVERIFY(missingFeeColumns(grid.columns).isEmpty());
    }

    // A row for several provinces gets none of them as its 省区; a row for
    // places of one province, or a province less a city, gets that one.
    void matchProvinces_groupRows_data()
    {
        QTest::addColumn<QString>("region");
        QTest::addColumn<QString>("province");
        QTest::newRow("provinces listed") << u"山东、天津、江苏、河北、北京"_s << QString();
        QTest::newRow("short form") << u"江浙沪"_s << QString();
        QTest::newRow("short form and a province") << u"京津冀/山西"_s << QString();
        QTest::newRow("cities of one province") << u"南京、苏州、无锡"_s << u"江苏"_s;
        QTest::newRow("province less a city") << u"广东(深圳除外)"_s << u"广东"_s;
        QTest::newRow("an address") << u"江苏省 南京市"_s << u"江苏"_s;
        QTest::newRow("one city") << u"深圳"_s << u"广东"_s;
    }
    void matchProvinces_groupRows()
    {
        QFETCH(QString, region);
        QFETCH(QString, province);
        TextTable sheet;
        sheet.columns = QStringList{u"地区"_s, u"首重价格"_s, u"续重价格"_s};
        sheet.rows = {{region, u"10"_s, u"5"_s}};
        TextTable grid = importGridFromSheet(sheet);
        MatchProvinces(grid);
        QCOMPARE(grid.rows.at(0).at(ColumnProvince), province);
        // Matched again (step 2 pressed twice), still none.
        MatchProvinces(grid);
        QCOMPARE(grid.rows.at(0).at(ColumnProvince), province);
    }

    void pressingAgain_leavesOneSetOfColumns()
    {
        TextTable grid = importGridFromSheet(sellerSheet());
        MatchProvinces(grid);
        grid.rows[0][ColumnRegion] = u"吉林"_s;
        MatchProvinces(grid);
        QCOMPARE(grid.columns.size(), 7);
        QCOMPARE(grid.rows.at(0).at(ColumnProvince), u"吉林"_s);

        previewNewTemplate(grid, {u"1"_s, u"2"_s, u"3"_s, u"旧"_s});
        previewNewTemplate(grid, {u"1"_s, u"2"_s, u"3"_s, u"新"_s});
        QCOMPARE(grid.columns, RateColumns());
        QCOMPARE(grid.rows.at(1).at(ColumnContact), u"新"_s);
        QCOMPARE(grid.rows.at(1).size(), 41);
    }

    void shortSheet_getsItsColumnsAtTheEnd()
    {
        TextTable grid = importGridFromSheet({{u"地区"_s}, {{u"北京"_s}}});
        MatchProvinces(grid);
        previewNewTemplate(grid, {u"a"_s, u"b"_s, u"c"_s, u"d"_s});
        QCOMPARE(grid.columns.size(), 4 + 34);
        QCOMPARE(grid.columns.at(4), u"二十至三十KG手续费"_s);
        QCOMPARE(grid.rows.at(0).at(4), u"a"_s);
        QCOMPARE(grid.rows.at(0).at(4 + 33), u"0"_s);
        QCOMPARE(missingFeeColumns(grid.columns), (QStringList{u"首重价格"_s, u"续重价格"_s}));
    }

    void editorGrid_hasHiddenCodeColumn()
    {
        const TextTable grid = editorGridFromSheet(sellerSheet());
        QCOMPARE(grid.columns.mid(0, 3), (QStringList{u"ID"_s, u"代码"_s, u"地区"_s}));
        QCOMPARE(grid.rows.at(0).mid(0, 3), (QStringList{u"1"_s, QString(), u"江苏南京"_s}));
        const TextTable headerOnly = editorGridFromSheet({sellerSheet().columns, {}});
        QCOMPARE(headerOnly.columns.size(), 6);
        QVERIFY(headerOnly.rows.isEmpty());
    }
    void previewBeforeMatching_keepsOneSetOfColumns()
    {
        TextTable grid = importGridFromSheet(sellerSheet());
        previewNewTemplate(grid, {u"1"_s, u"2"_s, u"3"_s, u"旧"_s});
        previewNewTemplate(grid, {u"1"_s, u"2"_s, u"3"_s, u"新"_s});
        MatchProvinces(grid);
        previewNewTemplate(grid, {u"1"_s, u"2"_s, u"9"_s, u"新"_s});
        // Every column once (the preview's stay where it first put them).
        QCOMPARE(grid.columns.size(), RateColumnCount);
        QCOMPARE(QSet<QString>(grid.columns.cbegin(), grid.columns.cend()),
                 QSet<QString>(RateColumns().cbegin(), RateColumns().cend()));
        const qsizetype otherFee = grid.columns.indexOf(RateColumns().at(ColumnOtherFee));
        QCOMPARE(grid.rows.at(0).at(otherFee), u"9"_s);
    }

    void sheetsOwnProvinces_areLeftAsTheyAre()
    {
        TextTable grid =
            importGridFromSheet({{u"地区"_s, u"省区"_s, u"市等级"_s},
                                 {{u"江苏南京"_s, u"江苏省"_s, u""_s}, {u"海外"_s, u""_s, u""_s}}});
        MatchProvinces(grid, true);
        QCOMPARE(grid.rows.at(0).at(ColumnProvince), u"江苏省"_s);
        QCOMPARE(grid.rows.at(1).at(ColumnProvince), QString());
        MatchProvinces(grid);
        QCOMPARE(grid.rows.at(0).at(ColumnProvince), u"江苏"_s);
    }
};

QTEST_GUILESS_MAIN(TestTemplateGrid)
#include "tst_templategrid.moc"

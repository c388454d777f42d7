#include <core/numbertext.h>
#include <core/schema.h>
#include <templates/ratesheet.h>
#include <templates/sheetheadings.h>

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

// A heading as read, in a few words: "Bracket 0-0.5", "First F1",
// "BandAdditional 30.01- start 30" …
QString described(const SheetHeading &h)
{
    static const QStringList kinds{u"Other"_s,      u"Column"_s,    u"Bracket"_s,        u"First"_s,
                                   u"Additional"_s, u"BandFirst"_s, u"BandAdditional"_s, u"Minimum"_s};
    QString text = kinds.at(int(h.kind));
    if (h.kind == SheetHeading::Kind::Column)
        text += u' ' + h.column;
    if (h.hasRange) {
        text += u' ' + numberToText(h.low) + u'-' + (h.high ? numberToText(*h.high) : QString());
        if (h.kind == SheetHeading::Kind::BandFirst || h.kind == SheetHeading::Kind::BandAdditional)
            text += u" start "_s + numberToText(h.bandStart());
    }
    if (h.firstWeight)
        text += u" F"_s + numberToText(*h.firstWeight);
    if (h.unit)
        text += u" U"_s + numberToText(*h.unit);
    return text;
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
        QTest::newRow("a band priced by its additional weight alone keeps its pair")
            << QList<QStringList>{{u"地区"_s, u"首重"_s, u"续重"_s, u"3KG以上续重"_s},
                                  {u"上海"_s, u"5"_s, u"1"_s, u"0.8"_s}}
            << QStringList{u"地区"_s,     u"首重价格"_s,      u"续重价格"_s,
                           u"到达时间"_s, u"区间1首重价格"_s, u"区间1续重价格"_s}
            << QStringList{u"上海"_s, u"5"_s, u"1"_s, u""_s, u""_s, u"0.8"_s} << QStringList{};
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

    void readRateSheet_saysWhatItUnderstood()
    {
        const RateSheet sheet = readRateSheet(tableOf(
            {{u"地区"_s, u"时效"_s, u"0.5kg"_s, u"首重价格"_s, u"续重(元/kg)"_s, u"最低收费"_s, u"备注"_s},
             {u"上海"_s, u"次日"_s, u"3"_s, u"5"_s, u"1"_s, u"4"_s, u""_s}}));
        QCOMPARE(sheet.understood,
                 (QStringList{u"“时效”：到达时间"_s, u"“0.5kg”：重量段 ≤0.5KG"_s,
                              u"“续重(元/kg)”：续重价格"_s, u"“最低收费”：最低收费"_s, u"续重单位：1KG"_s}));
        QCOMPARE(sheet.unusedColumns, QStringList{u"备注"_s});
    }

    void unreachableWeightsNote_namesWhatNoParcelReaches_data()
    {
        QTest::addColumn<QStringList>("rules"); // 重量段, 区间起点, 最大重量
        QTest::addColumn<QString>("note");
        QTest::newRow("all reached") << QStringList{u"0.5,1"_s, u"3,30"_s, u"50"_s} << QString();
        QTest::newRow("bands of a heavy-freight sheet")
            << QStringList{QString(), u"10,300,800"_s, u"50"_s}
            << u"区间起点 300、800KG 不低于最大重量 50KG，用不上：更重的包裹不报价，需要时请调高最大重量"_s;
        QTest::newRow("a bracket on the maximum")
            << QStringList{u"1,5"_s, QString(), u"5"_s}
            << u"重量段 5KG 不低于最大重量 5KG，用不上：更重的包裹不报价，需要时请调高最大重量"_s;
        QTest::newRow("raised") << QStringList{QString(), u"300,800"_s, u"5000"_s} << QString();
    }
    void unreachableWeightsNote_namesWhatNoParcelReaches()
    {
        QFETCH(QStringList, rules);
        QFETCH(QString, note);
        const std::optional<BillingRules> read = billingRulesFromTexts(
            {u"不取整"_s, u"1"_s, u"0"_s, rules.at(0), rules.at(1), u"全程"_s, u"1"_s, rules.at(2)});
        QVERIFY(read);
        QCOMPARE(unreachableWeightsNote(*read), note);
    }

    void readSheetHeading_asCouriersWriteThem_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("meaning");
        const QList<std::pair<QString, QString>> cases{
            {u"0.5kg"_s, u"Bracket 0-0.5"_s},
            {u"0-0.5kg"_s, u"Bracket 0-0.5"_s},
            {u"0.01-0.5"_s, u"Bracket 0.01-0.5"_s},
            {u"0.51-1KG"_s, u"Bracket 0.51-1"_s},
            {u"1公斤以内"_s, u"Bracket 0-1"_s},
            {u"2公斤以内价格"_s, u"Bracket 0-2"_s},
            {u"≤3kg"_s, u"Bracket 0-3"_s},
            {u"500克以内"_s, u"Bracket 0-0.5"_s},
            {u"3.01-5"_s, u"Bracket 3.01-5"_s},
            {u" 3.01 ～ 5 ＫＧ "_s, u"Bracket 3.01-5"_s},
            {u"1至2公斤"_s, u"Bracket 1-2"_s},
            {u"首重1KG"_s, u"First F1"_s},
            {u"首重(1kg)"_s, u"First F1"_s},
            {u"首重1000克"_s, u"First F1"_s},
            {u"首重(10kg)"_s, u"First F10"_s},
            {u"首重1KG（元）"_s, u"First F1"_s},
            {u"首重(元)"_s, u"First"_s},
            {u"首重价"_s, u"First"_s},
            {u"首重费用"_s, u"First"_s},
            {u"续重(元/0.5kg)"_s, u"Additional U0.5"_s},
            {u"续重每500克"_s, u"Additional U0.5"_s},
            {u"续重/0.5kg"_s, u"Additional U0.5"_s},
            {u"续重/kg"_s, u"Additional U1"_s},
            {u"续重每KG（元）"_s, u"Additional U1"_s},
            {u"首重(8.01-30)"_s, u"BandFirst 8.01-30 start 8"_s},
            {u"续重(30.01以上)"_s, u"BandAdditional 30.01- start 30"_s},
            {u"3KG以上续重"_s, u"BandAdditional 3- start 3"_s},
            {u"1-3KG续重"_s, u"BandAdditional 1-3 start 1"_s},
            {u"续重(5000克以上)"_s, u"BandAdditional 5- start 5"_s},
            {u"续重2(301-800kg)"_s, u"BandAdditional 301-800 start 301"_s},
            {u"续重3(801kg及以上)"_s, u"BandAdditional 801- start 801"_s},
            {u"续重每500克(5000克以内)"_s, u"BandAdditional 0-5 start 0 U0.5"_s},
            {u"最低收费"_s, u"Minimum"_s},
            {u"最低消费(元)"_s, u"Minimum"_s},
            {u"起步价"_s, u"Minimum"_s},
            {u"省份"_s, u"Column 地区"_s},
            {u"时效"_s, u"Column 到达时间"_s},
            {u"二十至三十KG手续费"_s, u"Column 二十至三十KG手续费"_s},
            {u"一星客户首重价格"_s, u"Column 一星客户首重价格"_s},
            {u"重量段2价格"_s, u"Column 重量段2价格"_s},
            {u"面单费"_s, u"Other"_s},
            {u"备注"_s, u"Other"_s},
            {u"3"_s, u"Other"_s}, // a number alone is no weight
            {u"2-3天"_s, u"Other"_s},
        };
        for (const auto &[title, meaning] : cases)
            QTest::newRow(qPrintable(title)) << title << meaning;
    }
    void readSheetHeading_asCouriersWriteThem()
    {
        QFETCH(QString, title);
        QFETCH(QString, meaning);
        QCOMPARE(described(readSheetHeading(title)), meaning);
    }

    void readRateSheet_refusesWhatContradicts_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("problem");
        QTest::newRow("two first weights") << QStringList{u"地区"_s, u"首重1KG"_s, u"首重2KG"_s, u"续重"_s}
                                           << u"“首重1KG”和“首重2KG”说的是同一列（首重价格）"_s;
        QTest::newRow("brackets not rising")
            << QStringList{u"地区"_s, u"0-1kg"_s, u"1-2kg"_s, u"0.5-1kg"_s}
            << u"重量段的上限要从左到右变大：“0.5-1kg”不大于它前面的“1-2kg”"_s;
        QTest::newRow("two units") << QStringList{u"地区"_s, u"首重"_s, u"续重(元/kg)"_s,
                                                  u"续重(5kg以上)(元/0.5kg)"_s}
                                   << u"两列的续重单位不同：“续重(元/kg)”与“续重(5kg以上)(元/0.5kg)”"_s;
        QTest::newRow("two arrival times")
            << QStringList{u"地区"_s, u"首重"_s, u"续重"_s, u"时效"_s, u"到达时间"_s}
            << u"“时效”和“到达时间”说的是同一列（到达时间）"_s;
    }
    void readRateSheet_refusesWhatContradicts()
    {
        QFETCH(QStringList, titles);
        QFETCH(QString, problem);
        const RateSheet sheet = readRateSheet(tableOf({titles, QStringList(titles.size(), u"1"_s)}));
        QVERIFY2(sheet.problems.join(u'\n').contains(problem), qPrintable(sheet.problems.join(u'\n')));
    }

    void readRateSheet_regionSynonymsAndHandMapping()
    {
        // 区域 and 省份 both: the plainer is the region, the other unused.
        RateSheet sheet = readRateSheet(tableOf(
            {{u"省份"_s, u"区域"_s, u"首重"_s, u"续重"_s}, {u"江苏"_s, u"江苏南京"_s, u"5"_s, u"1"_s}}));
        QVERIFY(sheet.problems.isEmpty());
        QCOMPARE(sheet.sheet.rows.first().first(), u"江苏南京"_s);
        QCOMPARE(sheet.unusedColumns, QStringList{u"省份"_s});
        // A seller's choice wins, and a column set to 不使用 is left out.
        sheet = readRateSheet(tableOf({{u"省份"_s, u"区域"_s, u"价1"_s, u"价2"_s, u"首重"_s},
                                       {u"江苏"_s, u"江苏南京"_s, u"5"_s, u"1"_s, u"9"_s}}),
                              {{u"省份"_s, u"地区"_s},
                               {u"价1"_s, u"首重价格"_s},
                               {u"价2"_s, u"续重价格"_s},
                               {u"首重"_s, u"不使用"_s}});
        QVERIFY(sheet.problems.isEmpty());
        QCOMPARE(sheet.sheet.columns.mid(0, 3), (QStringList{u"地区"_s, u"首重价格"_s, u"续重价格"_s}));
        QCOMPARE(sheet.sheet.rows.first().mid(0, 3), (QStringList{u"江苏"_s, u"5"_s, u"1"_s}));
        QCOMPARE(sheet.unusedColumns, (QStringList{u"区域"_s, u"首重"_s}));
    }

    void readRateSheet_pricesAreWholeNumbers_data()
    {
        QTest::addColumn<QString>("price");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("number") << u"5"_s << true;
        QTest::newRow("yuan") << u"5.5元"_s << true;
        QTest::newRow("full width") << u"５"_s << true;
        QTest::newRow("currency sign") << u"¥5"_s << true;
        QTest::newRow("marker") << u"不发"_s << true;
        QTest::newRow("thousands") << u"1,200"_s << false;
        QTest::newRow("exponent") << u"1E3"_s << false;
        QTest::newRow("two points") << u"1.2.3"_s << false;
        QTest::newRow("range") << u"5-8"_s << false;
    }
    void readRateSheet_pricesAreWholeNumbers()
    {
        QFETCH(QString, price);
        QFETCH(bool, accepted);
        // In a bracket too, and the seller's own row number is named.
        TextTable raw =
            tableOf({{u"地区"_s, u"0-1kg"_s, u"首重"_s, u"续重"_s}, {u"上海"_s, price, u"5"_s, u"1"_s}});
        raw.sourceRows = {3, 8};
        const RateSheet sheet = readRateSheet(raw);
        QCOMPARE(sheet.problems.isEmpty(), accepted);
        if (!accepted)
            QVERIFY2(sheet.problems.first().contains(u"第 8 行的0-1kg“%1”"_s.arg(price)),
                     qPrintable(sheet.problems.first()));
    }

    void readRateSheet_cutsLongCellsInMessages()
    {
        const QString longText(5000, u'价');
        const RateSheet sheet =
            readRateSheet(tableOf({{u"地区"_s, u"首重"_s, u"续重"_s}, {u"上海"_s, longText, u"1"_s}}));
        QCOMPARE(sheet.problems.size(), 1);
        QVERIFY(sheet.problems.first().contains(QString(40, u'价') + u"…”"_s));
        QVERIFY(sheet.problems.first().size() < 200);
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

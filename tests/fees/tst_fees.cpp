#include "../common/sampledb.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <fees/feequery.h>
#include <fees/feequote.h>
#include <fees/feequotes.h>
#include <fees/livesearch.h>
#include <ratedb/ratedatabase.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

namespace {

// 首重 10, 续重 5, 20–30 kg 1, 30–50 kg 2, 其他 3; level 2 (二星客户) adds
// 首重 1, 续重 0.5, no surcharges, 其他 2.
MatchedRateRow exampleRow()
{
    MatchedRateRow row;
    row.cells =
        rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s, u"1"_s, u"2"_s, u"3"_s, u"电话 010-1"_s, u"次日"_s);
    row.templateName = u"汇通快递"_s;
    row.cells[priceSetColumnIndex(2, FieldFirstWeight)] = u"1"_s;
    row.cells[priceSetColumnIndex(2, FieldAdditionalWeight)] = u"0.5"_s;
    row.cells[priceSetColumnIndex(2, FieldOtherFee)] = u"2"_s;
    return row;
}

// The example row with prices by weight: brackets up to 0.5 kg (4), 1 kg (6)
// and 3 kg ("不发"); bands from 5 kg (first blank: the row's own 10,
// additional 4) and from 30 kg (first 100, additional 2); minimum 7.5.
MatchedRateRow bracketRow()
{
    MatchedRateRow row = exampleRow();
    row.cells.resize(PricedColumnCount);
    row.cells[bracketColumnIndex(0)] = u"4"_s;
    row.cells[bracketColumnIndex(1)] = u"6元"_s;
    row.cells[bracketColumnIndex(2)] = u"不发"_s;
    row.cells[bandColumnIndex(0, FieldAdditionalWeight)] = u"4"_s;
    row.cells[bandColumnIndex(1, FieldFirstWeight)] = u"100"_s;
    row.cells[bandColumnIndex(1, FieldAdditionalWeight)] = u"2"_s;
    row.cells[ColumnMinimumFee] = u"7.5"_s;
    return row;
}

BillingRules bracketRules(const QString &pricing = u"全程"_s, const QString &unit = u"1"_s,
                          const QString &rounding = u"不取整"_s)
{
    return *billingRulesFromTexts(
        {rounding, u"1"_s, u"0"_s, u"0.5,1,3"_s, u"5,30"_s, pricing, unit, u"100"_s});
}

} // namespace

Q_DECLARE_METATYPE(Kuaidi::MatchedRateRow)
Q_DECLARE_METATYPE(Kuaidi::BillingRules)

class TestFees : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void computeFeeQuote_byBand_data()
    {
        QTest::addColumn<double>("weight");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QStringList>("fields"); // 快递费用, 首重, 续重, 区间, 其他
        const QString base = u"原参数价格"_s;
        const QString two = u"二星客户"_s;
        QTest::newRow("3 kg") << 3.0 << base << QStringList{u"23"_s, u"10"_s, u"5"_s, u"1"_s, u"3"_s};
        QTest::newRow("1 kg") << 1.0 << base << QStringList{u"13"_s, u"10"_s, u"5"_s, u"1"_s, u"3"_s};
        // The first-weight price covers the whole first kilogram.
        QTest::newRow("0.5 kg pays the first kilogram")
            << 0.5 << base << QStringList{u"13"_s, u"10"_s, u"5"_s, u"1"_s, u"3"_s};
        QTest::newRow("within tolerance of 1 kg")
            << 1.00000005 << base << QStringList{u"13"_s, u"10"_s, u"5"_s, u"1"_s, u"3"_s};
        QTest::newRow("20 kg") << 20.0 << base << QStringList{u"108"_s, u"10"_s, u"5"_s, u"1"_s, u"3"_s};
        QTest::newRow("20 kg within tolerance")
            << 20.00000005 << base << QStringList{u"108.00000025"_s, u"10"_s, u"5"_s, u"1"_s, u"3"_s};
        QTest::newRow("25 kg, band on whole weight")
            << 25.0 << base << QStringList{u"158"_s, u"10"_s, u"5"_s, u"1"_s, u"3"_s};
        QTest::newRow("40 kg") << 40.0 << base << QStringList{u"288"_s, u"10"_s, u"5"_s, u"2"_s, u"3"_s};
        QTest::newRow("50 kg") << 50.0 << base << QStringList{u"358"_s, u"10"_s, u"5"_s, u"2"_s, u"3"_s};
        QTest::newRow("level, 10 kg, no level other fee")
            << 10.0 << two << QStringList{u"63.5"_s, u"11"_s, u"5.5"_s, u"1"_s, u"3"_s};
        QTest::newRow("level, 21 kg, level other fee")
            << 21.0 << two << QStringList{u"147"_s, u"11"_s, u"5.5"_s, u"1"_s, u"5"_s};
        QTest::newRow("level, 0.5 kg")
            << 0.5 << two << QStringList{u"14"_s, u"11"_s, u"5.5"_s, u"1"_s, u"3"_s};
    }
    void computeFeeQuote_byBand()
    {
        QFETCH(double, weight);
        QFETCH(QString, level);
        QFETCH(QStringList, fields);
        const std::optional<FeeQuote> quote = ComputeFeeQuote(exampleRow(), weight, level);
        QVERIFY(quote);
        QCOMPARE((QStringList{quote->total, quote->firstWeight, quote->additionalWeight, quote->bandSurcharge,
                              quote->otherFee}),
                 fields);
        QCOMPARE(quote->courier, u"汇通快递"_s);
        QCOMPARE(quote->destination, u"北京"_s);
        QCOMPARE(quote->contact, u"电话 010-1"_s);
        QCOMPARE(quote->arrivalTime, u"次日"_s);
    }

    void computeFeeQuote_noQuote_data()
    {
        QTest::addColumn<double>("weight");
        QTest::addColumn<QString>("level");
        QTest::newRow("zero weight") << 0.0 << u"原参数价格"_s;
        QTest::newRow("negative weight") << -1.0 << u"原参数价格"_s;
        QTest::newRow("no level") << 3.0 << QString();
        QTest::newRow("unknown level") << 3.0 << u"六星客户"_s;
    }
    void computeFeeQuote_noQuote()
    {
        QFETCH(double, weight);
        QFETCH(QString, level);
        QVERIFY(!ComputeFeeQuote(exampleRow(), weight, level));
    }

    void isOverMaximumWeight_data()
    {
        QTest::addColumn<double>("weight");
        QTest::addColumn<bool>("over");
        QTest::newRow("1 kg") << 1.0 << false;
        QTest::newRow("50 kg") << 50.0 << false;
        QTest::newRow("50 kg within the tolerance") << 50.00000005 << false;
        QTest::newRow("just over 50 kg") << 50.0000002 << true;
        QTest::newRow("60 kg") << 60.0 << true;
    }
    void isOverMaximumWeight()
    {
        QFETCH(double, weight);
        QFETCH(bool, over);
        QCOMPARE(Kuaidi::isOverMaximumWeight(billedWeight(weight, std::nullopt, BillingRules())), over);
        // Named, never free: 超过最大重量 in place of a fee, and no breakdown.
        for (const QString &level : levelNames()) {
            const std::optional<FeeQuote> quote = ComputeFeeQuote(exampleRow(), weight, level);
            QVERIFY(quote);
            QCOMPARE(quote->hasFee(), !over);
            QCOMPARE(quote->total == OverMaximumText, over);
            QCOMPARE(FeeBreakdownText(*quote, numberToText(weight), weight).isEmpty(), over);
        }
    }

    void computeFeeQuote_textPricesReadLeniently()
    {
        MatchedRateRow row;
        row.cells = rateRow(u"1"_s, u"上海"_s, u"８元"_s, u"12.5元"_s, u"空"_s, u""_s, u"１"_s);
        row.templateName = u"T"_s;
        const std::optional<FeeQuote> quote = ComputeFeeQuote(row, 3, u"原参数价格");
        QVERIFY(quote);
        QCOMPARE(quote->firstWeight, u"8"_s);
        QCOMPARE(quote->total, u"34"_s); // 8 + 12.5 × 2 + 1
    }

    // A region the courier does not serve is not free: no fee, never the
    // cheapest, and a breakdown that says so.
    void computeFeeQuote_rowWithoutPrice_data()
    {
        QTest::addColumn<QString>("firstWeight");
        QTest::addColumn<bool>("priced");
        QTest::newRow("未填") << u"未填"_s << false;
        QTest::newRow("空") << u"空"_s << false;
        QTest::newRow("不发") << u"不发"_s << false;
        QTest::newRow("无") << u"无"_s << false;
        QTest::newRow("dash") << u"-"_s << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("zero is a price") << u"0"_s << true;
        QTest::newRow("with a unit") << u"5元"_s << true;
    }
    void computeFeeQuote_rowWithoutPrice()
    {
        QFETCH(QString, firstWeight);
        QFETCH(bool, priced);
        MatchedRateRow row = exampleRow();
        row.cells[ColumnFirstWeight] = firstWeight;
        const FeeQuote quote = *ComputeFeeQuote(row, 2.5, u"五星客户");
        QCOMPARE(quote.priced, priced);
        if (priced)
            return;
        QCOMPARE(quote.toCells().mid(0, 7),
                 (QStringList{u"汇通快递"_s, u"北京"_s, u"未报价"_s, {}, {}, {}, {}}));
        QCOMPARE(quote.contact, u"电话 010-1"_s);
        QVERIFY(!quote.hasFee());
        const QString text = FeeBreakdownText(quote, u"2.5"_s, 2.5);
        QVERIFY2(text.contains(u"没有这个地区的报价"_s), qPrintable(text));
        QVERIFY(!text.contains(u"总费用"_s));
    }

    void billedWeight_byRules_data()
    {
        QTest::addColumn<double>("weight");
        QTest::addColumn<double>("volume"); // m³, 0 for none
        QTest::addColumn<QString>("rules"); // 计费取整 首重重量 抛重系数
        QTest::addColumn<double>("billed");
        QTest::addColumn<QString>("line"); // the breakdown's 计费重量 line, if any
        QTest::newRow("defaults") << 2.3 << 0.0 << u"不取整 1 0"_s << 2.3 << QString();
        QTest::newRow("up to a kilogram")
            << 2.3 << 0.0 << u"1 1 0"_s << 3.0 << u"计费重量为：3KG（按1KG进位）"_s;
        QTest::newRow("up to half a kilogram")
            << 2.3 << 0.0 << u"0.5 1 0"_s << 2.5 << u"计费重量为：2.5KG（按0.5KG进位）"_s;
        QTest::newRow("whole stays whole") << 2.0 << 0.0 << u"1 1 0"_s << 2.0 << QString();
        QTest::newRow("within the tolerance") << 2.00000005 << 0.0 << u"1 1 0"_s << 2.0 << QString();
        QTest::newRow("just over a kilogram")
            << 2.000001 << 0.0 << u"1 1 0"_s << 3.0 << u"计费重量为：3KG（按1KG进位）"_s;
        QTest::newRow("light parcel")
            << 0.2 << 0.0 << u"0.5 1 0"_s << 0.5 << u"计费重量为：0.5KG（按0.5KG进位）"_s;
        // 0.03 m³ at 6000 cm³/kg weighs 5 kg.
        QTest::newRow("volume weighs more")
            << 2.0 << 0.03 << u"不取整 1 6000"_s << 5.0 << u"计费重量为：5KG（体积重）"_s;
        QTest::newRow("volume weighs less") << 8.0 << 0.03 << u"不取整 1 6000"_s << 8.0 << QString();
        QTest::newRow("volume not billed") << 2.0 << 0.03 << u"不取整 1 0"_s << 2.0 << QString();
        QTest::newRow("volume, then rounded")
            << 2.0 << 0.031 << u"1 1 6000"_s << 6.0 << u"计费重量为：6KG（体积重，按1KG进位）"_s;
    }
    void billedWeight_byRules()
    {
        QFETCH(double, weight);
        QFETCH(double, volume);
        QFETCH(QString, rules);
        QFETCH(double, billed);
        QFETCH(QString, line);
        const QStringList texts = rules.split(u' ');
        const BillingRules parsed = *billingRulesFromTexts(texts);
        const BilledWeight result =
            billedWeight(weight, volume > 0 ? std::optional<double>(volume) : std::nullopt, parsed);
        QCOMPARE(result.billed, billed);
        const FeeQuote quote = *ComputeFeeQuote(exampleRow(), result, u"原参数价格");
        QCOMPARE(quote.billedWeight, numberToText(billed));
        const QString text = FeeBreakdownText(quote, numberToText(weight), result);
        if (line.isEmpty()) {
            QVERIFY(!text.contains(u"计费重量"_s));
        } else {
            QVERIFY2(text.contains(u"KG\r\n\r\n"_s + line + u"\r\n\r\n其他手续费增加"_s), qPrintable(text));
        }
    }

    void firstWeight_coversItsKilograms_data()
    {
        QTest::addColumn<double>("firstWeight");
        QTest::addColumn<double>("weight");
        QTest::addColumn<QString>("total");
        QTest::newRow("1 kg at 1 kg") << 1.0 << 1.0 << u"13"_s;
        QTest::newRow("3 kg first, 2 kg parcel") << 3.0 << 2.0 << u"13"_s;
        QTest::newRow("3 kg first, 5 kg parcel") << 3.0 << 5.0 << u"23"_s;     // 10 + 5 × 2 + 3
        QTest::newRow("0.5 kg first, 1 kg parcel") << 0.5 << 1.0 << u"15.5"_s; // 10 + 5 × 0.5 + 3
        QTest::newRow("band still by weight") << 3.0 << 25.0 << u"148"_s;      // 10 + 5 × 22 + 25 + 3
    }
    void firstWeight_coversItsKilograms()
    {
        QFETCH(double, firstWeight);
        QFETCH(double, weight);
        QFETCH(QString, total);
        BillingRules rules;
        rules.firstWeight = firstWeight;
        QCOMPARE(
            ComputeFeeQuote(exampleRow(), billedWeight(weight, std::nullopt, rules), u"原参数价格")->total,
            total);
    }

    void billingRules_refuseWhatNoCourierUses_data()
    {
        // The rules' texts in order, separated by '|'; missing ones at the end
        // keep their defaults.
        QTest::addColumn<QString>("texts");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("defaults") << u"不取整|1|0"_s << true;
        QTest::newRow("typed loosely") << u" 0.50 |１|8000"_s << true;
        QTest::newRow("unknown rounding") << u"2|1|0"_s << false;
        QTest::newRow("first weight 0") << u"1|0|0"_s << false;
        QTest::newRow("first weight text") << u"1|一|0"_s << false;
        QTest::newRow("negative divisor") << u"1|1|-6000"_s << false;
        QTest::newRow("divisor with unit") << u"1|1|6000cm"_s << false;
        QTest::newRow("every rule") << u"1|1|0|0.5,1，2、3|3 8|超出部分|0.5|5000"_s << true;
        QTest::newRow("no brackets or bands") << u"1|1|0|||全程|1|50"_s << true;
        QTest::newRow("brackets not rising") << u"1|1|0|0.5,1,1|"_s << false;
        QTest::newRow("bracket 0") << u"1|1|0|0,1"_s << false;
        QTest::newRow("bracket not a number") << u"1|1|0|0.5,1kg"_s << false;
        QTest::newRow("thirteen brackets") << u"1|1|0|1,2,3,4,5,6,7,8,9,10,11,12,13"_s << false;
        QTest::newRow("bands falling") << u"1|1|0||8,3"_s << false;
        QTest::newRow("unknown band pricing") << u"1|1|0|||超出"_s << false;
        QTest::newRow("unit 2") << u"1|1|0||||2"_s << false;
        QTest::newRow("maximum 0") << u"1|1|0|||全程|1|0"_s << false;
    }
    void billingRules_refuseWhatNoCourierUses()
    {
        QFETCH(QString, texts);
        QFETCH(bool, accepted);
        QString problem;
        const std::optional<BillingRules> rules = billingRulesFromTexts(texts.split(u'|'), &problem);
        QCOMPARE(rules.has_value(), accepted);
        QCOMPARE(problem.isEmpty(), accepted);
        if (rules) // what is stored reads back the same
            QCOMPARE(billingRulesFromTexts(billingRuleTexts(*rules)), rules);
    }

    void feeBreakdownText_isByteExact_data()
    {
        QTest::addColumn<double>("weight");
        QTest::addColumn<QString>("weightText");
        QTest::addColumn<QString>("expected");
        const QString head =
            u"物流快递名称：汇通快递   送达地点：北京\r\n\r\n首重价格：10元   续重价格：5元\r\n\r\n货物重量为："_s;
        const QString tail = u"元\r\n\r\n联系方式为：电话 010-1\r\n\r\n送达时间为：次日"_s;
        QTest::newRow("up to 20 kg") << 3.0 << u"3"_s
                                     << head + u"3KG\r\n\r\n其他手续费增加3元\r\n\r\n总费用为：23"_s + tail;
        QTest::newRow("20 to 30 kg")
            << 25.0 << u"25"_s
            << head + u"25KG\r\n\r\n20-30KG 每KG增加1元，其他手续费增加3元\r\n\r\n总费用为：158"_s + tail;
        QTest::newRow("30 to 50 kg")
            << 40.0 << u"40.0"_s
            << head + u"40.0KG\r\n\r\n30-50KG 每KG增加2元，其他手续费增加3元\r\n\r\n总费用为：288"_s + tail;
        QTest::newRow("over 50 kg") << 50.5 << u"50.5"_s << QString();
    }
    void feeBreakdownText_isByteExact()
    {
        QFETCH(double, weight);
        QFETCH(QString, weightText);
        QFETCH(QString, expected);
        // Quote at the same band so the figures of the text are those computed for it.
        const std::optional<FeeQuote> quote =
            ComputeFeeQuote(exampleRow(), qMin(weight, 50.0), u"原参数价格");
        QVERIFY(quote);
        QCOMPARE(FeeBreakdownText(*quote, weightText, weight), expected);
    }

    void feeBreakdownText_usesTheWeightNowTyped()
    {
        // Computed at 10 kg, then the weight box changed to 25: the 20–30 kg
        // wording with the old figures and the new weight text.
        const FeeQuote quote = *ComputeFeeQuote(exampleRow(), 10, u"原参数价格");
        const QString text = FeeBreakdownText(quote, u"25"_s, 25);
        QVERIFY(text.contains(u"货物重量为：25KG\r\n\r\n20-30KG 每KG增加1元"_s));
        QVERIFY(text.contains(u"总费用为：58元"_s));
    }

    void destinationSearch_templateOrderThenRecordOrder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"k.db"_s);
        createRateTemplate(path, u"圆通"_s,
                           {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s),
                            rateRow(u"2"_s, u"上海"_s, u"10"_s, u"5"_s),
                            rateRow(u"3"_s, u"北京郊区"_s, u"12"_s, u"5"_s)});
        createRateTemplate(path, u"中通"_s, {rateRow(u"1"_s, u"北京"_s, u"8"_s, u"4"_s)});
        RateDatabase db(path);
        QStringList failed;
        const QList<MatchedRateRow> rows =
            DestinationSearch(db, {u"圆通"_s, u"不存在"_s, u"中通"_s}, u"北京"_s, &failed);
        QCOMPARE(failed, QStringList{u"不存在"_s});
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).templateName, u"圆通"_s);
        QCOMPARE(rows.at(0).cell(ColumnRegion), u"北京"_s);
        QCOMPARE(rows.at(1).cell(ColumnRegion), u"北京郊区"_s);
        QCOMPARE(rows.at(2).templateName, u"中通"_s);

        QCOMPARE(DestinationSearch(db, {u"圆通"_s, u"中通"_s}, QString()).size(), 4);
        QVERIFY(
            DestinationSearch(db, {u"圆通"_s, u"中通"_s}, u"北京'"_s, nullptr, SearchScope::Exact).isEmpty());

        const QList<FeeQuote> quotes = ComputeFees(rows, 3, u"原参数价格");
        QCOMPARE(quotes.size(), 3);
        QCOMPARE(quotes.at(2).total, u"19"_s);
        QCOMPARE(cheapestQuotes(quotes), QList<int>{2});
        for (const FeeQuote &quote : ComputeFees(rows, 60, u"原参数价格"))
            QCOMPARE(quote.total, OverMaximumText);
    }

    void computeFeeQuote_byBracketAndBand_data()
    {
        QTest::addColumn<MatchedRateRow>("row");
        QTest::addColumn<BillingRules>("rules");
        QTest::addColumn<double>("weight");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QStringList>("fields"); // 快递费用, 首重, 续重, 计费重量
        const QString base = u"原参数价格"_s;
        const QString two = u"二星客户"_s;
        const MatchedRateRow row = bracketRow();
        const BillingRules whole = bracketRules();
        const BillingRules parts = bracketRules(u"超出部分"_s);
        QTest::newRow("bracket, raised to the minimum")
            << row << whole << 0.3 << base << QStringList{u"7.5"_s, u"4"_s, u"0"_s, u"0.3"_s};
        QTest::newRow("on a bracket's limit")
            << row << whole << 0.5 << base << QStringList{u"7.5"_s, u"4"_s, u"0"_s, u"0.5"_s};
        QTest::newRow("just above it")
            << row << whole << 0.51 << base << QStringList{u"9"_s, u"6"_s, u"0"_s, u"0.51"_s};
        QTest::newRow("bracket at a level: first amount, no level other fee")
            << row << whole << 0.51 << two << QStringList{u"10"_s, u"7"_s, u"0"_s, u"0.51"_s};
        QTest::newRow("a bracket marked 不发")
            << row << whole << 2.0 << base << QStringList{u"未报价"_s, {}, {}, u"2"_s};
        QTest::newRow("above the brackets: the row's own prices")
            << row << whole << 3.01 << base << QStringList{u"23.05"_s, u"10"_s, u"5"_s, u"3.01"_s};
        QTest::newRow("first band, blank first is the row's")
            << row << whole << 6.0 << base << QStringList{u"33"_s, u"10"_s, u"4"_s, u"6"_s};
        QTest::newRow("first band at a level")
            << row << whole << 6.0 << two << QStringList{u"36.5"_s, u"11"_s, u"4.5"_s, u"6"_s};
        QTest::newRow("band with the 20-30 kg surcharge")
            << row << whole << 25.0 << base << QStringList{u"134"_s, u"10"_s, u"4"_s, u"25"_s};
        QTest::newRow("band and level above 20 kg: level other fee")
            << row << whole << 25.0 << two << QStringList{u"149"_s, u"11"_s, u"4.5"_s, u"25"_s};
        QTest::newRow("second band") << row << whole << 40.0 << base
                                     << QStringList{u"261"_s, u"100"_s, u"2"_s, u"40"_s};
        QTest::newRow("above 50 kg: no surcharge")
            << row << whole << 60.0 << base << QStringList{u"221"_s, u"100"_s, u"2"_s, u"60"_s};
        QTest::newRow("on the maximum")
            << row << whole << 100.0 << base << QStringList{u"301"_s, u"100"_s, u"2"_s, u"100"_s};
        QTest::newRow("over the maximum")
            << row << whole << 100.5 << base << QStringList{u"超过最大重量"_s, {}, {}, u"100.5"_s};
        // By parts: 10 + 5 × 4 up to 5 kg, then 4 a kilogram.
        QTest::newRow("by parts, first band")
            << row << parts << 6.0 << base << QStringList{u"37"_s, u"10"_s, u"4"_s, u"6"_s};
        QTest::newRow("by parts, second band: 10 + 20 + 100 + 20, surcharge 80")
            << row << parts << 40.0 << base << QStringList{u"233"_s, u"10"_s, u"2"_s, u"40"_s};
        // Per 0.5 kg, rounded up to 0.5 kg: 2.5 kg pays 3 units beyond the first.
        QTest::newRow("per 0.5 kg") << exampleRow() << bracketRules(u"全程"_s, u"0.5"_s, u"0.5"_s) << 2.2
                                    << base << QStringList{u"28"_s, u"10"_s, u"5"_s, u"2.5"_s};
        MatchedRateRow blankFirst = bracketRow();
        blankFirst.cells[ColumnFirstWeight] = QString();
        QTest::newRow("no own first price: brackets still priced")
            << blankFirst << whole << 0.51 << base << QStringList{u"9"_s, u"6"_s, u"0"_s, u"0.51"_s};
        QTest::newRow("no own first price: the band that needs it is not")
            << blankFirst << whole << 6.0 << base << QStringList{u"未报价"_s, {}, {}, u"6"_s};
        QTest::newRow("no own first price: a band with its own is")
            << blankFirst << whole << 40.0 << base << QStringList{u"261"_s, u"100"_s, u"2"_s, u"40"_s};
    }
    void computeFeeQuote_byBracketAndBand()
    {
        QFETCH(MatchedRateRow, row);
        QFETCH(BillingRules, rules);
        QFETCH(double, weight);
        QFETCH(QString, level);
        QFETCH(QStringList, fields);
        const std::optional<FeeQuote> quote =
            ComputeFeeQuote(row, billedWeight(weight, std::nullopt, rules), level);
        QVERIFY(quote);
        QCOMPARE(
            (QStringList{quote->total, quote->firstWeight, quote->additionalWeight, quote->billedWeight}),
            fields);
        QCOMPARE(quote->hasFee(), fields.at(1).size() > 0);
    }

    void formFirstWeightPrice_isWhatAParcelOfTheFirstWeightPays_data()
    {
        QTest::addColumn<MatchedRateRow>("row");
        QTest::addColumn<BillingRules>("rules");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("price");
        const BillingRules whole = bracketRules();
        QTest::newRow("1 kg bracket") << bracketRow() << whole << 0 << u"6"_s;
        QTest::newRow("1 kg bracket at a level: its first amount") << bracketRow() << whole << 2 << u"7"_s;
        BillingRules half = whole;
        half.firstWeight = 0.5;
        QTest::newRow("first weight 0.5 kg") << bracketRow() << half << 0 << u"4"_s;
        BillingRules marked = whole;
        marked.firstWeight = 2;
        QTest::newRow("its bracket marked 不发: none") << bracketRow() << marked << 0 << QString();
        BillingRules beyond = whole;
        beyond.firstWeight = 5;
        QTest::newRow("first weight above the brackets: the row's own")
            << bracketRow() << beyond << 0 << u"10"_s;
        QTest::newRow("a row without bracket prices: its own") << exampleRow() << whole << 0 << u"10"_s;
        QTest::newRow("no brackets: the cell as written")
            << bracketRow() << BillingRules() << 0 << bracketRow().cells.at(ColumnFirstWeight);
    }
    void formFirstWeightPrice_isWhatAParcelOfTheFirstWeightPays()
    {
        QFETCH(MatchedRateRow, row);
        QFETCH(BillingRules, rules);
        QFETCH(int, level);
        QFETCH(QString, price);
        QCOMPARE(formFirstWeightPrice(row.cells, rules, level), price);
    }

    void feeBreakdownText_saysWhichPricesApplied_data()
    {
        QTest::addColumn<BillingRules>("rules");
        QTest::addColumn<double>("weight");
        QTest::addColumn<QString>("line");
        QTest::newRow("bracket and minimum")
            << bracketRules() << 0.3
            << u"按重量段 ≤0.5KG 计价：4元\r\n\r\n货物重量为：0.3KG\r\n\r\n"
               u"其他手续费增加3元\r\n\r\n不足最低收费，按最低收费计：7.5元"_s;
        QTest::newRow("band") << bracketRules() << 6.0
                              << u"5KG以上：首重 10 元，续重 4 元/KG\r\n\r\n货物重量为：6KG"_s;
        QTest::newRow("band by parts: each part below at its price")
            << bracketRules(u"超出部分"_s) << 6.0
            << u"首重价格：10元\r\n\r\n1-5KG：续重 5 元/KG\r\n\r\n5KG以上：超出部分续重 4 元/KG"_s;
        QTest::newRow("second band by parts")
            << bracketRules(u"超出部分"_s) << 40.0
            << u"首重价格：10元\r\n\r\n1-5KG：续重 5 元/KG\r\n\r\n5-30KG：续重 4 元/KG\r\n\r\n"
               u"30KG以上：超出部分续重 2 元/KG"_s;
        QTest::newRow("unit") << bracketRules(u"全程"_s, u"0.5"_s) << 3.01
                              << u"首重价格：10元   续重价格：5元/0.5KG"_s;
    }
    void feeBreakdownText_saysWhichPricesApplied()
    {
        QFETCH(BillingRules, rules);
        QFETCH(double, weight);
        QFETCH(QString, line);
        const BilledWeight billed = billedWeight(weight, std::nullopt, rules);
        const FeeQuote quote = *ComputeFeeQuote(bracketRow(), billed, u"原参数价格");
        const QString text = FeeBreakdownText(quote, numberToText(weight), billed);
        QVERIFY2(text.contains(line), qPrintable(text));
        QVERIFY(text.endsWith(u"总费用为："_s + quote.total +
                              u"元\r\n\r\n联系方式为：电话 010-1\r\n\r\n送达时间为：次日"_s));
    }

    void quoteSummary_namesWhatHasNoFee_data()
    {
        QTest::addColumn<int>("withFee");
        QTest::addColumn<int>("unpriced");
        QTest::addColumn<int>("overMaximum");
        QTest::addColumn<QString>("summary");
        QTest::newRow("all priced") << 3 << 0 << 0 << u"共 3 条报价，绿色为最便宜的快递"_s;
        QTest::newRow("some not") << 2 << 1 << 1
                                  << u"共 2 条报价，绿色为最便宜的快递；另有 1 条未报价，1 条超过最大重量"_s;
        QTest::newRow("none priced") << 0 << 3 << 0 << u"没有快递能为这个重量报价（3 条未报价）"_s;
    }
    void quoteSummary_namesWhatHasNoFee()
    {
        QFETCH(int, withFee);
        QFETCH(int, unpriced);
        QFETCH(int, overMaximum);
        QFETCH(QString, summary);
        QCOMPARE(quoteSummary(withFee, unpriced, overMaximum), summary);
    }

    void cheapestQuotes_marksEveryTie()
    {
        QList<FeeQuote> quotes(4);
        quotes[0].total = u"23"_s;
        quotes[1].total = u"19.5"_s;
        quotes[2].total = u"25"_s;
        quotes[3].total = u"19.5"_s;
        QCOMPARE(cheapestQuotes(quotes), (QList<int>{1, 3}));
        QVERIFY(cheapestQuotes({}).isEmpty());
    }

    void cheapestQuotes_neverAFeeAtOrBelowZeroOrNone()
    {
        QList<FeeQuote> quotes(4);
        quotes[0].total = u"23"_s;
        quotes[1].total = u"-0.8"_s;
        quotes[2].total = u"0"_s;
        quotes[3].total = u"未报价"_s;
        quotes[3].priced = false;
        QCOMPARE(cheapestQuotes(quotes), QList<int>{0});
        quotes[0].total = u"-1"_s;
        QVERIFY(cheapestQuotes(quotes).isEmpty());
    }

    // A template without a row for the destination falls back to the city,
    // then to its province row; templates keep their order.
    void destinationSearch_fallsBackToCityThenProvince_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<QStringList>("found"); // template:地区:匹配方式
        QTest::newRow("city") << u"南京"_s << false
                              << QStringList{u"甲:江苏南京:地区"_s, u"乙:江苏省:省份"_s, u"丙:南京市:地区"_s};
        QTest::newRow("exact city") << u"南京"_s << true
                                    << QStringList{u"甲:江苏南京:地区"_s, u"丙:南京市:地区"_s};
        QTest::newRow("address") << u"江苏省南京市鼓楼区中山路1号"_s << false
                                 << QStringList{u"甲:江苏南京:城市"_s, u"乙:江苏省:省份"_s,
                                                u"丙:南京市:城市"_s};
        QTest::newRow("marketplace export")
            << u"江苏省 南京市 鼓楼区"_s << false
            << QStringList{u"甲:江苏南京:城市"_s, u"乙:江苏省:省份"_s, u"丙:南京市:城市"_s};
        QTest::newRow("another city of the province")
            << u"苏州"_s << false << QStringList{u"甲:江苏:省份"_s, u"乙:江苏省:省份"_s};
        QTest::newRow("autonomous region") << u"南宁"_s << false << QStringList{u"乙:广西壮族自治区:省份"_s};
        QTest::newRow("nothing resolves") << u"火星"_s << false << QStringList();
    }
    void destinationSearch_fallsBackToCityThenProvince()
    {
        QFETCH(QString, destination);
        QFETCH(bool, exact);
        QFETCH(QStringList, found);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"k.db"_s);
        createRateTemplate(
            path, u"甲"_s,
            {rateRow(u"1"_s, u"江苏"_s, u"8"_s, u"4"_s), rateRow(u"2"_s, u"江苏南京"_s, u"7"_s, u"3"_s)});
        createRateTemplate(path, u"乙"_s,
                           {rateRow(u"1"_s, u"江苏省南部"_s, u"9"_s, u"4"_s),
                            rateRow(u"2"_s, u"江苏省"_s, u"6"_s, u"2"_s),
                            rateRow(u"3"_s, u"广西壮族自治区"_s, u"9"_s, u"4"_s)});
        createRateTemplate(path, u"丙"_s, {rateRow(u"1"_s, u"南京市"_s, u"5"_s, u"2"_s)});
        RateDatabase db(path);
        const QList<MatchedRateRow> rows =
            DestinationSearch(db, {u"甲"_s, u"乙"_s, u"丙"_s}, destination, nullptr,
                              exact ? SearchScope::Exact : SearchScope::WithFallback);
        QStringList listed;
        for (const MatchedRateRow &row : rows)
            listed << row.templateName + u':' + row.cell(ColumnRegion) + u':' + matchKindText(row.match);
        QCOMPARE(listed, found);
    }

    // Rows whose 地区 names several regions, in full or in short, or
    // excludes some: found by contains unless the exclusion names the text
    // or its city, and by the province fallback when they name the
    // province and do not exclude the city.
    void destinationSearch_groupRows_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<QStringList>("found"); // template:地区:匹配方式
        const QString beijing = u"甲:山东、天津、江苏、河北、北京:省份"_s;
        QTest::newRow("the city's own row, not the row excluding it")
            << u"深圳"_s << false << QStringList{u"甲:深圳:地区"_s};
        QTest::newRow("the same, exact") << u"深圳"_s << true << QStringList{u"甲:深圳:地区"_s};
        QTest::newRow("an address in the excluded city")
            << u"广东省深圳市南山区"_s << false << QStringList{u"甲:深圳:城市"_s};
        QTest::newRow("another city of the province")
            << u"广州"_s << false
            << QStringList{u"甲:广东(深圳除外):省份"_s, u"乙:广东省（除深圳、珠海外）:省份"_s};
        QTest::newRow("excluded by one template only")
            << u"珠海"_s << false << QStringList{u"甲:广东(深圳除外):省份"_s};
        QTest::newRow("the province typed")
            << u"广东"_s << false
            << QStringList{u"甲:广东(深圳除外):地区"_s, u"乙:广东省（除深圳、珠海外）:地区"_s};
        QTest::newRow("a short form") << u"杭州"_s << false << QStringList{u"甲:江浙沪:省份"_s};
        QTest::newRow("a municipality in a short form")
            << u"上海市"_s << false << QStringList{u"甲:江浙沪:省份"_s};
        QTest::newRow("two groups name the province, an address its city")
            << u"南京"_s << false << QStringList{u"甲:江浙沪:省份"_s, beijing, u"乙:江苏省 南京市:地区"_s};
        QTest::newRow("an address names no whole province")
            << u"苏州"_s << false << QStringList{u"甲:江浙沪:省份"_s, beijing};
        QTest::newRow("provinces listed and 京津冀")
            << u"石家庄"_s << false << QStringList{beijing, u"乙:京津冀:省份"_s};
        QTest::newRow("no fallback when exact") << u"石家庄"_s << true << QStringList();
    }
    void destinationSearch_groupRows()
    {
        QFETCH(QString, destination);
        QFETCH(bool, exact);
        QFETCH(QStringList, found);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"k.db"_s);
        createRateTemplate(path, u"甲"_s,
                           {rateRow(u"1"_s, u"深圳"_s, u"8"_s, u"4"_s),
                            rateRow(u"2"_s, u"广东(深圳除外)"_s, u"9"_s, u"4"_s),
                            rateRow(u"3"_s, u"江浙沪"_s, u"6"_s, u"2"_s),
                            rateRow(u"4"_s, u"山东、天津、江苏、河北、北京"_s, u"7"_s, u"3"_s)});
        createRateTemplate(path, u"乙"_s,
                           {rateRow(u"1"_s, u"江苏省 南京市"_s, u"5"_s, u"2"_s),
                            rateRow(u"2"_s, u"广东省（除深圳、珠海外）"_s, u"9"_s, u"4"_s),
                            rateRow(u"3"_s, u"京津冀"_s, u"8"_s, u"3"_s)});
        RateDatabase db(path);
        const QStringList names{u"甲"_s, u"乙"_s};
        const QList<MatchedRateRow> rows = DestinationSearch(
            db, names, destination, nullptr, exact ? SearchScope::Exact : SearchScope::WithFallback);
        QStringList listed;
        for (const MatchedRateRow &row : rows)
            listed << row.templateName + u':' + row.cell(ColumnRegion) + u':' + matchKindText(row.match);
        QCOMPARE(listed, found);

        // An order to the same place is priced by the first of those rows
        // in every template, as batch quotes, bill checks and curves pick it.
        if (exact)
            return;
        const QList<std::shared_ptr<const TemplateRows>> templates = db.templateRows(names);
        const OrderDestination order = orderDestination(destination);
        for (qsizetype t = 0; t < names.size(); ++t) {
            const qsizetype row = orderRow(*templates.at(t), order);
            const auto first = std::find_if(found.cbegin(), found.cend(), [&](const QString &f) {
                return f.startsWith(names.at(t) + u':');
            });
            QCOMPARE(row < 0 ? QString() : names.at(t) + u':' + templates.at(t)->region(row),
                     first == found.cend() ? QString() : first->section(u':', 0, 1));
        }
    }

    // A search typed the instant the database is opened, while its rows are
    // still being read, finds and prices what the same search finds once
    // every row is read: few rows found (read alone), most of them (read
    // whole), groups, exclusions, ASCII letters in any case, IDs that are
    // not the rows' numbers.
    void destinationSearch_whileRowsAreRead_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::newRow("a city") << u"南京"_s;
        QTest::newRow("a city excluded by a group") << u"深圳"_s;
        QTest::newRow("a province") << u"江"_s;
        QTest::newRow("ASCII in another case") << u"HONG kong"_s;
        QTest::newRow("every row") << QString();
        QTest::newRow("nowhere") << u"火星"_s;
    }
    void destinationSearch_whileRowsAreRead()
    {
        QFETCH(QString, destination);
        static QTemporaryDir dir;
        const QString path = dir.filePath(u"big.db"_s);
        const QStringList names{u"甲"_s, u"乙"_s, u"丙"_s, u"丁"_s};
        if (!QFile::exists(path)) {
            const QStringList regions{u"北京"_s, u"江苏南京"_s, u"江西南昌"_s,       u"广东(深圳除外)"_s,
                                      u"深圳"_s, u"江浙沪"_s,   u"Hong Kong 香港"_s, u"浙江杭州"_s};
            RateDatabase writer(path);
            for (qsizetype t = 0; t < names.size(); ++t) {
                QList<QStringList> rows;
                for (int r = 0; r < 6000; ++r) {
                    const QString region = regions.at(r % regions.size());
                    rows << rateRow(t == 1 && r % 7 == 0 ? u"x%1"_s.arg(r) : QString::number(r + 1),
                                    r < regions.size() ? region : region + QString::number(r),
                                    QString::number(5 + (r + t) % 9), QString::number(1 + r % 3), u"1"_s,
                                    u"2"_s, u"3"_s, u"电话%1"_s.arg(t));
                }
                QVERIFY2(writer.createTemplate(names.at(t), RateColumns(), rows),
                         qPrintable(writer.lastError()));
            }
        }
        const auto listed = [&](RateDatabase &db) {
            const MatchedRows rows = DestinationSearch(db, names, destination);
            const FeeQuotes quotes = ComputeFees(rows, 2.5, u"原参数价格"_s);
            QStringList list;
            for (qsizetype i = 0; i < rows.size(); ++i) {
                list << rows.templateName(i) + u':' + rows.cell(i, ColumnId) + u':' +
                            rows.cell(i, ColumnRegion) + u':' + matchKindText(rows.match(i)) + u':' +
                            rows.cell(i, ColumnContact);
            }
            for (qsizetype i = 0; i < quotes.size(); ++i)
                list << quotes.cell(i, 0) + u'=' + quotes.cell(i, 2);
            return list;
        };
        RateDatabase whole(path);
        whole.templateRows(names);
        const QStringList expected = listed(whole);
        RateDatabase db(path);
        db.preloadTemplateRows();
        QCOMPARE(listed(db), expected);
        QCOMPARE(listed(db), expected); // and again, once more is read
    }

    // A search made before a change prices the rows as they are after it,
    // whoever changed them: this program, another program on the file (the
    // command line's create --replace, a plain SQL tool), or a template made
    // after a search on a new database.
    void liveSearch_pricesRowsAsTheyAreNow_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("fee"); // 深圳, 1 kg, after the change
        QTest::newRow("row edited here") << u"edit"_s << u"6.3"_s;
        QTest::newRow("template replaced by another program") << u"replace"_s << u"5"_s;
        QTest::newRow("row edited by a plain SQL tool") << u"sql"_s << u"7"_s;
        QTest::newRow("template made after the search") << u"create"_s << u"4"_s;
    }
    void liveSearch_pricesRowsAsTheyAreNow()
    {
        QFETCH(QString, change);
        QFETCH(QString, fee);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"k.db"_s);
        // 首重 3.5 + 其他 3 for 1 kg.
        const QList<QStringList> rows{rateRow(u"1"_s, u"深圳市"_s, u"3.5"_s, u"1.5"_s)};
        if (change != u"create")
            createRateTemplate(path, u"中通"_s, rows);
        RateDatabase db(path);
        RateDatabase other(path); // another program on the same file
        LiveSearch search(db);
        search.search(u"深圳"_s);
        QCOMPARE(search.rows().size(), change == u"create" ? 0 : 1);
        QVERIFY(!search.refresh()); // nothing changed

        if (change == u"edit") {
            QVERIFY(db.updateRows(u"中通"_s, {{u"首重价格"_s, u"3.3"_s}}, u"1"_s));
        } else if (change == u"replace") {
            QVERIFY(other.replaceTemplate(u"中通"_s, RateColumns(),
                                          {rateRow(u"1"_s, u"深圳市"_s, u"2"_s, u"1"_s)}));
        } else if (change == u"sql") {
            execSql(path, {u"UPDATE \"中通\" SET \"首重价格\" = '4'"_s});
        } else {
            QVERIFY(other.createTemplate(u"中通"_s, RateColumns(),
                                         {rateRow(u"1"_s, u"广东深圳"_s, u"1"_s, u"1"_s)}));
        }
        QVERIFY(search.refresh());
        QCOMPARE(search.templates(), QStringList{u"中通"_s});
        const FeeQuotes quotes = ComputeFees(search.rows(), 1, u"原参数价格");
        QCOMPARE(quotes.size(), 1);
        QCOMPARE(quotes.cell(0, 2), fee);
        QVERIFY(!search.refresh());
    }
};

QTEST_GUILESS_MAIN(TestFees)
#include "tst_fees.moc"

#include "../common/sampledb.h"

#include <batch/batchquote.h>
#include <batch/ordersheet.h>
#include <batch/reconcile.h>
#include <core/schema.h>
#include <ratedb/ratedatabase.h>

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Kuaidi;
using KuaidiTest::rateRow;

namespace {

// 甲: a Nanjing row, a Jiangsu province row, 西藏 without a price.
// 乙: a Jiangsu province row only, cheaper; 北京 whose level −1 leaves nothing.
void createCouriers(const QString &path)
{
    QList<QStringList> first{
        rateRow(u"1"_s, u"江苏南京"_s, u"10"_s, u"2"_s), rateRow(u"2"_s, u"江苏"_s, u"12"_s, u"2"_s),
        rateRow(u"3"_s, u"西藏"_s, u"不发"_s, u""_s), rateRow(u"4"_s, u"上海"_s, u"8"_s, u"1"_s)};
    QList<QStringList> second{rateRow(u"1"_s, u"江苏省"_s, u"6"_s, u"1"_s),
                              rateRow(u"2"_s, u"北京"_s, u"1"_s, u"0"_s, u"1"_s, u"2"_s, u"0"_s),
                              rateRow(u"3"_s, u"上海"_s, u"8"_s, u"1"_s)};
    second[1][priceSetColumnIndex(1, FieldFirstWeight)] = u"-1"_s;
    KuaidiTest::createRateTemplate(path, u"甲"_s, first);
    KuaidiTest::createRateTemplate(path, u"乙"_s, second);
}

OrderSheet ordersOf(const QList<QStringList> &rows, bool withAmount = false)
{
    TextTable table;
    table.columns = rows.first();
    table.rows = rows.mid(1);
    OrderSheetResult result = findOrderColumns(table, withAmount);
    if (!result.sheet)
        qFatal("%s", qPrintable(result.error));
    return *result.sheet;
}

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;

    OrderPricer pricer(const QStringList &names, int level = 0)
    {
        RateDatabase db(m_db);
        return OrderPricer(db.templateRows(names), *db.billingRulesOfAll(), level);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(u"rates.db"_s);
        createCouriers(m_db);
    }

    void findOrderColumns_readsHeadersAsSellersWriteThem_data()
    {
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<bool>("withAmount");
        QTest::addColumn<QString>("found"); // header row, destination, weight, number, volume, amount
        QTest::addColumn<QString>("error");
        QTest::newRow("plain") << QList<QStringList>{{u"目的地"_s, u"重量"_s}} << false << u"1 0 1 -1 -1 -1"_s
                               << QString();
        QTest::newRow("title row above, units in brackets")
            << QList<QStringList>{{u"2026年中通订单"_s, u""_s, u""_s, u""_s},
                                  {u"订单编号"_s, u" 收货地址 "_s, u"重量(kg)"_s, u"体积（立方米）"_s}}
            << false << u"2 1 2 0 3 -1"_s << QString();
        QTest::newRow("KG in any case")
            << QList<QStringList>{{u"地址"_s, u"kg"_s}} << false << u"1 0 1 -1 -1 -1"_s << QString();
        QTest::newRow("bill") << QList<QStringList>{{u"运单号"_s, u"地区"_s, u"计费重量"_s, u"应付金额"_s}}
                              << true << u"1 1 2 0 -1 3"_s << QString();
        QTest::newRow("no weight") << QList<QStringList>{{u"x"_s}, {u"目的地"_s, u"件数"_s}} << false
                                   << QString() << u"表格缺少列：重量（表头在第 2 行：目的地、件数）"_s;
        QTest::newRow("bill without amount or weight")
            << QList<QStringList>{{u"目的地"_s}} << true << QString()
            << u"表格缺少列：重量、金额（表头在第 1 行：目的地）"_s;
        QTest::newRow("no destination")
            << QList<QStringList>{{u"单号"_s, u"重量"_s}} << false << QString()
            << u"表格缺少列：目的地（前 10 行中没有收货地址、收件地址、地址、目的地或地区）"_s;
        QList<QStringList> late(10, {u"说明"_s});
        late << QStringList{u"目的地"_s, u"重量"_s};
        QTest::newRow("header below the tenth row")
            << late << false << QString()
            << u"表格缺少列：目的地、重量（前 10 行中没有收货地址、收件地址、地址、目的地或地区）"_s;
    }

    void findOrderColumns_readsHeadersAsSellersWriteThem()
    {
        QFETCH(QList<QStringList>, rows);
        QFETCH(bool, withAmount);
        QFETCH(QString, found);
        QFETCH(QString, error);
        TextTable table;
        table.columns = rows.first();
        table.rows = rows.mid(1);
        const OrderSheetResult result = findOrderColumns(table, withAmount);
        QCOMPARE(result.error, error);
        if (result.sheet) {
            const OrderSheet &s = *result.sheet;
            QCOMPARE(u"%1 %2 %3 %4 %5 %6"_s.arg(s.headerRow)
                         .arg(s.destination)
                         .arg(s.weight)
                         .arg(s.orderNumber)
                         .arg(s.volume)
                         .arg(s.amount),
                     found);
        }
    }

    void price_oneRowPerCourierAndAReasonForEveryGap_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<int>("level");
        QTest::addColumn<QStringList>("fees"); // 甲, 乙: a fee or the reason
        QTest::newRow("city row, and a province row elsewhere")
            << u"南京"_s << u"2"_s << 0 << QStringList{u"15"_s, u"10"_s};
        QTest::newRow("marketplace export address")
            << u"江苏省 南京市 鼓楼区 中山路1号"_s << u"2"_s << 0 << QStringList{u"15"_s, u"10"_s};
        QTest::newRow("province rows for another city")
            << u"苏州"_s << u"1"_s << 0 << QStringList{u"15"_s, u"9"_s};
        QTest::newRow("unpriced row")
            << u"西藏拉萨"_s << u"1"_s << 0 << QStringList{u"未报价"_s, u"无匹配地区"_s};
        QTest::newRow("municipality address")
            << u"北京市朝阳区建国路"_s << u"1"_s << 0 << QStringList{u"无匹配地区"_s, u"1"_s};
        QTest::newRow("nothing above zero")
            << u"北京"_s << u"1"_s << 1 << QStringList{u"无匹配地区"_s, u"报价不大于0"_s};
        QTest::newRow("unresolved text by substring")
            << u"海"_s << u"1"_s << 0 << QStringList{u"11"_s, u"11"_s};
        QTest::newRow("empty weight") << u"南京"_s << u""_s << 0 << QStringList{u"重量无效"_s, u"重量无效"_s};
        QTest::newRow("text weight") << u"南京"_s << u"abc"_s << 0
                                     << QStringList{u"重量无效"_s, u"重量无效"_s};
        QTest::newRow("zero weight") << u"南京"_s << u"0"_s << 0 << QStringList{u"重量无效"_s, u"重量无效"_s};
        QTest::newRow("over 50 kg") << u"南京"_s << u"60"_s << 0
                                    << QStringList{u"超过最大重量"_s, u"超过最大重量"_s};
        QTest::newRow("empty destination")
            << u""_s << u"1"_s << 0 << QStringList{u"无匹配地区"_s, u"无匹配地区"_s};
    }

    void price_oneRowPerCourierAndAReasonForEveryGap()
    {
        QFETCH(QString, destination);
        QFETCH(QString, weight);
        QFETCH(int, level);
        QFETCH(QStringList, fees);
        OrderPricer orders = pricer({u"甲"_s, u"乙"_s}, level);
        QStringList got;
        for (const OrderFee &fee : orders.price(destination, weight, {}))
            got << (fee.fee ? QString::number(*fee.fee) : fee.reason);
        QCOMPARE(got, fees);
        // The rows found are kept per destination: asking again answers the same.
        got.clear();
        for (const OrderFee &fee : orders.price(destination, weight, {}))
            got << (fee.fee ? QString::number(*fee.fee) : fee.reason);
        QCOMPARE(got, fees);
    }

    void priceOrders_namesEveryCheapestAndTheReasons()
    {
        const OrderSheet sheet = ordersOf(
            {{u"收件地址"_s, u"毛重"_s}, {u"上海"_s, u"2"_s}, {u"南京"_s, u"2"_s}, {u"火星"_s, u"2"_s}});
        OrderPricer orders = pricer({u"甲"_s, u"乙"_s});
        const std::optional<QList<BatchLine>> lines = priceOrders(sheet, orders);
        QVERIFY(lines);
        const TextTable table = batchTable(sheet, *lines, orders.templateNames());
        QCOMPARE(table.columns, (QStringList{u"行号"_s, u"目的地"_s, u"重量"_s, u"甲"_s, u"乙"_s,
                                             u"最便宜快递"_s, u"最低运费"_s, u"备注"_s, u"计费重量"_s}));
        QCOMPARE(table.rows.at(0), (QStringList{u"2"_s, u"上海"_s, u"2"_s, u"12"_s, u"12"_s, u"甲、乙"_s,
                                                u"12"_s, u""_s, u"2"_s}));
        QCOMPARE(table.rows.at(1).mid(3), (QStringList{u"15"_s, u"10"_s, u"乙"_s, u"10"_s, u""_s, u"2"_s}));
        QCOMPARE(table.rows.at(2).mid(3),
                 (QStringList{u""_s, u""_s, u""_s, u""_s, u"甲: 无匹配地区; 乙: 无匹配地区"_s, u""_s}));
        const TextTable summary = batchSummary(*lines, orders.templateNames());
        QCOMPARE(summary.rows, (QList<QStringList>{{u"甲"_s, u"2"_s, u"27"_s},
                                                   {u"乙"_s, u"2"_s, u"22"_s},
                                                   {u"每单选最便宜"_s, u"2"_s, u"22"_s}}));
    }

    void priceOrders_cancelledGivesNothing()
    {
        QList<QStringList> rows{{u"目的地"_s, u"重量"_s}};
        for (int i = 0; i < 1000; ++i)
            rows << QStringList{u"南京"_s, u"1"_s};
        OrderPricer orders = pricer({u"甲"_s});
        qsizetype calls = 0;
        QVERIFY(!priceOrders(ordersOf(rows), orders, [&calls](qsizetype, qsizetype) { return ++calls < 2; }));
        QVERIFY(priceOrders(ordersOf(rows), orders,
                            [](qsizetype done, qsizetype total) { return done <= total; }));
    }

    void reconcileBill_verdicts_data()
    {
        QTest::addColumn<QString>("charged");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<double>("tolerance");
        QTest::addColumn<QStringList>("result"); // 应收, 差额, 结论
        QTest::newRow("agrees") << u"15"_s << u"2"_s << 0.01 << QStringList{u"15"_s, u"0"_s, u"一致"_s};
        QTest::newRow("within tolerance")
            << u"15.01"_s << u"2"_s << 0.01 << QStringList{u"15"_s, u"0.01"_s, u"一致"_s};
        QTest::newRow("overcharged") << u"15.35"_s << u"2"_s << 0.01
                                     << QStringList{u"15"_s, u"0.35"_s, u"多收"_s};
        QTest::newRow("undercharged")
            << u"14"_s << u"2"_s << 0.01 << QStringList{u"15"_s, u"-1"_s, u"少收"_s};
        QTest::newRow("wider tolerance")
            << u"16"_s << u"2"_s << 1.0 << QStringList{u"15"_s, u"1"_s, u"一致"_s};
        QTest::newRow("amount not a number")
            << u"十五"_s << u"2"_s << 0.01 << QStringList{u"15"_s, u""_s, u"无法核对：金额无效"_s};
        QTest::newRow("weight not a number")
            << u"12"_s << u"abc"_s << 0.01 << QStringList{u""_s, u""_s, u"无法核对：重量无效"_s};
    }

    void reconcileBill_verdicts()
    {
        QFETCH(QString, charged);
        QFETCH(QString, weight);
        QFETCH(double, tolerance);
        QFETCH(QStringList, result);
        const OrderSheet bill = ordersOf(
            {{u"运单号"_s, u"目的地"_s, u"重量"_s, u"运费"_s}, {u"W1"_s, u"南京"_s, weight, charged}}, true);
        OrderPricer orders = pricer({u"甲"_s});
        const std::optional<QList<BillCheck>> checks = ReconcileBill(bill, orders, 0, tolerance);
        QVERIFY(checks);
        const TextTable table = reconcileTable(bill, *checks);
        QCOMPARE(table.columns.mid(4), (QStringList{u"应收"_s, u"差额"_s, u"结论"_s}));
        QCOMPARE(table.rows.at(0).mid(0, 4), bill.rows.at(0));
        QCOMPARE(table.rows.at(0).mid(4), result);
    }

    void reconcileSummary_countsAndTotals()
    {
        const OrderSheet bill = ordersOf({{u"目的地"_s, u"重量"_s, u"金额"_s},
                                          {u"南京"_s, u"2"_s, u"15.5"_s},
                                          {u"南京"_s, u"2"_s, u"16"_s},
                                          {u"南京"_s, u"2"_s, u"13"_s},
                                          {u"火星"_s, u"2"_s, u"10"_s}},
                                         true);
        OrderPricer orders = pricer({u"甲"_s});
        const TextTable summary = reconcileSummary(*ReconcileBill(bill, orders, 0, 0.01));
        QCOMPARE(summary.rows, (QList<QStringList>{{u"一致"_s, u"0"_s},
                                                   {u"多收"_s, u"2"_s},
                                                   {u"少收"_s, u"1"_s},
                                                   {u"无法核对"_s, u"1"_s},
                                                   {u"多收合计"_s, u"1.5"_s},
                                                   {u"少收合计"_s, u"2"_s}}));
    }

    void batchTable_keepsTheSheetsOwnColumnsAfterTheRemarks()
    {
        // 乙 rounds up to whole kilograms: 计费重量 is the cheapest courier's.
        RateDatabase db(m_db);
        BillingRules rounding;
        rounding.rounding = BillingRules::Rounding::Kilogram;
        QVERIFY(db.setBillingRules(u"乙"_s, rounding));
        const OrderSheet sheet =
            ordersOf({{u"收件人"_s, u"订单号"_s, u"收货地址"_s, u"商品"_s, u"重量(kg)"_s},
                      {u"张三"_s, u"A1"_s, u"上海"_s, u"=1+1"_s, u"1.2kg"_s},
                      {u"李四"_s, u"A2"_s, u"南京"_s, u"茶叶"_s, u"1.2"_s}});
        OrderPricer orders(db.templateRows({u"甲"_s, u"乙"_s}), *db.billingRulesOfAll(), 0);
        QVERIFY(db.setBillingRules(u"乙"_s, BillingRules()));
        const QList<BatchLine> lines = *priceOrders(sheet, orders);
        const BatchTable layout(sheet, orders.templateNames());
        QCOMPARE(layout.columns(),
                 (QStringList{u"订单号"_s, u"目的地"_s, u"重量"_s, u"甲"_s, u"乙"_s, u"最便宜快递"_s,
                              u"最低运费"_s, u"备注"_s, u"计费重量"_s, u"收件人"_s, u"商品"_s}));
        QCOMPARE(layout.row(0, lines.at(0)),
                 (QStringList{u"A1"_s, u"上海"_s, u"1.2kg"_s, u"11.2"_s, u"12"_s, u"甲"_s, u"11.2"_s, u""_s,
                              u"1.2"_s, u"张三"_s, u"=1+1"_s}));
        QCOMPARE(layout.row(1, lines.at(1)).mid(3, 6),
                 (QStringList{u"13.4"_s, u"10"_s, u"乙"_s, u"10"_s, u""_s, u"2"_s}));
        QCOMPARE(layout.numberColumns(), (QSet<int>{2, 3, 4, 6, 8}));
        // Without an order number the row number comes first, a number too.
        const OrderSheet unnumbered =
            ordersOf({{u"目的地"_s, u"重量"_s, u"备注"_s}, {u"上海"_s, u"1"_s, u"x"_s}});
        const BatchTable plain(unnumbered, {u"甲"_s});
        QCOMPARE(plain.columns().last(), u"备注"_s);
        QCOMPARE(plain.numberColumns(), (QSet<int>{0, 2, 3, 5, 7}));
    }

    void orderParcel_readsUnitsAndSides_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("parcel"); // weight/volume, or the problem
        const QStringList plain{u"目的地"_s, u"重量"_s};
        QTest::newRow("number") << plain << QStringList{u"南京"_s, u" 1.2 "_s} << u"1.2/-"_s;
        QTest::newRow("kg") << plain << QStringList{u"南京"_s, u"1.2kg"_s} << u"1.2/-"_s;
        QTest::newRow("KG with a blank") << plain << QStringList{u"南京"_s, u"1.2 KG"_s} << u"1.2/-"_s;
        QTest::newRow("公斤") << plain << QStringList{u"南京"_s, u"3公斤"_s} << u"3/-"_s;
        QTest::newRow("千克") << plain << QStringList{u"南京"_s, u"０.５千克"_s} << u"0.5/-"_s;
        QTest::newRow("斤 is no kilogram") << plain << QStringList{u"南京"_s, u"2斤"_s} << u"重量无效"_s;
        QTest::newRow("unit alone") << plain << QStringList{u"南京"_s, u"kg"_s} << u"重量无效"_s;
        QTest::newRow("zero kg") << plain << QStringList{u"南京"_s, u"0kg"_s} << u"重量无效"_s;
        const QStringList sides{u"目的地"_s, u"重量"_s, u"长(cm)"_s, u"宽(cm)"_s, u"高(cm)"_s};
        QTest::newRow("three sides") << sides << QStringList{u"南京"_s, u"1"_s, u"30"_s, u"20"_s, u"10"_s}
                                     << u"1/0.006"_s;
        QTest::newRow("sides with units")
            << sides << QStringList{u"南京"_s, u"1"_s, u"50cm"_s, u"40厘米"_s, u"30"_s} << u"1/0.06"_s;
        QTest::newRow("no sides") << sides << QStringList{u"南京"_s, u"1"_s, u""_s, u" "_s, u""_s}
                                  << u"1/-"_s;
        QTest::newRow("a side missing")
            << sides << QStringList{u"南京"_s, u"1"_s, u"30"_s, u""_s, u"10"_s} << u"体积无效"_s;
        QTest::newRow("a side not a number")
            << sides << QStringList{u"南京"_s, u"1"_s, u"30"_s, u"二十"_s, u"10"_s} << u"体积无效"_s;
        const QStringList both{u"目的地"_s, u"重量"_s, u"体积"_s, u"长"_s, u"宽"_s, u"高"_s};
        QTest::newRow("the volume before the sides")
            << both << QStringList{u"南京"_s, u"1"_s, u"0.5"_s, u"30"_s, u"20"_s, u"10"_s} << u"1/0.5"_s;
        QTest::newRow("sides where the volume is empty")
            << both << QStringList{u"南京"_s, u"1"_s, u""_s, u"30"_s, u"20"_s, u"10"_s} << u"1/0.006"_s;
        const QStringList size{u"目的地"_s, u"重量"_s, u"尺寸"_s};
        QTest::newRow("30×20×10") << size << QStringList{u"南京"_s, u"1"_s, u"30×20×10"_s} << u"1/0.006"_s;
        QTest::newRow("30*20*10cm") << size << QStringList{u"南京"_s, u"1"_s, u"30*20*10cm"_s}
                                    << u"1/0.006"_s;
        QTest::newRow("30 x 20 x 10")
            << size << QStringList{u"南京"_s, u"1"_s, u"30 x 20 x 10"_s} << u"1/0.006"_s;
        QTest::newRow("two sides") << size << QStringList{u"南京"_s, u"1"_s, u"30×20"_s} << u"体积无效"_s;
        QTest::newRow("a side of zero")
            << size << QStringList{u"南京"_s, u"1"_s, u"30×0×10"_s} << u"体积无效"_s;
        QTest::newRow("volume not a number") << QStringList{u"目的地"_s, u"重量"_s, u"体积"_s}
                                             << QStringList{u"南京"_s, u"1"_s, u"大"_s} << u"体积无效"_s;
    }

    void orderParcel_readsUnitsAndSides()
    {
        QFETCH(QStringList, titles);
        QFETCH(QStringList, cells);
        QFETCH(QString, parcel);
        const OrderSheet sheet = ordersOf({titles, cells});
        const OrderParcel got = orderParcel(sheet, sheet.rows.first());
        const QString text = got.problem.isEmpty() ? QString::number(*got.weight) + u'/' +
                                                         (got.volume ? QString::number(*got.volume) : u"-"_s)
                                                   : got.problem;
        QCOMPARE(text, parcel);
    }

    void findOrderColumns_leavesOutFootersAndReadsDates_data()
    {
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QList<QStringList>>("orders");
        QTest::addColumn<QList<int>>("sheetRows");
        const QStringList header{u"运单号"_s, u"发件时间"_s, u"目的地"_s, u"重量"_s, u"金额"_s};
        QTest::newRow("合计 at the foot")
            << QList<QStringList>{header,
                                  {u"W1"_s, u"46054.604166667"_s, u"南京"_s, u"1"_s, u"10"_s},
                                  {u"W2"_s, u"46054"_s, u"上海"_s, u"2"_s, u"12"_s},
                                  {u"合计"_s, u""_s, u""_s, u"3"_s, u"22"_s}}
            << QList<QStringList>{{u"W1"_s, u"2026-02-01 14:30:00"_s, u"南京"_s, u"1"_s, u"10"_s},
                                  {u"W2"_s, u"2026-02-01"_s, u"上海"_s, u"2"_s, u"12"_s}}
            << QList<int>{2, 3};
        QTest::newRow("小计 between days, 总计： at the foot")
            << QList<QStringList>{header,
                                  {u"W1"_s, u"2026-01-31"_s, u"南京"_s, u"1"_s, u"10"_s},
                                  {u" 小 计 "_s, u""_s, u""_s, u"1"_s, u"10"_s},
                                  {u"W2"_s, u"12"_s, u"上海"_s, u"2"_s, u"12"_s},
                                  {u""_s, u"总计："_s, u""_s, u"3"_s, u"22"_s}}
            << QList<QStringList>{{u"W1"_s, u"2026-01-31"_s, u"南京"_s, u"1"_s, u"10"_s},
                                  {u"W2"_s, u"12"_s, u"上海"_s, u"2"_s, u"12"_s}}
            << QList<int>{2, 4};
        QTest::newRow("合计 in the destination column")
            << QList<QStringList>{{u"目的地"_s, u"重量"_s, u"金额"_s},
                                  {u"南京"_s, u"1"_s, u"10"_s},
                                  {u"合计"_s, u"1"_s, u"10"_s}}
            << QList<QStringList>{{u"南京"_s, u"1"_s, u"10"_s}} << QList<int>{2};
        QTest::newRow("an order with a destination stays")
            << QList<QStringList>{header, {u"合计"_s, u""_s, u"南京"_s, u"1"_s, u"10"_s}}
            << QList<QStringList>{{u"合计"_s, u""_s, u"南京"_s, u"1"_s, u"10"_s}} << QList<int>{2};
    }

    void findOrderColumns_leavesOutFootersAndReadsDates()
    {
        QFETCH(QList<QStringList>, rows);
        QFETCH(QList<QStringList>, orders);
        QFETCH(QList<int>, sheetRows);
        const OrderSheet sheet = ordersOf(rows, true);
        QCOMPARE(sheet.rows, orders);
        QList<int> numbers;
        for (qsizetype i = 0; i < sheet.rows.size(); ++i)
            numbers << sheet.sheetRow(i);
        QCOMPARE(numbers, sheetRows);
        // A footer is neither checked nor counted.
        OrderPricer prices = pricer({u"甲"_s});
        const TextTable summary = reconcileSummary(*ReconcileBill(sheet, prices, 0, 0.01));
        QCOMPARE(summary.rows.at(3), (QStringList{u"无法核对"_s, u"0"_s}));
    }

    void reconcileSummary_namesTheRoundingThatExplainsTheDifferences_data()
    {
        // 甲 in 南京: 10 for the first kilogram, 2 a kilogram after, 3 other, not rounded.
        QTest::addColumn<QStringList>("charged"); // for 1.01, 1.2, 1.3, 2.4 kg and 3 kg
        QTest::addColumn<QString>("hint");
        QTest::newRow("billed by whole kilograms")
            << QStringList{u"15"_s, u"15"_s, u"15"_s, u"17"_s, u"17"_s}
            << u"多数差额与按 1KG 取整计费一致：请检查模板的计费取整"_s;
        QTest::newRow("billed by half kilograms")
            << QStringList{u"14"_s, u"14"_s, u"14"_s, u"16"_s, u"17"_s}
            << u"多数差额与按 0.5KG 取整计费一致：请检查模板的计费取整"_s;
        QTest::newRow("two of them only")
            << QStringList{u"15"_s, u"15"_s, u"13.6"_s, u"15.8"_s, u"17"_s} << QString();
        QTest::newRow("overcharges of another kind")
            << QStringList{u"15"_s, u"15"_s, u"15"_s, u"16.8"_s, u"18"_s, u"20"_s, u"20"_s, u"20"_s}
            << QString();
        QTest::newRow("agreeing bill")
            << QStringList{u"13.02"_s, u"13.4"_s, u"13.6"_s, u"15.8"_s, u"17"_s} << QString();
    }

    void reconcileSummary_namesTheRoundingThatExplainsTheDifferences()
    {
        QFETCH(QStringList, charged);
        QFETCH(QString, hint);
        const QStringList weights{u"1.01"_s, u"1.2"_s, u"1.3"_s, u"2.4"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s};
        QList<QStringList> rows{{u"目的地"_s, u"重量"_s, u"金额"_s}};
        for (qsizetype i = 0; i < charged.size(); ++i)
            rows << QStringList{u"南京"_s, weights.at(i), charged.at(i)};
        OrderPricer orders = pricer({u"甲"_s});
        const TextTable summary = reconcileSummary(*ReconcileBill(ordersOf(rows, true), orders, 0, 0.01));
        const QStringList said = summary.rows.size() > 6 ? summary.rows.last() : QStringList();
        QCOMPARE(said, hint.isEmpty() ? QStringList() : (QStringList{u"提示"_s, hint}));
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

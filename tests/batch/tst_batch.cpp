#include "../common/sampledb.h"

#include <batch/batchquote.h>
#include <batch/ordersheet.h>
#include <batch/tablefile.h>
#include <core/schema.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>

#include <QFile>
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
                                             u"最便宜快递"_s, u"最低运费"_s, u"备注"_s}));
        QCOMPARE(table.rows.at(0),
                 (QStringList{u"2"_s, u"上海"_s, u"2"_s, u"12"_s, u"12"_s, u"甲、乙"_s, u"12"_s, u""_s}));
        QCOMPARE(table.rows.at(1).mid(3), (QStringList{u"15"_s, u"10"_s, u"乙"_s, u"10"_s, u""_s}));
        QCOMPARE(table.rows.at(2).mid(3),
                 (QStringList{u""_s, u""_s, u""_s, u""_s, u"甲: 无匹配地区; 乙: 无匹配地区"_s}));
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

    void writeTableFile_readsBackAndNeverLeavesHalfAFile()
    {
        TextTable table;
        table.columns = QStringList{u"订单号"_s, u"费用"_s};
        table.rows = {{u"00123"_s, u"12.5"_s}, {u"含,逗号\"引号"_s, u""_s}};
        TextTable summary;
        summary.columns = QStringList{u"项目"_s};
        summary.rows = {{u"合计"_s}};
        const QList<OutputSheet> sheets{{u"报价"_s, table, {1}}, {u"汇总"_s, summary, {}}};
        for (const QString &name : {u"out.xlsx"_s, u"out.csv"_s}) {
            const QString path = m_dir.filePath(name);
            QCOMPARE(writeTableFile(path, sheets), QString());
            Workbook workbook;
            QVERIFY2(workbook.open(path), qPrintable(workbook.lastError()));
            const std::optional<TextTable> back = workbook.readSheet(workbook.sheetNames().first());
            QVERIFY(back);
            QCOMPARE(back->columns, table.columns);
            QCOMPARE(back->rows, table.rows); // the order number stays text
            if (name.endsWith(u"xlsx"))
                QCOMPARE(workbook.sheetNames(), (QStringList{u"报价"_s, u"汇总"_s}));
        }
        // Texts XML cannot hold as they are come back whole from .xlsx.
        TextTable odd;
        odd.columns = QStringList{u"\uFFFE北京"_s};
        odd.rows = {{u"\uFFFF"_s},
                    {u"a\rb\tc\r\nd"_s},
                    {u"\x01\x1f"_s},
                    {u"_x0041_ and _x00"_s},
                    {QString(QChar(0xD800))}};
        const QString oddPath = m_dir.filePath(u"odd.xlsx"_s);
        QCOMPARE(writeTableFile(oddPath, {{u"odd"_s, odd, {}}}), QString());
        Workbook oddBook;
        QVERIFY2(oddBook.open(oddPath), qPrintable(oddBook.lastError()));
        const std::optional<TextTable> oddBack = oddBook.readSheet(u"odd"_s);
        QVERIFY(oddBack);
        QCOMPARE(oddBack->columns, odd.columns);
        QCOMPARE(oddBack->rows, odd.rows);

        QFile csv(m_dir.filePath(u"out.csv"_s));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY(csv.readAll().startsWith("\xEF\xBB\xBF订单号,费用\r\n"));

        // A file that cannot be written keeps what was there.
        const QString kept = m_dir.filePath(u"kept.xlsx"_s);
        QVERIFY(writeTableFile(kept, sheets).isEmpty());
        const QList<OutputSheet> bad{{u"bad/name?"_s, table, {}}};
        QVERIFY(!writeTableFile(kept, bad).isEmpty());
        Workbook workbook;
        QVERIFY(workbook.open(kept));
        QCOMPARE(workbook.sheetNames().first(), u"报价"_s);
        QVERIFY(writeTableFile(m_dir.filePath(u"out.txt"_s), sheets).contains(u".xlsx"));
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

#include <templates/samepriceregions.h>

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Kuaidi;

namespace {

// A courier's list as the editor holds it after 智能匹配: 广州市 left
// unmatched (found by its text), 火星 on no page at all.
const QList<PricedRegion> Rows{
    {u"北京"_s, u"J_Province_110000"_s, u"4"_s, u"2"_s},       // 0
    {u"广东"_s, u"J_Group_3"_s, u"4"_s, u"2"_s},               // 1
    {u"深圳市"_s, u"J_City_445100"_s, u"3.5"_s, u"1.5"_s},     // 2
    {u"广州市"_s, QString(), u"3.8"_s, u"1.5"_s},              // 3
    {u"上海"_s, u"J_Province_310000"_s, u"4.0"_s, u"2"_s},     // 4
    {u"江苏"_s, u"J_Province_320000"_s, u"5"_s, u"2"_s},       // 5
    {u"南京"_s, u"J_City_320100"_s, u"4"_s, u"2"_s},           // 6
    {u"火星"_s, QString(), u"4"_s, u"2"_s},                    // 7
    {u"澳门"_s, u"J_Province_820000"_s, u"30"_s, u"10"_s},     // 8
    {u"澳门半岛"_s, u"J_City_820100"_s, u"不发"_s, QString()}, // 9
    {u"离岛"_s, u"J_City_820200"_s, u"25"_s, u"10"_s},         // 10
    {u"东莞"_s, u"J_City_442000"_s, u"4"_s, u"2"_s},           // 11
};

} // namespace

class TestSamePriceRegions final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void samePrice_provincesWithCitiesPricedApartGoCityByCity_data();
    void samePrice_provincesWithCitiesPricedApartGoCityByCity();
    void noFirstPrice_nothingToCompare();
};

void TestSamePriceRegions::samePrice_provincesWithCitiesPricedApartGoCityByCity_data()
{
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QStringList>("provinces");   // split: "row province: apart | cities ticked"
    QTest::addColumn<QStringList>("firstCities"); // first two cities ticked of the first province

    // 广东's box would give 深圳 and 广州 buyers 北京's 4/2: its other 20
    // cities instead, 东莞 among them ticked once, as its own row.
    QTest::newRow("province with cities priced apart")
        << 0 << QList<int>{0, 4, 6, 7, 11} << QStringList{u"1 广东: 深圳、广州 | 19"_s}
        << QStringList{u"J_City_441600"_s, u"J_City_445300"_s}; // 韶关, 珠海
    QTest::newRow("the province's own row chosen")
        << 1 << QList<int>{0, 4, 6, 7, 11} << QStringList{u"1 广东: 深圳、广州 | 19"_s}
        << QStringList{u"J_City_441600"_s, u"J_City_445300"_s};
    // 南京 is a city of 江苏 priced at 4/2, not 江苏's 5/2.
    QTest::newRow("a city's price, not its province's")
        << 5 << QList<int>{} << QStringList{u"5 江苏: 南京 | 12"_s}
        << QStringList{u"J_City_320800"_s, u"J_City_320900"_s}; // 淮安, 盐城
    QTest::newRow("a city chosen: its province is no concern")
        << 2 << QList<int>{2} << QStringList() << QStringList();
    // A city the courier does not serve ("不发") is priced apart too.
    QTest::newRow("every city priced apart: left out")
        << 8 << QList<int>{} << QStringList{u"8 澳门: 澳门半岛、离岛 | 0"_s} << QStringList();
}

void TestSamePriceRegions::samePrice_provincesWithCitiesPricedApartGoCityByCity()
{
    QFETCH(int, chosen);
    QFETCH(QList<int>, rows);
    QFETCH(QStringList, provinces);
    QFETCH(QStringList, firstCities);

    const std::optional<SamePriceRegions> same = samePriceRegions(Rows, chosen);
    QVERIFY(same);
    QCOMPARE(same->rows, rows);
    QStringList split;
    for (const ProvinceByCities &province : same->byCities) {
        split.append(u"%1 %2: %3 | %4"_s.arg(province.row)
                         .arg(province.province, province.pricedApart.join(u'、'))
                         .arg(province.cityElementIds.size()));
        // Never a city priced apart, never one ticked as a row already.
        QVERIFY(!province.cityElementIds.contains(u"J_City_445100"_s));
        QVERIFY(!province.cityElementIds.contains(u"J_City_441500"_s));
        QVERIFY(!province.cityElementIds.contains(u"J_City_442000"_s));
    }
    QCOMPARE(split, provinces);
    if (!firstCities.isEmpty())
        QCOMPARE(same->byCities.first().cityElementIds.mid(0, 2), firstCities);
}

void TestSamePriceRegions::noFirstPrice_nothingToCompare()
{
    QVERIFY(!samePriceRegions(Rows, 9));
    QVERIFY(!samePriceRegions(Rows, -1));
    QVERIFY(!samePriceRegions(Rows, int(Rows.size())));
}

QTEST_GUILESS_MAIN(TestSamePriceRegions)
#include "tst_samepriceregions.moc"

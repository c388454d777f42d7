#include <regions/regionnames.h>
#include <regions/regiontable.h>

#include <QHash>
#include <QRegularExpression>
#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

class TestRegionTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void table_groupsAndIds()
    {
        QCOMPARE(RegionTable::count(), 424);
        // Group sizes (group entry included), in table order.
        const QList<std::pair<QString, int>> expected{
            {u"上海"_s, 1},    {u"江苏"_s, 14}, {u"浙江"_s, 12}, {u"安徽"_s, 17}, {u"江西"_s, 12},
            {u"北京"_s, 1},    {u"天津"_s, 1},  {u"山西"_s, 12}, {u"山东"_s, 18}, {u"河北"_s, 12},
            {u"内蒙古"_s, 13}, {u"湖南"_s, 15}, {u"湖北"_s, 18}, {u"河南"_s, 19}, {u"广东"_s, 23},
            {u"广西"_s, 15},   {u"福建"_s, 10}, {u"海南"_s, 23}, {u"辽宁"_s, 15}, {u"吉林"_s, 10},
            {u"黑龙江"_s, 14}, {u"陕西"_s, 11}, {u"新疆"_s, 19}, {u"甘肃"_s, 15}, {u"宁夏"_s, 6},
            {u"青海"_s, 9},    {u"重庆"_s, 1},  {u"云南"_s, 17}, {u"贵州"_s, 10}, {u"西藏"_s, 8},
            {u"四川"_s, 22},   {u"香港"_s, 4},  {u"澳门"_s, 3},  {u"台湾"_s, 23}, {u"海外"_s, 1}};
        QList<std::pair<QString, int>> groups;
        int provinces = 0;
        int cities = 0;
        const QRegularExpression provinceId(u"^J_Province_\\d{6}$"_s);
        const QRegularExpression cityId(u"^J_City_\\d{6}$"_s);
        for (const RegionEntry &e : RegionTable::entries()) {
            const QString id = e.elementId.toString();
            if (e.name == e.province && (provinceId.match(id).hasMatch() || id == u"J_Group_3")) {
                groups.append({e.name.toString(), 1});
                provinces += provinceId.match(id).hasMatch();
                continue;
            }
            QVERIFY2(cityId.match(id).hasMatch(), qPrintable(id));
            QVERIFY(!groups.isEmpty());
            QCOMPARE(e.province.toString(), groups.last().first);
            ++groups.last().second;
            ++cities;
        }
        QCOMPARE(groups, expected);
        QCOMPARE(provinces, 34);
        QCOMPARE(cities, 389);
        QCOMPARE(RegionTable::entry(1).name.toString(), u"上海"_s);
        QCOMPARE(RegionTable::entry(424).elementId.toString(), u"J_Province_990000"_s);
    }

    void matchRegion_lastMatchWins_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("province");
        QTest::addColumn<QString>("elementId");
        QTest::newRow("province and city") << u"江苏南京"_s << 3 << u"江苏"_s << u"J_City_320100"_s;
        QTest::newRow("吉林 is also a city") << u"吉林"_s << 254 << u"吉林"_s << u"J_City_220200"_s;
        QTest::newRow("新竹 twice") << u"新竹"_s << 419 << u"台湾"_s << u"J_City_710800"_s;
        QTest::newRow("嘉义 twice") << u"嘉义"_s << 421 << u"台湾"_s << u"J_City_710900"_s;
        QTest::newRow("contained name, later wins")
            << u"海南藏族自治州"_s << 333 << u"青海"_s << u"J_City_632500"_s;
        QTest::newRow("大兴安岭 over 兴安") << u"大兴安岭"_s << 263 << u"黑龙江"_s << u"J_City_232700"_s;
        QTest::newRow("group id") << u"广东"_s << 166 << u"广东"_s << u"J_Group_3"_s;
        QTest::newRow("city of 广东") << u"广州市"_s << 167 << u"广东"_s << u"J_City_441500"_s;
        QTest::newRow("abroad") << u"海外"_s << 424 << u"海外"_s << u"J_Province_990000"_s;
        QTest::newRow("odd numbering kept") << u"长沙"_s << 115 << u"湖南"_s << u"J_City_433100"_s;
        QTest::newRow("no match") << u"国外"_s << 0 << QString() << QString();
        QTest::newRow("latin letters") << u"Beijing"_s << 0 << QString() << QString();
        QTest::newRow("empty") << QString() << 0 << QString() << QString();
    }
    void matchRegion_lastMatchWins()
    {
        QFETCH(QString, text);
        QFETCH(int, row);
        QFETCH(QString, province);
        QFETCH(QString, elementId);
        const std::optional<RegionMatch> match = MatchRegion(text);
        QCOMPARE(match.has_value(), row != 0);
        if (!match)
            return;
        QCOMPARE(match->row, row);
        QCOMPARE(match->entry->province.toString(), province);
        QCOMPARE(match->entry->elementId.toString(), elementId);
        QCOMPARE(&RegionTable::entry(row), match->entry);
    }

    // Found in one pass over the text, the match is still the last entry of
    // the table whose name the text holds: every name alone, behind and
    // before another, and inside an address.
    void matchRegion_sameAsTryingEveryEntry()
    {
        const auto entries = RegionTable::entries();
        const auto scanned = [&entries](QStringView text) {
            for (size_t i = entries.size(); i > 0; --i) {
                if (text.contains(entries[i - 1].name))
                    return int(i);
            }
            return 0;
        };
        for (size_t i = 0; i < entries.size(); ++i) {
            const QString name = entries[i].name.toString();
            const QString other = entries[(i * 37 + 11) % entries.size()].name.toString();
            const QStringList texts{name,         name + other,
                                    other + name, u"收货地址：%1省%2市某区"_s.arg(other, name),
                                    name.left(1), name.mid(1)};
            for (const QString &text : texts) {
                const std::optional<RegionMatch> match = MatchRegion(text);
                QCOMPARE(match ? match->row : 0, scanned(text));
            }
        }
    }

    void resolveAddress_provinceThenCity_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("resolved"); // province/city, empty when nothing resolves
        QTest::newRow("whole address") << u"江苏省南京市鼓楼区中山路1号"_s << u"江苏/南京"_s;
        QTest::newRow("marketplace export") << u"江苏省 南京市 鼓楼区"_s << u"江苏/南京"_s;
        QTest::newRow("city named as a road elsewhere") << u"广东省中山市"_s << u"广东/中山"_s;
        QTest::newRow("city of another province") << u"北京市朝阳区"_s << u"北京/"_s;
        QTest::newRow("longer name at the same place") << u"海南藏族自治州"_s << u"青海/海南藏族"_s;
        QTest::newRow("province and city of one name") << u"吉林省吉林市"_s << u"吉林/吉林"_s;
        QTest::newRow("bare city") << u"南京"_s << u"江苏/南京"_s;
        QTest::newRow("bare province") << u"广东"_s << u"广东/"_s;
        QTest::newRow("nothing") << u"火星"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void resolveAddress_provinceThenCity()
    {
        QFETCH(QString, text);
        QFETCH(QString, resolved);
        const std::optional<ResolvedAddress> address = ResolveAddress(text);
        QCOMPARE(address.has_value(), !resolved.isEmpty());
        if (address) {
            QVERIFY(isProvinceEntry(*address->province));
            const QString city = address->city ? address->city->name.toString() : QString();
            QCOMPARE(address->province->name.toString() + u'/' + city, resolved);
        }
    }

    void resolveAddress_everyNameResolvesToItself()
    {
        int provinces = 0;
        for (const RegionEntry &entry : RegionTable::entries()) {
            const std::optional<ResolvedAddress> address = ResolveAddress(entry.name);
            QVERIFY2(address, qPrintable(entry.name.toString()));
            QCOMPARE(address->province->name, entry.province);
            if (isProvinceEntry(entry)) {
                ++provinces;
                continue;
            }
            QVERIFY2(address->city, qPrintable(entry.name.toString()));
            QCOMPARE(address->city->name, entry.name);
        }
        QCOMPARE(provinces, 35);
    }

    // A 地区 as couriers write it: one place, several, a short form, places
    // excluded, or an address that names a province with a city of its own.
    void readRegionNames_groupsShortFormsAndExclusions_data()
    {
        QTest::addColumn<QString>("region");
        QTest::addColumn<QString>("named");     // joined by "|"
        QTest::addColumn<QString>("excluded");  // joined by "|"
        QTest::addColumn<QString>("provinces"); // joined by "|"
        QTest::newRow("city") << u"南京"_s << u"南京"_s << QString() << QString();
        QTest::newRow("province") << u"江苏省"_s << u"江苏省"_s << QString() << u"江苏"_s;
        QTest::newRow("autonomous region")
            << u"广西壮族自治区"_s << u"广西壮族自治区"_s << QString() << u"广西"_s;
        QTest::newRow("provinces by 、") << u"山东、天津、江苏、河北、北京"_s << u"山东|天津|江苏|河北|北京"_s
                                         << QString() << u"山东|天津|江苏|河北|北京"_s;
        QTest::newRow("by ， , / and blanks")
            << u"湖南，湖北,河南/山西  陕西"_s << u"湖南|湖北|河南|山西|陕西"_s << QString()
            << u"湖南|湖北|河南|山西|陕西"_s;
        QTest::newRow("江浙沪") << u"江浙沪"_s << u"江苏|浙江|上海"_s << QString() << u"江苏|浙江|上海"_s;
        QTest::newRow("江浙沪皖") << u"江浙沪皖"_s << u"江苏|浙江|上海|安徽"_s << QString()
                                  << u"江苏|浙江|上海|安徽"_s;
        QTest::newRow("京津冀 and more")
            << u"京津冀、山西"_s << u"北京|天津|河北|山西"_s << QString() << u"北京|天津|河北|山西"_s;
        QTest::newRow("东三省") << u"东三省"_s << u"辽宁|吉林|黑龙江"_s << QString() << u"辽宁|吉林|黑龙江"_s;
        QTest::newRow("one city excluded") << u"广东(深圳除外)"_s << u"广东"_s << u"深圳"_s << u"广东"_s;
        QTest::newRow("two excluded, full-width brackets")
            << u"广东省（除深圳、珠海外）"_s << u"广东省"_s << u"深圳|珠海"_s << u"广东"_s;
        QTest::newRow("不含, no brackets") << u"广东 不含深圳市"_s << u"广东"_s << u"深圳市"_s << u"广东"_s;
        QTest::newRow("除外 as a part") << u"江苏、南京除外"_s << u"江苏"_s << u"南京"_s << u"江苏"_s;
        QTest::newRow("a note in brackets") << u"新疆(偏远地区)"_s << u"新疆"_s << QString() << u"新疆"_s;
        QTest::newRow("an address") << u"江苏省 南京市"_s << u"江苏省|南京市"_s << QString() << QString();
        QTest::newRow("cities of two provinces")
            << u"南京、杭州"_s << u"南京|杭州"_s << QString() << QString();
    }
    void readRegionNames_groupsShortFormsAndExclusions()
    {
        QFETCH(QString, region);
        QFETCH(QString, named);
        QFETCH(QString, excluded);
        QFETCH(QString, provinces);
        const RegionNames names = readRegionNames(region);
        QCOMPARE(names.named.join(u'|'), named);
        QCOMPARE(names.excluded.join(u'|'), excluded);
        QCOMPARE(names.provinces.join(u'|'), provinces);
        QCOMPARE(names.isGroup(), names.named.size() > 1 || !excluded.isEmpty());
        // The quick test never misses a group.
        QVERIFY(!names.isGroup() || mayNameSeveralPlaces(region));
    }

    void regionNames_excludes()
    {
        const RegionNames names = readRegionNames(u"广东(深圳除外)");
        QVERIFY(names.excludes(u"深圳"));
        QVERIFY(names.excludes(u"深圳市"));
        QVERIFY(names.excludes(u"圳"));
        QVERIFY(!names.excludes(u"广州"));
        QVERIFY(!names.excludes(u"广东"));
        QVERIFY(!names.excludes(QString()));
    }
};

QTEST_GUILESS_MAIN(TestRegionTable)
#include "tst_regiontable.moc"

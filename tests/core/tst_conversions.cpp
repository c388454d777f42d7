#include <core/numbertext.h>
#include <core/parcelsize.h>
#include <core/schema.h>

#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

class TestConversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numberToText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << u"0"_s;
        QTest::newRow("negative zero") << -0.0 << u"0"_s;
        QTest::newRow("integral") << 158.0 << u"158"_s;
        QTest::newRow("negative integral") << -2.0 << u"-2"_s;
        QTest::newRow("half") << 63.5 << u"63.5"_s;
        QTest::newRow("float residue") << 0.1 + 0.2 << u"0.3"_s;
        QTest::newRow("residue below") << 1.1 * 3 << u"3.3"_s;
        QTest::newRow("third") << 1.0 / 3 << u"0.333333333333333"_s;
        QTest::newRow("tiny, no exponent") << 0.0000001 << u"0.0000001"_s;
        QTest::newRow("huge, no exponent") << 1e20 << u"100000000000000000000"_s;
    }
    void numberToText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(Kuaidi::numberToText(value), text);
    }

    void textToNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << u"10"_s << 10.0;
        QTest::newRow("decimal") << u"12.5"_s << 12.5;
        QTest::newRow("unit after number") << u"12.5元"_s << 12.5;
        QTest::newRow("full-width") << u"１２．５"_s << 12.5;
        QTest::newRow("full-width minus") << u"－3"_s << -3.0;
        QTest::newRow("negative") << u"-2"_s << -2.0;
        QTest::newRow("blanks around") << u" 7 "_s << 7.0;
        QTest::newRow("leading point") << u".5"_s << 0.5;
        QTest::newRow("not filled") << u"未填"_s << 0.0;
        QTest::newRow("empty marker") << u"空"_s << 0.0;
        QTest::newRow("empty") << QString() << 0.0;
        QTest::newRow("text before number") << u"约12"_s << 0.0;
        QTest::newRow("lone sign") << u"-"_s << 0.0;
        QTest::newRow("plus signs") << u"+4"_s << 4.0;
        QTest::newRow("full-width plus") << u"＋4"_s << 4.0;
        QTest::newRow("blank before only") << u"  7.25"_s << 7.25;
        QTest::newRow("tab after only") << u"7.25\t"_s << 7.25;
        QTest::newRow("trailing point") << u"3."_s << 3.0;
        QTest::newRow("second point ends it") << u"1.2.3"_s << 1.2;
        // Past 15 digits or 22 decimals the full conversion takes over.
        QTest::newRow("17 digits") << u"12345678901234567"_s << 12345678901234567.0;
        QTest::newRow("17 digits, full-width")
            << u"１２３４５６７８９０１２３４５６７"_s << 12345678901234567.0;
        QTest::newRow("23 decimals") << u"0.00000000000000000000001"_s << 1e-23;
        QTest::newRow("-16 digits.5") << u"-1234567890123456.5"_s << -1234567890123456.5;
    }
    void textToNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(Kuaidi::textToNumber(text), value);
    }

    void parseWeight_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("weight"); // 0: refused
        QTest::newRow("integral") << u"3"_s << 3.0;
        QTest::newRow("decimal with blanks") << u" 2.5 "_s << 2.5;
        QTest::newRow("full-width") << u"１０"_s << 10.0;
        QTest::newRow("below one kilogram") << u"0.5"_s << 0.5;
        QTest::newRow("zero") << u"0"_s << 0.0;
        QTest::newRow("negative") << u"-1"_s << 0.0;
        QTest::newRow("letters") << u"abc"_s << 0.0;
        QTest::newRow("unit typed") << u"2kg"_s << 0.0;
        QTest::newRow("empty") << QString() << 0.0;
    }
    void parseWeight()
    {
        QFETCH(QString, text);
        QFETCH(double, weight);
        const std::optional<double> parsed = Kuaidi::parseWeight(text);
        QCOMPARE(parsed.value_or(0.0), weight);
    }

    void dimensionsToCubicMetres_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("cubicMetres"); // -1: none
        QTest::newRow("times sign") << u"30×20×10"_s << 0.006;
        QTest::newRow("asterisks and blanks") << u" 30 * 20 * 10 "_s << 0.006;
        QTest::newRow("letter x, unit after") << u"50x40X30cm"_s << 0.06;
        QTest::newRow("units on each side") << u"30厘米×20厘米×10厘米"_s << 0.006;
        QTest::newRow("full-width") << u"３０＊２０ｘ１０"_s << 0.006;
        QTest::newRow("decimals") << u"10.5×10×10"_s << 0.00105;
        QTest::newRow("two sides") << u"30×20"_s << -1.0;
        QTest::newRow("four sides") << u"30×20×10×5"_s << -1.0;
        QTest::newRow("a side of zero") << u"30×0×10"_s << -1.0;
        QTest::newRow("a negative side") << u"30×-20×10"_s << -1.0;
        QTest::newRow("a side missing") << u"30××10"_s << -1.0;
        QTest::newRow("words") << u"大箱子"_s << -1.0;
        QTest::newRow("empty") << QString() << -1.0;
    }
    void dimensionsToCubicMetres()
    {
        QFETCH(QString, text);
        QFETCH(double, cubicMetres);
        const std::optional<double> volume = Kuaidi::dimensionsToCubicMetres(text);
        QCOMPARE(volume.value_or(-1), cubicMetres);
    }

    void normalisedColumnTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("normalised");
        QTest::newRow("unit") << u"首重(元)"_s << u"首重"_s;
        QTest::newRow("full-width, blanks") << u" 续重（元/KG） "_s << u"续重"_s;
        QTest::newRow("mixed brackets") << u"首重(1KG）"_s << u"首重"_s;
        QTest::newRow("two notes") << u"首重(8.01-30)价(元)"_s << u"首重价"_s;
        QTest::newRow("nested: the inner one") << u"续重((5000克以内))"_s << u"续重()"_s;
        QTest::newRow("unclosed") << u"地区(省"_s << u"地区(省"_s;
        QTest::newRow("closing alone") << u"地区)"_s << u"地区)"_s;
        QTest::newRow("empty brackets") << u"到达时间()"_s << u"到达时间"_s;
        QTest::newRow("nothing else") << u"（备注）"_s << QString();
    }
    void normalisedColumnTitle()
    {
        QFETCH(QString, title);
        QFETCH(QString, normalised);
        QCOMPARE(Kuaidi::normalisedColumnTitle(title), normalised);
    }

    void priceSetColumns_followTheLevelAndFieldRule()
    {
        QCOMPARE(RateColumns().size(), 41);
        QCOMPARE(RateColumns().at(ColumnArrivalTime), u"到达时间"_s);
        QCOMPARE(priceSetColumnIndex(3, FieldAdditionalWeight), 26);
        QCOMPARE(RateColumns().at(26), u"三星客户续重价格"_s);
        QCOMPARE(RateColumns().at(10), u"原参数价格首重价格"_s);
        QCOMPARE(RateColumns().at(39), u"五星客户其他手续费"_s);
        QCOMPARE(rateColumnShortTitles().size(), 41);
        QCOMPARE(rateColumnShortTitles().at(39), u"5星其他"_s);
        QCOMPARE(levelIndex(u"五星客户"), 5);
        QCOMPARE(levelIndex(u"六星客户"), -1);
    }
};

QTEST_GUILESS_MAIN(TestConversions)
#include "tst_conversions.moc"

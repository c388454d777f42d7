#include "../common/sampledb.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <fees/feecurve.h>
#include <fees/feequote.h>

#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

BillingRules rulesOf(const QStringList &texts)
{
    QString error;
    const std::optional<BillingRules> rules = billingRulesFromTexts(texts, &error);
    if (!rules)
        qFatal("bad rules in a test: %s", qPrintable(error));
    return *rules;
}

// A courier's row: 首重, 续重, no band surcharges or other fee unless
// @p cells says otherwise (column → text), under @p rules.
CurveRow courier(const QString &name, const QString &first, const QString &additional,
                 const QStringList &rules = {}, const QHash<int, QString> &cells = {})
{
    QStringList row = KuaidiTest::rateRow(u"1"_s, u"杭州"_s, first, additional, u"0"_s, u"0"_s, u"0"_s);
    row.resize(PricedColumnCount);
    for (auto cell = cells.cbegin(); cell != cells.cend(); ++cell)
        row[cell.key()] = cell.value();
    return curveRow(name, row, rulesOf(rules));
}

// The fee as a single quote computes it: what every piece must agree with.
std::optional<double> quotedFee(const CurveRow &row, double weight, std::optional<double> volume, int level)
{
    const std::optional<FeeFigures> figures = computeFeeFigures(
        row.numbers.constData(), row.ownFirstPriced, billedWeight(weight, volume, row.rules), level);
    if (figures && figures->priced && figures->total > 0)
        return figures->total;
    return std::nullopt;
}

// "0 甲" from 0 kg, ">11 乙" from just above 11 kg.
QStringList crossoverTexts(const QList<FeeCurve::Crossover> &crossovers)
{
    QStringList texts;
    for (const FeeCurve::Crossover &c : crossovers)
        texts << (c.above && c.from > 0 ? u">"_s : QString()) + numberToText(std::round(c.from * 1e6) / 1e6) +
                     u' ' + c.courier;
    return texts;
}

} // namespace

Q_DECLARE_METATYPE(Kuaidi::CurveRow)

class TestFeeCurve : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exactCrossovers_data()
    {
        QTest::addColumn<QList<CurveRow>>("rows");
        QTest::addColumn<int>("level");
        QTest::addColumn<double>("volume"); // m³, 0 for none
        QTest::addColumn<QStringList>("crossovers");

        // 甲 = 2w + 3, 乙 = w + 14 above the first kilogram.
        QTest::newRow("lines cross between limits")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"2"_s), courier(u"乙"_s, u"15"_s, u"1"_s)} << 0
            << 0.0 << QStringList{u"0 甲"_s, u">11 乙"_s};
        // 乙 rounds up to whole kilograms: 4.5 + 1.2 a started kilogram;
        // 甲 = 4 + w. 乙 loses at each step and wins back along the way,
        // until it rises too fast.
        QTest::newRow("rounded fee steps above each kilogram")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s),
                               courier(u"乙"_s, u"4.5"_s, u"1.2"_s, {u"1"_s})}
            << 0 << 0.0
            << QStringList{u"0 乙"_s, u">1 甲"_s, u">1.7 乙"_s, u">2 甲"_s, u">2.9 乙"_s, u">3 甲"_s};
        QTest::newRow("half-kilogram rounding")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s),
                               courier(u"乙"_s, u"4.5"_s, u"1.2"_s, {u"0.5"_s})}
            << 0 << 0.0 << QStringList{u"0 乙"_s,  u">1 甲"_s,   u">1.1 乙"_s, u">1.5 甲"_s, u">1.7 乙"_s,
                                       u">2 甲"_s, u">2.3 乙"_s, u">2.5 甲"_s, u">2.9 乙"_s, u">3 甲"_s};
        // 甲 = w, at least 6; 乙 = 5 + w / 2.
        QTest::newRow("minimum fee") << QList<CurveRow>{courier(u"甲"_s, u"1"_s, u"1"_s, {},
                                                                {{ColumnMinimumFee, u"6"_s}}),
                                                        courier(u"乙"_s, u"5.5"_s, u"0.5"_s)}
                                     << 0 << 0.0 << QStringList{u"0 乙"_s, u">2 甲"_s, u">10 乙"_s};
        // 甲: 4 up to 1 kg, 6 up to 3 kg, then 5 + 2 a kilogram; 乙 = 3.5 + w.
        QTest::newRow("weight brackets")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"2"_s, {u"不取整"_s, u"1"_s, u"0"_s, u"1,3"_s},
                                       {{bracketColumnIndex(0), u"4"_s}, {bracketColumnIndex(1), u"6"_s}}),
                               courier(u"乙"_s, u"4.5"_s, u"1"_s)}
            << 0 << 0.0 << QStringList{u"0 甲"_s, u">1 乙"_s, u">2.5 甲"_s, u">3 乙"_s};
        // 续重单位 0.5 kg: 甲's 1 is for each half kilogram (5 + 2 × (w − 1)).
        QTest::newRow("additional price per half kilogram")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s,
                                       {u"不取整"_s, u"1"_s, u"0"_s, u""_s, u""_s, u"全程"_s, u"0.5"_s}),
                               courier(u"乙"_s, u"10"_s, u"1"_s)}
            << 0 << 0.0 << QStringList{u"0 甲"_s, u">6 乙"_s};
        // From 10 kg 甲 pays 0.5 a kilogram: for the part above 10 kg
        // (5 + 18 + (w − 10) / 2), or for the whole (5 + (w − 1) / 2).
        QTest::newRow("band priced by parts")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"2"_s,
                                       {u"不取整"_s, u"1"_s, u"0"_s, u""_s, u"10"_s, u"超出部分"_s},
                                       {{bandColumnIndex(0, FieldAdditionalWeight), u"0.5"_s}}),
                               courier(u"乙"_s, u"10"_s, u"1"_s)}
            << 0 << 0.0 << QStringList{u"0 甲"_s, u">6 乙"_s, u">18 甲"_s};
        QTest::newRow("band priced whole")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"2"_s,
                                       {u"不取整"_s, u"1"_s, u"0"_s, u""_s, u"10"_s, u"全程"_s},
                                       {{bandColumnIndex(0, FieldAdditionalWeight), u"0.5"_s}}),
                               courier(u"乙"_s, u"10"_s, u"1"_s)}
            << 0 << 0.0 << QStringList{u"0 甲"_s, u">6 乙"_s, u">10 甲"_s};
        QTest::newRow("over the maximum weight")
            << QList<CurveRow>{courier(
                                   u"甲"_s, u"1"_s, u"0.5"_s,
                                   {u"不取整"_s, u"1"_s, u"0"_s, u""_s, u""_s, u"全程"_s, u"1"_s, u"30"_s}),
                               courier(u"乙"_s, u"2"_s, u"1"_s)}
            << 0 << 0.0 << QStringList{u"0 甲"_s, u">30 乙"_s};
        // 0.03 m³ at 6000 is 5 kg: 甲 pays for 5 kg up to 5 kg.
        QTest::newRow("volume weight")
            << QList<CurveRow>{courier(u"甲"_s, u"1"_s, u"1"_s, {u"不取整"_s, u"1"_s, u"6000"_s}),
                               courier(u"乙"_s, u"3"_s, u"1"_s)}
            << 0 << 0.03 << QStringList{u"0 乙"_s, u">3 甲"_s};
        // 甲's 20–30 kg surcharge is by the kilogram: 乙 wins from 20 kg to 30.
        QTest::newRow("band surcharge")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s, {}, {{ColumnSurcharge20To30, u"1"_s}}),
                               courier(u"乙"_s, u"6"_s, u"1"_s)}
            << 0 << 0.0 << QStringList{u"0 甲"_s, u">20 乙"_s, u">30 甲"_s};
        QTest::newRow("the same prices: the first stays")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s), courier(u"乙"_s, u"5"_s, u"1"_s)} << 0 << 0.0
            << QStringList{u"0 甲"_s};
        // A star level that takes the whole first price: nothing to pay up
        // to 1 kg is no fee.
        QTest::newRow("no fee where the level leaves nothing to pay")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s, {},
                                       {{priceSetColumnIndex(1, FieldFirstWeight), u"-5"_s}}),
                               courier(u"乙"_s, u"2"_s, u"1"_s)}
            << 1 << 0.0 << QStringList{u"0 乙"_s, u">1 甲"_s};
        QTest::newRow("a courier without a price is none")
            << QList<CurveRow>{courier(u"甲"_s, u"不发"_s, u""_s), courier(u"乙"_s, u"2"_s, u"1"_s)} << 0
            << 0.0 << QStringList{u"0 乙"_s};
    }
    void exactCrossovers()
    {
        QFETCH(QList<CurveRow>, rows);
        QFETCH(int, level);
        QFETCH(double, volume);
        QFETCH(QStringList, crossovers);
        const std::optional<double> m3 = volume > 0 ? std::optional<double>(volume) : std::nullopt;
        const ExactFeeCurve curve = computeExactFeeCurve(rows, level, m3);
        QCOMPARE(crossoverTexts(curve.crossovers), crossovers);

        // Every line agrees with a single quote, at the limits and between.
        QList<double> weights;
        for (int i = 1; i <= 5000; ++i)
            weights << i * 0.01;
        for (const QList<FeePiece> &pieces : curve.pieces) {
            for (const FeePiece &piece : pieces)
                weights << piece.to << piece.from + 1e-6;
        }
        for (int c = 0; c < curve.couriers.size(); ++c) {
            const CurveRow &row = *std::find_if(rows.cbegin(), rows.cend(), [&](const CurveRow &r) {
                return r.courier == curve.couriers.at(c);
            });
            for (const double w : std::as_const(weights)) {
                const std::optional<double> quoted = quotedFee(row, w, m3, level);
                const std::optional<double> drawn = curve.feeAt(c, w);
                QVERIFY2(
                    quoted.has_value() == drawn.has_value() && (!quoted || std::abs(*quoted - *drawn) < 1e-6),
                    qPrintable(u"%1 at %2 kg: quoted %3, curve %4"_s.arg(
                        curve.couriers.at(c), numberToText(w), quoted ? numberToText(*quoted) : u"none"_s,
                        drawn ? numberToText(*drawn) : u"none"_s)));
            }
        }
        // The cheapest line is the lowest of them all.
        for (const ExactFeeCurve::Cheapest &cheapest : curve.cheapest) {
            for (const double w : {cheapest.piece.from + 1e-6, (cheapest.piece.from + cheapest.piece.to) / 2,
                                   cheapest.piece.to}) {
                QCOMPARE(curve.feeAt(cheapest.courier, w).value_or(-1), cheapest.piece.feeAt(w));
                for (int c = 0; c < curve.couriers.size(); ++c)
                    QVERIFY(curve.feeAt(c, w).value_or(1e9) >= cheapest.piece.feeAt(w) - 1e-6);
            }
        }
    }

    void exactCurve_reachesTheMaximumWeightWithinItsPoints_data()
    {
        QTest::addColumn<QList<CurveRow>>("rows");
        QTest::addColumn<double>("end");
        QTest::addColumn<bool>("cut");
        const auto upTo = [](const QString &maximum, const QString &rounding = u"不取整"_s) {
            return QStringList{rounding, u"1"_s, u"0"_s, u""_s, u""_s, u"全程"_s, u"1"_s, maximum};
        };
        QTest::newRow("50 kg") << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s)} << 50.0 << false;
        QTest::newRow("below 50 kg, the curve still shows 50")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s, upTo(u"30"_s))} << 50.0 << false;
        QTest::newRow("80 kg") << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s, upTo(u"80"_s)),
                                                  courier(u"乙"_s, u"6"_s, u"1"_s)}
                               << 80.0 << false;
        // As far as 10,000 weights at 0.5 kg reach.
        QTest::newRow("a million kilograms")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s, upTo(u"1000000"_s))} << 5000.0 << true;
        // 5,000 steps of half a kilogram, two corners each.
        QTest::newRow("rounded to 0.5 kg, a million kilograms")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s, upTo(u"1000000"_s, u"0.5"_s))} << 2500.0
            << true;
        QTest::newRow("a courier without a price stretches nothing")
            << QList<CurveRow>{courier(u"甲"_s, u"5"_s, u"1"_s),
                               courier(u"乙"_s, u"不发"_s, u""_s, upTo(u"900"_s))}
            << 50.0 << false;
    }
    void exactCurve_reachesTheMaximumWeightWithinItsPoints()
    {
        QFETCH(QList<CurveRow>, rows);
        QFETCH(double, end);
        QFETCH(bool, cut);
        const ExactFeeCurve curve = computeExactFeeCurve(rows, 0, std::nullopt);
        QCOMPARE(curve.end, end);
        QCOMPARE(curve.isCut(), cut);
        QVERIFY(!curve.isEmpty());
        for (const QList<FeePiece> &pieces : curve.pieces) {
            QVERIFY(pieces.size() <= MaxCurvePoints / 2);
            QCOMPARE(pieces.last().to, end);
        }
        QVERIFY(curve.cheapest.size() <= MaxCurvePoints / 2);
    }

    void curveWeightCount_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<qsizetype>("count");
        QTest::newRow("0.5") << 0.5 << qsizetype(100);
        QTest::newRow("0.3") << 0.3 << qsizetype(166);
        QTest::newRow("0.005: the most") << 0.005 << MaxCurvePoints;
        QTest::newRow("0.0049: more") << 0.0049 << MaxCurvePoints + 1;
        QTest::newRow("0.0000001: more, not counted") << 0.0000001 << MaxCurvePoints + 1;
        QTest::newRow("0") << 0.0 << qsizetype(0);
    }
    void curveWeightCount()
    {
        QFETCH(double, step);
        QFETCH(qsizetype, count);
        QCOMPARE(Kuaidi::curveWeightCount(step, MaximumWeight), count);
    }
};

QTEST_GUILESS_MAIN(TestFeeCurve)
#include "tst_feecurve.moc"

#include "../common/guitest.h"
#include "../common/sampledb.h"

#include <calculator/calculatorwindow.h>
#include <calculator/curvewindow.h>
#include <calculator/feequerypage.h>
#include <core/billingrules.h>
#include <ratedb/ratedatabase.h>

#include <QChart>
#include <QChartView>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

using namespace Qt::StringLiterals;
using namespace Kuaidi;
using KuaidiTest::child;

class TestCurveWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_path = m_dir.filePath(u"rates.db"_s);
        // 甲 cheapest up to 11 kg, 乙 above; 丙 dearer throughout; 丁 gives no price.
        using KuaidiTest::rateRow;
        KuaidiTest::createRateTemplate(m_path, u"甲"_s, {rateRow(u"1"_s, u"杭州"_s, u"5"_s, u"2"_s)});
        KuaidiTest::createRateTemplate(m_path, u"乙"_s, {rateRow(u"1"_s, u"浙江"_s, u"15"_s, u"1"_s)});
        KuaidiTest::createRateTemplate(m_path, u"丙"_s, {rateRow(u"1"_s, u"杭州"_s, u"30"_s, u"3"_s)});
        KuaidiTest::createRateTemplate(m_path, u"丁"_s, {rateRow(u"1"_s, u"杭州"_s, u"不发"_s, u""_s)});
    }

    void followsTheCalculatorAndDrawsEachCourier()
    {
        CalculatorWindow window(m_path);
        window.show();
        auto *destination = child<QLineEdit>(&window, u"编辑框_目的地"_s);
        destination->setText(u"杭州"_s);
        QTest::mouseClick(child<QPushButton>(&window, u"按钮_运费曲线"_s), Qt::LeftButton);
        CurveWindow *curves = window.findChild<CurveWindow *>();
        QVERIFY(curves && curves->isVisible());

        QStringList named;
        for (QAbstractSeries *series : qobject_cast<QChartView *>(curves->chartView())->chart()->series())
            named << series->name();
        QCOMPARE(named, (QStringList{u"甲"_s, u"乙"_s, u"丙"_s, u"最便宜"_s, u"20KG"_s, u"30KG"_s}));
        // 甲's corners: flat over the first kilogram (5 + other fee 3), then
        // 2 a kilogram, stepping up where the 20–30 and 30–50 kg surcharges
        // (1 and 2 a kilogram) begin.
        auto *first = qobject_cast<QLineSeries *>(
            qobject_cast<QChartView *>(curves->chartView())->chart()->series().first());
        QCOMPARE(first->points(),
                 (QList<QPointF>{{0, 8}, {1, 8}, {20, 46}, {20, 66}, {30, 96}, {30, 126}, {50, 206}}));
        // Exactly where the lines cross, not at the next step.
        QCOMPARE(curves->crossoverText(), u"0 kg 起 甲 最便宜\n超过 11 kg 乙 最便宜"_s);
        // The pointer on a courier's line names it and its fee there; a band
        // limit runs the height of the fee axis.
        Q_EMIT first->hovered(QPointF(10, 27), true);
        QCOMPARE(QToolTip::text(), u"甲\n10 KG：26 元"_s);
        auto *limit = qobject_cast<QLineSeries *>(
            qobject_cast<QChartView *>(curves->chartView())->chart()->series().last());
        QCOMPARE(limit->points(), (QList<QPointF>{{30, 0},
                                                  {30, qobject_cast<QChartView *>(curves->chartView())
                                                           ->chart()
                                                           ->axes(Qt::Vertical)
                                                           .first()
                                                           ->property("max")
                                                           .toDouble()}}));

        // The open window follows the destination.
        destination->setText(u"火星"_s);
        QCOMPARE(curves->crossoverText(), u"没有快递为这个目的地报价"_s);
    }

    // A fee rounded up to whole kilograms is drawn as stairs: upright where
    // it steps, flat between, never a slope from one step to the next.
    void roundedFeeDrawnAsSteps()
    {
        const QString path = m_dir.filePath(u"rounded.db"_s);
        KuaidiTest::createRateTemplate(path, u"甲"_s,
                                       {KuaidiTest::rateRow(u"1"_s, u"杭州"_s, u"5"_s, u"2"_s)});
        RateDatabase database(path);
        QVERIFY(database.open());
        QVERIFY(database.setBillingRules(u"甲"_s, BillingRules(BillingRules::Rounding::Kilogram, 1, 0)));
        CurveWindow curves(database);
        curves.showCurves(u"杭州"_s, u"原参数价格"_s, std::nullopt);
        auto *line = qobject_cast<QLineSeries *>(
            qobject_cast<QChartView *>(curves.chartView())->chart()->series().first());
        QCOMPARE(line->name(), u"甲"_s);
        const QList<QPointF> points = line->points();
        QVERIFY(points.size() > 90);
        for (qsizetype i = 1; i < points.size(); ++i) {
            const QPointF a = points.at(i - 1);
            const QPointF b = points.at(i);
            QVERIFY2(a.x() == b.x() || a.y() == b.y(),
                     qPrintable(u"(%1, %2) to (%3, %4)"_s.arg(a.x()).arg(a.y()).arg(b.x()).arg(b.y())));
        }
        QCOMPARE(points.at(2), QPointF(1, 10)); // 1.01 kg pays for 2
    }
};

QTEST_MAIN(TestCurveWindow)
#include "tst_curvewindow.moc"

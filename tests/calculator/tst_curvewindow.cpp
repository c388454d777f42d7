#include "../common/guitest.h"
#include "../common/sampledb.h"

#include <calculator/calculatorwindow.h>
#include <calculator/curvewindow.h>
#include <calculator/feequerypage.h>
#include <ratedb/ratedatabase.h>

#include <QChart>
#include <QChartView>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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
        for (QAbstractSeries *series : curves->chartView()->chart()->series())
            named << series->name();
        QCOMPARE(named, (QStringList{u"甲"_s, u"乙"_s, u"丙"_s, u"最便宜"_s, u"20KG"_s, u"30KG"_s}));
        auto *first = qobject_cast<QLineSeries *>(curves->chartView()->chart()->series().first());
        QCOMPARE(first->count(), 100);
        QCOMPARE(first->at(0), QPointF(0.5, 8)); // 5 + other fee 3
        QCOMPARE(curves->crossoverText(), u"0.5 kg 起 甲 最便宜\n11.5 kg 起 乙 最便宜"_s);

        // The open window follows the destination.
        destination->setText(u"火星"_s);
        QCOMPARE(curves->crossoverText(), u"没有快递为这个目的地报价"_s);
    }
};

QTEST_MAIN(TestCurveWindow)
#include "tst_curvewindow.moc"

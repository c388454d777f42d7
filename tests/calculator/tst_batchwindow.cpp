#include "../common/guitest.h"
#include "../common/sampledb.h"

#include <calculator/batchwindow.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Kuaidi;
using KuaidiTest::child;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestBatchWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<RateDatabase> m_db;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(u"kuaidi-tests"_s);
        QSettings().clear();
        const QString path = m_dir.filePath(u"rates.db"_s);
        KuaidiTest::createRateTemplate(path, u"甲"_s,
                                       {KuaidiTest::rateRow(u"1"_s, u"南京"_s, u"10"_s, u"2"_s)});
        KuaidiTest::createRateTemplate(path, u"乙"_s,
                                       {KuaidiTest::rateRow(u"1"_s, u"江苏"_s, u"6"_s, u"1"_s)});
        m_db = std::make_unique<RateDatabase>(path);
    }

    void runsCancelsAndExports()
    {
        KuaidiTest::MessageRecorder messages;
        const QString orders = m_dir.filePath(u"orders.csv"_s);
        writeFile(orders, "订单号,收货地址,重量(kg)\nA1,江苏省南京市鼓楼区,2\nA2,火星,1\n");
        BatchWindow window(m_db.get());
        window.show();
        QString chosen = orders;
        Messages::setFileHandler([&chosen] { return chosen; });

        QTest::mouseClick(child<QPushButton>(&window, u"batchBrowse"_s), Qt::LeftButton);
        QCOMPARE(child<QComboBox>(&window, u"batchSheet"_s)->currentText(), u"orders"_s);
        QCOMPARE(QSettings().value(u"batch/lastFolder"_s).toString(), m_dir.path());
        QTest::mouseClick(child<QPushButton>(&window, u"batchRun"_s), Qt::LeftButton);
        QTRY_VERIFY(!window.isRunning());
        auto *results = child<ReportList>(&window, u"batchResults"_s);
        QCOMPARE(results->rowCount(), 2);
        QCOMPARE(KuaidiTest::columnTexts(results, 5), (QStringList{u"乙"_s, u""_s}));
        QCOMPARE(results->table()->cellTone(0, 4), TextTableModel::Tone::Best);
        QCOMPARE(child<QProgressBar>(&window, u"batchProgress"_s)->value(), 100);
        QVERIFY(child<QLabel>(&window, u"batchSummary"_s)->text().contains(u"每单选最便宜"));

        // Exported as sorted on screen.
        KuaidiTest::clickHeader(results, 0);
        KuaidiTest::clickHeader(results, 0);
        chosen = m_dir.filePath(u"result.xlsx"_s);
        QTest::mouseClick(child<QPushButton>(&window, u"batchExport"_s), Qt::LeftButton);
        QCOMPARE(messages.texts().value(0), u"导出成功："_s + QDir::toNativeSeparators(chosen));
        Workbook exported;
        QVERIFY(exported.open(chosen));
        QCOMPARE(exported.sheetNames(), (QStringList{u"报价"_s, u"汇总"_s}));
        QCOMPARE(exported.readSheet(u"报价"_s)->rows.size(), 2);

        // A bill without its amount column: a message naming it, no table.
        messages.clear();
        child<QComboBox>(&window, u"batchMode"_s)->setCurrentIndex(1);
        QVERIFY(child<QComboBox>(&window, u"batchTemplate"_s)->isEnabled());
        QTest::mouseClick(child<QPushButton>(&window, u"batchRun"_s), Qt::LeftButton);
        QTRY_VERIFY(!window.isRunning());
        QVERIFY(messages.texts().value(0).contains(u"金额"));
        QCOMPARE(results->rowCount(), 0);

        // A long list cancelled: nothing shown, nothing to export.
        QByteArray many = "收货地址,重量,运费\n";
        for (int i = 0; i < 200000; ++i)
            many += "南京,1,13\n";
        writeFile(orders, many);
        window.openFile(orders);
        QTest::mouseClick(child<QPushButton>(&window, u"batchRun"_s), Qt::LeftButton);
        QVERIFY(window.isRunning());
        QTest::mouseClick(child<QPushButton>(&window, u"batchCancel"_s), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning(), 20000);
        QCOMPARE(results->rowCount(), 0);
        QCOMPARE(child<QLabel>(&window, u"batchSummary"_s)->text(), u"已取消"_s);
        QVERIFY(!child<QPushButton>(&window, u"batchExport"_s)->isEnabled());
        Messages::setFileHandler({});
    }

    void sortsNumbersAsNumbersAndReversesOnASecondClick()
    {
        const QString orders = m_dir.filePath(u"weights.csv"_s);
        writeFile(orders,
                  "订单号,收货地址,重量\nB1,南京,25\nB2,南京,3.2\nB3,南京,28\nB4,南京,1.8kg\nB5,南京,12.5\n");
        BatchWindow window(m_db.get());
        window.show();
        QVERIFY(window.openFile(orders));
        QTest::mouseClick(child<QPushButton>(&window, u"batchRun"_s), Qt::LeftButton);
        QTRY_VERIFY(!window.isRunning());
        auto *results = child<ReportList>(&window, u"batchResults"_s);
        KuaidiTest::clickHeader(results, 2);
        QCOMPARE(KuaidiTest::columnTexts(results, 2),
                 (QStringList{u"1.8kg"_s, u"3.2"_s, u"12.5"_s, u"25"_s, u"28"_s}));
        QCOMPARE(results->table()->cellTone(0, 4), TextTableModel::Tone::Best); // marks move with their rows
        KuaidiTest::clickHeader(results, 2);
        QCOMPARE(KuaidiTest::columnTexts(results, 2),
                 (QStringList{u"28"_s, u"25"_s, u"12.5"_s, u"3.2"_s, u"1.8kg"_s}));
        KuaidiTest::clickHeader(results, 4); // 乙's fees
        QCOMPARE(KuaidiTest::columnTexts(results, 4),
                 (QStringList{u"9.8"_s, u"11.2"_s, u"20.5"_s, u"58"_s, u"64"_s}));
        KuaidiTest::clickHeader(results, 0);
        QCOMPARE(results->cell(0, 0), u"B1"_s);
    }

    void takesAPastedPath()
    {
        KuaidiTest::MessageRecorder messages;
        const QString orders = m_dir.filePath(u"pasted.csv"_s);
        writeFile(orders, "收货地址,重量\n南京,1\n");
        BatchWindow window(m_db.get());
        window.show();
        auto *file = child<QLineEdit>(&window, u"batchFile"_s);
        QCOMPARE(file->accessibleName(), u"文件"_s);
        file->setFocus();
        QTest::keyClicks(file, u"\"%1\""_s.arg(QDir::toNativeSeparators(orders)));
        QTest::keyClick(file, Qt::Key_Return);
        QCOMPARE(child<QComboBox>(&window, u"batchSheet"_s)->currentText(), u"pasted"_s);
        QCOMPARE(file->text(), QDir::toNativeSeparators(orders));
        QTest::mouseClick(child<QPushButton>(&window, u"batchRun"_s), Qt::LeftButton);
        QTRY_VERIFY(!window.isRunning());
        QCOMPARE(child<ReportList>(&window, u"batchResults"_s)->rowCount(), 1);
        // A path that is no file: said, and nothing left to run.
        file->setText(m_dir.filePath(u"missing.csv"_s));
        QTest::keyClick(file, Qt::Key_Return);
        QVERIFY(!messages.texts().isEmpty());
        QCOMPARE(child<QComboBox>(&window, u"batchSheet"_s)->count(), 0);
        messages.clear();
        QTest::mouseClick(child<QPushButton>(&window, u"batchRun"_s), Qt::LeftButton);
        QVERIFY(!window.isRunning());
    }

    void billCheckWithToleranceShowsOnlyOvercharges()
    {
        const QString bill = m_dir.filePath(u"bill.csv"_s);
        // 甲 charges 13 for 1 kg to 南京.
        writeFile(bill,
                  "运单号,收货地址,重量,运费\nW1,南京,1,13\nW2,南京,1,13.5\nW3,南京,1,14\nW4,南京,1,12\n");
        BatchWindow window(m_db.get());
        QVERIFY(window.openFile(bill));
        child<QComboBox>(&window, u"batchMode"_s)->setCurrentIndex(1);
        child<QComboBox>(&window, u"batchTemplate"_s)->setCurrentText(u"甲"_s);
        auto *tolerance = child<QDoubleSpinBox>(&window, u"batchTolerance"_s);
        QVERIFY(tolerance->isEnabled());
        QCOMPARE(tolerance->accessibleName(), u"容差（元）"_s);
        tolerance->setValue(0.5);
        QTest::mouseClick(child<QPushButton>(&window, u"batchRun"_s), Qt::LeftButton);
        QTRY_VERIFY(!window.isRunning());
        auto *results = child<ReportList>(&window, u"batchResults"_s);
        QCOMPARE(KuaidiTest::columnTexts(results, 6),
                 (QStringList{u"一致"_s, u"一致"_s, u"多收"_s, u"少收"_s}));
        auto *overchargedOnly = child<QCheckBox>(&window, u"batchOverchargedOnly"_s);
        QVERIFY(overchargedOnly->isEnabled());
        overchargedOnly->setChecked(true);
        QCOMPARE(KuaidiTest::columnTexts(results, 0), QStringList{u"W3"_s});
        QCOMPARE(results->table()->cellTone(0, 6), TextTableModel::Tone::Alarm);
        overchargedOnly->setChecked(false);
        QCOMPARE(results->rowCount(), 4);
    }
};

QTEST_MAIN(TestBatchWindow)
#include "tst_batchwindow.moc"

#include "../common/guitest.h"
#include "../common/sampledb.h"
#include "../common/testdata.h"

#include <calculator/calculatorwindow.h>
#include <calculator/columnmappingdialog.h>
#include <core/schema.h>
#include <import/accessreader.h>
#include <ratedb/ratedatabase.h>
#include <widgets/reportlist.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

class TestTemplatePages : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CalculatorWindow> openWindow(int page)
    {
        auto window = std::make_unique<CalculatorWindow>(m_path);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("window not exposed");
        child<QTabWidget>(window.get(), u"选择夹1"_s)->setCurrentIndex(page);
        return window;
    }

    void click(QWidget *window, const QString &button)
    {
        QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
    }

    void setText(QWidget *window, const QString &box, const QString &text)
    {
        child<QLineEdit>(window, box)->setText(text);
    }

    QList<QStringList> storedRows(const QString &name)
    {
        RateDatabase db(m_path);
        const std::optional<TextTable> table = db.readTemplate(name);
        return table ? table->rows : QList<QStringList>();
    }

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_path = m_dir.filePath(u"kuaidishuju.db"_s);
        QFile::remove(m_path);
        QDir(m_dir.filePath(u"backups"_s)).removeRecursively();
    }
    void cleanup() { Messages::setFileHandler({}); }

    // Damaged workbooks that crashed the spreadsheet library once: a message,
    // nothing loaded, and the window goes on.
    void newTemplate_damagedWorkbook_messageOnly_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sheet"); // the sheet chosen after listing, when it lists
        QTest::newRow("over-read") << u"xls-freexl-overread.xls"_s << QString();
        QTest::newRow("crash") << u"xls-freexl-segv.xls"_s << u"运费"_s;
    }
    void newTemplate_damagedWorkbook_messageOnly()
    {
        QFETCH(QString, file);
        QFETCH(QString, sheet);
        MessageRecorder messages;
        auto window = openWindow(1);
        Messages::setFileHandler([&file] { return testData(u"damaged/"_s + file); });
        click(window.get(), u"按钮1"_s);
        QCOMPARE(messages.heads(),
                 QStringList{u"无法读取该文件：文件已损坏或不完整，无法作为 Excel 工作簿读取"_s});
        QCOMPARE(child<ReportList>(window.get(), u"超级列表框1"_s)->rowCount(), 0);
        QCOMPARE(child<QComboBox>(window.get(), u"组合框1"_s)->currentText(), sheet);
        QVERIFY(window->isVisible());
    }

    void newTemplate_fromSheet_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xls") << u"运费表.xls"_s;
        QTest::newRow("xlsx") << u"运费表.xlsx"_s;
        QTest::newRow("csv, GBK") << u"运费-gbk.csv"_s;
        QTest::newRow("OpenDocument") << u"运费表.fods"_s;
    }
    void newTemplate_fromSheet()
    {
        QFETCH(QString, file);
        MessageRecorder messages;
        auto window = openWindow(1);
        Messages::setFileHandler([&file] { return testData(u"sheets/"_s + file); });
        auto *grid = child<ReportList>(window.get(), u"超级列表框1"_s);

        click(window.get(), u"按钮1"_s);
        QCOMPARE(messages.messages.size(), 0);
        QCOMPARE(grid->table()->columns(),
                 (QStringList{u"ID"_s, u"地区"_s, u"首重价格"_s, u"续重价格"_s, u"到达时间"_s}));
        QCOMPARE(columnTexts(grid, 0), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s}));

        // Pressed twice, the match leaves the list as one press does.
        click(window.get(), u"按钮2"_s);
        click(window.get(), u"按钮2"_s);
        QCOMPARE(grid->table()->columns(), (QStringList{u"ID"_s, u"地区"_s, u"省区"_s, u"市等级"_s,
                                                        u"首重价格"_s, u"续重价格"_s, u"到达时间"_s}));
        QCOMPARE(columnTexts(grid, ColumnProvince),
                 (QStringList{u"江苏"_s, u"吉林"_s, u"北京"_s, u"广东"_s}));

        setText(window.get(), u"编辑框_为模板命名"_s, u"汇通快递65"_s);
        setText(window.get(), u"编辑框_新建模板手续费1"_s, u"1"_s);
        setText(window.get(), u"编辑框_新建模板手续费2"_s, u"2"_s);
        setText(window.get(), u"编辑框_新建模板其他手续费"_s, u"3"_s);
        setText(window.get(), u"编辑框_新建模板联系方式"_s, u"王'五 400"_s);
        click(window.get(), u"按钮3"_s);
        click(window.get(), u"按钮3"_s);
        QCOMPARE(grid->table()->columns(), RateColumns());

        click(window.get(), u"按钮9"_s);
        QCOMPARE(messages.texts(), QStringList{u"保存成功！"_s});
        const QList<QStringList> rows = storedRows(u"汇通快递65"_s);
        QCOMPARE(rows.size(), 4);
        QStringList first{u"1"_s, u"江苏南京"_s, u"江苏"_s, QString(), u"10"_s,
                          u"5"_s, u"1"_s,        u"2"_s,    u"3"_s,    u"王'五 400"_s};
        for (int i = 0; i < 30; ++i)
            first << u"0"_s;
        first << u"2天"_s;
        QCOMPARE(rows.first(), first);
        QCOMPARE(rows.at(1).mid(0, 6),
                 (QStringList{u"2"_s, u"吉林"_s, u"吉林"_s, QString(), u"12.5"_s, u"6.5"_s}));
        QCOMPARE(rows.at(2).at(ColumnAdditionalWeight), QString());

        // The same name again: refused, the stored template untouched.
        messages.clear();
        setText(window.get(), u"编辑框_新建模板联系方式"_s, u"别的"_s);
        click(window.get(), u"按钮3"_s);
        click(window.get(), u"按钮9"_s);
        QCOMPARE(messages.heads(), QStringList{u"保存失败，请查看快递模板是否重名！"_s});
        QCOMPARE(storedRows(u"汇通快递65"_s), rows);
    }

    // An Access database lists its tables in the sheet chooser, and the
    // chosen table is read like a sheet: this one is no rate table, and the
    // page says why.
    void newTemplate_accessDatabaseTablesAsSheets()
    {
        if (!AccessReader::available())
            QSKIP("built without libmdb");
        MessageRecorder messages;
        auto window = openWindow(1);
        Messages::setFileHandler([] { return testData(u"access/jackcess_testV2007.accdb"_s); });
        click(window.get(), u"按钮1"_s);
        auto *sheets = child<QComboBox>(window.get(), u"组合框1"_s);
        QCOMPARE(sheets->count(), 4);
        QCOMPARE(sheets->itemText(0), u"Table1"_s);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY2(messages.texts().first().contains(u"缺少“地区”列"_s), qPrintable(messages.texts().first()));
    }

    void newTemplate_refusals_leavePageAndDatabaseAsTheyWere()
    {
        MessageRecorder messages;
        auto window = openWindow(1);
        auto *grid = child<ReportList>(window.get(), u"超级列表框1"_s);
        auto *sheets = child<QComboBox>(window.get(), u"组合框1"_s);
        Messages::setFileHandler([] { return testData(u"sheets/运费表.xlsx"_s); });
        click(window.get(), u"按钮1"_s);
        QCOMPARE(sheets->count(), 5);

        // A file that is no workbook: one message, nothing else changes.
        QTemporaryDir dir;
        const QString bogus = dir.filePath(u"报价.xls"_s);
        QFile f(bogus);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("PK\x03\x04 not really a zip");
        f.close();
        Messages::setFileHandler([&bogus] { return bogus; });
        click(window.get(), u"按钮1"_s);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.texts().first().startsWith(u"无法读取该文件："_s));
        QCOMPARE(sheets->count(), 5);
        QCOMPARE(grid->rowCount(), 4);

        // A header-only sheet: the columns, no rows.
        sheets->setCurrentIndex(sheets->findText(u"空表"_s));
        QVERIFY(grid->columnCount() > 1);
        QCOMPARE(grid->rowCount(), 0);

        // A bad name is refused before anything is written.
        sheets->setCurrentIndex(0);
        click(window.get(), u"按钮2"_s);
        click(window.get(), u"按钮3"_s);
        messages.clear();
        setText(window.get(), u"编辑框_为模板命名"_s, u"汇通快递 "_s);
        click(window.get(), u"按钮9"_s);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.texts().first().contains(u"空格"_s));
        QVERIFY(RateDatabase(m_path).templateNames().isEmpty());

        // Defaults that are not numbers.
        messages.clear();
        setText(window.get(), u"编辑框_新建模板其他手续费"_s, u"1,5"_s);
        click(window.get(), u"按钮3"_s);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.texts().first().contains(u"其他手续费"_s));
        setText(window.get(), u"编辑框_新建模板其他手续费"_s, QString());

        // A sheet without the price columns would price every parcel at 0.
        messages.clear();
        Messages::setFileHandler([] { return testData(u"sheets/引号.csv"_s); });
        click(window.get(), u"按钮1"_s);
        setText(window.get(), u"编辑框_为模板命名"_s, u"引号"_s);
        click(window.get(), u"按钮9"_s);
        // Said when the sheet is read, and again when it would be saved.
        QCOMPARE(messages.messages.size(), 2);
        QVERIFY(messages.texts().at(0).contains(u"缺少“续重价格”列"_s));
        QVERIFY(messages.texts().at(1).contains(u"缺少“续重价格”列"_s));
        QVERIFY(RateDatabase(m_path).templateNames().isEmpty());
    }

    void maintenance_rowsPricesContactsAndName()
    {
        createRateTemplate(
            m_path, u"圆通"_s,
            {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s, u"1"_s, u"2"_s, u"3"_s, u"甲"_s, u"次日"_s),
             rateRow(u"2"_s, u"上海"_s, u"12"_s, u"6"_s), rateRow(u"abc"_s, u"海外"_s, u"99"_s, u"9"_s)});
        createRateTemplate(m_path, u"中通"_s, {});
        MessageRecorder messages;
        auto window = openWindow(2);
        QWidget *w = window.get();
        auto *rows = child<ReportList>(w, u"超级列表框1_公司模板"_s);
        child<QComboBox>(w, u"组合框3"_s)->setCurrentIndex(0);
        QCOMPARE(messages.texts(), QStringList{u"成功！"_s});

        // Change a row: an emptied region is stored as "空", an emptied
        // arrival time stays empty; one message, after the statement.
        messages.clear();
        rightClickRow(rows, 0);
        setText(w, u"编辑框_首重价格"_s, u"11"_s);
        setText(w, u"编辑框_市区"_s, QString());
        setText(w, u"编辑框_到达时间"_s, QString());
        click(w, u"按钮5"_s);
        QCOMPARE(messages.texts(), QStringList{u"成功！"_s});
        QStringList stored = storedRows(u"圆通"_s).first();
        QCOMPARE(stored.at(ColumnFirstWeight), u"11"_s);
        QCOMPARE(stored.at(ColumnRegion), u"空"_s);
        QCOMPARE(stored.at(ColumnArrivalTime), QString());
        QCOMPARE(rows->cell(0, ColumnFirstWeight), u"11"_s);

        // Add a row with only the region filled.
        messages.clear();
        for (const QString &box :
             {u"编辑框_首重价格"_s, u"编辑框_续重价格"_s, u"编辑框_手续费1"_s, u"编辑框_手续费2"_s,
              u"编辑框_其他手续费"_s, u"编辑框_到达时间"_s, u"编辑框_联系方式"_s})
            setText(w, box, QString());
        setText(w, u"编辑框_市区"_s, u"江苏南京"_s);
        click(w, u"按钮6"_s);
        QCOMPARE(messages.texts(), QStringList{u"增加成功！"_s});
        QCOMPARE(rows->rowCount(), 4);
        stored = storedRows(u"圆通"_s).last();
        QCOMPARE(stored.mid(0, 9), (QStringList{u"4"_s, u"江苏南京"_s, u"江苏"_s, u"空"_s, u"未填"_s,
                                                u"未填"_s, u"未填"_s, u"未填"_s, u"未填"_s}));
        // A row added without a contact takes the template's own.
        QCOMPARE(stored.at(ColumnContact), storedRows(u"圆通"_s).first().at(ColumnContact));
        QCOMPARE(stored.mid(10, 30), QStringList(30, u"空"_s));
        QCOMPARE(stored.at(ColumnArrivalTime), u"未填"_s);

        messages.clear();
        setText(w, u"编辑框_市区"_s, u"火星基地"_s);
        click(w, u"按钮6"_s);
        QCOMPARE(storedRows(u"圆通"_s).last().at(ColumnProvince), u"您的市区输入有误"_s);
        setText(w, u"编辑框_市区"_s, QString());
        click(w, u"按钮6"_s);
        QCOMPARE(messages.texts().last(), u"亲！您还没有输入市区名称o(∩_∩)o "_s);
        QCOMPARE(rows->rowCount(), 5);

        // Delete the row just added, after a question that names it.
        messages.clear();
        rightClickRow(rows, 4);
        click(w, u"按钮7"_s);
        QVERIFY(messages.messages.value(0).question);
        QVERIFY(messages.texts().value(0).contains(u"火星基地"_s));
        QCOMPARE(messages.texts().value(1), u"删除成功"_s);
        QCOMPARE(rows->rowCount(), 4);
        QCOMPARE(storedRows(u"圆通"_s).size(), 4);

        // Star-level prices of one row, then of every row (even the one whose
        // ID is not a number).
        messages.clear();
        child<QComboBox>(w, u"组合框2"_s)->setCurrentIndex(1);
        rightClickRow(rows, 1);
        for (int i = 0; i < 5; ++i)
            setText(w, u"编辑框%1"_s.arg(15 + i), QString::number(i + 1));
        click(w, u"按钮14"_s);
        QCOMPARE(storedRows(u"圆通"_s).at(1).mid(15, 5),
                 (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}));
        QCOMPARE(storedRows(u"圆通"_s).at(0).mid(15, 5), QStringList(5, u"0"_s));
        setText(w, u"编辑框15"_s, u"-2"_s);
        click(w, u"按钮10"_s);
        for (const QStringList &row : storedRows(u"圆通"_s))
            QCOMPARE(row.at(15), u"-2"_s);
        QCOMPARE(rows->cell(2, 15), u"-2"_s);

        // Contacts: a quote is stored as typed.
        setText(w, u"编辑框_联系方式"_s, u"O'Neil 电话"_s);
        click(w, u"按钮16"_s);
        QCOMPARE(storedRows(u"圆通"_s).at(1).at(ColumnContact), u"O'Neil 电话"_s);
        QCOMPARE(storedRows(u"圆通"_s).at(0).at(ColumnContact), u"甲"_s);
        setText(w, u"编辑框_联系方式"_s, u"统一客服"_s);
        click(w, u"按钮11"_s);
        for (const QStringList &row : storedRows(u"圆通"_s))
            QCOMPARE(row.at(ColumnContact), u"统一客服"_s);
        QCOMPARE(messages.texts(), QStringList(4, u"成功！"_s));

        // Rename: refused names, an existing name, then a good one.
        messages.clear();
        setText(w, u"编辑框14"_s, u"__圆通"_s);
        click(w, u"按钮8"_s);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(!messages.messages.first().question);
        setText(w, u"编辑框14"_s, u"中通"_s);
        click(w, u"按钮8"_s);
        QCOMPARE(messages.messages.at(1).text, u"原来模板名称为圆通要修改为中通"_s);
        QCOMPARE(messages.messages.at(1).title, u"警告"_s);
        QVERIFY(messages.heads().last().startsWith(u"修改失败"_s));
        QVERIFY(!messages.texts().contains(u"修改成功！"_s));
        setText(w, u"编辑框14"_s, u"圆通速递"_s);
        click(w, u"按钮8"_s);
        QCOMPARE(messages.texts().last(), u"修改成功！"_s);
        QCOMPARE(RateDatabase(m_path).templateNames(), (QStringList{u"圆通速递"_s, u"中通"_s}));
        auto *templates = child<QComboBox>(w, u"组合框3"_s);
        QCOMPARE(templates->currentText(), u"圆通速递"_s);
        QCOMPARE(templates->count(), 2);
    }

    void maintenance_addAfterDelete_takesAFreshId()
    {
        createRateTemplate(m_path, u"圆通"_s,
                           {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s),
                            rateRow(u"2"_s, u"上海"_s, u"12"_s, u"6"_s),
                            rateRow(u"3"_s, u"天津"_s, u"12"_s, u"6"_s)});
        MessageRecorder messages;
        auto window = openWindow(2);
        QWidget *w = window.get();
        auto *rows = child<ReportList>(w, u"超级列表框1_公司模板"_s);
        child<QComboBox>(w, u"组合框3"_s)->setCurrentIndex(0);
        rightClickRow(rows, 0);
        click(w, u"按钮7"_s);
        setText(w, u"编辑框_市区"_s, u"重庆"_s);
        click(w, u"按钮6"_s);
        QCOMPARE(columnTexts(rows, ColumnId), (QStringList{u"2"_s, u"3"_s, u"4"_s}));

        // Changing the new row changes it alone.
        setText(w, u"编辑框_首重价格"_s, u"7"_s);
        click(w, u"按钮5"_s);
        const QList<QStringList> stored = storedRows(u"圆通"_s);
        QCOMPARE(stored.size(), 3);
        QCOMPARE(stored.at(1).at(ColumnRegion), u"天津"_s);
        QCOMPARE(stored.at(1).at(ColumnFirstWeight), u"12"_s);
        QCOMPARE(stored.at(2).at(ColumnFirstWeight), u"7"_s);
    }

    void maintenance_priceThatIsNoNumber_isRefused()
    {
        createRateTemplate(m_path, u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"未填"_s)});
        MessageRecorder messages;
        auto window = openWindow(2);
        QWidget *w = window.get();
        child<QComboBox>(w, u"组合框3"_s)->setCurrentIndex(0);
        rightClickRow(child<ReportList>(w, u"超级列表框1_公司模板"_s), 0);
        messages.clear();
        setText(w, u"编辑框_续重价格"_s, u"1,5"_s);
        click(w, u"按钮5"_s);
        click(w, u"按钮6"_s);
        QCOMPARE(messages.messages.size(), 2);
        QVERIFY(messages.texts().first().contains(u"“续重价格”填的是“1,5”"_s));
        child<QComboBox>(w, u"组合框2"_s)->setCurrentIndex(3);
        setText(w, u"编辑框15"_s, u"abc"_s);
        click(w, u"按钮10"_s);
        QCOMPARE(messages.messages.size(), 3);
        QCOMPARE(storedRows(u"圆通"_s), (QList<QStringList>{rateRow(u"1"_s, u"北京"_s, u"10"_s, u"未填"_s)}));

        // The markers of an unfilled price are prices too.
        setText(w, u"编辑框_续重价格"_s, u"未填"_s);
        setText(w, u"编辑框_首重价格"_s, u"１２．５"_s);
        click(w, u"按钮5"_s);
        QCOMPARE(messages.texts().last(), u"成功！"_s);
    }

    void maintenance_renameCancelled_changesNothing()
    {
        createRateTemplate(m_path, u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        MessageRecorder messages(false);
        auto window = openWindow(2);
        child<QComboBox>(window.get(), u"组合框3"_s)->setCurrentIndex(0);
        setText(window.get(), u"编辑框14"_s, u"圆通速递"_s);
        click(window.get(), u"按钮8"_s);
        QCOMPARE(RateDatabase(m_path).templateNames(), QStringList{u"圆通"_s});
        QCOMPARE(messages.texts().last(), u"原来模板名称为圆通要修改为圆通速递"_s);
    }

    void maintenance_withoutSelection_asksForARow()
    {
        createRateTemplate(m_path, u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        MessageRecorder messages;
        auto window = openWindow(2);
        child<QComboBox>(window.get(), u"组合框3"_s)->setCurrentIndex(0);
        messages.clear();
        for (const QString &button : {u"按钮5"_s, u"按钮7"_s, u"按钮14"_s, u"按钮16"_s}) {
            click(window.get(), button);
            QVERIFY2(messages.texts().last().contains(u"请先在列表中选择"_s), qPrintable(button));
        }
        QCOMPARE(storedRows(u"圆通"_s).size(), 1);
        QCOMPARE(child<ReportList>(window.get(), u"超级列表框1_公司模板"_s)->rowCount(), 1);
    }

    // A row the database refuses is not left in the list as if stored.
    void maintenance_addRefusedByDatabase_leavesListAsStored()
    {
        createRateTemplate(m_path, u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        execSql(m_path,
                {u"CREATE TRIGGER 拒绝 BEFORE INSERT ON 圆通 BEGIN SELECT RAISE(ABORT, '磁盘已满'); END"_s});
        MessageRecorder messages;
        auto window = openWindow(2);
        QWidget *w = window.get();
        auto *rows = child<ReportList>(w, u"超级列表框1_公司模板"_s);
        child<QComboBox>(w, u"组合框3"_s)->setCurrentIndex(0);
        rightClickRow(rows, 0);
        messages.clear();
        setText(w, u"编辑框_市区"_s, u"重庆"_s);
        click(w, u"按钮6"_s);

        QCOMPARE(messages.heads(), QStringList{u"保存失败，请查看快递模板是否重名！"_s});
        QVERIFY(messages.texts().first().contains(u"增加记录失败"_s));
        QCOMPARE(rows->rowCount(), 1);
        QCOMPARE(child<QLineEdit>(w, u"编辑框_ID"_s)->text(), u"1"_s);
        // The row editor no longer points at a row: a change asks for one.
        messages.clear();
        click(w, u"按钮5"_s);
        QVERIFY(messages.texts().last().contains(u"请先在列表中选择"_s));
        QCOMPARE(storedRows(u"圆通"_s).size(), 1);
    }

    void maintenance_billingRules_savedWithStatus()
    {
        createRateTemplate(m_path, u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        createRateTemplate(m_path, u"中通"_s, {});
        MessageRecorder messages;
        auto window = openWindow(2);
        QWidget *w = window.get();
        auto *status = child<QLabel>(w, u"标签_计费规则状态"_s);
        QVERIFY(!child<QGroupBox>(w, u"分组框_计费规则"_s)->isEnabled());
        child<QComboBox>(w, u"组合框3"_s)->setCurrentIndex(0);
        QCOMPARE(child<QLineEdit>(w, u"编辑框_首重重量"_s)->text(), u"1"_s);

        messages.clear();
        child<QComboBox>(w, u"组合框_计费取整"_s)->setCurrentIndex(2);
        child<QComboBox>(w, u"组合框_抛重系数"_s)->setEditText(u"8000"_s);
        click(w, u"按钮_保存计费规则"_s);
        QCOMPARE(status->text(), u"已保存“圆通”的计费规则"_s);
        QVERIFY(messages.messages.isEmpty());
        BillingRules expected;
        expected.rounding = BillingRules::Rounding::Kilogram;
        expected.volumeDivisor = 8000;
        QCOMPARE(RateDatabase(m_path).billingRules(u"圆通"_s), std::optional<BillingRules>(expected));

        setText(w, u"编辑框_首重重量"_s, u"零"_s);
        click(w, u"按钮_保存计费规则"_s);
        QVERIFY(status->text().startsWith(u"没有保存"_s));
        QCOMPARE(RateDatabase(m_path).billingRules(u"圆通"_s), std::optional<BillingRules>(expected));

        // A wheel turned over a rule while scrolling the page leaves it alone.
        auto *divisor = child<QComboBox>(w, u"组合框_抛重系数"_s);
        QCOMPARE(divisor->accessibleName(), u"抛重系数"_s);
        QCOMPARE(child<QComboBox>(w, u"组合框_计费取整"_s)->accessibleName(), u"计费取整"_s);
        child<QLineEdit>(w, u"编辑框_首重重量"_s)->setFocus();
        const QPoint centre = divisor->rect().center();
        QWheelEvent wheel(centre, divisor->mapToGlobal(centre), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(divisor, &wheel);
        QCOMPARE(divisor->currentText(), u"8000"_s);

        // Another template shows its own rules; a renamed one keeps them.
        child<QComboBox>(w, u"组合框3"_s)->setCurrentIndex(1);
        QCOMPARE(child<QComboBox>(w, u"组合框_抛重系数"_s)->currentText(), u"0"_s);
        QVERIFY(status->text().isEmpty());
        QVERIFY(RateDatabase(m_path).renameTemplate(u"圆通"_s, u"圆通速递"_s));
        QCOMPARE(RateDatabase(m_path).billingRules(u"圆通速递"_s), std::optional<BillingRules>(expected));
    }
    // What is on screen is saved, previewed or not; the name comes from the
    // file; closing with a sheet never saved asks first.
    void newTemplate_savesTheBoxesAsTheyAreNow()
    {
        MessageRecorder messages(false);
        auto window = openWindow(1);
        Messages::setFileHandler([] { return testData(u"sheets/运费-utf8.csv"_s); });
        click(window.get(), u"按钮1"_s);
        QCOMPARE(child<QLineEdit>(window.get(), u"编辑框_为模板命名"_s)->text(), u"运费-utf8"_s);
        QVERIFY(!window->close()); // answered Cancel: the sheet is not saved yet
        setText(window.get(), u"编辑框_新建模板其他手续费"_s, u"1"_s);
        click(window.get(), u"按钮3"_s);
        setText(window.get(), u"编辑框_新建模板其他手续费"_s, u"2"_s); // changed after the preview
        click(window.get(), u"按钮9"_s);
        QCOMPARE(messages.texts().last(), u"保存成功！"_s);
        const QList<QStringList> rows = storedRows(u"运费-utf8"_s);
        QVERIFY(!rows.isEmpty());
        for (const QStringList &row : rows)
            QCOMPARE(row.at(ColumnOtherFee), u"2"_s);

        // The next sheet read is titled by its own name, not the last one previewed.
        QCOMPARE(child<QGroupBox>(window.get(), u"分组框_新模板"_s)->title(), u"运费-utf8"_s);
        Messages::setFileHandler([] { return testData(u"couriers/电商快递.csv"_s); });
        click(window.get(), u"按钮1"_s);
        QCOMPARE(child<QGroupBox>(window.get(), u"分组框_新模板"_s)->title(), u"电商快递"_s);
    }

    // A courier's sheet: what the headings said is shown and filled into the
    // rules, saved with the template; the contact does not carry over to the
    // next sheet; a heading given a column by hand is remembered for the
    // courier.
    void newTemplate_courierSheet_rulesNotesAndColumnsByHand()
    {
        QSettings().clear();
        MessageRecorder messages;
        auto window = openWindow(1);
        QWidget *w = window.get();
        Messages::setFileHandler([] { return testData(u"couriers/电商快递.csv"_s); });
        click(w, u"按钮1"_s);
        QCOMPARE(messages.messages.size(), 0);
        QVERIFY(child<QLabel>(w, u"标签_读取说明"_s)->text().contains(u"重量段 ≤0.5KG"_s));
        QCOMPARE(child<QLineEdit>(w, u"编辑框_新建模板重量段"_s)->text(), u"0.5,1,2,3"_s);
        setText(w, u"编辑框_新建模板联系方式"_s, u"李经理 13800000000"_s);
        click(w, u"按钮9"_s);
        QCOMPARE(messages.texts().last(), u"保存成功！"_s);
        const std::optional<BillingRules> rules = RateDatabase(m_path).billingRules(u"电商快递"_s);
        QVERIFY(rules);
        QCOMPARE(rules->brackets, (QList<double>{0.5, 1, 2, 3}));
        QVERIFY(child<QLineEdit>(w, u"编辑框_新建模板联系方式"_s)->text().isEmpty());

        // 备注 is not a column of the template until the seller says it is.
        Messages::setFileHandler([] { return testData(u"couriers/特快分区.csv"_s); });
        click(w, u"按钮1"_s);
        QCOMPARE(child<QLineEdit>(w, u"编辑框_为模板命名"_s)->text(), u"特快分区"_s);
        QVERIFY(child<QLabel>(w, u"标签_读取说明"_s)->text().contains(u"未使用的列：备注"_s));
        QTimer::singleShot(0, [] {
            auto *dialog = qobject_cast<ColumnMappingDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto *note = dialog->findChild<QComboBox *>(u"组合框_指定列5"_s);
            QVERIFY(note);
            note->setCurrentIndex(note->findData(u"联系方式"_s));
            dialog->accept();
        });
        click(w, u"按钮_指定列"_s);
        QVERIFY(!child<QLabel>(w, u"标签_读取说明"_s)->text().contains(u"未使用的列：备注"_s));
        QVERIFY(child<QLabel>(w, u"标签_读取说明"_s)->text().contains(u"“备注”：联系方式"_s));
        QVERIFY(child<ReportList>(w, u"超级列表框1"_s)->table()->columns().contains(u"联系方式"_s));

        auto again = openWindow(1);
        click(again.get(), u"按钮1"_s);
        QVERIFY(child<QLabel>(again.get(), u"标签_读取说明"_s)->text().contains(u"“备注”：联系方式"_s));
    }

    void maintenance_deleteExportAndReplace()
    {
        createRateTemplate(m_path, u"甲"_s, {rateRow(u"1"_s, u"上海"_s, u"5"_s, u"1"_s)});
        createRateTemplate(m_path, u"乙"_s, {rateRow(u"1"_s, u"北京"_s, u"6"_s, u"1"_s)});
        MessageRecorder messages;
        auto window = openWindow(2);
        auto *templates = child<QComboBox>(window.get(), u"组合框3"_s);
        templates->setCurrentIndex(templates->findText(u"甲"_s));

        const QString exported = m_dir.filePath(u"甲.xlsx"_s);
        Messages::setFileHandler([&exported] { return exported; });
        click(window.get(), u"按钮_导出模板"_s);
        QCOMPARE(messages.texts().last(), u"导出成功"_s);

        Messages::setFileHandler([] { return testData(u"sheets/运费-utf8.csv"_s); });
        messages.clear();
        click(window.get(), u"按钮_替换模板"_s);
        QVERIFY(messages.messages.value(0).question);
        QVERIFY(messages.texts().value(0).contains(u"4 行替换模板“甲”现有的 1 行"_s));
        QCOMPARE(messages.texts().value(1), u"替换成功"_s);
        QVERIFY(storedRows(u"甲"_s).size() > 1);

        messages.clear();
        click(window.get(), u"按钮_删除模板"_s);
        QVERIFY(messages.messages.value(0).question);
        QVERIFY(messages.texts().value(0).contains(u"“甲”（4 行）"_s));
        QCOMPARE(messages.texts().value(1), u"删除成功"_s);
        QCOMPARE(RateDatabase(m_path).templateNames(), QStringList{u"乙"_s});
        QCOMPARE(templates->count(), 1);
        QCOMPARE(RateDatabase(m_path).backups().size(), 2);
    }
    void maintenance_choosingAgainReloadsAndRowsLeaveLevelBoxes()
    {
        createRateTemplate(m_path, u"甲"_s, {rateRow(u"1"_s, u"上海"_s, u"5"_s, u"1"_s)});
        MessageRecorder messages;
        auto window = openWindow(2);
        auto *templates = child<QComboBox>(window.get(), u"组合框3"_s);
        templates->setCurrentIndex(0);
        QCOMPARE(messages.texts(), QStringList{u"成功！"_s});
        Q_EMIT templates->activated(0); // the same template chosen again
        QCOMPARE(messages.texts(), (QStringList{u"成功！"_s, u"成功！"_s}));

        setText(window.get(), u"编辑框15"_s, u"0.5"_s);
        rightClickRow(child<ReportList>(window.get(), u"超级列表框1_公司模板"_s), 0);
        QCOMPARE(child<QLineEdit>(window.get(), u"编辑框15"_s)->text(), u"0.5"_s);

        messages.clear();
        setText(window.get(), u"编辑框14"_s, u"甲"_s);
        click(window.get(), u"按钮8"_s);
        QCOMPARE(messages.texts(), QStringList{u"模板名称没有改变"_s});
    }
};

QTEST_MAIN(TestTemplatePages)
#include "tst_templatepages.moc"

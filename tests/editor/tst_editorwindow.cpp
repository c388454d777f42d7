#include "../common/guitest.h"
#include "../common/pageserver.h"
#include "../common/sampledb.h"
#include "../common/testdata.h"

#include <core/billingrules.h>
#include <core/schema.h>
#include <editor/editorwindow.h>
#include <ratedb/ratedatabase.h>

// The same tests with the page in the embedded browser, or (with
// KUAIDI_TEST_DEVTOOLS) in the seller's own: Chromium, headless.
#ifdef KUAIDI_TEST_DEVTOOLS
#include "../common/testbrowser.h"

#include <editor/ownbrowserpanel.h>
#else
#include "../common/pagescript.h"

#include <editor/embeddedpage.h>

#include <QWebEnginePage>
#include <QWebEngineView>
#endif

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

class TestEditorWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;
    PageServer m_server;
    std::unique_ptr<EditorWindow> m_window;
#ifdef KUAIDI_TEST_DEVTOOLS
    QTemporaryDir m_profiles;

    PageArea *newPageArea()
    {
        return new OwnBrowserPanel(testBrowserOptions(m_profiles.path()));
    }
    DevToolsTab *tab()
    {
        return static_cast<OwnBrowserPanel *>(m_window->pageArea())->devToolsTab();
    }
    QVariant pageValue(const QString &script)
    {
        return evaluateInTab(tab(), script, 30000);
    }
#else
    PageArea *newPageArea()
    {
        return new EmbeddedPage;
    }
    QVariant pageValue(const QString &script)
    {
        return evaluateScript(static_cast<EmbeddedPage *>(m_window->pageArea())->view()->page(), script,
                              30000);
    }
#endif

    // What the seller does: the address into 物流工具网址, then 1.打开.
    bool openPage(const QString &page)
    {
        const QUrl url = m_server.url(page);
        edit(u"编辑框2"_s)->setText(url.toString());
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_打开"_s), Qt::LeftButton);
        return QTest::qWaitFor(
            [&] {
                return pageScript(u"document.readyState + ' ' + location.href"_s) ==
                       u"complete "_s + url.toString();
            },
            60000);
    }

    QComboBox *combo(const QString &name)
    {
        return child<QComboBox>(m_window.get(), name);
    }
    QLineEdit *edit(const QString &name)
    {
        return child<QLineEdit>(m_window.get(), name);
    }
    ReportList *grid()
    {
        return child<ReportList>(m_window.get(), u"超级列表框1"_s);
    }

    void pickLevel(int level)
    {
        combo(u"组合框2"_s)->setCurrentIndex(level);
        Q_EMIT combo(u"组合框2"_s)->activated(level);
    }

    // What a right-click offers, chosen without the pointer.
    void chooseFromRowMenu(int row, const QString &action)
    {
        QMenu *menu = m_window->rowMenu(row);
        auto *item = menu->findChild<QAction *>(action);
        QVERIFY2(item, qPrintable(action));
        item->trigger();
        delete menu;
    }

    QLabel *status()
    {
        return child<QLabel>(m_window.get(), u"标签_状态"_s);
    }

    QString pageScript(const QString &script)
    {
        return pageValue(script).toString();
    }

    QString chosenOnPage()
    {
        return pageScript(u"chosen.join(',')"_s);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_path = m_dir.filePath(u"kuaidishuju.db"_s);
        auto levelRow = [](QStringList row, const QString &first, const QString &additional) {
            row[priceSetColumnIndex(2, FieldFirstWeight)] = first;
            row[priceSetColumnIndex(2, FieldAdditionalWeight)] = additional;
            return row;
        };
        createRateTemplate(m_path, u"圆通快递"_s,
                           {levelRow(rateRow(u"1"_s, u"江苏南京"_s, u"10"_s, u"5"_s), u"-2"_s, u"0"_s),
                            levelRow(rateRow(u"2"_s, u"吉林"_s, u"12"_s, u""_s), u"1.5"_s, u"未填"_s),
                            rateRow(u"3"_s, u"广东"_s, u"9"_s, u"4"_s),
                            rateRow(u"4"_s, u"火星"_s, u"99"_s, u"9"_s)});
        createRateTemplate(m_path, u"中通快递"_s, {});
        createRateTemplate(
            m_path, u"同价快递"_s,
            {rateRow(u"1"_s, u"江苏南京"_s, u"10"_s, u"5"_s), rateRow(u"2"_s, u"吉林"_s, u"10.0"_s, u"5"_s),
             rateRow(u"3"_s, u"广东"_s, u"10"_s, u"4"_s), rateRow(u"4"_s, u"火星"_s, u"10"_s, u"5"_s)});
        // 广东 at 北京's price, two of its cities at their own.
        createRateTemplate(
            m_path, u"分城市快递"_s,
            {rateRow(u"1"_s, u"北京"_s, u"4"_s, u"2"_s), rateRow(u"2"_s, u"广东"_s, u"4"_s, u"2"_s),
             rateRow(u"3"_s, u"深圳市"_s, u"3.5"_s, u"1.5"_s),
             rateRow(u"4"_s, u"广州市"_s, u"3.8"_s, u"1.5"_s), rateRow(u"5"_s, u"上海"_s, u"4"_s, u"2"_s),
             rateRow(u"6"_s, u"江苏"_s, u"5"_s, u"2"_s)});
        // Priced up to 0.5 kg and 1 kg by brackets; 新疆 by first and additional weight alone.
        RateDatabase db(m_path);
        QStringList nanjing = rateRow(u"1"_s, u"江苏南京"_s, u"10"_s, u"5"_s);
        nanjing << u"4"_s << u"6"_s;
        QStringList xinjiang = rateRow(u"2"_s, u"新疆"_s, u"20"_s, u"15"_s);
        xinjiang << QString() << QString();
        QVERIFY(db.createTemplate(
            u"重量段快递"_s, RateColumns() + pricedColumns().mid(ColumnFirstBracket, 2), {nanjing, xinjiang},
            *billingRulesFromTexts(
                {u"不取整"_s, u"1"_s, u"0"_s, u"0.5,1"_s, {}, u"全程"_s, u"1"_s, u"50"_s})));
    }

    void init()
    {
        m_window = std::make_unique<EditorWindow>(m_path, newPageArea());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY(openPage(u"regions.html"_s));
    }
    void cleanup()
    {
        m_window.reset();
        Messages::setFileHandler({});
    }

    void opens_withTemplatesAndAddress()
    {
        QVERIFY2(m_window->windowTitle().startsWith(u"Vantor淘宝网店快递费用模板快速编辑器 — "_s),
                 qPrintable(m_window->windowTitle()));
        QCOMPARE(combo(u"组合框3"_s)->count(), 5);
        QCOMPARE(combo(u"组合框2"_s)->count(), 6);

        // The browser keeps its place and the right-hand column its size.
        m_window->resize(1100, 600);
        QTRY_COMPARE(m_window->pageArea()->geometry(), QRect(6, 48, 1100 - 470 - 50, 500));
        QCOMPARE(grid()->geometry().left(), 1100 - 470 - 15);
        QCOMPARE(grid()->width(), 470);

        // A new window fits the screen's available area, however small.
        const QRect area = m_window->screen()->availableGeometry();
        EditorWindow fresh(m_path, newPageArea());
        QCOMPARE(child<QLineEdit>(&fresh, u"编辑框2"_s)->text(), EditorWindow::defaultAddress());
        QVERIFY(EditorWindow::defaultAddress().endsWith(u"/user/logis_tools.htm"_s));
        QVERIFY(area.contains(fresh.geometry()) || fresh.size() == fresh.minimumSize());
    }

    void storedTemplate_matchAndTickRows()
    {
        MessageRecorder messages;
        pickLevel(2); // no template chosen yet
        QCOMPARE(messages.messages.size(), 1);
        QCOMPARE(grid()->rowCount(), 0);
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_智能匹配"_s), Qt::LeftButton);
        QVERIFY(!messages.texts().last().contains(u"成功"_s));

        messages.clear();
        combo(u"组合框3"_s)->setCurrentIndex(0);
        QCOMPARE(messages.messages.size(), 0); // a template alone loads nothing
        pickLevel(2);
        QCOMPARE(messages.texts(), QStringList{u"读取成功"_s});
        QCOMPARE(grid()->columnCount(), 7);
        QVERIFY(grid()->isColumnHidden(1));
        QCOMPARE(columnTexts(grid(), 2), (QStringList{u"江苏南京"_s, u"吉林"_s, u"广东"_s, u"火星"_s}));
        QCOMPARE(columnTexts(grid(), 5), (QStringList{u"8"_s, u"13.5"_s, u"9"_s, u"99"_s}));
        QCOMPARE(columnTexts(grid(), 6), (QStringList{u"5"_s, u"0"_s, u"4"_s, u"9"_s}));

        pickLevel(0); // the stored texts, unchanged
        QCOMPARE(columnTexts(grid(), 6), (QStringList{u"5"_s, QString(), u"4"_s, u"9"_s}));

        messages.clear();
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_智能匹配"_s), Qt::LeftButton);
        QCOMPARE(messages.texts(), QStringList{u"智能匹配成功！可以进行下一步操作！"_s});
        QCOMPARE(columnTexts(grid(), 1),
                 (QStringList{u"J_City_320100"_s, u"J_City_220200"_s, u"J_Group_3"_s, QString()}));

        chooseFromRowMenu(0, u"菜单_勾选"_s);
        QCOMPARE(edit(u"编辑框3"_s)->text(), u"0"_s);
        QCOMPARE(edit(u"编辑框_首重价格"_s)->text(), u"10"_s);
        QCOMPARE(edit(u"编辑框_续重价格"_s)->text(), u"5"_s);
        QTRY_COMPARE(chosenOnPage(), u"J_City_320100"_s);
        QVERIFY(child<QLabel>(m_window.get(), u"标签_状态"_s)->text().contains(u"已在网页上勾选"_s));
        QCOMPARE(pageValue(u"document.getElementById('J_City_320100').checked"_s).toBool(), true);
        QCOMPARE(pageScript(u"document.getElementById('J_City_320100').style.display"_s), u"none"_s);

        chooseFromRowMenu(1, u"菜单_勾选"_s);
        QTRY_COMPARE(chosenOnPage(), u"J_City_320100,J_City_220200"_s);
        QVERIFY(grid()->table()->isChecked(1));
        QVERIFY(!grid()->table()->isChecked(0));
        QCOMPARE(pageValue(u"inlineClicks['J_City_220200']"_s).toInt(), 1);

        // A row without an element id still shows its prices.
        chooseFromRowMenu(3, u"菜单_勾选"_s);
        QCOMPARE(edit(u"编辑框3"_s)->text(), u"3"_s);
        QCOMPARE(edit(u"编辑框_首重价格"_s)->text(), u"99"_s);
        QVERIFY(child<QLabel>(m_window.get(), u"标签_状态"_s)->text().contains(u"没有对应的网页勾选框"_s));
        QCOMPARE(chosenOnPage(), u"J_City_320100,J_City_220200"_s);

        clickHeader(grid(), 2);
        QCOMPARE(columnTexts(grid(), 2),
                 (QStringList{u"广东"_s, u"火星"_s, u"吉林"_s, u"江苏南京"_s})); // GBK order
    }

    void storedTemplate_byBrackets_showsWhatTheFirstWeightPays()
    {
        MessageRecorder messages;
        combo(u"组合框3"_s)->setCurrentIndex(combo(u"组合框3"_s)->findText(u"重量段快递"_s));
        pickLevel(0);
        QCOMPARE(columnTexts(grid(), 5), (QStringList{u"6"_s, u"20"_s}));
        QCOMPARE(columnTexts(grid(), 6), (QStringList{u"5"_s, u"15"_s}));
        QVERIFY(child<QLabel>(m_window.get(), u"标签_状态"_s)->text().contains(u"只能填写首重和续重"_s));
    }

    void rowMenu_samePriceGroupUntickAndDisabledBoxes()
    {
        MessageRecorder messages;
        combo(u"组合框3"_s)->setCurrentIndex(combo(u"组合框3"_s)->findText(u"同价快递"_s));
        pickLevel(0);
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_智能匹配"_s), Qt::LeftButton);

        // A right-click opens the row's menu.
        rightClickRow(grid(), 0);
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QStringList actions;
        for (const QAction *action : menu->actions())
            actions.append(action->text());
        QCOMPARE(actions, (QStringList{u"勾选"_s, u"取消勾选"_s, u"勾选同价地区"_s}));
        menu->close();

        // 10 and 10.0 are one price; 火星 has no box on the page.
        chooseFromRowMenu(0, u"菜单_勾选同价地区"_s);
        QTRY_COMPARE(chosenOnPage(), u"J_City_320100,J_City_220200"_s);
        QCOMPARE(status()->text(), u"已在网页上勾选 2 个与“江苏南京”同价的地区（首重 10 元，续重 5 元）；"
                                   "1 个未能勾选（没有对应的网页勾选框，或不可选择）：火星"_s);
        QVERIFY(grid()->table()->isShaded(0) && grid()->table()->isShaded(1));
        QVERIFY(!grid()->table()->isShaded(2) && !grid()->table()->isShaded(3));
        QVERIFY(grid()->table()->isChecked(1));
        QCOMPARE(edit(u"编辑框_首重价格"_s)->text(), u"10.0"_s);

        // Shades and the check mark move with their rows on a sort.
        clickHeader(grid(), 2);
        QCOMPARE(columnTexts(grid(), 2), (QStringList{u"广东"_s, u"火星"_s, u"吉林"_s, u"江苏南京"_s}));
        QVERIFY(grid()->table()->isShaded(2) && grid()->table()->isShaded(3));
        QVERIFY(!grid()->table()->isShaded(0) && !grid()->table()->isShaded(1));
        QVERIFY(grid()->table()->isChecked(2));

        // A wrong tick is taken back and its box shown again.
        chooseFromRowMenu(3, u"菜单_取消勾选"_s);
        QTRY_COMPARE(chosenOnPage(), u"J_City_220200"_s);
        // As the page shows it, not in a display of ours.
        QCOMPARE(pageScript(u"document.getElementById('J_City_320100').style.display"_s), QString());
        QVERIFY(!grid()->table()->isShaded(3));
        QCOMPARE(status()->text(), u"已在网页上取消勾选“江苏南京”"_s);

        // A box the page disabled is left alone, and the seller is told.
        pageScript(u"document.getElementById('J_City_320100').disabled = true"_s);
        chooseFromRowMenu(3, u"菜单_勾选"_s);
        QVERIFY(status()->text().contains(u"不可选择"_s));
        QCOMPARE(pageScript(u"String(document.getElementById('J_City_320100').checked)"_s), u"false"_s);
        QCOMPARE(chosenOnPage(), u"J_City_220200"_s);
        QVERIFY(!grid()->table()->isShaded(3));
        QVERIFY(messages.messages.size() == 2); // 读取成功, 智能匹配成功
    }

    void samePrice_provinceWithCitiesPricedApart_tickedCityByCity()
    {
        MessageRecorder messages;
        QVERIFY(openPage(u"freight.html"_s));
        combo(u"组合框3"_s)->setCurrentIndex(combo(u"组合框3"_s)->findText(u"分城市快递"_s));
        pickLevel(0);
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_智能匹配"_s), Qt::LeftButton);

        // 深圳 and 广州 buyers would pay 北京's price under 广东's own box.
        chooseFromRowMenu(0, u"菜单_勾选同价地区"_s);
        const QStringList chosen = pageScript(u"chosen.join(',')"_s).split(u',');
        QVERIFY(chosen.contains(u"J_Province_110000"_s) && chosen.contains(u"J_Province_310000"_s));
        QVERIFY2(!chosen.contains(u"J_Group_3"_s), qPrintable(chosen.join(u',')));
        QVERIFY(!chosen.contains(u"J_City_445100"_s) && !chosen.contains(u"J_City_441500"_s)); // 深圳, 广州
        QVERIFY(chosen.contains(u"J_City_440300"_s) && chosen.contains(u"J_City_442000"_s)); // 佛山, 东莞
        QCOMPARE(chosen.size(), 2 + 22 - 2);
        QVERIFY(!chosen.contains(u"J_Province_320000"_s));
        QCOMPARE(status()->text(), u"已在网页上勾选 3 个与“北京”同价的地区（首重 4 元，续重 2 元）；"
                                   "广东 有城市另有价格，只勾选了同价的城市"_s);
        QVERIFY(status()->toolTip().contains(u"广东：深圳、广州 另有价格，勾选了其余 20 个城市"_s));
        QVERIFY(grid()->table()->isShaded(1));

        // Taken back, the province takes its cities with it.
        chooseFromRowMenu(1, u"菜单_取消勾选"_s);
        QCOMPARE(pageScript(u"chosen.join(',')"_s), u"J_Province_110000,J_Province_310000"_s);
        QVERIFY(!grid()->table()->isShaded(1));
    }

    void notTheFreightPage_isNamed()
    {
        QVERIFY(openPage(u"empty.html"_s));
        combo(u"组合框3"_s)->setCurrentIndex(0);
        MessageRecorder messages;
        pickLevel(0);
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_智能匹配"_s), Qt::LeftButton);
        chooseFromRowMenu(0, u"菜单_勾选"_s);
        QVERIFY2(status()->text().startsWith(u"当前网页不是运费模板的编辑页面（没有找到地区勾选框）"_s),
                 qPrintable(status()->text()));
    }

#ifdef KUAIDI_TEST_DEVTOOLS
    void ownBrowser_panelNamesBrowserAndPage_closedBrowserIsNamed()
    {
        auto *browser = child<QLabel>(m_window.get(), u"标签_浏览器"_s);
        auto *page = child<QLabel>(m_window.get(), u"标签_网页"_s);
        QVERIFY2(browser->text().contains(u"（已连接）"_s), qPrintable(browser->text()));
        QVERIFY(!tab()->browserName().isEmpty() && browser->text().startsWith(tab()->browserName()));
        // The page's title comes after its address; slowly under the sanitizers.
        QTRY_VERIFY2_WITH_TIMEOUT(page->text().contains(u"指定地区"_s) &&
                                      page->text().contains(u"/regions.html"_s),
                                  qPrintable(page->text()), 30000);

        combo(u"组合框3"_s)->setCurrentIndex(0);
        MessageRecorder messages;
        pickLevel(0);
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_智能匹配"_s), Qt::LeftButton);
        tab()->closeBrowser();
        QTRY_VERIFY_WITH_TIMEOUT(browser->text().contains(u"已关闭"_s), 30000);
        chooseFromRowMenu(0, u"菜单_勾选"_s);
        QCOMPARE(status()->text(), u"浏览器已关闭：请点击“1.打开”重新打开。"_s);
        // Its prices are shown all the same.
        QCOMPARE(edit(u"编辑框_首重价格"_s)->text(), u"10"_s);

        // 1.打开 starts it again, and ticking goes on.
        QVERIFY(openPage(u"regions.html"_s));
        chooseFromRowMenu(0, u"菜单_勾选"_s);
        QCOMPARE(status()->text(), u"已在网页上勾选“江苏南京”"_s);
        QCOMPARE(chosenOnPage(), u"J_City_320100"_s);
    }

    void ownBrowser_noBrowser_saysWhereItLooked()
    {
        DevToolsTab::Options options = testBrowserOptions(m_profiles.path());
        options.program = m_dir.filePath(u"没有这个浏览器/msedge.exe"_s);
        EditorWindow window(m_path, new OwnBrowserPanel(options));
        MessageRecorder messages;
        QTest::mouseClick(child<QPushButton>(&window, u"按钮_打开"_s), Qt::LeftButton);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY2(messages.texts().first().contains(u"不存在或不能运行"_s) &&
                     messages.texts().first().contains(QDir::toNativeSeparators(options.program)),
                 qPrintable(messages.texts().first()));
    }
#endif

    void sheet_loadsWithHiddenCodeColumn()
    {
        MessageRecorder messages;
        edit(u"编辑框1"_s)->setText(testData(u"sheets/运费表.xlsx"_s));
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_确定读取"_s), Qt::LeftButton);
        // The first sheet is in the calculator's layout: its prices are not
        // where the editor takes them from, and the seller is told so.
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.texts().first().contains(u"首重价格"_s));
        auto *sheets = combo(u"组合框1"_s);
        QCOMPARE(sheets->count(), 5);
        messages.clear();
        sheets->setCurrentIndex(sheets->findText(u"模板"_s));
        QCOMPARE(messages.messages.size(), 0);
        QCOMPARE(grid()->table()->columns().mid(0, 4),
                 (QStringList{u"ID"_s, u"代码"_s, u"地区"_s, u"省区"_s}));
        QVERIFY(grid()->isColumnHidden(1));
        QVERIFY(grid()->rowCount() > 0);

        sheets->setCurrentIndex(sheets->findText(u"空表"_s));
        QCOMPARE(grid()->rowCount(), 0);
        QCOMPARE(grid()->table()->columns().value(1), u"代码"_s);
        clickHeader(grid(), 0); // an empty list is not sorted
        QCOMPARE(grid()->rowCount(), 0);

        messages.clear();
        edit(u"编辑框1"_s)->setText(testData(u"sheets/没有这个文件.xls"_s));
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_确定读取"_s), Qt::LeftButton);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.texts().first().startsWith(u"无法读取该文件："_s));
        QCOMPARE(sheets->count(), 5);

        // A damaged workbook that crashed the spreadsheet library once: a
        // message, and the window goes on.
        messages.clear();
        edit(u"编辑框1"_s)->setText(testData(u"damaged/xls-freexl-overread.xls"_s));
        QTest::mouseClick(child<QPushButton>(m_window.get(), u"按钮_确定读取"_s), Qt::LeftButton);
        QCOMPARE(messages.heads(),
                 QStringList{u"无法读取该文件：文件已损坏或不完整，无法作为 Excel 工作簿读取"_s});
        QVERIFY(m_window->isVisible());
    }
};

QTEST_MAIN(TestEditorWindow)
#include "tst_editorwindow.moc"

#include "pagefixture.h"

#include <pagefill/webformfiller.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <optional>

#if defined(Q_OS_UNIX) && !defined(KUAIDI_TEST_DEVTOOLS)
#include <QWebEnginePage>
#include <signal.h>
#endif

using namespace Qt::StringLiterals;
using namespace Kuaidi;
using namespace KuaidiTest;

namespace {

const QString ViewGoneText = u"浏览器句柄无效，可能已被关闭。"_s;
const QString NotLoadedText = u"初始化失败 - 必须网页载入完毕后才能初始化"_s;

QStringList pagefillLog;
QtMessageHandler defaultHandler = nullptr;

void recordPagefillLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "kuaidi.pagefill") == 0)
        pagefillLog.append(message);
    defaultHandler(type, context, message);
}

} // namespace

class TestWebFormFiller final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void checkBox_hideTickShowUntick_data();
    void checkBox_hideTickShowUntick();
    void missingCheckBox_findsNothingAndTouchesNothing_data();
    void missingCheckBox_findsNothingAndTouchesNothing();
    void disabledCheckBox_isLeftAsItIs();
    void pageElement_actsOnFoundBoxUntilPageReloads();
    void frames_selectionNarrowsSearch_data();
    void frames_selectionNarrowsSearch();
    void waitUntilLoaded_fingerprintCoversDocumentsInOrder_data();
    void waitUntilLoaded_fingerprintCoversDocumentsInOrder();
    void initialise_withoutLoadedPage_failsAndKeepsBinding_data();
    void initialise_withoutLoadedPage_failsAndKeepsBinding();
    void boundViewDeleted_operationsFindNothing();
    void waitUntilLoaded_busyLoadingPage_timesOutThenLoads();
    void busyPage_operationsGiveUpAndNeverActLate();
    void brokenPage_checkBoxesStillWorkAndErrorsAreLogged();
    void identifierWithScript_isOnlyData_data();
    void identifierWithScript_isOnlyData();
    void pageThatRedefinesGlobals_neitherDisturbsNorSeesTheScript();
    void checkBoxes_readBackAsThePageShowsThem();
#if defined(Q_OS_UNIX) && !defined(KUAIDI_TEST_DEVTOOLS)
    void rendererKilled_pageReloads();
#endif

private:
    // Loads a fixture page; with a query, does not wait for it.
    bool open(const QString &page, const QString &query = {})
    {
        return m_fixture.open(page, query, query.isEmpty());
    }
    bool bind(WebFormFiller &filler, const QString &page)
    {
        return open(page) && filler.Initialise(m_fixture.tab());
    }
    QVariant evaluate(const QString &script)
    {
        return m_fixture.evaluate(script);
    }
    QString regionState();

    PageFixture m_fixture;
};

void TestWebFormFiller::initTestCase()
{
    defaultHandler = qInstallMessageHandler(recordPagefillLog);
}

void TestWebFormFiller::cleanup() {}

void TestWebFormFiller::cleanupTestCase()
{
    m_fixture.destroyTab();
    qInstallMessageHandler(defaultHandler);
}

// What regions.html shows and has recorded, one aspect after another: the
// ids of ticked boxes, of boxes with a "checked" attribute, of hidden and of
// shown boxes, the page's list of chosen regions, and "id:runs" of its inline
// and its added click handlers.
QString TestWebFormFiller::regionState()
{
    return evaluate(u"(() => {"
                    " const ids = (css, keep = () => true) =>"
                    "     Array.from(document.querySelectorAll(css)).filter(keep).map(b => b.id).join();"
                    " const runs = clicks => Object.entries(clicks).map(([id, n]) => id + ':' + n).join();"
                    " return ['ticked ' + ids('input:checked'), 'attribute ' + ids('input[checked]'),"
                    "         'hidden ' + ids('input', b => b.style.display === 'none'),"
                    "         'shown ' + ids('input', b => b.style.display === 'block'),"
                    "         'chosen ' + chosen.join(), 'inline ' + runs(inlineClicks),"
                    "         'listener ' + runs(listenerClicks)].join('|');"
                    "})()"_s)
        .toString();
}

void TestWebFormFiller::checkBox_hideTickShowUntick_data()
{
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QString>("expectedId");
    QTest::addColumn<int>("position"); // among the page's check boxes

    QTest::newRow("plain id") << u"J_City_320100"_s << 0 << u"J_City_320100"_s << 3;
    QTest::newRow("id==") << u"id==J_City_220200"_s << 0 << u"J_City_220200"_s << 6;
    QTest::newRow("attribute in capitals, value padded") << u"ID==  J_Group_3 "_s << 0 << u"J_Group_3"_s << 1;
    QTest::newRow("name==") << u"name==province"_s << 0 << u"J_Province_320000"_s << 2;
    QTest::newRow("classname== with occurrence") << u"classname==J_City"_s << 1 << u"J_City_320200"_s << 4;
    QTest::newRow("ordinal counts check boxes only") << u"3"_s << 0 << u"J_City_320100"_s << 3;
    QTest::newRow("title with occurrence") << u"江苏"_s << 1 << u"J_Province_320000_dup"_s << 8;
    QTest::newRow("handler cancels the click") << u"J_Province_990000"_s << 0 << u"J_Province_990000"_s << 7;
}

void TestWebFormFiller::checkBox_hideTickShowUntick()
{
    QFETCH(QString, identifier);
    QFETCH(int, occurrence);
    QFETCH(QString, expectedId);
    QFETCH(int, position);
    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));

    // Counting walks the page instead of taking the quick lookup; both must
    // arrive at the same box.
    int counter = 0;
    QVERIFY(!filler.FindInputElement(u"checkbox"_s, identifier, occurrence, &counter).isNull());
    QCOMPARE(counter, position);

    // The page's handlers each ran once and saw the box ticked.
    QVERIFY(filler.SetCheckBoxDisplay(identifier, false, occurrence));
    QVERIFY(filler.SetCheckBoxChecked(identifier, true, occurrence));
    QCOMPARE(
        regionState(),
        u"ticked %1|attribute %1|hidden %1|shown |chosen %1|inline %1:1|listener %1:1"_s.arg(expectedId));

    QVERIFY(filler.SetCheckBoxDisplay(identifier, true, occurrence));
    QVERIFY(filler.SetCheckBoxChecked(identifier, false, occurrence));
    QCOMPARE(regionState(),
             u"ticked |attribute |hidden |shown %1|chosen |inline %1:2|listener %1:2"_s.arg(expectedId));
}

void TestWebFormFiller::missingCheckBox_findsNothingAndTouchesNothing_data()
{
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<int>("frame");

    QTest::newRow("unknown id") << u"J_City_999999"_s << 0 << 0;
    QTest::newRow("empty") << QString() << 0 << 0;
    QTest::newRow("spaces") << u"   "_s << 0 << 0;
    QTest::newRow("id== with empty value") << u"id==  "_s << 0 << 0;
    QTest::newRow("ordinal past the last box") << u"10"_s << 0 << 0;
    QTest::newRow("text box is no check box") << u"J_Search"_s << 0 << 0;
    QTest::newRow("occurrence past the last match") << u"J_City_320100"_s << 1 << 0;
    QTest::newRow("frame past the last document") << u"J_City_320100"_s << 0 << 2;
}

void TestWebFormFiller::missingCheckBox_findsNothingAndTouchesNothing()
{
    QFETCH(QString, identifier);
    QFETCH(int, occurrence);
    QFETCH(int, frame);
    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));

    int counter = 0;
    QVERIFY(filler.FindInputElement(u"checkbox"_s, identifier, occurrence, &counter, frame).isNull());
    QCOMPARE(counter, -1);
    QVERIFY(filler.FindCheckBox(identifier, occurrence, frame).isNull());
    QVERIFY(!filler.SetCheckBoxDisplay(identifier, false, occurrence, frame));
    QVERIFY(!filler.SetCheckBoxChecked(identifier, true, occurrence, frame));
    QCOMPARE(filler.lastCheckResult(), WebFormFiller::CheckResult::NotFound);
    QCOMPARE(regionState(), u"ticked |attribute |hidden |shown |chosen |inline |listener "_s);
}

void TestWebFormFiller::disabledCheckBox_isLeftAsItIs()
{
    // The marketplace disables the regions another rule already uses.
    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));
    evaluate(u"document.getElementById('J_City_320100').disabled = true"_s);
    QVERIFY(!filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
    QCOMPARE(filler.lastCheckResult(), WebFormFiller::CheckResult::Disabled);
    QVERIFY(!filler.SetCheckBoxChecked(filler.FindCheckBox(u"J_City_320100"_s), true));
    QCOMPARE(regionState(), u"ticked |attribute |hidden |shown |chosen |inline |listener "_s);

    QVERIFY(filler.SetCheckBoxChecked(u"J_City_220200"_s, true));
    QCOMPARE(filler.lastCheckResult(), WebFormFiller::CheckResult::Done);
}

void TestWebFormFiller::pageElement_actsOnFoundBoxUntilPageReloads()
{
    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));
    const PageElement box = filler.FindCheckBox(u"J_City_220200"_s);
    QCOMPARE(box.frame, 1);

    QVERIFY(filler.SetCheckBoxChecked(box, true));
    // A fired click runs the handlers again but leaves the box as it is.
    QVERIFY(filler.FireElementEvent(box, u"onclick"_s));
    QVERIFY(regionState().startsWith(u"ticked J_City_220200|"_s));
    QCOMPARE(evaluate(u"inlineClicks.J_City_220200"_s).toInt(), 2);

    QVERIFY(open(u"regions.html"_s));
    QVERIFY(!filler.SetCheckBoxChecked(box, true));
    QVERIFY(!filler.FireElementEvent(box, u"onclick"_s));
    QCOMPARE(regionState(), u"ticked |attribute |hidden |shown |chosen |inline |listener "_s);
}

void TestWebFormFiller::frames_selectionNarrowsSearch_data()
{
    // Documents: 1 top (frameset), 2 a, 3 a1, 4 a1a, 5 b, 6 b1; every frame
    // document holds one box with id "box".
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<int>("selector");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("expectedFrame");
    QTest::addColumn<QStringList>("clicked"); // titles of the documents whose box was clicked

    QTest::newRow("first match over all") << u"box"_s << 0 << 0 << 0 << 2 << QStringList{u"a"_s};
    QTest::newRow("occurrence spans documents") << u"box"_s << 2 << 0 << 0 << 4 << QStringList{u"a1a"_s};
    QTest::newRow("selected frame") << u"box"_s << 0 << 5 << 0 << 5 << QStringList{u"b"_s};
    QTest::newRow("frame number overrides selection") << u"box"_s << 0 << 3 << 6 << 6 << QStringList{u"b1"_s};
    QTest::newRow("ordinal spans documents") << u"4"_s << 0 << 0 << 0 << 5 << QStringList{u"b"_s};
    QTest::newRow("ordinal within a frame") << u"1"_s << 0 << 0 << 3 << 3 << QStringList{u"a1"_s};
    QTest::newRow("id== in selected frame") << u"id==box"_s << 0 << 4 << 0 << 4 << QStringList{u"a1a"_s};
    QTest::newRow("top document has no box") << u"box"_s << 0 << 1 << 0 << 0 << QStringList();
    QTest::newRow("frame past the last document") << u"box"_s << 0 << 0 << 7 << 0 << QStringList();
}

void TestWebFormFiller::frames_selectionNarrowsSearch()
{
    QFETCH(QString, identifier);
    QFETCH(int, occurrence);
    QFETCH(int, selector);
    QFETCH(int, frame);
    QFETCH(int, expectedFrame);
    QFETCH(QStringList, clicked);
    WebFormFiller filler;
    filler.SelectFrame(selector);
    QVERIFY(bind(filler, u"frameset.html"_s));
    QCOMPARE(filler.frameSelector(), selector);

    QCOMPARE(filler.FindCheckBox(identifier, occurrence, frame).frame, expectedFrame);
    QCOMPARE(filler.SetCheckBoxChecked(identifier, true, occurrence, frame), expectedFrame > 0);
    QCOMPARE(evaluate(u"clicked"_s).toStringList(), clicked);
}

void TestWebFormFiller::waitUntilLoaded_fingerprintCoversDocumentsInOrder_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("bodyTexts");

    // The frame of another origin inside b is left out; a frameset has no text.
    QTest::newRow("frames depth-first")
        << u"frameset.html"_s
        << QStringList{QString(), u"框架A"_s, u"框架A1"_s, u"框架A1a"_s, u"框架B"_s, u"框架B1"_s};
    QTest::newRow("no text") << u"empty.html"_s << QStringList{QString()};
}

void TestWebFormFiller::waitUntilLoaded_fingerprintCoversDocumentsInOrder()
{
    QFETCH(QString, page);
    QFETCH(QStringList, bodyTexts);
    QVERIFY(open(page));
    WebFormFiller filler;
    QVERIFY(filler.WaitUntilLoaded(m_fixture.tab()));

    QCOMPARE(filler.DocumentCount(), bodyTexts.size());
    const QByteArray md5 =
        QCryptographicHash::hash(bodyTexts.join(QString()).toUtf8(), QCryptographicHash::Md5);
    QCOMPARE(filler.pageFingerprint(), QString::fromLatin1(md5.toHex())); // 32 lowercase hex digits
}

void TestWebFormFiller::initialise_withoutLoadedPage_failsAndKeepsBinding_data()
{
    QTest::addColumn<bool>("withView");
    QTest::addColumn<QString>("expectedError");
    QTest::newRow("no view") << false << ViewGoneText;
    QTest::newRow("nothing loaded yet") << true << PageFixture::unloadedError();
}

void TestWebFormFiller::initialise_withoutLoadedPage_failsAndKeepsBinding()
{
    QFETCH(bool, withView);
    QFETCH(QString, expectedError);
    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));
    const QString fingerprint = filler.pageFingerprint();

    const std::unique_ptr<BrowserTab> unloaded = m_fixture.unloadedTab();
    QString error;
    QVERIFY(!filler.Initialise(withView ? unloaded.get() : nullptr, &error));
    QCOMPARE(error, expectedError);
    QCOMPARE(filler.boundWindowHandle(), m_fixture.tab());
    QCOMPARE(filler.DocumentCount(), 1);
    QCOMPARE(filler.pageFingerprint(), fingerprint);
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
}

void TestWebFormFiller::boundViewDeleted_operationsFindNothing()
{
    WebFormFiller unbound;
    QVERIFY(!unbound.SetCheckBoxChecked(u"1"_s, true));

    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));
    m_fixture.destroyTab();
    QCOMPARE(filler.boundWindowHandle(), nullptr);
    QString error;
    QVERIFY(!filler.Initialise(filler.boundWindowHandle(), &error));
    QCOMPARE(error, ViewGoneText);
    QVERIFY(!filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
    // A view that is gone never loads: no waiting out the default 20 s.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!filler.WaitUntilLoaded(nullptr));
    QVERIFY(clock.elapsed() < 10000);
}

void TestWebFormFiller::waitUntilLoaded_busyLoadingPage_timesOutThenLoads()
{
    // The page shown before answers until the busy one arrives; it must not
    // pass for the page being loaded.
    QVERIFY(open(u"empty.html"_s));
    QVERIFY(open(u"slow.html"_s, u"4000"_s));
    WebFormFiller filler;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!filler.WaitUntilLoaded(m_fixture.tab(), 500));
    QVERIFY2(clock.elapsed() >= 450 && clock.elapsed() < 3500, qPrintable(QString::number(clock.elapsed())));

    QVERIFY(filler.WaitUntilLoaded(m_fixture.tab()));
    QCOMPARE(filler.DocumentCount(), 1);
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
    QCOMPARE(evaluate(u"window.clicks"_s).toInt(), 1);
}

void TestWebFormFiller::busyPage_operationsGiveUpAndNeverActLate()
{
    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));

    m_fixture.evaluateLater(u"{ const end = Date.now() + 8000; while (Date.now() < end) {} }"_s);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
    QString error;
    QVERIFY(!filler.Initialise(m_fixture.tab(), &error));
    QCOMPARE(error, NotLoadedText);
    // Two waits of about a second each, well before the page is free again.
    QVERIFY2(clock.elapsed() >= 1000 && clock.elapsed() < 6000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(filler.DocumentCount(), 1);

    // Once the page is free, the request it was sent must not tick the box.
    QCOMPARE(regionState(), u"ticked |attribute |hidden |shown |chosen |inline |listener "_s);
}

void TestWebFormFiller::brokenPage_checkBoxesStillWorkAndErrorsAreLogged()
{
    pagefillLog.clear();
    WebFormFiller filler;
    QVERIFY(bind(filler, u"broken.html"_s));

    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
    QCOMPARE(evaluate(u"document.getElementById('J_City_320100').checked"_s).toBool(), true);
    // The page's console reaches our log: its syntax error, and the error of
    // its click handler, which shows that the handler ran.
    QTRY_VERIFY_WITH_TIMEOUT(pagefillLog.join(u'\n').contains("SyntaxError"_L1), PageTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(pagefillLog.join(u'\n').contains("undefinedRegionPicker"_L1), PageTimeoutMs);
}

void TestWebFormFiller::identifierWithScript_isOnlyData_data()
{
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<bool>("found");

    QTest::newRow("double quotes") << u"\"+alert(1)+\""_s << false;
    QTest::newRow("single quotes, backslash") << u"\\');alert(2);//"_s << false;
    QTest::newRow("script end tag") << u"</script><script>alert(3)</script>"_s << false;
    QTest::newRow("template literal, line separator") << u"`${alert(4)}`\u2028alert(5)"_s << false;
    QTest::newRow("box whose id holds quotes") << u"J_\"'</script>`"_s << true;
}

void TestWebFormFiller::identifierWithScript_isOnlyData()
{
    QFETCH(QString, identifier);
    QFETCH(bool, found);
    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));
    const QStringList alertsBefore = m_fixture.alerts();

    QCOMPARE(filler.SetCheckBoxChecked(identifier, true), found);
    QCOMPARE(!filler.FindCheckBox(u"id=="_s + identifier).isNull(), found);
    QCOMPARE(evaluate(u"chosen"_s).toStringList(), found ? QStringList{identifier} : QStringList());
    // The control alert proves that alerts are recorded at all.
    evaluate(u"alert('control')"_s);
    QCOMPARE(m_fixture.alerts().mid(alertsBefore.size()), QStringList{u"control"_s});
}

void TestWebFormFiller::pageThatRedefinesGlobals_neitherDisturbsNorSeesTheScript()
{
    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));
    // What the page's own scripts may do to the globals and prototypes of
    // their world; none of it reaches ours.
    evaluate(u"window.JSON = {parse() { throw new Error('page JSON'); }, stringify() { return ''; }};"
             "window.atob = () => { throw new Error('page atob'); };"
             "window.TextDecoder = function () { throw new Error('page TextDecoder'); };"
             "HTMLElement.prototype.click = function () { window.hijacked = (window.hijacked || 0) + 1; };"
             "Element.prototype.matches = () => true;"
             "Element.prototype.getElementsByTagName = () => [];"
             "window.kuaidiPagefill = () => ({done: true});"
             "'sabotaged'"_s);

    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320100"_s, true)); // by id
    QVERIFY(filler.SetCheckBoxChecked(u"name==city"_s, true, 1)); // by name, walking the inputs
    QVERIFY(filler.SetCheckBoxChecked(u"6"_s, false));            // by position
    QVERIFY(filler.SetCheckBoxChecked(u"J_Group_2"_s, true));
    QCOMPARE(regionState(),
             u"ticked J_City_320100,J_City_320200,J_Group_2|attribute J_City_320100,J_City_320200,"
             "J_Group_2|hidden |shown |chosen J_City_320100,J_City_320200,J_Group_2|inline "
             "J_City_320100:1,J_City_320200:1,J_City_220200:1,J_Group_2:1|listener "
             "J_City_320100:1,J_City_320200:1,J_City_220200:1,J_Group_2:1"_s);
    // Nothing of the script is left in the page's world.
    QCOMPARE(evaluate(u"[typeof window.hijacked, typeof window.kuaidiElements].join()"_s).toString(),
             u"undefined,undefined"_s);
}

void TestWebFormFiller::checkBoxes_readBackAsThePageShowsThem()
{
    WebFormFiller filler;
    QVERIFY(bind(filler, u"regions.html"_s));
    evaluate(u"document.getElementById('J_Group_2').disabled = true"_s);
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
    QVERIFY(filler.SetCheckBoxDisplay(u"J_City_320100"_s));

    const QList<PageCheckBox> boxes = filler.checkBoxes();
    QStringList ids;
    for (const PageCheckBox &box : boxes)
        ids.append(box.id);
    QCOMPARE(ids, (QStringList{u"J_Group_3"_s, u"J_Province_320000"_s, u"J_City_320100"_s, u"J_City_320200"_s,
                               u"J_Group_2"_s, u"J_City_220200"_s, u"J_Province_990000"_s,
                               u"J_Province_320000_dup"_s, u"J_\"'</script>`"_s}));
    QCOMPARE(boxes.at(2), (PageCheckBox{1, u"J_City_320100"_s, true, false, true}));
    QCOMPARE(boxes.at(3), (PageCheckBox{1, u"J_City_320200"_s, false, false, false}));
    QCOMPARE(boxes.at(4), (PageCheckBox{1, u"J_Group_2"_s, false, true, false}));

    // In frames, as the frame number says.
    QVERIFY(bind(filler, u"frameset.html"_s));
    QVERIFY(filler.SetCheckBoxChecked(u"box"_s, true, 0, 4));
    QCOMPARE(filler.checkBoxes(4), (QList<PageCheckBox>{{4, u"box"_s, true, false, false}}));
    QCOMPARE(filler.checkBoxes().size(), 5);
}

#if defined(Q_OS_UNIX) && !defined(KUAIDI_TEST_DEVTOOLS)
void TestWebFormFiller::rendererKilled_pageReloads()
{
    QVERIFY(open(u"regions.html"_s));
    evaluate(u"window.marker = 'before'"_s);
    const qint64 pid = m_fixture.page()->renderProcessPid();
    QVERIFY(pid > 0);

    QSignalSpy loaded(m_fixture.page(), &QWebEnginePage::loadFinished);
    QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), PageTimeoutMs);
    QVERIFY(loaded.last().first().toBool());
    QCOMPARE(evaluate(u"typeof window.marker"_s).toString(), u"undefined"_s);
    WebFormFiller filler;
    QVERIFY(filler.Initialise(m_fixture.tab()));
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
}
#endif

QTEST_MAIN(TestWebFormFiller)
#include "tst_webformfiller.moc"

#include "../common/pageserver.h"
#include "../common/testbrowser.h"

#include <devtools/browserlaunch.h>
#include <devtools/devtoolsconnection.h>
#include <devtools/devtoolstab.h>
#include <pagefill/webformfiller.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace Kuaidi;
using namespace KuaidiTest;

namespace {

const QString ClosedText = u"浏览器已关闭：请点击“1.打开”重新打开。"_s;
const QString LostText = u"与浏览器的连接已断开，重新连接也没有成功：请点击“1.打开”。"_s;

// Stands between a tab and the browser's port, to lose the connection at
// will: it forwards, or (silent) takes connections and never answers.
class Relay final : public QObject
{
public:
    explicit Relay(quint16 target) : m_target(target)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &Relay::accept);
        m_server.listen(QHostAddress::LocalHost);
        m_port = m_server.serverPort();
    }

    quint16 port() const { return m_port; }
    void setSilent(bool silent) { m_silent = silent; }
    void stop()
    {
        m_server.close();
        dropAll();
    }
    void dropAll()
    {
        for (QTcpSocket *socket : std::exchange(m_sockets, {}))
            socket->abort();
    }

private:
    void accept()
    {
        while (QTcpSocket *client = m_server.nextPendingConnection()) {
            m_sockets.append(client);
            if (m_silent) {
                connect(client, &QTcpSocket::readyRead, client, [client] { client->readAll(); });
                continue;
            }
            auto *upstream = new QTcpSocket(client);
            m_sockets.append(upstream);
            connect(client, &QTcpSocket::readyRead, upstream, [client, upstream] {
                if (upstream->state() == QAbstractSocket::ConnectedState)
                    upstream->write(client->readAll());
            });
            connect(upstream, &QTcpSocket::connected, client,
                    [client, upstream] { upstream->write(client->readAll()); });
            connect(upstream, &QTcpSocket::readyRead, client,
                    [client, upstream] { client->write(upstream->readAll()); });
            connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::abort);
            upstream->connectToHost(QHostAddress::LocalHost, m_target);
        }
    }

    QTcpServer m_server;
    quint16 m_target;
    quint16 m_port = 0;
    bool m_silent = false;
    QList<QPointer<QTcpSocket>> m_sockets;
};

} // namespace

class TestDevTools final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void endpoint_onlyDevToolsAddressesOnLoopback_data();
    void endpoint_onlyDevToolsAddressesOnLoopback();
    void activePort_onlyTheBrowsersOwnForm_data();
    void activePort_onlyTheBrowsersOwnForm();
    void arguments_ownProfileRandomPortAndTheAddress();
    void debuggingPort_listensOnLoopbackOnly();
    void tab_followsNavigationsReloadsAndNewTabs();
    void dialogs_aClicksAreAnsweredTheSellersAreNot();
    void connectionLost_reconnectsOnce();
    void browserClosed_isNamed();
    void noBrowser_orOneThatEndsAtOnce_isNamed();

private:
    QVariant page(const QString &script) { return evaluateInTab(m_tab.get(), script, 30000); }
    bool waitForPage(const QString &search)
    {
        return QTest::qWaitFor(
            [&] {
                return page(u"[document.readyState, location.pathname, location.search].join(' ')"_s)
                           .toString() == u"complete /regions.html "_s + search;
            },
            30000);
    }

    PageServer m_server;
    QTemporaryDir m_profiles;
    std::unique_ptr<DevToolsTab> m_tab;
};

void TestDevTools::initTestCase()
{
    m_tab = std::make_unique<DevToolsTab>(testBrowserOptions(m_profiles.path()));
    QString error;
    QVERIFY2(m_tab->open(m_server.url(u"regions.html"_s), &error), qPrintable(error));
    QVERIFY(waitForPage(QString()));
}

void TestDevTools::cleanupTestCase()
{
    m_tab.reset();
}

void TestDevTools::endpoint_onlyDevToolsAddressesOnLoopback_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("local");

    QTest::newRow("the browser's own") << u"ws://127.0.0.1:9222/devtools/browser/1a-2b"_s << true;
    QTest::newRow("a page's") << u"ws://127.0.0.1:9222/devtools/page/ABC"_s << true;
    QTest::newRow("a name, not the address") << u"ws://localhost:9222/devtools/browser/1"_s << false;
    QTest::newRow("another computer") << u"ws://192.168.1.10:9222/devtools/browser/1"_s << false;
    QTest::newRow("IPv6 loopback") << u"ws://[::1]:9222/devtools/browser/1"_s << false;
    QTest::newRow("no port") << u"ws://127.0.0.1/devtools/browser/1"_s << false;
    QTest::newRow("not the DevTools path") << u"ws://127.0.0.1:9222/other"_s << false;
    QTest::newRow("with user info") << u"ws://me@127.0.0.1:9222/devtools/browser/1"_s << false;
    QTest::newRow("secure scheme") << u"wss://127.0.0.1:9222/devtools/browser/1"_s << false;
    QTest::newRow("plain HTTP") << u"http://127.0.0.1:9222/devtools/browser/1"_s << false;
}

void TestDevTools::endpoint_onlyDevToolsAddressesOnLoopback()
{
    QFETCH(QString, url);
    QFETCH(bool, local);
    QCOMPARE(DevToolsConnection::isLocalEndpoint(QUrl(url)), local);
    if (!local) {
        // Refused before any connection is tried.
        DevToolsConnection connection;
        QString error;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!connection.open(QUrl(url), 5000, &error));
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY2(error.startsWith(u"浏览器调试地址无效"_s), qPrintable(error));
    }
}

void TestDevTools::activePort_onlyTheBrowsersOwnForm_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("endpoint"); // empty: none

    QTest::newRow("as Chromium writes it")
        << QByteArray("43045\n/devtools/browser/51015429-a8e6-4eee-8bdb-0a80918c7c7c")
        << u"ws://127.0.0.1:43045/devtools/browser/51015429-a8e6-4eee-8bdb-0a80918c7c7c"_s;
    QTest::newRow("Windows line ends")
        << QByteArray("9222\r\n/devtools/browser/abc\r\n") << u"ws://127.0.0.1:9222/devtools/browser/abc"_s;
    QTest::newRow("empty, being written") << QByteArray() << QString();
    QTest::newRow("port only") << QByteArray("9222\n") << QString();
    QTest::newRow("port 0") << QByteArray("0\n/devtools/browser/abc") << QString();
    QTest::newRow("port past 65535") << QByteArray("70000\n/devtools/browser/abc") << QString();
    QTest::newRow("not a number") << QByteArray("92a2\n/devtools/browser/abc") << QString();
    QTest::newRow("another path") << QByteArray("9222\n/devtools/page/abc") << QString();
    QTest::newRow("a path that reaches further")
        << QByteArray("9222\n/devtools/browser/a/../../x") << QString();
    QTest::newRow("a query slipped in") << QByteArray("9222\n/devtools/browser/a?x=1") << QString();
    QTest::newRow("a host slipped in") << QByteArray("9222@evil.example\n/devtools/browser/a") << QString();
    QTest::newRow("a third line") << QByteArray("9222\n/devtools/browser/a\nmore") << QString();
}

void TestDevTools::activePort_onlyTheBrowsersOwnForm()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, endpoint);
    const std::optional<QUrl> read = endpointFromActivePort(contents);
    QCOMPARE(read.has_value(), !endpoint.isEmpty());
    if (read)
        QCOMPARE(read->toString(), endpoint);

    const QTemporaryDir profile;
    QFile file(QDir(profile.path()).filePath(u"DevToolsActivePort"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();
    QCOMPARE(activePortEndpoint(profile.path()).has_value(), !endpoint.isEmpty());
}

void TestDevTools::arguments_ownProfileRandomPortAndTheAddress()
{
    const BrowserLaunchOptions options{{u"Chromium"_s, u"/usr/bin/chromium"_s, u"chromium"_s},
                                       u"/home/店主/.local/share/Vantor/kuaidi/browsers/chromium"_s,
                                       {u"--headless"_s},
                                       true,
                                       30000};
    const QStringList arguments =
        browserArguments(options, QUrl(u"https://wuliu.taobao.com/user/logis_tools.htm"_s));
    QCOMPARE(arguments.first(), u"--user-data-dir="_s + QDir::toNativeSeparators(options.profileFolder));
    QVERIFY(arguments.contains(u"--remote-debugging-port=0"_s));
    QVERIFY(arguments.contains(u"--no-first-run"_s));
    QVERIFY(arguments.contains(u"--headless"_s));
    QCOMPARE(arguments.last(), u"https://wuliu.taobao.com/user/logis_tools.htm"_s);
    // Nothing that would open the port to other computers or to web pages.
    for (const QString &argument : arguments) {
        QVERIFY(!argument.startsWith(u"--remote-debugging-address"_s));
        QVERIFY(!argument.startsWith(u"--remote-allow-origins"_s));
    }
}

void TestDevTools::debuggingPort_listensOnLoopbackOnly()
{
    const quint16 port = quint16(m_tab->connection()->url().port());
    QTcpSocket control;
    control.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(control.waitForConnected(5000));

    int tried = 0;
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.isLoopback() || address.isLinkLocal())
            continue;
        QTcpSocket socket;
        socket.connectToHost(address, port);
        QVERIFY2(!socket.waitForConnected(3000), qPrintable(address.toString()));
        ++tried;
    }
    if (tried == 0)
        QSKIP("this computer has no address but its loopback one");
}

void TestDevTools::tab_followsNavigationsReloadsAndNewTabs()
{
    WebFormFiller filler;
    QVERIFY(filler.Initialise(m_tab.get()));
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
    QCOMPARE(page(u"chosen.join()"_s).toString(), u"J_City_320100"_s);

    // The seller goes on to another page in the tab.
    page(u"location.href = '%1'"_s.arg(m_server.url(u"regions.html"_s, u"second"_s).toString()));
    QVERIFY(waitForPage(u"?second"_s));
    QVERIFY(filler.Initialise(m_tab.get()));
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_220200"_s, true));
    QCOMPARE(page(u"chosen.join()"_s).toString(), u"J_City_220200"_s);

    // ... reloads it ...
    page(u"location.reload()"_s);
    QTRY_COMPARE_WITH_TIMEOUT(page(u"document.readyState + ' ' + chosen.length"_s).toString(),
                              u"complete 0"_s, 30000);
    QVERIFY(filler.Initialise(m_tab.get()));
    QVERIFY(filler.SetCheckBoxChecked(u"J_Group_3"_s, true));
    QCOMPARE(page(u"chosen.join()"_s).toString(), u"J_Group_3"_s);

    // ... follows a link into a new tab, where the editor goes with it ...
    // (As if clicked: a window opened by a script alone is blocked.)
    m_tab->connection()->call(u"Runtime.evaluate"_s,
                              {{"expression"_L1, u"window.open('%1'), 'opened'"_s.arg(
                                                     m_server.url(u"regions.html"_s, u"third"_s).toString())},
                               {"userGesture"_L1, true}},
                              m_tab->sessionId());
    QTRY_VERIFY_WITH_TIMEOUT(filler.Initialise(m_tab.get()) && m_tab->pageUrl().query() == "third"_L1, 30000);
    QVERIFY(waitForPage(u"?third"_s));
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320200"_s, true));
    QCOMPARE(page(u"chosen.join()"_s).toString(), u"J_City_320200"_s);

    // ... and closes it: the tab left is bound again.
    m_tab->connection()->send(u"Runtime.evaluate"_s, {{"expression"_L1, u"window.close()"_s}},
                              m_tab->sessionId());
    QTRY_VERIFY_WITH_TIMEOUT(filler.Initialise(m_tab.get()) && m_tab->pageUrl().query() == "second"_L1,
                             30000);
    QCOMPARE(page(u"chosen.join()"_s).toString(), u"J_Group_3"_s);
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320200"_s, true));
}

void TestDevTools::dialogs_aClicksAreAnsweredTheSellersAreNot()
{
    QVERIFY(m_tab->open(m_server.url(u"regions.html"_s, u"dialogs"_s)));
    QVERIFY(waitForPage(u"?dialogs"_s));
    page(u"document.getElementById('J_City_320200').addEventListener('click', () => alert('已选择无锡'))"_s);
    WebFormFiller filler;
    QVERIFY(filler.Initialise(m_tab.get()));
    // An alert left open would hold up the next tick.
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320200"_s, true));
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_220200"_s, true));
    QCOMPARE(page(u"chosen.join()"_s).toString(), u"J_City_320200,J_City_220200"_s);

    // One the seller's own doing raises well after, is the seller's.
    QTest::qWait(2500);
    QSignalSpy events(m_tab->connection(), &DevToolsConnection::eventReceived);
    m_tab->connection()->send(u"Runtime.evaluate"_s,
                              {{"expression"_L1, u"setTimeout(() => alert('卖家的提示'))"_s}},
                              m_tab->sessionId());
    const auto seen = [&events](const QString &method) {
        return std::any_of(events.cbegin(), events.cend(),
                           [&](const QList<QVariant> &e) { return e.first() == method; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(seen(u"Page.javascriptDialogOpening"_s), 30000);
    QTest::qWait(500);
    QVERIFY(!seen(u"Page.javascriptDialogClosed"_s));
    QVERIFY(m_tab->connection()
                ->call(u"Page.handleJavaScriptDialog"_s, {{"accept"_L1, true}}, m_tab->sessionId())
                .ok);
}

void TestDevTools::connectionLost_reconnectsOnce()
{
    // A tab that finds the browser through a profile folder of its own, whose
    // port file names the relay.
    const QUrl endpoint = m_tab->connection()->url();
    Relay relay(quint16(endpoint.port()));
    const QTemporaryDir profiles;
    DevToolsTab::Options options = testBrowserOptions(profiles.path());
    const BrowserSearch search = browserFor({PageBackend::OwnBrowser, options.program});
    QVERIFY(search.found);
    const QString folder = QDir(profiles.path()).filePath(search.found->profileName);
    QVERIFY(QDir().mkpath(folder));
    QFile portFile(QDir(folder).filePath(u"DevToolsActivePort"_s));
    QVERIFY(portFile.open(QIODevice::WriteOnly));
    portFile.write(QByteArray::number(relay.port()) + '\n' + endpoint.path().toLatin1());
    portFile.close();

    DevToolsTab tab(options);
    WebFormFiller filler;
    QString error;
    QVERIFY2(filler.Initialise(&tab, &error), qPrintable(error));
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320100"_s, true));

    // Lost, and found again at once.
    QSignalSpy closed(&tab, &BrowserTab::closed);
    relay.dropAll();
    QTRY_COMPARE(closed.size(), 1);
    QVERIFY2(filler.Initialise(&tab, &error), qPrintable(error));
    QVERIFY(filler.SetCheckBoxChecked(u"J_City_320100"_s, false));

    // Lost where nothing answers: one try, then no more until 1.打开.
    relay.setSilent(true);
    relay.dropAll();
    QTRY_COMPARE(closed.size(), 2);
    QVERIFY(!filler.Initialise(&tab, &error));
    QCOMPARE(error, LostText);
    relay.setSilent(false);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!filler.Initialise(&tab, &error));
    QCOMPARE(error, LostText);
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(!filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
    QVERIFY(tab.open(m_server.url(u"regions.html"_s, u"again"_s), &error));
    QVERIFY(filler.Initialise(&tab, &error));

    // Nothing listens any more: the browser has closed.
    relay.stop();
    QTRY_COMPARE(closed.size(), 3);
    QVERIFY(!filler.Initialise(&tab, &error));
    QCOMPARE(error, ClosedText);
}

void TestDevTools::browserClosed_isNamed()
{
    const QTemporaryDir profiles;
    DevToolsTab tab(testBrowserOptions(profiles.path()));
    WebFormFiller filler;
    QString error;
    QVERIFY(!filler.Initialise(&tab, &error));
    QCOMPARE(error, u"还没有打开浏览器：请点击“1.打开”。"_s);

    QVERIFY2(tab.open(m_server.url(u"regions.html"_s), &error), qPrintable(error));
    QVERIFY(!tab.browserName().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(filler.Initialise(&tab) && filler.SetCheckBoxChecked(u"J_City_320100"_s, true),
                             30000);

    QSignalSpy closed(&tab, &BrowserTab::closed);
    tab.closeBrowser();
    QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, 30000);
    QVERIFY(!tab.isConnected());
    QVERIFY(!filler.Initialise(&tab, &error));
    QCOMPARE(error, ClosedText);
    QVERIFY(!filler.SetCheckBoxChecked(u"J_City_320100"_s, true));
}

void TestDevTools::noBrowser_orOneThatEndsAtOnce_isNamed()
{
    const QTemporaryDir dir;
    DevToolsTab::Options options = testBrowserOptions(dir.path());
    options.program = QDir(dir.path()).filePath(u"没有安装/msedge.exe"_s);
    DevToolsTab missing(options);
    QString error;
    QVERIFY(!missing.open(m_server.url(u"regions.html"_s), &error));
    QCOMPARE(error, u"在“设置”中选择的浏览器程序不存在或不能运行：%1"_s.arg(
                        QDir::toNativeSeparators(options.program)));

#ifdef Q_OS_UNIX
    // What Chromium does when run as root without --no-sandbox.
    options.program = QDir(dir.path()).filePath(u"bin/chromium"_s);
    QVERIFY(QDir(dir.path()).mkpath(u"bin"_s));
    QFile script(options.program);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho 'Running as root without --no-sandbox is not supported.' >&2\nexit 1\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    DevToolsTab ending(options);
    QVERIFY(!ending.open(m_server.url(u"regions.html"_s), &error));
    QVERIFY2(error.startsWith(u"浏览器 Chromium 启动后立即退出了（退出码 1）"_s), qPrintable(error));
    QVERIFY(error.contains(u"without --no-sandbox"_s));
#endif
}

QTEST_GUILESS_MAIN(TestDevTools)
#include "tst_devtools.moc"

#include "devtoolstab.h"

#include "devtoolsconnection.h"
#include "devtoolslogging.h"

#include <pagefill/answerwait.h>

#include <pagefill/pagefilllogging.h>

#include <QDir>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int ConnectTimeoutMs = 5000;
// A browser just started opens its first tab a little after its port.
constexpr int FirstTabTimeoutMs = 10000;
// A dialog that a page raises this soon after one of our scripts began or
// ended is taken for its click's, and answered as the embedded browser
// answers them.
constexpr qint64 DialogGraceMs = 2000;
const auto WorldName = "kuaidi-pagefill"_L1;

const QString NotOpenText = u"还没有打开浏览器：请点击“1.打开”。"_s;
const QString ClosedText = u"浏览器已关闭：请点击“1.打开”重新打开。"_s;
const QString LostText = u"与浏览器的连接已断开，重新连接也没有成功：请点击“1.打开”。"_s;
const QString NoPageText = u"浏览器中没有打开的网页：请点击“1.打开”。"_s;

bool setError(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
    return false;
}

QVariantMap scriptError(const QString &text)
{
    return {{u"error"_s, text}};
}

} // namespace

DevToolsTab::Options DevToolsTab::defaultOptions()
{
    Options options;
    options.program = savedBrowserChoice().program;
    options.profileRoot = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) % "/browsers"_L1;
    options.extraArguments = QProcess::splitCommand(qEnvironmentVariable("KUAIDI_BROWSER_ARGS"));
    return options;
}

DevToolsTab::DevToolsTab(Options options, QObject *parent) : BrowserTab(parent), m_options(std::move(options))
{
}

DevToolsTab::~DevToolsTab()
{
    // Their endings are no news to a tab going away.
    if (m_connection)
        m_connection->disconnect(this);
    if (m_launch)
        m_launch->disconnect(this);
}

std::optional<InstalledBrowser> DevToolsTab::locate(QString *errorText) const
{
    const BrowserSearch search = browserFor({PageBackend::OwnBrowser, m_options.program});
    if (search.found)
        return search.found;
    if (!m_options.program.isEmpty()) {
        setError(errorText, u"在“设置”中选择的浏览器程序不存在或不能运行：%1"_s.arg(
                                QDir::toNativeSeparators(m_options.program)));
    } else {
        setError(errorText,
                 u"没有找到 Microsoft Edge、Google Chrome 或 Chromium 浏览器。查找了：\n%1\n"
                 "请安装其中一个，或在计算器的“设置 → 模板编辑器的浏览器…”中选择浏览器程序。"_s.arg(
                     search.looked.join(u'\n')));
    }
    return std::nullopt;
}

QString DevToolsTab::profileFolder(const InstalledBrowser &browser) const
{
    return QDir(m_options.profileRoot).filePath(browser.profileName);
}

bool DevToolsTab::isConnected() const
{
    return m_connection && m_connection->isOpen();
}

bool DevToolsTab::connectTo(const QUrl &endpoint, QString *errorText)
{
    auto *connection = new DevToolsConnection(this);
    if (!connection->open(endpoint, ConnectTimeoutMs, errorText)) {
        const bool refused = connection->wasRefused();
        delete connection;
        if (refused)
            m_lost = Lost::Browser;
        return false;
    }
    if (m_connection) {
        m_connection->disconnect(this);
        m_connection->deleteLater();
    }
    m_connection = connection;
    connect(connection, &DevToolsConnection::eventReceived, this, &DevToolsTab::onEvent);
    connect(connection, &DevToolsConnection::closed, this, &DevToolsTab::onConnectionClosed);
    m_lost = Lost::No;
    m_reconnectTried = false;
    dropSession();
    m_targets.clear();

    const DevToolsReply version = connection->call(u"Browser.getVersion"_s);
    m_version = version.result.value("product"_L1).toString().section(u'/', 1);
    connection->call(u"Target.setDiscoverTargets"_s, {{"discover"_L1, true}});
    readTargets();
    qCInfo(lcDevTools) << "connected to" << endpoint.toDisplayString() << version.result.value("product"_L1)
                       << m_targets.size() << "tabs";
    Q_EMIT changed();
    return true;
}

void DevToolsTab::readTargets()
{
    const DevToolsReply reply = m_connection->call(u"Target.getTargets"_s);
    const QJsonArray infos = reply.result.value("targetInfos"_L1).toArray();
    for (const auto &value : infos) {
        const QJsonObject info = value.toObject();
        if (info.value("type"_L1).toString() != "page"_L1 ||
            targetIndex(info.value("targetId"_L1).toString()) >= 0)
            continue;
        m_targets.append({info.value("targetId"_L1).toString(), info.value("url"_L1).toString(),
                          info.value("title"_L1).toString(), info.value("openerId"_L1).toString()});
    }
}

void DevToolsTab::readTargetInfo(const QString &id)
{
    const QPointer<DevToolsTab> self(this);
    m_connection->send(u"Target.getTargetInfo"_s, {{"targetId"_L1, id}}, {},
                       [self, id](const DevToolsReply &reply) {
                           const QJsonObject info = reply.result.value("targetInfo"_L1).toObject();
                           const qsizetype i = self && reply.ok ? self->targetIndex(id) : -1;
                           if (i < 0)
                               return;
                           self->m_targets[i].url = info.value("url"_L1).toString();
                           self->m_targets[i].title = info.value("title"_L1).toString();
                           if (id == self->m_targetId)
                               Q_EMIT self->changed();
                       });
}

qsizetype DevToolsTab::targetIndex(const QString &id) const
{
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        if (m_targets.at(i).id == id)
            return i;
    }
    return -1;
}

bool DevToolsTab::reconnectOnce(QString *errorText)
{
    if (m_lost == Lost::Browser || (m_launch && !m_launch->isRunning()))
        return setError(errorText, ClosedText);
    if (m_reconnectTried)
        return setError(errorText, LostText);
    m_reconnectTried = true;
    const QUrl last = m_connection ? m_connection->url() : QUrl();
    // The browser writes its port down again should it have started anew.
    const std::optional<QUrl> written =
        m_browser ? activePortEndpoint(profileFolder(*m_browser)) : std::nullopt;
    const QUrl endpoint = written.value_or(last);
    qCInfo(lcDevTools) << "connection lost; reconnecting once to" << endpoint.toDisplayString();
    if (endpoint.isEmpty() || !connectTo(endpoint, nullptr)) {
        return setError(errorText, m_lost == Lost::Browser ? ClosedText : LostText);
    }
    return true;
}

void DevToolsTab::dropSession()
{
    m_sessionId.clear();
    m_worlds.clear();
    m_frameId.clear();
    m_loading = false;
}

bool DevToolsTab::ensureSession(QString *errorText)
{
    // A tab that the bound one opened is where the seller went on.
    if (!m_followId.isEmpty() && m_followId != m_targetId && targetIndex(m_followId) >= 0) {
        qCInfo(lcDevTools) << "following the tab opened from the bound one";
        dropSession();
        m_targetId = m_followId;
    }
    m_followId.clear();
    if (targetIndex(m_targetId) < 0) {
        dropSession();
        m_targetId = m_targets.isEmpty() ? QString() : m_targets.constLast().id;
    }
    if (m_targetId.isEmpty())
        return setError(errorText, NoPageText);
    if (!m_sessionId.isEmpty())
        return true;

    const DevToolsReply attached =
        m_connection->call(u"Target.attachToTarget"_s, {{"targetId"_L1, m_targetId}, {"flatten"_L1, true}});
    if (!attached.ok)
        return setError(errorText, u"无法连接浏览器中的网页：%1"_s.arg(attached.error));
    m_sessionId = attached.result.value("sessionId"_L1).toString();
    m_connection->call(u"Page.enable"_s, {}, m_sessionId);
    // The page's own errors reach the log, as the embedded browser's do.
    m_connection->send(u"Runtime.enable"_s, {}, m_sessionId);
    const DevToolsReply tree = m_connection->call(u"Page.getFrameTree"_s, {}, m_sessionId);
    m_frameId =
        tree.result.value("frameTree"_L1).toObject().value("frame"_L1).toObject().value("id"_L1).toString();
    if (m_frameId.isEmpty())
        m_frameId = m_targetId;
    Q_EMIT changed();
    return true;
}

bool DevToolsTab::attach(QString *errorText)
{
    if (!isConnected()) {
        if (m_lost != Lost::No)
            return reconnectOnce(errorText) && ensureSession(errorText);
        // A browser left open by an earlier editor is taken as it is.
        const std::optional<InstalledBrowser> browser = locate(nullptr);
        const std::optional<QUrl> endpoint =
            browser ? activePortEndpoint(profileFolder(*browser)) : std::nullopt;
        if (!endpoint || !connectTo(*endpoint, nullptr)) {
            m_lost = Lost::No;
            return setError(errorText, NotOpenText);
        }
        m_browser = browser;
    }
    return ensureSession(errorText);
}

bool DevToolsTab::open(const QUrl &address, QString *errorText)
{
    if (!isConnected()) {
        const std::optional<InstalledBrowser> browser = locate(errorText);
        if (!browser)
            return false;
        m_browser = browser;
        const QString folder = profileFolder(*browser);
        const std::optional<QUrl> running = activePortEndpoint(folder);
        if (!running || !connectTo(*running, nullptr)) {
            delete m_launch;
            m_launch = new BrowserLaunch(this);
            connect(m_launch, &BrowserLaunch::finished, this, [this] {
                qCInfo(lcDevTools) << "browser ended";
                m_lost = Lost::Browser;
            });
            const BrowserLaunchOptions launch{*browser, folder, m_options.extraArguments,
                                              m_options.keepRunning, m_options.startTimeoutMs};
            if (!m_launch->start(launch, address, errorText) || !connectTo(m_launch->endpoint(), errorText))
                return false;
            // The address goes into the tab the browser opens for it.
            QElapsedTimer clock;
            clock.start();
            while (m_targets.isEmpty() && isConnected() && clock.elapsed() < FirstTabTimeoutMs) {
                waitWithoutUserInput(100);
                readTargets();
            }
            m_targetId.clear();
            return ensureSession(errorText);
        }
    }
    if (!ensureSession(nullptr)) {
        const DevToolsReply created =
            m_connection->call(u"Target.createTarget"_s, {{"url"_L1, address.toString(QUrl::FullyEncoded)}});
        if (!created.ok)
            return setError(errorText, u"无法在浏览器中打开网页：%1"_s.arg(created.error));
        readTargets();
        m_targetId = created.result.value("targetId"_L1).toString();
        return ensureSession(errorText);
    }
    const DevToolsReply navigated = m_connection->call(
        u"Page.navigate"_s, {{"url"_L1, address.toString(QUrl::FullyEncoded)}}, m_sessionId);
    // A page that fails to load says so in the browser itself.
    if (!navigated.result.value("errorText"_L1).toString().isEmpty())
        qCInfo(lcDevTools) << "navigation:" << navigated.result.value("errorText"_L1).toString();
    activate();
    return navigated.ok || setError(errorText, u"无法在浏览器中打开网页：%1"_s.arg(navigated.error));
}

void DevToolsTab::activate()
{
    if (isConnected() && !m_targetId.isEmpty())
        m_connection->send(u"Target.activateTarget"_s, {{"targetId"_L1, m_targetId}});
}

void DevToolsTab::closeBrowser()
{
    if (isConnected())
        m_connection->call(u"Browser.close"_s);
}

QString DevToolsTab::browserName() const
{
    if (!m_browser)
        return {};
    return m_version.isEmpty() ? m_browser->name : m_browser->name % u' ' % m_version;
}

QString DevToolsTab::pageTitle() const
{
    const qsizetype i = targetIndex(m_targetId);
    return i < 0 ? QString() : m_targets.at(i).title;
}

QUrl DevToolsTab::pageUrl() const
{
    const qsizetype i = targetIndex(m_targetId);
    return i < 0 ? QUrl() : QUrl(m_targets.at(i).url);
}

bool DevToolsTab::isLoading() const
{
    return m_loading;
}

void DevToolsTab::runIsolated(const QString &script, Answer answer)
{
    if (!isConnected() || m_sessionId.isEmpty()) {
        QTimer::singleShot(0, this,
                           [answer = std::move(answer)] { answer(scriptError(u"没有连接浏览器"_s)); });
        return;
    }
    m_sinceScript.start();
    const QPointer<DevToolsTab> self(this);
    evaluateIsolated(script, m_sessionId, 1, [self, answer = std::move(answer)](const QVariant &value) {
        if (self)
            self->m_sinceScript.start();
        answer(value);
    });
}

void DevToolsTab::evaluateIsolated(const QString &script, const QString &session, int retries,
                                   const Answer &answer)
{
    const QPointer<DevToolsTab> self(this);
    const QPointer<DevToolsConnection> connection(m_connection);
    // The world is the tab's own for as long as its document lives: asked
    // for again by name, it is the same world, with what the script keeps.
    const QJsonObject world{{"frameId"_L1, m_frameId}, {"worldName"_L1, WorldName}};
    connection->send(u"Page.createIsolatedWorld"_s, world, session, [=](const DevToolsReply &created) {
        if (!created.ok || !self || !connection) {
            answer(scriptError(created.error));
            return;
        }
        // A context number names another context once the page has moved to
        // a new process; the unique id never does.
        QJsonObject evaluate{{"expression"_L1, script}, {"returnByValue"_L1, true}};
        const int context = created.result.value("executionContextId"_L1).toInt();
        if (const QString unique = self->m_worlds.value(context); !unique.isEmpty())
            evaluate.insert("uniqueContextId"_L1, unique);
        else
            evaluate.insert("contextId"_L1, context);
        connection->send(u"Runtime.evaluate"_s, evaluate, session, [=](const DevToolsReply &evaluated) {
            const QJsonObject exception = evaluated.result.value("exceptionDetails"_L1).toObject();
            // The document went between the two commands: once more, on the
            // one that took its place.
            if (!evaluated.ok && retries > 0 && self && connection && session == self->m_sessionId) {
                qCInfo(lcDevTools) << "script not run:" << evaluated.error << "- trying again";
                self->evaluateIsolated(script, session, retries - 1, answer);
            } else if (!evaluated.ok) {
                answer(scriptError(evaluated.error));
            } else if (!exception.isEmpty()) {
                answer(scriptError(exception.value("text"_L1).toString()));
            } else {
                answer(evaluated.result.value("result"_L1).toObject().value("value"_L1).toVariant());
            }
        });
    });
}

void DevToolsTab::onEvent(const QString &method, const QJsonObject &params, const QString &sessionId)
{
    if (method.startsWith("Target."_L1)) {
        const QJsonObject info = params.value("targetInfo"_L1).toObject();
        const QString id = info.value("targetId"_L1).toString();
        if (method == "Target.targetCreated"_L1 && info.value("type"_L1).toString() == "page"_L1) {
            if (targetIndex(id) < 0) {
                m_targets.append({id, info.value("url"_L1).toString(), info.value("title"_L1).toString(),
                                  info.value("openerId"_L1).toString()});
            }
            if (!m_targetId.isEmpty() && info.value("openerId"_L1).toString() == m_targetId)
                m_followId = id;
        } else if (method == "Target.targetInfoChanged"_L1) {
            if (const qsizetype i = targetIndex(id); i >= 0) {
                m_targets[i].url = info.value("url"_L1).toString();
                m_targets[i].title = info.value("title"_L1).toString();
                if (id == m_targetId)
                    Q_EMIT changed();
            }
        } else if (method == "Target.targetDestroyed"_L1) {
            const QString gone = params.value("targetId"_L1).toString();
            if (const qsizetype i = targetIndex(gone); i >= 0)
                m_targets.removeAt(i);
            if (gone == m_targetId) {
                dropSession();
                m_targetId.clear();
                Q_EMIT changed();
            }
        } else if (method == "Target.detachedFromTarget"_L1 &&
                   params.value("sessionId"_L1).toString() == m_sessionId) {
            dropSession();
        }
        return;
    }
    if (sessionId.isEmpty() || sessionId != m_sessionId)
        return;
    const QString frameId = params.value("frameId"_L1).toString();
    if (method == "Page.frameStartedLoading"_L1 && frameId == m_frameId) {
        m_loading = true;
    } else if (method == "Page.frameStoppedLoading"_L1 && frameId == m_frameId) {
        m_loading = false;
        // A page's title is settled once it has loaded; the browser does not
        // always tell it unasked.
        readTargetInfo(m_targetId);
    } else if (method == "Page.frameNavigated"_L1) {
        const QJsonObject frame = params.value("frame"_L1).toObject();
        if (!frame.contains("parentId"_L1))
            m_frameId = frame.value("id"_L1).toString();
    } else if (method == "Page.javascriptDialogOpening"_L1) {
        answerDialog(params);
    } else if (method == "Runtime.exceptionThrown"_L1) {
        const QJsonObject details = params.value("exceptionDetails"_L1).toObject();
        qCWarning(lcPagefill).noquote()
            << "console error:" << details.value("url"_L1).toString()
            << details.value("lineNumber"_L1).toInt() << details.value("text"_L1).toString()
            << details.value("exception"_L1).toObject().value("description"_L1).toString();
    } else if (method == "Runtime.consoleAPICalled"_L1) {
        logConsoleCall(params);
    } else if (method == "Runtime.executionContextCreated"_L1) {
        const QJsonObject context = params.value("context"_L1).toObject();
        if (context.value("name"_L1).toString() == WorldName)
            m_worlds.insert(context.value("id"_L1).toInt(), context.value("uniqueId"_L1).toString());
    } else if (method == "Runtime.executionContextDestroyed"_L1) {
        m_worlds.remove(params.value("executionContextId"_L1).toInt());
    } else if (method == "Runtime.executionContextsCleared"_L1) {
        m_worlds.clear();
    }
}

void DevToolsTab::logConsoleCall(const QJsonObject &params)
{
    // Marketplace pages log a lot; only their errors and warnings are kept.
    const QString type = params.value("type"_L1).toString();
    if (type != "error"_L1 && type != "warning"_L1 && type != "assert"_L1)
        return;
    QStringList texts;
    const QJsonArray arguments = params.value("args"_L1).toArray();
    for (const auto &argument : arguments) {
        const QJsonObject object = argument.toObject();
        texts.append(object.contains("value"_L1) ? object.value("value"_L1).toVariant().toString()
                                                 : object.value("description"_L1).toString());
    }
    if (type == "warning"_L1)
        qCInfo(lcPagefill).noquote() << "console warning:" << texts.join(u' ');
    else
        qCWarning(lcPagefill).noquote() << "console error:" << texts.join(u' ');
}

void DevToolsTab::answerDialog(const QJsonObject &params)
{
    // Dialogs of the seller's own doing, and the question before leaving a
    // page, are the seller's to answer.
    const bool ours = m_sinceScript.isValid() && m_sinceScript.elapsed() < DialogGraceMs;
    if (!ours || params.value("type"_L1).toString() == "beforeunload"_L1)
        return;
    qCInfo(lcDevTools).noquote() << "page" << params.value("type"_L1).toString()
                                 << "answered OK:" << params.value("message"_L1).toString();
    m_connection->send(u"Page.handleJavaScriptDialog"_s, {{"accept"_L1, true}}, m_sessionId);
}

void DevToolsTab::onConnectionClosed()
{
    dropSession();
    m_targets.clear();
    m_targetId.clear();
    if (m_lost == Lost::No)
        m_lost = m_launch && !m_launch->isRunning() ? Lost::Browser : Lost::Connection;
    Q_EMIT closed();
    Q_EMIT changed();
}

} // namespace Kuaidi

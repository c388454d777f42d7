#include "devtoolsconnection.h"

#include "devtoolslogging.h"

#include <pagefill/answerwait.h>

#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QTimer>
#include <QWebSocket>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

const QString ConnectionClosedText = u"与浏览器的连接已断开"_s;

} // namespace

DevToolsConnection::DevToolsConnection(QObject *parent) : QObject(parent) {}

DevToolsConnection::~DevToolsConnection()
{
    // Nobody is left to answer.
    m_pending.clear();
    if (m_socket)
        m_socket->disconnect(this);
}

bool DevToolsConnection::isLocalEndpoint(const QUrl &url)
{
    return url.isValid() && url.scheme() == "ws"_L1 && QHostAddress(url.host()) == QHostAddress::LocalHost &&
           url.port() > 0 && url.path().startsWith("/devtools/"_L1) && url.userInfo().isEmpty();
}

bool DevToolsConnection::open(const QUrl &url, int timeoutMs, QString *errorText)
{
    close();
    m_refused = false;
    const auto fail = [errorText](const QString &text) {
        if (errorText)
            *errorText = text;
        return false;
    };
    if (!isLocalEndpoint(url))
        return fail(u"浏览器调试地址无效：%1"_s.arg(url.toDisplayString()));

    // No Origin header: the browser then takes the connection for a local
    // tool's, which it is, and not for a web page's.
    m_socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    // Nothing on this computer is reached through a proxy.
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_url = url;
    connect(m_socket, &QWebSocket::textMessageReceived, this, &DevToolsConnection::receive);
    connect(m_socket, &QWebSocket::disconnected, this, [this] {
        qCInfo(lcDevTools) << "connection closed:" << m_url.toDisplayString();
        failPending(ConnectionClosedText);
        Q_EMIT closed();
    });

    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    connect(m_socket, &QWebSocket::connected, &loop, &QEventLoop::quit);
    connect(m_socket, &QWebSocket::disconnected, &loop, &QEventLoop::quit);
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    connect(m_socket, &QWebSocket::errorOccurred, &loop, &QEventLoop::quit);
#else
    connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), &loop, &QEventLoop::quit);
#endif
    m_socket->open(url);
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        return true;
    const QString reason =
        m_socket->error() == QAbstractSocket::UnknownSocketError ? u"没有回应"_s : m_socket->errorString();
    qCInfo(lcDevTools) << "cannot connect to" << url.toDisplayString() << reason;
    m_refused = m_socket->error() == QAbstractSocket::ConnectionRefusedError;
    close();
    return fail(u"无法连接浏览器（%1）：%2"_s.arg(url.toDisplayString(), reason));
}

void DevToolsConnection::close()
{
    if (!m_socket)
        return;
    // Closed on purpose: not an event for whoever listens.
    QWebSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    failPending(ConnectionClosedText);
}

bool DevToolsConnection::isOpen() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void DevToolsConnection::send(const QString &method, const QJsonObject &params, const QString &sessionId,
                              ReplyHandler done)
{
    if (!isOpen()) {
        if (done) {
            QTimer::singleShot(0, this, [done = std::move(done)] {
                done({false, {}, ConnectionClosedText});
            });
        }
        return;
    }
    const int id = m_nextId++;
    QJsonObject message{{"id"_L1, id}, {"method"_L1, method}, {"params"_L1, params}};
    if (!sessionId.isEmpty())
        message.insert("sessionId"_L1, sessionId);
    if (done)
        m_pending.insert(id, done);
    const QString text = QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
    qCDebug(lcDevTools).noquote() << "→" << text.left(300);
    m_socket->sendTextMessage(text);
}

DevToolsReply DevToolsConnection::call(const QString &method, const QJsonObject &params,
                                       const QString &sessionId, int timeoutMs)
{
    const std::optional<DevToolsReply> reply = waitForAnswer<DevToolsReply>(
        [&](const std::function<void(const DevToolsReply &)> &done) {
            send(method, params, sessionId, done);
        },
        timeoutMs);
    if (!reply) {
        qCWarning(lcDevTools) << method << "not answered within" << timeoutMs << "ms";
        return {false, {}, u"浏览器没有回应"_s};
    }
    return *reply;
}

void DevToolsConnection::receive(const QString &message)
{
    qCDebug(lcDevTools).noquote() << "←" << message.left(300);
    QJsonParseError parseError;
    const QJsonObject object = QJsonDocument::fromJson(message.toUtf8(), &parseError).object();
    if (parseError.error != QJsonParseError::NoError) {
        qCWarning(lcDevTools) << "not a protocol message:" << parseError.errorString();
        return;
    }
    const QString sessionId = object.value("sessionId"_L1).toString();
    if (object.contains("id"_L1)) {
        const ReplyHandler done = m_pending.take(object.value("id"_L1).toInt());
        if (!done)
            return;
        DevToolsReply reply;
        if (object.contains("error"_L1)) {
            reply.error = object.value("error"_L1).toObject().value("message"_L1).toString();
            if (reply.error.isEmpty())
                reply.error = u"浏览器拒绝了请求"_s;
        } else {
            reply.ok = true;
            reply.result = object.value("result"_L1).toObject();
        }
        done(reply);
        return;
    }
    const QString method = object.value("method"_L1).toString();
    if (!method.isEmpty())
        Q_EMIT eventReceived(method, object.value("params"_L1).toObject(), sessionId);
}

void DevToolsConnection::failPending(const QString &error)
{
    // Handlers may send again, or close: take the list first.
    const QHash<int, ReplyHandler> pending = std::exchange(m_pending, {});
    for (const ReplyHandler &done : pending)
        done({false, {}, error});
}

} // namespace Kuaidi

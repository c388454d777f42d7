#pragma once

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QUrl>

#include <functional>

class QWebSocket;

namespace Kuaidi {

/// The answer to one DevTools command: its result, or why there is none.
struct DevToolsReply
{
    bool ok = false;
    QJsonObject result;
    QString error;
};

/// One WebSocket connection to a browser's DevTools endpoint on this
/// computer, speaking the protocol's JSON messages: commands with an id,
/// their answers, and events. Commands to a page go with the session id of
/// that page (Target.attachToTarget with "flatten").
///
/// Only ws:// addresses on 127.0.0.1 are opened: the browser's debugging
/// port gives full control of it, and it is never reached over a network.
class DevToolsConnection final : public QObject
{
    Q_OBJECT

public:
    using ReplyHandler = std::function<void(const DevToolsReply &)>;

    explicit DevToolsConnection(QObject *parent = nullptr);
    ~DevToolsConnection() override;

    /// Whether @p url is one this class opens: ws://127.0.0.1:PORT/devtools/….
    static bool isLocalEndpoint(const QUrl &url);

    /// Connects, waiting up to @p timeoutMs; false with @p errorText set when
    /// the address is refused or nothing answers.
    bool open(const QUrl &url, int timeoutMs, QString *errorText = nullptr);
    void close();
    bool isOpen() const;
    /// Nothing listened at the address the last open() tried: the browser
    /// is not running there (any more).
    bool wasRefused() const { return m_refused; }
    QUrl url() const { return m_url; }

    /// Sends a command; @p done, when given, is called once with its answer
    /// (never from within this call). The connection closing answers every
    /// command still waiting with an error.
    void send(const QString &method, const QJsonObject &params = {}, const QString &sessionId = {},
              ReplyHandler done = {});
    /// Sends a command and waits up to @p timeoutMs for its answer, letting
    /// other events but user input run meanwhile.
    DevToolsReply call(const QString &method, const QJsonObject &params = {}, const QString &sessionId = {},
                       int timeoutMs = 5000);

Q_SIGNALS:
    /// An event the browser sent (a method without an id).
    void eventReceived(const QString &method, const QJsonObject &params, const QString &sessionId);
    /// The connection ended, whichever side ended it.
    void closed();

private:
    void receive(const QString &message);
    void failPending(const QString &error);

    QWebSocket *m_socket = nullptr;
    QUrl m_url;
    bool m_refused = false;
    int m_nextId = 1;
    QHash<int, ReplyHandler> m_pending;
};

} // namespace Kuaidi

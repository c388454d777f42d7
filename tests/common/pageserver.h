#pragma once

// A web server on 127.0.0.1 for the page fixtures of tests/data/pages, so
// that both browsers load them as the marketplace's pages load: over HTTP,
// frames of one origin reaching each other.

#include "testdata.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace KuaidiTest {

class PageServer final : public QObject
{
public:
    PageServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }

    /// The address of @p page of tests/data/pages, with @p query.
    QUrl url(const QString &page, const QString &query = {}) const
    {
        QUrl url;
        url.setScheme(QStringLiteral("http"));
        url.setHost(QStringLiteral("127.0.0.1"));
        url.setPort(m_server.serverPort());
        url.setPath(QLatin1Char('/') + page);
        url.setQuery(query);
        return url;
    }

private:
    void answer(QTcpSocket *socket)
    {
        QByteArray &request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
        m_requests.remove(socket);
        const QString path = words.size() >= 2 ? QUrl(QString::fromLatin1(words.at(1))).path() : QString();
        QFile file(testData(QStringLiteral("pages") + path));
        QByteArray reply;
        if (words.value(0) == "GET" && !path.contains(QLatin1String("..")) &&
            file.open(QIODevice::ReadOnly)) {
            const QByteArray body = file.readAll();
            reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
                    "Content-Length: " +
                    QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        } else {
            reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        }
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_requests;
};

} // namespace KuaidiTest

#include "HttpStandIn.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpSocket>

namespace velmora::test {

HttpStandIn::HttpStandIn()
{
    EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
    connect(&server_, &QTcpServer::newConnection, this, &HttpStandIn::onConnection);
}

HttpStandIn::~HttpStandIn() { server_.close(); }

QByteArray HttpStandIn::url(const QByteArray& path) const
{
    return "http://127.0.0.1:" + QByteArray::number(port()) + path;
}

void HttpStandIn::onConnection()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HttpStandIn::onReadable(QTcpSocket* socket)
{
    QByteArray& input = pending_[socket];
    input += socket->readAll();
    // Requests may follow one another on a kept connection.
    for (;;) {
        const qsizetype headEnd = input.indexOf("\r\n\r\n");
        if (headEnd < 0) return;
        Request request;
        const QList<QByteArray> lines = input.left(headEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (input.size() < headEnd + 4 + length) return;
        request.body = input.mid(headEnd + 4, length);
        input.remove(0, headEnd + 4 + length);
        requests_.append(request);
        if (quiet_) continue;
        const int status = statuses_.empty() ? 200 : statuses_.front();
        if (!statuses_.empty()) statuses_.pop_front();
        socket->write("HTTP/1.1 " + QByteArray::number(status) +
                      " Stand-in\r\n"
                      "Content-Length: 0\r\n\r\n");
    }
}

}  // namespace velmora::test

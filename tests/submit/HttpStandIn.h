#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <deque>

class QTcpSocket;

namespace velmora::test {

// A stand-in for a search engine's HTTP endpoint, on 127.0.0.1 and a free
// port, in this process and on this thread: the client's wait runs it. It
// keeps every request and answers each with the next queued status (200
// when none is queued), or, when told, never answers at all.
class HttpStandIn : public QObject {
public:
    struct Request {
        QByteArray method;
        QByteArray target;
        QHash<QByteArray, QByteArray> headers;  // names in lower case
        QByteArray body;
    };

    HttpStandIn();
    ~HttpStandIn() override;

    quint16 port() const { return server_.serverPort(); }
    QByteArray url(const QByteArray& path = "/indexnow") const;
    void answer(int status) { statuses_.push_back(status); }
    void stayQuiet() { quiet_ = true; }
    const QList<Request>& requests() const { return requests_; }

private:
    void onConnection();
    void onReadable(QTcpSocket* socket);

    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> pending_;
    std::deque<int> statuses_;
    bool quiet_ = false;
    QList<Request> requests_;
};

}  // namespace velmora::test

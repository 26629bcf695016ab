#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace velmora {

// What a Send tells as it goes, by a publisher and by the workers that do
// its work on other threads.
class PublishReports : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Passes every report of `from` on as `to`'s own, on `to`'s thread.
    static void relay(const PublishReports& from, PublishReports& to);

signals:
    // A short text for the status line ("Connecting...", "Sending a.htm").
    void status(const QString& text);
    void fileStarted(int index, int count);
    void fileBytesSent(int index, qint64 bytes);  // bytes of that file so far
    // The server has confirmed the whole file under its final name.
    void fileConfirmed(int index);
    // The server no longer holds a file of the removals.
    void fileRemoved(const QByteArray& remoteName);
};

}  // namespace velmora

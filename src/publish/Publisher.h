#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <vector>

#include "publish/Publishing.h"

namespace velmora {

// How files reach the server.
enum class PublishProtocol { Ftp, Ftps, Sftp };

// Where a plan goes and how to log in there. The dialog fills it from its
// fields and the settings file; velmora-cli from its arguments.
struct PublishDestination {
    PublishProtocol protocol = PublishProtocol::Ftp;
    QString host;
    int port = 21;
    QByteArray user;
    QByteArray password;
    QByteArray directory;  // as the user typed it; each publisher normalises it
    bool passive = false;  // FTP and FTPS only
    int timeOutMs = 30000;  // idle time before a silent server counts as failed
    // FTPS: a PEM file of certificates trusted besides the system's ones.
    QString caFile;
    // The fingerprint of a server identity the user chose to trust for this
    // host although the checks refuse it; empty when there is none.
    QByteArray trustedFingerprint;
};

// Carries out one upload plan over one protocol. publish() returns once
// every file is confirmed by the server, and throws a VelmoraError when the
// plan cannot be completed (a stop included), so no caller ever reads a
// partial upload as success. It is called on the GUI thread and keeps that
// thread's events flowing while it waits, so a Stop button still works.
// Signals are delivered on the thread that called publish().
class Publisher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Publisher() override = default;

    virtual void publish(const std::vector<UploadItem>& plan) = 0;
    // Asks a running publish() to end; it throws within a second.
    virtual void stop() = 0;

signals:
    // A short text for the status line ("Connecting...", "Sending a.htm").
    void status(const QString& text);
    void fileStarted(int index, int count);
    void fileBytesSent(qint64 bytes);  // bytes of the current file so far
    // The server has confirmed the whole file under its final name.
    void fileConfirmed(int index);
};

}  // namespace velmora

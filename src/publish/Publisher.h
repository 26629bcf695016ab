#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QString>
#include <vector>

#include "publish/PublishReports.h"
#include "publish/Publishing.h"

namespace velmora {

// How files reach the server.
// Ftps is explicit FTPS (AUTH TLS on the FTP port); FtpsImplicit speaks TLS
// from the first byte, mostly on port 990.
enum class PublishProtocol { Ftp, Ftps, FtpsImplicit, Sftp };

// The connections a Send may use, and the default.
constexpr int kMinConnections = 1;
constexpr int kMaxConnections = 16;
constexpr int kDefaultConnections = 4;

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
    // Files in flight at once: FTP and FTPS sessions, SFTP files pipelined.
    int connections = kDefaultConnections;
    // FTPS: a PEM file of certificates trusted besides the system's ones.
    QString caFile;
    // The fingerprint of a server identity the user chose to trust for this
    // host although the checks refuse it; empty when there is none.
    QByteArray trustedFingerprint;
};

// Carries out one upload plan over one protocol. publish() returns once
// every file is confirmed by the server (and, after the last, every file of
// `removals` is gone from it), and throws a VelmoraError when the plan
// cannot be completed (a stop included), so no caller ever reads a partial
// upload as success. Up to the destination's `connections` files are in
// flight at once; a connection lost, or a file the server holds at another
// size than sent, is tried again (RetrySchedule) from the first file not
// confirmed. It is called on the GUI thread and keeps that
// thread's events flowing while it waits, so a Stop button still works.
// Signals are delivered on the thread that called publish().
class Publisher : public PublishReports {
    Q_OBJECT
public:
    using PublishReports::PublishReports;
    ~Publisher() override = default;

    void publish(const std::vector<UploadItem>& plan, const QByteArrayList& removals = {})
    {
        carryOut(plan, removals);
    }
    // Asks a running publish() to end; it throws within a second.
    virtual void stop() = 0;

protected:
    virtual void carryOut(const std::vector<UploadItem>& plan, const QByteArrayList& removals) = 0;
};

}  // namespace velmora

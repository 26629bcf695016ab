#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QString>

namespace velmora {

// What a TLS handshake of TPowersock holds the server's certificate to.
struct TlsSettings {
    // The name the certificate must carry: the host as the user gave it.
    QString peerName;
    // Trusted besides the system's certificates (velmora-cli's --ca-file).
    QList<QSslCertificate> caCertificates;
    // The fingerprint (certificateFingerprint) of a certificate the user
    // chose to trust for this host: it passes although the checks fail.
    QByteArray trustedFingerprint;
    // The session to resume; empty for a full handshake.
    QByteArray sessionTicket;
    // When set, the peer must show exactly this certificate and nothing else
    // is checked: a data connection belongs to the server its control
    // connection verified.
    QSslCertificate pinned;
};

// The SHA-256 of the certificate's DER bytes as upper-case hex pairs with
// colons, "AB:CD:...", as certificate viewers show it.
QByteArray certificateFingerprint(const QSslCertificate& certificate);

// Reads every PEM certificate of a file; throws a FileError when the file
// cannot be read or holds none.
QList<QSslCertificate> readCertificateFile(const QString& path);

}  // namespace velmora

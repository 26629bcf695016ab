#include "publish/ftp/TlsSettings.h"

#include <QCryptographicHash>
#include <QFile>

#include "base/Errors.h"

namespace velmora {

namespace {

// A CA file is a few certificates; more than this is no such file.
constexpr qint64 kMaxCertificateFileSize = 4 * 1024 * 1024;

}  // namespace

QByteArray certificateFingerprint(const QSslCertificate& certificate)
{
    if (certificate.isNull()) return {};
    return certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper();
}

QList<QSslCertificate> readCertificateFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw FileError::cannotOpen(path);
    const QByteArray pem = file.read(kMaxCertificateFileSize + 1);
    if (pem.size() > kMaxCertificateFileSize)
        throw FileError(QStringLiteral("%1 is too large for a certificate file").arg(path));
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (certificates.isEmpty())
        throw FileError(QStringLiteral("%1 holds no PEM certificate").arg(path));
    return certificates;
}

}  // namespace velmora

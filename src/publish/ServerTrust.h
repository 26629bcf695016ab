#pragma once

#include <QByteArray>
#include <QString>

#include "base/SettingsFile.h"

namespace velmora {

// The server identities the user chose to trust although the checks refuse
// them, one fingerprint per host and port, kept in section FTP of the
// settings file under TRUSTED_CERTS as "host:port=fingerprint" entries
// separated by blanks, the newest first. An entry that would not fit the
// value's 1023 bytes drops the oldest ones.
class ServerTrust {
public:
    explicit ServerTrust(SettingsFile settings) : settings_(std::move(settings)) {}

    // Empty when the user trusts nothing for this host.
    QByteArray fingerprint(const QString& host, int port) const;
    // FileError "Cannot create file %s" when the settings file cannot keep it.
    void remember(const QString& host, int port, const QByteArray& fingerprint) const;

private:
    SettingsFile settings_;
};

}  // namespace velmora

#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// The settings file, read and written one key per call straight from and to
// the file, with no copy held between calls. Section and key names match
// without regard to letter case; values are at most 1023 bytes. The file
// holds the FTP password, so it is written for its owner only, and it is
// replaced atomically so that a failed write leaves the old settings whole;
// a link at its name is replaced, never written through.
class SettingsFile {
public:
    static constexpr qsizetype kMaxValueLength = 1023;

    explicit SettingsFile(QString path) : path_(std::move(path)) {}

    // The settings file of a start-up directory.
    static SettingsFile inDirectory(const QString& startupDir);

    const QString& path() const { return path_; }

    QByteArray read(const char* section, const char* key, const QByteArray& fallback) const;
    // Raises FileError "Cannot create file %s" when the file could not be
    // written (read-only, unreadable, no room): a choice the user made, such
    // as a trusted certificate, is never dropped without a word.
    void write(const char* section, const char* key, const QByteArray& value) const;

private:
    bool tryWrite(const char* section, const char* key, const QByteArray& value) const;

    QString path_;
};

}  // namespace velmora

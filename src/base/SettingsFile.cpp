#include "SettingsFile.h"

// Values are bytes, as the rest of the core keeps its texts.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION  // the templates are instantiated in this one unit
#include <SimpleIni.h>

#include "base/Errors.h"
#include "base/FileAccess.h"
#include "base/FixedText.h"
#include "base/FolderFile.h"

namespace velmora {

namespace {

// A file larger than this is no settings file of ours; reading it would only
// cost memory.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

// Missing: there is no file yet. Failed: a file is there but was not read
// whole (not a regular file, unreadable, larger than any settings file of
// ours), and writing over it would lose what it holds.
ReadOutcome loadInto(CSimpleIniA& ini, const QString& path)
{
    QByteArray data;
    const ReadOutcome outcome = readWholeFile(path, kMaxFileSize, data);
    if (outcome != ReadOutcome::Read) return outcome;
    return ini.LoadData(data.constData(), static_cast<size_t>(data.size())) >= 0
               ? ReadOutcome::Read
               : ReadOutcome::Failed;
}

// One line per value: a line break would start a new entry in the file.
QByteArray singleLine(const QByteArray& value)
{
    qsizetype end = value.size();
    for (char stop : {'\r', '\n', '\0'}) {
        const qsizetype at = value.indexOf(stop);
        if (at >= 0) end = std::min(end, at);
    }
    const QByteArray line = value.left(end);
    return line.left(fittingLength(line, SettingsFile::kMaxValueLength));
}

}  // namespace

SettingsFile SettingsFile::inDirectory(const QString& startupDir)
{
    return SettingsFile(startupDir + QStringLiteral("/velmora.ini"));
}

QByteArray SettingsFile::read(const char* section, const char* key,
                              const QByteArray& fallback) const
{
    CSimpleIniA ini;
    if (loadInto(ini, path_) != ReadOutcome::Read) return fallback.left(kMaxValueLength);
    const char* value = ini.GetValue(section, key, nullptr);
    if (!value) return fallback.left(kMaxValueLength);
    const QByteArray text(value);
    return text.left(fittingLength(text, kMaxValueLength));
}

void SettingsFile::write(const char* section, const char* key, const QByteArray& value) const
{
    if (!tryWrite(section, key, value)) throw FileError::cannotCreate(path_);
}

bool SettingsFile::tryWrite(const char* section, const char* key, const QByteArray& value) const
{
    CSimpleIniA ini;
    // Only a file read whole is written back; anything else stays as it is.
    if (loadInto(ini, path_) == ReadOutcome::Failed) return false;
    if (ini.SetValue(section, key, singleLine(value).constData()) < 0) return false;
    std::string data;
    if (ini.Save(data) < 0) return false;
    try {
        writeFileAtPath(path_, QByteArrayView(data.data(), qsizetype(data.size())),
                        FileUse::PrivateState);
    } catch (const FileError&) {
        return false;
    }
    return true;
}

}  // namespace velmora

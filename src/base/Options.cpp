#include "Options.h"

#include <algorithm>

#include "base/Errors.h"

namespace velmora {

namespace {

constexpr const char* kSection = "OPTIONS";

bool readFlag(const SettingsFile& settings, const char* key)
{
    return settings.read(kSection, key, "Yes") == "Yes";
}

void writeFlag(const SettingsFile& settings, const char* key, bool on)
{
    settings.write(kSection, key, on ? "Yes" : "No");
}

}  // namespace

void LoadOptions(const SettingsFile& settings, Options& options)
{
    options.autoName = readFlag(settings, "AUTO_NAME");
    options.msgFolder = readFlag(settings, "MSG_FOLDER");
    options.msgFile = readFlag(settings, "MSG_FILE");
    const QByteArray choice = settings.read(kSection, "CHOSING_NEW_PRJ", "0");
    options.newProjectChoice = std::clamp(toInteger(QString::fromUtf8(choice)), -1, 2);
}

void StoreOptions(const SettingsFile& settings, const Options& options)
{
    writeFlag(settings, "AUTO_NAME", options.autoName);
    writeFlag(settings, "MSG_FOLDER", options.msgFolder);
    writeFlag(settings, "MSG_FILE", options.msgFile);
    settings.write(kSection, "CHOSING_NEW_PRJ", QByteArray::number(options.newProjectChoice));
}

}  // namespace velmora

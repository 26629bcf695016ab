#pragma once

#include <QByteArray>

#include "base/SettingsFile.h"
#include "base/Version.h"

namespace velmora {

// The VENDOR values, read once at start-up and fixed for the whole run.
struct VendorValues {
    QByteArray homePage;
    QByteArray copyright;
    QByteArray programName;
    QByteArray linkInHtml;

    static VendorValues read(const SettingsFile& settings);
};

inline const QByteArray kVelmoraHomePage = "https://velmora.example/";
inline const QByteArray kVelmoraCopyright = "Copyright (c) 2026 The Velmora developers";
inline const QByteArray kVelmoraProgramName = QByteArray("Velmora ") + kVelmoraVersion;

}  // namespace velmora

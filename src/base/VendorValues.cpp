#include "VendorValues.h"

namespace velmora {

VendorValues VendorValues::read(const SettingsFile& settings)
{
    VendorValues v;
    v.homePage = settings.read("VENDOR", "HOMEPAGE", kVelmoraHomePage);
    v.copyright = settings.read("VENDOR", "COPYRIGHT", kVelmoraCopyright);
    v.programName = settings.read("VENDOR", "PROGRAM_NAME", kVelmoraProgramName);
    v.linkInHtml = settings.read("VENDOR", "LINK_IN_HTML", kVelmoraHomePage);
    return v;
}

}  // namespace velmora

#include "PageHeadChoice.h"

#include "base/Errors.h"
#include "generate/SiteFiles.h"
#include "project/ProjectCompanion.h"

namespace velmora {

namespace {

const QString kOn = QStringLiteral("on");
const QString kOff = QStringLiteral("off");

}  // namespace

PageHead PageHeadChoice::headFor(const QByteArray& fileName) const
{
    if (!modern) return {};
    return {.modern = true,
            .canonicalAddress =
                siteAddress.isEmpty() ? QByteArray() : PublishedAddress(siteAddress, fileName)};
}

bool ModernHeadOf(const ProjectCompanion& companion)
{
    return companion.value(kModernHeadKey) == kOn;
}

PageHeadChoice PageHeadChoiceOf(const ProjectCompanion& companion)
{
    if (!ModernHeadOf(companion)) return {};
    // A site address broken by hand makes no canonical link rather than a
    // wrong one.
    QByteArray address;
    try {
        address = SiteAddressOf(companion);
    } catch (const VelmoraError&) {
    }
    return {.modern = true, .siteAddress = address};
}

void SetModernHead(ProjectCompanion& companion, bool modern)
{
    // Off is the default and leaves nothing behind.
    if (ModernHeadOf(companion) != modern)
        companion.setValue(kModernHeadKey, modern ? kOn : QString());
}

std::optional<bool> OnOff(const QString& text)
{
    if (text == kOn) return true;
    if (text == kOff) return false;
    return std::nullopt;
}

}  // namespace velmora

#include "StreamedGeneration.h"

#include "generate/SiteFiles.h"

namespace velmora {

StreamedGeneration::StreamedGeneration(const QString& projectPath, const QString& startupDir)
    : project_(projectPath, startupDir)
{
}

void StreamedGeneration::run(bool save, const std::function<void(const QString&)>& pageWritten)
{
    // The named records matter only to a project that is saved, and to the
    // sitemap, which names every page.
    project_.generate(pageWritten, save || !SiteAddressOf(project_.session().companion()).isEmpty());
    if (save) project_.save();
}

}  // namespace velmora

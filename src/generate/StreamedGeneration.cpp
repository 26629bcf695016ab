#include "StreamedGeneration.h"

namespace velmora {

StreamedGeneration::StreamedGeneration(const QString& projectPath, const QString& startupDir)
    : project_(projectPath, startupDir)
{
}

void StreamedGeneration::run(bool save, const std::function<void(const QString&)>& pageWritten)
{
    project_.generate(pageWritten);
    if (save) project_.save();
}

}  // namespace velmora

#include "submit/Notification.h"

#include "generate/Naming.h"
#include "generate/SiteFiles.h"
#include "project/ProjectSession.h"

namespace velmora {

NotificationReport Notification::run()
{
    const QString& path = session_.projectPath();
    const QString& name = session_.projectName();
    return NotifySearchEngines(session_.companion(), OutputFolder(path, name),
                               PublishedPages(session_.project().pages, path, name), endpoint_);
}

}  // namespace velmora

#pragma once

#include <QUrl>

#include "submit/IndexNow.h"

namespace velmora {

class ProjectSession;

// "Notify search engines" for a session's project, as the window's command
// and velmora-cli indexnow both run it: the pages as generation writes them,
// from the output folder beside the project, announced to `endpoint` and
// recorded in the session's companion.
class Notification {
public:
    explicit Notification(ProjectSession& session, QUrl endpoint = kIndexNowEndpoint)
        : session_(session), endpoint_(std::move(endpoint))
    {
    }

    // Raises what NotifySearchEngines raises.
    NotificationReport run();

private:
    ProjectSession& session_;
    QUrl endpoint_;
};

}  // namespace velmora

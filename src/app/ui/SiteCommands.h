#pragma once

#include <QUrl>

#include "base/Prompter.h"
#include "submit/IndexNow.h"

class QWidget;

namespace velmora {

class ProjectSession;

// The window's commands about the project's site: File > Site Address...,
// File > Notify search engines, and the offer to notify after a Send.
class SiteCommands {
public:
    SiteCommands(QWidget& window, ProjectSession& session, Prompter& prompter);

    // Where notifications go; IndexNow's shared endpoint until set.
    void setIndexNowEndpoint(const QUrl& endpoint) { endpoint_ = endpoint; }

    void editSiteAddress();
    void notifySearchEngines();
    // Asks whether to notify, when the project has a site address.
    void offerNotification();

private:
    QWidget& window_;
    ProjectSession& session_;
    Prompter& prompter_;
    QUrl endpoint_ = kIndexNowEndpoint;
};

}  // namespace velmora

#include "app/ui/SiteCommands.h"

#include <QApplication>
#include <QWidget>

#include "app/ui/SiteAddressDialog.h"
#include "base/ScopeExit.h"
#include "generate/SiteFiles.h"
#include "project/ProjectSession.h"
#include "submit/Notification.h"

namespace velmora {

SiteCommands::SiteCommands(QWidget& window, ProjectSession& session, Prompter& prompter)
    : window_(window), session_(session), prompter_(prompter)
{
}

void SiteCommands::editSiteAddress()
{
    TSiteDlg dialog(session_.companion(), prompter_, &window_);
    dialog.exec();
}

void SiteCommands::notifySearchEngines()
{
    NotificationReport report;
    {
        // The request runs the event loop: no other command may start meanwhile.
        window_.setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const ScopeExit restore([this] {
            QApplication::restoreOverrideCursor();
            window_.setEnabled(true);
        });
        report = Notification(session_, endpoint_).run();
    }
    prompter_.message(QStringLiteral("Message"), report.lines().join(u'\n'),
                      report.allAccepted() ? MessageIcon::Information : MessageIcon::Warning);
}

void SiteCommands::offerNotification()
{
    if (SiteAddressOf(session_.companion()).isEmpty()) return;
    if (prompter_.askYesNo(QStringLiteral("Question"),
                           QStringLiteral("Notify search engines of the changed pages?")) ==
        Answer::Yes)
        notifySearchEngines();
}

}  // namespace velmora

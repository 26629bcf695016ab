#include "app/ui/PageToolCommands.h"

#include <QApplication>
#include <QWidget>
#include <vector>

#include "app/ui/CheckPagesDialog.h"
#include "app/ui/PageOptionsDialog.h"
#include "base/ScopeExit.h"
#include "check/PageCheck.h"
#include "project/ProjectSession.h"

namespace velmora {

PageToolCommands::PageToolCommands(QWidget& window, ProjectSession& session, Prompter& prompter)
    : window_(window), session_(session), prompter_(prompter)
{
}

void PageToolCommands::editPageOptions()
{
    TPageOptDlg dialog(session_.companion(), prompter_, &window_);
    dialog.exec();
}

void PageToolCommands::checkPages()
{
    // As generation does, the check reads the project as saved.
    session_.storeCurrentPage();
    if (!session_.save()) return;
    std::vector<Finding> findings;
    CheckSummary summary;
    {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        const ScopeExit restore([] { QApplication::restoreOverrideCursor(); });
        summary = PageCheck(session_.projectPath(), session_.startupDir(), {})
                      .run([&](const Finding& finding) { findings.push_back(finding); });
    }
    TCheckDlg dialog(findings, summary, &window_);
    if (dialog.exec() != QDialog::Accepted || !dialog.chosenPage()) return;
    session_.showPage(*dialog.chosenPage() - 1);
}

}  // namespace velmora

#include "PageOptionsDialog.h"

#include "base/CommandGuard.h"
#include "base/ui/DialogConduct.h"
#include "generate/PageHeadChoice.h"
#include "project/ProjectCompanion.h"
#include "ui_PageOptionsDialog.h"

namespace velmora {

TPageOptDlg::TPageOptDlg(QString projectFilePath, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TPageOptDlg>()),
      projectFilePath_(std::move(projectFilePath)),
      prompter_(prompter)
{
    ui_->setupUi(this);
    ui_->ModernHead->setChecked(ModernHeadOf(ProjectCompanion(projectFilePath_)));
    setFixedSize(sizeHint());
    applyDialogConduct(this);
}

TPageOptDlg::~TPageOptDlg() = default;

void TPageOptDlg::done(int result)
{
    if (result == QDialog::Accepted && !guarded(prompter_, [&] {
            ProjectCompanion companion(projectFilePath_);
            SetModernHead(companion, ui_->ModernHead->isChecked());
        }))
        return;
    QDialog::done(result);
}

}  // namespace velmora

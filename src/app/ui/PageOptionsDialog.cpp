#include "PageOptionsDialog.h"

#include "base/CommandGuard.h"
#include "base/ui/DialogConduct.h"
#include "generate/PageHeadChoice.h"
#include "project/ProjectCompanion.h"
#include "ui_PageOptionsDialog.h"

namespace velmora {

TPageOptDlg::TPageOptDlg(ProjectCompanion& companion, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TPageOptDlg>()),
      companion_(companion),
      prompter_(prompter)
{
    ui_->setupUi(this);
    ui_->ModernHead->setChecked(ModernHeadOf(companion_));
    setFixedSize(sizeHint());
    applyDialogConduct(this);
}

TPageOptDlg::~TPageOptDlg() = default;

void TPageOptDlg::done(int result)
{
    if (result == QDialog::Accepted && !guarded(prompter_, [&] {
            SetModernHead(companion_, ui_->ModernHead->isChecked());
        }))
        return;
    QDialog::done(result);
}

}  // namespace velmora

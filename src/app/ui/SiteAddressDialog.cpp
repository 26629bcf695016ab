#include "SiteAddressDialog.h"

#include "base/CommandGuard.h"
#include "base/ui/DialogConduct.h"
#include "generate/SiteFiles.h"
#include "project/ProjectCompanion.h"
#include "ui_SiteAddressDialog.h"

namespace velmora {

TSiteDlg::TSiteDlg(ProjectCompanion& companion, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TSiteDlg>()),
      companion_(companion),
      prompter_(prompter)
{
    ui_->setupUi(this);
    // Shown as stored, even a value someone else broke, so it can be mended.
    ui_->SiteAddress->setText(companion_.value(kSiteAddressKey));
    ui_->IndexNowKey->setText(companion_.value(kIndexNowKeyKey));
    setFixedSize(sizeHint());
    applyDialogConduct(this);
}

TSiteDlg::~TSiteDlg() = default;

void TSiteDlg::done(int result)
{
    if (result == QDialog::Accepted && !store()) return;
    QDialog::done(result);
}

bool TSiteDlg::store()
{
    const QString address = ui_->SiteAddress->text().trimmed();
    const QString key = ui_->IndexNowKey->text().trimmed();
    const QString broken = !address.isEmpty() && !isValidSiteAddress(address) ? kSiteAddressRule
                           : !key.isEmpty() && !isValidIndexNowKey(key)       ? kIndexNowKeyRule
                                                                              : QString();
    if (!broken.isEmpty()) {
        prompter_.message(QStringLiteral("Error"), broken, MessageIcon::Error);
        (broken == kSiteAddressRule ? ui_->SiteAddress : ui_->IndexNowKey)->setFocus();
        return false;
    }
    return guarded(prompter_, [&] {
        SetSiteAddress(companion_, address);
        SetIndexNowKey(companion_, key);
    });
}

}  // namespace velmora

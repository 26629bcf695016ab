#include "AboutDialog.h"

#include "app/ui/Resources.h"
#include "base/ui/DialogConduct.h"
#include "ui_AboutDialog.h"

namespace velmora {

TAboutDlg::TAboutDlg(const VendorValues& vendor, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TAboutDlg>())
{
    ui_->setupUi(this);
    ui_->Image1->setPixmap(programIcon().pixmap(32, 32));
    ui_->Label1->setText(QString::fromUtf8(vendor.programName));
    ui_->Label2->setText(QString::fromUtf8(vendor.copyright));
    setFixedSize(sizeHint());
    applyDialogConduct(this);
}

TAboutDlg::~TAboutDlg() = default;

}  // namespace velmora

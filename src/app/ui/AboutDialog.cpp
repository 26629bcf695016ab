#include "AboutDialog.h"

#include <QIcon>

#include "ui_AboutDialog.h"

namespace velmora {

TAboutDlg::TAboutDlg(const VendorValues& vendor, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TAboutDlg>())
{
    ui_->setupUi(this);
    ui_->Image1->setPixmap(QIcon(QStringLiteral(":/velmora/velmora.png")).pixmap(32, 32));
    ui_->Label1->setText(QString::fromUtf8(vendor.programName));
    ui_->Label2->setText(QString::fromUtf8(vendor.copyright));
    setFixedSize(sizeHint());
}

TAboutDlg::~TAboutDlg() = default;

}  // namespace velmora

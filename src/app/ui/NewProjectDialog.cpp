#include "NewProjectDialog.h"

#include "base/ui/DialogConduct.h"
#include "project/PageOperations.h"
#include "ui_NewProjectDialog.h"

namespace velmora {

TNewPrjDlg::TNewPrjDlg(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TNewPrjDlg>())
{
    ui_->setupUi(this);
    setFixedSize(sizeHint());
    applyDialogConduct(this);
}

TNewPrjDlg::~TNewPrjDlg() = default;

int TNewPrjDlg::projectType() const
{
    return ui_->RadioButton1->isChecked() ? kSingle : kInterlinked;
}

}  // namespace velmora

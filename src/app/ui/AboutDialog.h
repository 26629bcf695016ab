#pragma once

#include <QDialog>
#include <memory>

#include "base/VendorValues.h"

namespace Ui {
class TAboutDlg;
}

namespace velmora {

// The about box: the program name and the copyright line from VENDOR.
class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    TAboutDlg(const VendorValues& vendor, QWidget* parent = nullptr);
    ~TAboutDlg() override;

    Ui::TAboutDlg& form() { return *ui_; }

private:
    std::unique_ptr<Ui::TAboutDlg> ui_;
};

}  // namespace velmora

#pragma once

#include <QDialog>
#include <memory>

#include "base/Prompter.h"

namespace Ui {
class TPageOptDlg;
}

namespace velmora {

class ProjectCompanion;

// Page Options: the project's choice of page head (charset, viewport and,
// with a site address, the canonical link), kept in its companion file.
// Opens on the stored choice; OK stores it.
class TPageOptDlg : public QDialog {
    Q_OBJECT
public:
    TPageOptDlg(ProjectCompanion& companion, Prompter& prompter, QWidget* parent = nullptr);
    ~TPageOptDlg() override;

    Ui::TPageOptDlg& form() { return *ui_; }
    void done(int result) override;

private:
    std::unique_ptr<Ui::TPageOptDlg> ui_;
    ProjectCompanion& companion_;
    Prompter& prompter_;
};

}  // namespace velmora

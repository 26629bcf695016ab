#pragma once

#include <QDialog>
#include <memory>

#include "base/Prompter.h"

namespace Ui {
class TSiteDlg;
}

namespace velmora {

class ProjectCompanion;

// Site Address: the public web address of the folder the project's pages
// are published to, and its IndexNow key, both kept in the project's
// companion file. Opens on the stored values; OK checks both and stores
// them, a value that breaks its rule is shown and the dialog stays open.
class TSiteDlg : public QDialog {
    Q_OBJECT
public:
    TSiteDlg(ProjectCompanion& companion, Prompter& prompter, QWidget* parent = nullptr);
    ~TSiteDlg() override;

    Ui::TSiteDlg& form() { return *ui_; }
    void done(int result) override;

private:
    bool store();

    std::unique_ptr<Ui::TSiteDlg> ui_;
    ProjectCompanion& companion_;
    Prompter& prompter_;
};

}  // namespace velmora

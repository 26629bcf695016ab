#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TNewPrjDlg;
}

namespace velmora {

// Asks whether a new project is Single or Interlinked.
class TNewPrjDlg : public QDialog {
    Q_OBJECT
public:
    explicit TNewPrjDlg(QWidget* parent = nullptr);
    ~TNewPrjDlg() override;

    // The project type of the checked button: 1 for Single, else 0.
    int projectType() const;

private:
    std::unique_ptr<Ui::TNewPrjDlg> ui_;
};

}  // namespace velmora

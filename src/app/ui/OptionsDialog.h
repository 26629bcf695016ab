#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <memory>

#include "base/Options.h"
#include "base/Prompter.h"
#include "base/SettingsFile.h"

namespace Ui {
class TOptDlg;
}

namespace velmora {

// The options dialog. It lives for the whole run and its controls are the
// current options: OK stores them, any other close reloads the stored ones.
class TOptDlg : public QDialog, public OptionsSource {
    Q_OBJECT
public:
    // Loads the options at once; a failure to convert is shown through the
    // prompter and the options loaded before it stay.
    TOptDlg(SettingsFile settings, Prompter& prompter, QWidget* parent = nullptr);
    ~TOptDlg() override;

    Options currentOptions() const override;
    Ui::TOptDlg& form() { return *ui_; }

    void done(int result) override;

private:
    void load();
    void setControls(const Options& options);

    std::unique_ptr<Ui::TOptDlg> ui_;
    SettingsFile settings_;
    Prompter& prompter_;
    QButtonGroup choice_;
};

}  // namespace velmora

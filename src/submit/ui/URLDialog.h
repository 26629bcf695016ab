#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "generate/BrowserLauncher.h"
#include "submit/SubmissionBrowser.h"

class QHideEvent;
class QShowEvent;

namespace Ui {
class TURLDlg;
}

namespace velmora {

// Add URL: steps through the search engines of the submission list, fills
// the current one's submission string with the typed values and opens it in
// the browser. With Edit ticked the entries can be changed and added to; the
// list is read when the dialog is shown and written when it closes with OK.
class TURLDlg : public QDialog {
    Q_OBJECT
public:
    TURLDlg(const QString& startupDir, BrowserLauncher& launcher, QWidget* parent = nullptr);
    ~TURLDlg() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void FormShow();
    void FormHide();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void CheckBox1Click(bool checked);

    void showCurrent();
    void storeCurrent();

    std::unique_ptr<Ui::TURLDlg> ui_;
    QString path_;
    BrowserLauncher& launcher_;
    SubmissionBrowser browser_;
    bool open_ = false;
};

}  // namespace velmora

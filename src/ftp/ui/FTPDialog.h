#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

#include "base/Prompter.h"
#include "base/SettingsFile.h"
#include "ftp/Publishing.h"
#include "ftp/VexFTP.h"
#include "project/Project.h"

namespace Ui {
class TFTPDlg;
}

namespace velmora {

// Uploads a project's generated pages and their images to a directory on
// an FTP server through its own client, FTP, turning the client's events
// into short progress texts in the status line Inf. Created once; every
// showing reloads the fields from section FTP of the settings file, and
// closing with OK stores them.
class TFTPDlg : public QDialog {
    Q_OBJECT
public:
    TFTPDlg(SettingsFile settings, Prompter& prompter, QWidget* parent = nullptr);
    ~TFTPDlg() override;

    // Shows the dialog modally for these pages (and the site files that go
    // with them) and returns its result.
    int publish(const PageList& pages, std::vector<SiteFile> siteFiles = {});
    // Runs after a Send that uploaded the whole plan.
    void setSentHandler(std::function<void()> handler) { onSent_ = std::move(handler); }

    TVexFTP& FTP() { return *ftp_; }
    bool LoggedIn() const { return loggedIn_; }
    bool isSending() const { return sending_; }
    Ui::TFTPDlg& form() { return *ui_; }

    void FormShow();
    void FormHide();
    void B2Click();
    // A close asked for while Send runs takes effect once Send returns.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Send();
    void LoadFtpSettings();
    void SaveFtpSettings();
    void setStatus(const QString& text);
    void setSending(bool sending);
    void showProgress();
    void bindClientEvents();

    void FTPConnect();
    void FTPDisconnect();
    void FTPHostResolved();
    void FTPInvalidHost(bool& handled);
    void FTPConnectionFailed();
    void FTPError();
    void FTPConnectionRequired(bool& handled);
    void FTPTransactionStart();
    void FTPTransactionStop();
    void FTPFailure(bool& handled);
    void FTPSuccess();
    void FTPPacketSent(const TPowersock& data);

    std::unique_ptr<Ui::TFTPDlg> ui_;
    SettingsFile settings_;
    Prompter& prompter_;
    const PageList* pages_ = nullptr;
    std::vector<SiteFile> siteFiles_;
    std::function<void()> onSent_;
    bool sent_ = false;
    bool loggedIn_ = false;
    bool sending_ = false;
    std::optional<int> closeAfterSend_;
    std::optional<UploadProgress> progress_;
    std::unique_ptr<TVexFTP> ftp_;  // last: destroyed first, while the widgets stand
};

}  // namespace velmora

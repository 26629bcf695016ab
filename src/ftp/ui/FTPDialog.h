#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

#include "base/Prompter.h"
#include "base/SettingsFile.h"
#include "ftp/Publisher.h"
#include "ftp/Publishing.h"
#include "project/Project.h"

namespace Ui {
class TFTPDlg;
}

namespace velmora {

class UntrustedServerError;

// Uploads a project's generated pages and their images to a directory on
// a server. Send builds a destination from the fields (host, login, folder,
// port, security, passive mode) and hands the upload plan to the publisher
// of that protocol, turning its reports into the status line Inf and the
// progress bar. Created once; every showing reloads the fields from section
// FTP of the settings file, and closing with OK stores them.
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

    bool isSending() const { return sending_; }
    Ui::TFTPDlg& form() { return *ui_; }
    // The destination the fields describe, as Send would use it.
    PublishDestination destination() const;

    void FormShow();
    void FormHide();
    void B2Click();
    void StopBtnClick();
    // A close asked for while Send runs takes effect once Send returns.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Send();
    // False when the user stopped it.
    bool publishPlan(const PublishDestination& destination, const std::vector<UploadItem>& plan);
    bool askToTrust(const UntrustedServerError& refusal, const PublishDestination& destination);
    void LoadFtpSettings();
    void SaveFtpSettings();
    void setStatus(const QString& text);
    void setSending(bool sending);
    void showProgress();
    void resetProgress();
    PublishProtocol protocol() const;
    void setProtocol(PublishProtocol protocol);

    std::unique_ptr<Ui::TFTPDlg> ui_;
    SettingsFile settings_;
    Prompter& prompter_;
    const PageList* pages_ = nullptr;
    std::vector<SiteFile> siteFiles_;
    std::function<void()> onSent_;
    bool sent_ = false;
    bool sending_ = false;
    bool stopRequested_ = false;
    Publisher* publisher_ = nullptr;  // while Send runs
    std::optional<int> closeAfterSend_;
    std::optional<UploadProgress> progress_;
    PublishProtocol shownProtocol_ = PublishProtocol::Ftp;
};

}  // namespace velmora

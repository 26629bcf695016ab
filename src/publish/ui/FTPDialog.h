#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

#include "base/Prompter.h"
#include "base/SettingsFile.h"
#include "publish/PublishJob.h"

namespace Ui {
class TFTPDlg;
}

namespace velmora {

class UntrustedServerError;

// Uploads a project's generated pages, their images and site files to a
// directory on a server. Send gathers a destination from the fields (host,
// login, folder, port, security, passive mode) and the choices, runs a
// PublishJob with them and turns its reports into the status line Inf and
// the progress bar. Created once; every showing reloads the fields from
// section FTP of the settings file, and closing with OK stores them.
class TFTPDlg : public QDialog {
    Q_OBJECT
public:
    TFTPDlg(SettingsFile settings, Prompter& prompter, QWidget* parent = nullptr);
    ~TFTPDlg() override;

    // Shows the dialog modally for what `source` publishes and returns its
    // result. The record of what each destination holds is kept in the
    // source's companion; without one every file is sent and nothing is
    // recorded.
    int publish(PublishSource source);
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
    // Shows the remote names that Send would send now; connects nowhere.
    void PreviewBtnClick();
    // A close asked for while Send runs takes effect once Send returns.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Send();
    void PreviewChanges();
    // False, with the reason in the status line, when the fields name no
    // destination.
    bool fieldsNameADestination();
    // The job for the fields, its plan checked whole; the folder field shows
    // the folder as the plan uses it afterwards.
    std::unique_ptr<PublishJob> makeJob(bool dryRun);
    // False when the user stopped it.
    // Asks before deleting many files; false when the user said No.
    bool confirmRemovals(const PublishJob& job);
    bool runJob(PublishJob& job);
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
    PublishSource source_;
    std::function<void()> onSent_;
    bool sent_ = false;
    bool sending_ = false;
    PublishJob* job_ = nullptr;  // while Send runs
    std::optional<int> closeAfterSend_;
    std::optional<UploadProgress> progress_;
    PublishProtocol shownProtocol_ = PublishProtocol::Ftp;
};

}  // namespace velmora

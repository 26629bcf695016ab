#include "FTPDialog.h"

#include <QScreen>
#include <QShowEvent>

#include "base/CommandGuard.h"
#include "base/ui/DialogConduct.h"
#include "ftp/ScopeExit.h"
#include "ui_FTPDialog.h"

namespace velmora {

namespace {

constexpr const char* kSection = "FTP";
// A silent server ends in a time-out failure instead of holding Send forever.
constexpr int kClientTimeOut = 30000;

QString fromBytes(const QByteArray& bytes) { return QString::fromUtf8(bytes); }

}  // namespace

TFTPDlg::TFTPDlg(SettingsFile settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TFTPDlg>()),
      settings_(std::move(settings)),
      prompter_(prompter),
      ftp_(std::make_unique<TVexFTP>())
{
    ui_->setupUi(this);
    setFixedSize(379, 256);
    QPalette status = ui_->Inf->palette();
    status.setColor(QPalette::Base, status.color(QPalette::Button));
    ui_->Inf->setPalette(status);

    ftp_->Port = 21;
    ftp_->ReportLevel = 0;
    ftp_->Proxy.clear();
    ftp_->ProxyPort = 0;
    ftp_->TimeOut = kClientTimeOut;
    bindClientEvents();

    connect(ui_->B2, &QPushButton::clicked, this, [this] { B2Click(); });
    connect(ui_->OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    // Enter on Send or Cancel presses that button, not OK.
    applyDialogConduct(this);
}

TFTPDlg::~TFTPDlg() { ftp_.reset(); }

int TFTPDlg::publish(const PageList& pages, std::vector<SiteFile> siteFiles)
{
    pages_ = &pages;
    siteFiles_ = std::move(siteFiles);
    const ScopeExit forget([this] {
        pages_ = nullptr;
        siteFiles_.clear();
    });
    return exec();
}

void TFTPDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A window restored from the task bar is no new showing.
    if (event->spontaneous()) return;
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    FormShow();
}

void TFTPDlg::done(int result)
{
    if (sending_) {
        closeAfterSend_ = result;
        return;
    }
    QDialog::done(result);
    FormHide();
}

void TFTPDlg::FormShow()
{
    loggedIn_ = false;
    LoadFtpSettings();
}

void TFTPDlg::FormHide()
{
    if (result() == QDialog::Accepted) SaveFtpSettings();
}

void TFTPDlg::B2Click()
{
    if (sending_) return;
    setSending(true);
    sent_ = false;
    guarded(prompter_, [this] { Send(); });
    setSending(false);
    if (sent_ && onSent_) guarded(prompter_, onSent_);
    if (closeAfterSend_) done(*std::exchange(closeAfterSend_, std::nullopt));
}

void TFTPDlg::setSending(bool sending)
{
    sending_ = sending;
    for (QWidget* button : {static_cast<QWidget*>(ui_->B2), static_cast<QWidget*>(ui_->OKBtn),
                            static_cast<QWidget*>(ui_->CancelBtn)})
        button->setEnabled(!sending);
}

// ----------------------------------------------------------------- Send

void TFTPDlg::Send()
{
    if (ui_->HostName->text().isEmpty()) {
        setStatus(QStringLiteral("You must specify Host Name"));
        return;
    }
    if (ui_->UserID->text().isEmpty()) {
        setStatus(QStringLiteral("You must specify UserID"));
        return;
    }
    if (loggedIn_) {
        setStatus(QStringLiteral("Connection already exists"));
        return;
    }
    // The whole plan is checked before anything goes to the server: a name
    // that would break a command stops the Send here.
    const QByteArray typedDirectory = ui_->RDirectory->text().toUtf8();
    const QByteArray directory = NormalisedRemoteDirectory(typedDirectory);
    const PlannedUploads planned = pages_ ? PlanUploads(*pages_, directory) : PlannedUploads();
    std::vector<UploadItem> plan = planned.items;
    AppendSiteFiles(plan, siteFiles_, directory);

    // A connection left open by a failed Send of an earlier showing would
    // make Connect do nothing; it is closed so that this Send logs in afresh.
    if (ftp_->Connected()) {
        try {
            ftp_->Disconnect();
        } catch (const VelmoraError&) {
        }
    }
    ftp_->Host = ui_->HostName->text();
    ftp_->UserID = ui_->UserID->text().toUtf8();
    ftp_->Password = ui_->Password->text().toUtf8();

    setStatus(QStringLiteral("Connecting..."));
    ftp_->Connect();
    if (!loggedIn_) {
        setStatus(QStringLiteral("There is no connection"));
        return;
    }

    if (directory != typedDirectory) ui_->RDirectory->setText(fromBytes(directory));

    progress_.emplace(plan);
    showProgress();
    UploadPlan(*ftp_, plan, [this](const UploadItem& item, int index, int) {
        if (index > 0) progress_->finishFile();
        progress_->startFile(index);
        showProgress();
        setStatus(fromBytes(item.remoteName));
    });
    if (!plan.empty()) progress_->finishFile();
    showProgress();

    if (loggedIn_) {
        setStatus(QStringLiteral("Disconnecting..."));
        ftp_->Disconnect();
        sent_ = true;
    } else {
        setStatus(QStringLiteral("There is no connection"));
    }
    // The pictures that stayed behind, in one message rather than one a page.
    if (!planned.skippedImages.isEmpty()) {
        prompter_.message(QStringLiteral("Message"), planned.skippedImages.join(u'\n'),
                          MessageIcon::Warning);
    }
}

void TFTPDlg::setStatus(const QString& text) { ui_->Inf->setText(text); }

void TFTPDlg::showProgress()
{
    if (!progress_) return;
    ui_->SendProgress->setValue(progress_->permille());
    ui_->SendProgress->setFormat(progress_->text());
}

// ------------------------------------------------------------- settings

void TFTPDlg::LoadFtpSettings()
{
    ui_->HostName->setText(fromBytes(settings_.read(kSection, "HOST_NAME", {})));
    ui_->UserID->setText(fromBytes(settings_.read(kSection, "USER_ID", {})));
    ui_->Password->setText(fromBytes(settings_.read(kSection, "PASSWORD", {})));
    ui_->RDirectory->setText(fromBytes(settings_.read(kSection, "DIRECTORY", {})));
    ui_->CheckBox1->setChecked(settings_.read(kSection, "SAVE_CFG", "Yes") == "Yes");
}

void TFTPDlg::SaveFtpSettings()
{
    if (!ui_->CheckBox1->isChecked()) {
        ui_->HostName->clear();
        ui_->UserID->clear();
        ui_->Password->clear();
        ui_->RDirectory->clear();
    }
    settings_.write(kSection, "HOST_NAME", ui_->HostName->text().toUtf8());
    settings_.write(kSection, "USER_ID", ui_->UserID->text().toUtf8());
    settings_.write(kSection, "PASSWORD", ui_->Password->text().toUtf8());
    settings_.write(kSection, "DIRECTORY", ui_->RDirectory->text().toUtf8());
    settings_.write(kSection, "SAVE_CFG", ui_->CheckBox1->isChecked() ? "Yes" : "No");
}

// -------------------------------------------------------- client events

void TFTPDlg::bindClientEvents()
{
    TVexFTP& ftp = *ftp_;
    ftp.OnConnect = [this](TPowersock&) { FTPConnect(); };
    ftp.OnDisconnect = [this](TPowersock&) { FTPDisconnect(); };
    ftp.OnHostResolved = [this](TPowersock&) { FTPHostResolved(); };
    ftp.OnInvalidHost = [this](bool& handled) { FTPInvalidHost(handled); };
    ftp.OnConnectionFailed = [this](TPowersock&) { FTPConnectionFailed(); };
    ftp.OnError = [this](TPowersock&, quint16, const QString&) { FTPError(); };
    ftp.OnConnectionRequired = [this](bool& handled) { FTPConnectionRequired(handled); };
    ftp.OnTransactionStart = [this](TPowersock&) { FTPTransactionStart(); };
    ftp.OnTransactionStop = [this](TPowersock&) { FTPTransactionStop(); };
    ftp.OnFailure = [this](bool& handled, TCmdType) { FTPFailure(handled); };
    ftp.OnSuccess = [this](TCmdType) { FTPSuccess(); };
    ftp.OnPacketSent = [this](TPowersock& data) { FTPPacketSent(data); };
}

void TFTPDlg::FTPConnect()
{
    setStatus(QStringLiteral("Connected..."));
    loggedIn_ = true;
}

void TFTPDlg::FTPDisconnect()
{
    setStatus(QStringLiteral("Disconnected..."));
    loggedIn_ = false;
}

void TFTPDlg::FTPHostResolved() { setStatus(QStringLiteral("Host resolved...")); }

// Leaves handled false: the client gives up.
void TFTPDlg::FTPInvalidHost(bool&) { setStatus(QStringLiteral("Invalid Host...")); }

void TFTPDlg::FTPConnectionFailed() { setStatus(QStringLiteral("Connection failed...")); }

void TFTPDlg::FTPError() { setStatus(QStringLiteral("Unknown error...")); }

void TFTPDlg::FTPConnectionRequired(bool&) { setStatus(QStringLiteral("Connection required...")); }

void TFTPDlg::FTPTransactionStart() { setStatus(QStringLiteral("Transaction start...")); }

void TFTPDlg::FTPTransactionStop() { setStatus(QStringLiteral("Transaction stop...")); }

// Leaves handled false: the client raises its failure.
void TFTPDlg::FTPFailure(bool&) { setStatus(QStringLiteral("Failure...")); }

void TFTPDlg::FTPSuccess() { setStatus(QStringLiteral("Success!")); }

void TFTPDlg::FTPPacketSent(const TPowersock& data)
{
    if (!progress_) return;
    progress_->setFileBytes(data.BytesSent());
    showProgress();
}

}  // namespace velmora

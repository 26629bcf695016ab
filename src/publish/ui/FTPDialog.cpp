#include "publish/ui/FTPDialog.h"

#include <QIntValidator>
#include <QScreen>
#include <QShowEvent>

#include "base/CommandGuard.h"
#include "base/ScopeExit.h"
#include "base/ui/DialogConduct.h"
#include "publish/ChangedFiles.h"
#include "publish/FtpErrors.h"
#include "publish/PublishJob.h"
#include "publish/PublisherFactory.h"
#include "publish/ServerTrust.h"
#include "publish/sftp/SftpPublisher.h"
#include "ui_FTPDialog.h"

namespace velmora {

namespace {

constexpr const char* kSection = "FTP";
// A silent server ends in a time-out failure instead of holding Send forever.
constexpr int kClientTimeOut = 30000;

// The entries of the Security box, in its order. Each maps to a protocol;
// the publisher comes from the protocol alone.
struct SecurityChoice {
    PublishProtocol protocol;
    const char* label;
};
constexpr SecurityChoice kSecurityChoices[] = {
    {PublishProtocol::Ftp, "None"},
    {PublishProtocol::Ftps, "Explicit TLS"},
    {PublishProtocol::FtpsImplicit, "Implicit TLS"},
    {PublishProtocol::Sftp, "SFTP"},
};

QString fromBytes(const QByteArray& bytes) { return QString::fromUtf8(bytes); }

// A message box taller than this many names would not fit the screen.
constexpr int kPreviewNames = 30;

// More deletions than this at once are asked about first.
constexpr int kDeletionsWithoutAsking = 100;

QString previewText(const ChangedFiles& changes)
{
    const QByteArrayList names = changes.plannedChanges();
    const int upToDate = changes.upToDateCount();
    if (names.isEmpty())
        return QStringLiteral("Nothing to send: all %1 files are already up to date.").arg(upToDate);
    const qsizetype sends = changes.toSend().size();
    QString text = sends == 1 ? QStringLiteral("Send would send 1 file")
                              : QStringLiteral("Send would send %1 files").arg(sends);
    if (changes.removesDropped())
        text += QStringLiteral(" and delete %1").arg(changes.droppedNames().size());
    if (changes.onlyChanged()) text += QStringLiteral(" (%1 already up to date)").arg(upToDate);
    text += QStringLiteral(":\n");
    for (qsizetype i = 0; i < names.size() && i < kPreviewNames; ++i)
        text += u'\n' + fromBytes(names[i]);
    if (names.size() > kPreviewNames)
        text += QStringLiteral("\n... and %1 more").arg(names.size() - kPreviewNames);
    return text;
}

}  // namespace

TFTPDlg::TFTPDlg(SettingsFile settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TFTPDlg>()),
      settings_(std::move(settings)),
      prompter_(prompter)
{
    ui_->setupUi(this);
    setFixedSize(379, 448);
    QPalette status = ui_->Inf->palette();
    status.setColor(QPalette::Base, status.color(QPalette::Button));
    ui_->Inf->setPalette(status);
    ui_->PortNumber->setValidator(new QIntValidator(1, 65535, ui_->PortNumber));
    for (const SecurityChoice& choice : kSecurityChoices)
        ui_->Security->addItem(QLatin1String(choice.label),
                               QString::fromLatin1(protocolName(choice.protocol)));

    connect(ui_->B2, &QPushButton::clicked, this, [this] { B2Click(); });
    connect(ui_->StopBtn, &QPushButton::clicked, this, [this] { StopBtnClick(); });
    connect(ui_->PreviewBtn, &QPushButton::clicked, this, [this] { PreviewBtnClick(); });
    connect(ui_->OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->Security, &QComboBox::currentIndexChanged, this, [this] {
        // A port left at the old protocol's usual one follows the new.
        const PublishProtocol chosen = protocol();
        if (ui_->PortNumber->text() == QString::number(defaultPort(shownProtocol_)))
            ui_->PortNumber->setText(QString::number(defaultPort(chosen)));
        shownProtocol_ = chosen;
        // SSH has no data connections to choose a mode for.
        ui_->PassiveMode->setEnabled(chosen != PublishProtocol::Sftp);
    });
    // Enter on Send or Cancel presses that button, not OK.
    applyDialogConduct(this);
}

TFTPDlg::~TFTPDlg() = default;

int TFTPDlg::publish(PublishSource source)
{
    source_ = std::move(source);
    const ScopeExit forget([this] { source_ = PublishSource(); });
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
    setStatus(QString());
    resetProgress();
    LoadFtpSettings();
}

void TFTPDlg::FormHide()
{
    // A settings file that cannot be written is said so; the dialog closes.
    if (result() == QDialog::Accepted) guarded(prompter_, [this] { SaveFtpSettings(); });
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

void TFTPDlg::StopBtnClick()
{
    if (sending_ && job_) job_->stop();
}

void TFTPDlg::PreviewBtnClick()
{
    if (sending_) return;
    guarded(prompter_, [this] { PreviewChanges(); });
}

void TFTPDlg::setSending(bool sending)
{
    sending_ = sending;
    for (QWidget* button : {static_cast<QWidget*>(ui_->B2), static_cast<QWidget*>(ui_->PreviewBtn),
                            static_cast<QWidget*>(ui_->OKBtn), static_cast<QWidget*>(ui_->CancelBtn)})
        button->setEnabled(!sending);
    ui_->StopBtn->setEnabled(sending);
}

// ----------------------------------------------------------------- Send

PublishProtocol TFTPDlg::protocol() const
{
    return protocolFromName(ui_->Security->currentData().toString().toLatin1())
        .value_or(PublishProtocol::Ftp);
}

void TFTPDlg::setProtocol(PublishProtocol protocol)
{
    const int index = ui_->Security->findData(QString::fromLatin1(protocolName(protocol)));
    ui_->Security->setCurrentIndex(index >= 0 ? index : 0);
    shownProtocol_ = this->protocol();
}

PublishDestination TFTPDlg::destination() const
{
    PublishDestination d;
    d.protocol = protocol();
    d.host = ui_->HostName->text();
    d.port = ui_->PortNumber->text().toInt();
    d.user = ui_->UserID->text().toUtf8();
    d.password = ui_->Password->text().toUtf8();
    d.directory = ui_->RDirectory->text().toUtf8();
    d.passive = ui_->PassiveMode->isChecked();
    d.timeOutMs = kClientTimeOut;
    d.connections = ui_->Connections->value();
    d.trustedFingerprint = ServerTrust(settings_).fingerprint(d.host, d.port);
    return d;
}

bool TFTPDlg::fieldsNameADestination()
{
    if (ui_->HostName->text().isEmpty()) {
        setStatus(QStringLiteral("You must specify Host Name"));
        return false;
    }
    if (ui_->UserID->text().isEmpty()) {
        setStatus(QStringLiteral("You must specify UserID"));
        return false;
    }
    const int port = ui_->PortNumber->text().toInt();
    if (port < 1 || port > 65535) {
        setStatus(QStringLiteral("You must specify Port (1 to 65535)"));
        return false;
    }
    return true;
}

std::unique_ptr<PublishJob> TFTPDlg::makeJob(bool dryRun)
{
    auto job = std::make_unique<PublishJob>(
        source_, destination(),
        PublishChoices{.changedOnly = ui_->OnlyChanged->isChecked(),
                       .dryRun = dryRun,
                       .removeDropped = ui_->RemoveOld->isChecked()});
    // The field shows the folder as the plan uses it.
    if (job->remoteDirectory() != ui_->RDirectory->text().toUtf8())
        ui_->RDirectory->setText(fromBytes(job->remoteDirectory()));
    return job;
}

void TFTPDlg::Send()
{
    if (!fieldsNameADestination()) return;
    const std::unique_ptr<PublishJob> job = makeJob(false);
    if (!confirmRemovals(*job)) return;
    job_ = job.get();
    const ScopeExit forget([this] { job_ = nullptr; });
    connect(job.get(), &PublishJob::status, this, &TFTPDlg::setStatus);
    connect(job.get(), &PublishJob::fileStarted, this, [this](int index, int) {
        progress_->startFile(index);
        showProgress();
    });
    connect(job.get(), &PublishJob::fileBytesSent, this, [this](int index, qint64 bytes) {
        progress_->setFileBytes(index, bytes);
        showProgress();
    });
    connect(job.get(), &PublishJob::fileConfirmed, this, [this](int index) {
        progress_->finishFile(index);
        showProgress();
    });

    try {
        sent_ = runJob(*job);
    } catch (const UntrustedServerError& refusal) {
        if (!askToTrust(refusal, job->destination())) {
            setStatus(QStringLiteral("Certificate not trusted"));
            return;
        }
        // Once more, now that the user has said so.
        job->trustFingerprint(refusal.fingerprint());
        sent_ = runJob(*job);
    }
    // The pictures that stayed behind, in one message rather than one a page.
    if (!job->skippedImages().isEmpty()) {
        prompter_.message(QStringLiteral("Message"), job->skippedImages().join(u'\n'),
                          MessageIcon::Warning);
    }
}

void TFTPDlg::PreviewChanges()
{
    if (!fieldsNameADestination()) return;
    const std::unique_ptr<PublishJob> job = makeJob(true);
    prompter_.message(QStringLiteral("Preview changes"), previewText(job->changes()),
                      MessageIcon::Information);
}

bool TFTPDlg::confirmRemovals(const PublishJob& job)
{
    if (!job.changes().removesDropped()) return true;
    const qsizetype dropped = job.changes().droppedNames().size();
    if (dropped <= kDeletionsWithoutAsking) return true;
    const QString question =
        QStringLiteral("%1 files that Velmora published to this folder are no longer in the "
                       "project. Delete them all from the server?")
            .arg(dropped);
    if (prompter_.askYesNo(QStringLiteral("Question"), question) == Answer::Yes) return true;
    setStatus(QStringLiteral("Nothing sent: %1 deletions not confirmed").arg(dropped));
    return false;
}

bool TFTPDlg::runJob(PublishJob& job)
{
    progress_.emplace(job.toSend());
    showProgress();
    bool sent = false;
    try {
        sent = job.run({.knownHostsFile = {}, .hostKeyTrust = askUserAboutHostKeys(prompter_)});
    } catch (const UntrustedServerError&) {
        throw;
    } catch (const VelmoraError& failure) {
        // The failure stays in the status line after its message, where the
        // last step ("Connecting...") would otherwise stand.
        setStatus(failure.text());
        throw;
    }
    setStatus(sent ? job.summary() : QStringLiteral("Send stopped: ") + job.summary());
    return sent;
}

bool TFTPDlg::askToTrust(const UntrustedServerError& refusal, const PublishDestination& target)
{
    const QString question =
        refusal.text() +
        QStringLiteral("\n\nTrust this certificate for %1 from now on?").arg(target.host);
    if (prompter_.askYesNo(QStringLiteral("Question"), question) != Answer::Yes) return false;
    // The Send goes on with the user's answer even when it cannot be kept
    // for the next time; that it was not kept is said, not swallowed.
    try {
        ServerTrust(settings_).remember(target.host, target.port, refusal.fingerprint());
    } catch (const VelmoraError& e) {
        showError(prompter_, e.text());
    }
    return true;
}

void TFTPDlg::setStatus(const QString& text) { ui_->Inf->setText(text); }

void TFTPDlg::showProgress()
{
    if (!progress_) return;
    ui_->SendProgress->setValue(progress_->permille());
    ui_->SendProgress->setFormat(progress_->text());
}

void TFTPDlg::resetProgress()
{
    progress_.reset();
    ui_->SendProgress->setValue(0);
    ui_->SendProgress->setFormat(QString());
}

// ------------------------------------------------------------- settings

void TFTPDlg::LoadFtpSettings()
{
    ui_->HostName->setText(fromBytes(settings_.read(kSection, "HOST_NAME", {})));
    ui_->UserID->setText(fromBytes(settings_.read(kSection, "USER_ID", {})));
    ui_->Password->setText(fromBytes(settings_.read(kSection, "PASSWORD", {})));
    ui_->RDirectory->setText(fromBytes(settings_.read(kSection, "DIRECTORY", {})));
    const PublishProtocol stored =
        protocolFromName(settings_.read(kSection, "PROTOCOL", {})).value_or(PublishProtocol::Ftp);
    setProtocol(stored);
    bool ok = false;
    const int port = settings_.read(kSection, "PORT", {}).toInt(&ok);
    ui_->PortNumber->setText(
        QString::number(ok && port >= 1 && port <= 65535 ? port : defaultPort(protocol())));
    ui_->PassiveMode->setChecked(settings_.read(kSection, "PASSIVE", "No") == "Yes");
    ui_->OnlyChanged->setChecked(settings_.read(kSection, "ONLY_CHANGED", "No") == "Yes");
    ui_->RemoveOld->setChecked(settings_.read(kSection, "REMOVE_OLD", "No") == "Yes");
    const int connections = settings_.read(kSection, "CONNECTIONS", {}).toInt(&ok);
    ui_->Connections->setValue(ok && connections >= kMinConnections && connections <= kMaxConnections
                                   ? connections
                                   : kDefaultConnections);
    ui_->CheckBox1->setChecked(settings_.read(kSection, "SAVE_CFG", "Yes") == "Yes");
}

void TFTPDlg::SaveFtpSettings()
{
    if (!ui_->CheckBox1->isChecked()) {
        ui_->HostName->clear();
        ui_->UserID->clear();
        ui_->Password->clear();
        ui_->RDirectory->clear();
        setProtocol(PublishProtocol::Ftp);
        ui_->PortNumber->setText(QString::number(defaultPort(PublishProtocol::Ftp)));
        ui_->PassiveMode->setChecked(false);
        ui_->OnlyChanged->setChecked(false);
        ui_->RemoveOld->setChecked(false);
        ui_->Connections->setValue(kDefaultConnections);
    }
    settings_.write(kSection, "HOST_NAME", ui_->HostName->text().toUtf8());
    settings_.write(kSection, "USER_ID", ui_->UserID->text().toUtf8());
    settings_.write(kSection, "PASSWORD", ui_->Password->text().toUtf8());
    settings_.write(kSection, "DIRECTORY", ui_->RDirectory->text().toUtf8());
    settings_.write(kSection, "PORT", ui_->PortNumber->text().toUtf8());
    settings_.write(kSection, "PROTOCOL", protocolName(protocol()));
    settings_.write(kSection, "PASSIVE", ui_->PassiveMode->isChecked() ? "Yes" : "No");
    settings_.write(kSection, "ONLY_CHANGED", ui_->OnlyChanged->isChecked() ? "Yes" : "No");
    settings_.write(kSection, "REMOVE_OLD", ui_->RemoveOld->isChecked() ? "Yes" : "No");
    settings_.write(kSection, "CONNECTIONS", QByteArray::number(ui_->Connections->value()));
    settings_.write(kSection, "SAVE_CFG", ui_->CheckBox1->isChecked() ? "Yes" : "No");
}

}  // namespace velmora

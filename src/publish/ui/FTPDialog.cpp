#include "publish/ui/FTPDialog.h"

#include <QIntValidator>
#include <QScreen>
#include <QShowEvent>

#include "base/CommandGuard.h"
#include "base/ui/DialogConduct.h"
#include "publish/ChangedFiles.h"
#include "publish/FtpErrors.h"
#include "publish/PublisherFactory.h"
#include "publish/ScopeExit.h"
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
    {PublishProtocol::Sftp, "SFTP"},
};

QString fromBytes(const QByteArray& bytes) { return QString::fromUtf8(bytes); }

// A message box taller than this many names would not fit the screen.
constexpr int kPreviewNames = 30;

QString previewText(const ChangedFiles& changes)
{
    const QByteArrayList names = changes.namesToSend();
    const int upToDate = changes.upToDateCount();
    if (names.isEmpty())
        return QStringLiteral("Nothing to send: all %1 files are already up to date.").arg(upToDate);
    QString text = names.size() == 1 ? QStringLiteral("Send would send 1 file")
                                     : QStringLiteral("Send would send %1 files").arg(names.size());
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
    setFixedSize(379, 396);
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

int TFTPDlg::publish(const PageList& pages, std::vector<SiteFile> siteFiles,
                     const QString& projectPath)
{
    pages_ = &pages;
    siteFiles_ = std::move(siteFiles);
    projectPath_ = projectPath;
    const ScopeExit forget([this] {
        pages_ = nullptr;
        siteFiles_.clear();
        projectPath_.clear();
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
    setStatus(QString());
    resetProgress();
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

void TFTPDlg::StopBtnClick()
{
    if (!sending_) return;
    stopRequested_ = true;
    if (publisher_) publisher_->stop();
}

void TFTPDlg::PreviewBtnClick()
{
    if (sending_) return;
    guarded(prompter_, [this] { PreviewChanges(); });
}

void TFTPDlg::setSending(bool sending)
{
    sending_ = sending;
    stopRequested_ = false;
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

PlannedUploads TFTPDlg::checkedPlan()
{
    // The whole plan is checked before anything goes to the server: a name
    // that would break a command stops the Send here.
    const QByteArray typedDirectory = ui_->RDirectory->text().toUtf8();
    const QByteArray directory = NormalisedRemoteDirectory(typedDirectory);
    PlannedUploads planned = pages_ ? PlanUploads(*pages_, directory) : PlannedUploads();
    AppendSiteFiles(planned.items, siteFiles_, directory);
    if (directory != typedDirectory) ui_->RDirectory->setText(fromBytes(directory));
    return planned;
}

void TFTPDlg::Send()
{
    if (!fieldsNameADestination()) return;
    const PlannedUploads planned = checkedPlan();
    PublishDestination target = destination();
    if (!projectPath_.isEmpty()) CheckRecordable(target);
    std::optional<ProjectCompanion> companion;
    if (!projectPath_.isEmpty()) companion.emplace(projectPath_);
    ChangedFiles changes(companion ? &*companion : nullptr, target, planned.items,
                         ui_->OnlyChanged->isChecked());

    try {
        sent_ = publishPlan(target, changes);
    } catch (const UntrustedServerError& refusal) {
        if (!askToTrust(refusal, target)) {
            setStatus(QStringLiteral("Certificate not trusted"));
            return;
        }
        // Once more, now that the user has said so.
        target.trustedFingerprint = refusal.fingerprint();
        sent_ = publishPlan(target, changes);
    }
    // The pictures that stayed behind, in one message rather than one a page.
    if (!planned.skippedImages.isEmpty()) {
        prompter_.message(QStringLiteral("Message"), planned.skippedImages.join(u'\n'),
                          MessageIcon::Warning);
    }
}

void TFTPDlg::PreviewChanges()
{
    if (!fieldsNameADestination()) return;
    const PlannedUploads planned = checkedPlan();
    std::optional<ProjectCompanion> companion;
    if (!projectPath_.isEmpty()) companion.emplace(projectPath_);
    const ChangedFiles changes(companion ? &*companion : nullptr, destination(), planned.items,
                               ui_->OnlyChanged->isChecked());
    prompter_.message(QStringLiteral("Preview changes"), previewText(changes),
                      MessageIcon::Information);
}

bool TFTPDlg::publishPlan(const PublishDestination& target, ChangedFiles& changes)
{
    const std::unique_ptr<Publisher> publisher = makePublisher(
        target, {.knownHostsFile = {}, .hostKeyTrust = askUserAboutHostKeys(prompter_)});
    publisher_ = publisher.get();
    const ScopeExit forget([this] { publisher_ = nullptr; });
    progress_.emplace(changes.toSend());
    showProgress();
    connect(publisher.get(), &Publisher::status, this, [this](const QString& text) {
        setStatus(text);
    });
    connect(publisher.get(), &Publisher::fileStarted, this, [this](int index, int) {
        progress_->startFile(index);
        showProgress();
    });
    connect(publisher.get(), &Publisher::fileBytesSent, this, [this](qint64 bytes) {
        progress_->setFileBytes(bytes);
        showProgress();
    });
    connect(publisher.get(), &Publisher::fileConfirmed, this, [this](int) {
        progress_->finishFile();
        showProgress();
    });
    try {
        changes.publishThrough(*publisher);
    } catch (const UntrustedServerError&) {
        throw;
    } catch (const VelmoraError&) {
        // A stop is what the user asked for, not a failure to show.
        if (!stopRequested_) throw;
        setStatus(QStringLiteral("Send stopped: ") + changes.summary());
        return false;
    }
    setStatus(changes.summary());
    return true;
}

bool TFTPDlg::askToTrust(const UntrustedServerError& refusal, const PublishDestination& target)
{
    const QString question =
        refusal.text() +
        QStringLiteral("\n\nTrust this certificate for %1 from now on?").arg(target.host);
    if (prompter_.askYesNo(QStringLiteral("Question"), question) != Answer::Yes) return false;
    ServerTrust(settings_).remember(target.host, target.port, refusal.fingerprint());
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
    }
    settings_.write(kSection, "HOST_NAME", ui_->HostName->text().toUtf8());
    settings_.write(kSection, "USER_ID", ui_->UserID->text().toUtf8());
    settings_.write(kSection, "PASSWORD", ui_->Password->text().toUtf8());
    settings_.write(kSection, "DIRECTORY", ui_->RDirectory->text().toUtf8());
    settings_.write(kSection, "PORT", ui_->PortNumber->text().toUtf8());
    settings_.write(kSection, "PROTOCOL", protocolName(protocol()));
    settings_.write(kSection, "PASSIVE", ui_->PassiveMode->isChecked() ? "Yes" : "No");
    settings_.write(kSection, "ONLY_CHANGED", ui_->OnlyChanged->isChecked() ? "Yes" : "No");
    settings_.write(kSection, "SAVE_CFG", ui_->CheckBox1->isChecked() ? "Yes" : "No");
}

}  // namespace velmora

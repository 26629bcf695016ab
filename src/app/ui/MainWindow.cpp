#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QShortcut>
#include <QSignalBlocker>
#include <QUrl>
#include <functional>

#include "base/CommandGuard.h"
#include "base/ScopeExit.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/ColourSwatch.h"
#include "app/ui/EditCommands.h"
#include "app/ui/FieldLength.h"
#include "app/ui/GenerationProgress.h"
#include "app/ui/Resources.h"
#include "app/ui/StatusNote.h"
#include "app/ui/WindowPlacement.h"
#include "generate/Naming.h"
#include "generate/PageBuilder.h"
#include "generate/PageHeadChoice.h"
#include "generate/PageImage.h"
#include "generate/SiteFiles.h"
#include "project/PageOperations.h"
#include "ui_MainWindow.h"

namespace velmora {

namespace {

const QColor kSilver(192, 192, 192);

// The widgets each check box switches on and off.
QList<QWidget*> governedBy(Ui::TForm1& ui, FlagField f)
{
    switch (f) {
    case FlagField::RobotsBox: return {ui.RobotsTag, ui.ComboBox1};
    case FlagField::CommentsBox: return {ui.HiddenText};
    case FlagField::CompanyBox: return {ui.FooterText};
    }
    return {};
}

// The busy cursor for as long as a command works.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

QString helpPagePath()
{
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
         {dir + QStringLiteral("/velmora-help.html"),
          dir + QStringLiteral("/../share/velmora/velmora-help.html")}) {
        if (QFileInfo::exists(candidate)) return QFileInfo(candidate).canonicalFilePath();
    }
    return dir + QStringLiteral("/../share/velmora/velmora-help.html");
}

TForm1::TForm1(Prompter& prompter, BrowserLauncher& launcher, QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::TForm1>()),
      prompter_(prompter),
      launcher_(launcher),
      startupDir_(QDir::currentPath()),
      vendor_(VendorValues::read(SettingsFile::inDirectory(startupDir_))),
      session_(*this, prompter, startupDir_),
      siteCommands_(*this, session_, prompter),
      pageTools_(*this, session_, prompter)
{
    ui_->setupUi(this);
    setWindowIcon(programIcon());
    statusNote_ = new StatusNote(this);
    placement_ = std::make_unique<WindowPlacement>(*this);
    QPalette silver = palette();
    silver.setColor(QPalette::Window, kSilver);
    silver.setColor(QPalette::Button, kSilver);
    setPalette(silver);
    QPalette teal = ui_->GroupBox2->palette();
    teal.setColor(QPalette::WindowText, QColor(0, 128, 128));
    ui_->GroupBox2->setPalette(teal);

    bindFields();
    connectCommands();
    assignShortcuts();
    editCommands_ = std::make_unique<EditCommands>(*this, *ui_->Edit1);
    session_.titleChanged = [this](const QString& title) { setWindowTitle(title); };
    ui_->KeywordPhrase->setFocus();
}

TForm1::~TForm1() = default;

void TForm1::bindFields()
{
    for (int i = 0; i < kTextFieldCount; ++i) {
        const auto field = static_cast<TextField>(i);
        QWidget* widget = findChild<QWidget*>(QString::fromLatin1(kTextSlots[i].name));
        if (!widget || field == TextField::ImageSource) continue;
        bindings_[i] = TextFieldBinding(field, widget);
        limitToField(widget, field,
                     [this](const QString& note) { statusNote_->showNote(note); });
        if (field == TextField::ComboBox1) {
            connect(ui_->ComboBox1, &QComboBox::currentTextChanged, this,
                    [this] { run([this] { ComboBox1Change(); }); });
        } else if (reportsChange(field)) {
            auto changed = [this] { OnPrjChange(); };
            if (auto* line = qobject_cast<QLineEdit*>(widget))
                connect(line, &QLineEdit::textChanged, this, changed);
            else if (auto* combo = qobject_cast<QComboBox*>(widget))
                connect(combo, &QComboBox::currentTextChanged, this, changed);
            else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget))
                connect(memo, &QPlainTextEdit::textChanged, this, changed);
        }
    }
    for (int i = 0; i < kColourFieldCount; ++i)
        swatches_[i] = findChild<ColourSwatch*>(QString::fromLatin1(kColourSlots[i].name));
    for (FlagField f : {FlagField::RobotsBox, FlagField::CommentsBox, FlagField::CompanyBox}) {
        connect(checkBox(f), &QCheckBox::toggled, this, [this, f] { checkBoxClick(f); });
        applyEnabling(f);
    }
}

void TForm1::connectCommands()
{
    auto bind = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] { run([this, handler] { (this->*handler)(); }); });
    };
    bind(ui_->Button1, &QPushButton::clicked, &TForm1::Button1Click);
    bind(ui_->Button2, &QPushButton::clicked, &TForm1::Button2Click);
    bind(ui_->Button3, &QPushButton::clicked, &TForm1::Button3Click);
    bind(ui_->Button4, &QPushButton::clicked, &TForm1::Button4Click);
    bind(ui_->Button5, &QPushButton::clicked, &TForm1::Button5Click);
    bind(ui_->Button6, &QPushButton::clicked, &TForm1::Button6Click);
    bind(ui_->Button7, &QPushButton::clicked, &TForm1::Button7Click);
    bind(ui_->Button8, &QPushButton::clicked, &TForm1::Button8Click);
    bind(ui_->Button9, &QPushButton::clicked, &TForm1::Button9Click);
    bind(ui_->Button10, &QPushButton::clicked, &TForm1::Button10Click);
    bind(ui_->Button11, &QPushButton::clicked, &TForm1::Button11Click);
    bind(ui_->Button12, &QPushButton::clicked, &TForm1::Button12Click);
    bind(ui_->KeywordPhrase, &QLineEdit::returnPressed, &TForm1::Button7Click);

    bind(ui_->New1, &QAction::triggered, &TForm1::Button11Click);
    bind(ui_->Open1, &QAction::triggered, &TForm1::Button5Click);
    bind(ui_->Save1, &QAction::triggered, &TForm1::Button4Click);
    bind(ui_->Saveas1, &QAction::triggered, &TForm1::Button12Click);
    bind(ui_->ImportKeywordList1, &QAction::triggered, &TForm1::ImportKeywordList1Click);
    bind(ui_->ImportTable1, &QAction::triggered, &TForm1::ImportTable1Click);
    bind(ui_->PageOptions1, &QAction::triggered, &TForm1::PageOptions1Click);
    bind(ui_->CheckPages1, &QAction::triggered, &TForm1::CheckPages1Click);
    bind(ui_->DeletePage1, &QAction::triggered, &TForm1::DeletePage1Click);
    bind(ui_->GoToPage1, &QAction::triggered, &TForm1::GoToPage1Click);
    bind(ui_->Preview1, &QAction::triggered, &TForm1::Button8Click);
    bind(ui_->Generate1, &QAction::triggered, &TForm1::Button10Click);
    bind(ui_->FTP1, &QAction::triggered, &TForm1::Button6Click);
    bind(ui_->AddURL1, &QAction::triggered, &TForm1::Button9Click);
    bind(ui_->SiteAddress1, &QAction::triggered, &TForm1::SiteAddress1Click);
    bind(ui_->NotifySearchEngines1, &QAction::triggered, &TForm1::NotifySearchEngines1Click);
    bind(ui_->Exit1, &QAction::triggered, &TForm1::CmExit);
    bind(ui_->Undo1, &QAction::triggered, &TForm1::Undo1Click);
    bind(ui_->Copy1, &QAction::triggered, &TForm1::Copy1Click);
    bind(ui_->Paste1, &QAction::triggered, &TForm1::Paste1Click);
    bind(ui_->Cut1, &QAction::triggered, &TForm1::Cut1Click);
    bind(ui_->Selectall1, &QAction::triggered, &TForm1::Selectall1Click);
    bind(ui_->ContentsIndex1, &QAction::triggered, &TForm1::ContentsIndex1Click);
    bind(ui_->VelmoraHomepage1, &QAction::triggered, &TForm1::VelmoraHomepage1Click);
    bind(ui_->Upgrades1, &QAction::triggered, &TForm1::Upgrades1Click);
    bind(ui_->AboutVelmora1, &QAction::triggered, &TForm1::CmAbout);
    connect(ui_->Options1, &QAction::triggered, this, [this] {
        run([this] {
            if (optionsCommand_) optionsCommand_();
        });
    });

    const std::pair<QToolButton*, ColourField> colourButtons[] = {
        {ui_->SpeedButton1, ColourField::HeadingColor},
        {ui_->SpeedButton2, ColourField::SubheadingColor},
        {ui_->SpeedButton3, ColourField::DescriptionColor},
        {ui_->SpeedButton4, ColourField::LinkColor},
        {ui_->SpeedButton5, ColourField::VisitedLinkColor},
        {ui_->SpeedButton6, ColourField::BackgroundColor},
    };
    for (const auto& [button, swatch] : colourButtons) {
        connect(button, &QToolButton::clicked, this,
                [this, swatch] { run([this, swatch] { SpeedButtonClick(swatch); }); });
    }
}

void TForm1::assignShortcuts()
{
    const std::pair<QAction*, QKeySequence> keys[] = {
        {ui_->New1, QKeySequence(Qt::CTRL | Qt::Key_N)},
        {ui_->Open1, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {ui_->Save1, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {ui_->Saveas1, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {ui_->Exit1, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {ui_->Preview1, QKeySequence(Qt::Key_F5)},
        {ui_->ContentsIndex1, QKeySequence(Qt::Key_F1)},
        {ui_->Undo1, QKeySequence(QKeySequence::Undo)},
    };
    for (const auto& [action, key] : keys) action->setShortcut(key);

    // "<<" and ">>" have no menu item; their keys work from any field.
    auto pageKey = [this](QKeyCombination key, void (TForm1::*handler)()) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this,
                [this, handler] { run([this, handler] { (this->*handler)(); }); });
    };
    pageKey(Qt::CTRL | Qt::Key_PageUp, &TForm1::Button1Click);
    pageKey(Qt::CTRL | Qt::Key_PageDown, &TForm1::Button2Click);
}

void TForm1::setFtpCommand(std::function<void(ProjectSession&)> command)
{
    ftpCommand_ = std::move(command);
}

void TForm1::setSubmitCommand(std::function<void()> command) { submitCommand_ = std::move(command); }

void TForm1::setOptionsCommand(std::function<void()> command)
{
    optionsCommand_ = std::move(command);
}

void TForm1::run(const std::function<void()>& command) { guarded(prompter_, command); }

Options TForm1::currentOptions() const { return options_ ? options_->currentOptions() : Options{}; }

// --- PageFields ---------------------------------------------------------

QByteArray TForm1::text(TextField f) const
{
    if (f == TextField::ImageSource) return imageSource_;
    const TextFieldBinding& binding = bindings_[static_cast<int>(f)];
    return binding.widget() ? binding.text() : QByteArray();
}

void TForm1::setText(TextField f, const QByteArray& value)
{
    if (f == TextField::ImageSource) {
        imageSource_ = value;
        return;
    }
    TextFieldBinding& binding = bindings_[static_cast<int>(f)];
    if (binding.widget() && binding.setText(value) && reportsShownChange(f)) reportChange();
}

std::uint32_t TForm1::colour(ColourField f) const
{
    return swatches_[static_cast<int>(f)]->colour();
}

void TForm1::setColour(ColourField f, std::uint32_t value)
{
    swatches_[static_cast<int>(f)]->setColour(value);
}

QCheckBox* TForm1::checkBox(FlagField f) const
{
    switch (f) {
    case FlagField::RobotsBox: return ui_->RobotsBox;
    case FlagField::CommentsBox: return ui_->CommentsBox;
    case FlagField::CompanyBox: return ui_->CompanyBox;
    }
    return nullptr;
}

bool TForm1::flag(FlagField f) const { return checkBox(f)->isChecked(); }

void TForm1::setFlag(FlagField f, bool on)
{
    QCheckBox* box = checkBox(f);
    if (box->isChecked() == on) return;
    {
        const QSignalBlocker blocker(box);
        box->setChecked(on);
    }
    applyEnabling(f);
    reportChange();
}

QByteArray TForm1::pageNo() const { return ui_->PageNo->text().toUtf8(); }

void TForm1::setPageNo(const QByteArray& counter) { ui_->PageNo->setText(QString::fromUtf8(counter)); }

// --- field handlers -----------------------------------------------------

void TForm1::ComboBox1Change()
{
    setText(TextField::RobotsTag, RobotsTagFor(text(TextField::ComboBox1)));
    OnPrjChange();
}

void TForm1::checkBoxClick(FlagField f)
{
    applyEnabling(f);
    OnPrjChange();
}

void TForm1::applyEnabling(FlagField f)
{
    const bool on = checkBox(f)->isChecked();
    for (QWidget* widget : governedBy(*ui_, f)) {
        widget->setEnabled(on);
        QPalette p = widget->palette();
        p.setColor(QPalette::Base, on ? QColor(Qt::white) : kSilver);
        widget->setPalette(p);
    }
}

// --- commands -----------------------------------------------------------

void TForm1::Button1Click() { session_.previousPage(); }

void TForm1::Button2Click() { session_.nextPage(); }

void TForm1::Button3Click()
{
    const std::optional<QString> chosen =
        prompter_.openFile({.title = QString(),
                            .filter = QStringLiteral(
                                "Image Files|*.gif; *.jpg; *.jpeg; *.png; *.webp"),
                            .defaultSuffix = QString(),
                            .initialPath = QFile::decodeName(imageSource_),
                            .confirmOverwrite = false,
                            .mustExist = true});
    if (!chosen) return;
    const QByteArray source = QFile::encodeName(*chosen);
    if (!fitsField(TextField::ImageSource, source)) throw PathTooLongError(source);
    imageSource_ = source;
    setText(TextField::Image, QFile::encodeName(QFileInfo(*chosen).fileName()));
}

void TForm1::Button4Click() { session_.save(); }

void TForm1::Button5Click() { session_.load(); }

void TForm1::Button6Click()
{
    if (GeneratePages() && ftpCommand_) ftpCommand_(session_);
}

void TForm1::Button7Click() { session_.fill(); }

void TForm1::Button8Click()
{
    if (!GeneratePages()) return;
    const PageRecord& page = session_.currentPage();
    ShowInBrowser(launcher_, page.text(TextField::PageFolder) + page.text(TextField::Edit2));
}

void TForm1::Button9Click()
{
    if (submitCommand_) submitCommand_();
}

void TForm1::Button10Click() { GeneratePages(); }

void TForm1::Button11Click()
{
    session_.newProject(currentOptions().newProjectChoice, false);
}

void TForm1::Button12Click() { session_.saveAs(); }

void TForm1::ImportKeywordList1Click()
{
    const std::optional<QString> path = session_.askKeywordList();
    if (!path) return;
    runImport(QStringLiteral("Importing the keyword list..."),
              [&](const auto& progress) { session_.importKeywordList(*path, progress); });
}

void TForm1::ImportTable1Click()
{
    const std::optional<QString> path = session_.askTable();
    if (!path) return;
    runImport(QStringLiteral("Importing the table..."),
              [&](const auto& progress) { session_.importTable(*path, progress); });
}

void TForm1::runImport(const QString& label,
                       const std::function<void(const ProjectSession::ImportProgress&)>& import)
{
    const BusyCursor busy;
    // Shown only when the import lasts long enough to be noticed, and brought
    // up to date now and then: each update lets the window system in.
    std::unique_ptr<QProgressDialog> progress;
    QElapsedTimer sinceUpdate;
    import([&](int done, int total) {
        if (!progress) {
            progress = std::make_unique<QProgressDialog>(label, QString(), 0, total, this);
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(500);
        } else if (done < total && sinceUpdate.elapsed() < 50) {
            return;
        }
        sinceUpdate.start();
        progress->setValue(done);
    });
}

void TForm1::DeletePage1Click() { session_.deletePage(); }

void TForm1::GoToPage1Click() { session_.goToPage(); }

void TForm1::SpeedButtonClick(ColourField swatch) { session_.chooseColour(swatch); }

bool TForm1::GeneratePages()
{
    const Options options = currentOptions();
    bool generated = false;
    QStringList messages;
    bool progressShown = false;
    {
        const BusyCursor busy;
        GenerationProgress progress(this, 50, progressDelayMs_);
        generator_.setObserver(&progress);
        const ScopeExit detach([&] {
            generator_.setObserver(nullptr);
            messages = progress.close();
            progressShown = progress.wasShown();
        });
        generated = generator_.GeneratePages(session_, {.autoName = options.autoName,
                                                        .msgFolder = options.msgFolder,
                                                        .msgFile = options.msgFile,
                                                        .creditLink = vendor_.linkInHtml,
                                                        .saveFirst = true,
                                                        .pageHead = PageHeadChoiceOf(
                                                            session_.companion())});
    }
    // The run's messages come once the progress has closed, so that OK and
    // Enter answer them and never press Stop.
    for (const QString& text : messages)
        prompter_.message(QStringLiteral("Message"), text, MessageIcon::Information);
    // A robots.txt left alone is told with the pictures left out.
    QStringList siteWarnings;
    if (generated) GenerateSiteFiles(session_, {}, &siteWarnings);
    reportGeneration(generated, progressShown, siteWarnings);
    return generated;
}

void TForm1::reportGeneration(bool finished, bool progressShown, const QStringList& siteWarnings)
{
    // How far it got, after a stop or a run long enough to watch, and what
    // it left out: in one message rather than one a page.
    const QStringList left =
        generator_.skippedPages() + generator_.skippedImages() + siteWarnings;
    if (finished && !progressShown && left.isEmpty()) return;
    const QStringList lines =
        QStringList{PagesWrittenLine(generator_.pagesWritten(), generator_.pageCount())} + left;
    prompter_.message(QStringLiteral("Message"), lines.join(u'\n'),
                      left.isEmpty() ? MessageIcon::Information : MessageIcon::Warning);
}

void TForm1::SiteAddress1Click() { siteCommands_.editSiteAddress(); }

void TForm1::PageOptions1Click() { pageTools_.editPageOptions(); }

void TForm1::CheckPages1Click() { pageTools_.checkPages(); }

void TForm1::NotifySearchEngines1Click() { siteCommands_.notifySearchEngines(); }

void TForm1::OfferNotification() { siteCommands_.offerNotification(); }

void TForm1::Undo1Click()
{
    if (!editCommands_->undo()) session_.undoDelete();
}

void TForm1::Copy1Click() { editCommands_->copy(); }

void TForm1::Paste1Click() { editCommands_->paste(); }

void TForm1::Cut1Click() { editCommands_->cut(); }

void TForm1::Selectall1Click() { editCommands_->selectAll(); }

void TForm1::ContentsIndex1Click() { ShowInBrowser(launcher_, QFile::encodeName(helpPagePath())); }

void TForm1::VelmoraHomepage1Click() { ShowInBrowser(launcher_, vendor_.homePage); }

void TForm1::Upgrades1Click()
{
    ShowInBrowser(launcher_,
                  QUrl::fromLocalFile(helpPagePath()).toEncoded() + QByteArrayLiteral("#upgrades"));
}

void TForm1::CmAbout()
{
    TAboutDlg about(vendor_, this);
    about.exec();
}

// --- life of the window -------------------------------------------------

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!firstShow_) return;
    firstShow_ = false;
    run([this] { FormShow(); });
}

void TForm1::FormShow()
{
    setWindowTitle(kBaseTitle + QStringLiteral(" - "));
    placement_->fit();
    // New pages show splash1.jpg from the start-up directory; it is put
    // there when missing, so a new project generates and publishes as it is.
    EnsureDefaultImage(startupDir_);
    // A project named on the command line opens as Open would open it; one
    // that does not leaves the usual new project.
    const bool opened = !startupProject_.isEmpty() && session_.open(startupProject_);
    if (!opened && session_.newProject(currentOptions().newProjectChoice, true) ==
                       ProjectSession::NewResult::QuitRequested) {
        quitting_ = true;
        emit quitRequested();
        return;
    }
    placement_->centreAndSettle();
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Qt reports font changes while the form is being built, before the placement exists.
    if (event->type() == QEvent::FontChange && placement_)
        placement_->fontChanged(!firstShow_ && isVisible());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (quitting_) {
        event->accept();
        return;
    }
    bool goOn = true;
    run([&] { goOn = session_.confirmDiscard(); });
    if (!goOn) {
        event->ignore();
        return;
    }
    session_.project().pages.clear();
    // The window closes even when its size cannot be recorded.
    run([this] { placement_->record(settings()); });
    event->accept();
}

}  // namespace velmora

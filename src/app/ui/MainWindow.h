#pragma once

#include <QMainWindow>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "base/Options.h"
#include "base/Prompter.h"
#include "base/SettingsFile.h"
#include "base/VendorValues.h"
#include "app/ui/PageToolCommands.h"
#include "app/ui/SiteCommands.h"
#include "app/ui/TextFieldBinding.h"
#include "generate/BrowserLauncher.h"
#include "generate/Generation.h"
#include "project/PageFields.h"
#include "project/ProjectSession.h"

namespace Ui {
class TForm1;
}

class QCheckBox;

namespace velmora {

class ColourSwatch;
class EditCommands;
class StatusNote;
class WindowPlacement;

// The main window: the current page's fields, the project and every
// command. It is the PageFields of the session, so the core's show, store,
// fill, build and generation run on its widgets.
class TForm1 : public QMainWindow, public PageFields {
    Q_OBJECT
public:
    // The start-up directory is captured here, and the VENDOR values read.
    TForm1(Prompter& prompter, BrowserLauncher& launcher, QWidget* parent = nullptr);
    ~TForm1() override;

    // Where New and generation read the options; the defaults until set.
    void setOptionsSource(const OptionsSource* options) { options_ = options; }
    // What the FTP and Submit URL commands open; nothing until set. The FTP
    // command gets the session once its pages are generated.
    void setFtpCommand(std::function<void(ProjectSession&)> command);
    void setSubmitCommand(std::function<void()> command);
    void setOptionsCommand(std::function<void()> command);
    // Where "Notify search engines" posts; IndexNow's shared endpoint until set.
    void setIndexNowEndpoint(const QUrl& endpoint) { siteCommands_.setIndexNowEndpoint(endpoint); }

    ProjectSession& session() { return session_; }
    const StatusNote& statusNote() const { return *statusNote_; }
    const QString& startupDir() const { return startupDir_; }
    const VendorValues& vendor() const { return vendor_; }
    SettingsFile settings() const { return SettingsFile::inDirectory(startupDir_); }
    Ui::TForm1& form() { return *ui_; }

    // PageFields over the widgets.
    QByteArray text(TextField f) const override;
    void setText(TextField f, const QByteArray& value) override;
    std::uint32_t colour(ColourField f) const override;
    void setColour(ColourField f, std::uint32_t value) override;
    bool flag(FlagField f) const override;
    void setFlag(FlagField f, bool on) override;
    QByteArray pageNo() const override;
    void setPageNo(const QByteArray& counter) override;

    // The commands, one per button or menu item.
    void Button1Click();   // "<<"
    void Button2Click();   // ">>"
    void Button3Click();   // "Browse" for the image
    void Button4Click();   // "Save"
    void Button5Click();   // "Load..."
    void Button6Click();   // "FTP"
    void Button7Click();   // "Fill"
    void Button8Click();   // "Preview"
    void Button9Click();   // "Submit URL"
    void Button10Click();  // "Generate HTML"
    void Button11Click();  // "New"
    void Button12Click();  // "Save As..."
    void ImportKeywordList1Click();
    void ImportTable1Click();
    void DeletePage1Click();
    void GoToPage1Click();
    void SpeedButtonClick(ColourField swatch);
    void Undo1Click();  // a text box's own undo first, else Delete Page's
    void Copy1Click();
    void Paste1Click();
    void Cut1Click();
    void Selectall1Click();
    void ContentsIndex1Click();
    void VelmoraHomepage1Click();
    void Upgrades1Click();
    void CmAbout();
    void CmExit() { close(); }
    void SiteAddress1Click();
    void NotifySearchEngines1Click();
    void PageOptions1Click();
    // Saves the project, checks its pages and lists the findings; a page
    // chosen there is shown.
    void CheckPages1Click();
    // After a successful Send: asks whether to notify, when there is a site address.
    void OfferNotification();

    // Runs an import with a progress dialog that shows once it lasts.
    void runImport(const QString& label,
                   const std::function<void(const ProjectSession::ImportProgress&)>& import);

    // Runs every page generation: "Generate HTML", "Preview" and "FTP".
    bool GeneratePages();
    // How long a generation runs before its progress shows (half a second).
    void setProgressDelay(int ms) { progressDelayMs_ = ms; }
    // The project the window opens when it is first shown, instead of a new
    // one (the program's argument). A file that does not open gets the
    // usual message and a new project.
    void setStartupProject(const QString& path) { startupProject_ = path; }

signals:
    // The type question of the first New was cancelled: the program ends
    // without any of the close steps.
    void quitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void bindFields();
    void connectCommands();
    void assignShortcuts();
    void FormShow();
    void reportGeneration(bool finished, bool progressShown, const QStringList& siteWarnings);
    void OnPrjChange() { session_.markChanged(); }
    void ComboBox1Change();
    void checkBoxClick(FlagField f);
    void applyEnabling(FlagField f);
    // Runs a command so that any failure it raises is shown, never thrown on.
    void run(const std::function<void()>& command);
    Options currentOptions() const;
    QCheckBox* checkBox(FlagField f) const;

    std::unique_ptr<Ui::TForm1> ui_;
    Prompter& prompter_;
    BrowserLauncher& launcher_;
    const QString startupDir_;
    const VendorValues vendor_;
    ProjectSession session_;
    PageGenerator generator_;
    const OptionsSource* options_ = nullptr;
    std::array<TextFieldBinding, kTextFieldCount> bindings_;
    std::array<ColourSwatch*, kColourFieldCount> swatches_{};
    QByteArray imageSource_;  // the image dialog's file name
    bool firstShow_ = true;
    int progressDelayMs_ = 500;
    QString startupProject_;
    bool quitting_ = false;
    std::unique_ptr<WindowPlacement> placement_;
    StatusNote* statusNote_ = nullptr;  // a child of the window
    std::unique_ptr<EditCommands> editCommands_;
    SiteCommands siteCommands_;
    PageToolCommands pageTools_;
    std::function<void(ProjectSession&)> ftpCommand_;
    std::function<void()> submitCommand_;
    std::function<void()> optionsCommand_;
};

// Where the help page shipped with the program lies.
QString helpPagePath();

}  // namespace velmora

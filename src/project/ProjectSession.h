#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/FileResult.h"
#include "base/Prompter.h"
#include "project/PageFields.h"
#include "project/Project.h"
#include "project/ProjectCompanion.h"
#include "project/ProjectFile.h"

namespace velmora {

// The project the main window owns, and the commands that work on it: new
// project, paging, load, save, save as, Fill and the colour buttons. The
// fields are the working copy of the current page; every question goes
// through the prompter. The window and velmora-cli both drive this class.
class ProjectSession {
public:
    ProjectSession(PageFields& fields, Prompter& prompter, QString startupDir);

    enum class NewResult { Created, Cancelled, QuitRequested };

    // New: the save question (not in the start-up pass), the project type
    // from the new-project choice (0 Interlinked, 1 Single, else asked), one
    // default page, the next automatic name in the start-up directory.
    NewResult newProject(int newProjectChoice, bool startupPass);
    void nextPage();      // ">>", appending a page after the last
    void previousPage();  // "<<"
    void load();          // "Load..."
    bool save();          // "Save"
    // Saves unless the project file already holds the project exactly as
    // it is (the shown page stored first). True when the file holds it.
    bool ensureSaved();
    void saveAs();        // "Save As..."
    void fill();          // "Fill"
    void chooseColour(ColourField swatch);

    // Called with (pages made, pages to make) while a keyword list is
    // imported, so the window can show how far it is.
    using ImportProgress = std::function<void(int done, int total)>;
    // "Import Keyword List...": asks for a keyword list, then imports it.
    void importKeywordList(const ImportProgress& progress = {});
    // The file dialog of "Import Keyword List...": nothing when cancelled.
    std::optional<QString> askKeywordList();
    // Appends one page per phrase of the list after the last page, each made
    // as a user would (a new page, the phrase, Fill), and shows the first of
    // them. The list is read whole first, so a list that fails to read
    // changes nothing. Returns the number of pages appended.
    int importKeywordList(const QString& path, const ImportProgress& progress = {});
    // The file dialog of "Import Table...": nothing when cancelled.
    std::optional<QString> askTable();
    // "Import Table...": appends one page per row of a page table (see
    // PageTable.h), each made as importKeywordList makes it and then given
    // the row's cells, and shows the first of them. The table is read and
    // checked whole first, so a table that fails changes nothing. Returns
    // the number of pages appended.
    int importTable(const QString& path, const ImportProgress& progress = {});
    // "Delete Page": removes the current page unless it is the only one. In
    // an Interlinked project the page after it takes its previous-page link.
    void deletePage();
    // "Undo": puts back the page deleted last, where it was, with the link
    // the page after it had; pages deleted before it go back one by one.
    // Kept until another project is made or loaded, a save included.
    bool canUndoDelete() const { return !removed_.empty(); }
    void undoDelete();
    // "Go to Page...": asks for a page number and shows that page.
    void goToPage();

    // The save question before unsaved work is dropped. False means Cancel,
    // or Yes with a save that failed: the work is still only here.
    bool confirmDiscard();

    // Opens a project as "Load..." does once a file is chosen: on failure the
    // message "Error opening file" and the session keeps its project.
    bool open(const QString& path);
    // Opens a project without any question, as velmora-cli does. Returns the
    // file result; on failure the session keeps its project.
    FileResult openProject(const QString& path);
    // Why the last openProject failed, as a user reads it.
    const QString& openFailure() const { return lastFailure_; }

    // Makes page `index` current and shows it.
    void showPage(int index);
    // Stores the shown fields into the current page.
    void storeCurrentPage();

    PageFields& fields() { return fields_; }
    Prompter& prompter() { return prompter_; }
    const QString& startupDir() const { return startupDir_; }
    ProjectData& project() { return project_; }
    const ProjectData& project() const { return project_; }
    int projectType() const { return project_.projectType; }
    int currentIndex() const { return currentIndex_; }
    // A copy of the current page's record (what was stored last, not what
    // the fields show now).
    PageRecord currentPage() const { return project_.pages.at(currentIndex_); }
    const QString& projectPath() const { return projectPath_; }
    const QString& projectName() const { return projectName_; }
    // What is kept beside the project file, opened once whenever the
    // project gets its path (new, load, save as) and lent to whoever needs it.
    ProjectCompanion& companion();
    bool changed() const { return changed_; }
    void markChanged() { changed_ = true; }
    // For a command that showed pages but changed no record (generation).
    void markUnchanged() { changed_ = false; }
    // For a command that wrote the project file itself (generation after a
    // save): the file as it is now is the one this session last wrote.
    void noteFileRewritten();

    // "Velmora - " and the project name.
    QString title() const;
    // Called whenever the title changes.
    std::function<void(const QString&)> titleChanged;

private:
    struct RemovedPage {
        int index = 0;
        std::unique_ptr<PageRecord> page;
        // The previous-page link of the page after it, before it took the
        // removed page's; nothing when no page followed.
        std::optional<std::pair<QByteArray, QByteArray>> nextLink;
    };

    void adoptPath(const QString& path);
    // The path the project is saved to, with its companion.
    void setPath(const QString& path);
    void appendNewPage();
    // Appends a page per phrase, `adjust` given each page's filled fields.
    void appendPages(const QByteArrayList& phrases,
                     const std::function<void(int, PageFields&)>& adjust,
                     const ImportProgress& progress);
    bool writeTo(const QString& path, QString& reason);
    // False when the file changed on disk since it was read and the user
    // does not want it saved over.
    bool mayReplaceOnDisk();

    PageFields& fields_;
    Prompter& prompter_;
    QString startupDir_;
    ProjectData project_;
    int currentIndex_ = 0;
    QString projectPath_;
    std::unique_ptr<ProjectCompanion> companion_;  // of projectPath_
    QString projectName_;
    bool changed_ = false;
    QString lastFailure_;  // why the last open failed
    std::optional<DiskIdentity> onDisk_;  // the project file as last read or written
    std::vector<RemovedPage> removed_;
    std::uint32_t lastColour_ = 0;  // the colour dialog opens on the last confirmed colour
};

// "Project" and one more than the largest number of the Project*.kpj files
// in the folder (letter case disregarded), ".kpj".
QString NextProjectName(const QString& folder);

inline const QString kBaseTitle = QStringLiteral("Velmora");
inline const QString kProjectFilter = QStringLiteral("Quenby's Velmora project files|*.kpj");

}  // namespace velmora

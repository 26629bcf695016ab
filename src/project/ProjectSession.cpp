#include "ProjectSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "base/Errors.h"
#include "project/KeywordFill.h"
#include "project/KeywordList.h"
#include "project/PageTable.h"
#include "project/PageOperations.h"
#include "project/ProjectCompanion.h"
#include "project/ProjectFile.h"

namespace velmora {

namespace {

const QString kQuestion = QStringLiteral("Question");
const QString kError = QStringLiteral("Error");
const QString kMessage = QStringLiteral("Message");

// The C library's atoi: blanks, an optional sign, digits up to the first
// non-digit; no digits give 0. Saturates instead of overflowing.
qint64 atoiValue(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min<qint64>(value * 10 + (text[i].unicode() - u'0'), 1LL << 40);
    return negative ? -value : value;
}

}  // namespace

QString NextProjectName(const QString& folder)
{
    const QStringList names =
        QDir(folder).entryList({QStringLiteral("Project*.kpj")}, QDir::Files | QDir::Hidden,
                               QDir::NoSort);
    qint64 largest = 0;
    for (const QString& name : names) {
        // entryList matches without regard to case only where the file system
        // does; check the pattern here so both behave alike.
        if (!name.startsWith(u"project", Qt::CaseInsensitive) ||
            !name.endsWith(u".kpj", Qt::CaseInsensitive))
            continue;
        const QStringView stem = QStringView(name).left(name.indexOf(u'.'));
        largest = std::max(largest, atoiValue(stem.mid(7)));
    }
    return QStringLiteral("Project%1.kpj").arg(largest + 1);
}

ProjectSession::ProjectSession(PageFields& fields, Prompter& prompter, QString startupDir)
    : fields_(fields), prompter_(prompter), startupDir_(std::move(startupDir))
{
    fields_.setChangeHandler([this] { changed_ = true; });
}

QString ProjectSession::title() const { return kBaseTitle + QStringLiteral(" - ") + projectName_; }

void ProjectSession::setPath(const QString& path)
{
    if (companion_ && path == projectPath_) return;
    // Two objects on one companion would each append to their own view of
    // it: the old one goes before the new one reads the file.
    companion_.reset();
    projectPath_ = path;
    companion_ = std::make_unique<ProjectCompanion>(path);
}

ProjectCompanion& ProjectSession::companion()
{
    if (!companion_) companion_ = std::make_unique<ProjectCompanion>(projectPath_);
    return *companion_;
}

void ProjectSession::adoptPath(const QString& path)
{
    setPath(path);
    projectName_ = fileNamePart(path);
    if (titleChanged) titleChanged(title());
}

bool ProjectSession::confirmDiscard()
{
    if (!changed_) return true;
    const Answer answer =
        prompter_.askYesNoCancel(kQuestion, QStringLiteral("Do you want to save project: ") + projectName_);
    if (answer == Answer::Cancel) return false;
    // A failed save keeps the window and its edits: going on would lose them.
    if (answer == Answer::Yes) return save();
    return true;
}

ProjectSession::NewResult ProjectSession::newProject(int newProjectChoice, bool startupPass)
{
    if (!startupPass && !confirmDiscard()) return NewResult::Cancelled;

    int type = kInterlinked;
    if (newProjectChoice == 0 || newProjectChoice == 1) {
        type = newProjectChoice;
    } else {
        const std::optional<int> chosen = prompter_.chooseProjectType();
        if (!chosen) return startupPass ? NewResult::QuitRequested : NewResult::Cancelled;
        type = *chosen;
    }

    project_.pages.clear();
    project_.projectType = type;
    currentIndex_ = 0;
    InitPage(project_.pages.append(), {.projectType = type,
                                       .index = 0,
                                       .startupDir = QFile::encodeName(startupDir_)});
    showPage(0);

    const QString name = NextProjectName(startupDir_);
    adoptPath(startupDir_ + u'/' + name);
    onDisk_ = diskIdentityOf(projectPath_);
    removed_.clear();
    changed_ = false;
    return NewResult::Created;
}

void ProjectSession::showPage(int index)
{
    // Read first: a record that no longer reads leaves the page shown as it was.
    const PageRecord page = project_.pages.at(index);
    currentIndex_ = index;
    ShowPage(page, fields_, project_.projectType, index, project_.pages.size());
}

void ProjectSession::storeCurrentPage()
{
    // Stored into a copy: a page that comes out as the file holds it stays
    // unheld, so paging through a project costs no memory.
    PageRecord page = currentPage();
    StorePage(page, fields_, project_.projectType);
    project_.pages.set(currentIndex_, page);
}

void ProjectSession::appendNewPage()
{
    const int index = project_.pages.size();
    const PageRecord previous = project_.pages.at(index - 1);
    InitPage(project_.pages.append(), {.projectType = project_.projectType,
                                       .index = index,
                                       .previous = &previous,
                                       .startupDir = QFile::encodeName(startupDir_)});
}

void ProjectSession::nextPage()
{
    storeCurrentPage();
    if (currentIndex_ + 1 >= project_.pages.size()) appendNewPage();
    showPage(currentIndex_ + 1);
}

void ProjectSession::previousPage()
{
    if (currentIndex_ <= 0) return;
    storeCurrentPage();
    showPage(currentIndex_ - 1);
}

FileResult ProjectSession::openProject(const QString& path)
{
    ProjectData read;
    QString reason;
    const FileResult result = ReadProjectFile(path, read, &reason);
    if (result != kFileOk) {
        lastFailure_ = reason;
        return result;
    }
    project_ = std::move(read);
    onDisk_ = diskIdentityOf(path);
    removed_.clear();
    showPage(0);
    // Generation derives PageFolder from this path, and a relative one would
    // later be resolved against whatever folder is current then.
    adoptPath(QDir::isRelativePath(path) ? QDir::currentPath() + u'/' + path : path);
    changed_ = false;
    return kFileOk;
}

void ProjectSession::load()
{
    if (!confirmDiscard()) return;
    const std::optional<QString> path = prompter_.openFile({.title = QString(),
                                                            .filter = kProjectFilter,
                                                            .defaultSuffix = QStringLiteral("kpj"),
                                                            .initialPath = QString(),
                                                            .confirmOverwrite = false,
                                                            .mustExist = true});
    if (path) open(*path);
}

bool ProjectSession::open(const QString& path)
{
    // A failed load keeps the current project, its pages, title and flag.
    if (openProject(path) == kFileOk) return true;
    prompter_.message(kError, QStringLiteral("Error opening file"), MessageIcon::Error,
                      fileFailureDetail(path, lastFailure_));
    return false;
}

bool ProjectSession::writeTo(const QString& path, QString& reason)
{
    storeCurrentPage();
    const ProjectRecords* records = project_.pages.records();
    // A folder that takes no temporary file makes the writer write the file
    // in place, over the records the unheld pages are still to be read from.
    if (records && QFileInfo(records->path()) == QFileInfo(path) &&
        !QFileInfo(QFileInfo(path).absolutePath()).isWritable())
        project_.pages.holdAll();
    if (WriteProjectFile(path, project_, &reason) != kFileOk) return false;
    onDisk_ = diskIdentityOf(path);
    // The pages are read from the file just written from now on, and the
    // pages held until now let go.
    ProjectData written;
    if (ReadProjectFile(path, written) == kFileOk) project_ = std::move(written);
    return true;
}

bool ProjectSession::mayReplaceOnDisk()
{
    const std::optional<DiskIdentity> now = diskIdentityOf(projectPath_);
    // Gone since: saving puts it back, and nothing is lost.
    if (!now || now == onDisk_) return true;
    return prompter_.askYesNo(kQuestion,
                              QStringLiteral("%1 was changed by another program since it was "
                                             "opened. Save over it?")
                                  .arg(projectPath_)) == Answer::Yes;
}

bool ProjectSession::save()
{
    if (!mayReplaceOnDisk()) return false;
    QString reason;
    if (!writeTo(projectPath_, reason)) {
        prompter_.message(kError, QStringLiteral("Error saving file"), MessageIcon::Error,
                          fileFailureDetail(projectPath_, reason));
        return false;
    }
    adoptPath(projectPath_);
    changed_ = false;
    return true;
}

void ProjectSession::noteFileRewritten() { onDisk_ = diskIdentityOf(projectPath_); }

bool ProjectSession::ensureSaved()
{
    storeCurrentPage();
    const PageList& pages = project_.pages;
    if (pages.isVerbatim() && pages.records()->isFileAt(projectPath_) &&
        pages.records()->projectType() == project_.projectType)
        return true;
    return save();
}

void ProjectSession::saveAs()
{
    const std::optional<QString> path = prompter_.saveFile({.title = QString(),
                                                            .filter = kProjectFilter,
                                                            .defaultSuffix = QStringLiteral("kpj"),
                                                            .initialPath = projectPath_,
                                                            .confirmOverwrite = true,
                                                            .mustExist = false});
    if (!path) return;
    QString reason;
    const bool written = writeTo(*path, reason);
    if (!written) {
        setPath(*path);  // the dialog keeps the chosen name whatever the outcome
        prompter_.message(kError, QStringLiteral("Ошибка!"), MessageIcon::Error,
                          fileFailureDetail(*path, reason));
        return;
    }
    std::optional<FileError> carryFailure;
    try {
        ProjectCompanion::carry(companion(), *path);
    } catch (const FileError& e) {
        carryFailure = e;
    }
    // Opened afresh even under the same name: the carry rewrote the file.
    companion_.reset();
    adoptPath(*path);
    changed_ = false;
    // The project itself is saved; what lives beside it is not.
    if (carryFailure)
        prompter_.message(kError, carryFailure->text(), MessageIcon::Error, carryFailure->detail());
}

void ProjectSession::fill() { Fill(fields_); }

std::optional<QString> ProjectSession::askKeywordList()
{
    return prompter_.openFile({.title = QStringLiteral("Import Keyword List"),
                               .filter = QStringLiteral("Keyword lists|*.txt; *.csv; *.lst"),
                               .defaultSuffix = QStringLiteral("txt"),
                               .initialPath = QString(),
                               .confirmOverwrite = false,
                               .mustExist = true});
}

void ProjectSession::importKeywordList(const ImportProgress& progress)
{
    if (const std::optional<QString> path = askKeywordList()) importKeywordList(*path, progress);
}

int ProjectSession::importKeywordList(const QString& path, const ImportProgress& progress)
{
    QByteArrayList phrases;
    KeywordListReader reader(path);
    while (const std::optional<QByteArray> phrase = reader.next()) phrases.append(*phrase);
    if (phrases.isEmpty())
        throw VelmoraError(QStringLiteral("No keyword phrase in %1").arg(path));

    appendPages(phrases, {}, progress);
    return int(phrases.size());
}

std::optional<QString> ProjectSession::askTable()
{
    return prompter_.openFile({.title = QStringLiteral("Import Table"),
                               .filter = QStringLiteral("Tables (CSV)|*.csv"),
                               .defaultSuffix = QStringLiteral("csv"),
                               .initialPath = QString(),
                               .confirmOverwrite = false,
                               .mustExist = true});
}

int ProjectSession::importTable(const QString& path, const ImportProgress& progress)
{
    PageTableReader table(path);
    std::vector<TableRow> rows;
    QByteArrayList phrases;
    while (std::optional<TableRow> row = table.next()) {
        phrases.append(row->cells[table.keywordColumn()].trimmed());
        rows.push_back(std::move(*row));
    }
    if (rows.empty()) throw table.noRowError();
    const auto applyRow = [&](int i, PageFields& fields) {
        ApplyTableRow(rows[std::size_t(i)], table.columns(), fields);
    };
    appendPages(phrases, applyRow, progress);
    return int(rows.size());
}

void ProjectSession::appendPages(const QByteArrayList& phrases,
                                 const std::function<void(int, PageFields&)>& adjust,
                                 const ImportProgress& progress)
{
    // The last page may be the one shown; its record must be current before
    // the first new page links back to it.
    storeCurrentPage();
    PageList& pages = project_.pages;
    const int first = pages.size();
    const PageRecord last = pages.at(first - 1);
    KeywordPageMaker maker({.projectType = project_.projectType,
                            .startupDir = QFile::encodeName(startupDir_)},
                           first, &last);
    pages.reserve(first + int(phrases.size()));
    for (qsizetype i = 0; i < phrases.size(); ++i) {
        const auto adjustThis = [&](PageFields& fields) { adjust(int(i), fields); };
        pages.append() = adjust ? maker.make(phrases[i], adjustThis) : maker.make(phrases[i]);
        if (progress) progress(int(i + 1), int(phrases.size()));
    }
    showPage(first);
    changed_ = true;
}

void ProjectSession::deletePage()
{
    PageList& pages = project_.pages;
    if (pages.size() <= 1) {
        prompter_.message(kMessage, QStringLiteral("A project keeps at least one page."),
                          MessageIcon::Information);
        return;
    }
    storeCurrentPage();
    const int index = currentIndex_;
    // Copied out of the file now: a save replaces the file the list reads.
    RemovedPage removed{.index = index,
                        .page = std::make_unique<PageRecord>(pages.at(index)),
                        .nextLink = std::nullopt};
    if (isInterlinked(project_.projectType) && index + 1 < pages.size()) {
        const PageRecord next = pages.at(index + 1);
        removed.nextLink.emplace(next.text(TextField::PreviousLinkName),
                                 next.text(TextField::PreviousLinkAddress));
        for (TextField f : {TextField::PreviousLinkName, TextField::PreviousLinkAddress})
            pages.edit(index + 1).setText(f, pages.at(index).text(f));
    }
    removed_.push_back(std::move(removed));
    pages.removeAt(index);
    showPage(std::min(index, pages.size() - 1));
    changed_ = true;
}

void ProjectSession::undoDelete()
{
    if (removed_.empty()) return;
    storeCurrentPage();
    RemovedPage removed = std::move(removed_.back());
    removed_.pop_back();
    PageList& pages = project_.pages;
    const int index = std::min(removed.index, pages.size());
    pages.insert(index) = *removed.page;
    if (removed.nextLink && index + 1 < pages.size()) {
        PageRecord& next = pages.edit(index + 1);
        next.setText(TextField::PreviousLinkName, removed.nextLink->first);
        next.setText(TextField::PreviousLinkAddress, removed.nextLink->second);
    }
    showPage(index);
    changed_ = true;
}

void ProjectSession::goToPage()
{
    const int count = project_.pages.size();
    const std::optional<int> number = prompter_.askNumber(
        QStringLiteral("Go to Page"), QStringLiteral("Page number (1 to %1):").arg(count),
        currentIndex_ + 1, 1, count);
    if (!number || *number < 1 || *number > count || *number - 1 == currentIndex_) return;
    storeCurrentPage();
    showPage(*number - 1);
}

void ProjectSession::chooseColour(ColourField swatch)
{
    const std::optional<std::uint32_t> colour = prompter_.chooseColour(lastColour_);
    if (!colour) return;
    lastColour_ = *colour;
    fields_.setColour(swatch, *colour);
    changed_ = true;
}

}  // namespace velmora

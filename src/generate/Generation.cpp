#include "Generation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "base/Errors.h"
#include "generate/Naming.h"
#include "generate/PageBuilder.h"
#include "generate/PageImage.h"
#include "project/PageOperations.h"

namespace velmora {

namespace {

const QString kMessage = QStringLiteral("Message");

QString pathFromRecord(const QByteArray& bytes) { return QFile::decodeName(bytes); }

// In an Interlinked project the shown page links back to the file name
// stored in the page before it.
void refreshBackLink(PageFields& fields, int projectType, int index,
                     const QByteArray& previousFileName)
{
    if (!isInterlinked(projectType) || index == 0) return;
    fields.setText(TextField::PreviousLinkAddress, previousFileName);
}

QByteArray previousFileName(ProjectSession& session, int index)
{
    return index > 0 ? session.project().pages[index - 1].text(TextField::Edit2) : QByteArray();
}

// A folder as PageFolder holds it, or PathTooLongError: cut, it would name
// another folder.
QByteArray folderField(const QByteArray& folder)
{
    if (!fitsField(TextField::PageFolder, folder)) throw PathTooLongError(folder);
    return folder;
}

}  // namespace

VelmoraError PathTooLongError(const QByteArray& path)
{
    return VelmoraError(QStringLiteral("Path too long: %1 (a page record holds %2 bytes at most)")
                            .arg(visibleName(path))
                            .arg(slotOf(TextField::PageFolder).width - 1));
}

WriteResult WritePageFile(const QByteArray& folder, const QByteArray& name,
                          const QByteArrayList& lines)
{
    // The page's path is the folder text followed by the name, as it always
    // was; the name itself must be a name, never a way out of the folder.
    const QByteArray path = folder + name;
    if (name.isEmpty()) throw FileError::cannotCreate(pathFromRecord(path));
    if (!isPlainFileName(name)) throw FileError(notPlainFileNameText(path, name));
    QByteArray content;
    qsizetype size = 0;
    for (const QByteArray& line : lines) size += line.size() + 2;
    content.reserve(size);
    for (const QByteArray& line : lines) {
        content += line;
        content += "\r\n";
    }
    const FolderAndName target = splitPath(path);
    return writeFileInFolder(target.folder, target.name, content);
}

void PageGenerator::noteSkipped(const QString& warning)
{
    if (!skippedImages_.contains(warning)) skippedImages_.append(warning);
}

QString PageGenerator::writePage(const PageRecord& page, PageFields& fields, int projectType,
                                 const GenerationOptions& options, const QByteArray& imageFolder)
{
    const QByteArray folder = page.text(TextField::PageFolder);
    const QByteArray name = page.text(TextField::Edit2);
    WritePageFile(folder, name, BuildPage(fields, projectType, options.creditLink));
    QByteArray imageSource = page.text(TextField::ImageSource);
    if (!imageFolder.isEmpty() && !imageSource.isEmpty() && !imageSource.startsWith('/'))
        imageSource.prepend(imageFolder);
    if (const auto warning = images_.copy(imageSource, folder, page.text(TextField::Image)))
        noteSkipped(*warning);
    return pathFromRecord(folder + name);
}

bool PageGenerator::GeneratePages(ProjectSession& session, const GenerationOptions& options,
                                  QStringList* written)
{
    skippedImages_.clear();
    images_.clear();
    const int remembered = session.currentIndex();
    if (options.saveFirst) session.save();  // generation goes on whether or not it worked
    // Showing each page in turn reports changes; only a record that
    // generation really changed (a new name, a folder, a link) counts.
    const bool changedBefore = session.changed();
    recordsChanged_ = false;
    const bool result = options.autoName ? generateAutoNamed(session, options, written)
                                         : generateWithSaveDialogs(session, options, written);
    session.showPage(remembered);
    if (!changedBefore && !recordsChanged_) session.markUnchanged();
    return result;
}

void PageGenerator::pageStarted(int index, int count)
{
    if (observer_) observer_->pageStarted(index + 1, count);
}

bool PageGenerator::stopRequested() { return observer_ && observer_->stopRequested(); }

AutoNamedRun PageGenerator::beginAutoNamed(const QString& projectPath, const QString& projectName,
                                           int projectType, Prompter& prompter,
                                           const GenerationOptions& options)
{
    skippedImages_.clear();
    images_.clear();
    const QString folder = OutputFolder(projectPath, projectName);
    // Checked before the folder is made: nothing is written for a project
    // whose pages could not say where they went.
    const QByteArray folderBytes = folderField(QFile::encodeName(folder));
    QDir().mkdir(folder);
    if (options.msgFolder) {
        prompter.message(kMessage, QStringLiteral("HTML files will be copied to the folder: ") + folder,
                         MessageIcon::Information);
    }
    return {.projectType = projectType, .projectName = projectName, .folder = folderBytes};
}

QString PageGenerator::generateAutoNamedPage(PageRecord& page, PageFields& fields,
                                             const AutoNamedRun& run, int index,
                                             const QByteArray& previousFileName,
                                             Prompter& prompter, const GenerationOptions& options)
{
    page.setText(TextField::PageFolder, run.folder);
    if (page.text(TextField::Edit2).isEmpty())
        fields.setText(TextField::Edit2, QFile::encodeName(AutoPageName(run.projectName, index)));
    refreshBackLink(fields, run.projectType, index, previousFileName);
    StorePage(page, fields, run.projectType);
    const QString path = writePage(page, fields, run.projectType, options);
    if (options.msgFile) {
        prompter.message(kMessage,
                         QFile::decodeName(page.text(TextField::Edit2)) +
                             QStringLiteral(" file has been created."),
                         MessageIcon::Information);
    }
    return path;
}

bool PageGenerator::generateAutoNamed(ProjectSession& session, const GenerationOptions& options,
                                      QStringList* written)
{
    session.storeCurrentPage();
    const AutoNamedRun run = beginAutoNamed(session.projectPath(), session.projectName(),
                                            session.projectType(), session.prompter(), options);
    const int pageCount = session.project().pages.size();
    for (int i = 0; i < pageCount; ++i) {
        pageStarted(i, pageCount);
        session.showPage(i);
        const PageRecord before = session.currentPage();
        const QString path =
            generateAutoNamedPage(session.currentPage(), session.fields(), run, i,
                                  previousFileName(session, i), session.prompter(), options);
        if (!(session.currentPage() == before)) recordsChanged_ = true;
        if (written) written->append(path);
        if (stopRequested()) return false;
    }
    return true;
}

bool PageGenerator::generateWithSaveDialogs(ProjectSession& session,
                                            const GenerationOptions& options, QStringList* written)
{
    session.storeCurrentPage();
    const QString folder = OutputFolder(session.projectPath(), session.projectName());
    const QByteArray folderBytes = folderField(QFile::encodeName(folder));
    QDir().mkdir(folder);
    PageFields& fields = session.fields();
    const int pageCount = session.project().pages.size();
    for (int i = 0; i < pageCount; ++i) {
        pageStarted(i, pageCount);
        session.showPage(i);
        PageRecord& page = session.currentPage();
        const PageRecord before = page;
        const QByteArray pageFolder = page.text(TextField::PageFolder);
        if (pageFolder.isEmpty() && page.text(TextField::Edit2).isEmpty()) {
            const std::optional<QString> chosen = session.prompter().saveFile(
                {.title = QStringLiteral("Save File - %1 [Link Name: %2]")
                              .arg(i + 1)
                              .arg(QString::fromUtf8(page.text(TextField::LinkName))),
                 .filter = QStringLiteral("HTML Files (*.htm;  *.html)|*.htm; *.html"),
                 .defaultSuffix = QStringLiteral("htm"),
                 // First in the output folder, with no file name yet.
                 .initialPath = lastChosenFile_.isEmpty() ? folder : lastChosenFile_,
                 .confirmOverwrite = true,
                 .mustExist = false});
            if (!chosen) return false;
            lastChosenFile_ = *chosen;
            const QFileInfo file(QDir(folder).absoluteFilePath(*chosen));
            QString chosenFolder = file.path();
            if (!chosenFolder.endsWith(u'/')) chosenFolder += u'/';
            page.setText(TextField::PageFolder, folderField(QFile::encodeName(chosenFolder)));
            fields.setText(TextField::Edit2, QFile::encodeName(file.fileName()));
            refreshBackLink(fields, session.projectType(), i, previousFileName(session, i));
            session.storeCurrentPage();
        } else {
            // Written under the folder and name it has, without storing the
            // shown page; the name still gets its extension, and a folder
            // that is missing or relative means the output folder, where
            // such a page was always written, so that PageFolder is absolute.
            if (!pageFolder.startsWith('/'))
                page.setText(TextField::PageFolder, folderField(folderBytes + pageFolder));
            const QByteArray name = page.text(TextField::Edit2);
            const QByteArray stored = withPageExtension(name);
            if (stored != name) {
                fields.setText(TextField::Edit2, stored);
                page.setText(TextField::Edit2, stored);
            }
        }
        // Relative paths in the record belong to the output folder, where
        // a page without a folder of its own is written too.
        const QString path = writePage(page, fields, session.projectType(), options, folderBytes);
        if (!(page == before)) recordsChanged_ = true;
        if (written) written->append(path);
        if (stopRequested()) return false;
    }
    return true;
}

}  // namespace velmora

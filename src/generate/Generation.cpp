#include "Generation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include "base/Errors.h"
#include "generate/Naming.h"
#include "generate/PageBuilder.h"
#include "generate/PageImage.h"
#include "project/PageOperations.h"
#include "project/ProjectFile.h"

namespace velmora {

namespace {

const QString kMessage = QStringLiteral("Message");

const QString kQuestion = QStringLiteral("Question");

QString pathFromRecord(const QByteArray& bytes) { return QFile::decodeName(bytes); }

// In an Interlinked project the shown page links back to the file name
// stored in the page before it.
void refreshBackLink(PageFields& fields, int projectType, int index,
                     const QByteArray& previousFileName)
{
    if (!isInterlinked(projectType) || index == 0) return;
    fields.setText(TextField::PreviousLinkAddress, previousFileName);
}

// A folder as PageFolder holds it, or PathTooLongError: cut, it would name
// another folder.
QByteArray folderField(const QByteArray& folder)
{
    if (!fitsField(TextField::PageFolder, folder)) throw PathTooLongError(folder);
    return folder;
}

bool isPageFileName(const QByteArray& name)
{
    return !name.startsWith('.') && (name.endsWith(".htm") || name.endsWith(".html"));
}

}  // namespace

VelmoraError PathTooLongError(const QByteArray& path)
{
    return VelmoraError(QStringLiteral("Path too long: %1 (a page record holds %2 bytes at most)")
                            .arg(visibleName(path))
                            .arg(slotOf(TextField::PageFolder).width - 1));
}

QString PagesWrittenLine(int written, int count)
{
    const QLocale english(QLocale::English);
    return QStringLiteral("%1 of %2 pages written").arg(english.toString(written), english.toString(count));
}

bool FolderLiesInside(const QByteArray& folder, const QByteArray& root)
{
    // Resolved as names, not through the file system: a folder that is not
    // there yet is judged the same.
    const QByteArray clean = QFile::encodeName(QDir::cleanPath(QFile::decodeName(folder)));
    QByteArray base = QFile::encodeName(QDir::cleanPath(QFile::decodeName(root)));
    if (!base.endsWith('/')) base += '/';
    return clean + '/' == base || clean.startsWith(base);
}

WriteResult WritePageFile(const QByteArray& folder, const QByteArray& name,
                          const QByteArrayList& lines)
{
    // The page's path is the folder text followed by the name, as it always
    // was; the name itself must be a name, never a way out of the folder.
    const QByteArray path = folder + name;
    if (name.isEmpty()) throw FileError::cannotCreate(pathFromRecord(path));
    if (!isPlainFileName(name)) throw FileError(notPlainFileNameText(path, name));
    // What a browser and a web server take for a page, never a hidden file.
    if (!isPageFileName(name)) {
        throw FileError(QStringLiteral("Cannot create file %1: a page file's name ends in \".htm\" "
                                       "or \".html\" and does not start with \".\"")
                            .arg(visibleName(path)));
    }
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

void PrepareAutoNamedPage(PageRecord& page, PageFields& fields, const AutoNamedRun& run, int index,
                          const QByteArray& previousFileName)
{
    page.setText(TextField::PageFolder, run.folder);
    if (page.text(TextField::Edit2).isEmpty())
        fields.setText(TextField::Edit2, QFile::encodeName(AutoPageName(run.projectName, index)));
    refreshBackLink(fields, run.projectType, index, previousFileName);
    StorePage(page, fields, run.projectType);
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
    WritePageFile(folder, name,
                  BuildPage(fields, projectType, options.creditLink, options.pageHead.headFor(name)));
    QByteArray imageSource = page.text(TextField::ImageSource);
    if (!imageFolder.isEmpty() && !imageSource.isEmpty() && !imageSource.startsWith('/'))
        imageSource.prepend(imageFolder);
    if (const auto warning = images_.copy(imageSource, folder, page.text(TextField::Image)))
        noteSkipped(*warning);
    return pathFromRecord(folder + name);
}

// One generation: the session, its pages and the run's choices.
struct PageGenerator::Pass {
    Pass(ProjectSession& session, const GenerationOptions& options, const PageWritten& pageWritten,
         PageRewrite* rewrite)
        : session(session),
          options(options),
          pageWritten(pageWritten),
          rewrite(rewrite),
          projectFolder(QFile::encodeName(QFileInfo(session.projectPath()).absolutePath()))
    {
    }

    ProjectSession& session;
    const GenerationOptions& options;
    const PageWritten& pageWritten;
    PageRewrite* rewrite;  // none when the named records are not kept
    MemoryPageFields fields;
    QByteArray projectFolder;                // the folder holding the project, ending in "/"
    QSet<QByteArray> agreedFolders;          // outside the project's folder, agreed to
    QSet<QByteArray> refusedFolders;         // and refused
    int index = 0;                           // the page being written
    bool recordsChanged = false;             // a name, a folder or a link

    void keep(int i, const PageRecord& before, const PageRecord& after)
    {
        if (!(before == after)) recordsChanged = true;
        if (rewrite) rewrite->put(i, before, after);
    }
};

bool PageGenerator::GeneratePages(ProjectSession& session, const GenerationOptions& options,
                                  QStringList* written)
{
    return GeneratePages(session, options, [written](const QString& path) {
        if (written) written->append(path);
    });
}

bool PageGenerator::GeneratePages(ProjectSession& session, const GenerationOptions& options,
                                  const PageWritten& pageWritten)
{
    skippedImages_.clear();
    skippedPages_.clear();
    images_.clear();
    pagesWritten_ = 0;
    const int remembered = session.currentIndex();
    // Generation goes on whether or not the save worked. Once it did, the
    // named pages go straight back into the project file, as the next save
    // would write them; else into a file of the run's own.
    const bool saved = options.saveFirst && session.ensureSaved();
    session.storeCurrentPage();
    const bool changedBefore = session.changed();
    PageList& pages = session.project().pages;
    pageCount_ = pages.size();
    PageRewrite rewrite(pages, session.projectType(),
                        QFileInfo(session.projectPath()).absolutePath(),
                        saved ? session.projectPath() : QString());
    Pass pass(session, options, pageWritten, options.keepRecords ? &rewrite : nullptr);
    bool finished = false;
    const auto settle = [&](int shownIndex) {
        rewrite.finish();
        // Records written back into the saved project file are on disk.
        if (saved) session.noteFileRewritten();
        session.showPage(shownIndex);
        // Only a record that generation really changed counts as a change.
        if (pass.recordsChanged && !saved && options.keepRecords) session.markChanged();
        else if (!changedBefore) session.markUnchanged();
    };
    try {
        finished = options.autoName ? generateAutoNamed(pass) : generateWithSaveDialogs(pass);
    } catch (...) {
        settle(pass.index);
        throw;
    }
    settle(remembered);
    return finished;
}

void PageGenerator::pageStarted(int index, int count)
{
    if (observer_) observer_->pageStarted(index + 1, count);
}

bool PageGenerator::stopRequested() { return observer_ && observer_->stopRequested(); }

void PageGenerator::inform(Prompter& prompter, const QString& text)
{
    if (observer_ && observer_->takeMessage(text)) return;
    prompter.message(kMessage, text, MessageIcon::Information);
}

void PageGenerator::pageDone(Pass& pass, const QString& path)
{
    ++pagesWritten_;
    if (pass.pageWritten) pass.pageWritten(path);
}

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
    if (options.msgFolder)
        inform(prompter, QStringLiteral("HTML files will be copied to the folder: ") + folder);
    return {.projectType = projectType, .projectName = projectName, .folder = folderBytes};
}

QString PageGenerator::generateAutoNamedPage(PageRecord& page, PageFields& fields,
                                             const AutoNamedRun& run, int index,
                                             const QByteArray& previousFileName,
                                             Prompter& prompter, const GenerationOptions& options)
{
    PrepareAutoNamedPage(page, fields, run, index, previousFileName);
    const QString path = writePage(page, fields, run.projectType, options);
    if (options.msgFile)
        inform(prompter, QFile::decodeName(page.text(TextField::Edit2)) +
                             QStringLiteral(" file has been created."));
    return path;
}

bool PageGenerator::generateAutoNamed(Pass& pass)
{
    ProjectSession& session = pass.session;
    const AutoNamedRun run = beginAutoNamed(session.projectPath(), session.projectName(),
                                            session.projectType(), session.prompter(), pass.options);
    const PageList& pages = session.project().pages;
    QByteArray previousName;
    for (int& i = pass.index; i < pageCount_; ++i) {
        pageStarted(i, pageCount_);
        const PageRecord before = pages.at(i);
        PageRecord page = before;
        ShowPage(page, pass.fields, run.projectType, i, pageCount_);
        const QString path = generateAutoNamedPage(page, pass.fields, run, i, previousName,
                                                   session.prompter(), pass.options);
        pass.keep(i, before, page);
        previousName = page.text(TextField::Edit2);
        pageDone(pass, path);
        if (stopRequested()) return false;
    }
    return true;
}

bool PageGenerator::mayWriteTo(Pass& pass, const QByteArray& folder)
{
    if (!folder.split('/').contains("..") && FolderLiesInside(folder, pass.projectFolder))
        return true;
    const QByteArray key = QFile::encodeName(QDir::cleanPath(QFile::decodeName(folder)));
    if (pass.agreedFolders.contains(key)) return true;
    if (pass.refusedFolders.contains(key)) return false;
    const bool agreed =
        pass.session.prompter().askYesNo(
            kQuestion, QStringLiteral("This project writes pages to %1, outside the project's "
                                      "folder. Write there?")
                           .arg(visibleName(folder))) == Answer::Yes;
    (agreed ? pass.agreedFolders : pass.refusedFolders).insert(key);
    return agreed;
}

bool PageGenerator::generateWithSaveDialogs(Pass& pass)
{
    ProjectSession& session = pass.session;
    const int projectType = session.projectType();
    const QString folder = OutputFolder(session.projectPath(), session.projectName());
    const QByteArray folderBytes = folderField(QFile::encodeName(folder));
    QDir().mkdir(folder);
    const PageList& pages = session.project().pages;
    PageFields& fields = pass.fields;
    QByteArray previousName;
    for (int& i = pass.index; i < pageCount_; ++i) {
        pageStarted(i, pageCount_);
        const PageRecord before = pages.at(i);
        PageRecord page = before;
        ShowPage(page, fields, projectType, i, pageCount_);
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
            const QByteArray chosenBytes = folderField(QFile::encodeName(chosenFolder));
            // The user picked it: no question about it in this run.
            pass.agreedFolders.insert(QFile::encodeName(QDir::cleanPath(chosenFolder)));
            page.setText(TextField::PageFolder, chosenBytes);
            fields.setText(TextField::Edit2, QFile::encodeName(file.fileName()));
            refreshBackLink(fields, projectType, i, previousName);
            StorePage(page, fields, projectType);
        } else {
            // Written under the folder and name it has, without storing the
            // shown page; the name still gets its extension, and a folder
            // that is missing or relative means the output folder, where
            // such a page was always written, so that PageFolder is absolute.
            if (!pageFolder.startsWith('/'))
                page.setText(TextField::PageFolder, folderField(folderBytes + pageFolder));
            page.setText(TextField::Edit2, withPageExtension(page.text(TextField::Edit2)));
            fields.setText(TextField::Edit2, page.text(TextField::Edit2));
            // A folder the project names itself, outside its own folder, is
            // the user's to allow: a project may come from someone else.
            const QByteArray target = page.text(TextField::PageFolder);
            if (!mayWriteTo(pass, target)) {
                skippedPages_.append(QStringLiteral("Page %1 skipped: %2 was not allowed")
                                         .arg(i + 1)
                                         .arg(visibleName(target + page.text(TextField::Edit2))));
                pass.keep(i, before, before);
                previousName = before.text(TextField::Edit2);
                if (stopRequested()) return false;
                continue;
            }
        }
        // Relative paths in the record belong to the output folder, where
        // a page without a folder of its own is written too.
        const QString path = writePage(page, fields, projectType, pass.options, folderBytes);
        pass.keep(i, before, page);
        previousName = page.text(TextField::Edit2);
        pageDone(pass, path);
        if (stopRequested()) return false;
    }
    return true;
}

}  // namespace velmora

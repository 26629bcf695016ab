#include "Generation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "base/Errors.h"
#include "generate/Naming.h"
#include "generate/PageBuilder.h"
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

}  // namespace

void WritePageFile(const QString& path, const QByteArrayList& lines)
{
    QByteArray content;
    qsizetype size = 0;
    for (const QByteArray& line : lines) size += line.size() + 2;
    content.reserve(size);
    for (const QByteArray& line : lines) {
        content += line;
        content += "\r\n";
    }
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size() || !file.flush())
        throw FileError::cannotCreate(path);
}

void CopyPageImage(const QByteArray& imageSource, const QString& target)
{
    const QString source = pathFromRecord(imageSource);
    const QFileInfo from(source);
    if (source.isEmpty() || !from.isFile() || QFileInfo(target).fileName().isEmpty()) return;
    const QFileInfo to(target);
    if (to.exists() && from.canonicalFilePath() == to.canonicalFilePath()) return;
    QFile::remove(target);
    QFile::copy(source, target);
}

QString PageGenerator::writePage(const PageRecord& page, PageFields& fields, int projectType,
                                 const GenerationOptions& options)
{
    const QString path =
        pathFromRecord(page.text(TextField::PageFolder) + page.text(TextField::Edit2));
    WritePageFile(path, BuildPage(fields, projectType, options.creditLink));
    CopyPageImage(page.text(TextField::ImageSource),
                  pathFromRecord(page.text(TextField::PageFolder) + page.text(TextField::Image)));
    return path;
}

bool PageGenerator::GeneratePages(ProjectSession& session, const GenerationOptions& options,
                                  QStringList* written)
{
    const int remembered = session.currentIndex();
    if (options.saveFirst) session.save();  // generation goes on whether or not it worked
    const bool result = options.autoName ? generateAutoNamed(session, options, written)
                                         : generateWithSaveDialogs(session, options, written);
    session.showPage(remembered);
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
    const QString folder = OutputFolder(projectPath, projectName);
    QDir().mkdir(folder);
    if (options.msgFolder) {
        prompter.message(kMessage, QStringLiteral("HTML files will be copied to the folder: ") + folder,
                         MessageIcon::Information);
    }
    return {.projectType = projectType,
            .projectName = projectName,
            .folder = QFile::encodeName(folder)};
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
        const QString path =
            generateAutoNamedPage(session.currentPage(), session.fields(), run, i,
                                  previousFileName(session, i), session.prompter(), options);
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
    QDir().mkdir(folder);
    QDir::setCurrent(folder);  // a file name without a folder is written there
    PageFields& fields = session.fields();
    const int pageCount = session.project().pages.size();
    for (int i = 0; i < pageCount; ++i) {
        pageStarted(i, pageCount);
        session.showPage(i);
        PageRecord& page = session.currentPage();
        if (page.text(TextField::PageFolder).isEmpty() && page.text(TextField::Edit2).isEmpty()) {
            const std::optional<QString> chosen = session.prompter().saveFile(
                {.title = QStringLiteral("Save File - %1 [Link Name: %2]")
                              .arg(i + 1)
                              .arg(QString::fromUtf8(page.text(TextField::LinkName))),
                 .filter = QStringLiteral("HTML Files (*.htm;  *.html)|*.htm; *.html"),
                 .defaultSuffix = QStringLiteral("htm"),
                 .initialPath = lastChosenFile_,
                 .confirmOverwrite = true,
                 .mustExist = false});
            if (!chosen) return false;
            lastChosenFile_ = *chosen;
            const QFileInfo file(*chosen);
            QString chosenFolder = file.path();
            if (!chosenFolder.endsWith(u'/')) chosenFolder += u'/';
            page.setText(TextField::PageFolder, QFile::encodeName(chosenFolder));
            fields.setText(TextField::Edit2, QFile::encodeName(file.fileName()));
            refreshBackLink(fields, session.projectType(), i, previousFileName(session, i));
            session.storeCurrentPage();
        }
        const QString path = writePage(page, fields, session.projectType(), options);
        if (written) written->append(path);
        if (stopRequested()) return false;
    }
    return true;
}

}  // namespace velmora

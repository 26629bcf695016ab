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
void refreshBackLink(ProjectSession& session, int index)
{
    if (!isInterlinked(session.projectType()) || index == 0) return;
    session.fields().setText(TextField::PreviousLinkAddress,
                             session.project().pages[index - 1].text(TextField::Edit2));
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

QString PageGenerator::writePage(ProjectSession& session, const GenerationOptions& options)
{
    PageRecord& page = session.currentPage();
    const QString path =
        pathFromRecord(page.text(TextField::PageFolder) + page.text(TextField::Edit2));
    WritePageFile(path, BuildPage(session.fields(), session.projectType(), options.creditLink));
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

bool PageGenerator::generateAutoNamed(ProjectSession& session, const GenerationOptions& options,
                                      QStringList* written)
{
    session.storeCurrentPage();
    const QString folder = OutputFolder(session.projectPath(), session.projectName());
    QDir().mkdir(folder);
    Prompter& prompter = session.prompter();
    if (options.msgFolder) {
        prompter.message(kMessage, QStringLiteral("HTML files will be copied to the folder: ") + folder,
                         MessageIcon::Information);
    }
    const QByteArray folderBytes = QFile::encodeName(folder);
    PageFields& fields = session.fields();
    const int pageCount = session.project().pages.size();
    for (int i = 0; i < pageCount; ++i) {
        pageStarted(i, pageCount);
        session.showPage(i);
        PageRecord& page = session.currentPage();
        page.setText(TextField::PageFolder, folderBytes);
        if (page.text(TextField::Edit2).isEmpty()) {
            fields.setText(TextField::Edit2,
                           QFile::encodeName(AutoPageName(session.projectName(), i)));
        }
        refreshBackLink(session, i);
        session.storeCurrentPage();
        const QString path = writePage(session, options);
        if (written) written->append(path);
        if (options.msgFile) {
            prompter.message(kMessage,
                             QFile::decodeName(page.text(TextField::Edit2)) +
                                 QStringLiteral(" file has been created."),
                             MessageIcon::Information);
        }
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
            refreshBackLink(session, i);
            session.storeCurrentPage();
        }
        const QString path = writePage(session, options);
        if (written) written->append(path);
        if (stopRequested()) return false;
    }
    return true;
}

}  // namespace velmora

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

#include "base/Errors.h"
#include "base/FolderFile.h"
#include "generate/PageHeadChoice.h"
#include "generate/PageImage.h"
#include "project/ProjectSession.h"

namespace velmora {

struct GenerationOptions {
    bool autoName = true;   // AUTO_NAME
    bool msgFolder = true;  // MSG_FOLDER
    bool msgFile = true;    // MSG_FILE
    QByteArray creditLink;  // LINK_IN_HTML
    // The window saves the project before generating; velmora-cli writes
    // the project file only when asked to.
    bool saveFirst = true;
    // Whether the project keeps the records as generation named them (for
    // publishing, saving); velmora-cli generate without --save needs only
    // the files.
    bool keepRecords = true;
    // The project's page head, from its companion file.
    PageHeadChoice pageHead = {};
};

// Watches a generation page by page, so that a window can show progress and
// offer to stop.
class GenerationObserver {
public:
    virtual ~GenerationObserver() = default;
    // Page n (counted from 1) of m is about to be written.
    virtual void pageStarted(int n, int m) = 0;
    // Asked after each page is written: true ends the generation there,
    // as a cancelled save dialog does.
    virtual bool stopRequested() = 0;
    // An information message of the run ("... file has been created."). An
    // observer that takes it (returns true) shows it itself, for instance
    // once its progress has closed; otherwise it goes to the prompter.
    virtual bool takeMessage(const QString&) { return false; }
};

// Where the pages of one auto-named run go, and what names them.
struct AutoNamedRun {
    int projectType = 0;
    QString projectName;
    QByteArray folder;  // the output folder, ending in "/"
};

// Writes one HTML file per page of the session's project. The window and
// velmora-cli both generate through it, one page record at a time: each
// page is shown in fields of its own, named, stored and written, and the
// changed records stream into a new file the project's pages are then read
// from (PageRewrite), so memory stays flat whatever the project's size. It
// owns the page save dialog's memory of the file chosen last, so keep one
// generator for the life of the window.
class PageGenerator {
public:
    using PageWritten = std::function<void(const QString& path)>;

    // True when every page was written or skipped; false when the user
    // cancelled a save dialog or the observer asked to stop. A page file that
    // cannot be written raises FileError, leaving that page shown. Each
    // written page file's path goes to `pageWritten` as soon as it is written.
    bool GeneratePages(ProjectSession& session, const GenerationOptions& options,
                       const PageWritten& pageWritten = {});
    bool GeneratePages(ProjectSession& session, const GenerationOptions& options,
                       QStringList* written);

    // Told of every page and asked whether to stop; none by default.
    void setObserver(GenerationObserver* observer) { observer_ = observer; }

    // The images the last generation skipped, one line each, each image
    // once: the caller tells the user in one message.
    const QStringList& skippedImages() const { return skippedImages_; }
    // The pages the last generation left out because the user kept them out
    // of a folder outside the project's, one line each.
    const QStringList& skippedPages() const { return skippedPages_; }
    // Page files written by the last generation, and its page count.
    int pagesWritten() const { return pagesWritten_; }
    int pageCount() const { return pageCount_; }

    // Starts an auto-named run: makes the output folder beside the project
    // file and, when the options ask, says where the pages go. A folder
    // whose path would not fit PageFolder raises PathTooLongError before
    // anything is made.
    AutoNamedRun beginAutoNamed(const QString& projectPath, const QString& projectName,
                                int projectType, Prompter& prompter,
                                const GenerationOptions& options);
    // One page of an auto-named run, already shown in `fields`: it gets the
    // run's folder, its automatic name when it has none and, Interlinked,
    // its link back to `previousFileName` (the stored file name of the page
    // before); then it is stored into `page` and its file written. Returns
    // the file's path.
    QString generateAutoNamedPage(PageRecord& page, PageFields& fields, const AutoNamedRun& run,
                                  int index, const QByteArray& previousFileName,
                                  Prompter& prompter, const GenerationOptions& options);

private:
    struct Pass;
    void pageStarted(int index, int count);
    bool stopRequested();
    void inform(Prompter& prompter, const QString& text);
    bool generateAutoNamed(Pass& pass);
    bool generateWithSaveDialogs(Pass& pass);
    bool mayWriteTo(Pass& pass, const QByteArray& folder);
    void pageDone(Pass& pass, const QString& path);
    // A relative ImageSource names a file in `imageFolder` when one is
    // given, else in the working folder.
    QString writePage(const PageRecord& page, PageFields& fields, int projectType,
                      const GenerationOptions& options, const QByteArray& imageFolder = {});
    void noteSkipped(const QString& warning);

    QString lastChosenFile_;
    GenerationObserver* observer_ = nullptr;
    QStringList skippedImages_;
    QStringList skippedPages_;
    int pagesWritten_ = 0;
    int pageCount_ = 0;
    PageImageCopies images_;
};

// Gives a page of an auto-named run, already shown in `fields`, the run's
// folder, its automatic name when it has none and, Interlinked, its link
// back to `previousFileName`; then stores it into `page`.
void PrepareAutoNamedPage(PageRecord& page, PageFields& fields, const AutoNamedRun& run, int index,
                          const QByteArray& previousFileName);

// "1,204 of 20,000 pages written".
QString PagesWrittenLine(int written, int count);

// True when `folder` (absolute) lies inside `root` (absolute) once "." and
// ".." are resolved as names.
bool FolderLiesInside(const QByteArray& folder, const QByteArray& root);

// Writes lines, each followed by CR LF, as the file `folder` + `name`, the
// record's bytes exactly (see writeFileInFolder: a new file renamed over the
// target, nothing written when the file already holds these bytes).
// FileError "Cannot create file %s" when that fails, also for an empty name;
// a name that holds "/" or is "." or ".." is refused before anything is
// written: "Cannot create file %s: "%s" is not a plain file name", and so is
// a name that does not end in ".htm" or ".html" or starts with ".": "Cannot
// create file %s: a page file's name ends in ".htm" or ".html" and does not
// start with "."".
WriteResult WritePageFile(const QByteArray& folder, const QByteArray& name,
                          const QByteArrayList& lines);

// "Path too long: %1 (a page record holds 259 bytes at most)": a path
// that would be cut in its record field names another file, so it is
// refused instead.
VelmoraError PathTooLongError(const QByteArray& path);

}  // namespace velmora

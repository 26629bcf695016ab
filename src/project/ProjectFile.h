#pragma once

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <memory>

#include "Project.h"
#include "base/FileResult.h"

namespace velmora {

// Writes the project type, the page count and every record, little-endian.
// The file is replaced atomically: when the write fails, the old file stays
// whole.
FileResult WriteProjectFile(const QString& path, const ProjectData& project);

// Opens a project into `out`, whose pages are then read from the file on
// demand (see PageList), only when the header reads and the file holds every
// record it promises: a failure leaves `out` as it was. A page count of 0 or
// less is refused as short. Bytes after the last record are ignored.
FileResult ReadProjectFile(const QString& path, ProjectData& out);

// Reads a project file one record at a time, so a project of any size is
// read in the memory of one page.
class ProjectFileReader {
public:
    // Opens the file and reads its header. kFileShort when the header is not
    // whole, the count is 0 or less, or the file holds fewer records than
    // the count promises; the file is then closed.
    FileResult open(const QString& path);

    int projectType() const { return projectType_; }
    int pageCount() const { return pageCount_; }
    // Records read so far.
    int pagesRead() const { return pagesRead_; }

    // Reads the next record into `page`: kFileOk, or kFileShort when the
    // read came up short or every record was already read.
    FileResult read(PageRecord& page);

private:
    QFile file_;
    int projectType_ = 0;
    int pageCount_ = 0;
    int pagesRead_ = 0;
};

// Writes a project file one record at a time. The page count in the header
// is the number of records appended, filled in on commit. Nothing replaces
// the old file before commit succeeds; a writer dropped without commit
// leaves it as it was. A record is mostly zero bytes (the empty rest of its
// fields); whole file blocks of zeros are skipped rather than written, so
// the file reads the same but takes and writes far less of the disk.
class ProjectFileWriter {
public:
    ProjectFileWriter();
    ~ProjectFileWriter();

    // kFileCannotOpen when the file is read-only or its replacement cannot
    // be created.
    FileResult open(const QString& path, int projectType);
    FileResult append(const PageRecord& page);
    int pagesWritten() const { return pagesWritten_; }
    // Fills in the page count and replaces the file.
    FileResult commit();

private:
    bool writeSkippingZeroBlocks(const char* data, qint64 size);

    std::unique_ptr<QSaveFile> file_;
    qint64 end_ = 0;  // the file's length once every skipped block counts
    bool sparse_ = false;
    int pagesWritten_ = 0;
    bool failed_ = false;
};

// Carries a pass that may change every page (generation) without holding
// the changed pages: from the first page that comes out changed, the pages go
// in order into a new project file, to which the list is attached once the
// pass ends. That file replaces `replacing` when given (a project file that
// holds the list's pages as they were), else it is a private temporary file
// in `folder` (or the temporary folder). While the pages come out as they
// were, nothing is written. Where no file can be made, the changed pages
// are held instead.
class PageRewrite {
public:
    PageRewrite(PageList& pages, int projectType, QString folder, QString replacing = {});
    ~PageRewrite();

    // Page `index` as it was (`before`) and as it is now. Pages come in
    // order, each once; a page not given stays as it was.
    void put(int index, const PageRecord& before, const PageRecord& after);
    // Writes the pages not given and attaches the list to the new file.
    // FileError "Cannot create file %s" when the temporary file fails; the
    // list then holds what it was given.
    void finish();

private:
    void start(int index);

    PageList& pages_;
    int projectType_;
    QString folder_;
    QString replacing_;
    QString path_;  // the private file, removed once the list is attached
    std::unique_ptr<ProjectFileWriter> writer_;
    bool holding_ = false;
    int next_ = 0;
};

}  // namespace velmora

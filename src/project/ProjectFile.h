#pragma once

#include <QFile>
#include <QString>
#include <memory>
#include <optional>

#include "Project.h"
#include "base/FileLock.h"
#include "base/FileResult.h"

namespace velmora {

// Writes the project type, the page count and every record, little-endian.
// The file is replaced atomically: when the write fails, the old file stays
// whole. On failure `reason` (when given) gets the system's reason.
FileResult WriteProjectFile(const QString& path, const ProjectData& project, QString* reason = nullptr);

// Opens a project into `out`, whose pages are then read from the file on
// demand (see PageList), only when the header reads and the file holds every
// record it promises: a failure leaves `out` as it was. A page count of 0 or
// less is refused as short. Bytes after the last record are ignored. On
// failure `reason` (when given) says why: "permission denied", "not a
// Velmora project: ...".
FileResult ReadProjectFile(const QString& path, ProjectData& out, QString* reason = nullptr);

// What tells one state of a file from another on disk: the file, its size
// and its time of change. Nothing when no regular file is at the path.
struct DiskIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 changedNs = 0;
    friend bool operator==(const DiskIdentity&, const DiskIdentity&) = default;
};
std::optional<DiskIdentity> diskIdentityOf(const QString& path);

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

    // Why the last open or read failed, as a user reads it.
    const QString& failure() const { return failure_; }

private:
    FileResult refuse(FileResult result, const QString& reason);

    QFile file_;
    QString failure_;
    int projectType_ = 0;
    int pageCount_ = 0;
    int pagesRead_ = 0;
};

// Writes a project file one record at a time. The page count in the header
// is the number of records appended, filled in on commit. Nothing replaces
// the old file before commit succeeds; a writer dropped without commit
// leaves it as it was. The records go to a new file in the same folder that
// commit renames over the name, so a link there is replaced, never
// followed; the old file stays locked (flock) until then, so two writers
// take turns. A record is mostly zero bytes (the empty rest of its
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
    // Why the last step failed, as a user reads it ("permission denied").
    const QString& failure() const { return failure_; }

private:
    bool writeSkippingZeroBlocks(const char* data, qint64 size);
    FileResult fail(FileResult result, const QString& reason);
    FileResult failWithSystemReason(FileResult result);

    std::unique_ptr<PathLock> lock_;
    std::unique_ptr<FileReplacement> replacement_;  // none when written in place
    std::unique_ptr<QFile> file_;
    QString failure_;
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

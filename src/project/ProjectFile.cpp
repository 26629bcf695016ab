#include "ProjectFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/stat.h>

#include "base/Errors.h"
#include "base/FileAccess.h"

namespace velmora {

namespace {

constexpr qint64 kHeaderSize = 8;
constexpr qint64 kRecordSize = qint64(kPageRecordSize);
constexpr qint64 kBlockSize = 4096;  // the file system's unit of allocation

const QString kReadOnlyReason = QStringLiteral("the file is read-only");
const QString kNotRegularReason = QStringLiteral("not a regular file");

QString notAProject(const QString& why) { return QStringLiteral("not a Velmora project: ") + why; }

bool allZero(const char* data, qint64 size)
{
    static const char zeros[kBlockSize] = {};
    return std::memcmp(data, zeros, std::size_t(size)) == 0;
}

}  // namespace

std::optional<DiskIdentity> diskIdentityOf(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return DiskIdentity{.device = quint64(info.st_dev),
                        .inode = quint64(info.st_ino),
                        .size = qint64(info.st_size),
                        .changedNs = qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

FileResult ProjectFileReader::refuse(FileResult result, const QString& reason)
{
    file_.close();
    failure_ = reason;
    return result;
}

FileResult ProjectFileReader::open(const QString& path)
{
    file_.close();
    failure_.clear();
    projectType_ = pageCount_ = pagesRead_ = 0;
    // The file is opened for writing too, so a read-only file counts as one
    // that cannot be opened.
    if (isReadOnlyFile(path)) return refuse(kFileCannotOpen, kReadOnlyReason);
    // Only a regular file, whose size is what it holds: a FIFO or device
    // would hold the program forever or never end.
    if (isNonRegularFile(path)) return refuse(kFileCannotOpen, kNotRegularReason);
    if (!openRegularFile(file_, path, QIODevice::ReadWrite))
        return refuse(kFileCannotOpen, systemReason(errno));

    char header[kHeaderSize];
    if (file_.read(header, kHeaderSize) != kHeaderSize)
        return refuse(kFileShort, notAProject(QStringLiteral("it is shorter than its header")));
    const qint32 count = qFromLittleEndian<qint32>(header + 4);
    if (count <= 0) return refuse(kFileShort, notAProject(QStringLiteral("it counts no page")));
    // A count that promises more than the file holds fails before any record
    // is handed out, so a reader never acts on half a project.
    const qint64 recordBytes = file_.size() - kHeaderSize;
    if (recordBytes / kRecordSize < count) {
        return refuse(kFileShort,
                      notAProject(recordBytes % kRecordSize != 0
                                      ? QStringLiteral("its size is not a whole number of pages")
                                      : QStringLiteral("it holds fewer pages than it counts")));
    }
    projectType_ = qFromLittleEndian<qint32>(header);
    pageCount_ = count;
    return kFileOk;
}

FileResult ProjectFileReader::read(PageRecord& page)
{
    if (pagesRead_ >= pageCount_ || !file_.isOpen()) return kFileShort;
    const auto bytes = page.bytes();
    if (file_.read(bytes.data(), kRecordSize) != kRecordSize) {
        failure_ = notAProject(QStringLiteral("it ends inside page %1").arg(pagesRead_ + 1));
        return kFileShort;
    }
    ++pagesRead_;
    return kFileOk;
}

ProjectFileWriter::ProjectFileWriter() = default;

// The replacement drops its new file unless it was committed.
ProjectFileWriter::~ProjectFileWriter() = default;

FileResult ProjectFileWriter::fail(FileResult result, const QString& reason)
{
    failure_ = reason;
    file_.reset();
    replacement_.reset();
    lock_.reset();
    return result;
}

FileResult ProjectFileWriter::failWithSystemReason(FileResult result)
{
    const QString reason =
        replacement_ && !replacement_->failure().isEmpty() ? replacement_->failure()
        : file_ && file_->error() != QFileDevice::NoError  ? file_->errorString()
                                                           : systemReason(errno);
    return fail(result, reason);
}

FileResult ProjectFileWriter::open(const QString& path, int projectType)
{
    file_.reset();
    replacement_.reset();
    lock_.reset();
    failure_.clear();
    pagesWritten_ = 0;
    failed_ = false;
    // A read-only project file is refused as it would be by an in-place write;
    // the atomic replace could otherwise swap it out.
    if (isReadOnlyFile(path)) return fail(kFileCannotOpen, kReadOnlyReason);
    if (isNonRegularFile(path)) return fail(kFileCannotOpen, kNotRegularReason);
    const QByteArray native = QFile::encodeName(path);
    lock_ = std::make_unique<PathLock>(native);
    if (!lock_->held())
        return fail(kFileCannotOpen, QStringLiteral("another program holds it locked"));
    file_ = std::make_unique<QFile>();
    replacement_ = std::make_unique<FileReplacement>(native);
    if (replacement_->open()) {
        if (!file_->open(replacement_->fd(), QIODevice::ReadWrite, QFileDevice::DontCloseHandle))
            return failWithSystemReason(kFileCannotOpen);
    } else {
        // A folder that cannot hold the new file (read-only, say) still lets
        // the regular file at the name be saved, in place; a link there is
        // never written through.
        const int errorOfFolder = errno;
        replacement_.reset();
        if (!openRegularFile(*file_, native, QIODevice::ReadWrite) || lock_->fd() < 0) {
            errno = errorOfFolder;
            return failWithSystemReason(kFileCannotOpen);
        }
    }
    char header[kHeaderSize];
    qToLittleEndian<qint32>(projectType, header);
    qToLittleEndian<qint32>(0, header + 4);  // the count follows on commit
    // Skipped bytes read as zeros only past the end of what the file held.
    sparse_ = file_->size() == 0;
    if (file_->write(header, kHeaderSize) != kHeaderSize) return failWithSystemReason(kFileShort);
    end_ = kHeaderSize;
    return kFileOk;
}

bool ProjectFileWriter::writeSkippingZeroBlocks(const char* data, qint64 size)
{
    if (!sparse_) return file_->write(data, size) == size;
    // Pieces end at file block boundaries; runs of written pieces go out in
    // one write, runs of zero pieces become one seek.
    const auto piece = [&](qint64 offset) {
        return std::min(size - offset, kBlockSize - (end_ + offset) % kBlockSize);
    };
    qint64 done = 0;
    while (done < size) {
        const bool zero = allZero(data + done, piece(done));
        qint64 run = done + piece(done);
        while (run < size && allZero(data + run, piece(run)) == zero) run += piece(run);
        const qint64 length = run - done;
        if (zero ? !file_->seek(end_ + run) : file_->write(data + done, length) != length)
            return false;
        done = run;
    }
    return true;
}

FileResult ProjectFileWriter::append(const PageRecord& page)
{
    if (!file_ || failed_) return kFileShort;
    if (pagesWritten_ == std::numeric_limits<qint32>::max()) {
        failed_ = true;
        failure_ = QStringLiteral("a project holds %1 pages at most").arg(pagesWritten_);
        return kFileShort;
    }
    if (!writeSkippingZeroBlocks(page.bytes().data(), kRecordSize)) {
        failed_ = true;
        failure_ = file_->errorString();
        return kFileShort;
    }
    end_ += kRecordSize;
    ++pagesWritten_;
    return kFileOk;
}

FileResult ProjectFileWriter::commit()
{
    if (!file_ || failed_) return kFileShort;
    char count[4];
    qToLittleEndian<qint32>(pagesWritten_, count);
    // Zeros skipped at the very end still count to the file's length; a file
    // written in place loses what lay past its new end.
    const bool sized = (replacement_ && file_->size() >= end_) || file_->resize(end_);
    const bool written = sized && file_->seek(4) && file_->write(count, 4) == 4 && file_->flush();
    if (!written) return failWithSystemReason(kFileShort);
    file_.reset();
    if (replacement_ && !replacement_->commit()) return failWithSystemReason(kFileShort);
    replacement_.reset();
    lock_.reset();
    return kFileOk;
}

FileResult WriteProjectFile(const QString& path, const ProjectData& project, QString* reason)
{
    ProjectFileWriter writer;
    const auto failed = [&](FileResult result) {
        if (reason) *reason = writer.failure();
        return result;
    };
    if (const FileResult result = writer.open(path, project.projectType); result != kFileOk)
        return failed(result);
    for (int i = 0; i < project.pages.size(); ++i)
        if (writer.append(project.pages.at(i)) != kFileOk) return failed(kFileShort);
    if (const FileResult result = writer.commit(); result != kFileOk) return failed(result);
    return kFileOk;
}

FileResult ReadProjectFile(const QString& path, ProjectData& out, QString* reason)
{
    FileResult result = kFileOk;
    std::shared_ptr<ProjectRecords> records = ProjectRecords::open(path, result);
    if (!records) {
        // The reader's checks of the header say why, in the user's words.
        if (reason) {
            ProjectFileReader reader;
            reader.open(path);
            *reason = reader.failure();
        }
        return result;
    }
    out.projectType = records->projectType();
    out.pages.attach(std::move(records));
    return kFileOk;
}

PageRewrite::PageRewrite(PageList& pages, int projectType, QString folder, QString replacing)
    : pages_(pages),
      projectType_(projectType),
      folder_(std::move(folder)),
      replacing_(std::move(replacing))
{
}

PageRewrite::~PageRewrite()
{
    if (!path_.isEmpty()) QFile::remove(path_);
}

void PageRewrite::start(int index)
{
    // A folder that takes no new file would have the writer write over the
    // records still to be read.
    if (!replacing_.isEmpty() && QFileInfo(QFileInfo(replacing_).absolutePath()).isWritable()) {
        auto writer = std::make_unique<ProjectFileWriter>();
        if (writer->open(replacing_, projectType_) == kFileOk) {
            writer_ = std::move(writer);
            for (int i = 0; i < index; ++i)
                if (writer_->append(pages_.at(i)) != kFileOk)
                    throw FileError::cannotCreate(replacing_);
            return;
        }
        replacing_.clear();
    }
    // Beside the project where it can be, on the disk the project is on;
    // else in the temporary folder. The name is reserved by a file of our
    // own, which the writer replaces.
    for (const QString& folder : {folder_, QDir::tempPath()}) {
        if (folder.isEmpty()) continue;
        QTemporaryFile reserved(folder + QStringLiteral("/.velmora-pages-XXXXXX"));
        reserved.setAutoRemove(false);
        if (!reserved.open()) continue;
        auto writer = std::make_unique<ProjectFileWriter>();
        if (writer->open(reserved.fileName(), projectType_) != kFileOk) {
            QFile::remove(reserved.fileName());
            continue;
        }
        path_ = reserved.fileName();
        writer_ = std::move(writer);
        for (int i = 0; i < index; ++i)
            if (writer_->append(pages_.at(i)) != kFileOk) throw FileError::cannotCreate(path_);
        return;
    }
    holding_ = true;
}

void PageRewrite::put(int index, const PageRecord& before, const PageRecord& after)
{
    next_ = index + 1;
    if (!writer_ && !holding_) {
        if (before == after) return;
        start(index);
    }
    if (holding_) {
        pages_.set(index, after);
        return;
    }
    if (writer_->append(after) != kFileOk) throw FileError::cannotCreate(path_);
}

void PageRewrite::finish()
{
    if (!writer_) return;
    const auto writer = std::move(writer_);
    const QString written = replacing_.isEmpty() ? path_ : replacing_;
    for (int i = next_; i < pages_.size(); ++i)
        if (writer->append(pages_.at(i)) != kFileOk) throw FileError::cannotCreate(written);
    FileResult result = writer->commit();
    std::shared_ptr<ProjectRecords> records =
        result == kFileOk ? ProjectRecords::open(written, result) : nullptr;
    if (!records) throw FileError::cannotCreate(written);
    pages_.attach(std::move(records));
    if (path_.isEmpty()) return;
    // The open file is all the list needs; nobody else sees it.
    QFile::remove(path_);
    path_.clear();
}

}  // namespace velmora

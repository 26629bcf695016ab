#include "ProjectFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <limits>

#include "base/Errors.h"
#include "base/FileAccess.h"

namespace velmora {

namespace {

constexpr qint64 kHeaderSize = 8;
constexpr qint64 kRecordSize = qint64(kPageRecordSize);
constexpr qint64 kBlockSize = 4096;  // the file system's unit of allocation

bool allZero(const char* data, qint64 size)
{
    static const char zeros[kBlockSize] = {};
    return std::memcmp(data, zeros, std::size_t(size)) == 0;
}

}  // namespace

FileResult ProjectFileReader::open(const QString& path)
{
    file_.close();
    projectType_ = pageCount_ = pagesRead_ = 0;
    // The file is opened for writing too, so a read-only file counts as one
    // that cannot be opened.
    if (isReadOnlyFile(path)) return kFileCannotOpen;
    // Only a regular file, whose size is what it holds: a FIFO or device
    // would hold the program forever or never end.
    if (!openRegularFile(file_, path, QIODevice::ReadWrite)) return kFileCannotOpen;

    char header[kHeaderSize];
    const qint32 count = file_.read(header, kHeaderSize) == kHeaderSize
                             ? qFromLittleEndian<qint32>(header + 4)
                             : 0;
    // A count that promises more than the file holds fails before any record
    // is handed out, so a reader never acts on half a project.
    if (count <= 0 || (file_.size() - kHeaderSize) / kRecordSize < count) {
        file_.close();
        return kFileShort;
    }
    projectType_ = qFromLittleEndian<qint32>(header);
    pageCount_ = count;
    return kFileOk;
}

FileResult ProjectFileReader::read(PageRecord& page)
{
    if (pagesRead_ >= pageCount_ || !file_.isOpen()) return kFileShort;
    const auto bytes = page.bytes();
    if (file_.read(bytes.data(), kRecordSize) != kRecordSize) return kFileShort;
    ++pagesRead_;
    return kFileOk;
}

ProjectFileWriter::ProjectFileWriter() = default;

// QSaveFile drops its temporary file unless it was committed.
ProjectFileWriter::~ProjectFileWriter() = default;

FileResult ProjectFileWriter::open(const QString& path, int projectType)
{
    file_.reset();
    pagesWritten_ = 0;
    failed_ = false;
    // A read-only project file is refused as it would be by an in-place write;
    // the atomic replace could otherwise swap it out.
    if (isReadOnlyFile(path) || isNonRegularFile(path)) return kFileCannotOpen;
    auto file = std::make_unique<QSaveFile>(path);
    // A folder that cannot hold the temporary file (read-only, say) still
    // lets a writable project file be saved, in place.
    file->setDirectWriteFallback(true);
    if (!file->open(QIODevice::WriteOnly)) return kFileCannotOpen;
    char header[kHeaderSize];
    qToLittleEndian<qint32>(projectType, header);
    qToLittleEndian<qint32>(0, header + 4);  // the count follows on commit
    file_ = std::move(file);
    // Skipped bytes read as zeros only past the end of what the file held.
    sparse_ = file_->size() == 0;
    if (file_->write(header, kHeaderSize) != kHeaderSize) failed_ = true;
    end_ = kHeaderSize;
    return failed_ ? kFileShort : kFileOk;
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
    if (pagesWritten_ == std::numeric_limits<qint32>::max() ||
        !writeSkippingZeroBlocks(page.bytes().data(), kRecordSize)) {
        failed_ = true;
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
    // Zeros skipped at the very end still count to the file's length.
    const bool sized = file_->size() >= end_ || file_->resize(end_);
    const bool written = sized && file_->seek(4) && file_->write(count, 4) == 4;
    const bool committed = written && file_->commit();
    file_.reset();
    return committed ? kFileOk : kFileShort;
}

FileResult WriteProjectFile(const QString& path, const ProjectData& project)
{
    ProjectFileWriter writer;
    if (const FileResult result = writer.open(path, project.projectType); result != kFileOk) return result;
    for (int i = 0; i < project.pages.size(); ++i)
        if (writer.append(project.pages.at(i)) != kFileOk) return kFileShort;
    return writer.commit();
}

FileResult ReadProjectFile(const QString& path, ProjectData& out)
{
    FileResult result = kFileOk;
    std::shared_ptr<ProjectRecords> records = ProjectRecords::open(path, result);
    if (!records) return result;
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

#include "ProjectFile.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <limits>

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
        if (writer.append(project.pages[i]) != kFileOk) return kFileShort;
    return writer.commit();
}

FileResult ReadProjectFile(const QString& path, ProjectData& out)
{
    ProjectFileReader reader;
    if (const FileResult result = reader.open(path); result != kFileOk) return result;

    ProjectData read;
    read.projectType = reader.projectType();
    // Memory follows the records as they are read.
    read.pages.reserve(std::min(reader.pageCount(), 1024));
    for (int i = 0; i < reader.pageCount(); ++i)
        if (reader.read(read.pages.append()) != kFileOk) return kFileShort;
    out = std::move(read);
    return kFileOk;
}

}  // namespace velmora

#include "PageList.h"

#include <QtEndian>
#include <sys/stat.h>

#include "base/Errors.h"
#include "base/FileAccess.h"
#include "project/ProjectFile.h"

namespace velmora {

namespace {

constexpr qint64 kHeaderSize = 8;
constexpr qint64 kRecordSize = qint64(kPageRecordSize);

}  // namespace

std::shared_ptr<ProjectRecords> ProjectRecords::open(const QString& path, FileResult& result)
{
    std::shared_ptr<ProjectRecords> records(new ProjectRecords);
    records->path_ = path;
    QFile& file = records->file_;
    // Opened for writing too, so a read-only file counts as one that cannot
    // be opened, as it always did; only a regular file, whose size is what
    // it holds.
    if (isReadOnlyFile(path) ||
        !openRegularFile(file, path, QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        result = kFileCannotOpen;
        return nullptr;
    }
    char header[kHeaderSize];
    const qint32 count = file.read(header, kHeaderSize) == kHeaderSize
                             ? qFromLittleEndian<qint32>(header + 4)
                             : 0;
    // A count that promises more than the file holds fails at once, so no
    // page is shown of half a project.
    if (count <= 0 || (file.size() - kHeaderSize) / kRecordSize < count) {
        result = kFileShort;
        return nullptr;
    }
    struct stat info {};
    if (::fstat(file.handle(), &info) == 0) {
        records->device_ = info.st_dev;
        records->inode_ = info.st_ino;
    }
    records->projectType_ = qFromLittleEndian<qint32>(header);
    records->count_ = count;
    result = kFileOk;
    return records;
}

bool ProjectRecords::isFileAt(const QString& path) const
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && info.st_dev == device_ &&
           info.st_ino == inode_;
}

void ProjectRecords::read(int number, PageRecord& page) const
{
    const auto bytes = page.bytes();
    if (number < 0 || number >= count_ || !file_.seek(kHeaderSize + qint64(number) * kRecordSize) ||
        file_.read(bytes.data(), kRecordSize) != kRecordSize)
        throw FileError::cannotOpen(path_);
}

PageList::PageList() = default;
PageList::PageList(PageList&&) noexcept = default;
PageList& PageList::operator=(PageList&&) noexcept = default;
PageList::~PageList() = default;

PageRecord PageList::at(int i) const
{
    const Slot slot = order_.at(static_cast<std::size_t>(i));
    if (const auto held = held_.find(slot); held != held_.end()) return *held->second;
    PageRecord page;
    records_->read(slot, page);
    return page;
}

PageRecord& PageList::edit(int i)
{
    const Slot slot = order_.at(static_cast<std::size_t>(i));
    auto& held = held_[slot];
    if (!held) {
        held = std::make_unique<PageRecord>();
        records_->read(slot, *held);
    }
    return *held;
}

void PageList::set(int i, const PageRecord& page)
{
    const Slot slot = order_.at(static_cast<std::size_t>(i));
    if (const auto held = held_.find(slot); held != held_.end()) {
        *held->second = page;
        return;
    }
    if (page == at(i)) return;
    held_[slot] = std::make_unique<PageRecord>(page);
}

PageRecord& PageList::append()
{
    const Slot slot = nextSlot_++;
    order_.push_back(slot);
    reshaped_ = true;
    return *(held_[slot] = std::make_unique<PageRecord>());
}

PageRecord& PageList::insert(int i)
{
    const Slot slot = nextSlot_++;
    order_.insert(order_.begin() + i, slot);
    reshaped_ = true;
    return *(held_[slot] = std::make_unique<PageRecord>());
}

void PageList::removeAt(int i)
{
    held_.erase(order_.at(static_cast<std::size_t>(i)));
    order_.erase(order_.begin() + i);
    reshaped_ = true;
}

void PageList::clear()
{
    records_.reset();
    order_.clear();
    held_.clear();
    nextSlot_ = 0;
    reshaped_ = false;
}

void PageList::attach(std::shared_ptr<const ProjectRecords> records)
{
    clear();
    records_ = std::move(records);
    nextSlot_ = records_->count();
    order_.resize(static_cast<std::size_t>(nextSlot_));
    for (Slot slot = 0; slot < nextSlot_; ++slot) order_[static_cast<std::size_t>(slot)] = slot;
}

void PageList::holdAll()
{
    for (int i = 0; i < size(); ++i) edit(i);
    records_.reset();
}

}  // namespace velmora

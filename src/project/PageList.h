#pragma once

#include <QFile>
#include <QString>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "PageRecord.h"
#include "base/FileResult.h"

namespace velmora {

// The records of a project file, read one at a time by number. Records have
// a fixed size, so any record is one positioned read; nothing is kept.
class ProjectRecords {
public:
    // Opens the file and checks its header: kFileOk, kFileCannotOpen or
    // kFileShort as ProjectFileReader::open. Returns null on failure and
    // stores the result in `result`.
    static std::shared_ptr<ProjectRecords> open(const QString& path, FileResult& result);

    int projectType() const { return projectType_; }
    int count() const { return count_; }
    const QString& path() const { return path_; }
    // True while `path` is still the very file these records come from.
    bool isFileAt(const QString& path) const;
    // Reads record `number` into `page`; FileError "Cannot open file %s"
    // when the file no longer holds it (cut short by someone else).
    void read(int number, PageRecord& page) const;

private:
    ProjectRecords() = default;
    QString path_;
    mutable QFile file_;
    quint64 device_ = 0;
    quint64 inode_ = 0;
    int projectType_ = 0;
    int count_ = 0;
};

// The ordered pages of a project. Pages that come from a project file are
// read from it on demand; only pages that were added or changed are held in
// memory, so a project of any size takes the memory of the pages the user
// touched. Saving writes every page to a new file and attaches the list to
// it, which lets the held pages go.
class PageList {
public:
    PageList();
    PageList(PageList&&) noexcept;
    PageList& operator=(PageList&&) noexcept;
    ~PageList();

    int size() const { return static_cast<int>(order_.size()); }
    bool isEmpty() const { return order_.empty(); }

    // A copy of page i: the held page, or the file's record.
    PageRecord operator[](int i) const { return at(i); }
    PageRecord at(int i) const;
    // Page i to change in place; it is held from now on.
    PageRecord& edit(int i);
    // Replaces page i. A page that equals the file's record is not held, so
    // showing and storing an untouched page costs no memory.
    void set(int i, const PageRecord& page);

    // A new, zero page at the end, held.
    PageRecord& append();
    // A new, zero page before page i (at the end when i is size()), held.
    PageRecord& insert(int i);
    void reserve(int n) { order_.reserve(static_cast<std::size_t>(n)); }
    void removeAt(int i);
    void clear();

    // Drops everything and takes the pages of `records`, none held.
    void attach(std::shared_ptr<const ProjectRecords> records);
    // Holds every page, so the list no longer needs its file (which is
    // about to be overwritten in place).
    void holdAll();
    // The file the unheld pages come from; null when every page is held.
    const ProjectRecords* records() const { return records_.get(); }
    // Pages held in memory.
    int heldCount() const { return static_cast<int>(held_.size()); }
    // True when the list is its file's records exactly: none held, added,
    // removed or moved.
    bool isVerbatim() const { return records_ && held_.empty() && !reshaped_; }

private:
    // A page's slot: below the file's count, the file's record of that
    // number (maybe overridden by a held page); above it, a page added.
    using Slot = std::int32_t;

    std::shared_ptr<const ProjectRecords> records_;
    std::vector<Slot> order_;
    std::unordered_map<Slot, std::unique_ptr<PageRecord>> held_;
    Slot nextSlot_ = 0;
    bool reshaped_ = false;
};

}  // namespace velmora

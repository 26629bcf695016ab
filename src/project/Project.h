#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

#include "PageOperations.h"
#include "PageRecord.h"

namespace velmora {

// The ordered pages of a project; the list owns its records. Records are
// held by pointer so a list of thousands of pages grows without copying them.
class PageList {
public:
    int size() const { return static_cast<int>(pages_.size()); }
    bool isEmpty() const { return pages_.empty(); }
    PageRecord& operator[](int i) { return *pages_[static_cast<std::size_t>(i)]; }
    const PageRecord& operator[](int i) const { return *pages_[static_cast<std::size_t>(i)]; }
    PageRecord& append() { return *pages_.emplace_back(std::make_unique<PageRecord>()); }
    void reserve(int n) { pages_.reserve(static_cast<std::size_t>(n)); }
    void removeAt(int i) { pages_.erase(pages_.begin() + i); }
    PageRecord& insert(int i)
    {
        return **pages_.insert(pages_.begin() + i, std::make_unique<PageRecord>());
    }
    void clear() { pages_.clear(); }

private:
    std::vector<std::unique_ptr<PageRecord>> pages_;
};

// What the project file holds.
struct ProjectData {
    int projectType = kInterlinked;
    PageList pages;
};

// The file-name part of a path: the text after its last "/". On this
// system ":" and "\" are ordinary characters of a name.
QString fileNamePart(const QString& path);

}  // namespace velmora

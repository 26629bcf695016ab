#pragma once

#include <QString>

#include "SubmissionList.h"
#include "base/FileResult.h"

namespace velmora {

// The submission list as the Add URL dialog steps through it: the current
// entry, Edit mode and the rules for moving. Never empty once loaded.
class SubmissionBrowser {
public:
    // Reads the list from `path`; on any failure the list is one blank
    // entry. Either way the first entry is current and Edit mode is off.
    // Returns the read's result.
    FileResult load(const QString& path);
    // Writes the whole list to `path` and returns the write's result.
    FileResult save(const QString& path) const;
    // Drops the list; nothing is current afterwards.
    void clear();

    int count() const { return list_.size(); }
    int index() const { return index_; }
    const SubmissionList& list() const { return list_; }
    SubmissionEntry& current() { return list_[index_]; }
    const SubmissionEntry& current() const { return list_[index_]; }

    bool editMode() const { return editMode_; }
    void setEditMode(bool on) { editMode_ = on; }

    bool canGoPrevious() const { return index_ > 0; }
    bool canGoNext() const { return editMode_ || index_ < count() - 1; }

    // Moves back one entry; nothing happens on the first one.
    void previous();
    // Moves on one entry. Past the last one, which only Edit mode allows, a
    // blank entry is appended and becomes current.
    void next();

    // The position as the dialog's counter shows it, "1 of 12".
    QString counterText() const;

private:
    SubmissionList list_;
    int index_ = 0;
    bool editMode_ = false;
};

}  // namespace velmora

#include "SubmissionBrowser.h"

#include "SubmissionFile.h"

namespace velmora {

FileResult SubmissionBrowser::load(const QString& path)
{
    list_.clear();
    const FileResult result = ReadSubmissionFile(path, list_);
    if (result != kFileOk || list_.isEmpty()) {
        // The dialog always shows an entry, so a list that cannot be read
        // starts as one blank entry.
        list_.clear();
        list_.append();
    }
    index_ = 0;
    editMode_ = false;
    return result;
}

FileResult SubmissionBrowser::save(const QString& path) const { return WriteSubmissionFile(path, list_); }

void SubmissionBrowser::clear()
{
    list_.clear();
    index_ = 0;
}

void SubmissionBrowser::previous()
{
    if (canGoPrevious()) --index_;
}

void SubmissionBrowser::next()
{
    if (!canGoNext()) return;
    ++index_;
    if (index_ == count()) list_.append();
}

QString SubmissionBrowser::counterText() const
{
    return QStringLiteral("%1 of %2").arg(index_ + 1).arg(count());
}

}  // namespace velmora

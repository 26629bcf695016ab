#pragma once

#include <vector>

#include "publish/Publishing.h"

namespace velmora {

// Which files of a plan may go while others are still on their way, so
// that the server never shows a page before the images ahead of it in the
// plan, nor a site file before every file ahead of it, and a name that
// occurs twice ends up with its later file.
class UploadOrder {
public:
    explicit UploadOrder(const std::vector<UploadItem>& plan);

    int size() const { return static_cast<int>(kinds_.size()); }
    void confirm(int index);
    bool isConfirmed(int index) const { return confirmed_[std::size_t(index)]; }
    // Not confirmed yet, and nothing it waits for is unconfirmed.
    bool canStart(int index) const;
    int confirmedCount() const { return confirmedCount_; }
    bool allConfirmed() const { return confirmedCount_ == size(); }
    // The first file not confirmed; size() when there is none.
    int firstOpen() const { return firstOpen_; }

private:
    std::vector<UploadItem::Kind> kinds_;
    std::vector<int> previousOfName_;  // the file before it under the same name, or -1
    std::vector<bool> confirmed_;
    int firstOpen_ = 0;
    int firstOpenImage_ = 0;
    int confirmedCount_ = 0;
};

}  // namespace velmora

#include "publish/UploadOrder.h"

#include <QHash>

namespace velmora {

UploadOrder::UploadOrder(const std::vector<UploadItem>& plan)
    : previousOfName_(plan.size(), -1), confirmed_(plan.size(), false)
{
    kinds_.reserve(plan.size());
    QHash<QByteArray, int> lastOfName;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        kinds_.push_back(plan[i].kind);
        previousOfName_[i] = lastOfName.value(plan[i].remoteName, -1);
        lastOfName.insert(plan[i].remoteName, static_cast<int>(i));
    }
    while (firstOpenImage_ < size() && kinds_[std::size_t(firstOpenImage_)] != UploadItem::Kind::Image)
        ++firstOpenImage_;
}

void UploadOrder::confirm(int index)
{
    if (index < 0 || index >= size() || confirmed_[std::size_t(index)]) return;
    confirmed_[std::size_t(index)] = true;
    ++confirmedCount_;
    while (firstOpen_ < size() && confirmed_[std::size_t(firstOpen_)]) ++firstOpen_;
    while (firstOpenImage_ < size() && (kinds_[std::size_t(firstOpenImage_)] != UploadItem::Kind::Image ||
                                        confirmed_[std::size_t(firstOpenImage_)]))
        ++firstOpenImage_;
}

bool UploadOrder::canStart(int index) const
{
    if (index < 0 || index >= size() || confirmed_[std::size_t(index)]) return false;
    const int previous = previousOfName_[std::size_t(index)];
    if (previous >= 0 && !confirmed_[std::size_t(previous)]) return false;
    switch (kinds_[std::size_t(index)]) {
    case UploadItem::Kind::Image: return true;
    case UploadItem::Kind::Page: return firstOpenImage_ > index;
    case UploadItem::Kind::SiteFile: return firstOpen_ == index;
    }
    return false;
}

}  // namespace velmora

#pragma once

#include <vector>

#include "SubmissionEntry.h"

namespace velmora {

// The search engines in file order; the list owns its entries.
class SubmissionList {
public:
    int size() const { return static_cast<int>(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    SubmissionEntry& operator[](int i) { return entries_[static_cast<std::size_t>(i)]; }
    const SubmissionEntry& operator[](int i) const { return entries_[static_cast<std::size_t>(i)]; }
    // Appends a blank entry and returns it.
    SubmissionEntry& append() { return entries_.emplace_back(); }
    void reserve(int n) { entries_.reserve(static_cast<std::size_t>(n)); }
    void clear() { entries_.clear(); }

    friend bool operator==(const SubmissionList&, const SubmissionList&) = default;

private:
    std::vector<SubmissionEntry> entries_;
};

}  // namespace velmora

#include "NearDuplicates.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora {

namespace {

std::uint64_t mix(std::uint64_t x)
{
    // splitmix64's finaliser: every input bit reaches every output bit.
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return x;
}

// The hash functions: h_i(s) = high half of (a_i * s + b_i), with odd a_i,
// fixed so that a check gives the same answer every run.
struct HashFamily {
    std::array<std::uint64_t, kSignatureSize> a{};
    std::array<std::uint64_t, kSignatureSize> b{};

    HashFamily()
    {
        std::uint64_t seed = 0x5EED0F4E1C0DE5ull;
        for (int i = 0; i < kSignatureSize; ++i) {
            a[i] = mix(seed += 0x9E3779B97F4A7C15ull) | 1;
            b[i] = mix(seed += 0x9E3779B97F4A7C15ull);
        }
    }
};

const HashFamily& family()
{
    static const HashFamily hashes;
    return hashes;
}

// Rows per band, among the divisors of the signature size, the most that
// still catches a pair at the threshold with a probability of 99.9%: more
// rows mean fewer pairs below the threshold to compare.
int rowsFor(double threshold)
{
    int best = 1;
    for (int rows = 1; rows <= kSignatureSize; rows *= 2) {
        const int bands = kSignatureSize / rows;
        const double caught = 1 - std::pow(1 - std::pow(threshold, rows), bands);
        if (caught >= 0.999) best = rows;
    }
    return best;
}

}  // namespace

std::optional<Signature> SignatureOf(std::span<const std::uint64_t> words)
{
    if (words.empty()) return std::nullopt;
    Signature signature;
    signature.fill(std::numeric_limits<std::uint32_t>::max());
    const HashFamily& h = family();
    // A text shorter than a shingle is one shingle of all its words.
    const std::size_t count = words.size() < kShingleWords ? 1 : words.size() - kShingleWords + 1;
    const std::size_t width = std::min<std::size_t>(words.size(), kShingleWords);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint64_t shingle = 0;
        for (std::size_t j = 0; j < width; ++j) shingle = mix(shingle ^ words[i + j]);
        for (int k = 0; k < kSignatureSize; ++k) {
            const auto value = std::uint32_t((h.a[k] * shingle + h.b[k]) >> 32);
            signature[k] = std::min(signature[k], value);
        }
    }
    return signature;
}

double EstimatedSimilarity(const Signature& a, const Signature& b)
{
    int same = 0;
    for (int k = 0; k < kSignatureSize; ++k) same += a[k] == b[k];
    return double(same) / kSignatureSize;
}

NearDuplicateFinder::NearDuplicateFinder(double threshold)
    : threshold_(threshold), rows_(rowsFor(threshold)), slots_(1024, 0)
{
    bands_ = kSignatureSize / rows_;
}

std::uint32_t NearDuplicateFinder::bandKey(const Signature& signature, int band) const
{
    std::uint64_t key = mix(std::uint64_t(band) + 1);
    for (int r = 0; r < rows_; ++r) key = mix(key ^ signature[band * rows_ + r]);
    return std::uint32_t(key >> 32);
}

int NearDuplicateFinder::findOrInsert(std::uint32_t key, int id)
{
    if ((used_ + 1) * 2 > slots_.size()) {
        // Twice the room, every key placed anew.
        std::vector<std::uint64_t> old(slots_.size() * 2, 0);
        old.swap(slots_);
        used_ = 0;
        for (const std::uint64_t slot : old)
            if (slot) findOrInsert(std::uint32_t(slot >> 32), int(std::uint32_t(slot)) - 1);
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = mix(key) & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = slots_[i];
        if (slot == 0) {
            slots_[i] = (std::uint64_t(key) << 32) | std::uint32_t(id + 1);
            ++used_;
            return -1;
        }
        if (std::uint32_t(slot >> 32) == key) return int(std::uint32_t(slot)) - 1;
    }
}

std::optional<NearDuplicateFinder::Match> NearDuplicateFinder::add(
    int id, const std::optional<Signature>& signature)
{
    signatures_.push_back(signature);
    if (!signature) return std::nullopt;

    std::optional<Match> best;
    std::vector<int> compared;
    for (int band = 0; band < bands_; ++band) {
        const int earlier = findOrInsert(bandKey(*signature, band), id);
        if (earlier < 0 || earlier == id) continue;
        if (std::find(compared.begin(), compared.end(), earlier) != compared.end()) continue;
        compared.push_back(earlier);
        const std::optional<Signature>& other = signatures_[std::size_t(earlier)];
        if (!other) continue;
        const double similarity = EstimatedSimilarity(*signature, *other);
        if (similarity >= threshold_ && (!best || similarity > best->similarity))
            best = Match{earlier, similarity};
    }
    return best;
}

}  // namespace velmora

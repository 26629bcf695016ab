#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmora {

// The resemblance of two texts: the Jaccard similarity of their sets of
// word shingles (runs of kShingleWords words).
inline constexpr int kShingleWords = 3;

// A text's MinHash signature: for each of kSignatureSize hash functions the
// least hash over its shingles. The share of places where two signatures
// agree estimates the texts' Jaccard similarity.
inline constexpr int kSignatureSize = 128;
using Signature = std::array<std::uint32_t, kSignatureSize>;

// Nothing for a text without a word.
std::optional<Signature> SignatureOf(std::span<const std::uint64_t> words);

double EstimatedSimilarity(const Signature& a, const Signature& b);

// Finds, for each text in turn, an earlier one it nearly copies, without
// comparing all pairs: signatures are cut into bands, and only texts that
// share a whole band with it are compared (locality-sensitive hashing).
// The number of bands suits the threshold, so that a pair at the
// threshold shares a band with a probability above 99.9%. Time and memory
// grow with the number of texts, not with its square.
class NearDuplicateFinder {
public:
    explicit NearDuplicateFinder(double threshold);

    struct Match {
        int earlier = 0;
        double similarity = 0;
    };

    // Adds text number `id` (ids rise by one from 0) by its signature
    // (SignatureOf its words) and returns the most similar earlier text at
    // or above the threshold among those it shares a band with.
    std::optional<Match> add(int id, const std::optional<Signature>& signature);

    int bands() const { return bands_; }

private:
    std::uint32_t bandKey(const Signature& signature, int band) const;
    int findOrInsert(std::uint32_t key, int id);  // the id already there, or -1

    double threshold_;
    int bands_;
    int rows_;
    std::vector<std::optional<Signature>> signatures_;
    // An open-addressed table of band keys, each slot the key in the high
    // half and the first text's id + 1 in the low half; 0 is empty.
    std::vector<std::uint64_t> slots_;
    std::size_t used_ = 0;
};

}  // namespace velmora

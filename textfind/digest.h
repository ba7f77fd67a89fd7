// The digest of the store proof: XXH64 (seed 0), fed in pieces of any size.
// It tells damage and edits from the bytes the builder wrote, at the speed
// files are read; it is no defence against someone who forges a store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace textfind {

class Digest {
public:
    void add(std::span<const unsigned char> bytes);
    uint64_t value() const;

private:
    void addStripe(const unsigned char *stripe);
    void addStripes(const unsigned char *stripes, std::size_t count);

    uint64_t lanes_[4] = {0x9E3779B185EBCA87ull + 0xC2B2AE3D27D4EB4Full, 0xC2B2AE3D27D4EB4Full, 0,
                          0 - 0x9E3779B185EBCA87ull};
    unsigned char pending_[32] = {};
    std::size_t pendingSize_ = 0;
    uint64_t total_ = 0;
};

uint64_t digestOf(std::span<const unsigned char> bytes);

}  // namespace textfind

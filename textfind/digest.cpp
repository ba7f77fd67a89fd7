#include "digest.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "format.h"

namespace textfind {

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

inline uint64_t round(uint64_t lane, uint64_t input) {
    return std::rotl(lane + input * kPrime2, 31) * kPrime1;
}

inline uint64_t merge(uint64_t hash, uint64_t lane) {
    return (hash ^ round(0, lane)) * kPrime1 + kPrime4;
}

}  // namespace

void Digest::addStripe(const unsigned char *stripe) { addStripes(stripe, 1); }

// The lanes in locals: through the members, every store to one would be
// taken to change the bytes being read.
void Digest::addStripes(const unsigned char *p, std::size_t count) {
    uint64_t a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
    for (; count > 0; --count, p += 32) {
        a = round(a, readU64(p));
        b = round(b, readU64(p + 8));
        c = round(c, readU64(p + 16));
        d = round(d, readU64(p + 24));
    }
    lanes_[0] = a;
    lanes_[1] = b;
    lanes_[2] = c;
    lanes_[3] = d;
}

void Digest::add(std::span<const unsigned char> bytes) {
    total_ += bytes.size();
    const unsigned char *p = bytes.data();
    std::size_t left = bytes.size();
    if (pendingSize_ > 0) {
        const std::size_t taken = std::min(left, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, p, taken);
        pendingSize_ += taken;
        p += taken;
        left -= taken;
        if (pendingSize_ < sizeof pending_) return;
        addStripe(pending_);
        pendingSize_ = 0;
    }
    addStripes(p, left / 32);
    p += left / 32 * 32;
    left %= 32;
    std::memcpy(pending_, p, left);
    pendingSize_ = left;
}

uint64_t Digest::value() const {
    uint64_t hash;
    if (total_ >= 32) {
        hash = std::rotl(lanes_[0], 1) + std::rotl(lanes_[1], 7) + std::rotl(lanes_[2], 12) +
               std::rotl(lanes_[3], 18);
        for (uint64_t lane : lanes_) hash = merge(hash, lane);
    } else {
        hash = kPrime5;
    }
    hash += total_;
    const unsigned char *p = pending_;
    std::size_t left = pendingSize_;
    for (; left >= 8; p += 8, left -= 8)
        hash = std::rotl(hash ^ round(0, readU64(p)), 27) * kPrime1 + kPrime4;
    if (left >= 4) {
        hash = std::rotl(hash ^ uint64_t{readU32(p)} * kPrime1, 23) * kPrime2 + kPrime3;
        p += 4;
        left -= 4;
    }
    for (; left > 0; ++p, --left) hash = std::rotl(hash ^ uint64_t{*p} * kPrime5, 11) * kPrime1;
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    hash *= kPrime3;
    hash ^= hash >> 32;
    return hash;
}

uint64_t digestOf(std::span<const unsigned char> bytes) {
    Digest digest;
    digest.add(bytes);
    return digest.value();
}

}  // namespace textfind

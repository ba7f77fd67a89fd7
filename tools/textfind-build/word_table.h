// The words of a catalogue, each with a dense id.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace textfind::build {

// The words met so far, by normal form, each with a dense id: open
// addressing, each slot holding what settles most lookups without touching
// the names (a word's first 8 bytes and its hash), the names in one arena.
class WordTable {
public:
    WordTable() : slots_(1 << 16) { offsets_.push_back(0); }

    uint32_t idOf(std::string_view word) {
        if ((size() + 1) * 2 > slots_.size()) grow();
        const auto hash = static_cast<uint32_t>(std::hash<std::string_view>{}(word));
        const uint64_t prefix = prefixOf(word);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot &slot = slots_[i];
            if (slot.id == kEmpty) {
                if (names_.size() + word.size() > UINT32_MAX)
                    throw std::runtime_error("more distinct words than the builder can hold");
                names_ += word;
                offsets_.push_back(static_cast<uint32_t>(names_.size()));
                prefixes_.push_back(prefix);
                slot = {prefix, hash, static_cast<uint32_t>(size() - 1)};
                return slot.id;
            }
            if (slot.hash == hash && slot.prefix == prefix &&
                (word.size() <= 8 ? length(slot.id) == word.size()
                                  : name(slot.id).substr(8) == word.substr(8)))
                return slot.id;
        }
    }

    std::string_view name(uint32_t id) const {
        return std::string_view(names_).substr(offsets_[id], length(id));
    }
    std::size_t size() const { return offsets_.size() - 1; }

    // The ids in the names' byte order. The first 8 bytes, zero-padded and
    // read as a number, order names the same way whenever they differ.
    bool less(uint32_t a, uint32_t b) const {
        return prefixes_[a] != prefixes_[b] ? prefixes_[a] < prefixes_[b] : name(a) < name(b);
    }
    std::vector<uint32_t> inByteOrder(std::vector<uint32_t> ids) const {
        std::sort(ids.begin(), ids.end(), [&](uint32_t a, uint32_t b) { return less(a, b); });
        return ids;
    }

private:
    static constexpr uint32_t kEmpty = UINT32_MAX;
    struct Slot {
        uint64_t prefix = 0;
        uint32_t hash = 0;
        uint32_t id = kEmpty;
    };

    static uint64_t prefixOf(std::string_view word) {
        uint64_t prefix = 0;
        for (std::size_t b = 0; b < 8; ++b)
            prefix = prefix << 8 | (b < word.size() ? static_cast<unsigned char>(word[b]) : 0u);
        return prefix;
    }
    std::size_t length(uint32_t id) const { return offsets_[id + 1] - offsets_[id]; }

    void grow() {
        std::vector<Slot> slots(slots_.size() * 2);
        const std::size_t mask = slots.size() - 1;
        for (const Slot &slot : slots_) {
            if (slot.id == kEmpty) continue;
            std::size_t i = slot.hash & mask;
            while (slots[i].id != kEmpty) i = (i + 1) & mask;
            slots[i] = slot;
        }
        slots_.swap(slots);
    }

    std::vector<Slot> slots_;
    std::string names_;
    std::vector<uint32_t> offsets_;  // of each name in names_, and its end
    std::vector<uint64_t> prefixes_;
};

}  // namespace textfind::build

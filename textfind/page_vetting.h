// Every page Berkeley DB reads for a lookup, vetted first: Berkeley DB
// trusts the bytes of a page (a damaged one makes it loop, read past the
// page or past its memory, or crash), so before an exact-key lookup the
// library walks the way Berkeley DB's own search will take for that key,
// with the same comparisons, and vets each page on it: the root, the
// internal pages the key chooses, the leaf, the overflow pages of any key
// compared on the way and of the item found. A page is sound when its
// number is its place, its type and level fit its place in the tree, every
// item lies inside it, children are in range one level down, an overflow
// chain is in range, of the item's stated length and ends; and, where the
// pair has a proof of pages, when its bytes match the proof's digest for its
// number. A page found sound is remembered (a bit a page) for as long as the
// file keeps its stamp; the internal pages are kept too, since every lookup
// passes through them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "format.h"
#include "page_file.h"

namespace textfind {

// Where one store's page digests lie in a proof of pages.
struct PageDigests {
    std::string proofPath;
    PageProof proof;
    bool ofRecords = false;
};

// A page found unsound, by number, and why.
struct UnsoundPage {
    uint32_t page = 0;
    std::string why;
};

class VettedPages {
public:
    // Learns the tree from the file's meta page (vetted against the proof's
    // digest when there is one). False, with why, when the meta page or the
    // length is no tree to vet, or the proof's page counts differ.
    bool start(PageFile &file, uint64_t fileLength, std::optional<PageDigests> digests);
    bool started() const { return shape_.pageSize != 0; }

    // Whether every page an exact-key lookup of `key` reads is sound; the
    // first that is not, in `unsound`. The length of the item found, when
    // there is one, in `itemLength`.
    bool vetLookup(PageFile &file, std::string_view key, UnsoundPage *unsound = nullptr,
                   std::optional<uint32_t> *itemLength = nullptr);

    // Every page of the tree from the root, and every overflow chain of its
    // leaves, as lookups would vet them; the first unsound page. `told`
    // hears now and then how many tree pages are vetted, of all pages.
    std::optional<UnsoundPage> vetWholeTree(
        PageFile &file, const std::function<void(uint32_t, uint32_t)> &told = {});

private:
    struct Shape {
        uint32_t pageSize = 0;
        uint32_t pages = 0;
        uint32_t root = 0;
        uint32_t overhead = 0;  // where a page's item offsets begin
    };
    class Walk;

    bool isVetted(uint32_t page) const { return (vetted_[page / 64] >> (page % 64) & 1) != 0; }
    void markVetted(uint32_t page) { vetted_[page / 64] |= uint64_t{1} << (page % 64); }

    Shape shape_;
    std::optional<PageDigests> digests_;
    std::vector<uint64_t> vetted_;
    // The first page of each overflow chain vetted whole, and its length.
    std::unordered_map<uint32_t, uint32_t> chains_;
    // Internal pages vetted, whole, up to kKeptBytes.
    std::unordered_map<uint32_t, std::vector<unsigned char>> internal_;
    std::size_t internalBytes_ = 0;
    // The last leaf read: a drain reads neighbours.
    uint32_t lastLeaf_ = 0;
    std::vector<unsigned char> lastLeafBytes_;
    // A chain's pages, read in one piece: kept, so that memory once touched
    // is touched again.
    std::vector<unsigned char> chainPages_;
    // The proof's digests, read a window at a time as pages need them and
    // kept: a drain's pages lie all over the file.
    std::unordered_map<uint32_t, std::vector<unsigned char>> digestWindows_;

    static constexpr std::size_t kKeptBytes = 4u << 20;
    static constexpr uint32_t kDigestWindow = 1u << 13;  // 64 KiB of digests
    // Overflow pages read in one piece, where a chain runs on.
    static constexpr uint32_t kChainRunBytes = 1u << 20;
};

}  // namespace textfind

#include "page_vetting.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace textfind {

namespace {

// The sign of Berkeley DB's default comparison: bytes, then lengths.
int compareBytes(std::string_view key, const unsigned char *bytes, std::size_t size) {
    const std::size_t common = std::min(key.size(), size);
    if (common > 0)
        if (const int c = std::memcmp(key.data(), bytes, common); c != 0) return c;
    return key.size() < size ? -1 : key.size() > size ? 1 : 0;
}

struct Overflow {
    uint32_t first;
    uint32_t length;
};

Overflow overflowAt(const unsigned char *item) {
    return {readU32(item + kOverflowFirstPageOffset), readU32(item + kOverflowLengthOffset)};
}

uint32_t entriesOf(const unsigned char *page) { return readU16(page + kPageEntriesOffset); }

}  // namespace

// One vetting, within one call: pages read through the call's file, the
// proof opened when a digest is first needed.
class VettedPages::Walk {
public:
    Walk(VettedPages &vetted, PageFile &file) : v_(vetted), file_(file) {}

    UnsoundPage unsound;

    uint32_t itemAt(const unsigned char *page, uint32_t index) const {
        return readU16(page + v_.shape_.overhead + 2 * index);
    }

    // Page `page` as a tree page one level below `parentLevel` (0: the
    // root): its bytes, or null when it is not sound.
    const unsigned char *treePage(uint32_t page, unsigned parentLevel) {
        if (page == 0 || page >= v_.shape_.pages) return unsoundAt(page, "a page outside the file");
        const unsigned char *bytes = nullptr;
        if (const auto kept = v_.internal_.find(page); kept != v_.internal_.end()) {
            bytes = kept->second.data();
        } else if (page == v_.lastLeaf_ && !v_.lastLeafBytes_.empty()) {
            bytes = v_.lastLeafBytes_.data();
        } else {
            if (!read(page, page_)) return nullptr;
            if (!v_.isVetted(page)) {
                if (const char *why = treePageProblem(page_.data(), page))
                    return unsoundAt(page, why);
                if (!digestMatches(page, page_.data())) return nullptr;
                v_.markVetted(page);
            }
            bytes = keep(page);
        }
        const unsigned char type = bytes[kPageTypeOffset];
        const unsigned level = bytes[kPageLevelOffset];
        // A page vetted in another role (an overflow page) is no tree page.
        if (type != kInternalPage && type != kLeafPage)
            return unsoundAt(page, "a page of another type in the tree");
        if (parentLevel != 0 && level + 1 != parentLevel)
            return unsoundAt(page, "a child that is not one level below its parent");
        return bytes;
    }

    // The key of item `index` of a tree page compared with `key`, as
    // Berkeley DB compares them (the pages of an overflow key vetted as they
    // are read); nothing when a page is not sound.
    std::optional<int> compareItem(std::string_view key, const unsigned char *page,
                                   uint32_t index) {
        const uint32_t at = itemAt(page, index);
        const bool leaf = page[kPageTypeOffset] == kLeafPage;
        const unsigned char *item = page + at + (leaf ? 0 : kInternalItemHeader);
        const unsigned char type = page[at + kItemTypeOffset] & ~kItemDeleted;
        const std::size_t length = readU16(page + at);
        if (type == kItemOverflow) return compareOverflow(key, overflowAt(item));
        return compareBytes(key, leaf ? item + kLeafItemHeader : item, length);
    }

    // A whole chain, as a delivery reads it: of the item's length, ending
    // there.
    bool chain(Overflow item) {
        if (const auto known = v_.chains_.find(item.first);
            known != v_.chains_.end() && known->second == item.length)
            return true;
        uint64_t total = 0;
        for (uint32_t page = item.first; page != 0;) {
            const unsigned char *bytes = overflowPage(page, item.length - total);
            if (bytes == nullptr) return false;
            total += readU16(bytes + kPageHighFreeOffset);
            // A cycle outgrows any length.
            if (total > item.length) return refuse(page, "an overflow chain longer than its item");
            page = readU32(bytes + kPageNextOffset);
        }
        if (total != item.length)
            return refuse(item.first, "an overflow chain shorter than its item");
        v_.chains_[item.first] = item.length;
        return true;
    }

    bool digestMatches(uint32_t page, const unsigned char *bytes) {
        if (!v_.digests_) return true;
        const PageDigests &digests = *v_.digests_;
        const uint32_t from = page / kDigestWindow * kDigestWindow;
        auto window = v_.digestWindows_.find(from);
        if (window == v_.digestWindows_.end()) {
            const uint32_t count = std::min(kDigestWindow, v_.shape_.pages - from);
            if (!proof_.isOpen() && !proof_.open(-1, digests.proofPath))
                return refuse(page, "the proof cannot be read");
            std::vector<unsigned char> read(std::size_t{count} * kPageDigestSize);
            if (!proof_.readAt(pageDigestOffset(digests.proof, digests.ofRecords, from), read))
                return refuse(page, "the proof cannot be read");
            window = v_.digestWindows_.emplace(from, std::move(read)).first;
        }
        const std::size_t at = std::size_t{page - from} * kPageDigestSize;
        if (at + kPageDigestSize <= window->second.size() &&
            readU64(window->second.data() + at) ==
                pageDigest(page, std::span(bytes, v_.shape_.pageSize)))
            return true;
        return refuse(page, "a page that is not what the builder wrote");
    }

private:
    // Keeps why the page is not sound; null, or false, for the caller.
    std::nullptr_t unsoundAt(uint32_t page, const char *why) {
        unsound = {page, why};
        return nullptr;
    }
    bool refuse(uint32_t page, const char *why) {
        unsound = {page, why};
        return false;
    }

    bool inFile(uint32_t page, uint32_t self) const {
        return page != 0 && page < v_.shape_.pages && page != self;
    }

    // Why the bytes of tree page `page` are not sound; null when they are.
    const char *treePageProblem(const unsigned char *p, uint32_t page) const {
        const Shape &shape = v_.shape_;
        if (readU32(p + kPageNumberOffset) != page) return "a page whose number is not its place";
        const unsigned char type = p[kPageTypeOffset];
        const unsigned level = p[kPageLevelOffset];
        if (type != kInternalPage && type != kLeafPage) return "a page of another type in the tree";
        if (level == 0 || (type == kLeafPage) != (level == 1))
            return "a page whose level does not fit its type";
        const uint32_t entries = entriesOf(p);
        const uint32_t offsetsEnd = shape.overhead + 2 * entries;
        const uint32_t lowest = readU16(p + kPageHighFreeOffset);
        if (offsetsEnd > shape.pageSize || lowest < offsetsEnd || lowest > shape.pageSize)
            return "a page whose items overrun it";
        // Berkeley DB retries an internal page without entries for good.
        if (type == kInternalPage && entries == 0) return "an internal page without entries";
        if (type == kLeafPage && entries % 2 != 0) return "a leaf whose items are not in pairs";
        for (uint32_t i = 0; i < entries; ++i) {
            const uint32_t at = itemAt(p, i);
            if (at < lowest) return "an item outside its page";
            if (const char *why = type == kLeafPage ? leafItemProblem(p, page, at, i % 2 == 0)
                                                    : internalItemProblem(p, page, at))
                return why;
        }
        return nullptr;
    }

    const char *overflowItemProblem(const unsigned char *item, uint32_t self) const {
        const Overflow overflow = overflowAt(item);
        if (!inFile(overflow.first, self)) return "an overflow item whose chain is not in the file";
        if (overflow.length == 0) return "an overflow item of no length";
        return nullptr;
    }

    const char *leafItemProblem(const unsigned char *p, uint32_t page, uint32_t at,
                                bool key) const {
        const uint32_t size = v_.shape_.pageSize;
        if (at + kLeafItemHeader > size) return "an item outside its page";
        switch (p[at + kItemTypeOffset] & ~kItemDeleted) {
        case kItemBytes:
            return at + kLeafItemHeader + readU16(p + at) > size ? "an item outside its page"
                                                                 : nullptr;
        case kItemOverflow:
            if (at + kOverflowItemSize > size) return "an item outside its page";
            return overflowItemProblem(p + at, page);
        case kItemDuplicates:
            return key ? "a key of another type" : "duplicates in a tree of their own";
        default: return "an item of another type";
        }
    }

    const char *internalItemProblem(const unsigned char *p, uint32_t page, uint32_t at) const {
        const uint32_t size = v_.shape_.pageSize;
        if (at + kInternalItemHeader > size) return "an item outside its page";
        const uint32_t length = readU16(p + at);
        if (at + kInternalItemHeader + length > size) return "an item outside its page";
        if (!inFile(readU32(p + at + kInternalChildOffset), page))
            return "a child that is not in the file";
        switch (p[at + kItemTypeOffset] & ~kItemDeleted) {
        case kItemBytes: return nullptr;
        case kItemOverflow:
            if (length != kOverflowItemSize) return "an overflow key of another size";
            return overflowItemProblem(p + at + kInternalItemHeader, page);
        default: return "an item of another type";
        }
    }

    // The pages of an overflow key that a comparison with `key` reads: as
    // Berkeley DB compares, page by page, until the key ends.
    std::optional<int> compareOverflow(std::string_view key, Overflow item) {
        uint32_t left = item.length;  // wraps as Berkeley DB's does
        std::size_t at = 0;
        for (uint32_t page = item.first; at < key.size() && page != 0;) {
            const unsigned char *bytes = overflowPage(page, key.size() - at);
            if (bytes == nullptr) return std::nullopt;
            const std::size_t compared =
                std::min<std::size_t>(readU16(bytes + kPageHighFreeOffset), key.size() - at);
            left -= static_cast<uint32_t>(compared);
            if (const int c = std::memcmp(key.data() + at, bytes + v_.shape_.overhead, compared);
                c != 0)
                return c;
            at += compared;
            page = readU32(bytes + kPageNextOffset);
        }
        if (at < key.size()) return 1;
        return left > 0 ? -1 : 0;
    }

    // Page `page` of a chain, with `ahead` bytes of the item still to come:
    // a chain's pages mostly follow each other, so those that may hold them
    // are read in one piece.
    const unsigned char *overflowPage(uint32_t page, uint64_t ahead) {
        const Shape &shape = v_.shape_;
        if (page == 0 || page >= shape.pages)
            return unsoundAt(page, "an overflow chain that leaves the file");
        if (page < runFirst_ || page >= runFirst_ + runPages_) {
            const uint64_t held = shape.pageSize - shape.overhead;
            const auto pages = static_cast<uint32_t>(std::min<uint64_t>(
                {(ahead + held - 1) / held, kChainRunBytes / shape.pageSize, shape.pages - page}));
            std::vector<unsigned char> &chain = v_.chainPages_;
            chain.resize(std::size_t{std::max(pages, 1u)} * shape.pageSize);
            runPages_ = 0;
            if (!file_.readAt(uint64_t{page} * shape.pageSize, chain))
                return unsoundAt(page, "a page that cannot be read");
            runFirst_ = page;
            runPages_ = std::max(pages, 1u);
        }
        const unsigned char *p =
            v_.chainPages_.data() + std::size_t{page - runFirst_} * shape.pageSize;
        if (p[kPageTypeOffset] != kOverflowPage)
            return unsoundAt(page, "an overflow chain through a page of another type");
        if (v_.isVetted(page)) return p;
        if (readU32(p + kPageNumberOffset) != page)
            return unsoundAt(page, "a page whose number is not its place");
        const uint32_t held = readU16(p + kPageHighFreeOffset);
        if (held == 0 || held > v_.shape_.pageSize - v_.shape_.overhead)
            return unsoundAt(page, "an overflow page that holds more than it can");
        if (readU32(p + kPageNextOffset) >= v_.shape_.pages)
            return unsoundAt(page, "an overflow chain that leaves the file");
        if (!digestMatches(page, p)) return nullptr;
        v_.markVetted(page);
        return p;
    }

    bool read(uint32_t page, std::vector<unsigned char> &into) {
        into.resize(v_.shape_.pageSize);
        if (file_.readAt(uint64_t{page} * v_.shape_.pageSize, into)) return true;
        unsound = {page, "a page that cannot be read"};
        return false;
    }

    // Internal pages stay, up to a bound; the last leaf stays. The bytes
    // of page_, where they now are.
    const unsigned char *keep(uint32_t page) {
        if (page_[kPageTypeOffset] == kInternalPage) {
            if (v_.internalBytes_ + page_.size() > kKeptBytes) return page_.data();
            v_.internalBytes_ += page_.size();
            return v_.internal_.emplace(page, page_).first->second.data();
        }
        v_.lastLeaf_ = page;
        std::swap(v_.lastLeafBytes_, page_);
        return v_.lastLeafBytes_.data();
    }

    VettedPages &v_;
    PageFile &file_;
    PageFile proof_;
    std::vector<unsigned char> page_;
    uint32_t runFirst_ = 0, runPages_ = 0;  // the pages chainPages_ holds
};

bool VettedPages::start(PageFile &file, uint64_t fileLength, std::optional<PageDigests> digests) {
    unsigned char head[kMetaCheckedBytes];
    if (!file.readAt(0, head) || metaPageProblem(head, fileLength)) return false;
    Shape shape;
    shape.pageSize = readU32(head + kMetaPageSizeOffset);
    shape.pages =
        static_cast<uint32_t>(std::min<uint64_t>(fileLength / shape.pageSize, UINT32_MAX));
    shape.root = readU32(head + kMetaRootOffset);
    shape.overhead = static_cast<uint32_t>(kPageHeaderSize) +
                     ((head[kMetaOptionsOffset] & 1) != 0 ? kPageChecksumSize : 0);
    if (digests) {
        const ProvenPages &proven =
            digests->ofRecords ? digests->proof.records : digests->proof.index;
        if (proven.pageSize != shape.pageSize || proven.pages != shape.pages) return false;
    }
    shape_ = shape;
    digests_ = std::move(digests);
    vetted_.assign(shape_.pages / 64 + 1, 0);
    chains_.clear();
    internal_.clear();
    internalBytes_ = 0;
    lastLeafBytes_.clear();
    digestWindows_.clear();
    // The meta page, which Berkeley DB reads at every open, against its digest.
    std::vector<unsigned char> meta(shape_.pageSize);
    Walk walk(*this, file);
    if (!file.readAt(0, meta) || !walk.digestMatches(0, meta.data())) {
        shape_ = {};
        return false;
    }
    markVetted(0);
    return true;
}

bool VettedPages::vetLookup(PageFile &file, std::string_view key, UnsoundPage *unsound,
                            std::optional<uint32_t> *itemLength) {
    Walk walk(*this, file);
    auto refuse = [&] {
        if (unsound != nullptr) *unsound = walk.unsound;
        return false;
    };
    uint32_t page = shape_.root;
    unsigned parentLevel = 0;
    // Levels fall by one a step: the walk ends.
    for (unsigned step = 0; step <= kMaxTreeLevel; ++step) {
        const unsigned char *p = walk.treePage(page, parentLevel);
        if (p == nullptr) return refuse();
        const uint32_t entries = entriesOf(p);
        if (p[kPageTypeOffset] == kLeafPage) {
            // Berkeley DB's binary search over the keys, two items a step.
            uint32_t base = 0, found = entries;
            for (uint32_t limit = entries / 2; limit != 0; limit >>= 1) {
                const uint32_t index = base + (limit >> 1) * 2;
                const std::optional<int> c = walk.compareItem(key, p, index);
                if (!c) return refuse();
                if (*c == 0) {
                    found = index;
                    break;
                }
                if (*c > 0) {
                    base = index + 2;
                    --limit;
                }
            }
            if (found == entries) return true;  // not there: nothing more is read
            // The items of the key's duplicates share its offset: any may be read.
            uint32_t first = found, last = found;
            while (first >= 2 && walk.itemAt(p, first) == walk.itemAt(p, first - 2)) first -= 2;
            while (last + 2 < entries && walk.itemAt(p, last) == walk.itemAt(p, last + 2))
                last += 2;
            // The chains walked may move the page; the data items go first.
            std::vector<Overflow> chains;
            for (uint32_t index = first; index <= last; index += 2) {
                const unsigned char *data = p + walk.itemAt(p, index + 1);
                const bool overflow = (data[kItemTypeOffset] & ~kItemDeleted) == kItemOverflow;
                if (overflow) chains.push_back(overflowAt(data));
                if (itemLength != nullptr)
                    *itemLength = overflow ? overflowAt(data).length : readU16(data);
            }
            for (const Overflow &chain : chains)
                if (!walk.chain(chain)) return refuse();
            return true;
        }
        // Berkeley DB's binary search over an internal page: its first key
        // sorts before every key; no exact match takes the child before.
        uint32_t base = 0, chosen = entries;
        for (uint32_t limit = entries; limit != 0; limit >>= 1) {
            const uint32_t index = base + (limit >> 1);
            int c = 1;
            if (index != 0) {
                const std::optional<int> compared = walk.compareItem(key, p, index);
                if (!compared) return refuse();
                c = *compared;
            }
            if (c == 0) {
                chosen = index;
                break;
            }
            if (c > 0) {
                base = index + 1;
                --limit;
            }
        }
        if (chosen == entries) chosen = base > 0 ? base - 1 : base;
        parentLevel = p[kPageLevelOffset];
        page = readU32(p + walk.itemAt(p, chosen) + kInternalChildOffset);
    }
    return refuse();
}

std::optional<UnsoundPage> VettedPages::vetWholeTree(
    PageFile &file, const std::function<void(uint32_t, uint32_t)> &told) {
    Walk walk(*this, file);
    uint32_t vetted = 0;
    std::vector<bool> reached(shape_.pages);
    std::vector<std::pair<uint32_t, unsigned>> pending = {{shape_.root, 0}};
    while (!pending.empty()) {
        const auto [page, parentLevel] = pending.back();
        pending.pop_back();
        if (page < reached.size() && reached[page])
            return UnsoundPage{page, "a page reached twice"};
        const unsigned char *p = walk.treePage(page, parentLevel);
        if (p == nullptr) return walk.unsound;
        reached[page] = true;
        if (told && ++vetted % 4096 == 0) told(vetted, shape_.pages);
        const uint32_t entries = entriesOf(p);
        std::vector<Overflow> chains;
        for (uint32_t index = 0; index < entries; ++index) {
            const uint32_t at = walk.itemAt(p, index);
            if (p[kPageTypeOffset] == kInternalPage) {
                pending.emplace_back(readU32(p + at + kInternalChildOffset), p[kPageLevelOffset]);
                if ((p[at + kItemTypeOffset] & ~kItemDeleted) == kItemOverflow)
                    chains.push_back(overflowAt(p + at + kInternalItemHeader));
            } else if ((p[at + kItemTypeOffset] & ~kItemDeleted) == kItemOverflow) {
                chains.push_back(overflowAt(p + at));
            }
        }
        for (const Overflow &chain : chains)
            if (!walk.chain(chain)) return walk.unsound;
    }
    return std::nullopt;
}

}  // namespace textfind

#include "store_damage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>

namespace test {

namespace {

enum Kind {
    kBitFlips,
    kOverwrittenRun,
    kPageHeader,
    kTruncatedMidPage,
    kTruncatedAtPage,
    kZeroedPage,
    kSwappedPages,
    kCopiedPage,
    kOtherFormat,
    kKinds
};

const char *const kKindNames[] = {
    "bit flips",        "overwritten run", "page header", "cut mid-page",   "cut at a page",
    "zero-filled page", "swapped pages",   "copied page", "another format",
};

// A Berkeley DB file's page size, from its metadata page.
std::size_t pageSize(const std::string &file) {
    uint32_t size = 0;
    if (file.size() >= 24) std::memcpy(&size, file.data() + 20, 4);
    return size >= 512 && size <= 65536 ? size : 4096;
}

std::string damage(Kind kind, const std::string &intact, const std::string &other,
                   std::mt19937 &random, std::string &what) {
    std::string file = intact;
    const std::size_t page = pageSize(intact);
    const std::size_t pages = std::max<std::size_t>(1, file.size() / page);
    auto below = [&](std::size_t n) { return n == 0 ? 0 : random() % n; };
    // Page 0 is the metadata page: damage there mostly makes the file
    // unopenable, so most damage goes to the tree's pages.
    auto treePage = [&] { return pages > 1 ? 1 + below(pages - 1) : 0; };
    switch (kind) {
    case kBitFlips: {
        const int flips = 1 + static_cast<int>(below(8));
        for (int i = 0; i < flips; ++i)
            file[below(file.size())] ^= static_cast<char>(1 << below(8));
        what = std::to_string(flips) + " bits flipped";
        break;
    }
    case kOverwrittenRun: {
        const std::size_t length = 1 + below(64);
        const std::size_t at = below(file.size() - std::min(length, file.size()));
        for (std::size_t i = at; i < at + length && i < file.size(); ++i)
            file[i] = static_cast<char>(random());
        what = std::to_string(length) + " bytes overwritten at " + std::to_string(at);
        break;
    }
    case kPageHeader: {
        const std::size_t p = treePage();
        for (std::size_t i = 0; i < 26 && p * page + i < file.size(); ++i)
            file[p * page + i] = static_cast<char>(random());
        what = "header of page " + std::to_string(p) + " overwritten";
        break;
    }
    case kTruncatedMidPage: {
        const std::size_t at = treePage() * page + 1 + below(page - 1);
        file.resize(std::min(at, file.size()));
        what = "cut at " + std::to_string(at);
        break;
    }
    case kTruncatedAtPage: {
        const std::size_t at = treePage() * page;
        file.resize(std::min(at, file.size()));
        what = "cut at page " + std::to_string(at / page);
        break;
    }
    case kZeroedPage: {
        const std::size_t p = treePage();
        std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(p * page), page, '\0');
        what = "page " + std::to_string(p) + " zero-filled";
        break;
    }
    case kSwappedPages: {
        const std::size_t a = treePage(), b = treePage();
        std::swap_ranges(file.begin() + static_cast<std::ptrdiff_t>(a * page),
                         file.begin() + static_cast<std::ptrdiff_t>((a + 1) * page),
                         file.begin() + static_cast<std::ptrdiff_t>(b * page));
        what = "pages " + std::to_string(a) + " and " + std::to_string(b) + " swapped";
        break;
    }
    case kCopiedPage: {
        const std::size_t from = treePage(), to = treePage();
        std::copy_n(intact.begin() + static_cast<std::ptrdiff_t>(from * page), page,
                    file.begin() + static_cast<std::ptrdiff_t>(to * page));
        what = "page " + std::to_string(from) + " copied over page " + std::to_string(to);
        break;
    }
    case kOtherFormat:
    case kKinds: {
        switch (below(4)) {
        case 0:
            file.clear();
            what = "empty file";
            break;
        case 1:
            file = "1\tEE\tnot a store but a catalogue line\n";
            what = "a text file";
            break;
        case 2:
            file.assign(intact.size(), '\0');
            for (char &c : file) c = static_cast<char>(random());
            what = "random bytes";
            break;
        default:
            file = other;
            what = "the other store";
            break;
        }
        break;
    }
    }
    return file;
}

}  // namespace

StoreDamage::StoreDamage(std::string index, std::string records, unsigned seed, int perKind)
    : index_(std::move(index)), records_(std::move(records)), seed_(seed), perKind_(perKind) {}

std::size_t StoreDamage::size() const { return static_cast<std::size_t>(kKinds * 2 * perKind_); }

DamagedCopy StoreDamage::copy(std::size_t n) const {
    const auto kind = static_cast<Kind>(n / (2 * static_cast<std::size_t>(perKind_)));
    const bool recordsDamaged = (n / static_cast<std::size_t>(perKind_)) % 2 == 1;
    std::mt19937 random(seed_ + static_cast<unsigned>(n) * 7919u);
    DamagedCopy copy{"", kKindNames[kind], index_, records_};
    std::string what;
    if (recordsDamaged) {
        copy.records = damage(kind, records_, index_, random, what);
        copy.name = "opere.ddb: " + what;
    } else {
        copy.index = damage(kind, index_, records_, random, what);
        copy.name = "opere.idb: " + what;
    }
    // Built front to back: GCC 12 at -O3 misreads "#" + a temporary as an
    // overlapping copy (-Wrestrict).
    std::string name = "#";
    name += std::to_string(n);
    name += ' ';
    copy.name = name + copy.name;
    return copy;
}

}  // namespace test

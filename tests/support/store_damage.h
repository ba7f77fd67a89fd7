// Damaged copies of a pair of Berkeley DB stores, the same ones for a given
// seed on every run: bit flips, overwritten runs, overwritten page headers,
// truncation mid-page and at page boundaries, zero-filled, swapped and
// copied pages, and files of other formats in place of one store.
#pragma once

#include <cstddef>
#include <string>

namespace test {

struct DamagedCopy {
    std::string name;     // what was done, e.g. "opere.ddb: page 3 zero-filled"
    std::string kind;     // the kind of damage, e.g. "zero-filled page"
    std::string index;    // the bytes of opere.idb
    std::string records;  // the bytes of opere.ddb
};

class StoreDamage {
public:
    // `index` and `records` are the intact files' bytes; `perKind` copies of
    // each kind of damage are made for each of the two files.
    StoreDamage(std::string index, std::string records, unsigned seed, int perKind);

    std::size_t size() const;
    DamagedCopy copy(std::size_t n) const;

private:
    std::string index_, records_;
    unsigned seed_;
    int perKind_;
};

}  // namespace test

// What textfind-search says beside a query's answer: why it found nothing,
// and what its selector left out. Read from the stores with the library's
// own code, apart from the host's loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace textfind::search {

// The selector that takes every category.
inline constexpr const char *kEveryCategory = "**EE;MM";

struct Diagnosis {
    std::vector<std::string> stopWords;  // the query's words that are stop words
    std::vector<std::string> absent;     // its words that no record holds
    // The records the query finds in every category.
    std::size_t everyCategory = 0;
    // The category codes of the records that hold its words, when the
    // selector took none of them.
    std::vector<std::string> categories;
};

// `query` in the stores' code page, from the current folder's stores;
// `found` is what the query's selector let through.
Diagnosis diagnose(std::string_view query, int32_t mode, std::size_t found);

}  // namespace textfind::search

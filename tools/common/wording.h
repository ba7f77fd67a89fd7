// How the tools say a count: "1 record", "2 records".
#pragma once

#include <cstdint>
#include <string>

namespace tools {

inline std::string counted(std::uint64_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace tools

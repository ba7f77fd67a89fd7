// Reading back the tools' --json output in tests: a small parser of objects,
// arrays, strings, numbers, booleans and null. \uXXXX escapes below 0x100
// give that byte, as the tools write bytes they cannot show as UTF-8.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace test {

struct JsonValue {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = Kind::kNull;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // Throws std::out_of_range for a missing member or item.
    const JsonValue &operator[](const std::string &name) const { return members.at(name); }
    const JsonValue &operator[](std::size_t index) const { return items.at(index); }
    bool has(const std::string &name) const { return members.count(name) != 0; }
    int64_t integer() const { return static_cast<int64_t>(number); }
};

// Throws std::runtime_error for text that is not one JSON value.
JsonValue parseJson(std::string_view text);

}  // namespace test

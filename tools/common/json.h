// Writing JSON for the tools' --json output: objects, arrays and values,
// with commas placed as they go. Strings are bytes: valid UTF-8 passes
// through, any other byte is written as \u00XX (the byte's value).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

class JsonWriter {
public:
    JsonWriter &beginObject();
    JsonWriter &endObject();
    JsonWriter &beginArray();
    JsonWriter &endArray();
    JsonWriter &key(std::string_view name);
    JsonWriter &value(std::string_view text);
    JsonWriter &value(const char *text) { return value(std::string_view(text)); }
    JsonWriter &value(int64_t number);
    JsonWriter &value(uint64_t number);
    JsonWriter &value(int number) { return value(static_cast<int64_t>(number)); }
    JsonWriter &value(bool flag);
    JsonWriter &null();

    const std::string &text() const { return out_; }

private:
    void separate();
    std::string out_;
    std::vector<bool> first_;  // per open container: nothing written in it yet
    bool afterKey_ = false;
};

std::string jsonString(std::string_view bytes);

}  // namespace tools

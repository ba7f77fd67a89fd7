#include "json.h"

#include <cstdio>

#include "utf8.h"

namespace tools {

std::string jsonString(std::string_view bytes) {
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\r') {
            out += "\\r";
            ++i;
        } else if (c == '\t') {
            out += "\\t";
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t length = utf8CharacterLength(bytes, i)) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
            ++i;
        }
    }
    return out + "\"";
}

void JsonWriter::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) out_ += ", ";
        first_.back() = false;
    }
}

JsonWriter &JsonWriter::beginObject() {
    separate();
    out_ += '{';
    first_.push_back(true);
    return *this;
}

JsonWriter &JsonWriter::endObject() {
    out_ += '}';
    first_.pop_back();
    return *this;
}

JsonWriter &JsonWriter::beginArray() {
    separate();
    out_ += '[';
    first_.push_back(true);
    return *this;
}

JsonWriter &JsonWriter::endArray() {
    out_ += ']';
    first_.pop_back();
    return *this;
}

JsonWriter &JsonWriter::key(std::string_view name) {
    separate();
    out_ += jsonString(name) + ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter &JsonWriter::value(std::string_view text) {
    separate();
    out_ += jsonString(text);
    return *this;
}

JsonWriter &JsonWriter::value(int64_t number) {
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter &JsonWriter::value(uint64_t number) {
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter &JsonWriter::value(bool flag) {
    separate();
    out_ += flag ? "true" : "false";
    return *this;
}

JsonWriter &JsonWriter::null() {
    separate();
    out_ += "null";
    return *this;
}

}  // namespace tools

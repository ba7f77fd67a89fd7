// The tools' JSON writer: whatever the input builds (objects, arrays, keys
// and strings of any bytes, numbers, booleans, null), the text must be JSON
// as RFC 8259 has it (UTF-8 throughout) and read back to the same values:
// a string's valid UTF-8 characters as they are, any other byte as the
// character of its value. Input: a program, one operation a byte, string
// lengths and numbers from the bytes after it.
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "json.h"
#include "models.h"

namespace {

struct Value {
    enum Kind { kNull, kFalse, kTrue, kNumber, kString, kArray, kObject } kind = kNull;
    std::string text;               // a number's digits; a string's characters, UTF-8
    std::vector<Value> items;       // an array's values
    std::vector<std::string> keys;  // an object's keys, in order
    std::vector<Value> members;     // and their values
    bool operator==(const Value &) const = default;
};

void appendUtf8(std::string &out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// What a reader gets back from the bytes written as a string.
std::string readBack(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        if (const auto c = model::utf8At(bytes, i)) {
            out.append(bytes.substr(i, c->length));
            i += c->length;
        } else {
            appendUtf8(out, static_cast<unsigned char>(bytes[i++]));
        }
    }
    return out;
}

// A strict reader: nothing but one value and white space, UTF-8 strings
// without raw control characters, escapes that name characters.
class Reader {
public:
    explicit Reader(std::string_view text) : s_(text) {}

    Value document() {
        Value v = value();
        space();
        FUZZ_CHECK(at_ == s_.size(), "one value and nothing after it");
        return v;
    }

private:
    char peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }
    void expect(char c) {
        FUZZ_CHECK(peek() == c, "the grammar's next character");
        ++at_;
    }
    void space() {
        while (at_ < s_.size() &&
               (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\t' || s_[at_] == '\r'))
            ++at_;
    }
    bool literal(std::string_view word) {
        if (s_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    Value value() {
        space();
        Value v;
        const char c = peek();
        if (c == '{') {
            v.kind = Value::kObject;
            ++at_;
            space();
            if (peek() == '}') return ++at_, v;
            for (;;) {
                space();
                v.keys.push_back(string());
                space();
                expect(':');
                v.members.push_back(value());
                space();
                if (peek() == '}') return ++at_, v;
                expect(',');
            }
        }
        if (c == '[') {
            v.kind = Value::kArray;
            ++at_;
            space();
            if (peek() == ']') return ++at_, v;
            for (;;) {
                v.items.push_back(value());
                space();
                if (peek() == ']') return ++at_, v;
                expect(',');
            }
        }
        if (c == '"') {
            v.kind = Value::kString;
            v.text = string();
            return v;
        }
        if (literal("null")) return v;
        if (literal("true")) return v.kind = Value::kTrue, v;
        if (literal("false")) return v.kind = Value::kFalse, v;
        v.kind = Value::kNumber;
        const std::size_t start = at_;
        if (peek() == '-') ++at_;
        FUZZ_CHECK(peek() >= '0' && peek() <= '9', "a number's first digit");
        if (peek() == '0') {
            ++at_;
        } else {
            while (peek() >= '0' && peek() <= '9') ++at_;
        }
        v.text = std::string(s_.substr(start, at_ - start));
        return v;
    }

    unsigned hex4() {
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = peek();
            ++at_;
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            FUZZ_CHECK(d >= 0, "four hex digits after \\u");
            v = v << 4 | static_cast<unsigned>(d);
        }
        return v;
    }

    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            FUZZ_CHECK(at_ < s_.size(), "a string is closed");
            const auto b = static_cast<unsigned char>(s_[at_]);
            if (b == '"') return ++at_, out;
            FUZZ_CHECK(b >= 0x20, "no raw control character in a string");
            if (b == '\\') {
                ++at_;
                const char e = peek();
                ++at_;
                static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
                if (e == 'u') {
                    const unsigned c = hex4();
                    FUZZ_CHECK(c < 0xD800 || c > 0xDFFF, "no lone surrogate escaped");
                    appendUtf8(out, c);
                } else {
                    const std::size_t k = kFrom.find(e);
                    FUZZ_CHECK(k != std::string_view::npos, "a known escape");
                    out += kTo[k];
                }
                continue;
            }
            const auto c = model::utf8At(s_, at_);
            FUZZ_CHECK(c.has_value(), "strings are UTF-8");
            out.append(s_.substr(at_, c->length));
            at_ += c->length;
        }
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

class Program {
public:
    Program(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string_view bytes() {
        const std::size_t wanted = byte() % 24;  // before size_ - at_: it moves at_
        const std::size_t n = std::min(wanted, size_ - at_);
        const std::string_view s(reinterpret_cast<const char *>(data_) + at_, n);
        at_ += n;
        return s;
    }
    uint64_t number() {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = v << 8 | byte();
        return v;
    }

private:
    const uint8_t *data_;
    size_t size_;
    std::size_t at_ = 0;
};

// Writes one value from the program, and what it must read back as.
void write(Program &program, tools::JsonWriter &json, Value &expected, int depth) {
    const uint8_t op = program.byte();
    switch (depth > 32 ? op % 6 : op % 8) {
    case 0: json.null(); break;
    case 1: {
        const bool flag = program.byte() & 1;
        json.value(flag);
        expected.kind = flag ? Value::kTrue : Value::kFalse;
        break;
    }
    case 2: {
        const auto n = static_cast<int64_t>(program.number());
        json.value(n);
        expected.kind = Value::kNumber;
        expected.text = std::to_string(n);
        break;
    }
    case 3: {
        const uint64_t n = program.number();
        json.value(n);
        expected.kind = Value::kNumber;
        expected.text = std::to_string(n);
        break;
    }
    case 4:
    case 5: {
        const std::string_view s = program.bytes();
        json.value(s);
        expected.kind = Value::kString;
        expected.text = readBack(s);
        break;
    }
    case 6: {
        json.beginArray();
        expected.kind = Value::kArray;
        for (unsigned n = program.byte() % 5; n > 0 && !program.done(); --n)
            write(program, json, expected.items.emplace_back(), depth + 1);
        json.endArray();
        break;
    }
    default: {
        json.beginObject();
        expected.kind = Value::kObject;
        for (unsigned n = program.byte() % 5; n > 0 && !program.done(); --n) {
            const std::string_view key = program.bytes();
            json.key(key);
            expected.keys.push_back(readBack(key));
            write(program, json, expected.members.emplace_back(), depth + 1);
        }
        json.endObject();
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Program program(data, size);
    tools::JsonWriter json;
    Value expected;
    write(program, json, expected, 0);
    FUZZ_CHECK(Reader(json.text()).document() == expected, "the text reads back as written");
    FUZZ_CHECK(model::validUtf8(json.text()), "the whole text is UTF-8");
    return 0;
}

#include "json_value.h"

#include <cctype>
#include <cstdlib>

namespace test {

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    JsonValue document() {
        JsonValue v = value();
        space();
        if (at_ != s_.size()) fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const char *what) {
        throw std::runtime_error(std::string("JSON: ") + what + " at " + std::to_string(at_));
    }
    void space() {
        while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
    }
    char peek() {
        space();
        if (at_ >= s_.size()) fail("unexpected end");
        return s_[at_];
    }
    void expect(char c) {
        if (peek() != c) fail("unexpected character");
        ++at_;
    }
    bool literal(std::string_view word) {
        if (s_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    std::string string() {
        expect('"');
        std::string out;
        while (true) {
            if (at_ >= s_.size()) fail("string never closed");
            const char c = s_[at_++];
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= s_.size()) fail("escape cut short");
            const char e = s_[at_++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                const unsigned code = std::stoul(std::string(s_.substr(at_, 4)), nullptr, 16);
                at_ += 4;
                if (code < 0x100) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | code >> 6);
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | code >> 12);
                    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default: out += e;
            }
        }
    }
    JsonValue value() {
        JsonValue v;
        const char c = peek();
        if (c == '{') {
            v.kind = JsonValue::Kind::kObject;
            ++at_;
            if (peek() == '}') {
                ++at_;
                return v;
            }
            while (true) {
                std::string name = string();
                expect(':');
                v.members[name] = value();
                if (peek() == ',') {
                    ++at_;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.kind = JsonValue::Kind::kArray;
            ++at_;
            if (peek() == ']') {
                ++at_;
                return v;
            }
            while (true) {
                v.items.push_back(value());
                if (peek() == ',') {
                    ++at_;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = JsonValue::Kind::kString;
            v.text = string();
            return v;
        }
        if (literal("true") || literal("false")) {
            v.kind = JsonValue::Kind::kBool;
            v.flag = s_[at_ - 1] == 'e' && s_[at_ - 2] == 'u';
            return v;
        }
        if (literal("null")) return v;
        char *end = nullptr;
        const std::string rest(s_.substr(at_, 32));
        v.number = std::strtod(rest.c_str(), &end);
        if (end == rest.c_str()) fail("no value");
        at_ += static_cast<std::size_t>(end - rest.c_str());
        v.kind = JsonValue::Kind::kNumber;
        return v;
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

}  // namespace

JsonValue parseJson(std::string_view text) { return Parser(text).document(); }

}  // namespace test

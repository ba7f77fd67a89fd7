// Which postings of a word a category selector accepts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace textfind {

// The code stored in a posting's two bytes: it ends at the first NUL, so it
// holds 0, 1 or 2 characters.
std::string_view postingCategoryCode(const char (&bytes)[2]);

// Codes are found anywhere in the selector as plain substrings; ';' has no
// meaning of its own. A selector starting with "**" accepts every code that
// "EE;MM" does not contain. A code with a small first letter is compared with
// that letter capitalised and is also accepted when the selector lacks "EE"
// and either holds "MM" or the code is "MM".
bool categoryAccepts(std::string_view selector, std::string_view code);

// categoryAccepts for one selector, asked with a posting's two raw category
// bytes (first | second << 8): each pair is decided the first time it is
// asked, then remembered until another selector is chosen. A query asks for
// every posting; the rule's substring searches run once per distinct code.
class CategoryDecisions {
public:
    // What answer() gives for a pair not decided yet.
    static constexpr uint8_t kUndecided = 0x80;

    // Forgets every decision unless the selector is the one chosen last.
    void choose(std::string_view selector);

    // The remembered answer: 1 accepted, 0 refused, or kUndecided.
    uint8_t answer(uint32_t pair) const { return answers_[pair & 0xFFFF]; }
    // Decides a pair and remembers the answer.
    bool decide(uint32_t pair);

    bool accepts(uint32_t pair) {
        const uint8_t a = answer(pair);
        return a == kUndecided ? decide(pair) : a == 1;
    }

private:
    std::string selector_;
    bool chosen_ = false;
    std::array<uint8_t, 0x10000> answers_{};
};

}  // namespace textfind

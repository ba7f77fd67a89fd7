#include "category_filter.h"

namespace textfind {

std::string_view postingCategoryCode(const char (&bytes)[2]) {
    if (bytes[0] == '\0') return std::string_view(bytes, 0);
    if (bytes[1] == '\0') return std::string_view(bytes, 1);
    return std::string_view(bytes, 2);
}

bool categoryAccepts(std::string_view selector, std::string_view code) {
    char folded[2] = {};
    for (std::size_t i = 0; i < code.size() && i < 2; ++i) folded[i] = code[i];
    const std::string_view c(folded, code.size() < 2 ? code.size() : 2);

    bool lowercaseRule = false;
    if (!c.empty() && folded[0] >= 'a' && folded[0] <= 'z') {
        folded[0] = static_cast<char>(folded[0] - ('a' - 'A'));
        lowercaseRule = selector.find("EE") == std::string_view::npos &&
                        (selector.find("MM") != std::string_view::npos || c == "MM");
    }
    constexpr std::string_view kNamedCodes = "EE;MM";
    if (selector.starts_with("**") && kNamedCodes.find(c) == std::string_view::npos) return true;
    if (lowercaseRule) return true;
    return selector.find(c) != std::string_view::npos;
}

void CategoryDecisions::choose(std::string_view selector) {
    if (chosen_ && selector == selector_) return;
    selector_.assign(selector);
    answers_.fill(kUndecided);
    chosen_ = true;
}

bool CategoryDecisions::decide(uint32_t pair) {
    const char bytes[2] = {static_cast<char>(pair & 0xFF), static_cast<char>(pair >> 8 & 0xFF)};
    const bool accepted = categoryAccepts(selector_, postingCategoryCode(bytes));
    answers_[pair & 0xFFFF] = accepted ? 1 : 0;
    return accepted;
}

}  // namespace textfind

// Which postings of a word a category selector accepts.
#pragma once

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

}  // namespace textfind

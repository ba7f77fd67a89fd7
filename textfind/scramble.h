// Record texts are stored XORed with kScrambleKey (format.h), restarting at
// every record; applying it twice gives the text back.
#pragma once

#include <span>

#include "format.h"

namespace textfind {

void scrambleInPlace(std::span<char> bytes);

}  // namespace textfind

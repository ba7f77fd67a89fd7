// The ways a host names a file to be written that Windows has, held to what
// a plain open for writing does: a read-only attribute refuses, the file is
// written in place (attributes and hard links kept), another holder's
// sharing decides, devices are written directly.
#pragma once

#include <functional>
#include <string>

#include "runner.h"

namespace test {

// Writes `content` to `destination` through the export; its result.
using DestinationWrite = std::function<long(const char *destination, const std::string &content)>;

void destinationCases(const char *exportName, const DestinationWrite &write, long done,
                      long refused);

// Text without line ends or 0x1A: a text copy leaves it as it is.
std::string binaryText(size_t size);

}  // namespace test

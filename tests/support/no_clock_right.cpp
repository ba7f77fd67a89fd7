// Linked into every test program here: whatever a test does, its process
// cannot change the machine's clock.
#include "clock_right.h"

namespace {
const bool clockRightGone = (giveUpClockRight(), true);
}

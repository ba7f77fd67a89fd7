// Giving up the right to change the machine's clock, for processes that
// exercise clock code and must never move the clock.
#pragma once

// Removes CAP_SYS_TIME from every capability set this process could use,
// then aborts unless the right is gone.
void giveUpClockRight();

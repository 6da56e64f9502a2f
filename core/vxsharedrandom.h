// The game's one random sequence: every part of the game that draws random numbers draws from it, on whatever
// thread it runs, so one generator is shared under a lock. The game window warms it up at start-up by a number of
// draws that depends on the time, so each run starts at a different point of the sequence.
#pragma once

#include <cstdint>

std::uint16_t VXSharedRnd();
int VXSharedRandom(int n);  // uniform in 0..n-1; -1 when n < 1
// Starts the sequence again from the generator's first state, so that what follows can be told in advance (tests).
void VXSharedRandomReset();

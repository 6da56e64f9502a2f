// The program's entry. The game itself is not assembled yet: until it is, the program says what exists.
#include <cstdio>

#include "platform/process.h"

int main(int argc, char** argv) {
  platform::process::SetCommandLine(argc, argv);
  std::printf(
      "qorm: the game cannot start yet.\n"
      "Built so far: the core library (strings, memory manager, callbacks, byte streams, small value types,\n"
      "path and file functions) and the platform layer (text encodings, file names, process facts, embedded\n"
      "resources). Run ./test.sh to build and run the tests.\n");
  return 0;
}

// The program's entry. The game itself is not assembled yet: until it is, the program says what exists.
#include <cstdio>

#include "platform/process.h"

int main(int argc, char** argv) {
  platform::process::SetCommandLine(argc, argv);
  std::printf(
      "qorm: the game cannot start yet.\n"
      "Built so far: the core library (strings, streams, pack archives and the file manager, coders, settings,\n"
      "timer), the graphics library (pictures, bitmaps, fonts, the panel tree and its widgets) and the device layer\n"
      "(display, input, sound, movies). Try tools/display_demo, tools/playsound, tools/playmovie and tools/packtool;\n"
      "run ./test.sh to build and run the tests.\n");
  return 0;
}

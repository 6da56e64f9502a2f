// The program's entry: the game thread wired to the program's screens, then the game starts (see shell/splashf.h).
#include "scenario/gamewire.h"
#include "shell/splashf.h"

int main(int argc, char** argv) {
  WireGame();
  return RunGame(argc, argv);
}

// The program's entry: the game starts (see shell/splashf.h).
#include "shell/splashf.h"

int main(int argc, char** argv) { return RunGame(argc, argv); }

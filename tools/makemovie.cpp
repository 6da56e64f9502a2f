// Writes a small MPEG-1 test movie (mpeg1video with mp2 sound): each picture one grey level, or a moving texture.
//
//   makemovie FILE [WIDTH HEIGHT FRAMES] [--busy] [--silent]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/moviefile.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: makemovie FILE [WIDTH HEIGHT FRAMES] [--busy] [--silent]\n");
    return 2;
  }
  moviefile::Spec spec;
  int number = 0;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--busy") == 0) spec.busy = true;
    else if (std::strcmp(argv[i], "--silent") == 0) spec.sound = false;
    else (number == 0 ? spec.width : number == 1 ? spec.height : spec.frames) = std::atoi(argv[i]), ++number;
  }
  if (spec.width < 16 || spec.height < 16 || spec.frames < 1) return std::fprintf(stderr, "makemovie: bad size\n"), 2;
  if (!moviefile::Write(argv[1], spec)) return std::fprintf(stderr, "makemovie: cannot write %s\n", argv[1]), 1;
  return 0;
}

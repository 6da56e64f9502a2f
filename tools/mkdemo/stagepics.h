// The adventure's stage pictures, as data/stage/stage.txt lists them: the eight backgrounds of each place
// ("bg%03d.jpg", day, evening, night and morning in fair and then in bad weather; a place seen from inside keeps
// its bad-weather pictures as PNG with an alpha plane over the window panes), the event pictures, the animated
// backgrounds ("an%03d%c.ini" with their stacked frames) in the set "EvBG", and the stage's snow flakes
// ("Snow.bmp", 44 x 14: flakes of 14, 12, 10 and 8 pixels at x 0, 14, 26 and 36) in the main data.
//
// Places: "classroom" (a classroom's window wall with desks, the sky and the town beyond the panes) and
// "riverside" (a river path under a cherry tree, the bridge and the town across the water). Events: "starfall" (a
// shower of shooting stars over the hills) and "lanterns" (floating lanterns on the river at dusk).
#pragma once

#include <string>
#include <vector>

#include "tools/mkdemo/assets.h"

namespace mkdemo {

struct StageData {
  struct Scene {
    int number;
    std::string scene;
  };
  struct Animation {
    std::string name;  // "122a": the picture number and the variant letter
    int frames, wait;
  };
  struct Person {
    int first;
    std::string person;
    std::vector<std::string> expressions;
  };
  std::vector<Scene> places, events;
  std::vector<Animation> animations;
  std::vector<Person> characters;
};

// Reads data/stage/stage.txt; throws std::runtime_error naming the file and line of a bad entry.
StageData ReadStageData(const std::string& dataFolder);

void AddStagePictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo

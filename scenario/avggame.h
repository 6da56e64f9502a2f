// The adventure as the game runs it: the host (TAvgUnit) with the real stage, the script's game commands and the
// screens the reader opens from it, made and opened together. The game thread opens it, attaches the host's panel,
// starts or resumes a scene and waits for the host's result.
//
// The music game the scenario asks for (host result 1): the request argument of the game state holds the song number
// + 100 x the event index; the adventure is closed while the song plays (its memory goes back first) and opened
// again afterwards, its scene rebuilt from the game state, and the answer (the gauge) pushed to the waiting script.
#pragma once

#include <functional>
#include <memory>

#include "scenario/avgcmd.h"
#include "scenario/avgscreens.h"
#include "scenario/avgstage.h"
#include "scenario/avgu.h"
#include "shell/commont.h"
#include "shell/systemdata.h"

class TStageUnit;
class VXFileMan;

class TAdventure {
public:
  // The stage's and the screens' system pictures come from `files` (null: the main data files when opening).
  explicit TAdventure(VXFileMan* files = nullptr);
  ~TAdventure();
  TAdventure(const TAdventure&) = delete;
  TAdventure& operator=(const TAdventure&) = delete;

  // Opens the stage, then the host with its neighbours. False when the stage cannot open; the host's own failures
  // (EGameErr) come out after everything was closed again.
  bool Open();
  void Close();
  bool IsOpen() const;

  TAvgUnit& Host() const { return *host_; }
  TStageUnit& Stage() const { return *stage_; }
  TAvgGameCommands& Commands() { return commands_; }
  TAvgGameScreens& Screens() { return screens_; }

private:
  VXFileMan* files_;
  std::unique_ptr<TStageUnit> stage_;
  TAvgStageUnit stageCalls_;
  TAvgGameCommands commands_;
  TAvgGameScreens screens_;
  std::unique_ptr<TAvgUnit> host_;
};

// The song and event number of a scenario's request: "QM%02d" of request mod 100, event index request / 100 + 1.
TSceneMusic SceneMusicOf(int request);

// The answer the script gets from a music game's result (0 cleared, 1 failed, other: stopped): the gauge, or for a
// stopped game 59 when it played itself and 0 when not.
int SceneMusicAnswer(int result, int gauge, bool autoPlay);

// Plays the music game of the request: `play` runs the song and returns its result and gauge (false: it did not
// open, answer 0). The adventure is closed meanwhile and opened again afterwards, also when `play` throws, and
// resumes with the answer on the script's stack.
using TSceneMusicPlayer = std::function<bool(const TSceneMusic& music, int& result, int& gauge)>;
void PlaySceneMusic(TAdventure& adventure, bool autoPlay, const TSceneMusicPlayer& play);

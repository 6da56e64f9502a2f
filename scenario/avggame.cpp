#include "scenario/avggame.h"

#include "scenario/stageu.h"
#include "shell/gamef.h"
#include "shell/gamestate.h"

TAdventure::TAdventure(VXFileMan* files)
    : files_(files),
      stage_(std::make_unique<TStageUnit>(nullptr)),
      stageCalls_(*stage_),
      screens_(files),
      host_(std::make_unique<TAvgUnit>(nullptr)) {
  host_->SetStage(&stageCalls_);
  host_->SetCommands(&commands_);
  host_->SetScreens(&screens_);
}

TAdventure::~TAdventure() { Close(); }

bool TAdventure::Open() {
  Close();
  VXFileMan* files = files_ != nullptr ? files_ : FileMan;
  if (GameForm != nullptr) stage_->SetDataFolder(GameForm->DataPath(""));
  if (!stage_->Open(files)) return false;
  try {
    host_->Open();
  } catch (...) {
    stage_->Close();
    throw;
  }
  return true;
}

void TAdventure::Close() {
  host_->Close();
  stage_->Close();
}

bool TAdventure::IsOpen() const { return host_->IsOpen(); }

TSceneMusic SceneMusicOf(int request) { return DecodeSceneMusic(request); }

int SceneMusicAnswer(int result, int gauge, bool autoPlay) {
  if (result == 0 || result == 1) return gauge;
  return autoPlay ? 59 : 0;
}

namespace {

void Reopen(TAdventure& adventure) {
  if (!adventure.Open()) throw EGameErr();
  adventure.Host().ResumeCurrent();
}

}  // namespace

void PlaySceneMusic(TAdventure& adventure, bool autoPlay, const TSceneMusicPlayer& play) {
  const TSceneMusic music = SceneMusicOf(GameState.GetRequestArg());
  adventure.Close();
  GameState.SetRequestAnswer(0);
  try {
    int result = 1, gauge = 0;
    if (play(music, result, gauge)) GameState.SetRequestAnswer(SceneMusicAnswer(result, gauge, autoPlay));
  } catch (...) {
    Reopen(adventure);
    throw;
  }
  Reopen(adventure);
}

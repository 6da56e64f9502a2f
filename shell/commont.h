// The running game thread's middle class: the thread body (frame hooks, the confirmation dialog, the game flow of the
// derived class, a clean end whichever way the flow stops) and the screen sequences every flow uses: the adventure
// with its configuration, save/load and movie companions, the music game the scenario asks for, one music-game
// play, a movie, and the reset of all sound channels.
//
// The adventure host, the music game and the dialog belong to higher layers of the program; the thread reaches them
// through the small interfaces below, made by the factories of TGameUnits (the program supplies the real ones,
// tests their fakes). A factory left empty is a unit the program does not have.
//
// Results. The adventure notifies 0 ended, 1 music game requested, 4 game loaded, 5 quit; the music game 0 cleared,
// 1 failed, 2 stopped by the player; a movie 0 at its end or when skipped.
//
// Ending. EGameEnd reaching the body saves the system record and the user configuration; any other exception ends
// the thread without saving and is kept on the window as the error that ended the game (and written to standard
// error), never dropped silently.
//
// Game thread, under the game lock (except inside the waits of TMainThread).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "core/vxmemman.h"
#include "core/vxstring.h"
#include "shell/gamef.h"
#include "shell/maint.h"
#include "shell/systemdata.h"

class TConfigMenu;
class TMovieUnit;
class TSaveMenu;
class TZoRGBPanel;

// Runs `undo` when the scope ends, also by an exception.
template <class Undo>
class TScopeExit {
public:
  explicit TScopeExit(Undo undo) : undo_(std::move(undo)) {}
  ~TScopeExit() { undo_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

private:
  Undo undo_;
};

// The options of one music-game play, applied in the order of the fields.
struct TMusicOptions {
  std::uint8_t timingMode = 1;
  int volumeMain = 100;
  int volumeKey = 100;
  std::uint8_t rank = 0;
  std::uint8_t wordMode = 1;
  std::uint8_t charAnime = 1;
  std::uint8_t bgAnime = 1;
  std::uint8_t autoMode = 0;
  std::uint8_t memorySave = 0;
  int eventNumber = 0;
};

// The music game for one play.
class TMusicPlay {
public:
  virtual ~TMusicPlay() = default;
  virtual void SetOptions(const TMusicOptions& options) = 0;
  virtual bool Open(TSongID song) = 0;
  virtual TZoRGBPanel* GetPanel() = 0;
  // The per-frame input handler (frames to step and the input unit).
  virtual TFrameInputHook GetInputProc() = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual void Close() = 0;
  virtual int GetGauge() = 0;
  virtual int GetScore() = 0;
  virtual std::uint32_t GetCheckValue() = 0;
};

// The adventure host. It opens its sub-screens (configuration, save and load) on the two screens it is given.
class TAdventureHost {
public:
  virtual ~TAdventureHost() = default;
  virtual bool Open(TConfigMenu* config, TSaveMenu* save) = 0;
  virtual void Close() = 0;
  virtual bool StartScene(const VXString& label) = 0;
  virtual void ResumeLoaded() = 0;   // the scene of the state a load filled
  virtual void ResumeCurrent() = 0;  // the scene of the current state (after the music game)
  virtual bool IsRunning() = 0;
  virtual TZoRGBPanel* GetPanel() = 0;
  virtual TFrameHook GetFrameProc() = 0;
};

// The yes/no dialog, alive for the whole thread body.
class TDialogHost {
public:
  virtual ~TDialogHost() = default;
  virtual bool Init() = 0;
  virtual void Release() = 0;
};

struct TGameUnits {
  std::function<std::unique_ptr<TAdventureHost>(TGameForm&)> adventure;
  std::function<std::unique_ptr<TMusicPlay>(TGameForm&)> music;
  std::function<std::unique_ptr<TDialogHost>(TGameForm&)> dialog;
};

// The song and event index of a scenario's music-game request (song number + 100 x event index).
struct TSceneMusic {
  TSongID song;
  int eventNumber;  // event index + 1
};
TSceneMusic DecodeSceneMusic(int request);

class TCommonThread : public TMainThread {
public:
  // The gauge reported for a play that neither cleared nor failed, when auto-play was asked for.
  static constexpr int kAutoStoppedGauge = 59;

  // Suspended; loads the user configuration.
  TCommonThread(TGameForm& form, TGameUnits units);
  ~TCommonThread() override;

  void SetAdventureEnd(bool on) { adventureEnd_ = on; }

  // ---- The adventure: the caller prepares the state, opens the units, starts or resumes a scene, maps its
  // result and runs the loop.
  void RunAdventure();
  void AdventureLoop();
  void MapAdventureResult();
  void OpenAdventureUnits();
  void CloseAdventureUnits();
  TAdventureHost* GetAdventure() const { return adventure_.get(); }

  void StopAllSounds();
  // One music-game play; each output may be null. Result afterwards: the music game's, or 1 when it cannot open.
  void RunMusicGame(char rank, bool autoPlay, TSongID song, int eventNumber, int* score, int* checkValue,
                    int* gauge);
  // The music game the scenario asked for (the game state's request argument); its gauge goes to the request
  // answer. The adventure units are closed for the play and reopened after it, unless the game is ending.
  virtual void PlaySceneMusic();
  // One movie of the movie folder; Result afterwards 0 when it played or was skipped, 1 when it cannot open.
  void RunMovie(bool embedded, const VXString& name);

protected:
  void Execute() override;
  // The game flow of the derived class.
  virtual void GameFlow() = 0;
  const TGameUnits& Units() const { return units_; }

  // A screen component made with the game window as owner; null when it cannot be made (its form does not load).
  // With `global`, the screen is published there while it lives (the screen's global, such as `AlbumMenu`).
  template <class T>
  struct TDeleteScreen {
    TDeleteScreen() : global(nullptr) {}
    explicit TDeleteScreen(T** g) : global(g) {}
    T** global;
    void operator()(T* p) const;
  };
  template <class T>
  using TScreen = std::unique_ptr<T, TDeleteScreen<T>>;
  template <class T>
  TScreen<T> CreateScreen(T** global = nullptr);

private:
  void ReleaseUnits();
  void ResumeAdventure();

  TGameUnits units_;
  bool adventureOpen_ = false;
  std::int8_t nextAction_ = 0;
  bool adventureEnd_ = false;
  std::unique_ptr<TDialogHost> dialog_;
  std::unique_ptr<TAdventureHost> adventure_;
  TScreen<TConfigMenu> configMenu_;
  TScreen<TSaveMenu> saveMenu_;
  TScreen<TMovieUnit> movieUnit_;
};

template <class T>
void TCommonThread::TDeleteScreen<T>::operator()(T* p) const {
  if (global != nullptr && *global == p) *global = nullptr;
  if (MemMan != nullptr)
    MemMan->Delete(p);
  else
    delete p;
}

template <class T>
TCommonThread::TScreen<T> TCommonThread::CreateScreen(T** global) {
  try {
    T* p = MemMan != nullptr ? MemMan->CreateVCL<T>(&GetForm()) : new T(&GetForm());
    if (global != nullptr) *global = p;
    return TScreen<T>(p, TDeleteScreen<T>{global});
  } catch (const std::exception&) {
    return nullptr;
  }
}

// The game thread the window starts: its flow is the title loop. It shows the title screen, waits for the player's
// choice and runs it, then comes back to the title, writing the system record after every choice:
//
//   1 start           the adventure from "GameStart"        7 sound room
//   2 load            the adventure from the loaded state    8 configuration (inside the title sequence)
//   3 free play       song select, the song, a new best      9 title left idle: the opening movie
//   4 best scores     the song-score screen                 10 exit: the game ends (records saved)
//   5 ranking         the internet ranking screen           11 extra: the adventure from "Extra"
//   6 album
//
// The opening movie "QMOP.mpg" plays once, before the first title screen. Free play unlocks system flag 61 - i when
// a played (not automatic) song "QM0<i + 1>" scores at least 60 % of its reference score, and a score above the
// stored best of the level asks for a name and stores it.
//
// The screens of higher layers (title, song select, name entry, song scores, ranking) are reached through the
// interfaces below, made by the factories of TFrontScreens. A choice whose screen the program does not have goes
// back to the title; without a title screen the frames keep running and the thread takes choices from whoever
// notifies it.
//
// Game thread, under the game lock (except inside the waits).
#pragma once

#include <functional>
#include <memory>

#include "core/vxstring.h"
#include "shell/commont.h"

class TZoRGBPanel;

// The title screen: notifies the player's choice (1-11).
class TTitleScreen {
public:
  virtual ~TTitleScreen() = default;
  virtual bool Init() = 0;
  virtual void Prepare() = 0;  // the buttons as the system record unlocks them
  virtual void StartIdle() = 0;
  virtual void StopIdle() = 0;
  virtual void Release() = 0;
  virtual TZoRGBPanel* GetPanel() = 0;
};

// The song select: notifies 0 when a song was chosen, anything else when the player left.
class TSongSelectScreen {
public:
  virtual ~TSongSelectScreen() = default;
  virtual bool Open() = 0;
  virtual bool Refresh() = 0;
  virtual void Close() = 0;
  virtual TZoRGBPanel* GetPanel() = 0;
  virtual TSongID GetSelectedSong() = 0;
};

// The name entry for a new best score.
class TNameEntryScreen {
public:
  virtual ~TNameEntryScreen() = default;
  virtual bool Open() = 0;
  virtual bool SetScore(int score) = 0;  // false: no name is asked for
  virtual VXString GetName() = 0;
  virtual void Close() = 0;
  virtual TZoRGBPanel* GetPanel() = 0;
};

// The local best scores of a level.
class TSongScoreScreen {
public:
  virtual ~TSongScoreScreen() = default;
  virtual bool Open() = 0;
  virtual bool SetLevel(int level) = 0;
  virtual void Close() = 0;
  virtual TZoRGBPanel* GetPanel() = 0;
};

// The internet ranking: notifies 1 load the ranking, 2 upload, anything else leave.
class TRankingScreen {
public:
  virtual ~TRankingScreen() = default;
  virtual bool Open() = 0;
  virtual void ShowConnecting(int level) = 0;
  virtual void LoadSongList() = 0;
  virtual void LoadRanking() = 0;
  virtual void UploadScore() = 0;
  virtual void Close() = 0;
  virtual TZoRGBPanel* GetPanel() = 0;
};

struct TFrontScreens {
  std::function<std::unique_ptr<TTitleScreen>(TGameForm&)> title;
  std::function<std::unique_ptr<TSongSelectScreen>(TGameForm&)> songSelect;
  std::function<std::unique_ptr<TNameEntryScreen>(TGameForm&)> nameEntry;
  std::function<std::unique_ptr<TSongScoreScreen>(TGameForm&)> songScore;
  std::function<std::unique_ptr<TRankingScreen>(TGameForm&)> ranking;
};

// The title choices.
enum TTitleChoice : int {
  tcNone = 0,
  tcStart = 1,
  tcLoad = 2,
  tcFreePlay = 3,
  tcBestScores = 4,
  tcRanking = 5,
  tcAlbum = 6,
  tcSoundRoom = 7,
  tcConfig = 8,
  tcIdle = 9,
  tcExit = 10,
  tcExtra = 11,
};

// The reference scores of "QM01" .. "QM05"; a song unlocks at (reference x 6) / 10, setting system flag 61 - i.
inline constexpr int kUnlockReference[5] = {87101, 97364, 85235, 95498, 196573};
inline constexpr int kFirstUnlockFlag = 61;

class TGameThread : public TCommonThread {
public:
  // Suspended; loads the user configuration and the system record.
  TGameThread(TGameForm& form, TGameUnits units, TFrontScreens screens);

  bool GetPlayOpening() const { return playOpening_; }
  void SetPlayOpening(bool on) { playOpening_ = on; }

  void TitleLoop();
  void RunTitleMenu();
  void StartGame(const VXString& label);
  void LoadGame();
  void RunFreePlay();
  void PlayFreeSong(TSongID song);
  void CheckBestScore(int score, int checkValue, TSongID song);
  VXString RunNameEntry(int score);
  void RunSongScore();
  void RunInternetRanking();
  void RunAlbum();
  void RunSoundRoom();

protected:
  void GameFlow() override { TitleLoop(); }

private:
  template <class Begin>
  void RunAdventureFrom(Begin begin);
  // Transition `kind` into `panel`, attached; panel mode until notified; detached again.
  void VisitPanel(int kind, TZoRGBPanel* panel);
  void PlaySystemVoice(const char* format);
  void ResetGameState();
  bool ConfigEvent(int event);
  bool SaveEvent(int event);

  TFrontScreens screens_;
  bool playOpening_ = true;
};

// What the program's game threads are made with (before the window starts; the program's higher layers fill it).
void SetGameWiring(TGameUnits units, TFrontScreens screens);
// The factory the launcher hands to the window: a TGameThread with the wiring above.
std::unique_ptr<Classes::TThread> MakeGameThread(TGameForm& form);

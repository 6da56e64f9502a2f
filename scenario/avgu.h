// The adventure screen: the host of the script machine. It owns the engine, the sound-effect and voice file managers,
// the text windows (TSubWinUnit) and the extra-select window (TExSelUnit), and talks to three neighbours through the
// small interfaces below: the stage (the scene's pictures and characters), the game commands of the script, and the
// screens the reader opens from the adventure (configuration, save and load, the exit question).
//
// The game thread opens the host, attaches AvgPanel to the game window, starts or resumes a scene and waits; the
// window's frame tick calls AdventureFrame, which runs the script and the reading pace: text output, waits, clicks,
// auto and skip modes, choices, the extra selection, voices, and the sub-screens. The host hands control back with
// NotifyMainThread: 0 the script ended or the reader went back to the title, 1 the script asked for the music game,
// 4 a game was loaded, 5 quit. Everything runs on the game thread under the game lock.
//
// Steps: 0 idle, 1 run the script, 2 timed wait, 3 wait for a click, 4 wait for the stage, 5 wait for the text output,
// 6 choice window opening, 7 choice window closing, 8 choice open, 9 extra-select opening, 10 extra-select closing,
// 11 extra-select open, 12 extra-select answered, 13 movie playing.
//
// Files: sound effects "se%03d" from the pack "EvSE.pak" (else the folder "EvSE_Pak"); voice v is the member
// "%010u.ogg" of "Voice\ev%05d.pak" with the pack number v / 100000, both taken unsigned (a negative id names a pack
// and member like any other, never a longer name).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/vxcallback.h"
#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"
#include "scenario/scripte.h"
#include "scenario/subwinu.h"

class TAvgUnit;
class TExSelUnit;
class TMovieUnit;
class TZoRGBBits;
class VXFileMan;

// The stage as the host drives it. The host hands it the game state's values before each rebuild.
class TAvgStage {
public:
  virtual ~TAvgStage() = default;
  virtual void Attach(TZoRGBPanel* parent) = 0;  // under the adventure's panel, below the windows
  virtual void Detach() = 0;
  virtual void SetDayPeriod(int period) = 0;
  virtual void SetWeatherCode(int code) = 0;  // the scene parameter, 0-5
  virtual void SetStageLevel(int level) = 0;  // 0-4
  virtual void SetBGCode(int picture) = 0;
  virtual void SetChars(const int numbers[3], int moveKind) = 0;
  // Rebuilds background and characters and starts the transition (0: none) at a rate in percent; true while busy.
  virtual bool ChangeStage(int transition, int ratePercent) = 0;
  // Moves the characters by the move kind given with SetChars; true while busy.
  virtual bool ChangeChars() = 0;
  // A stage effect (shaking, flashes); true while busy.
  virtual bool StartEffect(int effect) = 0;
  virtual void SetTalk(int slot, bool on) = 0;
  virtual void SetSimpleDisplay(bool on) = 0;
  virtual void Update(int elapsed, bool effectCanSkip, bool skipping) = 0;
  virtual bool IsBusy() const = 0;
  // The stage's whole picture (the quick save's thumbnail); null when it has none.
  virtual TZoRGBBits* GetPicture() = 0;
  // Where clicks on the stage's picture go (1 left, 2 right, 3 middle, as the windows report them); an empty
  // callback stops them. A stage that takes no clicks ignores it.
  virtual void SetMouseCallback(const VXBaseCallback1<bool, int>&) {}
};

// The game commands (opcodes 64-164): they change the game state and call the host's command bodies below.
class TAvgCommands {
public:
  virtual ~TAvgCommands() = default;
  // Pops the arguments from the value stack and pushes the result, as the machine's instructions do.
  virtual void RunCommand(TAvgUnit& host, TScriptEngine& engine, int opcode) = 0;
};

// The screens the reader opens from the adventure. A screen reports through the callback it was opened with; the
// host forgets a screen's callback when it closes it, so that a late report finds nothing.
class TAvgScreens {
public:
  enum TKind : int { skConfig = 1, skSave = 2, skLoad = 3, skExitConfirm = 4 };
  using TCallback = VXBaseCallback1<bool, int>;
  virtual ~TAvgScreens() = default;
  // Builds the screen; its root panel, or null when it cannot open.
  virtual TZoRGBPanel* Open(int kind, const TCallback& events) = 0;
  virtual void Close(int kind) = 0;
};

// The pack and member names of voice id (the pack "Voice\\ev%05u.pak" of id / 100000 and the member "%010u", both of
// the id taken unsigned).
void VoiceNames(int id, VXString& pack, VXString& member);

class TAvgUnit : public Classes::TComponent, public TScriptHost {
public:
  using TCallback = VXBaseCallback1<bool, int>;

  enum TStep : std::uint8_t {
    stIdle = 0,
    stRun = 1,
    stWait = 2,
    stClick = 3,
    stStage = 4,
    stText = 5,
    stChoiceOpening = 6,
    stChoiceClosing = 7,
    stChoice = 8,
    stExSelOpening = 9,
    stExSelClosing = 10,
    stExSel = 11,
    stExSelAnswered = 12,
    stMovie = 13,
  };
  enum TOverlay : int { ovNone = 0, ovLook = 1, ovMenu = 2, ovScreen = 3 };
  enum TNotify : int { nfEnded = 0, nfMusicGame = 1, nfLoaded = 4, nfQuit = 5 };
  static constexpr int kNoLimit = 0x7fffffff;
  static constexpr int kLogShown = 16;  // backlog lines shown at once

  // Loads the form resource "AvgUnit"; all state cleared, no voice pack.
  explicit TAvgUnit(Classes::TComponent* owner);
  ~TAvgUnit() override;  // closes an open host

  // The neighbours (not owned; set before Open). Without commands every game command is an error of the script;
  // without a stage nothing is drawn behind the windows; without screens the sub-screens do not open.
  void SetStage(TAvgStage* stage) { stage_ = stage; }
  void SetCommands(TAvgCommands* commands) { commands_ = commands; }
  void SetScreens(TAvgScreens* screens) { screens_ = screens; }

  // Creates the file managers (the game folder's "EvSE.pak", else "EvSE_Pak"), the engine with its scene table
  // (EGameErr when it fails) and the sub-units, all bound to the host. On an error it closes what it made and
  // rethrows.
  bool Open();
  void Close();
  bool IsOpen() const { return open_; }

  bool StartScene(const VXString& name);  // false when closed or when the engine cannot start it
  void ResumeLoaded();                    // after a saved game was loaded
  void ResumeCurrent();                   // after the music game
  bool IsRunning() const { return running_; }
  // The frame hook: `elapsed` frames since the last call; nothing for 0.
  void AdventureFrame(int elapsed);

  // ---- TScriptHost
  void RunCommand(TScriptEngine& engine, int opcode) override;
  void ShowText(const VXString& chunk, int delay) override;
  void LineFeed() override;
  void ClearPage() override;
  void SceneJumped() override;

  // ---- Command bodies for the game commands
  void ShowMessageWindow(bool on);  // the message or novel window, as the novel-mode flag says
  void SwitchNovelMode();           // after the flag changed: the other window takes over
  void RedrawPage();                // the shown window's page from the state
  void WaitTime(int ms);
  void WaitClick();
  void PlayVoice(int id, int a, int b);
  void PlaySe(int number, int a, int b);
  void PlayLoopSe(int number, bool fadeIn, int a, int b);
  // Stage commit: the state's shown picture and characters with a transition at a rate in percent.
  void ChangeStage(int transition, int ratePercent);
  void ChangeCharacters(int moveKind);
  void StartStageEffect(int effect);
  void ShowPlace(int place);
  void RefreshPlates();  // the plates jump to the state's calendar
  void OpenChoice();
  void RequestMusicGame();
  // Movies of the "Movie" folder beside the game: "QMOP.mpg", "QMED%d.mpg" (n + 1), "QM%02d.mpg" (n). Played only in
  // the window's adventure state with no sub-screen open; one that cannot be played is passed over.
  void PlayOpeningMovie();
  void PlayEndingMovie(int n);
  void PlayEventMovie(int n);
  TMovieUnit* GetMovie() const { return movie_; }
  void OpenExtraSelect(int argument);
  void Talk(int frames);  // the speaking characters talk for so many frames, and while a voice plays or text prints
  void StopTalk();
  // The reader skips now (one-shot, skip mode or Ctrl), no overlay is open and the script allows it.
  bool IsSkipping() const;
  // Voices and SEs are silenced: skip mode or Ctrl held, no overlay, skipping allowed.
  bool IsSilenced() const;

  // ---- What tests and the commands read
  int GetStep() const { return step_; }
  int GetOverlay() const { return overlay_; }
  bool GetSkipMode() const { return skipMode_; }
  bool GetAutoMode() const { return autoMode_; }
  int GetWaitCount() const { return wait_; }
  int GetVoicePack() const { return voicePack_; }
  int GetBacklogTop() const { return logTop_; }
  int GetTalkFrames() const { return talkFrames_; }
  TScriptEngine* Engine() const { return engine_.get(); }
  TSubWinUnit& Windows() const { return *windows_; }
  TExSelUnit& ExSel() const { return *exsel_; }
  VXFileMan* GetSeFiles() const { return seFiles_.get(); }

  // ---- Reader's actions (keys, buttons and clicks come here)
  void Advance();
  void RightClickAction();
  // Each false when it is not allowed now (look and backlog in steps 3 and 8, the screens and quick save and load in
  // steps 3, 8 and 11, all only with no overlay open).
  bool EnterLookMode();
  void LeaveLookMode();
  bool OpenBacklog();
  void CloseBacklog();
  void ScrollBacklog(int lines);
  bool OpenMenu();
  bool QuickSave();
  bool QuickLoad();
  bool OpenScreen(int kind);
  void CloseScreen();
  void SetSkipMode(bool on);  // turns auto mode off
  void SetAutoMode(bool on);  // turns skip mode off

  // ---- Published components and handlers (the form binds them)
  TZoRGBPanel* AvgPanel = nullptr;
  void AvgPanelKeyDown(Classes::TComponent* sender, unsigned short& key, TShiftState shift);
  void AvgPanelKeyUp(Classes::TComponent* sender, unsigned short& key, TShiftState shift);
  void AvgPanelMouseWheel(Classes::TComponent* sender, TShiftState shift, int wheelDelta, const TPoint& mousePos,
                          bool& handled);
  void AvgPanelMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);

private:
  // A screen's way back to the host: cut when the screen closes.
  struct TScreenLink {
    TAvgUnit* host = nullptr;
    int kind = 0;
    bool Event(int code);
  };
  static constexpr int kMenuOpen = -2;  // the menu's choice while it is open

  void CreateSubUnits();
  void ReleaseSubUnits();
  void ClearHostState();
  void Restart();
  void RebuildScreen();
  void RestoreSound();
  void SetStep(int step);
  bool MayLook() const;
  bool MaySave() const;
  void UpdateButtons();
  void StepSubUnits(int elapsed, bool skipping);
  void FinishOverlays();
  void CarryOutMenu(int choice);
  void RunStep();
  void RunScriptStep();
  bool StageIdle() const;
  bool VoicePlaying() const;
  bool Printing() const;
  void Notify(int result);
  void PlaySystemSe(int index) const;
  TSubWinUnit::TTextWindow& TextWindow() const;
  void ShowWaitMark(bool on);
  void AnswerClick();
  bool StageKeyChanged() const;
  void RebuildStage(int transition, int ratePercent);
  void UpdateTalk();
  void DecideChoice();
  void CloseExtraSelect();
  void DrawBacklog();
  void MakeThumbnail(std::vector<std::uint8_t>& bytes) const;
  void PlayMovie(const char* name);
  void StepMovie(int elapsed);
  void ForgetScreen();
  void ReturnFromScreen();
  void SwitchScreen(int kind);
  void AfterConfig();

  // Events of the sub-units and screens.
  bool WindowEvent(int code);
  bool ExSelEvent(int code);
  bool ScreenEvent(int kind, int code);
  void MenuDone();

  TAvgStage* stage_ = nullptr;
  TAvgCommands* commands_ = nullptr;
  TAvgScreens* screens_ = nullptr;

  bool open_ = false;
  std::uint8_t step_ = stIdle;
  std::unique_ptr<VXFileMan> seFiles_;
  std::unique_ptr<VXFileMan> voiceFiles_;
  int voicePack_ = -1;
  std::unique_ptr<TScriptEngine> engine_;
  TSubWinUnit* windows_ = nullptr;  // owned through the component tree
  TExSelUnit* exsel_ = nullptr;
  TMovieUnit* movie_ = nullptr;
  bool running_ = false;
  std::array<int, 3> stageKey_{999, 0, 0};  // picture, scene parameter, stage value last handed to the stage
  bool talkOn_ = false;
  int talkFrames_ = 0;
  bool talkShown_ = false;
  std::uint8_t oneShotSkip_ = 0;  // 1 by an advance, 2 by a right click that found nothing to open
  bool skipMode_ = false;
  bool autoMode_ = false;
  bool ctrlSkip_ = false;
  int overlay_ = ovNone;
  bool lookMode_ = false;
  bool logOpen_ = false;
  int logTop_ = 0;
  int logMax_ = 0;
  int menuChoice_ = kMenuOpen;
  std::uint8_t screenState_ = 0;  // 0 closed, 2 open
  int screenKind_ = 0;
  std::array<TScreenLink, 5> screenLinks_{};
  TZoRGBPanel* screenPanel_ = nullptr;  // the open screen's root, attached in place of AvgPanel
  int wait_ = 0;
  int autoWait_ = 0;
};

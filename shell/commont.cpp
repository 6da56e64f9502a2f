#include "shell/commont.h"

#include <cstdio>
#include <exception>

#include "device/movieu.h"
#include "platform/text.h"
#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/pconfigmenu.h"
#include "shell/psavemenu.h"
#include "shell/savefile.h"

TSceneMusic DecodeSceneMusic(int request) {
  VXString name;
  name.sprintf("QM%02d", request % 100);
  return {StrToSongId(name), request / 100 + 1};
}

TCommonThread::TCommonThread(TGameForm& form, TGameUnits units) : TMainThread(form), units_(std::move(units)) {
  LoadUserConfig(&UserConfig);
}

TCommonThread::~TCommonThread() = default;

// ---- Thread body --------------------------------------------------------------------------------------------

void TCommonThread::Execute() {
  TGameForm& form = GetForm();
  form.GetGameLock().Enter();
  bool ended = false;  // by EGameEnd or by the flow returning: the normal ways
  try {
    form.SetOnFrame(VXCallback1<TMainThread, void, int>(this, &TMainThread::CallFrameProc));
    form.SetOnFrameInput(VXCallback2<TMainThread, void, int, TDInputUnit*>(this, &TMainThread::CallInputProc));
    form.SetJoypadEnabled(true);
    try {
      if (units_.dialog) {
        dialog_ = units_.dialog(form);
        if (!dialog_ || !dialog_->Init()) QuitUnopened("the confirmation dialog");
      }
      GameFlow();
    } catch (...) {
      ReleaseUnits();
      throw;
    }
    ReleaseUnits();
    ended = true;  // the flow saw the thread terminated between two of its steps
  } catch (const EGameEnd&) {
    ended = true;
  } catch (const std::exception& e) {
    const std::string text = platform::text::Cp932ToUtf8(e.what());
    std::fprintf(stderr, "qorm: the game ended by an error: %s\n", text.c_str());
    form.SetFatalError(text);
  } catch (...) {
    std::fprintf(stderr, "qorm: the game ended by an unknown exception\n");
    form.SetFatalError("the game thread ended by an unknown exception");
  }
  if (!form.IsApplicationTerminated()) {
    if (ended) {
      SaveSystemData();
      SaveUserConfig(&UserConfig);
    }
    form.SetOnFrame({});
    form.SetOnFrameInput({});
  }
  RunDown();
}

void TCommonThread::ReleaseUnits() {
  if (GetForm().IsApplicationTerminated()) return;
  CloseAdventureUnits();
  if (dialog_) dialog_->Release();
  dialog_.reset();
}

// ---- Adventure ----------------------------------------------------------------------------------------------

void TCommonThread::OpenAdventureUnits() {
  if (adventureOpen_) return;
  TGameForm& form = GetForm();
  if (units_.adventure) adventure_ = units_.adventure(form);
  configMenu_ = CreateScreen<TConfigMenu>(&ConfigMenu);
  saveMenu_ = CreateScreen<TSaveMenu>(&SaveMenu);
  movieUnit_ = CreateScreen<TMovieUnit>();
  try {
    if (!adventure_ || !configMenu_ || !saveMenu_ || !movieUnit_) QuitUnopened("the story");
    if (!adventure_->Open(configMenu_.get(), saveMenu_.get()) || !configMenu_->Open() ||
        !saveMenu_->Init(FileMan) || !movieUnit_->Open(FileMan, true, -1))
      QuitUnopened("the story");
  } catch (...) {
    CloseAdventureUnits();
    throw;
  }
  adventureOpen_ = true;
}

void TCommonThread::CloseAdventureUnits() {
  if (GetForm().IsApplicationTerminated()) return;
  adventureOpen_ = false;
  if (adventure_) adventure_->Close();
  if (configMenu_) configMenu_->Close();
  if (saveMenu_) saveMenu_->Release();
  if (movieUnit_) movieUnit_->Close();
  adventure_.reset();
  configMenu_.reset();
  saveMenu_.reset();
  movieUnit_.reset();
}

void TCommonThread::RunAdventure() {
  TGameForm& form = GetForm();
  if (form.IsApplicationTerminated() || !adventure_) return;
  TZoRGBPanel* panel = adventure_->GetPanel();
  if (form.GetState() != 5) TransitionToPanel(0, panel);
  form.PushCursorType();
  form.AttachPanel(panel);
  SetFrameProc(adventure_->GetFrameProc());
  EnterAdventureMode();
  form.ResetFrameClock();
  if (adventure_->IsRunning()) WaitForNotify();
  SetFrameProc({});
  form.DetachPanel(panel);
  if (configMenu_) configMenu_->SetCallback({});
  if (saveMenu_) saveMenu_->SetCallback({});
  form.PopCursorType();
  MapAdventureResult();
  SaveSystemData();
}

void TCommonThread::MapAdventureResult() {
  nextAction_ = 0;
  if (adventure_ && adventure_->IsRunning()) return;
  switch (GetResult()) {
    case 1: nextAction_ = 1; break;
    case 4: nextAction_ = 4; break;
    case 5: Quit();
    default: adventureEnd_ = true; break;  // 0, and anything the host does not send
  }
}

void TCommonThread::AdventureLoop() {
  while (!Terminated() && !adventureEnd_) {
    switch (nextAction_) {
      case 1: PlaySceneMusic(); break;
      case 4:
        TransitionToBlack(0);
        if (adventure_) adventure_->ResumeLoaded();
        MapAdventureResult();
        break;
      default:
        RunAdventure();
        StopAllSounds();
        break;
    }
  }
}

// ---- Sounds -------------------------------------------------------------------------------------------------

void TCommonThread::StopAllSounds() {
  TGameForm& form = GetForm();
  if (form.IsApplicationTerminated()) return;
  if (form.IsBgmPlaying()) form.StopBgm(true);
  form.StopVoice();
  form.StopSe();
  if (form.IsLoopSePlaying()) form.StopLoopSe(true);
  if (form.IsExtraSoundPlaying()) form.StopExtraSound(false);
  form.SetBgmRate(kNormalRate);
  form.SetVoiceRate(kNormalRate);
  form.SetSeRate(kNormalRate);
  form.SetLoopSeRate(kNormalRate);
  form.SetExtraSoundRate(kNormalRate);
}

// ---- Music game ---------------------------------------------------------------------------------------------

void TCommonThread::RunMusicGame(char rank, bool autoPlay, TSongID song, int eventNumber, int* score,
                                 int* checkValue, int* gauge) {
  TGameForm& form = GetForm();
  StopBgm(true);
  TransitionToBlack(0);
  EnterWaitMode();
  if (!units_.music) {
    // A program without the music game: the play cannot open.
    for (int* out : {score, checkValue, gauge})
      if (out != nullptr) *out = 0;
    SetResult(1);
    return;
  }
  std::unique_ptr<TMusicPlay> music = units_.music(form);
  if (!music) QuitUnopened("the music game");
  const TScopeExit release([&music] {
    music->Stop();
    music->Close();
  });

  TMusicOptions options;
  options.timingMode = UserConfig.MusicTimingMode;
  options.volumeMain = UserConfig.VolumeMainPlay;
  options.volumeKey = UserConfig.VolumeKeyboard;
  options.rank = static_cast<std::uint8_t>(rank);
  options.wordMode = UserConfig.MusicWordMode;
  options.charAnime = options.bgAnime = UserConfig.MusicAnime;
  options.autoMode = MusicForceAuto.load() != 0 ? 1 : (autoPlay ? 1 : 0);
  options.memorySave = MusicMemorySave.load();
  options.eventNumber = eventNumber;
  music->SetOptions(options);
  for (int* out : {score, checkValue, gauge})
    if (out != nullptr) *out = 0;

  if (!music->Open(song)) {
    SetResult(1);
    return;
  }
  SleepWhileVoice();
  TZoRGBPanel* panel = music->GetPanel();
  TransitionToPanel(20, panel);
  form.PushCursorType();
  form.SetCursorType(-1);
  form.AttachPanel(panel);
  form.SetKeyboardEnabled(true);
  {
    // Also when the wait ends by an exception: the panel leaves the tree before the unit goes.
    const TScopeExit leave([this, &form, panel] {
      if (form.IsApplicationTerminated()) return;
      SetInputProc({});
      form.SetKeyboardEnabled(false);
      form.DetachPanel(panel);
      form.PopCursorType();
    });
    SetFrameProc({});
    SetInputProc(music->GetInputProc());
    EnterMusicMode();
    form.ResetFrameClock();
    music->Start();
    WaitForNotify();
  }

  const int result = GetResult();
  if (gauge != nullptr) *gauge = result == 0 || result == 1 ? music->GetGauge() : (autoPlay ? kAutoStoppedGauge : 0);
  if (result == 0) {
    if (score != nullptr) *score = music->GetScore();
    if (checkValue != nullptr) *checkValue = static_cast<int>(music->GetCheckValue());
  }
}

void TCommonThread::PlaySceneMusic() {
  const TSceneMusic request = DecodeSceneMusic(GameState.GetRequestArg());
  EnterHoldMode();
  CloseAdventureUnits();
  try {
    int gauge = 0;
    RunMusicGame(static_cast<char>(UserConfig.MusicRankMode), UserConfig.AvgAutoMode != 0, request.song,
                 request.eventNumber, nullptr, nullptr, &gauge);
    GameState.SetRequestAnswer(gauge);
    StopBgm(true);
    TransitionToBlack(0);
    EnterWaitMode();
  } catch (...) {
    // The game is ending: the adventure is not opened again only to be closed.
    if (Terminated() || GetForm().IsApplicationTerminated()) throw;
    ResumeAdventure();
    throw;
  }
  ResumeAdventure();
}

void TCommonThread::ResumeAdventure() {
  OpenAdventureUnits();
  adventure_->ResumeCurrent();
  MapAdventureResult();
}

// ---- Movie --------------------------------------------------------------------------------------------------

void TCommonThread::RunMovie(bool embedded, const VXString& name) {
  TGameForm& form = GetForm();
  TScreen<TMovieUnit> movie = CreateScreen<TMovieUnit>();
  if (!movie) QuitUnopened("the movie player");
  const TScopeExit release([&form, &movie] {
    if (form.IsApplicationTerminated()) {
      (void)movie.release();  // the window's run-down takes it with its owned components
      return;
    }
    movie->Stop();
    movie->Close();
  });
  movie->SetProgramFolder(form.DataPath(""));  // the movies of the game folder, wherever the program is
  if (!movie->Open(FileMan, embedded, 0)) {
    SetResult(1);
    return;
  }
  StopBgm(false);
  if (!movie->Play(name)) return;
  TZoRGBPanel* panel = movie->MoviePanel;
  form.PushCursorType();
  form.SetCursorType(-1);
  form.AttachPanel(panel);
  const TScopeExit leave([this, &form, panel] {
    if (form.IsApplicationTerminated()) return;
    SetFrameProc({});
    form.DetachPanel(panel);
    form.PopCursorType();
  });
  SetFrameProc(VXCallback1<TMovieUnit, void, int>(movie.get(), &TMovieUnit::Update));
  movie->Start();
  if (!movie->IsPlaying()) return;
  if (embedded)
    EnterPanelMode();
  else
    EnterMovieMode();
  form.ResetFrameClock();
  WaitForNotify();
}

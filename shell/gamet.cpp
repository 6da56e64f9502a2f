#include "shell/gamet.h"

#include <cstdint>
#include <utility>

#include "core/vxsharedrandom.h"
#include "shell/albummenu.h"
#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/pconfigmenu.h"
#include "shell/psavemenu.h"
#include "shell/savefile.h"
#include "shell/soundmenu.h"
#include "shell/startmarks.h"

namespace {

// Transition kinds of the title loop.
constexpr int kTitleFade = 29;      // "FadeMask16_Noise.bmp"
constexpr int kConfigFade = 24;     // "FadeMask11_Star.bmp"
constexpr int kLoadFade = 1;
constexpr int kScreenFade = 27;     // "FadeMask14_Windmill.bmp"
constexpr int kScoreFade = 23;      // "FadeMask10_StripesN.bmp"

constexpr int kTitleTrack = 1;
constexpr int kAlbumTrack = 3;
constexpr int kNameEntryTrack = 5;

constexpr int kBusyCursor = 1;

TGameUnits wiredUnits;
TFrontScreens wiredScreens;

}  // namespace

TGameThread::TGameThread(TGameForm& form, TGameUnits units, TFrontScreens screens)
    : TCommonThread(form, std::move(units)), screens_(std::move(screens)) {
  LoadSystemData();
  MarkStart("systemdata");
}

void TGameThread::PlaySystemVoice(const char* format) {
  VXString name;
  name.sprintf(format, VXSharedRandom(5) + 1);
  GetForm().PlayVoice(FileMan, name);
}

void TGameThread::ResetGameState() {
  std::uint8_t flags[8];
  std::uint8_t vars[32];
  SystemData.GetFlags(flags);
  SystemData.GetVars(vars);
  GameState.Reset();
  GameState.SetSystemFlags(flags);
  GameState.SetSystemVars(vars);
}

void TGameThread::VisitPanel(int kind, TZoRGBPanel* panel) {
  TGameForm& form = GetForm();
  TransitionToPanel(kind, panel);
  form.AttachPanel(panel);
  const TScopeExit detach([&form, panel] {
    if (!form.IsApplicationTerminated()) form.DetachPanel(panel);
  });
  EnterPanelMode();
  WaitForNotify();
}

// ---- Title loop ---------------------------------------------------------------------------------------------

void TGameThread::TitleLoop() {
  SetResult(tcNone);
  while (!Terminated()) {
    RunTitleMenu();
    switch (GetResult()) {
      case tcStart: StartGame("GameStart"); break;
      case tcLoad: LoadGame(); break;
      case tcFreePlay:
        PlaySystemVoice("SysVoice04_%02d");
        RunFreePlay();
        break;
      case tcBestScores: RunSongScore(); break;
      case tcRanking: RunInternetRanking(); break;
      case tcAlbum: RunAlbum(); break;
      case tcSoundRoom: RunSoundRoom(); break;
      case tcIdle:
        StopBgm(true);
        TransitionToWhite(0);
        RunMovie(false, "QMOP.mpg");
        break;
      case tcExit:
        PlaySystemVoice("SysVoice01_%02d");
        SaveSystemData();
        StopBgm(false);
        TransitionToBlack(0);
        SleepWhileVoice();
        Quit();
      case tcExtra: StartGame("Extra"); break;
      default: break;
    }
    SaveSystemData();
  }
  StopBgm(false);
}

bool TGameThread::ConfigEvent(int event) {
  if (event == 6) NotifyMainThread(0);
  return true;
}

bool TGameThread::SaveEvent(int event) {
  if (event == 5) NotifyMainThread(tcLoad);
  if (event == 6) NotifyMainThread(0);
  return true;
}

void TGameThread::RunTitleMenu() {
  if (!screens_.title) {
    // No title screen: the frames keep running and whoever notifies chooses.
    WaitForNotify();
    return;
  }
  TransitionToBlack(0);
  MarkStart("black");
  EnterWaitMode();
  TGameForm& form = GetForm();
  std::unique_ptr<TTitleScreen> title = screens_.title(form);
  TScreen<TConfigMenu> config = CreateScreen<TConfigMenu>(&ConfigMenu);
  TScreen<TSaveMenu> save = CreateScreen<TSaveMenu>(&SaveMenu);
  if (!title || !config || !save) QuitUnopened("the title screen");
  const TScopeExit release([&] {
    if (form.IsApplicationTerminated()) return;
    config->SetCallback({});
    save->SetCallback({});
    title->Release();
    config->Close();
    save->Release();
  });
  if (!title->Init() || !config->Open() || !save->Init(FileMan)) QuitUnopened("the title screen");
  config->SetCallback(VXCallback1<TGameThread, bool, int>(this, &TGameThread::ConfigEvent));
  save->SetCallback(VXCallback1<TGameThread, bool, int>(this, &TGameThread::SaveEvent));
  MarkStart("titlescreens");

  if (playOpening_) {
    RunMovie(false, "QMOP.mpg");
    playOpening_ = false;
  }
  title->Prepare();
  PlayBgm(kTitleTrack, true, true);
  MarkStart("titlemusic");
  TZoRGBPanel* titlePanel = title->GetPanel();
  TransitionToPanel(kTitleFade, titlePanel);
  form.AttachPanel(titlePanel);
  const TScopeExit detach([&form, titlePanel] {
    if (!form.IsApplicationTerminated()) form.DetachPanel(titlePanel);
  });

  SetResult(tcNone);
  for (;;) {
    while (GetResult() == tcNone) {
      SetAdventureEnd(false);
      title->StartIdle();
      EnterPanelMode();
      WaitForNotify();
      title->StopIdle();
    }
    const int choice = GetResult();
    if (choice == tcConfig) {
      form.DetachPanel(titlePanel);
      config->RefreshAll();
      form.AttachPanel(config->ConfigPanel);
      TransitionToPanel(kConfigFade, form.GetRootPanel());
      EnterPanelMode();
      WaitForNotify();
      SaveUserConfig(&UserConfig);
      form.DetachPanel(config->ConfigPanel);
      form.AttachPanel(titlePanel);
      if (GetResult() == 0) TransitionToPanel(kConfigFade, form.GetRootPanel());
      continue;
    }
    if (choice == tcLoad) {
      ResetGameState();
      save->Open(true);
      PlaySystemVoice("SysVoice03_%02d");
      form.AttachPanel(save->SaveMenuWin);
      TransitionToPanel(kLoadFade, form.GetRootPanel());
      EnterPanelMode();
      WaitForNotify();
      form.DetachPanel(save->SaveMenuWin);
      if (GetResult() == 0) TransitionToPanel(kLoadFade, form.GetRootPanel());
      save->Close();
      if (GetResult() == tcLoad) break;
      continue;
    }
    if (choice == tcExit) WaitWhileVoice();
    if (choice == tcStart) ResetGameState();
    break;
  }
}

// ---- Adventure ----------------------------------------------------------------------------------------------

template <class Begin>
void TGameThread::RunAdventureFrom(Begin begin) {
  TGameForm& form = GetForm();
  form.PushCursorType();
  form.SetCursorType(0);
  const TScopeExit close([this, &form] {
    CloseAdventureUnits();
    if (!form.IsApplicationTerminated()) form.PopCursorType();
  });
  StopBgm(true);
  TransitionToBlack(0);
  EnterWaitMode();
  OpenAdventureUnits();
  begin(*GetAdventure());
  MapAdventureResult();
  AdventureLoop();
}

void TGameThread::StartGame(const VXString& label) {
  RunAdventureFrom([this, &label](TAdventureHost& host) {
    // A scene that does not start is an adventure that has ended, not the title's choice read as its answer.
    if (!host.StartScene(label)) SetResult(0);
    SleepWhileVoice();
  });
}

void TGameThread::LoadGame() {
  RunAdventureFrom([](TAdventureHost& host) { host.ResumeLoaded(); });
}

// ---- Free play ----------------------------------------------------------------------------------------------

void TGameThread::RunFreePlay() {
  TransitionToBlack(0);
  EnterWaitMode();
  if (!screens_.songSelect) return;
  std::unique_ptr<TSongSelectScreen> select = screens_.songSelect(GetForm());
  if (!select) QuitUnopened("the song select");
  const TScopeExit close([&select] { select->Close(); });
  if (!select->Open() || !select->Refresh()) QuitUnopened("the song select");
  for (;;) {
    VisitPanel(kScreenFade, select->GetPanel());
    SaveUserConfig(&UserConfig);
    if (GetResult() != 0) break;
    PlayFreeSong(select->GetSelectedSong());
    PlayBgm(kTitleTrack, true, true);
  }
}

void TGameThread::PlayFreeSong(TSongID song) {
  int score = 0, checkValue = 0;
  RunMusicGame(static_cast<char>(UserConfig.MusicRankMode), UserConfig.MusicAutoMode != 0, song, 0, &score,
               &checkValue, nullptr);
  const int result = GetResult();
  // A forced automatic play is automatic too: it neither unlocks nor stores a best score.
  const bool automatic = UserConfig.MusicAutoMode != 0 || MusicForceAuto.load() != 0;
  if (automatic) return;
  if (result != 2) {
    for (int i = 0; i < 5; ++i) {
      VXString name;
      name.sprintf("QM%02d", i + 1);
      if (StrToSongId(name) != song) continue;
      if (score >= kUnlockReference[i] * 6 / 10) SystemData.SetFlag(kFirstUnlockFlag - i, true);
      break;
    }
  }
  if (result == 0) CheckBestScore(score, checkValue, song);
}

void TGameThread::CheckBestScore(int score, int checkValue, TSongID song) {
  const char rank = static_cast<char>(UserConfig.MusicRankMode);
  if (score <= SystemData.GetScore(rank, song)) return;
  const VXString name = RunNameEntry(score);
  SystemData.SetResult(rank, score, name.c_str(), static_cast<std::uint32_t>(checkValue), song);
}

VXString TGameThread::RunNameEntry(int score) {
  if (!screens_.nameEntry) return {};
  std::unique_ptr<TNameEntryScreen> entry = screens_.nameEntry(GetForm());
  if (!entry) QuitUnopened("the name entry");
  const TScopeExit close([&entry] { entry->Close(); });
  if (!entry->Open()) QuitUnopened("the name entry");
  VXString name;
  if (entry->SetScore(score)) {
    PlayBgm(kNameEntryTrack, true, true);
    VisitPanel(kScreenFade, entry->GetPanel());
    name = entry->GetName();
  }
  return name;
}

// ---- Best scores and ranking --------------------------------------------------------------------------------

void TGameThread::RunSongScore() {
  if (!screens_.songScore) return;
  std::unique_ptr<TSongScoreScreen> scores = screens_.songScore(GetForm());
  if (!scores) QuitUnopened("the song scores");
  const TScopeExit close([&scores] { scores->Close(); });
  if (!scores->Open()) return;
  PlayBgm(kTitleTrack, true, true);
  if (!scores->SetLevel(UserConfig.MusicRankMode)) return;
  VisitPanel(kScoreFade, scores->GetPanel());
}

void TGameThread::RunInternetRanking() {
  if (!screens_.ranking) return;
  TGameForm& form = GetForm();
  const int level = UserConfig.MusicRankMode;
  std::unique_ptr<TRankingScreen> ranking = screens_.ranking(form);
  if (!ranking) QuitUnopened("the ranking screen");
  form.PushCursorType();
  const TScopeExit close([&form, &ranking] {
    ranking->Close();
    if (!form.IsApplicationTerminated()) form.PopCursorType();
  });
  if (!ranking->Open()) return;
  // The network calls block this thread: the wait thread keeps the picture going meanwhile.
  auto busy = [this, &form](auto call) {
    form.SetCursorType(kBusyCursor);
    EnterHoldMode();
    call();
    form.SetCursorType(0);
  };
  PlayBgm(kTitleTrack, true, true);
  ranking->ShowConnecting(level);
  TZoRGBPanel* panel = ranking->GetPanel();
  TransitionToPanel(kScoreFade, panel);
  form.AttachPanel(panel);
  const TScopeExit detach([&form, panel] {
    if (!form.IsApplicationTerminated()) form.DetachPanel(panel);
  });
  busy([&ranking] { ranking->LoadSongList(); });
  for (;;) {
    EnterPanelMode();
    WaitForNotify();
    const int result = GetResult();
    if (result == 1)
      busy([&ranking] { ranking->LoadRanking(); });
    else if (result == 2)
      busy([&ranking] { ranking->UploadScore(); });
    else
      break;
  }
}

// ---- Album and sound room -----------------------------------------------------------------------------------

void TGameThread::RunAlbum() {
  TScreen<TAlbumMenu> album = CreateScreen<TAlbumMenu>(&AlbumMenu);
  if (!album) QuitUnopened("the album");
  const TScopeExit release([&album] { album->Release(); });
  if (!album->Init(FileMan)) QuitUnopened("the album");
  PlayBgm(kAlbumTrack, true, true);
  album->Prepare();
  TransitionToPanel(kScreenFade, album->AlbumPanel);
  GetForm().AttachPanel(album->AlbumPanel);
  const TScopeExit detach([this, &album] {
    if (!GetForm().IsApplicationTerminated()) GetForm().DetachPanel(album->AlbumPanel);
  });
  SetFrameProc(VXCallback1<TAlbumMenu, void, int>(album.get(), &TAlbumMenu::Frame));
  const TScopeExit noFrames([this] { SetFrameProc({}); });
  EnterPanelMode();
  WaitForNotify();
}

void TGameThread::RunSoundRoom() {
  TScreen<TSoundMenu> sound = CreateScreen<TSoundMenu>(&SoundMenu);
  if (!sound) QuitUnopened("the sound room");
  const TScopeExit release([&sound] { sound->Release(); });
  if (!sound->Init(FileMan)) QuitUnopened("the sound room");
  StopBgm(true);
  VisitPanel(kScreenFade, sound->SoundPanel);
}

// ---- The program's game thread ------------------------------------------------------------------------------

void SetGameWiring(TGameUnits units, TFrontScreens screens) {
  wiredUnits = std::move(units);
  wiredScreens = std::move(screens);
}

std::unique_ptr<Classes::TThread> MakeGameThread(TGameForm& form) {
  return std::make_unique<TGameThread>(form, wiredUnits, wiredScreens);
}

#include "scenario/avgu.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxsharedrandom.h"
#include "device/deviceclasses.h"
#include "device/movieu.h"
#include "graphics/zorgbanime.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "platform/form.h"
#include "platform/input.h"
#include "scenario/exselu.h"
#include "scenario/subwinu.h"
#include "shell/gamedata.h"
#include "shell/gameeffect.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"
#include "shell/savefile.h"

namespace {

namespace pc = platform::component;

constexpr int kFirstCommand = 64;
constexpr int kLastCommand = 164;
constexpr int kThumbWidth = 134;
constexpr int kThumbHeight = 100;
constexpr std::uint32_t kThumbBytes = kThumbWidth * kThumbHeight * 3;  // 40,200
constexpr int kMaxRunsPerFrame = 1000;  // yields within one frame before the frame is drawn anyway

namespace vk = platform::input::vk;

enum TSystemSe : int { seOk = 0, sePage = 1, seError = 3 };

enum TMenuChoice : int {
  mcLook = 0,
  mcSkip = 1,
  mcAuto = 2,
  mcBacklog = 3,
  mcSave = 4,
  mcLoad = 5,
  mcConfig = 6,
  mcTitle = 7,
  mcQuit = 8,
};

// Milliseconds of a script as frames of the 30-per-second clock, at least 1.
int MsToFrames(int ms) { return std::max(1, static_cast<int>(static_cast<long long>(ms) * 30 / 1000)); }

void RegisterAvgUnit() {
  auto s = pc::RegisterScreen<TAvgUnit>("TAvgUnit");
  using U = TAvgUnit;
  s.OpenHandler<TKeyEvent>("AvgPanelKeyDown", "TKeyEvent", &U::AvgPanelKeyDown);
  s.OpenHandler<TKeyEvent>("AvgPanelKeyUp", "TKeyEvent", &U::AvgPanelKeyUp);
  s.OpenHandler<TMouseWheelEvent>("AvgPanelMouseWheel", "TMouseWheelEvent", &U::AvgPanelMouseWheel);
  s.OpenHandler<TMouseEvent>("AvgPanelMouseDown", "TMouseEvent", &U::AvgPanelMouseDown);
  s.Field("AvgPanel", &U::AvgPanel);
}

void RegisterClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterDeviceClasses();
    RegisterAvgUnit();
  });
}

// A name of the game folder.
VXString GamePath(const char* name) { return GameForm != nullptr ? GameForm->DataPath(name) : VXString(name); }

// A file manager on the game folder's pack, else on its folder.
std::unique_ptr<VXFileMan> OpenPackOrFolder(const char* pack, const char* folder) {
  auto files = std::make_unique<VXFileMan>();
  if (!files->InitPack(GamePath(pack))) files->InitDir(GamePath(folder));
  return files;
}

// The name of sound effect n ("se%03d").
VXString SeName(int number) {
  char name[16];
  std::snprintf(name, sizeof name, "se%03d", number);
  return name;
}

void PlayRandomSystemVoice(const char* format) {
  if (GameForm == nullptr) return;
  char name[32];
  std::snprintf(name, sizeof name, format, VXSharedRandom(5) + 1);
  GameForm->PlayVoice(FileMan, name);
}

}  // namespace

// ---- Names of voices -------------------------------------------------------------------------------------------

void VoiceNames(int id, VXString& pack, VXString& member) {
  const auto v = static_cast<std::uint32_t>(id);
  char text[40];
  std::snprintf(text, sizeof text, "Voice\\ev%05u.pak", v / 100000u);
  pack = text;
  std::snprintf(text, sizeof text, "%010u", v);
  member = text;
}

// ---- Life cycle ------------------------------------------------------------------------------------------------

TAvgUnit::TAvgUnit(Classes::TComponent* owner) : Classes::TComponent(owner) {
  RegisterClasses();
  platform::form::LoadFormResource(*this, "AvgUnit");
}

TAvgUnit::~TAvgUnit() {
  Close();
  DestroyComponents();
}

// Returns true: a missing SE pack falls back on the folder, a missing voice pack only silences the voices.
bool TAvgUnit::Open() {
  if (open_) Close();
  seFiles_ = OpenPackOrFolder("EvSE.pak", "EvSE_Pak");
  voiceFiles_ = std::make_unique<VXFileMan>();
  voicePack_ = -1;
  open_ = true;
  AvgPanel->SetCreated(true);
  try {
    engine_ = std::make_unique<TScriptEngine>(ScriptFileMan, FileMan, this);
    engine_->LoadSceneTable();
    CreateSubUnits();
  } catch (...) {
    Close();
    throw;
  }
  ClearHostState();
  return true;
}

void TAvgUnit::Close() {
  if (screenState_ != 0) ForgetScreen();
  if (movie_ != nullptr) {
    if (step_ == stMovie && GameForm != nullptr) GameForm->DetachPanel(movie_->MoviePanel);
    delete movie_;
    movie_ = nullptr;
  }
  ReleaseSubUnits();
  engine_.reset();
  seFiles_.reset();
  voiceFiles_.reset();
  voicePack_ = -1;
  AvgPanel->SetCreated(false);
  running_ = false;
  step_ = stIdle;
  open_ = false;
}

void TAvgUnit::CreateSubUnits() {
  if (stage_ != nullptr) stage_->Attach(AvgPanel);
  windows_ = new TSubWinUnit(this);
  exsel_ = new TExSelUnit(this);
  if (!windows_->Open(FileMan)) throw EGameErr();
  TSubWinUnit& w = *windows_;
  w.Novel().Attach(AvgPanel);
  w.Message().Attach(AvgPanel);
  w.Backlog().Attach(AvgPanel);
  w.Choice().Attach(AvgPanel);
  w.Plates().Attach(AvgPanel);
  w.Place().Attach(AvgPanel);
  exsel_->Attach(AvgPanel);
  w.Menu().Attach(AvgPanel);
  const TCallback events = VXCallback1<TAvgUnit, bool, int>(this, &TAvgUnit::WindowEvent);
  // A click on the scene itself counts as one on a window: most of the screen is the stage's picture.
  if (stage_ != nullptr) stage_->SetMouseCallback(events);
  w.Message().SetCallback(events);
  w.Novel().SetCallback(events);
  w.Backlog().SetCallback(events);
  w.Choice().SetCallback(events);
  w.Menu().SetCallback(VXCallback0<TAvgUnit, void>(this, &TAvgUnit::MenuDone));
  exsel_->SetFiles(FileMan);
  exsel_->SetCallback(VXCallback1<TAvgUnit, bool, int>(this, &TAvgUnit::ExSelEvent));
  w.SetMesTrans(UserConfig.MesBoxTrans);
}

// The sub-units forget the host before they go, so that nothing they do on the way out reaches it.
void TAvgUnit::ReleaseSubUnits() {
  if (exsel_ != nullptr) {
    exsel_->SetCallback({});
    exsel_->Close(true);
    exsel_->Detach();
    delete exsel_;
    exsel_ = nullptr;
  }
  if (windows_ != nullptr) {
    TSubWinUnit& w = *windows_;
    w.Message().SetCallback({});
    w.Novel().SetCallback({});
    w.Backlog().SetCallback({});
    w.Choice().SetCallback({});
    w.Menu().SetCallback({});
    w.Close();
    w.Message().Detach();
    w.Novel().Detach();
    w.Backlog().Detach();
    w.Choice().Detach();
    w.Plates().Detach();
    w.Place().Detach();
    w.Menu().Detach();
    delete windows_;
    windows_ = nullptr;
  }
  if (stage_ != nullptr) {
    stage_->SetMouseCallback({});
    stage_->Detach();
  }
}

void TAvgUnit::ClearHostState() {
  step_ = stIdle;
  running_ = false;
  stageKey_ = {999, 0, 0};
  talkOn_ = false;
  talkFrames_ = 0;
  talkShown_ = false;
  oneShotSkip_ = 0;
  skipMode_ = false;
  autoMode_ = UserConfig.AvgAutoMode != 0;
  ctrlSkip_ = false;
  overlay_ = ovNone;
  lookMode_ = false;
  logOpen_ = false;
  logTop_ = 0;
  logMax_ = 0;
  menuChoice_ = kMenuOpen;
  wait_ = 0;
  autoWait_ = 0;
}

bool TAvgUnit::StartScene(const VXString& name) {
  if (!open_ || !engine_->StartScene(name)) return false;
  Restart();
  return true;
}

void TAvgUnit::ResumeLoaded() {
  if (!open_) return;
  engine_->ResumeScene();
  Restart();
}

void TAvgUnit::ResumeCurrent() {
  if (!open_) return;
  engine_->EnsureScriptLoaded();
  Restart();
}

void TAvgUnit::Restart() {
  ClearHostState();
  RebuildScreen();
  RestoreSound();
  TGameState& s = GameState;
  const int mode = s.GetSceneMode();
  if (mode == 4) engine_->ResumeWithValue(s.GetRequestAnswer());
  else if (mode != 2 && mode != 3) engine_->ResumeWithValue(0);
  running_ = true;
  switch (mode) {
    case 1:
      ShowWaitMark(true);
      SetStep(stClick);
      autoWait_ = MsToFrames(UserConfig.AutoSkipWait);
      break;
    case 2:
      SetStep(stChoice);
      break;
    case 3:
      SetStep(stExSel);
      break;
    default:
      SetStep(stRun);
      RunScriptStep();
  }
}

void TAvgUnit::RebuildScreen() {
  TGameState& s = GameState;
  RebuildStage(0, 100);
  ShowWaitMark(false);
  TSubWinUnit& w = *windows_;
  const int mode = s.GetSceneMode();
  const bool shown = s.IsMessageWindowShown() && mode != 3;
  w.Message().Hide(true);
  w.Novel().Hide(true);
  if (shown) (s.IsNovelMode() ? w.Novel() : w.Message()).Show(true);
  RedrawPage();
  w.Message().SetAutoSkip(autoMode_, skipMode_);
  w.Plates().SyncCalendar();
  if (mode == 2) {
    w.Choice().Clear();
    for (int i = 0; i < TSubWinUnit::kChoices; ++i) w.Choice().SetChoice(i, s.GetChoiceText(i));
    w.Choice().Open(true);
  } else {
    w.Choice().Close(true);
  }
  if (mode == 3) {
    w.Message().Hide(true);
    w.Novel().Hide(true);
    exsel_->Open(true);
  } else {
    exsel_->Close(true);
  }
}

void TAvgUnit::RestoreSound() {
  if (GameForm == nullptr) return;
  TGameState& s = GameState;
  TGameForm& g = *GameForm;
  g.SetBgmRate(s.GetBgmRate());
  if (s.GetBgmTrack() >= 0) g.PlayBgm(s.GetBgmTrack(), true, false);
  else g.StopBgm(false);
  g.SetVoiceRate(s.GetVoiceRate());
  g.SetSeRate(s.GetSeRate());
  g.SetLoopSeRate(s.GetLoopSeRate());
  if (s.GetLoopSe() >= 0) g.PlayLoopSe(seFiles_.get(), false, SeName(s.GetLoopSe()), s.GetLoopSeOption(0), s.GetLoopSeOption(1));
  else g.StopLoopSe(false);
  g.SetExtraSoundRate(s.GetExtraSoundRate());
  if (s.GetExtraSound() >= 0) g.PlayExtraSound(s.GetExtraSound(), 0);
}

// ---- Steps and permissions --------------------------------------------------------------------------------------

void TAvgUnit::SetStep(int step) {
  step_ = static_cast<std::uint8_t>(step);
  UpdateButtons();
}

bool TAvgUnit::MayLook() const { return overlay_ == ovNone && (step_ == stClick || step_ == stChoice); }
bool TAvgUnit::MaySave() const {
  return overlay_ == ovNone && (step_ == stClick || step_ == stChoice || step_ == stExSel);
}

void TAvgUnit::UpdateButtons() {
  if (windows_ == nullptr) return;
  TSubWinUnit& w = *windows_;
  const bool reading = step_ == stWait || step_ == stClick || step_ == stText;
  const bool free = overlay_ == ovNone;
  w.MesLook->SetEnabled(MayLook());
  w.MesLog->SetEnabled(MayLook());
  w.MesAuto->SetEnabled(reading && free);
  w.MesSkip->SetEnabled(reading && free);
  for (TZoRGBBtn* button : {w.MesSave, w.MesLoad, w.MesConfig}) button->SetEnabled(MaySave());
}

bool TAvgUnit::IsSkipping() const {
  return overlay_ == ovNone && !GameState.IsSkipForbidden() && (oneShotSkip_ != 0 || skipMode_ || ctrlSkip_);
}

bool TAvgUnit::IsSilenced() const {
  return overlay_ == ovNone && !GameState.IsSkipForbidden() && (skipMode_ || ctrlSkip_);
}

// ---- The frame -------------------------------------------------------------------------------------------------

void TAvgUnit::AdventureFrame(int elapsed) {
  if (!open_ || elapsed <= 0) return;
  if (step_ == stMovie) {
    StepMovie(elapsed);
    if (step_ != stRun) return;
  }
  const bool skipping = IsSkipping();
  if (IsSilenced() && GameForm != nullptr) {
    GameForm->StopVoice();
    GameForm->StopSe();
  }
  if (screenState_ == 0) StepSubUnits(elapsed, skipping);
  FinishOverlays();
  if (overlay_ == ovNone && running_) RunStep();
}

void TAvgUnit::StepSubUnits(int elapsed, bool skipping) {
  if (talkFrames_ > 0) talkFrames_ = std::max(0, talkFrames_ - elapsed);
  if (stage_ != nullptr) stage_->Update(elapsed, UserConfig.EffectCanSkip != 0, skipping);
  TSubWinUnit& w = *windows_;
  w.Message().Frame(elapsed, skipping);
  w.Novel().Frame(elapsed, skipping);
  w.Backlog().Frame(elapsed, skipping);
  w.Plates().Frame(elapsed, skipping);
  w.Choice().Frame(elapsed, skipping);
  w.Place().Frame(elapsed, skipping);
  w.Menu().Frame();
  exsel_->Update(elapsed, skipping);
  if (talkOn_ && talkFrames_ == 0 && !VoicePlaying() && !Printing()) talkOn_ = false;
  UpdateTalk();
}

void TAvgUnit::FinishOverlays() {
  if (overlay_ != ovMenu || menuChoice_ == kMenuOpen) return;
  TSubWinUnit::TMenu& menu = windows_->Menu();
  if (menu.IsBusy()) return;
  const int choice = menuChoice_;
  menuChoice_ = kMenuOpen;
  overlay_ = ovNone;
  UpdateButtons();
  CarryOutMenu(choice);
}

void TAvgUnit::CarryOutMenu(int choice) {
  switch (choice) {
    case mcLook:
      EnterLookMode();
      break;
    case mcSkip:
      SetSkipMode(!skipMode_);
      break;
    case mcAuto:
      SetAutoMode(!autoMode_);
      break;
    case mcBacklog:
      OpenBacklog();
      break;
    case mcSave:
      OpenScreen(TAvgScreens::skSave);
      break;
    case mcLoad:
      OpenScreen(TAvgScreens::skLoad);
      break;
    case mcConfig:
      OpenScreen(TAvgScreens::skConfig);
      break;
    case mcTitle:
      Notify(nfEnded);
      break;
    case mcQuit:
      if (UserConfig.ExitConfirm != 0 && OpenScreen(TAvgScreens::skExitConfirm)) break;
      Notify(nfQuit);
      break;
  }
}

void TAvgUnit::RunStep() {
  switch (step_) {
    case stRun:
      RunScriptStep();
      break;
    case stWait:
      if (wait_ != kNoLimit && (IsSkipping() || --wait_ < 0)) SetStep(stRun);
      break;
    case stClick:
      if (IsSkipping()) AnswerClick();
      else if (autoMode_ && !VoicePlaying() && --autoWait_ < 0) AnswerClick();
      break;
    case stStage:
      if (StageIdle()) {
        oneShotSkip_ = 0;
        SetStep(stRun);
      }
      break;
    case stText:
      if (!windows_->Message().IsBusy() && !windows_->Novel().IsBusy() && StageIdle()) SetStep(stRun);
      break;
    case stChoiceOpening:
      if (!windows_->Choice().IsBusy()) SetStep(stChoice);
      break;
    case stChoiceClosing:
      if (!windows_->Choice().IsBusy()) SetStep(stRun);
      break;
    case stExSelOpening:
      if (!exsel_->IsBusy()) SetStep(stExSel);
      break;
    case stExSelClosing:
      if (StageIdle() && !windows_->Message().IsBusy() && !windows_->Novel().IsBusy() && !exsel_->IsBusy())
        SetStep(stRun);
      break;
  }
  if (step_ == stRun) RunScriptStep();
}

void TAvgUnit::RunScriptStep() {
  for (int runs = 0; step_ == stRun && running_ && runs < kMaxRunsPerFrame; ++runs) {
    if (engine_->RunScript()) {
      Notify(nfEnded);
      SetStep(stIdle);
      return;
    }
    if (GameState.IsScriptWaiting()) return;  // the command that waits set its step
  }
}

bool TAvgUnit::StageIdle() const { return stage_ == nullptr || !stage_->IsBusy(); }

bool TAvgUnit::VoicePlaying() const { return GameForm != nullptr && GameForm->IsVoicePlaying(); }

// The adventure's system sounds go where the text windows' go.
void TAvgUnit::PlaySystemSe(int index) const {
  if (windows_ != nullptr) windows_->PlaySystemSe(index);
}

void TAvgUnit::Notify(int result) {
  running_ = false;
  if (GameForm != nullptr) GameForm->NotifyMainThread(result);
}

// ---- Text -------------------------------------------------------------------------------------------------------

TSubWinUnit::TTextWindow& TAvgUnit::TextWindow() const {
  return GameState.IsNovelMode() ? windows_->Novel() : windows_->Message();
}

void TAvgUnit::ShowText(const VXString& chunk, int delay) {
  if (!open_) return;
  if (skipMode_ && UserConfig.AllTextSkip == 0 && !GameState.IsMessageRead()) SetSkipMode(false);
  if (IsSkipping()) {
    delay = 0;
    RefreshPlates();
  } else if (delay > 0) {
    const long long scaled = static_cast<long long>(delay) * UserConfig.UserTextSpeed / 100;
    delay = UserConfig.UserTextSpeed <= 0 ? 0 : static_cast<int>(std::max<long long>(1, scaled));
  }
  if (StageKeyChanged()) {
    RebuildStage(0, 100);
    if (step_ == stRun && !StageIdle()) SetStep(stStage);
  }
  if (TextWindow().AddText(delay, chunk) && step_ == stRun) SetStep(stText);
}

void TAvgUnit::LineFeed() {
  if (open_) TextWindow().NewLine();
}

void TAvgUnit::ClearPage() {
  if (open_) TextWindow().Clear();
}

void TAvgUnit::SceneJumped() {
  if (!open_) return;
  RebuildScreen();
}

void TAvgUnit::RedrawPage() {
  if (!open_) return;
  TSubWinUnit::TTextWindow& window = TextWindow();
  window.Clear();
  const int current = std::clamp(GameState.GetCurrentPageLine(), 0, window.GetLineCount() - 1);
  for (int line = 0; line <= current; ++line) {
    window.AddText(0, GameState.GetPageLine(line));
    if (line < current) window.NewLine();
  }
}

void TAvgUnit::ShowMessageWindow(bool on) {
  if (!open_) return;
  if (on) TextWindow().Show(IsSkipping());
  else TextWindow().Hide(IsSkipping());
}

void TAvgUnit::SwitchNovelMode() {
  if (!open_) return;
  TSubWinUnit& w = *windows_;
  const bool novel = GameState.IsNovelMode();
  (novel ? w.Message() : w.Novel()).Hide(IsSkipping());
  if (GameState.IsMessageWindowShown()) (novel ? w.Novel() : w.Message()).Show(IsSkipping());
  RedrawPage();
}

void TAvgUnit::ShowWaitMark(bool on) {
  windows_->Message().SetWaitMark(on && !GameState.IsNovelMode());
  windows_->Novel().SetWaitMark(on && GameState.IsNovelMode());
}

// ---- Waits and clicks ----------------------------------------------------------------------------------------

void TAvgUnit::WaitTime(int ms) {
  if (!open_) return;
  wait_ = MsToFrames(ms);
  if (IsSkipping()) {
    wait_ = 1;
    RefreshPlates();
  }
  SetStep(stWait);
}

void TAvgUnit::WaitClick() {
  if (!open_) return;
  const std::uint8_t remembered = oneShotSkip_;
  oneShotSkip_ = 0;
  if (IsSkipping()) {
    wait_ = 1;
    SetStep(stWait);
    return;
  }
  ShowWaitMark(true);
  autoWait_ = MsToFrames(UserConfig.AutoSkipWait);
  SetStep(stClick);
  if (remembered == 2) OpenMenu();
}

void TAvgUnit::AnswerClick() {
  RefreshPlates();
  if (GameForm != nullptr) GameForm->StopVoice();
  ShowWaitMark(false);
  if (StageKeyChanged()) {
    RebuildStage(0, 100);
    SetStep(stStage);
  } else {
    SetStep(stRun);
  }
}

// ---- Stage ------------------------------------------------------------------------------------------------------

bool TAvgUnit::StageKeyChanged() const {
  const TGameState& s = GameState;
  return stageKey_ != std::array<int, 3>{s.GetShownPicture(), s.GetSceneParam(), s.GetStageValue()};
}

void TAvgUnit::RebuildStage(int transition, int ratePercent) {
  const TGameState& s = GameState;
  stageKey_ = {s.GetShownPicture(), s.GetSceneParam(), s.GetStageValue()};
  if (stage_ == nullptr) return;
  stage_->SetDayPeriod(s.GetDayPeriod());
  stage_->SetWeatherCode(s.GetSceneParam());
  stage_->SetStageLevel(s.GetStageLevel());
  stage_->SetBGCode(s.GetShownPicture());
  const int chars[3] = {s.GetShownCharacter(0), s.GetShownCharacter(1), s.GetShownCharacter(2)};
  stage_->SetChars(chars, s.GetLayoutKind());
  stage_->ChangeStage(transition, ratePercent);
}

void TAvgUnit::ChangeStage(int transition, int ratePercent) {
  if (!open_) return;
  RebuildStage(transition, ratePercent);
  if (step_ == stRun && !StageIdle()) SetStep(stStage);
}

void TAvgUnit::ChangeCharacters(int moveKind) {
  if (!open_ || stage_ == nullptr) return;
  const TGameState& s = GameState;
  const int chars[3] = {s.GetShownCharacter(0), s.GetShownCharacter(1), s.GetShownCharacter(2)};
  stage_->SetChars(chars, moveKind);
  if (stage_->ChangeChars() && step_ == stRun) SetStep(stStage);
}

void TAvgUnit::StartStageEffect(int effect) {
  if (!open_ || stage_ == nullptr) return;
  if (stage_->StartEffect(effect) && step_ == stRun) SetStep(stStage);
}

// ---- Talking ------------------------------------------------------------------------------------------------------

void TAvgUnit::Talk(int frames) {
  talkOn_ = true;
  talkFrames_ = std::max(0, frames);
  UpdateTalk();
}

void TAvgUnit::StopTalk() {
  talkOn_ = false;
  talkFrames_ = 0;
  UpdateTalk();
}

bool TAvgUnit::Printing() const {
  return windows_ != nullptr && (windows_->Message().IsTyping() || windows_->Novel().IsTyping());
}

// The speaking characters move their mouths while the talk lasts, a voice plays or a text window prints.
void TAvgUnit::UpdateTalk() {
  const bool on = talkOn_ && (talkFrames_ > 0 || VoicePlaying() || Printing());
  if (on == talkShown_) return;
  talkShown_ = on;
  if (stage_ == nullptr) return;
  for (int slot = 0; slot < 3; ++slot) stage_->SetTalk(slot, on && GameState.IsShownSpeaking(slot));
}

// ---- Sound ------------------------------------------------------------------------------------------------------

void TAvgUnit::PlayVoice(int id, int a, int b) {
  if (!open_ || IsSilenced()) return;
  VXString pack, member;
  VoiceNames(id, pack, member);
  const int number = static_cast<int>(static_cast<std::uint32_t>(id) / 100000u);
  if (number != voicePack_) {
    voicePack_ = -1;
    if (!voiceFiles_->InitPack(GamePath(pack.c_str()))) return;
    voicePack_ = number;
  }
  if (!voiceFiles_->FileIsExist(member + ".ogg") || GameForm == nullptr) return;
  if (!GameForm->PlayVoice(voiceFiles_.get(), member, a, b)) return;
  talkOn_ = true;
  UpdateTalk();
}

void TAvgUnit::PlaySe(int number, int a, int b) {
  if (!open_ || IsSilenced() || GameForm == nullptr) return;
  GameForm->PlaySe(seFiles_.get(), SeName(number), a, b);
}

void TAvgUnit::PlayLoopSe(int number, bool fadeIn, int a, int b) {
  if (!open_ || GameForm == nullptr) return;
  GameForm->PlayLoopSe(seFiles_.get(), fadeIn, SeName(number), a, b);
}

// ---- Plates, choices, extra selection, requests ------------------------------------------------------------------

void TAvgUnit::ShowPlace(int place) {
  if (open_ && UserConfig.ShowPlaceName != 0) windows_->Place().ShowPlace(place);
}

void TAvgUnit::RefreshPlates() {
  if (open_) windows_->Plates().SyncCalendar();
}

void TAvgUnit::OpenChoice() {
  if (!open_) return;
  TSubWinUnit::TChoiceWindow& choice = windows_->Choice();
  const bool already = choice.IsShown() && !choice.IsBusy();
  choice.Clear();
  for (int i = 0; i < TSubWinUnit::kChoices; ++i) choice.SetChoice(i, GameState.GetChoiceText(i));
  PlaySystemSe(sePage);
  if (already) {
    SetStep(stChoice);
    return;
  }
  choice.Open(false);
  SetStep(stChoiceOpening);
}

void TAvgUnit::DecideChoice() {
  if (step_ != stChoice) return;
  TSubWinUnit::TChoiceWindow& choice = windows_->Choice();
  engine_->ResumeWithValue(choice.GetSelected());
  if (choice.IsShown()) {
    choice.Close(false);
    SetStep(stChoiceClosing);
  } else {
    SetStep(stRun);
  }
}

void TAvgUnit::OpenExtraSelect(int argument) {
  if (!open_) return;
  exsel_->SetArgument(argument);
  windows_->Message().Hide(false);
  windows_->Novel().Hide(false);
  PlaySystemSe(sePage);
  if (!exsel_->Open(false)) {
    engine_->ResumeWithValue(0);  // no dialog to answer: a wrong code
    SetStep(stRun);
    return;
  }
  SetStep(stExSelOpening);
}

void TAvgUnit::CloseExtraSelect() {
  if (step_ != stExSelAnswered) return;
  exsel_->Close(false);
  if (GameState.IsMessageWindowShown()) TextWindow().Show(false);
  SetStep(stExSelClosing);
}

// ---- Movies -----------------------------------------------------------------------------------------------------

void TAvgUnit::PlayOpeningMovie() { PlayMovie("QMOP.mpg"); }

void TAvgUnit::PlayEndingMovie(int n) {
  char name[24];
  std::snprintf(name, sizeof name, "QMED%d.mpg", n + 1);
  PlayMovie(name);
}

void TAvgUnit::PlayEventMovie(int n) {
  char name[24];
  std::snprintf(name, sizeof name, "QM%02d.mpg", n);
  PlayMovie(name);
}

void TAvgUnit::PlayMovie(const char* name) {
  if (!open_ || GameForm == nullptr || GameForm->GetState() != 5 || screenState_ != 0) return;
  if (movie_ == nullptr) {
    movie_ = new TMovieUnit(this);
    movie_->SetProgramFolder(GameForm->DataPath(""));
  }
  if (!movie_->IsOpen() && !movie_->Open(FileMan, true, -1)) return;
  movie_->SetCanSkip(!GameState.IsSkipForbidden());
  movie_->Play(name);
  if (!movie_->IsPlaying()) {
    movie_->Close();
    return;
  }
  GameForm->DetachPanel(AvgPanel);
  GameForm->AttachPanel(movie_->MoviePanel);
  movie_->Start();  // embedded: its picture is composed with the panels, so the window stays in its adventure state
  SetStep(stMovie);
}

// The movie runs; once it has ended (or was skipped) the adventure comes back and the script goes on.
void TAvgUnit::StepMovie(int elapsed) {
  movie_->Update(elapsed);
  if (movie_->IsPlaying()) return;
  movie_->Stop();
  GameForm->DetachPanel(movie_->MoviePanel);
  movie_->Close();
  GameForm->AttachPanel(AvgPanel);
  SetStep(stRun);
}

void TAvgUnit::RequestMusicGame() {
  if (open_) Notify(nfMusicGame);
}

// ---- Commands -----------------------------------------------------------------------------------------------------

void TAvgUnit::RunCommand(TScriptEngine& engine, int opcode) {
  if (commands_ == nullptr || opcode < kFirstCommand || opcode > kLastCommand) throw EGameErr();
  commands_->RunCommand(*this, engine, opcode);
}

// ---- Reader's actions ---------------------------------------------------------------------------------------------

void TAvgUnit::SetSkipMode(bool on) {
  skipMode_ = on;
  if (on) autoMode_ = false;
  windows_->Message().SetAutoSkip(autoMode_, skipMode_);
}

void TAvgUnit::SetAutoMode(bool on) {
  autoMode_ = on;
  if (on) skipMode_ = false;
  windows_->Message().SetAutoSkip(autoMode_, skipMode_);
}

void TAvgUnit::Advance() {
  if (overlay_ == ovLook) {
    LeaveLookMode();
    return;
  }
  if (overlay_ != ovNone || step_ == stChoice || step_ == stExSel) return;
  if (skipMode_ || autoMode_) {
    skipMode_ = autoMode_ = false;
    windows_->Message().SetAutoSkip(false, false);
  }
  if (step_ == stClick) AnswerClick();
  else if ((step_ >= stWait && step_ <= stText) || step_ == stExSelAnswered) oneShotSkip_ = 1;
}

void TAvgUnit::RightClickAction() {
  switch (overlay_) {
    case ovLook:
      if (logOpen_) CloseBacklog();
      else LeaveLookMode();
      return;
    case ovMenu:
      windows_->Menu().Cancel();
      return;
    case ovScreen:
      return;
  }
  bool opened = false;
  switch (UserConfig.RightClickType) {
    case 1:
      opened = EnterLookMode();
      break;
    case 2:
      opened = OpenScreen(TAvgScreens::skConfig);
      break;
    case 3:
      opened = OpenScreen(TAvgScreens::skSave);
      break;
    case 4:
      opened = OpenScreen(TAvgScreens::skLoad);
      break;
    default:
      opened = OpenMenu();
  }
  if (opened) return;
  const bool skipping = oneShotSkip_ != 0;
  Advance();
  if (skipping && oneShotSkip_ != 0) oneShotSkip_ = 2;
}

bool TAvgUnit::EnterLookMode() {
  if (!MayLook()) return false;
  overlay_ = ovLook;
  lookMode_ = true;
  TSubWinUnit& w = *windows_;
  for (TZoRGBPanel* root : {w.MesWin, static_cast<TZoRGBPanel*>(w.MesWait), w.NovelWin, w.SelWin}) root->SetVisible(false);
  UpdateButtons();
  return true;
}

void TAvgUnit::LeaveLookMode() {
  if (!lookMode_) return;
  lookMode_ = false;
  overlay_ = ovNone;
  TSubWinUnit& w = *windows_;
  if (GameState.IsMessageWindowShown()) (GameState.IsNovelMode() ? w.NovelWin : w.MesWin)->SetVisible(true);
  if (!GameState.IsNovelMode()) w.MesWait->SetVisible(w.Message().GetWaitMark());
  if (step_ == stChoice || step_ == stChoiceOpening) w.SelWin->SetVisible(true);
  UpdateButtons();
}

bool TAvgUnit::OpenBacklog() {
  if (!MayLook()) return false;
  overlay_ = ovLook;
  logOpen_ = true;
  const int count = GameState.GetBacklogCount();
  logMax_ = std::max(0, count - kLogShown);
  logTop_ = logMax_;
  TSubWinUnit::TBacklog& log = windows_->Backlog();
  log.SetScrollMax(logMax_);
  DrawBacklog();
  log.Show(false);
  UpdateButtons();
  return true;
}

void TAvgUnit::DrawBacklog() {
  TSubWinUnit::TBacklog& log = windows_->Backlog();
  log.Clear();
  const int count = GameState.GetBacklogCount();
  for (int line = logTop_; line < std::min(count, logTop_ + kLogShown); ++line) {
    if (line > logTop_) log.NewLine();
    log.AddText(GameState.GetBacklogLine(line));
  }
}

void TAvgUnit::ScrollBacklog(int lines) {
  if (!logOpen_) return;
  const int top = std::clamp(logTop_ + lines, 0, logMax_);
  if (top == logTop_) return;
  logTop_ = top;
  windows_->Backlog().SetScrollPos(logTop_);
  DrawBacklog();
}

void TAvgUnit::CloseBacklog() {
  if (!logOpen_) return;
  logOpen_ = false;
  overlay_ = ovNone;
  windows_->Backlog().Hide(false);
  UpdateButtons();
}

bool TAvgUnit::OpenMenu() {
  if (overlay_ != ovNone || !running_) return false;
  TSubWinUnit::TMenu& menu = windows_->Menu();
  const bool look = MayLook();
  const bool save = MaySave();
  const bool reading = step_ == stWait || step_ == stClick || step_ == stText;
  const bool enabled[TSubWinUnit::kMenuButtons] = {look, reading, reading, look, save, save, save, true, true};
  for (int i = 0; i < TSubWinUnit::kMenuButtons; ++i) menu.SetEnabled(i, enabled[i]);
  overlay_ = ovMenu;
  menuChoice_ = kMenuOpen;
  menu.Open(false);
  UpdateButtons();
  return true;
}

void TAvgUnit::MenuDone() {
  if (overlay_ != ovMenu || menuChoice_ != kMenuOpen) return;
  TSubWinUnit::TMenu& menu = windows_->Menu();
  menuChoice_ = menu.GetResult();  // -1: cancelled
  menu.Close(false);
}

bool TAvgUnit::QuickSave() {
  if (!MaySave()) return false;
  std::vector<std::uint8_t> thumb;
  MakeThumbnail(thumb);
  const bool saved =
      thumb.empty() ? SaveSlotState(0) : SaveSlotStateEx(0, thumb.data(), static_cast<std::uint32_t>(thumb.size()));
  if (saved) PlayRandomSystemVoice("SysVoice02_%02d");
  else PlaySystemSe(seError);
  return saved;
}

// A 134 x 100 picture of the stage (of the whole screen over the pass-code dialog) as 24-bit rows, top first.
void TAvgUnit::MakeThumbnail(std::vector<std::uint8_t>& bytes) const {
  if (GameServices() == nullptr) return;
  TZoRGBBits* screen = nullptr;
  TZoRGBBits* source = step_ == stExSel || stage_ == nullptr ? nullptr : stage_->GetPicture();
  if (source == nullptr && GameForm != nullptr) {
    screen = CreateScreenBits();
    if (screen != nullptr) GameForm->CopyScreen(screen);
    source = screen;
  }
  TZoRGBBits* thumb = CreateThumbnail(source);
  if (screen != nullptr) DeleteScreenBits(screen);
  if (thumb == nullptr) return;
  if (thumb->Lock()) {
    bytes.resize(kThumbBytes);
    for (int y = 0; y < kThumbHeight; ++y)
      std::copy_n(thumb->GetBits() + static_cast<std::ptrdiff_t>(y) * thumb->GetPitch(), kThumbWidth * 3,
                  bytes.begin() + static_cast<std::ptrdiff_t>(y) * kThumbWidth * 3);
    thumb->Unlock();
  }
  GameServices()->GetMemMan().Delete(thumb);
}

bool TAvgUnit::QuickLoad() {
  if (!MaySave()) return false;
  if (!LoadSlotToState(0)) {
    PlaySystemSe(seError);
    return false;
  }
  PlaySystemSe(seOk);
  Notify(nfLoaded);
  return true;
}

// ---- Sub-screens --------------------------------------------------------------------------------------------------

bool TAvgUnit::TScreenLink::Event(int code) {
  if (host == nullptr) return false;  // the screen was closed: a late report reaches nothing
  return host->ScreenEvent(kind, code);
}

bool TAvgUnit::OpenScreen(int kind) {
  if (screens_ == nullptr || kind < TAvgScreens::skConfig || kind > TAvgScreens::skExitConfirm) return false;
  if (overlay_ != ovNone && overlay_ != ovScreen) return false;
  if (kind != TAvgScreens::skExitConfirm && overlay_ == ovNone && !MaySave()) return false;
  if (screenState_ != 0) ForgetScreen();
  TScreenLink& link = screenLinks_[static_cast<std::size_t>(kind)];
  link = {this, kind};
  TZoRGBPanel* panel = screens_->Open(kind, VXCallback1<TScreenLink, bool, int>(&link, &TScreenLink::Event));
  if (panel == nullptr) {
    link.host = nullptr;
    if (overlay_ == ovScreen) ReturnFromScreen();
    return false;
  }
  if (kind == TAvgScreens::skSave || kind == TAvgScreens::skLoad) PlayRandomSystemVoice("SysVoice03_%02d");
  if (GameForm != nullptr && screenPanel_ == nullptr) GameForm->DetachPanel(AvgPanel);
  if (GameForm != nullptr) GameForm->AttachPanel(panel);
  screenPanel_ = panel;
  screenKind_ = kind;
  screenState_ = 2;
  overlay_ = ovScreen;
  UpdateButtons();
  return true;
}

// The screen is closed and its callback forgotten; the adventure's panel is not put back.
void TAvgUnit::ForgetScreen() {
  screenLinks_[static_cast<std::size_t>(screenKind_)].host = nullptr;
  if (GameForm != nullptr && screenPanel_ != nullptr) GameForm->DetachPanel(screenPanel_);
  if (screens_ != nullptr) screens_->Close(screenKind_);
  screenState_ = 0;
}

void TAvgUnit::ReturnFromScreen() {
  if (GameForm != nullptr && screenPanel_ != nullptr) GameForm->AttachPanel(AvgPanel);
  screenPanel_ = nullptr;
  overlay_ = ovNone;
  UpdateButtons();
}

void TAvgUnit::CloseScreen() {
  if (screenState_ == 0) return;
  const int kind = screenKind_;
  ForgetScreen();
  ReturnFromScreen();
  if (kind == TAvgScreens::skConfig) AfterConfig();
}

void TAvgUnit::AfterConfig() {
  SaveUserConfig(&UserConfig);
  windows_->SetMesTrans(UserConfig.MesBoxTrans);
  if (step_ == stClick) autoWait_ = MsToFrames(UserConfig.AutoSkipWait);
  if (stage_ != nullptr) stage_->SetSimpleDisplay(UserConfig.SimpleDisplay != 0);
  if (UserConfig.ShowPlaceName == 0) windows_->Place().HidePlace();
}

// Moves from one screen to another.
void TAvgUnit::SwitchScreen(int kind) {
  const int from = screenKind_;
  ForgetScreen();
  if (from == TAvgScreens::skConfig) AfterConfig();
  if (!OpenScreen(kind)) ReturnFromScreen();
}

bool TAvgUnit::ScreenEvent(int kind, int code) {
  if (!open_ || screenState_ == 0 || kind != screenKind_) return false;
  if (kind == TAvgScreens::skExitConfirm) {
    if (code == 12) {
      CloseScreen();
      Notify(nfQuit);
    } else if (code == 13) {
      CloseScreen();
    }
    return true;
  }
  const bool saveScreen = kind != TAvgScreens::skConfig;
  switch (code) {
    case 5:
      if (saveScreen) {
        CloseScreen();
        Notify(nfLoaded);
      }
      break;
    case 6:
      CloseScreen();
      break;
    case 7:
      SwitchScreen(TAvgScreens::skSave);
      break;
    case 8:
      SwitchScreen(TAvgScreens::skLoad);
      break;
    case 9:
      if (saveScreen) SwitchScreen(TAvgScreens::skConfig);
      break;
    case 10:
      CloseScreen();
      Notify(nfEnded);
      break;
    case 11:
      CloseScreen();
      Notify(nfQuit);
      break;
  }
  return true;
}

// ---- Events of the sub-units --------------------------------------------------------------------------------------

bool TAvgUnit::WindowEvent(int code) {
  if (!open_) return false;
  const bool reading = step_ == stWait || step_ == stClick || step_ == stText;
  switch (code) {
    case TSubWinUnit::kLeftClick:
      Advance();
      break;
    case TSubWinUnit::kRightClick:
      RightClickAction();
      break;
    case TSubWinUnit::kMiddleClick:
    case TSubWinUnit::kMesLook:
      if (!EnterLookMode()) Advance();
      break;
    case TSubWinUnit::kLogScrolled:
      if (logOpen_) {
        logTop_ = std::clamp(windows_->Backlog().GetScrollPos(), 0, logMax_);
        DrawBacklog();
      }
      break;
    case TSubWinUnit::kChoiceDecided:
      DecideChoice();
      break;
    case TSubWinUnit::kLogClosed:
      CloseBacklog();
      break;
    case TSubWinUnit::kMesAuto:
      if (reading && overlay_ == ovNone) SetAutoMode(!autoMode_);
      else Advance();
      break;
    case TSubWinUnit::kMesSkip:
      if (reading && overlay_ == ovNone) SetSkipMode(!skipMode_);
      else Advance();
      break;
    case TSubWinUnit::kMesLog:
      if (!OpenBacklog()) Advance();
      break;
    case TSubWinUnit::kMesSave:
      if (!QuickSave()) Advance();
      break;
    case TSubWinUnit::kMesLoad:
      if (!QuickLoad()) Advance();
      break;
    case TSubWinUnit::kMesConfig:
      if (!OpenScreen(TAvgScreens::skConfig)) Advance();
      break;
  }
  return true;
}

bool TAvgUnit::ExSelEvent(int code) {
  if (!open_) return false;
  switch (code) {
    case TExSelUnit::kAdvance:
      Advance();
      break;
    case TExSelUnit::kRightClick:
      RightClickAction();
      break;
    case TExSelUnit::kDecided:
      if (step_ == stExSelOpening || step_ == stExSel) {
        engine_->ResumeWithValue(exsel_->GetResult());
        SetStep(stExSelAnswered);
      }
      break;
    case TExSelUnit::kClose:
      CloseExtraSelect();
      break;
    case 7:
      QuickSave();
      break;
    case 8:
      QuickLoad();
      break;
    case 9:
      OpenScreen(TAvgScreens::skConfig);
      break;
  }
  return true;
}

// ---- Input --------------------------------------------------------------------------------------------------------

void TAvgUnit::AvgPanelKeyDown(Classes::TComponent*, unsigned short& key, TShiftState) {
  if (key == vk::kControl) {
    ctrlSkip_ = true;
    return;
  }
  if (overlay_ == ovMenu) {
    TSubWinUnit::TMenu& menu = windows_->Menu();
    if (key == vk::kUp) menu.FocusPrev();
    else if (key == vk::kDown) menu.FocusNext();
    else if (key == vk::kReturn || key == vk::kSpace) menu.ActivateFocused();
    else if (key == vk::kEscape) menu.Cancel();
    return;
  }
  if (overlay_ == ovLook) {
    if (logOpen_ && (key == vk::kUp || key == vk::kDown)) ScrollBacklog(key == vk::kUp ? -1 : 1);
    else if (key == vk::kReturn || key == vk::kSpace) logOpen_ ? CloseBacklog() : LeaveLookMode();
    else if (key == vk::kEscape) RightClickAction();
    return;
  }
  if (overlay_ != ovNone) return;
  if (step_ == stExSel) {
    exsel_->KeyDown(key);
    return;
  }
  switch (key) {
    case vk::kReturn:
      if (step_ == stChoice) DecideChoice();
      else Advance();
      break;
    case vk::kEscape:
      RightClickAction();
      break;
    case vk::kSpace:
      if (step_ != stChoice) Advance();
      break;
    case vk::kUp:
      if (step_ == stChoice) windows_->Choice().SelectPrev();
      break;
    case vk::kDown:
      if (step_ == stChoice) windows_->Choice().SelectNext();
      break;
  }
}

void TAvgUnit::AvgPanelKeyUp(Classes::TComponent*, unsigned short& key, TShiftState) {
  if (key == vk::kControl) ctrlSkip_ = false;
}

void TAvgUnit::AvgPanelMouseWheel(Classes::TComponent*, TShiftState, int wheelDelta, const TPoint&, bool& handled) {
  handled = true;
  if (logOpen_) ScrollBacklog(wheelDelta < 0 ? 1 : -1);
  else if (overlay_ == ovNone && wheelDelta > 0) OpenBacklog();
}

void TAvgUnit::AvgPanelMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  if (button == mbLeft) Advance();
  else if (button == mbRight) RightClickAction();
}

#include "scenario/gamewire.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

#include "core/vxmemman.h"
#include "music/musicu.h"
#include "music/pnameentrymenu.h"
#include "music/psongscoremenu.h"
#include "music/psongselectmenu.h"
#include "ranking/internetrankmenu.h"
#include "scenario/avggame.h"
#include "shell/dialogu.h"
#include "shell/gamef.h"
#include "shell/ptitlemenu.h"

namespace {

// A component made with the game window as owner, through the memory manager; null when its form does not load.
template <class T>
T* CreateComponent(TGameForm& form) {
  try {
    return MemMan->CreateVCL<T>(&form);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qorm: %s\n", e.what());
    return nullptr;
  }
}

template <class T>
void DeleteComponent(T*& p) {
  if (MemMan != nullptr)
    MemMan->Delete(p);
  else
    delete p;
}

// ---- Music game

class WindowCalls final : public TMusicWindowCalls {
public:
  explicit WindowCalls(TGameForm& form) : form_(form) {}
  void PlaySystemSe(int index) override { form_.PlaySystemSe(index); }
  bool IsSystemSePlaying() override { return form_.IsSystemSePlaying(); }
  void PlayVoice(VXFileMan* source, const VXString& name) override { form_.PlayVoice(source, name); }
  void TakeScreenshot() override {
    TGameForm* form = &form_;
    if (TGameApplication* app = form_.GetApplication()) app->Post([form] { form->TakeSnapshot(false); });
  }

private:
  TGameForm& form_;
};

class MusicPlay final : public TMusicPlay {
public:
  MusicPlay(TGameForm& form, TMusicUnit* unit) : calls_(form), unit_(unit) { unit_->SetWindowCalls(&calls_); }
  ~MusicPlay() override { DeleteComponent(unit_); }

  void SetOptions(const TMusicOptions& o) override {
    unit_->SetTimingMode(o.timingMode);
    unit_->SetVolumes(o.volumeMain, o.volumeKey);
    unit_->SetRankMode(o.rank);
    unit_->SetWordMode(o.wordMode);
    unit_->SetCharAnime(o.charAnime);
    unit_->SetBGAnime(o.bgAnime);
    unit_->SetAutoMode(o.autoMode);
    unit_->SetMemorySave(o.memorySave);
    unit_->SetEventNumber(o.eventNumber);
  }
  bool Open(TSongID song) override { return unit_->Open(FileMan, song); }
  TZoRGBPanel* GetPanel() override { return unit_->MusicPanel; }
  TFrameInputHook GetInputProc() override {
    return VXCallback2<TMusicUnit, void, int, TDInputUnit*>(unit_, &TMusicUnit::MusicProc);
  }
  void Start() override { unit_->Start(); }
  void Stop() override { unit_->Stop(); }
  void Close() override { unit_->Close(); }
  int GetGauge() override { return unit_->GetGauge(); }
  int GetScore() override { return unit_->GetScore(); }
  std::uint32_t GetCheckValue() override { return unit_->GetCheckValue(); }

private:
  WindowCalls calls_;
  TMusicUnit* unit_;
};

// ---- Adventure

// The confirmation dialog asking over the adventure's scene: the dialog hangs under the adventure's own panel, which
// the host then shows as the question's screen, so the scene stays behind the question.
class AdventureQuestion final : public TAvgQuestion {
public:
  explicit AdventureQuestion(TAvgUnit& host) : host_(host) {}
  TZoRGBPanel* Open(const TAvgScreens::TCallback& events) override {
    if (DlgUnit == nullptr || !DlgUnit->IsOpen() || DlgUnit->IsFading() || DlgUnit->IsShown()) return nullptr;
    DlgUnit->SetMode(TDlgUnit::kExitMode);
    DlgUnit->SetCallback(events);
    DlgUnit->SetParent(host_.AvgPanel);
    DlgUnit->ShowDialog(true);
    return host_.AvgPanel;
  }
  void Close() override {
    if (DlgUnit == nullptr || DlgUnit->GetParent() != host_.AvgPanel) return;
    DlgUnit->SetCallback({});
    DlgUnit->HideDialog(true);
    DlgUnit->ClearParent();
  }

private:
  TAvgUnit& host_;
};

// The adventure with its stage, game commands and own configuration and save screens, asking before it quits.
class Adventure final : public TAdventureHost {
public:
  Adventure() { adventure_.Screens().SetQuestion(&question_); }
  bool Open(TConfigMenu*, TSaveMenu*) override {
    try {
      return adventure_.Open();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "qorm: the adventure cannot open: %s\n", e.what());
      return false;
    }
  }
  void Close() override { adventure_.Close(); }
  bool StartScene(const VXString& label) override { return adventure_.Host().StartScene(label); }
  void ResumeLoaded() override { adventure_.Host().ResumeLoaded(); }
  void ResumeCurrent() override { adventure_.Host().ResumeCurrent(); }
  bool IsRunning() override { return adventure_.Host().IsRunning(); }
  TZoRGBPanel* GetPanel() override { return adventure_.Host().AvgPanel; }
  TFrameHook GetFrameProc() override {
    return VXCallback1<TAvgUnit, void, int>(&adventure_.Host(), &TAvgUnit::AdventureFrame);
  }

private:
  TAdventure adventure_;
  AdventureQuestion question_{adventure_.Host()};
};

// ---- Confirmation dialog (the global the screens ask)

class Dialog final : public TDialogHost {
public:
  explicit Dialog(TDlgUnit* unit) : unit_(unit) { DlgUnit = unit_; }
  ~Dialog() override {
    if (DlgUnit == unit_) DlgUnit = nullptr;
    DeleteComponent(unit_);
  }
  bool Init() override { return unit_->Init(FileMan); }
  void Release() override { unit_->Release(); }

private:
  TDlgUnit* unit_;
};

// ---- Front screens: each one a component of the game window, published in its global while it lives

template <class T>
class Published {
public:
  Published(T*& global, T* unit) : global_(global), unit_(unit) { global_ = unit_; }
  ~Published() {
    if (global_ == unit_) global_ = nullptr;
    DeleteComponent(unit_);
  }
  Published(const Published&) = delete;
  Published& operator=(const Published&) = delete;
  T& operator*() const { return *unit_; }
  T* operator->() const { return unit_; }

private:
  T*& global_;
  T* unit_;
};

// The title; `shown`, when it holds a function, runs once, the first time a title waits for the player.
class Title final : public TTitleScreen {
public:
  explicit Title(TTitleMenu* unit, std::shared_ptr<std::function<void()>> shown = {})
      : menu_(TitleMenu, unit), shown_(std::move(shown)) {}
  bool Init() override { return menu_->Init(FileMan); }
  void Prepare() override { menu_->Prepare(); }
  void StartIdle() override {
    menu_->StartIdle();
    if (shown_ && *shown_) std::exchange(*shown_, {})();
  }
  void StopIdle() override { menu_->StopIdle(); }
  void Release() override { menu_->Release(); }
  TZoRGBPanel* GetPanel() override { return menu_->TitleMenuPanel; }

private:
  Published<TTitleMenu> menu_;
  std::shared_ptr<std::function<void()>> shown_;
};

class SongSelect final : public TSongSelectScreen {
public:
  explicit SongSelect(TSongSelectMenu* unit) : menu_(SongSelectMenu, unit) {}
  bool Open() override { return menu_->Open(FileMan); }
  bool Refresh() override { return menu_->Refresh(); }
  void Close() override { menu_->Close(); }
  TZoRGBPanel* GetPanel() override { return menu_->SongSelPanel; }
  TSongID GetSelectedSong() override { return menu_->GetSelectedSong(); }

private:
  Published<TSongSelectMenu> menu_;
};

class NameEntry final : public TNameEntryScreen {
public:
  explicit NameEntry(TNameEntryMenu* unit) : menu_(NameEntryMenu, unit) {}
  bool Open() override { return menu_->Open(); }
  bool SetScore(int score) override { return menu_->SetScore(score); }
  VXString GetName() override { return menu_->GetName(); }
  void Close() override { menu_->Close(); }
  TZoRGBPanel* GetPanel() override { return menu_->NameEntryPanel; }

private:
  Published<TNameEntryMenu> menu_;
};

class SongScore final : public TSongScoreScreen {
public:
  explicit SongScore(TSongScoreMenu* unit) : menu_(SongScoreMenu, unit) {}
  bool Open() override { return menu_->Open(); }
  bool SetLevel(int level) override { return menu_->SetLevel(static_cast<char>(level)); }
  void Close() override { menu_->Close(); }
  TZoRGBPanel* GetPanel() override { return menu_->SongScorePanel; }

private:
  Published<TSongScoreMenu> menu_;
};

class Ranking final : public TRankingScreen {
public:
  explicit Ranking(TInternetRankMenu* unit) : menu_(InternetRankMenu, unit) {}
  bool Open() override { return menu_->Open(); }
  void ShowConnecting(int level) override { menu_->ShowConnecting(static_cast<char>(level)); }
  void LoadSongList() override { menu_->LoadSongList(); }
  void LoadRanking() override { menu_->LoadRanking(); }
  void UploadScore() override { menu_->UploadScore(); }
  void Close() override { menu_->Close(); }
  TZoRGBPanel* GetPanel() override { return menu_->InternetRankingPanel; }

private:
  Published<TInternetRankMenu> menu_;
};

// A factory of the adapter `A` over a new component `T` of the game window; null when the component cannot load.
template <class Screen, class A, class T>
std::function<std::unique_ptr<Screen>(TGameForm&)> Factory() {
  return [](TGameForm& form) -> std::unique_ptr<Screen> {
    T* unit = CreateComponent<T>(form);
    if (unit == nullptr) return nullptr;
    return std::make_unique<A>(unit);
  };
}

}  // namespace

TGameUnits MakeGameUnits() {
  TGameUnits units;
  units.music = [](TGameForm& form) -> std::unique_ptr<TMusicPlay> {
    TMusicUnit* unit = CreateComponent<TMusicUnit>(form);
    if (unit == nullptr) return nullptr;
    return std::make_unique<MusicPlay>(form, unit);
  };
  units.adventure = [](TGameForm&) -> std::unique_ptr<TAdventureHost> { return std::make_unique<Adventure>(); };
  units.dialog = Factory<TDialogHost, Dialog, TDlgUnit>();
  return units;
}

TFrontScreens MakeFrontScreens() {
  TFrontScreens screens;
  screens.title = Factory<TTitleScreen, Title, TTitleMenu>();
  screens.songSelect = Factory<TSongSelectScreen, SongSelect, TSongSelectMenu>();
  screens.nameEntry = Factory<TNameEntryScreen, NameEntry, TNameEntryMenu>();
  screens.songScore = Factory<TSongScoreScreen, SongScore, TSongScoreMenu>();
  screens.ranking = Factory<TRankingScreen, Ranking, TInternetRankMenu>();
  return screens;
}

void WireGame(std::function<void()> onTitleShown) {
  TFrontScreens screens = MakeFrontScreens();
  if (onTitleShown) {
    screens.title = [shown = std::make_shared<std::function<void()>>(std::move(onTitleShown))](
                        TGameForm& form) -> std::unique_ptr<TTitleScreen> {
      TTitleMenu* unit = CreateComponent<TTitleMenu>(form);
      if (unit == nullptr) return nullptr;
      return std::make_unique<Title>(unit, shown);
    };
  }
  SetGameWiring(MakeGameUnits(), std::move(screens));
}

#include "scenario/gamewire.h"

#include <cstdio>
#include <exception>

#include "core/vxmemman.h"
#include "music/musicu.h"
#include "scenario/avgu.h"
#include "shell/gamef.h"
#include "shell/pconfigmenu.h"
#include "shell/psavemenu.h"

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

// The reader's sub-screens of the adventure on the game thread's configuration and save screens.
class AdventureScreens final : public TAvgScreens {
public:
  void Use(TConfigMenu* config, TSaveMenu* save) {
    config_ = config;
    save_ = save;
  }
  TZoRGBPanel* Open(int kind, const TCallback& events) override {
    switch (kind) {
      case skConfig:
        config_->SetCallback(events);
        config_->RefreshAll();
        return config_->ConfigPanel;
      case skSave:
      case skLoad:
        save_->SetCallback(events);
        if (!save_->Open(kind == skLoad)) {
          save_->SetCallback({});
          return nullptr;
        }
        return save_->SaveMenuWin;
      default: return nullptr;
    }
  }
  void Close(int kind) override {
    switch (kind) {
      case skConfig: config_->SetCallback({}); break;
      case skSave:
      case skLoad:
        save_->Close();
        save_->SetCallback({});
        break;
      default: break;
    }
  }

private:
  TConfigMenu* config_ = nullptr;
  TSaveMenu* save_ = nullptr;
};

class Adventure final : public TAdventureHost {
public:
  explicit Adventure(TAvgUnit* unit) : unit_(unit) { unit_->SetScreens(&screens_); }
  ~Adventure() override { DeleteComponent(unit_); }

  bool Open(TConfigMenu* config, TSaveMenu* save) override {
    screens_.Use(config, save);
    try {
      return unit_->Open();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "qorm: the adventure cannot open: %s\n", e.what());
      return false;
    }
  }
  void Close() override { unit_->Close(); }
  bool StartScene(const VXString& label) override { return unit_->StartScene(label); }
  void ResumeLoaded() override { unit_->ResumeLoaded(); }
  void ResumeCurrent() override { unit_->ResumeCurrent(); }
  bool IsRunning() override { return unit_->IsRunning(); }
  TZoRGBPanel* GetPanel() override { return unit_->AvgPanel; }
  TFrameHook GetFrameProc() override {
    return VXCallback1<TAvgUnit, void, int>(unit_, &TAvgUnit::AdventureFrame);
  }

private:
  AdventureScreens screens_;
  TAvgUnit* unit_;
};

}  // namespace

TGameUnits MakeGameUnits() {
  TGameUnits units;
  units.music = [](TGameForm& form) -> std::unique_ptr<TMusicPlay> {
    TMusicUnit* unit = CreateComponent<TMusicUnit>(form);
    if (unit == nullptr) return nullptr;
    return std::make_unique<MusicPlay>(form, unit);
  };
  units.adventure = [](TGameForm& form) -> std::unique_ptr<TAdventureHost> {
    TAvgUnit* unit = CreateComponent<TAvgUnit>(form);
    if (unit == nullptr) return nullptr;
    return std::make_unique<Adventure>(unit);
  };
  return units;
}

TFrontScreens MakeFrontScreens() { return {}; }

void WireGame() { SetGameWiring(MakeGameUnits(), MakeFrontScreens()); }

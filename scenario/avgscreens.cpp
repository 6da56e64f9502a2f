#include "scenario/avgscreens.h"

#include "shell/gamef.h"
#include "shell/pconfigmenu.h"
#include "shell/psavemenu.h"

TAvgGameScreens::TAvgGameScreens(VXFileMan* files) : files_(files) {}

TAvgGameScreens::~TAvgGameScreens() {
  for (int kind : {skConfig, skSave}) Close(kind);
  if (save_ != nullptr && saveReady_) save_->Release();
  delete config_;
  delete save_;
}

TZoRGBPanel* TAvgGameScreens::Open(int kind, const TCallback& events) {
  switch (kind) {
    case skConfig:
      if (config_ == nullptr) config_ = new TConfigMenu(nullptr);
      if (!config_->Open()) return nullptr;
      config_->SetCallback(events);
      return config_->ConfigPanel;
    case skSave:
    case skLoad:
      if (save_ == nullptr) save_ = new TSaveMenu(nullptr);
      if (!saveReady_ && !(saveReady_ = save_->Init(files_ != nullptr ? files_ : FileMan))) return nullptr;
      if (!save_->Open(kind == skLoad)) return nullptr;
      saving_ = kind == skSave;
      saveEvents_ = events;
      save_->SetCallback(VXCallback1<TAvgGameScreens, bool, int>(this, &TAvgGameScreens::SaveEvent));
      return save_->SaveMenuWin;
    case skExitConfirm:
      return question_ != nullptr ? question_->Open(events) : nullptr;
  }
  return nullptr;
}

void TAvgGameScreens::Close(int kind) {
  switch (kind) {
    case skConfig:
      if (config_ == nullptr) return;
      config_->SetCallback({});
      config_->Close();
      return;
    case skSave:
    case skLoad:
      if (save_ == nullptr) return;
      save_->SetCallback({});
      saveEvents_ = {};
      if (saveReady_) save_->Close();
      return;
    case skExitConfirm:
      if (question_ != nullptr) question_->Close();
      return;
  }
}

bool TAvgGameScreens::SaveEvent(int code) {
  if (saving_ && code == TSaveMenu::kDone) return true;  // saved: the screen stays
  return saveEvents_.IsValid() && saveEvents_.Invoke(code);
}

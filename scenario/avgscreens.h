// The screens the reader opens from the adventure: the configuration screen, the save and load screen, and the exit
// question. The two screens are made here (owned); the question is the game's confirmation
// dialog, handed in through a small interface (none: the adventure does not ask).
//
// The save screen reports 5 both for a save and for a load; the adventure hears 5 only as "a game was loaded", so a
// save that succeeded leaves the screen open (its row shows the new save) and reports nothing.
#pragma once

#include "scenario/avgu.h"

class TConfigMenu;
class TSaveMenu;
class VXFileMan;

// The confirmation dialog as the adventure uses it: opened with the question's callback (12 yes, 13 no), its root
// panel shown in place of the adventure's.
class TAvgQuestion {
public:
  virtual ~TAvgQuestion() = default;
  virtual TZoRGBPanel* Open(const TAvgScreens::TCallback& events) = 0;  // null: it cannot ask
  virtual void Close() = 0;
};

class TAvgGameScreens : public TAvgScreens {
public:
  // The screens' pictures come from `files` (null: the main data files); the screens are made when first opened.
  explicit TAvgGameScreens(VXFileMan* files);
  ~TAvgGameScreens() override;

  void SetQuestion(TAvgQuestion* question) { question_ = question; }  // not owned

  TZoRGBPanel* Open(int kind, const TCallback& events) override;
  void Close(int kind) override;

  TConfigMenu* Config() const { return config_; }
  TSaveMenu* Save() const { return save_; }

private:
  bool SaveEvent(int code);

  VXFileMan* files_;
  TConfigMenu* config_ = nullptr;
  TSaveMenu* save_ = nullptr;
  bool saveReady_ = false;
  bool saving_ = false;
  TCallback saveEvents_;
  TAvgQuestion* question_ = nullptr;
};

// The best-score screen: the local best scores of one level, ten songs a page, each row with the song's title
// picture ("songname.png" of its main part), the name entered with the best and the score. The game thread opens
// it, selects a level (the player's, SetLevel) and waits until BtnExit reports 0 (NotifyMainThread).
//
// A song counts for a level when it is in the song table of the system record, its song data is present and its
// best score at that level is above 0; songs are listed in the table's order. A level without such songs shows no
// rows, and its button is disabled; the button of the shown level is selected. BtnBack and BtnFwd page through the
// level (enabled only where there is a page to go to).
//
// Pictures: the panels' own from their Text, "RankAlphabet.png" (the name glyphs) and "RankNum.png" (the digits of
// scores and page numbers), all from the main data.
//
// Game thread, under the game lock.
#pragma once

#include <array>
#include <vector>

#include "graphics/zorgbpanel.h"
#include "music/rankingname.h"
#include "platform/component.h"
#include "shell/screenform.h"
#include "shell/systemdata.h"

class TZoRGBBtn;
class TZoRGBNum;
class VXFileMan;

class TSongScoreMenu : public Classes::TComponent {
public:
  static constexpr int kRows = 10;

  struct TEntry {
    TSongID id{};
    int score = -1;  // -1: an empty row
  };
  using TEntries = std::array<TEntry, kRows>;

  // Loads the form resource "SongScoreMenu" (throws platform::form::EFormError when it cannot).
  explicit TSongScoreMenu(Classes::TComponent* owner);
  ~TSongScoreMenu() override;

  // The pictures from the main data; false (closed again) when one is missing.
  bool Open();
  void Close();
  bool IsOpen() const { return open_; }

  // Shows page 0 of the level (0 normal, 1 hard, 2 easy); false for another level or a closed screen.
  bool SetLevel(char level);
  char GetLevel() const { return level_; }
  int CountPages() const;
  // The counting songs of the page into `entries`; true when at least one was filled.
  bool GetPage(int page, TEntries& entries) const;
  // False when the screen is closed or the page lies outside the level's pages (page 0 always exists).
  bool ShowPage(int page);
  int GetPage() const { return page_; }
  int GetPageCount() const { return pages_; }
  bool HasEntries(char level) const;

  // ---- Handlers the form binds
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void BtnEasyClick(Classes::TComponent* sender);
  void BtnNormalClick(Classes::TComponent* sender);
  void BtnHardClick(Classes::TComponent* sender);
  void BtnFwdClick(Classes::TComponent* sender);
  void BtnBackClick(Classes::TComponent* sender);
  void BtnExitClick(Classes::TComponent* sender);

  // ---- Published components (filled by the form)
  TZoRGBPanel* SongScorePanel = nullptr;
  TZoRGBBtn* BtnEasy = nullptr;
  TZoRGBBtn* BtnNormal = nullptr;
  TZoRGBBtn* BtnHard = nullptr;
  TZoRGBBtn* BtnBack = nullptr;
  TZoRGBBtn* BtnFwd = nullptr;
  TZoRGBNum* NumCurPg = nullptr;
  TZoRGBNum* NumMaxPg = nullptr;
  TZoRGBBtn* BtnExit = nullptr;

  // Row i's panels: its background (which holds the others), title, name and score.
  TZoRGBPanel* PanelBase(int row) const { return rows_[static_cast<std::size_t>(row)].base; }
  TZoRGBPanel* PanelSong(int row) const { return rows_[static_cast<std::size_t>(row)].song; }
  TZoRGBPanel* PanelName(int row) const { return rows_[static_cast<std::size_t>(row)].name; }
  TZoRGBNum* NumScore(int row) const { return rows_[static_cast<std::size_t>(row)].score; }

private:
  struct TRow {
    TZoRGBPanel* base = nullptr;
    TZoRGBPanel* song = nullptr;
    TZoRGBPanel* name = nullptr;
    TZoRGBNum* score = nullptr;
  };
  // Calls `take` with each counting song of the level in table order until it returns false.
  template <class Take>
  void ForEachSong(char level, Take take) const;
  // The digit panels: the page numbers and every row's score.
  std::vector<TZoRGBNum*> Numbers() const;
  void ShowLevelButtons();
  void ChangeLevel(char level);

  bool open_ = false;
  bool picturesOk_ = true;
  VXFileMan* files_ = nullptr;
  char level_ = 0;
  int page_ = 0;
  int pages_ = 0;
  std::array<TRow, kRows> rows_{};
  RankingName glyphs_;
  screenform::TDigitPicture digits_;
};

extern TSongScoreMenu* SongScoreMenu;

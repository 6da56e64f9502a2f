// The name entry after a new best score in free play: up to four characters picked from a keyboard of 46 on the
// screen (A-Z, "-#.:/!?", 0-9, '*', '+' and blank), with back-space and end keys, while the score is shown. The game
// thread opens the screen, starts an entry with SetScore, waits for the end (NotifyMainThread with 0) and reads
// GetName.
//
// The keyboard is a grid of 8 x 6 cells of 50 pixels from (200, 69): cell = column + 8 x row, cells 0-45 the
// characters in table order, 46 back-space, 47 end. The selection frame (BtnSelFrame) follows the mouse; the arrow
// keys move the pointer one cell with wrap-around (and so the frame), Enter acts on the framed cell, Backspace
// deletes. A character under the pointer is previewed after the name while it is shorter than four.
//
// Typed text: letters (either case), digits, the symbols "-#.:/!?" and blank add their character and send the
// pointer to the end key; '*' and '+' only come from the keyboard on the screen. A double-byte character typed
// through the input method is ignored whole (its second byte is never read as a character of its own).
//
// Game thread, under the game lock.
#pragma once

#include <array>

#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "music/rankingname.h"
#include "platform/component.h"
#include "shell/screenform.h"

class TZoRGBBtn;
class TZoRGBNum;
class VXFileMan;

class TNameEntryMenu : public Classes::TComponent {
public:
  static constexpr int kChars = 46;
  static constexpr int kMaxName = RankingName::kNameLength;
  static constexpr int kColumns = 8, kRows = 6, kCell = 50, kGridX = 200, kGridY = 69;
  static constexpr int kBackSpaceCell = 46, kEndCell = 47;
  // The characters by index; blank is the last.
  static constexpr const char* kCharTable = "ABCDEFGHIJKLMNOPQRSTUVWXYZ-#.:/!?0123456789*+ ";

  // Loads the form resource "NameEntryMenu" (throws platform::form::EFormError when it cannot).
  explicit TNameEntryMenu(Classes::TComponent* owner);
  ~TNameEntryMenu() override;

  // The pictures from the main data (the panels', the name glyphs "NameAlphabet.png" and the score digits
  // "NameNum.png"), then the panel shown, which puts the pointer on the first key; false (closed again) when a
  // picture is missing.
  bool Open();
  void Close();
  bool IsOpen() const { return open_; }

  // Starts an entry: the score shown, the name empty, nothing highlighted. False when the screen is not open.
  bool SetScore(int score);
  VXString GetName() const { return name_; }
  int GetHighlight() const { return highlight_; }
  // The framed cell, -1 when the frame is off the grid.
  int GetFramedCell() const;

  void AddChar(int index);
  void DrawName();
  void SetHighlight(int index);

  // ---- Handlers the form binds
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void Btn0Click(Classes::TComponent* sender);
  void BtnBackSpaceClick(Classes::TComponent* sender);
  void BtnEndClick(Classes::TComponent* sender);
  void Btn0MouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y);
  void BtnBackSpaceMouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y);
  void BtnEndMouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y);
  void BtnBackSpaceMouseEnter(Classes::TComponent* sender);
  void BtnEndMouseEnter(Classes::TComponent* sender);
  void NameEntryPanelShow(Classes::TComponent* sender);
  void NameEntryPanelKeyDown(Classes::TComponent* sender, unsigned short& key, TShiftState shift);
  void NameEntryPanelKeyPress(Classes::TComponent* sender, char& key);

  // ---- Published components (filled by the form)
  TZoRGBPanel* NameEntryPanel = nullptr;
  TZoRGBBtn* BtnBackSpace = nullptr;
  TZoRGBBtn* BtnEnd = nullptr;
  TZoRGBPanel* BtnSelFrame = nullptr;
  TZoRGBPanel* PanelName0 = nullptr;
  TZoRGBNum* NumScore = nullptr;
  TZoRGBPanel* BtnAnime = nullptr;

  // The character buttons Btn0 .. Btn44 and BtnSpc, by index.
  TZoRGBBtn* CharButton(int index) const;

private:
  void PointAt(const TZoRGBPanel* panel);
  void FrameOn(const TZoRGBPanel* panel);

  bool open_ = false;
  bool picturesOk_ = true;
  VXFileMan* files_ = nullptr;
  VXString name_;
  int highlight_ = -1;
  bool trailByteNext_ = false;
  RankingName glyphs_;
  screenform::TDigitPicture digits_;
  std::array<TZoRGBBtn*, kChars> charButtons_{};
};

extern TNameEntryMenu* NameEntryMenu;

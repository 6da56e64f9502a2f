// The save and load screen: the 99 slot saves ("QM01.sav" .. "QM99.sav" in the save folder) listed ten rows at a
// time, each with its slot number, the chapter of the saved game and the file's last-write time in local time; a
// slot is chosen with the mouse and saved into (save mode) or loaded from (load mode). The panels come from the
// form "SaveMenu"; the caller hangs `SaveMenuWin` under its panel, opens the screen in a mode and hears events 5
// (a save or load succeeded) and 6 (closed) through the callback.
//
// Rows. A slot is probed once per opening (and again after saving into it): a missing file or one that does not
// decode shows as an empty row ("%2d", the slot number only) that cannot be chosen for loading; an existing one
// shows "%2d " and its chapter's title (23 minus signs for a chapter without one) and its file time as
// "%2d/%2d %2d:%02d" (month, day, hour, minute; zeros for a time before 1980, which the packed form cannot hold).
//
// Scrolling. The top row (0..89) moves by one with the arrow buttons and the wheel, or follows the mouse on the
// scroll track (y < 45 the top, y >= 136 the bottom, between them (y x 89 - 4005) / 91). It outlives the screen:
// the next screen starts where the last one was destroyed.
//
// A failed save or load plays the error sound and leaves the screen open; a failed save keeps the slot's previous
// file (the save files replace a file only once the new one is whole), and the row shows it still.
//
// Game thread, under the game lock.
#pragma once

#include <array>

#include "core/vxcallback.h"
#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"

class TZoRGBBtn;
class TZoRGBText;
class VXFileMan;

class TSaveMenu : public Classes::TComponent {
public:
  using TCallback = VXBaseCallback1<bool, int>;
  static constexpr int kSlots = 99;
  static constexpr int kRows = 10;
  static constexpr int kMaxTop = kSlots - kRows;  // 89
  static constexpr int kRowHeight = 22;
  enum TEvent : int { kDone = 5, kClosed = 6 };

  // One slot's row.
  struct TSlotRow {
    bool probed = false;
    bool exists = false;
    VXString caption;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  };

  // Loads the form resource "SaveMenu" (throws platform::form::EFormError when it cannot); the top row is the one
  // the last screen had.
  explicit TSaveMenu(Classes::TComponent* owner);
  // Keeps the top row for the next screen.
  ~TSaveMenu() override;

  // Keeps the file manager of the pictures and creates the panels; false (released again) when that fails.
  bool Init(VXFileMan* files);
  void Release();
  // The background and buttons of the mode, the text buffers, every row probed again, the list drawn; false when
  // the screen is not initialised or a buffer cannot be made.
  bool Open(bool load);
  void Close();
  void SetCallback(TCallback callback) { callback_ = callback; }

  int GetTop() const { return top_; }
  int GetSelected() const { return selected_; }
  const TSlotRow& GetRow(int index) const { return rows_[static_cast<std::size_t>(index)]; }

  // ---- Handlers the form binds
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void SaveDataMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void UpButtonClick(Classes::TComponent* sender);
  void DownButtonClick(Classes::TComponent* sender);
  void ScrollBackMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void ScrollBackMouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y);
  void ScrollBarMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void ScrollBarMouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y);
  void SaveMenuMouseWheel(Classes::TComponent* sender, TShiftState shift, int wheelDelta, const TPoint& mousePos,
                          bool& handled);
  void SaveButtonClick(Classes::TComponent* sender);
  void LoadButtonClick(Classes::TComponent* sender);
  void CloseButtonClick(Classes::TComponent* sender);

  // ---- Published components (filled by the form)
  TZoRGBPanel* SaveMenuWin = nullptr;
  TZoRGBPanel* MenuLight = nullptr;
  TZoRGBPanel* SaveData1 = nullptr;
  TZoRGBPanel* SaveData2 = nullptr;
  TZoRGBPanel* SaveData3 = nullptr;
  TZoRGBPanel* SaveData4 = nullptr;
  TZoRGBPanel* SaveData5 = nullptr;
  TZoRGBPanel* SaveData6 = nullptr;
  TZoRGBPanel* SaveData7 = nullptr;
  TZoRGBPanel* SaveData8 = nullptr;
  TZoRGBPanel* SaveData9 = nullptr;
  TZoRGBPanel* SaveData10 = nullptr;
  TZoRGBText* SaveInfo1 = nullptr;
  TZoRGBText* SaveInfo2 = nullptr;
  TZoRGBText* SaveInfo3 = nullptr;
  TZoRGBText* SaveInfo4 = nullptr;
  TZoRGBText* SaveInfo5 = nullptr;
  TZoRGBText* SaveInfo6 = nullptr;
  TZoRGBText* SaveInfo7 = nullptr;
  TZoRGBText* SaveInfo8 = nullptr;
  TZoRGBText* SaveInfo9 = nullptr;
  TZoRGBText* SaveInfo10 = nullptr;
  TZoRGBText* FileInfo1 = nullptr;
  TZoRGBText* FileInfo2 = nullptr;
  TZoRGBText* FileInfo3 = nullptr;
  TZoRGBText* FileInfo4 = nullptr;
  TZoRGBText* FileInfo5 = nullptr;
  TZoRGBText* FileInfo6 = nullptr;
  TZoRGBText* FileInfo7 = nullptr;
  TZoRGBText* FileInfo8 = nullptr;
  TZoRGBText* FileInfo9 = nullptr;
  TZoRGBText* FileInfo10 = nullptr;
  TZoRGBBtn* UpButton = nullptr;
  TZoRGBBtn* DownButton = nullptr;
  TZoRGBPanel* ScrollBack = nullptr;
  TZoRGBBtn* ScrollBar = nullptr;
  TZoRGBBtn* SaveButton = nullptr;
  TZoRGBBtn* LoadButton = nullptr;
  TZoRGBBtn* CloseButton = nullptr;

  std::array<TZoRGBText*, kRows> InfoTexts() const;
  std::array<TZoRGBText*, kRows> FileTexts() const;

private:
  void ProbeSlot(int index);
  void DrawList();
  void ShowSelection();
  void SetTop(int top);
  void ScrollTo(int y);
  void Report(int event);
  // Probes the chosen slot again and redraws the list.
  void Refresh();

  bool created_ = false;
  bool open_ = false;
  bool load_ = false;
  VXFileMan* files_ = nullptr;
  TCallback callback_;
  std::array<TSlotRow, kSlots> rows_{};
  int top_ = 0;
  int selected_ = -1;
};

extern TSaveMenu* SaveMenu;

// The adventure's text windows: the message window (5 lines in a box at the bottom of the screen), the novel
// window (16 lines over the darkened scene), the backlog (16 lines of earlier text with a scroll bar), the choice
// window (up to 4 choices), the date and clock plates (sliding in from the top corners and running toward the
// game-state calendar), the place plate and the right-click menu (9 buttons). The panels and their pictures come
// from the form "SubWinUnit"; the adventure hangs each window's root under its own panel (Attach), feeds the
// windows, steps each one every frame (Frame) and hears clicks, buttons and decisions through callbacks.
//
// Text. A line is 26 cells of one double-byte CP932 character (53 bytes with the terminating zero); one-byte
// characters are skipped, a line longer than 26 cells is cut, text beyond the page's last line is ignored until the
// page is cleared. A cell is 20 x 20 pixels: cell c of line l lies at (20 c, 24 l) in the text panel. Lines are
// rendered by one of three text makers (style 0: "ＭＳ ゴシック", 1: "ＭＳ 明朝", 2: "ＭＳ ゴシック", all
// anti-aliased) into the text panel's own alpha plane, which the panel fills with its colour.
//
// Window states: 1 idle (shown or hidden), 2 opening, 3 closing, 4 typing (text windows) or shown for a while
// (plates). `IsBusy` is any state but 1. Fades take 5 frames (text windows, backlog), 15 (choices), 12 steps (menu).
//
// Callback codes: left click 1, right click 2, middle click 3, backlog scrolled 4, choice decided 5, backlog closed
// 6; the message window's buttons send their own codes (14 hide, 15 auto, 16 skip, 17 backlog, 18 save, 19 load,
// 20 configuration). A callback that is not set is not called. Nothing is reported while the unit is closed, and a
// callback may close the unit: the handler that called it touches nothing afterwards.
//
// Everything runs on the game thread under the game lock. Pictures are loaded through the system file manager given
// to `Open` and the installed game services' memory registry (shell/gamefunc.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/vxcallback.h"
#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"

class TZoAlpha;
class TZoRGBBits;
class TZoRGBBtn;
class TZoRGBSimple;
class TZoRGBText;
class VXFileMan;

// Drawing that the adventure's windows share (their OnDraw handlers get the area of dest to fill):
// Tones the area to a grey level (128ths of the scene left), as the darkening windows do.
bool DarkenArea(TZoRGBBits* dest, int x, int y, int dx, int dy, int grey);

class TSubWinUnit : public Classes::TComponent {
public:
  using TCallback = VXBaseCallback1<bool, int>;
  using TMenuCallback = VXBaseCallback0<void>;
  // Plays a system sound of the game window (4 click, 5 focus).
  using TSystemSePlayer = std::function<void(int index)>;

  enum TCode : int {
    kLeftClick = 1,
    kRightClick = 2,
    kMiddleClick = 3,
    kLogScrolled = 4,
    kChoiceDecided = 5,
    kLogClosed = 6,
    kMesLook = 14,
    kMesAuto = 15,
    kMesSkip = 16,
    kMesLog = 17,
    kMesSave = 18,
    kMesLoad = 19,
    kMesConfig = 20,
  };
  enum TState : std::uint8_t { wsIdle = 1, wsOpening = 2, wsClosing = 3, wsTyping = 4 };

  static constexpr int kCellSize = 20;
  static constexpr int kLineStep = 24;
  static constexpr int kLineCells = 26;
  static constexpr int kLineWidth = kCellSize * kLineCells;  // 520
  static constexpr int kMesLines = 5;
  static constexpr int kNovelLines = 16;
  static constexpr int kLogLines = 16;
  static constexpr int kChoices = 4;
  static constexpr int kChoiceBytes = 52;
  static constexpr int kMenuButtons = 9;
  static constexpr int kFadeFrames = 5;
  static constexpr int kSelFadeFrames = 15;
  static constexpr int kMenuSteps = 12;
  static constexpr int kShownGrey = 0x40;  // what the darkening windows leave of the scene, in 128ths
  static constexpr int kSubMinutes = 1800;  // frames in a minute of the plates' clock

  // One line of a page: 26 cells of two bytes and the terminating zero.
  using TLine = std::array<char, 2 * kLineCells + 1>;

  template <class Callback>
  class TWindow;
  class TTextPage;
  class TTextWindow;
  class TBacklog;
  class TChoiceWindow;
  class TPlates;
  class TPlacePlate;
  class TMenu;

  // Loads the form resource "SubWinUnit" (throws platform::form::EFormError when it cannot): back draw rate 96,
  // pages and states cleared, both text windows' speed 200.
  explicit TSubWinUnit(Classes::TComponent* owner);
  ~TSubWinUnit() override;  // closes an open unit

  // Keeps the file manager, makes the text makers' buffers and creates every window's panels and pictures, the text
  // planes (filled with 0) and the staging planes; every window idle and hidden. False (closed again) when a plane
  // or a panel cannot be made.
  bool Open(VXFileMan* systemFiles);
  // Releases the planes, the pictures and the panels.
  void Close();
  bool IsOpen() const { return open_; }

  // The message window's back is drawn at (100 - percent, clamped to 0..100) x 128 / 100.
  void SetMesTrans(int percent);
  int GetBackRate() const { return backRate_; }

  // Where the menu's sounds go; the game window's system sounds by default.
  void SetSystemSePlayer(TSystemSePlayer player) { playSe_ = std::move(player); }

  TTextWindow& Message() { return *message_; }
  TTextWindow& Novel() { return *novel_; }
  TBacklog& Backlog() { return *backlog_; }
  TChoiceWindow& Choice() { return *choice_; }
  TPlates& Plates() { return *plates_; }
  TPlacePlate& Place() { return *place_; }
  TMenu& Menu() { return *menu_; }

  // ---- Published components (filled by the form)
  TZoRGBPanel* MesBack = nullptr;
  TZoRGBPanel* MesFrame = nullptr;
  TZoRGBPanel* MesText = nullptr;
  TZoRGBSimple* MesWait = nullptr;
  TZoRGBBtn* MesLook = nullptr;
  TZoRGBBtn* MesAuto = nullptr;
  TZoRGBBtn* MesSkip = nullptr;
  TZoRGBBtn* MesLog = nullptr;
  TZoRGBBtn* MesSave = nullptr;
  TZoRGBBtn* MesLoad = nullptr;
  TZoRGBBtn* MesConfig = nullptr;
  TZoRGBPanel* SelWin = nullptr;
  TZoRGBPanel* SelCur = nullptr;
  TZoRGBPanel* SelText = nullptr;
  TZoRGBPanel* MesWin = nullptr;
  TZoRGBText* MesTextMaker1 = nullptr;
  TZoRGBText* MesTextMaker2 = nullptr;
  TZoRGBText* MesTextMaker3 = nullptr;
  TZoRGBPanel* MenuWin = nullptr;
  TZoRGBBtn* MenuBtn1 = nullptr;
  TZoRGBBtn* MenuBtn2 = nullptr;
  TZoRGBBtn* MenuBtn3 = nullptr;
  TZoRGBBtn* MenuBtn4 = nullptr;
  TZoRGBBtn* MenuBtn5 = nullptr;
  TZoRGBBtn* MenuBtn6 = nullptr;
  TZoRGBBtn* MenuBtn7 = nullptr;
  TZoRGBBtn* MenuBtn8 = nullptr;
  TZoRGBBtn* MenuBtn9 = nullptr;
  TZoRGBPanel* NovelWin = nullptr;
  TZoRGBPanel* NovelText = nullptr;
  TZoRGBSimple* NovelWait = nullptr;
  TZoRGBPanel* LogWin = nullptr;
  TZoRGBPanel* LogBack = nullptr;
  TZoRGBPanel* LogText = nullptr;
  TZoRGBPanel* LogFrame = nullptr;
  TZoRGBBtn* LogClose = nullptr;
  TZoRGBPanel* LogBar = nullptr;
  TZoRGBPanel* LogPos = nullptr;
  TZoRGBBtn* LogUp = nullptr;
  TZoRGBBtn* LogDown = nullptr;
  TZoRGBPanel* DateWin = nullptr;
  TZoRGBPanel* TimeWin = nullptr;
  TZoRGBPanel* Month1 = nullptr;
  TZoRGBPanel* Month2 = nullptr;
  TZoRGBPanel* DateSep = nullptr;
  TZoRGBPanel* Day1 = nullptr;
  TZoRGBPanel* Day2 = nullptr;
  TZoRGBPanel* Hour1 = nullptr;
  TZoRGBPanel* Hour2 = nullptr;
  TZoRGBPanel* TimeSep = nullptr;
  TZoRGBPanel* Min1 = nullptr;
  TZoRGBPanel* Min2 = nullptr;
  TZoRGBPanel* PlaceWin = nullptr;

  // ---- Handlers the form binds (they do nothing while the unit is closed)
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  bool MesBackDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool MesFrameDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool MesTextDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void MesWinMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void MesBtnClick(Classes::TComponent* sender);
  void MesBtnMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  bool NovelWinDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool NovelTextDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void NovelWinMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  bool LogBackDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool LogTextDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool LogFrameDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void LogWinMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void LogBarMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void LogBarMouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y);
  void LogUpClick(Classes::TComponent* sender);
  void LogDownClick(Classes::TComponent* sender);
  void LogCloseClick(Classes::TComponent* sender);
  bool SelWinDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool SelTextDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void SelWinMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void SelTextMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void SelTextMouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y);
  bool MenuWinDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void MenuWinMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void MenuBtnClick(Classes::TComponent* sender);
  void MenuBtnMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void MenuBtnMouseEnter(Classes::TComponent* sender);
  void MenuBtnMouseLeave(Classes::TComponent* sender);


  // ---- Shared by the windows
  // Renders a line of CP932 text in a style (0-2) into the band (0, y) .. (519, y + 19) of the plane, cleared
  // first; the band stays clear when the style's text maker has no buffer.
  void RenderLine(int style, const char* text, TZoAlpha* plane, int y);
  VXFileMan* GetSystemFiles() const { return files_; }
  void PlaySystemSe(int index) const;

private:
  TZoRGBText* Maker(int style) const;
  bool MakeTextPlanes();
  void ReleaseTextPlanes();
  void ShareDigits();
  std::array<TZoRGBPanel*, 9> Roots() const;
  void ResetWindows();  // idle and empty

  bool open_ = false;
  VXFileMan* files_ = nullptr;
  int backRate_ = 96;
  TSystemSePlayer playSe_;
  std::unique_ptr<TTextWindow> message_;
  std::unique_ptr<TTextWindow> novel_;
  std::unique_ptr<TBacklog> backlog_;
  std::unique_ptr<TChoiceWindow> choice_;
  std::unique_ptr<TPlates> plates_;
  std::unique_ptr<TPlacePlate> place_;
  std::unique_ptr<TMenu> menu_;
};

// What the windows share: the root panel that the adventure hangs under its own panel, a state (1 idle, 2 opening,
// 3 closing, 4 typing or shown for a while) with its timer, and the callback that hears the window.
template <class Callback>
class TSubWinUnit::TWindow {
public:
  virtual ~TWindow() = default;

  // Hides the root and hangs it under the parent, or takes it off.
  void Attach(TZoRGBPanel* parent) {
    root_->SetVisible(false);
    root_->SetParent(parent);
  }
  void Detach() { root_->SetParent(nullptr); }
  void SetCallback(const Callback& callback) { callback_ = callback; }
  int GetState() const { return state_; }
  bool IsBusy() const { return state_ != wsIdle; }
  bool IsShown() const { return state_ != wsClosing && root_->GetVisible(); }

protected:
  TWindow(TSubWinUnit& unit, TZoRGBPanel* root) : unit_(unit), root_(root) {}
  // The callback may close the unit: the caller touches nothing of the window afterwards.
  template <class... A>
  void Report(A... args) const {
    if (callback_.IsValid()) callback_.Invoke(args...);
  }

  TSubWinUnit& unit_;
  TZoRGBPanel* const root_;
  Callback callback_;
  std::uint8_t state_ = wsIdle;
  int timer_ = 0;
};

// A window with a page of lines in its text panel's own alpha plane: the text added last to the current line runs
// from the start cell to the end cell.
class TSubWinUnit::TTextPage : public TWindow<TCallback> {
public:
  TTextPage(TSubWinUnit& unit, TZoRGBPanel* root, int lines, int style, TZoRGBPanel* text);

  int GetLineCount() const { return static_cast<int>(lines_.size()); }
  int GetLine() const { return line_; }
  int GetStartCell() const { return start_; }
  int GetEndCell() const { return end_; }
  VXString GetLineText(int line) const;  // empty outside the page

protected:
  // Appends the text's double-byte characters to the current line, up to 26 cells; false when nothing was appended
  // (a one-byte text, a full line, or a page already full).
  bool AppendText(const VXString& text);
  void NextLine();
  void ClearPage();  // the lines, the cursor and the plane
  // The current line into the text panel's plane at its place, marked changed.
  void RenderCurrentLine();
  TZoAlpha* Plane() const;
  void MarkCells(int line, int fromCell, int cells);

  TZoRGBPanel* const text_;
  const int style_;
  std::vector<TLine> lines_;
  int line_ = 0;
  int start_ = 0;
  int end_ = 0;
};

// The message window and the novel window. Text added with a speed types itself cell by cell: the elapsed frames x
// 100 divided by the speed is the count of cells shown. A window may type while it is still opening.
class TSubWinUnit::TTextWindow : public TTextPage {
public:
  struct TPanels {
    TZoRGBPanel* root;
    TZoRGBPanel* text;
    TZoRGBSimple* wait;
    bool waitInRoot;  // the novel window's icon follows the text; the message window's stands on its own
    std::vector<TZoRGBPanel*> buttons;  // shown when the window has opened
  };
  TTextWindow(TSubWinUnit& unit, int lines, int style, TPanels panels);
  ~TTextWindow() override;

  // The message window's wait icon goes with its root.
  void Attach(TZoRGBPanel* parent);
  void Detach();

  // 1 idle, 2 opening, 3 closing (while fading), 4 typing (when not fading).
  int GetState() const;
  bool IsBusy() const { return GetState() != wsIdle; }
  bool IsTyping() const { return typing_; }
  // Opening and closing take 5 frames; immediate ends them at once. Text and buttons show once the window is open.
  void Show(bool immediate);
  void Hide(bool immediate);
  // Busy afterwards. A hidden window or a speed of 0 shows the text at once; text added while a line is still
  // typing finishes that line first.
  bool AddText(int speed, const VXString& text);
  void NewLine();
  void Clear();
  void SetWaitMark(bool on);
  bool GetWaitMark() const { return waitMark_; }
  int GetSpeed() const { return speed_; }
  // Skipping ends a fade or the typing at once.
  bool Frame(int ticks, bool skip);
  // Message window: selects the auto and skip buttons.
  void SetAutoSkip(bool autoOn, bool skipOn);

private:
  friend class TSubWinUnit;
  void Reset();
  // What the window's drawing shows of its back (0-128) and leaves of the scene behind it (grey level, 128ths).
  int Opacity() const;
  int Grey() const;
  bool MakeStaging();
  void ReleaseStaging();
  void HideContent();
  void EndFade();
  void TypeStep(int ticks);
  void FinishTyping();
  void UpdateWaitIcon();

  TPanels panels_;
  std::unique_ptr<TZoAlpha> staging_;
  bool typing_ = false;
  int typeTimer_ = 0;  // elapsed frames x 100
  int speed_ = 200;
  bool waitMark_ = false;
};

// The backlog: 16 lines rendered at once, over the darkened scene, with a scroll bar whose thumb shows the position.
class TSubWinUnit::TBacklog : public TTextPage {
public:
  explicit TBacklog(TSubWinUnit& unit);

  // Shown, the text and the close button are visible, the bar and its buttons only when there is something to
  // scroll.
  void Show(bool immediate);
  void Hide(bool immediate);
  void AddText(const VXString& text);
  void NewLine();
  void Clear();
  // Maximum n (0 when negative), position at the maximum, thumb at the bottom.
  void SetScrollMax(int n);
  int GetScrollMax() const { return max_; }
  // Only with a maximum above 0: the position clamped to 0 .. maximum, and the thumb moved.
  void SetScrollPos(int position);
  int GetScrollPos() const { return pos_; }
  bool Frame(int ticks, bool skip);

private:
  friend class TSubWinUnit;
  void Reset();
  int Grey() const;
  // The mouse on the bar at y (bar coordinates, clamped to the thumb's track); true when the position changed.
  bool ScrollToBar(int y);
  void ShowContent();
  void HideContent();
  int Track() const;  // the bar's height less the thumb's

  int max_ = 0;
  int pos_ = 0;
};

// Up to four choices; choice 0 can always be chosen, choices 1-3 when their text is not empty.
class TSubWinUnit::TChoiceWindow : public TWindow<TCallback> {
public:
  explicit TChoiceWindow(TSubWinUnit& unit);

  // Choice 0 selected; the window opens from its middle over 15 frames (skipping does not shorten it), text and
  // cursor showing at the end.
  void Open(bool immediate);
  // Closes toward the middle over 15 frames (skipping: at once).
  void Close(bool immediate);
  void Clear();
  // Index 0-3; the text is cut to 52 bytes without splitting a double-byte character.
  void SetChoice(int index, const VXString& text);
  VXString GetChoice(int index) const;
  bool IsEnabled(int index) const;
  // Index 0-3, an index above 0 only when enabled.
  void Select(int index);
  // Idle only: the nearest enabled choice above (else 0) or below (else where it is).
  void SelectPrev();
  void SelectNext();
  int GetSelected() const { return selected_; }
  bool Frame(int ticks, bool skip);

private:
  friend class TSubWinUnit;
  void Reset();
  // The rows of the window's picture that are not drawn at the top and at the bottom while it opens or closes.
  int CutRows() const;
  // The choice under y of the text panel: -1 between the rows and below them; above them choice 0.
  static int RowAt(int y);

  std::array<TLine, kChoices> texts_{};
  std::array<bool, kChoices> enabled_{true, false, false, false};
  int selected_ = 0;
};

// The date plate (top left) and the clock plate (top right). Shown, a plate slides in over 4 frames, stays 150
// frames and slides out again. The shown date and time run toward the game-state calendar at one minute a 1800
// frames, and jump to it when they would pass it.
class TSubWinUnit::TPlates {
public:
  explicit TPlates(TSubWinUnit& unit);

  void Attach(TZoRGBPanel* parent);  // both plates
  void Detach();
  bool IsBusy() const;
  int GetDateState() const { return date_.state; }
  int GetTimeState() const { return time_.state; }
  void ShowDate(bool immediate) { Show(date_, immediate); }
  void HideDate(bool immediate) { Hide(date_, immediate); }
  void ShowTime(bool immediate) { Show(time_, immediate); }
  void HideTime(bool immediate) { Hide(time_, immediate); }
  // The calendar of the game state at once.
  void SyncCalendar();
  bool Frame(int ticks, bool skip);

  struct TShown {
    int month, day, hour, minute, subMinute;
  };
  TShown GetShown() const { return shown_; }

private:
  friend class TSubWinUnit;
  void Reset();
  struct TPlate {
    TZoRGBPanel* panel;
    bool right;
    std::uint8_t state;
    int timer;
  };
  static constexpr int kSlideFrames = 4;
  static constexpr int kStayFrames = 150;

  void Show(TPlate& plate, bool immediate);
  void Hide(TPlate& plate, bool immediate);
  void Step(TPlate& plate, bool skip);
  // t of 4: 0 in the corner, 4 outside it.
  void Place(TPlate& plate, int t);
  void RunToCalendar(int ticks);
  void ShowDigits();

  TSubWinUnit& unit_;
  TPlate date_;
  TPlate time_;
  TShown shown_{};
  int colon_ = 0;
};

// The picture of the current place, sliding in from the left, staying 60 frames and sliding out.
class TSubWinUnit::TPlacePlate {
public:
  explicit TPlacePlate(TSubWinUnit& unit);

  void Attach(TZoRGBPanel* parent);
  void Detach();
  int GetState() const { return state_; }
  bool IsBusy() const { return state_ != wsIdle; }
  // "AvgPlace%02d.png" of the system files; without it the plate stays hidden. Busy afterwards.
  bool ShowPlace(int place);
  void HidePlace();  // at once
  bool Frame(int ticks, bool skip);

private:
  friend class TSubWinUnit;
  void Reset();
  static constexpr int kLeft = 65;
  static constexpr int kTop = 65;
  static constexpr int kSlideFrames = 8;
  static constexpr int kStayFrames = 60;
  void ReleasePicture();
  void Place(int t);  // t of 8: 0 in place, 8 outside on the left

  TSubWinUnit& unit_;
  std::uint8_t state_ = wsIdle;
  int timer_ = 0;
};

// The right-click menu: nine buttons over the darkened scene that slide in one after another and out the other way
// round. A chosen button's Tag (0-8) is the result, -1 a cancel; either calls the callback.
class TSubWinUnit::TMenu : public TWindow<TMenuCallback> {
public:
  explicit TMenu(TSubWinUnit& unit);

  void Open(bool immediate);
  void Close(bool immediate);
  void SetEnabled(int index, bool on);  // 0-8
  // Idle only. From no focus the next usable button after the first; the mouse pointer is moved onto the focused
  // button.
  void FocusNext();
  void FocusPrev();
  void ActivateFocused();
  void Cancel();
  int GetResult() const { return result_; }
  int GetFocus() const { return focus_; }
  int GetStep() const { return step_; }
  void Frame();
  TZoRGBBtn* Button(int index) const;  // null outside 0-8

private:
  friend class TSubWinUnit;
  void Reset();
  int Grey() const;
  int IndexOf(const Classes::TComponent* button) const;  // -1 for another component
  void Choose(TZoRGBBtn* button);  // idle only: system sound 4, the button's Tag as the result, the callback
  void Enter(int index);
  void Leave(int index);
  static constexpr int kButtonLeft = 195;
  static constexpr int kButtonStep = 10;
  static constexpr int kButtonTop = 100;
  static constexpr int kRowStep = 32;
  static constexpr int kHiddenLeft = -170;
  void PlaceButtons(int slide);  // each button's lag behind the slide, see the source
  bool Usable(int index) const;
  void PointAt(int index) const;

  std::array<TZoRGBBtn*, kMenuButtons> buttons_{};
  int step_ = 0;
  int focus_ = -1;
  int result_ = -1;
};

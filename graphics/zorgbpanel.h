// The panel tree: every screen of the game is a tree of panels. A panel is a rectangle placed in its parent; it may
// show one block of a picture (opaque, through an alpha plane, or with a colour key), draw itself through OnDraw,
// and hold child panels in z-order (index 0 at the bottom, the last one topmost).
//
// Dirt. Each panel keeps a set of dirty rectangles in its own coordinates. Declaring an area dirty adds it to the
// panel, to every ancestor and to every overlapping descendant (translated and clipped at each level), so the
// root's set always holds what must be redrawn; `Update` redraws exactly that and empties every set. Only created
// and visible panels take dirt, draw, take input and form the active chain.
//
// Input. The root gets mouse and key events in its own coordinates. A press on a panel makes it capture the mouse
// for the whole tree (every panel stores the same capture panel); the release goes to it wherever the cursor is, and
// a click fires when a left press and its release both land on the panel. Keys go down the active chain (the
// topmost created and visible child at each level) to the deepest panel with KeyControl set. Mouse coordinates in
// events are the panel's own; key codes are Windows virtual-key codes; OnKeyPress carries a CP932 byte.
//
// Changes during a walk. Handlers run inside the walks (routing, drawing, dirt propagation, animation) and may show,
// hide, add, move or delete panels. Every walk visits a snapshot of the children and skips a child that was
// destroyed or moved to another parent meanwhile. A handler that must delete a panel which a walk may still be
// inside (the sender, or an ancestor of it) calls `Free()`: the panel leaves the tree at once and is destroyed when
// the outermost walk has returned.
//
// Not safe for concurrent use: the game serialises every call on a tree under its own lock.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/vxrect.h"
#include "graphics/vxrgbraw.h"
#include "platform/component.h"

class TZoRGBBits;
class TZoAlpha;

// ---- Input value types, as the framework's events carry them.

enum TShiftStateItem : std::uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };

// The modifier keys and mouse buttons held during an input event.
class TShiftState {
public:
  constexpr TShiftState() = default;
  constexpr TShiftState(std::initializer_list<TShiftStateItem> items) {
    for (TShiftStateItem i : items) bits_ |= static_cast<std::uint8_t>(1u << i);
  }
  constexpr bool Contains(TShiftStateItem i) const { return (bits_ >> i & 1u) != 0; }
  constexpr TShiftState& operator<<(TShiftStateItem i) {
    bits_ |= static_cast<std::uint8_t>(1u << i);
    return *this;
  }
  constexpr TShiftState& operator>>(TShiftStateItem i) {
    bits_ &= static_cast<std::uint8_t>(~(1u << i));
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TShiftState, TShiftState) = default;

private:
  std::uint8_t bits_ = 0;
};

enum TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };

struct TPoint {
  int x = 0;
  int y = 0;
};

// ---- Event kinds (the sender is the panel).
using TNotifyEvent = Classes::TNotifyEvent;
using TMouseMoveEvent = std::function<void(Classes::TComponent* sender, TShiftState shift, int x, int y)>;
using TMouseEvent =
    std::function<void(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseWheelEvent = std::function<void(Classes::TComponent* sender, TShiftState shift, int wheelDelta,
                                            const TPoint& mousePos, bool& handled)>;
using TKeyEvent = std::function<void(Classes::TComponent* sender, unsigned short& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(Classes::TComponent* sender, char& key)>;
// Draws the area (sx, sy, dx, dy) of the panel at (x, y) of the destination; true when it drew it, so that the
// panel's own picture is skipped.
using TZoDrawEvent = std::function<bool(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy,
                                        int dx, int dy)>;

// Offsets and sizes are held within ±kZoPanelCoordLimit, so that the sums of a deep tree's offsets and sizes
// stay inside the int range; a panel that far out is off every picture anyway.
constexpr int kZoPanelCoordLimit = 1 << 20;
// The most blocks a widget's pattern or frame count may name (a block is at least one pixel high); larger counts
// are ignored, so that the sums of a widget's counts stay inside the int range.
constexpr int kZoMaxBlocks = kZoPanelCoordLimit;

// How the picture is composed.
enum TMaskMode : std::uint8_t {
  mmOpaque = 0,    // the block is copied
  mmAlpha = 1,     // blended through the alpha plane (or a pf32_8888 picture's own alpha)
  mmColorKey = 2,  // pixels of the colour key are skipped
  mmHitOnly = 3,   // not drawn; still serves the hit test
};

class TZoRGBPanel : public Classes::TComponent {
public:
  explicit TZoRGBPanel(Classes::TComponent* owner);
  TZoRGBPanel(Classes::TComponent* owner, TZoRGBPanel* parent);
  ~TZoRGBPanel() override;
  TZoRGBPanel(const TZoRGBPanel&) = delete;
  TZoRGBPanel& operator=(const TZoRGBPanel&) = delete;

  // Destroys the panel now, or, while a walk of any tree is running, takes it out of its tree now and destroys it
  // when the outermost walk returns.
  void Free();

  // ---- Tree
  TZoRGBPanel* GetParent() const { return parent_; }
  // A parent inside this panel's own subtree (or the panel itself) is refused: the panel is left without parent.
  void SetParent(TZoRGBPanel* p);
  void AddChild(TZoRGBPanel* child);  // appended topmost; the child's parent link is SetParent's business
  void DelChild(TZoRGBPanel* child);
  bool SearchPanelToParent(const TZoRGBPanel* p) const;  // p is this panel or an ancestor
  int GetChildCount() const { return static_cast<int>(children_.size()); }
  TZoRGBPanel* GetChild(int i) const;  // null outside 0 .. count - 1
  void RaiseOrder(TZoRGBPanel* child, TZoRGBPanel* ref);  // just above ref; topmost without ref
  void DownOrder(TZoRGBPanel* child, TZoRGBPanel* ref);   // just below ref; bottom without ref
  void ClientToScreen(int& x, int& y) const;
  void ScreenToClient(int& x, int& y) const;

  // ---- Life cycle
  bool Create();
  void Release();
  bool GetCreated() const { return created_; }
  void SetCreated(bool on);
  bool AllCreate();  // this panel first, then the subtree; false when any did not end up created
  void AllRelease();  // the subtree first, then this panel
  bool Show();
  void Hide();
  bool GetVisible() const { return visible_; }
  void SetVisible(bool on);

  // ---- Appearance
  TZoRGBBits* GetImage() const { return image_; }
  void SetImage(TZoRGBBits* image);  // not owned
  TZoAlpha* GetAlpha() const { return alpha_; }
  void SetAlpha(TZoAlpha* alpha);  // not owned
  VXRGB GetColorKey() const { return colorKey_; }
  void SetColorKey(VXRGB key);
  TMaskMode GetMaskMode() const { return maskMode_; }
  void SetMaskMode(TMaskMode mode);
  bool GetAutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  int GetNumBlock() const { return numBlock_; }
  void SetNumBlock(int n);
  int GetBlockIndex() const { return blockIndex_; }
  void SetBlockIndex(int i);
  int GetOffsetX() const { return offsetX_; }
  int GetOffsetY() const { return offsetY_; }
  int GetSizeX() const { return sizeX_; }
  int GetSizeY() const { return sizeY_; }
  void SetOffsetX(int v);
  void SetOffsetY(int v);
  void SetSizeX(int v);
  void SetSizeY(int v);
  bool GetKeyControl() const { return keyControl_; }
  void SetKeyControl(bool on) { keyControl_ = on; }
  bool GetMouseControl() const { return mouseControl_; }
  void SetMouseControl(bool on) { mouseControl_ = on; }
  bool GetMouseTrans() const { return mouseTrans_; }
  void SetMouseTrans(bool on) { mouseTrans_ = on; }
  // The name of the picture the screen loads into this panel (CP932); the panel only stores it. Widgets that show
  // their text override the setter.
  const std::string& GetText() const { return text_; }
  virtual void SetText(const std::string& text) { text_ = text; }

  // ---- Dirt (rectangles in this panel's coordinates)
  void SetModifyRect(const VXRect& r);
  void SetModify();  // the whole panel
  void SetModifyToParent(const VXRect& r);
  void SetModifyToParent();
  void SetModifyFromChild(TZoRGBPanel* child, const VXRect& r);
  void SetModifyToChild(TZoRGBPanel* except, const VXRect& r);
  void SetModifyToChild(TZoRGBPanel* except);
  void SetModifyFromParent(const VXRect& r);
  void ClrModify();
  void ClrModifyToChild();  // this panel and its whole subtree
  void SubModify(const VXRect& r);
  void SetModified(bool on);
  bool GetModified() const;
  void GetModifiedRect(VXRect& out) const;
  void GetModifiedRectSet(VXRectSet* out) const;
  const VXRectSet& GetModifySet() const { return dirty_; }

  // ---- Drawing: the area (sx, sy, dx, dy) of the panel with its origin at (x, y) of dest.
  bool Draw(TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool Draw(TZoRGBBits* dest, int x, int y);  // the whole panel; then every dirty set of the subtree is emptied
  bool Draw(TZoRGBBits* dest);
  bool Update(TZoRGBBits* dest, int x, int y);  // only the dirty rectangles
  bool Update(TZoRGBBits* dest);

  void Anime();  // children bottom first, then this panel's CallOnAnime

  // ---- Input
  bool MouseMove(TShiftState shift, int x, int y);
  bool MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  bool MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void MouseEnter(int x, int y);
  void MouseLeave();
  void MouseWheel(TShiftState shift, int wheelDelta, const TPoint& mousePos, bool& handled);
  bool KeyDown(unsigned short& key, TShiftState shift);
  bool KeyUp(unsigned short& key, TShiftState shift);
  bool KeyPress(char& key);

  TZoRGBPanel* FindPosPanel(int x, int y, bool mouse) const;
  bool PosInPanel(int x, int y, bool mouse) const;
  bool PosIsTrans(int x, int y) const;

  void SetMouseCapToParent(TZoRGBPanel* p);  // the capture of the whole tree; null releases it
  void SetMouseCapToChild(TZoRGBPanel* p);
  TZoRGBPanel* GetMouseCapture() const { return capture_; }
  TZoRGBPanel* GetHoverChild() const { return hover_; }
  bool GetPressed() const { return pressed_; }

  bool GetActive() const { return active_; }
  TZoRGBPanel* GetActivePanel() const;  // the topmost created and visible child
  void SetActive();
  void SetActiveToParent();
  void SetActiveToChild();
  void SetActiveFromParent(bool on);
  void SetActiveFromChild(TZoRGBPanel* child);

  // ---- Event slots: each fires its event when set; widgets override them.
  virtual void CallOnClick();
  virtual void CallOnCreate();
  virtual void CallOnRelease();
  virtual void CallOnShow();
  virtual void CallOnHide();
  virtual void CallOnMouseMove(TShiftState shift, int x, int y);
  virtual void CallOnMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void CallOnMouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void CallOnMouseEnter();
  virtual void CallOnMouseLeave();
  virtual void CallOnMouseWheel(TShiftState shift, int wheelDelta, const TPoint& mousePos, bool& handled);
  virtual void CallOnKeyDown(unsigned short& key, TShiftState shift);
  virtual void CallOnKeyUp(unsigned short& key, TShiftState shift);
  virtual void CallOnKeyPress(char& key);
  virtual void CallOnChange();
  virtual void CallOnActivate();
  virtual void CallOnDeactivate();
  virtual void CallOnAnime();
  virtual bool CallOnDraw(TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  // Clears hover, capture and pressed state of the subtree and marks each of its panels wholly dirty (without
  // spreading); the shell calls it on the root when it takes input again, followed by MouseEnter.
  virtual void StatusClear();

  TNotifyEvent OnClick, OnCreate, OnRelease, OnShow, OnHide;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseDown, OnMouseUp;
  TNotifyEvent OnMouseEnter, OnMouseLeave;
  TMouseWheelEvent OnMouseWheel;
  TKeyEvent OnKeyDown, OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnChange, OnActivate, OnDeactivate, OnAnime;
  TZoDrawEvent OnDraw;

protected:
  void Notification(Classes::TComponent* component, Classes::TOperation operation) override;
  // The block height of the picture; 0 without a usable picture.
  int BlockHeight() const;
  // The image area (sx, sy, w, h) of the current block drawn at (x, y) of dest by the mask mode.
  bool DrawImageBlock(TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h) const;
  bool DrawByMask(TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h) const;

public:
  class Walk;

private:
  void ChangeCreatedToParent();
  void ChangeCreatedFromChild();
  bool CaptureInSubtree() const;  // the capture panel lies in this panel's subtree
  bool IsShown() const { return created_ && visible_; }
  VXRect Bounds() const { return {0, 0, sizeX_, sizeY_}; }
  VXRect Frame() const { return {offsetX_, offsetY_, offsetX_ + sizeX_, offsetY_ + sizeY_}; }
  void SetGeometry(int& field, int v);
  void ApplyAutoSize();
  int IndexOf(const TZoRGBPanel* child) const;
  void MoveChild(TZoRGBPanel* child, int to);

  bool created_ = false;
  bool visible_ = true;
  bool keyControl_ = false;
  bool mouseControl_ = true;
  bool mouseTrans_ = false;
  bool autoSize_ = true;
  TZoRGBPanel* parent_ = nullptr;
  std::vector<TZoRGBPanel*> children_;
  bool active_ = false;
  bool pressed_ = false;
  TZoRGBPanel* capture_ = nullptr;
  TZoRGBPanel* hover_ = nullptr;
  TZoRGBBits* image_ = nullptr;
  TZoAlpha* alpha_ = nullptr;
  VXRGB colorKey_{};
  TMaskMode maskMode_ = mmOpaque;
  int offsetX_ = 0;
  int offsetY_ = 0;
  int sizeX_ = 640;
  int sizeY_ = 480;
  int numBlock_ = 1;
  int blockIndex_ = 0;
  bool batch_ = false;
  VXRectSet dirty_;
  std::string text_;
};

// A snapshot of a panel's children for one walk. While any walk runs, destroyed panels are struck from every
// snapshot and panels given to Free() wait; the outermost walk destroys them when it ends.
class TZoRGBPanel::Walk {
public:
  explicit Walk(const TZoRGBPanel& panel);
  ~Walk();
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  int size() const { return static_cast<int>(items_.size()); }
  // The i-th child of the snapshot, or null when it was destroyed or no longer belongs to the panel.
  TZoRGBPanel* operator[](int i) const;
  // Whether p is in the snapshot, not destroyed and still a child of the panel.
  bool Holds(const TZoRGBPanel* p) const;

  static bool Running();
  static void Defer(TZoRGBPanel* p);
  static void Forget(TZoRGBPanel* p);  // a destroyed panel leaves every snapshot and the deferred list

private:
  const TZoRGBPanel& panel_;
  std::vector<TZoRGBPanel*> items_;
  Walk* outer_;
};

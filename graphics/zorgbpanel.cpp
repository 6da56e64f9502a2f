#include "graphics/zorgbpanel.h"

#include <algorithm>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"

// ---- Walks ----------------------------------------------------------------------------------------------------

namespace {
// The tree is used by one thread at a time; each thread keeps its own chain of running walks.
thread_local TZoRGBPanel::Walk* innermostWalk = nullptr;
thread_local std::vector<TZoRGBPanel*> deferredPanels;

void DestroyDeferred() {
  while (!deferredPanels.empty()) {
    TZoRGBPanel* p = deferredPanels.back();
    deferredPanels.pop_back();
    delete p;
  }
}
}  // namespace

TZoRGBPanel::Walk::Walk(const TZoRGBPanel& panel)
    : panel_(panel), items_(panel.children_), outer_(innermostWalk) {
  innermostWalk = this;
}

TZoRGBPanel::Walk::~Walk() {
  innermostWalk = outer_;
  if (innermostWalk == nullptr) DestroyDeferred();
}

TZoRGBPanel* TZoRGBPanel::Walk::operator[](int i) const {
  TZoRGBPanel* p = items_[static_cast<std::size_t>(i)];
  return p != nullptr && p->parent_ == &panel_ ? p : nullptr;
}

bool TZoRGBPanel::Walk::Holds(const TZoRGBPanel* p) const {
  if (p == nullptr || p->parent_ != &panel_) return false;
  return std::find(items_.begin(), items_.end(), p) != items_.end();
}

bool TZoRGBPanel::Walk::Running() { return innermostWalk != nullptr; }

void TZoRGBPanel::Walk::Defer(TZoRGBPanel* p) {
  if (std::find(deferredPanels.begin(), deferredPanels.end(), p) == deferredPanels.end())
    deferredPanels.push_back(p);
}

void TZoRGBPanel::Walk::Forget(TZoRGBPanel* p) {
  for (Walk* w = innermostWalk; w != nullptr; w = w->outer_) std::replace(w->items_.begin(), w->items_.end(), p,
                                                                          static_cast<TZoRGBPanel*>(nullptr));
  std::erase(deferredPanels, p);
}

// ---- Construction -------------------------------------------------------------------------------------------

TZoRGBPanel::TZoRGBPanel(Classes::TComponent* owner) : Classes::TComponent(owner) {}

TZoRGBPanel::TZoRGBPanel(Classes::TComponent* owner, TZoRGBPanel* parent) : Classes::TComponent(owner) {
  parent_ = parent;
  if (parent != nullptr) parent->AddChild(this);
}

TZoRGBPanel::~TZoRGBPanel() {
  Walk::Forget(this);
  if (visible_) Hide();
  if (created_) Release();
  if (parent_ != nullptr) {
    parent_->DelChild(this);
    parent_ = nullptr;
    StatusClear();
  }
  while (!children_.empty()) {
    TZoRGBPanel* child = children_.back();
    if (child->parent_ == this)
      child->SetParent(nullptr);
    else
      children_.pop_back();  // added by AddChild alone: its parent link is someone else's
  }
  Walk::Forget(this);
}

void TZoRGBPanel::Free() {
  if (!Walk::Running()) {
    delete this;
    return;
  }
  SetParent(nullptr);
  Walk::Defer(this);
}

void TZoRGBPanel::Notification(Classes::TComponent* component, Classes::TOperation operation) {
  if (operation == Classes::opRemove) {
    if (component == image_) image_ = nullptr;
    if (component == alpha_) alpha_ = nullptr;
  }
  Classes::TComponent::Notification(component, operation);
}

// ---- Tree -----------------------------------------------------------------------------------------------------

int TZoRGBPanel::IndexOf(const TZoRGBPanel* child) const {
  const auto it = std::find(children_.begin(), children_.end(), child);
  return it == children_.end() ? -1 : static_cast<int>(it - children_.begin());
}

void TZoRGBPanel::MoveChild(TZoRGBPanel* child, int to) {
  children_.erase(children_.begin() + IndexOf(child));
  children_.insert(children_.begin() + std::clamp(to, 0, GetChildCount()), child);
}

void TZoRGBPanel::SetParent(TZoRGBPanel* p) {
  Walk walk(*this);
  if (parent_ != nullptr) {
    parent_->DelChild(this);
    SetModifyToParent();
    if (hover_ != nullptr) hover_->MouseLeave();
    parent_ = nullptr;
    StatusClear();
    SetActive();
  }
  if (p != nullptr && p->SearchPanelToParent(this)) {
    hover_ = nullptr;
    return;
  }
  parent_ = p;
  if (p != nullptr) {
    p->AddChild(this);
    SetModify();
  }
  hover_ = nullptr;
}

void TZoRGBPanel::AddChild(TZoRGBPanel* child) {
  if (child == nullptr || IndexOf(child) >= 0) return;
  children_.push_back(child);
  SetActiveToChild();
  child->SetMouseCapToChild(capture_);
}

void TZoRGBPanel::DelChild(TZoRGBPanel* child) {
  const int i = IndexOf(child);
  if (i < 0) return;
  children_.erase(children_.begin() + i);
  if (hover_ == child) hover_ = nullptr;
  if (capture_ != nullptr && capture_->SearchPanelToParent(child)) SetMouseCapToParent(nullptr);
  SetActiveToChild();
}

bool TZoRGBPanel::SearchPanelToParent(const TZoRGBPanel* p) const {
  for (const TZoRGBPanel* q = this; q != nullptr; q = q->parent_)
    if (q == p) return true;
  return false;
}

TZoRGBPanel* TZoRGBPanel::GetChild(int i) const {
  return i >= 0 && i < GetChildCount() ? children_[static_cast<std::size_t>(i)] : nullptr;
}

void TZoRGBPanel::RaiseOrder(TZoRGBPanel* child, TZoRGBPanel* ref) {
  if (IndexOf(child) < 0) return;
  if (ref == nullptr || IndexOf(ref) < 0) {
    MoveChild(child, GetChildCount());
  } else if (ref != child) {
    children_.erase(children_.begin() + IndexOf(child));
    children_.insert(children_.begin() + IndexOf(ref) + 1, child);
  }
  SetActiveToChild();
}

void TZoRGBPanel::DownOrder(TZoRGBPanel* child, TZoRGBPanel* ref) {
  if (IndexOf(child) < 0) return;
  if (ref == nullptr || IndexOf(ref) < 0) {
    MoveChild(child, 0);
  } else if (ref != child) {
    children_.erase(children_.begin() + IndexOf(child));
    children_.insert(children_.begin() + IndexOf(ref), child);
  }
  SetActiveToChild();
}

void TZoRGBPanel::ClientToScreen(int& x, int& y) const {
  for (const TZoRGBPanel* q = this; q != nullptr; q = q->parent_) {
    x += q->offsetX_;
    y += q->offsetY_;
  }
}

void TZoRGBPanel::ScreenToClient(int& x, int& y) const {
  for (const TZoRGBPanel* q = this; q != nullptr; q = q->parent_) {
    x -= q->offsetX_;
    y -= q->offsetY_;
  }
}

// ---- Life cycle -----------------------------------------------------------------------------------------------

bool TZoRGBPanel::Create() {
  if (created_) return true;
  Walk walk(*this);
  try {
    created_ = true;
    CallOnCreate();
    if (visible_) CallOnShow();
    SetModify();
    if (!batch_) ChangeCreatedToParent();
  } catch (...) {
    // A failing handler leaves the panel released; the failure is the false result.
    SetCreated(false);
  }
  hover_ = nullptr;
  return created_;
}

void TZoRGBPanel::Release() {
  if (!created_) return;
  Walk walk(*this);
  if (CaptureInSubtree()) SetMouseCapToParent(nullptr);
  created_ = false;
  if (visible_) CallOnHide();
  CallOnRelease();
  if (parent_ != nullptr) SetModifyToParent();
  if (!batch_) ChangeCreatedToParent();
  StatusClear();
}

void TZoRGBPanel::SetCreated(bool on) {
  if (on == created_) return;
  if (on)
    Create();
  else
    Release();
}

namespace {
// Sets a flag for the duration of a scope, also when an exception passes.
struct FlagScope {
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;
  bool& flag_;
};
}  // namespace

bool TZoRGBPanel::AllCreate() {
  Walk walk(*this);
  FlagScope batch(batch_);
  bool all = Create();
  for (int i = 0; i < walk.size(); ++i)
    if (TZoRGBPanel* c = walk[i]) all = c->AllCreate() && all;
  ChangeCreatedToParent();
  return all && created_;
}

void TZoRGBPanel::AllRelease() {
  Walk walk(*this);
  FlagScope batch(batch_);
  for (int i = 0; i < walk.size(); ++i)
    if (TZoRGBPanel* c = walk[i]) c->AllRelease();
  Release();
  ChangeCreatedToParent();
}

void TZoRGBPanel::ChangeCreatedToParent() {
  if (parent_ != nullptr)
    parent_->ChangeCreatedFromChild();
  else
    SetActiveToChild();
}

void TZoRGBPanel::ChangeCreatedFromChild() { ChangeCreatedToParent(); }

bool TZoRGBPanel::Show() {
  if (visible_) return true;
  Walk walk(*this);
  visible_ = true;
  if (created_) {
    CallOnShow();
    SetModify();
  }
  return true;
}

void TZoRGBPanel::Hide() {
  if (!visible_) return;
  Walk walk(*this);
  if (CaptureInSubtree()) SetMouseCapToParent(nullptr);
  visible_ = false;
  if (created_) {
    CallOnHide();
    if (parent_ != nullptr) SetModifyToParent();
  }
  StatusClear();
}

void TZoRGBPanel::SetVisible(bool on) {
  if (on == visible_) return;
  if (on)
    Show();
  else
    Hide();
}

bool TZoRGBPanel::CaptureInSubtree() const { return capture_ != nullptr && capture_->SearchPanelToParent(this); }

// ---- Appearance -----------------------------------------------------------------------------------------------

void TZoRGBPanel::SetGeometry(int& field, int v) {
  v = std::clamp(v, -kZoPanelCoordLimit, kZoPanelCoordLimit);
  if (field == v) return;
  if (parent_ != nullptr) SetModifyToParent();
  field = v;
  SetModify();
}

void TZoRGBPanel::SetOffsetX(int v) { SetGeometry(offsetX_, v); }
void TZoRGBPanel::SetOffsetY(int v) { SetGeometry(offsetY_, v); }
void TZoRGBPanel::SetSizeX(int v) { SetGeometry(sizeX_, v); }
void TZoRGBPanel::SetSizeY(int v) { SetGeometry(sizeY_, v); }

void TZoRGBPanel::ApplyAutoSize() {
  if (image_ == nullptr || !image_->IsCreated()) return;
  SetSizeX(image_->GetWidth());
  SetSizeY(image_->GetHeight() / numBlock_);
}

void TZoRGBPanel::SetImage(TZoRGBBits* image) {
  if (image == image_) return;
  if (image_ != nullptr) RemoveFreeNotification(image_);
  image_ = image;
  // The picture belongs to the screen; a picture destroyed first must not be drawn afterwards.
  if (image != nullptr) FreeNotification(image);
  if (autoSize_) ApplyAutoSize();
  SetModify();
}

void TZoRGBPanel::SetAlpha(TZoAlpha* alpha) {
  if (alpha == alpha_) return;
  if (alpha_ != nullptr) RemoveFreeNotification(alpha_);
  alpha_ = alpha;
  if (alpha != nullptr) FreeNotification(alpha);
  SetModify();
}

void TZoRGBPanel::SetColorKey(VXRGB key) {
  if (key.ToDWORD() == colorKey_.ToDWORD()) return;
  colorKey_ = key;
  SetModify();
}

void TZoRGBPanel::SetMaskMode(TMaskMode mode) {
  if (mode == maskMode_) return;
  maskMode_ = mode;
  SetModify();
}

void TZoRGBPanel::SetAutoSize(bool on) {
  if (on == autoSize_) return;
  autoSize_ = on;
  if (on) ApplyAutoSize();
}

void TZoRGBPanel::SetNumBlock(int n) {
  if (n <= 0 || n == numBlock_) return;
  numBlock_ = n;
  if (n <= blockIndex_) blockIndex_ = n - 1;
  SetModify();
}

void TZoRGBPanel::SetBlockIndex(int i) {
  // A negative block would address rows above the picture.
  if (i < 0 || i >= numBlock_ || i == blockIndex_) return;
  blockIndex_ = i;
  SetModify();
}

// ---- Dirt -----------------------------------------------------------------------------------------------------

// Dirt marked on the panel itself is the dirt a child would bring, with no child to leave out.
void TZoRGBPanel::SetModifyRect(const VXRect& r) { SetModifyFromChild(nullptr, r); }

void TZoRGBPanel::SetModify() { SetModifyRect(Bounds()); }

void TZoRGBPanel::SetModifyToParent(const VXRect& r) {
  if (parent_ == nullptr) return;
  VXRect q = r;
  q.OffsetRect(offsetX_, offsetY_);
  if (q.IntersectRect(parent_->Bounds())) parent_->SetModifyFromChild(this, q);
}

void TZoRGBPanel::SetModifyToParent() { SetModifyToParent(Bounds()); }

void TZoRGBPanel::SetModifyFromChild(TZoRGBPanel* child, const VXRect& r) {
  if (!IsShown()) return;
  Walk walk(*this);
  dirty_.UnionRect(r);
  SetModifyToChild(child, r);
  CallOnChange();
  SetModifyToParent(r);
}

void TZoRGBPanel::SetModifyToChild(TZoRGBPanel* except, const VXRect& r) {
  Walk walk(*this);
  for (int i = 0; i < walk.size(); ++i) {
    TZoRGBPanel* c = walk[i];
    if (c == nullptr || c == except) continue;
    VXRect q = r;
    q.OffsetRect(-c->offsetX_, -c->offsetY_);
    if (q.IntersectRect(c->Bounds())) c->SetModifyFromParent(q);
  }
}

void TZoRGBPanel::SetModifyToChild(TZoRGBPanel* except) { SetModifyToChild(except, Bounds()); }

void TZoRGBPanel::SetModifyFromParent(const VXRect& r) {
  if (!IsShown()) return;
  dirty_.UnionRect(r);
  SetModifyToChild(nullptr, r);
  CallOnChange();
}

void TZoRGBPanel::ClrModify() { dirty_.SetRectEmpty(); }

void TZoRGBPanel::ClrModifyToChild() {
  dirty_.SetRectEmpty();
  for (TZoRGBPanel* c : children_) c->ClrModifyToChild();
}

void TZoRGBPanel::SubModify(const VXRect& r) { dirty_.SubtractRect(r); }

void TZoRGBPanel::SetModified(bool on) {
  if (on)
    SetModify();
  else
    ClrModify();
}

bool TZoRGBPanel::GetModified() const {
  if (!dirty_.IsRectEmpty()) return true;
  return std::any_of(children_.begin(), children_.end(), [](const TZoRGBPanel* c) { return c->GetModified(); });
}

void TZoRGBPanel::GetModifiedRect(VXRect& out) const {
  if (!IsShown()) return;
  out.SetRectEmpty();
  for (const TZoRGBPanel* c : children_) {
    if (!c->IsShown()) continue;
    VXRect r{};
    c->GetModifiedRect(r);
    if (r.IsRectEmpty()) continue;
    r.OffsetRect(c->offsetX_, c->offsetY_);
    out.UnionRect(r);
  }
  out.UnionRect(dirty_.AllUnionRect());
  out.IntersectRect(Bounds());
}

void TZoRGBPanel::GetModifiedRectSet(VXRectSet* out) const {
  if (!IsShown()) return;
  out->SetRectEmpty();
  for (const TZoRGBPanel* c : children_) {
    if (!c->IsShown()) continue;
    VXRectSet s;
    c->GetModifiedRectSet(&s);
    s.OffsetRect(c->offsetX_, c->offsetY_);
    if (!s.IsRectEmpty()) out->UnionRectSet(s);
  }
  out->UnionRectSet(dirty_);
  out->IntersectRect(Bounds());
}

// ---- Drawing --------------------------------------------------------------------------------------------------

int TZoRGBPanel::BlockHeight() const {
  return image_ != nullptr && image_->IsCreated() ? image_->GetHeight() / numBlock_ : 0;
}

bool TZoRGBPanel::DrawByMask(TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h) const {
  switch (maskMode_) {
    case mmOpaque:
      return dest->Draw(x, y, image_, sx, sy, w, h);
    case mmAlpha:
      if (alpha_ != nullptr) return dest->DrawAlphaMask(x, y, image_, sx, sy, w, h, alpha_);
      if (image_->GetPixFormat() == pf32_8888) return dest->DrawAlphaMask(x, y, image_, sx, sy, w, h);
      return true;
    case mmColorKey:
      return dest->DrawKey(x, y, image_, sx, sy, w, h, colorKey_);
    case mmHitOnly:
      return true;
  }
  return true;
}

bool TZoRGBPanel::DrawImageBlock(TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h) const {
  const int blockHeight = BlockHeight();
  w = std::min(w, image_->GetWidth() - sx);
  h = std::min(h, blockHeight - sy);
  if (w <= 0 || h <= 0) return true;
  return DrawByMask(dest, x, y, sx, sy + blockHeight * blockIndex_, w, h);
}

bool TZoRGBPanel::Draw(TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  if (!IsShown()) return true;
  VXRect r{sx, sy, sx + dx, sy + dy};
  if (!r.IntersectRect(Bounds())) return true;
  Walk walk(*this);
  // The parent skips the band that one opaque child covers whole; it paints the rest under its children.
  VXRect vis = r;
  for (int i = 0; i < walk.size(); ++i) {
    const TZoRGBPanel* c = walk[i];
    if (c == nullptr || !c->IsShown() || c->image_ == nullptr || c->maskMode_ != mmOpaque) continue;
    const VXRect cut = vis;
    VXSubtractRect(cut, c->Frame(), vis);
  }
  bool result = true;
  if (!vis.IsRectEmpty()) {
    const int w = vis.right - vis.left;
    const int h = vis.bottom - vis.top;
    const bool handled = CallOnDraw(dest, x + vis.left, y + vis.top, vis.left, vis.top, w, h);
    if (!handled && maskMode_ != mmHitOnly && image_ != nullptr && image_->IsCreated())
      result = DrawImageBlock(dest, x + vis.left, y + vis.top, vis.left, vis.top, w, h);
  }
  SubModify(r);
  for (int i = 0; i < walk.size(); ++i) {
    TZoRGBPanel* c = walk[i];
    if (c == nullptr || !c->IsShown()) continue;
    if (!c->Draw(dest, x + c->offsetX_, y + c->offsetY_, r.left - c->offsetX_, r.top - c->offsetY_,
                 r.right - r.left, r.bottom - r.top))
      result = false;
  }
  return result;
}

bool TZoRGBPanel::Draw(TZoRGBBits* dest, int x, int y) {
  Walk walk(*this);
  const bool result = Draw(dest, x, y, 0, 0, sizeX_, sizeY_);
  ClrModifyToChild();
  return result;
}

bool TZoRGBPanel::Draw(TZoRGBBits* dest) { return Draw(dest, offsetX_, offsetY_); }

bool TZoRGBPanel::Update(TZoRGBBits* dest, int x, int y) {
  Walk walk(*this);
  VXRectSet dirt;
  GetModifiedRectSet(&dirt);
  bool result = true;
  for (const VXRect& r : dirt)
    if (!Draw(dest, x, y, r.left, r.top, r.right - r.left, r.bottom - r.top)) result = false;
  ClrModifyToChild();
  return result;
}

bool TZoRGBPanel::Update(TZoRGBBits* dest) { return Update(dest, offsetX_, offsetY_); }

void TZoRGBPanel::Anime() {
  if (!created_) return;
  Walk walk(*this);
  for (int i = 0; i < walk.size(); ++i)
    if (TZoRGBPanel* c = walk[i]) c->Anime();
  CallOnAnime();
}

// ---- Hit test -------------------------------------------------------------------------------------------------

bool TZoRGBPanel::PosIsTrans(int x, int y) const {
  if (!mouseTrans_) return false;
  if (image_ == nullptr) return true;
  if (maskMode_ == mmOpaque) return false;
  if ((maskMode_ == mmAlpha || maskMode_ == mmHitOnly) && alpha_ == nullptr) return false;
  // Outside the shown block nothing is drawn, so nothing there takes the mouse.
  const int blockHeight = BlockHeight();
  if (x < 0 || x >= image_->GetWidth() || y < 0 || y >= blockHeight) return true;
  const int row = y + blockHeight * blockIndex_;
  if (maskMode_ == mmColorKey) {
    // Colours at the picture's own precision: 16-bit formats drop low bits, pf32_8888 carries alpha.
    const VXRGB pixel = image_->PixeltoTZoRGB(image_->PGet(x, row));
    const VXRGB key = image_->PixeltoTZoRGB(image_->TZoRGBtoPixel(colorKey_));
    return pixel.ToDWORD() == key.ToDWORD();
  }
  return alpha_->PGet(x, row) == 0;
}

bool TZoRGBPanel::PosInPanel(int x, int y, bool mouse) const {
  if (!IsShown()) return false;
  if (mouse && !mouseControl_) return false;
  if (!Bounds().InRect(x, y)) return false;
  if (!mouse || !PosIsTrans(x, y)) return true;
  for (auto it = children_.rbegin(); it != children_.rend(); ++it)
    if ((*it)->PosInPanel(x - (*it)->offsetX_, y - (*it)->offsetY_, true)) return true;
  return false;
}

TZoRGBPanel* TZoRGBPanel::FindPosPanel(int x, int y, bool mouse) const {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it)
    if ((*it)->PosInPanel(x - (*it)->offsetX_, y - (*it)->offsetY_, mouse)) return *it;
  return nullptr;
}

// ---- Mouse ----------------------------------------------------------------------------------------------------

bool TZoRGBPanel::MouseMove(TShiftState shift, int x, int y) {
  if (!IsShown()) return false;
  Walk walk(*this);
  if (capture_ == nullptr) {
    TZoRGBPanel* hit = FindPosPanel(x, y, true);
    if (hit != hover_) {
      if (hover_ != nullptr) hover_->MouseLeave();
      hover_ = walk.Holds(hit) ? hit : nullptr;
      if (hover_ != nullptr) hover_->MouseEnter(x - hit->offsetX_, y - hit->offsetY_);
    }
    bool result = false;
    if (walk.Holds(hit)) result = hit->MouseMove(shift, x - hit->offsetX_, y - hit->offsetY_);
    if (!result && mouseControl_) {
      CallOnMouseMove(shift, x, y);
      result = true;
    }
    return result;
  }
  if (capture_ != this) {
    TZoRGBPanel* cap = capture_;
    ClientToScreen(x, y);
    cap->ScreenToClient(x, y);
    return cap->MouseMove(shift, x, y);
  }
  if (!mouseControl_) return false;
  CallOnMouseMove(shift, x, y);
  return true;
}

bool TZoRGBPanel::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (!IsShown()) return false;
  Walk walk(*this);
  for (int i = walk.size() - 1; i >= 0; --i) {
    TZoRGBPanel* c = walk[i];
    if (c == nullptr || !c->IsShown() || !c->Frame().InRect(x, y)) continue;
    if (c->MouseDown(button, shift, x - c->offsetX_, y - c->offsetY_)) return true;
  }
  if (!mouseControl_ || PosIsTrans(x, y)) return false;
  if (button == mbLeft) pressed_ = true;
  SetMouseCapToParent(this);
  CallOnMouseDown(button, shift, x, y);
  return true;
}

bool TZoRGBPanel::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  Walk walk(*this);
  if (capture_ != nullptr && capture_ != this) {
    TZoRGBPanel* cap = capture_;
    if (!cap->created_) {
      SetMouseCapToParent(nullptr);
      return false;
    }
    int cx = x, cy = y;
    ClientToScreen(cx, cy);
    cap->ScreenToClient(cx, cy);
    const bool result = cap->MouseUp(button, shift, cx, cy);
    // Hover, enter and leave catch up now that the capture has ended.
    if (IsShown()) MouseMove(shift, x, y);
    return result;
  }
  const bool captured = capture_ == this;
  if (captured) {
    const bool wasPressed = pressed_;
    pressed_ = false;
    SetMouseCapToParent(nullptr);
    if (!IsShown() || !mouseControl_) return false;
    CallOnMouseUp(button, shift, x, y);
    if (wasPressed && Bounds().InRect(x, y)) CallOnClick();
    return true;
  }
  for (int i = walk.size() - 1; i >= 0; --i) {
    TZoRGBPanel* c = walk[i];
    if (c == nullptr || !c->IsShown() || !c->Frame().InRect(x, y)) continue;
    if (c->MouseUp(button, shift, x - c->offsetX_, y - c->offsetY_)) return true;
  }
  const bool wasPressed = pressed_;
  pressed_ = false;
  if (!IsShown() || !mouseControl_ || PosIsTrans(x, y)) return false;
  CallOnMouseUp(button, shift, x, y);
  if (wasPressed && Bounds().InRect(x, y)) CallOnClick();
  return true;
}

void TZoRGBPanel::MouseEnter(int x, int y) {
  if (!IsShown() || capture_ != nullptr) return;
  Walk walk(*this);
  if (mouseControl_) CallOnMouseEnter();
  TZoRGBPanel* hit = FindPosPanel(x, y, true);
  if (hit == nullptr || hit == hover_) return;
  hover_ = hit;
  if (hit->mouseControl_) hit->MouseEnter(x - hit->offsetX_, y - hit->offsetY_);
}

void TZoRGBPanel::MouseLeave() {
  if (!IsShown() || capture_ != nullptr) return;
  Walk walk(*this);
  if (mouseControl_) CallOnMouseLeave();
  if (TZoRGBPanel* h = hover_) {
    if (h->mouseControl_) h->MouseLeave();
    hover_ = nullptr;
  }
}

void TZoRGBPanel::MouseWheel(TShiftState shift, int wheelDelta, const TPoint& mousePos, bool& handled) {
  Walk walk(*this);
  for (int i = walk.size() - 1; i >= 0 && !handled; --i) {
    TZoRGBPanel* c = walk[i];
    if (c == nullptr || !c->IsShown()) continue;
    c->MouseWheel(shift, wheelDelta, TPoint{mousePos.x - c->offsetX_, mousePos.y - c->offsetY_}, handled);
  }
  if (!handled && IsShown() && mouseControl_) CallOnMouseWheel(shift, wheelDelta, mousePos, handled);
}

void TZoRGBPanel::SetMouseCapToParent(TZoRGBPanel* p) {
  TZoRGBPanel* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  root->SetMouseCapToChild(p);
}

void TZoRGBPanel::SetMouseCapToChild(TZoRGBPanel* p) {
  capture_ = p;
  if (p != this) pressed_ = false;
  for (TZoRGBPanel* c : children_) c->SetMouseCapToChild(p);
}

// ---- Keys and the active chain --------------------------------------------------------------------------------

bool TZoRGBPanel::KeyDown(unsigned short& key, TShiftState shift) {
  Walk walk(*this);
  TZoRGBPanel* a = GetActivePanel();
  bool result = a != nullptr && a->KeyDown(key, shift);
  if (!result && keyControl_) {
    CallOnKeyDown(key, shift);
    result = true;
  }
  return result;
}

bool TZoRGBPanel::KeyUp(unsigned short& key, TShiftState shift) {
  Walk walk(*this);
  TZoRGBPanel* a = GetActivePanel();
  bool result = a != nullptr && a->KeyUp(key, shift);
  if (!result && keyControl_) {
    CallOnKeyUp(key, shift);
    result = true;
  }
  return result;
}

bool TZoRGBPanel::KeyPress(char& key) {
  Walk walk(*this);
  TZoRGBPanel* a = GetActivePanel();
  bool result = a != nullptr && a->KeyPress(key);
  if (!result && keyControl_) {
    CallOnKeyPress(key);
    result = true;
  }
  return result;
}

TZoRGBPanel* TZoRGBPanel::GetActivePanel() const {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it)
    if ((*it)->IsShown()) return *it;
  return nullptr;
}

void TZoRGBPanel::SetActiveToChild() {
  if (!created_) return;
  Walk walk(*this);
  TZoRGBPanel* a = GetActivePanel();
  for (int i = 0; i < walk.size(); ++i) {
    TZoRGBPanel* c = walk[i];
    if (c != nullptr && c != a) c->SetActiveFromParent(false);
  }
  if (walk.Holds(a)) a->SetActiveFromParent(active_);
}

void TZoRGBPanel::SetActiveFromParent(bool on) {
  if (!IsShown()) return;
  Walk walk(*this);
  const bool changed = active_ != on;
  active_ = on;
  SetActiveToChild();
  if (!changed) return;
  if (active_)
    CallOnActivate();
  else
    CallOnDeactivate();
}

void TZoRGBPanel::SetActiveFromChild(TZoRGBPanel* child) {
  if (IndexOf(child) >= 0) MoveChild(child, GetChildCount());
  SetActiveToParent();
}

void TZoRGBPanel::SetActiveToParent() {
  if (parent_ != nullptr)
    parent_->SetActiveFromChild(this);
  else
    SetActiveToChild();
}

void TZoRGBPanel::SetActive() {
  if (parent_ != nullptr) {
    SetActiveToParent();
    return;
  }
  if (!IsShown() || active_) return;
  Walk walk(*this);
  active_ = true;
  SetActiveToChild();
  CallOnActivate();
}

// ---- Event slots ----------------------------------------------------------------------------------------------

void TZoRGBPanel::CallOnClick() {
  if (OnClick) OnClick(this);
}
void TZoRGBPanel::CallOnCreate() {
  if (OnCreate) OnCreate(this);
}
void TZoRGBPanel::CallOnRelease() {
  if (OnRelease) OnRelease(this);
}
void TZoRGBPanel::CallOnShow() {
  if (OnShow) OnShow(this);
}
void TZoRGBPanel::CallOnHide() {
  if (OnHide) OnHide(this);
}
void TZoRGBPanel::CallOnMouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}
void TZoRGBPanel::CallOnMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}
void TZoRGBPanel::CallOnMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
void TZoRGBPanel::CallOnMouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TZoRGBPanel::CallOnMouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}
void TZoRGBPanel::CallOnMouseWheel(TShiftState shift, int wheelDelta, const TPoint& mousePos, bool& handled) {
  if (OnMouseWheel) OnMouseWheel(this, shift, wheelDelta, mousePos, handled);
}
void TZoRGBPanel::CallOnKeyDown(unsigned short& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}
void TZoRGBPanel::CallOnKeyUp(unsigned short& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}
void TZoRGBPanel::CallOnKeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}
void TZoRGBPanel::CallOnChange() {
  if (OnChange) OnChange(this);
}
void TZoRGBPanel::CallOnActivate() {
  if (OnActivate) OnActivate(this);
}
void TZoRGBPanel::CallOnDeactivate() {
  if (OnDeactivate) OnDeactivate(this);
}
void TZoRGBPanel::CallOnAnime() {
  if (OnAnime) OnAnime(this);
}
bool TZoRGBPanel::CallOnDraw(TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  return OnDraw ? OnDraw(this, dest, x, y, sx, sy, dx, dy) : false;
}

void TZoRGBPanel::StatusClear() {
  hover_ = nullptr;
  capture_ = nullptr;
  pressed_ = false;
  dirty_.SetRectEmpty();
  dirty_.UnionRect(Bounds());
  for (TZoRGBPanel* c : children_) c->StatusClear();
}

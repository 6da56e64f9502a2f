#include "graphics/zorgbpanel.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"

namespace {

using Classes::TComponent;

// A created 32-bit picture whose every pixel differs from its neighbours, so misplaced copies show.
std::unique_ptr<TZoRGBBits> Picture(TComponent* owner, int w, int h, std::uint32_t seed,
                                    VXPixFormat format = pf32_888) {
  auto b = std::make_unique<TZoRGBBits>(owner);
  b->SetBitDepth(format == pf24_888 ? bd24 : format == pf16_565 ? bd16 : bd32);
  b->SetPixFormat(format);
  b->Resize(w, h);
  EXPECT_TRUE(b->Create());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->PSet(x, y, b->TZoRGBtoPixel(VXRGB(seed * 7 + x * 13 + y * 29)));
  return b;
}

bool SamePixels(TZoRGBBits& a, TZoRGBBits& b) {
  for (int y = 0; y < a.GetHeight(); ++y)
    for (int x = 0; x < a.GetWidth(); ++x)
      if (a.PGet(x, y) != b.PGet(x, y)) return false;
  return true;
}

struct Tree {
  std::vector<std::string> log;  // first: handlers still run while the owner destroys the panels
  TComponent owner{nullptr};
  TZoRGBPanel* root = new TZoRGBPanel(&owner);

  TZoRGBPanel* Add(TZoRGBPanel* parent, const std::string& name, int x, int y, int w, int h) {
    auto* p = new TZoRGBPanel(&owner, parent);
    p->SetName(name);
    p->SetAutoSize(false);
    p->SetOffsetX(x);
    p->SetOffsetY(y);
    p->SetSizeX(w);
    p->SetSizeY(h);
    return p;
  }
  // Records every event of a panel as "Name:Event".
  void Listen(TZoRGBPanel* p) {
    auto note = [this](const char* what) {
      return [this, what](TComponent* s) { log.push_back(s->GetName() + ":" + what); };
    };
    p->OnClick = note("Click");
    p->OnMouseEnter = note("Enter");
    p->OnMouseLeave = note("Leave");
    p->OnActivate = note("Activate");
    p->OnDeactivate = note("Deactivate");
    p->OnShow = note("Show");
    p->OnHide = note("Hide");
    p->OnCreate = note("Create");
    p->OnMouseDown = [this](TComponent* s, TMouseButton, TShiftState, int, int) { log.push_back(s->GetName() + ":Down"); };
    p->OnMouseUp = [this](TComponent* s, TMouseButton, TShiftState, int, int) { log.push_back(s->GetName() + ":Up"); };
    p->OnKeyDown = [this](TComponent* s, unsigned short&, TShiftState) { log.push_back(s->GetName() + ":Key"); };
  }
  std::string Take() {
    std::string s;
    for (const auto& e : log) s += (s.empty() ? "" : " ") + e;
    log.clear();
    return s;
  }
};

}  // namespace

TEST(ZoRGBPanel, TreeOrderAndRefusedParents) {
  Tree t;
  t.root->SetName("Root");
  TZoRGBPanel* a = t.Add(t.root, "A", 0, 0, 10, 10);
  TZoRGBPanel* b = t.Add(t.root, "B", 0, 0, 10, 10);
  TZoRGBPanel* c = t.Add(t.root, "C", 0, 0, 10, 10);
  TZoRGBPanel* deep = t.Add(a, "Deep", 0, 0, 5, 5);
  auto order = [&] {
    std::string s;
    for (int i = 0; i < t.root->GetChildCount(); ++i) s += t.root->GetChild(i)->GetName();
    return s;
  };
  EXPECT_EQ(order(), "ABC");
  t.root->RaiseOrder(a, nullptr);
  EXPECT_EQ(order(), "BCA");
  t.root->RaiseOrder(a, b);
  EXPECT_EQ(order(), "BAC");
  t.root->DownOrder(c, b);
  EXPECT_EQ(order(), "CBA");
  t.root->DownOrder(a, nullptr);
  EXPECT_EQ(order(), "ACB");
  EXPECT_EQ(t.root->GetChild(-1), nullptr);
  EXPECT_EQ(t.root->GetChild(3), nullptr);

  a->SetParent(deep);  // inside its own subtree: left without parent
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(order(), "CB");
  a->SetParent(a);
  EXPECT_EQ(a->GetParent(), nullptr);

  int x = 3, y = 4;
  deep->SetOffsetX(5);
  b->SetOffsetY(20);
  deep->SetParent(b);
  deep->ClientToScreen(x, y);
  EXPECT_EQ(x, 8);
  EXPECT_EQ(y, 24);
  deep->ScreenToClient(x, y);
  EXPECT_EQ(x, 3);

  delete b;  // the parent goes: its child is detached, not destroyed
  EXPECT_EQ(deep->GetParent(), nullptr);
  EXPECT_EQ(order(), "C");
}

TEST(ZoRGBPanel, BlocksAndAutoSize) {
  Tree t;
  auto img = Picture(&t.owner, 100, 300, 1);
  TZoRGBPanel* p = new TZoRGBPanel(&t.owner, t.root);
  p->SetNumBlock(3);
  p->SetImage(img.get());
  EXPECT_EQ(p->GetSizeX(), 100);
  EXPECT_EQ(p->GetSizeY(), 100);
  p->SetNumBlock(6);
  p->SetBlockIndex(5);
  p->SetNumBlock(3);
  EXPECT_EQ(p->GetBlockIndex(), 2);
  p->SetNumBlock(0);
  EXPECT_EQ(p->GetNumBlock(), 3);
  p->SetBlockIndex(3);
  p->SetBlockIndex(-1);
  EXPECT_EQ(p->GetBlockIndex(), 2);

  img.reset();  // the screen drops its picture first: the panel forgets it
  EXPECT_EQ(p->GetImage(), nullptr);
}

TEST(ZoRGBPanel, DirtSpreadsUpAndDownClipped) {
  Tree t;
  t.root->SetSizeX(100);
  t.root->SetSizeY(100);
  TZoRGBPanel* a = t.Add(t.root, "A", 10, 10, 50, 50);
  TZoRGBPanel* inner = t.Add(a, "In", 5, 5, 10, 10);
  TZoRGBPanel* sibling = t.Add(t.root, "S", 30, 30, 50, 50);
  t.root->AllCreate();
  t.root->ClrModifyToChild();

  a->SetOffsetX(20);  // old and new area in the parent
  EXPECT_EQ(t.root->GetModifySet().AllUnionRect(), (VXRect{10, 10, 70, 60}));
  EXPECT_EQ(sibling->GetModifySet().AllUnionRect(), (VXRect{0, 0, 40, 30}));
  EXPECT_EQ(inner->GetModifySet().AllUnionRect(), (VXRect{0, 0, 10, 10}));
  t.root->ClrModifyToChild();

  a->SetOffsetX(500);  // from inside to wholly outside the parent: only the old area counts
  EXPECT_EQ(t.root->GetModifySet().AllUnionRect(), (VXRect{20, 10, 70, 60}));
  t.root->ClrModifyToChild();
  inner->SetModify();
  EXPECT_TRUE(t.root->GetModifySet().IsRectEmpty());  // outside the root: nothing reached it
  EXPECT_TRUE(t.root->GetModified());  // the child still holds its own dirt

  // Update of a root whose only dirt lies outside it draws nothing and still empties every set.
  auto back = Picture(&t.owner, 100, 100, 2);
  t.root->ClrModifyToChild();
  t.root->SetModifyRect({200, 200, 300, 300});
  int draws = 0;
  t.root->OnDraw = [&](TComponent*, TZoRGBBits*, int, int, int, int, int, int) { return ++draws, true; };
  EXPECT_TRUE(t.root->Update(back.get()));
  EXPECT_EQ(draws, 0);
  EXPECT_FALSE(t.root->GetModified());
}

TEST(ZoRGBPanel, OcclusionByOpaqueChildren) {
  struct Case {
    const char* name;
    std::vector<VXRect> children;
    bool parentDraws;
  };
  const Case cases[] = {
      {"one covers all", {{0, 0, 100, 100}}, false},
      {"two corner quarters", {{0, 0, 50, 50}, {50, 50, 100, 100}}, true},
      {"left and right halves", {{0, 0, 50, 100}, {50, 0, 100, 100}}, false},
  };
  for (const Case& c : cases) {
    Tree t;
    t.root->SetSizeX(100);
    t.root->SetSizeY(100);
    auto img = Picture(&t.owner, 100, 100, 3);
    for (const VXRect& r : c.children) {
      TZoRGBPanel* p = t.Add(t.root, "c" + std::to_string(r.left) + "_" + std::to_string(r.top), r.left, r.top, r.right - r.left, r.bottom - r.top);
      p->SetImage(img.get());
      p->SetAutoSize(false);
    }
    t.root->AllCreate();
    bool drew = false;
    t.root->OnDraw = [&](TComponent*, TZoRGBBits*, int, int, int, int, int, int) { return drew = true; };
    auto back = Picture(&t.owner, 100, 100, 4);
    t.root->Draw(back.get(), 0, 0);
    EXPECT_EQ(drew, c.parentDraws) << c.name;
  }
}

// The picture after Update equals the picture of a full redraw, through moves, block changes, hidden panels and
// alpha and keyed pictures.
TEST(ZoRGBPanel, UpdateEqualsFullRedraw) {
  Tree t;
  auto back = Picture(&t.owner, 640, 480, 0);
  auto full = Picture(&t.owner, 640, 480, 0);
  auto wall = Picture(&t.owner, 640, 480, 11);
  auto tile = Picture(&t.owner, 60, 120, 12);
  auto keyed = Picture(&t.owner, 40, 40, 13);
  keyed->BoxFill(10, 10, 29, 29, 0);
  TZoAlpha plane(&t.owner);
  plane.Resize(60, 120);
  plane.Create();
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 60; ++x) plane.PSet(x, y, static_cast<unsigned char>(x * 4 + y));

  t.root->SetImage(wall.get());
  std::vector<TZoRGBPanel*> panels;
  for (int i = 0; i < 12; ++i) {
    auto* p = new TZoRGBPanel(&t.owner, t.root);
    p->SetNumBlock(2);
    p->SetImage(i % 3 == 2 ? keyed.get() : tile.get());
    p->SetOffsetX(30 + i * 45);
    p->SetOffsetY(20 + (i % 4) * 100);
    if (i % 3 == 1) {
      p->SetMaskMode(mmAlpha);
      p->SetAlpha(&plane);
    }
    if (i % 3 == 2) p->SetMaskMode(mmColorKey);
    panels.push_back(p);
  }
  auto* nested = new TZoRGBPanel(&t.owner, panels[3]);
  nested->SetImage(keyed.get());
  nested->SetMaskMode(mmColorKey);
  nested->SetOffsetX(30);
  t.root->AllCreate();
  t.root->Draw(back.get(), 0, 0);

  const auto step = [&](int n) {
    panels[n % 12]->SetOffsetX(panels[n % 12]->GetOffsetX() + 17);
    panels[(n + 5) % 12]->SetBlockIndex(n % 2);
    panels[(n + 7) % 12]->SetVisible(n % 3 != 0);
    if (n % 4 == 0) t.root->RaiseOrder(panels[(n + 2) % 12], nullptr);
    if (n % 4 == 0) panels[(n + 2) % 12]->SetModify();  // a z-order change does not mark anything by itself
    nested->SetOffsetY(n * 3 % 50);
  };
  for (int n = 0; n < 8; ++n) {
    step(n);
    EXPECT_TRUE(t.root->Update(back.get()));
    EXPECT_FALSE(t.root->GetModified());
    t.root->Draw(full.get(), 0, 0);
    ASSERT_TRUE(SamePixels(*back, *full)) << "step " << n;
  }
}

TEST(ZoRGBPanel, LifeCycleEvents) {
  Tree t;
  TZoRGBPanel* p = t.Add(t.root, "P", 0, 0, 10, 10);
  t.Listen(p);
  p->Hide();
  EXPECT_EQ(t.Take(), "");  // not created: no OnHide
  p->Create();
  EXPECT_EQ(t.Take(), "P:Create");  // hidden: no OnShow
  p->Show();
  EXPECT_EQ(t.Take(), "P:Show");
  p->Hide();
  EXPECT_EQ(t.Take(), "P:Hide");

  // A failing handler leaves the panel released.
  TZoRGBPanel* q = t.Add(t.root, "Q", 0, 0, 10, 10);
  q->OnCreate = [](TComponent*) { throw std::runtime_error("no"); };
  EXPECT_FALSE(q->Create());
  EXPECT_FALSE(q->GetCreated());
  EXPECT_FALSE(t.root->AllCreate());
}

TEST(ZoRGBPanel, ClickCaptureAndHover) {
  Tree t;
  t.root->SetName("Root");
  TZoRGBPanel* btn = t.Add(t.root, "Btn", 10, 10, 20, 20);
  TZoRGBPanel* other = t.Add(t.root, "Other", 50, 10, 20, 20);
  t.Listen(btn);
  t.Listen(other);
  t.root->AllCreate();
  t.Take();

  t.root->MouseMove({}, 15, 15);
  EXPECT_EQ(t.Take(), "Btn:Enter");
  t.root->MouseDown(mbLeft, {ssLeft}, 15, 15);
  EXPECT_EQ(t.root->GetMouseCapture(), btn);
  t.root->MouseMove({}, 55, 15);  // over Other while Btn holds the capture: no enter, no leave
  EXPECT_EQ(t.Take(), "Btn:Down");
  t.root->MouseMove({}, 15, 15);  // back inside before the release
  t.root->MouseUp(mbLeft, {}, 15, 15);
  EXPECT_EQ(t.Take(), "Btn:Up Btn:Click");

  t.root->MouseDown(mbLeft, {ssLeft}, 15, 15);
  t.root->MouseUp(mbLeft, {}, 55, 15);  // released outside: no click; hover catches up at once
  EXPECT_EQ(t.Take(), "Btn:Down Btn:Up Btn:Leave Other:Enter");
  EXPECT_EQ(t.root->GetMouseCapture(), nullptr);

  t.root->MouseDown(mbRight, {ssRight}, 55, 15);
  t.root->MouseUp(mbRight, {}, 55, 15);
  EXPECT_EQ(t.Take(), "Other:Down Other:Up");  // not the left button: no click
}

TEST(ZoRGBPanel, MouseControlAndTransparency) {
  Tree t;
  TZoRGBPanel* below = t.Add(t.root, "Below", 0, 0, 40, 40);
  TZoRGBPanel* top = t.Add(t.root, "Top", 0, 0, 40, 40);
  t.Listen(below);
  t.Listen(top);
  auto img = Picture(&t.owner, 40, 40, 5);
  TZoAlpha plane(&t.owner);
  plane.Resize(40, 40);
  plane.Create();
  plane.BoxFill(0, 0, 19, 39, 0);  // left half transparent
  top->SetImage(img.get());
  top->SetMaskMode(mmAlpha);
  top->SetAlpha(&plane);
  t.root->AllCreate();
  t.Take();

  top->SetMouseTrans(true);
  t.root->MouseDown(mbLeft, {}, 5, 5);
  t.root->MouseUp(mbLeft, {}, 5, 5);
  EXPECT_EQ(t.Take(), "Below:Down Below:Up Below:Click Below:Enter");  // hover catches up after the release
  top->SetMouseTrans(false);
  t.root->MouseDown(mbLeft, {}, 5, 5);
  t.root->MouseUp(mbLeft, {}, 5, 5);
  EXPECT_EQ(t.Take(), "Top:Down Top:Up Top:Click Below:Leave Top:Enter");

  // No mouse events of its own, but presses inside still reach its children; moves do not.
  TZoRGBPanel* inner = t.Add(top, "Inner", 0, 0, 10, 10);
  inner->Create();
  t.Listen(inner);
  top->SetMouseControl(false);
  t.root->MouseDown(mbLeft, {}, 5, 5);
  t.root->MouseUp(mbLeft, {}, 5, 5);
  EXPECT_EQ(t.Take(), "Inner:Down Inner:Up Inner:Click Below:Enter");  // moves pass Top by
  t.root->MouseMove({}, 6, 6);
  EXPECT_EQ(t.Take(), "");
}

// Points outside the picture are read through the bounds-checked getter; keys compare as colours at the picture's
// own precision.
TEST(ZoRGBPanel, PosIsTransReadsSafelyAndComparesColours) {
  Tree t;
  struct Case {
    VXPixFormat format;
    std::uint32_t pixelBits;  // extra bits that do not change the colour
  };
  for (const Case c : {Case{pf32_888, 0}, Case{pf32_8888, 0xFF000000u}, Case{pf16_565, 0}, Case{pf24_888, 0}}) {
    auto img = Picture(&t.owner, 8, 16, 6, c.format);
    TZoRGBPanel* p = t.Add(t.root, "P", 0, 0, 100, 100);
    p->SetAutoSize(false);
    p->SetImage(img.get());
    p->SetNumBlock(2);
    p->SetBlockIndex(1);
    p->SetMaskMode(mmColorKey);
    p->SetMouseTrans(true);
    const VXRGB key(0x12, 0x34, 0x56);
    p->SetColorKey(key);
    img->PSet(3, 8 + 2, img->TZoRGBtoPixel(key) | c.pixelBits);  // (3, 2) of block 1
    EXPECT_TRUE(p->PosIsTrans(3, 2)) << int(c.format);
    EXPECT_FALSE(p->PosIsTrans(4, 2)) << int(c.format);
    for (auto [x, y] : {std::pair{-1, 0}, {8, 0}, {0, 8}, {99, 99}, {0, -9}})
      EXPECT_TRUE(p->PosIsTrans(x, y)) << x << "," << y;  // outside the block: nothing drawn there
    p->Free();
  }
}

TEST(ZoRGBPanel, KeysFollowTheActiveChain) {
  Tree t;
  t.root->SetName("Root");
  TZoRGBPanel* a = t.Add(t.root, "A", 0, 0, 10, 10);
  TZoRGBPanel* b = t.Add(t.root, "B", 0, 0, 10, 10);
  TZoRGBPanel* deep = t.Add(a, "Deep", 0, 0, 5, 5);
  for (TZoRGBPanel* p : {a, b, deep}) {
    p->SetKeyControl(true);
    t.Listen(p);
  }
  t.root->AllCreate();
  t.root->SetActive();
  t.Take();
  unsigned short key = 0x0D;
  t.root->KeyDown(key, {});
  EXPECT_EQ(t.Take(), "B:Key");
  b->Hide();
  t.root->KeyDown(key, {});
  EXPECT_EQ(t.Take(), "B:Hide Deep:Key");  // at once, without any activation event yet
  b->Show();
  t.Take();
  deep->SetActive();  // raises Deep's whole path; children hear first
  EXPECT_EQ(t.Take(), "B:Deactivate Deep:Activate A:Activate");
  EXPECT_TRUE(a->GetActive() && deep->GetActive());
  EXPECT_EQ(t.root->GetChild(1), a);
}

// Handlers change the tree while it walks: snapshots and deferred deletion keep every walk on live panels.
TEST(ZoRGBPanel, HandlersMayChangeTheTreeDuringWalks) {
  Tree t;
  TZoRGBPanel* a = t.Add(t.root, "A", 0, 0, 50, 50);
  TZoRGBPanel* b = t.Add(t.root, "B", 0, 0, 50, 50);
  TZoRGBPanel* c = t.Add(t.root, "C", 0, 0, 50, 50);
  t.root->AllCreate();

  int animeA = 0;
  a->OnAnime = [&](TComponent*) { ++animeA; };
  b->OnAnime = [&](TComponent*) {
    delete a;                        // a sibling already walked
    delete c;                        // a sibling still to come
    t.Add(t.root, "New", 0, 0, 5, 5);  // added during the walk: not visited now
  };
  t.root->Anime();
  EXPECT_EQ(animeA, 1);
  EXPECT_EQ(t.root->GetChildCount(), 2);

  // The clicked button removes itself (and its parent) from its own click handler.
  TZoRGBPanel* box = t.Add(t.root, "Box", 0, 0, 60, 60);
  TZoRGBPanel* btn = t.Add(box, "Btn", 0, 0, 20, 20);
  box->AllCreate();
  bool clicked = false;
  btn->OnClick = [&](TComponent*) {
    clicked = true;
    box->Free();
  };
  t.root->MouseDown(mbLeft, {}, 5, 5);
  t.root->MouseUp(mbLeft, {}, 5, 5);
  EXPECT_TRUE(clicked);
  EXPECT_EQ(t.root->GetChildCount(), 2);
  EXPECT_EQ(t.root->GetMouseCapture(), nullptr);

  // Drawing handlers hide and remove panels mid-draw.
  auto back = Picture(&t.owner, 640, 480, 1);
  TZoRGBPanel* d = t.Add(t.root, "D", 0, 0, 30, 30);
  TZoRGBPanel* e = t.Add(t.root, "E", 0, 0, 30, 30);
  t.root->AllCreate();
  d->OnDraw = [&](TComponent*, TZoRGBBits*, int, int, int, int, int, int) {
    e->Free();
    d->Hide();
    return false;
  };
  EXPECT_TRUE(t.root->Draw(back.get(), 0, 0));
  EXPECT_EQ(t.root->GetChildCount(), 3);
}

// The wheel reaches every created, visible child from the topmost down, wherever the pointer is, with the position
// in the child's coordinates, until a handler takes it; the panel itself hears it last and only with MouseControl.
TEST(ZoRGBPanel, WheelGoesToChildrenUntilHandled) {
  Tree t;
  t.root->SetName("Root");
  TZoRGBPanel* low = t.Add(t.root, "Low", 10, 20, 30, 30);
  TZoRGBPanel* high = t.Add(t.root, "High", 300, 200, 30, 30);
  TZoRGBPanel* hidden = t.Add(t.root, "Hidden", 0, 0, 30, 30);
  TZoRGBPanel* inner = t.Add(low, "Inner", 5, 5, 10, 10);
  hidden->SetVisible(false);
  bool takeAt = false;
  TZoRGBPanel* taker = nullptr;
  for (TZoRGBPanel* p : {t.root, low, high, hidden, inner})
    p->OnMouseWheel = [&, p](TComponent* s, TShiftState, int delta, const TPoint& at, bool& handled) {
      t.log.push_back(s->GetName() + ":" + std::to_string(delta) + "@" + std::to_string(at.x) + "," +
                      std::to_string(at.y));
      handled = takeAt && p == taker;
    };
  t.root->AllCreate();

  bool handled = false;
  t.root->MouseWheel({}, -120, TPoint{100, 100}, handled);
  EXPECT_FALSE(handled);
  EXPECT_EQ(t.Take(), "High:-120@-200,-100 Inner:-120@85,75 Low:-120@90,80 Root:-120@100,100");

  takeAt = true;
  taker = inner;
  handled = false;
  t.root->MouseWheel({}, 120, TPoint{0, 0}, handled);
  EXPECT_TRUE(handled);
  EXPECT_EQ(t.Take(), "High:120@-300,-200 Inner:120@-15,-25");

  taker = nullptr;
  low->SetMouseControl(false);  // Low stays silent but its child still hears the wheel
  handled = false;
  t.root->MouseWheel({}, 120, TPoint{0, 0}, handled);
  EXPECT_EQ(t.Take(), "High:120@-300,-200 Inner:120@-15,-25 Root:120@0,0");
}

// Key releases and typed characters follow the active chain like presses; a handler may change the key it is given.
TEST(ZoRGBPanel, KeyUpAndKeyPressFollowTheActiveChain) {
  Tree t;
  t.root->SetName("Root");
  TZoRGBPanel* a = t.Add(t.root, "A", 0, 0, 10, 10);
  TZoRGBPanel* b = t.Add(t.root, "B", 0, 0, 10, 10);
  a->SetKeyControl(true);
  t.root->SetKeyControl(true);
  for (TZoRGBPanel* p : {t.root, a, b}) {
    p->OnKeyUp = [&t](TComponent* s, unsigned short& key, TShiftState) {
      t.log.push_back(s->GetName() + ":Up" + std::to_string(key));
      key = 0;
    };
    p->OnKeyPress = [&t](TComponent* s, char& key) {
      t.log.push_back(s->GetName() + ":Press" + std::string(1, key));
      key = 'z';
    };
  }
  t.root->AllCreate();
  unsigned short key = 0x1B;
  char typed = 'a';
  // B is topmost but takes no keys: the root takes them.
  EXPECT_TRUE(t.root->KeyUp(key, {}));
  EXPECT_TRUE(t.root->KeyPress(typed));
  EXPECT_EQ(t.Take(), "Root:Up27 Root:Pressa");
  EXPECT_EQ(key, 0);
  EXPECT_EQ(typed, 'z');
  b->Hide();
  key = 0x25;
  typed = 'b';
  EXPECT_TRUE(t.root->KeyUp(key, {}));
  EXPECT_TRUE(t.root->KeyPress(typed));
  EXPECT_EQ(t.Take(), "A:Up37 A:Pressb");
  t.root->SetKeyControl(false);
  a->Hide();
  EXPECT_FALSE(t.root->KeyUp(key, {}));
  EXPECT_FALSE(t.root->KeyPress(typed));
  EXPECT_EQ(t.Take(), "");
}

// A subtree is created parent first and released children first; releasing the panel that holds the capture frees
// it for the whole tree, and input passes released panels by.
TEST(ZoRGBPanel, AllCreateAndAllReleaseOrder) {
  Tree t;
  t.root->SetName("Root");
  TZoRGBPanel* a = t.Add(t.root, "A", 0, 0, 50, 50);
  TZoRGBPanel* a1 = t.Add(a, "A1", 0, 0, 20, 20);
  TZoRGBPanel* b = t.Add(t.root, "B", 60, 0, 50, 50);
  for (TZoRGBPanel* p : {t.root, a, a1, b}) {
    t.Listen(p);
    p->OnRelease = [&t](TComponent* s) { t.log.push_back(s->GetName() + ":Release"); };
  }
  b->Hide();
  EXPECT_TRUE(t.root->AllCreate());
  EXPECT_EQ(t.Take(), "Root:Create Root:Show A:Create A:Show A1:Create A1:Show B:Create");

  t.root->SetActive();
  t.root->MouseDown(mbLeft, {ssLeft}, 5, 5);
  EXPECT_EQ(t.root->GetMouseCapture(), a1);
  t.Take();
  a->AllRelease();
  EXPECT_EQ(t.Take(), "A1:Hide A1:Release A:Hide A:Release");
  EXPECT_EQ(t.root->GetMouseCapture(), nullptr);
  EXPECT_FALSE(a->GetCreated() || a1->GetCreated());
  EXPECT_TRUE(t.root->MouseUp(mbLeft, {}, 5, 5));
  EXPECT_EQ(t.Take(), "Root:Up");  // the released panels are passed by; the root was not pressed: no click

  t.root->AllRelease();
  EXPECT_EQ(t.Take(), "B:Release Root:Hide Root:Release");
  EXPECT_FALSE(t.root->GetCreated());
}

// Offsets and sizes are held within the panel coordinate limit, so that no sum along a tree passes the int range.
TEST(ZoRGBPanel, GeometryHeldWithinTheCoordinateLimit) {
  Tree t;
  TZoRGBPanel* p = t.Add(t.root, "P", 0, 0, 10, 10);
  TZoRGBPanel* q = t.Add(p, "Q", 0, 0, 10, 10);
  t.root->AllCreate();
  struct Case {
    int given, held;
  };
  for (const Case c : {Case{std::numeric_limits<int>::min(), -kZoPanelCoordLimit},
                       Case{std::numeric_limits<int>::max(), kZoPanelCoordLimit}, Case{-5, -5}}) {
    p->SetOffsetX(c.given), p->SetOffsetY(c.given), q->SetOffsetX(c.given), q->SetSizeX(c.given);
    EXPECT_EQ(p->GetOffsetX(), c.held);
    EXPECT_EQ(q->GetSizeX(), c.held);
    int x = 0, y = 0;
    q->ClientToScreen(x, y);
    EXPECT_EQ(x, 2 * c.held);
    TZoRGBBits back;
    back.SetWidth(16), back.SetHeight(16);
    ASSERT_TRUE(back.Create());
    EXPECT_TRUE(t.root->Update(&back));
  }
}

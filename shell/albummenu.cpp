#include "shell/albummenu.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "core/vxcsvread.h"
#include "core/vxfileman.h"
#include "core/vxmemman.h"
#include "device/gameservices.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "platform/form.h"
#include "shell/gamedata.h"
#include "shell/gameeffect.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/screenform.h"
#include "shell/systemdata.h"

namespace pc = platform::component;

TAlbumMenu* AlbumMenu = nullptr;

namespace {

constexpr int kFullRate = 128;
constexpr int kGridX = 39, kGridY = 73, kGridStepX = 114, kGridStepY = 88, kColumns = 5;
constexpr int kFirstPicture = 500, kLastPicture = 699;
constexpr int kScrollStep = 8;
constexpr int kRestFrames = 60;
constexpr int kEdge = 120, kEdgeX = 160;  // the pointer this near an edge scrolls
enum TCursor : int { kCursorHidden = -1, kCursorArrow = 0, kCursorUp = 2, kCursorDown = 3, kCursorLeft = 4, kCursorRight = 5 };
constexpr const char* kExtensions[] = {".bmp", ".jpg", ".png", ".lzh"};

void RegisterAlbumMenu() {
  auto s = pc::RegisterScreen<TAlbumMenu>("TAlbumMenu");
  using U = TAlbumMenu;
  using screenform::Bind;
  for (const auto& [name, handler] :
       {std::pair{"PanelCreate", &U::PanelCreate}, std::pair{"PanelRelease", &U::PanelRelease},
        std::pair{"PageBtn1Click", &U::PageBtnClick}, std::pair{"PageBtn2Click", &U::PageBtnClick},
        std::pair{"PageBtn3Click", &U::PageBtnClick}, std::pair{"ThumbNailMouseEnter", &U::ThumbNailMouseEnter},
        std::pair{"ExitBtnClick", &U::ExitBtnClick}})
    Bind<TNotifyEvent>(s, name, "TNotifyEvent", handler);
  Bind<TMouseEvent>(s, "ThumbNailMouseDown", "TMouseEvent", &U::ThumbNailMouseDown);
  Bind<TMouseEvent>(s, "PicturePanelMouseDown", "TMouseEvent", &U::PicturePanelMouseDown);
  Bind<TMouseMoveEvent>(s, "PicturePanelMouseMove", "TMouseMoveEvent", &U::PicturePanelMouseMove);
  Bind<TZoDrawEvent>(s, "ThumbNailDraw", "TZoDrawEvent", &U::ThumbNailDraw);
  s.Field("AlbumPanel", &U::AlbumPanel)
      .Field("PageBtn1", &U::PageBtn1)
      .Field("PageBtn2", &U::PageBtn2)
      .Field("PageBtn3", &U::PageBtn3)
      .Field("ThumbNail01", &U::ThumbNail01)
      .Field("ThumbNail02", &U::ThumbNail02)
      .Field("ThumbNail03", &U::ThumbNail03)
      .Field("ThumbNail04", &U::ThumbNail04)
      .Field("ThumbNail05", &U::ThumbNail05)
      .Field("ThumbNail06", &U::ThumbNail06)
      .Field("ThumbNail07", &U::ThumbNail07)
      .Field("ThumbNail08", &U::ThumbNail08)
      .Field("ThumbNail09", &U::ThumbNail09)
      .Field("ThumbNail10", &U::ThumbNail10)
      .Field("ThumbNail11", &U::ThumbNail11)
      .Field("ThumbNail12", &U::ThumbNail12)
      .Field("ThumbNail13", &U::ThumbNail13)
      .Field("ThumbNail14", &U::ThumbNail14)
      .Field("ThumbNail15", &U::ThumbNail15)
      .Field("ThumbNail16", &U::ThumbNail16)
      .Field("ThumbNail17", &U::ThumbNail17)
      .Field("ThumbNail18", &U::ThumbNail18)
      .Field("ThumbNail19", &U::ThumbNail19)
      .Field("ThumbNail20", &U::ThumbNail20)
      .Field("ExitBtn", &U::ExitBtn)
      .Field("LightPanel", &U::LightPanel)
      .Field("GoodEndNum", &U::GoodEndNum)
      .Field("GoodEndMax", &U::GoodEndMax)
      .Field("BadEndNum", &U::BadEndNum)
      .Field("BadEndMax", &U::BadEndMax)
      .Field("PicturePanel", &U::PicturePanel);
}

VXMemMan* Registry() {
  TGameServices* game = GameServices();
  return game != nullptr ? &game->GetMemMan() : nullptr;
}

// A new blank picture of the working depth; null when it cannot be made.
TZoRGBBits* MakeBits(int width, int height) {
  VXMemMan* mem = Registry();
  TZoRGBBits* bits = mem != nullptr ? mem->CreateVCL<TZoRGBBits>(nullptr) : nullptr;
  if (bits == nullptr) return nullptr;
  bits->SetBitDepth(GameServices()->GetWorkingBitDepth());
  if (!bits->Resize(width, height) || !bits->Create()) {
    mem->Delete(bits);
    return nullptr;
  }
  bits->Cls();
  return bits;
}

void DeleteBits(TZoRGBBits*& bits) {
  if (VXMemMan* mem = Registry(); mem != nullptr && bits != nullptr) mem->Delete(bits);
  bits = nullptr;
}

std::string Format(const char* format, int n) {
  char name[32];
  std::snprintf(name, sizeof name, format, n);
  return name;
}

}  // namespace

TAlbumMenu::TAlbumMenu(Classes::TComponent* owner) : Classes::TComponent(owner) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterAlbumMenu);
  platform::form::LoadFormResource(*this, "AlbumMenu");
}

TAlbumMenu::~TAlbumMenu() {
  Release();
  DestroyComponents();
}

TZoRGBPanel* TAlbumMenu::ThumbNail(int i) const {
  const std::array<TZoRGBPanel*, kEntries> all = {ThumbNail01, ThumbNail02, ThumbNail03, ThumbNail04, ThumbNail05, ThumbNail06, ThumbNail07, ThumbNail08, ThumbNail09, ThumbNail10, ThumbNail11, ThumbNail12, ThumbNail13, ThumbNail14, ThumbNail15, ThumbNail16, ThumbNail17, ThumbNail18, ThumbNail19, ThumbNail20};
  return i >= 0 && i < kEntries ? all[static_cast<std::size_t>(i)] : nullptr;
}

bool TAlbumMenu::Init(VXFileMan* files) {
  Release();
  files_ = files;
  opened_ = true;
  VXMemMan* mem = Registry();
  eventFiles_ = mem != nullptr ? mem->Create<VXFileMan>() : nullptr;
  bool ok = eventFiles_ != nullptr && GameForm != nullptr;
  if (ok && !eventFiles_->InitPack(GameForm->DataPath("EvBG.pak"))) eventFiles_->InitDir(GameForm->DataPath("EvBG_Pak"));
  ok = ok && AlbumPanel->AllCreate();
  for (TZoRGBPanel* hidden : {static_cast<TZoRGBPanel*>(GoodEndMax), static_cast<TZoRGBPanel*>(BadEndNum),
                              static_cast<TZoRGBPanel*>(BadEndMax), PicturePanel})
    hidden->SetVisible(false);
  ok = ok && CreatePanelImageOwnSize(AlbumPanel, mmOpaque) && CreatePanelImageOwnSize(PicturePanel, mmOpaque);
  for (int i = 0; i < kEntries && ok; ++i) {
    thumbs_[i] = MakeBits(kThumbWidth, kThumbHeight);
    oldThumbs_[i] = MakeBits(kThumbWidth, kThumbHeight);
    ok = thumbs_[i] != nullptr && oldThumbs_[i] != nullptr;
  }
  if (!ok) Release();
  return ok;
}

void TAlbumMenu::Release() {
  if (!opened_) return;
  EndFade();
  DeletePicture();
  for (int i = 0; i < kEntries; ++i) {
    DeleteBits(thumbs_[i]);
    DeleteBits(oldThumbs_[i]);
  }
  ReleasePanelImage(AlbumPanel);
  ReleasePanelImage(PicturePanel);
  AlbumPanel->AllRelease();
  if (VXMemMan* mem = Registry(); mem != nullptr && eventFiles_ != nullptr) mem->Delete(eventFiles_);
  eventFiles_ = nullptr;
  loaded_.fill(false);
  oldLoaded_.fill(false);
  page_ = -1;
  showCounter_ = -1;
  viewState_ = vsGrid;
  opened_ = false;
}

void TAlbumMenu::Prepare() {
  if (!opened_) return;
  GoodEndNum->SetVisible(false);
  DeletePicture();
  ReadTable();
  loaded_.fill(false);
  page_ = -1;
  ShowPage(0);
}

void TAlbumMenu::ReadTable() {
  entries_.fill(TEntry{});
  VXStream* stream = files_ != nullptr ? files_->Open("AlbumTbl.csv") : nullptr;
  if (stream == nullptr) return;
  VXCsvRead csv;
  const bool read = csv.Read(stream);
  files_->Close(stream);
  if (!read) return;
  const bool all = AlbumShowAll.load() != 0;
  for (int row = 0; row < csv.GetSizeY(); ++row) {
    const int e = csv.GetValue(0, row);
    if (e < 0 || e >= kEntries) continue;
    TEntry& entry = entries_[static_cast<std::size_t>(e)];
    for (int column = 1; column < csv.GetSizeX() && entry.count < kPictures; ++column) {
      const int number = csv.GetValue(column, row);
      if (number == 0) break;
      if (number < kFirstPicture || number > kLastPicture) continue;
      if (all || SystemData.GetEventSeen(number - kFirstPicture))
        entry.pictures[static_cast<std::size_t>(entry.count++)] = number;
    }
  }
}

void TAlbumMenu::ShowPage(int page) {
  const bool first = page_ < 0;
  page_ = page;
  TZoRGBBtn* const buttons[] = {PageBtn1, PageBtn2, PageBtn3};
  for (int i = 0; i < 3; ++i) buttons[i]->SetSelected(i == page);
  if (first) DrawImageFile(AlbumPanel->GetImage(), nullptr, 0, 0, files_, "AlbumBG1.jpg");
  LightPanel->SetVisible(false);
  hoverEntry_ = -1;
  for (int i = 0; i < kEntries; ++i) {
    const bool keep = loaded_[i] && showCounter_ < 0;
    if (keep) oldThumbs_[i]->Draw(0, 0, thumbs_[i], 0, 0, kThumbWidth, kThumbHeight);
    oldLoaded_[i] = keep;
    const int e = page * kEntries + i;
    loaded_[i] = false;
    if (e >= 0 && e < kEntries && entries_[static_cast<std::size_t>(e)].count > 0) {
      thumbs_[i]->Cls();
      loaded_[i] = DrawImageFile(thumbs_[i], nullptr, 0, 0, files_, Format("AlbumEv%02d.bmp", e).c_str());
    }
    ThumbNail(i)->SetModify();
  }
  AlbumPanel->SetModify();
  showCounter_ = 0;
}

bool TAlbumMenu::ThumbNailDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx,
                               int dy) {
  const int i = sender != nullptr ? static_cast<int>(sender->GetTag()) : -1;
  if (!opened_ || i < 0 || i >= kEntries) return true;
  const int w = std::min(dx, kThumbWidth - sx), h = std::min(dy, kThumbHeight - sy);
  if (w <= 0 || h <= 0 || sx < 0 || sy < 0) return true;
  TZoRGBBits* now = thumbs_[i];
  TZoRGBBits* old = oldThumbs_[i];
  if (showCounter_ < 0) {
    if (loaded_[i]) dest->Draw(x, y, now, sx, sy, w, h);
    return true;
  }
  const int level = std::clamp(showCounter_ - (i / kColumns + i % kColumns), 0, 32) * 4;
  if (loaded_[i] && oldLoaded_[i])
    dest->AlphaBlend(x, y, old, sx, sy, now, sx, sy, w, h, level);
  else if (loaded_[i])
    dest->AlphaBlend(x, y, now, sx, sy, w, h, level);
  else if (oldLoaded_[i])
    dest->AlphaBlend(x, y, old, sx, sy, w, h, kFullRate - level);
  return true;
}

void TAlbumMenu::ThumbNailMouseEnter(Classes::TComponent* sender) {
  if (!opened_ || viewState_ != vsGrid || sender == nullptr) return;
  const int tag = static_cast<int>(sender->GetTag());
  hoverEntry_ = page_ * kEntries + tag < kEntries ? tag : -1;
  if (hoverEntry_ >= 0) {
    LightPanel->SetOffsetX(kGridX + kGridStepX * (tag % kColumns));
    LightPanel->SetOffsetY(kGridY + kGridStepY * (tag / kColumns));
  }
  LightPanel->SetVisible(hoverEntry_ >= 0);
}

void TAlbumMenu::ThumbNailMouseDown(Classes::TComponent* sender, TMouseButton, TShiftState, int, int) {
  if (!opened_ || viewState_ != vsGrid || sender == nullptr) return;
  const int e = page_ * kEntries + static_cast<int>(sender->GetTag());
  if (e < 0 || e >= kEntries || entries_[static_cast<std::size_t>(e)].count == 0) return;
  viewEntry_ = e;
  viewIndex_ = 0;
  if (!LoadPicture()) return;  // nothing of the entry can be shown: the grid stays
  viewState_ = vsOpening;
  OpenPicture();
}

bool TAlbumMenu::LoadPicture() {
  const TEntry& entry = entries_[static_cast<std::size_t>(viewEntry_)];
  for (; viewIndex_ < entry.count; ++viewIndex_) {
    DeletePicture();
    const std::string base = Format("bg%03d", entry.pictures[static_cast<std::size_t>(viewIndex_)]);
    for (const char* extension : kExtensions) {
      const VXString name = VXString((base + extension).c_str());
      if (eventFiles_ == nullptr || !eventFiles_->FileIsExist(name)) continue;
      if (GetImageKind(name) == ikGny) SelectGnyKey(0);
      if (LoadImageFile(&picture_, nullptr, eventFiles_, name) && picture_->GetWidth() <= kMaxPictureSide &&
          picture_->GetHeight() <= kMaxPictureSide)
        break;
      DeletePicture();
    }
    if (picture_ != nullptr) {
      scrollX_ = scrollY_ = 0;
      return true;
    }
  }
  return false;
}

void TAlbumMenu::DrawView() {
  TZoRGBBits* view = PicturePanel->GetImage();
  if (view == nullptr || picture_ == nullptr) return;
  view->Cls();
  const int w = std::min(TGameForm::kWidth, picture_->GetWidth() - scrollX_);
  const int h = std::min(TGameForm::kHeight, picture_->GetHeight() - scrollY_);
  if (w > 0 && h > 0) view->ConvertCopy(0, 0, picture_, scrollX_, scrollY_, w, h);
  PicturePanel->SetModify();
}

bool TAlbumMenu::StartFade(TZoRGBPanel* to) {
  if (GameForm == nullptr) return false;
  TZoRGBBits* from = CreateScreenBits();
  TZoRGBBits* next = CreateScreenBits();
  if (from == nullptr || next == nullptr) {
    DeleteScreenBits(from);
    DeleteScreenBits(next);
    return false;
  }
  GameForm->CopyScreen(from);
  to->Draw(next, 0, 0);
  if (!GameForm->StartTransition(0, from, next, 100)) return false;  // the window took the pictures either way
  GameForm->SetOnDrawFull(VXCallback1<TAlbumMenu, void, TZoRGBBits*>(this, &TAlbumMenu::DrawTransitionFull));
  GameForm->SetOnDrawUpdate(
      VXCallback2<TAlbumMenu, void, TZoRGBBits*, VXRectSet*>(this, &TAlbumMenu::DrawTransitionUpdate));
  fading_ = true;
  return true;
}

void TAlbumMenu::EndFade() {
  if (!fading_ || GameForm == nullptr) return;
  GameForm->ClearTransition();
  GameForm->SetOnDrawFull(TDrawFullHook());
  GameForm->SetOnDrawUpdate(TDrawUpdateHook());
  if (TZoRGBPanel* root = GameForm->GetRootPanel()) root->SetModify();
  fading_ = false;
}

void TAlbumMenu::DrawTransitionFull(TZoRGBBits* target) {
  if (GameForm != nullptr) GameForm->DrawTransition(target, nullptr);
}

void TAlbumMenu::DrawTransitionUpdate(TZoRGBBits* target, VXRectSet* dirty) {
  if (GameForm != nullptr) GameForm->DrawTransition(target, dirty);
}

void TAlbumMenu::OpenPicture() {
  DrawView();
  if (GameForm != nullptr) GameForm->SetCursorType(kCursorHidden);
  restCountdown_ = 0;
  PicturePanel->SetVisible(true);
  if (!StartFade(PicturePanel)) viewState_ = vsShown;
}

void TAlbumMenu::CloseView() {
  DeletePicture();
  viewState_ = vsClosing;
  PicturePanel->SetVisible(false);
  LightPanel->SetVisible(false);
  if (GameForm != nullptr) GameForm->SetCursorType(kCursorArrow);
  if (!StartFade(AlbumPanel)) viewState_ = vsGrid;
}

void TAlbumMenu::PicturePanelMouseDown(Classes::TComponent*, TMouseButton, TShiftState, int, int) {
  if (!opened_ || viewState_ != vsShown) return;
  ++viewIndex_;
  if (LoadPicture()) {
    viewState_ = vsOpening;
    OpenPicture();
  } else {
    CloseView();
  }
}

void TAlbumMenu::PicturePanelMouseMove(Classes::TComponent*, TShiftState, int x, int y) {
  if (!opened_ || viewState_ != vsShown || picture_ == nullptr || GameForm == nullptr) return;
  const int maxX = std::max(0, picture_->GetWidth() - TGameForm::kWidth);
  const int maxY = std::max(0, picture_->GetHeight() - TGameForm::kHeight);
  int cursor = kCursorArrow;
  if (y < kEdge && scrollY_ > 0)
    cursor = kCursorUp;
  else if (y >= TGameForm::kHeight - kEdge && scrollY_ < maxY)
    cursor = kCursorDown;
  else if (x < kEdgeX && scrollX_ > 0)
    cursor = kCursorLeft;
  else if (x >= TGameForm::kWidth - kEdgeX && scrollX_ < maxX)
    cursor = kCursorRight;
  GameForm->SetCursorType(cursor);
  restCountdown_ = kRestFrames;
}

void TAlbumMenu::Scroll(int direction) {
  const int maxX = std::max(0, picture_->GetWidth() - TGameForm::kWidth);
  const int maxY = std::max(0, picture_->GetHeight() - TGameForm::kHeight);
  struct Step {
    int* offset;
    int delta;
    int limit;
  };
  const Step step = direction == kCursorUp     ? Step{&scrollY_, -kScrollStep, maxY}
                    : direction == kCursorDown ? Step{&scrollY_, kScrollStep, maxY}
                    : direction == kCursorLeft ? Step{&scrollX_, -kScrollStep, maxX}
                                               : Step{&scrollX_, kScrollStep, maxX};
  *step.offset = std::clamp(*step.offset + step.delta, 0, step.limit);
  if (*step.offset == (step.delta < 0 ? 0 : step.limit)) GameForm->SetCursorType(kCursorArrow);
  DrawView();
}

void TAlbumMenu::StepView(int frames) {
  if (GameForm == nullptr || picture_ == nullptr) return;
  const int cursor = GameForm->GetCursorType();
  if (cursor != kCursorHidden) {
    restCountdown_ -= frames;
    if (restCountdown_ < 0) {
      GameForm->SetCursorType(kCursorHidden);
      restCountdown_ = 0;
      return;
    }
  } else {
    restCountdown_ = std::max(0, restCountdown_ - 4 * frames);
  }
  if (cursor >= kCursorUp && cursor <= kCursorRight) Scroll(cursor);
}

void TAlbumMenu::Frame(int frames) {
  if (!opened_) return;
  const VXSectionHold lock(GameForm != nullptr ? &GameForm->GetGameLock() : nullptr);
  if (showCounter_ >= 0) {
    showCounter_ += std::max(frames, 0);
    if (showCounter_ > kShowFrames) showCounter_ = -1;
    for (int i = 0; i < kEntries; ++i) ThumbNail(i)->SetModify();
  }
  switch (viewState_) {
    case vsOpening:
    case vsClosing:
      if (fading_) GameForm->AdvanceTransition(frames);
      if (!fading_ || GameForm->IsTransitionDone()) {
        EndFade();
        viewState_ = viewState_ == vsOpening ? vsShown : vsGrid;
      }
      break;
    case vsShown:
      StepView(frames);
      break;
    default:
      break;
  }
}

void TAlbumMenu::ExitBtnClick(Classes::TComponent*) {
  if (!opened_) return;
  screenform::PlaySystemSe(8);
  screenform::NotifyMainThread(0);
}

void TAlbumMenu::PageBtnClick(Classes::TComponent* sender) {
  if (!opened_ || sender == nullptr) return;
  const int page = sender == PageBtn1 ? 0 : sender == PageBtn2 ? 1 : 2;
  if (page != page_) ShowPage(page);
}

void TAlbumMenu::PanelCreate(Classes::TComponent* sender) { screenform::LoadTextPicture(sender, files_); }

void TAlbumMenu::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TAlbumMenu::DeletePicture() { DeleteBits(picture_); }

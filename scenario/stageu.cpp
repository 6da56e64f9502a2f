#include "scenario/stageu.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <stdexcept>

#include "core/vxfileman.h"
#include "core/vxmemman.h"
#include "core/vxsharedrandom.h"
#include "core/vxstream.h"
#include "core/vxstrlist.h"
#include "device/deviceclasses.h"
#include "device/gameservices.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "platform/form.h"
#include "shell/gamedata.h"
#include "shell/gamefunc.h"
#include "shell/systemdata.h"

namespace {

constexpr int W = kScreenWidth, H = kScreenHeight;
constexpr int kSlotSpacing = 160;  // the slots' centres stand at 160, 320 and 480
constexpr int kMoveSteps = 8;
constexpr int kFullRate = 128;
constexpr unsigned long kWeatherLight = 0x202020;

// ---- Form registration

using DrawHandler = bool (TStageUnit::*)(Classes::TComponent*, TZoRGBBits*, int, int, int, int, int, int);
struct DrawHandlerName {
  const char* name;
  DrawHandler member;
};
const DrawHandlerName kDrawHandlers[] = {
    {"StagePanelDraw", &TStageUnit::StagePanelDraw},       {"BGPanelDraw", &TStageUnit::BGPanelDraw},
    {"BGPanel2Draw", &TStageUnit::BGPanel2Draw},           {"CharLeftDraw", &TStageUnit::CharLeftDraw},
    {"CharCenterDraw", &TStageUnit::CharCenterDraw},       {"CharRightDraw", &TStageUnit::CharRightDraw},
    {"OutCharLeftDraw", &TStageUnit::OutCharLeftDraw},     {"OutCharCenterDraw", &TStageUnit::OutCharCenterDraw},
    {"OutCharRightDraw", &TStageUnit::OutCharRightDraw},   {"CharLeft2Draw", &TStageUnit::CharLeft2Draw},
    {"CharCenter2Draw", &TStageUnit::CharCenter2Draw},     {"CharRight2Draw", &TStageUnit::CharRight2Draw},
    {"WeatherBackDraw", &TStageUnit::WeatherBackDraw},     {"WeatherFrontDraw", &TStageUnit::WeatherFrontDraw},
    {"WeatherBack2Draw", &TStageUnit::WeatherBack2Draw},   {"WeatherFront2Draw", &TStageUnit::WeatherFront2Draw},
};

struct PanelField {
  const char* name;
  TZoRGBPanel* TStageUnit::*field;
};
const PanelField kPanelFields[] = {
    {"StagePanel", &TStageUnit::StagePanel},     {"BGPanel", &TStageUnit::BGPanel},
    {"CharLeft", &TStageUnit::CharLeft},         {"CharRight", &TStageUnit::CharRight},
    {"CharCenter", &TStageUnit::CharCenter},     {"OutCharLeft", &TStageUnit::OutCharLeft},
    {"OutCharCenter", &TStageUnit::OutCharCenter}, {"OutCharRight", &TStageUnit::OutCharRight},
    {"WeatherBack", &TStageUnit::WeatherBack},   {"WeatherFront", &TStageUnit::WeatherFront},
    {"BGMaskTop", &TStageUnit::BGMaskTop},       {"BGMaskBtm", &TStageUnit::BGMaskBtm},
    {"BGPanel2", &TStageUnit::BGPanel2},         {"CharLeft2", &TStageUnit::CharLeft2},
    {"CharCenter2", &TStageUnit::CharCenter2},   {"CharRight2", &TStageUnit::CharRight2},
    {"WeatherBack2", &TStageUnit::WeatherBack2}, {"WeatherFront2", &TStageUnit::WeatherFront2},
    {"BGMaskTop2", &TStageUnit::BGMaskTop2},     {"BGMaskBtm2", &TStageUnit::BGMaskBtm2},
};

void RegisterStageUnit() {
  RegisterDeviceClasses();
  auto screen = platform::component::RegisterScreen<TStageUnit>("TStageUnit");
  for (const DrawHandlerName& h : kDrawHandlers) {
    const DrawHandler member = h.member;
    screen.Handler<TZoDrawEvent>(h.name, "TZoDrawEvent", [member](TStageUnit& u) {
      return TZoDrawEvent([&u, member](Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy,
                                       int w, int h) { return (u.*member)(sender, dest, x, y, sx, sy, w, h); });
    });
  }
  screen
      .Handler<TMouseEvent>("StagePanelMouseDown", "TMouseEvent",
                            [](TStageUnit& u) {
                              return TMouseEvent([&u](Classes::TComponent* sender, TMouseButton button,
                                                      TShiftState shift, int x, int y) {
                                u.StagePanelMouseDown(sender, button, shift, x, y);
                              });
                            })
      .Handler<TNotifyEvent>("PanelCreate", "TNotifyEvent",
                             [](TStageUnit& u) {
                               return TNotifyEvent([&u](Classes::TComponent* sender) { u.PanelCreate(sender); });
                             })
      .Handler<TNotifyEvent>("PanelRelease", "TNotifyEvent", [](TStageUnit& u) {
        return TNotifyEvent([&u](Classes::TComponent* sender) { u.PanelRelease(sender); });
      });
  for (const PanelField& f : kPanelFields) screen.Field(f.name, f.field);
}

// ---- Definition text

// A key = value line of a definition: both trimmed, the key upper-cased; false for a line without "=" or with "="
// first.
bool SplitKeyValue(const VXString& line, VXString& key, VXString& value) {
  const int eq = line.Pos("=");
  if (eq <= 1) return false;
  key = line.SubString(1, eq - 1).Trim().UpperCase();
  value = line.SubString(eq + 1, line.Length() - eq).Trim();
  return true;
}

// Calls `section(name)` for every section line ("[...]", upper-cased) and `entry(key, value)` for every key line
// after the first section.
template <class Section, class Entry>
void ReadSections(const VXStringList& text, Section&& section, Entry&& entry) {
  bool inSection = false;
  for (int i = 0; i < text.GetCount(); ++i) {
    const VXString line = text.GetString(i).Trim();
    const char* chars = line.c_str();
    if (line.Length() >= 2 && chars[0] == '[' && chars[line.Length() - 1] == ']') {
      inSection = section(line.UpperCase());
      continue;
    }
    VXString key, value;
    if (inSection && SplitKeyValue(line, key, value)) entry(key, value);
  }
}

// One item of an ANIMATION row, between "<" and ">"; false when it matches none of the forms.
bool ReadAnimItem(const VXString& item, TCharAnimFrame& frame) {
  const VXString word = item.Trim().UpperCase();
  if (word == VXString("LOOP")) {
    frame = {TCharAnimFrame::kLoop, 1};
    return true;
  }
  if (word == VXString("END")) {
    frame = {TCharAnimFrame::kEnd, 1};
    return true;
  }
  const int comma = item.Pos(",");
  if (comma < 2 || comma >= item.Length()) return false;
  frame.image = item.SubString(1, comma - 1).Trim().ToIntDef(-1);
  frame.wait = std::max(1, item.SubString(comma + 1, item.Length() - comma).Trim().ToIntDef(1));
  return true;
}

void ReadAnimation(const VXString& row, TCharAnimFrame (&frames)[TCharDefinition::kFrames]) {
  int from = 1;  // 1-based position where the next item is looked for
  for (int k = 0; k < TCharDefinition::kFrames; ++k) {
    const VXString rest = row.SubString(from, row.Length() - from + 1);
    const int lt = rest.Pos("<");
    if (lt == 0) return;
    const VXString after = rest.SubString(lt + 1, rest.Length() - lt);
    const int gt = after.Pos(">");  // the ">" stands gt characters after the "<"
    if (gt == 0 || gt < 4) return;
    if (!ReadAnimItem(after.SubString(1, gt - 1), frames[k])) return;
    from += lt + gt;
  }
}

// ---- Pictures

VXMemMan* MemOrNull() {
  TGameServices* game = GameServices();
  return game != nullptr ? &game->GetMemMan() : nullptr;
}

VXBitDepth WorkingDepth() {
  TGameServices* game = GameServices();
  return game != nullptr ? game->GetWorkingBitDepth() : bd32;
}

template <class T>
void DeleteMade(T*& p) {
  if (p == nullptr) return;
  if (VXMemMan* mem = MemOrNull()) {
    mem->Delete(p);
  } else {
    delete p;
  }
  p = nullptr;
}

template <class T>
T* MakeObject() {
  VXMemMan* mem = MemOrNull();
  if (mem == nullptr) return nullptr;
  try {
    return mem->CreateVCL<T>(nullptr);
  } catch (const std::exception&) {
    return nullptr;
  }
}

// The definition text of a file, or false when it is missing.
bool LoadText(VXFileMan* files, const VXString& name, VXStringList& text) {
  if (files == nullptr || !files->FileIsExist(name)) return false;
  VXStream* stream = files->Open(name);
  if (stream == nullptr) return false;
  text.LoadFromStream(stream);
  files->Close(stream);
  return true;
}

VXString Formatted(const char* format, int number) {
  VXString s;
  s.sprintf(format, number);
  return s;
}

void FillWhole(TZoRGBBits* bits, VXRGB colour) {
  bits->BoxFill(0, 0, bits->GetWidth() - 1, bits->GetHeight() - 1, bits->TZoRGBtoPixel(colour));
}

// ---- Backgrounds

constexpr int kPeriodOffset[5] = {0, 1, 2, 2, 3};  // day, evening, night, late night, morning
constexpr int kTintIndoor[8] = {0, 4, 6, 0, 2, 2, 6, 2};
constexpr int kTintOutdoor[8] = {0, 3, 5, 0, 1, 1, 5, 1};
constexpr std::uint32_t kTintTones[7] = {0, 0x6D6D6D, 0x777777, 0x80705C, 0x808070, 0x5E5E6D, 0};
const char* const kStillExtensions[] = {".bmp", ".jpg", ".png", ".lzh"};

// The picture numbers (offsets from the place) tried for picture index p, in order; -1 ends.
constexpr int kCandidates[8][4] = {{0, -1}, {1, -1}, {2, -1}, {3, -1}, {4, -1}, {5, 7, 4, -1}, {6, 4, -1}, {7, 5, 4, -1}};

int WeatherKindOf(int w, bool f1, bool f2, bool f3) {
  switch (w) {
    case 2: return f2 ? 6 : f3 ? 7 : f1 ? 5 : 1;
    case 3: return f1 ? 8 : 2;
    case 4: return 3;
    case 5: return 4;
    default: return 0;
  }
}

// Effect data a transition needs.
enum : int { edNone = 0, edWater = 11, edHalo = 12, edMask = 13 };

}  // namespace

// ---- Character definitions

int TCharDefinition::EntryImage(int entry) const {
  if (entry < 0 || entry >= kEntries) return -1;
  const TCharEntry& e = entries[entry];
  int image = e.imgId;
  if (image < 0 && e.animId >= 0 && e.animId < kAnims && e.frame >= 0 && e.frame < kFrames)
    image = anims[e.animId][e.frame].image;
  return image >= 0 && image < kImages && images[image].w > 0 && images[image].h > 0 ? image : -1;
}

VXRect TCharDefinition::EntryRect(int entry) const {
  const int image = EntryImage(entry);
  if (image < 0) return {0, 0, 0, 0};
  const TCharEntry& e = entries[entry];
  return {e.x, e.y, e.x + images[image].w, e.y + images[image].h};
}

void ReadCharDefinition(const VXStringList& text, TCharDefinition& def) {
  enum Section { kNone, kBase, kImg, kAnim, kEntry };
  Section section = kNone;
  int index = -1;
  ReadSections(
      text,
      [&](const VXString& name) {
        index = -1;
        section = name == VXString("[BASE]")   ? kBase
                  : name == VXString("[IMG]")  ? kImg
                  : name == VXString("[ANIM]") ? kAnim
                  : name == VXString("[ENTRY]") ? kEntry
                                               : kNone;
        return section != kNone;
      },
      [&](const VXString& key, const VXString& value) {
        if (section == kBase) {
          if (key == VXString("WIDTH")) def.width = value.ToIntDef(0);
          if (key == VXString("HEIGHT")) def.height = value.ToIntDef(0);
          return;
        }
        if (index < 0) {
          if (key != VXString("ID")) return;
          index = value.ToIntDef(-1);
          const int limit = section == kImg ? TCharDefinition::kImages : TCharDefinition::kAnims;
          if (index >= limit) index = -1;
          return;
        }
        if (section == kImg) {
          TCharImage& im = def.images[index];
          if (key == VXString("POSX")) im.x = value.ToIntDef(0);
          if (key == VXString("POSY")) im.y = value.ToIntDef(0);
          if (key == VXString("WIDTH")) im.w = value.ToIntDef(0);
          if (key == VXString("HEIGHT")) im.h = value.ToIntDef(0);
        } else if (section == kEntry) {
          TCharEntry& e = def.entries[index];
          if (key == VXString("POSX")) e.x = value.ToIntDef(0);
          if (key == VXString("POSY")) e.y = value.ToIntDef(0);
          if (key == VXString("IMG_ID")) e.imgId = value.ToIntDef(-1);
          if (key == VXString("ANIM_ID")) e.animId = value.ToIntDef(-1);
        } else if (key == VXString("ANIMATION")) {
          ReadAnimation(value, def.anims[index]);
        }
      });
}

void FitCharDefinition(TCharDefinition& def, int sheetWidth, int sheetHeight) {
  def.width = std::clamp(def.width, 0, TCharDefinition::kMaxCharSide);
  def.height = std::clamp(def.height, 0, TCharDefinition::kMaxCharSide);
  for (TCharImage& im : def.images) {
    const long long left = std::max<long long>(im.x, 0), top = std::max<long long>(im.y, 0);
    const long long right = std::min<long long>(static_cast<long long>(im.x) + im.w, sheetWidth);
    const long long bottom = std::min<long long>(static_cast<long long>(im.y) + im.h, sheetHeight);
    if (im.w <= 0 || im.h <= 0 || right <= left || bottom <= top) {
      im = {};
    } else {
      im = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
            static_cast<int>(bottom - top)};
    }
  }
  for (auto& anim : def.anims)
    for (TCharAnimFrame& f : anim)
      if (f.image < TCharAnimFrame::kLoop || f.image >= TCharDefinition::kImages) f.image = TCharAnimFrame::kEnd;
  for (TCharEntry& e : def.entries) {
    if (e.imgId < 0 || e.imgId >= TCharDefinition::kImages) e.imgId = -1;
    if (e.animId < 0 || e.animId >= TCharDefinition::kAnims) e.animId = -1;
    e.x = std::clamp(e.x, -kZoPanelCoordLimit, kZoPanelCoordLimit);
    e.y = std::clamp(e.y, -kZoPanelCoordLimit, kZoPanelCoordLimit);
    e.frame = std::clamp(e.frame, 0, TCharDefinition::kFrames - 1);
  }
}

bool AdvanceCharEntry(const TCharDefinition& def, TCharEntry& entry) {
  if (entry.run < 0 || entry.animId < 0 || entry.animId >= TCharDefinition::kAnims) return false;
  if (entry.frame < 0 || entry.frame >= TCharDefinition::kFrames) return false;
  const auto& anim = def.anims[entry.animId];
  if (anim[entry.frame].image < 0) return false;
  if (++entry.run < anim[entry.frame].wait) return false;
  entry.run = 0;
  if (++entry.frame >= TCharDefinition::kFrames) {
    entry.frame = TCharDefinition::kFrames - 1;
    entry.run = -1;
  } else if (anim[entry.frame].image == TCharAnimFrame::kLoop) {
    entry.frame = 0;
  } else if (anim[entry.frame].image < 0) {
    --entry.frame;
    entry.run = -1;
  }
  return true;
}

TBGAnimDefinition ReadBGAnimDefinition(const VXStringList& text) {
  TBGAnimDefinition read, def;
  ReadSections(
      text, [](const VXString& name) { return name == VXString("[BASE]"); },
      [&](const VXString& key, const VXString& value) {
        if (key == VXString("IMAGE")) read.image = value;
        if (key == VXString("FRAMES")) read.frames = value.ToIntDef(1);
        if (key == VXString("WAIT")) read.wait = value.ToIntDef(1);
      });
  if (read.image == def.image || GetImageKind(read.image) == ikNone) return def;
  read.frames = std::clamp(read.frames, 1, TBGAnimDefinition::kMaxFrames);
  read.wait = std::max(read.wait, 1);
  return read;
}

// ---- Transitions

struct TStageUnit::TransitionRule {
  int transition;
  int kind;
  int data;
  const char* mask;
};

const TStageUnit::TransitionRule* TStageUnit::FindTransition(int transition) {
  static const TransitionRule kRules[] = {
      {1, ekCrossFade, edNone, nullptr},
      {2, ekCrossFadeFast, edNone, nullptr},
      {3, ekCrossFade, edNone, nullptr},
      {4, ekMaskEdge, edMask, "FadeMask02_LucasR.bmp"},
      {5, ekMaskEdge, edMask, "FadeMask03_LucasL.bmp"},
      {6, ekMaskEdge, edMask, "FadeMask00_BlindR.bmp"},
      {7, ekMaskEdge, edMask, "FadeMask01_BlindL.bmp"},
      {8, ekScrollUp, edNone, nullptr},
      {9, ekScrollDown, edNone, nullptr},
      {10, ekScrollRight, edNone, nullptr},
      {11, ekScrollLeft, edNone, nullptr},
      {12, ekZoomIn, edNone, nullptr},
      {13, ekShrink, edNone, nullptr},
      {14, ekWater, edWater, nullptr},
      {15, ekHalation, edHalo, nullptr},
      {16, ekMaskEdge, edMask, "FadeMask04_Circle.bmp"},
      {17, ekMaskEdge, edMask, "FadeMask05_CircleR.bmp"},
      {18, ekMaskEdge, edMask, "FadeMask06_Clock.bmp"},
      {19, ekMaskEdge, edMask, "FadeMask07_Swirl.bmp"},
      {20, ekMaskEdge, edMask, "FadeMask08_Crystal.bmp"},
      {21, ekMask, edMask, "FadeMask09_StripesB.bmp"},
      {22, ekMaskEdge, edMask, "FadeMask10_StripesN.bmp"},
      {23, ekMaskEdge, edMask, "FadeMask11_Star.bmp"},
      {24, ekMaskEdge, edMask, "FadeMask12_Radiation.bmp"},
      {25, ekMaskEdge, edMask, "FadeMask13_RadiationR.bmp"},
      {26, ekMaskEdge, edMask, "FadeMask14_Windmill.bmp"},
      {27, ekMaskEdge, edMask, "FadeMask15_Naruto.bmp"},
      {28, ekMaskEdge, edMask, "FadeMask16_Noise.bmp"},
      {29, ekMask, edMask, "FadeMask17_GhostD.bmp"},
      {30, ekMask, edMask, "FadeMask18_GhostU.bmp"},
  };
  for (const TransitionRule& r : kRules)
    if (r.transition == transition) return &r;
  return &kRules[0];  // any other number: the plain cross-fade
}

// ---- The unit

TStageUnit::TStageUnit(Classes::TComponent* owner) : Classes::TComponent(owner) {
  static std::once_flag once;
  std::call_once(once, RegisterStageUnit);
  platform::form::LoadFormResource(*this, "StageUnit");
  for (TZoRGBPanel* p : {StagePanel, BGPanel, BGPanel2, WeatherBack, WeatherFront, WeatherBack2, WeatherFront2}) {
    p->SetSizeX(W);
    p->SetSizeY(H);
  }
  TZoRGBPanel* const panels[3][3] = {{CharLeft, CharCenter, CharRight},
                                     {CharLeft2, CharCenter2, CharRight2},
                                     {OutCharLeft, OutCharCenter, OutCharRight}};
  std::copy(&panels[0][0], &panels[0][0] + 9, &charPanels_[0][0]);
}

TStageUnit::~TStageUnit() { Close(); }

bool TStageUnit::BGStat::HasAlpha() const { return alpha != nullptr && alpha->IsCreated(); }

int TStageUnit::GetShownChar(int slot) const { return slot >= 0 && slot < 3 ? shown_[slot] : -1; }

int TStageUnit::GetDrawRate(int set, int slot) const {
  if (slot < 0 || slot > 2) return -1;
  return set == csStanding ? standRate_[slot] : set == csLeaving ? leaveRate_[slot] : -1;
}

void TStageUnit::SetChars(const int numbers[3], int moveKind) {
  std::copy(numbers, numbers + 3, requested_);
  moveKind_ = moveKind;
}

void TStageUnit::SetStageLevel(int level) {
  if (level >= 0 && level <= 4) stageLevel_ = level;
}

bool TStageUnit::Open(VXFileMan* systemFiles) {
  if (open_) return true;
  try {
    systemFiles_ = systemFiles;
    bgFiles_ = std::make_unique<VXFileMan>();
    if (!bgFiles_->InitPack(dataFolder_ + "EvBG.pak")) bgFiles_->InitDir(dataFolder_ + "EvBG_Pak");
    charFiles_ = std::make_unique<VXFileMan>();
    if (!charFiles_->InitPack(dataFolder_ + "EvCG.pak")) charFiles_->InitDir(dataFolder_ + "EvCG_Pak");
    if (!StagePanel->AllCreate() || !BGPanel->AllCreate() || !BGPanel2->AllCreate())
      throw std::runtime_error("panels");
    if (!CreatePanelImage(StagePanel, W, H, mmOpaque)) throw std::runtime_error("stage picture");
    BGStatCreate(bg_[0], 1);
    BGPanel->SetMaskMode(mmOpaque);
    BGPanel2->SetMaskMode(mmOpaque);
    for (auto& set : charPanels_)
      for (TZoRGBPanel* p : set) p->SetMaskMode(mmHitOnly);
    for (TZoRGBPanel* p : {WeatherBack, WeatherFront, WeatherBack2, WeatherFront2}) p->SetMaskMode(mmHitOnly);
    for (TZoRGBPanel* p : {BGMaskTop, BGMaskBtm, BGMaskTop2, BGMaskBtm2}) p->Hide();
    if (!LoadImageFile(&snow_, nullptr, systemFiles, "Snow.bmp")) throw std::runtime_error("Snow.bmp");
    work_ = MakeObject<TZoRGBBits>();
    if (work_ == nullptr) throw std::runtime_error("work picture");
    work_->SetBitDepth(WorkingDepth());
    if (!work_->Resize(10, 10) || !work_->Create()) throw std::runtime_error("work picture");
    effects_.Clear();
    mode_ = smIdle;
    open_ = true;
    RedrawStage(true);
  } catch (const std::exception&) {
    open_ = true;
    Close();
    return false;
  }
  return true;
}

void TStageUnit::Close() {
  if (!open_) return;
  ReleaseEffect();
  ReleasePrevious();
  BGStatRelease(bg_[0]);
  for (int set = 0; set < 3; ++set)
    for (int i = 0; i < 3; ++i) {
      CharStatRelease(chars_[set][i]);
      charPanels_[set][i]->Hide();
      shown_[i] = -1;
    }
  DeleteMade(snow_);
  DeleteMade(work_);
  ReleasePanelImage(StagePanel);
  for (TZoRGBPanel* p : {StagePanel, BGPanel, BGPanel2}) p->AllRelease();
  bgFiles_.reset();
  charFiles_.reset();
  systemFiles_ = nullptr;
  mode_ = smClosed;
  open_ = false;
}

void TStageUnit::Attach(TZoRGBPanel* parent) { StagePanel->SetParent(parent); }

void TStageUnit::Detach() { StagePanel->SetParent(nullptr); }

void TStageUnit::Reset() {
  if (!open_) return;
  FinishChanges();
  BGPanel->Show();
  ReleasePrevious();
  if (bg_[0].frameCount != 1) BGStatCreate(bg_[0], 1);
  bg_[0].image->Cls();
  bg_[0].alpha->Release();
  bg_[0].frameWait = bg_[0].frame = bg_[0].tickCount = 0;
  bgCode_ = shownBG_ = kNoBG;
  shownVariant_ = kStillVariant;
  charTint_ = period_ = weatherCode_ = colourMode_ = 0;
  for (int set = 0; set < 3; ++set)
    for (int i = 0; i < 3; ++i) {
      charPanels_[set][i]->Hide();
      CharStatRelease(chars_[set][i]);
    }
  for (int i = 0; i < 3; ++i) {
    requested_[i] = shown_[i] = -1;
    prevOwn_[i] = false;
    enterMode_[i] = leaveMode_[i] = 0;
    standRate_[i] = leaveRate_[i] = kFullRate;
  }
  moveKind_ = 0;
  for (TZoRGBPanel* p : {WeatherBack, WeatherFront, WeatherBack2, WeatherFront2}) p->Hide();
  bg_[0].weatherKind = 0;
  stageLevel_ = bg_[0].stageLevel = 4;
  mode_ = smIdle;
  RedrawStage(true);
}

// ---- Slots

void TStageUnit::BGStatCreate(BGStat& slot, int frames) {
  BGStatRelease(slot);
  frames = std::clamp(frames, 1, TBGAnimDefinition::kMaxFrames);
  TZoRGBBits* image = MakeObject<TZoRGBBits>();
  TZoAlpha* alpha = MakeObject<TZoAlpha>();
  if (image == nullptr || alpha == nullptr) {
    DeleteMade(image);
    DeleteMade(alpha);
    throw std::runtime_error("TStageUnit::BGStatCreate Alloc Error");
  }
  image->SetBitDepth(WorkingDepth());
  if (!image->Resize(W, H * frames) || !image->Create()) {
    DeleteMade(image);
    DeleteMade(alpha);
    throw std::runtime_error("TStageUnit::BGStatCreate Create Error");
  }
  slot.created = true;
  slot.image = image;
  slot.alpha = alpha;
  slot.frameCount = frames;
  slot.frame = slot.tickCount = 0;
}

void TStageUnit::BGStatRelease(BGStat& slot) {
  if (&slot == &bg_[0] && bgShared_) BGStatRelease(bg_[1]);
  if (&slot == &bg_[1] && bgShared_) {
    bgShared_ = false;
  } else {
    DeleteMade(slot.image);
    DeleteMade(slot.alpha);
  }
  slot = BGStat{};
}

void TStageUnit::BGStatShare(BGStat& dst, BGStat& src) {
  BGStatRelease(dst);
  dst = src;
  bgShared_ = true;
}

void TStageUnit::BGStatMove(BGStat& dst, BGStat& src) {
  BGStatRelease(dst);
  dst = src;
  src = BGStat{};
}

void TStageUnit::CharStatCreate(CharStat& slot) {
  CharStatRelease(slot);
  TZoRGBBits* sheet = MakeObject<TZoRGBBits>();
  TZoAlpha* alpha = MakeObject<TZoAlpha>();
  if (sheet == nullptr || alpha == nullptr) {
    DeleteMade(sheet);
    DeleteMade(alpha);
    throw std::runtime_error("TStageUnit::CharStatCreate Alloc Error");
  }
  sheet->SetBitDepth(WorkingDepth());
  slot.created = true;
  slot.sheet = sheet;
  slot.alpha = alpha;
}

void TStageUnit::CharStatRelease(CharStat& slot) {
  DeleteMade(slot.sheet);
  DeleteMade(slot.alpha);
  slot = CharStat{};
}

void TStageUnit::CharStatMove(CharStat& dst, CharStat& src) {
  CharStatRelease(dst);
  dst = src;
  src = CharStat{};
}

// ---- Background rebuild

bool TStageUnit::BuildBackground(bool withTransition) {
  int d = bgCode_ / 1000, n = bgCode_ % 1000;
  if (bgCode_ < 0 || n == 997) d = 0, n = kNoBG;
  const bool f1 = d == 1 || d == 4 || d == 5, f2 = d == 2 || d == 4, f3 = d == 3 || d == 5;
  const int w = weatherCode_;
  const int kind = n < 500 ? WeatherKindOf(w, f1, f2, f3) : 0;
  const int colour = w == 4 ? 1 : w == 5 ? 2 : 0;
  const int p = (w >= 1 && w <= 3 ? 4 : 0) + kPeriodOffset[period_ >= 0 && period_ <= 4 ? period_ : 0];

  int number = n;
  std::uint8_t variant = kStillVariant;
  VXString file;
  bool found = false;
  auto findStill = [&](int c) {
    for (const char* ext : kStillExtensions) {
      const VXString name = Formatted("bg%03d", c) + ext;
      if (bgFiles_->FileIsExist(name)) {
        file = name;
        return true;
      }
    }
    return false;
  };
  if (n < 500) {
    const int place = n / 10 * 10;
    for (int k = 0; k < 4 && kCandidates[p][k] >= 0 && !found; ++k) {
      const int c = place + kCandidates[p][k];
      for (int v = w == 2 ? 1 : 0; v >= 0 && !found; --v) {
        VXString name;
        name.sprintf("an%03d%c.ini", c, 'a' + v);
        if (bgFiles_->FileIsExist(name)) file = name, variant = static_cast<std::uint8_t>(v), found = true;
      }
      found = found || findStill(c);
      if (found) number = c;
    }
  } else if (n < 900) {
    found = findStill(n);
  }

  const int tint = found ? (f1 ? kTintIndoor : kTintOutdoor)[p] : 0;
  const bool charsChanged = tint != charTint_ || colour != colourMode_;
  charTint_ = tint;
  const bool pictureChanged = number != shownBG_ || variant != shownVariant_ || colour != colourMode_;
  colourMode_ = colour;
  BGStat& slot = bg_[0];
  const bool keptOnlyWithAlpha = f1 && (w == 2 || w == 3);
  if (!pictureChanged && kind == (keptOnlyWithAlpha && !slot.HasAlpha() ? 0 : slot.weatherKind) && slot.created)
    return charsChanged;

  if (number >= 500 && number < 700) SystemData.SetEventSeen(number - 500);
  TBGAnimDefinition anim;
  if (variant != kStillVariant) {
    VXStringList text;
    LoadText(bgFiles_.get(), file, text);
    anim = ReadBGAnimDefinition(text);
  } else {
    anim.image = file;
    anim.frames = anim.wait = 1;
  }
  if (withTransition) {
    if (pictureChanged) {
      BGStatMove(bg_[1], slot);
      BGStatCreate(slot, anim.frames);
    } else {
      BGStatShare(bg_[1], slot);
    }
    set2Slot1_ = true;
  } else if (!slot.created || (pictureChanged && slot.frameCount != anim.frames)) {
    BGStatCreate(slot, anim.frames);
  }
  if (pictureChanged) {
    slot.frameWait = variant == kStillVariant ? 0 : anim.wait;
    slot.frame = slot.tickCount = 0;
    slot.alpha->Release();
    LoadBackgroundPicture(slot, number, found ? anim.image : VXString());
    shownBG_ = number;
    shownVariant_ = variant;
  }
  slot.weatherKind = keptOnlyWithAlpha && !slot.HasAlpha() ? 0 : kind;
  slot.stageLevel = stageLevel_;
  ShowWeatherPanels(WeatherBack, WeatherFront, slot.weatherKind);
  BGPanel->SetModify();
  InitParticles(slot);
  return charsChanged;
}

bool TStageUnit::LoadBackgroundPicture(BGStat& slot, int number, const VXString& file) {
  slot.image->Cls();
  bool ok = true;
  if (number == 998) {
    FillWhole(slot.image, VXRGB(255, 255, 255));
  } else if (!file.IsEmpty()) {
    SelectGnyKey(0);
    ok = DrawImageFileOwnAlpha(slot.image, slot.alpha, 0, 0, bgFiles_.get(), file);
    if (!ok) {
      slot.image->Cls();
      slot.alpha->Release();
    }
  }
  ApplyColourMode(slot.image);
  return ok;
}

void TStageUnit::ApplyColourMode(TZoRGBBits* bits) const {
  const int x2 = bits->GetWidth() - 1, y2 = bits->GetHeight() - 1;
  if (colourMode_ == 1) bits->Sepia(0, 0, x2, y2);
  if (colourMode_ == 2) {
    bits->Monochrome(0, 0, x2, y2);
    bits->Negative(0, 0, x2, y2);
  }
}

void TStageUnit::ShowWeatherPanels(TZoRGBPanel* back, TZoRGBPanel* front, int kind) {
  back->SetVisible(WeatherShowsBack(kind));
  front->SetVisible(WeatherShowsFront(kind));
  back->SetModify();
  front->SetModify();
}

bool TStageUnit::WeatherShowsBack(int kind) { return kind == 1 || kind == 2 || (kind >= 5 && kind <= 8); }

bool TStageUnit::WeatherShowsFront(int kind) { return kind == 1 || kind == 2 || kind == 3 || kind == 8; }

int TStageUnit::BackStreaks(int kind, int level) {
  level = std::clamp(level, 0, 4);
  if (kind == 1 || kind == 5) return (64 * level + 64) / 5;
  if (kind == 6 || kind == 7) return std::min(kParticles, (128 * level + 128) / 5);
  return 0;
}

int TStageUnit::FrontStreaks(int kind, int level) {
  return kind == 1 ? std::min(kParticles / 2, (64 * std::clamp(level, 0, 4) + 64) / 5) : 0;
}

// ---- Characters

void TStageUnit::LoadChar(int slot, bool keepOld) {
  if (keepOld) {
    CharStatMove(chars_[csPrevious][slot], chars_[csStanding][slot]);
    prevOwn_[slot] = true;
  }
  shown_[slot] = requested_[slot];
  CharStat& cs = chars_[csStanding][slot];
  TZoRGBPanel* panel = charPanels_[csStanding][slot];
  CharStatCreate(cs);
  if (shown_[slot] < 0 || !LoadCharPicture(cs, shown_[slot])) {
    shown_[slot] = -1;
    CharStatRelease(cs);
    panel->Hide();
    return;
  }
  if (charTint_ >= 1 && charTint_ <= 5)
    cs.sheet->ToneChange(0, 0, cs.sheet->GetWidth() - 1, cs.sheet->GetHeight() - 1, kTintTones[charTint_]);
  ApplyColourMode(cs.sheet);
  panel->SetSizeX(cs.def.width);
  panel->SetSizeY(cs.def.height);
  PlaceChar(slot, kFullRate);
  panel->Show();
  cs.blinkTimer = 0;
  for (int e = 0; e < TCharDefinition::kEntries; ++e) {
    cs.def.entries[e].run = e == 1 || e == 2 ? -1 : 0;
    cs.def.entries[e].frame = 0;
  }
  panel->SetModify();
}

bool TStageUnit::LoadCharPicture(CharStat& cs, int number) {
  TCharDefinition& def = cs.def;
  if (number == kNoBG) {  // a blank character
    if (!cs.sheet->Resize(16, 16) || !cs.sheet->Create() || !cs.alpha->Resize(16, 16) || !cs.alpha->Create())
      return false;
    cs.alpha->Fill(0);
    def.width = def.height = 16;
    def.images[0] = {0, 0, 16, 16};
    def.entries[0].imgId = 0;
    return true;
  }
  if (!DrawImageFileOwnAlpha(cs.sheet, cs.alpha, 0, 0, charFiles_.get(), Formatted("chr%03d.png", number))) return false;
  VXStringList text;
  if (LoadText(charFiles_.get(), Formatted("chr%03d.ini", number), text)) {
    ReadCharDefinition(text, def);
  } else {
    def.width = cs.sheet->GetWidth();
    def.height = cs.sheet->GetHeight();
    def.images[0] = {0, 0, def.width, def.height};
    def.entries[0].imgId = 0;
  }
  FitCharDefinition(def, cs.sheet->GetWidth(), cs.sheet->GetHeight());
  return true;
}

// The slot's own place (x centred on the slot, y centred on the screen) and draw rate.
void TStageUnit::PlaceChar(int slot, int rate) {
  TZoRGBPanel* panel = charPanels_[csStanding][slot];
  panel->SetOffsetX(kSlotSpacing * (slot + 1) - panel->GetSizeX() / 2);
  panel->SetOffsetY((H - panel->GetSizeY()) / 2);
  if (standRate_[slot] != rate) {
    standRate_[slot] = rate;
    panel->SetModify();
  }
}

void TStageUnit::UnloadChar(int slot, bool keepOld) {
  if (keepOld) {
    CharStatMove(chars_[csPrevious][slot], chars_[csStanding][slot]);
    prevOwn_[slot] = true;
  } else {
    CharStatRelease(chars_[csStanding][slot]);
  }
  charPanels_[csStanding][slot]->Hide();
  shown_[slot] = -1;
}

void TStageUnit::CopyGeometry(TZoRGBPanel* dst, const TZoRGBPanel* src) {
  dst->SetSizeX(src->GetSizeX());
  dst->SetSizeY(src->GetSizeY());
  dst->SetOffsetX(src->GetOffsetX());
  dst->SetOffsetY(src->GetOffsetY());
  dst->SetVisible(src->GetVisible());
  dst->SetModify();
}

void TStageUnit::MoveOut(int slot, int leaveMode) {
  CharStatMove(chars_[csLeaving][slot], chars_[csStanding][slot]);
  CopyGeometry(charPanels_[csLeaving][slot], charPanels_[csStanding][slot]);
  charPanels_[csStanding][slot]->Hide();
  shown_[slot] = -1;
  leaveMode_[slot] = leaveMode;
  leaveRate_[slot] = kFullRate;
}

void TStageUnit::TakeChar(int to, int from) {
  CharStatMove(chars_[csStanding][to], chars_[csStanding][from]);
  CopyGeometry(charPanels_[csStanding][to], charPanels_[csStanding][from]);
  charPanels_[csStanding][from]->Hide();
  shown_[to] = shown_[from];
  shown_[from] = -1;
  standRate_[to] = standRate_[from];
}

void TStageUnit::SetTalk(int slot, bool on) {
  if (slot < 0 || slot > 2) return;
  CharStat& cs = chars_[csStanding][slot];
  TCharEntry& talk = cs.def.entries[2];
  if (!cs.created || (talk.run >= 0) == on) return;
  TZoRGBPanel* panel = charPanels_[csStanding][slot];
  MarkEntry(panel, cs, 2);
  talk.run = on ? 0 : -1;
  talk.frame = 0;  // a stopped talk rests on its first frame, not on an open mouth
  MarkEntry(panel, cs, 2);
}

void TStageUnit::ResetCharEntries() {
  for (int i = 0; i < 3; ++i) {
    enterMode_[i] = leaveMode_[i] = 0;
    CharStat& cs = chars_[csStanding][i];
    if (!cs.created) continue;
    for (int e = 0; e < TCharDefinition::kEntries; ++e) {
      cs.def.entries[e].run = e == 1 || e == 2 ? -1 : 0;
      cs.def.entries[e].frame = 0;
    }
    charPanels_[csStanding][i]->SetModify();
  }
}

bool TStageUnit::ChangeChars() {
  if (!open_) return false;
  FinishChanges();
  constexpr int kSides[3] = {2, 1, 3};
  for (int i = 0; i < 3; ++i) enterMode_[i] = leaveMode_[i] = 0;
  auto loadOrTake = [&](int slot, int from, int enter) {
    if (requested_[slot] == shown_[from]) {
      TakeChar(slot, from);
    } else {
      LoadChar(slot, false);
    }
    enterMode_[slot] = enter;
  };
  switch (moveKind_) {
    case 0:
      for (int i = 0; i < 3; ++i) {
        if (requested_[i] == shown_[i]) continue;
        MoveOut(i, kSides[i]);
        LoadChar(i, false);
        enterMode_[i] = kSides[i];
      }
      break;
    case 1:
      MoveOut(0, 2);
      loadOrTake(0, 1, 3);
      loadOrTake(1, 2, 3);
      LoadChar(2, false);
      enterMode_[2] = 3;
      break;
    case 2:
      MoveOut(2, 3);
      loadOrTake(2, 1, 2);
      loadOrTake(1, 0, 2);
      LoadChar(0, false);
      enterMode_[0] = 2;
      break;
    case 3:
      for (int i = 0; i < 3; ++i) {
        LoadChar(i, false);
        enterMode_[i] = kSides[i];
      }
      break;
    default:
      for (int i = 0; i < 3; ++i) {
        MoveOut(i, kSides[i]);
        requested_[i] = -1;
      }
      break;
  }
  mode_ = smMove;
  moveStep_ = 0;
  SetMovePositions();
  RedrawStage(false);
  return true;
}

void TStageUnit::SetMovePositions() {
  const int s = moveStep_;
  auto move = [](TZoRGBPanel* panel, int slot, int shift, int rate, int& stored) {
    panel->SetOffsetX(kSlotSpacing * (slot + 1) - panel->GetSizeX() / 2 + shift);
    panel->SetOffsetY((H - panel->GetSizeY()) / 2);
    if (stored != rate) {
      stored = rate;
      panel->SetModify();
    }
  };
  for (int i = 0; i < 3; ++i) {
    const int in = kSlotSpacing * (kMoveSteps - s) / kMoveSteps, out = kSlotSpacing * s / kMoveSteps;
    TZoRGBPanel* standing = charPanels_[csStanding][i];
    if (standing->GetVisible()) {
      switch (enterMode_[i]) {
        case 1: move(standing, i, 0, s * 16, standRate_[i]); break;
        case 2: move(standing, i, -in, i == 0 ? s * 16 : kFullRate, standRate_[i]); break;
        case 3: move(standing, i, in, i == 2 ? s * 16 : kFullRate, standRate_[i]); break;
        default: break;
      }
    }
    TZoRGBPanel* leaving = charPanels_[csLeaving][i];
    if (leaving->GetVisible()) {
      const int rate = (kMoveSteps - s) * 16;
      switch (leaveMode_[i]) {
        case 1: move(leaving, i, 0, rate, leaveRate_[i]); break;
        case 2: move(leaving, i, -out, rate, leaveRate_[i]); break;
        case 3: move(leaving, i, out, rate, leaveRate_[i]); break;
        default: break;
      }
    }
  }
}

void TStageUnit::EndMove() {
  for (int i = 0; i < 3; ++i) {
    if (charPanels_[csStanding][i]->GetVisible()) PlaceChar(i, kFullRate);
    standRate_[i] = kFullRate;
    charPanels_[csLeaving][i]->Hide();
    CharStatRelease(chars_[csLeaving][i]);
    enterMode_[i] = leaveMode_[i] = 0;
  }
  mode_ = smIdle;
  justEnded_ = true;
}

// ---- Transitions, shakes and the flash

bool TStageUnit::ChangeStage(int transition, int ratePercent) {
  if (!open_) return false;
  FinishChanges();
  simpleAtChange_ = UserConfig.SimpleDisplay != 0;
  bool keepOld = transition != 0 && !simpleAtChange_;
  ReleasePrevious();
  try {
    if (transition != 0) {
      CreateScreenBitsPair(&from_, &to_);
      DrawScene(from_);
    }
    if (keepOld) {
      BGPanel2->Show();
      ShowWeatherPanels(WeatherBack2, WeatherFront2, bg_[0].weatherKind);
      BGPanel2->SetModify();
    }
    const bool charsChanged = BuildBackground(keepOld);
    if (keepOld)
      for (int i = 0; i < 3; ++i) CopyGeometry(charPanels_[csPrevious][i], charPanels_[csStanding][i]);
    if (charsChanged) {
      for (int i = 0; i < 3; ++i) UnloadChar(i, keepOld);
      keepOld = false;
    }
    for (int i = 0; i < 3; ++i)
      if (requested_[i] != shown_[i]) LoadChar(i, keepOld);
    if (transition != 0) {
      DrawScene(to_);
      const TransitionRule* rule = FindTransition(transition);
      if (!StartEffect(rule->kind, rule->data, rule->mask, ratePercent)) {
        ReleaseEffect();
        ReleasePrevious();
      }
    }
  } catch (...) {
    ReleaseEffect();
    ReleasePrevious();
    mode_ = smIdle;
    RedrawStage(true);
    throw;
  }
  if (mode_ == smTransition) {
    StagePanel->SetModify();
  } else {
    mode_ = smIdle;
    RedrawStage(true);
  }
  return IsBusy();
}

bool TStageUnit::StartEffect(int kind, int dataKind, const char* mask, int rate) {
  effectData_ = dataKind;
  if (dataKind == edWater) effects_.Water().Load(systemFiles_);
  if (dataKind == edHalo) effects_.Halo().Load(systemFiles_, WorkingDepth());
  if (dataKind == edMask) effects_.Mask().Load(systemFiles_, mask);
  if (!effects_.Start(kind, from_, to_, std::max(rate, 1))) return false;
  effectKind_ = kind;
  mode_ = smTransition;
  return true;
}

void TStageUnit::ReleaseEffect() {
  effects_.Clear();
  if (effectData_ == edWater) effects_.Water().Release();
  if (effectData_ == edHalo) effects_.Halo().Release();
  if (effectData_ == edMask) effects_.Mask().Release();
  effectData_ = edNone;
  effectKind_ = -1;
  DeleteScreenBits(from_);
  DeleteScreenBits(to_);
  from_ = to_ = nullptr;
}

void TStageUnit::ReleasePrevious() {
  BGStatRelease(bg_[1]);
  set2Slot1_ = false;
  for (int i = 0; i < 3; ++i) {
    CharStatRelease(chars_[csPrevious][i]);
    prevOwn_[i] = false;
  }
  BGPanel2->Hide();
}

bool TStageUnit::StartShake(int kind) {
  if (!open_ || kind < 0 || kind > 4) return IsBusy();
  FinishChanges();
  shakeKind_ = kind;
  shakeCounter_ = 0;
  if (kind < 4) {
    mode_ = smShake;
    ShakeOffsets(kind, 0, shakeX_, shakeY_);
    StagePanel->SetModify();
    return true;
  }
  CreateScreenBitsPair(&from_, &to_);
  DrawScene(from_);
  FillWhole(to_, VXRGB(255, 255, 255));
  if (effects_.Start(ekCrossFadeFast, from_, to_, 100)) {
    mode_ = smShake;
  } else {
    ReleaseEffect();
  }
  return IsBusy();
}

bool TStageUnit::ShakeOffsets(int kind, int t, int& dx, int& dy) {
  dx = dy = 0;
  if (t < 0) return false;
  switch (kind) {
    case 0:
    case 1:
      if (t > 8) return false;
      (kind == 0 ? dy : dx) = t % 2 == 0 ? -16 : 16;
      return true;
    case 2:
      if (t > 8) return false;
      dx = 16 * VXSharedRandom(3) - 16;
      dy = 16 * VXSharedRandom(3) - 16;
      return true;
    case 3:
      if (t > 5) return false;
      dy = t <= 3 ? -4 * (t + 1) : t == 4 ? -32 : 32;
      return true;
    default:
      return false;
  }
}

// Ends whatever change runs, as a skip would, and shows the scene as it is now.
void TStageUnit::FinishChanges() {
  switch (mode_) {
    case smTransition:
      ReleaseEffect();
      ReleasePrevious();
      break;
    case smMove:
      EndMove();
      break;
    case smShake:
      ReleaseEffect();
      shakeX_ = shakeY_ = 0;
      break;
    default:
      return;
  }
  mode_ = smIdle;
  RedrawStage(true);
}

bool TStageUnit::StepShake(bool skip) {
  ++shakeCounter_;
  bool going = true;
  if (shakeCounter_ % 2 == 0 || skip) going = ShakeOffsets(shakeKind_, shakeCounter_ / 2, shakeX_, shakeY_) && !skip;
  StagePanel->SetModify();
  if (!going) shakeX_ = shakeY_ = 0;
  return going;
}

bool TStageUnit::StepFlash(bool skip, int ticks) {
  if (!effects_.IsDone() && !skip) {
    BGPanel->Update(shakeCounter_ == 0 ? from_ : to_, 0, 0);
    effects_.Advance(ticks);
    return true;
  }
  if (shakeCounter_ != 0 || skip) return false;
  FillWhole(from_, VXRGB(255, 255, 255));
  DrawScene(to_);
  if (!effects_.Start(ekCrossFadeFast, from_, to_, 100)) return false;
  shakeCounter_ = 1;
  return true;
}

bool TStageUnit::Frame(int ticks, bool skip) {
  if (!open_ || ticks <= 0) return IsBusy();
  if (UserConfig.SimpleDisplay == 0) {
    // Layer set 2 draws what slot 0 and the standing characters show unless it has its own.
    const bool set2 = BGPanel2->GetVisible();
    TickBackground(bg_[0], BGPanel, set2 && !set2Slot1_ ? BGPanel2 : nullptr);
    const int weather = TickWeather(bg_[0], ticks);
    MarkWeather(weather, WeatherBack, WeatherFront);
    if (set2 && !set2Slot1_) MarkWeather(weather, WeatherBack2, WeatherFront2);
    if (set2 && set2Slot1_) {
      TickBackground(bg_[1], BGPanel2, nullptr);
      MarkWeather(TickWeather(bg_[1], ticks), WeatherBack2, WeatherFront2);
    }
    for (int i = 0; i < 3; ++i) {
      TZoRGBPanel* previous = charPanels_[csPrevious][i];
      TickChar(chars_[csStanding][i], charPanels_[csStanding][i], set2 && !prevOwn_[i] ? previous : nullptr, true);
      if (prevOwn_[i]) TickChar(chars_[csPrevious][i], previous, nullptr, false);
      if (chars_[csLeaving][i].created) TickChar(chars_[csLeaving][i], charPanels_[csLeaving][i], nullptr, false);
    }
  }
  switch (mode_) {
    case smTransition:
      if (!effects_.IsDone() && !skip) {
        if (!simpleAtChange_) {
          BGPanel->Update(to_, 0, 0);
          BGPanel2->Update(from_, 0, 0);
        }
        effects_.Advance(ticks);
      } else {
        ReleaseEffect();
        ReleasePrevious();
        mode_ = smIdle;
        justEnded_ = true;
      }
      break;
    case smMove:
      moveStep_ = skip ? kMoveSteps : moveStep_ + 1;
      if (moveStep_ >= kMoveSteps) {
        EndMove();
      } else {
        SetMovePositions();
      }
      break;
    case smShake:
      if (shakeKind_ < 4 ? !StepShake(skip) : !StepFlash(skip, ticks)) {
        ReleaseEffect();
        mode_ = smIdle;
        justEnded_ = true;
      }
      break;
    default:
      break;
  }
  RedrawStage(justEnded_);
  return IsBusy();
}

// ---- Per-frame pieces

void TStageUnit::TickBackground(BGStat& slot, TZoRGBPanel* panel, TZoRGBPanel* mirror) {
  if (!slot.created || slot.frameCount < 2) return;
  if (++slot.tickCount < slot.frameWait) return;
  slot.tickCount = 0;
  slot.frame = (slot.frame + 1) % slot.frameCount;
  panel->SetModify();
  if (mirror != nullptr) mirror->SetModify();
}

int TStageUnit::TickWeather(BGStat& slot, int ticks) {
  switch (slot.weatherKind) {
    case 1:
    case 5:
    case 6:
    case 7:
      slot.weatherTimer += ticks;
      if (slot.weatherTimer < 2) return 0;
      slot.weatherTimer = 0;
      PlaceStreaks(slot);
      return slot.weatherKind == 1 ? kBackChanged | kFrontChanged : kBackChanged;
    case 3:
      slot.weatherTimer += ticks;
      if (slot.weatherTimer < 2) return 0;
      slot.weatherTimer = 0;
      for (int i = 0; i < kScratchLines; ++i) {
        if (VXSharedRandom(60) != 0) {
          slot.weatherAux[i] = VXSharedRandom(5) - 2;
        } else {
          slot.px[i] = static_cast<std::int16_t>(VXSharedRandom(W));
          slot.weatherAux[i] = 0;
        }
      }
      return kFrontChanged;
    case 2:
    case 8:
      return MoveSnow(slot) ? kBackChanged | kFrontChanged : 0;
    default:
      return 0;
  }
}

void TStageUnit::MarkWeather(int changed, TZoRGBPanel* back, TZoRGBPanel* front) {
  if (changed & kBackChanged) back->SetModify();
  if (changed & kFrontChanged) front->SetModify();
}

void TStageUnit::InitParticles(BGStat& slot) {
  slot.weatherTimer = 0;
  switch (slot.weatherKind) {
    case 1:
    case 5:
    case 6:
    case 7:
      PlaceStreaks(slot);
      break;
    case 2:
    case 8:
      for (int i = 0; i < kParticles; ++i) {
        slot.px[i] = static_cast<std::int16_t>(VXSharedRandom(704) - 32);
        slot.py[i] = static_cast<std::int16_t>(VXSharedRandom(480) - 480);
      }
      slot.weatherAux[0] = 0, slot.weatherAux[1] = 1, slot.weatherAux[2] = 2, slot.weatherAux[3] = 1;
      break;
    case 3:
      for (int i = 0; i < kScratchLines; ++i) {
        slot.px[i] = static_cast<std::int16_t>(VXSharedRandom(W));
        slot.weatherAux[i] = 0;
      }
      break;
    default:
      break;
  }
}

void TStageUnit::PlaceStreaks(BGStat& slot) {
  for (int i = 0; i < kParticles; ++i) {
    slot.px[i] = static_cast<std::int16_t>(VXSharedRandom(W));
    slot.py[i] = static_cast<std::int16_t>(VXSharedRandom(H) - 120);
  }
}

bool TStageUnit::MoveSnow(BGStat& slot) {
  // The timer wraps at a multiple of 32, which keeps its phases.
  const int t = slot.weatherTimer = (slot.weatherTimer + 1) & 0x3FFFFFFF;
  if (t % 2 == 0) return false;
  int* drift = slot.weatherAux;
  if (t / 2 % 4 == 0) {
    const int phase = t / 8 % 4;
    if (phase < 3) {
      drift[phase] = drift[phase + 1];
    } else {
      int v = drift[3] + drift[2] - drift[1];
      if (v == -3) v = -1;
      if (v == 3) v = 1;
      drift[3] = std::clamp(v, -4, 4);
    }
  }
  struct Group {
    int to, dx, fall, jitter;
  };
  const Group groups[4] = {{42, drift[0], 4, 0}, {78, drift[1], 5, 0}, {106, 2 * drift[2], 6, 3},
                           {kParticles, 2 * drift[3], 6, 7}};
  int i = 0;
  for (const Group& g : groups)
    for (; i < g.to; ++i) {
      int x = slot.px[i] + g.dx, y = slot.py[i] + g.fall;
      if (g.jitter != 0) y += VXSharedRnd() & g.jitter;
      if (y > 494) {
        x = VXSharedRandom(704) - 32;
        y = -14;
      }
      slot.px[i] = static_cast<std::int16_t>(std::clamp(x, -32768, 32767));
      slot.py[i] = static_cast<std::int16_t>(y);
    }
  return true;
}

void TStageUnit::MarkEntry(TZoRGBPanel* panel, const CharStat& cs, int entry, TZoRGBPanel* mirror) {
  const VXRect r = cs.def.EntryRect(entry);
  if (r.IsRectEmpty()) return;
  panel->SetModifyRect(r);
  if (mirror != nullptr) mirror->SetModifyRect(r);
}

void TStageUnit::TickChar(CharStat& cs, TZoRGBPanel* panel, TZoRGBPanel* mirror, bool blink) {
  if (!cs.created) return;
  TCharEntry& eyes = cs.def.entries[1];
  if (blink && eyes.animId >= 0 && eyes.run < 0) {
    if (cs.blinkTimer == 0) {
      cs.blinkTimer = 120 + VXSharedRandom(60);
    } else if (--cs.blinkTimer == 0) {
      MarkEntry(panel, cs, 1, mirror);
      eyes.run = 0;
      eyes.frame = 0;
      MarkEntry(panel, cs, 1, mirror);
    }
  }
  for (int e = 0; e < TCharDefinition::kEntries; ++e) {
    const VXRect before = cs.def.EntryRect(e);
    if (!AdvanceCharEntry(cs.def, cs.def.entries[e])) continue;
    if (!before.IsRectEmpty()) {
      panel->SetModifyRect(before);
      if (mirror != nullptr) mirror->SetModifyRect(before);
    }
    MarkEntry(panel, cs, e, mirror);
  }
}

void TStageUnit::DrawScene(TZoRGBBits* picture) { BGPanel->Draw(picture, 0, 0); }

void TStageUnit::RedrawStage(bool whole) {
  TZoRGBBits* image = StagePanel->GetImage();
  if (image == nullptr) return;
  justEnded_ = false;
  if (whole) {
    DrawScene(image);
    StagePanel->SetModify();
    return;
  }
  VXRectSet dirty;
  if (mode_ == smTransition || (mode_ == smShake && shakeKind_ == 4)) {
    effects_.Draw(image, &dirty);
  } else if (BGPanel->GetModified()) {
    BGPanel->GetModifiedRectSet(&dirty);
    BGPanel->Update(image, 0, 0);
  }
  for (const VXRect& r : dirty) StagePanel->SetModifyRect(r);
}

// ---- Drawing

bool TStageUnit::StagePanelDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h) {
  TZoRGBBits* image = StagePanel->GetImage();
  if (mode_ != smShake || shakeKind_ > 3 || image == nullptr) return false;
  dest->BoxFill(x, y, x + w - 1, y + h - 1, 0);
  dest->ClipDraw(x, y, image, sx - shakeX_, sy - shakeY_, w, h);
  return true;
}

bool TStageUnit::DrawBG(const BGStat& slot, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h) {
  if (!slot.created || slot.image == nullptr) {
    dest->BoxFill(x, y, x + w - 1, y + h - 1, 0);
  } else {
    dest->ClipDraw(x, y, slot.image, sx, sy + slot.frame * H, w, std::min(h, H - sy));
  }
  return true;
}

bool TStageUnit::BGPanelDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h) {
  return DrawBG(bg_[0], dest, x, y, sx, sy, w, h);
}

bool TStageUnit::BGPanel2Draw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h) {
  return DrawBG(Set2Slot(), dest, x, y, sx, sy, w, h);
}

bool TStageUnit::DrawChar(const CharStat& cs, int rate, TZoRGBBits* dest, int x, int y, int sx, int sy, int w,
                          int h) {
  if (!cs.created || cs.sheet == nullptr || rate <= 0) return true;
  const VXRect area{sx, sy, sx + w, sy + h};
  const int ox = x - sx, oy = y - sy;  // where the panel's origin lies on dest
  const bool withAlpha = cs.alpha != nullptr && cs.alpha->IsCreated();
  rate = std::min(rate, kFullRate);
  for (int e = 0; e < TCharDefinition::kEntries; ++e) {
    VXRect r = cs.def.EntryRect(e);
    if (r.IsRectEmpty() || !r.IntersectRect(area)) continue;
    const TCharEntry& entry = cs.def.entries[e];
    const TCharImage& im = cs.def.images[cs.def.EntryImage(e)];
    const int srcX = im.x + (r.left - entry.x), srcY = im.y + (r.top - entry.y);
    const int cw = r.right - r.left, ch = r.bottom - r.top, dx = ox + r.left, dy = oy + r.top;
    if (withAlpha) {
      if (rate == kFullRate) {
        dest->DrawAlphaMask(dx, dy, cs.sheet, srcX, srcY, cw, ch, cs.alpha);
      } else {
        dest->DrawDoubleAlphaMask(dx, dy, cs.sheet, srcX, srcY, cw, ch, cs.alpha, rate);
      }
    } else if (rate == kFullRate) {
      dest->Draw(dx, dy, cs.sheet, srcX, srcY, cw, ch);
    } else {
      dest->AlphaBlend(dx, dy, cs.sheet, srcX, srcY, cw, ch, rate);
    }
  }
  return true;
}

bool TStageUnit::CharLeftDraw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  return DrawChar(chars_[csStanding][0], standRate_[0], d, x, y, sx, sy, w, h);
}
bool TStageUnit::CharCenterDraw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  return DrawChar(chars_[csStanding][1], standRate_[1], d, x, y, sx, sy, w, h);
}
bool TStageUnit::CharRightDraw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  return DrawChar(chars_[csStanding][2], standRate_[2], d, x, y, sx, sy, w, h);
}
bool TStageUnit::OutCharLeftDraw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  return mode_ != smMove || DrawChar(chars_[csLeaving][0], leaveRate_[0], d, x, y, sx, sy, w, h);
}
bool TStageUnit::OutCharCenterDraw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w,
                                   int h) {
  return mode_ != smMove || DrawChar(chars_[csLeaving][1], leaveRate_[1], d, x, y, sx, sy, w, h);
}
bool TStageUnit::OutCharRightDraw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  return mode_ != smMove || DrawChar(chars_[csLeaving][2], leaveRate_[2], d, x, y, sx, sy, w, h);
}
bool TStageUnit::CharLeft2Draw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  return DrawChar(chars_[prevOwn_[0] ? csPrevious : csStanding][0], standRate_[0], d, x, y, sx, sy, w, h);
}
bool TStageUnit::CharCenter2Draw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  return DrawChar(chars_[prevOwn_[1] ? csPrevious : csStanding][1], standRate_[1], d, x, y, sx, sy, w, h);
}
bool TStageUnit::CharRight2Draw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  return DrawChar(chars_[prevOwn_[2] ? csPrevious : csStanding][2], standRate_[2], d, x, y, sx, sy, w, h);
}

bool TStageUnit::WeatherBackDraw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  DrawWeather(bg_[0], false, d, x, y, sx, sy, w, h);
  return true;
}
bool TStageUnit::WeatherFrontDraw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  DrawWeather(bg_[0], true, d, x, y, sx, sy, w, h);
  return true;
}
bool TStageUnit::WeatherBack2Draw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w, int h) {
  DrawWeather(Set2Slot(), false, d, x, y, sx, sy, w, h);
  return true;
}
bool TStageUnit::WeatherFront2Draw(Classes::TComponent*, TZoRGBBits* d, int x, int y, int sx, int sy, int w,
                                   int h) {
  DrawWeather(Set2Slot(), true, d, x, y, sx, sy, w, h);
  return true;
}

void TStageUnit::DrawWeather(const BGStat& slot, bool front, TZoRGBBits* dest, int x, int y, int sx, int sy, int w,
                             int h) {
  const VXRect clip{x, y, x + w, y + h};
  const int ox = x - sx, oy = y - sy;
  const int kind = slot.weatherKind, level = slot.stageLevel;
  const bool alpha = slot.HasAlpha();
  if (!front) {
    switch (kind) {
      case 1:
      case 5:
      case 7:
        DrawStreaks(slot, 0, BackStreaks(kind, level), false, alpha, dest, clip, ox, oy);
        break;
      case 6:
        DrawStreaks(slot, 0, BackStreaks(kind, level), true, alpha, dest, clip, ox, oy);
        break;
      case 2:
      case 8:
        DrawFlakes(slot, 0, 42, 8, 36, alpha, dest, clip, ox, oy);
        DrawFlakes(slot, 42, 78, 10, 26, alpha, dest, clip, ox, oy);
        break;
      default:
        break;
    }
    return;
  }
  switch (kind) {
    case 1:
      DrawStreaks(slot, 64, FrontStreaks(kind, level), false, false, dest, clip, ox, oy);
      break;
    case 2:
      DrawFlakes(slot, 78, 106, 12, 14, false, dest, clip, ox, oy);
      DrawFlakes(slot, 106, kParticles, 14, 0, false, dest, clip, ox, oy);
      break;
    case 3:
      DrawScratches(slot, dest, clip, ox, oy);
      break;
    default:
      break;
  }
}

void TStageUnit::DrawStreaks(const BGStat& slot, int from, int count, bool perspective, bool withAlpha,
                             TZoRGBBits* dest, const VXRect& clip, int ox, int oy) {
  const int to = std::min(kParticles, from + count);
  for (int i = from; i < to; ++i) {
    const int x = slot.px[i], y = slot.py[i];
    int x2 = x;
    if (perspective) {
      if (y + 480 <= 0) continue;
      x2 = 320 + (x - 320) * (y + 720) / (y + 480);
    }
    if (withAlpha) {
      DrawLineAddAlpha(dest, ox + x, oy + y, ox + x2, oy + y + 240, kWeatherLight, clip, slot.alpha);
    } else {
      DrawLineAdd(dest, ox + x, oy + y, ox + x2, oy + y + 240, kWeatherLight, clip);
    }
  }
}

void TStageUnit::DrawFlakes(const BGStat& slot, int from, int to, int size, int snowX, bool withAlpha,
                            TZoRGBBits* dest, const VXRect& clip, int ox, int oy) {
  if (snow_ == nullptr || work_ == nullptr) return;
  VXRect flake{snowX, 0, snowX + size, size};
  if (!flake.IntersectRect({0, 0, snow_->GetWidth(), snow_->GetHeight()})) return;
  const int fw = flake.right - flake.left, fh = flake.bottom - flake.top;
  for (int i = from; i < to; ++i) {
    const int fx = ox + slot.px[i], fy = oy + slot.py[i];
    VXRect r{fx, fy, fx + fw, fy + fh};
    if (!r.IntersectRect(clip)) continue;
    const int cx = flake.left + (r.left - fx), cy = flake.top + (r.top - fy);
    const int cw = r.right - r.left, ch = r.bottom - r.top;
    if (!withAlpha || cw > work_->GetWidth() || ch > work_->GetHeight()) {
      dest->SaturationAdd(r.left, r.top, snow_, cx, cy, cw, ch);
      continue;
    }
    // The flake weighed by the background's alpha at its place (panel coordinates); outside the plane it is 0.
    if (!work_->Draw(0, 0, snow_, cx, cy, cw, ch) || !work_->Lock()) continue;
    const int bpp = work_->GetBitDepth();
    for (int row = 0; row < ch; ++row) {
      unsigned char* p = work_->GetBits() + static_cast<std::ptrdiff_t>(row) * work_->GetPitch();
      const int py = r.top - oy + row;
      for (int col = 0; col < cw; ++col, p += bpp) {
        const int px = r.left - ox + col;
        const int a = px >= 0 && py >= 0 && px < slot.alpha->GetWidth() && py < slot.alpha->GetHeight()
                          ? *slot.alpha->At(px, py)
                          : 0;
        for (int c = 0; c < 3; ++c) p[c] = static_cast<unsigned char>(p[c] * a / 256);
      }
    }
    work_->Unlock();
    dest->SaturationAdd(r.left, r.top, work_, 0, 0, cw, ch);
  }
}

void TStageUnit::DrawScratches(const BGStat& slot, TZoRGBBits* dest, const VXRect& clip, int ox, int oy) {
  for (int i = 0; i < kScratchLines; ++i) {
    const int x = ox + slot.px[i] + slot.weatherAux[i];
    for (int dx = 0; dx < 2; ++dx) DrawLineSub(dest, x + dx, oy, x + dx, oy + H - 1, kWeatherLight, clip);
  }
}

void TStageUnit::StagePanelMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  if (!mouseCallback_.IsValid()) return;
  mouseCallback_.Invoke(button == mbLeft ? 1 : button == mbRight ? 2 : 3);
}

void TStageUnit::PanelCreate(Classes::TComponent* sender) {
  auto* panel = dynamic_cast<TZoRGBPanel*>(sender);
  if (panel != nullptr && !panel->GetText().empty() && systemFiles_ != nullptr)
    LoadPanelImage(panel, systemFiles_, VXString(panel->GetText().c_str()));
}

void TStageUnit::PanelRelease(Classes::TComponent* sender) {
  if (auto* panel = dynamic_cast<TZoRGBPanel*>(sender)) ReleasePanelImage(panel);
}

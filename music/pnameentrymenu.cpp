#include "music/pnameentrymenu.h"

#include <cstring>
#include <mutex>
#include <string>

#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "platform/form.h"
#include "platform/input.h"
#include "platform/text.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/screenform.h"

namespace pc = platform::component;

TNameEntryMenu* NameEntryMenu = nullptr;

namespace {

constexpr int kTypeSound = 7;
constexpr int kEndSound = 8;
constexpr int kPointerInset = 8;
namespace vk = platform::input::vk;
constexpr const char* kGlyphPicture = "NameAlphabet.png";
constexpr const char* kDigitPicture = "NameNum.png";
constexpr const char* kTypedSymbols = "-#.:/!?";
constexpr int kFirstSymbol = 26, kFirstDigit = 33, kBlank = 45;

void RegisterNameEntryMenu() {
  auto s = pc::RegisterScreen<TNameEntryMenu>("TNameEntryMenu");
  using U = TNameEntryMenu;
  // The pictures load while Open creates the panels, before the screen counts as open.
  screenform::Bind<TNotifyEvent>(s, "PanelCreate", "TNotifyEvent", &U::PanelCreate);
  screenform::Bind<TNotifyEvent>(s, "PanelRelease", "TNotifyEvent", &U::PanelRelease);
  for (const auto& [name, handler] :
       {std::pair{"Btn0Click", &U::Btn0Click}, std::pair{"BtnBackSpaceClick", &U::BtnBackSpaceClick},
        std::pair{"BtnEndClick", &U::BtnEndClick}, std::pair{"BtnBackSpaceMouseEnter", &U::BtnBackSpaceMouseEnter},
        std::pair{"BtnEndMouseEnter", &U::BtnEndMouseEnter}, std::pair{"NameEntryPanelShow", &U::NameEntryPanelShow}})
    s.OpenHandler<TNotifyEvent>(name, "TNotifyEvent", handler);
  for (const auto& [name, handler] : {std::pair{"Btn0MouseMove", &U::Btn0MouseMove},
                                      std::pair{"BtnBackSpaceMouseMove", &U::BtnBackSpaceMouseMove},
                                      std::pair{"BtnEndMouseMove", &U::BtnEndMouseMove}})
    s.OpenHandler<TMouseMoveEvent>(name, "TMouseMoveEvent", handler);
  s.OpenHandler<TKeyEvent>("NameEntryPanelKeyDown", "TKeyEvent", &U::NameEntryPanelKeyDown);
  s.OpenHandler<TKeyPressEvent>("NameEntryPanelKeyPress", "TKeyPressEvent", &U::NameEntryPanelKeyPress);
  s.Field("NameEntryPanel", &U::NameEntryPanel)
      .Field("BtnBackSpace", &U::BtnBackSpace)
      .Field("BtnEnd", &U::BtnEnd)
      .Field("BtnSelFrame", &U::BtnSelFrame)
      .Field("PanelName0", &U::PanelName0)
      .Field("NumScore", &U::NumScore)
      .Field("BtnAnime", &U::BtnAnime);
}

// The character a typed key gives; -1 for the others.
int TypedChar(char c) {
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= '0' && c <= '9') return kFirstDigit + (c - '0');
  if (c == ' ') return kBlank;
  if (c != '\0')
    if (const char* at = std::strchr(kTypedSymbols, c)) return kFirstSymbol + static_cast<int>(at - kTypedSymbols);
  return -1;
}

}  // namespace

TNameEntryMenu::TNameEntryMenu(Classes::TComponent* owner) : Classes::TComponent(owner) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterNameEntryMenu);
  platform::form::LoadFormResource(*this, "NameEntryMenu");
  for (int i = 0; i < kChars; ++i) {
    const std::string name = i == kBlank ? "BtnSpc" : "Btn" + std::to_string(i);
    charButtons_[static_cast<std::size_t>(i)] = dynamic_cast<TZoRGBBtn*>(FindComponent(name));
    if (charButtons_[static_cast<std::size_t>(i)] == nullptr)
      throw platform::form::EFormError("NameEntryMenu.form", 0, "the character button " + name + " is missing");
  }
}

TNameEntryMenu::~TNameEntryMenu() {
  Close();
  DestroyComponents();
}

TZoRGBBtn* TNameEntryMenu::CharButton(int index) const {
  return index >= 0 && index < kChars ? charButtons_[static_cast<std::size_t>(index)] : nullptr;
}

bool TNameEntryMenu::Open() {
  Close();
  files_ = FileMan;
  picturesOk_ = true;
  open_ = true;
  glyphs_.SetFiles(files_);
  const bool ok = NameEntryPanel->AllCreate() && picturesOk_ && glyphs_.Load(kGlyphPicture) &&
                  digits_.Load(files_, kDigitPicture, {NumScore}) &&
                  CreatePanelImage(PanelName0, RankingName::kNameLength * RankingName::kCellWidth, RankingName::kCellHeight, mmAlpha);
  if (!ok) {
    Close();
    return false;
  }
  name_ = "";
  highlight_ = -1;
  trailByteNext_ = false;
  DrawName();
  NameEntryPanel->SetVisible(true);
  return true;
}

void TNameEntryMenu::Close() {
  if (!open_) return;
  ReleasePanelImage(PanelName0);
  digits_.Release({NumScore});
  NameEntryPanel->SetVisible(false);
  NameEntryPanel->AllRelease();
  open_ = false;
}

bool TNameEntryMenu::SetScore(int score) {
  if (!open_) return false;
  NumScore->SetNumber(score);
  name_ = "";
  highlight_ = -1;
  DrawName();
  return true;
}

int TNameEntryMenu::GetFramedCell() const {
  const int dx = BtnSelFrame->GetOffsetX() - kGridX, dy = BtnSelFrame->GetOffsetY() - kGridY;
  if (dx < 0 || dy < 0 || dx % kCell != 0 || dy % kCell != 0) return -1;
  const int column = dx / kCell, row = dy / kCell;
  return column < kColumns && row < kRows ? column + kColumns * row : -1;
}

void TNameEntryMenu::AddChar(int index) {
  screenform::PlaySystemSe(kTypeSound);
  if (name_.Length() >= kMaxName || index < 0 || index >= kChars) return;
  name_ += VXString(std::string(1, kCharTable[index]).c_str());
  DrawName();
  if (name_.Length() == kMaxName) {
    PointAt(BtnEnd);
    FrameOn(BtnEnd);
  }
}

void TNameEntryMenu::DrawName() {
  if (!open_) return;
  VXString text = name_;
  if (name_.Length() < kMaxName && highlight_ >= 0 && highlight_ < kChars)
    text += VXString(std::string(1, kCharTable[highlight_]).c_str());
  glyphs_.Draw(PanelName0, text);
}

void TNameEntryMenu::SetHighlight(int index) {
  if (index == highlight_) return;
  highlight_ = index;
  DrawName();
}

void TNameEntryMenu::PointAt(const TZoRGBPanel* panel) {
  int x = kPointerInset, y = kPointerInset;
  panel->ClientToScreen(x, y);
  if (GameForm != nullptr) GameForm->SetMousePos(x, y);
}

void TNameEntryMenu::FrameOn(const TZoRGBPanel* panel) {
  if (BtnSelFrame->GetOffsetX() == panel->GetOffsetX() && BtnSelFrame->GetOffsetY() == panel->GetOffsetY()) return;
  BtnSelFrame->SetOffsetX(panel->GetOffsetX());
  BtnSelFrame->SetOffsetY(panel->GetOffsetY());
}

// ---- Handlers ---------------------------------------------------------------------------------------------------

void TNameEntryMenu::PanelCreate(Classes::TComponent* sender) {
  if (!screenform::LoadTextPicture(sender, files_)) picturesOk_ = false;
}

void TNameEntryMenu::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TNameEntryMenu::Btn0Click(Classes::TComponent* sender) { AddChar(sender->GetTag()); }

void TNameEntryMenu::BtnBackSpaceClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kTypeSound);
  if (name_.IsEmpty()) return;
  name_.Delete(name_.Length(), 1);
  DrawName();
}

void TNameEntryMenu::BtnEndClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kEndSound);
  screenform::NotifyMainThread(0);
}

void TNameEntryMenu::Btn0MouseMove(Classes::TComponent* sender, TShiftState, int, int) {
  auto* panel = dynamic_cast<TZoRGBPanel*>(sender);
  if (panel == nullptr) return;
  SetHighlight(panel->GetTag());
  FrameOn(panel);
}

void TNameEntryMenu::BtnBackSpaceMouseMove(Classes::TComponent*, TShiftState, int, int) { FrameOn(BtnBackSpace); }

void TNameEntryMenu::BtnEndMouseMove(Classes::TComponent*, TShiftState, int, int) { FrameOn(BtnEnd); }

void TNameEntryMenu::BtnBackSpaceMouseEnter(Classes::TComponent*) { SetHighlight(-1); }

void TNameEntryMenu::BtnEndMouseEnter(Classes::TComponent*) { SetHighlight(-1); }

void TNameEntryMenu::NameEntryPanelShow(Classes::TComponent*) { PointAt(CharButton(0)); }

void TNameEntryMenu::NameEntryPanelKeyDown(Classes::TComponent*, unsigned short& key, TShiftState) {
  const int cell = GetFramedCell();
  if (key == vk::kBack) {
    BtnBackSpaceClick(BtnBackSpace);
    return;
  }
  if (cell < 0) return;
  int column = cell % kColumns, row = cell / kColumns;
  switch (key) {
    case vk::kLeft: column = (column + kColumns - 1) % kColumns; break;
    case vk::kRight: column = (column + 1) % kColumns; break;
    case vk::kUp: row = (row + kRows - 1) % kRows; break;
    case vk::kDown: row = (row + 1) % kRows; break;
    case vk::kReturn:
      if (cell == kBackSpaceCell) BtnBackSpaceClick(BtnBackSpace);
      else if (cell == kEndCell) BtnEndClick(BtnEnd);
      else AddChar(cell);
      return;
    default:
      return;
  }
  if (GameForm != nullptr)
    GameForm->SetMousePos(kCell * column + kGridX + kPointerInset, kCell * row + kGridY + kPointerInset);
}

void TNameEntryMenu::NameEntryPanelKeyPress(Classes::TComponent*, char& key) {
  // The bytes of a double-byte character come one by one: the second one is no character of its own.
  if (trailByteNext_) {
    trailByteNext_ = false;
    return;
  }
  if (platform::text::IsCp932LeadByte(static_cast<unsigned char>(key))) {
    trailByteNext_ = true;
    return;
  }
  const int index = TypedChar(key);
  if (index < 0) return;
  AddChar(index);
  PointAt(BtnEnd);
  FrameOn(BtnEnd);
}

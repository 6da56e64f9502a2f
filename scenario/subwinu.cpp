#include "scenario/subwinu.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/vxfileman.h"
#include "device/deviceclasses.h"
#include "device/gameservices.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbanime.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "platform/component.h"
#include "platform/form.h"
#include "platform/text.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"
#include "shell/screenform.h"
#include "shell/systemdata.h"

namespace {

namespace pc = platform::component;

constexpr int kFullRate = 128;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kLogColour = 0xD0D0FF;

// The game window's system sound.
void PlayGameSystemSe(int index) {
  if (GameForm != nullptr) GameForm->PlaySystemSe(index);
}

int ClickCode(TMouseButton button) {
  switch (button) {
    case mbLeft:
      return TSubWinUnit::kLeftClick;
    case mbRight:
      return TSubWinUnit::kRightClick;
    case mbMiddle:
      return TSubWinUnit::kMiddleClick;
  }
  return TSubWinUnit::kLeftClick;
}

// What is left of the scene behind a darkening window, in 128ths: half while it is shown, fading from nothing
// darkened to half over `frames` while it opens and back while it closes. `elapsed` counts the fade's frames so far.
int FadeGrey(int fade, int elapsed, int frames) {
  if (fade == TSubWinUnit::wsOpening) return kFullRate - elapsed * (kFullRate - TSubWinUnit::kShownGrey) / frames;
  if (fade == TSubWinUnit::wsClosing)
    return kFullRate - (frames - elapsed) * (kFullRate - TSubWinUnit::kShownGrey) / frames;
  return TSubWinUnit::kShownGrey;
}

bool FillText(TZoRGBPanel* panel, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy,
              std::uint32_t colour) {
  PanelAlphaFillRate(panel, dest, x, y, sx, sy, dx, dy, dest->TZoRGBtoPixel(VXRGB(colour)), kFullRate);
  return true;
}

int Saturated(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

// The calendar's sub-minute counter (60,000,000 a minute) in the plates' frames (1800 a minute).
int PlateSubMinute(std::uint32_t counter) {
  const auto frames = static_cast<std::uint64_t>(counter) * TSubWinUnit::kSubMinutes / 60'000'000u;
  return static_cast<int>(std::min<std::uint64_t>(frames, TSubWinUnit::kSubMinutes - 1));
}

// One frame of a plate that slides in over `slide` frames (state 2), stays `stay` frames (4) and slides out (3);
// skipping ends each part at once. Where the plate stands afterwards: 0 in its place .. `slide` outside, or -1
// when it has left (state 1).
int SlideFrame(std::uint8_t& state, int& timer, bool skip, int slide, int stay) {
  timer = skip ? 0 : timer - 1;
  const int t = std::max(timer, 0);
  switch (state) {
    case TSubWinUnit::wsOpening:
      if (t > 0) return t;
      timer = stay;
      state = TSubWinUnit::wsTyping;
      return 0;
    case TSubWinUnit::wsTyping:
      if (t == 0) {
        timer = slide;
        state = TSubWinUnit::wsClosing;
      }
      return 0;
    case TSubWinUnit::wsClosing:
      if (t > 0) return slide - t;
      state = TSubWinUnit::wsIdle;
      return -1;
  }
  return 0;
}

// ---- Registration -----------------------------------------------------------------------------------------------

void RegisterSubWinUnit() {
  auto s = pc::RegisterScreen<TSubWinUnit>("TSubWinUnit");
  using U = TSubWinUnit;
  s.OpenHandler<TNotifyEvent>("PanelCreate", "TNotifyEvent", &U::PanelCreate);
  s.OpenHandler<TNotifyEvent>("PanelRelease", "TNotifyEvent", &U::PanelRelease);
  s.OpenHandler<TNotifyEvent>("MesBtnClick", "TNotifyEvent", &U::MesBtnClick);
  s.OpenHandler<TNotifyEvent>("LogUpClick", "TNotifyEvent", &U::LogUpClick);
  s.OpenHandler<TNotifyEvent>("LogDownClick", "TNotifyEvent", &U::LogDownClick);
  s.OpenHandler<TNotifyEvent>("LogCloseClick", "TNotifyEvent", &U::LogCloseClick);
  s.OpenHandler<TNotifyEvent>("MenuBtnClick", "TNotifyEvent", &U::MenuBtnClick);
  s.OpenHandler<TNotifyEvent>("MenuBtnMouseEnter", "TNotifyEvent", &U::MenuBtnMouseEnter);
  s.OpenHandler<TNotifyEvent>("MenuBtnMouseLeave", "TNotifyEvent", &U::MenuBtnMouseLeave);
  s.OpenHandler<TZoDrawEvent>("MesBackDraw", "TZoDrawEvent", &U::MesBackDraw);
  s.OpenHandler<TZoDrawEvent>("MesFrameDraw", "TZoDrawEvent", &U::MesFrameDraw);
  s.OpenHandler<TZoDrawEvent>("MesTextDraw", "TZoDrawEvent", &U::MesTextDraw);
  s.OpenHandler<TZoDrawEvent>("NovelWinDraw", "TZoDrawEvent", &U::NovelWinDraw);
  s.OpenHandler<TZoDrawEvent>("NovelTextDraw", "TZoDrawEvent", &U::NovelTextDraw);
  s.OpenHandler<TZoDrawEvent>("LogBackDraw", "TZoDrawEvent", &U::LogBackDraw);
  s.OpenHandler<TZoDrawEvent>("LogTextDraw", "TZoDrawEvent", &U::LogTextDraw);
  s.OpenHandler<TZoDrawEvent>("LogFrameDraw", "TZoDrawEvent", &U::LogFrameDraw);
  s.OpenHandler<TZoDrawEvent>("SelWinDraw", "TZoDrawEvent", &U::SelWinDraw);
  s.OpenHandler<TZoDrawEvent>("SelTextDraw", "TZoDrawEvent", &U::SelTextDraw);
  s.OpenHandler<TZoDrawEvent>("MenuWinDraw", "TZoDrawEvent", &U::MenuWinDraw);
  s.OpenHandler<TMouseEvent>("MesWinMouseDown", "TMouseEvent", &U::MesWinMouseDown);
  s.OpenHandler<TMouseEvent>("MesBtnMouseDown", "TMouseEvent", &U::MesBtnMouseDown);
  s.OpenHandler<TMouseEvent>("NovelWinMouseDown", "TMouseEvent", &U::NovelWinMouseDown);
  s.OpenHandler<TMouseEvent>("LogWinMouseDown", "TMouseEvent", &U::LogWinMouseDown);
  s.OpenHandler<TMouseEvent>("LogBarMouseDown", "TMouseEvent", &U::LogBarMouseDown);
  s.OpenHandler<TMouseEvent>("SelWinMouseDown", "TMouseEvent", &U::SelWinMouseDown);
  s.OpenHandler<TMouseEvent>("SelTextMouseDown", "TMouseEvent", &U::SelTextMouseDown);
  s.OpenHandler<TMouseEvent>("MenuWinMouseDown", "TMouseEvent", &U::MenuWinMouseDown);
  s.OpenHandler<TMouseEvent>("MenuBtnMouseDown", "TMouseEvent", &U::MenuBtnMouseDown);
  s.OpenHandler<TMouseMoveEvent>("LogBarMouseMove", "TMouseMoveEvent", &U::LogBarMouseMove);
  s.OpenHandler<TMouseMoveEvent>("SelTextMouseMove", "TMouseMoveEvent", &U::SelTextMouseMove);
  s.Field("MesBack", &U::MesBack)
      .Field("MesFrame", &U::MesFrame)
      .Field("MesText", &U::MesText)
      .Field("MesWait", &U::MesWait)
      .Field("MesLook", &U::MesLook)
      .Field("MesAuto", &U::MesAuto)
      .Field("MesSkip", &U::MesSkip)
      .Field("MesLog", &U::MesLog)
      .Field("MesSave", &U::MesSave)
      .Field("MesLoad", &U::MesLoad)
      .Field("MesConfig", &U::MesConfig)
      .Field("SelWin", &U::SelWin)
      .Field("SelCur", &U::SelCur)
      .Field("SelText", &U::SelText)
      .Field("MesWin", &U::MesWin)
      .Field("MesTextMaker1", &U::MesTextMaker1)
      .Field("MesTextMaker2", &U::MesTextMaker2)
      .Field("MesTextMaker3", &U::MesTextMaker3)
      .Field("MenuWin", &U::MenuWin)
      .Field("MenuBtn1", &U::MenuBtn1)
      .Field("MenuBtn2", &U::MenuBtn2)
      .Field("MenuBtn3", &U::MenuBtn3)
      .Field("MenuBtn4", &U::MenuBtn4)
      .Field("MenuBtn5", &U::MenuBtn5)
      .Field("MenuBtn6", &U::MenuBtn6)
      .Field("MenuBtn7", &U::MenuBtn7)
      .Field("MenuBtn8", &U::MenuBtn8)
      .Field("MenuBtn9", &U::MenuBtn9)
      .Field("NovelWin", &U::NovelWin)
      .Field("NovelText", &U::NovelText)
      .Field("NovelWait", &U::NovelWait)
      .Field("LogWin", &U::LogWin)
      .Field("LogBack", &U::LogBack)
      .Field("LogText", &U::LogText)
      .Field("LogFrame", &U::LogFrame)
      .Field("LogClose", &U::LogClose)
      .Field("LogBar", &U::LogBar)
      .Field("LogPos", &U::LogPos)
      .Field("LogUp", &U::LogUp)
      .Field("LogDown", &U::LogDown)
      .Field("DateWin", &U::DateWin)
      .Field("TimeWin", &U::TimeWin)
      .Field("Month1", &U::Month1)
      .Field("Month2", &U::Month2)
      .Field("DateSep", &U::DateSep)
      .Field("Day1", &U::Day1)
      .Field("Day2", &U::Day2)
      .Field("Hour1", &U::Hour1)
      .Field("Hour2", &U::Hour2)
      .Field("TimeSep", &U::TimeSep)
      .Field("Min1", &U::Min1)
      .Field("Min2", &U::Min2)
      .Field("PlaceWin", &U::PlaceWin);
}

void RegisterClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterDeviceClasses();
    RegisterSubWinUnit();
  });
}

}  // namespace

// ---- Drawing shared with the other adventure windows ------------------------------------------------------

bool DarkenArea(TZoRGBBits* dest, int x, int y, int dx, int dy, int grey) {
  if (dx <= 0 || dy <= 0) return true;
  const auto g = static_cast<std::uint32_t>(std::clamp(grey, 0, 255));
  dest->ToneChange(x, y, x + dx - 1, y + dy - 1, g << 16 | g << 8 | g);
  return true;
}

// ---- The unit ---------------------------------------------------------------------------------------------------

TSubWinUnit::TSubWinUnit(Classes::TComponent* owner) : Classes::TComponent(owner), playSe_(PlayGameSystemSe) {
  RegisterClasses();
  platform::form::LoadFormResource(*this, "SubWinUnit");
  message_ = std::make_unique<TTextWindow>(
      *this, kMesLines, 0,
      TTextWindow::TPanels{MesWin, MesText, MesWait, false, {MesLook, MesAuto, MesSkip}});
  novel_ = std::make_unique<TTextWindow>(*this, kNovelLines, 1, TTextWindow::TPanels{NovelWin, NovelText, NovelWait, true, {}});
  backlog_ = std::make_unique<TBacklog>(*this);
  choice_ = std::make_unique<TChoiceWindow>(*this);
  plates_ = std::make_unique<TPlates>(*this);
  place_ = std::make_unique<TPlacePlate>(*this);
  menu_ = std::make_unique<TMenu>(*this);
}

TSubWinUnit::~TSubWinUnit() {
  Close();
  // The panels go while the windows are still whole: events they fire on the way out find the unit closed.
  DestroyComponents();
}

bool TSubWinUnit::Open(VXFileMan* systemFiles) {
  if (open_) Close();
  files_ = systemFiles;
  open_ = true;
  const TGameServices* services = GameServices();
  const VXPixFormat format = services == nullptr || services->GetWorkingBitDepth() == bd32 ? pf32_888 : pf24_888;
  for (TZoRGBText* maker : {MesTextMaker1, MesTextMaker2, MesTextMaker3}) maker->MakeBuffer(format);
  bool created = true;
  for (TZoRGBPanel* root : Roots()) created = root->AllCreate() && created;
  if (!created || !MakeTextPlanes()) {
    Close();
    return false;
  }
  for (TZoRGBPanel* panel : {static_cast<TZoRGBPanel*>(LogClose), LogBar, static_cast<TZoRGBPanel*>(LogUp),
                             static_cast<TZoRGBPanel*>(LogDown)})
    panel->SetVisible(false);
  ShareDigits();
  for (TZoRGBPanel* root : Roots()) root->SetVisible(false);
  ResetWindows();
  return true;
}

void TSubWinUnit::Close() {
  if (!open_) return;
  place_->HidePlace();
  ReleaseTextPlanes();
  for (TZoRGBPanel* root : Roots()) root->AllRelease();
  for (TZoRGBText* maker : {MesTextMaker1, MesTextMaker2, MesTextMaker3}) maker->ReleaseBuffer();
  open_ = false;
}

bool TSubWinUnit::MakeTextPlanes() {
  struct TextPanel {
    TZoRGBPanel* panel;
    int height;
  };
  const TextPanel panels[] = {{MesText, kLineStep * (kMesLines - 1) + kCellSize},
                              {NovelText, 380},
                              {LogText, 380},
                              {SelText, kLineStep * (kChoices - 1) + kCellSize}};
  for (const auto& [panel, height] : panels) {
    auto* plane = new TZoAlpha(this);
    if (!plane->Resize(kLineWidth, height) || !plane->Create()) {
      delete plane;
      return false;
    }
    plane->Fill(0);
    panel->SetSizeX(kLineWidth);
    panel->SetSizeY(height);
    panel->SetMaskMode(mmHitOnly);
    panel->SetAlpha(plane);
  }
  return message_->MakeStaging() && novel_->MakeStaging();
}

void TSubWinUnit::ReleaseTextPlanes() {
  for (TZoRGBPanel* panel : {MesText, NovelText, LogText, SelText}) {
    TZoAlpha* plane = panel->GetAlpha();
    panel->SetAlpha(nullptr);
    delete plane;
  }
  message_->ReleaseStaging();
  novel_->ReleaseStaging();
}

std::array<TZoRGBPanel*, 9> TSubWinUnit::Roots() const {
  return {MesWin, MesWait, NovelWin, LogWin, DateWin, TimeWin, SelWin, PlaceWin, MenuWin};
}

void TSubWinUnit::ResetWindows() {
  message_->Reset();
  novel_->Reset();
  backlog_->Reset();
  choice_->Reset();
  plates_->Reset();
  place_->Reset();
  menu_->Reset();
}

void TSubWinUnit::ShareDigits() {
  for (TZoRGBPanel* digit : {Month2, Day1, Day2}) SharePanelImage(digit, Month1);
  for (TZoRGBPanel* digit : {Hour2, Min1, Min2}) SharePanelImage(digit, Hour1);
}

void TSubWinUnit::SetMesTrans(int percent) {
  backRate_ = (100 - std::clamp(percent, 0, 100)) * kFullRate / 100;
  MesBack->SetModify();
}

TZoRGBText* TSubWinUnit::Maker(int style) const {
  switch (style) {
    case 0:
      return MesTextMaker1;
    case 1:
      return MesTextMaker2;
    case 2:
      return MesTextMaker3;
  }
  return nullptr;
}

void TSubWinUnit::RenderLine(int style, const char* text, TZoAlpha* plane, int y) {
  if (plane == nullptr || !plane->IsCreated()) return;
  plane->BoxFill(0, y, kLineWidth - 1, y + kCellSize - 1, 0);
  TZoRGBText* maker = Maker(style);
  if (maker == nullptr || !maker->HasBuffer()) return;
  maker->SetText(text);
  const TZoAlpha* cover = maker->GetAlpha();
  if (cover == nullptr || !cover->IsCreated()) return;
  plane->Draw(0, y, cover, 0, 0, std::min(kLineWidth, cover->GetWidth()), std::min(kCellSize, cover->GetHeight()));
}

void TSubWinUnit::PlaySystemSe(int index) const {
  if (playSe_) playSe_(index);
}

// ---- Handlers ---------------------------------------------------------------------------------------------------

void TSubWinUnit::PanelCreate(Classes::TComponent* sender) {
  auto* panel = dynamic_cast<TZoRGBPanel*>(sender);
  if (panel != nullptr && !panel->GetText().empty()) LoadPanelImage(panel, files_, panel->GetText());
}

void TSubWinUnit::PanelRelease(Classes::TComponent* sender) {
  if (auto* panel = dynamic_cast<TZoRGBPanel*>(sender)) ReleasePanelImage(panel);
}

bool TSubWinUnit::MesBackDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  screenform::DrawPanelImageRate(MesBack, dest, x, y, sx, sy, dx, dy, backRate_ * message_->Opacity() / kFullRate);
  return true;
}

bool TSubWinUnit::MesFrameDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  screenform::DrawPanelImageRate(MesFrame, dest, x, y, sx, sy, dx, dy, message_->Opacity());
  return true;
}

bool TSubWinUnit::MesTextDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  return FillText(MesText, dest, x, y, sx, sy, dx, dy, kWhite);
}

void TSubWinUnit::MesWinMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  message_->Report(ClickCode(button));
}

void TSubWinUnit::MesBtnClick(Classes::TComponent* sender) { message_->Report(sender->GetTag()); }

void TSubWinUnit::MesBtnMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  // A left press becomes the button's click.
  if (button != mbLeft) message_->Report(ClickCode(button));
}

bool TSubWinUnit::NovelWinDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int, int, int dx, int dy) {
  return DarkenArea(dest, x, y, dx, dy, novel_->Grey());
}

bool TSubWinUnit::NovelTextDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx,
                                int dy) {
  return FillText(NovelText, dest, x, y, sx, sy, dx, dy, kWhite);
}

void TSubWinUnit::NovelWinMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  novel_->Report(ClickCode(button));
}

bool TSubWinUnit::LogBackDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int, int, int dx, int dy) {
  return DarkenArea(dest, x, y, dx, dy, backlog_->Grey());
}

bool TSubWinUnit::LogTextDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  return FillText(LogText, dest, x, y, sx, sy, dx, dy, kLogColour);
}

bool TSubWinUnit::LogFrameDraw(Classes::TComponent*, TZoRGBBits*, int, int, int, int, int, int) { return true; }

void TSubWinUnit::LogWinMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  backlog_->Report(button == mbRight ? kLogClosed : ClickCode(button));
}

void TSubWinUnit::LogBarMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int y) {
  if (button == mbLeft) {
    backlog_->ScrollToBar(y);
    backlog_->Report(kLogScrolled);
  } else {
    backlog_->Report(button == mbRight ? kLogClosed : kMiddleClick);
  }
}

void TSubWinUnit::LogBarMouseMove(Classes::TComponent*, TShiftState shift, int, int y) {
  if (shift.Contains(ssLeft) && backlog_->ScrollToBar(y)) backlog_->Report(kLogScrolled);
}

void TSubWinUnit::LogUpClick(Classes::TComponent*) {
  backlog_->SetScrollPos(backlog_->GetScrollPos() - 1);
  backlog_->Report(kLogScrolled);
}

void TSubWinUnit::LogDownClick(Classes::TComponent*) {
  backlog_->SetScrollPos(backlog_->GetScrollPos() + 1);
  backlog_->Report(kLogScrolled);
}

void TSubWinUnit::LogCloseClick(Classes::TComponent*) { backlog_->Report(kLogClosed); }

bool TSubWinUnit::SelWinDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  const int cut = choice_->CutRows();
  const int top = std::max(sy, cut);
  const int bottom = std::min(sy + dy, SelWin->GetSizeY() - cut);
  if (bottom > top)
    screenform::DrawPanelImageRate(SelWin, dest, x, y + (top - sy), sx, top, dx, bottom - top, kFullRate);
  return true;
}

bool TSubWinUnit::SelTextDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  return FillText(SelText, dest, x, y, sx, sy, dx, dy, kWhite);
}

void TSubWinUnit::SelWinMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  choice_->Report(ClickCode(button));
}

void TSubWinUnit::SelTextMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int y) {
  const int row = TChoiceWindow::RowAt(y);
  if (button != mbLeft || choice_->GetState() != wsIdle || row < 0) {
    choice_->Report(ClickCode(button));
    return;
  }
  choice_->Select(row);
  choice_->Report(row == 0 || choice_->IsEnabled(row) ? kChoiceDecided : kLeftClick);
}

void TSubWinUnit::SelTextMouseMove(Classes::TComponent*, TShiftState, int, int y) {
  const int row = TChoiceWindow::RowAt(y);
  if (choice_->GetState() == wsIdle && row >= 0) choice_->Select(row);
}

bool TSubWinUnit::MenuWinDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int, int, int dx, int dy) {
  return DarkenArea(dest, x, y, dx, dy, menu_->Grey());
}

void TSubWinUnit::MenuWinMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int) {
  if (button == mbRight && menu_->GetState() == wsIdle) menu_->Cancel();
}

void TSubWinUnit::MenuBtnClick(Classes::TComponent* sender) { menu_->Choose(menu_->Button(menu_->IndexOf(sender))); }

void TSubWinUnit::MenuBtnMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y) {
  MenuWinMouseDown(sender, button, shift, x, y);
}

void TSubWinUnit::MenuBtnMouseEnter(Classes::TComponent* sender) { menu_->Enter(menu_->IndexOf(sender)); }

void TSubWinUnit::MenuBtnMouseLeave(Classes::TComponent* sender) { menu_->Leave(menu_->IndexOf(sender)); }

// ---- Text pages -------------------------------------------------------------------------------------------------

TSubWinUnit::TTextPage::TTextPage(TSubWinUnit& unit, TZoRGBPanel* root, int lines, int style, TZoRGBPanel* text)
    : TWindow(unit, root), text_(text), style_(style), lines_(static_cast<std::size_t>(lines), TLine{}) {}

VXString TSubWinUnit::TTextPage::GetLineText(int line) const {
  if (line < 0 || line >= GetLineCount()) return VXString();
  return VXString(lines_[static_cast<std::size_t>(line)].data());
}

bool TSubWinUnit::TTextPage::AppendText(const VXString& text) {
  if (line_ >= GetLineCount()) return false;
  TLine& cells = lines_[static_cast<std::size_t>(line_)];
  const char* bytes = text.c_str();
  const int length = text.Length();
  int count = end_;
  for (int i = 0; i < length && count < kLineCells;) {
    // A lead byte with its trail is a cell; a lead byte at the very end has no character to make.
    if (platform::text::IsCp932LeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < length &&
        bytes[i + 1] != 0) {
      cells[static_cast<std::size_t>(2 * count)] = bytes[i];
      cells[static_cast<std::size_t>(2 * count + 1)] = bytes[i + 1];
      ++count;
      i += 2;
    } else {
      ++i;
    }
  }
  if (count == end_) return false;
  cells[static_cast<std::size_t>(2 * count)] = 0;
  start_ = end_;
  end_ = count;
  return true;
}

void TSubWinUnit::TTextPage::NextLine() {
  if (line_ < GetLineCount()) ++line_;
  start_ = end_ = 0;
}

void TSubWinUnit::TTextPage::ClearPage() {
  std::fill(lines_.begin(), lines_.end(), TLine{});
  line_ = start_ = end_ = 0;
  if (TZoAlpha* plane = Plane()) plane->Fill(0);
  text_->SetModify();
}

TZoAlpha* TSubWinUnit::TTextPage::Plane() const {
  TZoAlpha* plane = text_->GetAlpha();
  return plane != nullptr && plane->IsCreated() ? plane : nullptr;
}

void TSubWinUnit::TTextPage::RenderCurrentLine() {
  unit_.RenderLine(style_, lines_[static_cast<std::size_t>(line_)].data(), Plane(), kLineStep * line_);
  MarkCells(line_, 0, kLineCells);
}

void TSubWinUnit::TTextPage::MarkCells(int line, int fromCell, int cells) {
  const int y = kLineStep * line;
  text_->SetModifyRect(VXRect{kCellSize * fromCell, y, kCellSize * (fromCell + cells), y + kCellSize});
}

// ---- Message and novel windows ----------------------------------------------------------------------------------

TSubWinUnit::TTextWindow::TTextWindow(TSubWinUnit& unit, int lines, int style, TPanels panels)
    : TTextPage(unit, panels.root, lines, style, panels.text), panels_(std::move(panels)) {}

TSubWinUnit::TTextWindow::~TTextWindow() = default;

void TSubWinUnit::TTextWindow::Reset() {
  state_ = wsIdle;
  timer_ = 0;
  typing_ = false;
  waitMark_ = false;
  ClearPage();
}

void TSubWinUnit::TTextWindow::Attach(TZoRGBPanel* parent) {
  TWindow::Attach(parent);
  if (!panels_.waitInRoot) {
    panels_.wait->SetVisible(false);
    panels_.wait->SetParent(parent);
  }
}

void TSubWinUnit::TTextWindow::Detach() {
  TWindow::Detach();
  if (!panels_.waitInRoot) panels_.wait->SetParent(nullptr);
}

int TSubWinUnit::TTextWindow::GetState() const {
  if (state_ != wsIdle) return state_;
  return typing_ ? wsTyping : wsIdle;
}

void TSubWinUnit::TTextWindow::Show(bool immediate) {
  FinishTyping();
  root_->SetVisible(true);
  HideContent();
  timer_ = kFadeFrames;
  state_ = wsOpening;
  root_->SetModify();
  if (immediate) EndFade();
}

void TSubWinUnit::TTextWindow::Hide(bool immediate) {
  FinishTyping();
  if (!root_->GetVisible()) {
    state_ = wsIdle;
    UpdateWaitIcon();
    return;
  }
  HideContent();
  timer_ = kFadeFrames;
  state_ = wsClosing;
  root_->SetModify();
  if (immediate) EndFade();
}

void TSubWinUnit::TTextWindow::HideContent() {
  panels_.text->SetVisible(false);
  panels_.wait->SetVisible(false);
  for (TZoRGBPanel* button : panels_.buttons) button->SetVisible(false);
}

void TSubWinUnit::TTextWindow::EndFade() {
  if (state_ == wsOpening) {
    panels_.text->SetVisible(true);
    for (TZoRGBPanel* button : panels_.buttons) button->SetVisible(true);
  } else if (state_ == wsClosing) {
    root_->SetVisible(false);
    panels_.text->SetVisible(true);
  }
  state_ = wsIdle;
  timer_ = 0;
  UpdateWaitIcon();
}

bool TSubWinUnit::TTextWindow::AddText(int speed, const VXString& text) {
  FinishTyping();
  if (!AppendText(text)) return IsBusy();
  if (!root_->GetVisible()) speed = 0;
  speed_ = speed;
  if (speed > 0 && staging_ != nullptr) {
    unit_.RenderLine(style_, lines_[static_cast<std::size_t>(line_)].data(), staging_.get(), 0);
    typeTimer_ = 0;
    typing_ = true;
  } else {
    RenderCurrentLine();
  }
  UpdateWaitIcon();
  return IsBusy();
}

void TSubWinUnit::TTextWindow::NewLine() {
  FinishTyping();
  NextLine();
  UpdateWaitIcon();
}

void TSubWinUnit::TTextWindow::Clear() {
  typing_ = false;
  ClearPage();
  UpdateWaitIcon();
}

void TSubWinUnit::TTextWindow::SetWaitMark(bool on) {
  waitMark_ = on;
  UpdateWaitIcon();
}

bool TSubWinUnit::TTextWindow::Frame(int ticks, bool skip) {
  if (state_ != wsIdle) {
    root_->SetModify();
    timer_ = skip ? 0 : timer_ - 1;
    if (timer_ <= 0) EndFade();
  }
  if (typing_) {
    if (skip)
      FinishTyping();
    else
      TypeStep(ticks);
  }
  UpdateWaitIcon();
  return IsBusy();
}

void TSubWinUnit::TTextWindow::TypeStep(int ticks) {
  typeTimer_ = Saturated(static_cast<long long>(typeTimer_) + 100LL * std::max(ticks, 0));
  const int due = std::min(typeTimer_ / std::max(speed_, 1), end_ - start_);
  TZoAlpha* plane = Plane();
  if (due > 0 && plane != nullptr) {
    plane->Draw(kCellSize * start_, kLineStep * line_, staging_.get(), kCellSize * start_, 0, kCellSize * due,
                kCellSize);
    MarkCells(line_, start_, due);
  }
  if (start_ + due >= end_) typing_ = false;
}

void TSubWinUnit::TTextWindow::FinishTyping() {
  if (!typing_) return;
  typing_ = false;
  if (TZoAlpha* plane = Plane()) {
    plane->Draw(0, kLineStep * line_, staging_.get(), 0, 0, kLineWidth, kCellSize);
    MarkCells(line_, 0, kLineCells);
  }
}

void TSubWinUnit::TTextWindow::UpdateWaitIcon() {
  TZoRGBPanel* wait = panels_.wait;
  if (panels_.waitInRoot) {
    wait->SetOffsetX(panels_.text->GetOffsetX() + kCellSize * end_);
    wait->SetOffsetY(panels_.text->GetOffsetY() + kLineStep * line_);
  }
  const bool show = !IsBusy() && root_->GetVisible() && waitMark_;
  if (wait->GetVisible() != show) wait->SetVisible(show);
}

void TSubWinUnit::TTextWindow::SetAutoSkip(bool autoOn, bool skipOn) {
  unit_.MesAuto->SetSelected(autoOn);
  unit_.MesSkip->SetSelected(skipOn);
}

int TSubWinUnit::TTextWindow::Opacity() const {
  if (state_ == wsOpening) return (kFadeFrames - timer_) * kFullRate / kFadeFrames;
  if (state_ == wsClosing) return timer_ * kFullRate / kFadeFrames;
  return kFullRate;
}

int TSubWinUnit::TTextWindow::Grey() const { return FadeGrey(state_, kFadeFrames - timer_, kFadeFrames); }

bool TSubWinUnit::TTextWindow::MakeStaging() {
  auto staging = std::make_unique<TZoAlpha>(nullptr);
  if (!staging->Resize(kLineWidth, kCellSize) || !staging->Create()) return false;
  staging->Fill(0);
  staging_ = std::move(staging);
  return true;
}

void TSubWinUnit::TTextWindow::ReleaseStaging() {
  typing_ = false;
  staging_.reset();
}

// ---- Backlog ----------------------------------------------------------------------------------------------------

TSubWinUnit::TBacklog::TBacklog(TSubWinUnit& unit) : TTextPage(unit, unit.LogWin, kLogLines, 0, unit.LogText) {}

void TSubWinUnit::TBacklog::Reset() {
  state_ = wsIdle;
  timer_ = max_ = pos_ = 0;
  ClearPage();
}

void TSubWinUnit::TBacklog::Show(bool immediate) {
  root_->SetVisible(true);
  HideContent();
  timer_ = kFadeFrames;
  state_ = wsOpening;
  root_->SetModify();
  if (immediate) Frame(0, true);
}

void TSubWinUnit::TBacklog::Hide(bool immediate) {
  if (!root_->GetVisible()) {
    state_ = wsIdle;
    return;
  }
  HideContent();
  timer_ = kFadeFrames;
  state_ = wsClosing;
  root_->SetModify();
  if (immediate) Frame(0, true);
}

void TSubWinUnit::TBacklog::ShowContent() {
  unit_.LogText->SetVisible(true);
  unit_.LogClose->SetVisible(true);
  for (TZoRGBPanel* panel : {unit_.LogBar, static_cast<TZoRGBPanel*>(unit_.LogUp),
                             static_cast<TZoRGBPanel*>(unit_.LogDown)})
    panel->SetVisible(max_ > 0);
}

void TSubWinUnit::TBacklog::HideContent() {
  for (TZoRGBPanel* panel : {unit_.LogText, static_cast<TZoRGBPanel*>(unit_.LogClose), unit_.LogBar,
                             static_cast<TZoRGBPanel*>(unit_.LogUp), static_cast<TZoRGBPanel*>(unit_.LogDown)})
    panel->SetVisible(false);
}

void TSubWinUnit::TBacklog::AddText(const VXString& text) {
  if (AppendText(text)) RenderCurrentLine();
}

void TSubWinUnit::TBacklog::NewLine() { NextLine(); }

void TSubWinUnit::TBacklog::Clear() { ClearPage(); }

void TSubWinUnit::TBacklog::SetScrollMax(int n) {
  max_ = std::max(n, 0);
  pos_ = max_;
  unit_.LogPos->SetOffsetY(Track());
  if (state_ == wsIdle && root_->GetVisible()) ShowContent();
}

void TSubWinUnit::TBacklog::SetScrollPos(int position) {
  if (max_ <= 0) return;
  pos_ = std::clamp(position, 0, max_);
  unit_.LogPos->SetOffsetY(static_cast<int>(static_cast<long long>(Track()) * pos_ / max_));
}

bool TSubWinUnit::TBacklog::ScrollToBar(int y) {
  const int track = Track();
  if (max_ <= 0 || track <= 0) return false;
  const int old = pos_;
  // A press or a drag beyond the ends of the track stops at them.
  SetScrollPos(static_cast<int>(static_cast<long long>(std::clamp(y, 0, track)) * max_ / track));
  return pos_ != old;
}

int TSubWinUnit::TBacklog::Track() const { return std::max(0, unit_.LogBar->GetSizeY() - unit_.LogPos->GetSizeY()); }

bool TSubWinUnit::TBacklog::Frame(int, bool skip) {
  if (state_ == wsOpening || state_ == wsClosing) {
    root_->SetModify();
    timer_ = skip ? 0 : timer_ - 1;
    if (timer_ <= 0) {
      if (state_ == wsOpening)
        ShowContent();
      else
        root_->SetVisible(false);
      state_ = wsIdle;
      timer_ = 0;
    }
  }
  return IsBusy();
}

int TSubWinUnit::TBacklog::Grey() const { return FadeGrey(state_, kFadeFrames - timer_, kFadeFrames); }

// ---- Choices ----------------------------------------------------------------------------------------------------

TSubWinUnit::TChoiceWindow::TChoiceWindow(TSubWinUnit& unit) : TWindow(unit, unit.SelWin) {}

void TSubWinUnit::TChoiceWindow::Reset() {
  state_ = wsIdle;
  timer_ = 0;
  Clear();
  Select(0);
}

void TSubWinUnit::TChoiceWindow::Open(bool immediate) {
  Select(0);
  root_->SetVisible(true);
  unit_.SelText->SetVisible(immediate);
  unit_.SelCur->SetVisible(immediate);
  state_ = immediate ? wsIdle : wsOpening;
  timer_ = immediate ? 0 : kSelFadeFrames;
  root_->SetModify();
}

void TSubWinUnit::TChoiceWindow::Close(bool immediate) {
  if (immediate || !root_->GetVisible()) {
    root_->SetVisible(false);
    state_ = wsIdle;
    timer_ = 0;
    return;
  }
  // The text and the cursor leave first; the window folds toward its middle.
  unit_.SelText->SetVisible(false);
  unit_.SelCur->SetVisible(false);
  state_ = wsClosing;
  timer_ = kSelFadeFrames;
  root_->SetModify();
}

void TSubWinUnit::TChoiceWindow::Clear() {
  texts_ = {};
  enabled_ = {true, false, false, false};
  if (TZoAlpha* plane = unit_.SelText->GetAlpha(); plane != nullptr && plane->IsCreated()) plane->Fill(0);
  unit_.SelText->SetModify();
}

void TSubWinUnit::TChoiceWindow::SetChoice(int index, const VXString& text) {
  if (index < 0 || index >= kChoices) return;
  const VXString cut = CutRecordText(text, kChoiceBytes);
  TLine& line = texts_[static_cast<std::size_t>(index)];
  line = {};
  std::copy_n(cut.c_str(), cut.Length(), line.begin());
  if (index > 0) enabled_[static_cast<std::size_t>(index)] = !cut.IsEmpty();
  const int y = kLineStep * index;
  unit_.RenderLine(0, line.data(), unit_.SelText->GetAlpha(), y);
  unit_.SelText->SetModifyRect(VXRect{0, y, kLineWidth, y + kCellSize});
}

VXString TSubWinUnit::TChoiceWindow::GetChoice(int index) const {
  if (index < 0 || index >= kChoices) return VXString();
  return VXString(texts_[static_cast<std::size_t>(index)].data());
}

bool TSubWinUnit::TChoiceWindow::IsEnabled(int index) const {
  return index >= 0 && index < kChoices && enabled_[static_cast<std::size_t>(index)];
}

void TSubWinUnit::TChoiceWindow::Select(int index) {
  if (!IsEnabled(index)) return;
  selected_ = index;
  unit_.SelCur->SetOffsetY(14 + kLineStep * index);
}

void TSubWinUnit::TChoiceWindow::SelectPrev() {
  if (state_ != wsIdle) return;
  int k = selected_ - 1;
  while (k > 0 && !IsEnabled(k)) --k;
  Select(std::max(k, 0));
}

void TSubWinUnit::TChoiceWindow::SelectNext() {
  if (state_ != wsIdle) return;
  for (int k = selected_ + 1; k < kChoices; ++k)
    if (IsEnabled(k)) {
      Select(k);
      return;
    }
}

bool TSubWinUnit::TChoiceWindow::Frame(int, bool skip) {
  if (state_ == wsOpening) {
    root_->SetModify();
    if (--timer_ <= 0) {
      unit_.SelText->SetVisible(true);
      unit_.SelCur->SetVisible(true);
      state_ = wsIdle;
      timer_ = 0;
    }
  } else if (state_ == wsClosing) {
    root_->SetModify();
    timer_ = skip ? 0 : timer_ - 1;
    if (timer_ <= 0) {
      root_->SetVisible(false);
      state_ = wsIdle;
      timer_ = 0;
    }
  }
  return IsBusy();
}

int TSubWinUnit::TChoiceWindow::CutRows() const {
  const int half = root_->GetSizeY() / 2;
  if (state_ == wsOpening) return half * timer_ / kSelFadeFrames;
  if (state_ == wsClosing) return half * (kSelFadeFrames - timer_) / kSelFadeFrames;
  return 0;
}

int TSubWinUnit::TChoiceWindow::RowAt(int y) {
  if (y < 0) return 0;
  const int row = y / kLineStep;
  return row < kChoices && y % kLineStep < kCellSize ? row : -1;
}

// ---- Date and clock plates --------------------------------------------------------------------------------------

TSubWinUnit::TPlates::TPlates(TSubWinUnit& unit)
    : unit_(unit), date_{unit.DateWin, false, wsIdle, 0}, time_{unit.TimeWin, true, wsIdle, 0} {}

void TSubWinUnit::TPlates::Reset() {
  date_.state = time_.state = wsIdle;
  date_.timer = time_.timer = 0;
  shown_ = {};
  colon_ = 0;
}

void TSubWinUnit::TPlates::Attach(TZoRGBPanel* parent) {
  for (TPlate* plate : {&date_, &time_}) {
    plate->panel->SetVisible(false);
    plate->panel->SetParent(parent);
    plate->state = wsIdle;
  }
}

void TSubWinUnit::TPlates::Detach() {
  unit_.DateWin->SetParent(nullptr);
  unit_.TimeWin->SetParent(nullptr);
}

bool TSubWinUnit::TPlates::IsBusy() const { return date_.state != wsIdle || time_.state != wsIdle; }

void TSubWinUnit::TPlates::Place(TPlate& plate, int t) {
  const int w = plate.panel->GetSizeX(), h = plate.panel->GetSizeY();
  plate.panel->SetOffsetX(plate.right ? TGameForm::kWidth - w * (kSlideFrames - t) / kSlideFrames
                                      : -w * t / kSlideFrames);
  plate.panel->SetOffsetY(-h * t / kSlideFrames);
}

void TSubWinUnit::TPlates::Show(TPlate& plate, bool immediate) {
  if (immediate) {
    Place(plate, 0);
    plate.panel->SetVisible(true);
    plate.timer = kStayFrames;
    plate.state = wsTyping;
  } else if (plate.state == wsIdle && !plate.panel->GetVisible()) {
    Place(plate, kSlideFrames);
    plate.panel->SetVisible(true);
    plate.timer = kSlideFrames;
    plate.state = wsOpening;
  } else if (plate.state == wsClosing) {
    plate.timer = kSlideFrames - plate.timer;
    plate.state = wsOpening;
  }
}

void TSubWinUnit::TPlates::Hide(TPlate& plate, bool immediate) {
  if (immediate) {
    plate.panel->SetVisible(false);
    plate.state = wsIdle;
  } else if ((plate.state == wsIdle && plate.panel->GetVisible()) || plate.state == wsTyping) {
    plate.timer = kSlideFrames;
    plate.state = wsClosing;
  } else if (plate.state == wsOpening) {
    plate.timer = kSlideFrames - plate.timer;
    plate.state = wsClosing;
  }
}

void TSubWinUnit::TPlates::Step(TPlate& plate, bool skip) {
  if (plate.state == wsIdle) return;
  const int at = SlideFrame(plate.state, plate.timer, skip, kSlideFrames, kStayFrames);
  if (at < 0)
    plate.panel->SetVisible(false);
  else
    Place(plate, at);
}

bool TSubWinUnit::TPlates::Frame(int ticks, bool skip) {
  Step(date_, skip);
  Step(time_, skip);
  RunToCalendar(ticks);
  colon_ = static_cast<int>((static_cast<long long>(colon_) + std::max(ticks, 0)) % 30);
  const bool colon = colon_ < 15;
  if (unit_.TimeSep->GetVisible() != colon) unit_.TimeSep->SetVisible(colon);
  return IsBusy();
}

void TSubWinUnit::TPlates::SyncCalendar() {
  const TDateTime now = GameState.Now();
  shown_ = {now.Month, now.Day, now.Hour, now.Minute, PlateSubMinute(GameState.GetSubMinute())};
  ShowDigits();
}

void TSubWinUnit::TPlates::RunToCalendar(int ticks) {
  const TDateTime now = GameState.Now();
  TDateTime shown{shown_.month, shown_.day, shown_.hour, shown_.minute};
  // Shown values that were never taken from the calendar (or that no month holds) cannot run: they jump.
  if (shown.Month < 1 || shown.Month > 12 || shown.Day < 1 || shown.Day > DaysInMonth(shown.Month) ||
      shown.Hour < 0 || shown.Hour > 23 || shown.Minute < 0 || shown.Minute > 59) {
    SyncCalendar();
    return;
  }
  if (CompareDateTime(shown, now) == 0) return;
  long long sub = static_cast<long long>(shown_.subMinute) + std::max(ticks, 0);
  long long minute = shown.Minute + sub / kSubMinutes;
  long long hour = shown.Hour + minute / 60;
  long long day = shown.Day + hour / 24;
  int month = shown.Month;
  while (day > DaysInMonth(month)) {
    day -= DaysInMonth(month);
    month = month % 12 + 1;
  }
  const TDateTime run{month, static_cast<int>(day), static_cast<int>(hour % 24), static_cast<int>(minute % 60)};
  const int subMinute = static_cast<int>(sub % kSubMinutes);
  const int order = CompareDateTime(run, now);
  if (order > 0 || (order == 0 && subMinute > PlateSubMinute(GameState.GetSubMinute()))) {
    SyncCalendar();
    return;
  }
  const bool changed = CompareDateTime(run, shown) != 0;
  shown_ = {run.Month, run.Day, run.Hour, run.Minute, subMinute};
  if (changed) ShowDigits();
}

void TSubWinUnit::TPlates::ShowDigits() {
  struct Pair {
    TZoRGBPanel* tens;
    TZoRGBPanel* units;
    int value;
  };
  const Pair pairs[] = {{unit_.Month1, unit_.Month2, shown_.month},
                        {unit_.Day1, unit_.Day2, shown_.day},
                        {unit_.Hour1, unit_.Hour2, shown_.hour},
                        {unit_.Min1, unit_.Min2, shown_.minute}};
  for (const auto& [tens, units, value] : pairs) {
    tens->SetBlockIndex(value / 10 % 10);
    units->SetBlockIndex(value % 10);
  }
}

// ---- Place plate ------------------------------------------------------------------------------------------------

TSubWinUnit::TPlacePlate::TPlacePlate(TSubWinUnit& unit) : unit_(unit) {}

void TSubWinUnit::TPlacePlate::Reset() {
  state_ = wsIdle;
  timer_ = 0;
}

void TSubWinUnit::TPlacePlate::Attach(TZoRGBPanel* parent) {
  HidePlace();
  unit_.PlaceWin->SetParent(parent);
}

void TSubWinUnit::TPlacePlate::Detach() { unit_.PlaceWin->SetParent(nullptr); }

void TSubWinUnit::TPlacePlate::ReleasePicture() { ReleasePanelImage(unit_.PlaceWin); }

void TSubWinUnit::TPlacePlate::Place(int t) {
  const int w = unit_.PlaceWin->GetSizeX();
  unit_.PlaceWin->SetOffsetX(kLeft - (w + kLeft) * t / kSlideFrames);
}

bool TSubWinUnit::TPlacePlate::ShowPlace(int place) {
  ReleasePicture();
  VXString name;
  name.sprintf("AvgPlace%02d.png", place);
  VXFileMan* files = unit_.GetSystemFiles();
  if (files != nullptr && files->FileIsExist(name) && LoadPanelImage(unit_.PlaceWin, files, name)) {
    Place(kSlideFrames);
    unit_.PlaceWin->SetOffsetY(kTop);
    unit_.PlaceWin->SetVisible(true);
    timer_ = kSlideFrames;
    state_ = wsOpening;
  } else {
    ReleasePicture();
    unit_.PlaceWin->SetVisible(false);
    state_ = wsIdle;
  }
  return IsBusy();
}

void TSubWinUnit::TPlacePlate::HidePlace() {
  ReleasePicture();
  unit_.PlaceWin->SetVisible(false);
  state_ = wsIdle;
  timer_ = 0;
}

bool TSubWinUnit::TPlacePlate::Frame(int, bool skip) {
  if (state_ == wsIdle) return false;
  const int at = SlideFrame(state_, timer_, skip, kSlideFrames, kStayFrames);
  if (at < 0)
    HidePlace();
  else
    Place(at);
  return IsBusy();
}

// ---- Right-click menu -------------------------------------------------------------------------------------------

TSubWinUnit::TMenu::TMenu(TSubWinUnit& unit)
    : TWindow(unit, unit.MenuWin),
      buttons_{unit.MenuBtn1, unit.MenuBtn2, unit.MenuBtn3, unit.MenuBtn4, unit.MenuBtn5,
               unit.MenuBtn6, unit.MenuBtn7, unit.MenuBtn8, unit.MenuBtn9} {
  for (int i = 0; i < kMenuButtons; ++i) Button(i)->SetOffsetY(kButtonTop + kRowStep * i);
  PlaceButtons(INT_MAX / 2);
}

void TSubWinUnit::TMenu::Reset() {
  state_ = wsIdle;
  step_ = 0;
  focus_ = result_ = -1;
}

TZoRGBBtn* TSubWinUnit::TMenu::Button(int index) const {
  return index >= 0 && index < kMenuButtons ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}

int TSubWinUnit::TMenu::IndexOf(const Classes::TComponent* button) const {
  const auto it = std::find(buttons_.begin(), buttons_.end(), button);
  return it == buttons_.end() ? -1 : static_cast<int>(it - buttons_.begin());
}

// Button i stands min(0, 100 x (slide - i)) pixels left of its place, never left of -170: with a slide that grows
// by one a frame the buttons come in one after another, the first first.
void TSubWinUnit::TMenu::PlaceButtons(int slide) {
  for (int i = 0; i < kMenuButtons; ++i) {
    const int home = kButtonLeft + kButtonStep * i;
    const long long lag = std::min(0LL, 100LL * (static_cast<long long>(slide) - i));
    Button(i)->SetOffsetX(static_cast<int>(std::max<long long>(home + lag, kHiddenLeft)));
  }
}

void TSubWinUnit::TMenu::Open(bool immediate) {
  focus_ = -1;
  result_ = -1;
  step_ = 0;
  PlaceButtons(immediate ? INT_MAX / 2 : -INT_MAX / 2);
  root_->SetVisible(true);
  root_->SetModify();
  state_ = immediate ? wsIdle : wsOpening;
}

void TSubWinUnit::TMenu::Close(bool immediate) {
  if (immediate) {
    root_->SetVisible(false);
    state_ = wsIdle;
    return;
  }
  PlaceButtons(INT_MAX / 2);
  step_ = 0;
  state_ = wsClosing;
  root_->SetModify();
}

void TSubWinUnit::TMenu::Frame() {
  if (state_ != wsOpening && state_ != wsClosing) return;
  step_ = std::min(step_ + 1, kMenuSteps);
  root_->SetModify();
  if (state_ == wsOpening) {
    PlaceButtons(step_ - 4);
  } else {
    PlaceButtons(8 - step_);
  }
  if (step_ < kMenuSteps) return;
  if (state_ == wsClosing) root_->SetVisible(false);
  state_ = wsIdle;
}

int TSubWinUnit::TMenu::Grey() const {
  if (state_ == wsOpening || state_ == wsClosing) return FadeGrey(state_, step_, kMenuSteps);
  return kShownGrey;
}

void TSubWinUnit::TMenu::SetEnabled(int index, bool on) {
  if (TZoRGBBtn* button = Button(index)) button->SetEnabled(on);
}

bool TSubWinUnit::TMenu::Usable(int index) const {
  const TZoRGBBtn* button = Button(index);
  return button != nullptr && button->GetVisible() && button->GetEnabled();
}

void TSubWinUnit::TMenu::FocusNext() {
  if (state_ != wsIdle) return;
  focus_ = std::max(focus_, 0);
  while (focus_ < kMenuButtons - 1) {
    ++focus_;
    if (Usable(focus_)) break;
  }
  PointAt(focus_);
}

void TSubWinUnit::TMenu::FocusPrev() {
  if (state_ != wsIdle) return;
  if (focus_ < 0) {
    FocusNext();
    return;
  }
  while (focus_ > 0) {
    --focus_;
    if (Usable(focus_)) break;
  }
  PointAt(focus_);
}

void TSubWinUnit::TMenu::PointAt(int index) const {
  const TZoRGBBtn* button = Button(index);
  if (button == nullptr || GameForm == nullptr) return;
  int x = button->GetSizeX() - 8, y = 8;
  button->ClientToScreen(x, y);
  GameForm->SetMousePos(x, y);
}

void TSubWinUnit::TMenu::ActivateFocused() {
  if (state_ == wsIdle && Usable(focus_)) Choose(Button(focus_));
}

void TSubWinUnit::TMenu::Choose(TZoRGBBtn* button) {
  if (state_ != wsIdle || button == nullptr) return;
  unit_.PlaySystemSe(4);
  result_ = button->GetTag();
  Report();
}

void TSubWinUnit::TMenu::Cancel() {
  result_ = -1;
  Report();
}

void TSubWinUnit::TMenu::Enter(int index) {
  if (state_ != wsIdle || !Usable(index)) return;
  unit_.PlaySystemSe(5);
  focus_ = index;
}

void TSubWinUnit::TMenu::Leave(int index) {
  if (index == focus_) focus_ = -1;
}

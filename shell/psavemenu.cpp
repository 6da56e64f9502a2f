#include "shell/psavemenu.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

#include "core/vxsharedrandom.h"
#include "core/widefile.h"
#include "device/gameservices.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "platform/form.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"
#include "shell/savefile.h"
#include "shell/screenform.h"

namespace pc = platform::component;

TSaveMenu* SaveMenu = nullptr;

namespace {

// The top row the last screen had when it was destroyed.
int lastTop = 0;

constexpr int kCaptionBytes = 23;
constexpr int kLightX = 168, kLightY = 103;
constexpr int kScrollTravel = 91;
enum TSound : int { kSoundOk = 0, kSoundError = 3, kSoundSelect = 7, kSoundButton = 8 };

void RegisterSaveMenu() {
  auto s = pc::RegisterScreen<TSaveMenu>("TSaveMenu");
  using U = TSaveMenu;
  using screenform::Bind;
  for (const auto& [name, handler] :
       {std::pair{"PanelCreate", &U::PanelCreate}, std::pair{"PanelRelease", &U::PanelRelease},
        std::pair{"UpButtonClick", &U::UpButtonClick}, std::pair{"DownButtonClick", &U::DownButtonClick},
        std::pair{"SaveButtonClick", &U::SaveButtonClick}, std::pair{"LoadButtonClick", &U::LoadButtonClick},
        std::pair{"CloseButtonClick", &U::CloseButtonClick}})
    Bind<TNotifyEvent>(s, name, "TNotifyEvent", handler);
  for (const auto& [name, handler] : {std::pair{"SaveDataMouseDown", &U::SaveDataMouseDown},
                                      std::pair{"ScrollBackMouseDown", &U::ScrollBackMouseDown},
                                      std::pair{"ScrollBarMouseDown", &U::ScrollBarMouseDown}})
    Bind<TMouseEvent>(s, name, "TMouseEvent", handler);
  Bind<TMouseMoveEvent>(s, "ScrollBackMouseMove", "TMouseMoveEvent", &U::ScrollBackMouseMove);
  Bind<TMouseMoveEvent>(s, "ScrollBarMouseMove", "TMouseMoveEvent", &U::ScrollBarMouseMove);
  Bind<TMouseWheelEvent>(s, "SaveMenuMouseWheel", "TMouseWheelEvent", &U::SaveMenuMouseWheel);
  s.Field("SaveMenuWin", &U::SaveMenuWin).Field("MenuLight", &U::MenuLight);
  TZoRGBPanel* U::*const rows[] = {&U::SaveData1, &U::SaveData2, &U::SaveData3, &U::SaveData4, &U::SaveData5,
                                   &U::SaveData6, &U::SaveData7, &U::SaveData8, &U::SaveData9, &U::SaveData10};
  TZoRGBText* U::*const infos[] = {&U::SaveInfo1, &U::SaveInfo2, &U::SaveInfo3, &U::SaveInfo4, &U::SaveInfo5,
                                   &U::SaveInfo6, &U::SaveInfo7, &U::SaveInfo8, &U::SaveInfo9, &U::SaveInfo10};
  TZoRGBText* U::*const files[] = {&U::FileInfo1, &U::FileInfo2, &U::FileInfo3, &U::FileInfo4, &U::FileInfo5,
                                   &U::FileInfo6, &U::FileInfo7, &U::FileInfo8, &U::FileInfo9, &U::FileInfo10};
  for (int i = 0; i < TSaveMenu::kRows; ++i) {
    const std::string n = std::to_string(i + 1);
    s.Field("SaveData" + n, rows[i]).Field("SaveInfo" + n, infos[i]).Field("FileInfo" + n, files[i]);
  }
  s.Field("UpButton", &U::UpButton)
      .Field("DownButton", &U::DownButton)
      .Field("ScrollBack", &U::ScrollBack)
      .Field("ScrollBar", &U::ScrollBar)
      .Field("SaveButton", &U::SaveButton)
      .Field("LoadButton", &U::LoadButton)
      .Field("CloseButton", &U::CloseButton);
}

std::string Format(const char* format, int a, int b = 0, int c = 0, int d = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

}  // namespace

TSaveMenu::TSaveMenu(Classes::TComponent* owner) : Classes::TComponent(owner), top_(lastTop) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterSaveMenu);
  platform::form::LoadFormResource(*this, "SaveMenu");
}

TSaveMenu::~TSaveMenu() {
  lastTop = top_;
  Release();
  DestroyComponents();
}

std::array<TZoRGBText*, TSaveMenu::kRows> TSaveMenu::InfoTexts() const {
  return {SaveInfo1, SaveInfo2, SaveInfo3, SaveInfo4, SaveInfo5, SaveInfo6, SaveInfo7, SaveInfo8, SaveInfo9, SaveInfo10};
}

std::array<TZoRGBText*, TSaveMenu::kRows> TSaveMenu::FileTexts() const {
  return {FileInfo1, FileInfo2, FileInfo3, FileInfo4, FileInfo5, FileInfo6, FileInfo7, FileInfo8, FileInfo9, FileInfo10};
}

bool TSaveMenu::Init(VXFileMan* files) {
  Release();
  files_ = files;
  created_ = true;
  if (!SaveMenuWin->AllCreate()) {
    Release();
    return false;
  }
  return true;
}

void TSaveMenu::Release() {
  if (!created_) return;
  Close();
  SaveMenuWin->AllRelease();
  created_ = false;
}

bool TSaveMenu::Open(bool load) {
  if (!created_) return false;
  Close();
  load_ = load;
  open_ = true;
  ReleasePanelImage(SaveMenuWin);
  bool ok = LoadPanelImage(SaveMenuWin, files_, load ? "SaveLoadScreen.png" : "SaveSaveScreen.png");
  SaveButton->SetVisible(!load);
  LoadButton->SetVisible(load);
  SaveButton->SetEnabled(false);
  LoadButton->SetEnabled(false);
  const TGameServices* services = GameServices();
  const VXPixFormat format = services == nullptr || services->GetWorkingBitDepth() == bd32 ? pf32_888 : pf24_888;
  for (const auto& texts : {InfoTexts(), FileTexts()})
    for (TZoRGBText* text : texts) ok = text->MakeBuffer(format) && ok;
  selected_ = -1;
  rows_.fill(TSlotRow{});
  DrawList();
  if (!ok) Close();
  return ok;
}

void TSaveMenu::Close() {
  if (!open_) return;
  ReleasePanelImage(SaveMenuWin);
  for (const auto& texts : {InfoTexts(), FileTexts()})
    for (TZoRGBText* text : texts) text->ReleaseBuffer();
  open_ = false;
}

void TSaveMenu::ProbeSlot(int index) {
  TSlotRow& row = rows_[static_cast<std::size_t>(index)];
  row = TSlotRow{};
  row.probed = true;
  const int slot = index + 1;
  const VXWideStr path = GetSaveFolder() + VXWideStr(SlotFileName(slot).c_str());
  FILETIME time{};
  if (!GetFileWriteTimeW(path.c_wstr(), &time)) return;
  auto state = std::make_unique<TGameState>();
  if (!LoadSlotData(slot, state.get(), nullptr, nullptr, nullptr)) return;
  row.exists = true;
  // A time the packed form cannot hold (before 1980) shows as zeros; the save itself is listed all the same.
  std::uint16_t date = 0, clock = 0;
  if (FileTimeToLocalDosDateTime(time, &date, &clock)) {
    row.year = (date >> 9) + 1980;
    row.month = date >> 5 & 0x0F;
    row.day = date & 0x1F;
    row.hour = clock >> 11;
    row.minute = clock >> 5 & 0x3F;
  }
  row.caption = GetChapterName(state->GetScriptWord(), kCaptionBytes);
  if (row.caption.IsEmpty()) row.caption = VXString(std::string(kCaptionBytes, '-'));
}

void TSaveMenu::DrawList() {
  top_ = std::clamp(top_, 0, kMaxTop);
  const auto infos = InfoTexts();
  const auto files = FileTexts();
  for (int i = 0; i < kRows; ++i) {
    const int index = top_ + i;
    TSlotRow& row = rows_[static_cast<std::size_t>(index)];
    if (!row.probed) ProbeSlot(index);
    if (row.exists) {
      infos[i]->SetText(Format("%2d ", index + 1) + std::string(row.caption.c_str(), row.caption.Length()));
      files[i]->SetText(Format("%2d/%2d %2d:%02d", row.month, row.day, row.hour, row.minute));
      files[i]->SetVisible(true);
    } else {
      infos[i]->SetText(Format("%2d", index + 1));
      files[i]->SetVisible(false);
    }
  }
  ScrollBar->SetOffsetY(top_ * kScrollTravel / kMaxTop);
  ShowSelection();
}

void TSaveMenu::ShowSelection() {
  const bool shown = selected_ >= top_ && selected_ < top_ + kRows;
  if (shown) {
    MenuLight->SetOffsetX(kLightX);
    MenuLight->SetOffsetY((selected_ - top_) * kRowHeight + kLightY);
  }
  MenuLight->SetVisible(shown);
  (load_ ? LoadButton : SaveButton)->SetEnabled(selected_ >= 0);
}

void TSaveMenu::SetTop(int top) {
  top = std::clamp(top, 0, kMaxTop);
  if (top == top_) return;
  top_ = top;
  DrawList();
}

void TSaveMenu::ScrollTo(int y) {
  SetTop(y < 45 ? 0 : y < 136 ? (y * kMaxTop - 4005) / kScrollTravel : kMaxTop);
}

void TSaveMenu::Report(int event) {
  if (callback_.IsValid()) callback_.Invoke(event);
}

void TSaveMenu::Refresh() {
  if (selected_ >= 0) ProbeSlot(selected_);
  DrawList();
}

void TSaveMenu::PanelCreate(Classes::TComponent* sender) { screenform::LoadTextPicture(sender, files_); }

void TSaveMenu::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TSaveMenu::SaveDataMouseDown(Classes::TComponent* sender, TMouseButton, TShiftState, int, int) {
  if (!open_ || sender == nullptr) return;
  const int index = top_ + static_cast<int>(sender->GetTag());
  if (index < 0 || index >= kSlots) return;
  screenform::PlaySystemSe(kSoundSelect);
  if (load_ && !rows_[static_cast<std::size_t>(index)].exists) return;
  selected_ = index;
  ShowSelection();
}

void TSaveMenu::UpButtonClick(Classes::TComponent*) {
  if (open_ && top_ > 0) SetTop(top_ - 1);
}

void TSaveMenu::DownButtonClick(Classes::TComponent*) {
  if (open_ && top_ < kMaxTop) SetTop(top_ + 1);
}

void TSaveMenu::ScrollBackMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int y) {
  if (open_ && button == mbLeft) ScrollTo(y);
}

void TSaveMenu::ScrollBackMouseMove(Classes::TComponent*, TShiftState shift, int, int y) {
  if (open_ && shift.Contains(ssLeft)) ScrollTo(y);
}

void TSaveMenu::ScrollBarMouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int, int y) {
  if (open_ && button == mbLeft) ScrollTo(y + ScrollBar->GetOffsetY());
}

void TSaveMenu::ScrollBarMouseMove(Classes::TComponent*, TShiftState shift, int, int y) {
  if (open_ && shift.Contains(ssLeft)) ScrollTo(y + ScrollBar->GetOffsetY());
}

void TSaveMenu::SaveMenuMouseWheel(Classes::TComponent*, TShiftState, int wheelDelta, const TPoint&, bool& handled) {
  if (!open_) return;
  if (wheelDelta > 0) UpButtonClick(nullptr);
  if (wheelDelta < 0) DownButtonClick(nullptr);
  handled = true;
}

void TSaveMenu::SaveButtonClick(Classes::TComponent*) {
  if (!open_ || load_ || selected_ < 0) return;
  screenform::PlaySystemSe(kSoundButton);
  const bool saved = SaveSlotState(selected_ + 1);
  if (saved) {
    if (GameForm != nullptr)
      GameForm->PlayVoice(files_, Format("SysVoice02_%02d", VXSharedRandom(5) + 1).c_str());
  } else {
    screenform::PlaySystemSe(kSoundError);
  }
  Refresh();
  if (saved) Report(kDone);
}

void TSaveMenu::LoadButtonClick(Classes::TComponent*) {
  if (!open_ || !load_ || selected_ < 0) return;
  screenform::PlaySystemSe(kSoundButton);
  const bool loaded = LoadSlotToState(selected_ + 1);
  screenform::PlaySystemSe(loaded ? kSoundOk : kSoundError);
  Refresh();
  if (loaded) Report(kDone);
}

void TSaveMenu::CloseButtonClick(Classes::TComponent*) {
  if (!open_) return;
  screenform::PlaySystemSe(kSoundButton);
  selected_ = -1;
  Report(kClosed);
}

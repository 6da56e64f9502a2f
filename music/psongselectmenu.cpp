#include "music/psongselectmenu.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "core/vxfileman.h"
#include "device/gameservices.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "music/musicdef.h"
#include "platform/form.h"
#include "platform/fs.h"
#include "platform/input.h"
#include "platform/text.h"
#include "shell/gamedata.h"
#include "shell/gamefunc.h"
#include "shell/screenform.h"

namespace pc = platform::component;

TSongSelectMenu* SongSelectMenu = nullptr;

namespace {

enum TSound : int { kSoundPage = 1, kSoundHover = 7, kSoundButton = 8, kSoundOption = 9 };
namespace vk = platform::input::vk;
enum TLevel : std::uint8_t { kNormal = 0, kHard = 1, kEasy = 2 };

constexpr char kStoryCode[] = "QM";
constexpr int kTitleWidth = 324, kTitleHeight = 135;  // the part of an old title picture that is shown
constexpr int kTitleX = -16, kTitleY = -2;
constexpr std::uint32_t kSongIdTone = 0x404040;

void RegisterSongSelectMenu() {
  auto s = pc::RegisterScreen<TSongSelectMenu>("TSongSelectMenu");
  using U = TSongSelectMenu;
  using screenform::Bind;
  // The panels' pictures come and go with the panels, also while the screen opens and closes.
  for (const auto& [name, handler] :
       {std::pair{"PanelCreate", &U::PanelCreate}, std::pair{"PanelRelease", &U::PanelRelease},
        std::pair{"SongIDTextCreate", &U::SongIDTextCreate}, std::pair{"SongIDTextRelease", &U::SongIDTextRelease}})
    Bind<TNotifyEvent>(s, name, "TNotifyEvent", handler);
  for (const auto& [name, handler] :
       {std::pair{"BtnMouseEnter", &U::BtnMouseEnter}, std::pair{"SongSelPanelAnime", &U::SongSelPanelAnime},
        std::pair{"BtnNextClick", &U::BtnNextClick}, std::pair{"BtnBackClick", &U::BtnBackClick},
        std::pair{"BtnPlayClick", &U::BtnPlayClick}, std::pair{"BtnExitClick", &U::BtnExitClick},
        std::pair{"BtnEasyClick", &U::BtnEasyClick}, std::pair{"BtnNormalClick", &U::BtnNormalClick},
        std::pair{"BtnHardClick", &U::BtnHardClick}, std::pair{"BtnAutoOnClick", &U::BtnAutoOnClick},
        std::pair{"BtnAutoOffClick", &U::BtnAutoOffClick}})
    s.OpenHandler<TNotifyEvent>(name, "TNotifyEvent", handler);
  s.OpenHandler<TKeyEvent>("SongSelPanelKeyDown", "TKeyEvent", &U::SongSelPanelKeyDown);
  s.OpenHandler<TZoDrawEvent>("SongIDBackDraw", "TZoDrawEvent", &U::SongIDBackDraw);
  s.Field("SongSelPanel", &U::SongSelPanel)
      .Field("PanelSongTitle", &U::PanelSongTitle)
      .Field("PanelSongInfo", &U::PanelSongInfo)
      .Field("BtnNext", &U::BtnNext)
      .Field("BtnBack", &U::BtnBack)
      .Field("BtnPlay", &U::BtnPlay)
      .Field("BtnExit", &U::BtnExit)
      .Field("PanelSongFrame", &U::PanelSongFrame)
      .Field("BtnEasy", &U::BtnEasy)
      .Field("BtnNormal", &U::BtnNormal)
      .Field("BtnHard", &U::BtnHard)
      .Field("BtnAutoOn", &U::BtnAutoOn)
      .Field("BtnAutoOff", &U::BtnAutoOff)
      .Field("SongIDBack", &U::SongIDBack)
      .Field("SongIDText", &U::SongIDText);
}

VXString StorySongName(int n) {
  char name[8];
  std::snprintf(name, sizeof name, "%s%02d", kStoryCode, n);
  return VXString(name);
}

// A story song is listed unless the story hides it ("STORY=ON" from version 200) and has not opened it yet.
bool StorySongListed(int n, const TSongInfo& info) {
  const bool hidden = info.version >= kOptionsVersion && GetOptionValue("STORY", info.options) == "ON";
  return !hidden || MusicSongAll.load() != 0 || SystemData.IsSongEnabled(n);
}

bool OtherSongListed(const TSongInfo& info) {
  return info.version < kOptionsVersion || !(GetOptionValue("COMPATIBLE", info.options) == "OFF");
}

VXPixFormat WorkingPixFormat() {
  const TGameServices* services = GameServices();
  return services != nullptr && services->GetWorkingBitDepth() == bd24 ? pf24_888 : pf32_888;
}

}  // namespace

TSongSelectMenu::TSongSelectMenu(Classes::TComponent* owner) : Classes::TComponent(owner) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterSongSelectMenu);
  platform::form::LoadFormResource(*this, "SongSelectMenu");
}

TSongSelectMenu::~TSongSelectMenu() {
  Close();
  DestroyComponents();
}

bool TSongSelectMenu::Open(VXFileMan* dataFiles) {
  Close();
  dataFiles_ = dataFiles;
  open_ = true;
  picturesLoaded_ = true;
  bool ok = SongSelPanel->AllCreate() && picturesLoaded_ && CreatePanelImageOwnSize(PanelSongTitle, mmAlpha);
  if (ok) {
    VXStream* mask = dataFiles_ != nullptr ? dataFiles_->Open("SSelTitleMask.bmp") : nullptr;
    ok = mask != nullptr && PanelSongTitle->GetAlpha()->LoadIndexStream(mask, 0, 0);
    if (mask != nullptr) dataFiles_->Close(mask);
  }
  index_ = 0;
  selected_ = {};
  ok = ok && ScanSongs() > 0;
  if (!ok) Close();
  return ok;
}

void TSongSelectMenu::Close() {
  if (!open_) return;
  songs_.clear();
  ReleasePanelImage(PanelSongTitle);
  ReleasePanelImage(PanelSongInfo);
  SongSelPanel->AllRelease();
  open_ = false;
}

bool TSongSelectMenu::Refresh() {
  if (!open_) return false;
  ShowLevel();
  ShowAuto();
  return ShowSong(index_);
}

void TSongSelectMenu::ShowLevel() {
  BtnEasy->SetSelected(UserConfig.MusicRankMode == kEasy);
  BtnNormal->SetSelected(UserConfig.MusicRankMode == kNormal);
  BtnHard->SetSelected(UserConfig.MusicRankMode == kHard);
}

void TSongSelectMenu::ShowAuto() {
  BtnAutoOn->SetSelected(UserConfig.MusicAutoMode == 1);
  BtnAutoOff->SetSelected(UserConfig.MusicAutoMode == 0);
}

int TSongSelectMenu::ScanSongs() {
  songs_.clear();
  const auto listed = [this](const TSongID& id) {
    return std::any_of(songs_.begin(), songs_.end(), [&id](const TSongID& s) { return s == id; });
  };
  TSongInfo info;
  for (int n = 1; n <= kStorySongs; ++n) {
    const TSongID id = StrToSongId(StorySongName(n));
    if (ReadSongInfo(false, &info, id) && StorySongListed(n, info)) songs_.push_back(id);
  }
  for (const platform::fs::Entry& entry : platform::fs::ListFolder(platform::fs::ToHostPath("Song"))) {
    const std::optional<std::string> cp932 = platform::text::Utf8ToCp932(entry.name);
    if (!entry.isFolder || !cp932) continue;
    const VXString name = VXString(cp932->c_str()).UpperCase();
    if (name.Length() != 4 || name.AnsiPos(kStoryCode) == 1) continue;
    const TSongID id = StrToSongId(name);
    // Names that differ only in case are one song to the game.
    if (!listed(id) && ReadSongInfo(false, &info, id) && OtherSongListed(info)) songs_.push_back(id);
  }
  std::stable_sort(songs_.begin(), songs_.end(),
                   [](const TSongID& a, const TSongID& b) { return CompareSongId(a.data(), b.data()) < 0; });
  if (index_ < 0 || index_ >= GetSongCount()) index_ = 0;
  return GetSongCount();
}

TSongID TSongSelectMenu::GetSong(int index) const {
  return index >= 0 && index < GetSongCount() ? songs_[static_cast<std::size_t>(index)] : TSongID{};
}

bool TSongSelectMenu::ShowSong(int index) {
  if (!open_ || index < 0 || index >= GetSongCount()) return false;
  VXFileMan songFiles;
  if (!OpenSongPart(songFiles, SongFolderName(GetSong(index)) + "\\song")) return false;
  ReleasePanelImage(PanelSongInfo);
  DrawTitle(songFiles);
  return LoadPanelImage(PanelSongInfo, &songFiles, "songdata.png");
}

bool TSongSelectMenu::DrawTitle(VXFileMan& songFiles) {
  TZoRGBBits* title = PanelSongTitle->GetImage();
  if (title == nullptr) return false;
  bool ok;
  if (songFiles.FileIsExist("songtitle2.png")) {
    ok = DrawImageFile(title, nullptr, 0, 0, &songFiles, "songtitle2.png");
  } else {
    // The older picture: its middle part, enlarged to the panel by area averaging.
    TZoRGBBits part(nullptr);
    part.SetBitDepth(title->GetBitDepth());
    part.SetWidth(kTitleWidth);
    part.SetHeight(kTitleHeight);
    ok = part.Create() && DrawImageFile(&part, nullptr, kTitleX, kTitleY, &songFiles, "songtitle.png") &&
         part.Lock();
    if (ok) {
      if (title->Lock()) {
        const auto stretch = title->GetBitDepth() == bd24 ? &SmoothStretchCopy24 : &SmoothStretchCopy32;
        stretch(part.GetBits(), kTitleWidth, kTitleHeight, part.GetPitch(), title->GetBits(), title->GetWidth(),
                title->GetHeight(), title->GetPitch());
        title->Unlock();
      } else {
        ok = false;
      }
      part.Unlock();
    }
  }
  PanelSongTitle->SetModify();
  return ok;
}

void TSongSelectMenu::Step(int by) {
  // An empty list has no next or previous song (and nothing to divide by).
  const int count = GetSongCount();
  if (count == 0) return;
  index_ = ((index_ + by) % count + count) % count;
  ShowSong(index_);
  screenform::PlaySystemSe(kSoundPage);
}

void TSongSelectMenu::PanelCreate(Classes::TComponent* sender) {
  if (!screenform::LoadTextPicture(sender, dataFiles_)) picturesLoaded_ = false;
}

void TSongSelectMenu::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TSongSelectMenu::BtnMouseEnter(Classes::TComponent*) { screenform::PlaySystemSe(kSoundHover); }

void TSongSelectMenu::SongSelPanelAnime(Classes::TComponent*) {}

void TSongSelectMenu::BtnNextClick(Classes::TComponent*) { Step(1); }

void TSongSelectMenu::BtnBackClick(Classes::TComponent*) { Step(-1); }

void TSongSelectMenu::BtnPlayClick(Classes::TComponent*) {
  if (GetSongCount() == 0) return;
  screenform::PlaySystemSe(kSoundButton);
  selected_ = GetSong(index_);
  screenform::NotifyMainThread(kPlay);
}

void TSongSelectMenu::BtnExitClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kSoundButton);
  screenform::NotifyMainThread(kExit);
}

void TSongSelectMenu::BtnEasyClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kSoundOption);
  UserConfig.MusicRankMode = kEasy;
  ShowLevel();
}

void TSongSelectMenu::BtnNormalClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kSoundOption);
  UserConfig.MusicRankMode = kNormal;
  ShowLevel();
}

void TSongSelectMenu::BtnHardClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kSoundOption);
  UserConfig.MusicRankMode = kHard;
  ShowLevel();
}

void TSongSelectMenu::BtnAutoOnClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kSoundOption);
  UserConfig.MusicAutoMode = 1;
  ShowAuto();
}

void TSongSelectMenu::BtnAutoOffClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kSoundOption);
  UserConfig.MusicAutoMode = 0;
  ShowAuto();
}

void TSongSelectMenu::SongSelPanelKeyDown(Classes::TComponent*, unsigned short& key, TShiftState) {
  struct Binding {
    unsigned short key;
    TZoRGBBtn* TSongSelectMenu::*button;
    void (TSongSelectMenu::*click)(Classes::TComponent*);
  };
  static constexpr Binding kBindings[] = {
      {vk::kLeft, &TSongSelectMenu::BtnBack, &TSongSelectMenu::BtnBackClick},
      {vk::kRight, &TSongSelectMenu::BtnNext, &TSongSelectMenu::BtnNextClick},
      {vk::kReturn, &TSongSelectMenu::BtnPlay, &TSongSelectMenu::BtnPlayClick},
      {vk::kSpace, &TSongSelectMenu::BtnPlay, &TSongSelectMenu::BtnPlayClick},
      {vk::kEscape, &TSongSelectMenu::BtnExit, &TSongSelectMenu::BtnExitClick},
  };
  for (const Binding& b : kBindings) {
    TZoRGBBtn* button = this->*b.button;
    if (b.key == key && button->GetEnabled()) (this->*b.click)(button);
  }
}

bool TSongSelectMenu::SongIDBackDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int, int, int dx,
                                     int dy) {
  if (dx > 0 && dy > 0) dest->ToneChange(x, y, x + dx - 1, y + dy - 1, kSongIdTone);
  return true;
}

void TSongSelectMenu::SongIDTextCreate(Classes::TComponent*) { SongIDText->MakeBuffer(WorkingPixFormat()); }

void TSongSelectMenu::SongIDTextRelease(Classes::TComponent*) { SongIDText->ReleaseBuffer(); }

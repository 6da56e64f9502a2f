#include "music/psongscoremenu.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "music/musicdef.h"
#include "platform/form.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/screenform.h"

namespace pc = platform::component;

TSongScoreMenu* SongScoreMenu = nullptr;

namespace {

constexpr int kPageSound = 1;
constexpr int kLeaveSound = 8;
constexpr char kNormal = 0, kHard = 1, kEasy = 2;
constexpr const char* kGlyphPicture = "RankAlphabet.png";
constexpr const char* kDigitPicture = "RankNum.png";
constexpr const char* kSongPicture = "songname.png";

void RegisterSongScoreMenu() {
  auto s = pc::RegisterScreen<TSongScoreMenu>("TSongScoreMenu");
  using U = TSongScoreMenu;
  // The pictures load while Open creates the panels, before the screen counts as open.
  screenform::Bind<TNotifyEvent>(s, "PanelCreate", "TNotifyEvent", &U::PanelCreate);
  screenform::Bind<TNotifyEvent>(s, "PanelRelease", "TNotifyEvent", &U::PanelRelease);
  for (const auto& [name, handler] :
       {std::pair{"BtnEasyClick", &U::BtnEasyClick}, std::pair{"BtnNormalClick", &U::BtnNormalClick},
        std::pair{"BtnHardClick", &U::BtnHardClick}, std::pair{"BtnFwdClick", &U::BtnFwdClick},
        std::pair{"BtnBackClick", &U::BtnBackClick}, std::pair{"BtnExitClick", &U::BtnExitClick}})
    s.OpenHandler<TNotifyEvent>(name, "TNotifyEvent", handler);
  s.Field("SongScorePanel", &U::SongScorePanel)
      .Field("BtnEasy", &U::BtnEasy)
      .Field("BtnNormal", &U::BtnNormal)
      .Field("BtnHard", &U::BtnHard)
      .Field("BtnBack", &U::BtnBack)
      .Field("BtnFwd", &U::BtnFwd)
      .Field("NumCurPg", &U::NumCurPg)
      .Field("NumMaxPg", &U::NumMaxPg)
      .Field("BtnExit", &U::BtnExit);
}

template <class T>
T* Row(const Classes::TComponent& screen, const char* prefix, int row) {
  const std::string name = prefix + std::to_string(row);
  auto* component = dynamic_cast<T*>(screen.FindComponent(name));
  if (component == nullptr) throw platform::form::EFormError("SongScoreMenu.form", 0, name + " is missing");
  return component;
}

}  // namespace

TSongScoreMenu::TSongScoreMenu(Classes::TComponent* owner) : Classes::TComponent(owner) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterSongScoreMenu);
  platform::form::LoadFormResource(*this, "SongScoreMenu");
  for (int i = 0; i < kRows; ++i)
    rows_[static_cast<std::size_t>(i)] = {Row<TZoRGBPanel>(*this, "PanelBase", i),
                                          Row<TZoRGBPanel>(*this, "PanelSong", i),
                                          Row<TZoRGBPanel>(*this, "PanelName", i), Row<TZoRGBNum>(*this, "NumScore", i)};
}

TSongScoreMenu::~TSongScoreMenu() {
  Close();
  DestroyComponents();
}

bool TSongScoreMenu::Open() {
  Close();
  files_ = FileMan;
  picturesOk_ = true;
  open_ = true;
  glyphs_.SetFiles(files_);
  bool ok = SongScorePanel->AllCreate() && picturesOk_ && glyphs_.Load(kGlyphPicture) &&
            digits_.Load(files_, kDigitPicture, Numbers());
  for (const TRow& row : rows_)
    ok = ok && CreatePanelImage(row.name, RankingName::kNameLength * RankingName::kCellWidth,
                                 RankingName::kCellHeight, mmAlpha);
  if (!ok) {
    Close();
    return false;
  }
  for (const TRow& row : rows_) row.base->SetVisible(false);
  return true;
}

void TSongScoreMenu::Close() {
  if (!open_) return;
  for (const TRow& row : rows_) {
    ReleasePanelImage(row.song);
    ReleasePanelImage(row.name);
  }
  digits_.Release(Numbers());
  SongScorePanel->AllRelease();
  open_ = false;
}

std::vector<TZoRGBNum*> TSongScoreMenu::Numbers() const {
  std::vector<TZoRGBNum*> numbers{NumCurPg, NumMaxPg};
  for (const TRow& row : rows_) numbers.push_back(row.score);
  return numbers;
}

template <class Take>
void TSongScoreMenu::ForEachSong(char level, Take take) const {
  for (int slot = 0; slot < TSystemData::kSongSlots; ++slot) {
    const TSongID id = SystemData.GetSongId(slot);
    if (id[0] == 0) continue;
    const int score = SystemData.GetScore(level, id);
    if (score <= 0 || !ReadSongInfo(false, nullptr, id)) continue;
    if (!take(id, score)) return;
  }
}

int TSongScoreMenu::CountPages() const {
  int songs = 0;
  ForEachSong(level_, [&songs](const TSongID&, int) {
    ++songs;
    return true;
  });
  return (songs + kRows - 1) / kRows;
}

bool TSongScoreMenu::GetPage(int page, TEntries& entries) const {
  entries.fill(TEntry{});
  if (page < 0) return false;
  int skip = kRows * page, filled = 0;
  ForEachSong(level_, [&](const TSongID& id, int score) {
    if (skip > 0) {
      --skip;
      return true;
    }
    entries[static_cast<std::size_t>(filled++)] = {id, score};
    return filled < kRows;
  });
  return filled > 0;
}

bool TSongScoreMenu::HasEntries(char level) const {
  bool found = false;
  ForEachSong(level, [&found](const TSongID&, int) {
    found = true;
    return false;
  });
  return found;
}

bool TSongScoreMenu::ShowPage(int page) {
  if (!open_ || page < 0 || (page > 0 && page >= pages_)) return false;
  TEntries entries;
  GetPage(page, entries);
  for (int i = 0; i < kRows; ++i) {
    const TRow& row = rows_[static_cast<std::size_t>(i)];
    const TEntry& entry = entries[static_cast<std::size_t>(i)];
    if (entry.score < 0) {
      row.base->SetVisible(false);
      continue;
    }
    if (!LoadSongImage(row.song, kSongPicture, entry.id)) ReleasePanelImage(row.song);
    glyphs_.Draw(row.name, SystemData.GetRankName(level_, entry.id));
    row.score->SetNumber(entry.score);
    row.base->SetVisible(true);
  }
  NumCurPg->SetNumber(page + 1);
  NumMaxPg->SetNumber(pages_);
  BtnBack->SetEnabled(page > 0);
  BtnFwd->SetEnabled(page < pages_ - 1);
  page_ = page;
  return true;
}

bool TSongScoreMenu::SetLevel(char level) {
  if (!open_ || level < kNormal || level > kEasy) return false;
  level_ = level;
  pages_ = CountPages();
  if (!ShowPage(0)) return false;
  ShowLevelButtons();
  return true;
}

void TSongScoreMenu::ShowLevelButtons() {
  const std::pair<TZoRGBBtn*, char> buttons[] = {{BtnNormal, kNormal}, {BtnHard, kHard}, {BtnEasy, kEasy}};
  for (const auto& [button, level] : buttons) {
    button->SetEnabled(HasEntries(level));
    button->SetSelected(level == level_);
  }
}

void TSongScoreMenu::ChangeLevel(char level) {
  if (level == level_) return;
  screenform::PlaySystemSe(kPageSound);
  SetLevel(level);
}

// ---- Handlers ---------------------------------------------------------------------------------------------------

void TSongScoreMenu::PanelCreate(Classes::TComponent* sender) {
  if (!screenform::LoadTextPicture(sender, files_)) picturesOk_ = false;
}

void TSongScoreMenu::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TSongScoreMenu::BtnEasyClick(Classes::TComponent*) { ChangeLevel(kEasy); }
void TSongScoreMenu::BtnNormalClick(Classes::TComponent*) { ChangeLevel(kNormal); }
void TSongScoreMenu::BtnHardClick(Classes::TComponent*) { ChangeLevel(kHard); }

void TSongScoreMenu::BtnFwdClick(Classes::TComponent*) {
  if (page_ >= pages_ - 1) return;
  screenform::PlaySystemSe(kPageSound);
  ShowPage(page_ + 1);
}

void TSongScoreMenu::BtnBackClick(Classes::TComponent*) {
  if (page_ <= 0) return;
  screenform::PlaySystemSe(kPageSound);
  ShowPage(page_ - 1);
}

void TSongScoreMenu::BtnExitClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kLeaveSound);
  screenform::NotifyMainThread(0);
}

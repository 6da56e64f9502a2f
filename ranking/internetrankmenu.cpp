#include "ranking/internetrankmenu.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

#include "device/gameservices.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "platform/clipboard.h"
#include "platform/form.h"
#include "platform/input.h"
#include "platform/text.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "shell/screenform.h"
#include "shell/systemdata.h"

namespace pc = platform::component;

TInternetRankMenu* InternetRankMenu = nullptr;

namespace {

std::atomic<TInternetRankMenu::TConnectedTest> connectedTest{nullptr};

enum TSound : int { kSoundClick = 1, kSoundAttention = 2, kSoundHover = 5, kSoundExit = 8 };

namespace vk = platform::input::vk;

constexpr int kNoteX[2] = {36, 331};
constexpr int kCursorX[2] = {56, 351};
constexpr int kRowStep = 33;
constexpr int kCaretX = 65, kCaretStep = 6;
constexpr int kCaretY[2] = {72, 88};

using Lines = const char* const[4];
// The messages (UTF-8 here; shown in CP932).
constexpr Lines kConnecting = {"", "インターネットに", "接続中……", ""};
constexpr Lines kOffline = {"インターネットに", "接続されていません。", "接続してからやり直して下さい。", ""};
constexpr Lines kListFailed = {"通信に失敗しました。", "サーバーから曲リストが", "取得できませんでした。", ""};
constexpr Lines kRankingFailed = {"通信に失敗しました。", "サーバーからランキングが", "取得できませんでした。", ""};
constexpr Lines kUploadFailed = {"通信に失敗しました。", "サーバーにスコアを", "登録できませんでした。", ""};
constexpr Lines kAuthFailed = {"■ユーザ認証失敗", "このIDはBELVARのユーザー登録が", "されていないか、ID又はPasswordが",
                               "間違っています。"};
constexpr Lines kEnterIdPassword = {"IDとPasswordを入力して下さい。", "ESCキーでキャンセルできます。", nullptr, nullptr};

std::string Sjis(const char* utf8) { return platform::text::Utf8ToCp932(utf8).value_or(""); }

std::string Format(const char* format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Text(const VXString& s) { return std::string(s.c_str(), s.Length()); }

void RegisterInternetRankMenu() {
  auto s = pc::RegisterScreen<TInternetRankMenu>("TInternetRankMenu");
  using U = TInternetRankMenu;
  for (const auto& [name, handler] :
       {std::pair{"BtnExitClick", &U::BtnExitClick}, std::pair{"BtnBackPageClick", &U::BtnBackPageClick},
        std::pair{"BtnNextPageClick", &U::BtnNextPageClick}, std::pair{"BtnOKClick", &U::BtnOKClick},
        std::pair{"BtnEasyClick", &U::BtnEasyClick}, std::pair{"BtnNormalClick", &U::BtnNormalClick},
        std::pair{"BtnHardClick", &U::BtnHardClick}, std::pair{"SongListAreaMouseEnter", &U::SongListAreaMouseEnter},
        std::pair{"SongListAreaMouseLeave", &U::SongListAreaMouseLeave},
        std::pair{"BtnSongSelClick", &U::BtnSongSelClick}, std::pair{"BtnUploadClick", &U::BtnUploadClick}})
    s.OpenHandler<TNotifyEvent>(name, "TNotifyEvent", handler);
  // The panels' picture and text buffers come and go with the panels, also while the screen opens and closes.
  for (const auto& [name, handler] :
       {std::pair{"PanelCreate", &U::PanelCreate}, std::pair{"PanelRelease", &U::PanelRelease},
        std::pair{"TextCreate", &U::TextCreate}, std::pair{"TextRelease", &U::TextRelease}})
    screenform::Bind<TNotifyEvent>(s, name, "TNotifyEvent", handler);
  for (const auto& [name, handler] : {std::pair{"SongListAreaMouseDown", &U::SongListAreaMouseDown},
                                      std::pair{"MesText3MouseDown", &U::MesText3MouseDown},
                                      std::pair{"MesText4MouseDown", &U::MesText4MouseDown}})
    s.OpenHandler<TMouseEvent>(name, "TMouseEvent", handler);
  s.OpenHandler<TKeyEvent>("MessageWinKeyDown", "TKeyEvent", &U::MessageWinKeyDown);
  s.OpenHandler<TKeyPressEvent>("MessageWinKeyPress", "TKeyPressEvent", &U::MessageWinKeyPress);
  s.Field("InternetRankingPanel", &U::InternetRankingPanel)
      .Field("BtnSongSel", &U::BtnSongSel)
      .Field("BtnEasy", &U::BtnEasy)
      .Field("BtnNormal", &U::BtnNormal)
      .Field("BtnHard", &U::BtnHard)
      .Field("BtnBackPage", &U::BtnBackPage)
      .Field("BtnNextPage", &U::BtnNextPage)
      .Field("TxtCurPage", &U::TxtCurPage)
      .Field("TxtMaxPage", &U::TxtMaxPage)
      .Field("TxtSongTitle", &U::TxtSongTitle)
      .Field("BtnUpload", &U::BtnUpload)
      .Field("BtnExit", &U::BtnExit)
      .Field("SongNote", &U::SongNote)
      .Field("SongCursor", &U::SongCursor)
      .Field("YourPointsTag", &U::YourPointsTag)
      .Field("DialogPanel", &U::DialogPanel)
      .Field("MessageWin", &U::MessageWin)
      .Field("InputFrame", &U::InputFrame)
      .Field("BtnOK", &U::BtnOK)
      .Field("Caret", &U::Caret)
      .Field("YourPoints", &U::YourPoints);
  for (std::size_t i = 0; i < U::kSongsPerPage; ++i) {
    const std::string n = Format("%02d", static_cast<int>(i));
    s.Field("SongList" + n, &U::SongList, i).Field("SongListArea" + n, &U::SongListArea, i);
  }
  for (std::size_t i = 0; i < U::kPlacesPerPage; ++i) {
    const std::string n = Format("%02d", static_cast<int>(i));
    s.Field("RankNum" + n, &U::RankNum, i).Field("RankPoint" + n, &U::RankPoint, i).Field("RankName" + n, &U::RankName, i);
  }
  for (std::size_t i = 0; i < 4; ++i) s.Field("MesText" + std::to_string(i + 1), &U::MesText, i);
}

bool IsBusy(int state) {
  return state == TInternetRankMenu::rsConnectList || state == TInternetRankMenu::rsConnectRanking ||
         state == TInternetRankMenu::rsEntry || state == TInternetRankMenu::rsConnectUpload;
}

int Pages(int count, int perPage) { return (count + perPage - 1) / perPage; }

// Clipboard text as typed bytes: CP932, at most 64 bytes, never ending inside a double-byte character. Main
// thread (the clipboard's text needs it); the bytes reach the screen as the window's key presses.
void PasteOnMainThread(TGameForm* form) {
  const std::u16string text = platform::text::Utf8ToUtf16(platform::clipboard::Current().GetText());
  const VXString cut = CutRecordText(VXString(platform::text::Utf16ToCp932Lossy(text).c_str()),
                                     TInternetRankMenu::kFieldBytes);
  for (const char c : Text(cut)) form->FormKeyPress(c);
}

}  // namespace

TInternetRankMenu::TInternetRankMenu(Classes::TComponent* owner) : Classes::TComponent(owner) {
  static std::once_flag once;
  screenform::RegisterScreenOnce(once, RegisterInternetRankMenu);
  platform::form::LoadFormResource(*this, "InternetRankMenu");
}

TInternetRankMenu::~TInternetRankMenu() {
  Close();
  DestroyComponents();
}

void TInternetRankMenu::SetConnectedTest(TConnectedTest test) { connectedTest.store(test); }

VXString TInternetRankMenu::CutText(const VXString& text, int n) {
  if (static_cast<int>(text.Length()) <= n) return text;
  return CutRecordText(text, n - 2) + VXString(Sjis("…").c_str());
}

bool TInternetRankMenu::IsAllowedChar(unsigned char c) {
  static constexpr std::string_view kRefused = "()<>,;:\\\"[]";
  return c >= 33 && c <= 126 && kRefused.find(static_cast<char>(c)) == std::string_view::npos;
}

// ---- Life cycle ----------------------------------------------------------------------------------------------

bool TInternetRankMenu::Open() {
  Close();
  files_ = FileMan;
  open_ = true;
  const bool ok = InternetRankingPanel->AllCreate() && LoadImageFile(&backSel_, nullptr, files_, "RankBGNetSel.jpg") &&
                  LoadImageFile(&backRank_, nullptr, files_, "RankBGNetRank.jpg");
  if (!ok) {
    Close();
    return false;
  }
  songIds_.Clear();
  songTitles_.Clear();
  rankNames_.Clear();
  rankCount_ = 0;
  entry_ = {};
  entry_[fdUserId].text = Text(SystemData.GetRankingUserId());
  field_ = fdUserId;
  const TRankingSettings settings = LoadRankingSettings();
  connection_ = TRankingConnection{settings.server, TSslSettings{}};
  connection_.ssl.caFile = settings.caFile;
  InternetRankingPanel->SetMaskMode(mmOpaque);
  return true;
}

void TInternetRankMenu::Close() {
  if (!open_) return;
  InternetRankingPanel->SetImage(nullptr);
  InternetRankingPanel->AllRelease();
  if (TGameServices* game = GameServices()) {
    for (TZoRGBBits* back : {backSel_, backRank_})
      if (back != nullptr) game->GetMemMan().Delete(back);
  }
  backSel_ = backRank_ = nullptr;
  songIds_.Clear();
  songTitles_.Clear();
  rankNames_.Clear();
  entry_ = {};  // the password goes with the screen
  state_ = rsClosed;
  open_ = false;
}

void TInternetRankMenu::PanelCreate(Classes::TComponent* sender) { screenform::LoadTextPicture(sender, files_); }

void TInternetRankMenu::PanelRelease(Classes::TComponent* sender) { screenform::ReleaseTextPicture(sender); }

void TInternetRankMenu::TextCreate(Classes::TComponent* sender) {
  auto* text = dynamic_cast<TZoRGBText*>(sender);
  if (text == nullptr) return;
  const TGameServices* services = GameServices();
  text->MakeBuffer(services == nullptr || services->GetWorkingBitDepth() == bd32 ? pf32_888 : pf24_888);
}

void TInternetRankMenu::TextRelease(Classes::TComponent* sender) {
  if (auto* text = dynamic_cast<TZoRGBText*>(sender)) text->ReleaseBuffer();
}

// ---- Network steps -------------------------------------------------------------------------------------------

template <class Request>
int TInternetRankMenu::Networked(Request request) {
  auto cancel = std::make_shared<TSslCancel>();
  Classes::TThread* thread = GameForm != nullptr ? GameForm->GetGameThread() : nullptr;
  if (thread != nullptr) {
    thread->SetTerminateHook([cancel] { cancel->Cancel(); });
    if (thread->GetTerminated()) cancel->Cancel();
  }
  TRankingConnection connection = connection_;
  connection.ssl.cancelFd = cancel->Fd();
  const int result = request(connection);
  if (thread != nullptr) thread->SetTerminateHook({});
  return result;
}

bool TInternetRankMenu::NoConnection() {
  const TConnectedTest test = connectedTest.load();
  if ((test != nullptr ? test : &IsInternetConnected)(connection_.host)) return false;
  ShowMessage(mkLeave, kOffline);
  return true;
}

bool TInternetRankMenu::LoadSongList() {
  if (!open_ || NoConnection()) return false;
  VXStringList lines;
  const int result = Networked([&lines](const TRankingConnection& c) { return RankGetSongList(c, &lines); });
  songIds_.Clear();
  songTitles_.Clear();
  if (result != 0) {
    ShowMessage(mkLeave, kListFailed);
    return false;
  }
  RankParseSongList(&lines, &songIds_, &songTitles_);
  songPage_ = 0;
  highlight_ = -1;
  SetState(rsSongList);
  return true;
}

bool TInternetRankMenu::LoadRanking() {
  if (!open_ || NoConnection()) return false;
  VXStringList lines;
  const VXString song = selectedId_;
  const int level = level_;
  const int result = Networked([&](const TRankingConnection& c) { return RankGetRanking(c, &lines, song, level); });
  rankNames_.Clear();
  rankCount_ = 0;
  if (result != 0) {
    ShowMessage(mkSongList, kRankingFailed);
    return false;
  }
  rankCount_ = RankParseRanking(&lines, 0, &rankNames_, rankScores_.data());
  rankPage_ = 0;
  SetState(rsRanking);
  return true;
}

bool TInternetRankMenu::UploadScore() {
  if (!open_ || NoConnection()) return false;
  const TRankingUpload upload{VXString(entry_[fdUserId].text.c_str()), VXString(entry_[fdPassword].text.c_str()),
                              selectedId_, level_, ownBest_, ownCheck_};
  VXStringList lines;
  int result = Networked([&](const TRankingConnection& c) { return RankPutRanking(c, &lines, upload); });
  int rank = 0;
  if (result == 0 && (lines.GetCount() == 0 || !RankParseUploadRank(lines.GetString(0), rank))) result = -1;
  if (result == 0) {
    rankNames_.Clear();
    rankCount_ = RankParseRanking(&lines, 1, &rankNames_, rankScores_.data());
    // A rank beyond the places the reply lists shows the last page of them.
    rankPage_ = rank > 0 ? std::min((rank - 1) / kPlacesPerPage, std::max(Pages(rankCount_, kPlacesPerPage) - 1, 0)) : 0;
    DrawRanking();
    const std::string placed = rank > 0 ? Format("順位は%d位でした。", rank) : "順位はランク外でした。";
    const char* const success[4] = {"アップロードに成功しました。", placed.c_str(), "", ""};
    ShowMessage(mkRanking, success);
    return true;
  }
  if (result == rankCodeAuth)
    ShowMessage(mkRanking, kAuthFailed);
  else
    ShowMessage(mkSongList, kUploadFailed);
  return false;
}

// ---- States and drawing --------------------------------------------------------------------------------------

void TInternetRankMenu::ShowConnecting(char level) {
  level_ = static_cast<std::int8_t>(level >= 0 && level < kRankLevelCount ? level : 0);
  ShowLines(kConnecting);
  SetState(rsConnectList);
}

void TInternetRankMenu::ShowLines(const char* const (&lines)[4]) {
  for (std::size_t i = 0; i < 4; ++i)
    if (lines[i] != nullptr) MesText[i]->SetText(Sjis(lines[i]));
}

void TInternetRankMenu::ShowMessage(int kind, const char* const (&lines)[4]) {
  messageKind_ = kind;
  ShowLines(lines);
  SetState(rsMessage);
  screenform::PlaySystemSe(kSoundAttention);
}

void TInternetRankMenu::SetState(int state) {
  state_ = state;
  Redraw();
}

void TInternetRankMenu::Redraw() {
  if (!open_) return;
  if (state_ == rsMessage) {
    DialogPanel->SetVisible(true);
    BtnOK->SetVisible(true);
    InputFrame->SetVisible(false);
    Caret->SetVisible(false);
    DialogPanel->SetActive();
    return;
  }
  InternetRankingPanel->SetImage(state_ == rsConnectList || state_ == rsSongList ? backSel_ : backRank_);
  InternetRankingPanel->SetModify();
  const bool list = state_ == rsConnectList || state_ == rsSongList;
  const bool busy = IsBusy(state_);
  const bool best = ownBest_ >= 0;
  for (TZoRGBPanel* panel : {static_cast<TZoRGBPanel*>(BtnSongSel), static_cast<TZoRGBPanel*>(TxtSongTitle),
                             static_cast<TZoRGBPanel*>(BtnUpload)})
    panel->SetVisible(!list);
  for (const auto& row : {RankNum, RankPoint, RankName})
    for (TZoRGBText* text : row) text->SetVisible(!list);
  for (TZoRGBText* text : SongList) text->SetVisible(list);
  for (TZoRGBPanel* area : SongListArea) area->SetVisible(list);
  for (TZoRGBBtn* button : {BtnSongSel, BtnEasy, BtnNormal, BtnHard, BtnExit}) button->SetEnabled(!busy);
  BtnUpload->SetEnabled(!busy && best);
  YourPointsTag->SetVisible(!list && best);
  YourPoints->SetVisible(!list && best);
  if (best) YourPoints->SetText(Format("%9d", ownBest_));
  DialogPanel->SetVisible(busy);
  InputFrame->SetVisible(state_ == rsEntry);
  BtnOK->SetVisible(state_ == rsEntry);
  if (busy) DialogPanel->SetActive();
  DrawLevelButtons();
  if (state_ == rsSongList) DrawSongList();
  if (state_ == rsRanking) DrawRanking();
  DrawHighlight();
  DrawPageButtons();
  DrawEntry();
}

void TInternetRankMenu::DrawSongList() {
  const int count = songIds_.GetCount();
  const int pages = Pages(count, kSongsPerPage);
  songPage_ = pages == 0 ? 0 : std::clamp(songPage_, 0, pages - 1);
  TxtCurPage->SetText(pages == 0 ? "0" : Format("%d", songPage_ + 1));
  TxtMaxPage->SetText(Format("%d", pages));
  for (int e = 0; e < kSongsPerPage; ++e) {
    const int i = songPage_ * kSongsPerPage + e;
    SongList[static_cast<std::size_t>(e)]->SetText(i < count ? Text(CutText(songTitles_.GetString(i), kSongTitleBytes)) : "");
  }
  DrawHighlight();
  DrawPageButtons();
}

void TInternetRankMenu::DrawHighlight() {
  const int e = highlight_;
  const bool shown = state_ == rsSongList && e >= 0 && e < kSongsPerPage &&
                     songPage_ * kSongsPerPage + e < songIds_.GetCount();
  if (shown) {
    const int column = e / 10;
    const int row = e % 10;
    SongNote->SetOffsetX(kNoteX[column]);
    SongNote->SetOffsetY(103 + kRowStep * row);
    SongCursor->SetOffsetX(kCursorX[column]);
    SongCursor->SetOffsetY(105 + kRowStep * row);
  }
  SongNote->SetVisible(shown);
  SongCursor->SetVisible(shown);
}

void TInternetRankMenu::DrawRanking() {
  for (int row = 0; row < kPlacesPerPage; ++row) {
    const int i = rankPage_ * kPlacesPerPage + row;
    const bool used = i < rankCount_;
    const auto r = static_cast<std::size_t>(row);
    RankNum[r]->SetText(used ? Format("%3d", i + 1) : "");
    RankPoint[r]->SetText(used ? Format("%9d", rankScores_[static_cast<std::size_t>(i)]) : "");
    RankName[r]->SetText(used ? Text(CutText(rankNames_.GetString(i), kRankNameBytes)) : "");
  }
  // The page counter follows the list shown: the ranking's pages here.
  const int pages = Pages(rankCount_, kPlacesPerPage);
  TxtCurPage->SetText(pages == 0 ? "0" : Format("%d", rankPage_ + 1));
  TxtMaxPage->SetText(Format("%d", pages));
  DrawPageButtons();
}

void TInternetRankMenu::DrawPageButtons() {
  bool back = false;
  bool next = false;
  if (state_ == rsSongList) {
    back = songPage_ > 0;
    next = (songPage_ + 1) * kSongsPerPage < songIds_.GetCount();
  } else if (state_ == rsRanking) {
    back = rankPage_ > 0;
    next = (rankPage_ + 1) * kPlacesPerPage < rankCount_;
  }
  BtnBackPage->SetEnabled(back);
  BtnNextPage->SetEnabled(next);
}

void TInternetRankMenu::DrawLevelButtons() {
  BtnNormal->SetSelected(level_ == 0);
  BtnHard->SetSelected(level_ == 1);
  BtnEasy->SetSelected(level_ == 2);
}

void TInternetRankMenu::DrawEntry() {
  if (state_ != rsEntry) {
    Caret->SetVisible(false);
    return;
  }
  const TEntryField& id = entry_[fdUserId];
  const TEntryField& pass = entry_[fdPassword];
  const auto visible = [](const TEntryField& f) {
    return f.text.substr(std::min<std::size_t>(static_cast<std::size_t>(f.scroll), f.text.size()), kFieldWidth);
  };
  MesText[2]->SetText("ID:   " + visible(id));
  MesText[3]->SetText("Pass: " + std::string(visible(pass).size(), '*'));
  const TEntryField& active = entry_[static_cast<std::size_t>(field_)];
  const bool shown = active.column >= 0 && active.column < kFieldWidth;
  if (shown) {
    Caret->SetOffsetX(kCaretX + kCaretStep * active.column);
    Caret->SetOffsetY(kCaretY[field_]);
  }
  Caret->SetVisible(shown);
}

// ---- The own best --------------------------------------------------------------------------------------------

void TInternetRankMenu::ReadOwnBest() {
  ownBest_ = -1;
  ownCheck_ = 0;
  const std::string id = Text(selectedId_);
  // The table holds four-byte IDs: a longer ID from the server is some other song, never one of ours.
  if (id.empty() || id.size() > 4) return;
  TSongID song{};
  std::copy(id.begin(), id.end(), song.begin());
  if (!SystemData.HasSong(song)) return;
  const int score = SystemData.GetScore(static_cast<char>(level_), song);
  if (score <= 0) return;
  ownBest_ = score;
  ownCheck_ = SystemData.GetCheckValue(static_cast<char>(level_), song);
}

// ---- Buttons and mouse ---------------------------------------------------------------------------------------

void TInternetRankMenu::BtnExitClick(Classes::TComponent*) {
  screenform::PlaySystemSe(kSoundExit);
  screenform::NotifyMainThread(0);
}

void TInternetRankMenu::ChangePage(int delta) {
  if (state_ == rsSongList) {
    const int page = songPage_ + delta;
    if (page < 0 || page >= Pages(songIds_.GetCount(), kSongsPerPage)) return;
    songPage_ = page;
    highlight_ = -1;
    DrawSongList();
  } else if (state_ == rsRanking) {
    const int page = rankPage_ + delta;
    if (page < 0 || page >= Pages(rankCount_, kPlacesPerPage)) return;
    rankPage_ = page;
    DrawRanking();
  } else {
    return;
  }
  screenform::PlaySystemSe(kSoundClick);
}

void TInternetRankMenu::BtnBackPageClick(Classes::TComponent*) { ChangePage(-1); }

void TInternetRankMenu::BtnNextPageClick(Classes::TComponent*) { ChangePage(1); }

// The ranking of the chosen song and level from its first page: the game thread fetches it.
void TInternetRankMenu::RequestRanking() {
  ReadOwnBest();
  rankPage_ = 0;
  rankCount_ = 0;
  rankNames_.Clear();
  ShowLines(kConnecting);
  SetState(rsConnectRanking);
  screenform::NotifyMainThread(1);
}

void TInternetRankMenu::ChangeLevel(int level) {
  if ((state_ != rsSongList && state_ != rsRanking) || level == level_) return;
  level_ = static_cast<std::int8_t>(level);
  if (state_ == rsRanking) {
    RequestRanking();
  } else {
    DrawLevelButtons();
  }
  screenform::PlaySystemSe(kSoundClick);
}

void TInternetRankMenu::BtnEasyClick(Classes::TComponent*) { ChangeLevel(2); }

void TInternetRankMenu::BtnNormalClick(Classes::TComponent*) { ChangeLevel(0); }

void TInternetRankMenu::BtnHardClick(Classes::TComponent*) { ChangeLevel(1); }

void TInternetRankMenu::SongListAreaMouseEnter(Classes::TComponent* sender) {
  if (state_ != rsSongList || sender == nullptr) return;
  const int e = static_cast<int>(sender->GetTag());
  if (e < 0 || e >= kSongsPerPage || songPage_ * kSongsPerPage + e >= songIds_.GetCount()) return;
  highlight_ = e;
  DrawHighlight();
  screenform::PlaySystemSe(kSoundHover);
}

void TInternetRankMenu::SongListAreaMouseLeave(Classes::TComponent* sender) {
  if (sender == nullptr || highlight_ != static_cast<int>(sender->GetTag())) return;
  highlight_ = -1;
  DrawHighlight();
}

void TInternetRankMenu::SongListAreaMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState, int,
                                              int) {
  if (state_ != rsSongList || sender == nullptr || button != mbLeft) return;
  const int i = songPage_ * kSongsPerPage + static_cast<int>(sender->GetTag());
  if (i < 0 || i >= songIds_.GetCount()) return;
  selectedId_ = songIds_.GetString(i);
  TxtSongTitle->SetText(Text(CutText(songTitles_.GetString(i), kSongTitleBytes)));
  RequestRanking();
  screenform::PlaySystemSe(kSoundClick);
}

void TInternetRankMenu::BtnSongSelClick(Classes::TComponent*) {
  if (IsBusy(state_)) return;
  highlight_ = -1;
  SetState(rsSongList);
  screenform::PlaySystemSe(kSoundClick);
}

void TInternetRankMenu::BtnUploadClick(Classes::TComponent*) {
  if (state_ != rsRanking || ownBest_ < 0) return;
  StartEntry();
}

void TInternetRankMenu::StartEntry() {
  messageKind_ = mkUpload;
  ShowLines(kEnterIdPassword);
  field_ = entry_[fdUserId].text.empty() ? fdUserId : fdPassword;
  for (TEntryField& field : entry_) EndField(field);
  trailByte_ = false;
  SetState(rsEntry);
}

void TInternetRankMenu::BtnOKClick(Classes::TComponent*) {
  switch (messageKind_) {
    case mkLeave: screenform::NotifyMainThread(0); break;
    case mkSongList:
      highlight_ = -1;
      SetState(rsSongList);
      break;
    case mkUpload:
      if (state_ == rsEntry) SendUpload();
      break;
    case mkRanking: SetState(rsRanking); break;
  }
}

void TInternetRankMenu::SendUpload() {
  SystemData.SetRankingUserId(VXString(entry_[fdUserId].text.c_str()));
  ShowLines(kConnecting);
  SetState(rsConnectUpload);
  screenform::NotifyMainThread(2);
}

// ---- Entry ---------------------------------------------------------------------------------------------------

void TInternetRankMenu::EndField(TEntryField& field) {
  const int length = static_cast<int>(field.text.size());
  field.scroll = length < kFieldWidth ? 0 : length - (kFieldWidth - 1);
  field.column = length < kFieldWidth ? length : kFieldWidth - 1;
}

void TInternetRankMenu::MessageWinKeyDown(Classes::TComponent*, unsigned short& key, TShiftState shift) {
  if (state_ != rsEntry) return;
  TEntryField& f = entry_[static_cast<std::size_t>(field_)];
  const int length = static_cast<int>(f.text.size());
  switch (key) {
    case vk::kHome: f.scroll = f.column = 0; break;
    case vk::kEnd: EndField(f); break;
    case vk::kLeft:
      if (f.Pos() > 0) (f.column > 0 ? f.column : f.scroll) -= 1;
      break;
    case vk::kRight:
      if (f.Pos() < length) (f.column < kFieldWidth - 1 ? f.column : f.scroll) += 1;
      break;
    case vk::kBack:
      if (f.Pos() <= 0) break;
      f.text.erase(static_cast<std::size_t>(f.Pos() - 1), 1);
      if (f.column <= 1 && f.scroll > 0) {
        const int k = std::min(f.scroll, 8);
        f.scroll -= k;
        f.column += k - 1;
      } else {
        f.column -= 1;
      }
      break;
    case vk::kDelete:
      if (f.Pos() < length) f.text.erase(static_cast<std::size_t>(f.Pos()), 1);
      break;
    case vk::kTab: field_ = field_ == fdUserId ? fdPassword : fdUserId; break;
    case vk::kReturn: SendUpload(); return;
    case vk::kEscape: SetState(rsRanking); return;
    case vk::kV:
      if (shift.Contains(ssCtrl)) Paste();
      return;
    default: return;
  }
  DrawEntry();
}

void TInternetRankMenu::MessageWinKeyPress(Classes::TComponent*, char& key) {
  if (state_ == rsEntry) TypeChar(key);
}

void TInternetRankMenu::TypeChar(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (trailByte_) {  // the second byte of a double-byte character, which may look like an ASCII one
    trailByte_ = false;
    return;
  }
  if (platform::text::IsCp932LeadByte(b)) {
    trailByte_ = true;
    return;
  }
  TEntryField& f = entry_[static_cast<std::size_t>(field_)];
  if (!IsAllowedChar(b) || static_cast<int>(f.text.size()) >= kFieldBytes) return;
  f.text.insert(static_cast<std::size_t>(std::min<int>(f.Pos(), static_cast<int>(f.text.size()))), 1, c);
  (f.column < kFieldWidth - 1 ? f.column : f.scroll) += 1;
  DrawEntry();
}

void TInternetRankMenu::Paste() {
  TGameForm* form = GameForm;
  TGameApplication* application = form != nullptr ? form->GetApplication() : nullptr;
  if (application == nullptr) return;
  trailByte_ = false;
  application->Post([form] { PasteOnMainThread(form); });
}

void TInternetRankMenu::ClickField(int field, int x) {
  if (state_ != rsEntry) return;
  if (field != field_) {
    field_ = field;
  } else {
    TEntryField& f = entry_[static_cast<std::size_t>(field)];
    const int column = x / kCaretStep - 6;
    if (column < 0) return;
    // Never past the text's end, nor past the visible width (where the caret could not be shown).
    f.column = std::min({column, static_cast<int>(f.text.size()) - f.scroll, kFieldWidth - 1});
  }
  DrawEntry();
}

void TInternetRankMenu::MesText3MouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int x, int) {
  if (button == mbLeft) ClickField(fdUserId, x);
}

void TInternetRankMenu::MesText4MouseDown(Classes::TComponent*, TMouseButton button, TShiftState, int x, int) {
  if (button == mbLeft) ClickField(fdPassword, x);
}

// The internet ranking screen: the server's song list twenty songs a page, the ranking of a chosen song and level
// ten places a page, the player's own stored best of that song and level, and the upload of that best (with its
// check value) after asking for the user ID and password. The panels come from the form "InternetRankMenu".
//
// The game thread opens the screen, calls ShowConnecting and hangs `InternetRankingPanel` under the root, then runs
// LoadSongList in hold mode and waits for the screen's notifications: 1 asks for LoadRanking, 2 for UploadScore
// (each in hold mode again), 0 to leave; then Close and delete. The network steps block the calling thread within
// the client's timeouts; closing the game (the game thread terminated) ends a request at once.
//
// States: 0 closed, 1 message, 2 connecting for the song list, 3 song list, 4 connecting for a ranking, 5 ranking,
// 6 user ID and password entry, 7 connecting for the upload. After a message, OK leaves the screen (kind 0), goes
// back to the song list (1), sends the upload (2) or goes back to the ranking (3).
//
// The server comes from the settings ("RankingServer", "RankingCA" of "Game Debug"). The user ID comes from the
// system record and is stored there at each upload; the password lives only as long as the screen.
//
// Entry: typed characters (key presses, CP932) and Ctrl+V (the clipboard's text, read on the main thread and typed
// through the window's key presses) keep only the characters 33..126 but ( ) < > , ; : \ " [ ]; a double-byte
// character is dropped whole. Each field holds at most 64 bytes and shows 26 of them from its scroll offset.
//
// Game thread, under the game lock; the network steps on the game thread too.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/vxstring.h"
#include "core/vxstrlist.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"
#include "ranking/pnetrankmenu.h"

class TZoRGBBits;
class TZoRGBBtn;
class TZoRGBText;
class VXFileMan;

class TInternetRankMenu : public Classes::TComponent {
public:
  static constexpr int kSongsPerPage = 20;
  static constexpr int kPlacesPerPage = 10;
  static constexpr int kFieldBytes = 64;
  static constexpr int kFieldWidth = 26;
  static constexpr int kSongTitleBytes = 32;
  static constexpr int kRankNameBytes = 20;

  enum TState : int {
    rsClosed = 0,
    rsMessage = 1,
    rsConnectList = 2,
    rsSongList = 3,
    rsConnectRanking = 4,
    rsRanking = 5,
    rsEntry = 6,
    rsConnectUpload = 7,
  };
  enum TMessageKind : int { mkLeave = 0, mkSongList = 1, mkUpload = 2, mkRanking = 3 };
  enum TField : int { fdUserId = 0, fdPassword = 1 };

  // Whether a request to the host can be expected to reach it (IsInternetConnected by default; tests replace it).
  using TConnectedTest = bool (*)(const VXString& host);

  // Loads the form resource "InternetRankMenu" (throws platform::form::EFormError when it cannot).
  explicit TInternetRankMenu(Classes::TComponent* owner);
  ~TInternetRankMenu() override;

  // Creates the panels (pictures from the main data), loads both backgrounds, takes the user ID from the system
  // record and the server from the settings; the password starts empty. False (closed again) on any failure.
  bool Open();
  void Close();
  bool IsOpen() const { return open_; }

  // The level (0 normal, 1 hard, 2 easy; others count as 0), state 2 and the connecting message.
  void ShowConnecting(char level);
  // The three network steps; true when the server answered as asked.
  bool LoadSongList();
  bool LoadRanking();
  bool UploadScore();

  // Where requests go (set by Open from the settings; tests set it after Open).
  void SetConnection(const TRankingConnection& connection) { connection_ = connection; }
  static void SetConnectedTest(TConnectedTest test);

  // ---- What the screen shows
  int GetState() const { return state_; }
  int GetMessageKind() const { return messageKind_; }
  int GetLevel() const { return level_; }
  int GetSongCount() const { return songIds_.GetCount(); }
  VXString GetSongId(int i) const { return songIds_.GetString(i); }
  VXString GetSongTitle(int i) const { return songTitles_.GetString(i); }
  int GetSongPage() const { return songPage_; }
  int GetHighlight() const { return highlight_; }
  const VXString& GetSelectedSong() const { return selectedId_; }
  int GetOwnBest() const { return ownBest_; }
  std::uint32_t GetOwnCheck() const { return ownCheck_; }
  int GetRankCount() const { return rankCount_; }
  VXString GetRankName(int i) const { return rankNames_.GetString(i); }
  int GetRankPage() const { return rankPage_; }
  int GetActiveField() const { return field_; }
  const std::string& GetFieldText(int field) const { return entry_[static_cast<std::size_t>(field & 1)].text; }
  int GetFieldScroll(int field) const { return entry_[static_cast<std::size_t>(field & 1)].scroll; }
  int GetFieldColumn(int field) const { return entry_[static_cast<std::size_t>(field & 1)].column; }

  // A text cut to n bytes: when longer, its first n - 2 bytes (n - 3 when a double-byte character would be split)
  // and "…".
  static VXString CutText(const VXString& text, int n);
  // Whether a typed character may stand in the user ID or password.
  static bool IsAllowedChar(unsigned char c);

  // ---- Handlers the form binds
  void BtnExitClick(Classes::TComponent* sender);
  void BtnBackPageClick(Classes::TComponent* sender);
  void BtnNextPageClick(Classes::TComponent* sender);
  void BtnOKClick(Classes::TComponent* sender);
  void BtnEasyClick(Classes::TComponent* sender);
  void BtnNormalClick(Classes::TComponent* sender);
  void BtnHardClick(Classes::TComponent* sender);
  void SongListAreaMouseEnter(Classes::TComponent* sender);
  void SongListAreaMouseLeave(Classes::TComponent* sender);
  void SongListAreaMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void BtnSongSelClick(Classes::TComponent* sender);
  void BtnUploadClick(Classes::TComponent* sender);
  void MessageWinKeyDown(Classes::TComponent* sender, unsigned short& key, TShiftState shift);
  void MessageWinKeyPress(Classes::TComponent* sender, char& key);
  void MesText3MouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void MesText4MouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void TextCreate(Classes::TComponent* sender);
  void TextRelease(Classes::TComponent* sender);

  // ---- Published components (filled by the form)
  TZoRGBPanel* InternetRankingPanel = nullptr;
  TZoRGBBtn* BtnSongSel = nullptr;
  TZoRGBBtn* BtnEasy = nullptr;
  TZoRGBBtn* BtnNormal = nullptr;
  TZoRGBBtn* BtnHard = nullptr;
  TZoRGBBtn* BtnBackPage = nullptr;
  TZoRGBBtn* BtnNextPage = nullptr;
  TZoRGBText* TxtCurPage = nullptr;
  TZoRGBText* TxtMaxPage = nullptr;
  TZoRGBText* TxtSongTitle = nullptr;
  TZoRGBBtn* BtnUpload = nullptr;
  TZoRGBBtn* BtnExit = nullptr;
  std::array<TZoRGBText*, kSongsPerPage> SongList{};
  TZoRGBPanel* SongNote = nullptr;
  TZoRGBPanel* SongCursor = nullptr;
  std::array<TZoRGBPanel*, kSongsPerPage> SongListArea{};
  std::array<TZoRGBText*, kPlacesPerPage> RankNum{};
  std::array<TZoRGBText*, kPlacesPerPage> RankPoint{};
  std::array<TZoRGBText*, kPlacesPerPage> RankName{};
  TZoRGBPanel* YourPointsTag = nullptr;
  TZoRGBPanel* DialogPanel = nullptr;
  TZoRGBPanel* MessageWin = nullptr;
  TZoRGBPanel* InputFrame = nullptr;
  std::array<TZoRGBText*, 4> MesText{};  // MesText1 .. MesText4
  TZoRGBBtn* BtnOK = nullptr;
  TZoRGBPanel* Caret = nullptr;
  TZoRGBText* YourPoints = nullptr;

private:
  struct TEntryField {
    std::string text;
    int scroll = 0;
    int column = 0;
    int Pos() const { return scroll + column; }
  };

  void SetState(int state);
  void Redraw();
  // State 1 with the lines (UTF-8) and the attention sound.
  void ShowMessage(int kind, const char* const (&lines)[4]);
  void ShowLines(const char* const (&lines)[4]);
  void DrawSongList();
  void DrawHighlight();
  void DrawRanking();
  void DrawPageButtons();
  void DrawLevelButtons();
  void DrawEntry();
  void ReadOwnBest();
  void RequestRanking();
  void ChangeLevel(int level);
  void ChangePage(int delta);
  void StartEntry();
  void SendUpload();
  void EndField(TEntryField& field);
  void TypeChar(char c);
  void ClickField(int field, int x);
  void Paste();
  bool NoConnection();
  // Runs one request with a cancel switch that the game thread's termination flips.
  template <class Request>
  int Networked(Request request);

  bool open_ = false;
  VXFileMan* files_ = nullptr;
  TZoRGBBits* backSel_ = nullptr;
  TZoRGBBits* backRank_ = nullptr;
  TRankingConnection connection_;
  int state_ = rsClosed;
  int messageKind_ = mkLeave;
  std::int8_t level_ = 0;
  VXStringList songIds_;
  VXStringList songTitles_;
  int songPage_ = 0;
  int highlight_ = -1;
  VXString selectedId_;
  int ownBest_ = -1;
  std::uint32_t ownCheck_ = 0;
  int rankCount_ = 0;
  VXStringList rankNames_;
  std::array<int, kRankMaxPlaces> rankScores_{};
  int rankPage_ = 0;
  std::array<TEntryField, 2> entry_{};
  int field_ = fdUserId;
  bool trailByte_ = false;  // the next typed byte ends a double-byte character
};

extern TInternetRankMenu* InternetRankMenu;

// The ranking screen in the game window on the demo game's pictures, against a ranking server played by a TLS
// server in the test process (127.0.0.1, a certificate made in the test, named in the settings file). The test
// plays the game thread: it calls the screen's network steps itself when the screen notifies 1 or 2, steps frames,
// clicks, types and pastes, and checks the requests the server read, what the screen shows and a few pixels.
// Label: threads
#include "ranking/internetrankmenu.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <latch>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "platform/clipboard.h"
#include "platform/text.h"
#include "shell/gamefunc.h"
#include "shell/systemdata.h"
#include "support/gamewindow.h"
#include "support/waitfor.h"
#include "tlsserver.h"

using gamewindow::GameWindow;

namespace {

std::string S(const char* utf8) { return platform::text::Utf8ToCp932(utf8).value(); }

std::string Reply(const std::vector<std::string>& body, const std::string& trailer = "") {
  std::string text = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
  for (const std::string& line : body) text += line + "\r\n";
  return text + (trailer.empty() ? "OK:" + std::to_string(body.size()) : trailer) + "\r\n";
}

// The ranking server as the test scripts it: a reply per request path, the requests' bodies recorded.
class FakeRanking {
public:
  void Set(const std::string& path, std::string reply) {
    std::lock_guard lock(mutex_);
    replies_[path] = std::move(reply);
  }
  std::vector<std::string> Bodies() const {
    std::lock_guard lock(mutex_);
    return bodies_;
  }
  std::vector<std::string> Heads() const {
    std::lock_guard lock(mutex_);
    return heads_;
  }
  TestTlsServer::Script Script() {
    return [this](TestTlsConnection& c) {
      const std::string request = c.ReadRequest();
      const std::size_t end = request.find("\r\n\r\n");
      const std::string head = request.substr(0, end);
      const std::string path = head.substr(head.find(' ') + 1, head.find(" HTTP/") - head.find(' ') - 1);
      std::string reply;
      {
        std::lock_guard lock(mutex_);
        heads_.push_back(head);
        bodies_.push_back(end == std::string::npos ? "" : request.substr(end + 4));
        reply = replies_[path];
      }
      // In two pieces, split inside a line.
      c.Write(reply.substr(0, reply.size() / 2));
      c.Write(reply.substr(reply.size() / 2));
    };
  }

private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> replies_;
  std::vector<std::string> bodies_;
  std::vector<std::string> heads_;
};

std::vector<std::string> SongLines() {
  std::vector<std::string> lines = {"QM01,Morning Star", S("QM02,とても長い曲名のテストのための歌です"), "QM03,Third, with comma"};
  for (int i = 4; i <= 23; ++i) lines.push_back("QM" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ",Song " + std::to_string(i));
  // Refused: no comma, comma first, comma last, an ID that could not be sent back.
  for (const char* bad : {"nocomma", ",title", "QM99,", "Q&M,bad", "Q M,bad"}) lines.insert(lines.begin() + 1, bad);
  return lines;
}

std::vector<std::string> RankingLines(int count, int firstScore) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back("name" + std::to_string(i + 1) + "," + std::to_string(firstScore - i));
  return lines;
}

const TSongID kQM03 = {'Q', 'M', '0', '3'};

class RankScreen : public ::testing::Test {
protected:
  void SetUp() override {
    w.setup.gameFolder = QORM_DEMO_GAME_DIR;
    ASSERT_TRUE(w.Start());
    SystemData = TSystemData();
    fake.Set(kRankSongListPath, Reply(SongLines()));
    fake.Set(kRankRankingPath, Reply(RankingLines(150, 900000)));
    old = platform::clipboard::Replace(&clipboard);
  }
  void TearDown() override {
    platform::clipboard::Replace(old);
    TInternetRankMenu::SetConnectedTest(nullptr);
    if (!menu) return;
    w.form->DetachPanel(menu->InternetRankingPanel);
    menu.reset();
  }

  // The settings name the server and its certificate; the screen reads them when it opens.
  void Open(const std::string& host, const std::string& caFile) {
    w.save.Write("BELVAR/QORM/QORM.ini", "[Game Debug]\r\nRankingServer=" + host + "\r\nRankingCA=" + caFile + "\r\n");
    menu = std::make_unique<TInternetRankMenu>(nullptr);
    ASSERT_TRUE(menu->Open());
    menu->ShowConnecting(0);
    w.form->AttachPanel(menu->InternetRankingPanel);
    w.form->SetResultHandler([this](int r) { results.push_back(r); });
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
  }
  void OpenOnServer() { Open(server.Host(), server.CaFile()); }

  // What the screen notified since the last call; the window takes input again.
  std::vector<int> Results() {
    w.form->SetResultPending(false);
    return std::exchange(results, {});
  }
  void Frames(int n = 1) {
    for (int i = 0; i < n; ++i) w.Step(34);
  }
  void Click(int x, int y) {
    w.Click(x, y);
    Frames();
  }
  void Click(TZoRGBPanel* panel) {
    int x = panel->GetSizeX() / 2, y = panel->GetSizeY() / 2;
    panel->ClientToScreen(x, y);
    Click(x, y);
  }
  void KeyDown(unsigned short vk, TShiftState shift = {}) {
    w.form->FormKeyDown(vk, shift);
    Frames();
  }
  void Type(const std::string& bytes) {
    for (const char c : bytes) w.form->FormKeyPress(c);
    Frames();
  }
  // A song of the list chosen with the mouse (entry e of the page shown), and its ranking loaded as the game
  // thread would.
  void ChooseSong(int e) {
    const int x = (e < 10 ? 56 : 351) + 100, y = 105 + 33 * (e % 10) + 10;
    w.MoveTo(x, y);
    Frames();
    Click(x, y);
    ASSERT_EQ(Results(), std::vector<int>{1});
    ASSERT_EQ(menu->GetState(), TInternetRankMenu::rsConnectRanking);
    menu->LoadRanking();
    Frames();
  }
  // A normal-level best of 100 on QM03 (the third song listed), its ranking fetched and Upload clicked.
  void OpenEntryForABestOnQM03() {
    SystemData.SetResult(0, 100, "ME", ScoreCheckValue(100), kQM03);
    OpenOnServer();
    ASSERT_TRUE(menu->LoadSongList());
    Frames();
    ChooseSong(2);
    Click(menu->BtnUpload);
  }
  // The background picture's pixel (0x00RRGGBB).
  std::uint32_t Background(const char* name, int x, int y) {
    TZoRGBBits* bits = nullptr;
    EXPECT_TRUE(LoadImageFile(&bits, nullptr, FileMan, name));
    const std::uint32_t pixel = bits->PixeltoTZoRGB(bits->PGet(x, y)).ToDWORD() & 0xFFFFFF;
    MemMan->Delete(bits);
    return pixel;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> lines;
    for (TZoRGBText* text : menu->MesText) lines.push_back(text->GetText());
    return lines;
  }
  std::string Prefix() const { return "/cgi-bin/marovine/ranking/"; }

  GameWindow w;
  FakeRanking fake;
  TestTlsServer server{fake.Script()};
  std::unique_ptr<TInternetRankMenu> menu;
  std::vector<int> results;
  platform::clipboard::MemoryClipboard clipboard;
  platform::clipboard::Clipboard* old = nullptr;
};

TEST_F(RankScreen, FetchesTheSongListAndPagesThroughIt) {
  OpenOnServer();
  EXPECT_EQ(menu->GetState(), TInternetRankMenu::rsConnectList);
  EXPECT_TRUE(menu->DialogPanel->GetVisible());
  EXPECT_FALSE(menu->BtnExit->GetEnabled());
  ASSERT_TRUE(menu->LoadSongList());
  Frames();
  ASSERT_EQ(fake.Heads().size(), 1u);
  EXPECT_EQ(fake.Heads()[0].substr(0, fake.Heads()[0].find("\r\n")), "GET " + Prefix() + "qorm_getmlist.cgi HTTP/1.0");
  EXPECT_NE(fake.Heads()[0].find("\r\nHost: " + server.Host() + "\r\n"), std::string::npos);
  EXPECT_EQ(menu->GetState(), TInternetRankMenu::rsSongList);
  EXPECT_FALSE(menu->DialogPanel->GetVisible());
  ASSERT_EQ(menu->GetSongCount(), 23);
  EXPECT_STREQ(menu->GetSongId(2).c_str(), "QM03");
  EXPECT_STREQ(menu->GetSongTitle(2).c_str(), "Third, with comma");
  EXPECT_EQ(menu->SongList[0]->GetText(), "Morning Star");
  EXPECT_EQ(menu->SongList[1]->GetText(), S("とても長い曲名のテストのための…"));  // 32 bytes
  EXPECT_EQ(menu->TxtCurPage->GetText(), "1");
  EXPECT_EQ(menu->TxtMaxPage->GetText(), "2");
  EXPECT_FALSE(menu->BtnBackPage->GetEnabled());
  EXPECT_TRUE(menu->BtnNextPage->GetEnabled());
  EXPECT_FALSE(menu->BtnUpload->GetVisible());
  // The song list's background, and the cursor on the row under the pointer.
  EXPECT_EQ(w.Pixel(610, 300), Background("RankBGNetSel.jpg", 610, 300));
  const std::uint32_t underCursor = Background("RankBGNetSel.jpg", 191, 105 + 33 * 3);
  w.MoveTo(150, 105 + 33 * 3 + 10);
  Frames();
  EXPECT_EQ(menu->GetHighlight(), 3);
  EXPECT_EQ(menu->SongCursor->GetOffsetY(), 105 + 33 * 3);
  EXPECT_EQ(menu->SongNote->GetOffsetX(), 36);
  EXPECT_NE(w.Pixel(191, 105 + 33 * 3), underCursor);
  w.MoveTo(610, 460);
  Frames();
  EXPECT_EQ(menu->GetHighlight(), -1);
  EXPECT_FALSE(menu->SongCursor->GetVisible());

  Click(menu->BtnNextPage);
  EXPECT_EQ(menu->GetSongPage(), 1);
  EXPECT_EQ(menu->TxtCurPage->GetText(), "2");
  EXPECT_EQ(menu->SongList[2]->GetText(), "Song 23");
  EXPECT_EQ(menu->SongList[3]->GetText(), "");
  EXPECT_FALSE(menu->BtnNextPage->GetEnabled());
  // Rows past the list take no pointer.
  w.MoveTo(150, 105 + 33 * 5 + 10);
  Frames();
  EXPECT_EQ(menu->GetHighlight(), -1);
  Click(menu->BtnBackPage);
  EXPECT_EQ(menu->GetSongPage(), 0);
  EXPECT_TRUE(Results().empty());
}

TEST_F(RankScreen, BrowsesTheRankingOfASongByLevel) {
  SystemData.SetResult(1, 4321, "ME", ScoreCheckValue(4321), kQM03);
  OpenOnServer();
  ASSERT_TRUE(menu->LoadSongList());
  Frames();
  ChooseSong(2);
  ASSERT_EQ(menu->GetState(), TInternetRankMenu::rsRanking);
  EXPECT_EQ(fake.Bodies().back(), "mid=QM03&level=normal");
  EXPECT_NE(fake.Heads().back().find("POST " + Prefix() + "qorm_getranking.cgi HTTP/1.0"), std::string::npos);
  EXPECT_EQ(menu->TxtSongTitle->GetText(), "Third, with comma");
  EXPECT_EQ(menu->GetRankCount(), 100);  // of 150 lines
  EXPECT_EQ(menu->RankNum[0]->GetText(), "  1");
  EXPECT_EQ(menu->RankPoint[0]->GetText(), "   900000");
  EXPECT_EQ(menu->RankName[9]->GetText(), "name10");
  EXPECT_EQ(w.Pixel(610, 300), Background("RankBGNetRank.jpg", 610, 300));
  // No best at this level: no upload.
  EXPECT_EQ(menu->GetOwnBest(), -1);
  EXPECT_FALSE(menu->BtnUpload->GetEnabled());
  EXPECT_FALSE(menu->YourPoints->GetVisible());
  EXPECT_TRUE(menu->BtnNormal->GetSelected());
  for (int page = 1; page < 10; ++page) Click(menu->BtnNextPage);
  EXPECT_EQ(menu->GetRankPage(), 9);
  EXPECT_EQ(menu->TxtCurPage->GetText(), "10");  // the counter follows the ranking
  EXPECT_EQ(menu->TxtMaxPage->GetText(), "10");
  EXPECT_EQ(menu->RankNum[9]->GetText(), "100");
  EXPECT_FALSE(menu->BtnNextPage->GetEnabled());

  // Another level reloads the ranking from its first page, with the best of that level.
  Click(menu->BtnHard);
  EXPECT_EQ(Results(), std::vector<int>{1});
  EXPECT_EQ(menu->GetState(), TInternetRankMenu::rsConnectRanking);
  EXPECT_EQ(menu->GetLevel(), 1);
  fake.Set(kRankRankingPath, Reply({"ABCDEFGHIJKLMNOPQRSTUVWXYZ,5000", "broken line", "x,notanumber"}));
  ASSERT_TRUE(menu->LoadRanking());
  Frames();
  EXPECT_EQ(fake.Bodies().back(), "mid=QM03&level=hard");
  EXPECT_EQ(menu->GetRankPage(), 0);
  EXPECT_EQ(menu->GetRankCount(), 3);
  EXPECT_EQ(menu->RankName[0]->GetText(), S("ABCDEFGHIJKLMNOPQR…"));
  EXPECT_EQ(menu->RankName[1]->GetText(), "");
  EXPECT_EQ(menu->RankPoint[1]->GetText(), "        0");
  EXPECT_EQ(menu->RankPoint[2]->GetText(), "        0");
  EXPECT_EQ(menu->RankNum[3]->GetText(), "");
  EXPECT_TRUE(menu->BtnHard->GetSelected());
  EXPECT_FALSE(menu->BtnNormal->GetSelected());
  EXPECT_EQ(menu->GetOwnBest(), 4321);
  EXPECT_EQ(menu->GetOwnCheck(), ScoreCheckValue(4321));
  EXPECT_TRUE(menu->BtnUpload->GetEnabled());
  EXPECT_EQ(menu->YourPoints->GetText(), "     4321");
  // Back to the list; a level chosen there only changes the level.
  Click(menu->BtnSongSel);
  EXPECT_EQ(menu->GetState(), TInternetRankMenu::rsSongList);
  Click(menu->BtnEasy);
  EXPECT_EQ(menu->GetLevel(), 2);
  EXPECT_TRUE(Results().empty());
  Click(menu->BtnExit);
  EXPECT_EQ(Results(), std::vector<int>{0});
}

// A best of 0 is no best; an ID longer than the table's four bytes is never one of our songs.
TEST_F(RankScreen, OnlyAStoredBestAboveZeroOfThatSongCanBeUploaded) {
  SystemData.SetResult(0, 0, "ME", ScoreCheckValue(0), kQM03);
  SystemData.SetResult(0, 777, "ME", ScoreCheckValue(777), {'Q', 'M', '0', '1'});
  fake.Set(kRankSongListPath, Reply({"QM01X,longer", "QM03,zero", "QM01,ours"}));
  OpenOnServer();
  ASSERT_TRUE(menu->LoadSongList());
  Frames();
  for (const auto& [entry, best] : {std::pair{0, -1}, std::pair{1, -1}, std::pair{2, 777}}) {
    ChooseSong(entry);
    EXPECT_EQ(menu->GetOwnBest(), best) << entry;
    EXPECT_EQ(menu->BtnUpload->GetEnabled(), best > 0) << entry;
    Click(menu->BtnSongSel);
  }
}

struct UploadCase {
  const char* what;
  std::vector<std::string> body;
  std::string trailer;
  std::vector<const char*> lines;  // the message (UTF-8)
  int kind;
  int page;
};

TEST_F(RankScreen, UploadsTheBestWithTheEnteredIdAndPassword) {
  const std::vector<std::string> thirty = RankingLines(30, 5000);
  auto with = [&](std::string first) {
    std::vector<std::string> body = {std::move(first)};
    body.insert(body.end(), thirty.begin(), thirty.end());
    return body;
  };
  const UploadCase cases[] = {
      {"rank 25", with("RANK = 25"), "", {"アップロードに成功しました。", "順位は25位でした。", "", ""}, 3, 2},
      {"outside", with("RANK = 0"), "", {"アップロードに成功しました。", "順位はランク外でした。", "", ""}, 3, 0},
      {"no number", with("RANK = x"), "", {"アップロードに成功しました。", "順位はランク外でした。", "", ""}, 3, 0},
      {"beyond the list", with("RANK = 250"), "", {"アップロードに成功しました。", "順位は250位でした。", "", ""}, 3, 2},
      {"error 0 is success", with("RANK = 1"), "ERROR:0", {"アップロードに成功しました。", "順位は1位でした。", "", ""}, 3, 0},
      {"refused user", {}, "ERROR:2",
       {"■ユーザ認証失敗", "このIDはBELVARのユーザー登録が", "されていないか、ID又はPasswordが", "間違っています。"}, 3, 0},
      {"not stored", {}, "ERROR:4", {"通信に失敗しました。", "サーバーにスコアを", "登録できませんでした。", ""}, 1, 0},
      {"short first line", {"RANK 1"}, "", {"通信に失敗しました。", "サーバーにスコアを", "登録できませんでした。", ""}, 1, 0},
      {"no body", {}, "", {"通信に失敗しました。", "サーバーにスコアを", "登録できませんでした。", ""}, 1, 0},
  };
  SystemData.SetResult(0, 4321, "ME", ScoreCheckValue(4321), kQM03);
  SystemData.SetRankingUserId("player");
  OpenOnServer();
  ASSERT_TRUE(menu->LoadSongList());
  Frames();
  ChooseSong(2);
  ASSERT_TRUE(menu->BtnUpload->GetEnabled());
  bool first = true;
  for (const UploadCase& c : cases) {
    SCOPED_TRACE(c.what);
    fake.Set(kRankUploadPath, Reply(c.body, c.trailer));
    if (menu->GetState() != TInternetRankMenu::rsRanking) {  // back to the ranking
      if (menu->GetState() == TInternetRankMenu::rsSongList) ChooseSong(2);
    }
    ASSERT_EQ(menu->GetState(), TInternetRankMenu::rsRanking);
    Click(menu->BtnUpload);
    ASSERT_EQ(menu->GetState(), TInternetRankMenu::rsEntry);
    EXPECT_TRUE(menu->InputFrame->GetVisible());
    EXPECT_TRUE(menu->Caret->GetVisible());
    EXPECT_EQ(menu->MesText[0]->GetText(), S("IDとPasswordを入力して下さい。"));
    EXPECT_EQ(menu->MesText[2]->GetText(), "ID:   player");
    // The ID is known: the password is asked for, and only the first time it is typed.
    EXPECT_EQ(menu->GetActiveField(), TInternetRankMenu::fdPassword);
    EXPECT_EQ(menu->Caret->GetOffsetY(), 88);
    if (first) {
      Type("p+ss");
      EXPECT_EQ(menu->MesText[3]->GetText(), "Pass: ****");
      EXPECT_EQ(menu->Caret->GetOffsetX(), 65 + 6 * 4);
    }
    if (first)
      KeyDown(0x0D);  // Enter
    else
      Click(menu->BtnOK);
    first = false;
    ASSERT_EQ(Results(), std::vector<int>{2});
    ASSERT_EQ(menu->GetState(), TInternetRankMenu::rsConnectUpload);
    EXPECT_STREQ(SystemData.GetRankingUserId().c_str(), "player");
    menu->UploadScore();
    Frames();
    EXPECT_EQ(fake.Bodies().back(), "usrid=player&passwd=p%2Bss&mid=QM03&level=normal&score=4321&error=00FFEF1E");
    EXPECT_NE(fake.Heads().back().find("POST " + Prefix() + "qorm_putranking.cgi HTTP/1.0"), std::string::npos);
    ASSERT_EQ(menu->GetState(), TInternetRankMenu::rsMessage);
    std::vector<std::string> expected;
    for (const char* line : c.lines) expected.push_back(S(line));
    EXPECT_EQ(Messages(), expected);
    EXPECT_EQ(menu->GetMessageKind(), c.kind);
    EXPECT_TRUE(menu->BtnOK->GetVisible());
    EXPECT_FALSE(menu->Caret->GetVisible());
    if (!c.body.empty() && c.kind == 3) {
      EXPECT_EQ(menu->GetRankPage(), c.page);
      EXPECT_EQ(menu->GetRankCount(), 30);
    }
    Click(menu->BtnOK);
    EXPECT_EQ(menu->GetState(), c.kind == 3 ? TInternetRankMenu::rsRanking : TInternetRankMenu::rsSongList);
  }
  // The password was never stored.
  EXPECT_STREQ(SystemData.GetRankingUserId().c_str(), "player");
}

TEST_F(RankScreen, FailuresShowTheirMessageAndOkLeadsBack) {
  struct Case {
    const char* what;
    std::function<void()> setUp;  // before the screen opens
  };
  TInternetRankMenu::SetConnectedTest([](const VXString&) { return true; });
  std::unique_ptr<TestTlsServer> other;
  std::string host, ca;
  const Case cases[] = {
      {"no server", [&] {
         other = std::make_unique<TestTlsServer>(nullptr);
         host = other->Host();
         ca = other->CaFile();
         other.reset();  // the port is closed again
       }},
      {"bad reply", [&] {
         fake.Set(kRankSongListPath, Reply({"QM01,a", "QM02,b"}, "OK:5"));
         host = server.Host(), ca = server.CaFile();
       }},
      {"untrusted certificate", [&] {
         TestTlsOptions options;
         options.trusted = false;
         other = std::make_unique<TestTlsServer>(fake.Script(), options);
         host = other->Host(), ca = other->CaFile();
       }},
      {"no server set", [&] { host = "", ca = ""; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.setUp();
    Open(host, ca);
    EXPECT_FALSE(menu->LoadSongList());
    Frames();
    EXPECT_EQ(menu->GetState(), TInternetRankMenu::rsMessage);
    EXPECT_EQ(menu->GetMessageKind(), TInternetRankMenu::mkLeave);
    EXPECT_EQ(Messages(), (std::vector<std::string>{S("通信に失敗しました。"), S("サーバーから曲リストが"),
                                                     S("取得できませんでした。"), ""}));
    // The message window over the song list's background.
    EXPECT_TRUE(menu->DialogPanel->GetVisible());
    EXPECT_NE(w.Pixel(190, 300), Background("RankBGNetSel.jpg", 190, 300));
    Click(menu->BtnOK);
    EXPECT_EQ(Results(), std::vector<int>{0});
    w.form->DetachPanel(menu->InternetRankingPanel);
    menu.reset();
    other.reset();
  }
}

TEST_F(RankScreen, WithoutANetworkNothingIsSentAndTheScreenSaysSo) {
  TInternetRankMenu::SetConnectedTest([](const VXString&) { return false; });
  OpenOnServer();
  EXPECT_FALSE(menu->LoadSongList());
  EXPECT_EQ(server.Connections(), 0);
  EXPECT_EQ(menu->GetMessageKind(), TInternetRankMenu::mkLeave);
  EXPECT_EQ(Messages(), (std::vector<std::string>{S("インターネットに"), S("接続されていません。"),
                                                   S("接続してからやり直して下さい。"), ""}));
}

TEST_F(RankScreen, AFailedRankingGoesBackToTheSongList) {
  OpenOnServer();
  ASSERT_TRUE(menu->LoadSongList());
  Frames();
  fake.Set(kRankRankingPath, Reply({}, "ERROR:1"));
  ChooseSong(0);
  EXPECT_EQ(menu->GetState(), TInternetRankMenu::rsMessage);
  EXPECT_EQ(menu->GetMessageKind(), TInternetRankMenu::mkSongList);
  EXPECT_EQ(menu->MesText[1]->GetText(), S("サーバーからランキングが"));
  Click(menu->BtnOK);
  EXPECT_EQ(menu->GetState(), TInternetRankMenu::rsSongList);
  EXPECT_TRUE(Results().empty());
}

TEST_F(RankScreen, TheEntryFieldsScrollEditAndTakeOnlyAllowedCharacters) {
  ASSERT_NO_FATAL_FAILURE(OpenEntryForABestOnQM03());
  ASSERT_EQ(menu->GetState(), TInternetRankMenu::rsEntry);
  ASSERT_EQ(menu->GetActiveField(), TInternetRankMenu::fdUserId);  // no stored ID
  EXPECT_EQ(menu->Caret->GetOffsetY(), 72);
  const int id = TInternetRankMenu::fdUserId;
  auto at = [&](int scroll, int column) {
    EXPECT_EQ(menu->GetFieldScroll(id), scroll);
    EXPECT_EQ(menu->GetFieldColumn(id), column);
  };
  // Blanks, commas and the other refused characters do nothing; a double-byte character goes whole, also when
  // its second byte looks like a letter ("ア" is 83 41).
  Type(std::string("a b,c(d)<e>;f:g\\h\"i[j]k") + S("ア") + "l");
  EXPECT_EQ(menu->GetFieldText(id), "abcdefghijkl");
  at(0, 12);
  // 70 more letters: the field stops at 64 bytes; the view scrolls once the caret reached column 25.
  Type(std::string(70, 'x'));
  EXPECT_EQ(menu->GetFieldText(id).size(), 64u);
  at(39, 25);
  EXPECT_EQ(menu->MesText[2]->GetText(), "ID:   " + std::string(25, 'x'));
  EXPECT_TRUE(menu->Caret->GetVisible());
  EXPECT_EQ(menu->Caret->GetOffsetX(), 65 + 6 * 25);
  struct Step {
    unsigned short key;
    int scroll, column, length;
  };
  const Step steps[] = {
      {0x24, 0, 0, 64},    // Home
      {0x08, 0, 0, 64},    // Backspace at the start: nothing
      {0x2E, 0, 0, 63},    // Delete: the character after the caret
      {0x25, 0, 0, 63},    // Left at the start: nothing
      {0x23, 38, 25, 63},  // End: length - 25
      {0x27, 38, 25, 63},  // Right at the end: nothing
      {0x25, 38, 24, 63},  // Left
      {0x2E, 38, 24, 62},  // Delete before the last character
      {0x08, 38, 23, 61},  // Backspace
      {0x24, 0, 0, 61},
      {0x27, 0, 1, 61},    // Right
      {0x08, 0, 0, 60},    // Backspace at column 1 with nothing scrolled
      {0x23, 35, 25, 60},
  };
  for (const Step& s : steps) {
    KeyDown(s.key);
    SCOPED_TRACE(s.key);
    at(s.scroll, s.column);
    EXPECT_EQ(static_cast<int>(menu->GetFieldText(id).size()), s.length);
  }
  // Back to column 0 with the view scrolled: Backspace scrolls back up to 8 characters.
  for (int i = 0; i < 25; ++i) KeyDown(0x25);
  at(35, 0);
  KeyDown(0x08);
  at(27, 7);
  EXPECT_EQ(menu->GetFieldText(id).size(), 59u);
  KeyDown(0x25);
  at(27, 6);
  // Tab goes to the password, which shows asterisks only.
  KeyDown(0x09);
  EXPECT_EQ(menu->GetActiveField(), TInternetRankMenu::fdPassword);
  Type("secret");
  EXPECT_EQ(menu->MesText[3]->GetText(), "Pass: ******");
  EXPECT_EQ(menu->GetFieldText(TInternetRankMenu::fdPassword), "secret");
  // A click on the ID line makes it active; a second one places the caret (6 pixels a character after "ID:   "),
  // never past the text or the visible width.
  int x = 0, y = 6;
  menu->MesText[2]->ClientToScreen(x, y);
  Click(x + 6 * (6 + 3) + 2, y);
  EXPECT_EQ(menu->GetActiveField(), id);
  at(27, 6);
  Click(x + 6 * (6 + 3) + 2, y);
  at(27, 3);
  Click(x + 240, y);  // column 34 of a text with 32 left in view
  at(27, 25);
  EXPECT_TRUE(menu->Caret->GetVisible());
  EXPECT_EQ(menu->Caret->GetOffsetX(), 65 + 6 * 25);
  Click(x + 2, y);  // on "ID:": nothing
  at(27, 25);
  // Esc: back to the ranking.
  KeyDown(0x1B);
  EXPECT_EQ(menu->GetState(), TInternetRankMenu::rsRanking);
  EXPECT_FALSE(menu->Caret->GetVisible());
  EXPECT_TRUE(Results().empty());
}

TEST_F(RankScreen, CtrlVPastesTheClipboardTextThroughTheMainThread) {
  ASSERT_NO_FATAL_FAILURE(OpenEntryForABestOnQM03());
  clipboard.text = "my id,x;y(z)アB" + std::string(80, 'q');
  KeyDown(0x56, {ssCtrl});
  EXPECT_EQ(menu->GetFieldText(TInternetRankMenu::fdUserId), "");  // nothing yet: the main thread reads it
  w.RunMain();
  Frames();
  // The first 64 bytes of the text, of them the allowed characters.
  const std::string expected = "myidxyzB" + std::string(64 - 15, 'q');
  EXPECT_EQ(menu->GetFieldText(TInternetRankMenu::fdUserId), expected);
  // Text typed on the desktop (UTF-8 there, CP932 here) comes the same way, Japanese dropped whole.
  w.input.TextTyped("アZ");  // "ア" is 83 41
  w.RunMain();
  Frames();
  EXPECT_EQ(menu->GetFieldText(TInternetRankMenu::fdUserId), expected + "Z");
  KeyDown(0x08);
  // A plain V is a letter.
  Type("V");
  EXPECT_EQ(menu->GetFieldText(TInternetRankMenu::fdUserId), expected + "V");
}

TEST(RankScreenCut, TextsLongerThanTheirWidthEndInAnEllipsis) {
  const std::string dots = S("…");
  const struct {
    std::string in;
    int n;
    std::string out;
  } cases[] = {
      {"short", 20, "short"},
      {std::string(20, 'a'), 20, std::string(20, 'a')},
      {std::string(21, 'a'), 20, std::string(18, 'a') + dots},
      {std::string(17, 'a') + S("あい"), 20, std::string(17, 'a') + dots},  // byte 19 is the second of "あ"
      {std::string(16, 'a') + S("あいう"), 20, std::string(16, 'a') + S("あ") + dots},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(TInternetRankMenu::CutText(c.in.c_str(), c.n).c_str()), c.out) << c.in;
}

// The game thread blocked in a request to a server that never answers ends at once when the game closes.
TEST(RankScreenClosing, ClosingTheGameDuringARequestDoesNotHang) {
  std::latch asked(1);
  TestTlsServer silent([&asked](TestTlsConnection& c) {
    c.ReadRequest();
    asked.count_down();
    c.WaitForClose();
  });
  struct Flow : Classes::TThread {
    std::latch opened{1};
    TInternetRankMenu* menu = nullptr;
    void Execute() override {
      opened.wait();
      menu->LoadSongList();
    }
  };
  Flow* flow = nullptr;
  GameWindow::Options options;
  options.gameThread = [&flow](TGameForm&) {
    auto thread = std::make_unique<Flow>();
    flow = thread.get();
    return thread;
  };
  GameWindow w(options);
  w.setup.gameFolder = QORM_DEMO_GAME_DIR;
  ASSERT_TRUE(w.Start());
  ASSERT_NE(flow, nullptr);
  auto menu = std::make_unique<TInternetRankMenu>(nullptr);
  ASSERT_TRUE(menu->Open());
  TRankingConnection connection{silent.Host().c_str(), silent.Settings()};
  connection.ssl.ioTimeoutMs = connection.ssl.totalTimeoutMs = 10 * 60 * 1000;  // longer than the test may take
  menu->SetConnection(connection);
  menu->ShowConnecting(0);
  flow->menu = menu.get();
  flow->opened.count_down();
  asked.wait();
  WithinAMinute([&] { w.form->FormHide(); });
  EXPECT_EQ(menu->GetState(), TInternetRankMenu::rsMessage);
  EXPECT_EQ(menu->MesText[0]->GetText(), S("通信に失敗しました。"));
}

}  // namespace

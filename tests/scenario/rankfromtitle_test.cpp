// The ranking screen reached from the program's own title on the demo game, against a ranking server played by a TLS
// server in the test process (127.0.0.1, a certificate made in the test, both named in the settings file).
// Label: threads
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "ranking/pnetrankmenu.h"
#include "ranking/tlsserver.h"
#include "scenario/gamewire.h"
#include "shell/gamedata.h"
#include "shell/systemdata.h"
#include "support/gamethread.h"

namespace {

std::string S(const char* utf8) { return platform::text::Utf8ToCp932(utf8).value(); }

// A reply of the ranking server: the body's lines, then the line that closes it.
std::string Reply(const std::vector<std::string>& body, const std::string& trailer) {
  std::string text = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
  for (const std::string& line : body) text += line + "\r\n";
  return text + trailer + "\r\n";
}

// The server's answer to each request path.
TestTlsServer::Script Answers(std::map<std::string, std::string> replies) {
  return [replies = std::move(replies)](TestTlsConnection& c) {
    const std::string request = c.ReadRequest();
    const std::size_t from = request.find(' ') + 1;
    const auto reply = replies.find(request.substr(from, request.find(' ', from) - from));
    if (reply != replies.end()) c.Write(reply->second);
  };
}

const TSongID kQM03 = {'Q', 'M', '0', '3'};

// The game window with everything the program wires; the script's onTitleInit runs on the game thread before the
// first title is made.
class WiredGame : public gamethread::LoopWindow {
public:
  WiredGame()
      : LoopWindow(QORM_DEMO_GAME_DIR, [](TGameUnits& units, TFrontScreens& screens, gamethread::Script& s) {
          units = MakeGameUnits();
          screens = MakeFrontScreens();
          screens.title = [make = screens.title, &s](TGameForm& form) {
            if (s.onTitleInit) std::exchange(s.onTitleInit, {})();
            return make(form);
          };
        }) {}

  // The title waits for a choice, on the screen.
  bool AtTitle() {
    return Until([&] { return w.form->GetState() == 3; }) && Showing("TitleMenuPanel");
  }
  // The text of the named panel of the tree (empty when there is none), between frames.
  std::string Text(const std::string& name) {
    return Read([&] {
      const TZoRGBPanel* p = Find(name);
      return p != nullptr ? std::string(p->GetText()) : std::string();
    });
  }
  // Clicks the named panel once the window takes input again (the network steps hold it).
  void Press(const std::string& name) {
    ASSERT_TRUE(Until([&] { return w.form->GetState() == 3; })) << name;
    ClickOn(name);
  }
  // Steps frames until the named panel shows `text`.
  bool Shows(const std::string& name, const std::string& text) {
    return Until([&] { return Text(name) == text; });
  }
  void Type(const std::string& text) {
    w.input.TextTyped(text);
    w.RunMain();
  }
};

}  // namespace

// From the title: the song list and a song's ranking are fetched, the stored best of that song is uploaded with the
// ID and password typed in, the server's new ranking is shown, and Exit leads back to the title. Each request is
// compared with what the server read, byte for byte.
TEST(RankFromTitle, FetchesTheRankingAndUploadsTheBestThenComesBack) {
  // Songs are found below the current folder, which the program's own is the game folder.
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(QORM_DEMO_GAME_DIR);
  const TScopeExit back([&old] {
    std::error_code ignored;
    std::filesystem::current_path(old, ignored);
  });
  TestTlsServer server(Answers({
      {kRankSongListPath, Reply({"QM01,Morning Star", "QM02,River Lights", "QM03,Lanterns"}, "OK:3")},
      {kRankRankingPath, Reply({"alice,9000", "bob,4000"}, "OK:2")},
      {kRankUploadPath, Reply({"RANK = 2", "alice,9000", "player,4321", "bob,4000"}, "OK:4")},
  }));
  WiredGame g;
  g.s.onTitleInit = [] {
    SystemData = TSystemData{};
    SystemData.SetResult(0, 4321, "ME", ScoreCheckValue(4321), kQM03);
  };
  g.w.save.Write("BELVAR/QORM/QORM.ini",
                 "[Game Debug]\r\nRankingServer=" + server.Host() + "\r\nRankingCA=" + server.CaFile() + "\r\n");
  ASSERT_TRUE(g.Start());
  ASSERT_TRUE(g.AtTitle());

  g.Press("BtnRanking");
  ASSERT_TRUE(g.Showing("InternetRankingPanel"));
  ASSERT_TRUE(g.Shows("SongList02", "Lanterns"));
  EXPECT_EQ(g.Text("SongList00"), "Morning Star");
  EXPECT_EQ(g.Text("TxtMaxPage"), "1");

  g.Press("SongListArea02");
  ASSERT_TRUE(g.Shows("RankName01", "bob"));
  EXPECT_EQ(g.Text("TxtSongTitle"), "Lanterns");
  EXPECT_EQ(g.Text("RankPoint00"), "     9000");
  EXPECT_EQ(g.Text("YourPoints"), "     4321");

  g.Press("BtnUpload");
  ASSERT_TRUE(g.Shows("MesText1", S("IDとPasswordを入力して下さい。")));
  g.Type("player");
  g.w.Key(SDL_SCANCODE_TAB);
  g.Type("p+ss");
  ASSERT_TRUE(g.Shows("MesText4", "Pass: ****"));
  g.Press("BtnOK");
  ASSERT_TRUE(g.Shows("MesText2", S("順位は2位でした。")));
  EXPECT_EQ(g.Text("MesText1"), S("アップロードに成功しました。"));
  g.Press("BtnOK");
  ASSERT_TRUE(g.Shows("RankName01", "player"));
  EXPECT_EQ(g.Text("RankPoint01"), "     4321");

  g.Press("BtnExit");
  ASSERT_TRUE(g.AtTitle());
  ASSERT_TRUE(g.End());
  EXPECT_TRUE(g.w.form->GetFatalError().empty()) << g.w.form->GetFatalError();
  EXPECT_STREQ(SystemData.GetRankingUserId().c_str(), "player");
  // The ID is kept in the system record; the password nowhere.
  for (const auto& file : std::filesystem::recursive_directory_iterator(g.SaveFolder())) {
    if (!file.is_regular_file()) continue;
    std::ifstream in(file.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.find("p+ss"), std::string::npos) << file.path();
  }

  const std::string head = " HTTP/1.0\r\nHost: " + server.Host() +
                           "\r\nUser-Agent: Marovine/1.0\r\nPragma: no-cache\r\nAccept: text/*\r\n";
  const std::string upload = "usrid=player&passwd=p%2Bss&mid=QM03&level=normal&score=4321&error=00FFEF1E";
  const std::vector<std::string> expected = {
      "GET " + std::string(kRankSongListPath) + head + "\r\n",
      "POST " + std::string(kRankRankingPath) + head + "Content-Length: 21\r\n\r\nmid=QM03&level=normal",
      "POST " + std::string(kRankUploadPath) + head + "Content-Length: " + std::to_string(upload.size()) +
          "\r\n\r\n" + upload,
  };
  EXPECT_EQ(server.Requests(), expected);
  UserConfig = TUserConfig{};
  SystemData = TSystemData{};
}

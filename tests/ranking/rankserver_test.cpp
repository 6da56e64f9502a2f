// The ranking server: its store, its replies, and the whole server through the game's own client.
// Label: threads
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "core/vxstrlist.h"
#include "linelist.h"
#include "ranking/pnetrankmenu.h"
#include "rankload.h"
#include "support/tempdir.h"
#include "tools/rankserver/rankhttps.h"
#include "tools/rankserver/rankservice.h"
#include "tools/rankserver/rankstore.h"
#include "tools/rankserver/selfcert.h"

namespace {

using Places = std::vector<std::pair<std::string, int>>;
Places Ranked(RankStore& store, const std::string& song, int level) {
  Places places;
  for (const RankStore::Place& p : store.Ranking(song, level, kRankMaxPlaces)) places.emplace_back(p.user, p.score);
  return places;
}

class RankStoreTest : public ::testing::Test {
protected:
  RankStoreTest() {
    store.AddSong("QM01", "最初の歌");
    store.AddSong("QM02", "二番目");
    for (const char* user : {"alice", "bob", "carol"}) store.SetUser(user, std::string(user) + "-pw");
  }
  TempDir dir;
  std::string path = (dir.path() / "rank.db").string();
  RankStore store{path};
};

TEST_F(RankStoreTest, KeepsEachUsersBestPerSongAndLevel) {
  EXPECT_EQ(store.Submit("alice", "QM01", 1, 500), 1);
  EXPECT_EQ(store.Submit("bob", "QM01", 1, 700), 1);
  EXPECT_EQ(store.Submit("alice", "QM01", 1, 400), 2);  // lower: the 500 stays
  EXPECT_EQ(store.Submit("carol", "QM01", 1, 500), 3);  // as good as alice, but later
  EXPECT_EQ(store.Submit("alice", "QM01", 0, 100), 1);  // another level
  EXPECT_EQ(store.Submit("alice", "QM02", 1, 100), 1);  // another song
  EXPECT_EQ(Ranked(store, "QM01", 1), (Places{{"bob", 700}, {"alice", 500}, {"carol", 500}}));
  EXPECT_EQ(store.Submit("alice", "QM01", 1, 800), 1);
  EXPECT_EQ(Ranked(store, "QM01", 1), (Places{{"alice", 800}, {"bob", 700}, {"carol", 500}}));
  EXPECT_EQ(Ranked(store, "QM01", 2), Places{});

  // What was committed is there for the next connection; removals take their scores with them.
  RankStore again(path);
  EXPECT_EQ(Ranked(again, "QM01", 1), (Places{{"alice", 800}, {"bob", 700}, {"carol", 500}}));
  EXPECT_TRUE(again.RemoveUser("bob"));
  EXPECT_FALSE(again.RemoveUser("bob"));
  EXPECT_EQ(Ranked(store, "QM01", 1), (Places{{"alice", 800}, {"carol", 500}}));
  EXPECT_TRUE(again.RemoveSong("QM01"));
  EXPECT_EQ(Ranked(store, "QM01", 1), Places{});
  EXPECT_EQ(Ranked(store, "QM02", 1), (Places{{"alice", 100}}));
}

TEST_F(RankStoreTest, UsersPasswordsAndRegistration) {
  EXPECT_TRUE(store.CheckUser("alice", "alice-pw", false));
  EXPECT_FALSE(store.CheckUser("alice", "bob-pw", true));  // registration never takes over an ID
  EXPECT_FALSE(store.CheckUser("dave", "x", false));
  EXPECT_TRUE(store.CheckUser("dave", "x", true));
  EXPECT_TRUE(store.CheckUser("dave", "x", false));
  EXPECT_FALSE(store.CheckUser("dave", "y", true));
  store.SetUser("dave", "y");
  EXPECT_TRUE(store.CheckUser("dave", "y", false));
  const std::vector<std::string> refused = {"", "a,b", "a b", "a:b", "x\"", "a\x81\x40", std::string(65, 'a')};
  for (const std::string& id : refused) {
    EXPECT_FALSE(store.CheckUser(id, "pw", true)) << id;
    EXPECT_THROW(store.SetUser(id, "pw"), std::runtime_error) << id;
  }
  EXPECT_FALSE(store.CheckUser("erin", "", true));
}

TEST_F(RankStoreTest, RefusesSongsTheGameCouldNotUse) {
  for (const char* id : {"", "Q,1", "Q&1", "Q=1", "Q 1", "Q\n1", "ABCDEFGHIJKLMNOPQ"}) {
    EXPECT_THROW(store.AddSong(id, "title"), std::runtime_error) << id;
  }
  for (const char* title : {"", "two\nlines", "tab\tbed", "\xF0\x9F\x8E\xB5"}) {  // the last has no CP932 form
    EXPECT_THROW(store.AddSong("QM09", title), std::runtime_error) << title;
  }
  store.AddSong("QM01", "新しい題");  // a known song keeps its place and takes the new title
  const std::vector<RankStore::Song> songs = store.Songs();
  ASSERT_EQ(songs.size(), 2u);
  EXPECT_EQ(songs[0].id + songs[0].title + songs[1].id, "QM01新しい題QM02");
}

TEST(RankRequestParse, ReadsHeadAndBody) {
  const struct {
    std::string bytes;
    RankParse result;
    const char* method;
    const char* path;
    const char* body;
  } cases[] = {
      {"GET /a HTTP/1.0\r\nHost: h\r\n\r\n", RankParse::complete, "GET", "/a", ""},
      {"GET /a HTTP/1.0\r\nHost: h\r\n", RankParse::incomplete, "", "", ""},
      {"POST /b HTTP/1.0\r\ncontent-length:  5 \r\n\r\nab", RankParse::incomplete, "", "", ""},
      {"POST /b HTTP/1.0\r\nContent-Length: 5\r\n\r\nabcdeXX", RankParse::complete, "POST", "/b", "abcde"},
      {"POST /b HTTP/1.0\r\nContent-Length: x\r\n\r\n", RankParse::malformed, "", "", ""},
      {"POST /b HTTP/1.0\r\nContent-Length: -1\r\n\r\n", RankParse::malformed, "", "", ""},
      {"POST /b HTTP/1.0\r\nContent-Length: 99999999999\r\n\r\n", RankParse::malformed, "", "", ""},
      {"POST /b HTTP/1.0\r\nContent-Length: 4097\r\n\r\n", RankParse::malformed, "", "", ""},
      {"GARBAGE\r\n\r\n", RankParse::malformed, "", "", ""},
      {"GET /a HTTP/1.0\r\nNo colon\r\n\r\n", RankParse::malformed, "", "", ""},
      {"GET /a HTTP/1.0\r\n" + std::string(9000, 'x'), RankParse::malformed, "", "", ""},
  };
  for (const auto& c : cases) {
    RankHttpRequest request;
    EXPECT_EQ(ParseRankRequest(c.bytes, request), c.result) << c.bytes.substr(0, 60);
    if (c.result == RankParse::complete) {
      EXPECT_EQ(request.method + " " + request.path + " " + request.body,
                std::string(c.method) + " " + c.path + " " + c.body);
    }
  }
}

// Replies to the requests as the game sends them, and to requests it never sends.
TEST_F(RankStoreTest, AnswersEachRequest) {
  store.Submit("bob", "QM01", 1, 700);
  const auto answer = [&](const char* method, const char* path, const std::string& body = "", bool open = false) {
    const std::string reply = AnswerRankRequest(store, {method, path, body}, open);
    const std::size_t start = reply.find("\r\n\r\n");
    return reply.substr(0, reply.find("\r\n")) + "|" + reply.substr(start + 4);
  };
  const auto upload = [](const char* user, const char* password, int score, std::uint32_t check,
                         const char* song = "QM01") {
    TRankingUpload u{user, password, song, 1, score, check};
    return std::string(UploadRequestBody(u).c_str());
  };
  EXPECT_EQ(answer("GET", kRankSongListPath), "HTTP/1.0 200 OK|QM01,\x8D\xC5\x8F\x89\x82\xCC\x89\xCC\r\n"
                                              "QM02,\x93\xF1\x94\xD4\x96\xDA\r\nOK:2\r\n");
  EXPECT_EQ(answer("POST", kRankRankingPath, "mid=QM01&level=hard"), "HTTP/1.0 200 OK|bob,700\r\nOK:1\r\n");
  EXPECT_EQ(answer("POST", kRankRankingPath, "mid=QM02&level=easy"), "HTTP/1.0 200 OK|OK:0\r\n");
  EXPECT_EQ(answer("POST", kRankUploadPath, upload("alice", "alice-pw", 800, ScoreCheckValue(800))),
            "HTTP/1.0 200 OK|Rank = 1\r\nalice,800\r\nbob,700\r\nOK:3\r\n");
  EXPECT_EQ(answer("POST", kRankUploadPath, upload("alice", "alice-pw", 100, ScoreCheckValue(100))),
            "HTTP/1.0 200 OK|Rank = 1\r\nalice,800\r\nbob,700\r\nOK:3\r\n");
  const struct {
    std::string body;
    const char* reply;
  } refused[] = {
      {upload("alice", "alice-pw", 900, ScoreCheckValue(901)), "ERROR:3"},
      {upload("alice", "wrong", 900, ScoreCheckValue(900)), "ERROR:2"},
      {upload("nobody", "pw", 900, ScoreCheckValue(900)), "ERROR:2"},
      {upload("alice", "alice-pw", 900, ScoreCheckValue(900), "QM99"), "ERROR:1"},
      {upload("alice", "alice-pw", -5, ScoreCheckValue(-5)), "ERROR:1"},
      {"usrid=alice&passwd=alice-pw&mid=QM01&level=hard&score=99999999999&error=00000000", "ERROR:1"},
      {"usrid=alice&passwd=alice-pw&mid=QM01&level=hard&score=5&error=FFFA", "ERROR:1"},
      {"usrid=alice&passwd=alice-pw&mid=QM01&level=expert&score=5&error=00FFFFFA", "ERROR:1"},
      {"usrid=alice&passwd=%zz", "ERROR:1"},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(answer("POST", kRankUploadPath, r.body), std::string("HTTP/1.0 200 OK|") + r.reply + "\r\n") << r.body;
  }
  EXPECT_EQ(answer("POST", kRankRankingPath, "mid=QM01&level=x"), "HTTP/1.0 200 OK|ERROR:1\r\n");
  EXPECT_EQ(answer("GET", "/other"), "HTTP/1.0 404 Not Found|");
  EXPECT_EQ(answer("POST", kRankSongListPath), "HTTP/1.0 405 Method Not Allowed|");
  EXPECT_EQ(answer("GET", kRankUploadPath), "HTTP/1.0 405 Method Not Allowed|");
  EXPECT_EQ(Ranked(store, "QM01", 1), (Places{{"alice", 800}, {"bob", 700}}));

  // An open server registers a new ID with its first upload's password.
  EXPECT_EQ(answer("POST", kRankUploadPath, upload("new", "pw", 750, ScoreCheckValue(750)), true),
            "HTTP/1.0 200 OK|Rank = 2\r\nalice,800\r\nnew,750\r\nbob,700\r\nOK:4\r\n");
}

// The server and the game's client together over the loopback.
class RankServerTest : public RankStoreTest {
protected:
  RankServerTest() {
    store.AddSong("QM03", "三, with a comma");
    const SelfSignedCert cert = MakeSelfSignedCert({"127.0.0.1"});
    options.store = path;
    options.certFile = dir.Write("cert.pem", cert.certPem);
    options.keyFile = dir.Write("key.pem", cert.keyPem);
    options.listen = "127.0.0.1:0";
    connection.ssl.caFile = options.certFile;
  }
  RankHttpsServer::Options options;
  TRankingConnection connection;

  void Start() {
    server = std::make_unique<RankHttpsServer>(options);
    connection.host = ("127.0.0.1:" + std::to_string(server->Port())).c_str();
  }
  std::unique_ptr<RankHttpsServer> server;
};

TEST_F(RankServerTest, TheGamesRequestsEndToEnd) {
  Start();
  VXStringList lines;
  ASSERT_EQ(RankGetSongList(connection, &lines), 0) << SslLastError();
  VXStringList ids;
  VXStringList titles;
  EXPECT_EQ(RankParseSongList(&lines, &ids, &titles), 3);
  EXPECT_EQ(Lines(ids), (std::vector<std::string>{"QM01", "QM02", "QM03"}));
  EXPECT_STREQ(titles.GetString(2).c_str(), "\x8E\x4F, with a comma");

  const TRankingUpload upload{"a=b&c", "p+w%d", ids.GetString(0), 1, 4321, ScoreCheckValue(4321)};
  EXPECT_EQ(RankPutRanking(connection, &lines, upload), rankCodeAuth);
  store.SetUser("a=b&c", "p+w%d");  // escaped by the client, decoded by the server
  ASSERT_EQ(RankPutRanking(connection, &lines, upload), 0);
  int rank = 0;
  EXPECT_TRUE(RankParseUploadRank(lines.GetString(0), rank));
  EXPECT_EQ(rank, 1);

  ASSERT_EQ(RankGetRanking(connection, &lines, "QM01", 1), 0);
  VXStringList names;
  int scores[kRankMaxPlaces];
  ASSERT_EQ(RankParseRanking(&lines, 0, &names, scores), 1);
  EXPECT_STREQ(names.GetString(0).c_str(), "a=b&c");
  EXPECT_EQ(scores[0], 4321);

  TRankingUpload forged = upload;
  forged.score = 999999;
  EXPECT_EQ(RankPutRanking(connection, &lines, forged), rankCodeCheck);
  EXPECT_EQ(Ranked(store, "QM01", 1), (Places{{"a=b&c", 4321}}));
}

TEST_F(RankServerTest, StopsWhileAClientSaysNothing) {
  options.ioTimeoutMs = 600'000;
  Start();
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(server->Port()));
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  VXStringList lines;
  EXPECT_EQ(RankGetSongList(connection, &lines), 0);  // other workers still serve
  server->Stop();                                      // cuts the silent connection rather than wait for it
  close(fd);
}

// Eight clients at once, uploading and reading: no request fails and every best score is there at the end.
TEST_F(RankServerTest, ConcurrentClientsLoseNoScore) {
  constexpr int kClients = 8;
  for (int c = 0; c < kClients; ++c) store.SetUser(RankLoadUser(c), kRankLoadPassword);
  Start();
  RankLoadResult result = RunRankLoad(connection, {"QM01", "QM02", "QM03"}, kClients, 30, 0);
  EXPECT_EQ(result.requests, kClients * 30);
  EXPECT_EQ(result.failures, 0);
  ASSERT_FALSE(result.bests.empty());
  for (const auto& [key, best] : result.bests) {
    const auto& [user, song, level] = key;
    int stored = -1;
    for (const RankStore::Place& p : store.Ranking(song, level, kRankMaxPlaces)) {
      if (p.user == user) stored = p.score;
    }
    EXPECT_EQ(stored, best) << user << " " << song << " " << level;
  }
  std::printf("%d requests from %d clients in %.2f s: %.0f per second, p99 %.1f ms (%u cores)\n", result.requests,
              kClients, result.seconds, result.PerSecond(), result.PercentileMs(99),
              std::thread::hardware_concurrency());
}

TEST(RankServerOptions, RefusesWhatCannotServe) {
  TempDir dir;
  RankHttpsServer::Options options;
  options.store = (dir.path() / "rank.db").string();
  options.listen = "127.0.0.1:0";
  options.certFile = dir.Write("cert.pem", "not a certificate");
  options.keyFile = options.certFile;
  EXPECT_THROW(RankHttpsServer{options}, std::runtime_error);
  const SelfSignedCert cert = MakeSelfSignedCert({"127.0.0.1"});
  options.certFile = dir.Write("cert.pem", cert.certPem);
  options.keyFile = dir.Write("key.pem", MakeSelfSignedCert({"other"}).keyPem);  // not the certificate's key
  EXPECT_THROW(RankHttpsServer{options}, std::runtime_error);
  options.keyFile = dir.Write("key.pem", cert.keyPem);
  options.listen = "no-port";
  EXPECT_THROW(RankHttpsServer{options}, std::runtime_error);
  options.listen = "127.0.0.1:0";
  options.store = (dir.path() / "missing" / "rank.db").string();
  EXPECT_THROW(RankHttpsServer{options}, std::runtime_error);
}

}  // namespace

// Label: threads
#include "ranking/pnetrankmenu.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/vxstrlist.h"
#include "linelist.h"
#include "tlsserver.h"

namespace {

std::string Reply(const std::vector<std::string>& body, const std::string& trailer) {
  std::string text = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
  for (const std::string& line : body) text += line + "\r\n";
  return text + trailer + "\r\n";
}

TEST(RankForm, EscapesOnlyTheFourFormCharacters) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"a=b&c", "a%3Db%26c"},
      {"pass+word", "pass%2Bword"},
      {"100%", "100%25"},
      {"blank s ~!*", "blank s ~!*"},
      {"\x83\x65\x83\x58", "\x83\x65\x83\x58"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_STREQ(EscapeFormValue(c.in).c_str(), c.out) << c.in;
}

TEST(RankForm, BodiesInTheirFieldOrder) {
  EXPECT_STREQ(RankingRequestBody("QM01", 1).c_str(), "mid=QM01&level=hard");
  EXPECT_STREQ(RankingRequestBody("QM01", 2).c_str(), "mid=QM01&level=easy");
  TRankingUpload upload{"a=b&c", "x+y", "QM07", 0, 123456, ScoreCheckValue(123456)};
  EXPECT_STREQ(UploadRequestBody(upload).c_str(),
               "usrid=a%3Db%26c&passwd=x%2By&mid=QM07&level=normal&score=123456&error=00FE1DBF");
  EXPECT_EQ(ScoreCheckValue(0), 0x00FFFFFFu);
  EXPECT_EQ(ScoreCheckValue(0x01000000), 0xFFFFFFFFu);  // modulo 2^32
}

TEST(RankForm, RefusesBodiesThatCannotBeSent) {
  for (const char* id : {"", "QM01&level=easy", "a=b", "50%", "a+b", "a b", "QM\r\n01", "Q\x01", "Q\x7F"}) {
    EXPECT_FALSE(IsSafeSongId(id)) << id;
    EXPECT_TRUE(RankingRequestBody(id, 0).IsEmpty()) << id;
    EXPECT_TRUE(UploadRequestBody({"u", "p", id, 0, 1, 0}).IsEmpty()) << id;
  }
  for (const int level : {-1, 3, 127}) {
    EXPECT_TRUE(RankingRequestBody("QM01", level).IsEmpty()) << level;
    EXPECT_TRUE(UploadRequestBody({"u", "p", "QM01", level, 1, 0}).IsEmpty()) << level;
  }
  EXPECT_TRUE(IsSafeSongId("QM01"));
  EXPECT_TRUE(IsSafeSongId("\x83\x65"));  // CP932 bytes are not escapes
}

TEST(RankNumbers, DecimalsWithinRangeOnly) {
  const struct {
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"0", true, 0},          {"42", true, 42},         {"-7", true, -7},
      {"2147483647", true, INT_MAX}, {"-2147483648", true, INT_MIN},
      {"2147483648", false, 0}, {"99999999999999999999", false, 0}, {"-2147483649", false, 0},
      {"", false, 0},          {"-", false, 0},          {"+5", false, 0},
      {" 5", false, 0},        {"5 ", false, 0},         {"5x", false, 0},
      {"0x10", false, 0},      {"--1", false, 0},
  };
  for (const auto& c : cases) {
    int value = 12345;
    EXPECT_EQ(RankParseInt(c.text, value), c.ok) << c.text;
    EXPECT_EQ(value, c.ok ? c.value : 12345) << c.text;
  }
}

TEST(RankCheckResponse, TrailersAndHeaders) {
  using V = std::vector<std::string>;
  const V head = {"HTTP/1.0 200 OK", "Content-Type: text/plain", ""};
  const auto with = [&](V body) {
    V all = head;
    all.insert(all.end(), body.begin(), body.end());
    return all;
  };
  const struct {
    V reply;
    int code;
    V body;  // what the list holds after a passed check
  } cases[] = {
      {with({"a", "b", "c", "OK:3"}), 0, {"a", "b", "c"}},
      {with({"a", "b", "c", "OK:2"}), -1, {}},
      {with({"OK:0"}), 0, {}},
      {with({"OK:"}), -1, {}},           // too short for a count
      {with({"OK:x"}), 0, {}},           // a count that does not parse is 0 ...
      {with({"a", "OK:x"}), -1, {}},     // ... which differs from one line
      {with({"a", "OK:99999999999"}), -1, {}},
      {with({"ERROR:2"}), 2, {}},
      {with({"ERROR:0"}), 0, {}},        // success, like OK
      {with({"ERROR:x"}), -1, {}},
      {with({"ERROR:"}), -1, {}},
      {with({"ERROR:99999999999"}), -1, {}},
      {with({"ERR:2"}), -1, {}},
      {with({"NO:1"}), -1, {}},
      {with({"OKAY:0"}), -1, {}},
      {with({}), -1, {}},                  // nothing after the headers
      {{"HTTP/1.0 200 OK", "Content-Type: text/plain", "a", "OK:1"}, -1, {}},  // headers never end
      {{"HTTP/1.0 404 Not Found", "", "OK:0"}, -1, {}},
      {{"", "", "OK:0"}, -1, {}},
      {{}, -1, {}},
  };
  for (const auto& c : cases) {
    VXStringList list = List(c.reply);
    EXPECT_EQ(RankCheckResponse(&list), c.code) << ::testing::PrintToString(c.reply);
    if (c.code == 0) {
      EXPECT_EQ(Lines(list), c.body) << ::testing::PrintToString(c.reply);
    }
  }
  EXPECT_EQ(RankCheckResponse(nullptr), -1);
}

TEST(RankReplies, SongListSkipsUnusableLines) {
  VXStringList body = List({"QM01,First", ",NoId", "QM02,", "NoComma", "QM03,Title, with comma", "Q&1,Bad",
                            "Q M,Blank", "QM04,\x8B\xC8"});
  VXStringList ids;
  VXStringList titles;
  EXPECT_EQ(RankParseSongList(&body, &ids, &titles), 3);
  EXPECT_EQ(Lines(ids), (std::vector<std::string>{"QM01", "QM03", "QM04"}));
  EXPECT_EQ(Lines(titles), (std::vector<std::string>{"First", "Title, with comma", "\x8B\xC8"}));
}

TEST(RankReplies, RankingReadsAtMostAHundredPlaces) {
  std::vector<std::string> lines;
  for (int i = 0; i < 150; ++i) lines.push_back("p" + std::to_string(i) + "," + std::to_string(1000 - i));
  lines[1] = "no comma";
  lines[2] = "neg,-5";
  lines[3] = "huge,99999999999";
  lines[4] = "junk,12x";
  lines[5] = ",7";
  VXStringList body = List(lines);
  VXStringList names;
  int scores[kRankMaxPlaces + 1];
  scores[kRankMaxPlaces] = -99;  // never written
  EXPECT_EQ(RankParseRanking(&body, 0, &names, scores), kRankMaxPlaces);
  EXPECT_EQ(names.GetCount(), kRankMaxPlaces);
  EXPECT_EQ(scores[kRankMaxPlaces], -99);
  const std::vector<std::string> firstNames = {"p0", "", "neg", "huge", "junk", "", "p6"};
  const std::vector<int> firstScores = {1000, 0, 0, 0, 0, 0, 994};
  for (std::size_t i = 0; i < firstNames.size(); ++i) {
    EXPECT_STREQ(names.GetString(static_cast<int>(i)).c_str(), firstNames[i].c_str()) << i;
    EXPECT_EQ(scores[i], firstScores[i]) << i;
  }
  EXPECT_EQ(scores[99], 901);

  VXStringList upload = List({"Rank = 2", "a,10", "b,9"});
  VXStringList uploadNames;
  EXPECT_EQ(RankParseRanking(&upload, 1, &uploadNames, scores), 2);
  EXPECT_EQ(Lines(uploadNames), (std::vector<std::string>{"a", "b"}));
}

TEST(RankReplies, UploadRank) {
  const struct {
    const char* line;
    bool ok;
    int rank;
  } cases[] = {
      {"Rank = 25", true, 25}, {"Rank = 0", true, 0},     {"Rank = -1", true, -1},
      {"Rank = x", true, 0},   {"Rank = 99999999999", true, 0}, {"ABCDEFG1", true, 1},
      {"Rank = ", false, 0},   {"", false, 0},            {"1234567", false, 0},
  };
  for (const auto& c : cases) {
    int rank = 12345;
    EXPECT_EQ(RankParseUploadRank(c.line, rank), c.ok) << c.line;
    if (c.ok) {
      EXPECT_EQ(rank, c.rank) << c.line;
    }
  }
}

// The three requests through the real client: the exact request reaches the server, the reply is checked, and
// only its body is left.
TEST(RankRequests, EachRequestItsPathBodyAndCheckedReply) {
  const struct {
    const char* what;
    std::string reply;
    int code;
    std::vector<std::string> body;
    std::string request;
  } cases[] = {
      {"song list", Reply({"QM01,A", "QM02,B"}, "OK:2"), 0, {"QM01,A", "QM02,B"},
       "GET /cgi-bin/marovine/ranking/qorm_getmlist.cgi HTTP/1.0\r\n"},
      {"ranking", Reply({"a,10"}, "OK:1"), 0, {"a,10"},
       "POST /cgi-bin/marovine/ranking/qorm_getranking.cgi HTTP/1.0\r\n"},
      {"upload", Reply({}, "ERROR:2"), 2, {}, "POST /cgi-bin/marovine/ranking/qorm_putranking.cgi HTTP/1.0\r\n"},
  };
  for (int i = 0; i < 3; ++i) {
    const auto& c = cases[i];
    TestTlsServer server(Answer({c.reply}));
    const TRankingConnection connection{server.Host().c_str(), server.Settings()};
    VXStringList lines = List({"stale"});
    const TRankingUpload upload{"me&you", "p=1", "QM01", 2, 100, ScoreCheckValue(100)};
    const int code = i == 0   ? RankGetSongList(connection, &lines)
                     : i == 1 ? RankGetRanking(connection, &lines, "QM01", 1)
                              : RankPutRanking(connection, &lines, upload);
    EXPECT_EQ(code, c.code) << c.what;
    EXPECT_EQ(Lines(lines), c.body) << c.what;
    ASSERT_EQ(server.Requests().size(), 1u) << c.what;
    const std::string request = server.Requests()[0];
    EXPECT_TRUE(request.starts_with(c.request)) << request;
    if (i == 1) {
      EXPECT_TRUE(request.ends_with("Content-Length: 19\r\n\r\nmid=QM01&level=hard")) << request;
    }
    if (i == 2) {
      EXPECT_TRUE(request.ends_with("\r\n\r\nusrid=me%26you&passwd=p%3D1&mid=QM01&level=easy&score=100&error=00FFFF9B"))
          << request;
    }
  }
}

TEST(RankRequests, FailuresGiveMinusOneWithoutTheNetworkWhenTheRequestCannotBeMade) {
  TestTlsServer server(Answer({Reply({}, "OK:0")}));
  const TRankingConnection connection{server.Host().c_str(), server.Settings()};
  VXStringList lines;
  EXPECT_EQ(RankGetRanking(connection, &lines, "QM01&mid=QM02", 0), -1);
  EXPECT_EQ(RankPutRanking(connection, &lines, {"u", "p", "QM01", 5, 1, 0}), -1);
  EXPECT_EQ(server.Connections(), 0);
  EXPECT_EQ(RankGetSongList({"", server.Settings()}, &lines), -1);
  EXPECT_EQ(SslLastError(), sslErrResolve);
}

}  // namespace

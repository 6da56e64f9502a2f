// Label: threads
#include "ranking/sslcom.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include "core/vxstrlist.h"
#include "linelist.h"
#include "tlsserver.h"

namespace {

std::vector<std::string> Split(std::vector<std::string> chunks) {
  TSslLineReader reader;
  for (const std::string& chunk : chunks) reader.Feed(chunk);
  reader.Finish();
  return reader.Lines();
}

using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

constexpr char kPath[] = "/cgi-bin/test.cgi";

TEST(SslLineReader, SplitsOnEachLineEndAlsoAcrossChunks) {
  using V = std::vector<std::string>;
  const struct {
    V chunks;
    V lines;
  } cases[] = {
      {{"A\r\n\r\nB"}, {"A", "", "B"}},
      {{"A\n\rB"}, {"A", "", "B"}},
      {{"A\r", "\nB\r\n"}, {"A", "B"}},  // CR ends one chunk, its LF starts the next
      {{"A\r", "", "\nB"}, {"A", "B"}},
      {{"A\r\rB"}, {"A", "", "B"}},
      {{"no end"}, {"no end"}},
      {{"\r\n"}, {""}},
      {{"x", "y", "z\n"}, {"xyz"}},
      {{}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split(c.chunks), c.lines) << ::testing::PrintToString(c.chunks);
}

TEST(SslHost, NamesAndPorts) {
  const struct {
    const char* host;
    bool ok;
    const char* name;
    const char* port;
  } cases[] = {
      {"rank.example", true, "rank.example", "443"},
      {"rank.example:8443", true, "rank.example", "8443"},
      {"127.0.0.1:1", true, "127.0.0.1", "1"},
      {"[::1]:65535", true, "::1", "65535"},
      {"::1", true, "::1", "443"},
      {"[::1]", true, "::1", "443"},
      {"", false, "", ""},
      {":443", false, "", ""},
      {"host:", false, "", ""},
      {"host:0", false, "", ""},
      {"host:65536", false, "", ""},
      {"host:99999999999", false, "", ""},
      {"host:-1", false, "", ""},
      {"host:44x", false, "", ""},
      {"[::1", false, "", ""},
      {"[::1]x", false, "", ""},
      {"bad host", false, "", ""},
      {"host\r\nX-Injected: 1", false, "", ""},
  };
  for (const auto& c : cases) {
    std::string name;
    std::string port;
    EXPECT_EQ(SslSplitHost(c.host, name, port), c.ok) << c.host;
    if (c.ok) {
      EXPECT_EQ(name + " " + port, std::string(c.name) + " " + c.port) << c.host;
    }
  }
}

TEST(SslRequest, TextsAreExactAndRefuseLineBreaks) {
  EXPECT_EQ(SslGetRequest("rank.example", "/a.cgi"),
            "GET /a.cgi HTTP/1.0\r\nHost: rank.example\r\nUser-Agent: Marovine/1.0\r\nPragma: no-cache\r\n"
            "Accept: text/*\r\n\r\n");
  EXPECT_EQ(SslPostRequest("rank.example:8443", "/b.cgi", "mid=QM01&level=hard"),
            "POST /b.cgi HTTP/1.0\r\nHost: rank.example:8443\r\nUser-Agent: Marovine/1.0\r\nPragma: no-cache\r\n"
            "Accept: text/*\r\nContent-Length: 19\r\n\r\nmid=QM01&level=hard");
  // The body is built to its size: no fixed buffer cuts or overruns it.
  const std::string body(100'000, 'x');
  EXPECT_TRUE(SslPostRequest("h", "/p", body).ends_with("\r\nContent-Length: 100000\r\n\r\n" + body));
  EXPECT_EQ(SslGetRequest("h", "/p\r\nX: y"), "");
  EXPECT_EQ(SslGetRequest("h", "no-slash"), "");
  EXPECT_EQ(SslPostRequest("h\nX: y", "/p", "b"), "");
}

// The whole round trip: the exact request reaches the server, and the reply comes back line by line however the
// server cut it into records.
TEST(SslHttp, GetSendsTheExactRequestAndReadsEveryLine) {
  TestTlsServer server(Answer({"HTTP/1.0 200 OK\r", "\n\r\nQM01,Title\r\n", "OK:1"}));
  VXStringList lines;
  lines.Add("kept");
  ASSERT_TRUE(SslHttpGet(&lines, server.Host().c_str(), kPath, server.Settings())) << SslLastError();
  EXPECT_EQ(SslLastError(), sslErrNone);
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"kept", "HTTP/1.0 200 OK", "", "QM01,Title", "OK:1"}));
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"GET /cgi-bin/test.cgi HTTP/1.0\r\nHost: " + server.Host() +
                                                        "\r\nUser-Agent: Marovine/1.0\r\nPragma: no-cache\r\n"
                                                        "Accept: text/*\r\n\r\n"});
  EXPECT_EQ(server.ServerNames(), std::vector<std::string>{""});  // no SNI for an address
}

TEST(SslHttp, PostSendsALargeBodyWholeAndUnchanged) {
  TestTlsServer server(Answer({"HTTP/1.0 200 OK\r\n\r\nOK:0\r\n"}));
  std::string body;
  for (int i = 0; body.size() < 300'000; ++i) body += "usrid=a%26b&n=" + std::to_string(i) + "&";
  VXStringList lines;
  ASSERT_TRUE(SslHttpPost(&lines, server.Host().c_str(), kPath, VXString(body.data(), body.size()),
                          server.Settings()));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0], "POST /cgi-bin/test.cgi HTTP/1.0\r\nHost: " + server.Host() +
                                      "\r\nUser-Agent: Marovine/1.0\r\nPragma: no-cache\r\nAccept: text/*\r\n"
                                      "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"HTTP/1.0 200 OK", "", "OK:0"}));
}

TEST(SslHttp, NamesGoOutAsSniAndAreChecked) {
  TestTlsServer server(Answer({"HTTP/1.0 200 OK\r\n\r\nOK:0\r\n"}));
  const std::string host = "localhost:" + std::to_string(server.Port());
  VXStringList lines;
  ASSERT_TRUE(SslHttpGet(&lines, host.c_str(), kPath, server.Settings())) << SslLastError();
  EXPECT_EQ(server.ServerNames(), std::vector<std::string>{"localhost"});
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].find("\r\nHost: " + host + "\r\n"), std::string::npos);
}

// Every way the server can fail to prove itself ends the call before the request (and its password) is sent.
TEST(SslHttp, RefusesServersThatCannotBeTrusted) {
  const struct {
    const char* what;
    TestTlsServer::Options options;
  } cases[] = {
      {"untrusted certificate", {.trusted = false}},
      {"certificate for another host", {.certNames = {"ranking.test"}}},
      {"server older than TLS 1.2", {.maxVersion = TLS1_1_VERSION}},
      {"no TLS at all", {.tls = false}},
  };
  for (const auto& c : cases) {
    TestTlsServer server(
        [](TestTlsConnection& connection) {
          if (connection.Ssl() != nullptr) connection.ReadRequest();  // a plain server answers at once
          connection.Write("HTTP/1.0 200 OK\r\n\r\nOK:0\r\n");
        },
        c.options);
    VXStringList lines;
    EXPECT_FALSE(SslHttpPost(&lines, server.Host().c_str(), kPath, "passwd=secret", server.Settings())) << c.what;
    EXPECT_EQ(SslLastError(), sslErrHandshake) << c.what;
    EXPECT_EQ(lines.GetCount(), 0) << c.what;
    for (const std::string& request : server.Requests()) EXPECT_EQ(request.find("secret"), std::string::npos) << c.what;
  }
}

TEST(SslHttp, WithoutTheExtraCertificateOnlyTheSystemStoreIsTrusted) {
  TestTlsServer server(Answer({"HTTP/1.0 200 OK\r\n\r\nOK:0\r\n"}));
  TSslSettings settings = server.Settings();
  settings.caFile.clear();
  EXPECT_FALSE(SslHttpGet(nullptr, server.Host().c_str(), kPath, settings));
  EXPECT_EQ(SslLastError(), sslErrHandshake);
  settings.caFile = server.CaFile() + ".missing";
  EXPECT_FALSE(SslHttpGet(nullptr, server.Host().c_str(), kPath, settings));
  EXPECT_EQ(SslLastError(), sslErrTlsSetup);
}

TEST(SslHttp, AnEmptyOrMalformedHostFailsAsUnresolvedWithoutConnecting) {
  TestTlsServer server(Answer({}));
  for (const char* host : {"", ":", "127.0.0.1:0", "127.0.0.1:70000", "a b"}) {
    VXStringList lines;
    EXPECT_FALSE(SslHttpGet(&lines, host, kPath, server.Settings())) << host;
    EXPECT_EQ(SslLastError(), sslErrResolve) << host;
    EXPECT_EQ(lines.GetCount(), 0);
  }
  EXPECT_EQ(server.Connections(), 0);
}

TEST(SslHttp, NothingListensConnectFails) {
  int port = 0;
  {
    TestTlsServer gone(nullptr);
    port = gone.Port();
  }
  const std::string host = "127.0.0.1:" + std::to_string(port);
  EXPECT_FALSE(SslHttpGet(nullptr, host.c_str(), kPath, TSslSettings()));
  EXPECT_EQ(SslLastError(), sslErrConnect);
}

// Servers that say nothing: the call gives up after its timeout rather than hang the game thread. The bounds are
// generous: only that it ends, and not before the timeout, is asserted.
TEST(SslHttp, SilentServersTimeOut) {
  const struct {
    const char* what;
    TestTlsServer::Options options;
    TestTlsServer::Script script;
  } cases[] = {
      {"no handshake", {.tls = false}, [](TestTlsConnection& c) { c.WaitForClose(); }},
      {"no reply", {}, [](TestTlsConnection& c) {
         c.ReadRequest();
         c.WaitForClose();
       }},
      {"a reply that stops", {}, [](TestTlsConnection& c) {
         c.ReadRequest();
         c.Write("HTTP/1.0 200 OK\r\n");
         c.WaitForClose();
       }},
  };
  for (const auto& c : cases) {
    TestTlsServer server(c.script, c.options);
    TSslSettings settings = server.Settings();
    settings.ioTimeoutMs = 300;
    VXStringList lines;
    const auto start = Clock::now();
    EXPECT_FALSE(SslHttpGet(&lines, server.Host().c_str(), kPath, settings)) << c.what;
    EXPECT_EQ(SslLastError(), sslErrTimeout) << c.what;
    EXPECT_GE(SecondsSince(start), 0.29) << c.what;
    EXPECT_LT(SecondsSince(start), 30.0) << c.what;
    EXPECT_EQ(lines.GetCount(), 0) << c.what;
  }
}

TEST(SslHttp, AServerThatDripsBytesMeetsTheWholeCallsDeadline) {
  TestTlsServer server([](TestTlsConnection& c) {
    c.ReadRequest();
    while (c.Write("x")) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  });
  TSslSettings settings = server.Settings();
  settings.totalTimeoutMs = 500;
  const auto start = Clock::now();
  EXPECT_FALSE(SslHttpGet(nullptr, server.Host().c_str(), kPath, settings));
  EXPECT_EQ(SslLastError(), sslErrTimeout);
  EXPECT_LT(SecondsSince(start), 30.0);
}

TEST(SslHttp, ConnectTimesOutWhenTheServerNeverAccepts) {
  TestTlsServer server(nullptr, {.backlog = 0});  // nobody accepts: the queue fills and new connections wait
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(server.Port()));
    connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    fillers.push_back(fd);
  }
  TSslSettings settings = server.Settings();
  settings.connectTimeoutMs = 300;
  const auto start = Clock::now();
  EXPECT_FALSE(SslHttpGet(nullptr, server.Host().c_str(), kPath, settings));
  EXPECT_EQ(SslLastError(), sslErrTimeout);
  EXPECT_LT(SecondsSince(start), 30.0);
  for (const int fd : fillers) close(fd);
}

// Closing the game during a request: the shell flips the cancel switch and the call returns at once, long before
// its timeouts.
TEST(SslHttp, ACancelledCallReturnsAtOnce) {
  TSslCancel cancel;
  TestTlsServer server([&](TestTlsConnection& c) {
    c.ReadRequest();
    cancel.Cancel();
    c.WaitForClose();
  });
  TSslSettings settings = server.Settings();
  settings.ioTimeoutMs = 600'000;
  settings.totalTimeoutMs = 600'000;
  settings.cancelFd = cancel.Fd();
  const auto start = Clock::now();
  EXPECT_FALSE(SslHttpGet(nullptr, server.Host().c_str(), kPath, settings));
  EXPECT_EQ(SslLastError(), sslErrCancelled);
  EXPECT_LT(SecondsSince(start), 60.0);
  EXPECT_TRUE(cancel.IsCancelled());

  // Still cancelled: the next call does not even connect. After a reset, calls work again.
  EXPECT_FALSE(SslHttpGet(nullptr, server.Host().c_str(), kPath, settings));
  EXPECT_EQ(SslLastError(), sslErrCancelled);
  EXPECT_EQ(server.Connections(), 1);
  cancel.Reset();
  EXPECT_FALSE(cancel.IsCancelled());
}

TEST(SslHttp, AReplyOverTheCapFailsTheCall) {
  TestTlsServer server([](TestTlsConnection& c) {
    c.ReadRequest();
    const std::string block(16384, 'x');
    while (c.Write(block)) {
    }  // endless, until the client hangs up
  });
  TSslSettings settings = server.Settings();
  settings.maxReplyBytes = 100'000;
  VXStringList lines;
  EXPECT_FALSE(SslHttpGet(&lines, server.Host().c_str(), kPath, settings));
  EXPECT_EQ(SslLastError(), sslErrTooLarge);
  EXPECT_EQ(lines.GetCount(), 0);
}

// A server that hangs up while a large request is being written: the write fails and SIGPIPE (whose default
// action would end the game) is never raised.
TEST(SslHttp, AServerThatHangsUpMidRequestGivesAnErrorNotSigpipe) {
  ASSERT_EQ(std::signal(SIGPIPE, SIG_DFL), SIG_DFL);
  TestTlsServer server([](TestTlsConnection& c) { c.Abort(); });
  const std::string body(8 << 20, 'x');
  EXPECT_FALSE(SslHttpPost(nullptr, server.Host().c_str(), kPath, VXString(body.data(), body.size()),
                           server.Settings()));
  EXPECT_TRUE(SslLastError() == sslErrSend || SslLastError() == sslErrReceive) << SslLastError();
}

TEST(SslHttp, AnEmptyReplyIsReadAsNoLines) {
  TestTlsServer server([](TestTlsConnection& c) { c.ReadRequest(); });
  VXStringList lines;
  EXPECT_TRUE(SslHttpGet(&lines, server.Host().c_str(), kPath, server.Settings()));
  EXPECT_EQ(lines.GetCount(), 0);
}

TEST(SslInternet, ALoopbackHostCountsAsReachable) {
  for (const char* host : {"localhost", "LOCALHOST:8443", "127.0.0.1", "127.1.2.3:99", "[::1]:8443", "::1"}) {
    EXPECT_TRUE(IsInternetConnected(host)) << host;
  }
}

}  // namespace

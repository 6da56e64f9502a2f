// Load on the ranking server over the loopback: clients (default 8) uploading and reading at once for a fixed time
// (default 10 s) through the game's own client, each request a new TLS connection. Prints the rate and latencies,
// and fails when a request failed or a best score is missing.
//   rankserver_load [CLIENTS [SECONDS]]
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "ranking/rankload.h"
#include "support/tempdir.h"
#include "tools/rankserver/rankhttps.h"
#include "tools/rankserver/rankstore.h"
#include "tools/rankserver/selfcert.h"

int main(int argc, char** argv) {
  const int clients = argc > 1 ? std::atoi(argv[1]) : 8;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
  TempDir dir;
  const SelfSignedCert cert = MakeSelfSignedCert({"127.0.0.1"});
  RankHttpsServer::Options options;
  options.store = (dir.path() / "rank.db").string();
  options.certFile = dir.Write("cert.pem", cert.certPem);
  options.keyFile = dir.Write("key.pem", cert.keyPem);
  options.listen = "127.0.0.1:0";
  const std::vector<std::string> songs = {"QM01", "QM02", "QM03", "QM04"};
  RankStore store(options.store);
  for (const std::string& song : songs) store.AddSong(song, "曲 " + song);
  for (int c = 0; c < clients; ++c) store.SetUser(RankLoadUser(c), kRankLoadPassword);
  RankHttpsServer server(options);
  TRankingConnection connection;
  connection.host = ("127.0.0.1:" + std::to_string(server.Port())).c_str();
  connection.ssl.caFile = options.certFile;

  RankLoadResult result = RunRankLoad(connection, songs, clients, 0, seconds);
  server.Stop();
  int lost = 0;
  for (const auto& [key, best] : result.bests) {
    const auto& [user, song, level] = key;
    int stored = -1;
    for (const RankStore::Place& p : store.Ranking(song, level, 1'000'000)) {
      if (p.user == user) stored = p.score;
    }
    if (stored != best) ++lost;
  }
  std::printf("%d clients, %.1f s, %u cores: %d requests, %.0f per second; latency p50 %.1f ms, p99 %.1f ms, "
              "max %.1f ms; %d failed, %d best scores missing\n",
              clients, result.seconds, std::thread::hardware_concurrency(), result.requests, result.PerSecond(),
              result.PercentileMs(50), result.PercentileMs(99), result.PercentileMs(100), result.failures, lost);
  return result.failures == 0 && lost == 0 ? 0 : 1;
}

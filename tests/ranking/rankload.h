// A load on a ranking server: clients on threads, each uploading scores and reading rankings and the song list in
// turn through the game's own client, until a request count or a time is reached. Used by the load test (a fixed
// count, correctness asserted) and by the load benchmark (a fixed time, rates reported).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/vxstrlist.h"
#include "ranking/pnetrankmenu.h"

struct RankLoadResult {
  int requests = 0;
  int failures = 0;
  double seconds = 0;
  std::vector<double> latenciesMs;
  // The best score each client uploaded: (user, song, level) -> score.
  std::map<std::tuple<std::string, std::string, int>, int> bests;

  double PerSecond() const { return seconds > 0 ? requests / seconds : 0; }
  double PercentileMs(double p) {
    if (latenciesMs.empty()) return 0;
    std::sort(latenciesMs.begin(), latenciesMs.end());
    const auto at = static_cast<std::size_t>(p / 100 * static_cast<double>(latenciesMs.size() - 1) + 0.5);
    return latenciesMs[std::min(at, latenciesMs.size() - 1)];
  }
};

inline std::string RankLoadUser(int client) { return "load" + std::to_string(client); }
inline constexpr char kRankLoadPassword[] = "pass+word=1";

// Every client runs up to requestsPerClient requests (0: no limit) until `seconds` pass (0: no limit).
inline RankLoadResult RunRankLoad(const TRankingConnection& connection, const std::vector<std::string>& songs,
                                  int clients, int requestsPerClient, double seconds) {
  using Clock = std::chrono::steady_clock;
  RankLoadResult result;
  std::mutex mutex;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  std::vector<std::thread> threads;
  for (int client = 0; client < clients; ++client) {
    threads.emplace_back([&, client] {
      RankLoadResult mine;
      std::uint32_t random = 12345u + static_cast<std::uint32_t>(client);
      for (int i = 0; requestsPerClient == 0 || i < requestsPerClient; ++i) {
        if (seconds > 0 && Clock::now() >= end) break;
        random = random * 1664525u + 1013904223u;
        const std::string song = songs[(random >> 8) % songs.size()];
        const int level = static_cast<int>((random >> 4) % kRankLevelCount);
        VXStringList lines;
        const auto sent = Clock::now();
        int code = 0;
        if (i % 3 == 0) {
          const int score = static_cast<int>((random >> 12) % 1'000'000) + 1;
          const TRankingUpload upload{RankLoadUser(client).c_str(), kRankLoadPassword, song.c_str(), level, score,
                                      ScoreCheckValue(score)};
          code = RankPutRanking(connection, &lines, upload);
          int rank = 0;
          if (code == 0 && (!RankParseUploadRank(lines.GetString(0), rank) || rank < 1)) code = -2;
          int& best = mine.bests[{RankLoadUser(client), song, level}];
          if (code == 0) best = std::max(best, score);
        } else if (i % 3 == 1) {
          code = RankGetRanking(connection, &lines, song.c_str(), level);
        } else {
          code = RankGetSongList(connection, &lines);
          if (code == 0 && lines.GetCount() != static_cast<int>(songs.size())) code = -2;
        }
        mine.latenciesMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
        ++mine.requests;
        if (code != 0) ++mine.failures;
      }
      std::lock_guard lock(mutex);
      result.requests += mine.requests;
      result.failures += mine.failures;
      result.latenciesMs.insert(result.latenciesMs.end(), mine.latenciesMs.begin(), mine.latenciesMs.end());
      result.bests.insert(mine.bests.begin(), mine.bests.end());
    });
  }
  for (std::thread& thread : threads) thread.join();
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

// Reads arbitrary bytes as a ranking server's reply, the way the game does: split into lines as they arrive in
// chunks, checked, and read as a song list, a ranking and an upload reply. Checks what the readers promise.
// Links: ranking
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/vxstrlist.h"
#include "ranking/pnetrankmenu.h"
#include "ranking/sslcom.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1 << 16)) return 0;
  // The first byte sets the chunk size, so that line ends fall across chunks in every way.
  const std::size_t chunk = 1 + data[0] % 17;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  TSslLineReader reader;
  for (std::size_t at = 0; at < bytes.size(); at += chunk) reader.Feed(bytes.substr(at, chunk));
  reader.Finish();
  VXStringList lines;
  for (const std::string& line : reader.Lines()) {
    if (line.find_first_of("\r\n") != std::string::npos) __builtin_trap();
    lines.Add(VXString(line.data(), static_cast<unsigned>(line.size())));
  }
  if (RankCheckResponse(&lines) != 0) return 0;

  VXStringList ids;
  VXStringList titles;
  const int songs = RankParseSongList(&lines, &ids, &titles);
  if (songs < 0 || songs > lines.GetCount() || ids.GetCount() != songs || titles.GetCount() != songs) __builtin_trap();
  for (int i = 0; i < songs; ++i) {
    if (!IsSafeSongId(ids.GetString(i).GetConstStr())) __builtin_trap();
    if (RankingRequestBody(ids.GetString(i), 0).IsEmpty()) __builtin_trap();
  }

  int scores[kRankMaxPlaces];
  for (const int first : {0, 1}) {
    VXStringList names;
    const int places = RankParseRanking(&lines, first, &names, scores);
    if (places < 0 || places > kRankMaxPlaces || names.GetCount() != places) __builtin_trap();
    for (int i = 0; i < places; ++i) {
      if (scores[i] < 0) __builtin_trap();
    }
  }
  int rank = 0;
  if (RankParseUploadRank(lines.GetString(0), rank) != (lines.GetString(0).Length() >= 8)) __builtin_trap();
  return 0;
}

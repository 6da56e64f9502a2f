// Reads arbitrary bytes as a request to the ranking server and answers it from a small store in memory: the
// reply is always one whole HTTP reply whose trailer the game's own check accepts or refuses cleanly.
// Links: rankserverlib
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/vxstrlist.h"
#include "ranking/pnetrankmenu.h"
#include "ranking/sslcom.h"
#include "tools/rankserver/rankservice.h"
#include "tools/rankserver/rankstore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static RankStore* store = [] {
    auto* s = new RankStore(":memory:");
    s->AddSong("QM01", "song");
    s->SetUser("u", "p");
    return s;
  }();
  RankHttpRequest request;
  const RankParse parsed = ParseRankRequest(std::string_view(reinterpret_cast<const char*>(data), size), request);
  if (parsed != RankParse::complete) return 0;
  if (request.body.size() > kRankMaxBody) __builtin_trap();
  const std::string reply = AnswerRankRequest(*store, request, data[0] & 1);
  TSslLineReader reader;
  reader.Feed(reply);
  reader.Finish();
  VXStringList lines;
  for (const std::string& line : reader.Lines()) lines.Add(VXString(line.data(), static_cast<unsigned>(line.size())));
  const bool ok = reply.starts_with("HTTP/1.0 200 OK\r\n");
  if (ok && RankCheckResponse(&lines) < 0) __builtin_trap();  // the server's own replies pass the game's check
  return 0;
}

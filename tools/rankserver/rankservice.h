// The ranking server's HTTP side without the transport: reading a request from the bytes received so far, and
// the reply to each of the game's three requests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class RankStore;

struct RankHttpRequest {
  std::string method;
  std::string path;
  std::string body;
};

inline constexpr std::size_t kRankMaxHead = 8 * 1024;  // request line and headers
inline constexpr std::size_t kRankMaxBody = 4 * 1024;  // a form body

enum class RankParse { complete, incomplete, malformed };

// A request read from bytes: the head up to its empty line, then Content-Length bytes of body (none without the
// header). Malformed: a head or body over its cap, a bad request line, or a bad Content-Length.
RankParse ParseRankRequest(std::string_view bytes, RankHttpRequest& request);

// The whole HTTP reply to a request. The game's paths answer "200 OK" with body lines and an "OK:n" trailer, or
// an "ERROR:code" trailer (codes of TRankServerCode); anything else gets a 4xx status the game refuses.
// registerUnknown lets a user ID that is not known yet register with the password of its first upload.
std::string AnswerRankRequest(RankStore& store, const RankHttpRequest& request, bool registerUnknown);

// The status line and headers of a reply with this body.
std::string RankHttpReply(std::string_view status, std::string_view body);
